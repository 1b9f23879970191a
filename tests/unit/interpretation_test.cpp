// Interpretation of the instruments' result structures into COMM_MEASUREMENT.
#include "comm/measurements/interpretation.h"
#include "comm/measurements/shade_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace tola::measurements;

std::string text(const char* field) { return std::string(field, ::strnlen(field, 26)); }

void put_name(char* field, const char* name) {
    std::memset(field, 0, 26);
    std::strncpy(field, name, 25);
}

COMM_MEASUREMENT cleared() {
    COMM_MEASUREMENT m;
    std::memset(&m, 0, sizeof m);
    return m;
}

CKII_RESULTS results(std::int32_t mode) {
    CKII_RESULTS r;
    std::memset(&r, 0, sizeof r);
    r.iMode = mode;
    const char* classical[3] = {"A2", "B1", "C3"};
    const char* second[3] = {"2M2", "3L1.5", "1M1"};
    for (int k = 0; k < 3; ++k) {
        put_name(r.qsnClassical[k], classical[k]);
        put_name(r.qsn3D[k], second[k]);
        put_name(r.qsn3DInterp[k], "2M1.5");
        put_name(r.qsn3DBlock[k], "2M");
        put_name(r.qsn3DBleached[k], "---");
        put_name(r.qsnClassicalBlock[k], "A1-A2");
        for (int i = 0; i < 11; ++i) r.qfParm[k][i] = static_cast<float>(10 * k + i);
        for (int i = 0; i < 17; ++i) r.qfDelta[k][i] = static_cast<float>(100 * k + i) + 0.5f;
    }
    r.iAverageCount = 5;
    r.iWhiteness = 23;
    return r;
}

TOLA_SHADE_MATCH_DETAILS details(std::int32_t mode) {
    TOLA_SHADE_MATCH_DETAILS d;
    std::memset(&d, 0, sizeof d);
    d.iMode = mode;
    for (int i = 0; i < 31; ++i) d.qSensor[2].qfSpectrum[i] = 0.3f + 0.01f * static_cast<float>(i);
    for (int i = 0; i < 11; ++i) d.qSensor[2].qfParmWt[i] = static_cast<float>(i) * 2.0f;
    put_name(d.qsnClassical[0], "A3");
    put_name(d.qsnClassical[1], "A3.5");
    put_name(d.qsnClassical[2], "B3");
    put_name(d.sn3D, "3M2");
    d.qClassical.qfDelta[11] = 1.25f;
    d.q3D.qfDelta[11] = 2.5f;
    d.qf3D_delta[11] = 3.75f;
    return d;
}

TEST(Verdicts, QualityOneToThreeAndAdjustOtherwise) {
    EXPECT_STREQ("Fair", verdict_word(1));
    EXPECT_STREQ("Good", verdict_word(2));
    EXPECT_STREQ("Excellent", verdict_word(3));
    EXPECT_STREQ("Adjust", verdict_word(0));
    EXPECT_STREQ("Adjust", verdict_word(4));
    EXPECT_STREQ("Adjust", verdict_word(-1));
}

TEST(ShadeNames, CodeZeroIsNoShadeAndCodesBeyondTheTableNameNothing) {
    EXPECT_EQ(nullptr, shade_name_by_code(ShadeTable::Classical, 0));
    EXPECT_STREQ("A1", shade_name_by_code(ShadeTable::Classical, 1));
    const auto size = static_cast<std::uint32_t>(shade_table_size(ShadeTable::Classical));
    EXPECT_NE(nullptr, shade_name_by_code(ShadeTable::Classical, size));
    EXPECT_EQ(nullptr, shade_name_by_code(ShadeTable::Classical, size + 1));
    EXPECT_EQ(nullptr, shade_name_by_index(ShadeTable::SecondInterpolated, -1));
    // One code names a shade and its block.
    EXPECT_EQ(shade_table_size(ShadeTable::Classical), shade_table_size(ShadeTable::ClassicalBlock));
    EXPECT_EQ(shade_table_size(ShadeTable::SecondInterpolated), shade_table_size(ShadeTable::SecondBlock));
    for (auto table : {ShadeTable::Classical, ShadeTable::ClassicalBlock, ShadeTable::Second,
                       ShadeTable::SecondInterpolated, ShadeTable::SecondBlock}) {
        ASSERT_GT(shade_table_size(table), 0u);
        for (std::size_t i = 0; i < shade_table_size(table); ++i)
            EXPECT_LT(std::strlen(shade_name_by_index(table, static_cast<std::int64_t>(i))), 25u)
                << "a name field takes 24 characters";
    }
}

