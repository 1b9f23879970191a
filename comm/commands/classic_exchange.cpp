#include "comm/commands/classic_exchange.h"

#include "comm/api/library_state.h"
#include "comm/links/serial/packet_link.h"
#include "comm/links/serial/serial_link.h"
#include "comm/platform/clock.h"
#include "comm/structures/classic_messages.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/layout_state.h"
#include "comm/structures/structure_converter.h"
#include "comm/structures/target_sizes.h"

#include <array>
#include <cstring>

namespace tola::commands {
namespace {

constexpr std::uint8_t kEchoLiveData = 4;
constexpr std::uint8_t kEchoDataOff = 6;
constexpr std::uint8_t kParameters = 142;
constexpr std::uint32_t kDownloadWaitMs = 4000;

bool is_off_code(std::uint8_t code) { return code == 10 || code == 12 || code == 14 || code == 16 || code == 27; }

// Waits for the data message a download command asks for.
bool receive_download() {
    const std::uint32_t start = platform::tick_ms();
    while (platform::ms_since(start) < kDownloadWaitMs) {
        if (structures::classic_receive() != 0) return true;
        if (stop_requested()) return false;
        platform::sleep_ms(serial::kPollMs);
    }
    return false;
}

bool send_parameters(serial::PacketLink& link) {
    std::array<std::uint8_t, 64> target{};
    const std::size_t size = structures::current_target_sizes()[structures::word::kAdd3];
    const std::size_t length = size != 0 && size <= target.size() ? size : structures::kPsParameterSize;
    if (!structures::convert(structures::StructureKind::PsParameters, structures::Direction::Download,
                             structures::current_release(), structures::current_byte_order(),
                             structures::host_copies().ps_parameters, {target.data(), length}))
        return false;
    return link.send_block(kParameters, target.data(), length);
}

}  // namespace

static_assert(sizeof(ClassicParameters) == structures::kPsParameterSize);

ClassicParameters load_parameters() {
    ClassicParameters p;
    std::memcpy(&p, structures::host_copies().ps_parameters.data(), sizeof p);
    return p;
}

void store_parameters(const ClassicParameters& p) {
    std::memcpy(structures::host_copies().ps_parameters.data(), &p, sizeof p);
}

bool classic_command(std::uint8_t code) {
    if (!serial::PacketLink::link_open()) return false;
    serial::PacketLink& link = serial::link();
    serial::LinkState& state = serial::link_state();
    if (state.command_busy) {
        state.command_busy = false;
        return false;
    }
    state.command_busy = true;
    if (PXM_COMM* c = valid_record()) c->ssStatus[0] = '\0';
    link.pace();
    if (state.echo_live_data && code != kEchoDataOff) {
        link.send_code(kEchoDataOff);
        link.drain(serial::kDrainWindowMs);
    }
    bool ok = false;
    if (code == kEchoLiveData) {
        state.echo_live_data = true;
        platform::sleep_ms(50);
        ok = link.send_code(kEchoLiveData);
        state.command_busy = false;
        return ok;
    }
    if (code == kEchoDataOff) state.echo_live_data = false;
    if (code == kEchoDataOff || is_off_code(code)) {
        ok = link.send_code(code);
        platform::sleep_ms(50);
        link.drain(serial::kDrainWindowMs);
    } else if (code >= 30 && code <= 41) {
        ok = link.send_code(code) && receive_download();
    } else if (code == kParameters) {
        ok = send_parameters(link);
    } else {
        ok = link.send_command(code);
    }
    if (state.echo_live_data) {
        platform::sleep_ms(50);
        link.send_code(kEchoLiveData);
    }
    state.command_busy = false;
    return ok;
}

bool classic_display_text(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom,
                          std::int32_t value, const char* text) {
    constexpr std::uint8_t kDisplayText = 129;
    if (!serial::PacketLink::link_open() || text == nullptr) return false;
    // A 100-byte display item: rectangle and value as 32-bit words in the
    // instrument's (big-endian) order, then at most 79 characters of text.
    std::array<std::uint8_t, 100> item{};
    const std::int32_t words[5] = {left, top, right, bottom, value};
    for (std::size_t w = 0; w < 5; ++w)
        for (std::size_t b = 0; b < 4; ++b)
            item[4 * w + b] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(words[w]) >> (24 - 8 * b));
    const std::size_t length = ::strnlen(text, 79);
    std::memcpy(item.data() + 20, text, length);
    serial::link().pace();
    return serial::link().send_block(kDisplayText, item.data(), length + 21);
}

}  // namespace tola::commands
