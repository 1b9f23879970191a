#include "bridge/usb/request_mapper.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace tola::usbd {
namespace {

namespace ch = tola::usbchannel;

std::string hex(std::uint32_t v) {
    char s[16];
    std::snprintf(s, sizeof s, "0x%X", v);
    return s;
}

// A bulk read asks for whole packets: a device that sends a full packet into a
// smaller buffer overflows the transfer.  The caller gets at most its capacity.
std::vector<std::uint8_t> read_buffer(std::uint32_t capacity, std::uint16_t max_packet) {
    const std::size_t packet = max_packet == 0 ? 64 : max_packet;
    const std::size_t packets = std::max<std::size_t>(1, (capacity + packet - 1) / packet);
    return std::vector<std::uint8_t>(packets * packet);
}

std::uint32_t kept(const TransferResult& r, std::uint32_t capacity) {
    return static_cast<std::uint32_t>(std::min<std::size_t>(r.length, capacity));
}

std::vector<Endpoint> bulk_endpoints(const UsbDevice& device) {
    std::vector<Endpoint> out;
    for (const auto& e : device.endpoints())
        if (e.bulk) out.push_back(e);
    return out;
}

}  // namespace

const char* describe(TransferStatus status) {
    switch (status) {
        case TransferStatus::Ok: return "done";
        case TransferStatus::Timeout: return "timed out";
        case TransferStatus::Stall: return "refused by the device (stall)";
        case TransferStatus::Gone: return "device gone";
        case TransferStatus::Failed: return "failed";
    }
    return "failed";
}

// The same reading of the requests as the library's reply windows (usb_channel_frame.h).
PendingWork RequestMapper::work_announced_by(const ch::Request& r) const {
    return ch::carries_sector_erase(r.code, r.input, r.output_payload) ? PendingWork::Erase : PendingWork::None;
}

ch::Reply RequestMapper::handle(UsbDevice* device, const ch::Request& request, PendingWork& pending) {
    last_error_.clear();
    gone_ = false;
    const int timeout = transfer_timeout_ms(request.code, pending);
    // An erase is announced by its command; the transfer after it waits for the erase.
    pending = work_announced_by(request);
    if (!device) return refuse("the device is not open");

    const bool pipes = profile_.protocol == Protocol::Pipes;
    switch (request.code) {
        case ch::kReadDescriptor:
        case ch::kReadDescriptorEzusb: return descriptor(*device, request, timeout);
        case ch::kBulkWrite:
            if (pipes) return pipe_write(*device, request, timeout);
            break;
        case ch::kBulkRead:
            if (pipes) return pipe_read(*device, request, timeout);
            break;
        case ch::kSendBlock:
            if (!pipes) return block_send(*device, request, timeout);
            break;
        case ch::kReceive:
            if (!pipes) return block_receive(*device, request, timeout);
            break;
        default: return refuse("unknown control code " + hex(request.code));
    }
    return refuse("control code " + hex(request.code) + " does not belong to this device's protocol");
}

ch::Reply RequestMapper::refuse(std::string why) {
    last_error_ = std::move(why);
    return ch::Reply{false, 0, {}};
}

ch::Reply RequestMapper::finish(const TransferResult& result, const char* what, std::uint8_t endpoint) {
    if (result.ok()) return ch::Reply{true, static_cast<std::uint32_t>(result.length), {}};
    if (result.status == TransferStatus::Gone) gone_ = true;
    return refuse(std::string(what) + " on endpoint " + hex(endpoint) + ": " + describe(result.status));
}

ch::Reply RequestMapper::descriptor(UsbDevice& device, const ch::Request& request, int timeout_ms) {
    std::array<std::uint8_t, 18> d{};
    const auto r = device.read_device_descriptor(d, timeout_ms);
    if (!r.ok()) {
        if (r.status == TransferStatus::Gone) gone_ = true;
        return refuse(std::string("device descriptor: ") + describe(r.status));
    }
    const auto n = std::min<std::size_t>({r.length, d.size(), request.output_capacity});
    return ch::Reply{true, static_cast<std::uint32_t>(n), std::vector<std::uint8_t>(d.begin(), d.begin() + n)};
}

