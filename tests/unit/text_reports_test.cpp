// The text reports: layout of each report, and that no record makes a report
// leave the caller's 10000-byte buffer.
#include "comm/reports/report_text.h"
#include "comm/structures/host_copies.h"
#include "tola_comm.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

namespace {

constexpr std::size_t kBuffer = 10000;

// A heap buffer of exactly 10000 bytes: the sanitizers see any write past it.
struct Text {
    std::unique_ptr<char[]> bytes = std::make_unique<char[]>(kBuffer);
    Text() { std::memset(bytes.get(), 0, kBuffer); }
    char* get() { return bytes.get(); }
    std::string str() const { return std::string(bytes.get(), ::strnlen(bytes.get(), kBuffer)); }
};

template <class Record>
Record zeroed() {
    Record r;
    std::memset(&r, 0, sizeof r);
    return r;
}

void put_name(char* field, const char* name) {
    std::memset(field, 0, 26);
    std::strncpy(field, name, 25);
}

bool ends_with(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::size_t count(const std::string& s, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

class Reports : public ::testing::Test {
protected:
    void SetUp() override {
        saved_ = tola::structures::host_copies().setup;
        CKII_SETUP& s = tola::structures::host_copies().setup;
        std::memset(&s, 0, sizeof s);
        for (std::size_t j = 0; j < 16; ++j) {
            s.qdFilter_center[j] = static_cast<std::uint32_t>(400 + 20 * j);
            s.qtType[j] = j % 3 == 0 ? 0x10111 : j % 3 == 1 ? 0x10100 : 0x10000;
        }
    }
    void TearDown() override { tola::structures::host_copies().setup = saved_; }
    CKII_SETUP saved_{};
};

TEST_F(Reports, VersionListsTheReleaseDateBeforeTheVersion) {
    COMM_VERSION v = zeroed<COMM_VERSION>();
    put_name(v.snName, "Chromatik\xAE V");
    put_name(v.snSerial_number, "H51234");
    put_name(v.snRelease, "511vLE");
    put_name(v.snVersion, "CK0A.00.31.00");
    put_name(v.snRelease_date, "January 16, 2022");
    put_name(v.snInstall_date, "Not Installed");
    put_name(v.snPart, "TBD");
    put_name(v.snMFG1, "CPU-STM");
    put_name(v.snMFG2, "2");
    put_name(v.snMFG3, "2x");
    Text t;
    std::strcpy(t.get(), "old text");
    EXPECT_EQ(1, TOLA_Get_COMM_version(t.get(), &v));
    EXPECT_EQ("Name\tChromatik\xAE V\r\nSerial #\tH51234\r\nRelease\t511vLE\r\nRelease Date\tJanuary 16, 2022\r\n"
              "Version\tCK0A.00.31.00\r\nIntalled\tNot Installed\r\nPart #\tTBD\r\nMFG1\tCPU-STM\r\nMFG2\t2\r\n"
              "MFG3\t2x\r\n",
              t.str());

    Text small;
    COMM_VERSION shorter = v;
    EXPECT_EQ(1, TOLA_Get_COMM_version_ex(small.get(), &shorter, 26));
    EXPECT_EQ(0u, small.str().find("Name\tChromatik\xAE V\r\nSerial #\t\r\n")) << "only the caller's bytes are its record";
}

TEST_F(Reports, SetupListsAtMostSixteenSensorValues) {
    CKII_SETUP s = zeroed<CKII_SETUP>();
    s.dSensor_spec = 20;
    s.dSensor_LED = 2;
    for (int i = 0; i < 16; ++i) s.qiSensor_spec[i] = 100 + i;
    s.qiSensor_LED[0] = 7, s.qiSensor_LED[1] = 8, s.qiSensor_LED[2] = 9;
    s.qtType[0] = 0x10111;
    s.qqfTri[30][2] = 1.25f;
    put_name(s.qRef[3].snName, "Grey");
    s.qRef[3].fDeltaE = 0.5f;
    Text t;
    TOLA_Get_CKII_setup(t.get(), &s);
    const std::string r = t.str();
    EXPECT_EQ(0u, r.find("\t1\t2\t3\t"));
    EXPECT_NE(std::string::npos, r.find("qtType\t0x00010111\t0x00000000\t"));
    const std::string sensor_line = "dSensor_spec[20]\t100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, "
                                    "113, 114, 115, \r\n";
    EXPECT_NE(std::string::npos, r.find(sensor_line));
    EXPECT_NE(std::string::npos, r.find("dSensor_LED[2]\t7, 8, \r\n\r\n\t400\t410\t"));
    EXPECT_NE(std::string::npos, r.find("qqfTri[Z]\t"));
    EXPECT_NE(std::string::npos, r.find("\t  1.2\t\r\n\r\nqRef[]\r\nOuterLED"));
    EXPECT_TRUE(ends_with(r, "\r\nqRef[Grey]\r\nOuterLED\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t"
                             "  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t\r\nInnerLED\t  0.0\t  0.0\t  0.0\t"
                             "  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t  0.0\t"
                             "\r\n\tL=  0.0\ta=  0.0\tb=  0.0\tDeltaE=  0.5"));
}

TEST_F(Reports, NormalisationIsAppendedAndLabelledFromTheLibrarysSetup) {
    CKII_NORM n = zeroed<CKII_NORM>();
    n.qfGain_inner[0] = 1.5f;
    n.qfGain_outer[15] = 0.25f;
    Text t;
    TOLA_Get_CKII_norm(t.get(), &n);
    const std::string once = t.str();
    EXPECT_NE(std::string::npos, once.find("\r\n\tS:400\tL:420\t?:440\tS:460\t"));
    EXPECT_NE(std::string::npos, once.find("qfGain_inner\t1.500\t0.000\t"));
    EXPECT_TRUE(ends_with(once, "\t0.250\t\r\n"));
    TOLA_Get_CKII_norm(t.get(), &n);
    EXPECT_EQ(once + once, t.str()) << "the normalisation report is appended";

    Text e;
    EXPECT_EQ(1, TOLA_Get_CKII_norm_ex(e.get(), &n, 4));
    EXPECT_NE(std::string::npos, e.str().find("qfGain_inner\t1.500\t0.000\t"));
    EXPECT_NE(std::string::npos, e.str().find("qfGain_outer\t0.000\t")) << "beyond 4 bytes the record is zero";
}

TEST_F(Reports, ResultsReplaceTheText) {
    CKII_RESULTS r = zeroed<CKII_RESULTS>();
    r.iMode = 2;
    r.iMaterial = 1;
    put_name(r.qsn3D[1], "3M2");
    put_name(r.qsnClassical[0], "A2");
    r.qfParm[2][10] = 9.5f;
    r.qfDelta[0][10] = -1.0f;
    r.qfDelta[0][11] = 77.0f;  // not printed: only the first eleven
    r.iVerify_shade = 4;
    Text t;
    TOLA_Get_CKII_results(t.get(), &r);
    const std::string once = t.str();
    EXPECT_EQ(0u, once.find("iMode\t2\r\niMaterial\t1\r\n\r\nqsn3D[0]\t\r\nqsn3D[1]\t3M2\r\nqsn3D[2]\t\r\n\r\n"
                            "qsnClassical[0]\tA2\r\n"));
    EXPECT_NE(std::string::npos, once.find("qfParm\tIn\tL\tC\tH\tA\tB\tX\tY\tZ\t1st\t2nd\t\r\n"));
    EXPECT_NE(std::string::npos, once.find("\t 9.50\r\n\r\nqfDelta\tDelta In\t"));
    EXPECT_NE(std::string::npos, once.find("Delta 2nd\t\r\n"));
    EXPECT_NE(std::string::npos, once.find("\t-1.00\r\n"));
    EXPECT_EQ(std::string::npos, once.find("77.00"));
    EXPECT_TRUE(ends_with(once, "\r\niVerify_system\t0\r\niVerify_quality\t0\r\niVerify_shade\t4\r\n"));
    TOLA_Get_CKII_results(t.get(), &r);
    EXPECT_EQ(once, t.str()) << "the results report replaces the text";
}

TEST_F(Reports, DetailsEndByMode) {
    TOLA_SHADE_MATCH_DETAILS d = zeroed<TOLA_SHADE_MATCH_DETAILS>();
    d.iArea = 3;
    d.iMode = 2;
    d.qiStatus[0] = 4, d.qiStatus[1] = 4, d.qiStatus[2] = 2;
    put_name(d.snVerify_shade, "A3");
    put_name(d.snVerify_quality, "Good");
    d.iVerify_system = 1;
    d.tClassical_method = 0xABC;
    d.q3D.iShade = 12;
    put_name(d.sn3D, "2M3");
    Text t;
    TOLA_Get_TOLA_SHADE_MATCH_DETAILS(t.get(), &d, 1);
    const std::string one = t.str();
    EXPECT_EQ(0u, one.find("\r\n\r\n--------------------\tSensors \t--------------------\r\n\r\n\t1\t2\t"));
    EXPECT_NE(std::string::npos, one.find("\t40\r\nInner\t 0.00\t"));
    EXPECT_NE(std::string::npos, one.find("\r\n--------------------\tSpectrums \t--------------------\r\n\r\n\t400\t410"));
    EXPECT_NE(std::string::npos, one.find("\r\ntClassical_method\t00000abc\r\nSHADE_MATCH\tqClassical\r\n"));
    EXPECT_NE(std::string::npos, one.find("sn3D\t2M3\r\nt3D_method\t00000000\r\nSHADE_MATCH\tq3D\r\niShade\t12\r\n"));
    EXPECT_NE(std::string::npos, one.find("qf3D\t 0.00\t\t 0.00\t\t 0.00\t\r\n\r\n\tIn\t"));
    EXPECT_TRUE(ends_with(one, "\r\n--------------------\tOther      \t--------------------\r\n\r\nfThickness\t 0.00\r\n"
                               "iMaterial\t0\r\niArea\t3\r\niArea\t3\r\n"));
    TOLA_Get_TOLA_SHADE_MATCH_DETAILS(t.get(), &d, 2);
    const std::string two = t.str();
    EXPECT_EQ(one, two.substr(0, one.size()));
    EXPECT_EQ("iMode\t2\r\nqiStatus\t4, 4, 2\r\nsnVerify_shade\tA3\r\niVerify_quality\t0\r\nsnVerify_quality\tGood\r\n"
              "iVerify_system\t1\r\n",
              two.substr(one.size()));
}

TEST_F(Reports, SettingsNameTheTilesAfterTheBuiltInSetup) {
    CKNG_SETTINGS s = zeroed<CKNG_SETTINGS>();
    s.fGain_lin = 1.0f;
    s.dSamples = 40;
    s.fLED_drift_max = 0.02f;
    s.dBattery_ADC_low = 3300;
    s.dBattery_ADC_full = 3900;
    for (int k = 0; k < 4; ++k) s.qfDeltaE[k] = static_cast<float>(k) + 0.5f;
    put_name(tola::structures::host_copies().setup.qRef[0].snName, "Instrument's own");
    Text t;
    TOLA_Get_CKII_settings(t.get(), &s);
    const std::string r = t.str();
    EXPECT_EQ(0u, r.find("fGain_lin\t 1.00\r\n\r\n\t1\t2\t"));
    EXPECT_NE(std::string::npos, r.find("\t16\t\r\n\tS:400\t"));
    EXPECT_NE(std::string::npos, r.find("\r\nLin.qfA\t 0.00\t"));
    EXPECT_NE(std::string::npos, r.find("\r\n\r\nqfScale_outer\t"));
    EXPECT_NE(std::string::npos, r.find("\r\ndACB_id\t0\r\ndAuto_min\t0\r\ndAuto_max\t0\r\ndSamples\t40\r\n"));
    EXPECT_NE(std::string::npos, r.find("fLED_drift_max\t 0.02000\r\n"));
    EXPECT_NE(std::string::npos, r.find("dBattery_ADC_low\t3300\r\ndBattery_ADC_full\t3900\r\n"));
    const CKII_SETUP& defaults = tola::structures::built_in_defaults().setup;
    std::string tiles;
    for (int k = 0; k < 4; ++k)
        tiles += std::string(defaults.qRef[k].snName) + " qfDeltaE:\t " + std::to_string(k) + ".50\r\n";
    EXPECT_TRUE(ends_with(r, tiles)) << r.substr(r.size() > 200 ? r.size() - 200 : 0);
    EXPECT_EQ(std::string::npos, r.find("Instrument's own"));
}

TEST_F(Reports, CalibrationBlocksAreAppended) {
    CKNG_CALMAT m = zeroed<CKNG_CALMAT>();
    m.qfValue[1] = 0.5f;        // inner, 400 nm, first column
    m.qfValue[100 + 9 * 30 + 5] = 2.25f;  // outer, 700 nm, last column
    Text t;
    std::strcpy(t.get(), "head\r\n");
    EXPECT_EQ(1, TOLA_Get_CKNG_CalMat_ex(t.get(), &m, sizeof m));
    const std::string r = t.str();
    EXPECT_EQ(0u, r.find("head\r\nInner\tD430nm\tD470nm\tD520nm\tD570nm\tD640nm\tD690nm\t\r\n400nm\t0.5000\t0.0000\t"));
    EXPECT_NE(std::string::npos, r.find("\r\n\r\nOuter\tD430nm\t"));
    EXPECT_TRUE(ends_with(r, "700nm\t0.0000\t0.0000\t0.0000\t0.0000\t0.0000\t2.2500\t\r\n\r\n"));
    EXPECT_EQ(62u, count(r, "nm\t0.") + count(r, "nm\t2."));
}

// Records full of extreme values: every report stays inside the buffer.
template <class Record>
Record extreme(int variant) {
    Record r;
    std::memset(&r, 0xFF, sizeof r);  // NaN floats, -1 integers, unterminated names
    if (variant == 0) return r;
    auto* f = reinterpret_cast<unsigned char*>(&r);
    for (std::size_t i = 0; i + 4 <= sizeof r; i += 4) {
        const float v = variant == 1 ? std::numeric_limits<float>::max() : -std::numeric_limits<float>::infinity();
        std::memcpy(f + i, &v, 4);
    }
    return r;
}

TEST_F(Reports, ExtremeRecordsNeverLeaveTheBuffer) {
    for (int variant = 0; variant < 3; ++variant) {
        SCOPED_TRACE(variant);
        tola::structures::host_copies().setup = extreme<CKII_SETUP>(variant);
        auto run = [&](auto report) {
            Text t;
            report(t.get());
            EXPECT_LT(t.str().size(), kBuffer);
            return t.str();
        };
        auto v = extreme<COMM_VERSION>(variant);
        auto s = extreme<CKII_SETUP>(variant);
        auto n = extreme<CKII_NORM>(variant);
        auto g = extreme<CKNG_SETTINGS>(variant);
        auto d = extreme<TOLA_SHADE_MATCH_DETAILS>(variant);
        auto r = extreme<CKII_RESULTS>(variant);
        auto c = extreme<CKNG_CALMAT>(variant);
        run([&](char* t) { TOLA_Get_COMM_version(t, &v); });
        run([&](char* t) { TOLA_Get_CKII_setup(t, &s); });
        run([&](char* t) {
            std::memset(t, 'x', kBuffer);  // no terminator at all: taken as full
            TOLA_Get_CKII_norm(t, &n);
        });
        run([&](char* t) {
            for (int i = 0; i < 40; ++i) TOLA_Get_CKII_norm(t, &n);
        });
        run([&](char* t) { TOLA_Get_CKII_settings(t, &g); });
        const std::string details = run([&](char* t) { TOLA_Get_TOLA_SHADE_MATCH_DETAILS(t, &d, 2); });
        if (variant == 1) {
            EXPECT_EQ(kBuffer - 1, details.size()) << "a full report is cut at the buffer's end";
        }
        run([&](char* t) { TOLA_Get_CKII_results(t, &r); });
        run([&](char* t) { TOLA_Get_CKNG_CalMat_ex(t, &c, sizeof c); });
        run([&](char* t) {
            for (int i = 0; i < 10; ++i) TOLA_Get_CKNG_CalMat_ex(t, &c, sizeof c);
        });
    }
}

TEST(ReportText, BoundedPiecesLandWholeOrNotAtAllDirectOnesAreCut) {
    auto buffer = std::make_unique<char[]>(kBuffer);
    std::memset(buffer.get(), 'a', kBuffer - 4);
    buffer[kBuffer - 4] = '\0';
    tola::reports::ReportText t(buffer.get());
    t.bounded("xyz4");
    EXPECT_EQ(kBuffer - 4, std::strlen(buffer.get()));
    t.bounded("xyz");
    EXPECT_EQ(kBuffer - 1, std::strlen(buffer.get()));
    buffer[kBuffer - 4] = '\0';
    tola::reports::ReportText u(buffer.get());
    u.direct("12345");
    EXPECT_EQ(kBuffer - 1, std::strlen(buffer.get()));
    EXPECT_EQ("123", std::string(buffer.get() + kBuffer - 4));
    u.direct("more");
    u.bounded("");
    EXPECT_EQ(kBuffer - 1, std::strlen(buffer.get()));

    tola::reports::ReportText none(nullptr);
    none.direct("nothing");
    none.bounded_f("%d", 1);
    EXPECT_EQ(0u, none.length());
}

TEST(ReportText, NumbersReadAsPrintfWritesThem) {
    const float values[] = {0.0f, -0.0f, 0.125f, 0.375f, 2.5f, 3.5f, -0.005f, 0.005f, 1e-7f, -1e-7f, 0.995f, 9.995f,
                            99.995f, 123456.79f, -98765.43f, 1e12f, 3.4e38f, -3.4e38f, 1.0f / 3.0f, 0.2f, 0.1f,
                            std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN(), -std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::denorm_min(), 16777217.0f, 4294967296.0f};
    for (int precision = 1; precision <= 5; ++precision) {
        for (float v : values) {
            auto buffer = std::make_unique<char[]>(kBuffer);
            buffer[0] = '\0';
            tola::reports::ReportText t(buffer.get());
            t.values(tola::reports::ReportText::Append::Direct, std::span(&v, 1), "<", 8, precision, ">");
            char expected[512];
            std::snprintf(expected, sizeof expected, "<%8.*f>", precision, static_cast<double>(v));
            EXPECT_STREQ(expected, buffer.get()) << "precision " << precision;
            buffer[0] = '\0';
            tola::reports::ReportText u(buffer.get());
            u.direct_f("%5.2f|%d|%8.8x|%.*s", static_cast<double>(v), static_cast<int>(precision * -7),
                       0xABCu * static_cast<unsigned>(precision), 3, "names");
            std::snprintf(expected, sizeof expected, "%5.2f|%d|%8.8x|%.*s", static_cast<double>(v), precision * -7,
                          0xABCu * static_cast<unsigned>(precision), 3, "names");
            EXPECT_STREQ(expected, buffer.get());
        }
    }
}

}  // namespace
