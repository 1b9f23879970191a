// The current target sizes: the size of each structure in the instrument's
// layout release, one word per structure-table position.  Replaced whenever a
// release is recognised; until then only the version block, the host block
// and the table itself have a size.
#pragma once

#include <array>
#include <cstdint>

namespace tola::structures {

inline constexpr std::size_t kTableWords = 24;
using SizeRow = std::array<std::uint32_t, kTableWords>;

// Table positions of the sizes (the same positions as in the structure table).
namespace word {
inline constexpr std::size_t kSetup = 0;
inline constexpr std::size_t kDetails = 1;
inline constexpr std::size_t kShadeTable = 2;
inline constexpr std::size_t kResults = 3;
inline constexpr std::size_t kData = 4;
inline constexpr std::size_t kHostBlock = 5;
inline constexpr std::size_t kVersion = 6;
inline constexpr std::size_t kNorm = 7;
inline constexpr std::size_t kDisplayText = 8;
inline constexpr std::size_t kAdd2 = 10;
inline constexpr std::size_t kAdd3 = 11;
inline constexpr std::size_t kAdd4 = 12;
inline constexpr std::size_t kAdd5 = 13;
inline constexpr std::size_t kMeas = 14;
inline constexpr std::size_t kSettings = 15;
inline constexpr std::size_t kTable = 16;
inline constexpr std::size_t kWord18Record = 18;
}  // namespace word

const SizeRow& current_target_sizes();
void adopt_target_sizes(const SizeRow& row);
void reset_target_sizes();

}  // namespace tola::structures
