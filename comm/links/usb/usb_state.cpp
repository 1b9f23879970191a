#include "comm/links/usb/usb_state.h"

#include "comm/platform/clock.h"

namespace tola::usb {

UsbState& usb_state() {
    static UsbState state;
    return state;
}

void record_success() { usb_state().last_success_tick = platform::tick_ms(); }

}  // namespace tola::usb
