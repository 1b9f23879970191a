// The host's millisecond tick and plain sleeps, as the update workflow uses them.
// The workflow takes a clock so that its tests can run its fixed waits on a
// simulated clock; the program and tolactl use the system clock.
#pragma once

#include <cstdint>

namespace ckupdate {

class ProgramClock {
public:
    virtual ~ProgramClock() = default;
    // 32-bit milliseconds of a monotonic clock; compare with unsigned differences.
    virtual std::uint32_t NowMs() = 0;
    virtual void SleepMs(std::uint32_t ms) = 0;
};

ProgramClock& SystemClock();

}  // namespace ckupdate
