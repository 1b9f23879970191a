// A connection to one instrument for the length of a tolactl command.
#pragma once

#include "tola_comm.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <string>

namespace tolactl {

struct PortOption {
    std::string port = "usb";  // usb, com<n>, bt, auto
    std::string serial;        // only the instrument with this serial number
    std::string socket;        // over USB, only the instrument at this channel socket
};

// Adds --port, --serial and --socket to a command.
void add_port_option(CLI::App& cmd, PortOption& option);

// Maps "usb", "com3", "bt", "auto" to the record's iPort; -1 for anything else.
std::int32_t port_number(const std::string& port);

// What a command does to the instrument: a command that writes to it (a
// structure, a state, a controller command) is refused while an update runs.
enum class Access { Reads, Writes };

class Session {
public:
    // Runs search steps until connected or failed; throws Failure with
    // the library's status text when no instrument answers, and before it
    // connects when the command writes and an update runs.
    explicit Session(const PortOption& option, Access access = Access::Reads, int timeout_ms = 130000);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    PXM_COMM& record() { return comm_; }

private:
    PXM_COMM comm_{};
};

// Library text (Windows-1252) as UTF-8 for the terminal.
std::string to_utf8(const char* text);

// Host size of the structure an identifier names (0: none).
std::size_t structure_size(int id);

}  // namespace tolactl
