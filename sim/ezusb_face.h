// The first generation's EZ-USB face (kind 1): commands go out on bulk pipe 2,
// a 3-byte status comes back on pipe 0, memory data in on pipe 1 and out on pipe 3.
//
// Commands (big-endian address): 0x23 read (addr, length 1..64), 0x22 write (same,
// data follows on pipe 3), 0x21 erase (sector index), 0xAB start the loader at
// 0x801000, 0xAA reset.  A good status echoes the command byte; 0x84 is an unknown
// command, 0xFF a failed access; the erase reports its result in status byte 1.
#pragma once

#include <array>
#include <optional>

#include "sim/usb_face.h"

namespace tola::sim {

namespace ez {
inline constexpr std::uint32_t kStatusPipe = 0, kDataInPipe = 1, kCommandPipe = 2, kDataOutPipe = 3;
inline constexpr std::uint8_t kRead = 0x23, kWrite = 0x22, kErase = 0x21, kJump = 0xAB, kReset = 0xAA;
inline constexpr std::uint8_t kInvalid = 0x84, kAccessError = 0xFF;
inline constexpr std::uint8_t kEraseFailed = 4;
inline constexpr std::uint32_t kLoaderStart = 0x801000;
}  // namespace ez

class EzusbFace final : public UsbFace {
public:
    explicit EzusbFace(DeviceCore& core) : core_(core) {}
    usbchannel::Reply handle(const usbchannel::Request& request, FaultPlan& faults, Clock::time_point now) override;
    void reset() override;

private:
    usbchannel::Reply on_command(std::span<const std::uint8_t> cmd, FaultPlan& faults);
    usbchannel::Reply on_data_out(std::span<const std::uint8_t> data, Clock::time_point now);
    usbchannel::Reply on_status(const usbchannel::Request& request, FaultPlan& faults);
    usbchannel::Reply on_data_in(const usbchannel::Request& request);
    void set_status(std::uint8_t b0, std::uint8_t b1 = 0) { status_ = std::array<std::uint8_t, 3>{b0, b1, 0}; }

    struct PendingWrite {
        std::uint32_t address;
        std::uint32_t length;
    };

    DeviceCore& core_;
    std::optional<std::array<std::uint8_t, 3>> status_;
    std::optional<std::vector<std::uint8_t>> read_data_;
    std::optional<PendingWrite> write_;
    bool reset_pending_ = false;
    bool loader_written_ = false;  // survives reconnection: it is the instrument's RAM
};

}  // namespace tola::sim
