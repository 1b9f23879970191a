#include "comm/structures/layout_release_table.h"

#include <string_view>

namespace tola::structures {
namespace {

//    w0 setup, w1 details, w2 shade table, w3 results, w4 data, w5 host block,
//    w6 version, w7 norm, w8 display text, w9 ADD_1, w10 ADD_2, w11 ADD_3,
//    w12 ADD_4, w13 ADD_5, w14 meas, w15 settings, w16 table, w17, w18 word-18
//    record, w19..w23 reserved.
constexpr std::array<LayoutReleaseRow, kReleaseRowCount> kTable{{
    {"CK0A.00.32.00", {1392, 7316, 8788, 876, 168, 64, 260, 256, 216, 32, 68, 2676, 576, 624, 2280, 512, 96, 212, 11}},
    {"CK0A.00.31.00", {1392, 7316, 8788, 876, 168, 64, 260, 256, 216, 32, 68, 2676, 576, 624, 2280, 512, 96}},
    {"CK0A.00.30.00", {1392, 7316, 8788, 876, 168, 64, 260, 256, 216, 32, 68, 2676, 576, 0, 2280, 512, 96}},
    {"CK0A.00.29.00", {1392, 7316, 8788, 876, 168, 64, 260, 256, 216, 32, 68, 2676, 576, 0, 2280, 512, 96}},
    {"CK0A.00.28.00", {1392, 7316, 8788, 876, 168, 64, 260, 128, 216, 32, 68, 0, 0, 0, 2280, 384, 96}},
    {"CK0A.00.27.00", {1392, 7316, 8788, 876, 168, 64, 260, 128, 216, 32, 68, 0, 0, 0, 2280, 384, 96}},
    {"CK0A.00.26.00", {1392, 7312, 8788, 836, 168, 64, 260, 128, 216, 32, 68, 0, 0, 0, 2280, 384, 96}},
    {"CK0A.00.25.00", {1392, 7064, 8788, 836, 168, 64, 260, 128, 216, 32, 68, 0, 0, 0, 2280, 332, 96}},
    {"CK0A.00.24.00", {1392, 6944, 8788, 524, 168, 64, 260, 128, 216, 32, 68, 0, 0, 0, 2280, 332, 96}},
    {"CK0A.00.23.00", {1392, 6944, 9412, 296, 168, 76, 260, 340, 216, 0, 0, 0, 0, 0, 344, 228, 96}},
    {"CK0A.00.22.00", {1072, 6944, 9412, 296, 168, 76, 260, 340, 216, 0, 0, 0, 0, 0, 344, 228, 96}},
    {"CK0A.00.20.00", {1856, 6748, 8920, 628, 216, 44, 260, 304, 216, 0, 0, 10, 16, 80, 304, 468, 96}},
    {"CK0A.00.19.00", {1856, 6748, 8920, 628, 216, 36, 260, 304, 216, 0, 0, 10, 16, 80, 304, 468, 96}},
    {"CK0A.00.18.00", {1856, 6748, 8920, 456, 216, 36, 260, 304, 216, 0, 0, 10, 16, 80, 0, 468, 96}},
    {"CK0A.00.17.00", {1856, 6748, 8920, 456, 216, 36, 260, 304, 216, 0, 0, 10, 16, 80, 0, 468, 96}},
    {"CK0A.00.16.00", {1856, 6748, 8920, 456, 208, 36, 260, 304, 216, 0, 0, 10, 16, 80, 0, 468, 96}},
    {"CK0A.00.15.00", {1540, 6500, 8912, 676, 208, 36, 260, 312, 216, 0, 0, 10, 16, 80, 0, 468, 96}},
    {"CK0A.00.14.00", {1324, 6500, 8912, 676, 208, 36, 260, 308, 216, 0, 0, 10, 16, 0, 0, 468, 96}},
    {"CK0A.00.11.00", {1312, 6500, 8912, 576, 204, 0, 260, 308, 0, 0, 0, 8, 0, 0, 0, 468, 96}},
}};

constexpr unsigned number_of(const LayoutReleaseRow& row) {
    return static_cast<unsigned>(row.name[8] - '0') * 10u + static_cast<unsigned>(row.name[9] - '0');
}

// The converters select their maps by layout number ranges; that only agrees
// with "release R or later" while the rows stay strictly ordered.
constexpr bool newest_first() {
    for (std::size_t i = 1; i < kTable.size(); ++i) {
        if (number_of(kTable[i - 1]) <= number_of(kTable[i])) return false;
    }
    return true;
}
static_assert(newest_first(), "release rows must be ordered newest first");

constexpr std::string_view name_of(const LayoutReleaseRow& row) {
    std::size_t length = 0;
    while (length < kReleaseNameSize && row.name[length] != '\0') ++length;
    return {row.name, length};
}

}  // namespace

const std::array<LayoutReleaseRow, kReleaseRowCount> LAYOUT_RELEASE_TABLE = kTable;

std::optional<std::size_t> find_release_row(std::string_view release) {
    for (std::size_t row = 0; row < kTable.size(); ++row) {
        if (name_of(kTable[row]) == release) return row;
    }
    return std::nullopt;
}

unsigned layout_number(std::size_t row) { return row < kTable.size() ? number_of(kTable[row]) : 0; }

bool release_or_later(std::string_view r, std::string_view instrument_release) {
    const auto r_row = find_release_row(r);
    const auto instrument_row = find_release_row(instrument_release);
    return r_row && instrument_row && *r_row >= *instrument_row;
}

std::uint32_t release_target_size(std::string_view release, ReleaseWord word) {
    const auto row = find_release_row(release);
    return row ? kTable[*row].sizes[static_cast<std::size_t>(word)] : 0;
}

}  // namespace tola::structures
