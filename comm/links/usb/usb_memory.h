// Memory reads and writes of a USB instrument, by instrument kind.
#pragma once

#include <cstdint>

namespace tola::usb {

bool memory_read(std::uint8_t* buffer, std::uint32_t address, std::int32_t length);
bool memory_write(const std::uint8_t* data, std::uint32_t address, std::int32_t length);

}  // namespace tola::usb
