#include "comm/links/memory_access.h"

#include "comm/api/library_state.h"
#include "comm/links/usb/usb_memory.h"

namespace tola::links {

bool memory_read(std::uint32_t address, std::uint8_t* buffer, std::int32_t length) {
    const PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    if (c->hUSB != -1) return usb::memory_read(buffer, address, length);
    return false;
}

bool memory_write(std::uint32_t address, const std::uint8_t* data, std::int32_t length) {
    const PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    if (c->hUSB != -1) return usb::memory_write(data, address, length);
    return false;
}

}  // namespace tola::links
