// How long the bridge lets the device take for each request.  The library waits
// a window for every reply on the channel (the table in
// comm/platform/usb_channel_frame.h) and shuts the channel when it passes; the
// bridge therefore gives each USB transfer the library's window less a margin,
// so that a silent device is answered with a refusal that the library still
// hears, instead of a reply that comes too late.
#pragma once

#include <cstdint>

namespace tola::usbd {

// Left between the end of a transfer's time-out and the end of the library's
// window for the reply to travel back.
inline constexpr int kReplyMarginMs = 500;

// What the bridge remembers between the requests of one connection.
enum class PendingWork { None, Erase };

// Time-out of the USB transfer for a request with this code, given whether the
// request before it on the connection carried a sector erase.
int transfer_timeout_ms(std::uint32_t code, PendingWork pending);

}  // namespace tola::usbd
