// Cuts the byte stream of one channel connection into requests.  A header that is
// not a request (wrong magic, lengths beyond the channel's limit) ends the
// connection: there is no way to find the next request after it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "comm/platform/usb_channel_frame.h"

namespace tola::sim {

class RequestReader {
public:
    enum class Status { NeedMore, Ready, Malformed };

    void append(std::span<const std::uint8_t> bytes);
    // Takes the next whole request out of the buffer.
    Status next(usbchannel::Request& out);
    std::size_t buffered() const { return buffer_.size() - start_; }

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t start_ = 0;
    bool malformed_ = false;
};

}  // namespace tola::sim
