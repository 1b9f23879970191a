// The classic instrument's data messages: after a download command it sends
// its structures, each announced by a message code, as packet blocks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tola::serial {
class PacketLink;
}

namespace tola::structures {

// Reads one message if its code byte has arrived: the message code, or 0 when
// nothing came or the message could not be received.  Switch and lamp
// messages (172, 173) go to the caller's buffer when it holds more than 3 bytes.
std::uint32_t classic_receive(std::uint8_t* caller = nullptr, std::size_t caller_size = 0);

// The same on a given link (the serial port's, or a test's).
std::uint32_t classic_receive(serial::PacketLink& link, std::uint8_t* caller, std::size_t caller_size);

}  // namespace tola::structures
