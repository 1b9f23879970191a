// What the USB and the byte-stream structure transfers share: the staging
// buffer, the table addresses and sizes, the conversion of a catalogued copy,
// and the sequence that makes the instrument keep what was written.
#pragma once

#include "comm/structures/structure_catalogue.h"

#include <array>
#include <cstdint>
#include <span>

namespace tola::structures {

// Large enough for the four shade tables of the largest release.
inline constexpr std::size_t kStagingSize = 4 * 9412;

std::array<std::uint8_t, kStagingSize>& staging();

// Word of the host copy of the structure table.
std::uint32_t table_address_word(std::size_t word);

// Bytes of one catalogued structure in the instrument: its release size times its records.
std::size_t target_bytes(const CatalogueEntry& e);

bool convert_copy(const CatalogueEntry& e, Direction direction, std::span<std::uint8_t> target);

// Four host commands, each after 200 ms: state 5 twice, 0x200, state 53.  The
// result is that of the last one.
bool store_sequence();

}  // namespace tola::structures
