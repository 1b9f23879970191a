// The packet protocol over one byte stream: code bytes with acknowledgements
// and refusals, 8-byte-header packets of up to 500 data bytes, blocks of
// packets, the link check and the keep-alive test.
//
// A PacketLink is a thin view: the stream, the link's state and its profile
// belong to the transport (serial port or Bluetooth) and outlive it.  Every
// operation first checks that the connection record is valid and hRS232 is
// open, and otherwise fails without any other effect.  Failures leave their
// text in the record (link_errors.h); a halt or an error stop found at a
// progress step ends reads, byte-wise writes and block receives without text.
#pragma once

#include "comm/links/serial/byte_stream.h"
#include "comm/links/serial/link_errors.h"
#include "comm/links/serial/link_profile.h"
#include "comm/links/serial/link_state.h"
#include "comm/links/serial/packet.h"

#include <cstddef>
#include <cstdint>

namespace tola::serial {

inline constexpr std::uint32_t kPollMs = 5;
inline constexpr std::uint32_t kPacingMs = 50;
inline constexpr std::uint32_t kCommandAckMs = 2000;
inline constexpr std::uint32_t kPacketAckMs = 1000;
inline constexpr std::uint32_t kHeaderToDataMs = 20;
inline constexpr std::uint32_t kAfterPacketMs = 50;
inline constexpr std::uint32_t kHeaderWindowMs = 2000;
inline constexpr std::uint32_t kDataWindowMs = 1000;
inline constexpr std::uint32_t kDrainWindowMs = 50;
inline constexpr std::uint32_t kPendingCheckMs = 2000;
inline constexpr std::size_t kDrainChunk = 10000;

class PacketLink {
public:
    PacketLink(ByteStream& stream, LinkState& state, const LinkProfile& profile, Timebase& time);

    // True when the connection record is valid and hRS232 is open.
    static bool link_open();

    // Writes in the transport's way (whole buffer, or byte by byte with a
    // progress step after each byte).  False when not every byte went out or
    // a halt came between bytes; a platform failure sets its text.
    bool write(const std::uint8_t* data, std::size_t length);
    // Reads until `wanted` bytes are in or nothing arrived for idle_ms (0: one
    // attempt).  The count; 0 after a halt.
    std::size_t read(std::uint8_t* buffer, std::size_t wanted, std::uint32_t idle_ms);
    // Reads and discards until nothing arrived for window_ms; the count.
    std::size_t drain(std::uint32_t window_ms);

    bool send_code(std::uint8_t code);
    bool wait_ack(std::uint8_t code, std::uint32_t timeout_ms);
    // The code byte and its acknowledgement within 2000 ms.
    bool send_command(std::uint8_t code);

    bool send_packet(std::uint8_t code, std::uint8_t total, std::uint8_t number, const std::uint8_t* data,
                     std::size_t length, bool wait_for_ack, std::uint32_t timeout_ms);
    // Command, then ceil(length / 500) acknowledged packets (length <= 65535).
    bool send_block(std::uint8_t code, const std::uint8_t* data, std::size_t length);

    // code 0: the caller has consumed the code byte already (header[0] stays 0).
    bool receive_packet(std::uint8_t code, Header& header, std::uint8_t* buffer, std::size_t capacity,
                        std::size_t& length);
    // Exactly `length` bytes in numbered packets, acknowledged by the code byte.
    bool receive_block(std::uint8_t code, std::uint8_t* buffer, std::size_t length, bool code_consumed);

    // Sends the refusal byte and sets its text; always false.
    bool refuse(std::uint8_t refusal);

    // The answer to the link check (1, 230 or 231), or 0.
    std::uint8_t link_check();
    bool keep_alive();
    // Before controller commands and memory transfers: an outstanding check
    // byte gets its answer first, so it cannot be taken for theirs.
    void complete_pending_check();
    // Waits until the pacing interval has passed since the last write.
    void pace();
    // The pause before looking for bytes again, `waited_ms` into a wait.
    std::uint32_t poll_step(std::uint32_t waited_ms) const;

    LinkState& state() { return state_; }
    ByteStream& stream() { return stream_; }
    Timebase& time() { return time_; }

private:
    bool whole_buffer_writes() const;
    void fail_with_platform_error();
    void mark_alive();

    bool stream_failed_ = false;  // the last read() met a failing transport

    ByteStream& stream_;
    LinkState& state_;
    const LinkProfile& profile_;
    Timebase& time_;
};

}  // namespace tola::serial
