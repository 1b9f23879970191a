// A USB driver channel device that knows nothing but its device descriptor:
// for the identification of devices that are no instrument (another vendor, a
// Renesas part in another role) and of one whose descriptor cannot be read.
// Every other request is refused.  Served by a thread until destroyed.
#pragma once

#include "comm/platform/usb_channel_frame.h"
#include "sim/request_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tola::testing {

class DescriptorOnlyDevice {
public:
    struct Identity {
        std::uint16_t vendor;
        std::uint16_t product;
        std::uint16_t release;
    };

    // Serves at `socket_path`; without an identity every descriptor request is refused.
    DescriptorOnlyDevice(const std::string& socket_path, std::optional<Identity> identity)
        : path_(socket_path), identity_(identity) {
        listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (listener_ < 0 || path_.size() >= sizeof address.sun_path) throw std::runtime_error("no socket");
        std::memcpy(address.sun_path, path_.c_str(), path_.size() + 1);
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener_, 4) != 0)
            throw std::runtime_error("cannot listen at " + path_);
        if (::pipe2(stop_, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
        thread_ = std::thread([this] { run(); });
    }
    ~DescriptorOnlyDevice() {
        (void)!::write(stop_[1], "x", 1);
        thread_.join();
        ::close(stop_[0]);
        ::close(stop_[1]);
        ::close(listener_);
        ::unlink(path_.c_str());
    }
    DescriptorOnlyDevice(const DescriptorOnlyDevice&) = delete;
    DescriptorOnlyDevice& operator=(const DescriptorOnlyDevice&) = delete;

private:
    struct Connection {
        int fd;
        sim::RequestReader reader;
    };

    usbchannel::Reply reply_to(const usbchannel::Request& r) const {
        const bool descriptor = r.code == usbchannel::kReadDescriptor || r.code == usbchannel::kReadDescriptorEzusb;
        if (!descriptor || !identity_) return usbchannel::Reply{false, 0, {}};
        std::vector<std::uint8_t> d(18, 0);
        d[0] = 18;
        d[1] = 1;
        const std::uint16_t fields[3] = {identity_->vendor, identity_->product, identity_->release};
        for (std::size_t i = 0; i < 3; ++i) {
            d[8 + 2 * i] = static_cast<std::uint8_t>(fields[i] & 0xFF);
            d[9 + 2 * i] = static_cast<std::uint8_t>(fields[i] >> 8);
        }
        d.resize(std::min<std::size_t>(d.size(), r.output_capacity));
        return usbchannel::Reply{true, static_cast<std::uint32_t>(d.size()), d};
    }

    // Answers what arrived; false when the peer went away.
    bool serve(Connection& c) const {
        std::array<std::uint8_t, 4096> buffer{};
        const ssize_t n = ::recv(c.fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) return false;
        c.reader.append(std::span(buffer).first(static_cast<std::size_t>(n)));
        usbchannel::Request request;
        while (c.reader.next(request) == sim::RequestReader::Status::Ready) {
            const auto bytes = usbchannel::encode(reply_to(request));
            if (::send(c.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
                return false;
        }
        return true;
    }

    void run() {
        std::vector<Connection> connections;
        for (;;) {
            std::vector<pollfd> fds{{stop_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
            for (const auto& c : connections) fds.push_back({c.fd, POLLIN, 0});
            if (::poll(fds.data(), fds.size(), -1) <= 0) continue;
            if (fds[0].revents != 0) break;
            for (std::size_t i = connections.size(); i-- > 0;) {
                if (fds[i + 2].revents == 0 || serve(connections[i])) continue;
                ::close(connections[i].fd);
                connections.erase(connections.begin() + static_cast<std::ptrdiff_t>(i));
            }
            if (fds[1].revents & POLLIN) {
                const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
                if (fd >= 0) connections.push_back(Connection{fd, {}});
            }
        }
        for (const auto& c : connections) ::close(c.fd);
    }

    std::string path_;
    std::optional<Identity> identity_;
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace tola::testing
