#include "comm/commands/command_timing.h"

namespace tola::commands {

std::uint32_t& command_wait_ms() {
    static std::uint32_t wait = kDefaultCommandWaitMs;
    return wait;
}

}  // namespace tola::commands
