// Conversion of the instrument's structures between the layout of its
// structure-layout release (target) and the library's host layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "comm/structures/structure_kind.h"

namespace tola::structures {

// Converts one structure.  Upload fills `host` from `target`, download fills
// `target` from `host`.  `release` is COMM_VERSION.snVersion as last uploaded.
//
// Returns false, touching neither span, when the structure has no map for the
// release in that direction (an unknown release included; the structure and
// sizes tables take every release).  Otherwise it first clears what the
// structure's converter clears -- the host copy over its host size on upload,
// the target over the release's target size on download -- and then moves the
// mapped units.  Nothing outside the two spans is read or written: a span that
// is shorter than a map needs simply leaves the missing units out.  The target
// span may be longer than the release's target size (the staging buffer);
// a few older maps read or write past that size, never past the span.
bool convert(StructureKind kind, Direction direction, std::string_view release, ByteOrder order,
             std::span<std::uint8_t> host, std::span<std::uint8_t> target);

// Converts `count` consecutive records -- the four shade tables, the 12
// first-generation results entries -- that lie host_size() apart in the host
// and target_size() apart in the target.  Each record is confined to its own
// slot on both sides.  Refused as a whole, untouched, like convert().
bool convert_each(StructureKind kind, std::size_t count, Direction direction, std::string_view release,
                  ByteOrder order, std::span<std::uint8_t> host, std::span<std::uint8_t> target);

// True when convert() would serve the release in that direction.
bool serves(StructureKind kind, Direction direction, std::string_view release);

// Size of the structure's host copy in bytes (one record for the shade tables
// and the first-generation results entries).
std::size_t host_size(StructureKind kind);

// Target size of the structure in a release, from the release table; 0 for a
// release that is not in the table, except for the structure and sizes tables,
// which are 96 bytes everywhere.
std::uint32_t target_size(StructureKind kind, std::string_view release);

}  // namespace tola::structures
