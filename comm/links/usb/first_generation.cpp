#include "comm/links/usb/first_generation.h"

#include "comm/api/library_state.h"
#include "comm/links/usb/loader_8051.h"
#include "comm/links/usb/usb_device.h"
#include "comm/links/usb/usb_report.h"
#include "comm/links/usb/usb_state.h"
#include "comm/platform/clock.h"
#include "comm/platform/usb_channel_frame.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace tola::usb::first_generation {
namespace {

constexpr std::uint32_t kCommandPipe = 2;
constexpr std::uint32_t kStatusPipe = 0;
constexpr std::uint32_t kDataInPipe = 1;
constexpr std::uint32_t kDataOutPipe = 3;

constexpr std::uint8_t kReadMemory = 0x23;
constexpr std::uint8_t kWriteMemory = 0x22;
constexpr std::uint8_t kEraseSector = 0x21;
constexpr std::uint8_t kJump = 0xAB;
constexpr std::uint8_t kInvalidCommand = 0x84;
constexpr std::uint8_t kReadError = 0xFF;

struct Region {
    std::uint32_t start;
    std::uint32_t size;
};

constexpr Region kLoaderArea{0x00800000, 0x2000};
constexpr Region kInternalFlash{0x00000000, 0x20000};
constexpr Region kRam{0x80800000, 0x10000};
constexpr Region kExternalFlash{0x80000000, 0x40000};
constexpr Region kMemoryMap[] = {kLoaderArea, kInternalFlash, kRam, kExternalFlash};

constexpr std::uint32_t kInternalSectorSize = 16384;
constexpr std::uint32_t kExternalSectorSize = 8192;
constexpr int kFirstExternalSector = 10;

bool contains(const Region& r, std::uint32_t address) { return address - r.start < r.size; }

bool bulk_write(std::uint32_t pipe, std::span<const std::uint8_t> data) {
    std::array<std::uint8_t, 4> pipe_number{};
    std::memcpy(pipe_number.data(), &pipe, 4);
    // The output buffer of a pipe write carries the data to the device.
    std::vector<std::uint8_t> out(data.begin(), data.end());
    return ioctl(usbchannel::kBulkWrite, pipe_number, out).ok;
}

Transfer bulk_read(std::uint32_t pipe, std::span<std::uint8_t> into) {
    std::array<std::uint8_t, 4> pipe_number{};
    std::memcpy(pipe_number.data(), &pipe, 4);
    return ioctl(usbchannel::kBulkRead, pipe_number, into);
}

std::array<std::uint8_t, 6> memory_command(std::uint8_t code, std::uint32_t address, std::int32_t length) {
    return {code,
            static_cast<std::uint8_t>(address >> 24),
            static_cast<std::uint8_t>(address >> 16),
            static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address),
            static_cast<std::uint8_t>(length)};
}

// One read piece of at most 64 bytes: the bytes the driver delivered, or 0.
std::int32_t read_piece(std::uint8_t* buffer, std::uint32_t address, std::int32_t length) {
    if (length > kPieceSize)
        return reportf(flag::kLength, "Read memory FAILED, Address = 0x%8.8x, Length = %d, Length too long", address,
                       length);
    if (!send_command(memory_command(kReadMemory, address, length)))
        return reportf(flag::kRead, "Read MEM - FAILED, USB write, Address = 0x%8.8x, Length = %d", address, length);
    std::array<std::uint8_t, 3> status{};
    if (!read_status(status))
        return reportf(flag::kStatus, "Read MEM - FAILED - Read status, Address = 0x%8.8x, Length = %d", address,
                       length);
    if (status[0] == kInvalidCommand)
        return reportf(flag::kStatus, "Read MEM - FAILED, Invalid command, Address = 0x%8.8x, Length = %d", address,
                       length);
    if (status[0] == kReadError)
        return reportf(flag::kStatus, "Read MEM - FAILED, Read error, Address = 0x%8.8x, Length = %d", address, length);
    if (status[0] != kReadMemory)
        return reportf(flag::kStatus, "Read MEM - FAILED, Unknown error, Address = 0x%8.8x, Length = %d", address,
                       length);
    const Transfer t = bulk_read(kDataInPipe, {buffer, static_cast<std::size_t>(length)});
    if (!t.ok)
        return reportf(flag::kRead, "Read MEM - FAILED, download error, Address = 0x%8.8x, Length = %d", address,
                       length);
    return static_cast<std::int32_t>(std::min<std::uint32_t>(t.bytes, static_cast<std::uint32_t>(length)));
}