TEST(ResultsInterpretation, ToothFillsTheSingleAreaAndTheNameBlocks) {
    COMM_MEASUREMENT m = cleared();
    interpret_results(m, results(1));
    EXPECT_EQ("Tooth", text(m.snMaterial));
    EXPECT_EQ(0x1000u, m.tStatus);
    EXPECT_EQ(1u, m.iAverageCount);
    EXPECT_EQ("A2", text(m.Single.snClassical));
    EXPECT_EQ("B1", text(m.Single.snClassical2)) << "a single area lists the three best classical shades";
    EXPECT_EQ("C3", text(m.Single.snClassical3));
    EXPECT_EQ("2M2", text(m.Single.sn3D));
    EXPECT_EQ(5.0f, m.Single.qfParm[5]);
    EXPECT_EQ(11.5f, m.Single.qfClassical_delta[11]);
    EXPECT_EQ(0.0f, m.Single.qf3D_delta[11]);
    EXPECT_EQ(0.0f, m.Single.qfSpectrum[0]);
    EXPECT_EQ("2M1.5", text(m.qsn3DInterp[2]));
    EXPECT_EQ("A1-A2", text(m.qsnClassicalBlock[0]));
    EXPECT_EQ("2M", text(m.qsn3DBlock[1]));
}

TEST(ResultsInterpretation, NoClassicalShadeClearsItsDifferences) {
    CKII_RESULTS r = results(1);
    put_name(r.qsnClassical[0], "---");
    COMM_MEASUREMENT m = cleared();
    interpret_results(m, r);
    for (float v : m.Single.qfClassical_delta) EXPECT_EQ(0.0f, v);
    EXPECT_EQ(5.0f, m.Single.qfParm[5]) << "the parameters stay";
}

TEST(ResultsInterpretation, ToothAreaBitsFollowTheAreaStates) {
    const struct {
        std::int32_t states[3];
        std::uint32_t status;
    } cases[] = {{{2, 0, 0}, 0x1}, {{4, 2, 0}, 0x12}, {{4, 4, 4}, 0x222}, {{2, 2, 2}, 0x111}, {{0, 0, 4}, 0x222}};
    for (const auto& c : cases) {
        CKII_RESULTS r = results(2);
        std::memcpy(r.qiAreaState, c.states, sizeof c.states);
        COMM_MEASUREMENT m = cleared();
        interpret_results(m, r);
        EXPECT_EQ(c.status, m.tStatus) << c.states[0] << c.states[1] << c.states[2];
        EXPECT_EQ("Tooth Area", text(m.snMaterial));
        EXPECT_EQ("C3", text(m.qArea[2].snClassical));
        EXPECT_EQ("", text(m.qArea[2].snClassical2)) << "an area lists its own shade only";
        EXPECT_EQ("3L1.5", text(m.qArea[1].sn3D));
        EXPECT_EQ(21.0f, m.qArea[2].qfParm[1]);
    }
}

TEST(ResultsInterpretation, UnservedModesLeaveTheRecordClearedButTheAverageCount) {
    for (std::int32_t mode : {0, 8, 9, 10, 11, 13, -1}) {
        COMM_MEASUREMENT m = cleared();
        interpret_results(m, results(mode));
        COMM_MEASUREMENT expected = cleared();
        expected.iAverageCount = 1;
        EXPECT_EQ(0, std::memcmp(&expected, &m, sizeof m)) << "mode " << mode;
    }
}

