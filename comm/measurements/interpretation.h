// Turning the instrument's result structures into the caller's
// COMM_MEASUREMENT: the kind of measurement, its material text and status
// bits, the measured areas with their shades, and the verification verdict.
#pragma once

#include "tola_comm.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace tola::measurements {

// Record status of each kind of measurement.
namespace kind_status {
inline constexpr std::uint32_t kTooth = 0x1000, kToothAverage = 0x800, kToothWhiteness = 0x80000, kTab = 0x2000,
                               kCeramic = 0x8000, kVerify = 0x4000;
inline constexpr std::uint32_t kArea1 = 0x1, kArea2 = 0x10, kArea3 = 0x100, kArea1Complete = 0x2,
                               kArea2Complete = 0x20, kAllAreas = 0x222;
}  // namespace kind_status

// "Fair", "Good", "Excellent" for 1, 2, 3; "Adjust" for anything else.
const char* verdict_word(std::int32_t quality);

// ---- first generation -------------------------------------------------------

inline constexpr std::size_t kFirstGenEntrySize = 628;
inline constexpr std::size_t kFirstGenEntries = 12;

// Fills `area` from one 628-byte entry of the first-generation results table.
void fill_area_from_entry(TOOTH_AREA& area, std::span<const std::uint8_t, kFirstGenEntrySize> entry);

// Interprets entry `index` of the twelve-entry table (host layout) by the
// structure layout `layout`.  Entries after the given one are taken round the
// table (the instrument fills it as a ring, newest entry first).
void interpret_first_generation(COMM_MEASUREMENT& m, std::span<const std::uint8_t> table, std::size_t index,
                                std::string_view layout);

// ---- later generations --------------------------------------------------------

void fill_area_from_details(TOOTH_AREA& area, const TOLA_SHADE_MATCH_DETAILS& d);
void fill_area_from_results(TOOTH_AREA& area, const CKII_RESULTS& r, std::size_t index, bool single);
void fill_name_blocks(COMM_MEASUREMENT& m, const CKII_RESULTS& r);

void interpret_results(COMM_MEASUREMENT& m, const CKII_RESULTS& r);

// The details interpretation.  Tooth areas collect in `accumulator` until the
// third one completes; `names` supplies the areas' shade names then.
void interpret_details(COMM_MEASUREMENT& m, const TOLA_SHADE_MATCH_DETAILS& d, const CKII_RESULTS& names,
                       COMM_MEASUREMENT& accumulator);

// The library-wide accumulator of tooth-area measurements.
COMM_MEASUREMENT& tooth_area_accumulator();

}  // namespace tola::measurements
