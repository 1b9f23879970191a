// The request-block protocol of the memory-mapped generation (kind 4): 12-byte
// blocks sent with 0x222405, data and replies fetched with 0x222402.
//
//   block: 0, 0, space or command code, 0, address or value (LE), length (LE u16),
//          1 for a read else 0, 0
//   read:    block, then receive -> the data
//   write:   block, then the data; STM32 answers with a 12-byte reply (first u16 = 8
//            when the write was done), the H8SX answers nothing
//   command: STM32: block, then receive a 12-byte reply; command 10 instead sends
//            the block again and gets no reply.  H8SX: block, block again.
#pragma once

#include <array>
#include <optional>

#include "sim/usb_face.h"

namespace tola::sim {

inline constexpr std::uint16_t kReplyDone = 8;
inline constexpr std::uint16_t kReplyRefused = 15;

namespace ctl {
inline constexpr std::uint8_t kEraseSector = 9, kRestart = 10, kEnterUpdate = 11, kAccept = 12;
}

class ControllerFace final : public UsbFace {
public:
    explicit ControllerFace(DeviceCore& core) : core_(core) {}
    usbchannel::Reply handle(const usbchannel::Request& request, FaultPlan& faults, Clock::time_point now) override;
    void reset() override { pending_ = Pending{}; }

private:
    enum class Wait { Block, ReadData, WriteData, Reply, RepeatedBlock };
    struct Pending {
        Wait wait = Wait::Block;
        std::array<std::uint8_t, 12> block{};
        std::optional<std::vector<std::uint8_t>> data;  // read data waiting for the host
        std::uint16_t status = kReplyDone;
        bool ack_lost = false;  // done, but the reply never reaches the host
    };

    usbchannel::Reply on_block(const usbchannel::Request& request, Clock::time_point now);
    usbchannel::Reply on_data(const usbchannel::Request& request, Clock::time_point now);
    usbchannel::Reply on_receive(const usbchannel::Request& request);
    bool space_allows(std::uint8_t space, bool read, std::uint32_t address, std::uint32_t length) const;
    std::uint16_t run_command(std::uint8_t code, std::uint32_t value);
    bool stm32() const { return core_.config().cpu == 2; }

    DeviceCore& core_;
    Pending pending_;
};

}  // namespace tola::sim
