// Builds the bytes of a built-in firmware image: the complete flash content from
// the flash base, deterministic for its release.
//
//   0x0000  boot loader: vector table (stack top, handlers), code, then erased
//           up to 0xC000
//   0xC000  header block, 64 bytes: "App Loaded" (16, NUL-padded), the release
//           (16), the date text (32)
//   0xC040  application: vector table, code and constant data with a few erased
//           gaps (as the linker leaves between sections), a text block naming the
//           release, and a CRC-32 of everything before it in the last four bytes
//           (the very last byte never 0xFF)
#pragma once

#include "update/firmware/firmware_table.h"

#include <cstdint>
#include <vector>

namespace ckupdate::data {

std::vector<std::uint8_t> GenerateFirmwareImage(const FirmwareImageDescription& description);

// Offsets of the erased gaps inside the application of an image of that size
// (start, length), sector starts excluded.
struct Gap {
    std::uint32_t start;
    std::uint32_t length;
};
std::vector<Gap> ApplicationGaps(std::uint32_t imageSize);

std::uint32_t Crc32(const std::uint8_t* data, std::size_t length);

}  // namespace ckupdate::data
