// The virtual instruments as devices on a USB bus: the endpoints of their one
// interface, in the order its descriptor lists them, and which channel request
// a transfer on each endpoint is.  The first generation's EZ-USB lists its
// status pipe, data-in pipe, command pipe and data-out pipe, so that pipe n of
// the driver is endpoint n of the interface; the memory-mapped generation and
// the boot-mode controller have one bulk OUT and one bulk IN endpoint.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "comm/platform/usb_channel_frame.h"

namespace tola::sim::usb_interface {

inline constexpr std::array<std::uint8_t, 4> kClassicEndpoints{0x81, 0x82, 0x02, 0x04};
inline constexpr std::array<std::uint8_t, 2> kBlockEndpoints{0x01, 0x81};

inline std::span<const std::uint8_t> endpoints(bool classic) {
    if (classic) return kClassicEndpoints;
    return kBlockEndpoints;
}

// The channel request that a bulk transfer on the endpoint is; none for an
// endpoint the interface lacks or a transfer against its direction.
inline std::optional<usbchannel::Request> request_for(bool classic, std::uint8_t endpoint,
                                                      std::span<const std::uint8_t> out_data,
                                                      std::uint32_t in_capacity) {
    const bool in = (endpoint & 0x80) != 0;
    usbchannel::Request r;
    if (classic) {
        std::uint32_t pipe = 0;
        while (pipe < kClassicEndpoints.size() && kClassicEndpoints[pipe] != endpoint) ++pipe;
        if (pipe == kClassicEndpoints.size()) return std::nullopt;
        usbchannel::put_u32(r.input, pipe);
        r.code = in ? usbchannel::kBulkRead : usbchannel::kBulkWrite;
        r.output_capacity = in ? in_capacity : static_cast<std::uint32_t>(out_data.size());
        if (!in) r.output_payload.assign(out_data.begin(), out_data.end());
        return r;
    }
    if (endpoint != kBlockEndpoints[0] && endpoint != kBlockEndpoints[1]) return std::nullopt;
    r.code = in ? usbchannel::kReceive : usbchannel::kSendBlock;
    if (in) r.output_capacity = in_capacity;
    else r.input.assign(out_data.begin(), out_data.end());
    return r;
}

}  // namespace tola::sim::usb_interface
