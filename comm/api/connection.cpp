#include "comm/api/connection.h"

#include "comm/api/bounded_string.h"
#include "comm/api/frame.h"
#include "comm/api/library_state.h"
#include "comm/api/link_steps.h"
#include "comm/api/search_limit.h"
#include "comm/platform/clock.h"
#include "comm/platform/diagnostics.h"

#include <cstdio>
#include <cstring>

namespace tola::connection {
namespace {

constexpr std::uint32_t kPortUsb = TOLA_PORT_USB;
constexpr std::uint32_t kLastSerialPort = TOLA_PORT_COM20;
constexpr std::uint32_t kPortBluetooth = TOLA_PORT_BLUETOOTH;

// Search state: the port being tried and when its attempts began.
struct SearchState {
    std::uint32_t current_port = kPortUsb;
    std::uint32_t start_tick = 0;
};

SearchState& search() {
    static SearchState s;
    return s;
}

// The port field of COM5..COM20 lies above the failure bits and is no failure.
bool has_hard_failure(const PXM_COMM& c) { return (c.tStatus & TOLA_STATUS_HARD_FAILURES) != 0; }

void set_status(PXM_COMM& c, const char* text) { bStr_cpy(c.ssStatus, text, sizeof c.ssStatus); }

// A record whose dSize is not that of PXM_COMM is the caller's own, of a size
// this library does not know: its refusal is reported only in the fields that
// lie inside the size it declares, and nothing else of it is ever written.
bool declares_room_for(const PXM_COMM& c, const void* field, std::size_t size) {
    const auto end = static_cast<std::size_t>(static_cast<const char*>(field) - reinterpret_cast<const char*>(&c)) + size;
    return end <= c.dSize;
}

void refusal_text(PXM_COMM& c, const char* text) {
    if (declares_room_for(c, c.ssStatus, sizeof c.ssStatus)) set_status(c, text);
}

bool status_fits(const PXM_COMM& c) { return declares_room_for(c, &c.tStatus, sizeof c.tStatus); }

void close_links(PXM_COMM& c) {
    if (c.hUSB != -1) link_steps::usb_close(c);
    if (c.hRS232 != -1) {
        if (c.iPort != kPortBluetooth)
            link_steps::serial_close(c);
        else
            link_steps::bluetooth_disconnect(c);
    }
    // Links opened for an earlier record that was never closed.
    link_steps::release_links();
}

// Moves an automatic search on to the next port when this one has had its
// five seconds or turned out to hold the wrong device.  False when every
// port has been tried.
bool advance_automatic_search(PXM_COMM& c) {
    SearchState& s = search();
    const bool timed_out = platform::ms_since(s.start_tick) > kPortTimeMs;
    if (!timed_out && (c.tStatus & TOLA_STATUS_WRONG_DEVICE) == 0) return true;
    if (c.hUSB != -1) link_steps::usb_close(c);
    if (c.hRS232 != -1) link_steps::serial_close(c);
    ++s.current_port;
    if (s.current_port > kLastSerialPort) {
        c.tStatus = TOLA_STATUS_NO_INSTRUMENT | TOLA_STATUS_SEARCH_ENDED;
        set_status(c, "Can't find a comm port");
        return false;
    }
    c.tStatus = TOLA_STATUS_TESTING;
    s.start_tick = platform::tick_ms();
    return true;
}

// The limit a host sets with TOLA_STATUS_PINNED lasts for the search that call
// starts; a fresh start without the bit searches without one.  False when the
// record's texts are unterminated: refused, nothing of the record lost.
bool take_search_limit(PXM_COMM& c) {
    SearchLimit& limit = search_limit();
    if ((c.tStatus & TOLA_STATUS_PINNED) == 0) {
        if (c.tStatus == 0) limit = SearchLimit{};
        return true;
    }
    limit = SearchLimit{};
    // snRS232 names a socket only where USB is searched; on the other ports the
    // search writes the port's own name there.
    const bool usb = c.iPort == TOLA_PORT_SEARCH || c.iPort == kPortUsb;
    const bool serial_ended = ::strnlen(c.snSerial_number, sizeof c.snSerial_number) <= kLimitTextMax;
    const bool socket_ended = !usb || ::strnlen(c.snRS232, sizeof c.snRS232) <= kLimitTextMax;
    if (!serial_ended || !socket_ended) {
        c.tStatus = TOLA_STATUS_INTERNAL_ERROR | TOLA_STATUS_SEARCH_ENDED;
        set_status(c, serial_ended ? "Instrument limit refused: snRS232 is not a terminated text"
                                   : "Instrument limit refused: snSerial_number is not a terminated text");
        return false;
    }
    std::memcpy(limit.serial, c.snSerial_number, kLimitTextMax);
    if (usb) std::memcpy(limit.socket, c.snRS232, kLimitTextMax);
    c.tStatus &= ~TOLA_STATUS_PINNED;
    return true;
}

}  // namespace

std::uint32_t serial_port_bits(const char* name) {
    int port = 0;
    char tail = 0;
    if (name == nullptr || std::sscanf(name, "COM%d%c", &port, &tail) != 1 || port < 1 || port > 20) return 0;
    if (port <= 4) return TOLA_STATUS_TESTING | (TOLA_STATUS_COM1 << (port - 1));
    return TOLA_STATUS_TESTING | (static_cast<std::uint32_t>(port - 4) << TOLA_STATUS_COM_FIELD_SHIFT);
}

std::int32_t poll_initialize(PXM_COMM* record) {
    LibraryState& state = library_state();
    if (record == nullptr) {
        platform::message_box("ERROR", "lpComm not defined");
        return kFailed;
    }
    state.record = record;
    PXM_COMM& c = *record;
    if (c.dSize != sizeof(PXM_COMM)) {
        refusal_text(c, "Internal errror\r\nsizeof(PXM_COMM) != dSize");
        if (status_fits(c)) c.tStatus = TOLA_STATUS_INTERNAL_ERROR | TOLA_STATUS_SEARCH_ENDED;
        return kFailed;
    }
    if (c.tStatus & TOLA_STATUS_HOLD) return kHeld;
    if (!take_search_limit(c)) return kFailed;
    if (c.hUSB == 0) c.hUSB = -1;
    if (c.hRS232 == 0) c.hRS232 = -1;

    SearchState& s = search();
    if (c.iPort != TOLA_PORT_SEARCH) {
        s.current_port = c.iPort;
        if (c.tStatus == 0) s.start_tick = platform::tick_ms();
    } else if ((c.tStatus & (TOLA_STATUS_INTERFACED | TOLA_STATUS_TESTING)) == 0) {
        s.current_port = kPortUsb;
        s.start_tick = platform::tick_ms();
    } else if (!advance_automatic_search(c)) {
        return kFailed;
    }

    c.ssStatus[0] = '\0';
    const std::uint32_t port = s.current_port;
    if (port >= TOLA_PORT_COM1 && port <= kLastSerialPort) {
        char name[16];
        std::snprintf(name, sizeof name, "COM%u", port - 1);
        bStr_cpy(c.snRS232, name, kNameCopySize);
        if (!link_steps::serial_open_step(c) && !has_hard_failure(c)) {
            char text[64];
            std::snprintf(text, sizeof text, "Testing RS232 %s", c.snRS232);
            set_status(c, text);
        }
    } else if (port == kPortUsb) {
        if (!link_steps::usb_open_step(c)) {
            if (has_hard_failure(c)) return kFailed;
            if (c.iPort != TOLA_PORT_SEARCH && platform::ms_since(s.start_tick) > kPortTimeMs) {
                c.tStatus |= TOLA_STATUS_NO_INSTRUMENT;
                return kFailed;
            }
            set_status(c, "Testing USB");
        }
    } else if (port == kPortBluetooth) {
        bStr_cpy(c.snRS232, "Bluetooth", kNameCopySize);
        if (!link_steps::bluetooth_open_step(c) && !has_hard_failure(c)) {
            char text[64];
            std::snprintf(text, sizeof text, "Testing %s", c.snRS232);
            set_status(c, text);
        }
    } else {
        close();
        c.tStatus = TOLA_STATUS_UNKNOWN_PORT | TOLA_STATUS_SEARCH_ENDED;
        set_status(c, "Unknown Interface Port");
        return kFailed;
    }

    if (c.tStatus & TOLA_STATUS_INTERFACED) return kConnected;
    if (c.iPort != TOLA_PORT_SEARCH && has_hard_failure(c)) {
        c.tStatus = (c.tStatus & ~TOLA_STATUS_TESTING) | TOLA_STATUS_SEARCH_ENDED;
        return kFailed;
    }
    return kCallAgain;
}

std::int32_t test() {
    PXM_COMM* record = library_state().record;
    if (record == nullptr) return 0;
    PXM_COMM& c = *record;
    if (c.dSize != sizeof(PXM_COMM)) {
        refusal_text(c, "Interface Failure, wrong version");
        if (status_fits(c)) c.tStatus |= TOLA_STATUS_WRONG_DEVICE;
        return 0;
    }
    if (c.hUSB != -1) {
        if (link_steps::usb_test(c)) {
            c.tStatus &= ~TOLA_STATUS_TEST_FAILED;
            return 1;
        }
        set_status(c, "USB failure, no responce");
        c.tStatus |= TOLA_STATUS_TEST_FAILED | TOLA_STATUS_USB_FAILURE;
        return 0;
    }
    if (c.hRS232 == -1 || c.hRS232 == 0) return 0;
    const bool bluetooth = c.iDevice == TOLA_DEVICE_BT_MAPPED_A || c.iDevice == TOLA_DEVICE_BT_MAPPED_B;
    const bool alive = bluetooth ? link_steps::bluetooth_keep_alive(c) : link_steps::serial_keep_alive(c);
    if (alive) {
        c.tStatus &= ~TOLA_STATUS_TEST_FAILED;
        return 1;
    }
    set_status(c, bluetooth ? "Bluetooth failure, no responce" : "RS232 failure, no responce");
    c.tStatus |= TOLA_STATUS_TEST_FAILED | TOLA_STATUS_SERIAL_FAILURE;
    return 0;
}

void close() {
    search_limit() = SearchLimit{};
    PXM_COMM* record = library_state().record;
    if (record == nullptr) return;
    PXM_COMM& c = *record;
    if (c.dSize != sizeof(PXM_COMM)) {
        link_steps::release_links();
        return;
    }
    close_links(c);
    std::memset(&c, 0, sizeof c);
    c.dSize = sizeof(PXM_COMM);
    c.hUSB = -1;
    c.hRS232 = -1;
    set_status(c, "Ports closed, not interfaced");
    c.tStatus = 0;
}

std::int32_t interface_name(char* text) {
    // The caller's buffer holds at least a status text's worth of characters.
    constexpr std::size_t kTextSize = sizeof(TSTRING);
    PXM_COMM* record = library_state().record;
    if (record == nullptr) {
        if (text != nullptr) bStr_cpy(text, "Not Interfaced", kTextSize);
        return 0;
    }
    PXM_COMM& c = *record;
    if (c.dSize != sizeof(PXM_COMM)) {
        if (status_fits(c)) c.tStatus = TOLA_STATUS_TEST_FAILED;
        if (text != nullptr) bStr_cpy(text, "Not Interfaced, incompatable version version", kTextSize);
        return 0;
    }
    const bool interfaced = (c.tStatus & TOLA_STATUS_INTERFACED) != 0;
    if (text == nullptr) return interfaced ? 1 : 0;
    if (!interfaced) {
        bStr_cpy(text, "Not Interfaced", kTextSize);
        return 0;
    }
    char suffix[32];
    const std::uint32_t com_field = (c.tStatus & TOLA_STATUS_COM_FIELD_MASK) >> TOLA_STATUS_COM_FIELD_SHIFT;
    if (c.tStatus & TOLA_STATUS_USB)
        std::snprintf(suffix, sizeof suffix, " - USB");
    else if (c.tStatus & TOLA_STATUS_COM1)
        std::snprintf(suffix, sizeof suffix, " - RS232 comm 1");
    else if (c.tStatus & TOLA_STATUS_COM2)
        std::snprintf(suffix, sizeof suffix, " - RS232 comm 2");
    else if (c.tStatus & TOLA_STATUS_COM3)
        std::snprintf(suffix, sizeof suffix, " - RS232 comm 3");
    else if (c.tStatus & TOLA_STATUS_COM4)
        std::snprintf(suffix, sizeof suffix, " - RS232 comm 4");
    else if (com_field != 0)
        std::snprintf(suffix, sizeof suffix, " - RS232 comm %u", com_field + 4);
    else
        std::snprintf(suffix, sizeof suffix, " - Unknown Port");
    char device[sizeof(TNAME) + 1] = {};
    std::memcpy(device, c.snDevice, sizeof(TNAME));
    bStr_cpy(text, device, kTextSize);
    bStr_cat(text, suffix, kTextSize);
    return 1;
}

}  // namespace tola::connection

namespace tola {

// Only the USB link is resumed: its exchanges are request-by-request, and an
// instrument left waiting for the data of a write would take the next request,
// whoever sends it, as that data. A fresh connection starts a clean exchange.
void after_dead_owner() noexcept {
    try {
        PXM_COMM* c = valid_record();
        if (c != nullptr && c->hUSB != -1) link_steps::usb_reconnect(*c);
    } catch (...) {
    }
}

}  // namespace tola
