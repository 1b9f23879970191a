#include "comm/commands/controller.h"

#include "comm/api/library_state.h"
#include "comm/links/usb/controller_protocol.h"
#include "comm/links/usb/usb_state.h"

namespace tola::controller {
namespace {

bool usb_controller() {
    const PXM_COMM* c = valid_record();
    return c != nullptr && c->iDevice == TOLA_DEVICE_USB_PORTIVO && c->hUSB != -1;
}

}  // namespace

std::int32_t command(std::int32_t code, std::int32_t value) {
    if (usb_controller()) return usb::controller_command(code, value) ? 1 : 0;
    // Serial and Bluetooth controller exchanges come with those links.
    return 0;
}

std::int32_t read(std::uint8_t* data, std::uint32_t address, std::int32_t length) {
    if (usb_controller()) return usb::controller_read(data, address, length) ? 1 : 0;
    return 0;
}

std::int32_t write(const std::uint8_t* data, std::uint32_t address, std::int32_t length, std::int32_t pause_ms) {
    if (usb_controller())
        return usb::controller_write(data, address, length, pause_ms > 0 ? static_cast<std::uint32_t>(pause_ms) : 0) ? 1
                                                                                                                    : 0;
    return 0;
}

std::int32_t get_cpu_type(std::int32_t* type) {
    if (type != nullptr) *type = usb::cpu_type();
    return 1;
}

}  // namespace tola::controller
