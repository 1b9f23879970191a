#include "sim/firmware_header.h"

#include <algorithm>

namespace tola::sim {
namespace {
void put(std::span<std::uint8_t> field, std::string_view text) {
    std::copy_n(text.begin(), std::min(text.size(), field.size() - 1), field.begin());
}
std::string get(std::span<const std::uint8_t> field) {
    const auto end = std::find(field.begin(), field.end(), std::uint8_t{0});
    return std::string(field.begin(), end);
}
}  // namespace

std::array<std::uint8_t, 64> make_firmware_header(std::string_view release, std::string_view date) {
    std::array<std::uint8_t, 64> h{};
    put(std::span(h).subspan(0, 16), kAppLoadedMark);
    put(std::span(h).subspan(16, 16), release);
    put(std::span(h).subspan(32, 32), date);
    return h;
}

std::optional<FirmwareHeader> parse_firmware_header(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 64) return std::nullopt;
    if (get(bytes.subspan(0, 16)) != kAppLoadedMark) return std::nullopt;
    return FirmwareHeader{get(bytes.subspan(16, 16)), get(bytes.subspan(32, 32))};
}

}  // namespace tola::sim
