// Carries the requests of the USB driver channel to one device: the descriptor
// codes read the device descriptor, the first generation's pipe codes address its
// bulk endpoints by pipe number, and the request-block codes of the later
// generation and of boot mode are bulk transfers on its OUT and IN endpoints.
#pragma once

#include <optional>
#include <string>

#include "bridge/usb/product_table.h"
#include "bridge/usb/reply_windows.h"
#include "bridge/usb/usb_backend.h"
#include "comm/platform/usb_channel_frame.h"

namespace tola::usbd {

class RequestMapper {
public:
    explicit RequestMapper(ProductProfile profile) : profile_(std::move(profile)) {}

    // One request of a client connection; `device` is null when the device
    // could not be opened, and then every request is refused.  `pending` is
    // that connection's own: an erase announced on one connection lengthens
    // only that connection's next transfer, as the library's reply windows do.
    usbchannel::Reply handle(UsbDevice* device, const usbchannel::Request& request, PendingWork& pending);
    // The same for a single client.
    usbchannel::Reply handle(UsbDevice* device, const usbchannel::Request& request) {
        return handle(device, request, pending_);
    }

    // Why the last request was refused; empty after a success.
    const std::string& last_error() const { return last_error_; }
    // The last transfer found the device gone from the bus.
    bool device_gone() const { return gone_; }

    const ProductProfile& profile() const { return profile_; }

private:
    usbchannel::Reply descriptor(UsbDevice& device, const usbchannel::Request& request, int timeout_ms);
    usbchannel::Reply pipe_write(UsbDevice& device, const usbchannel::Request& request, int timeout_ms);
    usbchannel::Reply pipe_read(UsbDevice& device, const usbchannel::Request& request, int timeout_ms);
    usbchannel::Reply block_send(UsbDevice& device, const usbchannel::Request& request, int timeout_ms);
    usbchannel::Reply block_receive(UsbDevice& device, const usbchannel::Request& request, int timeout_ms);
    std::optional<Endpoint> pipe_endpoint(UsbDevice& device, const usbchannel::Request& request);
    std::optional<Endpoint> block_endpoint(UsbDevice& device, bool in);
    usbchannel::Reply refuse(std::string why);
    usbchannel::Reply finish(const TransferResult& result, const char* what, std::uint8_t endpoint);
    PendingWork work_announced_by(const usbchannel::Request& request) const;

    ProductProfile profile_;
    PendingWork pending_ = PendingWork::None;
    std::string last_error_;
    bool gone_ = false;
};

}  // namespace tola::usbd
