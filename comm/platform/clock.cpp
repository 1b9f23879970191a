#include "comm/platform/clock.h"

#include <atomic>
#include <cerrno>
#include <ctime>

namespace tola::platform {
namespace {
std::atomic<std::uint64_t> g_slept_ms{0};
std::atomic<std::uint64_t> g_polled_ms{0};
}  // namespace

std::uint32_t tick_ms() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

void sleep_ms(std::uint32_t ms) {
    g_slept_ms.fetch_add(ms, std::memory_order_relaxed);
    timespec left{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

void poll_sleep_ms(std::uint32_t ms) {
    g_polled_ms.fetch_add(ms, std::memory_order_relaxed);
    sleep_ms(ms);
}

SleepTotals sleep_totals() { return SleepTotals{g_slept_ms.load(), g_polled_ms.load()}; }

}  // namespace tola::platform
