#include "comm/links/usb/controller_protocol.h"

#include "comm/api/library_state.h"
#include "comm/commands/host_exchange.h"
#include "comm/links/usb/usb_device.h"
#include "comm/links/usb/usb_state.h"
#include "comm/platform/clock.h"
#include "comm/platform/diagnostics.h"
#include "comm/platform/usb_channel_frame.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace tola::usb {
namespace {

constexpr std::size_t kBlockSize = 12;
constexpr std::int32_t kHalf = 64;
constexpr std::uint8_t kFlashWriteCode = 4;
constexpr std::uint16_t kWriteAcknowledged = 8;

struct AddressSpace {
    int cpu_type;
    std::uint32_t first;      // lowest start address
    std::uint32_t last;       // highest start address
    std::uint32_t end;        // address + length must not exceed this
    std::uint8_t read_code;
    std::uint8_t write_code;
};

constexpr AddressSpace kSpaces[] = {
    {2, 0x20000000, 0x2000FFFE, 0x2000FFFF, 1, 2},          // RAM
    {2, 0x40000000, 0x5003FFFE, 0x5003FFFF, 5, 2},          // peripherals
    {2, 0xE000E010, 0xE000EF02, 0xE000EF03, 5, 2},          // system control
    {2, 0x08000000, kStm32FlashEnd - 1, kStm32FlashEnd, 3, 4},  // flash
    {1, 0x00FF2000, 0x00FFBFFE, 0x00FFBFFF, 1, 2},          // RAM
    {1, 0x00200000, 0x0023FFFF, 0x00240000, 5, 6},          // external area
    {1, 0x00000000, 0x0005FFFE, 0x0005FFFF, 3, 4},          // flash
};

void set_error(ControllerError e) { usb_state().controller_error = e; }

std::array<std::uint8_t, kBlockSize> request_block(std::uint8_t code, std::uint32_t address_or_value,
                                                   std::uint16_t length, bool read) {
    std::array<std::uint8_t, kBlockSize> b{};
    b[2] = code;
    std::memcpy(&b[4], &address_or_value, 4);  // host byte order
    b[8] = static_cast<std::uint8_t>(length & 0xFF);
    b[9] = static_cast<std::uint8_t>(length >> 8);
    b[10] = read ? 1 : 0;
    return b;
}

bool send(std::span<const std::uint8_t> bytes, std::uint32_t at_least) {
    const Transfer t = ioctl(usbchannel::kSendBlock, bytes, {});
    return t.ok && t.bytes >= at_least;
}

Transfer receive(std::span<std::uint8_t> into) { return ioctl(usbchannel::kReceive, {}, into); }

bool handle_open() {
    const PXM_COMM* c = valid_record();
    return c != nullptr && c->hUSB != -1;
}

bool write_stm32(const std::uint8_t* data, std::uint32_t address, std::int32_t length, std::uint8_t code) {
    for (std::int32_t done = 0; done < length; done += kHalf) {
        const auto part = static_cast<std::uint16_t>(std::min(kHalf, length - done));
        const auto block = request_block(code, address + static_cast<std::uint32_t>(done), part, false);
        if (!send(block, kBlockSize)) {
            set_error(ControllerError::RequestNotTaken);
            return false;
        }
        if (!send({data + done, part}, part)) {
            set_error(ControllerError::WriteFailed);
            return false;
        }
        std::array<std::uint8_t, kBlockSize> reply{};
        const Transfer t = receive(reply);
        if (!t.ok || t.bytes < 2 || (reply[0] | reply[1] << 8) != kWriteAcknowledged) return false;
    }
    return true;
}

bool write_h8sx(const std::uint8_t* data, std::uint32_t address, std::int32_t length, std::uint8_t code,
                std::uint32_t step_delay_ms) {
    // The step comes from the instrument's sample interval; it is held to the
    // host exchange's longest wait, as the event poll holds it.
    step_delay_ms = std::min(step_delay_ms, commands::kMaxHostWaitMs);
    std::array<std::uint8_t, 2 * kHalf> bytes{};
    std::int32_t first = std::min(kHalf, length);
    std::int32_t second = length - first;
    if (code == kFlashWriteCode) {
        if (address % 128 != 0) {
            char text[128];
            std::snprintf(text, sizeof text,
                          "FLASH write must be on a 128 byte boundry!\r\n\r\nAddress = 0x%8.8x is illegal", address);
            platform::message_box("Error", text);
            return false;
        }
        // Flash takes whole 128-byte lines: the rest is padded as erased.
        bytes.fill(0xFF);
        first = second = kHalf;
    }
    std::memcpy(bytes.data(), data, static_cast<std::size_t>(length));

    auto send_half = [&](std::uint32_t at, const std::uint8_t* half, std::int32_t size) {
        if (!send(request_block(code, at, static_cast<std::uint16_t>(size), false), kBlockSize)) {
            set_error(ControllerError::RequestNotTaken);
            return false;
        }
        platform::sleep_ms(step_delay_ms);
        if (!send({half, static_cast<std::size_t>(size)}, static_cast<std::uint32_t>(size))) {
            set_error(ControllerError::WriteFailed);
            return false;
        }
        return true;
    };
    if (!send_half(address, bytes.data(), first)) return false;
    if (second > 0) {
        platform::sleep_ms(step_delay_ms);
        if (!send_half(address + kHalf, bytes.data() + kHalf, second)) return false;
        platform::sleep_ms(step_delay_ms);
    }
    return true;
}

}  // namespace

