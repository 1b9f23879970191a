// First-generation setup, norm data, data block, results entries,
// touchscreen and PS parameter records.
#include <gtest/gtest.h>

#include "structures_test_support.h"

namespace {

using namespace structures_test;
using tola::structures::convert_each;

using FirstGenerationConversion = EitherOrder;

TEST_P(FirstGenerationConversion, SetupUnitsInPlaceOnUpload) {
    for (unsigned number : {16u, 17u, 18u, 19u, 20u, 22u, 24u, 32u}) {
        SCOPED_TRACE(number);
        Bytes target(1856, 0), host(1856, 0x77);
        put32(target, 8, 0x8, order());
        target[12] = 0x12, target[13] = 0x13;
        put32(target, 212, 0x212, order());
        put_text(target, 360, "ref4");
        put32(target, 388, 0x388, order());
        put32(target, 432, 0x432, order());
        put16(target, 438, 0x438, order());
        put16(target, 460, 0x460, order());
        put16(target, 756, 0x756, order());
        put16(target, 758, 0x758, order());  // unmoved
        put32(target, 1852, 0x1852, order());
        ASSERT_TRUE(upload(StructureKind::FirstGenSetup, number, order(), host, target));
        EXPECT_EQ(0x8u, host32(host, 8));
        EXPECT_EQ(0x12, host[12]);
        EXPECT_EQ(0x212u, host32(host, 212));
        EXPECT_EQ("ref4", text_at(host, 360));
        EXPECT_EQ(0x388u, host32(host, 388));
        EXPECT_EQ(0x432u, host32(host, 432));
        EXPECT_EQ(0x438u, host16(host, 438));
        EXPECT_EQ(0x460u, host16(host, 460));
        EXPECT_EQ(0x756u, host16(host, 756));
        EXPECT_EQ(0x7777u, host16(host, 758));   // nothing cleared
        EXPECT_EQ(0x77, host[14]);
        EXPECT_EQ(0x1852u, host32(host, 1852));
    }
}

TEST_P(FirstGenerationConversion, SetupDownloadTo16Through20SendsTheHalfWordsAfterTheirSlot) {
    Bytes host(1856, 0);
    host16(host, 756, 0x756);
    host16(host, 758, 0x758);
    host16(host, 1058, 0x1058);
    host32(host, 1852, 0x1852);
    for (unsigned number : {16u, 20u, 22u, 32u}) {
        SCOPED_TRACE(number);
        Bytes out(1856, 0xEE);
        ASSERT_TRUE(download(StructureKind::FirstGenSetup, number, order(), host, out));
        EXPECT_EQ(number <= 20 ? 0x758u : 0x756u, get16(out, 756, order()));
        EXPECT_EQ(number <= 20 ? 0x1058u : 0u, get16(out, 1056, order()));
        EXPECT_EQ(0u, get16(out, 758, order()));
        EXPECT_EQ(0x1852u, get32(out, 1852, order()));
        EXPECT_EQ(0, out[14]);  // unmapped, cleared
    }
}

TEST_P(FirstGenerationConversion, OlderSetupsEndWithAShorterRun) {
    const std::pair<unsigned, std::size_t> sizes[] = {{11, 1312}, {14, 1324}, {15, 1540}};
    for (const auto& [number, size] : sizes) {
        SCOPED_TRACE(number);
        Bytes target(1856, 0), host(1856, 0x77);
        put32(target, 1060, 0x1060, order());
        put32(target, size - 4, 0xE4D, order());
        put32(target, size, 0xBAD, order());
        ASSERT_TRUE(upload(StructureKind::FirstGenSetup, number, order(), host, target));
        EXPECT_EQ(0x1060u, host32(host, 1060));
        EXPECT_EQ(0xE4Du, host32(host, size - 4));
        EXPECT_EQ(0x77777777u, host32(host, size));
    }
}

TEST_P(FirstGenerationConversion, NormOf11And14LeavesTheFirstFourWords) {
    for (unsigned number : {11u, 14u}) {
        Bytes target(308, 0), host(304, 0xEE);
        put32(target, 16, 0x16, order());
        put32(target, 20, 0x20, order());
        put32(target, 304, 0x304, order());
        ASSERT_TRUE(upload(StructureKind::FirstGenNorm, number, order(), host, target));
        EXPECT_EQ(0u, host32(host, 12));
        EXPECT_EQ(0x20u, host32(host, 16));
        EXPECT_EQ(0x304u, host32(host, 300));
        host32(host, 0, 0xAB);
        Bytes out(308, 0xEE);
        ASSERT_TRUE(download(StructureKind::FirstGenNorm, number, order(), host, out));
        for (std::size_t i = 0; i < 20; ++i) EXPECT_EQ(0, out[i]) << i;
        EXPECT_EQ(0x304u, get32(out, 304, order()));
    }
    for (unsigned number : {15u, 20u, 22u, 32u}) {
        Bytes target(304, 0), host(304, 0xEE);
        put32(target, 0, 0xAB, order());
        put32(target, 300, 0x300, order());
        ASSERT_TRUE(upload(StructureKind::FirstGenNorm, number, order(), host, target));
        EXPECT_EQ(0xABu, host32(host, 0));
        EXPECT_EQ(0x300u, host32(host, 300));
    }
}

TEST_P(FirstGenerationConversion, DataBlockLayouts) {
    const struct {
        unsigned number;
        bool has_204, has_208;
    } releases[] = {{11, false, false}, {14, true, false}, {16, true, false}, {17, true, true}, {20, true, true}};
    for (const auto& r : releases) {
        SCOPED_TRACE(r.number);
        Bytes target(216, 0), host(216, 0xEE);
        put16(target, 94, 0x94, order());
        put32(target, 188, 0x188, order());
        target[192] = 0x92, target[193] = 0x93;
        put32(target, 196, 0x196, order());
        target[200] = 0x20;
        put32(target, 204, 0x204, order());
        put16(target, 210, 0x210, order());
        put32(target, 212, 0x212, order());
        ASSERT_TRUE(upload(StructureKind::FirstGenData, r.number, order(), host, target));
        EXPECT_EQ(0x94u, host16(host, 94));
        EXPECT_EQ(0x188u, host32(host, 188));
        EXPECT_EQ(0x92, host[192]);
        EXPECT_EQ(0, host[193]);
        EXPECT_EQ(0x196u, host32(host, 196));
        EXPECT_EQ(0x20, host[200]);
        EXPECT_EQ(r.has_204 ? 0x204u : 0u, host32(host, 204));
        EXPECT_EQ(r.has_208 ? 0x210u : 0u, host16(host, 210));
        EXPECT_EQ(r.has_208 ? 0x212u : 0u, host32(host, 212));
    }
    // The later generation is only sent the block, in the .17 layout.
    Bytes host(216, 0);
    host32(host, 212, 0x212);
    Bytes out(216, 0xEE);
    EXPECT_FALSE(upload(StructureKind::FirstGenData, 24, order(), host, out));
    ASSERT_TRUE(download(StructureKind::FirstGenData, 24, order(), host, out));
    EXPECT_EQ(0x212u, get32(out, 212, order()));
}

TEST_P(FirstGenerationConversion, TwelveResultsEntriesOneTargetSizeApart) {
    const struct {
        unsigned number;
        std::size_t entry;
        bool tail;  // the fields from 460 on
        std::size_t last_word;
    } releases[] = {{11, 576, true, 572}, {14, 676, true, 624}, {16, 456, false, 448}, {19, 628, true, 624}};
    for (const auto& r : releases) {
        SCOPED_TRACE(r.number);
        Bytes target(12 * r.entry, 0), host(12 * 628, 0x77);
        for (std::uint32_t i = 0; i < 12; ++i) {
            put32(target, i * r.entry + 172, 0x100 + i, order());
            put_text(target, i * r.entry + 328, "S" + std::to_string(i));
            put32(target, i * r.entry + 452, 0x452, order());
            if (r.tail) {
                put32(target, i * r.entry + 460, 0x460, order());
                target[i * r.entry + 464] = 0x64;
            }
            put32(target, i * r.entry + r.last_word, 0xE4D, order());
        }
        ASSERT_TRUE(convert_each(StructureKind::FirstGenResultsEntry, 12, Direction::Upload, release(r.number),
                                 order(), host, target));
        for (std::uint32_t i = 0; i < 12; ++i) {
            EXPECT_EQ(0x100 + i, host32(host, i * 628 + 172));
            EXPECT_EQ("S" + std::to_string(i), text_at(host, i * 628 + 328));
            EXPECT_EQ(0x452u, host32(host, i * 628 + 452));
            EXPECT_EQ(r.tail ? 0x460u : 0x77777777u, host32(host, i * 628 + 460));  // upload clears nothing
            EXPECT_EQ(r.tail ? 0x64 : 0x77, host[i * 628 + 464]);
            EXPECT_EQ(0xE4Du, host32(host, i * 628 + r.last_word));
        }
        Bytes out(12 * r.entry, 0xEE);
        ASSERT_TRUE(convert_each(StructureKind::FirstGenResultsEntry, 12, Direction::Download, release(r.number),
                                 order(), host, out));
        EXPECT_EQ(0x10Bu, get32(out, 11 * r.entry + 172, order()));
        EXPECT_EQ(0, out[11 * r.entry + 254]);  // unmapped, cleared
    }
}

TEST_P(FirstGenerationConversion, TouchscreenAndPsParameters) {
    for (unsigned number : {14u, 20u, 22u, 32u}) {
        Bytes target(16, 0), host(16, 0x77);
        put32(target, 12, 0x12, order());
        ASSERT_TRUE(upload(StructureKind::Touchscreen, number, order(), host, target));
        EXPECT_EQ(0x12u, host32(host, 12));

        Bytes ps(10, 0), ps_host(10, 0x77);
        put16(ps, 8, 0x8, order());
        ASSERT_TRUE(upload(StructureKind::PsParameters, number, order(), ps_host, ps));
        EXPECT_EQ(0x8u, host16(ps_host, 8));
    }
    Bytes ps(10, 0), ps_host(10, 0x77), out(10, 0xEE);
    put16(ps, 6, 0x6, order());
    put16(ps, 8, 0x8, order());
    ASSERT_TRUE(upload(StructureKind::PsParameters, 11, order(), ps_host, ps));
    EXPECT_EQ(0x6u, host16(ps_host, 6));
    EXPECT_EQ(0x7777u, host16(ps_host, 8));
    ASSERT_TRUE(download(StructureKind::PsParameters, 11, order(), ps_host, out));
    EXPECT_EQ(0x6u, get16(out, 6, order()));
    EXPECT_EQ(0xEE, out[8]);
}

STRUCTURES_BOTH_ORDERS(FirstGenerationConversion);

}  // namespace
