// Shared pieces of the virtual-instrument tests: a private channel folder, a
// started simulator, and the host side of each USB protocol written from the wire
// description (not from the simulator's code).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "comm/platform/usb_channel_frame.h"
#include "sim/platform/channel_client.h"
#include "sim/simulator.h"

namespace tola::sim::test {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tola-sim-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline InstrumentConfig stm32_config() {
    InstrumentConfig c;
    c.kind = 4;
    c.cpu = 2;
    c.layout_release = "CK0A.00.31.00";
    c.firmware = "511vLE";
    c.serial = "H51234";
    c.device_type = 5324;
    c.command_delay = 0ms;
    c.restart_silence = 300ms;
    return c;
}

inline InstrumentConfig h8sx_config() {
    InstrumentConfig c = stm32_config();
    c.cpu = 1;
    c.layout_release = "CK0A.00.28.00";
    c.firmware = "311b";
    return c;
}

inline InstrumentConfig classic_config() {
    InstrumentConfig c;
    c.kind = 1;
    c.layout_release = "CK0A.00.20.00";
    c.firmware = "405a";
    c.serial = "C10001";
    c.restart_silence = 0ms;
    return c;
}

inline InstrumentConfig boot_mode_config() {
    InstrumentConfig c;
    c.kind = 3;
    return c;
}

// One started simulator with one instrument in a folder of its own.
struct Harness {
    explicit Harness(InstrumentConfig config) : simulator(dir.path() / "usb"), instrument(simulator.add(std::move(config))) {
        simulator.start();
    }
    ChannelClient connect() {
        auto c = ChannelClient::connect(instrument.socket_path());
        if (!c) throw std::runtime_error("cannot connect to " + instrument.socket_path().string());
        return std::move(*c);
    }

    TempDir dir;
    Simulator simulator;
    Instrument& instrument;
};

inline std::uint32_t le32(std::span<const std::uint8_t> b, std::size_t at = 0) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
inline std::uint32_t be32(std::span<const std::uint8_t> b, std::size_t at = 0) {
    return static_cast<std::uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}
inline std::uint16_t le16(std::span<const std::uint8_t> b, std::size_t at = 0) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
inline std::uint16_t be16(std::span<const std::uint8_t> b, std::size_t at = 0) {
    return static_cast<std::uint16_t>(b[at] << 8 | b[at + 1]);
}
inline void put_le32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// --- memory-mapped generation: 12-byte request blocks ---------------------------

inline Bytes request_block(std::uint8_t code, std::uint32_t value, std::uint16_t length, bool read) {
    Bytes b(12, 0);
    b[2] = code;
    put_le32(b, 4, value);
    b[8] = static_cast<std::uint8_t>(length);
    b[9] = static_cast<std::uint8_t>(length >> 8);
    b[10] = read ? 1 : 0;
    return b;
}

inline std::optional<Bytes> ctl_read(ChannelClient& c, std::uint8_t space, std::uint32_t address, std::uint16_t length) {
    auto sent = c.call(usbchannel::kSendBlock, request_block(space, address, length, true), 0);
    if (!sent || !sent->success || sent->bytes_returned < 12) return std::nullopt;
    auto data = c.call(usbchannel::kReceive, {}, length);
    if (!data || !data->success) return std::nullopt;
    return data->output;
}

// STM32 write: block, data, 12-byte reply.  Returns the reply's first 16-bit value.
inline std::optional<std::uint16_t> ctl_write(ChannelClient& c, std::uint8_t space, std::uint32_t address,
                                              const Bytes& data) {
    auto sent = c.call(usbchannel::kSendBlock, request_block(space, address, static_cast<std::uint16_t>(data.size()), false), 0);
    if (!sent || !sent->success) return std::nullopt;
    auto taken = c.call(usbchannel::kSendBlock, data, 0);
    if (!taken || !taken->success || taken->bytes_returned != data.size()) return std::nullopt;
    auto reply = c.call(usbchannel::kReceive, {}, 12);
    if (!reply || !reply->success || reply->output.size() != 12) return std::nullopt;
    return static_cast<std::uint16_t>(reply->output[0] | reply->output[1] << 8);
}

// STM32 command: block then a 12-byte reply; command 10 sends the block twice.
inline bool ctl_command(ChannelClient& c, std::uint8_t code, std::uint32_t value) {
    const Bytes block = request_block(code, value, 64, false);
    auto sent = c.call(usbchannel::kSendBlock, block, 0);
    if (!sent || !sent->success || sent->bytes_returned < 12) return false;
    if (code == 10) {
        auto again = c.call(usbchannel::kSendBlock, block, 0);
        return again && again->success && again->bytes_returned >= 12;
    }
    auto reply = c.call(usbchannel::kReceive, {}, 12);
    return reply && reply->success && reply->output.size() == 12 && reply->output[0] == 8 && reply->output[1] == 0;
}

// --- first generation: EZ-USB pipes ----------------------------------------------

inline Bytes pipe(std::uint32_t n) { return Bytes{static_cast<std::uint8_t>(n), 0, 0, 0}; }

inline bool ez_command(ChannelClient& c, Bytes command) {
    const auto capacity = static_cast<std::uint32_t>(command.size());
    auto r = c.call(usbchannel::kBulkWrite, pipe(2), capacity, std::move(command));
    return r && r->success;
}

inline std::optional<Bytes> ez_status(ChannelClient& c) {
    auto r = c.call(usbchannel::kBulkRead, pipe(0), 3);
    if (!r || !r->success) return std::nullopt;
    return r->output;
}

inline Bytes ez_addressed(std::uint8_t op, std::uint32_t address, std::uint8_t length) {
    return Bytes{op, static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16),
                 static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address), length};
}

inline std::optional<Bytes> ez_read(ChannelClient& c, std::uint32_t address, std::uint8_t length) {
    if (!ez_command(c, ez_addressed(0x23, address, length))) return std::nullopt;
    auto status = ez_status(c);
    if (!status || (*status)[0] != 0x23) return std::nullopt;
    auto r = c.call(usbchannel::kBulkRead, pipe(1), length);
    if (!r || !r->success) return std::nullopt;
    return r->output;
}

// Returns status byte 0 of the write.
inline std::optional<std::uint8_t> ez_write(ChannelClient& c, std::uint32_t address, Bytes data) {
    if (!ez_command(c, ez_addressed(0x22, address, static_cast<std::uint8_t>(data.size())))) return std::nullopt;
    const auto n = static_cast<std::uint32_t>(data.size());
    auto r = c.call(usbchannel::kBulkWrite, pipe(3), n, std::move(data));
    if (!r || !r->success) return std::nullopt;
    auto status = ez_status(c);
    if (!status) return std::nullopt;
    return (*status)[0];
}

}  // namespace tola::sim::test
