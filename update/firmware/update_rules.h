// The rules of the update that need no instrument: who may receive which
// release, where the application starts, the flash sector table, the count-down.
// Release texts compare ordinally: code unit by code unit, case-sensitive, a
// prefix is smaller ("509I" < "509IBU" < "509i" < "509iBU").
#pragma once

#include "update/program_error.h"

#include <QString>

#include <array>
#include <cstdint>

namespace ckupdate {

CKUPDATE_ERROR_CLASS(EWrongUpdateDevice);
CKUPDATE_ERROR_CLASS(EDeviceHasActualVersion);

// Raises the error of the first rule that refuses the instrument (processor
// type cpuType, running `firmware`) the release `release`; S: service mode.
void CheckUpdateAllowed(std::uint32_t cpuType, const QString& release, const QString& firmware, bool serviceMode);

// Offset of the application area from the flash base for a release.
std::uint32_t StartOffsetFor(const QString& release);

// The STM32F2 1 MiB flash: sectors 0-3 of 16 KiB, 4 of 64 KiB, 5-11 of 128 KiB.
inline constexpr std::array<std::uint32_t, 12> kSectorSizes{0x4000,  0x4000,  0x4000,  0x4000,  0x10000, 0x20000,
                                                            0x20000, 0x20000, 0x20000, 0x20000, 0x20000, 0x20000};
// The sector that holds an offset from the flash base.
int SectorOf(std::uint32_t offset);

// The count-down: total of the four estimates, elapsed since the count-down started.
struct CountDown;
CountDown ComputeCountDown(std::uint32_t totalMs, std::uint32_t elapsedMs);

}  // namespace ckupdate
