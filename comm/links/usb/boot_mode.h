// The boot-mode handshake of the H8SX controller: inquiries and selections
// that bring its boot program to the programming state.
#pragma once

namespace tola::usb {

// Runs the whole handshake and the boot status inquiry; the answers are kept
// in the USB state, a failure sets the controller error code.
bool boot_mode_handshake();

}  // namespace tola::usb
