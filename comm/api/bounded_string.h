// Bounded text operations used for every text the library writes: the whole
// result lands with its NUL, or the destination stays exactly as it was.
#pragma once

#include <cstddef>

namespace tola {

// Copies src into dst when strlen(src) < size; otherwise leaves dst unchanged.
int bStr_cpy(char* dst, const char* src, std::size_t size);

// Appends src to dst when strlen(dst) + strlen(src) < size; otherwise leaves dst unchanged.
int bStr_cat(char* dst, const char* src, std::size_t size);

// Fixed-width name fields are filled with room for 24 characters.
inline constexpr std::size_t kNameCopySize = 25;

}  // namespace tola
