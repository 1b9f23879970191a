#include "sim/platform/pty.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace tola::sim::os {

bool make_raw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    ::cfmakeraw(&t);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

long read_fd(int fd, std::span<std::uint8_t> buffer) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
    }
}

long write_fd(int fd, std::span<const std::uint8_t> data) {
    for (;;) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n >= 0) return static_cast<long>(n);
        if (errno == EINTR) continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? -1 : -2;
    }
}

Pty open_pty(std::string* error) {
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        return Pty{};
    };
    Pty p;
    p.master = Fd(::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!p.master) return fail("posix_openpt");
    if (::grantpt(p.master.get()) != 0 || ::unlockpt(p.master.get()) != 0) return fail("unlockpt");
    char name[256] = {};
    if (::ptsname_r(p.master.get(), name, sizeof name) != 0) return fail("ptsname");
    p.slave_path = name;
    p.slave_keeper = Fd(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (!p.slave_keeper) return fail("open slave");
    if (!make_raw(p.slave_keeper.get())) return fail("raw mode");
    return p;
}

}  // namespace tola::sim::os
