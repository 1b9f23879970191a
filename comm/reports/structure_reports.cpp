// Reports of the identity block, the optical set-up, the normalisation data,
// the operating settings and the calibration matrix.
#include "comm/reports/report_names.h"
#include "comm/reports/report_text.h"
#include "comm/reports/text_reports.h"
#include "comm/structures/host_copies.h"

#include <cstdio>

namespace tola::reports {
namespace {

constexpr std::size_t kChannels = 16;
constexpr auto kBounded = ReportText::Append::Bounded;
constexpr std::size_t kWavelengths = 31;

int as_int(std::uint32_t v) { return static_cast<int>(v); }

// "\t1\t2\t...\t16\t" with the leading tab, then "\r\n".
void channel_numbers(ReportText& t) {
    t.bounded("\t");
    for (std::size_t c = 1; c <= kChannels; ++c) t.bounded_f("%d\t", as_int(static_cast<std::uint32_t>(c)));
    t.bounded("\r\n");
}

void channel_labels(ReportText& t) {
    for (std::size_t c = 0; c < kChannels; ++c) t.bounded(channel_label(c));
}

template <class T>
void bounded_row(ReportText& t, const char* format, const T* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) t.bounded_f(format, values[i]);
}

void bounded_row_u32(ReportText& t, const char* format, const std::uint32_t* values, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) t.bounded_f(format, as_int(values[i]));
}

}  // namespace

std::string channel_label(std::size_t j) {
    const CKII_SETUP& setup = structures::host_copies().setup;
    const std::uint32_t type = setup.qtType[j];
    const char* format = (type & 0x1) ? "S:%d\t" : (type & 0x100) ? "L:%d\t" : "?:%d\t";
    char label[32];
    std::snprintf(label, sizeof label, format, as_int(setup.qdFilter_center[j]));
    return label;
}

void version_report(char* text, const COMM_VERSION& v) {
    ReportText t = ReportText::replacing(text);
    const auto f = [](const char* field) { return field_text(field); };
    const std::string_view fields[10] = {f(v.snName),         f(v.snSerial_number), f(v.snRelease), f(v.snRelease_date),
                                         f(v.snVersion),      f(v.snInstall_date),  f(v.snPart),    f(v.snMFG1),
                                         f(v.snMFG2),         f(v.snMFG3)};
    static constexpr const char* kLabels[10] = {"Name",     "Serial #", "Release", "Release Date", "Version",
                                                "Intalled", "Part #",   "MFG1",    "MFG2",         "MFG3"};
    for (std::size_t i = 0; i < 10; ++i)
        t.direct_f("%s\t%.*s\r\n", kLabels[i], static_cast<int>(fields[i].size()), fields[i].data());
}

void setup_report(char* text, const CKII_SETUP& s) {
    ReportText t = ReportText::replacing(text);
    channel_numbers(t);
    t.bounded("qtType\t");
    bounded_row_u32(t, "0x%8.8x\t", s.qtType, kChannels);
    t.bounded("\r\n");
    t.bounded("qdFilter_center\t");
    bounded_row_u32(t, "%d\t", s.qdFilter_center, kChannels);
    t.bounded("\r\n");
    t.bounded("qdFilter_width\t");
    bounded_row_u32(t, "%d\t", s.qdFilter_width, kChannels);
    t.bounded("\r\n");
    t.bounded_f("dSensor_spec[%d]\t", as_int(s.dSensor_spec));
    bounded_row(t, "%d, ", s.qiSensor_spec, std::min<std::size_t>(s.dSensor_spec, kChannels));
    t.bounded("\r\n");
    t.bounded_f("dSensor_LED[%d]\t", as_int(s.dSensor_LED));
    bounded_row(t, "%d, ", s.qiSensor_LED, std::min<std::size_t>(s.dSensor_LED, kChannels));
    t.bounded("\r\n\r\n\t");
    for (std::size_t w = 0; w < kWavelengths; ++w) t.bounded_f("%d\t", as_int(static_cast<std::uint32_t>(400 + 10 * w)));
    t.bounded("\r\n");
    static constexpr const char* kComponents[3] = {"X", "Y", "Z"};
    for (std::size_t c = 0; c < 3; ++c) {
        t.bounded_f("qqfTri[%s]\t", kComponents[c]);
        for (std::size_t w = 0; w < kWavelengths; ++w) t.values(kBounded, std::span(&s.qqfTri[w][c], 1), "", 5, 1, "\t");
        t.bounded("\r\n");
    }
    for (const CKII_REFERENCE_TILE& tile : s.qRef) {
        const std::string_view name = field_text(tile.snName);
        t.bounded_f("\r\nqRef[%.*s]", static_cast<int>(name.size()), name.data());
        t.bounded("\r\nOuterLED\t");
        t.values(kBounded, tile.qfOuterLED, "", 5, 1, "\t");
        t.bounded("\r\nInnerLED\t");
        t.values(kBounded, tile.qfInnerLED, "", 5, 1, "\t");
        t.bounded_f("\r\n\tL=%5.1f", static_cast<double>(tile.fL));
        t.bounded_f("\ta=%5.1f", static_cast<double>(tile.fa));
        t.bounded_f("\tb=%5.1f", static_cast<double>(tile.fb));
        t.bounded_f("\tDeltaE=%5.1f", static_cast<double>(tile.fDeltaE));
    }
}

