// Unix-domain stream sockets as the programs beside the library use them: the
// USB bridge and the virtual instrument listen on them, accept and serve
// connections from one poll() loop, and move whole messages with bounded waits.
// (The library itself keeps its own channel code in comm/platform.)
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include <poll.h>

namespace tola::os {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& o) noexcept : fd_(o.release()) {}
    Fd& operator=(Fd&& o) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release();
    void reset();

private:
    int fd_ = -1;
};

// A listening, non-blocking socket at the path.  Parent folders are made; the
// socket is bound under a passing name and renamed once it listens, so that
// whoever sees it appear can connect at once, and a stale socket there is
// replaced in one step.
Fd listen_at(const std::filesystem::path& path, std::string& error);
// One waiting connection (non-blocking), or an empty Fd when none is waiting.
Fd accept_from(const Fd& listener);
// Connects to a socket, blocking; an empty Fd when nobody listens there.
Fd connect_to(const std::filesystem::path& path);
void remove_socket_file(const std::filesystem::path& path);

// >0 bytes moved, 0 end of stream, -1 would block, -2 failure.
long read_some(const Fd& fd, std::span<std::uint8_t> buffer);
long write_some(const Fd& fd, std::span<const std::uint8_t> data);

using Deadline = std::chrono::steady_clock::time_point;

enum class Received {
    All,           // the buffer is full
    EndBeforeAny,  // the peer closed (or the socket failed) before the first byte
    Broken,        // the peer closed or the socket failed midway
    TimedOut,      // the deadline passed first
};

// Whole-buffer transfers that wait (in poll()) only when the socket is not
// ready, up to the deadline.
Received receive_until(const Fd& fd, std::span<std::uint8_t> buffer, Deadline deadline);
bool send_until(const Fd& fd, std::span<const std::uint8_t> data, Deadline deadline);
// The same, each bounded by a time-out from now.
bool receive_exact(const Fd& fd, std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout);
bool send_all(const Fd& fd, std::span<const std::uint8_t> data, std::chrono::milliseconds timeout);

// Waits for events; a negative timeout waits without end.
int wait_for(std::vector<pollfd>& fds, int timeout_ms);

// A counter other threads bump to wake a serving thread's poll().
class WakeEvent {
public:
    WakeEvent();
    int fd() const { return fd_.get(); }
    void signal() const;
    void drain() const;

private:
    Fd fd_;
};

}  // namespace tola::os
