// The instrument's end of the byte-stream packet protocol that its serial port
// and its Bluetooth link carry.
//
// Every exchange starts with one code byte from the host.  A plain command is
// acknowledged by echoing its code (the link check is answered with the
// instrument's identity byte instead).  A block travels as packets, each an
// 8-byte header
//
//   code, data length (LE16, at most 500), sum of the data (LE16, wrapping),
//   XOR of the data, total packets, number of this packet (from 1)
//
// followed by the data; the receiver acknowledges every packet with the code.
// A receiver that does not like what it got answers with a refusal byte
// (200..208) instead.
//
// The peer is driven by bytes and by time only: whoever owns the line feeds it
// what arrived, calls tick() when its deadline passes and writes out what it
// produced.  What the instrument does with a command or a block is the
// handler's business.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/device_core.h"

namespace tola::sim {

inline constexpr std::size_t kPacketHeaderBytes = 8;
inline constexpr std::size_t kMaxPacketData = 500;

namespace link {
inline constexpr std::uint8_t kLinkCheck = 1;
inline constexpr std::uint8_t kUnknownCommand = 200, kWrongCommand = 201, kChecksumError = 202,
                              kParityError = 203, kTimeoutError = 204, kPacketLengthError = 205,
                              kPacketCountError = 206, kPacketNumberError = 207, kTransferLengthError = 208;
}  // namespace link

struct PacketHeader {
    std::uint8_t code = 0;
    std::uint16_t length = 0;
    std::uint16_t sum = 0;
    std::uint8_t parity = 0;
    std::uint8_t total = 0;
    std::uint8_t number = 0;
};

PacketHeader header_for(std::uint8_t code, std::span<const std::uint8_t> data, std::uint8_t total, std::uint8_t number);
std::array<std::uint8_t, kPacketHeaderBytes> encode(const PacketHeader& h);
PacketHeader decode_header(std::span<const std::uint8_t, kPacketHeaderBytes> bytes);

// Faults of the line, set per instrument.  Counters are consumed one per block
// (or per exchange for mute) as the instrument serves.
struct LinkFaults {
    int bad_sum = 0;        // next blocks sent: first packet's sum off by one
    int bad_parity = 0;     // next blocks sent: first packet's XOR off by one
    int bad_number = 0;     // next blocks sent: first packet numbered 2
    int short_block = 0;    // next blocks sent: last data byte left out
    int extra_packet = 0;   // next blocks sent: one packet more announced than sent
    int mute = 0;           // next exchanges: the code byte goes unanswered
    std::deque<std::uint8_t> stray;             // sent just before the next acknowledgements
    std::map<std::uint8_t, std::uint8_t> nack;  // code -> refusal for its next exchange
    bool drop = false;                          // the link goes down at the next exchange
};

// Applies one line fault written as text:
//   bad-sum[=N]  bad-xor[=N]  bad-number[=N]  short-block[=N]  extra-packet[=N]
//   mute[=N]  stray=BYTE[:N]  nack=CODE:REFUSAL  drop-link
// Returns false without a message when the text names no line fault, and false
// with a message when it names one but cannot be read.
bool apply_link_fault(LinkFaults& faults, std::string_view text, std::string* error = nullptr);

struct OutgoingBlock {
    std::uint8_t code = 0;
    std::vector<std::uint8_t> data;
    // Sent on the instrument's own: as acknowledged packets of a block, or as one
    // packet that nobody acknowledges.
    bool as_block = false;
};

// What the instrument does with a code byte that opens an exchange.
struct CodeAction {
    enum class Kind { Answer, Receive, Send, SendPacket, Refuse, Ignore };
    Kind kind = Kind::Ignore;
    std::uint8_t byte = 0;                // Answer: the byte sent back; Refuse: the refusal
    std::optional<std::size_t> expected;  // Receive: exact block length, none: any
    bool block_optional = false;          // Receive: a plain command unless a header follows
    OutgoingBlock block;                  // Send, SendPacket

