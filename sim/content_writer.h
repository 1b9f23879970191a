// Writes fields into a structure image at byte offsets, in the instrument's byte
// order.  Fields that do not fit the image (an older release's shorter record)
// are left out, so one field table serves every length of a record.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "sim/byte_order.h"

namespace tola::sim {

inline constexpr std::size_t kNameBytes = 26;

class ImageWriter {
public:
    ImageWriter(std::vector<std::uint8_t>& image, ByteOrder order) : image_(image), order_(order) {}

    ByteOrder order() const { return order_; }

    void u32(std::size_t at, std::uint32_t v) {
        if (fits(at, 4)) store_u32(std::span(image_).subspan(at, 4), v, order_);
    }
    void i32(std::size_t at, std::int32_t v) { u32(at, static_cast<std::uint32_t>(v)); }
    void f32(std::size_t at, float v) { u32(at, std::bit_cast<std::uint32_t>(v)); }
    void u16(std::size_t at, std::uint16_t v) {
        if (fits(at, 2)) store_u16(std::span(image_).subspan(at, 2), v, order_);
    }
    void u8(std::size_t at, std::uint8_t v) {
        if (fits(at, 1)) image_[at] = v;
    }
    void f32s(std::size_t at, std::span<const float> values) {
        for (std::size_t i = 0; i < values.size(); ++i) f32(at + 4 * i, values[i]);
    }
    // NUL-padded text of a field `width` bytes wide; the last byte always stays 0.
    void text(std::size_t at, std::string_view t, std::size_t width = kNameBytes) {
        if (!fits(at, width)) return;
        std::fill_n(image_.begin() + static_cast<std::ptrdiff_t>(at), width, std::uint8_t{0});
        const std::size_t n = std::min(t.size(), width - 1);
        std::copy_n(t.begin(), n, image_.begin() + static_cast<std::ptrdiff_t>(at));
    }

private:
    bool fits(std::size_t at, std::size_t n) const { return at + n <= image_.size(); }

    std::vector<std::uint8_t>& image_;
    ByteOrder order_;
};

}  // namespace tola::sim
