#include "sim/platform/unix_socket.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tola::sim::os {

Fd& Fd::operator=(Fd&& o) noexcept {
    if (this != &o) {
        reset();
        fd_ = o.release();
    }
    return *this;
}

int Fd::release() {
    const int f = fd_;
    fd_ = -1;
    return f;
}

void Fd::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

namespace {

std::optional<sockaddr_un> address_of(const std::filesystem::path& path) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    const std::string s = path.string();
    if (s.size() >= sizeof a.sun_path) return std::nullopt;
    std::memcpy(a.sun_path, s.c_str(), s.size() + 1);
    return a;
}

}  // namespace

Fd listen_at(const std::filesystem::path& path, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what + " " + path.string() + ": " + std::strerror(errno);
        return Fd{};
    };
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec) {
        if (error) *error = "cannot create " + path.parent_path().string() + ": " + ec.message();
        return Fd{};
    }
    const auto addr = address_of(path);
    if (!addr) {
        if (error) *error = "socket path too long: " + path.string();
        return Fd{};
    }
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) return fail("socket for");
    // The socket is bound under a passing name and renamed once it listens, so
    // that whoever sees it appear can connect at once.
    const auto passing = path.parent_path() / ("." + path.filename().string() + ".new");
    const auto bound = address_of(passing);
    const auto& where = bound ? passing : path;
    ::unlink(where.c_str());
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(bound ? &*bound : &*addr), sizeof *addr) != 0)
        return fail("bind");
    if (::listen(fd.get(), 8) != 0) {
        ::unlink(where.c_str());
        return fail("listen");
    }
    if (bound && ::rename(passing.c_str(), path.c_str()) != 0) {
        ::unlink(passing.c_str());
        return fail("rename to");
    }
    return fd;
}

Fd accept_from(const Fd& listener) {
    return Fd(::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

Fd connect_to(const std::filesystem::path& path) {
    const auto addr = address_of(path);
    if (!addr) return Fd{};
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return fd;
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*addr), sizeof *addr) != 0) return Fd{};
    return fd;
}

void remove_socket_file(const std::filesystem::path& path) { ::unlink(path.c_str()); }

long read_some(const Fd& fd, std::span<std::uint8_t> buffer) {
    for (;;) {
        const ssize_t n = ::recv(fd.get(), buffer.data(), buffer.size(), 0);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
    }
}

long write_some(const Fd& fd, std::span<const std::uint8_t> data) {
    for (;;) {
        const ssize_t n = ::send(fd.get(), data.data(), data.size(), MSG_NOSIGNAL);
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
    }
}

namespace {
using Clock = std::chrono::steady_clock;

bool wait_ready(const Fd& fd, short events, Clock::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd.get(), events, 0};
        const int r = ::poll(&p, 1, static_cast<int>(left));
        if (r > 0) return true;
        if (r < 0 && errno != EINTR) return false;
    }
}
}  // namespace

bool send_all(const Fd& fd, std::span<const std::uint8_t> data, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!data.empty()) {
        if (!wait_ready(fd, POLLOUT, deadline)) return false;
        const ssize_t n = ::send(fd.get(), data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return false;
        }
        data = data.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

bool receive_exact(const Fd& fd, std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!buffer.empty()) {
        if (!wait_ready(fd, POLLIN, deadline)) return false;
        const ssize_t n = ::recv(fd.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
        if (n == 0) return false;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return false;
        }
        buffer = buffer.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

int wait_for(std::vector<pollfd>& fds, int timeout_ms) {
    for (;;) {
        const int r = ::poll(fds.data(), fds.size(), timeout_ms);
        if (r >= 0 || errno != EINTR) return r;
    }
}

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (!fd_) throw std::system_error(errno, std::generic_category(), "eventfd");
}

void WakeEvent::signal() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_.get(), &one, sizeof one);
}

void WakeEvent::drain() const {
    std::uint64_t v = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_.get(), &v, sizeof v);
}

}  // namespace tola::sim::os
