// The command wait: milliseconds the lamp, measure, calibrate and control
// commands give the instrument (50 unless the instrument asked for more).
#pragma once

#include <cstdint>

namespace tola::commands {

inline constexpr std::uint32_t kDefaultCommandWaitMs = 50;

std::uint32_t& command_wait_ms();

// When the last controller command over a byte-stream link succeeded.
std::uint32_t& last_controller_command_tick();

}  // namespace tola::commands
