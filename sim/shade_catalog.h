// The instrument's shade-name tables (the product data in data/), and the
// codes it reports shades by: code c >= 1 is entry c - 1, 0 no shade.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tola::sim {

enum class Shades : std::uint8_t { Classical, ClassicalBlock, Second, Interpolated, SecondBlock };

// 0 when the name is not in the table.
std::uint8_t shade_code(Shades table, std::string_view name);
// "---" for code 0 or a code beyond the table.
std::string shade_name(Shades table, std::uint8_t code);
// The block of a classical or an interpolated shade ("---" for none).
std::string classical_block(std::string_view classical);
std::string second_block(std::string_view interpolated);

}  // namespace tola::sim