TEST(ResultsInterpretation, AverageAndWhitenessKinds) {
    COMM_MEASUREMENT m = cleared();
    interpret_results(m, results(6));
    EXPECT_EQ(0x800u, m.tStatus);
    EXPECT_EQ(5u, m.iAverageCount);
    EXPECT_EQ(23u, m.iWIO2BGU);
    EXPECT_EQ("A2", text(m.Single.snClassical));

    m = cleared();
    interpret_results(m, results(12));
    EXPECT_EQ(0x80000u, m.tStatus);
    EXPECT_EQ("Tooth", text(m.snMaterial));
    EXPECT_EQ(5u, m.iAverageCount);
    EXPECT_EQ(23u, m.iWIO2BGU);
    EXPECT_EQ("", text(m.Single.snClassical)) << "no area data";

    for (std::int32_t tab : {4, 7}) {
        m = cleared();
        interpret_results(m, results(tab));
        EXPECT_EQ(0x2000u, m.tStatus);
        EXPECT_EQ("Tab", text(m.snMaterial));
        EXPECT_EQ("", text(m.qsn3DInterp[0])) << "a tab has no name blocks";
    }
    m = cleared();
    interpret_results(m, results(5));
    EXPECT_EQ(0x8000u, m.tStatus);
    EXPECT_EQ("Ceramic", text(m.snMaterial));
}

TEST(ResultsInterpretation, VerificationBySystem) {
    CKII_RESULTS r = results(3);
    r.iVerify_quality = 3;
    r.iVerify_shade = 4;
    r.iVerify_system = 0;
    COMM_MEASUREMENT m = cleared();
    interpret_results(m, r);
    EXPECT_EQ("Verify Ceramic", text(m.snMaterial));
    EXPECT_EQ(0x4000u, m.tStatus);
    EXPECT_EQ("A4", text(m.snVerify_shade)) << "index 4 from 0 in the classical table";
    EXPECT_EQ("Excellent", text(m.snVerify_result));
    EXPECT_EQ(16.5f, m.qfVerDelta[16]);
    EXPECT_EQ(0u, m.iVerify_shade_system);

    r.iVerify_system = 1;
    r.iVerify_shade = 0;
    m = cleared();
    interpret_results(m, r);
    EXPECT_EQ("0M1", text(m.snVerify_shade));
    EXPECT_EQ(1u, m.iVerify_shade_system);

    r.iVerify_system = 2;
    r.iVerify_quality = 0;
    m = cleared();
    interpret_results(m, r);
    EXPECT_EQ("A2 2M2", text(m.snVerify_shade));
    EXPECT_EQ("A2", text(m.Single.snClassical));
    EXPECT_EQ("2M2", text(m.Single.sn3D));
    EXPECT_EQ("Adjust", text(m.snVerify_result));

    r.iVerify_system = 0;
    r.iVerify_shade = 1000;  // outside the table: no name
    m = cleared();
    interpret_results(m, r);
    EXPECT_EQ("", text(m.snVerify_shade));
    r.iVerify_system = 7;
    m = cleared();
    interpret_results(m, r);
    EXPECT_EQ("", text(m.snVerify_shade));
    EXPECT_EQ("Adjust", text(m.snVerify_result));
}

TEST(ResultsInterpretation, UnterminatedNamesAreRefusedNotOverread) {
    CKII_RESULTS r = results(1);
    std::memset(r.qsnClassical[0], 'X', 26);
    std::memset(r.qsn3D[0], 'Y', 26);
    COMM_MEASUREMENT m = cleared();
    interpret_results(m, r);
    EXPECT_EQ("", text(m.Single.snClassical));
    EXPECT_EQ("", text(m.Single.sn3D));
    EXPECT_EQ("B1", text(m.Single.snClassical2));

    r = results(3);
    r.iVerify_system = 2;
    std::memset(r.qsnClassical[0], 'X', 26);
    m = cleared();
    interpret_results(m, r);
    EXPECT_EQ("", text(m.snVerify_shade));
}

