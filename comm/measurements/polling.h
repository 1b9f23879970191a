// Measurement polling and the instrument's measurement queue.
#pragma once

#include "tola_comm.h"

#include <cstdint>

namespace tola::measurements {

std::int32_t poll_measurements(COMM_MEASUREMENT& measurement, std::int32_t kind);
std::int32_t get_queue_measurement(COMM_MEASUREMENT& measurement, std::int32_t which);
std::uint32_t poll(std::int32_t flags);
std::int32_t clear_queue();

}  // namespace tola::measurements
