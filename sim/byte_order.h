// Byte order of the simulated processors: the first generation and the H8SX keep
// their data big-endian, the STM32F2 little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tola::sim {

enum class ByteOrder { Little, Big };

inline void store_u32(std::span<std::uint8_t> out, std::uint32_t v, ByteOrder order) {
    for (std::size_t i = 0; i < 4 && i < out.size(); ++i) {
        const std::size_t shift = order == ByteOrder::Little ? 8 * i : 8 * (3 - i);
        out[i] = static_cast<std::uint8_t>(v >> shift);
    }
}

inline void store_u16(std::span<std::uint8_t> out, std::uint16_t v, ByteOrder order) {
    for (std::size_t i = 0; i < 2 && i < out.size(); ++i) {
        const std::size_t shift = order == ByteOrder::Little ? 8 * i : 8 * (1 - i);
        out[i] = static_cast<std::uint8_t>(v >> shift);
    }
}

inline std::uint32_t load_u32(std::span<const std::uint8_t> in, ByteOrder order) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4 && i < in.size(); ++i) {
        const std::size_t shift = order == ByteOrder::Little ? 8 * i : 8 * (3 - i);
        v |= static_cast<std::uint32_t>(in[i]) << shift;
    }
    return v;
}

inline std::uint16_t load_u16(std::span<const std::uint8_t> in, ByteOrder order) {
    std::uint16_t v = 0;
    for (std::size_t i = 0; i < 2 && i < in.size(); ++i) {
        const std::size_t shift = order == ByteOrder::Little ? 8 * i : 8 * (1 - i);
        v = static_cast<std::uint16_t>(v | static_cast<std::uint16_t>(in[i]) << shift);
    }
    return v;
}

}  // namespace tola::sim
