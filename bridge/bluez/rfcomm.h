// Reaching a device's Serial Port Profile: its RFCOMM channel from the service
// record, and a connected RFCOMM socket.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace tola::bluez {

using Address = std::array<std::uint8_t, 6>;  // as written, most significant byte first

// "00:80:25:AB:CD:01" (either case); nothing for anything else.
std::optional<Address> parse_address(const std::string& text);

// The RFCOMM channel of the device's Serial Port service record; nothing when
// the record cannot be had (`error` says why).
std::optional<int> find_serial_port_channel(const Address& address, std::string& error);

// A connected, non-blocking RFCOMM socket, or -1 with the reason.
int connect_rfcomm(const Address& address, int channel, int timeout_ms, std::string& error);

}  // namespace tola::bluez
