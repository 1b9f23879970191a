// The image buffer of the update (TBinStream) and reading an external firmware
// file into it.  An external file has one of two layouts:
//   header layout (begins with "Chromatik"): device name, release, release date
//       (64 bytes each), then the flash image from the flash base (up to 1 MiB);
//   trailer layout: 0x60000 image bytes, then the same three 64-byte texts.
#pragma once

#include "update/firmware/firmware_table.h"

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

namespace ckupdate {

inline constexpr std::uint32_t kExternalImagePart = 0x60000;
inline constexpr std::uint32_t kExternalFileMinimum = kExternalImagePart + 3 * 64;  // 393408 bytes
inline constexpr const char* kDefaultFirmwareFileName = "CK_STM_App_Binary.bin";

struct TBinStream {
    std::array<char, 64> CDeviceName{};
    std::array<char, 64> CReleaseNumber{};
    std::array<char, 64> CReleaseDate{};
    std::vector<std::uint8_t> Data = std::vector<std::uint8_t>(kFlashSize, 0xFF);  // index = offset from the flash base
};

struct FirmwareFileRead {
    std::uint64_t bytesRead = 0;
    QStringList messages;  // one "Error: Missing data" per short part
    bool opened = false;
};

// Reads the file into the buffer (Data set to 0xFF first).  An I/O error ends
// the reading silently; the buffer keeps what had been read.
FirmwareFileRead ReadFirmwareFile(const QString& path, TBinStream& buffer);

// A 64-byte text field up to its first NUL (8-bit text).
QString FieldText(const std::array<char, 64>& field);

// 1 + the offset of the last byte that is not 0xFF (0 for an erased buffer).
std::uint32_t ImageEnd(const std::vector<std::uint8_t>& data);

}  // namespace ckupdate
