// Opening, closing, identifying and testing the USB device.
#pragma once

#include <cstdint>
#include <span>

namespace tola::usb {

// Opens the first device of the interface class, else "\\.\Chrmtk0-0", else
// "\\.\ezusb-0", into hUSB (closing an open one first).
bool bUSB_open();
void close();
// Connects to the device anew in place of the open connection, keeping
// everything the library knows about the instrument: a new connection starts
// from a clean exchange, whatever a process that died in the middle of one left
// the instrument waiting for.  False (and no device open) when it is gone.
bool reconnect();

// Closes the device this link still holds without touching any record: for a
// record that is not (or no longer) the one the device was opened for.
void release();
// Reads the device descriptor into dVID, dPID and the release number.
bool read_descriptor();
// The device still answers (no I/O within 2000 ms of a successful transfer).
bool test();
// Opens first when no device is open, then tests.
bool open_and_test();

// One request on the open device; false when refused or no device is open.
struct Transfer {
    bool ok;
    std::uint32_t bytes;
};
Transfer ioctl(std::uint32_t code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

}  // namespace tola::usb
