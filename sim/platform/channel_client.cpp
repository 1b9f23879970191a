#include "sim/platform/channel_client.h"

#include <array>

namespace tola::sim {

std::optional<ChannelClient> ChannelClient::connect(const std::filesystem::path& socket) {
    os::Fd fd = os::connect_to(socket);
    if (!fd) return std::nullopt;
    return ChannelClient(std::move(fd));
}

std::optional<usbchannel::Reply> ChannelClient::call(const usbchannel::Request& request,
                                                      std::chrono::milliseconds timeout) {
    if (!send_raw(usbchannel::encode(request))) return std::nullopt;
    std::array<std::uint8_t, usbchannel::kReplyHeaderSize> header{};
    if (!os::receive_exact(fd_, header, timeout)) return std::nullopt;
    const auto h = usbchannel::parse_reply_header(header, request.output_capacity);
    if (!h) return std::nullopt;
    usbchannel::Reply reply{h->success, h->bytes_returned, std::vector<std::uint8_t>(h->output_length)};
    if (!os::receive_exact(fd_, reply.output, timeout)) return std::nullopt;
    return reply;
}

std::optional<usbchannel::Reply> ChannelClient::call(std::uint32_t code, std::vector<std::uint8_t> input,
                                                      std::uint32_t output_capacity,
                                                      std::vector<std::uint8_t> output_payload) {
    return call(usbchannel::Request{code, std::move(input), output_capacity, std::move(output_payload)});
}

bool ChannelClient::send_raw(std::span<const std::uint8_t> bytes) {
    return os::send_all(fd_, bytes, std::chrono::seconds(5));
}

bool ChannelClient::wait_closed(std::chrono::milliseconds timeout) {
    std::array<std::uint8_t, 256> sink{};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        // receive_exact fails on end of stream or on timeout; tell them apart by the clock.
        if (!os::receive_exact(fd_, std::span(sink).first(1), left))
            return std::chrono::steady_clock::now() < deadline;
    }
}

}  // namespace tola::sim
