#include "update/program_clock.h"

#include <chrono>
#include <thread>

namespace ckupdate {
namespace {

class SteadyClock final : public ProgramClock {
public:
    std::uint32_t NowMs() override {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
        return static_cast<std::uint32_t>(ms.count());
    }
    void SleepMs(std::uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

}  // namespace

ProgramClock& SystemClock() {
    static SteadyClock clock;
    return clock;
}

}  // namespace ckupdate