// One write piece of at most 64 bytes: the data bytes sent, or 0.
std::int32_t write_piece(const std::uint8_t* data, std::uint32_t address, std::int32_t length) {
    if (length > kPieceSize)
        return reportf(flag::kLength, "Write memory FAILED, Address = 0x%8.8x, Length = %d, Length too long", address,
                       length);
    if (!send_command(memory_command(kWriteMemory, address, length)))
        return reportf(flag::kWrite, "Write MEM - FAILED, USB write, Address = 0x%8.8x, Length = %d", address, length);
    if (!bulk_write(kDataOutPipe, {data, static_cast<std::size_t>(length)}))
        return reportf(flag::kWrite, "Write MEM - FAILED, download error, Address = 0x%8.8x, Length = %d", address,
                       length);
    std::array<std::uint8_t, 3> status{};
    if (!read_status(status))
        return reportf(flag::kStatus, "Write MEM - FAILED - Read status, Address = 0x%8.8x, Length = %d", address,
                       length);
    if (status[0] == kInvalidCommand)
        return reportf(flag::kStatus, "Write MEM - FAILED, Invalid command, Address = 0x%8.8x, Length = %d", address,
                       length);
    if (status[0] == kReadError)
        return reportf(flag::kStatus, "Write MEM - FAILED, Read error, Address = 0x%8.8x, Length = %d", address,
                       length);
    if (status[0] != kWriteMemory)
        return reportf(flag::kStatus, "Write MEM - FAILED, Unknown error, Address = 0x%8.8x, Length = %d", address,
                       length);
    return length;
}

bool out_of_range(std::uint32_t address, std::int32_t length) {
    if (in_memory_map(address)) return false;
    reportf(flag::kRead, "Read memory FAILED, Address = 0x%8.8x, Length = %d, Out of Range", address, length);
    return true;
}