std::optional<std::uint8_t> space_code(int cpu_type, std::uint32_t address, std::int32_t length, bool write) {
    if (length <= 0 || length > kMaxControllerLength) return std::nullopt;
    for (const AddressSpace& s : kSpaces) {
        if (s.cpu_type != cpu_type || address < s.first || address > s.last) continue;
        if (static_cast<std::uint64_t>(address) + static_cast<std::uint64_t>(length) > s.end) return std::nullopt;
        return write ? s.write_code : s.read_code;
    }
    return std::nullopt;
}

bool controller_read(std::uint8_t* data, std::uint32_t address, std::int32_t length) {
    set_error(ControllerError::None);
    if (data == nullptr || !handle_open()) {
        set_error(ControllerError::ReadFailed);
        return false;
    }
    const auto code = space_code(cpu_type(), address, length, false);
    if (!code) {
        set_error(ControllerError::ReadAddressOutOfRange);
        return false;
    }
    const std::int32_t first = std::min(kHalf, length);
    if (!send(request_block(*code, address, static_cast<std::uint16_t>(first), true), kBlockSize)) {
        set_error(ControllerError::RequestNotTaken);
        return false;
    }
    Transfer t = receive({data, static_cast<std::size_t>(first)});
    std::int32_t asked = first;
    if (length > kHalf) {
        if (!t.ok || t.bytes < static_cast<std::uint32_t>(kHalf)) {
            set_error(ControllerError::ReadFailed);
            return false;
        }
        asked = length - kHalf;
        if (!send(request_block(*code, address + kHalf, static_cast<std::uint16_t>(asked), true), kBlockSize)) {
            set_error(ControllerError::RequestNotTaken);
            return false;
        }
        t = receive({data + kHalf, static_cast<std::size_t>(asked)});
    }
    if (!t.ok || t.bytes < static_cast<std::uint32_t>(asked)) {
        set_error(ControllerError::ReadFailed);
        return false;
    }
    return true;
}

bool controller_write(const std::uint8_t* data, std::uint32_t address, std::int32_t length,
                      std::uint32_t step_delay_ms) {
    set_error(ControllerError::None);
    const PXM_COMM* c = valid_record();
    if (c == nullptr || c->iDevice != TOLA_DEVICE_USB_PORTIVO) {
        set_error(ControllerError::NotController);
        return false;
    }
    if (c->hUSB == -1 || data == nullptr) {
        set_error(ControllerError::WriteFailed);
        return false;
    }
    const int cpu = cpu_type();
    const auto code = space_code(cpu, address, length, true);
    if (!code) {
        set_error(ControllerError::WriteAddressOutOfRange);
        return false;
    }
    return cpu == 2 ? write_stm32(data, address, length, *code) : write_h8sx(data, address, length, *code, step_delay_ms);
}

bool controller_command(std::int32_t code, std::int32_t value) {
    set_error(ControllerError::None);
    if (!handle_open()) {
        set_error(ControllerError::RequestNotTaken);
        return false;
    }
    constexpr std::int32_t kLeaveUpdateMode = 10;
    const auto block = request_block(static_cast<std::uint8_t>(code), static_cast<std::uint32_t>(value), 64, false);
    bool moved = false;
    if (cpu_type() == 2) {
        if (!send(block, kBlockSize)) {
            set_error(ControllerError::RequestNotTaken);
            return false;
        }
        if (code == kLeaveUpdateMode) {
            // The instrument restarts on this block: it is repeated and no reply comes.
            moved = send(block, kBlockSize);
        } else {
            std::array<std::uint8_t, kBlockSize> reply{};
            const Transfer t = receive(reply);
            moved = t.ok && t.bytes > kBlockSize - 1;
        }
    } else {
        constexpr std::uint32_t kRetrySleepMs[] = {200, 400, 600};
        bool taken = false;
        for (std::uint32_t pause : kRetrySleepMs) {
            if (send(block, kBlockSize)) {
                taken = true;
                break;
            }
            platform::sleep_ms(pause);
        }
        if (!taken) {
            set_error(ControllerError::RequestNotTaken);
            return false;
        }
        moved = send(block, kBlockSize);
    }
    if (!moved) set_error(ControllerError::RequestNotTaken);
    return moved;
}

}  // namespace tola::usb
