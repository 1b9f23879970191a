// Where the USB driver channel lives, from the environment.
#pragma once

#include <filesystem>

namespace tola::sim {

// $TOLA_USB_DIR, else $XDG_RUNTIME_DIR/tola/usb, else /tmp/tola-<uid>/usb.
std::filesystem::path default_usb_dir();

}  // namespace tola::sim
