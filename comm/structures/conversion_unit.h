// The vocabulary of the converter maps: a map is a list of units, each moving
// one run of fields between a host offset and a target offset.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "comm/structures/layout_release_table.h"
#include "comm/structures/structure_kind.h"

namespace tola::structures {

enum class UnitKind : std::uint8_t {
    Word32,       // 32-bit words, reversed for a big-endian instrument
    Word16,       // 16-bit words, reversed for a big-endian instrument
    Bytes,        // byte run, copied as it is
    Name,         // 26-byte names: the first 25 bytes move, the 26th stays
    BoundedName,  // 26-byte names copied as text of at most 24 characters
    OrWord32,     // upload only: ORs a target word into the host word
    Const32,      // writes `value` into the destination side of the direction
};

// Which directions a unit takes part in.
enum class Flow : std::uint8_t { Both, UploadOnly, DownloadOnly };

struct Unit {
    std::uint16_t host;
    std::uint16_t target;
    std::uint16_t count;  // elements: words, bytes or names
    UnitKind kind;
    Flow flow = Flow::Both;
    std::uint32_t value = 0;  // Const32 only
};

constexpr std::size_t element_size(UnitKind kind) {
    switch (kind) {
        case UnitKind::Word16: return 2;
        case UnitKind::Bytes: return 1;
        case UnitKind::Name:
        case UnitKind::BoundedName: return 26;
        case UnitKind::Word32:
        case UnitKind::OrWord32:
        case UnitKind::Const32: return 4;
    }
    return 1;
}

// Shorthands that keep the maps readable.
constexpr Unit words(std::size_t host, std::size_t target, std::size_t count, Flow flow = Flow::Both) {
    return {static_cast<std::uint16_t>(host), static_cast<std::uint16_t>(target), static_cast<std::uint16_t>(count),
            UnitKind::Word32, flow};
}
constexpr Unit words(std::size_t offset, std::size_t count) { return words(offset, offset, count); }
constexpr Unit halves(std::size_t host, std::size_t target, std::size_t count, Flow flow = Flow::Both) {
    return {static_cast<std::uint16_t>(host), static_cast<std::uint16_t>(target), static_cast<std::uint16_t>(count),
            UnitKind::Word16, flow};
}
constexpr Unit halves(std::size_t offset, std::size_t count) { return halves(offset, offset, count); }
constexpr Unit bytes(std::size_t host, std::size_t target, std::size_t count, Flow flow = Flow::Both) {
    return {static_cast<std::uint16_t>(host), static_cast<std::uint16_t>(target), static_cast<std::uint16_t>(count),
            UnitKind::Bytes, flow};
}
constexpr Unit bytes(std::size_t offset, std::size_t count) { return bytes(offset, offset, count); }
constexpr Unit names(std::size_t host, std::size_t target, std::size_t count, Flow flow = Flow::Both) {
    return {static_cast<std::uint16_t>(host), static_cast<std::uint16_t>(target), static_cast<std::uint16_t>(count),
            UnitKind::Name, flow};
}
constexpr Unit names(std::size_t offset, std::size_t count) { return names(offset, offset, count); }
constexpr Unit texts(std::size_t host, std::size_t target, std::size_t count, Flow flow = Flow::Both) {
    return {static_cast<std::uint16_t>(host), static_cast<std::uint16_t>(target), static_cast<std::uint16_t>(count),
            UnitKind::BoundedName, flow};
}
constexpr Unit texts(std::size_t offset, std::size_t count) { return texts(offset, offset, count); }
// A constant written into the host on upload.
constexpr Unit host_constant(std::size_t host, std::uint32_t value) {
    return {static_cast<std::uint16_t>(host), 0, 1, UnitKind::Const32, Flow::UploadOnly, value};
}
// A constant written into the target on download.
constexpr Unit target_constant(std::size_t target, std::uint32_t value) {
    return {0, static_cast<std::uint16_t>(target), 1, UnitKind::Const32, Flow::DownloadOnly, value};
}
constexpr Unit or_word(std::size_t host, std::size_t target) {
    return {static_cast<std::uint16_t>(host), static_cast<std::uint16_t>(target), 1, UnitKind::OrWord32,
            Flow::UploadOnly};
}

// Inclusive range of layout numbers (nn of "CK0A.00.nn.00").  Numbers missing
// from the release table never match, because an unknown release is refused
// before any range is looked at.
struct ReleaseRange {
    std::uint8_t first;
    std::uint8_t last;
};

struct ConversionRule {
    ReleaseRange releases;
    std::span<const Unit> units;
    bool upload = true;
    bool download = true;
    // Bytes of staging cleared before a download; 0 means the release's target size.
    std::uint16_t download_clear_size = 0;
};

struct StructureConverter {
    StructureKind kind;
    std::uint16_t host_size;
    std::optional<ReleaseWord> target_word;  // empty: fixed size, no release test
    std::uint16_t fixed_target_size;         // used when target_word is empty
    // Host fields a release lacks read 0 after an upload; otherwise they keep
    // their previous values.
    bool clears_host_on_upload;
    // Target bytes no host field maps to go out as 0; otherwise they keep
    // whatever the staging held.
    bool clears_target_on_download;
    std::span<const ConversionRule> rules;   // first rule serving the release and direction wins
};

// Copy of `base` in which every unit at or after host offset `from` lies
// `delta` bytes later in the target.
template <std::size_t N>
constexpr std::array<Unit, N> shift_target_from(const std::array<Unit, N>& base, std::size_t from, std::size_t delta) {
    std::array<Unit, N> shifted = base;
    for (Unit& unit : shifted) {
        if (unit.host >= from) unit.target = static_cast<std::uint16_t>(unit.target + delta);
    }
    return shifted;
}

// First `count` units of `base` followed by `extra`.
template <std::size_t Count, std::size_t N, std::size_t M>
constexpr std::array<Unit, Count + M> head_then(const std::array<Unit, N>& base, const std::array<Unit, M>& extra) {
    static_assert(Count <= N);
    std::array<Unit, Count + M> out{};
    for (std::size_t i = 0; i < Count; ++i) out[i] = base[i];
    for (std::size_t i = 0; i < M; ++i) out[Count + i] = extra[i];
    return out;
}

}  // namespace tola::structures
