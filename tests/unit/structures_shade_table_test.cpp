// Shade tables: three target layouts, four tables back to back.
#include <gtest/gtest.h>

#include "structures_test_support.h"

namespace {

using namespace structures_test;
using tola::structures::convert_each;

using ShadeTableConversion = EitherOrder;

// Host offsets of one value in every unit of the host layout, and the target
// offset where a layout keeps it.
struct Probe {
    std::size_t host;
    bool half;
};
constexpr Probe kProbes[] = {{28, false},   {196, false},  {200, true},  {220, true},   {224, false}, {592, false},
                             {596, true},   {1106, true},  {1108, false}, {3216, false}, {3220, true}, {4900, true},
                             {4904, false}, {8780, false}};

std::size_t target_offset(unsigned number, std::size_t host) {
    if (number >= 24) return host;
    if (number >= 16) return host + 624;
    return host >= 200 ? host + 132 : host;
}

TEST_P(ShadeTableConversion, EachLayoutPlacesEveryUnit) {
    for (unsigned number : {11u, 14u, 15u, 16u, 17u, 19u, 20u, 22u, 23u, 24u, 28u, 32u}) {
        SCOPED_TRACE(number);
        Bytes target(9412, 0), host(8788, 0xEE);
        put_text(target, 0, "Tooth");
        std::uint32_t v = 1;
        for (const Probe& p : kProbes) {
            if (number <= 15 && p.host == 8780) continue;  // beyond their 969-word last run
            p.half ? put16(target, target_offset(number, p.host), static_cast<std::uint16_t>(v), order())
                   : put32(target, target_offset(number, p.host), v, order());
            ++v;
        }
        ASSERT_TRUE(upload(StructureKind::ShadeTable, number, order(), host, target));
        EXPECT_EQ("Tooth", text_at(host, 0));
        v = 1;
        for (const Probe& p : kProbes) {
            if (number <= 15 && p.host == 8780) {
                EXPECT_EQ(0u, host32(host, p.host));
                continue;
            }
            EXPECT_EQ(v, p.half ? host16(host, p.host) : host32(host, p.host)) << p.host;
            ++v;
        }
        // No byte of the 624- or 132-byte blocks is written on download.
        Bytes out(9412, 0x5A);
        ASSERT_TRUE(download(StructureKind::ShadeTable, number, order(), host, out));
        if (number < 24) {
            EXPECT_EQ(0x5A, out[number >= 16 ? 28 + 300 : 200 + 100]);
        }
        v = 1;
        for (const Probe& p : kProbes) {
            if (number <= 15 && p.host == 8780) continue;
            const std::size_t t = target_offset(number, p.host);
            EXPECT_EQ(v, p.half ? get16(out, t, order()) : get32(out, t, order())) << p.host;
            ++v;
        }
        EXPECT_EQ(0x5A, out[25]);  // name: the 26th byte is not moved
    }
}

TEST_P(ShadeTableConversion, FourTablesLieOneTargetSizeApart) {
    Bytes target(4 * 8788, 0), host(4 * 8788, 0xEE);
    for (std::uint32_t i = 0; i < 4; ++i) {
        put32(target, i * 8788 + 28, 0x100 + i, order());
        put32(target, i * 8788 + 8784, 0x200 + i, order());
    }
    ASSERT_TRUE(convert_each(StructureKind::ShadeTable, 4, Direction::Upload, release(31), order(), host, target));
    for (std::uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(0x100 + i, host32(host, i * 8788 + 28));
        EXPECT_EQ(0x200 + i, host32(host, i * 8788 + 8784));
    }
    Bytes out(4 * 8788, 0);
    ASSERT_TRUE(convert_each(StructureKind::ShadeTable, 4, Direction::Download, release(31), order(), host, out));
    EXPECT_EQ(target, out);

    // .16 .. .20 tables lie 8920 bytes apart: each is cut to its own slot and
    // never spills into the next one.
    Bytes t20(4 * 8920, 0), h20(4 * 8788, 0xEE);
    put32(t20, 8920 + 652, 0x652, order());  // table 1, host 28
    ASSERT_TRUE(convert_each(StructureKind::ShadeTable, 4, Direction::Upload, release(20), order(), h20, t20));
    EXPECT_EQ(0x652u, host32(h20, 8788 + 28));
    Bytes o20(4 * 8920, 0x5A);
    ASSERT_TRUE(convert_each(StructureKind::ShadeTable, 4, Direction::Download, release(20), order(), h20, o20));
    EXPECT_EQ(0x5A, o20[8920 + 30]);  // table 1's own block after its name
}

TEST_P(ShadeTableConversion, Release18IsRefusedForAllFour) {
    Bytes target(4 * 8920, 0x11), host(4 * 8788, 0x22);
    EXPECT_FALSE(convert_each(StructureKind::ShadeTable, 4, Direction::Upload, release(18), order(), host, target));
    EXPECT_FALSE(convert_each(StructureKind::ShadeTable, 4, Direction::Download, release(18), order(), host, target));
    EXPECT_EQ(Bytes(4 * 8788, 0x22), host);
    EXPECT_EQ(Bytes(4 * 8920, 0x11), target);
}

STRUCTURES_BOTH_ORDERS(ShadeTableConversion);

}  // namespace
