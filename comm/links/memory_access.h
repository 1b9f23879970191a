// Reads and writes of instrument memory over whichever link the connection
// uses: USB for kinds 1 and 4, the serial packet protocol for 8 and 9,
// Bluetooth for 10 and 11.
#pragma once

#include <cstdint>

namespace tola::links {

bool memory_read(std::uint32_t address, std::uint8_t* buffer, std::int32_t length);
bool memory_write(std::uint32_t address, const std::uint8_t* data, std::int32_t length);

}  // namespace tola::links
