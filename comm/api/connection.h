// Search, open, test and close of the one instrument connection.
#pragma once

#include "tola_comm.h"

#include <cstdint>

namespace tola::connection {

// Results of one search step.
inline constexpr std::int32_t kConnected = 1;
inline constexpr std::int32_t kCallAgain = 2;
inline constexpr std::int32_t kFailed = 3;
inline constexpr std::int32_t kHeld = 4;

inline constexpr std::uint32_t kPortTimeMs = 5000;

std::int32_t poll_initialize(PXM_COMM* record);
std::int32_t test();
void close();
std::int32_t interface_name(char* text);

// Port bits of tStatus for "COM1".."COM20"; 0 for any other name.
std::uint32_t serial_port_bits(const char* port_name);

}  // namespace tola::connection
