// Access to the instrument's microcontroller and boot loader.
#pragma once

#include <cstdint>

namespace tola::controller {

std::int32_t command(std::int32_t command, std::int32_t value);
std::int32_t read(std::uint8_t* data, std::uint32_t address, std::int32_t length);
std::int32_t write(const std::uint8_t* data, std::uint32_t address, std::int32_t length, std::int32_t pause_ms);
std::int32_t get_cpu_type(std::int32_t* type);

}  // namespace tola::controller
