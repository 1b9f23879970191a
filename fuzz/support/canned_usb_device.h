// A first-generation (EZ-USB) device at the far end of a socket pair, for the
// fuzz targets that drive the library's USB link: it answers every request at
// once from a canned script, so the library's success paths run, and it meets
// one chosen request with a chosen fault, so do its failure paths.
//
//   bulk write, pipe 2 (command)   taken whole; the command byte is remembered
//   bulk write, pipe 3 (data)      taken whole
//   bulk read,  pipe 0 (status)    3 bytes: the last command byte echoed
//   bulk read,  any other pipe     as many zero bytes as asked for
//   anything else                  refused
#pragma once

#include "comm/platform/usb_channel_frame.h"

#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace tola::fuzz {

enum class UsbFault : std::uint8_t {
    None,
    Refused,         // the request is refused
    InvalidCommand,  // a status read answers 0x84
    AccessError,     // a status read answers 0xFF
    UnknownStatus,   // a status read answers 0x00
    ShortAnswer,     // the request moves one byte only
    Count,
};

class CannedUsbDevice {
public:
    CannedUsbDevice() {
        int fds[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return;
        library_end_ = fds[0];
        device_end_ = fds[1];
        std::thread([this] { serve(); }).detach();
    }
    CannedUsbDevice(const CannedUsbDevice&) = delete;
    CannedUsbDevice& operator=(const CannedUsbDevice&) = delete;

    // The descriptor the library's record holds as its open device.
    int library_end() const { return library_end_; }

    // The next requests are counted from 1; request number `at` meets `fault`.
    void plan(UsbFault fault, unsigned at) {
        fault_.store(fault);
        fault_at_.store(at);
        served_.store(0);
    }

private:
    static bool read_all(int fd, std::uint8_t* into, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::recv(fd, into, size, 0);
            if (n <= 0) return false;
            into += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    usbchannel::Reply answer(std::uint32_t code, const std::vector<std::uint8_t>& input, std::uint32_t capacity,
                             const std::vector<std::uint8_t>& payload) {
        const bool faulted = served_.fetch_add(1) + 1 == fault_at_.load();
        const UsbFault fault = faulted ? fault_.load() : UsbFault::None;
        usbchannel::Reply reply;
        const std::uint32_t pipe = usbchannel::pipe_of(input);
        if (fault == UsbFault::Refused || (code != usbchannel::kBulkWrite && code != usbchannel::kBulkRead))
            return reply;
        reply.success = true;
        if (code == usbchannel::kBulkWrite) {
            if (pipe == usbchannel::kCommandPipe && !payload.empty()) last_command_ = payload[0];
            reply.bytes_returned = fault == UsbFault::ShortAnswer ? 1 : static_cast<std::uint32_t>(payload.size());
            return reply;
        }
        reply.output.assign(fault == UsbFault::ShortAnswer ? std::min<std::uint32_t>(capacity, 1) : capacity, 0);
        if (pipe == 0 && !reply.output.empty()) {
            switch (fault) {
                case UsbFault::InvalidCommand: reply.output[0] = 0x84; break;
                case UsbFault::AccessError: reply.output[0] = 0xFF; break;
                case UsbFault::UnknownStatus: reply.output[0] = 0x00; break;
                default: reply.output[0] = last_command_; break;
            }
        }
        reply.bytes_returned = static_cast<std::uint32_t>(reply.output.size());
        return reply;
    }

    void serve() {
        for (;;) {
            std::array<std::uint8_t, usbchannel::kHeaderSize> header{};
            if (!read_all(device_end_, header.data(), header.size())) return;
            const auto h = usbchannel::parse_request_header(header);
            if (!h) return;
            std::vector<std::uint8_t> input(h->input_length), payload(h->payload_length);
            if (!read_all(device_end_, input.data(), input.size()) ||
                !read_all(device_end_, payload.data(), payload.size()))
                return;
            const auto bytes = usbchannel::encode(answer(h->code, input, h->output_capacity, payload));
            if (::send(device_end_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
                return;
        }
    }

    int library_end_ = -1;
    int device_end_ = -1;
    std::uint8_t last_command_ = 0;
    std::atomic<UsbFault> fault_{UsbFault::None};
    std::atomic<unsigned> fault_at_{0};
    std::atomic<unsigned> served_{0};
};

}  // namespace tola::fuzz
