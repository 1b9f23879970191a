// Decoding the Bluetooth instruments' short result record.
#include "comm/measurements/short_record.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>

namespace {

using namespace tola::measurements;

using Record = std::array<std::uint8_t, kShortRecordSize>;

std::string text(const char* field) { return std::string(field, ::strnlen(field, 26)); }

void put_value(Record& p, std::size_t at, float v) {
    const auto magnitude = static_cast<std::uint16_t>(std::lround(std::fabs(v) * 218.0f));
    p[at] = static_cast<std::uint8_t>((magnitude >> 8) | (v < 0 ? 0x80 : 0));
    p[at + 1] = static_cast<std::uint8_t>(magnitude);
}

struct Decoded {
    CKII_RESULTS r;
    TOLA_SHADE_MATCH_DETAILS d;
};

Decoded decode(const Record& p) {
    Decoded out;
    std::memset(&out, 0, sizeof out);
    decode_short_record(out.r, out.d, p);
    return out;
}

std::string name_at(const TOLA_SHADE_MATCH_DETAILS& d, std::size_t offset) {
    return text(reinterpret_cast<const char*>(&d) + offset);
}

TEST(ShortValues, SignMagnitudeOver218) {
    const std::uint8_t minus_zero[2] = {0x80, 0x00};
    const float z = short_value(minus_zero);
    EXPECT_EQ(0.0f, z);
    EXPECT_TRUE(std::signbit(z)) << "0x80 0x00 is minus zero";
    const std::uint8_t one[2] = {0x00, 0xDA};
    EXPECT_EQ(1.0f, short_value(one));
    const std::uint8_t most[2] = {0xFF, 0xFF};
    EXPECT_FLOAT_EQ(-32767.0f / 218.0f, short_value(most));
    const std::uint8_t high[2] = {0x01, 0x00};
    EXPECT_FLOAT_EQ(256.0f / 218.0f, short_value(high)) << "the first byte is the high one";
}

TEST(LightnessChromaHue, AxesAndQuadrants) {
    EXPECT_EQ(90.0f, lightness_chroma_hue(50, 0, 3).H);
    EXPECT_EQ(90.0f, lightness_chroma_hue(50, 0, 0).H);
    EXPECT_EQ(270.0f, lightness_chroma_hue(50, 0, -3).H);
    EXPECT_EQ(0.0f, lightness_chroma_hue(50, 2, 0).H);
    EXPECT_EQ(180.0f, lightness_chroma_hue(50, -2, 0).H);
    const LightnessChromaHue first = lightness_chroma_hue(71, 3, 4);
    EXPECT_EQ(71.0f, first.L);
    EXPECT_FLOAT_EQ(5.0f, first.C);
    EXPECT_FLOAT_EQ(std::atan2(4.0f, 3.0f) * 180.0f / 3.1415925f, first.H);
    EXPECT_NEAR(315.0f, lightness_chroma_hue(50, 1, -1).H, 1e-4f) << "negative b adds 360";
    EXPECT_NEAR(225.0f, lightness_chroma_hue(50, -1, -1).H, 1e-4f);
    EXPECT_NEAR(135.0f, lightness_chroma_hue(50, -1, 1).H, 1e-4f);
}

TEST(ShortRecord, SingleAreaNamesComeFromTheCodes) {
    Record p{};
    p[0] = 1;    // tooth
    p[1] = 2;    // material
    p[2] = 3;    // average count
    p[12] = 16;  // second system: entry 15 "3M2"
    p[16] = 30;  // interpolated: entry 29 "0.5M1"
    p[23] = 17;  // whiteness
    p[24] = 1;   // classical: "A1"
    p[25] = 0;   // no shade
    p[26] = 250; // beyond the table
    p[20] = 5;   // bleached 4
    p[21] = 0;
    put_value(p, 28, 72.0f);
    put_value(p, 30, 3.0f);
    put_value(p, 32, -4.0f);
    put_value(p, 36, 44.0f);  // Y of area 0
    put_value(p, 66, -0.5f);  // Delta A of area 0
    const std::uint8_t further[4] = {1, 2, 3, 4};
    std::memcpy(p.data() + 592, further, 4);
    const Decoded x = decode(p);

    EXPECT_EQ(1, x.r.iMode);
    EXPECT_EQ(1, x.d.iMode);
    EXPECT_EQ(2, x.d.iMaterial);
    EXPECT_EQ(3, x.r.iAverageCount);
    EXPECT_EQ(3, x.d.iAverageCount);
    EXPECT_EQ("3M2", text(x.r.qsn3D[0]));
    EXPECT_EQ("3M2", text(x.d.sn3D));
    EXPECT_EQ("0.5M1", text(x.r.qsn3DInterp[0]));
    EXPECT_EQ("0.5M1", name_at(x.d, 6944));
    EXPECT_EQ("0.5M", text(x.r.qsn3DBlock[0])) << "the same code names the block";
    EXPECT_EQ("A1", text(x.r.qsnClassical[0]));
    EXPECT_EQ("A1-A2", text(x.r.qsnClassicalBlock[0]));
    EXPECT_EQ("---", text(x.r.qsnClassical[1]));
    EXPECT_EQ("---", text(x.r.qsnClassical[2]));
    EXPECT_EQ("A1", text(x.d.qsnClassical[0]));
    EXPECT_EQ("---", text(x.d.qsnClassical[1]));
    EXPECT_EQ("4", text(x.r.qsn3DBleached[0])) << "one less than the code";
    EXPECT_EQ("---", text(x.r.qsn3DBleached[1]));
    EXPECT_EQ(17, x.r.iWhiteness);
    EXPECT_EQ(72.0f, x.r.qfParm[0][1]);
    EXPECT_FLOAT_EQ(5.0f, x.r.qfParm[0][2]);
    EXPECT_EQ(3.0f, x.r.qfParm[0][4]);
    EXPECT_EQ(-4.0f, x.r.qfParm[0][5]);
    EXPECT_EQ(44.0f, x.r.qfParm[0][7]);
    EXPECT_GT(x.r.qfParm[0][3], 270.0f);
    EXPECT_EQ(-0.5f, x.r.qfDelta[0][4]);
    EXPECT_EQ(0u, x.d.qiStatus[0] | x.d.qiStatus[1] | x.d.qiStatus[2]);
    EXPECT_EQ(0x04030201u, x.r.qdFurther[0]);

    p[0] = 11;  // bleached text is the code itself
    EXPECT_EQ("5", text(decode(p).r.qsn3DBleached[0]));
}

TEST(ShortRecord, ToothAreaFillsTheMeasuredAreas) {
    Record p{};
    p[0] = 2;
    p[8] = 4;
    p[9] = 2;
    p[10] = 0;
    p[12] = 1, p[13] = 2, p[14] = 3;
    p[16] = 4, p[17] = 5, p[18] = 6;
    p[24] = 6, p[25] = 7, p[26] = 8;
    put_value(p, 28 + 12, 65.0f);
    const Decoded x = decode(p);
    EXPECT_EQ(4, x.r.qiAreaState[0]);
    EXPECT_EQ(2, x.r.qiAreaState[1]);
    EXPECT_EQ(0, x.r.qiAreaState[2]);
    EXPECT_EQ(2, x.d.qiStatus[1]);
    EXPECT_EQ("B1", text(x.r.qsnClassical[0]));
    EXPECT_EQ("B2", text(x.r.qsnClassical[1]));
    EXPECT_EQ("---", text(x.r.qsnClassical[2])) << "area 3 not measured";
    EXPECT_EQ("0M2", text(x.r.qsn3D[1]));
    EXPECT_EQ("0M2", name_at(x.d, 3500));
    EXPECT_EQ("1M1", text(x.r.qsn3DInterp[0]));
    EXPECT_EQ("1M1", name_at(x.d, 6944));
    EXPECT_EQ("1M2", name_at(x.d, 6944 + 26));
    EXPECT_EQ("B2", text(x.d.qsnClassical[1]));
    EXPECT_EQ(65.0f, x.r.qfParm[1][1]);
    EXPECT_EQ("---", text(x.r.qsn3DBleached[0]));
}

TEST(ShortRecord, ToothAreaNamesLeaveTheSecondSystemMethodAndMatchIntact) {
    Record p{};
    p[0] = 2;
    p[8] = 4, p[9] = 4, p[10] = 4;
    p[12] = 1, p[13] = 2, p[14] = 3;
    for (std::size_t k = 0; k < 3; ++k) {
        put_value(p, 100 + 12 * k + 2, 2.0f);   // Delta L of the second system
        put_value(p, 100 + 12 * k + 4, -3.0f);  // Delta C
    }
    TOLA_SHADE_MATCH_DETAILS d;
    CKII_RESULTS r;
    std::memset(&d, 0, sizeof d);
    std::memset(&r, 0, sizeof r);
    d.t3D_method = 7;
    d.q3D.iShade = 5, d.q3D.iStatus = 6, d.q3D.dHits = 9;
    decode_short_record(r, d, p);
    EXPECT_EQ(7u, d.t3D_method);
    EXPECT_EQ(5, d.q3D.iShade);
    EXPECT_EQ(6, d.q3D.iStatus);
    EXPECT_EQ(9u, d.q3D.dHits);
    EXPECT_EQ(2.0f, d.q3D.qfDelta[1]);
    EXPECT_EQ(-3.0f, d.q3D.qfDelta[2]);
    EXPECT_EQ(2.0f, d.q3D.qfDelta[11]);
    EXPECT_EQ(0.0f, d.q3D.qfDelta[0]);
    EXPECT_EQ(0.0f, d.q3D.qfDelta[3]);
    // Each area's name where nothing else lives: sn3D, then after the third area's match.
    const std::size_t at[3] = {3096, 3500, 3526};
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(text(r.qsn3D[k]), name_at(d, at[k])) << k;
        EXPECT_NE("---", text(r.qsn3D[k])) << k;
    }
    EXPECT_EQ(text(r.qsn3D[0]), text(d.sn3D));
}

