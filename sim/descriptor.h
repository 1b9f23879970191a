// The USB device descriptor each kind of instrument presents.
#pragma once

#include <array>
#include <cstdint>

#include "sim/instrument_config.h"

namespace tola::sim {

inline constexpr std::uint16_t kTolaVendor = 0xE1A7;
inline constexpr std::uint16_t kClassicProduct = 0x5061;
inline constexpr std::uint16_t kMappedProduct = 0x5062;
inline constexpr std::uint16_t kRenesasVendor = 0x045B;
inline constexpr std::uint16_t kRenesasBootProduct = 0x0025;

std::array<std::uint8_t, 18> device_descriptor(const InstrumentConfig& config);

}  // namespace tola::sim
