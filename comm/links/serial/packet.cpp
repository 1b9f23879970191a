#include "comm/links/serial/packet.h"

namespace tola::serial {

Checks checks_of(const std::uint8_t* data, std::size_t length) {
    Checks c;
    for (std::size_t i = 0; i < length; ++i) {
        c.sum = static_cast<std::uint16_t>(c.sum + data[i]);
        c.parity = static_cast<std::uint8_t>(c.parity ^ data[i]);
    }
    return c;
}

Header make_header(std::uint8_t code, std::uint8_t total, std::uint8_t number, const std::uint8_t* data,
                   std::size_t length) {
    const Checks c = checks_of(data, length);
    return Header{code,
                  static_cast<std::uint8_t>(length & 0xFF),
                  static_cast<std::uint8_t>((length >> 8) & 0xFF),
                  static_cast<std::uint8_t>(c.sum & 0xFF),
                  static_cast<std::uint8_t>(c.sum >> 8),
                  c.parity,
                  total,
                  number};
}

}  // namespace tola::serial
