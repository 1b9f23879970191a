// The simulator's only contact with the operating system's sockets: Unix-domain
// stream sockets, a wake-up event and poll().
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <poll.h>

namespace tola::sim::os {

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

// Binds a listening socket at the path (parent folders made, a stale socket replaced).
Fd listen_at(const std::filesystem::path& path, std::string* error);
// Accepts one pending connection, non-blocking; an empty Fd when none is waiting.
Fd accept_from(const Fd& listener);
// Connects to a socket, blocking; an empty Fd when nobody listens there.
Fd connect_to(const std::filesystem::path& path);
void remove_socket_file(const std::filesystem::path& path);

// >0 bytes moved, 0 end of stream, -1 would block, -2 failure.
long read_some(const Fd& fd, std::span<std::uint8_t> buffer);
long write_some(const Fd& fd, std::span<const std::uint8_t> data);

// Whole-buffer transfers on a blocking socket, each bounded by a deadline.
bool send_all(const Fd& fd, std::span<const std::uint8_t> data, std::chrono::milliseconds timeout);
bool receive_exact(const Fd& fd, std::span<std::uint8_t> buffer, std::chrono::milliseconds timeout);

// Waits for events; a negative timeout waits without end.
int wait_for(std::vector<pollfd>& fds, int timeout_ms);

// A counter other threads bump to wake the serving thread's poll().
class WakeEvent {
public:
    WakeEvent();
    int fd() const { return fd_.get(); }
    void signal() const;
    void drain() const;

private:
    Fd fd_;
};

}  // namespace tola::sim::os
