// The 64-byte header block at the start of the application area: it names the
// firmware the boot loader starts.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tola::sim {

inline constexpr std::string_view kAppLoadedMark = "App Loaded";
inline constexpr std::uint32_t kApplicationOffset = 0xC000;

struct FirmwareHeader {
    std::string release;  // 16-byte field
    std::string date;     // 32-byte field
};

std::array<std::uint8_t, 64> make_firmware_header(std::string_view release, std::string_view date);

// The header named by the bytes, or nothing when no application is marked there.
std::optional<FirmwareHeader> parse_firmware_header(std::span<const std::uint8_t> bytes);

}  // namespace tola::sim
