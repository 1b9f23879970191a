// The report layouts join this file later; until then a report is empty text.
#include "comm/reports/text_reports.h"

namespace tola::reports {
namespace {

void empty(char* text) {
    if (text != nullptr) text[0] = '\0';
}

}  // namespace

void version_report(char* text, const COMM_VERSION&) { empty(text); }
void setup_report(char* text, const CKII_SETUP&) { empty(text); }
void norm_report(char* text, const CKII_NORM&) { empty(text); }
void settings_report(char* text, const CKNG_SETTINGS&) { empty(text); }
void details_report(char* text, const TOLA_SHADE_MATCH_DETAILS&, std::int32_t) { empty(text); }
void results_report(char* text, const CKII_RESULTS&) { empty(text); }
void calmat_report(char* text, const CKNG_CALMAT&) { empty(text); }

}  // namespace tola::reports
