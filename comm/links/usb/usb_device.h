// Opening, closing, identifying and testing the USB device.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tola::usb {

// A place the search may find an instrument at: the socket's name (as a host
// names it) and its path.
struct Socket {
    std::string name;
    std::string path;
};
// The devices of the interface class in name order, then "\\.\Chrmtk0-0" and
// "\\.\ezusb-0", whether present or not.
std::vector<Socket> sockets();

// Opens into hUSB (closing an open one first) the device the search took last,
// else, when no search took one, the first of sockets() that opens.
bool bUSB_open();
// The search without a limit: the first of sockets() that opens, remembered
// for reopens.
bool search_open_first();
// One socket, for the limited search to look at; not remembered until taken.
bool open_socket(const std::string& path);
void remember_for_reopen(const std::string& path);
void close();
// Connects to the device anew (see bUSB_open) in place of the open connection, keeping
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
// Opens first (see bUSB_open) when no device is open, then tests.
bool open_and_test();

// One request on the open device; false when refused or no device is open.
struct Transfer {
    bool ok;
    std::uint32_t bytes;
};
Transfer ioctl(std::uint32_t code, std::span<const std::uint8_t> in, std::span<std::uint8_t> out);

}  // namespace tola::usb
