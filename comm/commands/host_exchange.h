// The host command exchange: a host command block written into the
// instrument's memory, and the answer read back.
#pragma once

#include "tola_comm.h"

#include <cstdint>
#include <initializer_list>
#include <utility>

namespace tola::commands {

inline constexpr std::uint32_t kMaxHostWaitMs = 2000;
inline constexpr std::uint32_t kHostPollMs = 40;

// With a block: writes it and, unless wait_ms is 0, reads the answer back into
// it.  Without a block: reads the current block.  The library's copy of the
// host block receives what was read.
bool host_exchange(COMM_USB_HOST* block, std::uint32_t wait_ms);

// A block with word 0 set to `command` and the given words, exchanged.
bool host_command(std::uint32_t command, std::uint32_t wait_ms,
                  std::initializer_list<std::pair<int, std::uint32_t>> words = {});

}  // namespace tola::commands
