// Fuzz target: whatever a device sends back on the USB driver channel, and what
// the link makes of it.  The library's reply parsing must fail cleanly on any
// bytes, never read past its buffers and never hang, and the exchanges built on
// it (descriptor, memory pieces, the controller's reads, the boot-mode
// handshake) must take any answer without harm.
//
// Input: byte 0 picks the consumer, byte 1 its request (code and capacity, or
// length); the rest is the device's whole reply stream, after which it hangs up.
#include "comm/api/library_state.h"
#include "comm/links/usb/boot_mode.h"
#include "comm/links/usb/controller_protocol.h"
#include "comm/links/usb/first_generation.h"
#include "comm/links/usb/usb_device.h"
#include "comm/links/usb/usb_state.h"
#include "comm/platform/usb_channel.h"
#include "comm/platform/usb_channel_frame.h"

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

enum class Consumer : std::uint8_t { RawRequest, Descriptor, FirstGenerationRead, ControllerRead, BootHandshake, Count };

void raw_request(int fd, std::uint8_t request) {
    static constexpr std::uint32_t kCodes[] = {tola::usbchannel::kReadDescriptor, tola::usbchannel::kBulkRead,
                                               tola::usbchannel::kReceive, tola::usbchannel::kBulkWrite};
    std::vector<std::uint8_t> out(request >> 2);
    const std::array<std::uint8_t, 4> in{2, 0, 0, 0};
    const auto result = tola::platform::usb_ioctl(fd, kCodes[request % 4], in, out,
                                                  tola::usbchannel::reply_window_ms(tola::usbchannel::ReplyWait::Transfer));
    if (result.success && result.bytes_returned > 0x7FFFFFFF) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
    // The requests the library sends stay unread in the socket: they are few.
    (void)!::write(fds[1], data + 2, size - 2);
    ::shutdown(fds[1], SHUT_WR);

    static PXM_COMM comm;
    std::memset(&comm, 0, sizeof comm);
    comm.dSize = sizeof comm;
    comm.hUSB = fds[0];
    comm.hRS232 = -1;
    comm.iDevice = TOLA_DEVICE_USB_PORTIVO;
    tola::library_state().record = &comm;
    tola::library_state().stop_state = tola::StopState::Running;
    // Every input starts from a fresh link: the outcome depends on the input alone.
    const std::uint8_t request = data[1];
    tola::usb::usb_state() = tola::usb::UsbState{};
    tola::usb::usb_state().release_number = request & 1 ? tola::usb::kStm32ReleaseNumber : 0;
    std::array<std::uint8_t, 256> buffer{};
    switch (static_cast<Consumer>(data[0] % static_cast<unsigned>(Consumer::Count))) {
        case Consumer::RawRequest: raw_request(fds[0], request); break;
        case Consumer::Descriptor: tola::usb::read_descriptor(); break;
        case Consumer::FirstGenerationRead:
            tola::usb::first_generation::read_memory(buffer.data(), 0x80800000, request);
            break;
        case Consumer::ControllerRead:
            // Up to two halves of 64 bytes each, from the RAM of either controller kind.
            tola::usb::controller_read(buffer.data(), request & 1 ? 0x20000000 : 0x00FF2000, (request >> 1) + 1);
            break;
        case Consumer::BootHandshake: tola::usb::boot_mode_handshake(); break;
        case Consumer::Count: break;
    }
    // The library closes the device itself only through its own close call.
    if (comm.hUSB != -1) ::close(fds[0]);
    ::close(fds[1]);
    tola::library_state().record = nullptr;
    return 0;
}
