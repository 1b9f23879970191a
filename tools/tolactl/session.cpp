#include "session.h"

#include "commands.h"
#include "wait_line.h"

#include "update_guard.h"

#include "platform/interrupt_flag.h"

#include <chrono>
#include <cstring>
#include <thread>

namespace tolactl {

void add_port_option(CLI::App& cmd, PortOption& option) {
    cmd.add_option("--port", option.port, "usb, com1..com20, bt, or auto (search USB and every serial port)")
        ->capture_default_str();
    cmd.add_option("--serial", option.serial, "only the instrument with this serial number");
    cmd.add_option("--socket", option.socket, "over USB, only the instrument at this channel socket (e.g. dev1)");
}

namespace {

// The record's opt-in limit: the library passes over every other instrument.
void limit_search(PXM_COMM& c, const PortOption& option) {
    if (option.serial.empty() && option.socket.empty()) return;
    if (option.serial.size() >= sizeof c.snSerial_number || option.socket.size() >= sizeof c.snRS232)
        throw CLI::ValidationError("--serial/--socket", "at most 25 characters");
    c.tStatus = TOLA_STATUS_PINNED;
    std::memcpy(c.snSerial_number, option.serial.data(), option.serial.size());
    std::memcpy(c.snRS232, option.socket.data(), option.socket.size());
}

}  // namespace

std::int32_t port_number(const std::string& port) {
    if (port == "usb") return TOLA_PORT_USB;
    if (port == "bt") return TOLA_PORT_BLUETOOTH;
    if (port == "auto") return TOLA_PORT_SEARCH;
    if (port.rfind("com", 0) == 0) {
        try {
            const int n = std::stoi(port.substr(3));
            if (n >= 1 && n <= 20) return TOLA_PORT_COM1 + n - 1;
        } catch (const std::exception&) {
        }
    }
    return -1;
}

Session::Session(const PortOption& option, Access access, int timeout_ms) {
    const std::int32_t port = port_number(option.port);
    if (port < 0) throw CLI::ValidationError("--port", "unknown port '" + option.port + "'");
    if (access == Access::Writes) refuse_during_update();
    std::memset(&comm_, 0, sizeof comm_);
    comm_.dSize = sizeof comm_;
    comm_.iPort = static_cast<std::uint32_t>(port);
    if (port == TOLA_PORT_BLUETOOTH) {
        const std::string address = selected_device();
        if (address.empty()) throw Failure("no Bluetooth instrument selected: use bt-scan and bt-select", 2);
        BT_DEVICE device{};
        std::snprintf(device.snBtAddress, sizeof device.snBtAddress, "%s", address.c_str());
        TOLA_comm_bt_set_device_ex(&device, sizeof device);
    }
    limit_search(comm_, option);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    // A search walks every port with a pause on each: say which one, and let
    // Ctrl-C end it (the record is closed, nothing is left half open).
    tola::os::InterruptFlag interrupt;
    WaitLine line;
    const std::string pace = port == TOLA_PORT_SEARCH
                                 ? "each port is tried for up to 5 s"
                                 : "trying for up to " + std::to_string(timeout_ms / 1000) + " s";
    std::int32_t result = 2;
    // The automatic search goes on to the next port after a 3 that does not
    // end it (an instrument that is not the one named, for instance).
    auto searching = [&] {
        return result == 2 || result == 0 ||
               (result == 3 && port == TOLA_PORT_SEARCH && (comm_.tStatus & TOLA_STATUS_SEARCH_ENDED) == 0);
    };
    while (searching()) {
        result = iTOLA_comm_poll_initialize(&comm_);
        if (result == 1) return;
        if (interrupt.raised()) {
            line.clear();
            TOLA_comm_close();
            throw Failure("interrupted: no instrument connected", 130);
        }
        if (std::chrono::steady_clock::now() > deadline) break;
        const std::string doing = to_utf8(comm_.ssStatus);
        line.show((doing.empty() ? std::string("waiting for an answer") : doing) + " (" + pace +
                  "; Ctrl-C ends the search)");
        if (searching()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    line.clear();
    const std::string status = to_utf8(comm_.ssStatus);
    TOLA_comm_close();
    throw Failure("no instrument: " + (status.empty() ? std::string("no answer") : status), 2);
}

Session::~Session() { TOLA_comm_close(); }

std::string to_utf8(const char* text) {
    std::string out;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p) {
        if (*p < 0x80) {
            out.push_back(static_cast<char>(*p));
        } else {
            out.push_back(static_cast<char>(0xC0 | (*p >> 6)));
            out.push_back(static_cast<char>(0x80 | (*p & 0x3F)));
        }
    }
    return out;
}

std::size_t structure_size(int id) {
    switch (id & ~CKPSTRUCT_LOCAL) {
        case 1: case 2: return 96;
        case 3: return sizeof(COMM_VERSION);
        case 4: case 5: case 6: case 7: return 4 * 8788;
        case 8: return sizeof(COMM_USB_HOST);
        case 9: return sizeof(TOLA_SHADE_MATCH_DETAILS);
        case 10: return 216;
        case 17: return 168;
        case 19: return sizeof(CKII_SETUP);
        case 20: return sizeof(CKII_NORM);
        case 21: return sizeof(CKNG_SETTINGS);
        case 22: return 68;
        case 23: return 2280;
        case 24: return sizeof(CKII_RESULTS);
        case 25: return sizeof(COMM_MEASUREMENT);
        case 26: return 2676;
        case 27: return 576;
        case 28: return 624;
        case 30: return 11;
        default: return 0;
    }
}

}  // namespace tolactl
