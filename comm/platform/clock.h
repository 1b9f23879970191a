// Host time as the instruments' protocols measure it: a 32-bit millisecond tick
// that wraps like the classic system tick (compare with unsigned differences).
#pragma once

#include <cstdint>

namespace tola::platform {

std::uint32_t tick_ms();

// Milliseconds elapsed since an earlier tick, correct across the 32-bit wrap.
inline std::uint32_t ms_since(std::uint32_t earlier) { return tick_ms() - earlier; }

void sleep_ms(std::uint32_t ms);
// A sleep between two looks for bytes that have not arrived yet.
void poll_sleep_ms(std::uint32_t ms);

// The milliseconds this process has asked to sleep, all and the part spent
// polling, so that benchmarks can tell fixed pauses from waiting.
struct SleepTotals {
    std::uint64_t all_ms;
    std::uint64_t polling_ms;
};
SleepTotals sleep_totals();

}  // namespace tola::platform
