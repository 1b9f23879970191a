// Memory reads and writes of the memory-mapped instrument over a byte-stream
// link: a request block (address, length) followed by the data block.  The
// transport brings its stream, state, profile and window table.
#pragma once

#include "comm/links/serial/memory_windows.h"
#include "comm/links/serial/packet_link.h"

#include <cstdint>
#include <span>

namespace tola::serial {

bool memory_read(PacketLink& link, std::span<const MemoryWindow> windows, std::uint32_t address,
                 std::uint8_t* buffer, std::int32_t length);
bool memory_write(PacketLink& link, std::span<const MemoryWindow> windows, std::uint32_t address,
                  const std::uint8_t* data, std::int32_t length);

}  // namespace tola::serial
