#include "sim/release_table.h"

namespace tola::sim {
namespace {

// Arguments follow the printed order of the firmware's size list: the used words,
// then the two reserved words that some releases fill (9 and 17).
constexpr ReleaseRow row(std::string_view name, std::uint32_t setup, std::uint32_t details, std::uint32_t shade,
                         std::uint32_t results, std::uint32_t data, std::uint32_t host, std::uint32_t version,
                         std::uint32_t norm, std::uint32_t display, std::uint32_t add2, std::uint32_t add3,
                         std::uint32_t add4, std::uint32_t add5, std::uint32_t meas, std::uint32_t settings,
                         std::uint32_t table, std::uint32_t word18, std::uint32_t w9, std::uint32_t w17) {
    ReleaseSizes s{};
    s[rw::kSetup] = setup;
    s[rw::kMeasureDetails] = details;
    s[rw::kShadeTable] = shade;
    s[rw::kResults] = results;
    s[rw::kData] = data;
    s[rw::kHost] = host;
    s[rw::kVersion] = version;
    s[rw::kNorm] = norm;
    s[rw::kDisplayText] = display;
    s[rw::kAdd1] = w9;
    s[rw::kAdd2] = add2;
    s[rw::kAdd3] = add3;
    s[rw::kAdd4] = add4;
    s[rw::kAdd5] = add5;
    s[rw::kMeas] = meas;
    s[rw::kSettings] = settings;
    s[rw::kTable] = table;
    s[rw::kReserved17] = w17;
    s[rw::kWord18] = word18;
    return ReleaseRow{name, s};
}

constexpr std::array<ReleaseRow, 19> kRows{{
    row("CK0A.00.32.00", 1392, 7316, 8788, 876, 168, 64, 260, 256, 216, 68, 2676, 576, 624, 2280, 512, 96, 11, 32, 212),
    row("CK0A.00.31.00", 1392, 7316, 8788, 876, 168, 64, 260, 256, 216, 68, 2676, 576, 624, 2280, 512, 96, 0, 32, 0),
    row("CK0A.00.30.00", 1392, 7316, 8788, 876, 168, 64, 260, 256, 216, 68, 2676, 576, 0, 2280, 512, 96, 0, 32, 0),
    row("CK0A.00.29.00", 1392, 7316, 8788, 876, 168, 64, 260, 256, 216, 68, 2676, 576, 0, 2280, 512, 96, 0, 32, 0),
    row("CK0A.00.28.00", 1392, 7316, 8788, 876, 168, 64, 260, 128, 216, 68, 0, 0, 0, 2280, 384, 96, 0, 32, 0),
    row("CK0A.00.27.00", 1392, 7316, 8788, 876, 168, 64, 260, 128, 216, 68, 0, 0, 0, 2280, 384, 96, 0, 32, 0),
    row("CK0A.00.26.00", 1392, 7312, 8788, 836, 168, 64, 260, 128, 216, 68, 0, 0, 0, 2280, 384, 96, 0, 32, 0),
    row("CK0A.00.25.00", 1392, 7064, 8788, 836, 168, 64, 260, 128, 216, 68, 0, 0, 0, 2280, 332, 96, 0, 32, 0),
    row("CK0A.00.24.00", 1392, 6944, 8788, 524, 168, 64, 260, 128, 216, 68, 0, 0, 0, 2280, 332, 96, 0, 32, 0),
    row("CK0A.00.23.00", 1392, 6944, 9412, 296, 168, 76, 260, 340, 216, 0, 0, 0, 0, 344, 228, 96, 0, 0, 0),
    row("CK0A.00.22.00", 1072, 6944, 9412, 296, 168, 76, 260, 340, 216, 0, 0, 0, 0, 344, 228, 96, 0, 0, 0),
    row("CK0A.00.20.00", 1856, 6748, 8920, 628, 216, 44, 260, 304, 216, 0, 10, 16, 80, 304, 468, 96, 0, 0, 0),
    row("CK0A.00.19.00", 1856, 6748, 8920, 628, 216, 36, 260, 304, 216, 0, 10, 16, 80, 304, 468, 96, 0, 0, 0),
    row("CK0A.00.18.00", 1856, 6748, 8920, 456, 216, 36, 260, 304, 216, 0, 10, 16, 80, 0, 468, 96, 0, 0, 0),
    row("CK0A.00.17.00", 1856, 6748, 8920, 456, 216, 36, 260, 304, 216, 0, 10, 16, 80, 0, 468, 96, 0, 0, 0),
    row("CK0A.00.16.00", 1856, 6748, 8920, 456, 208, 36, 260, 304, 216, 0, 10, 16, 80, 0, 468, 96, 0, 0, 0),
    row("CK0A.00.15.00", 1540, 6500, 8912, 676, 208, 36, 260, 312, 216, 0, 10, 16, 80, 0, 468, 96, 0, 0, 0),
    row("CK0A.00.14.00", 1324, 6500, 8912, 676, 208, 36, 260, 308, 216, 0, 10, 16, 0, 0, 468, 96, 0, 0, 0),
    row("CK0A.00.11.00", 1312, 6500, 8912, 576, 204, 0, 260, 308, 0, 0, 8, 0, 0, 0, 468, 96, 0, 0, 0),
}};

}  // namespace

std::span<const ReleaseRow> release_rows() { return kRows; }

std::optional<ReleaseRow> find_release(std::string_view name) {
    for (const auto& r : kRows)
        if (r.name == name) return r;
    return std::nullopt;
}

ReleaseSizes sizes_for_release(std::string_view name) {
    if (auto r = find_release(name)) return r->sizes;
    return kRows.front().sizes;
}

int layout_number(std::string_view name) {
    const std::string_view row = find_release(name) ? name : kRows.front().name;
    // "CK0A.00.nn.00": the two digits after the second dot.
    return (row[8] - '0') * 10 + (row[9] - '0');
}

}  // namespace tola::sim
