// The USB driver channel: how one device I/O control request travels between the
// library and whatever serves the device (the virtual instrument, or a bridge to
// real hardware).  Header-only and free of library state so that both sides
// include the same definition.
//
// One Unix-domain stream socket per device.  The client sends one request and
// reads one reply before it sends the next request.  All integers are 32-bit
// little-endian.
//
//   request: magic "TUSQ" | control code | input length | output capacity |
//            output payload length (0, or equal to the output capacity) |
//            input bytes | output payload bytes
//   reply:   magic "TUSR" | success (1 or 0) | bytes returned |
//            output data length (<= output capacity) | output data bytes
//
// The output payload carries the output buffer's contents to the device for the
// codes whose output buffer holds data to send (the bulk pipe write 0x222051).
// "bytes returned" is the driver's count: data bytes delivered for a read,
// bytes taken for a write.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tola::usbchannel {

inline constexpr std::uint32_t kRequestMagic = 0x51535554;  // "TUSQ"
inline constexpr std::uint32_t kReplyMagic = 0x52535554;    // "TUSR"
inline constexpr std::size_t kHeaderSize = 20;
inline constexpr std::size_t kReplyHeaderSize = 16;
inline constexpr std::uint32_t kMaxPayload = 65536;

// Control codes (device type 0x22).
inline constexpr std::uint32_t kReadDescriptor = 0x22240C;
inline constexpr std::uint32_t kReadDescriptorEzusb = 0x222004;
inline constexpr std::uint32_t kBulkWrite = 0x222051;
inline constexpr std::uint32_t kBulkRead = 0x22204E;
inline constexpr std::uint32_t kSendBlock = 0x222405;
inline constexpr std::uint32_t kReceive = 0x222402;

// Whether the output buffer of a code carries data to the device.
constexpr bool output_is_payload(std::uint32_t code) { return code == kBulkWrite; }

// ---- Reply windows ---------------------------------------------------------
//
// How long the library waits for the reply to one request before it counts the
// request as refused and shuts the connection.  A window covers the slowest
// legitimate operation the request can carry; a bridge to real hardware ends
// its own transfer for the request a little before the window ends and then
// answers with failure.
//
//   request                                                        window
//   a request that carries a flash sector erase                      15 s
//     - 0x222405 with a controller command block for command 9
//       (12 bytes: byte 2 = 9, bytes 8-9 = 64, byte 10 = 0)
//     - 0x222051 on pipe 2 whose data start with the erase command 0x21
//   the request right after one of those (whatever it is: the reply
//   read, the status read, or the next block while the erase runs)  15 s
//   any other request                                                 3 s
//
// A controller's largest flash sectors take seconds to erase; the erase window
// leaves room for the slowest of them.  Everything else a request can start
// (a memory piece, a descriptor, a handshake step) ends in milliseconds.

enum class ReplyWait : std::uint8_t { Transfer, SectorErase };

constexpr std::uint32_t reply_window_ms(ReplyWait wait) {
    switch (wait) {
        case ReplyWait::SectorErase: return 15000;
        case ReplyWait::Transfer: break;
    }
    return 3000;
}

inline constexpr std::uint8_t kControllerEraseCommand = 9;
inline constexpr std::uint8_t kFirstGenerationEraseCommand = 0x21;
inline constexpr std::uint32_t kCommandPipe = 2;

inline std::uint32_t pipe_of(std::span<const std::uint8_t> input) {
    return input.size() >= 4 ? static_cast<std::uint32_t>(input[0]) | static_cast<std::uint32_t>(input[1]) << 8 |
                                   static_cast<std::uint32_t>(input[2]) << 16 |
                                   static_cast<std::uint32_t>(input[3]) << 24
                             : 0xFFFFFFFFu;
}

