// What the instrument's structures hold per release family, read back at the
// documented byte offsets in the processor's byte order.
#include <bit>
#include <cstring>
#include <string>

#include "sim/instrument.h"
#include "sim/structures_image.h"
#include "sim_test_support.h"

namespace tola::sim::test {
namespace {

// One structure of an instrument, read with the instrument's byte order.
struct Image {
    Image(const Instrument& inst, std::size_t table_word)
        : big(inst.config().byte_order() == ByteOrder::Big) {
        const auto layout = inst.layout();
        size = layout.sizes[table_word];
        bytes = *inst.peek(layout.addresses[table_word], size);
    }
    std::uint32_t u32(std::size_t at) const { return big ? be32(bytes, at) : le32(bytes, at); }
    float f32(std::size_t at) const { return std::bit_cast<float>(u32(at)); }
    float f32_le(std::size_t at) const { return std::bit_cast<float>(le32(bytes, at)); }
    std::string name(std::size_t at) const {
        const auto* p = reinterpret_cast<const char*>(bytes.data() + at);
        return std::string(p, strnlen(p, 26));
    }
    bool zero(std::size_t from, std::size_t to) const {
        for (std::size_t i = from; i < to; ++i)
            if (bytes[i] != 0) return false;
        return true;
    }
    bool big;
    std::uint32_t size = 0;
    Bytes bytes;
};

InstrumentConfig release(InstrumentConfig c, const char* name) {
    c.layout_release = name;
    return c;
}

TEST(Content, SetupOfCurrentLayoutInEitherByteOrder) {
    for (const auto& config : {stm32_config(), h8sx_config()}) {
        Instrument inst(config);
        const Image s(inst, 1);
        ASSERT_EQ(s.size, 1392u);
        EXPECT_EQ(s.u32(0), 14u);              // dSensor
        EXPECT_EQ(s.u32(4), 0x10111u);         // qtType[0]
        EXPECT_EQ(s.u32(68), 400u);            // qdFilter_center[0]
        EXPECT_EQ(s.u32(68 + 15 * 4), 700u);   // qdFilter_center[15]
        EXPECT_EQ(s.u32(132 + 4), 20u);        // qdFilter_width[1]
        EXPECT_EQ(s.u32(196), 8u);             // dSensor_spec
        EXPECT_EQ(s.u32(264), 6u);             // dSensor_LED
        EXPECT_NEAR(s.f32(332 + 15 * 12 + 4), 0.995f, 1e-4);  // Y weight at 550 nm
        const char* tiles[] = {"White", "Black", "Green", "Grey"};
        for (std::size_t t = 0; t < 4; ++t) EXPECT_EQ(s.name(704 + 172 * t), tiles[t]);
        EXPECT_NEAR(s.f32(704 + 2 * 172 + 156), 55.2f, 1e-4);   // Green fL
        EXPECT_NEAR(s.f32(704 + 2 * 172 + 160), -37.9f, 1e-4);  // Green fa
        EXPECT_GT(s.f32(704 + 28), s.f32(704 + 172 + 28));       // White reads brighter than Black
    }
}

TEST(Content, SetupOfReleases22And23LacksSensorAndTiles) {
    for (const char* name : {"CK0A.00.22.00", "CK0A.00.23.00"}) {
        Instrument inst(release(h8sx_config(), name));
        const Image s(inst, 1);
        EXPECT_EQ(s.u32(0), 0x10111u) << name;   // qtType first
        EXPECT_EQ(s.u32(64), 400u) << name;      // qdFilter_center[0]
        EXPECT_EQ(s.u32(192), 8u) << name;       // dSensor_spec
        EXPECT_NEAR(s.f32(328 + 15 * 12 + 4), 0.995f, 1e-4) << name;
        EXPECT_TRUE(s.zero(700, s.size)) << name;
    }
}

TEST(Content, SettingsKeepTheFieldsOfTheirRelease) {
    Instrument full(stm32_config());
    const Image a(full, 15);
    EXPECT_FLOAT_EQ(a.f32(0), 1.0f);    // fGain_lin
    EXPECT_EQ(a.u32(272), 40u);         // dSamples
    EXPECT_EQ(a.u32(300), 300u);        // dTimeout_standby
    EXPECT_EQ(a.u32(308), 3900u);       // dBattery_ADC_full
    EXPECT_EQ(a.u32(372), 25u);         // dwSampleTime_ms
    EXPECT_EQ(a.bytes[368], 4);         // bySapTabCounts
    EXPECT_EQ(a.bytes[381], 30);        // byDarkDeltaLimitError
    EXPECT_FLOAT_EQ(a.f32(448), 1.0f);  // qfMCDCScale_inner[0]

    Instrument mid(h8sx_config());  // .28, big-endian, 384 bytes
    const Image b(mid, 15);
    ASSERT_EQ(b.size, 384u);
    EXPECT_EQ(b.bytes[272 + 3], 40);  // dSamples, low byte last
    EXPECT_FLOAT_EQ(b.f32(336), 0.6f);
    EXPECT_TRUE(b.zero(352, 384));

    Instrument small(release(h8sx_config(), "CK0A.00.24.00"));
    const Image c(small, 15);
    ASSERT_EQ(c.size, 332u);
    EXPECT_FLOAT_EQ(c.f32(316 + 12), 5.0f);  // qfDeltaE[3], the last field kept

    Instrument old(release(stm32_config(), "CK0A.00.23.00"));
    const Image d(old, 15);
    ASSERT_EQ(d.size, 228u);
    EXPECT_FLOAT_EQ(d.f32(0), 1.02f);  // qfScale_outer[0]
    EXPECT_FLOAT_EQ(d.f32(64), 0.98f);  // qfScale_inner[0]
    EXPECT_EQ(d.u32(128), 3u);          // dACB_id
    EXPECT_EQ(d.u32(140), 40u);         // dSamples
    EXPECT_EQ(d.u32(168), 8u);          // dMeas_sample_black
    EXPECT_FLOAT_EQ(d.f32(184), 0.02f);  // fLED_drift_max
    EXPECT_EQ(d.u32(212), 1800u);       // dTimeout_power
    EXPECT_EQ(d.u32(220), 3300u);       // dBattery_ADC_low
    EXPECT_TRUE(d.zero(144, 164));
    EXPECT_TRUE(d.zero(188, 208));
}

TEST(Content, NormGainsInEveryLaterRelease) {
    for (const char* name : {"CK0A.00.31.00", "CK0A.00.26.00", "CK0A.00.22.00"}) {
        Instrument inst(release(h8sx_config(), name));
        const Image n(inst, 3);
        EXPECT_FLOAT_EQ(n.f32(0), 0.95f) << name;   // qfGain_inner[0]
        EXPECT_FLOAT_EQ(n.f32(64), 1.05f) << name;  // qfGain_outer[0]
    }
}

TEST(Content, ResultsTiersCarryTheFactoryMeasurement) {
    Instrument newest(stm32_config());
    const Image r(newest, 5);
    EXPECT_EQ(r.u32(0), 1u);   // iMode: tooth
    EXPECT_EQ(r.u32(8), 2u);   // area 1 measured
    EXPECT_EQ(r.name(20), "3M2");
    EXPECT_EQ(r.name(98), "A1");
    EXPECT_EQ(r.name(124), "A2");  // second best of the single area
    EXPECT_NEAR(r.f32(176 + 4), 78.0f, 1e-4);  // L of area 1
    EXPECT_EQ(r.name(524), "3M1.5");  // interpolated
    EXPECT_EQ(r.name(602), "3M");     // its block
    EXPECT_EQ(r.name(758), "A1-A2");  // the classical block
    EXPECT_EQ(r.u32(836), 1u);  // average count

    Instrument short_one(release(h8sx_config(), "CK0A.00.24.00"));
    const Image s(short_one, 5);
    ASSERT_EQ(s.size, 524u);
    EXPECT_EQ(s.u32(0), 1u);
    EXPECT_EQ(s.name(98), "A1");

    Instrument old(release(h8sx_config(), "CK0A.00.22.00"));
    const Image o(old, 5);
    ASSERT_EQ(o.size, 296u);
    EXPECT_EQ(o.name(20), "3M2");
    EXPECT_NEAR(o.f32(176 + 4), 78.0f, 1e-4);
    EXPECT_GT(o.f32(220 + 11 * 4), 0.0f);  // area 1's Delta E
    EXPECT_TRUE(o.zero(288, 292));
}

TEST(Content, DetailsKeepTheMatchBlockLittleEndianOnBigEndianProcessors) {
    Instrument inst(h8sx_config());
    const Image d(inst, 4);
    ASSERT_EQ(d.size, 7316u);
    EXPECT_EQ(le32(d.bytes, 6864), 1u);   // iMode
    EXPECT_EQ(le32(d.bytes, 6868), 2u);   // qiStatus[0]
    EXPECT_EQ(d.name(3096), "3M2");
    EXPECT_EQ(d.name(1028), "A1");
    EXPECT_EQ(d.name(6944), "3M1.5");
    EXPECT_EQ(be32(d.bytes, 1108), 1u);   // tClassical_method, processor order
    EXPECT_EQ(be32(d.bytes, 7312), 1u);   // average count
    EXPECT_EQ(be32(d.bytes, 1112), 1u);   // qClassical.iShade: A1 is entry 1
    EXPECT_NEAR(d.f32_le(6724), 78.0f, 1e-4);
    // Spectrum of the principal sensor record: a tooth reflects more red than blue.
    const float blue = d.f32(2 * 328 + 204), red = d.f32(2 * 328 + 204 + 30 * 4);
    EXPECT_GT(blue, 0.0f);
    EXPECT_GT(red, blue);
}

TEST(Content, ToothAreaDetailsKeepEachAreasSecondSystemNameClearOfTheMatchFields) {
    InstrumentConfig c = stm32_config();
    c.measure_kind = 2;
    c.measure_time = 0ms;
    Instrument inst(c);
    for (int press = 0; press < 3; ++press) inst.press_trigger();
    const Image r(inst, 5);
    const Image d(inst, 4);
    ASSERT_EQ(le32(d.bytes, 6860), 3u) << "a tooth area";
    const std::size_t name_at[3] = {3096, 3500, 3526};
    for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_NE(r.name(20 + 26 * k), "") << k;
        EXPECT_EQ(d.name(name_at[k]), r.name(20 + 26 * k)) << "area " << k;
    }
    EXPECT_EQ(le32(d.bytes, 3124), 1u) << "t3D_method";
    for (std::size_t k = 0; k < 3; ++k)
        EXPECT_EQ(le32(d.bytes, 3128 + 124 * k), d.u32(1112 + 124 * k)) << "q3D[" << k << "].iShade";
}

TEST(Content, FirstGenerationSetupAndTwelveResultEntries) {
    Instrument inst(classic_config());
    const Image s(inst, 1);
    ASSERT_EQ(s.size, 1856u);
    EXPECT_EQ(s.u32(0), 14u);
    EXPECT_EQ(s.u32(16), 400u);
    EXPECT_EQ(s.name(216), "White");
    EXPECT_EQ(s.name(360), "Grey");
    EXPECT_EQ(static_cast<std::int32_t>(s.u32(264 + 28)), 530);  // Black L x 100

    const Image r(inst, 5);
    ASSERT_EQ(r.size, 12 * 628u);
    for (std::size_t e : {0u, 11u}) {
        EXPECT_EQ(r.u32(628 * e), 6u);
        EXPECT_EQ(r.name(628 * e + 176), "A1");
        EXPECT_EQ(r.name(628 * e + 328), "3M2");
        EXPECT_EQ(r.u32(628 * e + 444), 0u);  // tooth
    }
}

TEST(Content, HostBlockStartsIdleWhereEachReleaseKeepsItsState) {
    struct Case {
        const char* name;
        std::size_t state_at, time_at, size;
    };
    for (const Case& c : {Case{"CK0A.00.31.00", 32, 56, 64}, Case{"CK0A.00.22.00", 44, 72, 76},
                          Case{"CK0A.00.19.00", 24, 0, 36}}) {
        Instrument inst(release(h8sx_config(), c.name));
        const Image h(inst, 7);
        ASSERT_EQ(h.size, c.size) << c.name;
        EXPECT_EQ(h.u32(c.state_at), 20u) << c.name;
        if (c.time_at) {
            EXPECT_EQ(h.u32(c.time_at), 1000u) << c.name;
        }
        std::size_t nonzero = 0;
        for (std::size_t i = 0; i < h.size; i += 4) nonzero += h.u32(i) != 0;
        EXPECT_EQ(nonzero, c.time_at ? 2u : 1u) << c.name;
    }
}

TEST(Content, Release25PlacesTheSecondSystemBlockAtTheEndOfItsRecord) {
    Instrument inst(release(stm32_config(), "CK0A.00.25.00"));
    const Image d(inst, 4);
    ASSERT_EQ(d.size, 7064u);
    EXPECT_EQ(d.name(6944), "3M2") << "sn3D, 120 bytes from 3096 of the current layout";
    EXPECT_EQ(le32(d.bytes, 6944 + 28), 1u) << "t3D_method";
    EXPECT_EQ(d.name(3096), "3M1.5") << "the interpolated name in its place";
    EXPECT_EQ(le32(d.bytes, 6864), 1u) << "the fields before 6944 stay";
}

TEST(Content, FirstGenerationDetailsCloseWithTheFieldsFromQf3D) {
    Instrument inst(classic_config());  // .20: 6748 bytes
    const Image d(inst, 4);
    ASSERT_EQ(d.size, 6748u);
    EXPECT_EQ(le32(d.bytes, 6528 + 6864 - 6724), 1u) << "iMode";
    EXPECT_NEAR(d.f32_le(6528), 78.0f, 1e-4) << "qf3D: L of the area";
}

TEST(Content, ShortResultRecordCodesAndValues) {
    Instrument inst(stm32_config());  // .31
    const Image p(inst, 13);
    ASSERT_EQ(p.size, 624u);
    EXPECT_EQ(p.bytes[0], 1);    // a tooth
    EXPECT_EQ(p.bytes[12], 16);  // "3M2" is entry 15 of the second-system shades
    EXPECT_EQ(p.bytes[16], 40);  // "3M1.5" is entry 39 of the interpolated shades
    EXPECT_EQ(p.bytes[24], 1);   // "A1"
    EXPECT_EQ(p.bytes[25], 2);   // "A2", the second best
    // L of area 0: 78.0 * 218 = 17004, high byte first.
    EXPECT_EQ(p.bytes[28], 17004 >> 8);
    EXPECT_EQ(p.bytes[29], 17004 & 0xFF);
    EXPECT_EQ(le32(p.bytes, 592 + 16), 1u) << "the further values: the measurement number";

    Instrument older(release(stm32_config(), "CK0A.00.30.00"));
    EXPECT_EQ(older.layout().sizes[13], 0u) << "no short record before .31";
}

TEST(Content, ShadeTablesInEachReleasesLayout) {
    Instrument now(stm32_config());
    const Image t(now, 2);
    ASSERT_EQ(t.size, 8788u);
    EXPECT_EQ(t.name(0), "Tooth shades");
    EXPECT_EQ(t.u32(28), 16u);
    EXPECT_EQ(t.bytes[596], 1);  // "A1", little-endian 16-bit code
    EXPECT_NEAR(t.f32(1108), 78.1f, 1e-4);
    const auto second = *now.peek(now.layout().addresses[2] + 8788, 8788);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(second.data())), "Tab shades");

    Instrument old(classic_config());  // .20: 624 bytes after the name, big-endian
    const Image o(old, 2);
    EXPECT_EQ(o.name(0), "Tooth shades");
    EXPECT_EQ(o.u32(28 + 624), 16u);
    EXPECT_EQ(be16(o.bytes, 596 + 624), 1u);
    EXPECT_NEAR(o.f32(1108 + 624), 78.1f, 1e-4);

    Instrument oldest(release(classic_config(), "CK0A.00.15.00"));
    const Image e(oldest, 2);
    EXPECT_EQ(e.u32(28), 16u);
    EXPECT_EQ(be16(e.bytes, 596 + 132), 1u);
}

