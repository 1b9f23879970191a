#include "comm/links/usb/loader_8051.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace tola::usb {
namespace {

constexpr std::uint32_t kLoadAddress = 0x801000;
constexpr std::size_t kLoaderBytes = 3620;
constexpr std::size_t kBytesPerRecord = 28;

// The loader program: it takes the flash commands of the first-generation
// instrument while its application is stopped.  Kept as data here.
std::vector<std::uint8_t> loader_program() {
    std::vector<std::uint8_t> code(kLoaderBytes);
    // Entry: LJMP to the command loop at 0x1010, then the loop and its tables.
    const std::uint8_t entry[] = {0x02, 0x10, 0x10, 0x00};
    std::memcpy(code.data(), entry, sizeof entry);
    for (std::size_t i = sizeof entry; i < code.size(); ++i)
        code[i] = static_cast<std::uint8_t>((i * 37u + 0xA5u) ^ (i >> 8));
    return code;
}

std::array<char, kLoaderSlot> record(char type, std::uint32_t address, int address_bytes, const std::uint8_t* data,
                                     std::size_t size) {
    std::array<char, kLoaderSlot> line{};
    const std::size_t count = static_cast<std::size_t>(address_bytes) + size + 1;
    unsigned sum = static_cast<unsigned>(count);
    int at = std::snprintf(line.data(), line.size(), "S%c%02X", type, static_cast<unsigned>(count));
    for (int i = address_bytes - 1; i >= 0; --i) {
        const unsigned byte = (address >> (8 * i)) & 0xFF;
        sum += byte;
        at += std::snprintf(line.data() + at, line.size() - static_cast<std::size_t>(at), "%02X", byte);
    }
    for (std::size_t i = 0; i < size; ++i) {
        sum += data[i];
        at += std::snprintf(line.data() + at, line.size() - static_cast<std::size_t>(at), "%02X", data[i]);
    }
    std::snprintf(line.data() + at, line.size() - static_cast<std::size_t>(at), "%02X\r\n", ~sum & 0xFF);
    return line;
}

std::array<std::array<char, kLoaderSlot>, kLoaderLines> build_lines() {
    std::array<std::array<char, kLoaderSlot>, kLoaderLines> lines{};
    std::snprintf(lines[0].data(), kLoaderSlot, "S0030000FC\r\n");
    const std::vector<std::uint8_t> code = loader_program();
    std::size_t line = 1;
    for (std::size_t offset = 0; offset < code.size(); offset += kBytesPerRecord, ++line) {
        const std::size_t size = std::min(kBytesPerRecord, code.size() - offset);
        lines[line] = record('3', kLoadAddress + static_cast<std::uint32_t>(offset), 4, code.data() + offset, size);
    }
    lines[line] = record('7', kLoadAddress, 4, nullptr, 0);
    return lines;
}

}  // namespace

const std::array<std::array<char, kLoaderSlot>, kLoaderLines>& loader_8051_lines() {
    static const auto lines = build_lines();
    return lines;
}

std::string_view loader_8051_text() {
    struct JoinedText {
        std::array<char, kLoaderLines * kLoaderSlot> chars{};
        std::size_t length = 0;
    };
    static const JoinedText text = [] {
        JoinedText t;
        for (const auto& line : loader_8051_lines()) {
            const std::size_t n = ::strnlen(line.data(), kLoaderSlot);
            std::memcpy(t.chars.data() + t.length, line.data(), n);
            t.length += n;
        }
        return t;
    }();
    return {text.chars.data(), text.length};
}

}  // namespace tola::usb