// Whether a request hands the device a flash sector erase.
inline bool carries_sector_erase(std::uint32_t code, std::span<const std::uint8_t> input,
                                 std::span<const std::uint8_t> output_payload) {
    if (code == kSendBlock)
        return input.size() == 12 && input[2] == kControllerEraseCommand && input[8] == 64 && input[9] == 0 &&
               input[10] == 0;
    if (code == kBulkWrite)
        return pipe_of(input) == kCommandPipe && !output_payload.empty() &&
               output_payload[0] == kFirstGenerationEraseCommand;
    return false;
}

// Follows the requests on one connection and gives each its window.  Both
// ends of the channel can keep one: the library does, and a bridge may.
class ReplyWindows {
public:
    std::uint32_t window_for(std::uint32_t code, std::span<const std::uint8_t> input,
                             std::span<const std::uint8_t> output_payload) {
        const bool carries = carries_sector_erase(code, input, output_payload);
        const bool after_erase = erase_sent_;
        erase_sent_ = carries;
        return reply_window_ms(carries || after_erase ? ReplyWait::SectorErase : ReplyWait::Transfer);
    }

private:
    bool erase_sent_ = false;
};

struct Request {
    std::uint32_t code = 0;
    std::vector<std::uint8_t> input;
    std::uint32_t output_capacity = 0;
    std::vector<std::uint8_t> output_payload;
};

struct Reply {
    bool success = false;
    std::uint32_t bytes_returned = 0;
    std::vector<std::uint8_t> output;
};

inline void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline std::uint32_t get_u32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

inline std::vector<std::uint8_t> encode(const Request& r) {
    std::vector<std::uint8_t> out;
    out.reserve(kHeaderSize + r.input.size() + r.output_payload.size());
    put_u32(out, kRequestMagic);
    put_u32(out, r.code);
    put_u32(out, static_cast<std::uint32_t>(r.input.size()));
    put_u32(out, r.output_capacity);
    put_u32(out, static_cast<std::uint32_t>(r.output_payload.size()));
    out.insert(out.end(), r.input.begin(), r.input.end());
    out.insert(out.end(), r.output_payload.begin(), r.output_payload.end());
    return out;
}

inline std::vector<std::uint8_t> encode(const Reply& r) {
    std::vector<std::uint8_t> out;
    out.reserve(kReplyHeaderSize + r.output.size());
    put_u32(out, kReplyMagic);
    put_u32(out, r.success ? 1u : 0u);
    put_u32(out, r.bytes_returned);
    put_u32(out, static_cast<std::uint32_t>(r.output.size()));
    out.insert(out.end(), r.output.begin(), r.output.end());
    return out;
}

// Header fields of a request, validated.  Returns nothing for a malformed header.
struct RequestHeader {
    std::uint32_t code;
    std::uint32_t input_length;
    std::uint32_t output_capacity;
    std::uint32_t payload_length;
};

inline std::optional<RequestHeader> parse_request_header(std::span<const std::uint8_t, kHeaderSize> h) {
    if (get_u32(h.data()) != kRequestMagic) return std::nullopt;
    RequestHeader r{get_u32(h.data() + 4), get_u32(h.data() + 8), get_u32(h.data() + 12), get_u32(h.data() + 16)};
    if (r.input_length > kMaxPayload || r.output_capacity > kMaxPayload) return std::nullopt;
    if (r.payload_length != 0 && r.payload_length != r.output_capacity) return std::nullopt;
    return r;
}

struct ReplyHeader {
    bool success;
    std::uint32_t bytes_returned;
    std::uint32_t output_length;
};

// A reply header is valid only when its output fits the capacity the request offered.
inline std::optional<ReplyHeader> parse_reply_header(std::span<const std::uint8_t, kReplyHeaderSize> h,
                                                     std::uint32_t output_capacity) {
    if (get_u32(h.data()) != kReplyMagic) return std::nullopt;
    const std::uint32_t status = get_u32(h.data() + 4);
    if (status > 1) return std::nullopt;
    ReplyHeader r{status == 1, get_u32(h.data() + 8), get_u32(h.data() + 12)};
    if (r.output_length > output_capacity) return std::nullopt;
    return r;
}

}  // namespace tola::usbchannel
