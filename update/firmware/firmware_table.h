// The eleven built-in firmware images of the "Chromatik V" and the fifteen
// catalog places they fill.  Shared by the image generator and the catalog.
#pragma once

#include <array>
#include <cstdint>

namespace ckupdate {

struct FirmwareImageDescription {
    const char* release;
    const char* date;
    std::uint32_t size;
};

inline constexpr std::array<FirmwareImageDescription, 11> kFirmwareImages{{
    {"512bLE", "July 25, 2022", 560532},
    {"511vLE", "Februar 01, 2022", 559456},
    {"509IDW", "March 17, 2021", 528752},
    {"509IBU", "March 17, 2021", 527020},
    {"509I", "March 17, 2021", 527020},
    {"511eDW", "August 05, 2020", 543528},
    {"511eBU", "August 05, 2020", 541840},
    {"511e", "August 05, 2020", 541840},
    {"509iDW", "July 25, 2019", 528780},
    {"509iBU", "July 25, 2019", 525900},
    {"509i", "July 25, 2019", 528780},
}};

// Catalog index -> image.  Places 1 and 2 hold the "BU" and "DW" variants; for
// the two newest releases all three places hold the same image.
inline constexpr std::array<int, 15> kCatalogImages{0, 0, 0, 1, 1, 1, 4, 3, 2, 7, 6, 5, 10, 9, 8};

inline constexpr std::uint32_t kFlashBase = 0x08000000;
inline constexpr std::uint32_t kFlashSize = 0x100000;
inline constexpr std::uint32_t kFlashBootSize = 0x8000;
inline constexpr std::uint32_t kApplicationStart = 0xC000;
inline constexpr std::uint32_t kHeaderBlockSize = 64;

}  // namespace ckupdate
