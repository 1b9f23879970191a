// Measurement polling and the instrument's measurement queue.
#pragma once

#include "tola_comm.h"

#include <cstdint>

namespace tola::measurements {

// Only-new measurement polls are answered from the rate limit within this time.
inline constexpr std::uint32_t kOnlyNewIntervalMs = 500;
// Later-generation event polls, unless the instrument asks for its sample interval.
inline constexpr std::uint32_t kDefaultEventIntervalMs = 50;

// Queue access modes.
namespace queue_mode {
inline constexpr std::int32_t kPrevious = 1, kIndex = 2, kNext = 3, kNewest = 4;
}

// Event bits of the event poll.
namespace event {
inline constexpr std::uint32_t kDataChanged = 0x2, kMeasurementPending = 0x4, kMeasurementFetched = 0x8,
                               kHostBlockChanged = 0x10, kEchoPending = 0x80;
}

// The newest measurement.  The instrument is asked (and acknowledged) also
// when `measurement` is null; the result is then 0.
std::int32_t poll_measurements(COMM_MEASUREMENT* measurement, std::int32_t only_new);
std::int32_t get_queue_measurement(COMM_MEASUREMENT* measurement, std::int32_t mode);
std::uint32_t poll(std::int32_t mask);
std::int32_t clear_queue();

}  // namespace tola::measurements
