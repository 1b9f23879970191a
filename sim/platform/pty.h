// Pseudo-terminals for the instrument's serial port: the instrument holds the
// master, the host opens the slave by its path as it would open a serial device.
#pragma once

#include <filesystem>
#include <string>

#include "sim/platform/unix_socket.h"

namespace tola::sim::os {

struct Pty {
    Fd master;  // non-blocking
    // The instrument keeps the slave open itself, so the line stays up while no
    // host has it open (a master whose slave nobody holds reports a hang-up).
    Fd slave_keeper;
    std::filesystem::path slave_path;
};

// Opens a pair with the slave side in raw mode.  An empty master on failure.
Pty open_pty(std::string* error);

// Sets raw mode (8 data bits, no echo, no line editing) on a terminal.
bool make_raw(int fd);

// Like read_some/write_some, for descriptors that are not sockets:
// >0 bytes moved, 0 end of stream, -1 would block, -2 failure.
long read_fd(int fd, std::span<std::uint8_t> buffer);
long write_fd(int fd, std::span<const std::uint8_t> data);

}  // namespace tola::sim::os
