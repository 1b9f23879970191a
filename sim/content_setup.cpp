#include "sim/content_setup.h"

#include <array>
#include <cmath>

#include "sim/content_writer.h"

namespace tola::sim {
namespace {

constexpr std::array<std::uint32_t, kChannels> kChannelTypes{0x10111, 0x10101, 0x10111, 0x10011, 0x10001, 0x10011,
                                                             0x10101, 0x10101, 0x10111, 0x10001, 0x10011, 0x10011,
                                                             0x10101, 0x10111, 0x10101, 0x10001};

// CIE 1931 2-degree observer, 400..700 nm in 10 nm steps.
constexpr float kTri[31][3] = {
    {0.0143f, 0.0004f, 0.0679f}, {0.0435f, 0.0012f, 0.2074f}, {0.1344f, 0.0040f, 0.6456f},
    {0.2839f, 0.0116f, 1.3856f}, {0.3483f, 0.0230f, 1.7471f}, {0.3362f, 0.0380f, 1.7721f},
    {0.2908f, 0.0600f, 1.6692f}, {0.1954f, 0.0910f, 1.2876f}, {0.0956f, 0.1390f, 0.8130f},
    {0.0320f, 0.2080f, 0.4652f}, {0.0049f, 0.3230f, 0.2720f}, {0.0093f, 0.5030f, 0.1582f},
    {0.0633f, 0.7100f, 0.0782f}, {0.1655f, 0.8620f, 0.0422f}, {0.2904f, 0.9540f, 0.0203f},
    {0.4334f, 0.9950f, 0.0087f}, {0.5945f, 0.9950f, 0.0039f}, {0.7621f, 0.9520f, 0.0021f},
    {0.9163f, 0.8700f, 0.0017f}, {1.0263f, 0.7570f, 0.0011f}, {1.0622f, 0.6310f, 0.0008f},
    {1.0026f, 0.5030f, 0.0003f}, {0.8544f, 0.3810f, 0.0002f}, {0.6424f, 0.2650f, 0.0000f},
    {0.4479f, 0.1750f, 0.0000f}, {0.2835f, 0.1070f, 0.0000f}, {0.1649f, 0.0610f, 0.0000f},
    {0.0874f, 0.0320f, 0.0000f}, {0.0468f, 0.0170f, 0.0000f}, {0.0227f, 0.0082f, 0.0000f},
    {0.0114f, 0.0041f, 0.0000f}};

std::uint32_t filter_width_nm(std::size_t channel) { return channel == 0 || channel == kChannels - 1 ? 30 : 20; }

// A tile's LED reading of one channel: brighter tiles and the outer ring read more.
float tile_led(const ReferenceTile& t, std::size_t channel, bool outer) {
    const float ring = outer ? 1.12f : 1.0f;
    return (t.L * 300.0f + static_cast<float>(channel) * 11.0f) * ring;
}

float channel_gain(std::size_t channel, bool outer) {
    return (outer ? 1.05f : 0.95f) + 0.01f * static_cast<float>(channel % 4);
}

}  // namespace

std::uint32_t filter_centre_nm(std::size_t channel) { return 400 + 20 * static_cast<std::uint32_t>(channel); }

std::vector<std::uint8_t> setup_block(int n, std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(size, 0);
    ImageWriter w(out, order);
    // .22/.23 lack dSensor: every field lies 4 bytes earlier, and there are no tiles.
    const bool shifted = n < 24;
    const std::size_t base = shifted ? 0 : 4;
    if (!shifted) w.u32(0, kSensorId);
    for (std::size_t c = 0; c < kChannels; ++c) {
        w.u32(base + 4 * c, kChannelTypes[c]);
        w.u32(base + 64 + 4 * c, filter_centre_nm(c));
        w.u32(base + 128 + 4 * c, filter_width_nm(c));
    }
    w.u32(base + 192, 8);
    for (std::size_t i = 0; i < 8; ++i) w.i32(base + 196 + 4 * i, static_cast<std::int32_t>(1000 + 125 * i));
    w.u32(base + 260, 6);
    for (std::size_t i = 0; i < 6; ++i) w.i32(base + 264 + 4 * i, static_cast<std::int32_t>(2000 + 250 * i));
    for (std::size_t l = 0; l < 31; ++l)
        for (std::size_t k = 0; k < 3; ++k) w.f32(base + 328 + 12 * l + 4 * k, kTri[l][k]);
    if (shifted) return out;
    for (std::size_t t = 0; t < 4; ++t) {
        const std::size_t at = 704 + 172 * t;
        const auto& tile = kReferenceTiles[t];
        w.text(at, tile.name);
        for (std::size_t c = 0; c < kChannels; ++c) {
            w.f32(at + 28 + 4 * c, tile_led(tile, c, true));
            w.f32(at + 92 + 4 * c, tile_led(tile, c, false));
        }
        w.f32(at + 156, tile.L);
        w.f32(at + 160, tile.a);
        w.f32(at + 164, tile.b);
        w.f32(at + 168, 0.5f);
    }
    return out;
}

std::vector<std::uint8_t> norm_block(int, std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(size, 0);
    ImageWriter w(out, order);
    for (std::size_t c = 0; c < kChannels; ++c) {
        w.f32(4 * c, channel_gain(c, false));
        w.f32(64 + 4 * c, channel_gain(c, true));
        w.f32(128 + 4 * c, 120.0f + static_cast<float>(c));
        w.f32(192 + 4 * c, tile_led(kReferenceTiles[0], c, true));
    }
    return out;
}

std::vector<std::uint8_t> classic_setup_block(std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(size, 0);
    ImageWriter w(out, order);
    w.u32(0, kSensorId);
    w.u32(4, kChannels);
    w.u32(8, 6);
    w.u8(12, 1);
    w.u8(13, 6);
    for (std::size_t c = 0; c < kChannels; ++c) {
        w.u32(16 + 4 * c, filter_centre_nm(c));
        w.u32(80 + 4 * c, filter_width_nm(c));
        w.f32(144 + 4 * c, channel_gain(c, true));
    }
    for (std::size_t t = 0; t < 4; ++t) {
        const std::size_t at = 216 + 48 * t;
        const auto& tile = kReferenceTiles[t];
        w.text(at, tile.name, 25);
        w.i32(at + 28, static_cast<std::int32_t>(std::lround(tile.L * 100)));
        w.i32(at + 32, static_cast<std::int32_t>(std::lround(tile.a * 100)));
        w.i32(at + 36, static_cast<std::int32_t>(std::lround(tile.b * 100)));
        w.u32(at + 40, static_cast<std::uint32_t>(tile_led(tile, 0, true)));
        w.u32(at + 44, static_cast<std::uint32_t>(tile_led(tile, 0, false)));
    }
    return out;
}

std::vector<std::uint8_t> classic_norm_block(int n, std::uint32_t size, ByteOrder order) {
    std::vector<std::uint8_t> out(size, 0);
    ImageWriter w(out, order);
    const std::size_t base = n == 11 || n == 14 ? 4 : 0;
    for (std::size_t i = 0; i < 76; ++i) w.f32(base + 4 * i, channel_gain(i % kChannels, (i / kChannels) % 2 == 1));
    return out;
}

}  // namespace tola::sim
