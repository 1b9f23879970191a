// The host's end of the byte-stream packet protocol, written from the wire
// description: code byte and acknowledgement, 8-byte packet headers with sum and
// XOR, blocks of up to 500 bytes per packet.  It talks over a pseudo-terminal's
// slave or a Bluetooth face's socket, and waits with poll() only.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

#include "sim/platform/pty.h"
#include "sim/platform/unix_socket.h"
#include "tests/sim/sim_test_support.h"

namespace tola::sim::test {

struct Header {
    std::uint8_t code = 0;
    std::uint16_t length = 0;
    std::uint16_t sum = 0;
    std::uint8_t parity = 0;
    std::uint8_t total = 0;
    std::uint8_t number = 0;
};

inline Bytes packet(std::uint8_t code, const Bytes& data, std::uint8_t total = 1, std::uint8_t number = 1) {
    std::uint16_t sum = 0;
    std::uint8_t parity = 0;
    for (auto b : data) {
        sum = static_cast<std::uint16_t>(sum + b);
        parity = static_cast<std::uint8_t>(parity ^ b);
    }
    const auto n = static_cast<std::uint16_t>(data.size());
    Bytes out{code,   static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(sum),
              static_cast<std::uint8_t>(sum >> 8), parity, total, number};
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

inline Bytes address_block(std::uint32_t address, std::uint32_t length) {
    Bytes b(8, 0);
    put_le32(b, 0, address);
    put_le32(b, 4, length);
    return b;
}

class LinkWire {
public:
    // Opens a pseudo-terminal's slave as a host opens its serial port.
    static LinkWire serial(const std::filesystem::path& path) {
        os::Fd fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!fd || !os::make_raw(fd.get())) throw std::runtime_error("cannot open " + path.string());
        return LinkWire(std::move(fd), false);
    }
    static LinkWire bluetooth(const std::filesystem::path& socket) {
        os::Fd fd = os::connect_to(socket);
        if (!fd) throw std::runtime_error("cannot connect to " + socket.string());
        return LinkWire(std::move(fd), true);
    }

    void send(const Bytes& bytes) {
        std::span<const std::uint8_t> rest(bytes);
        while (!rest.empty()) {
            const long n = socket_ ? os::write_some(fd_, rest) : os::write_fd(fd_.get(), rest);
            if (n == -1) {
                pollfd p{fd_.get(), POLLOUT, 0};
                ::poll(&p, 1, 1000);
                continue;
            }
            if (n <= 0) throw std::runtime_error("write failed");
            rest = rest.subspan(static_cast<std::size_t>(n));
        }
    }
    void send_byte(std::uint8_t b) { send(Bytes{b}); }

    // Up to n bytes, waiting at most the timeout for all of them.
    Bytes receive(std::size_t n, std::chrono::milliseconds timeout = 2000ms) {
        Bytes out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.size() < n) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_.get(), POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
            std::uint8_t buffer[1024];
            const std::size_t want = std::min(sizeof buffer, n - out.size());
            const long got = socket_ ? os::read_some(fd_, std::span(buffer, want))
                                     : os::read_fd(fd_.get(), std::span(buffer, want));
            if (got == -1) continue;
            if (got <= 0) {
                closed_ = true;
                break;
            }
            out.insert(out.end(), buffer, buffer + got);
        }
        return out;
    }
    std::optional<std::uint8_t> receive_byte(std::chrono::milliseconds timeout = 2000ms) {
        auto b = receive(1, timeout);
        if (b.empty()) return std::nullopt;
        return b[0];
    }
    // True when nothing arrives within the window.
    bool quiet(std::chrono::milliseconds window = 300ms) { return receive(1, window).empty(); }
    bool closed() const { return closed_; }

    // The instrument's answer to a code byte.
    std::optional<std::uint8_t> command(std::uint8_t code) {
        send_byte(code);
        return receive_byte();
    }

    // Sends a block; returns the last byte the instrument answered (the code on
    // success, a refusal otherwise), none when it said nothing.
    std::optional<std::uint8_t> send_block(std::uint8_t code, const Bytes& data) {
        auto ack = command(code);
        if (ack != code) return ack;
        const std::size_t packets = std::max<std::size_t>(1, (data.size() + 499) / 500);
        for (std::size_t i = 0; i < packets; ++i) {
            const auto from = data.begin() + static_cast<std::ptrdiff_t>(std::min(i * 500, data.size()));
            const auto to = data.begin() + static_cast<std::ptrdiff_t>(std::min((i + 1) * 500, data.size()));
            send(packet(code, Bytes(from, to), static_cast<std::uint8_t>(packets), static_cast<std::uint8_t>(i + 1)));
            ack = receive_byte();
            if (ack != code) return ack;
        }
        return ack;
    }

    std::optional<Header> receive_header() {
        const Bytes h = receive(8);
        if (h.size() != 8) return std::nullopt;
        return Header{h[0], static_cast<std::uint16_t>(h[1] | h[2] << 8), static_cast<std::uint16_t>(h[3] | h[4] << 8),
                      h[5], h[6], h[7]};
    }

    // Receives a block, acknowledging every packet with its code; checks every
    // header as a host does.  The headers are kept for the caller to look at.
    std::optional<Bytes> receive_block(std::uint8_t code, std::vector<Header>* headers = nullptr) {
        Bytes all;
        std::uint8_t total = 1;
        for (std::uint8_t n = 1; n <= total; ++n) {
            auto h = receive_header();
            if (!h) return std::nullopt;
            if (headers) headers->push_back(*h);
            const Bytes data = receive(h->length);
            if (h->code != code || data.size() != h->length) return std::nullopt;
            if (n == 1) total = h->total;
            std::uint16_t sum = 0;
            std::uint8_t parity = 0;
            for (auto b : data) {
                sum = static_cast<std::uint16_t>(sum + b);
                parity = static_cast<std::uint8_t>(parity ^ b);
            }
            if (sum != h->sum || parity != h->parity) return std::nullopt;
            if (h->number != n) return std::nullopt;
            all.insert(all.end(), data.begin(), data.end());
            send_byte(code);
        }
        return all;
    }

    std::optional<Bytes> read_memory(std::uint8_t code, std::uint32_t address, std::uint32_t length) {
        if (send_block(code, address_block(address, length)) != code) return std::nullopt;
        return receive_block(code);
    }
    std::optional<std::uint8_t> write_memory(std::uint8_t code, std::uint32_t address, const Bytes& data) {
        auto r = send_block(code, address_block(address, static_cast<std::uint32_t>(data.size())));
        if (r != code) return r;
        return send_block(code, data);
    }

private:
    LinkWire(os::Fd fd, bool socket) : fd_(std::move(fd)), socket_(socket) {}
    os::Fd fd_;
    bool socket_;
    bool closed_ = false;
};

// One started simulator hosting one instrument with a serial or Bluetooth face.
struct LinkHarness {
    explicit LinkHarness(InstrumentConfig config)
        : simulator(dir.path() / "usb", dir.path() / "bt"), instrument(simulator.add(std::move(config))) {
        simulator.start();
        if (instrument.config().bluetooth_link() && !instrument.wait_until_present(true, 2s))
            throw std::runtime_error("no Bluetooth registration");
    }
    LinkWire wire() {
        return instrument.config().bluetooth_link() ? LinkWire::bluetooth(instrument.bt_socket_path())
                                                    : LinkWire::serial(instrument.serial_path());
    }

    TempDir dir;
    Simulator simulator;
    Instrument& instrument;
};

inline InstrumentConfig link_config(int kind) {
    InstrumentConfig c = kind == 2 ? classic_config() : stm32_config();
    c.kind = kind;
    c.restart_silence = 300ms;
    return c;
}

}  // namespace tola::sim::test
