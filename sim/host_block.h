// What the instrument does with a host command block once it gets to it.  Works on
// the block's words in host order; the caller moves them to and from memory.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tola::sim {

namespace host {
inline constexpr std::uint32_t kLamp = 0x1, kSetState = 0x2, kReadQueue = 0x8, kBias = 0x20, kStore = 0x200,
                               kHostMode = 0x302, kService = 0x10000, kSampleRate = 0x40000,
                               kMeasure = 0x800000, kCalibrate = 0x1000000, kQuery = 0x80000000;
inline constexpr std::uint32_t kQueryDeviceType = 21;
inline constexpr std::uint32_t kServiceRestoreDefaults = 30;
}  // namespace host

inline constexpr std::array<std::uint32_t, 13> kSampleRates{50000, 25000, 16666, 10000, 5000, 3000, 2000,
                                                            1000,  500,   300,   200,   100,   50};

struct HostCommandEffect {
    bool restore_defaults = false;  // service command 30
};

// Carries out the command in word 0 and clears word 0.  Words beyond the span
// (blocks of older releases are shorter) are neither read nor written.
HostCommandEffect execute_host_command(std::span<std::uint32_t> words, std::uint32_t device_type);

}  // namespace tola::sim
