// The shade-name tables: the instruments report shades as byte codes and the
// library turns them into names.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tola::measurements {

enum class ShadeTable : std::uint8_t {
    Classical,
    ClassicalBlock,
    Second,
    SecondInterpolated,
    SecondBlock,
};

// "---": the text of a shade field that no shade was found for.
inline constexpr const char* kNoShade = "---";

// Code 0 is no shade; code c >= 1 names entry c - 1.  Null for code 0 and for
// a code beyond the table.
const char* shade_name_by_code(ShadeTable table, std::uint32_t code);

// An index from 0; null when it lies outside the table.
const char* shade_name_by_index(ShadeTable table, std::int64_t index);

std::size_t shade_table_size(ShadeTable table);

}  // namespace tola::measurements
