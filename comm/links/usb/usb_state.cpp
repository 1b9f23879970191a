#include "comm/links/usb/usb_state.h"

namespace tola::usb {

UsbState& usb_state() {
    static UsbState state;
    return state;
}

}  // namespace tola::usb
