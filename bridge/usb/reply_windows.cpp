#include "bridge/usb/reply_windows.h"

#include <algorithm>
#include <array>

#include "comm/platform/usb_channel_frame.h"

namespace tola::usbd {
namespace {

namespace ch = tola::usbchannel;

constexpr int kDefaultLibraryWindowMs = 3000;

constexpr std::array kReplyWindows{
    ReplyWindow{ch::kReadDescriptor, 3000},
    ReplyWindow{ch::kReadDescriptorEzusb, 3000},
    ReplyWindow{ch::kBulkWrite, 3000},
    ReplyWindow{ch::kBulkRead, 3000},
    ReplyWindow{ch::kSendBlock, 3000},
    ReplyWindow{ch::kReceive, 3000},
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
