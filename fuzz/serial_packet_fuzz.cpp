// Arbitrary bytes from the line into the packet and block receivers.  The
// first input byte picks the receive (packet or block, code byte consumed or
// not), the next two the expected length; the rest arrives on the stream.
#include "comm/api/library_state.h"
#include "comm/links/serial/packet_link.h"
#include "tests/support/fake_stream.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    using namespace tola;
    PXM_COMM comm{};
    comm.dSize = sizeof(PXM_COMM);
    comm.hUSB = -1;
    comm.hRS232 = 3;
    comm.iDevice = TOLA_DEVICE_SERIAL_MAPPED_A;
    library_state().record = &comm;
    library_state().stop_state = StopState::Running;

    testing::SteppedClock clock;
    testing::FakeStream stream(clock);
    serial::LinkState state;
    serial::PacketLink link(stream, state, serial::kSerialProfile, clock);

    const std::uint8_t mode = data[0];
    const std::size_t length = static_cast<std::size_t>(data[1] | (data[2] << 8));
    stream.feed(std::vector<std::uint8_t>(data + 3, data + size));
    std::vector<std::uint8_t> buffer(length);
    const std::uint8_t code = (mode & 2) != 0 ? 0 : 51;
    if ((mode & 1) != 0) {
        serial::Header header{};
        std::size_t got = 0;
        if (link.receive_packet(code, header, buffer.data(), buffer.size(), got) && got > buffer.size()) __builtin_trap();
    } else {
        link.receive_block(51, buffer.data(), buffer.size(), code == 0);
    }
    library_state().record = nullptr;
    return 0;
}
