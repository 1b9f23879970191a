// Serial ports "COM1".."COM20" on Linux.
//
// Port n is the device named by the environment variable TOLA_COM<n> (for
// example TOLA_COM3=/dev/ttyUSB0, or the slave side of a pseudo-terminal),
// else /dev/ttyS<n-1>.  A port is opened exclusively (TIOCEXCL against other
// opens of the tty, plus flock() so that a second process or a second open in
// this one fails even with CAP_SYS_ADMIN), set to raw 8N1 without any flow
// control and to 56000 baud.  Reads never block: they return whatever has
// arrived.
//
// Last-error classes.  The packet protocol classifies a failed read or write
// by the comm-error bits it grew up with; this file maps Linux onto them:
//
//   class  what it means here                                       Linux source
//   0      no error                                                 -
//   1      receive buffer overflow (driver buffer full)             TIOCGICOUNT buf_overrun grew
//   2      hardware overrun (UART lost a character)                 TIOCGICOUNT overrun grew
//   4      parity error                                             TIOCGICOUNT parity grew
//   8      framing error                                            TIOCGICOUNT frame grew
//   256    transmit buffer full (no room for a write for 5 s)       write: EAGAIN that never cleared
//   1024   I/O access (device gone or unusable)                     EIO, ENXIO, ENODEV, EBADF, EPIPE, ENOTTY
//   other  anything else (the errno value with bit 31 set)          any other errno
//
// Line counters win over errno: a read that fails after a parity error was
// counted reports the parity error.  Devices without TIOCGICOUNT (pseudo-
// terminals, most USB adapters) only ever give the errno classes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tola::platform {

inline constexpr int kFirstSerialPort = 1;
inline constexpr int kLastSerialPort = 20;
inline constexpr std::uint32_t kSerialBaud = 56000;

namespace comm_error {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kRxOverflow = 1;
inline constexpr std::uint32_t kOverrun = 2;
inline constexpr std::uint32_t kParity = 4;
inline constexpr std::uint32_t kFrame = 8;
inline constexpr std::uint32_t kTxFull = 256;
inline constexpr std::uint32_t kIoAccess = 1024;
inline constexpr std::uint32_t kOtherFlag = 0x80000000u;  // ORed with the errno value
}  // namespace comm_error

// 1..20 for "COM1".."COM20" (exactly that spelling), else nothing.
std::optional<int> serial_port_number(std::string_view name);

// The device path of port n (1..20).
std::string serial_device_path(int port);

// Opens the port by its name "COM1".."COM20", exclusively, for reading and
// writing, non-blocking.  The descriptor, or -1 (the name is unknown, the
// device is missing or busy).  The port's settings are not touched yet.
int serial_open(std::string_view name);

// Raw 8N1, no parity checking, no flow control of any kind, DTR and RTS low,
// reads that return at once, and the given rate.  A device that cannot take
// the rate keeps its own (pseudo-terminals, some adapters); only a device that
// refuses raw mode altogether fails.
bool serial_configure(int fd, std::uint32_t baud);

// The rate the device reports now (0 when it cannot tell).
std::uint32_t serial_baud(int fd);

void serial_close(int fd);

enum class Purge { Input, Both };
bool serial_purge(int fd, Purge which);

// Writes the whole buffer, waiting for room as the device drains.  The bytes
// written; fewer than asked means failure (see serial_last_error).
std::size_t serial_write(int fd, const std::uint8_t* data, std::size_t length);

// Whatever has arrived, up to capacity, without waiting: the count (0 when
// nothing is there), or -1 on failure (see serial_last_error).
std::ptrdiff_t serial_read(int fd, std::uint8_t* buffer, std::size_t capacity);

// The class of the last failure on fd in this thread (see the table above).
// Reading it consumes the line counters' news, like clearing comm errors.
std::uint32_t serial_last_error(int fd);

}  // namespace tola::platform
