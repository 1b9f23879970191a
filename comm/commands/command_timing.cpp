#include "comm/commands/command_timing.h"

namespace tola::commands {

std::uint32_t& command_wait_ms() {
    static std::uint32_t wait = kDefaultCommandWaitMs;
    return wait;
}

std::uint32_t& last_controller_command_tick() {
    static std::uint32_t tick = 0;
    return tick;
}

}  // namespace tola::commands
