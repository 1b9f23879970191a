// What the packet protocol needs from a transport: a byte stream that never
// blocks on reads, and a clock.  The serial port and the Bluetooth client are
// the two streams; tests put a scripted stream and a stepped clock here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tola::serial {

class ByteStream {
public:
    virtual ~ByteStream() = default;

    // Hands the whole buffer to the transport in one call; the bytes taken.
    // Fewer than asked is a failure that last_error() classifies.
    virtual std::size_t write(const std::uint8_t* data, std::size_t length) = 0;

    // Whatever has arrived, up to capacity, without waiting: the count (0 when
    // nothing is there) or -1 when the transport failed.
    virtual std::ptrdiff_t read(std::uint8_t* buffer, std::size_t capacity) = 0;

    // Discards what has arrived and not been read (before a memory read).
    virtual void clear_input() = 0;
    // Discards everything in flight both ways (after a failed memory read).
    virtual void clear_all() = 0;

    // The comm-error class of the last failure (platform/serial_port.h), 0 if none.
    virtual std::uint32_t last_error() = 0;
};

// Host millisecond tick and plain sleeps.
class Timebase {
public:
    virtual ~Timebase() = default;
    virtual std::uint32_t now() = 0;
    virtual void sleep(std::uint32_t ms) = 0;
    // A sleep while waiting for bytes (kept apart from the protocol's fixed pauses).
    virtual void poll(std::uint32_t ms) { sleep(ms); }

    std::uint32_t since(std::uint32_t earlier) { return now() - earlier; }
};

// The host's own tick and sleep.
Timebase& system_timebase();

}  // namespace tola::serial
