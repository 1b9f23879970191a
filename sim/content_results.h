// What one measurement leaves in the instrument's result structures.
//
// Results record (CKII_RESULTS, instrument byte order; names as NUL-padded bytes):
//   0    iMode                 kind: 1 tooth, 2 tooth area, 3 verify, 4/7 tab,
//                              5 ceramic, 6 tooth with average, 8 calibration,
//                              12 average and whiteness only
//   4    iMaterial
//   8    area states[3]        2 measured, 4 complete
//   20   qsn3D[3]              second-system shade per area ("3M2")
//   98   qsnClassical[3]       classical shade per area ("A2"); a single area
//                              lists its three best classical shades
//   176  qfParm[3][11]         In, L, C, H, A, B, X, Y, Z, 1st, 2nd
//   308  qfDelta[3][17]        Delta In, L, C, H, A, B, ... Delta E at 11
//   512  iVerify_system, 516 iVerify_quality, 520 iVerify_shade (index from 0
//        into the classical or the interpolated names)
//   524  qsn3DInterp[3], 602 qsn3DBlock[3], 680 qsn3DBleached[3], 758 qsnClassicalBlock[3]
//   836  average count (.27 on)
//   840  further values (.29 on): 16-bit battery percent and temperature (0.1 C)
//        at 840, 842, four 16-bit LED drifts at 846, the measurement number,
//        integration time (ms) and a flag word at 856, 860, 864
//   868  whiteness (.31 on), 872 a flag byte
// .24 keeps bytes 0-523, .25/.26 0-835, .27/.28 0-875 without the values from 840.
// .22/.23 (296 bytes): 0-219 as above (area 1's colour parameters only), area 1's
// differences at 220, iVerify_quality at 292.
//
// Measurement details (TOLA_SHADE_MATCH_DETAILS):
//   0    three sensor records of 328 bytes (40 sensor values, 11 weighted colour
//        parameters at 160, spectrum 400..700 nm at 204); the third is the principal
//   984  qfT[11], 1028 qsnClassical[3] (the three best of a single area; one per
//        area for tooth areas), 1108 tClassical_method
//   1112 qClassical: a shade match per area, 124 bytes apart (iShade, iStatus,
//        dHits, qfDelta[17] at 12, qiBest_fit[11] at 80)
//   3096 sn3D (area 0's second-system name), 3124 t3D_method,
//   3128 q3D per area, 124 bytes apart; 3500 and 3526 the second-system names
//   of areas 1 and 2 of a tooth area
//   6724 qf3D[3], 6736 qf3D_shade_parm[11], 6780 qf3D_delta[17], 6852 fThickness,
//   6856 iMaterial, 6860 iArea, 6864 iMode, 6868 qiStatus[3], 6880 snVerify_shade,
//   6908 iVerify_quality, 6912 snVerify_quality, 6940 iVerify_system
//   6944 interpolated second-system name per area (.25 on), 7312 average count (.26 on)
// The shade-match engine's block from 3096 to 6971 is kept little-endian on every
// processor; the rest follows the instrument's byte order.  How the releases
// place the record:
//   .26 on   as above (.26 ends before the average count)
//   .25      7064 bytes: the 120 bytes at 3096 and the 120 at 6944 change places
//   .22-.24  the fields before 6944 in place
//   .16-.20  the fields before 6724 in place, the 220 bytes from qf3D to
//            iVerify_system at 6528; .11-.15 the same at 6280
//
// Short result record (ADD_5, 624 bytes, .31 on; colour values as two bytes,
// high first: sign bit and magnitude, value = magnitude / 218):
//   0 kind, 1 material, 2 average count, 4 verify system, 5 verify quality,
//   6 verify shade, 8 area states[3], 12 second-system codes[3], 16 interpolated
//   codes[3], 20 bleached codes[3] (value + 1), 23 whiteness, 24 classical
//   codes[3] (single area: its three best), 28 + 12k L, a, b, X, Y, Z of area k,
//   64 + 12k Delta L, A, B of area k, 100 + 12k and 136 + 12k the second-system
//   and classical differences (E, L, C, H, A, B) of area k, 172 + 140k sensor k:
//   16 sensor values (f32), then at +64 its L, A, B, X, Y, Z and at +76 its 31
//   spectrum values; 592 the further values of the results record (as at 840).
//
// First-generation results entry (628 bytes, the layout of .19/.20; .16-.18
// keep the fields up to 455 in 456 bytes): state at 0 (6 complete),
// spectrum[31] at 4, colour parameters[11] at 128, classical names at 176, 202,
// 228, classical differences[17] at 256, second-system name at 328 and its
// differences at 368, kind at 444 (0 tooth, 1 tab, 2 verify, 3 ceramic), area
// step at 448, area flag at 452, verify system at 460, verify shade name at 464,
// verdict at 490, verify differences[17] at 560.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/byte_order.h"

namespace tola::sim {

namespace kind {
inline constexpr int kTooth = 1, kToothArea = 2, kVerify = 3, kTab = 4, kCeramic = 5, kToothAverage = 6, kTab2 = 7,
                     kCalibration = 8, kWhiteness = 12;
}

struct AreaResult {
    std::string classical = "---";     // best classical shade
    std::string classical2 = "---";    // second and third best
    std::string classical3 = "---";
    std::string shade_3d = "---";      // second shade system
    std::string interpolated = "---";  // second system, interpolated
    float L = 0, a = 0, b = 0;
    float delta_e = 0;                 // to the best classical shade
};

struct MeasurementSample {
    std::uint32_t number = 0;  // how many measurements the instrument had taken before
    std::uint32_t seed = 0;    // what the shades are drawn from (the same for a tooth area's three areas)
    int mode = 0;
    int material = 0;
    int area_step = 0;  // tooth area: the area this measurement took (0..2)
    std::array<int, 3> area_states{};
    std::array<AreaResult, 3> areas;
    int verify_system = 0, verify_quality = 0, verify_shade = 0;
    std::string verify_name = "---";
    int average_count = 1;
    int whiteness = 0;
};

// The kinds an instrument measures in turn (a tooth area takes three
// measurements); the whiteness kind only on instruments that report it.
int rotation_kind(std::uint32_t sequence, bool whiteness);

// A colour measurement of the kind, its shades drawn from the seed.
MeasurementSample colour_measurement(std::uint32_t number, std::uint32_t seed, int mode, int area_step = 0);
// A calibration on the white tile.
MeasurementSample calibration_measurement(std::uint32_t number);

// The 31 reflectance values 400..700 nm of a colour.
std::array<float, 31> spectrum_of(const AreaResult& area);

std::vector<std::uint8_t> results_block(const MeasurementSample& m, int layout_number, std::uint32_t size,
                                        ByteOrder order);
std::vector<std::uint8_t> details_block(const MeasurementSample& m, int layout_number, std::uint32_t size,
                                        ByteOrder order);
std::vector<std::uint8_t> short_result_block(const MeasurementSample& m, std::uint32_t size);
std::vector<std::uint8_t> classic_results_entry(const MeasurementSample& m, std::uint32_t size, ByteOrder order);

}  // namespace tola::sim
