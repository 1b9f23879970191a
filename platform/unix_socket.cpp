#include "platform/unix_socket.h"

#include "platform/private_folder.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace tola::os {

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

int ms_left(Deadline deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Waits until the socket is ready for the events; false at the deadline or on failure.
bool wait_ready(const Fd& fd, short events, Deadline deadline) {
    for (;;) {
        pollfd p{fd.get(), events, 0};
        const int r = ::poll(&p, 1, ms_left(deadline));
        if (r > 0) return true;
        if (r == 0 || errno != EINTR) return false;
    }
}

}  // namespace

Fd listen_at(const std::filesystem::path& path, std::string& error) {
    // A socket speaks for an instrument: only in a folder that no one else can reach.
    if (!make_private_folder(path.parent_path(), error)) return Fd{};
    const auto address = address_of(path);
    if (!address) {
        error = "socket path too long: " + path.string();
        return Fd{};
    }
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fd) {
        error = std::string("socket: ") + std::strerror(errno);
        return Fd{};
    }
    const auto passing = path.parent_path() / ("." + path.filename().string() + ".new");
    const auto passing_address = address_of(passing);
    const auto& bound = passing_address ? passing : path;  // a name too long to pass binds in place
    ::unlink(bound.c_str());
    const sockaddr_un& a = passing_address ? *passing_address : *address;
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0 || ::listen(fd.get(), 8) != 0 ||
        (passing_address && ::rename(passing.c_str(), path.c_str()) != 0)) {
        error = "cannot listen at " + path.string() + ": " + std::strerror(errno);
        ::unlink(bound.c_str());
        return Fd{};
    }
    return fd;
}

Fd accept_from(const Fd& listener) {
    return Fd(::accept4(listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
}

Fd connect_to(const std::filesystem::path& path) {
    const auto address = address_of(path);
    if (!address) return Fd{};
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd) return fd;
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) return Fd{};
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

Received receive_until(const Fd& fd, std::span<std::uint8_t> buffer, Deadline deadline) {
    std::size_t done = 0;
    while (done < buffer.size()) {
        // The bytes are usually there already: wait only when they are not.
        const ssize_t n = ::recv(fd.get(), buffer.data() + done, buffer.size() - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return done == 0 ? Received::EndBeforeAny : Received::Broken;
        if (!wait_ready(fd, POLLIN, deadline)) return Received::TimedOut;
    }
    return Received::All;
}

bool send_until(const Fd& fd, std::span<const std::uint8_t> data, Deadline deadline) {
    while (!data.empty()) {
        const ssize_t n = ::send(fd.get(), data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            data = data.subspan(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        if (!wait_ready(fd, POLLOUT, deadline)) return false;
    }
    return true;
}

bool receive_exact(const Fd& fd, std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout) {
    return receive_until(fd, buffer, std::chrono::steady_clock::now() + timeout) == Received::All;
}

bool send_all(const Fd& fd, std::span<const std::uint8_t> data, std::chrono::milliseconds timeout) {
    return send_until(fd, data, std::chrono::steady_clock::now() + timeout);
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
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_.get(), &count, sizeof count);
}

}  // namespace tola::os
