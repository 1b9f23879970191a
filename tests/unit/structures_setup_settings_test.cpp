// CKII_SETUP and CKNG_SETTINGS.
#include <gtest/gtest.h>

#include "structures_test_support.h"

namespace {

using namespace structures_test;

// ---- CKII_SETUP -------------------------------------------------------------

using SetupConversion = EitherOrder;

TEST_P(SetupConversion, SameLayoutFrom24On) {
    for (unsigned number : {24u, 25u, 26u, 27u, 28u, 29u, 30u, 31u, 32u}) {
        SCOPED_TRACE(number);
        Bytes target(1392, 0), host(1392, 0x77);
        put32(target, 0, 9, order());               // dSensor
        put32(target, 4, 0x10111, order());         // qtType[0]
        put32(target, 700, 0x3F800000, order());    // qqfTri[30][2]
        for (std::size_t i = 0; i < 26; ++i) target[704 + i] = static_cast<std::uint8_t>('a' + i);  // qRef[0].snName
        put32(target, 732, 0xC0FFEE, order());      // qRef[0].qfOuterLED[0]
        put32(target, 1388, 0xBEEF, order());       // qRef[3].fDeltaE
        ASSERT_TRUE(upload(StructureKind::Setup, number, order(), host, target));
        EXPECT_EQ(9u, host32(host, 0));
        EXPECT_EQ(0x10111u, host32(host, 4));
        EXPECT_EQ(0x3F800000u, host32(host, 700));
        EXPECT_EQ(std::string("abcdefghijklmnopqrstuvwxy"), std::string(&host[704], &host[729]));
        EXPECT_EQ(0, host[729]);  // cleared, the 26th byte is not moved
        EXPECT_EQ(0xC0FFEEu, host32(host, 732));
        EXPECT_EQ(0xBEEFu, host32(host, 1388));

        Bytes out(1392, 0xEE);
        ASSERT_TRUE(download(StructureKind::Setup, number, order(), host, out));
        EXPECT_EQ(9u, get32(out, 0, order()));
        EXPECT_EQ(0xC0FFEEu, get32(out, 732, order()));
        EXPECT_EQ(0xBEEFu, get32(out, 1388, order()));
        EXPECT_EQ(0, out[729]);  // staging cleared
        EXPECT_EQ(0, out[731]);
    }
}

TEST_P(SetupConversion, Releases22And23LackDSensorAndGetTheFixedChannelTypes) {
    constexpr std::uint32_t kTypes[16] = {0x10111, 0x10101, 0x10111, 0x10011, 0x10001, 0x10011, 0x10101, 0x10101,
                                          0x10111, 0x10001, 0x10011, 0x10011, 0x10101, 0x10111, 0x10101, 0x10001};
    for (unsigned number : {22u, 23u}) {
        SCOPED_TRACE(number);
        Bytes target(1392, 0), host(1392, 0x77);
        for (std::uint32_t i = 0; i < 16; ++i) put32(target, 4 * i, 0xBAD0 + i, order());  // qtType as the instrument has it
        put32(target, 64, 6500, order());       // qdFilter_center[0] -> host 68
        put32(target, 696, 0x12345678, order());  // last qqfTri -> host 700
        put32(target, 700, 0x55, order());        // beyond the layout
        ASSERT_TRUE(upload(StructureKind::Setup, number, order(), host, target));
        EXPECT_EQ(14u, host32(host, 0));
        for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(kTypes[i], host32(host, 4 + 4 * i)) << i;
        EXPECT_EQ(6500u, host32(host, 68));
        EXPECT_EQ(0x12345678u, host32(host, 700));
        for (std::size_t i = 704; i < 1392; ++i) ASSERT_EQ(0, host[i]) << i;  // no reference tiles

        // The download writes the host's qtType and clears 1072 bytes, also for .23.
        host32(host, 4, 0xA1);
        Bytes out(1392, 0xEE);
        ASSERT_TRUE(download(StructureKind::Setup, number, order(), host, out));
        EXPECT_EQ(0xA1u, get32(out, 0, order()));
        EXPECT_EQ(6500u, get32(out, 64, order()));
        EXPECT_EQ(0x12345678u, get32(out, 696, order()));
        EXPECT_EQ(0u, get32(out, 700, order()));
        EXPECT_EQ(0, out[1071]);
        EXPECT_EQ(0xEE, out[1072]);
    }
}

STRUCTURES_BOTH_ORDERS(SetupConversion);

// ---- CKNG_SETTINGS ----------------------------------------------------------

using SettingsConversion = EitherOrder;

Bytes patterned(std::size_t size) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return b;
}

