#include "bridge/usb/channel_socket.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tola::usbd {
namespace {

namespace ch = tola::usbchannel;
using SteadyClock = std::chrono::steady_clock;

int ms_left(SteadyClock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Reads exactly buffer.size() bytes.  0: done, 1: end of stream before any
// byte, 2: end of stream or failure midway, 3: deadline.
int receive_exact(int fd, std::uint8_t* data, std::size_t size, SteadyClock::time_point deadline) {
    std::size_t done = 0;
    while (done < size) {
        // The bytes are usually there already: wait only when they are not.
        const ssize_t n = ::recv(fd, data + done, size - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) return done == 0 ? 1 : 2;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return done == 0 ? 1 : 2;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, ms_left(deadline));
        if (ready < 0 && errno != EINTR) return 2;
        if (ready == 0) return 3;
    }
    return 0;
}

}  // namespace

Fd& Fd::operator=(Fd&& o) noexcept {
    if (this != &o) {
        reset();
        fd_ = o.release();
    }
    return *this;
}

int Fd::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Fd::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool make_private_folder(const std::filesystem::path& folder, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        error = "cannot make " + folder.string() + ": " + (ec ? ec.message() : "not a folder");
        return false;
    }
    ::chmod(folder.c_str(), 0700);
    return true;
}

Fd listen_at(const std::filesystem::path& path, std::string& error) {
    sockaddr_un address{};
    const std::string s = path.string();
    if (s.size() >= sizeof address.sun_path) {
        error = "socket path too long: " + s;
        return Fd{};
    }
    if (!make_private_folder(path.parent_path(), error)) return Fd{};
    address.sun_family = AF_UNIX;
    Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd) {
        error = std::string("socket: ") + std::strerror(errno);
        return Fd{};
    }
    struct stat st{};
    if (::lstat(s.c_str(), &st) == 0 && !S_ISSOCK(st.st_mode)) {
        error = s + " exists and is no socket";
        return Fd{};
    }
    // Bound under a passing name and renamed once it listens: a client that sees
    // the socket can connect at once, and a stale socket is replaced in one step.
    std::string passing = (path.parent_path() / ("." + path.filename().string() + ".new")).string();
    if (passing.size() >= sizeof address.sun_path) passing = s;
    ::unlink(passing.c_str());
    std::memcpy(address.sun_path, passing.c_str(), passing.size() + 1);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.get(), 8) != 0 || (passing != s && ::rename(passing.c_str(), s.c_str()) != 0)) {
        error = "cannot listen at " + s + ": " + std::strerror(errno);
        ::unlink(passing.c_str());
        return Fd{};
    }
    return fd;
}

Fd accept_from(const Fd& listener) {
    const int fd = ::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC);
    return Fd(fd);
}

void remove_socket_file(const std::filesystem::path& path) { ::unlink(path.c_str()); }

ReadOutcome read_request(const Fd& connection, ch::Request& request, int timeout_ms) {
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
    std::array<std::uint8_t, ch::kHeaderSize> header{};
    switch (receive_exact(connection.get(), header.data(), header.size(), deadline)) {
        case 0: break;
        case 1: return ReadOutcome::Closed;
        case 3: return ReadOutcome::TimedOut;
        default: return ReadOutcome::Malformed;
    }
    const auto h = ch::parse_request_header(header);
    if (!h) return ReadOutcome::Malformed;
    request.code = h->code;
    request.output_capacity = h->output_capacity;
    request.input.resize(h->input_length);
    request.output_payload.resize(h->payload_length);
    for (auto* part : {&request.input, &request.output_payload}) {
        if (part->empty()) continue;
        const int r = receive_exact(connection.get(), part->data(), part->size(), deadline);
        if (r == 3) return ReadOutcome::TimedOut;
        if (r != 0) return ReadOutcome::Malformed;
    }
    return ReadOutcome::Request;
}

bool write_reply(const Fd& connection, const ch::Reply& reply, int timeout_ms) {
    const auto bytes = ch::encode(reply);
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeout_ms);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(connection.get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        pollfd p{connection.get(), POLLOUT, 0};
        if (::poll(&p, 1, ms_left(deadline)) <= 0) return false;
    }
    return true;
}

int wait_for(std::vector<pollfd>& fds, int timeout_ms) {
    for (;;) {
        const int n = ::poll(fds.data(), fds.size(), timeout_ms);
        if (n < 0 && errno == EINTR) continue;
        return n;
    }
}

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

void WakeEvent::signal() const {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(fd_.get(), &one, sizeof one);
}

void WakeEvent::drain() const {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto n = ::read(fd_.get(), &count, sizeof count);
}

Fd lock_file(const std::filesystem::path& path, std::string& error) {
    Fd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd) {
        error = "cannot open " + path.string() + ": " + std::strerror(errno);
        return Fd{};
    }
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? "another tola-usbd serves " + path.parent_path().string()
                                     : "cannot lock " + path.string() + ": " + std::strerror(errno);
        return Fd{};
    }
    return fd;
}

}  // namespace tola::usbd
