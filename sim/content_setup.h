// The optical set-up and normalisation data an instrument leaves the factory with.
//
// CKII_SETUP, .24 on (1392 bytes):
//   0    dSensor            sensor identifier (14)
//   4    qtType[16]         channel type codes
//   68   qdFilter_center[16] 400, 420 ... 700 nm
//   132  qdFilter_width[16] 20 nm, 30 nm at both ends
//   196  dSensor_spec       count of valid qiSensor_spec values (8)
//   200  qiSensor_spec[16]
//   264  dSensor_LED        count of valid qiSensor_LED values (6)
//   268  qiSensor_LED[16]
//   332  qqfTri[31][3]      X, Y, Z colour-matching weights, 400..700 nm in 10 nm steps
//   704  qRef[4]            reference tiles of 172 bytes: name (26 + 2), qfOuterLED[16],
//                           qfInnerLED[16], fL, fa, fb, fDeltaE
// .22/.23 (1072 bytes used): no dSensor, everything from qtType on 4 bytes earlier,
// no reference tiles.
//
// CKII_NORM (.29 on 256 bytes, .24-.28 the first 128): qfGain_inner[16] at 0,
// qfGain_outer[16] at 64, then per-channel dark offsets (f32[16]) at 128 and
// white-tile counts (f32[16]) at 192.  .22/.23 (340) keep the gains at 0 and 64.
//
// First-generation set-up (1856 bytes, the layout of .16 on): sensor, channel and
// LED counts at 0, 4, 8, two option bytes at 12, filter centres at 16, widths at 80
// and outer-ring gains at 144 (16 each), four tiles of a name (25 bytes) and five words
// (L, a, b scaled by 100, two LED counts) at 216, 264, 312, 360, then words.
// First-generation norm data (76 words, .11/.14 four bytes later): channel gains.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "sim/byte_order.h"

namespace tola::sim {

struct ReferenceTile {
    std::string_view name;
    float L, a, b;
};
inline constexpr ReferenceTile kReferenceTiles[4] = {
    {"White", 94.8f, -0.6f, 2.1f}, {"Black", 5.3f, 0.2f, -0.4f},
    {"Green", 55.2f, -37.9f, 29.6f}, {"Grey", 50.1f, 0.1f, -0.2f}};

inline constexpr std::uint32_t kSensorId = 14;
inline constexpr std::uint32_t kChannels = 16;

std::uint32_t filter_centre_nm(std::size_t channel);

std::vector<std::uint8_t> setup_block(int layout_number, std::uint32_t size, ByteOrder order);
std::vector<std::uint8_t> norm_block(int layout_number, std::uint32_t size, ByteOrder order);
std::vector<std::uint8_t> classic_setup_block(std::uint32_t size, ByteOrder order);
std::vector<std::uint8_t> classic_norm_block(int layout_number, std::uint32_t size, ByteOrder order);

}  // namespace tola::sim
