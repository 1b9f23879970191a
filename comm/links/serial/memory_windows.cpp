#include "comm/links/serial/memory_windows.h"

namespace tola::serial {

std::optional<std::uint8_t> request_code(std::span<const MemoryWindow> windows, Access access, std::uint32_t address,
                                         std::int64_t length) {
    if (length < 0 || length > 0xFFFF) return std::nullopt;
    for (const MemoryWindow& w : windows) {
        if (address < w.first || address >= w.last) continue;
        const std::uint64_t end = std::uint64_t{address} + static_cast<std::uint64_t>(length);
        if (end > std::uint64_t{w.last} + 1) continue;
        return access == Access::Read ? w.read_code : w.write_code;
    }
    return std::nullopt;
}

}  // namespace tola::serial
