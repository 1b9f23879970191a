#include "sim/content_blocks.h"

#include <initializer_list>

#include "sim/content_writer.h"
#include "sim/shade_catalog.h"

namespace tola::sim {
namespace {

constexpr std::size_t kChannels = 16;

// A channel's raw count on a ring or sensor, as a lit white tile gives it.
std::uint16_t raw_count(std::size_t channel, std::size_t ring) {
    return static_cast<std::uint16_t>(21000 + 650 * (channel % 8) - 1800 * ring);
}

float reading(std::size_t channel, std::size_t ring) { return static_cast<float>(raw_count(channel, ring)) / 65535.0f; }

// The instrument's shade tables: tooth, tab, ceramic verify, ceramic measure.
struct TableShade {
    const char* name;
    float L, a, b;
};
struct ShadeTableData {
    const char* name;
    std::initializer_list<TableShade> shades;
};
const ShadeTableData kShadeTables[4] = {
#include "data/default_shade_tables.inc"
};

void put_shade_table(ImageWriter& w, std::size_t base, int n, const ShadeTableData& t, Shades names) {
    w.text(base, t.name, 25);
    const bool after_name = (n >= 16 && n <= 23);  // 624 bytes from 28 on
    const bool after_200 = n < 16;                 // 132 bytes from 200 on
    const std::size_t shift_28 = after_name ? 624 : 0;
    const std::size_t shift_200 = after_name ? 624 : after_200 ? 132 : 0;
    w.u32(base + 28 + shift_28, static_cast<std::uint32_t>(t.shades.size()));
    std::size_t i = 0;
    for (const TableShade& s : t.shades) {
        w.u16(base + 596 + shift_200 + 2 * i, shade_code(names, s.name));
        w.f32(base + 1108 + shift_200 + 12 * i, s.L);
        w.f32(base + 1112 + shift_200 + 12 * i, s.a);
        w.f32(base + 1116 + shift_200 + 12 * i, s.b);
        ++i;
    }
}

}  // namespace

std::vector<std::uint8_t> data_block(int n, std::uint32_t size, ByteOrder order, std::uint32_t change_counter,
                                     std::uint32_t lamp_bits) {
    std::vector<std::uint8_t> out(size, 0);
    ImageWriter w(out, order);
    if (n >= 22) {
        for (std::size_t c = 0; c < 2 * kChannels; ++c) w.u16(2 * c, raw_count(c % kChannels, c / kChannels));
        w.u32(64, 3900);
        w.u32(68, 2950);
        w.u32(72, lamp_bits);
        w.u32(76, 25);
        w.u32(80, change_counter * 40);
        w.u32(132, change_counter);
        return out;
    }
    for (std::size_t c = 0; c < 3 * kChannels; ++c) w.u16(2 * c, raw_count(c % kChannels, c / kChannels));
    for (std::size_t c = 0; c < 24; ++c) w.f32(96 + 4 * c, reading(c % kChannels, c / kChannels));
    w.u8(192, 87);
    w.u32(196, 2950);
    w.u8(200, static_cast<std::uint8_t>(lamp_bits));
    w.u32(204, change_counter);
    w.u16(208, 0);
    w.u16(210, 0);
    w.u32(212, change_counter * 40);
    return out;
}

std::vector<std::uint8_t> meas_block(int n, std::uint32_t size, ByteOrder order, std::uint32_t number) {
    std::vector<std::uint8_t> out(size, 0);
    ImageWriter w(out, order);
    auto word = [&](std::size_t i) { return reading(i % kChannels, (i / kChannels) % 3); };
    auto head = [&] {
        w.u32(0, number);
        w.u32(4, 40);
        w.u32(8, 0x1);
    };
    auto words = [&](std::size_t from, std::size_t to) {
        for (std::size_t at = from; at < to; at += 4) w.f32(at, word(at / 4));
    };
    auto halves = [&](std::size_t from, std::size_t to, std::size_t at) {
        for (std::size_t i = 0; from + 2 * i < to; ++i) w.u16(at + 2 * i, raw_count(i % kChannels, (i / kChannels) % 3));
    };
    if (n < 22) {
        words(0, size);
        head();
        return out;
    }
    if (n <= 23) {
        head();
        // Host blocks at 12, 204, 268, 332, 396 lie at these offsets here.
        static constexpr std::size_t kBlocks[5] = {152, 88, 24, 280, 216};
        for (std::size_t b = 0; b < 5; ++b)
            for (std::size_t i = 0; i < 16; ++i) w.f32(kBlocks[b] + 4 * i, word(16 * b + i));
        return out;
    }
    if (n <= 28) {
        words(0, 460);
        head();
        return out;
    }
    words(0, 708);
    if (n == 32) {
        halves(708, 900, 708);
        words(900, 1944);
        halves(1944, 2008, 1944);
        words(2008, 2072);
        halves(2072, 2136, 2072);
        words(2136, 2264);
    } else {
        halves(708, 902, 710);
        words(904, n == 29 ? 1092 : 1220);
    }
    head();
    return out;
}

std::vector<std::uint8_t> shade_tables_block(int n, std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(4 * static_cast<std::size_t>(size), 0);
    static constexpr Shades kNames[4] = {Shades::Classical, Shades::Second, Shades::Classical, Shades::Classical};
    for (std::size_t t = 0; t < 4; ++t) {
        // Each table is written on its own, so that none runs into the next.
        std::vector<std::uint8_t> one(size, 0);
        ImageWriter w(one, order);
        put_shade_table(w, 0, n, kShadeTables[t], kNames[t]);
        std::copy(one.begin(), one.end(), out.begin() + static_cast<std::ptrdiff_t>(t * size));
    }
    return out;
}

std::vector<std::uint8_t> classic_settings_block(std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(size, 0);
    ImageWriter w(out, order);
    w.f32(0, 1.0f);
    for (std::size_t c = 0; c < kChannels; ++c) {
        w.f32(4 + 4 * c, 1.02f + 0.01f * static_cast<float>(c % 8));
        w.f32(68 + 4 * c, 0.98f + 0.01f * static_cast<float>(c % 8));
    }
    w.u32(132, 400);
    w.u32(136, 60000);
    w.u32(140, 40);
    w.u32(144, 300);
    w.u32(148, 1800);
    w.u32(152, 3900);
    w.u32(156, 3300);
    const float limits[4] = {1.0f, 2.0f, 3.5f, 5.0f};
    for (std::size_t i = 0; i < 4; ++i) w.f32(160 + 4 * i, limits[i]);
    return out;
}

std::vector<std::uint8_t> calibration_block(std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(size, 0);
    ImageWriter w(out, order);
    // Each filter weighs the wavelengths near its own centre.
    static constexpr float kCentres[6] = {430, 470, 520, 570, 640, 690};
    w.f32(0, 2.0f);  // two rings
    for (std::size_t i = 1; i + 1 <= size / 4 && i < 669; ++i) {
        const std::size_t in_row = (i - 1) % 9, row = ((i - 1) / 9) % 31;
        const float nm = 400.0f + 10.0f * static_cast<float>(row);
        float v = 0.0f;
        if (in_row < 6) {
            const float d = (nm - kCentres[in_row]) / 40.0f;
            v = 1.0f / (1.0f + d * d);
        }
        w.f32(4 * i, v);
    }
    return out;
}

}  // namespace tola::sim
