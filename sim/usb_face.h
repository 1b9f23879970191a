// One protocol the instrument speaks on its USB driver channel.  A face keeps the
// state of the exchange in progress (a request block waiting for its data, a
// status waiting to be read); a new connection starts it afresh.
#pragma once

#include <cstdint>
#include <vector>

#include "comm/platform/usb_channel_frame.h"
#include "sim/device_core.h"
#include "sim/faults.h"

namespace tola::sim {

class UsbFace {
public:
    virtual ~UsbFace() = default;
    virtual usbchannel::Reply handle(const usbchannel::Request& request, FaultPlan& faults, Clock::time_point now) = 0;
    virtual void reset() = 0;
};

inline usbchannel::Reply refused_reply() { return usbchannel::Reply{false, 0, {}}; }

inline usbchannel::Reply taken_reply(std::size_t bytes) {
    return usbchannel::Reply{true, static_cast<std::uint32_t>(bytes), {}};
}

// Data for the host, cut to what it offered to receive.
inline usbchannel::Reply data_reply(std::vector<std::uint8_t> data, std::uint32_t capacity) {
    if (data.size() > capacity) data.resize(capacity);
    const auto n = static_cast<std::uint32_t>(data.size());
    return usbchannel::Reply{true, n, std::move(data)};
}

}  // namespace tola::sim
