#include "comm/api/bounded_string.h"

#include <cstring>

namespace tola {

int bStr_cpy(char* dst, const char* src, std::size_t size) {
    if (dst == src) return 1;
    if (size == 0 || dst == nullptr || src == nullptr) return 0;
    // strnlen bounds the scan: a source of size characters or more cannot fit anyway.
    const std::size_t length = ::strnlen(src, size);
    if (length >= size) return 0;
    std::memmove(dst, src, length + 1);
    return 1;
}

int bStr_cat(char* dst, const char* src, std::size_t size) {
    if (dst == src) return 1;
    if (size == 0 || dst == nullptr || src == nullptr) return 0;
    const std::size_t used = ::strnlen(dst, size);
    if (used >= size) return 0;
    const std::size_t length = ::strnlen(src, size - used);
    if (used + length >= size) return 0;
    std::memmove(dst + used, src, length + 1);
    return 1;
}

}  // namespace tola
