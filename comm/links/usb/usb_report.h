// Status reports of the USB link: a text in ssStatus, and for failures the
// USB failure bit, flag lines and the error stop of later chunked transfers.
#pragma once

#include <cstdint>

namespace tola::usb {

namespace flag {
inline constexpr std::uint32_t kLength = 0x1;
inline constexpr std::uint32_t kTest = 0x10;
inline constexpr std::uint32_t kWrite = 0x100;
inline constexpr std::uint32_t kRead = 0x200;
inline constexpr std::uint32_t kReset = 0x400;
inline constexpr std::uint32_t kJump = 0x800;
inline constexpr std::uint32_t kProtocol = 0x1000;
inline constexpr std::uint32_t kStatus = 0x2000;
inline constexpr std::uint32_t kAddress = 0x8000;
}  // namespace flag

// Writes text + " - " to ssStatus.  With flags 0 it is information and gives 1;
// otherwise it marks the USB failure, appends the flags' lines, raises the
// error stop when the text is new, and gives 0.
int report(const char* text, std::uint32_t flags);

// printf-style form of report().
int reportf(std::uint32_t flags, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Structures could not be loaded: tells why, unless they were loaded on this
// connection already.  Always 0.
int not_ready_report();

}  // namespace tola::usb
