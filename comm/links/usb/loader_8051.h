// The built-in 8051 loader: 132 S-record lines (an S0 header, 130 S3 records
// with 3620 bytes for 0x801000..0x801E23, an S7 end record), each in an
// 80-byte slot and ended by "\r\n".
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tola::usb {

inline constexpr std::size_t kLoaderLines = 132;
inline constexpr std::size_t kLoaderSlot = 80;

const std::array<std::array<char, kLoaderSlot>, kLoaderLines>& loader_8051_lines();

// The lines joined into one text, as it is downloaded.  Static storage that
// owns no heap memory, so that nothing of it outlives an unload of the library.
std::string_view loader_8051_text();

}  // namespace tola::usb
