// Measurement block, results and measurement details.
#include <gtest/gtest.h>

#include "structures_test_support.h"

namespace {

using namespace structures_test;

using MeasurementConversion = EitherOrder;

// ---- measurement block ------------------------------------------------------

TEST_P(MeasurementConversion, MeasBlock32UploadsInPlaceButDownloadsShifted) {
    Bytes target(2280, 0), host(2280, 0xEE);
    put32(target, 704, 0x704, order());
    put16(target, 708, 0x708, order());
    put16(target, 898, 0x898, order());
    put32(target, 900, 0x900, order());
    put16(target, 1944, 0x1944, order());
    put32(target, 2008, 0x2008, order());
    put16(target, 2134, 0x2134, order());
    put32(target, 2260, 0x2260, order());
    put32(target, 2264, 0x2264, order());  // not a unit
    ASSERT_TRUE(upload(StructureKind::Meas, 32, order(), host, target));
    EXPECT_EQ(0x704u, host32(host, 704));
    EXPECT_EQ(0x708u, host16(host, 708));
    EXPECT_EQ(0x898u, host16(host, 898));
    EXPECT_EQ(0x900u, host32(host, 900));
    EXPECT_EQ(0x1944u, host16(host, 1944));
    EXPECT_EQ(0x2008u, host32(host, 2008));
    EXPECT_EQ(0x2134u, host16(host, 2134));
    EXPECT_EQ(0x2260u, host32(host, 2260));
    EXPECT_EQ(0u, host32(host, 2264));

    Bytes out(2280, 0xEE);
    ASSERT_TRUE(download(StructureKind::Meas, 32, order(), host, out));
    EXPECT_EQ(0x704u, get32(out, 704, order()));
    EXPECT_EQ(0u, get16(out, 708, order()));
    EXPECT_EQ(0x708u, get16(out, 710, order()));  // two bytes later
    EXPECT_EQ(0x900u, get32(out, 900, order()));
    EXPECT_EQ(0u, get16(out, 1944, order()));     // stops after 1943
    EXPECT_EQ(0u, get32(out, 2260, order()));
}

TEST_P(MeasurementConversion, MeasBlock29To31ShiftTheHalfWordRegionBothWays) {
    for (unsigned number : {29u, 30u, 31u}) {
        SCOPED_TRACE(number);
        const std::size_t last_word = number == 29 ? 1088 : 1216;
        Bytes target(2280, 0), host(2280, 0xEE);
        put16(target, 708, 0x0708, order());
        put16(target, 710, 0x0710, order());
        put16(target, 902, 0x0902, order());
        put32(target, 904, 0x0904, order());
        put32(target, last_word, 0xABCD, order());
        put32(target, last_word + 4, 0xDCBA, order());
        ASSERT_TRUE(upload(StructureKind::Meas, number, order(), host, target));
        EXPECT_EQ(0x0710u, host16(host, 708));
        EXPECT_EQ(0x0902u, host16(host, 900));
        EXPECT_EQ(0u, host16(host, 902));
        EXPECT_EQ(0x0904u, host32(host, 904));
        EXPECT_EQ(0xABCDu, host32(host, last_word));
        EXPECT_EQ(0u, host32(host, last_word + 4));

        Bytes out(2280, 0xEE);
        ASSERT_TRUE(download(StructureKind::Meas, number, order(), host, out));
        EXPECT_EQ(0u, get16(out, 708, order()));
        EXPECT_EQ(0x0710u, get16(out, 710, order()));
        EXPECT_EQ(0x0902u, get16(out, 902, order()));
        EXPECT_EQ(0xABCDu, get32(out, last_word, order()));
    }
}

TEST_P(MeasurementConversion, MeasBlockOlderReleases) {
    for (unsigned number : {24u, 25u, 26u, 27u, 28u}) {
        Bytes target(2280, 0), host(2280, 0xEE);
        put32(target, 456, 0x456, order());
        put32(target, 460, 0x460, order());
        ASSERT_TRUE(upload(StructureKind::Meas, number, order(), host, target));
        EXPECT_EQ(0x456u, host32(host, 456));
        EXPECT_EQ(0u, host32(host, 460));
    }
    // .22, .23: three words, then five 64-byte blocks in the instrument's order.
    const std::pair<std::size_t, std::size_t> blocks[] = {{12, 152}, {204, 88}, {268, 24}, {332, 280}, {396, 216}};
    for (unsigned number : {22u, 23u}) {
        Bytes target(344, 0), host(2280, 0xEE);
        put32(target, 8, 0x8, order());
        std::uint32_t v = 1;
        for (const auto& [h, t] : blocks) {
            put32(target, t, v, order());
            put32(target, t + 60, v + 100, order());
            ++v;
        }
        ASSERT_TRUE(upload(StructureKind::Meas, number, order(), host, target));
        EXPECT_EQ(0x8u, host32(host, 8));
        v = 1;
        for (const auto& [h, t] : blocks) {
            EXPECT_EQ(v, host32(host, h));
            EXPECT_EQ(v + 100, host32(host, h + 60));
            ++v;
        }
        EXPECT_EQ(0u, host32(host, 76));
        Bytes out(344, 0xEE);
        ASSERT_TRUE(download(StructureKind::Meas, number, order(), host, out));
        EXPECT_EQ(target, out);
    }
}

// ---- results ----------------------------------------------------------------

Bytes results_target(std::size_t size, ByteOrder order) {
    Bytes t(std::max<std::size_t>(size, 876), 0);
    put32(t, 0, 12, order);                       // iMode
    put_text(t, 20, "3M2");                       // qsn3D[0]
    put_text(t, 46, "2L1.5");
    put_text(t, 72, "1M1");
    put_text(t, 150, "A3");                       // qsnClassical[2]
    put32(t, 176, 0x176, order);                  // qfParm[0][0]
    put32(t, 308, 0x308, order);                  // qfDelta[0][0]
    put32(t, 520, 0x520, order);                  // iVerify_shade
    put_text(t, 524, "interp");                   // qsn3DInterp[0]
    put_text(t, 810, "last");                     // twelfth name
    put32(t, 836, 0x836, order);
    put16(t, 840, 0x840, order);
    put16(t, 852, 0x852, order);
    put32(t, 868, 0x868, order);
    t[872] = 0x72;
    return t;
}

TEST_P(MeasurementConversion, ResultsTiersMoveLongerPrefixesFrom25On) {
    for (unsigned number : {25u, 26u, 27u, 28u, 29u, 30u, 31u, 32u}) {
        SCOPED_TRACE(number);
        Bytes target = results_target(876, order()), host(876, 0xEE);
        ASSERT_TRUE(upload(StructureKind::Results, number, order(), host, target));
        EXPECT_EQ(12u, host32(host, 0));
        EXPECT_EQ("A3", text_at(host, 150));
        EXPECT_EQ(0x520u, host32(host, 520));
        EXPECT_EQ("interp", text_at(host, 524));
        EXPECT_EQ("last", text_at(host, 810));
        EXPECT_EQ(number >= 27 ? 0x836u : 0u, host32(host, 836));
        EXPECT_EQ(number >= 29 ? 0x840u : 0u, host16(host, 840));
        EXPECT_EQ(number >= 29 ? 0x852u : 0u, host16(host, 852));
        EXPECT_EQ(number >= 31 ? 0x868u : 0u, host32(host, 868));
        EXPECT_EQ(number >= 31 ? 0x72 : 0, host[872]);

        Bytes out(876, 0xEE);
        ASSERT_TRUE(download(StructureKind::Results, number, order(), host, out));
        EXPECT_EQ(0x520u, get32(out, 520, order()));
        // Cleared over the target size only: .25 and .26 end at 836.
        EXPECT_EQ(number >= 31 ? 0x868u : number >= 27 ? 0u : 0xEEEEEEEEu, get32(out, 868, order()));
    }
}

TEST_P(MeasurementConversion, Results24CopiesTheFirstThreeNames) {
    Bytes target = results_target(524, order()), host(876, 0xEE);
    ASSERT_TRUE(upload(StructureKind::Results, 24, order(), host, target));
    EXPECT_EQ("3M2", text_at(host, 20));
    EXPECT_EQ("3M2", text_at(host, 524));
    EXPECT_EQ("2L1.5", text_at(host, 550));
    EXPECT_EQ("1M1", text_at(host, 576));
    EXPECT_EQ("", text_at(host, 602));
    EXPECT_EQ(0x520u, host32(host, 520));

    put_text(host, 524, "from-interp");
    Bytes out(524, 0xEE);
    ASSERT_TRUE(download(StructureKind::Results, 24, order(), host, out));
    EXPECT_EQ("from-interp", text_at(out, 20));
    EXPECT_EQ("2L1.5", text_at(out, 46));
    EXPECT_EQ("A3", text_at(out, 150));
}

TEST_P(MeasurementConversion, Results22And23HoldOneArea) {
    for (unsigned number : {22u, 23u}) {
        SCOPED_TRACE(number);
        Bytes target(876, 0), host(876, 0xEE);
        put32(target, 16, 0x16, order());
        put_text(target, 20, "3M2");
        put32(target, 216, 0x216, order());          // qfParm[0][10]
        put32(target, 220, 0x308, order());          // qfDelta[0][0]
        put32(target, 284, 0x372, order());          // qfDelta[0][16]
        put32(target, 512, 0x512, order());          // beyond 296, taken all the same
        put32(target, 516, 0x516, order());
        ASSERT_TRUE(upload(StructureKind::Results, number, order(), host, target));
        EXPECT_EQ(0x16u, host32(host, 16));
        EXPECT_EQ("3M2", text_at(host, 524));
        EXPECT_EQ(0x216u, host32(host, 216));
        EXPECT_EQ(0u, host32(host, 220));
        EXPECT_EQ(0x308u, host32(host, 308));
        EXPECT_EQ(0x372u, host32(host, 372));
        EXPECT_EQ(0x512u, host32(host, 512));
        EXPECT_EQ(0x516u, host32(host, 516));

        Bytes out(296, 0xEE);
        ASSERT_TRUE(download(StructureKind::Results, number, order(), host, out));
        EXPECT_EQ(0x308u, get32(out, 220, order()));
        EXPECT_EQ(0x516u, get32(out, 292, order()));
        EXPECT_EQ(0u, get32(out, 288, order()));
    }
}

// ---- measurement details ----------------------------------------------------

Bytes details_target(ByteOrder order) {
    Bytes t(7316, 0);
    put32(t, 0, 0x0, order);
    put32(t, 1024, 0x1024, order);       // qfT[10]
    put_text(t, 1028, "B1");              // qsnClassical[0]
    put32(t, 1108, 0x1108, order);       // tClassical_method
    put32(t, 3092, 0x3092, order);
    put_text(t, 3096, "3D-name");        // sn3D
    t[3124] = 0x01, t[3125] = 0x02, t[3126] = 0x03, t[3127] = 0x04;  // t3D_method, a byte run
    t[6943] = 0x43;
    put_text(t, 6944, "verify");
    put32(t, 6972, 0x6972, order);
    put32(t, 7308, 0x7308, order);
    put32(t, 7312, 0x7312, order);       // iAverageCount
    return t;
}

TEST_P(MeasurementConversion, DetailsSameFrom26OnWithoutItsLastWordIn26) {
    for (unsigned number : {26u, 27u, 28u, 29u, 30u, 31u, 32u}) {
        SCOPED_TRACE(number);
        Bytes target = details_target(order()), host(7316, 0xEE);
        ASSERT_TRUE(upload(StructureKind::MeasureDetails, number, order(), host, target));
        EXPECT_EQ(0x1024u, host32(host, 1024));
        EXPECT_EQ("B1", text_at(host, 1028));
        EXPECT_EQ(0x1108u, host32(host, 1108));
        EXPECT_EQ("3D-name", text_at(host, 3096));
        EXPECT_EQ((Bytes{1, 2, 3, 4}), Bytes(&host[3124], &host[3128]));  // never reversed
        EXPECT_EQ(0x6972u, host32(host, 6972));
        EXPECT_EQ(number == 26 ? 0u : 0x7312u, host32(host, 7312));

        Bytes out(7316, 0xEE);
        ASSERT_TRUE(download(StructureKind::MeasureDetails, number, order(), host, out));
        if (number != 26) {
            EXPECT_EQ(target, out);
        }
    }
}

TEST_P(MeasurementConversion, Details24And25ExchangeTheVerifyAnd3DBlocks) {
    // .24: unchanged up to 6944 on upload; the download sends the text at
    // host 6944 into the 3D name slot.
    Bytes target = details_target(order()), host(7316, 0xEE);
    ASSERT_TRUE(upload(StructureKind::MeasureDetails, 24, order(), host, target));
    EXPECT_EQ("3D-name", text_at(host, 3096));
    EXPECT_EQ(0x43, host[6943]);
    EXPECT_EQ(0u, host32(host, 6972));
    put_text(host, 6944, "verify");
    Bytes out(6944, 0xEE);
    ASSERT_TRUE(download(StructureKind::MeasureDetails, 24, order(), host, out));
    EXPECT_EQ("verify", text_at(out, 3096));
    EXPECT_EQ(0x1108u, get32(out, 1108, order()));

    // .25 (7064 bytes): host 3096..3215 <-> target 6944..7063 and host
    // 6944..7063 <-> target 3096..3215; nothing of the record lies beyond 7064.
    Bytes t25(7064, 0), h25(7316, 0xEE);
    put_text(t25, 6944, "3D-name");
    put32(t25, 6976, 0x3128, order());  // q3D.iShade (host 3128), moved as bytes
    t25[7063] = 0x15;                   // host 3215
    put_text(t25, 3096, "verify");
    put32(t25, 3124, 0x6972, order());
    put32(t25, 3212, 0x7060, order());
    t25[3216] = 0x68;
    t25[6943] = 0x43;
    ASSERT_TRUE(upload(StructureKind::MeasureDetails, 25, order(), h25, t25));
    EXPECT_EQ("3D-name", text_at(h25, 3096));
    EXPECT_EQ(0x15, h25[3215]);
    EXPECT_EQ(0x68, h25[3216]);
    EXPECT_EQ(0x43, h25[6943]);
    EXPECT_EQ("verify", text_at(h25, 6944));
    EXPECT_EQ(0x6972u, host32(h25, 6972));
    EXPECT_EQ(0x7060u, host32(h25, 7060));
    EXPECT_EQ(0u, host32(h25, 7064)) << "no place in .25: cleared";
    EXPECT_EQ(0u, host32(h25, 7312));
    Bytes o25(7064 + 16, 0xEE);
    ASSERT_TRUE(download(StructureKind::MeasureDetails, 25, order(), h25, o25));
    EXPECT_EQ("3D-name", text_at(o25, 6944));
    EXPECT_EQ(get32(t25, 6976, order()), get32(o25, 6976, order()));
    EXPECT_EQ(0x15, o25[7063]);
    EXPECT_EQ("verify", text_at(o25, 3096));
    EXPECT_EQ(0x7060u, get32(o25, 3212, order()));
    EXPECT_EQ(0x68, o25[3216]);
    for (std::size_t i = 7064; i < o25.size(); ++i) EXPECT_EQ(0xEE, o25[i]) << "written past .25's record at " << i;
}

TEST_P(MeasurementConversion, DetailsBefore22EndWithTheTailFromQf3D) {
    const struct {
        unsigned number;
        std::size_t tail;  // target offset of host 6724
    } releases[] = {{11, 6280}, {14, 6280}, {15, 6280}, {16, 6528}, {17, 6528}, {18, 6528}, {19, 6528}, {20, 6528},
                    {22, 6724}};
    for (const auto& r : releases) {
        SCOPED_TRACE(r.number);
        Bytes target(7316, 0), host(7316, 0xEE);
        put32(target, 1108, 0x1108, order());
        target[3096] = 'x';
        target[r.tail] = 0x24;              // qf3D[0], first byte
        target[r.tail + 216] = 0x40;        // iVerify_system, first byte
        ASSERT_TRUE(upload(StructureKind::MeasureDetails, r.number, order(), host, target));
        EXPECT_EQ(0x1108u, host32(host, 1108));
        EXPECT_EQ('x', host[3096]);
        EXPECT_EQ(0x24, host[6724]);
        EXPECT_EQ(0x40, host[6940]);
        EXPECT_EQ(0u, host32(host, 6972));
        Bytes out(7316, 0xEE);
        ASSERT_TRUE(download(StructureKind::MeasureDetails, r.number, order(), host, out));
        EXPECT_EQ(0x24, out[r.tail]);
        EXPECT_EQ(0x40, out[r.tail + 216]);
    }
}

STRUCTURES_BOTH_ORDERS(MeasurementConversion);

}  // namespace
