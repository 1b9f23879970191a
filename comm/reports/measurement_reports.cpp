// Reports of the results record and the measurement details.
#include "comm/reports/report_names.h"
#include "comm/reports/report_text.h"
#include "comm/reports/text_reports.h"

namespace tola::reports {
namespace {

constexpr auto kDirect = ReportText::Append::Direct;

double d(float v) { return static_cast<double>(v); }

void name_piece(ReportText& t, const char* format, const char* field) {
    const std::string_view name = field_text(field);
    t.direct_f(format, static_cast<int>(name.size()), name.data());
}

void shade_match_block(ReportText& t, const char* label, const SHADE_MATCH& m) {
    t.direct_f("SHADE_MATCH\t%s\r\n", label);
    t.direct_f("iShade\t%d\r\n", m.iShade);
    t.direct_f("iStatus\t%d\r\n", m.iStatus);
    t.direct_f("dHits\t%d\r\n", static_cast<int>(m.dHits));
    for (const char* name : kDifferenceNames) t.direct_f("\t%s", name);
    t.direct("\r\nqfDelta");
    t.values(kDirect, m.qfDelta, "\t", 5, 2, "");
    t.direct("\r\nqiBest_fit");
    for (std::int32_t v : m.qiBest_fit) t.direct_f("\t%d", v);
    t.direct("\r\n");
}

void section(ReportText& t, const char* title) {
    t.direct("\r\n--------------------\t");
    t.direct(title);
    t.direct(" \t--------------------\r\n\r\n");
}

}  // namespace

void results_report(char* text, const CKII_RESULTS& r) {
    ReportText t = ReportText::replacing(text);
    t.direct_f("iMode\t%d\r\n", r.iMode);
    t.direct_f("iMaterial\t%d\r\n\r\n", r.iMaterial);
    for (int k = 0; k < 3; ++k) {
        const std::string_view name = field_text(r.qsn3D[k]);
        t.direct_f("qsn3D[%d]\t%.*s\r\n", k, static_cast<int>(name.size()), name.data());
    }
    t.direct("\r\n");
    for (int k = 0; k < 3; ++k) {
        const std::string_view name = field_text(r.qsnClassical[k]);
        t.direct_f("qsnClassical[%d]\t%.*s\r\n", k, static_cast<int>(name.size()), name.data());
    }
    t.direct("\r\n");
    t.direct("qfParm\t");
    for (const char* name : kParameterNames) t.direct_f("%s\t", name);
    t.direct("\r\n");
    for (const auto& row : r.qfParm) {
        t.values(kDirect, row, "\t", 5, 2, "");
        t.direct("\r\n");
    }
    t.direct("\r\nqfDelta\t");
    for (std::size_t i = 0; i < 11; ++i) t.direct_f("%s\t", kDifferenceNames[i]);
    t.direct("\r\n");
    for (const auto& row : r.qfDelta) {
        t.values(kDirect, std::span(row).first(11), "\t", 5, 2, "");
        t.direct("\r\n");
    }
    t.direct_f("\r\niVerify_system\t%d\r\n", r.iVerify_system);
    t.direct_f("iVerify_quality\t%d\r\n", r.iVerify_quality);
    t.direct_f("iVerify_shade\t%d\r\n", r.iVerify_shade);
}

void details_report(char* text, const TOLA_SHADE_MATCH_DETAILS& s, std::int32_t mode) {
    ReportText t = ReportText::replacing(text);
    t.direct("\r\n\r\n--------------------\tSensors \t--------------------\r\n\r\n");
    for (int i = 1; i <= 40; ++i) t.direct_f("\t%d", i);
    t.bounded("\r\n");
    for (std::size_t k = 0; k < 3; ++k) {
        t.bounded(kSensorNames[k]);
        t.values(kDirect, s.qSensor[k].qfSensor, "\t", 5, 2, "");
        t.bounded("\r\n");
    }
    t.bounded("\r\n--------------------\tSpectrums \t--------------------\r\n\r\n");
    for (int w = 400; w <= 700; w += 10) t.direct_f("\t%d", w);
    t.bounded("\r\n");
    for (std::size_t k = 0; k < 3; ++k) {
        t.bounded(kSensorNames[k]);
        t.values(kDirect, s.qSensor[k].qfSpectrum, "\t", 5, 2, "");
        t.bounded("\r\n");
    }

    t.direct("\r\n\t");
    for (const char* name : kParameterNames) t.direct_f("%s\t", name);
    t.direct("\r\nqfParmWt[]");
    t.values(kDirect, s.qSensor[2].qfParmWt, "\t", 5, 2, "");
    t.direct("\r\nqfT[]");
    t.values(kDirect, s.qfT, "\t", 5, 2, "");
    t.direct("\r\n\r\n");

    section(t, "Classical");
    t.direct("qsnClassical[]");
    for (const auto& name : s.qsnClassical) name_piece(t, "\t%.*s", name);
    t.direct_f("\r\ntClassical_method\t%8.8x", s.tClassical_method);
    t.direct("\r\n");
    shade_match_block(t, "qClassical", s.qClassical);

    section(t, kSecondSystemLabel);
    name_piece(t, "sn3D\t%.*s\r\n", s.sn3D);
    t.direct_f("t3D_method\t%8.8x\r\n", s.t3D_method);
    shade_match_block(t, "q3D", s.q3D);
    t.direct("qf3D");
    t.values(kDirect, s.qf3D, "\t", 5, 2, "\t");
    t.bounded("\r\n");

    t.direct("\r\n\t");
    for (const char* name : kParameterNames) t.direct_f("%s\t", name);
    t.direct("\r\nqf3D_shade_parm[]\t");
    t.values(kDirect, s.qf3D_shade_parm, "", 5, 2, "\t");
    t.direct("\r\n");

    t.direct("\r\n\t");
    for (const char* name : kDifferenceNames) t.direct_f("%s\t", name);
    t.direct("\r\nqf3D_delta[]\t");
    t.values(kDirect, s.qf3D_delta, "", 5, 2, "\t");
    t.direct("\r\n");

    t.direct("\r\n--------------------\tOther      \t--------------------\r\n\r\n");
    t.direct_f("fThickness\t%5.2f\r\n", d(s.fThickness));
    t.direct_f("iMaterial\t%d\r\n", s.iMaterial);
    // The area line comes twice, as the report has always printed it.
    t.direct_f("iArea\t%d\r\n", s.iArea);
    t.direct_f("iArea\t%d\r\n", s.iArea);
    if (mode != 2) return;
    t.direct_f("iMode\t%d\r\n", s.iMode);
    t.direct_f("qiStatus\t%d, %d, %d\r\n", s.qiStatus[0], s.qiStatus[1], s.qiStatus[2]);
    name_piece(t, "snVerify_shade\t%.*s\r\n", s.snVerify_shade);
    t.direct_f("iVerify_quality\t%d\r\n", s.iVerify_quality);
    name_piece(t, "snVerify_quality\t%.*s\r\n", s.snVerify_quality);
    t.direct_f("iVerify_system\t%d\r\n", s.iVerify_system);
}

}  // namespace tola::reports
