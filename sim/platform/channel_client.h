// The host side of the USB driver channel, as far as tests and tools need it:
// one connection, one request at a time, every wait bounded.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

#include "comm/platform/usb_channel_frame.h"
#include "sim/platform/unix_socket.h"

namespace tola::sim {

class ChannelClient {
public:
    static std::optional<ChannelClient> connect(const std::filesystem::path& socket);

    // One request and its reply; nothing when the connection failed, ended, sent
    // something that is not a reply, or did not answer within the timeout.
    std::optional<usbchannel::Reply> call(const usbchannel::Request& request,
                                          std::chrono::milliseconds timeout = std::chrono::seconds(5));
    std::optional<usbchannel::Reply> call(std::uint32_t code, std::vector<std::uint8_t> input,
                                          std::uint32_t output_capacity,
                                          std::vector<std::uint8_t> output_payload = {});

    bool send_raw(std::span<const std::uint8_t> bytes);
    // True when the other side closes the connection within the timeout.
    bool wait_closed(std::chrono::milliseconds timeout = std::chrono::seconds(5));

private:
    explicit ChannelClient(os::Fd fd) : fd_(std::move(fd)) {}
    os::Fd fd_;
};

}  // namespace tola::sim
