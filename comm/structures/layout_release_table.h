// The structure-layout releases this library knows, with the target size of
// every structure in each of them.  A release is named by the instrument's
// COMM_VERSION.snVersion ("CK0A.00.nn.00").
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tola::structures {

inline constexpr std::size_t kReleaseNameSize = 52;
inline constexpr std::size_t kReleaseWordCount = 24;
inline constexpr std::size_t kReleaseRowCount = 19;

// One row as the library has always stored it: a zero-padded name followed by
// 24 target sizes, one per structure-table position.
struct LayoutReleaseRow {
    char name[kReleaseNameSize];
    std::array<std::uint32_t, kReleaseWordCount> sizes;
};
static_assert(sizeof(LayoutReleaseRow) == 148, "a release row is 148 bytes");

// Positions of the size words; they follow the structure-table word order.
enum class ReleaseWord : std::uint8_t {
    Setup = 0,
    MeasureDetails = 1,
    ShadeTable = 2,  // one of the four tables
    Results = 3,     // one entry on the first generation
    Data = 4,
    UsbHost = 5,
    Version = 6,
    Norm = 7,
    DisplayText = 8,
    Add1 = 9,
    Add2 = 10,
    Add3 = 11,
    Add4 = 12,
    Add5 = 13,
    Meas = 14,
    Settings = 15,
    Table = 16,
    TableWord18 = 18,
};

// Newest release first.
extern const std::array<LayoutReleaseRow, kReleaseRowCount> LAYOUT_RELEASE_TABLE;

// Row of a release by exact name; empty when the release is unknown.
std::optional<std::size_t> find_release_row(std::string_view release);

// Layout number nn of a row ("CK0A.00.nn.00"); rows are ordered by it, newest first.
unsigned layout_number(std::size_t row);

// True when both releases are in the table and r is the instrument's release
// or a newer one; an unknown instrument release makes it false for every r.
bool release_or_later(std::string_view r, std::string_view instrument_release);

// Target size of the structure at `word` for a release; 0 for an unknown release.
std::uint32_t release_target_size(std::string_view release, ReleaseWord word);

}  // namespace tola::structures
