// Library-wide state of the USB link.
#pragma once

#include <cstdint>

namespace tola::usb {

inline constexpr std::uint16_t kStm32ReleaseNumber = 0x0103;

struct UsbState {
    std::uint16_t release_number = 0;  // of the last device descriptor read
};

UsbState& usb_state();

// 2 for the STM32 controller generation (descriptor release 0x0103), else 1.
inline std::int32_t cpu_type() { return usb_state().release_number == kStm32ReleaseNumber ? 2 : 1; }

}  // namespace tola::usb
