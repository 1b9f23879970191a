// The operating settings (CKNG_SETTINGS) an instrument starts with and restores on
// the host's "restore defaults".
//
//   field                    .24 on   .22/.23   value
//   fGain_lin                0        -         1.0
//   qfRef_slope[16]          4        -         1.0
//   qfB[16]                  68       -         0.0
//   qfScale_outer[16]        132      0         1.02 .. 1.17
//   qfScale_inner[16]        196      64        0.98 .. 1.13
//   dACB_id                  260      128       3
//   dAuto_min                264      132       400
//   dAuto_max                268      136       60000
//   dSamples                 272      140       40
//   dLED_stable              276      -         10
//   fLED_drift_max           280      184       0.02
//   fMeas_stable_black       284      164       0.5
//   dMeas_sample_black       288      168       8
//   fMeas_stable_white       292      172       0.25
//   dMeas_sample_white       296      176       16
//   dTimeout_standby         300      208       300 s
//   dTimeout_power           304      212       1800 s
//   dBattery_ADC_full        308      216       3900
//   dBattery_ADC_low         312      220       3300
//   qfDeltaE[4]              316      -         1.0, 2.0, 3.5, 5.0
//   dBitValues1              332      -         0x5
//   qfNNThreshold[4]         336      -         0.6, 0.7, 0.8, 0.9
//   qfFilterLimits[4]        352      -         0.05, 0.95, 0.1, 0.9
//   bySapTabCounts           368      -         4 (bytes)
//   byTftBackLight           369      -         80
//   dwSampleTime_ms          372      -         25
//   dwHidConnectTimeout_ms   376      -         5000
//   byDarkDeltaLimitWarning  380      -         12 (bytes)
//   byDarkDeltaLimitError    381      -         30
//   qfMCDCScale_outer[16]    384      -         1.0
//   qfMCDCScale_inner[16]    448      -         1.0
//
// How much of the record a release keeps: .29 on all 512 bytes; .26-.28 the
// fields before byte 352 (the rest of their 384 bytes stays 0); .24/.25 those
// before byte 332; .22/.23 the rearranged subset of the middle column.  Older
// firmware keeps its settings in a layout of its own (not modelled: filled with
// the marker pattern).
#pragma once

#include <cstdint>
#include <vector>

#include "sim/byte_order.h"

namespace tola::sim {

inline constexpr std::uint32_t kDefaultSamples = 40;

// Whether the release keeps its settings in this record's layout.
bool has_settings_record(int layout_number);

std::vector<std::uint8_t> settings_block(int layout_number, std::uint32_t size, ByteOrder order);

}  // namespace tola::sim
