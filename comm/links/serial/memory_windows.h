// The address windows in which the memory-mapped instrument accepts memory
// requests over a byte-stream link, with the request codes of each window.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

namespace tola::serial {

struct MemoryWindow {
    std::uint32_t first;
    std::uint32_t last;  // inclusive
    std::uint8_t read_code;
    std::uint8_t write_code;
};

// Serial port (kinds 8, 9).  The flash window spans the whole 1 MiB of the
// instrument's flash, as on Bluetooth: firmware images place data beyond
// 0x08060000, and a window that stopped at 384 KiB would refuse their
// read-back and rewrite over the serial port.  This is the product's choice.
inline constexpr MemoryWindow kSerialWindows[] = {
    {0x20000000u, 0x2000FFFFu, 51, 52},  // RAM
    {0x08000000u, 0x080FFFFFu, 53, 54},  // flash
    {0x40000000u, 0x5003FFFFu, 55, 56},  // peripherals
};

// Bluetooth (kinds 10, 11).
inline constexpr MemoryWindow kBluetoothWindows[] = {
    {0x20000000u, 0x2001FFFFu, 51, 52},  // RAM
    {0x40000000u, 0xBFFFFFFFu, 51, 52},  // peripherals
    {0xE000E010u, 0xE000EF03u, 51, 52},  // system control
    {0x08000000u, 0x080FFFFFu, 53, 54},  // flash
};

enum class Access { Read, Write };

// The request code for `length` bytes at `address`, or nothing when the range
// is in no window.  The start must lie at least one byte below the window's
// end, and the range may end exactly at its last byte.  The instrument counts
// lengths in 16 bits: a length above 65535 fits no window.
std::optional<std::uint8_t> request_code(std::span<const MemoryWindow> windows, Access access, std::uint32_t address,
                                         std::int64_t length);

}  // namespace tola::serial
