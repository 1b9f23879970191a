// Where each word of the host command block lies in an instrument's own block.
//
// The instrument works on its block in the sixteen word roles of the current
// firmware (0 command, 1-7 arguments and answers, 8 state, 9 lamp bits, 12 queue,
// 13 bias, 14 command time, 15 event flags); older firmware keeps the same roles
// at other positions of a longer or shorter block:
//
//   role      .24 on   .22/.23   .20   .14-.19
//   0-3       0-3      0-2, 4    0-3   0-3
//   4         4        5         -     -
//   5         5        6         4     -
//   6, 7      6, 7     7, 8      -     -
//   8-10      8-10     11, 12,14 7-9   6-8
//   11        11       15        -     -
//   12        12       16        10    -
//   13, 14    13, 14   17, 18    -     -
//   15        15       10        6     5
//   words     16       19        11    9
//
// (.22/.23 keep a copy of word 2's argument in their word 3; .11 has no block.)
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "sim/byte_order.h"

namespace tola::sim {

inline constexpr std::size_t kHostWords = 16;
using HostWords = std::array<std::uint32_t, kHostWords>;

namespace hw {  // word roles
inline constexpr std::size_t kCommand = 0, kArg1 = 1, kArg2 = 2, kAnswer = 3, kQueueIndex = 5, kBiasArg = 6,
                             kRateArg = 7, kState = 8, kLamp = 9, kService = 11, kQueue = 12, kBias = 13,
                             kCommandTime = 14, kEvents = 15;
}

struct HostLayout {
    std::size_t words = 0;                  // length of the release's block in words
    std::array<int, kHostWords> target{};  // position of each role, -1 where the release has none

    bool has(std::size_t role) const { return target[role] >= 0; }
};

HostLayout host_layout(int layout_number);

// The roles read from a block in the release's layout; roles it lacks read 0.
HostWords read_host_words(std::span<const std::uint8_t> block, const HostLayout& layout, ByteOrder order);
// Writes the roles the release has; every other byte of the block stays.
void write_host_words(std::span<std::uint8_t> block, const HostWords& words, const HostLayout& layout,
                      ByteOrder order);

}  // namespace tola::sim
