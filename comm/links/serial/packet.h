// The 8-byte packet header: code, data length (LE16), wrapping sum of the data
// (LE16), XOR of the data, total packets of the transfer, number of this packet
// from 1.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace tola::serial {

inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kMaxPacketData = 500;
inline constexpr std::size_t kMaxBlockLength = 65535;

using Header = std::array<std::uint8_t, kHeaderSize>;

struct Checks {
    std::uint16_t sum = 0;
    std::uint8_t parity = 0;  // XOR of all bytes
};

Checks checks_of(const std::uint8_t* data, std::size_t length);

Header make_header(std::uint8_t code, std::uint8_t total, std::uint8_t number, const std::uint8_t* data,
                   std::size_t length);

inline std::uint16_t header_length(const Header& h) { return static_cast<std::uint16_t>(h[1] | (h[2] << 8)); }
inline std::uint16_t header_sum(const Header& h) { return static_cast<std::uint16_t>(h[3] | (h[4] << 8)); }
inline std::uint8_t header_parity(const Header& h) { return h[5]; }
inline std::uint8_t header_total(const Header& h) { return h[6]; }
inline std::uint8_t header_number(const Header& h) { return h[7]; }

// Packets needed for a block of n bytes.
constexpr std::size_t packet_count(std::size_t n) { return (n + kMaxPacketData - 1) / kMaxPacketData; }

}  // namespace tola::serial
