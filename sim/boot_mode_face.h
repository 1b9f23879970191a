// The H8SX in boot mode (kind 3): the Renesas boot-mode dialogue, one step per
// request.  The host sends a step's bytes with 0x222405 and fetches the answer
// with 0x222402.  Answer blocks carry a trailing sum byte that makes the block
// add up to 0 modulo 256; selections are checked the same way.
#pragma once

#include <optional>

#include "sim/usb_face.h"

namespace tola::sim {

namespace boot {
inline constexpr std::uint8_t kSync = 0x55, kSyncAnswer = 0xE6, kAck = 0x06;
inline constexpr std::uint8_t kDevices = 0x20, kClockModes = 0x21, kRatios = 0x22, kFrequencies = 0x23,
                              kUserBootArea = 0x25, kUserArea = 0x26, kEraseBlocks = 0x27;
inline constexpr std::uint8_t kSelectDevice = 0x10, kSelectClock = 0x11, kBitRate = 0x3F, kProgramming = 0x40,
                              kStatus = 0x4F, kStatusAnswer = 0x5F;
inline constexpr std::array<std::uint8_t, 4> kDeviceCode{'1', '6', '5', '3'};
}  // namespace boot

// The sum byte that completes a block.
std::uint8_t boot_sum(std::span<const std::uint8_t> bytes);

class BootModeFace final : public UsbFace {
public:
    explicit BootModeFace(DeviceCore& core) : core_(core) {}
    usbchannel::Reply handle(const usbchannel::Request& request, FaultPlan& faults, Clock::time_point now) override;
    void reset() override;

private:
    std::vector<std::uint8_t> step(std::span<const std::uint8_t> in);
    std::vector<std::uint8_t> selection(std::span<const std::uint8_t> in, std::uint8_t error_code,
                                        bool (BootModeFace::*accept)(std::span<const std::uint8_t>));
    bool accept_device(std::span<const std::uint8_t> data);
    bool accept_clock(std::span<const std::uint8_t> data);
    bool accept_bit_rate(std::span<const std::uint8_t> data);

    DeviceCore& core_;
    std::optional<std::vector<std::uint8_t>> answer_;
    bool synced_ = false;
    bool device_selected_ = false;
    bool clock_selected_ = false;
    bool bit_rate_set_ = false;
    bool programming_ = false;
};

}  // namespace tola::sim
