#include "comm/structures/conversion_engine.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "comm/api/bounded_string.h"

namespace tola::structures {
namespace {

bool takes_part(Flow flow, Direction direction) {
    switch (flow) {
        case Flow::Both: return true;
        case Flow::UploadOnly: return direction == Direction::Upload;
        case Flow::DownloadOnly: return direction == Direction::Download;
    }
    return false;
}

bool needs_reversal(ByteOrder order) {
    const bool big = order == ByteOrder::BigEndian;
    return big != (std::endian::native == std::endian::big);
}

// Whole elements of `size` bytes starting at `offset` that fit into a span of `span_size`.
std::size_t fitting(std::size_t offset, std::size_t size, std::size_t span_size) {
    if (offset >= span_size) return 0;
    return (span_size - offset) / size;
}

std::uint32_t load32(const std::uint8_t* p, bool reverse) {
    std::uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return reverse ? __builtin_bswap32(v) : v;
}

void store32(std::uint8_t* p, std::uint32_t v, bool reverse) {
    if (reverse) v = __builtin_bswap32(v);
    std::memcpy(p, &v, sizeof v);
}

void move_words32(std::uint8_t* dst, const std::uint8_t* src, std::size_t count, bool reverse) {
    if (!reverse) {
        std::memmove(dst, src, count * 4);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) store32(dst + 4 * i, load32(src + 4 * i, true), false);
}

void move_words16(std::uint8_t* dst, const std::uint8_t* src, std::size_t count, bool reverse) {
    if (!reverse) {
        std::memmove(dst, src, count * 2);
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t low = src[2 * i];
        const std::uint8_t high = src[2 * i + 1];
        dst[2 * i] = high;
        dst[2 * i + 1] = low;
    }
}

void apply_unit(const Unit& unit, Direction direction, bool reverse, std::span<std::uint8_t> host,
                std::span<std::uint8_t> target) {
    const bool upload = direction == Direction::Upload;
    const std::size_t size = element_size(unit.kind);

    if (unit.kind == UnitKind::Const32) {
        const std::span<std::uint8_t> dst = upload ? host : target;
        const std::size_t offset = upload ? unit.host : unit.target;
        const std::size_t n = std::min<std::size_t>(unit.count, fitting(offset, size, dst.size()));
        // The host copy is in host order; the target gets the instrument's order.
        for (std::size_t i = 0; i < n; ++i) store32(dst.data() + offset + 4 * i, unit.value, !upload && reverse);
        return;
    }

    const std::size_t n = std::min({static_cast<std::size_t>(unit.count), fitting(unit.host, size, host.size()),
                                    fitting(unit.target, size, target.size())});
    if (n == 0) return;
    std::uint8_t* dst = upload ? host.data() + unit.host : target.data() + unit.target;
    const std::uint8_t* src = upload ? target.data() + unit.target : host.data() + unit.host;

    switch (unit.kind) {
        case UnitKind::Word32: move_words32(dst, src, n, reverse); break;
        case UnitKind::Word16: move_words16(dst, src, n, reverse); break;
        case UnitKind::Bytes: std::memmove(dst, src, n); break;
        case UnitKind::Name:
            for (std::size_t i = 0; i < n; ++i) std::memmove(dst + 26 * i, src + 26 * i, 25);
            break;
        case UnitKind::BoundedName:
            // The bounded copy scans at most 25 source bytes and refuses a text
            // that does not end inside them, leaving the destination as it was.
            for (std::size_t i = 0; i < n; ++i) {
                bStr_cpy(reinterpret_cast<char*>(dst + 26 * i), reinterpret_cast<const char*>(src + 26 * i),
                         kNameCopySize);
            }
            break;
        case UnitKind::OrWord32: {
            // Host words are in host order, target words in the instrument's.
            const bool src_reversed = upload && reverse;
            const bool dst_reversed = !upload && reverse;
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint32_t merged = load32(dst + 4 * i, dst_reversed) | load32(src + 4 * i, src_reversed);
                store32(dst + 4 * i, merged, dst_reversed);
            }
            break;
        }
        case UnitKind::Const32: break;
    }
}

}  // namespace

void apply_units(std::span<const Unit> units, Direction direction, ByteOrder order, std::span<std::uint8_t> host,
                 std::span<std::uint8_t> target) {
    const bool reverse = needs_reversal(order);
    for (const Unit& unit : units) {
        if (takes_part(unit.flow, direction)) apply_unit(unit, direction, reverse, host, target);
    }
}

void clear_prefix(std::span<std::uint8_t> buffer, std::size_t size) {
    std::fill_n(buffer.begin(), std::min(size, buffer.size()), std::uint8_t{0});
}

}  // namespace tola::structures
