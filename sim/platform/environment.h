// Where the USB driver channel lives, from the environment.
#pragma once

#include <filesystem>

namespace tola::sim {

// $TOLA_USB_DIR, else $XDG_RUNTIME_DIR/tola/usb, else /tmp/tola-<uid>/usb.
std::filesystem::path default_usb_dir();

// $TOLA_BT_DIR, else $XDG_RUNTIME_DIR/tola/bt, else /tmp/tola-<uid>/bt.
std::filesystem::path default_bt_dir();

}  // namespace tola::sim
