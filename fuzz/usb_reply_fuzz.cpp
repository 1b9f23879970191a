// Fuzz target: whatever a device sends back on the USB driver channel.  The
// library's reply parsing must fail cleanly on any bytes, never read past its
// buffers and never hang.
#include "comm/platform/usb_channel.h"
#include "comm/platform/usb_channel_frame.h"

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    // The first byte picks the request, the rest is the device's reply.
    static constexpr std::uint32_t kCodes[] = {tola::usbchannel::kReadDescriptor, tola::usbchannel::kBulkRead,
                                               tola::usbchannel::kReceive, tola::usbchannel::kBulkWrite};
    const std::uint32_t code = kCodes[data[0] % 4];
    const std::size_t capacity = data[0] >> 2;
    (void)!::write(fds[1], data + 1, size - 1);
    ::shutdown(fds[1], SHUT_WR);
    std::vector<std::uint8_t> out(capacity);
    const std::array<std::uint8_t, 4> in{2, 0, 0, 0};
    const auto result = tola::platform::usb_ioctl(fds[0], code, in, out,
                                                  tola::usbchannel::reply_window_ms(tola::usbchannel::ReplyWait::Transfer));
    if (result.success && result.bytes_returned > 0x7FFFFFFF) __builtin_trap();
    ::close(fds[0]);
    ::close(fds[1]);
    return 0;
}
