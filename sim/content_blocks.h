// The data block, the measurement block, the shade tables and the first
// generation's settings, in each release's layout and the instrument's byte order.
//
// Data block, later generation (168 bytes): 32 16-bit raw channel counts (inner
// ring 0-31, outer ring 32-63), then words: 64 battery (mV), 68 temperature
// (0.01 C), 72 lamp and shutter bits, 76 sample interval (ms), 80 readings since
// start, 132 change counter (counts every change of the live data), the rest 0.
// First generation (216 bytes, .17-.20; .14-.16 end at 208, .11 at 204): 48
// 16-bit raw counts (three sensors), 24 float words from 96 (the last reading per
// channel), a byte at 192 (battery percent), a word at 196 (temperature, 0.01 C),
// a byte at 200 (lamp bits), the change counter at 204, 16-bit switch bits and
// trigger count at 208 and 210, a word at 212 (readings since start).
//
// Measurement block (.24 on, 2280 bytes): words 0-2 reading number, integration
// time (ms) and flags, then float words of the 16 channels per ring and sensor;
// from .29 a region of 16-bit raw counts at 708 (.29-.31 two bytes later, at 710),
// from .32 also 16-bit counts at 1944 and 2072.  .24-.28 keep words 0-459; .22/.23
// (344 bytes) three words, then five blocks of 16 words in the order of their own
// (the blocks that .24 on keeps at 12, 204, 268, 332, 396 lie at 152, 88, 24, 280,
// 216).  The first generation keeps float words only.
//
// Shade tables (four, back to back): a 25-byte name, the shade count at 28, a code
// per shade (16-bit, the shade's position in the shade-name table) from 596 and
// each shade's L, a, b as float words from 1108.  .16-.23 have 624 further bytes
// after the name (every field from 28 on lies 624 bytes later); .11-.15 have 132
// further bytes after byte 199 (the codes and L, a, b lie 132 bytes later).
//
// First-generation settings (468 bytes): linear gain at 0, outer and inner
// scales (16 floats each) at 4 and 68, automatic range minimum and maximum at 132
// and 136, samples per reading at 140, standby and power-off times (s) at 144 and
// 148, battery converter readings when full and low at 152 and 156, four colour
// difference limits (floats) at 160.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/byte_order.h"

namespace tola::sim {

std::vector<std::uint8_t> data_block(int layout_number, std::uint32_t size, ByteOrder order,
                                     std::uint32_t change_counter, std::uint32_t lamp_bits);
std::vector<std::uint8_t> meas_block(int layout_number, std::uint32_t size, ByteOrder order, std::uint32_t reading);
// All four tables; `size` is the size of one.
std::vector<std::uint8_t> shade_tables_block(int layout_number, std::uint32_t size, ByteOrder order);
std::vector<std::uint8_t> classic_settings_block(std::uint32_t size, ByteOrder order);
// Additional block 3 of .29 on, the calibration matrix: 669 float words; the
// inner ring's rows from word 1, the outer ring's from word 100, 9 words a row
// (31 rows, 400 to 700 nm), of which the first six weigh the six calibration
// filters.
std::vector<std::uint8_t> calibration_block(std::uint32_t size, ByteOrder order);

}  // namespace tola::sim
