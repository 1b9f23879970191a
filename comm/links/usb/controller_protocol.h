// The request-block protocol of the later instrument's driver: reads, writes
// and commands of the controller, checked against its address spaces.
#pragma once

#include <cstdint>
#include <optional>

namespace tola::usb {

// CPU type 2 flash is admitted up to its real end, the whole 1 MiB, so that a
// firmware image can reach every sector.
inline constexpr std::uint32_t kStm32FlashEnd = 0x08100000;
inline constexpr std::int32_t kMaxControllerLength = 128;

// The address-space code of a request, or nothing when address and length lie
// outside every space of the CPU type.
std::optional<std::uint8_t> space_code(int cpu_type, std::uint32_t address, std::int32_t length, bool write);

// Each sets the controller error code of the USB state and returns success.
bool controller_read(std::uint8_t* data, std::uint32_t address, std::int32_t length);
bool controller_write(const std::uint8_t* data, std::uint32_t address, std::int32_t length, std::uint32_t step_delay_ms);
bool controller_command(std::int32_t code, std::int32_t value);

}  // namespace tola::usb