TEST(DetailsInterpretation, SingleKindsFillTheAreaFromThePrincipalSensor) {
    const struct {
        std::int32_t mode;
        const char* material;
        std::uint32_t status;
    } kinds[] = {{1, "Tooth", 0x1000}, {4, "Tab", 0x2000}, {7, "Tab", 0x2000}, {5, "Ceramic", 0x8000}, {6, "Tooth", 0x800}};
    for (const auto& k : kinds) {
        COMM_MEASUREMENT m = cleared(), acc = cleared();
        interpret_details(m, details(k.mode), results(1), acc);
        EXPECT_EQ(k.material, text(m.snMaterial));
        EXPECT_EQ(k.status, m.tStatus);
        EXPECT_FLOAT_EQ(0.6f, m.Single.qfSpectrum[30]);
        EXPECT_EQ(4.0f, m.Single.qfParm[2]);
        EXPECT_EQ("A3.5", text(m.Single.snClassical2));
        EXPECT_EQ("3M2", text(m.Single.sn3D));
        EXPECT_EQ(1.25f, m.Single.qfClassical_delta[11]);
        EXPECT_EQ(2.5f, m.Single.qf3D_delta[11]);
    }
    COMM_MEASUREMENT m = cleared(), acc = cleared();
    interpret_details(m, details(12), results(1), acc);
    EXPECT_EQ(0u, m.tStatus) << "kinds beyond 7 leave the record as cleared";
}

TEST(DetailsInterpretation, VerificationTakesTheDeltasOfItsSystem) {
    TOLA_SHADE_MATCH_DETAILS d = details(3);
    put_name(d.snVerify_shade, "B2");
    d.iVerify_quality = 2;
    COMM_MEASUREMENT m = cleared(), acc = cleared();
    interpret_details(m, d, results(1), acc);
    EXPECT_EQ("Verify Ceramic", text(m.snMaterial));
    EXPECT_EQ(1u, m.iVerify_shade_system) << "system 0 counts from 1 here";
    EXPECT_EQ("B2", text(m.snVerify_shade));
    EXPECT_EQ("Good", text(m.snVerify_result));
    EXPECT_EQ(1.25f, m.qfVerDelta[11]);

    d.iVerify_system = 1;
    d.iVerify_quality = 9;
    m = cleared();
    interpret_details(m, d, results(1), acc);
    EXPECT_EQ(2u, m.iVerify_shade_system);
    EXPECT_EQ(3.75f, m.qfVerDelta[11]);
    EXPECT_EQ("Adjust", text(m.snVerify_result));
}

TEST(DetailsInterpretation, ToothAreaSequenceCollectsThreeAreas) {
    COMM_MEASUREMENT acc = cleared();
    std::memset(&acc, 0x5A, sizeof acc);  // left over from an earlier sequence
    const CKII_RESULTS names = results(2);

    TOLA_SHADE_MATCH_DETAILS d = details(2);
    d.qiStatus[0] = 2;
    d.qSensor[2].qfSpectrum[0] = 0.11f;
    COMM_MEASUREMENT m = cleared();
    interpret_details(m, d, names, acc);
    EXPECT_EQ(0x1u, m.tStatus);
    EXPECT_EQ("Tooth Area", text(m.snMaterial));
    EXPECT_EQ(0.0f, m.qArea[0].qfSpectrum[0]) << "the caller's record gets no area yet";

    d.qiStatus[0] = 4;
    d.qiStatus[1] = 2;
    d.qSensor[2].qfSpectrum[0] = 0.22f;
    m = cleared();
    interpret_details(m, d, names, acc);
    EXPECT_EQ(0x11u, m.tStatus);

    d.qiStatus[1] = 4;
    d.qiStatus[2] = 4;
    d.qSensor[2].qfSpectrum[0] = 0.33f;
    m = cleared();
    interpret_details(m, d, names, acc);
    EXPECT_EQ(0x222u, m.tStatus);
    EXPECT_EQ(sizeof(COMM_MEASUREMENT), m.dSize);
    EXPECT_EQ("Tooth Area", text(m.snMaterial));
    EXPECT_EQ(0.11f, m.qArea[0].qfSpectrum[0]);
    EXPECT_EQ(0.22f, m.qArea[1].qfSpectrum[0]);
    EXPECT_EQ(0.33f, m.qArea[2].qfSpectrum[0]);
    const char* classical[3] = {"A2", "B1", "C3"};
    const char* second[3] = {"2M2", "3L1.5", "1M1"};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(classical[k], text(m.qArea[k].snClassical)) << "names from the results";
        EXPECT_EQ(second[k], text(m.qArea[k].sn3D));
    }
    EXPECT_EQ(0u, m.iQueue) << "the accumulator was cleared by the first area";
}

