#include "comm/links/usb/usb_memory.h"

#include "comm/api/library_state.h"
#include "comm/commands/command_timing.h"
#include "comm/links/usb/controller_protocol.h"
#include "comm/links/usb/first_generation.h"
#include "comm/links/usb/usb_state.h"

#include <algorithm>

namespace tola::usb {
namespace {

constexpr std::int32_t kControllerPiece = 128;
constexpr std::uint32_t kLaterPieceDelayMs = 20;

bool usb_open(const PXM_COMM*& c) {
    c = valid_record();
    return c != nullptr && c->hUSB != -1;
}

}  // namespace

bool memory_read(std::uint8_t* buffer, std::uint32_t address, std::int32_t length) {
    const PXM_COMM* c = nullptr;
    if (!usb_open(c) || buffer == nullptr || length < 0) return false;
    switch (c->iDevice) {
        case TOLA_DEVICE_USB_CHROMATIK:
            return first_generation::read_memory(buffer, address, length);
        case TOLA_DEVICE_USB_PORTIVO:
            for (std::int32_t done = 0; done < length; done += kControllerPiece) {
                const std::int32_t piece = std::min(kControllerPiece, length - done);
                if (!controller_read(buffer + done, address + static_cast<std::uint32_t>(done), piece)) return false;
                if (!progress_step(piece)) return false;
            }
            progress_step(0);
            record_success();
            return true;
        default:  // no memory access in boot mode, nor on other kinds
            return false;
    }
}

bool memory_write(const std::uint8_t* data, std::uint32_t address, std::int32_t length) {
    const PXM_COMM* c = nullptr;
    if (!usb_open(c) || data == nullptr || length < 0) return false;
    switch (c->iDevice) {
        case TOLA_DEVICE_USB_H8SX_BOOT:
            progress_step(0);
            return false;
        case TOLA_DEVICE_USB_PORTIVO:
            for (std::int32_t done = 0; done < length; done += kControllerPiece) {
                const std::int32_t piece = std::min(kControllerPiece, length - done);
                // The first piece gives the instrument the command wait, the rest a short step.
                const std::uint32_t step = done == 0 ? commands::command_wait_ms() : kLaterPieceDelayMs;
                if (!controller_write(data + done, address + static_cast<std::uint32_t>(done), piece, step))
                    return false;
                if (!progress_step(piece)) return false;
            }
            progress_step(0);
            record_success();
            return true;
        default:
            return first_generation::write_ram(data, address, length);
    }
}

}  // namespace tola::usb