    static CodeAction answer(std::uint8_t b) { return {Kind::Answer, b, {}, false, {}}; }
    static CodeAction refuse(std::uint8_t r) { return {Kind::Refuse, r, {}, false, {}}; }
    static CodeAction receive(std::optional<std::size_t> length, bool optional = false) {
        return {Kind::Receive, 0, length, optional, {}};
    }
    static CodeAction send(std::uint8_t code, std::vector<std::uint8_t> data) {
        return {Kind::Send, 0, {}, false, {code, std::move(data)}};
    }
};

// What the instrument does with a complete block: accept it (the last packet is
// acknowledged, and a block may follow) or refuse it in place of the acknowledgement.
struct BlockAction {
    std::optional<std::uint8_t> refusal;
    std::optional<OutgoingBlock> reply;

    static BlockAction accept() { return {}; }
    static BlockAction refuse(std::uint8_t r) { return {r, {}}; }
    static BlockAction answer(OutgoingBlock b) { return {{}, std::move(b)}; }
};

class LinkHandler {
public:
    virtual ~LinkHandler() = default;
    virtual CodeAction on_code(std::uint8_t code, Clock::time_point now) = 0;
    virtual BlockAction on_block(std::uint8_t code, std::vector<std::uint8_t> data, Clock::time_point now) = 0;
    // What the instrument sends on its own while the line is idle (live data,
    // echoes of measurements, switches and lamp changes).
    virtual std::optional<OutgoingBlock> unsolicited(Clock::time_point) { return std::nullopt; }
    virtual std::optional<Clock::time_point> next_unsolicited() const { return std::nullopt; }
    virtual void reset() {}
};

class PacketPeer {
public:
    static constexpr auto kHeaderWait = std::chrono::milliseconds(2000);
    static constexpr auto kDataWait = std::chrono::milliseconds(1000);
    static constexpr auto kAckWait = std::chrono::milliseconds(2000);
    // The instrument sends nothing of its own until the line has been quiet this
    // long: the host listens past the end of every message before it moves on.
    static constexpr auto kQuietBeforeOwn = std::chrono::milliseconds(120);

    enum class State { Idle, AwaitHeader, AwaitData, AwaitAck };

    // Both are owned by the caller, who also serialises every call.
    PacketPeer(LinkHandler& handler, LinkFaults& faults) : handler_(handler), faults_(faults) {}

    void receive(std::span<const std::uint8_t> bytes, Clock::time_point now);
    void tick(Clock::time_point now);
    std::optional<Clock::time_point> deadline() const;
    std::vector<std::uint8_t> take_output();
    // Set when a fault took the link down; the owner closes or deafens the line.
    bool take_drop();
    void reset();

    State state() const { return state_; }

private:
    void process(Clock::time_point now);
    void open_exchange(std::uint8_t code, Clock::time_point now);
    bool take_header();
    void take_data(Clock::time_point now);
    void on_ack_byte();
    void finish_block(Clock::time_point now);
    void acknowledge(std::uint8_t code);
    void refuse(std::uint8_t refusal);
    void start_sending(OutgoingBlock block);
    void send_next_packet();
    void send_single_packet(const OutgoingBlock& block);
    bool starts_code1_block() const;

    LinkHandler& handler_;
    LinkFaults& faults_;
    State state_ = State::Idle;
    std::deque<std::uint8_t> in_;
    std::vector<std::uint8_t> out_;
    Clock::time_point last_activity_{};
    Clock::time_point own_after_{};  // nothing unsolicited before this
    bool drop_ = false;

    // Receiving a block.
    std::uint8_t code_ = 0;
    std::optional<std::size_t> expected_;
    bool block_optional_ = false;
    PacketHeader header_;
    std::uint8_t total_ = 0;
    std::uint8_t packets_in_ = 0;
    std::vector<std::uint8_t> block_;

    // Sending a block.
    struct Sending {
        std::uint8_t code = 0;
        std::vector<std::vector<std::uint8_t>> packets;
        std::size_t next = 0;
        std::uint8_t total = 0;
        bool bad_sum = false, bad_parity = false, bad_number = false;
    };
    Sending sending_;
};

}  // namespace tola::sim
