#include "comm/commands/controller.h"

#include "comm/links/usb/usb_state.h"

namespace tola::controller {

std::int32_t command(std::int32_t, std::int32_t) { return 0; }
std::int32_t read(std::uint8_t*, std::uint32_t, std::int32_t) { return 0; }
std::int32_t write(const std::uint8_t*, std::uint32_t, std::int32_t, std::int32_t) { return 0; }

std::int32_t get_cpu_type(std::int32_t* type) {
    if (type != nullptr) *type = usb::cpu_type();
    return 1;
}

}  // namespace tola::controller
