// A byte stream and a clock for the packet protocol without any device: the
// clock moves only when the protocol sleeps, bytes "arrive" at scheduled
// clock times, and an optional scripted instrument answers what is written.
#pragma once

#include "comm/links/serial/byte_stream.h"
#include "tests/support/scripted_instrument.h"

#include <algorithm>
#include <deque>
#include <vector>

namespace tola::testing {

class SteppedClock final : public serial::Timebase {
public:
    std::uint32_t now() override { return now_; }
    void sleep(std::uint32_t ms) override { now_ += ms; }
    std::uint32_t now_ = 100000;
};

class FakeStream final : public serial::ByteStream {
public:
    explicit FakeStream(SteppedClock& clock) : clock_(clock) {}

    ScriptedInstrument* instrument = nullptr;
    std::vector<std::uint8_t> written;
    std::vector<std::size_t> write_sizes;  // one entry per write call
    std::uint32_t fail_class = 0;          // nonzero: writes and reads fail with this class
    int clear_input_calls = 0;
    int clear_all_calls = 0;

    // Bytes that arrive `after_ms` from now.
    void feed(std::vector<std::uint8_t> bytes, std::uint32_t after_ms = 0) {
        for (std::uint8_t b : bytes) incoming_.push_back({clock_.now_ + after_ms, b});
    }
    std::size_t unread() const { return incoming_.size(); }

    std::size_t write(const std::uint8_t* data, std::size_t length) override {
        write_sizes.push_back(length);
        if (fail_class != 0) return 0;
        written.insert(written.end(), data, data + length);
        if (instrument != nullptr) {
            std::uint32_t at = clock_.now_;
            for (const Reply& r : instrument->consume(data, length)) {
                at += r.delay_ms;
                for (std::uint8_t b : r.bytes) incoming_.push_back({at, b});
            }
        }
        return length;
    }

    std::ptrdiff_t read(std::uint8_t* buffer, std::size_t capacity) override {
        if (fail_class != 0) return -1;
        std::size_t n = 0;
        while (n < capacity && !incoming_.empty() && incoming_.front().at <= clock_.now_) {
            buffer[n++] = incoming_.front().byte;
            incoming_.pop_front();
        }
        return static_cast<std::ptrdiff_t>(n);
    }

    void clear_input() override {
        ++clear_input_calls;
        while (!incoming_.empty() && incoming_.front().at <= clock_.now_) incoming_.pop_front();
    }
    void clear_all() override {
        ++clear_all_calls;
        clear_input();
    }
    std::uint32_t last_error() override { return fail_class; }

private:
    struct Arrival {
        std::uint32_t at;
        std::uint8_t byte;
    };
    SteppedClock& clock_;
    std::deque<Arrival> incoming_;
};

}  // namespace tola::testing
