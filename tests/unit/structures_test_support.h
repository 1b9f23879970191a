// Helpers for the converter tests: byte vectors with values placed by hand at
// given offsets in a given byte order.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "comm/structures/structure_converter.h"

namespace structures_test {

using tola::structures::ByteOrder;
using tola::structures::Direction;
using tola::structures::StructureKind;
using Bytes = std::vector<std::uint8_t>;

// Newest first, as the instrument releases are listed.
inline constexpr std::array<unsigned, 19> kAllReleases{32, 31, 30, 29, 28, 27, 26, 25, 24, 23,
                                                       22, 20, 19, 18, 17, 16, 15, 14, 11};

inline std::string release(unsigned number) {
    return "CK0A.00." + std::to_string(number / 10) + std::to_string(number % 10) + ".00";
}

// Writes a value at `offset` in the given order, as the instrument stores it.
inline void put32(Bytes& b, std::size_t offset, std::uint32_t v, ByteOrder order) {
    for (int i = 0; i < 4; ++i) {
        const int shift = order == ByteOrder::BigEndian ? 24 - 8 * i : 8 * i;
        b.at(offset + i) = static_cast<std::uint8_t>(v >> shift);
    }
}
inline void put16(Bytes& b, std::size_t offset, std::uint16_t v, ByteOrder order) {
    b.at(offset) = static_cast<std::uint8_t>(order == ByteOrder::BigEndian ? v >> 8 : v);
    b.at(offset + 1) = static_cast<std::uint8_t>(order == ByteOrder::BigEndian ? v : v >> 8);
}
inline std::uint32_t get32(const Bytes& b, std::size_t offset, ByteOrder order) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        const int shift = order == ByteOrder::BigEndian ? 24 - 8 * i : 8 * i;
        v |= static_cast<std::uint32_t>(b.at(offset + i)) << shift;
    }
    return v;
}
inline std::uint16_t get16(const Bytes& b, std::size_t offset, ByteOrder order) {
    return order == ByteOrder::BigEndian ? static_cast<std::uint16_t>(b.at(offset) << 8 | b.at(offset + 1))
                                         : static_cast<std::uint16_t>(b.at(offset) | b.at(offset + 1) << 8);
}

// Host copies are kept in the host's own order.
inline void host32(Bytes& b, std::size_t offset, std::uint32_t v) { std::memcpy(&b.at(offset), &v, 4); }
inline std::uint32_t host32(const Bytes& b, std::size_t offset) {
    std::uint32_t v;
    std::memcpy(&v, &b.at(offset), 4);
    return v;
}
inline void host16(Bytes& b, std::size_t offset, std::uint16_t v) { std::memcpy(&b.at(offset), &v, 2); }
inline std::uint16_t host16(const Bytes& b, std::size_t offset) {
    std::uint16_t v;
    std::memcpy(&v, &b.at(offset), 2);
    return v;
}

inline void put_text(Bytes& b, std::size_t offset, const std::string& text) {
    std::memcpy(&b.at(offset), text.c_str(), text.size() + 1);
}
inline std::string text_at(const Bytes& b, std::size_t offset) {
    return std::string(reinterpret_cast<const char*>(&b.at(offset)));
}

inline bool upload(StructureKind kind, unsigned number, ByteOrder order, Bytes& host, Bytes& target) {
    return tola::structures::convert(kind, Direction::Upload, release(number), order, host, target);
}
inline bool download(StructureKind kind, unsigned number, ByteOrder order, Bytes& host, Bytes& target) {
    return tola::structures::convert(kind, Direction::Download, release(number), order, host, target);
}

// Fixture parameter: every content test runs for both instrument byte orders.
class EitherOrder : public ::testing::TestWithParam<ByteOrder> {
protected:
    ByteOrder order() const { return GetParam(); }
};

inline std::string order_name(const ::testing::TestParamInfo<ByteOrder>& info) {
    return info.param == ByteOrder::BigEndian ? "BigEndian" : "LittleEndian";
}

#define STRUCTURES_BOTH_ORDERS(Suite)                                                                  \
    INSTANTIATE_TEST_SUITE_P(, Suite, ::testing::Values(ByteOrder::LittleEndian, ByteOrder::BigEndian), \
                             structures_test::order_name)

}  // namespace structures_test
