#include "sim/request_reader.h"

namespace tola::sim {

void RequestReader::append(std::span<const std::uint8_t> bytes) {
    if (malformed_) return;
    if (start_ > 0 && start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

RequestReader::Status RequestReader::next(usbchannel::Request& out) {
    if (malformed_) return Status::Malformed;
    const std::size_t available = buffer_.size() - start_;
    if (available < usbchannel::kHeaderSize) return Status::NeedMore;
    const auto header = usbchannel::parse_request_header(
        std::span<const std::uint8_t, usbchannel::kHeaderSize>(buffer_.data() + start_, usbchannel::kHeaderSize));
    if (!header) {
        malformed_ = true;
        buffer_.clear();
        start_ = 0;
        return Status::Malformed;
    }
    const std::size_t body = std::size_t{header->input_length} + header->payload_length;
    if (available < usbchannel::kHeaderSize + body) return Status::NeedMore;

    const auto* p = buffer_.data() + start_ + usbchannel::kHeaderSize;
    out.code = header->code;
    out.input.assign(p, p + header->input_length);
    out.output_capacity = header->output_capacity;
    out.output_payload.assign(p + header->input_length, p + body);
    start_ += usbchannel::kHeaderSize + body;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    }
    return Status::Ready;
}

}  // namespace tola::sim