TEST(ShortRecord, VerificationNamesAndTheShortVerdict) {
    Record p{};
    p[0] = 3;
    p[4] = 2;
    p[5] = 3;
    p[6] = 9;
    p[12] = 2;
    p[16] = 3;
    p[24] = 4;
    Decoded x = decode(p);
    EXPECT_EQ("~A3.5", text(x.r.qsnClassical[0]));
    EXPECT_EQ("~0M3", text(x.r.qsn3DInterp[0]));
    EXPECT_EQ("~0M2", text(x.r.qsn3D[0]));
    EXPECT_EQ("~A3.5 ~0M3", text(x.d.snVerify_shade));
    EXPECT_EQ("Excell", text(x.d.snVerify_quality));
    EXPECT_EQ(9, x.r.iVerify_shade);
    EXPECT_EQ(2, x.d.iVerify_system);

    p[4] = 0;
    p[5] = 1;
    x = decode(p);
    EXPECT_EQ("A3.5", text(x.d.snVerify_shade));
    EXPECT_EQ("Fair", text(x.d.snVerify_quality));
    p[4] = 1;
    p[5] = 7;
    x = decode(p);
    EXPECT_EQ("0M3", text(x.d.snVerify_shade));
    EXPECT_EQ("Adjust", text(x.d.snVerify_quality));
    p[4] = 2;
    p[24] = 0;
    x = decode(p);
    EXPECT_EQ("---", text(x.r.qsnClassical[0])) << "code 0 keeps the empty mark";
}

