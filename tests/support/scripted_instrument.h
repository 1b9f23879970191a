// The instrument's side of the packet protocol, reduced to what the link tests
// need: it answers the link check, acknowledges commands and packets, and
// serves memory read and write requests from a sparse memory.  It consumes
// the bytes the library wrote and produces timed replies, so the same script
// drives a fake stream (replies land at a stepped clock's times) and a real
// pseudo-terminal (replies are written after real sleeps).
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <map>
#include <vector>

namespace tola::testing {

struct Reply {
    std::uint32_t delay_ms = 0;  // after the previous reply (or after the trigger)
    std::vector<std::uint8_t> bytes;
};

class ScriptedInstrument {
public:
    // A test changes these two while a pseudo-terminal's thread serves the instrument.
    std::atomic<std::uint8_t> identify_answer{230};
    // When nonzero, the next command byte or packet is answered with this instead of the acknowledgement.
    std::atomic<std::uint8_t> refuse_next{0};
    // 20 ms header-to-data and 50 ms between packets, as a sender keeps them; set before serving starts.
    bool sender_pauses = true;

    std::map<std::uint32_t, std::uint8_t> written;  // memory written by the library
    std::vector<std::uint8_t> codes_seen;           // every command byte taken in the idle state

    static std::uint8_t pattern(std::uint32_t address) { return static_cast<std::uint8_t>(address * 7u + 3u); }
    std::uint8_t peek(std::uint32_t address) const {
        auto it = written.find(address);
        return it != written.end() ? it->second : pattern(address);
    }

    // Feeds bytes the library wrote; returns the replies they trigger.
    std::vector<Reply> consume(const std::uint8_t* data, std::size_t length) {
        std::vector<Reply> out;
        for (std::size_t i = 0; i < length; ++i) take(data[i], out);
        return out;
    }

private:
    enum class State { Idle, RequestPacket, DataCommand, DataPacket, Sending };

    static bool is_read(std::uint8_t c) { return c == 51 || c == 53 || c == 55; }
    static bool is_memory(std::uint8_t c) { return c >= 51 && c <= 56; }

    void answer(std::uint8_t code, std::vector<Reply>& out) {
        const std::uint8_t refusal = refuse_next.exchange(0);
        if (refusal != 0) state_ = State::Idle;
        out.push_back({0, {refusal != 0 ? refusal : code}});
    }

    void take(std::uint8_t b, std::vector<Reply>& out) {
        switch (state_) {
            case State::Idle:
                codes_seen.push_back(b);
                if (b == 1) {
                    out.push_back({0, {identify_answer.load()}});
                } else if (is_memory(b)) {
                    code_ = b;
                    packet_.clear();
                    state_ = State::RequestPacket;
                    answer(b, out);
                } else {
                    out.push_back({0, {b}});
                }
                return;
            case State::DataCommand:
                if (b != code_) {
                    state_ = State::Idle;
                    return;
                }
                state_ = State::DataPacket;
                packet_.clear();
                answer(b, out);
                return;
            case State::RequestPacket:
            case State::DataPacket:
                packet_.push_back(b);
                if (packet_.size() >= 8 && packet_.size() == 8u + (packet_[1] | (packet_[2] << 8))) packet_done(out);
                return;
            case State::Sending:
                // The library's code byte asks for the next packet, or closes the block.
                if (b != code_) {
                    state_ = State::Idle;
                    return;
                }
                if (sent_ >= reply_.size()) {
                    state_ = State::Idle;
                    return;
                }
                send_packet(out, sender_pauses ? 50u : 0u);
                return;
        }
    }

    void packet_done(std::vector<Reply>& out) {
        std::vector<std::uint8_t> data(packet_.begin() + 8, packet_.end());
        const std::uint8_t total = packet_[6];
        const std::uint8_t number = packet_[7];
        packet_.clear();
        if (state_ == State::RequestPacket) {
            address_ = word(data, 0);
            length_ = word(data, 4);
            answer(code_, out);
            if (state_ == State::Idle) return;
            if (is_read(code_)) {
                reply_.resize(length_);
                for (std::uint32_t i = 0; i < length_; ++i) reply_[i] = peek(address_ + i);
                sent_ = 0;
                number_ = 0;
                state_ = State::Sending;
                send_packet(out, 0);
            } else {
                received_ = 0;
                state_ = State::DataCommand;
            }
            return;
        }
        for (std::size_t i = 0; i < data.size(); ++i) written[address_ + received_ + static_cast<std::uint32_t>(i)] = data[i];
        received_ += static_cast<std::uint32_t>(data.size());
        answer(code_, out);
        if (number >= total) state_ = State::Idle;
    }

    void send_packet(std::vector<Reply>& out, std::uint32_t pause) {
        const std::size_t piece = std::min<std::size_t>(500, reply_.size() - sent_);
        const std::uint8_t total = static_cast<std::uint8_t>(reply_.empty() ? 1 : (reply_.size() + 499) / 500);
        std::uint16_t sum = 0;
        std::uint8_t parity = 0;
        for (std::size_t i = 0; i < piece; ++i) {
            sum = static_cast<std::uint16_t>(sum + reply_[sent_ + i]);
            parity = static_cast<std::uint8_t>(parity ^ reply_[sent_ + i]);
        }
        ++number_;
        out.push_back({pause,
                       {code_, static_cast<std::uint8_t>(piece & 0xFF), static_cast<std::uint8_t>(piece >> 8),
                        static_cast<std::uint8_t>(sum & 0xFF), static_cast<std::uint8_t>(sum >> 8), parity, total,
                        number_}});
        if (piece > 0) {
            out.push_back({sender_pauses ? 20u : 0u,
                           std::vector<std::uint8_t>(reply_.begin() + static_cast<std::ptrdiff_t>(sent_),
                                                     reply_.begin() + static_cast<std::ptrdiff_t>(sent_ + piece))});
        }
        sent_ += piece;
        if (reply_.empty()) sent_ = 1;  // an empty block is one empty packet
    }

    static std::uint32_t word(const std::vector<std::uint8_t>& d, std::size_t at) {
        if (d.size() < at + 4) return 0;
        return static_cast<std::uint32_t>(d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (d[at + 3] << 24));
    }

    State state_ = State::Idle;
    std::uint8_t code_ = 0;
    std::vector<std::uint8_t> packet_;
    std::uint32_t address_ = 0;
    std::uint32_t length_ = 0;
    std::uint32_t received_ = 0;
    std::vector<std::uint8_t> reply_;
    std::size_t sent_ = 0;
    std::uint8_t number_ = 0;
};

}  // namespace tola::testing
