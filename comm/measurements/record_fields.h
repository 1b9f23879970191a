// Small helpers for the measurement records: fields read from and written to
// byte offsets of host-layout records, and bounded name copies.
#pragma once

#include "comm/api/bounded_string.h"
#include "tola_comm.h"

#include <cstdint>
#include <cstring>

namespace tola::measurements {

inline std::uint32_t u32_at(const std::uint8_t* p, std::size_t offset) {
    std::uint32_t v;
    std::memcpy(&v, p + offset, sizeof v);
    return v;
}

inline std::int32_t i32_at(const std::uint8_t* p, std::size_t offset) {
    return static_cast<std::int32_t>(u32_at(p, offset));
}

// A name field filled by the library: the whole text of at most 24
// characters, or the field stays as it was.  A source without a terminating
// NUL in its first 25 bytes is refused.
inline void set_name(char* field, const char* text) {
    if (text != nullptr) bStr_cpy(field, text, kNameCopySize);
}

template <class Record>
std::uint8_t* bytes_of(Record& r) {
    return reinterpret_cast<std::uint8_t*>(&r);
}
template <class Record>
const std::uint8_t* bytes_of(const Record& r) {
    return reinterpret_cast<const std::uint8_t*>(&r);
}

// The name field of a record at a byte offset (the records' further data
// holds names the field tables do not declare).
template <class Record>
char* name_at(Record& r, std::size_t offset) {
    static_assert(sizeof(Record) >= sizeof(TNAME));
    return reinterpret_cast<char*>(bytes_of(r) + offset);
}

// The shade-match result at a byte offset of the measurement details: area k
// of the classical system lies at 1112 + 124 k, of the second system at 3128 + 124 k.
inline SHADE_MATCH read_shade_match(const TOLA_SHADE_MATCH_DETAILS& d, std::size_t offset) {
    SHADE_MATCH m;
    std::memcpy(&m, bytes_of(d) + offset, sizeof m);
    return m;
}
inline void write_shade_match(TOLA_SHADE_MATCH_DETAILS& d, std::size_t offset, const SHADE_MATCH& m) {
    std::memcpy(bytes_of(d) + offset, &m, sizeof m);
}

inline constexpr std::size_t kClassicalMatchOffset = 1112;
inline constexpr std::size_t kSecondMatchOffset = 3128;
inline constexpr std::size_t kShadeMatchStride = 124;
// Name fields the details keep in their further data: one per area.  Area 0's
// second-system name is sn3D; the other areas' follow the third area's shade
// match (3500, 3526), where they touch neither t3D_method nor q3D, and lie in
// place in every release's layout.
inline constexpr std::size_t kSecondNameOffset = 3096;
inline constexpr std::size_t kFurtherSecondNameOffset = kSecondMatchOffset + 3 * kShadeMatchStride;
inline constexpr std::size_t second_name_offset(std::size_t area) {
    return area == 0 ? kSecondNameOffset : kFurtherSecondNameOffset + sizeof(TNAME) * (area - 1);
}
inline constexpr std::size_t kInterpolatedNameOffset = 6944;

// Component positions of the colour parameters and differences.
namespace parm {
inline constexpr std::size_t kL = 1, kC = 2, kH = 3, kA = 4, kB = 5, kX = 6, kY = 7, kZ = 8;
}
namespace delta {
inline constexpr std::size_t kL = 1, kC = 2, kH = 3, kA = 4, kB = 5, kE = 11;
}

}  // namespace tola::measurements
