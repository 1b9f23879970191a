// Text renderings of the structures for service and diagnosis.
#pragma once

#include "tola_comm.h"

#include <cstdint>

namespace tola::reports {

void version_report(char* text, const COMM_VERSION& version);
void setup_report(char* text, const CKII_SETUP& setup);
void norm_report(char* text, const CKII_NORM& norm);
void settings_report(char* text, const CKNG_SETTINGS& settings);
void details_report(char* text, const TOLA_SHADE_MATCH_DETAILS& details, std::int32_t option);
void results_report(char* text, const CKII_RESULTS& results);
void calmat_report(char* text, const CKNG_CALMAT& calmat);

}  // namespace tola::reports
