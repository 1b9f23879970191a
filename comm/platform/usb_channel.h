// The USB driver channel seen from the library: opening a device socket and
// performing one device I/O control request on it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tola::platform {

// The interface class under which the instrument maker's driver registers its devices.
inline constexpr const char* kUsbInterfaceClass = "{00873FDF-61A8-11D1-AA5E-00C04FB1728B}";

// Folder of the channel sockets: $TOLA_USB_DIR, else $XDG_RUNTIME_DIR/tola/usb,
// else /tmp/tola-<uid>/usb.
std::string usb_channel_dir();

// Socket paths of the devices present in the interface class, in name order.
std::vector<std::string> usb_class_devices();

// Opens a channel socket; the descriptor (>= 0) or -1.  A socket in a folder
// that is not this user's private one, or served by another user (root
// aside), is refused with a line on standard error.
int usb_open_path(const std::string& path);
// Opens "\\.\Chrmtk0-0" or "\\.\ezusb-0" by their channel names.
int usb_open_named(const char* device_name);

void usb_close(int handle);

struct IoctlResult {
    bool success = false;
    std::uint32_t bytes_returned = 0;
};

// One device I/O control request.  `out` receives at most out.size() bytes;
// for codes whose output buffer carries data to the device, `out` is sent.
// The reply must arrive within window_ms (usb_channel_frame.h gives each
// request its window).  A refused, short, garbled or late reply gives
// success = false; after a late or garbled one the connection is shut.
IoctlResult usb_ioctl(int handle, std::uint32_t code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                      std::uint32_t window_ms);

}  // namespace tola::platform
