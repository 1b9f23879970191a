// The serial and Bluetooth steps of the search: open the port or connect,
// identify the instrument by its answer to the link check, load its
// structures, and fill the record from its version block.
#include "comm/api/bounded_string.h"
#include "comm/api/connection.h"
#include "comm/api/library_state.h"
#include "comm/api/link_steps.h"
#include "comm/api/search_limit.h"
#include "comm/commands/classic_exchange.h"
#include "comm/links/bluetooth/bt_link.h"
#include "comm/links/serial/serial_link.h"
#include "comm/platform/clock.h"
#include "comm/structures/host_copies.h"
#include "comm/structures/layout_release_table.h"
#include "comm/structures/layout_state.h"
#include "comm/structures/stream_structures.h"
#include "comm/structures/target_sizes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace tola::link_steps {
namespace {

constexpr std::uint32_t kPortBitsMask = 0x00000F00u | TOLA_STATUS_COM_FIELD_MASK;
constexpr std::uint32_t kSettleMs = 300;

// A progress step, a pause, and another progress step.
void settle() {
    progress_step(0);
    platform::sleep_ms(kSettleMs);
    progress_step(0);
}

void copy_text(TNAME& field, const TNAME& source) {
    char text[sizeof(TNAME) + 1] = {};
    std::memcpy(text, source, sizeof(TNAME));
    bStr_cpy(field, text, kNameCopySize);
}

void fill_identity(PXM_COMM& c) {
    const COMM_VERSION& v = structures::host_copies().version;
    copy_text(c.snDevice, v.snName);
    copy_text(c.snVersion, v.snRelease);
    copy_text(c.snInterface, v.snVersion);
    copy_text(c.snSerial_number, v.snSerial_number);
}

void testing_text(PXM_COMM& c) {
    char text[64];
    char port[sizeof(TNAME) + 1] = {};
    std::memcpy(port, c.snRS232, sizeof(TNAME));
    std::snprintf(text, sizeof text, "Testing %s for interface", port);
    bStr_cpy(c.ssStatus, text, sizeof c.ssStatus);
}

void register_close_hooks() {
    serial::set_close_hook(structures::clear_stream_load_flags);
    bluetooth::set_close_hook(structures::clear_stream_load_flags);
}

// The classic instrument's version names its layout release; only known ones are served.
bool recognise_classic_release() {
    const auto row = structures::find_release_row(structures::current_release());
    if (!row) return false;
    structures::SizeRow sizes{};
    std::copy(structures::LAYOUT_RELEASE_TABLE[*row].sizes.begin(), structures::LAYOUT_RELEASE_TABLE[*row].sizes.end(),
              sizes.begin());
    structures::adopt_target_sizes(sizes);
    return true;
}

bool fail_closing(PXM_COMM& c, std::uint32_t bits) {
    c.tStatus |= bits;
    serial::close_port(c);
    return false;
}

// Under a serial-number limit another instrument is left as soon as it has
// told its serial number, before anything is written to it: the link is closed,
// the record keeps the identity fields the host gave (its wanted serial number
// among them), and the step fails as for a wrong device.
bool leave_other_instrument(PXM_COMM& c, const PXM_COMM& before, void (*leave)(PXM_COMM&)) {
    const SearchLimit& limit = search_limit();
    const TNAME& serial = structures::host_copies().version.snSerial_number;
    if (!limit.wants_serial() || limit.serial_matches(serial)) return false;
    const std::string where(c.snRS232, ::strnlen(c.snRS232, sizeof c.snRS232));
    leave(c);
    c.iDevice = before.iDevice;
    std::memcpy(c.snDevice, before.snDevice, sizeof c.snDevice);
    std::memcpy(c.snVersion, before.snVersion, sizeof c.snVersion);
    std::memcpy(c.snInterface, before.snInterface, sizeof c.snInterface);
    std::memcpy(c.snSerial_number, before.snSerial_number, sizeof c.snSerial_number);
    Answering other;
    other.add(&serial, where);
    other.report(c, limit);
    return true;
}

// A classic command tried up to three times, with ten short waits between tries.
void classic_with_retries(std::uint8_t code) {
    constexpr int kAttempts = 3;
    for (int attempt = 1;; ++attempt) {
        if (commands::classic_command(code) || attempt == kAttempts) return;
        for (int i = 0; i < 10; ++i) {
            progress_step(0);
            platform::sleep_ms(50);
        }
    }
}

}  // namespace

