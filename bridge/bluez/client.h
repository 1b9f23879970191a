// The BlueZ client's state and how it reaches a device: the Serial Port
// channel from the service record (channel 1 when there is none) and an RFCOMM
// socket.  Tests put a connector to virtual instruments in its place.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "bridge/bluez/rfcomm.h"

namespace tola::bluez {

struct Connector {
    std::function<std::optional<int>(const Address&, std::string& error)> find_channel;
    // A connected, non-blocking stream socket, or -1 with the reason.
    std::function<int(const Address&, int channel, std::string& error)> connect;
};

inline constexpr int kDefaultChannel = 1;
inline constexpr int kConnectTimeoutMs = 10000;

Connector rfcomm_connector();
void set_connector(Connector connector);

// A failure the caller only sees as a result code, told on standard error.
void report(const std::string& text);

}  // namespace tola::bluez