void norm_report(char* text, const CKII_NORM& n) {
    ReportText t(text);  // appended to what the text holds
    channel_numbers(t);
    t.bounded("\t");
    channel_labels(t);
    t.bounded("\r\n");
    t.bounded("qfGain_inner\t");
    t.values(kBounded, n.qfGain_inner, "", 5, 3, "\t");
    t.bounded("\r\n");
    t.bounded("qfGain_outer\t");
    t.values(kBounded, n.qfGain_outer, "", 5, 3, "\t");
    t.bounded("\r\n");
}

void settings_report(char* text, const CKNG_SETTINGS& s) {
    ReportText t = ReportText::replacing(text);
    t.direct_f("fGain_lin\t%5.2f\r\n\r\n", static_cast<double>(s.fGain_lin));
    channel_numbers(t);
    t.bounded("\t");
    channel_labels(t);
    const std::pair<const char*, const float*> rows[4] = {{"\r\nLin.qfA\t", s.qfRef_slope},
                                                          {"\r\nLin.qfB\t", s.qfB},
                                                          {"\r\n\r\nqfScale_outer\t", s.qfScale_outer},
                                                          {"\r\nqfScale_inner\t", s.qfScale_inner}};
    for (const auto& [label, values] : rows) {
        t.bounded(label);
        t.values(kBounded, std::span(values, kChannels), "", 5, 2, "\t");
    }
    t.direct_f("\r\ndACB_id\t%d\r\n", as_int(s.dACB_id));
    t.direct_f("dAuto_min\t%d\r\n", as_int(s.dAuto_min));
    t.direct_f("dAuto_max\t%d\r\n", as_int(s.dAuto_max));
    t.direct_f("dSamples\t%d\r\n", as_int(s.dSamples));
    t.direct_f("dLED_stable\t%d\r\n", as_int(s.dLED_stable));
    t.direct_f("fLED_drift_max\t%8.5f\r\n", static_cast<double>(s.fLED_drift_max));
    t.direct_f("fMeas_stable_black\t%5.3f\r\n", static_cast<double>(s.fMeas_stable_black));
    t.direct_f("dMeas_sample_black\t%d\r\n", as_int(s.dMeas_sample_black));
    t.direct_f("fMeas_stable_white\t%5.3f\r\n", static_cast<double>(s.fMeas_stable_white));
    t.direct_f("dMeas_sample_white\t%d\r\n", as_int(s.dMeas_sample_white));
    t.direct_f("dTimeout_standby\t%d\r\n", as_int(s.dTimeout_standby));
    t.direct_f("dTimeout_power\t%d\r\n", as_int(s.dTimeout_power));
    t.direct_f("dBattery_ADC_low\t%d\r\n", as_int(s.dBattery_ADC_low));
    t.direct_f("dBattery_ADC_full\t%d\r\n", as_int(s.dBattery_ADC_full));
    // The tiles are named as in the built-in default set-up, whatever the instrument's.
    const CKII_SETUP& defaults = structures::built_in_defaults().setup;
    for (std::size_t k = 0; k < 4; ++k) {
        const std::string_view name = field_text(defaults.qRef[k].snName);
        t.direct_f("%.*s qfDeltaE:\t%5.2f\r\n", static_cast<int>(name.size()), name.data(),
                   static_cast<double>(s.qfDeltaE[k]));
    }
}

void calmat_report(char* text, const CKNG_CALMAT& m) {
    ReportText t(text);  // appended to what the text holds
    constexpr std::size_t kInnerStart = 1, kOuterStart = 100, kRowValues = 9;
    const std::pair<const char*, std::size_t> blocks[2] = {{"Inner\t", kInnerStart}, {"Outer\t", kOuterStart}};
    for (const auto& [label, start] : blocks) {
        t.bounded(label);
        for (const char* column : kCalibrationColumns) t.bounded_f("D%s\t", column);
        t.bounded("\r\n");
        for (std::size_t r = 0; r < kWavelengths; ++r) {
            t.bounded_f("%dnm\t", as_int(static_cast<std::uint32_t>(400 + 10 * r)));
            t.values(kBounded, std::span(m.qfValue + start + kRowValues * r, kCalibrationColumns.size()), "", 5, 4, "\t");
            t.bounded("\r\n");
        }
        t.bounded("\r\n");
    }
}

}  // namespace tola::reports
