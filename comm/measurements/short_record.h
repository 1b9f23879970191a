// The short result record of the Bluetooth instruments (layouts .31 and .32):
// a measurement in 624 bytes, shades as codes and colour values as two-byte
// numbers, decoded into the results and the measurement details.
#pragma once

#include "tola_comm.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace tola::measurements {

inline constexpr std::size_t kShortRecordSize = 624;

// Two bytes, first byte high: bit 7 the sign, 15 bits the magnitude; value =
// magnitude / 218.
float short_value(const std::uint8_t* p);

struct LightnessChromaHue {
    float L, C, H;
};
// Hue in degrees from 0 to 360, as the instruments compute it.
LightnessChromaHue lightness_chroma_hue(float L, float a, float b);

// Decodes P into R and D, which the caller has cleared.
void decode_short_record(CKII_RESULTS& r, TOLA_SHADE_MATCH_DETAILS& d,
                         std::span<const std::uint8_t, kShortRecordSize> p);

}  // namespace tola::measurements
