#include "sim/packet_peer.h"

#include <algorithm>
#include <utility>

#include "sim/byte_order.h"
#include "sim/faults.h"

namespace tola::sim {

PacketHeader header_for(std::uint8_t code, std::span<const std::uint8_t> data, std::uint8_t total, std::uint8_t number) {
    PacketHeader h;
    h.code = code;
    h.length = static_cast<std::uint16_t>(data.size());
    for (const std::uint8_t b : data) {
        h.sum = static_cast<std::uint16_t>(h.sum + b);
        h.parity = static_cast<std::uint8_t>(h.parity ^ b);
    }
    h.total = total;
    h.number = number;
    return h;
}

std::array<std::uint8_t, kPacketHeaderBytes> encode(const PacketHeader& h) {
    std::array<std::uint8_t, kPacketHeaderBytes> out{};
    out[0] = h.code;
    store_u16(std::span(out).subspan(1, 2), h.length, ByteOrder::Little);
    store_u16(std::span(out).subspan(3, 2), h.sum, ByteOrder::Little);
    out[5] = h.parity;
    out[6] = h.total;
    out[7] = h.number;
    return out;
}

PacketHeader decode_header(std::span<const std::uint8_t, kPacketHeaderBytes> b) {
    PacketHeader h;
    h.code = b[0];
    h.length = load_u16(b.subspan(1, 2), ByteOrder::Little);
    h.sum = load_u16(b.subspan(3, 2), ByteOrder::Little);
    h.parity = b[5];
    h.total = b[6];
    h.number = b[7];
    return h;
}

namespace {

bool fail(std::string* error, std::string why) {
    if (error) *error = std::move(why);
    return false;
}

std::optional<std::uint8_t> byte_value(std::string_view text) {
    const auto n = parse_number(text);
    if (!n || *n > 255) return std::nullopt;
    return static_cast<std::uint8_t>(*n);
}

}  // namespace

bool apply_link_fault(LinkFaults& f, std::string_view text, std::string* error) {
    const auto eq = text.find('=');
    const std::string_view name = text.substr(0, eq);
    const std::optional<std::string_view> value =
        eq == std::string_view::npos ? std::nullopt : std::optional(text.substr(eq + 1));
    const std::string bad = "cannot read line fault '" + std::string(text) + "'";

    auto count = [&](int& field) {
        int n = 1;
        if (value) {
            const auto v = parse_number(*value);
            if (!v || *v > 1000000) return fail(error, bad);
            n = static_cast<int>(*v);
        }
        field += n;
        return true;
    };
    if (name == "bad-sum") return count(f.bad_sum);
    if (name == "bad-xor") return count(f.bad_parity);
    if (name == "bad-number") return count(f.bad_number);
    if (name == "short-block") return count(f.short_block);
    if (name == "extra-packet") return count(f.extra_packet);
    if (name == "mute") return count(f.mute);
    if (name == "drop-link") {
        if (value) return fail(error, bad);
        f.drop = true;
        return true;
    }
    if (name == "stray" || name == "nack") {
        if (!value) return fail(error, bad);
        const auto colon = value->find(':');
        const auto first = byte_value(value->substr(0, colon));
        if (!first) return fail(error, bad);
        if (name == "nack") {
            if (colon == std::string_view::npos) return fail(error, bad);
            const auto refusal = byte_value(value->substr(colon + 1));
            if (!refusal || *refusal < link::kUnknownCommand || *refusal > link::kTransferLengthError)
                return fail(error, bad);
            f.nack[*first] = *refusal;
            return true;
        }
        int n = 1;
        if (colon != std::string_view::npos) {
            const auto v = parse_number(value->substr(colon + 1));
            if (!v || *v > 1000) return fail(error, bad);
            n = static_cast<int>(*v);
        }
        for (int i = 0; i < n; ++i) f.stray.push_back(*first);
        return true;
    }
    if (error) error->clear();
    return false;
}

void PacketPeer::receive(std::span<const std::uint8_t> bytes, Clock::time_point now) {
    if (bytes.empty()) return;
    in_.insert(in_.end(), bytes.begin(), bytes.end());
    last_activity_ = now;
    own_after_ = now + kQuietBeforeOwn;
    process(now);
}

std::vector<std::uint8_t> PacketPeer::take_output() { return std::exchange(out_, {}); }

bool PacketPeer::take_drop() { return std::exchange(drop_, false); }

void PacketPeer::reset() {
    state_ = State::Idle;
    in_.clear();
    out_.clear();
    sending_ = Sending{};
    block_.clear();
    handler_.reset();
}

std::optional<Clock::time_point> PacketPeer::deadline() const {
    switch (state_) {
        case State::AwaitHeader: return last_activity_ + kHeaderWait;
        case State::AwaitData: return last_activity_ + kDataWait;
        case State::AwaitAck: return last_activity_ + kAckWait;
        case State::Idle: break;
    }
    const auto own = handler_.next_unsolicited();
    if (!own) return std::nullopt;
    return std::max(*own, own_after_);
}

void PacketPeer::tick(Clock::time_point now) {
    const auto due = deadline();
    if (!due || now < *due) return;
    switch (state_) {
        case State::AwaitHeader:
            // A display item may come as a plain command: nothing followed, nothing wrong.
            if (block_optional_ && packets_in_ == 0 && in_.empty()) state_ = State::Idle;
            else refuse(link::kTimeoutError);
            return;
        case State::AwaitData: refuse(link::kTimeoutError); return;
        case State::AwaitAck:
            state_ = State::Idle;  // the host gave up on this block
            return;
        case State::Idle:
            if (auto own = handler_.unsolicited(now)) {
                own_after_ = now + kQuietBeforeOwn;
                if (own->as_block) {
                    last_activity_ = now;  // the host has from now on to acknowledge
                    start_sending(std::move(*own));
                } else {
                    send_single_packet(*own);
                }
            }
            return;
    }
}

bool PacketPeer::starts_code1_block() const {
    // A link check and the header of a block with code 1 start alike.  The host
    // writes a header in one piece, so eight bytes that arrive together and read
    // as the header of a single 8-byte packet are one.
    if (in_.size() < kPacketHeaderBytes) return false;
    return in_[0] == link::kLinkCheck && in_[1] == 8 && in_[2] == 0 && in_[6] == 1 && in_[7] == 1;
}

void PacketPeer::process(Clock::time_point now) {
    for (;;) {
        switch (state_) {
            case State::Idle: {
                if (in_.empty()) return;
                if (starts_code1_block()) {
                    code_ = link::kLinkCheck;
                    expected_ = 8;
                    block_optional_ = false;
                    packets_in_ = 0;
                    total_ = 0;
                    block_.clear();
                    state_ = State::AwaitHeader;
                    break;
                }
                const std::uint8_t code = in_.front();
                in_.pop_front();
                open_exchange(code, now);
                if (drop_) return;
                break;
            }
            case State::AwaitHeader:
                if (in_.empty()) return;
                if (block_optional_ && packets_in_ == 0 && in_.front() != code_) {
                    state_ = State::Idle;  // a plain command after all; the byte opens the next exchange
                    break;
                }
                if (in_.size() < kPacketHeaderBytes) return;
                if (!take_header()) return;
                break;
            case State::AwaitData:
                if (in_.size() < header_.length) return;
                take_data(now);
                break;
            case State::AwaitAck:
                if (in_.empty()) return;
                on_ack_byte();
                break;
        }
    }
}

void PacketPeer::open_exchange(std::uint8_t code, Clock::time_point now) {
    if (faults_.drop) {
        faults_.drop = false;
        drop_ = true;
        in_.clear();
        return;
    }
    if (faults_.mute > 0) {
        --faults_.mute;
        return;
    }
    if (auto it = faults_.nack.find(code); it != faults_.nack.end()) {
        const std::uint8_t r = it->second;
        faults_.nack.erase(it);
        refuse(r);
        return;
    }
    CodeAction a = handler_.on_code(code, now);
    switch (a.kind) {
        case CodeAction::Kind::Answer: acknowledge(a.byte); break;
        case CodeAction::Kind::Refuse: refuse(a.byte); break;
        case CodeAction::Kind::Receive:
            acknowledge(code);
            code_ = code;
            expected_ = a.expected;
            block_optional_ = a.block_optional;
            packets_in_ = 0;
            total_ = 0;
            block_.clear();
            state_ = State::AwaitHeader;
            break;
        case CodeAction::Kind::Send: start_sending(std::move(a.block)); break;
        case CodeAction::Kind::SendPacket: send_single_packet(a.block); break;
        case CodeAction::Kind::Ignore: break;
    }
}

bool PacketPeer::take_header() {
    std::array<std::uint8_t, kPacketHeaderBytes> raw{};
    for (auto& b : raw) {
        b = in_.front();
        in_.pop_front();
    }
    header_ = decode_header(raw);
    if (header_.code != code_) {
        refuse(link::kWrongCommand);
        return false;
    }
    if (header_.length > kMaxPacketData) {
        refuse(link::kPacketLengthError);
        return false;
    }
    state_ = State::AwaitData;
    return true;
}

void PacketPeer::take_data(Clock::time_point now) {
    std::vector<std::uint8_t> data(in_.begin(), in_.begin() + header_.length);
    in_.erase(in_.begin(), in_.begin() + header_.length);
    const PacketHeader mine = header_for(code_, data, header_.total, header_.number);
    if (mine.sum != header_.sum) return refuse(link::kChecksumError);
    if (mine.parity != header_.parity) return refuse(link::kParityError);
    if (header_.number != packets_in_ + 1) return refuse(link::kPacketNumberError);
    if (packets_in_ == 0) total_ = header_.total;
    if (total_ == 0 || header_.total != total_) return refuse(link::kPacketCountError);
    ++packets_in_;
    block_.insert(block_.end(), data.begin(), data.end());
    if (expected_ && block_.size() > *expected_) return refuse(link::kTransferLengthError);
    if (packets_in_ < total_) {
        if (expected_ && block_.size() == *expected_) return refuse(link::kPacketCountError);
        acknowledge(code_);
        state_ = State::AwaitHeader;
        return;
    }
    if (expected_ && block_.size() != *expected_) return refuse(link::kTransferLengthError);
    finish_block(now);
}

void PacketPeer::finish_block(Clock::time_point now) {
    state_ = State::Idle;
    BlockAction a = handler_.on_block(code_, std::exchange(block_, {}), now);
    if (a.refusal) return refuse(*a.refusal);
    acknowledge(code_);
    if (a.reply) start_sending(std::move(*a.reply));
}

void PacketPeer::on_ack_byte() {
    const std::uint8_t b = in_.front();
    if (b == sending_.code) {
        in_.pop_front();
        if (sending_.next < sending_.packets.size()) send_next_packet();
        else state_ = State::Idle;
        return;
    }
    if (b == 0 || (b >= link::kUnknownCommand && b <= link::kTransferLengthError)) {
        in_.pop_front();  // the host refused what it got: the block is over
        state_ = State::Idle;
        return;
    }
    // Anything else is the host moving on: the byte opens its next exchange.
    state_ = State::Idle;
}

void PacketPeer::acknowledge(std::uint8_t code) {
    while (!faults_.stray.empty()) {
        out_.push_back(faults_.stray.front());
        faults_.stray.pop_front();
    }
    out_.push_back(code);
}

void PacketPeer::refuse(std::uint8_t refusal) {
    out_.push_back(refusal);
    in_.clear();  // whatever else the host had on the way belongs to the failed exchange
    block_.clear();
    state_ = State::Idle;
}

void PacketPeer::start_sending(OutgoingBlock block) {
    Sending s;
    s.code = block.code;
    if (faults_.short_block > 0 && !block.data.empty()) {
        --faults_.short_block;
        block.data.pop_back();
    }
    std::size_t at = 0;
    do {  // an empty block still travels as one empty packet
        const std::size_t n = std::min(kMaxPacketData, block.data.size() - at);
        const auto from = block.data.begin() + static_cast<std::ptrdiff_t>(at);
        s.packets.emplace_back(from, from + static_cast<std::ptrdiff_t>(n));
        at += n;
    } while (at < block.data.size());
    s.total = static_cast<std::uint8_t>(s.packets.size());
    if (faults_.extra_packet > 0) {
        --faults_.extra_packet;
        ++s.total;
    }
    if (faults_.bad_sum > 0) s.bad_sum = (--faults_.bad_sum, true);
    if (faults_.bad_parity > 0) s.bad_parity = (--faults_.bad_parity, true);
    if (faults_.bad_number > 0) s.bad_number = (--faults_.bad_number, true);
    sending_ = std::move(s);
    state_ = State::AwaitAck;
    send_next_packet();
}

void PacketPeer::send_next_packet() {
    const auto& data = sending_.packets[sending_.next];
    PacketHeader h = header_for(sending_.code, data, sending_.total, static_cast<std::uint8_t>(sending_.next + 1));
    if (sending_.next == 0) {
        if (sending_.bad_sum) h.sum = static_cast<std::uint16_t>(h.sum + 1);
        if (sending_.bad_parity) h.parity = static_cast<std::uint8_t>(h.parity ^ 1);
        if (sending_.bad_number) h.number = static_cast<std::uint8_t>(h.number + 1);
    }
    const auto head = encode(h);
    out_.insert(out_.end(), head.begin(), head.end());
    out_.insert(out_.end(), data.begin(), data.end());
    ++sending_.next;
}

void PacketPeer::send_single_packet(const OutgoingBlock& block) {
    const std::size_t n = std::min(block.data.size(), kMaxPacketData);
    const std::span<const std::uint8_t> data(block.data.data(), n);
    const auto head = encode(header_for(block.code, data, 1, 1));
    out_.insert(out_.end(), head.begin(), head.end());
    out_.insert(out_.end(), data.begin(), data.end());
}

}  // namespace tola::sim
