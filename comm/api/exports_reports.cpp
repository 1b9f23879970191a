// Exported text reports.  They only format the records the caller passes.
#include "comm/api/frame.h"
#include "comm/api/size_tolerant.h"
#include "comm/reports/text_reports.h"

using namespace tola;

namespace {

template <class Record, class Render>
std::int32_t report(Record* record, Render render) {
    return serialised_plain([&] {
        if (record != nullptr) render(*record);
    });
}

template <class Record, class Render>
std::int32_t report_ex(Record* record, std::int32_t size, Render render) {
    return serialised_plain([&] {
        with_local_copy<Record>(record, size, [&](Record& local) {
            render(local);
            return 0;
        });
    });
}

}  // namespace

extern "C" {

TOLA_API int32_t TOLA_Get_COMM_version(char* lpText, COMM_VERSION* lpVersion) {
    return report(lpVersion, [&](const COMM_VERSION& r) { reports::version_report(lpText, r); });
}
TOLA_API int32_t TOLA_Get_COMM_version_ex(char* lpText, COMM_VERSION* lpVersion, int32_t iSize) {
    return report_ex(lpVersion, iSize, [&](const COMM_VERSION& r) { reports::version_report(lpText, r); });
}
TOLA_API int32_t TOLA_Get_CKII_setup(char* lpText, CKII_SETUP* lpSetup) {
    return report(lpSetup, [&](const CKII_SETUP& r) { reports::setup_report(lpText, r); });
}
TOLA_API int32_t TOLA_Get_CKII_setup_ex(char* lpText, CKII_SETUP* lpSetup, int32_t iSize) {
    return report_ex(lpSetup, iSize, [&](const CKII_SETUP& r) { reports::setup_report(lpText, r); });
}
TOLA_API int32_t TOLA_Get_CKII_norm(char* lpText, CKII_NORM* lpNorm) {
    return report(lpNorm, [&](const CKII_NORM& r) { reports::norm_report(lpText, r); });
}
TOLA_API int32_t TOLA_Get_CKII_norm_ex(char* lpText, CKII_NORM* lpNorm, int32_t iSize) {
    return report_ex(lpNorm, iSize, [&](const CKII_NORM& r) { reports::norm_report(lpText, r); });
}
TOLA_API int32_t TOLA_Get_CKII_settings(char* lpText, CKNG_SETTINGS* lpSettings) {
    return report(lpSettings, [&](const CKNG_SETTINGS& r) { reports::settings_report(lpText, r); });
}
TOLA_API int32_t TOLA_Get_CKII_settings_ex(char* lpText, CKNG_SETTINGS* lpSettings, int32_t iSize) {
    return report_ex(lpSettings, iSize, [&](const CKNG_SETTINGS& r) { reports::settings_report(lpText, r); });
}
TOLA_API int32_t TOLA_Get_TOLA_SHADE_MATCH_DETAILS(char* lpText, TOLA_SHADE_MATCH_DETAILS* lpDetails,
                                                   int32_t iOption) {
    return report(lpDetails,
                  [&](const TOLA_SHADE_MATCH_DETAILS& r) { reports::details_report(lpText, r, iOption); });
}
TOLA_API int32_t TOLA_Get_TOLA_SHADE_MATCH_DETAILS_ex(char* lpText, TOLA_SHADE_MATCH_DETAILS* lpDetails,
                                                      int32_t iSize, int32_t iOption) {
    return report_ex(lpDetails, iSize,
                     [&](const TOLA_SHADE_MATCH_DETAILS& r) { reports::details_report(lpText, r, iOption); });
}
TOLA_API int32_t TOLA_Get_CKII_results(char* lpText, CKII_RESULTS* lpResults) {
    return report(lpResults, [&](const CKII_RESULTS& r) { reports::results_report(lpText, r); });
}
TOLA_API int32_t TOLA_Get_CKII_results_ex(char* lpText, CKII_RESULTS* lpResults, int32_t iSize) {
    return report_ex(lpResults, iSize, [&](const CKII_RESULTS& r) { reports::results_report(lpText, r); });
}
TOLA_API int32_t TOLA_Get_CKNG_CalMat_ex(char* lpText, CKNG_CALMAT* lpCalMat, int32_t iSize) {
    return report_ex(lpCalMat, iSize, [&](const CKNG_CALMAT& r) { reports::calmat_report(lpText, r); });
}

}  // extern "C"
