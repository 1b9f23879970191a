#include "comm/commands/controller.h"

#include "comm/api/library_state.h"
#include "comm/commands/command_timing.h"
#include "comm/links/bluetooth/bt_link.h"
#include "comm/links/serial/packet_link.h"
#include "comm/links/serial/serial_link.h"
#include "comm/links/usb/controller_protocol.h"
#include "comm/links/usb/usb_state.h"
#include "comm/platform/clock.h"

#include <array>
#include <cstring>

namespace tola::controller {
namespace {

constexpr std::uint8_t kEraseCode = 59;
constexpr std::uint32_t kConfirmation = 0x0A3E5C71;
constexpr std::uint32_t kValueLength = 4;

bool usb_controller() {
    const PXM_COMM* c = valid_record();
    return c != nullptr && c->iDevice == TOLA_DEVICE_USB_PORTIVO && c->hUSB != -1;
}

bool bluetooth_controller() {
    const PXM_COMM* c = valid_record();
    return c != nullptr && c->hRS232 != -1 && bluetooth::is_bluetooth_kind(*c);
}

bool serial_controller() {
    const PXM_COMM* c = valid_record();
    return c != nullptr && c->hRS232 != -1 &&
           (c->iDevice == TOLA_DEVICE_SERIAL_MAPPED_A || c->iDevice == TOLA_DEVICE_SERIAL_MAPPED_B);
}

// The 8 data bytes of a controller block: a 32-bit value, then 4, little-endian.
std::array<std::uint8_t, 8> value_block(std::uint32_t value) {
    std::array<std::uint8_t, 8> b{};
    for (int i = 0; i < 4; ++i) {
        b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
        b[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(kValueLength >> (8 * i));
    }
    return b;
}

bool stream_command(serial::PacketLink& link, bool bluetooth, std::int32_t command, std::int32_t value) {
    link.complete_pending_check();
    switch (command) {
        case 9: {
            const auto block = value_block(static_cast<std::uint32_t>(value));
            return link.send_block(kEraseCode, block.data(), block.size());
        }
        case 10:
        case 11:
        case 12: {
            const auto code = static_cast<std::uint8_t>(kEraseCode + command - 9);
            if (!bluetooth) return link.send_command(code);
            // Over Bluetooth the boot-loader commands carry a confirmation value.
            const auto block = value_block(kConfirmation);
            return link.send_block(code, block.data(), block.size());
        }
        case 1:
            return link.send_command(1);
        default: {
            if (!bluetooth) return link.send_command(1);
            const std::array<std::uint8_t, 8> zeros{};
            return link.send_block(1, zeros.data(), zeros.size());
        }
    }
}

// Over Bluetooth a request carries at most 65535 bytes: a longer one is
// refused before any traffic instead of moving a part of it.
constexpr std::int32_t kLongestStreamRequest = 0xFFFF;

bool stream_length_fits(std::int32_t length) { return length > 0 && length <= kLongestStreamRequest; }

}  // namespace

std::int32_t command(std::int32_t code, std::int32_t value) {
    if (usb_controller()) return usb::controller_command(code, value) ? 1 : 0;
    const bool bluetooth = bluetooth_controller();
    if (!bluetooth && !serial_controller()) return 0;
    serial::PacketLink& link = bluetooth ? bluetooth::link() : serial::link();
    const bool ok = stream_command(link, bluetooth, code, value);
    progress_step(0);
    if (ok) commands::last_controller_command_tick() = platform::tick_ms();
    return ok ? 1 : 0;
}

std::int32_t read(std::uint8_t* data, std::uint32_t address, std::int32_t length) {
    if (usb_controller()) return usb::controller_read(data, address, length) ? 1 : 0;
    if (bluetooth_controller() && data != nullptr && stream_length_fits(length))
        return bluetooth::memory_read(address, data, length) ? 1 : 0;
    return 0;
}

std::int32_t write(const std::uint8_t* data, std::uint32_t address, std::int32_t length, std::int32_t pause_ms) {
    if (usb_controller())
        return usb::controller_write(data, address, length, pause_ms > 0 ? static_cast<std::uint32_t>(pause_ms) : 0) ? 1
                                                                                                                    : 0;
    if (bluetooth_controller() && data != nullptr && stream_length_fits(length))
        return bluetooth::memory_write(address, data, length) ? 1 : 0;
    return 0;
}

std::int32_t get_cpu_type(std::int32_t* type) {
    if (type != nullptr) *type = usb::cpu_type();
    return 1;
}

}  // namespace tola::controller