bool serial_open_step(PXM_COMM& c) {
    const PXM_COMM before = c;
    register_close_hooks();
    library_state().record = &c;
    library_state().stop_state = StopState::Running;
    char name[sizeof(TNAME) + 1] = {};
    std::memcpy(name, c.snRS232, sizeof(TNAME));
    c.tStatus |= connection::serial_port_bits(name);
    testing_text(c);
    if (c.hRS232 == -1) {
        if (connection::serial_port_bits(name) == 0) std::strcpy(name, "COM1");
        if (!serial::open_port(c, name)) {
            settle();
            return false;
        }
    }
    const std::uint8_t answer = serial::link_check();
    if (answer == 0) return fail_closing(c, TOLA_STATUS_NO_INSTRUMENT);
    if (answer == 230 || answer == 231) {
        c.iDevice = answer == 230 ? TOLA_DEVICE_SERIAL_MAPPED_A : TOLA_DEVICE_SERIAL_MAPPED_B;
        if (!structures::load_over_stream(false)) {
            bStr_cpy(c.snDevice, "Chromatik\xAE Portivo", kNameCopySize);
            return fail_closing(c, TOLA_STATUS_WRONG_DEVICE);
        }
    } else {
        c.iDevice = TOLA_DEVICE_SERIAL_CLASSIC;
        // The first generation keeps its data big-endian.
        structures::set_byte_order(structures::ByteOrder::BigEndian);
        std::memset(&structures::host_copies().version, 0, sizeof(COMM_VERSION));
        structures::ps_parameters_current() = false;
        settle();
        if (!commands::classic_command(30)) return fail_closing(c, TOLA_STATUS_NO_INSTRUMENT);
        if (!recognise_classic_release())
            return fail_closing(c, TOLA_STATUS_NO_INSTRUMENT | TOLA_STATUS_WRONG_DEVICE);
        settle();
        if (!commands::classic_command(31)) return fail_closing(c, TOLA_STATUS_NO_INSTRUMENT);
    }
    if (leave_other_instrument(c, before, serial::close_port)) return false;
    settle();
    c.tStatus = (c.tStatus & kPortBitsMask) | TOLA_STATUS_INTERFACED;
    fill_identity(c);
    if (c.iDevice == TOLA_DEVICE_SERIAL_CLASSIC) {
        classic_with_retries(6);
        settle();
        classic_with_retries(26);
    }
    return true;
}

bool bluetooth_open_step(PXM_COMM& c) {
    const PXM_COMM before = c;
    register_close_hooks();
    library_state().record = &c;
    library_state().stop_state = StopState::Running;
    testing_text(c);
    if (c.hRS232 == -1 && !bluetooth::connect(c)) {
        settle();
        return false;
    }
    std::uint8_t answer = bluetooth::link_check();
    if (answer == 0) {
        platform::sleep_ms(kSettleMs);
        answer = bluetooth::link_check();
    }
    if (answer == 0) {
        c.tStatus |= TOLA_STATUS_NO_INSTRUMENT;
        bluetooth::disconnect(c);
        return false;
    }
    if (answer != 230 && answer != 231) {
        bluetooth::disconnect(c);
        return false;
    }
    c.iDevice = answer == 230 ? TOLA_DEVICE_BT_MAPPED_A : TOLA_DEVICE_BT_MAPPED_B;
    if (!structures::load_over_stream(true)) {
        c.tStatus |= TOLA_STATUS_WRONG_DEVICE;
        bStr_cpy(c.snDevice, "Chromatik\xAE Portivo", kNameCopySize);
        bluetooth::disconnect(c);
        return false;
    }
    if (leave_other_instrument(c, before, bluetooth::disconnect)) return false;
    structures::finish_bluetooth_load();
    settle();
    c.tStatus |= TOLA_STATUS_INTERFACED | TOLA_STATUS_BLUETOOTH;
    fill_identity(c);
    return true;
}

void serial_close(PXM_COMM& comm) { serial::close_port(comm); }
void bluetooth_disconnect(PXM_COMM& comm) { bluetooth::disconnect(comm); }
bool serial_keep_alive(PXM_COMM&) { return serial::keep_alive(); }
bool bluetooth_keep_alive(PXM_COMM&) { return bluetooth::keep_alive(); }

}  // namespace tola::link_steps
