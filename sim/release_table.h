// Structure sizes per layout release, as the firmware of each release lays its
// structures out.  Indexed by the word positions of the release table (0 setup,
// 1 measurement details, 2 one shade table, ... 18 the word-18 record).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tola::sim {

inline constexpr std::size_t kReleaseWords = 24;
using ReleaseSizes = std::array<std::uint32_t, kReleaseWords>;

namespace rw {  // release-table word positions
inline constexpr std::size_t kSetup = 0, kMeasureDetails = 1, kShadeTable = 2, kResults = 3, kData = 4,
                             kHost = 5, kVersion = 6, kNorm = 7, kDisplayText = 8, kAdd1 = 9, kAdd2 = 10,
                             kAdd3 = 11, kAdd4 = 12, kAdd5 = 13, kMeas = 14, kSettings = 15, kTable = 16,
                             kReserved17 = 17, kWord18 = 18;
}

struct ReleaseRow {
    std::string_view name;
    ReleaseSizes sizes;
};

// The rows, newest first.
std::span<const ReleaseRow> release_rows();

// The row of a release name, or nothing for a release the firmware line never had.
std::optional<ReleaseRow> find_release(std::string_view name);

// Sizes an instrument of the given release uses: its own row, or for an unknown
// release the newest row (the instrument still answers; only the host cannot place it).
ReleaseSizes sizes_for_release(std::string_view name);

// The release number nn of "CK0A.00.nn.00" whose layouts an instrument of the
// given release uses: its own, or for an unknown release that of the newest row
// (matching sizes_for_release).
int layout_number(std::string_view name);

}  // namespace tola::sim