// A first-generation table of twelve 628-byte entries in host layout.
struct FirstGenTable {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(12 * 628, 0);
    std::uint8_t* entry(std::size_t i) { return bytes.data() + 628 * i; }
    void put32(std::size_t i, std::size_t at, std::uint32_t v) { std::memcpy(entry(i) + at, &v, 4); }
    void put_float(std::size_t i, std::size_t at, float v) { std::memcpy(entry(i) + at, &v, 4); }
    void put_text(std::size_t i, std::size_t at, const char* t) { std::strncpy(reinterpret_cast<char*>(entry(i) + at), t, 25); }
    // A complete entry: state 6, kind, area step and flag, a marker spectrum.
    void complete(std::size_t i, std::int32_t kind, std::int32_t step = 0, std::int32_t area = 0) {
        put32(i, 0, 6);
        put32(i, 444, static_cast<std::uint32_t>(kind));
        put32(i, 448, static_cast<std::uint32_t>(step));
        put32(i, 452, static_cast<std::uint32_t>(area));
        put_float(i, 4, static_cast<float>(i) + 0.5f);
        put_text(i, 176, ("C" + std::to_string(i)).c_str());
        put_text(i, 328, ("3M" + std::to_string(i)).c_str());
    }
};

TEST(FirstGenerationInterpretation, Release19EntryKinds) {
    FirstGenTable t;
    t.complete(5, 2);
    t.put32(5, 460, 1);
    t.put_text(5, 464, "A3");
    t.put_text(5, 490, "Good");
    t.put_float(5, 560 + 4 * 16, 7.5f);
    COMM_MEASUREMENT m = cleared();
    interpret_first_generation(m, t.bytes, 5, "CK0A.00.19.00");
    EXPECT_EQ("Verify Ceramic", text(m.snMaterial));
    EXPECT_EQ(0x4000u, m.tStatus);
    EXPECT_EQ(1u, m.iVerify_shade_system);
    EXPECT_EQ("A3", text(m.snVerify_shade));
    EXPECT_EQ("Good", text(m.snVerify_result));
    EXPECT_EQ(7.5f, m.qfVerDelta[16]);
    EXPECT_EQ(5.5f, m.Single.qfSpectrum[0]);
    EXPECT_EQ("C5", text(m.Single.snClassical));
    EXPECT_EQ("3M5", text(m.Single.sn3D));

    const struct {
        std::int32_t kind;
        const char* material;
        std::uint32_t status;
    } kinds[] = {{0, "Tooth", 0x1000}, {1, "Tab", 0x2000}, {3, "Ceramic", 0x8000}};
    for (const auto& k : kinds) {
        t.complete(3, k.kind);
        m = cleared();
        interpret_first_generation(m, t.bytes, 3, "CK0A.00.20.00");
        EXPECT_EQ(k.material, text(m.snMaterial));
        EXPECT_EQ(k.status, m.tStatus);
    }

    t.put32(4, 0, 5);  // not complete
    m = cleared();
    interpret_first_generation(m, t.bytes, 4, "CK0A.00.20.00");
    EXPECT_EQ(0u, m.tStatus);
    EXPECT_EQ("", text(m.snMaterial));
}

