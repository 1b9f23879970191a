// The first-generation instrument behind its EZ-USB controller: bulk pipes,
// the 64-byte command block, memory pieces, the coalescing writer, flash
// rewrites with sector erase, the 8051 loader and its S-record download.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tola::usb::first_generation {

inline constexpr std::int32_t kPieceSize = 64;

// The start address lies in one of the memory regions of the instrument.
bool in_memory_map(std::uint32_t address);

// Sends a command of 3 or 6 bytes on pipe 2 and reads the 3-byte status on pipe 0.
bool send_command(std::span<const std::uint8_t> command);
bool read_status(std::span<std::uint8_t, 3> status);

// Whole reads and writes with progress and stop checks.
bool read_memory(std::uint8_t* buffer, std::uint32_t address, std::int32_t length);
bool write_ram(const std::uint8_t* data, std::uint32_t address, std::int32_t length);
bool write_flash(bool with_loader, const std::uint8_t* data, std::uint32_t address, std::int32_t length);
bool erase_sector(int index);

// Downloads the built-in 8051 loader and starts it ("Jump 4200").
bool bUSB_CK_write_loader();
// Downloads S3 records of an S-record text through the coalescing writer.
bool download_srecords(std::string_view text);

// The coalescing writer that feeds the piece writer (exposed for tests).
class CoalescingWriter {
public:
    void reset();
    // Appends a run of at most 64 bytes; returns the bytes of the piece write
    // this call caused, or 0.
    std::int32_t feed(const std::uint8_t* data, std::uint32_t address, std::int32_t length);
    // Writes what is pending; returns the bytes written, or 0.
    std::int32_t flush();
    bool failed() const { return failed_; }

private:
    std::int32_t write_pending();
    std::uint8_t buffer_[kPieceSize] = {};
    std::uint32_t address_ = 0;
    std::int32_t fill_ = 0;
    bool failed_ = false;
};

CoalescingWriter& coalescing_writer();

}  // namespace tola::usb::first_generation