TEST(ShortRecord, SensorRecordsAndDifferences) {
    Record p{};
    p[0] = 12;
    p[23] = 40;
    const float raw = 1234.5f;
    std::memcpy(p.data() + 172 + 140, &raw, 4);   // sensor 1, value 0
    put_value(p, 236 + 140 * 2, 70.0f);          // principal L
    put_value(p, 238 + 140 * 2, 0.0f);           // A
    put_value(p, 240 + 140 * 2, 2.0f);           // B
    put_value(p, 248 + 140 * 2 + 60, 2.0f);      // spectrum at 700 nm
    put_value(p, 100 + 12, 9.0f);                // q3D area 1: Delta E (replaced)
    put_value(p, 102 + 12, 3.0f);                // Delta L
    put_value(p, 108 + 12, 4.0f);                // Delta A
    put_value(p, 110 + 12, 0.0f);                // Delta B
    put_value(p, 136, 1.0f);                     // classical area 0: Delta E
    const Decoded x = decode(p);
    EXPECT_EQ(40, x.r.iWhiteness);
    EXPECT_EQ(raw, x.d.qSensor[1].qfSensor[0]);
    EXPECT_EQ(0.0f, x.d.qSensor[1].qfSensor[16]) << "the record keeps 16 sensor values";
    EXPECT_EQ(70.0f, x.d.qSensor[2].qfParmWt[1]);
    EXPECT_EQ(2.0f, x.d.qSensor[2].qfParmWt[2]);
    EXPECT_EQ(90.0f, x.d.qSensor[2].qfParmWt[3]);
    EXPECT_EQ(2.0f, x.d.qSensor[2].qfSpectrum[30]);
    SHADE_MATCH second;
    std::memcpy(&second, reinterpret_cast<const std::uint8_t*>(&x.d) + 3128 + 124, sizeof second);
    EXPECT_FLOAT_EQ(5.0f, second.qfDelta[11]) << "Delta E from L, A and B";
    EXPECT_EQ(3.0f, second.qfDelta[1]);
    EXPECT_EQ(4.0f, second.qfDelta[4]);
    EXPECT_EQ(0.0f, x.d.qClassical.qfDelta[11]);
}

}  // namespace