TEST(FirstGenerationInterpretation, Release19ToothAreaTakesTheEarlierAreasRoundTheTable) {
    FirstGenTable t;
    t.complete(10, 0, 0, 1);
    COMM_MEASUREMENT m = cleared();
    interpret_first_generation(m, t.bytes, 10, "CK0A.00.19.00");
    EXPECT_EQ(0x1u, m.tStatus);
    EXPECT_EQ("Tooth Area", text(m.snMaterial));
    t.complete(10, 0, 1, 1);
    m = cleared();
    interpret_first_generation(m, t.bytes, 10, "CK0A.00.19.00");
    EXPECT_EQ(0x11u, m.tStatus);

    // The newest entry is 11; the two before it are 0 and 1 (the ring goes on at 0).
    t.complete(11, 0, 2, 1);
    t.complete(0, 0, 1, 1);
    t.complete(1, 0, 0, 1);
    m = cleared();
    interpret_first_generation(m, t.bytes, 11, "CK0A.00.20.00");
    EXPECT_EQ(0x222u, m.tStatus);
    EXPECT_EQ(11.5f, m.qArea[2].qfSpectrum[0]);
    EXPECT_EQ(0.5f, m.qArea[1].qfSpectrum[0]);
    EXPECT_EQ(1.5f, m.qArea[0].qfSpectrum[0]);
    EXPECT_EQ("C1", text(m.qArea[0].snClassical));
}

TEST(FirstGenerationInterpretation, Release16KeepsSingleMeasurementsInEntryOne) {
    FirstGenTable t;
    t.complete(1, 1);
    COMM_MEASUREMENT m = cleared();
    interpret_first_generation(m, t.bytes, 1, "CK0A.00.16.00");
    EXPECT_EQ("Tab", text(m.snMaterial));
    EXPECT_EQ(1.5f, m.Single.qfSpectrum[0]);

    t.complete(1, 0);
    m = cleared();
    interpret_first_generation(m, t.bytes, 1, "CK0A.00.17.00");
    EXPECT_EQ("Tooth", text(m.snMaterial)) << "entry 0 is not complete";
    EXPECT_EQ(0x1000u, m.tStatus);

    t.complete(0, 0);
    t.put32(1, 0, 0);
    m = cleared();
    interpret_first_generation(m, t.bytes, 1, "CK0A.00.18.00");
    EXPECT_EQ(0x1u, m.tStatus);
    EXPECT_EQ("", text(m.snMaterial));
    t.put32(1, 0, 6);
    m = cleared();
    interpret_first_generation(m, t.bytes, 1, "CK0A.00.18.00");
    EXPECT_EQ(0x11u, m.tStatus);
    t.complete(2, 0);
    m = cleared();
    interpret_first_generation(m, t.bytes, 1, "CK0A.00.18.00");
    EXPECT_EQ(0x222u, m.tStatus);
    EXPECT_EQ(2.5f, m.qArea[2].qfSpectrum[0]);

    t.complete(1, 2);
    m = cleared();
    interpret_first_generation(m, t.bytes, 1, "CK0A.00.16.00");
    EXPECT_EQ("Verify", text(m.snMaterial));
    EXPECT_EQ(0x4000u, m.tStatus);
}

TEST(FirstGenerationInterpretation, OtherLayoutsAndBadIndexesInterpretNothing) {
    FirstGenTable t;
    t.complete(0, 0);
    for (const char* layout : {"CK0A.00.15.00", "CK0A.00.24.00", ""}) {
        COMM_MEASUREMENT m = cleared();
        interpret_first_generation(m, t.bytes, 0, layout);
        EXPECT_EQ(0u, m.tStatus) << layout;
    }
    COMM_MEASUREMENT m = cleared();
    interpret_first_generation(m, t.bytes, 12, "CK0A.00.19.00");
    EXPECT_EQ(0u, m.tStatus);
    interpret_first_generation(m, std::span(t.bytes).first(628), 0, "CK0A.00.19.00");
    EXPECT_EQ(0u, m.tStatus) << "a table of one entry is no table";
}

}  // namespace