bool jump_to_loader() {
    const std::array<std::uint8_t, 3> jump{kJump, 0, 0};
    if (!send_command(jump)) return report("Jump 4200 - FAILED", flag::kJump) != 0;
    std::array<std::uint8_t, 3> status{};
    if (!read_status(status)) return report("Jump 4200 FAILED, Error reading status message", flag::kJump) != 0;
    if (status[0] != kJump) return report("Jump 4200 - FAILED, unknown message", flag::kJump) != 0;
    return report("Jump 4200 - OK", 0) != 0;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads 2*count hex digits at text[at] as a big-endian number; -1 when one is not hex.
std::int64_t hex_value(std::string_view text, std::size_t at, std::size_t digits) {
    std::int64_t v = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const int d = hex_digit(text[at + i]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

}  // namespace

bool in_memory_map(std::uint32_t address) {
    return std::any_of(std::begin(kMemoryMap), std::end(kMemoryMap), [&](const Region& r) { return contains(r, address); });
}

bool send_command(std::span<const std::uint8_t> command) {
    std::array<std::uint8_t, 64> block{};
    std::copy(command.begin(), command.end(), block.begin());
    return bulk_write(kCommandPipe, {block.data(), command.size()});
}

bool read_status(std::span<std::uint8_t, 3> status) {
    const Transfer t = bulk_read(kStatusPipe, status);
    return t.ok && t.bytes >= status.size();
}

// ---- coalescing writer ---------------------------------------------------------

void CoalescingWriter::reset() {
    fill_ = 0;
    failed_ = false;
}

std::int32_t CoalescingWriter::write_pending() {
    if (fill_ == 0) return 0;
    const std::int32_t written = write_piece(buffer_, address_, fill_);
    if (written == 0) failed_ = true;
    address_ += static_cast<std::uint32_t>(fill_);
    fill_ = 0;
    return written;
}

std::int32_t CoalescingWriter::flush() {
    const std::int32_t written = write_pending();
    fill_ = 0;
    return written;
}

std::int32_t CoalescingWriter::feed(const std::uint8_t* data, std::uint32_t address, std::int32_t length) {
    if (data == nullptr) {
        reset();
        return 0;
    }
    if (length <= 0) {
        const std::int32_t written = flush();
        fill_ = 0;
        return written;
    }
    length = std::min(length, kPieceSize);
    std::int32_t result = 0;
    if (fill_ > 0 && address == address_ + static_cast<std::uint32_t>(fill_)) {
        const std::int32_t take = std::min(kPieceSize - fill_, length);
        std::memcpy(buffer_ + fill_, data, static_cast<std::size_t>(take));
        fill_ += take;
        if (fill_ == kPieceSize) {
            result = write_pending();
            address_ = address + static_cast<std::uint32_t>(take);
            fill_ = length - take;
            std::memcpy(buffer_, data + take, static_cast<std::size_t>(fill_));
        }
        return result;
    }
    result = write_pending();
    address_ = address;
    fill_ = length;
    std::memcpy(buffer_, data, static_cast<std::size_t>(length));
    return result;
}

CoalescingWriter& coalescing_writer() {
    static CoalescingWriter writer;
    return writer;
}

// ---- whole transfers ------------------------------------------------------------

bool read_memory(std::uint8_t* buffer, std::uint32_t address, std::int32_t length) {
    if (buffer == nullptr || length < 0) return false;
    if (out_of_range(address, length)) return false;
    std::int32_t done = 0;
    while (done < length) {
        const std::int32_t piece = std::min(kPieceSize, length - done);
        const std::int32_t got = read_piece(buffer + done, address + static_cast<std::uint32_t>(done), piece);
        done += got;
        if (!progress_step(got)) return false;
        if (got < piece) break;
    }
    if (done == length) {
        record_success();
        return true;
    }
    reportf(0, "Read MEM - FAILED - Read %d bytes of %d bytes", done, length);
    return false;
}

bool write_ram(const std::uint8_t* data, std::uint32_t address, std::int32_t length) {
    if (data == nullptr || length < 0) return false;
    if (out_of_range(address, length)) return false;
    CoalescingWriter& writer = coalescing_writer();
    writer.reset();
    for (std::int32_t done = 0; done < length; done += kPieceSize) {
        const std::int32_t piece = std::min(kPieceSize, length - done);
        writer.feed(data + done, address + static_cast<std::uint32_t>(done), piece);
        if (!progress_step(piece)) return false;
    }
    writer.flush();
    // A piece that was refused fails the write, even when its text repeats an
    // earlier one and so raised no error stop.
    if (writer.failed()) return false;
    record_success();
    return true;
}

bool erase_sector(int index) {
    const std::array<std::uint8_t, 3> erase{kEraseSector, static_cast<std::uint8_t>(index), 0};
    if (!send_command(erase)) return report("Erase Flash FAILED - USB write", flag::kWrite) != 0;
    std::array<std::uint8_t, 3> status{};
    if (!read_status(status)) return report("Erase Flash - FAILED - Read status", flag::kStatus) != 0;
    if (status[0] != kEraseSector) return report("Erase Flash - FAILED - wrong status message", flag::kProtocol) != 0;
    switch (status[1]) {
        case 0:
            return reportf(0, index <= 7 ? "Erase internal Flash sector %d - OK" : "Erase external Flash sector %d - OK",
                           index) != 0;
        case 5:
            return report("Erase Flash - FAILED - 8051 <-> MCore comm failed", flag::kProtocol) != 0;
        case 4:
            return report("Erase Flash - FAILED - erase flash", flag::kProtocol) != 0;
        default:
            return report("", 0) != 0;
    }
}

bool write_flash(bool with_loader, const std::uint8_t* data, std::uint32_t address, std::int32_t length) {
    if (data == nullptr || length < 0) return false;
    if (with_loader) {
        if (!bUSB_CK_write_loader()) return false;
        platform::sleep_ms(100);
    }
    std::uint32_t region_start = 0, sector_size = 0;
    int first_index = 0;
    if (contains(kInternalFlash, address)) {
        region_start = kInternalFlash.start;
        sector_size = kInternalSectorSize;
    } else if (contains(kExternalFlash, address)) {
        region_start = kExternalFlash.start;
        sector_size = kExternalSectorSize;
        first_index = kFirstExternalSector;
    } else {
        return report("USB FAILED, address out of range", flag::kAddress) != 0;
    }
    const std::uint32_t offset = address - region_start;
    const std::uint32_t span_start = address - offset % sector_size;
    const std::uint32_t sectors = (offset % sector_size + static_cast<std::uint32_t>(length) + sector_size - 1) / sector_size;
    const std::uint32_t span_size = sectors * sector_size;
    std::vector<std::uint8_t> span(span_size);
    // A span that cannot be read is not erased: erasing it would lose what it holds.
    if (!read_memory(span.data(), span_start, static_cast<std::int32_t>(span_size))) return false;
    const int first_sector = first_index + static_cast<int>((span_start - region_start) / sector_size);
    for (std::uint32_t s = 0; s < sectors; ++s) {
        if (!erase_sector(first_sector + static_cast<int>(s))) return false;
    }
    std::memcpy(span.data() + (address - span_start), data, static_cast<std::size_t>(length));
    if (!write_ram(span.data(), span_start, static_cast<std::int32_t>(span_size))) return false;
    record_success();
    return true;
}

bool bUSB_CK_write_loader() {
    const PXM_COMM* c = valid_record();
    if (c == nullptr) return false;
    if (c->hUSB == -1 && !bUSB_open()) return false;
    const bool downloaded = download_srecords(loader_8051_text());
    jump_to_loader();
    return downloaded;
}

bool download_srecords(std::string_view text) {
    CoalescingWriter& writer = coalescing_writer();
    writer.reset();
    const std::uint32_t start = platform::tick_ms();
    const std::uint32_t allowed_ms = static_cast<std::uint32_t>(text.size()) + 2000;
    std::int32_t bytes_written = 0;
    bool malformed = false;
    int line = 0;
    std::size_t at = 0;
    while (true) {
        at = text.find('S', at);
        if (at == std::string_view::npos || text.size() - at < 15) break;
        ++line;
        if (text[at + 1] != '3') {
            const std::size_t end = text.find('\n', at);
            at = end == std::string_view::npos ? text.size() : end + 1;
            continue;
        }
        const std::int64_t count = hex_value(text, at + 2, 2);
        if (count < 5) {
            reportf(0, "Download (write) s-record format error line %d, line no data", line);
            malformed = true;
            break;
        }
        const std::int32_t data_bytes = static_cast<std::int32_t>(count) - 5;
        if (data_bytes > kPieceSize) {
            reportf(0, "Download (write) s-record format error line %d, line too long", line);
            malformed = true;
            break;
        }
        const std::size_t needed = 12 + 2 * static_cast<std::size_t>(data_bytes);
        const std::int64_t address = text.size() - at >= 12 ? hex_value(text, at + 4, 8) : -1;
        if (text.size() - at < needed || address < 0) {
            reportf(0, "Download (write) s-record format error line %d", line);
            malformed = true;
            break;
        }
        std::array<std::uint8_t, kPieceSize> data{};
        bool digits_ok = true;
        for (std::int32_t i = 0; i < data_bytes && digits_ok; ++i) {
            const std::int64_t byte = hex_value(text, at + 12 + 2 * static_cast<std::size_t>(i), 2);
            digits_ok = byte >= 0;
            data[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(byte);
        }
        if (!digits_ok) {
            reportf(0, "Download (write) s-record format error line %d", line);
            malformed = true;
            break;
        }
        bytes_written += writer.feed(data.data(), static_cast<std::uint32_t>(address), data_bytes);
        if (!progress_step(data_bytes)) return false;
        if (platform::ms_since(start) > allowed_ms) {
            reportf(0, "Write MEM hex data - FAILED, time out, %d bytes", bytes_written);
            library_state().stop_state = StopState::ErrorStop;
            return false;
        }
        at += needed;
    }
    const std::int32_t flushed = writer.flush();
    progress_step(0);
    // A malformed record fails the download; its text is what the caller sees.
    if (malformed) return false;
    reportf(0, "Write MEM hex data - Ok, %d bytes", flushed);
    // Success means every piece went through, also when the last piece had
    // already been written and nothing was left to flush.
    return !writer.failed();
}

}  // namespace tola::usb::first_generation