std::optional<Endpoint> RequestMapper::pipe_endpoint(UsbDevice& device, const ch::Request& request) {
    if (request.input.size() < 4) {
        refuse("a pipe request without its pipe number");
        return std::nullopt;
    }
    const std::uint32_t pipe = ch::get_u32(request.input.data());
    if (!profile_.pipes.empty()) {
        if (pipe < profile_.pipes.size()) {
            // The configured endpoint with what the interface says of it.
            for (const auto& e : bulk_endpoints(device))
                if (e.address == profile_.pipes[pipe]) return e;
            return Endpoint{profile_.pipes[pipe], true};
        }
    } else if (const auto list = bulk_endpoints(device); pipe < list.size()) {
        return list[pipe];
    }
    refuse("the device has no pipe " + std::to_string(pipe));
    return std::nullopt;
}

ch::Reply RequestMapper::pipe_write(UsbDevice& device, const ch::Request& request, int timeout_ms) {
    const auto ep = pipe_endpoint(device, request);
    if (!ep) return ch::Reply{};
    if (ep->in()) return refuse("pipe " + std::to_string(ch::get_u32(request.input.data())) + " carries data in, not out");
    return finish(device.bulk_out(ep->address, request.output_payload, timeout_ms), "bulk write", ep->address);
}

ch::Reply RequestMapper::pipe_read(UsbDevice& device, const ch::Request& request, int timeout_ms) {
    const auto ep = pipe_endpoint(device, request);
    if (!ep) return ch::Reply{};
    if (!ep->in()) return refuse("pipe " + std::to_string(ch::get_u32(request.input.data())) + " carries data out, not in");
    std::vector<std::uint8_t> buffer = read_buffer(request.output_capacity, ep->max_packet);
    const auto r = device.bulk_in(ep->address, buffer, timeout_ms);
    auto reply = finish(r, "bulk read", ep->address);
    if (reply.success) {
        reply.bytes_returned = kept(r, request.output_capacity);
        reply.output.assign(buffer.begin(), buffer.begin() + reply.bytes_returned);
    }
    return reply;
}

std::optional<Endpoint> RequestMapper::block_endpoint(UsbDevice& device, bool in) {
    const auto& configured = in ? profile_.in_endpoint : profile_.out_endpoint;
    const auto list = bulk_endpoints(device);
    if (configured) {
        for (const auto& e : list)
            if (e.address == *configured) return e;
        return Endpoint{*configured, true};
    }
    for (const auto& e : list)
        if (e.in() == in) return e;
    refuse(std::string("the device has no bulk ") + (in ? "IN" : "OUT") + " endpoint");
    return std::nullopt;
}

ch::Reply RequestMapper::block_send(UsbDevice& device, const ch::Request& request, int timeout_ms) {
    const auto ep = block_endpoint(device, false);
    if (!ep) return ch::Reply{};
    return finish(device.bulk_out(ep->address, request.input, timeout_ms), "send", ep->address);
}

ch::Reply RequestMapper::block_receive(UsbDevice& device, const ch::Request& request, int timeout_ms) {
    const auto ep = block_endpoint(device, true);
    if (!ep) return ch::Reply{};
    std::vector<std::uint8_t> buffer = read_buffer(request.output_capacity, ep->max_packet);
    const auto r = device.bulk_in(ep->address, buffer, timeout_ms);
    auto reply = finish(r, "receive", ep->address);
    if (reply.success) {
        reply.bytes_returned = kept(r, request.output_capacity);
        reply.output.assign(buffer.begin(), buffer.begin() + reply.bytes_returned);
    }
    return reply;
}

}  // namespace tola::usbd
