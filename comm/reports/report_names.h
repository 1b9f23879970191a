// Column labels shared by the reports.
#pragma once

#include "tola_comm.h"

#include <array>
#include <string>

namespace tola::reports {

inline constexpr std::array<const char*, 11> kParameterNames{"In", "L", "C", "H", "A", "B",
                                                             "X",  "Y", "Z", "1st", "2nd"};
inline constexpr std::array<const char*, 17> kDifferenceNames{
    "Delta In",  "Delta L",   "Delta C",     "Delta H",       "Delta A",     "Delta B",
    "Delta X",   "Delta Y",   "Delta Z",     "Delta 1st",     "Delta 2nd",   "Delta E",
    "Sum(Deltas)", "Sum(WtDeltas)", "Sum(UnComm)", "Sum(NormWt)", "Sum(NormUncomm)"};
inline constexpr std::array<const char*, 3> kSensorNames{"Inner", "Ring", "Principal"};
inline constexpr std::array<const char*, 6> kCalibrationColumns{"430nm", "470nm", "520nm",
                                                                "570nm", "640nm", "690nm"};
// Header label of the second shade system in the details report.
inline constexpr const char* kSecondSystemLabel = "3D Shades";

// Label of sensor channel j from the library's current set-up copy: "S:" for
// a channel of type bit 0x1, "L:" for bit 0x100, "?:" otherwise, with the
// channel's filter centre and a tab.
std::string channel_label(std::size_t channel);

}  // namespace tola::reports
