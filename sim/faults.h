// Faults an instrument can be told to show.  The plan is plain data; the
// instrument guards it with its own lock and consumes one-shot faults as it serves.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace tola::sim {

struct FaultPlan {
    std::map<std::uint32_t, int> refuse;         // control code -> requests still to refuse
    std::optional<std::size_t> truncate_next;     // next reply with data keeps this many bytes
    std::optional<std::size_t> corrupt_next;      // next reply with data gets this byte inverted
    std::deque<std::uint8_t> status_override;     // first-generation status byte 0, one per status read
    std::optional<std::uint8_t> erase_status;     // byte 1 of the next erase status
    std::optional<std::size_t> descriptor_length; // every descriptor answer has this many bytes
    int silent_requests = 0;                      // next requests taken but never answered
    std::chrono::milliseconds silent_close_after{2000};
    std::optional<std::chrono::milliseconds> restart_silence;  // overrides the configured silence once
    bool unplugged = false;

    bool take_refusal(std::uint32_t code);
    std::optional<std::uint8_t> take_status_override();
    std::optional<std::uint8_t> take_erase_status();
    bool take_silence();
};

// Applies one fault written as text, the form the program's switches and its
// control channel take:
//   refuse=CODE[:N]  truncate=N  corrupt[=INDEX]  status=BYTE[:N]  erase=BYTE
//   descriptor=N  silent[=N][:MS]  restart-silence=MS  unplug  replug  clear
// Numbers may be decimal or 0x-hex.  Returns false (and says why) for a fault it cannot read.
bool apply_fault(FaultPlan& plan, std::string_view text, std::string* error = nullptr);

std::optional<std::uint64_t> parse_number(std::string_view text);

}  // namespace tola::sim
