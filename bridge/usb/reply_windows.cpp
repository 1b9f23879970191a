#include "bridge/usb/reply_windows.h"

#include <algorithm>
#include <array>

#include "comm/platform/usb_channel.h"
#include "comm/platform/usb_channel_frame.h"

namespace tola::usbd {
namespace {

namespace ch = tola::usbchannel;

// The library's reply window on the channel.
constexpr int kDefaultLibraryWindowMs = tola::platform::kUsbReplyTimeoutMs;

constexpr std::array kReplyWindows{
    ReplyWindow{ch::kReadDescriptor, kDefaultLibraryWindowMs},
    ReplyWindow{ch::kReadDescriptorEzusb, kDefaultLibraryWindowMs},
    ReplyWindow{ch::kBulkWrite, kDefaultLibraryWindowMs},
    ReplyWindow{ch::kBulkRead, kDefaultLibraryWindowMs},
    ReplyWindow{ch::kSendBlock, kDefaultLibraryWindowMs},
    ReplyWindow{ch::kReceive, kDefaultLibraryWindowMs},
};

}  // namespace

int transfer_timeout_ms(std::uint32_t code, PendingWork pending) {
    int window = kDefaultLibraryWindowMs;
    const auto* entry = std::find_if(kReplyWindows.begin(), kReplyWindows.end(),
                                     [&](const ReplyWindow& w) { return w.code == code; });
    if (entry != kReplyWindows.end()) window = entry->library_ms;
    if (pending == PendingWork::Erase) window = std::max(window, kEraseReplyWindowMs);
    return window - kReplyMarginMs;
}

}  // namespace tola::usbd
