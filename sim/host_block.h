// What the instrument does with a host command block once it gets to it.  Works on
// the block's words in host order; the caller moves them to and from memory.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tola::sim {

namespace host {
inline constexpr std::uint32_t kLamp = 0x1, kSetState = 0x2, kStart = 0x4, kReadQueue = 0x8, kRateParameters = 0x10,
                               kBias = 0x20, kStore = 0x200,
                               kHostMode = 0x302, kService = 0x10000, kSampleRate = 0x40000,
                               kMeasure = 0x800000, kCalibrate = 0x1000000, kQuery = 0x80000000;
inline constexpr std::uint32_t kQueryDeviceType = 21;
inline constexpr std::uint32_t kServiceRestoreDefaults = 30, kServiceClearQueue = 22;
inline constexpr std::uint32_t kStartMeasure = 1, kStartCalibrate = 2;  // word 3 of kStart
inline constexpr std::uint32_t kStateClearQueue = 51, kStateStore = 53;
inline constexpr std::uint32_t kEventMeasurement = 0x2, kEventEcho = 0x4, kEventSampleInterval = 0x8;
// Every flag the firmware knows; a command with any other bit is not carried out.
inline constexpr std::uint32_t kKnownFlags = kLamp | kSetState | kStart | kReadQueue | kRateParameters | kBias |
                                             kStore | kService | kSampleRate | kMeasure | kCalibrate;
}  // namespace host

inline constexpr std::array<std::uint32_t, 13> kSampleRates{50000, 25000, 16666, 10000, 5000, 3000, 2000,
                                                            1000,  500,   300,   200,   100,   50};

// What a command asks of the rest of the instrument.
struct HostCommandEffect {
    bool restore_defaults = false;  // service command 30
    bool clear_queue = false;       // state 51 or service command 22
    bool store = false;             // state 53
    bool measure = false;           // colour measurement (or kind-1 start 1)
    bool calibrate = false;         // calibration (or kind-1 start 2)
    bool read_queue = false;        // queue entry of word 5
    bool host_mode = false;
    bool unknown = false;           // flags the firmware does not know: nothing done
};

// Carries out the command in word 0 on the block's words (in their host roles,
// host_layout.h) and clears word 0.  Words beyond the span are neither read nor
// written.
HostCommandEffect execute_host_command(std::span<std::uint32_t> words, std::uint32_t device_type);

}  // namespace tola::sim
