#include "comm/links/serial/byte_stream.h"
#include "comm/platform/clock.h"
#include "comm/platform/process_global.h"

namespace tola::serial {
namespace {

class SystemTimebase final : public Timebase {
public:
    std::uint32_t now() override { return platform::tick_ms(); }
    void sleep(std::uint32_t ms) override { platform::sleep_ms(ms); }
    void poll(std::uint32_t ms) override { platform::poll_sleep_ms(ms); }
};

}  // namespace

Timebase& system_timebase() {
    static ProcessGlobal<SystemTimebase> time;
    return *time;
}

}  // namespace tola::serial
