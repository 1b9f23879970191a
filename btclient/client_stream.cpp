#include "btclient/client_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tola::btclient {
namespace {

void copy_text(char* out, std::size_t capacity, const std::string& text) {
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(out, text.data(), n);
    std::memset(out + n, 0, capacity - n);
}

}  // namespace

int32_t ClientStream::open(int fd) {
    close();
    fd_ = fd;
    last_handle_ = last_handle_ >= 0x7FFF ? 1 : last_handle_ + 1;
    handle_ = last_handle_;
    return handle_;
}

void ClientStream::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    handle_ = 0;
    peer_closed_ = false;
}

int32_t ClientStream::read(void* buffer, uint32_t length, uint32_t* bytes_read) {
    if (bytes_read) *bytes_read = 0;
    if (!buffer || !bytes_read || fd_ < 0) return 0;
    if (length == 0) return 1;
    for (;;) {
        const ssize_t n = ::recv(fd_, buffer, length, MSG_DONTWAIT);
        if (n > 0) {
            *bytes_read = static_cast<uint32_t>(n);
            return 1;
        }
        if (n == 0) {
            peer_closed_ = true;
            return 1;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return 1;
        peer_closed_ = true;  // the link is gone (ECONNRESET, EHOSTDOWN, ...)
        return 0;
    }
}

int32_t ClientStream::write(const void* buffer, uint32_t length, uint32_t* bytes_written) {
    if (bytes_written) *bytes_written = 0;
    if (!buffer || !bytes_written || fd_ < 0) return 0;
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    uint32_t done = 0;
    while (done < length) {
        const ssize_t n = ::send(fd_, p + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd w{fd_, POLLOUT, 0};
            if (::poll(&w, 1, kWriteStallMs) > 0) continue;
        }
        break;
    }
    *bytes_written = done;
    return done == length ? 1 : 0;
}

int32_t ClientStream::clear() {
    if (fd_ < 0) return 0;
    char sink[4096];
    for (;;) {
        const ssize_t n = ::recv(fd_, sink, sizeof sink, MSG_DONTWAIT);
        if (n > 0) continue;
        if (n == 0) peer_closed_ = true;
        if (n < 0 && errno == EINTR) continue;
        return 1;
    }
}

int32_t ClientStream::status(int32_t handle) {
    if (fd_ < 0 || handle != handle_ || peer_closed_) return 0;
    pollfd p{fd_, static_cast<short>(POLLIN | POLLRDHUP), 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLRDHUP | POLLERR))) {
        peer_closed_ = true;
        return 0;
    }
    return 1;
}

void put_device(BT_DEVICE& record, const std::string& address, const std::string& name) {
    copy_text(record.snBtAddress, sizeof(TMNAME), address);
    copy_text(record.snBtDeviceName, sizeof(TMNAME), name);
}

}  // namespace tola::btclient
