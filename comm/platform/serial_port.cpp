#include "comm/platform/serial_port.h"

#include "comm/platform/descriptors.h"
#include "comm/platform/link_recorder.h"
#include "comm/platform/process_global.h"

// termios2 and BOTHER come from the kernel's headers; glibc's <termios.h>
// declares a different struct termios and must stay out of this file.
#include <asm/termbits.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>

namespace tola::platform {
namespace {

// A write that finds no room for this long counts as a full transmit buffer.
constexpr int kWriteStallMs = 5000;

thread_local int last_errno = 0;

// Line-error counters seen at the last classification, per open port (an
// entry lives from the port's open to its close).
struct CountersSeen {
    std::mutex mutex;
    std::map<int, serial_icounter_struct> by_port;
};

CountersSeen& counters_seen() {
    static ProcessGlobal<CountersSeen> c;
    return *c;
}

bool read_counters(int fd, serial_icounter_struct& out) { return ::ioctl(fd, TIOCGICOUNT, &out) == 0; }

void remember_counters(int fd) {
    serial_icounter_struct now{};
    if (!read_counters(fd, now)) return;
    CountersSeen& seen = counters_seen();
    std::lock_guard lock(seen.mutex);
    seen.by_port[fd] = now;
}

std::uint32_t line_error_class(int fd) {
    serial_icounter_struct now{};
    if (!read_counters(fd, now)) return comm_error::kNone;
    CountersSeen& seen = counters_seen();
    std::lock_guard lock(seen.mutex);
    auto it = seen.by_port.find(fd);
    if (it == seen.by_port.end()) {
        seen.by_port[fd] = now;
        return comm_error::kNone;
    }
    const serial_icounter_struct before = it->second;
    it->second = now;
    // Receive-side losses first: they explain a short read best.
    if (now.buf_overrun != before.buf_overrun) return comm_error::kRxOverflow;
    if (now.overrun != before.overrun) return comm_error::kOverrun;
    if (now.parity != before.parity) return comm_error::kParity;
    if (now.frame != before.frame) return comm_error::kFrame;
    return comm_error::kNone;
}

std::uint32_t errno_class(int err) {
    switch (err) {
        case 0:
            return comm_error::kNone;
        case EAGAIN:
            return comm_error::kTxFull;
        case EIO:
        case ENXIO:
        case ENODEV:
        case EBADF:
        case EPIPE:
        case ENOTTY:
            return comm_error::kIoAccess;
        default:
            return comm_error::kOtherFlag | static_cast<std::uint32_t>(err);
    }
}

void make_raw(termios2& t) {
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                                        IXANY | INPCK | IGNPAR);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

void set_rate(termios2& t, std::uint32_t baud) {
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
}

}  // namespace

std::optional<int> serial_port_number(std::string_view name) {
    if (name.size() < 4 || name.size() > 5 || name.substr(0, 3) != "COM") return std::nullopt;
    int n = 0;
    for (char ch : name.substr(3)) {
        if (ch < '0' || ch > '9') return std::nullopt;
        n = n * 10 + (ch - '0');
    }
    if (name[3] == '0' || n < kFirstSerialPort || n > kLastSerialPort) return std::nullopt;
    return n;
}

std::string serial_device_path(int port) {
    const std::string variable = "TOLA_COM" + std::to_string(port);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') return path;
    return "/dev/ttyS" + std::to_string(port - 1);
}

int serial_open(std::string_view name) {
    const auto port = serial_port_number(name);
    if (!port) {
        last_errno = ENOENT;
        return -1;
    }
    const std::string path = serial_device_path(*port);
    const int fd = above_standard_streams(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd < 0) {
        last_errno = errno;
        return -1;
    }
    // The lock keeps out every other open, the tty flag at least the other
    // processes that do not lock; a device that is no tty is not a port.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        last_errno = EBUSY;
        ::close(fd);
        return -1;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        last_errno = errno;
        ::close(fd);
        return -1;
    }
    remember_counters(fd);
    recorder::event("com", "open", name);
    return fd;
}

bool serial_configure(int fd, std::uint32_t baud) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        last_errno = errno;
        return false;
    }
    make_raw(t);
    termios2 with_rate = t;
    set_rate(with_rate, baud);
    // A device that will not take the rate keeps the one it has.
    if (::ioctl(fd, TCSETS2, &with_rate) != 0 && ::ioctl(fd, TCSETS2, &t) != 0) {
        last_errno = errno;
        return false;
    }
    // DTR and RTS stay low: the instrument is neither powered nor paced by them.
    // Pseudo-terminals have no modem lines; that is no failure.
    int lines = TIOCM_DTR | TIOCM_RTS;
    (void)::ioctl(fd, TIOCMBIC, &lines);
    return true;
}

std::uint32_t serial_baud(int fd) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) return 0;
    return t.c_ospeed;
}

void serial_close(int fd) {
    if (fd < 0) return;
    {
        CountersSeen& seen = counters_seen();
        std::lock_guard lock(seen.mutex);
        seen.by_port.erase(fd);
    }
    (void)::ioctl(fd, TIOCNXCL);
    ::close(fd);
    recorder::event("com", "close", {});
}

bool serial_purge(int fd, Purge which) {
    if (::ioctl(fd, TCFLSH, which == Purge::Both ? TCIOFLUSH : TCIFLUSH) != 0) {
        last_errno = errno;
        return false;
    }
    return true;
}

std::size_t serial_write(int fd, const std::uint8_t* data, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(fd, data + done, length - done);
        if (n > 0) {
            recorder::bytes("com", "tx", std::span(data + done, static_cast<std::size_t>(n)));
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            last_errno = errno;
            break;
        }
        // The output queue is full: wait until the device drained some of it.
        pollfd p{fd, POLLOUT, 0};
        const int ready = ::poll(&p, 1, kWriteStallMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
            last_errno = ready == 0 ? EAGAIN : (ready < 0 ? errno : EIO);
            break;
        }
    }
    return done;
}

std::ptrdiff_t serial_read(int fd, std::uint8_t* buffer, std::size_t capacity) {
    for (;;) {
        const ssize_t n = ::read(fd, buffer, capacity);
        if (n > 0) recorder::bytes("com", "rx", std::span(buffer, static_cast<std::size_t>(n)));
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno == EAGAIN) return 0;
        last_errno = errno;
        return -1;
    }
}

std::uint32_t serial_last_error(int fd) {
    const std::uint32_t line = line_error_class(fd);
    const int err = last_errno;
    last_errno = 0;
    return line != comm_error::kNone ? line : errno_class(err);
}

}  // namespace tola::platform
