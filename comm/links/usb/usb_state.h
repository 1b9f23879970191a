// Library-wide state of the USB link.
#pragma once

#include "comm/platform/usb_channel_frame.h"
#include "tola_comm.h"

#include <array>
#include <cstdint>
#include <optional>

namespace tola::usb {

inline constexpr std::uint16_t kStm32ReleaseNumber = 0x0103;

// Controller error codes of the last controller operation.
enum class ControllerError : int {
    None = 0,
    ReadAddressOutOfRange = 1,
    ReadFailed = 3,
    WriteAddressOutOfRange = 4,
    WriteFailed = 6,
    RequestNotTaken = 7,
    NotController = 9,
    HandshakeFailed = 15,
    HandshakeNoBuffer = 29,
    BootStatusNotAnswered = 32,
    BootStatusWrongAnswer = 33,
    HandshakeNoHandle = 34,
};

// What the boot-mode inquiries answered.
struct BootModeAnswers {
    std::array<std::uint8_t, 4> device_code{};
    std::array<char, 64> device_name{};
    std::array<std::uint8_t, 16> clock_modes{};
    std::uint8_t clock_mode_count = 0;
    std::array<std::array<std::uint8_t, 16>, 4> ratios{};   // per clock: the ratios
    std::array<std::uint8_t, 4> ratio_counts{};
    std::array<std::array<std::uint16_t, 2>, 4> frequencies{};  // per clock: minimum, maximum
    std::array<std::array<std::uint32_t, 2>, 4> user_boot_areas{};
    std::array<std::array<std::uint32_t, 2>, 8> user_areas{};
    std::uint16_t erase_blocks = 0;
    std::array<std::uint8_t, 64> boot_status{};
};

struct UsbState {
    int open_handle = -1;  // the device this link opened and has not closed, whatever record names it
    // The socket of the device the search last took; reopens go back to it, so
    // that with several instruments attached a reopen never reaches another one.
    // Empty until a search took a device.  (The length of a socket address.)
    std::array<char, 108> search_path{};
    usbchannel::ReplyWindows reply_windows;  // of the requests on the open device
    std::uint16_t release_number = 0;  // of the last device descriptor read
    std::optional<std::uint32_t> last_success_tick;  // last successful memory transfer
    char last_error_text[501] = {};
    ControllerError controller_error = ControllerError::None;
    bool structures_loaded = false;  // since the connection opened ("Software not loaded" is quiet then)
    BootModeAnswers boot;
};

UsbState& usb_state();

// 2 for the STM32 controller generation (descriptor release 0x0103), else 1.
inline std::int32_t cpu_type() { return usb_state().release_number == kStm32ReleaseNumber ? 2 : 1; }

// Little-endian instrument data: only the STM32 generation on USB.
inline bool little_endian_target() { return cpu_type() == 2; }

void record_success();

}  // namespace tola::usb