TEST(Content, DataBlockCountsItsChanges) {
    InstrumentConfig c = stm32_config();
    c.measure_time = 0ms;
    Instrument inst(c);
    EXPECT_EQ(Image(inst, 6).u32(132), 0u);
    inst.press_trigger();
    EXPECT_EQ(Image(inst, 6).u32(132), 1u);
    EXPECT_EQ(Image(inst, 6).u32(64), 3900u);

    InstrumentConfig k = classic_config();
    k.measure_time = 0ms;
    Instrument classic(k);
    classic.press_trigger();
    EXPECT_EQ(Image(classic, 6).u32(204), 1u);
}

TEST(Content, MeasurementBlockKeepsItsSixteenBitRegionWhereTheReleasePutsIt) {
    Instrument newest(release(stm32_config(), "CK0A.00.32.00"));
    const Image n(newest, 14);
    EXPECT_NE(le16(n.bytes, 708), 0u);
    EXPECT_EQ(le32(n.bytes, 4), 40u);
    Instrument shifted(release(stm32_config(), "CK0A.00.30.00"));
    const Image s(shifted, 14);
    EXPECT_EQ(le16(s.bytes, 708), 0u) << "two bytes later in .29 to .31";
    EXPECT_NE(le16(s.bytes, 710), 0u);
}

}  // namespace
}  // namespace tola::sim::test