TEST_P(SettingsConversion, UploadThenDownloadGivesTheRecordBackFrom29On) {
    for (unsigned number : {29u, 30u, 31u, 32u}) {
        SCOPED_TRACE(number);
        const Bytes target = patterned(512);
        Bytes host(512, 0), out(512, 0xEE);
        Bytes in = target;
        ASSERT_TRUE(upload(StructureKind::Settings, number, order(), host, in));
        ASSERT_TRUE(download(StructureKind::Settings, number, order(), host, out));
        EXPECT_EQ(target, out);
        // Bytes 368..371 and 380..383 are bytes, the rest words.
        for (std::size_t i : {368, 369, 370, 371, 380, 381, 382, 383}) EXPECT_EQ(target[i], host[i]) << i;
        EXPECT_EQ(get32(target, 372, order()), host32(host, 372));  // dwSampleTime_ms
        EXPECT_EQ(get32(target, 508, order()), host32(host, 508));  // qfMCDCScale_inner[15]
    }
}

TEST_P(SettingsConversion, PrefixReleasesMoveTheirWordsOnly) {
    const struct {
        unsigned number;
        std::size_t moved;  // bytes moved from the start
        std::size_t target;
    } prefixes[] = {{24, 332, 332}, {25, 332, 332}, {26, 352, 384}, {27, 352, 384}, {28, 352, 384}};
    for (const auto& p : prefixes) {
        SCOPED_TRACE(p.number);
        Bytes target = patterned(p.target);
        Bytes host(512, 0x77);
        ASSERT_TRUE(upload(StructureKind::Settings, p.number, order(), host, target));
        EXPECT_EQ(get32(target, 0, order()), host32(host, 0));                       // fGain_lin
        EXPECT_EQ(get32(target, p.moved - 4, order()), host32(host, p.moved - 4));
        for (std::size_t i = p.moved; i < 512; ++i) ASSERT_EQ(0x77, host[i]) << i;  // kept, not cleared

        Bytes out(p.target, 0xEE);
        ASSERT_TRUE(download(StructureKind::Settings, p.number, order(), host, out));
        EXPECT_EQ(get32(target, p.moved - 4, order()), get32(out, p.moved - 4, order()));
        for (std::size_t i = p.moved; i < p.target; ++i) ASSERT_EQ(0, out[i]) << i;
    }
}

TEST_P(SettingsConversion, Releases22And23KeepARearrangedSubset) {
    // Host field offset <- target offset.
    const std::pair<std::size_t, std::size_t> fields[] = {
        {132, 0},   {192, 60},  // qfScale_outer[0], [15]
        {196, 64},  {256, 124}, // qfScale_inner[0], [15]
        {260, 128}, {264, 132}, {268, 136}, {272, 140},  // dACB_id .. dSamples
        {284, 164}, {288, 168}, {292, 172}, {296, 176},  // fMeas_stable_black .. dMeas_sample_white
        {280, 184},                                      // fLED_drift_max
        {300, 208}, {304, 212}, {308, 216}, {312, 220},  // dTimeout_standby .. dBattery_ADC_low
    };
    for (unsigned number : {22u, 23u}) {
        SCOPED_TRACE(number);
        Bytes target(228, 0);
        std::uint32_t value = 0x1000;
        for (const auto& [h, t] : fields) put32(target, t, value++, order());
        Bytes host(512, 0);
        host32(host, 0, 0x3F800000);    // fGain_lin
        host32(host, 276, 0x42);        // dLED_stable
        host32(host, 332, 0x99);        // dBitValues1
        ASSERT_TRUE(upload(StructureKind::Settings, number, order(), host, target));
        value = 0x1000;
        for (const auto& [h, t] : fields) EXPECT_EQ(value++, host32(host, h)) << h;
        EXPECT_EQ(0x3F800000u, host32(host, 0));
        EXPECT_EQ(0x42u, host32(host, 276));
        EXPECT_EQ(0x99u, host32(host, 332));

        Bytes out(228, 0xEE);
        ASSERT_TRUE(download(StructureKind::Settings, number, order(), host, out));
        EXPECT_EQ(target, out);  // every other target byte is written as 0
    }
}

TEST_P(SettingsConversion, FirstGenerationUploadChangesNothingAndDownloadIsRefused) {
    for (unsigned number : {11u, 14u, 15u, 16u, 17u, 18u, 19u, 20u}) {
        Bytes target = patterned(512), host(512, 0x77), out(512, 0xEE);
        EXPECT_TRUE(upload(StructureKind::Settings, number, order(), host, target));
        EXPECT_EQ(Bytes(512, 0x77), host);
        EXPECT_FALSE(download(StructureKind::Settings, number, order(), host, out));
        EXPECT_EQ(Bytes(512, 0xEE), out);
    }
}

STRUCTURES_BOTH_ORDERS(SettingsConversion);

}  // namespace
