#include "sim/host_layout.h"

namespace tola::sim {

HostLayout host_layout(int n) {
    HostLayout l;
    l.target.fill(-1);
    if (n >= 24) {
        l.words = 16;
        for (std::size_t i = 0; i < kHostWords; ++i) l.target[i] = static_cast<int>(i);
    } else if (n >= 22) {
        l.words = 19;
        l.target = {0, 1, 2, 4, 5, 6, 7, 8, 11, 12, 14, 15, 16, 17, 18, 10};
    } else if (n == 20) {
        l.words = 11;
        l.target = {0, 1, 2, 3, -1, 4, -1, -1, 7, 8, 9, -1, 10, -1, -1, 6};
    } else if (n >= 14) {
        l.words = 9;
        l.target = {0, 1, 2, 3, -1, -1, -1, -1, 6, 7, 8, -1, -1, -1, -1, 5};
    }
    return l;
}

HostWords read_host_words(std::span<const std::uint8_t> block, const HostLayout& layout, ByteOrder order) {
    HostWords w{};
    for (std::size_t i = 0; i < kHostWords; ++i) {
        if (!layout.has(i)) continue;
        const auto at = static_cast<std::size_t>(layout.target[i]) * 4;
        if (at + 4 <= block.size()) w[i] = load_u32(block.subspan(at, 4), order);
    }
    return w;
}

void write_host_words(std::span<std::uint8_t> block, const HostWords& words, const HostLayout& layout,
                      ByteOrder order) {
    for (std::size_t i = 0; i < kHostWords; ++i) {
        if (!layout.has(i)) continue;
        const auto at = static_cast<std::size_t>(layout.target[i]) * 4;
        if (at + 4 <= block.size()) store_u32(block.subspan(at, 4), words[i], order);
    }
}

}  // namespace tola::sim
