// Arbitrary bytes from the classic instrument's line into the data-message
// receiver: the first byte picks the layout release the sizes come from, the
// rest arrives on the stream.  Nothing may crash, hang or overrun a buffer.
#include "comm/api/library_state.h"
#include "comm/links/serial/packet_link.h"
#include "comm/structures/classic_messages.h"
#include "comm/structures/layout_release_table.h"
#include "comm/structures/target_sizes.h"
#include "tests/support/fake_stream.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    using namespace tola;
    PXM_COMM comm{};
    comm.dSize = sizeof(PXM_COMM);
    comm.hUSB = -1;
    comm.hRS232 = 3;
    comm.iDevice = TOLA_DEVICE_SERIAL_CLASSIC;
    library_state().record = &comm;
    library_state().stop_state = StopState::Running;

    const auto& row = structures::LAYOUT_RELEASE_TABLE[data[0] % structures::kReleaseRowCount];
    structures::SizeRow sizes{};
    std::copy(row.sizes.begin(), row.sizes.end(), sizes.begin());
    structures::adopt_target_sizes(sizes);

    testing::SteppedClock clock;
    testing::FakeStream stream(clock);
    serial::LinkState state;
    serial::PacketLink link(stream, state, serial::kSerialProfile, clock);
    stream.feed(std::vector<std::uint8_t>(data + 1, data + size));
    std::array<std::uint8_t, 8> caller{};
    for (int message = 0; message < 4 && stream.unread() > 0; ++message)
        structures::classic_receive(link, caller.data(), caller.size());
    library_state().record = nullptr;
    return 0;
}
