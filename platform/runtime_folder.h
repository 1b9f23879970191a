// The folders under which the USB bridge and the Bluetooth stand-in offer their
// sockets: $<variable>, else $XDG_RUNTIME_DIR/tola/<leaf>, else
// /tmp/tola-<uid>/<leaf> ("usb" for the channel, "bt" for Bluetooth).
#pragma once

#include <string>
#include <vector>

namespace tola::os {

std::string runtime_folder(const char* variable, const char* leaf);

// The USB channel folder ($TOLA_USB_DIR, ...).
inline std::string usb_channel_folder() { return runtime_folder("TOLA_USB_DIR", "usb"); }

// The instruments' sockets of the channel: those of the interface-class folder
// (dev0, dev1, ...), then the fixed names of the older drivers in the channel
// folder itself (Chrmtk0-0, ezusb-0), as the library's search tries them.
std::vector<std::string> usb_channel_sockets();

// Names of the Unix-domain sockets in a folder, in natural order (dev2 before
// dev10); empty when the folder cannot be read.
std::vector<std::string> socket_names_in(const std::string& folder);

}  // namespace tola::os
