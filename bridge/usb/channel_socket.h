// The bridge's contact with the operating system's sockets: the channel's
// listening sockets, reading one request and writing one reply with bounded
// waits, and a wake-up event for a serving thread's poll().
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <poll.h>

#include "comm/platform/usb_channel_frame.h"

namespace tola::usbd {

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

// Makes the folder (and its parents) readable only by this user.
bool make_private_folder(const std::filesystem::path& folder, std::string& error);

// A listening socket at the path; a stale socket file there is replaced.
Fd listen_at(const std::filesystem::path& path, std::string& error);
// One waiting connection, or an empty Fd.
Fd accept_from(const Fd& listener);
void remove_socket_file(const std::filesystem::path& path);

enum class ReadOutcome { Request, Closed, Malformed, TimedOut };

// Reads one whole request once its first bytes are there; the rest must follow
// within `timeout_ms`.
ReadOutcome read_request(const Fd& connection, usbchannel::Request& request, int timeout_ms);
bool write_reply(const Fd& connection, const usbchannel::Reply& reply, int timeout_ms);

// Waits for events; a negative timeout waits without end.
int wait_for(std::vector<pollfd>& fds, int timeout_ms);

class WakeEvent {
public:
    WakeEvent();
    int fd() const { return fd_.get(); }
    void signal() const;
    void drain() const;

private:
    Fd fd_;
};

// An exclusive lock on a file: one bridge per channel folder.
Fd lock_file(const std::filesystem::path& path, std::string& error);

}  // namespace tola::usbd
