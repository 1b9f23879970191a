#include "comm/links/memory_access.h"

#include "comm/api/library_state.h"
#include "comm/links/bluetooth/bt_link.h"
#include "comm/links/serial/serial_link.h"
#include "comm/links/usb/usb_memory.h"

namespace tola::links {

bool memory_read(std::uint32_t address, std::uint8_t* buffer, std::int32_t length) {
    const PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    if (c->hUSB != -1) return usb::memory_read(buffer, address, length);
    if (c->hRS232 == -1) return false;
    if (bluetooth::is_bluetooth_kind(*c)) return bluetooth::memory_read(address, buffer, length);
    return serial::memory_read(address, buffer, length);
}

bool memory_write(std::uint32_t address, const std::uint8_t* data, std::int32_t length) {
    const PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    if (c->hUSB != -1) return usb::memory_write(data, address, length);
    if (c->hRS232 == -1) return false;
    if (bluetooth::is_bluetooth_kind(*c)) return bluetooth::memory_write(address, data, length);
    return serial::memory_write(address, data, length);
}

}  // namespace tola::links
