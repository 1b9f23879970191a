#include "bridge/usb/reply_windows.h"

#include "comm/platform/usb_channel_frame.h"

namespace tola::usbd {

namespace ch = tola::usbchannel;

// The request right after an erase may find the device still erasing: the
// library gives it the erase window, every other request the short one.  (The
// request that carries the erase is taken at once; the library's longer window
// for it leaves the bridge's transfer time-out well inside.)
int transfer_timeout_ms(std::uint32_t, PendingWork pending) {
    const auto wait = pending == PendingWork::Erase ? ch::ReplyWait::SectorErase : ch::ReplyWait::Transfer;
    return static_cast<int>(ch::reply_window_ms(wait)) - kReplyMarginMs;
}

}  // namespace tola::usbd
