// Bookkeeping of one byte-stream link.  The serial port and the Bluetooth link
// each keep one of these for the process's single connection.
#pragma once

#include <cstdint>
#include <optional>

namespace tola::serial {

struct LinkState {
    std::optional<std::uint32_t> last_write_tick;
    std::optional<std::uint32_t> last_read_tick;
    std::optional<std::uint32_t> last_memory_transfer_tick;

    // Keep-alive test: a check byte is out and its answer not yet seen.
    bool check_pending = false;
    std::optional<std::uint32_t> last_check_tick;
    int missed_answers = 0;

    // A link check or a command exchange is running; a nested one is refused
    // instead of mixing bytes on the line.
    bool link_check_busy = false;
    bool command_busy = false;

    // The classic instrument streams live data after command 4 until command 6.
    bool echo_live_data = false;
};

}  // namespace tola::serial
