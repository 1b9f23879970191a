// The serial port of the connection record as a byte stream.
#pragma once

#include "comm/links/serial/byte_stream.h"

namespace tola::serial {

// Works on whatever port hRS232 of the remembered record holds at each call.
class SerialStream final : public ByteStream {
public:
    std::size_t write(const std::uint8_t* data, std::size_t length) override;
    std::ptrdiff_t read(std::uint8_t* buffer, std::size_t capacity) override;
    void clear_input() override;
    void clear_all() override;
    std::uint32_t last_error() override;
};

}  // namespace tola::serial
