// How tolactl shows a measurement: readable lines, one JSON object, or one CSV row.
#pragma once

#include "tola_comm.h"

#include <string>

namespace tolactl {

// Several lines ending in a newline.
std::string readable(const COMM_MEASUREMENT& m);

// One JSON object on one line (no newline).
std::string json_line(const COMM_MEASUREMENT& m);

// The CSV header and one row for a measurement (no newline).
std::string csv_header();
std::string csv_row(const COMM_MEASUREMENT& m);

// What the measurement kind bits of the record's status say.
std::string kind_text(std::uint32_t status);

}  // namespace tolactl
