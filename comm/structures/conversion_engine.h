// Applies a converter map in either direction.
#pragma once

#include <cstdint>
#include <span>

#include "comm/structures/conversion_unit.h"

namespace tola::structures {

// Moves every unit of `units` that takes part in `direction`: on upload from
// `target` into `host`, on download from `host` into `target`.  16- and 32-bit
// units are reversed when the instrument's order differs from the host's.
//
// Nothing outside the two spans is ever read or written, whatever a map says:
// a unit is clipped to the whole elements that lie inside both spans (only the
// destination span for a constant), and a unit with no such element is skipped.
// Units are applied in map order, so a later unit overrides an earlier one.
void apply_units(std::span<const Unit> units, Direction direction, ByteOrder order, std::span<std::uint8_t> host,
                 std::span<std::uint8_t> target);

// Zeroes the first `size` bytes of `buffer` (fewer when the buffer is shorter).
void clear_prefix(std::span<std::uint8_t> buffer, std::size_t size);

}  // namespace tola::structures
