#include "comm/commands/device_commands.h"

#include "comm/api/library_state.h"
#include "comm/commands/classic_exchange.h"
#include "comm/commands/command_timing.h"
#include "comm/commands/controller.h"
#include "comm/commands/host_exchange.h"
#include "comm/links/memory_access.h"
#include "comm/links/usb/first_generation.h"
#include "comm/links/usb/usb_report.h"
#include "comm/platform/clock.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/layout_state.h"
#include "comm/structures/structure_converter.h"
#include "comm/structures/structure_transfer.h"
#include "comm/structures/target_sizes.h"

#include <array>
#include <cstring>

namespace tola::commands {
namespace {

// Host block command flags.
constexpr std::uint32_t kLamp = 0x1;
constexpr std::uint32_t kSetState = 0x2;
constexpr std::uint32_t kStart = 0x4;
constexpr std::uint32_t kRateRewritten = 0x10;
constexpr std::uint32_t kBias = 0x20;
constexpr std::uint32_t kHostMode = 0x302;
constexpr std::uint32_t kService = 0x10000;
constexpr std::uint32_t kSampleRate = 0x40000;
constexpr std::uint32_t kColourMeasurement = 0x800000;
constexpr std::uint32_t kCalibration = 0x1000000;

constexpr std::uint32_t kRestoreDefaultsService = 30;
constexpr std::int32_t kRateIndexCount = 13;

// Rate settings of the classic instruments per sample-rate index.
constexpr std::array<std::int16_t, kRateIndexCount> kRateA = {6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr std::array<std::int16_t, kRateIndexCount> kRateB = {-2,     -2,    -2,   -2,   -2,   -2,  -2,
                                                              -32768, 16384, 8192, 4096, 2048, 1024};
// Command times of the later instruments per sample-rate index.
constexpr std::array<std::uint32_t, kRateIndexCount> kRateTable = {50000, 25000, 16666, 10000, 5000, 3000, 2000,
                                                                   1000,  500,   300,   200,   100,   50};

enum class Kind { None, UsbClassic, SerialClassic, Mapped, Other };

Kind kind() {
    const PXM_COMM* c = valid_record();
    if (c == nullptr) return Kind::None;
    switch (c->iDevice) {
        case TOLA_DEVICE_USB_CHROMATIK: return c->hUSB != -1 ? Kind::UsbClassic : Kind::None;
        case TOLA_DEVICE_SERIAL_CLASSIC: return c->hRS232 != -1 ? Kind::SerialClassic : Kind::None;
        case TOLA_DEVICE_USB_PORTIVO: return c->hUSB != -1 ? Kind::Mapped : Kind::None;
        case TOLA_DEVICE_SERIAL_MAPPED_A:
        case TOLA_DEVICE_SERIAL_MAPPED_B:
        case TOLA_DEVICE_BT_MAPPED_A:
        case TOLA_DEVICE_BT_MAPPED_B: return c->hRS232 != -1 ? Kind::Mapped : Kind::None;
        default: return Kind::Other;
    }
}

const COMM_USB_HOST& library_block() { return structures::host_copies().host_block; }

std::uint32_t state_wait() { return library_block().qdWord[14] / 20; }

// The first-generation instrument keeps its sample-rate and bias parameters in
// the PS parameter record, moved like any structure.
bool write_parameters() {
    if (structures::download(structures::Copy::PsParameters)) return true;
    structures::ps_parameters_current() = false;  // a failed write clears the copy
    return false;
}
bool read_parameters() {
    structures::ps_parameters_current() = structures::upload(structures::Copy::PsParameters);
    return structures::ps_parameters_current();
}

// Bias and sample rate are two parts of one parameter record: before one of
// them is written, the other must be the instrument's own.  A connection that
// has not read the record yet reads it first; when that fails nothing is written.
bool parameters_known(Kind k) {
    if (structures::ps_parameters_current()) return true;
    if (k == Kind::UsbClassic) return read_parameters();
    return classic_command(32) && structures::ps_parameters_current();
}

std::int32_t rate_index_of(const ClassicParameters& p) {
    for (std::int32_t i = 0; i < kRateIndexCount; ++i)
        if (kRateA[static_cast<std::size_t>(i)] == p.rate_a && kRateB[static_cast<std::size_t>(i)] == p.rate_b) return i;
    return 0;
}

bool classic_reset_over_usb() {
    const std::array<std::uint8_t, 3> reset{170, 0, 0};
    if (!usb::first_generation::send_command(reset)) return usb::report("Reset Chromatik - FAILED", usb::flag::kReset) != 0;
    std::array<std::uint8_t, 3> status{};
    if (!usb::first_generation::read_status(status))
        return usb::report("Reset Chromatik FAILED, Error reading status message", usb::flag::kReset) != 0;
    if (status[0] != 170) return usb::report("Reset Chromatik - FAILED, unknown message", usb::flag::kReset) != 0;
    return usb::report("Reset Chromatik - OK", 0) != 0;
}

// A zero block first, then the command: the instrument starts from a clean block.
bool start_after_zero_block(std::uint32_t command) {
    const std::uint32_t wait = command_wait_ms();
    host_command(0, wait);
    return host_command(command, wait);
}

bool write_display_text(const char* text) {
    std::array<std::uint8_t, structures::kDisplayTextSize> host{};
    const std::uint32_t head[3] = {25, 20, 33};
    std::memcpy(host.data(), head, sizeof head);
    std::strncpy(reinterpret_cast<char*>(host.data() + sizeof head), text, host.size() - sizeof head - 1);
    const std::uint32_t address = structures::host_copies().table.dCOMM_DISPLAY_TEXT;
    const std::uint32_t size = structures::current_target_sizes()[structures::word::kDisplayText];
    std::array<std::uint8_t, 256> target{};
    if (address == 0 || size == 0 || size > target.size()) return false;
    if (!structures::convert(structures::StructureKind::DisplayText, structures::Direction::Download,
                             structures::current_release(), structures::current_byte_order(), host, target))
        return false;
    return links::memory_write(address, target.data(), static_cast<std::int32_t>(size));
}

}  // namespace

std::int32_t reset() {
    switch (kind()) {
        case Kind::UsbClassic: return classic_reset_over_usb() ? 1 : 0;
        case Kind::SerialClassic: return classic_command(2) ? 1 : 0;
        case Kind::Mapped: return controller::command(10, 0);
        default: return 0;
    }
}

std::int32_t send_command(COMM_USB_HOST& block) {
    if (kind() != Kind::Mapped) return 0;
    // The exchange works on a copy: only a finished answer reaches the caller.
    COMM_USB_HOST working = block;
    if (!host_exchange(&working, working.qdWord[14])) return 0;
    block = working;
    return 1;
}

std::int32_t set_state(std::int32_t state) {
    const auto s = static_cast<std::uint32_t>(state);
    switch (kind()) {
        case Kind::UsbClassic: return host_command(kSetState, 100, {{1, s}}) ? 1 : 0;
        case Kind::SerialClassic: return state >= 0 && state <= 255 && classic_command(static_cast<std::uint8_t>(state)) ? 1 : 0;
        case Kind::Mapped: return host_command(kSetState, state_wait(), {{1, s}}) ? 1 : 0;
        default: return 0;
    }
}

std::int32_t get_current_brll(std::int16_t* bias, std::int32_t* rate, std::int32_t* lamp) {
    switch (kind()) {
        case Kind::UsbClassic: {
            if (lamp != nullptr) *lamp = static_cast<std::int32_t>(library_block().qdWord[9]);
            if (!read_parameters()) return 0;
            const ClassicParameters p = load_parameters();
            if (bias != nullptr) *bias = p.bias;
            if (rate != nullptr) *rate = rate_index_of(p);
            return 1;
        }
        case Kind::SerialClassic: {
            if (!classic_command(32)) return 0;
            const ClassicParameters p = load_parameters();
            if (bias != nullptr) *bias = p.bias;
            if (rate != nullptr) *rate = rate_index_of(p);
            return 1;
        }
        case Kind::Mapped: {
            const COMM_USB_HOST& b = library_block();
            if (lamp != nullptr) *lamp = static_cast<std::int32_t>(b.qdWord[9]);
            if (bias != nullptr) *bias = static_cast<std::int16_t>(b.qdWord[13] & 0xFFFF);
            if (rate != nullptr) {
                *rate = 0;
                for (std::int32_t i = 0; i < kRateIndexCount; ++i) {
                    if (b.qdWord[14] >= kRateTable[static_cast<std::size_t>(i)]) {
                        *rate = i;
                        break;
                    }
                }
            }
            return 1;
        }
        default: return 0;
    }
}

std::int32_t set_bias(std::int32_t bias) {
    switch (kind()) {
        case Kind::UsbClassic: {
            if (!parameters_known(Kind::UsbClassic)) return 0;
            ClassicParameters p = load_parameters();
            p.bias = static_cast<std::int16_t>(bias);
            store_parameters(p);
            if (!write_parameters()) return 0;
            return host_command(kBias, 0) ? 1 : 0;
        }
        case Kind::SerialClassic: {
            if (!parameters_known(Kind::SerialClassic)) return 0;
            ClassicParameters p = load_parameters();
            p.bias = static_cast<std::int16_t>(bias);
            store_parameters(p);
            return classic_command(142) ? 1 : 0;
        }
        case Kind::Mapped:
            return host_command(kBias, state_wait(), {{6, static_cast<std::uint32_t>(bias) & 0xFFFF}}) ? 1 : 0;
        default: return 0;
    }
}

std::int32_t set_sample_rate(std::int32_t index) {
    const Kind k = kind();
    if (k == Kind::UsbClassic || k == Kind::SerialClassic) {
        if (index < 0 || index >= kRateIndexCount) return 0;
        if (!parameters_known(k)) return 0;
        ClassicParameters p = load_parameters();
        p.rate_a = kRateA[static_cast<std::size_t>(index)];
        p.rate_b = kRateB[static_cast<std::size_t>(index)];
        store_parameters(p);
        if (k == Kind::SerialClassic) return classic_command(142) ? 1 : 0;
        if (!write_parameters()) return 0;
        return host_command(kRateRewritten, 0) ? 1 : 0;
    }
    if (k == Kind::Mapped)
        return host_command(kSampleRate, state_wait(), {{7, static_cast<std::uint32_t>(index)}}) ? 1 : 0;
    return 0;
}

std::int32_t lamp_shutter_led(std::int32_t bits) {
    const auto l = static_cast<std::uint32_t>(bits);
    switch (kind()) {
        case Kind::UsbClassic: return host_command(kLamp, 200, {{2, l}}) ? 1 : 0;
        case Kind::SerialClassic:
            classic_command((l & 0x1) ? 19 : 20);
            platform::sleep_ms(100);
            classic_command((l & 0x2) ? 21 : 22);
            return 1;
        case Kind::Mapped: {
            const std::uint32_t wait = command_wait_ms();
            COMM_USB_HOST block{};
            block.qdWord[0] = kLamp;
            block.qdWord[2] = l;
            if (!host_exchange(&block, wait)) return 0;
            // The instrument reports the bits it switched in word 9 of its block.
            if (host_exchange(nullptr, wait) && block.qdWord[2] == library_block().qdWord[9]) return 1;
            platform::sleep_ms(300);
            return host_exchange(nullptr, wait) && block.qdWord[2] == library_block().qdWord[9] ? 1 : 0;
        }
        default: return 0;
    }
}

std::int32_t measure_color() {
    switch (kind()) {
        case Kind::UsbClassic: return host_command(kStart, 0, {{3, 1}}) ? 1 : 0;
        case Kind::Mapped: return start_after_zero_block(kColourMeasurement) ? 1 : 0;
        default: return 0;
    }
}

std::int32_t calibrate() {
    switch (kind()) {
        case Kind::UsbClassic: return host_command(kStart, 0, {{3, 2}}) ? 1 : 0;
        case Kind::Mapped: return start_after_zero_block(kCalibration) ? 1 : 0;
        default: return 0;
    }
}

std::int32_t defaults() {
    const PXM_COMM* c = valid_record();
    if (kind() != Kind::Mapped || c->iDevice != TOLA_DEVICE_USB_PORTIVO) return 0;
    if (!host_command(kSetState, state_wait(), {{1, 1}})) return 0;
    platform::sleep_ms(1000);
    if (!host_command(kService, 100, {{11, kRestoreDefaultsService}})) return 0;
    platform::sleep_ms(1000);
    return host_command(kSetState, state_wait(), {{1, 20}}) ? 1 : 0;
}

void slave_mode() {
    const PXM_COMM* c = valid_record();
    const Kind k = kind();
    if (k == Kind::UsbClassic || (k == Kind::Mapped && c->iDevice == TOLA_DEVICE_USB_PORTIVO)) {
        if (!write_display_text("Slave Mode")) return;
        platform::sleep_ms(200);
        host_command(kHostMode, 0, {{1, k == Kind::UsbClassic ? 7u : 5u}});
        return;
    }
    if (k == Kind::SerialClassic) {
        platform::sleep_ms(50);
        classic_command(3);
        platform::sleep_ms(50);
        classic_command(128);  // "Display Clear"
        platform::sleep_ms(50);
        classic_display_text(5, 5, 122, 59, 33, "Idle State");
        platform::sleep_ms(50);
        classic_command(11);  // "Echo Switches"
        platform::sleep_ms(50);
        classic_command(17);  // "Idle ON"
    }
}

std::int32_t ckii_control(std::int32_t value) {
    if (kind() != Kind::Mapped) return 0;
    return host_command(static_cast<std::uint32_t>(value), command_wait_ms()) ? 1 : 0;
}

}  // namespace tola::commands
