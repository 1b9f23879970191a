// The record of the exchanges with an instrument: a line-based, versioned text
// file.  Header-only and free of library state so that the library (which
// writes records), the USB bridge (which writes them too) and the virtual
// instrument (which replays them) share one definition.
//
//   TOLA-RECORD 1                          first line: format and version
//   # any text                             comments (the command that ran, notes)
//   <ms> <link> <kind> <fields...>         one line per event
//
// <ms> is the time since the record was started, <link> "usb", "com" or "bt".
// Bytes are lower-case hex without separators; "-" stands for none.
//
//   usb open <path>                     a channel socket was opened (path below the channel folder)
//   usb close
//   usb req <code> <capacity> <in> <out>  a request: control code (8 hex digits), output
//                                       capacity (decimal), input bytes, output bytes sent
//                                       to the device (bulk writes only)
//   usb rep <ok> <returned> <data>      its reply: success 1 or 0, bytes returned
//                                       (decimal), output bytes
//   usb rep lost                        no valid reply came (late, garbled, connection gone)
//   com open COM<n> | bt open <address>
//   com close | bt close
//   com tx <bytes> | bt tx <bytes>      bytes written to the instrument
//   com rx <bytes> | bt rx <bytes>      bytes read from it (empty reads are not written)
//   <link> id <key>=<value>...          the instrument's identity once the host learned it
//                                       (values %-escaped: space, '%', '=' and controls)
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace tola::record {

inline constexpr const char* kMagic = "TOLA-RECORD";
inline constexpr int kVersion = 1;

inline std::string header_line() { return std::string(kMagic) + " " + std::to_string(kVersion) + "\n"; }

inline std::string hex(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return "-";
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

inline std::optional<std::vector<std::uint8_t>> unhex(std::string_view text) {
    std::vector<std::uint8_t> out;
    if (text == "-") return out;
    if (text.size() % 2 != 0) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    out.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int hi = nibble(text[i]);
        const int lo = nibble(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return out;
}

inline std::string escape(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (c <= 0x20 || c == '%' || c == '=' || c >= 0x7F) {
            static constexpr char digits[] = "0123456789ABCDEF";
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

inline std::string code_text(std::uint32_t code) {
    char buffer[9];
    static constexpr char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 8; ++i) buffer[i] = digits[(code >> (28 - 4 * i)) & 15];
    buffer[8] = '\0';
    return buffer;
}

// ---- Lines ------------------------------------------------------------------

inline std::string event_line(std::uint64_t ms, std::string_view link, std::string_view kind,
                              std::string_view fields) {
    std::string line = std::to_string(ms);
    line += ' ';
    line += link;
    line += ' ';
    line += kind;
    if (!fields.empty()) {
        line += ' ';
        line += fields;
    }
    line += '\n';
    return line;
}

inline std::string usb_request_fields(std::uint32_t code, std::uint32_t capacity, std::span<const std::uint8_t> in,
                                      std::span<const std::uint8_t> payload) {
    return code_text(code) + " " + std::to_string(capacity) + " " + hex(in) + " " + hex(payload);
}

inline std::string usb_reply_fields(bool success, std::uint32_t returned, std::span<const std::uint8_t> data) {
    return std::string(success ? "1" : "0") + " " + std::to_string(returned) + " " + hex(data);
}

// ---- Reading ----------------------------------------------------------------

struct Event {
    std::size_t line = 0;  // 1-based line number in the file
    std::uint64_t ms = 0;
    std::string link;      // usb, com, bt
    std::string kind;      // open, close, req, rep, tx, rx, id
    std::vector<std::string> fields;
};

struct Parsed {
    std::vector<Event> events;
    std::vector<std::string> comments;  // without the leading "# "
};

inline std::vector<std::string> split(std::string_view line) {
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    std::string w;
    while (in >> w) words.push_back(w);
    return words;
}

// The events of a record; nothing (and why in *error) for a file in another
// format or version, or a malformed line.
inline std::optional<Parsed> parse(std::string_view text, std::string* error) {
    Parsed parsed;
    std::size_t number = 0;
    std::size_t pos = 0;
    auto fail = [&](const std::string& why) -> std::optional<Parsed> {
        if (error) *error = "line " + std::to_string(number) + ": " + why;
        return std::nullopt;
    };
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? text.size() - pos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (number == 1) {
            const auto words = split(line);
            if (words.size() != 2 || words[0] != kMagic) return fail("not a record (no \"TOLA-RECORD\" line)");
            if (words[1] != std::to_string(kVersion)) return fail("record version " + words[1] + " is not known");
            continue;
        }
        if (line.empty()) continue;
        if (line.front() == '#') {
            line.remove_prefix(1);
            if (!line.empty() && line.front() == ' ') line.remove_prefix(1);
            parsed.comments.emplace_back(line);
            continue;
        }
        auto words = split(line);
        if (words.size() < 3) return fail("an event needs a time, a link and a kind");
        Event e;
        e.line = number;
        const auto r = std::from_chars(words[0].data(), words[0].data() + words[0].size(), e.ms);
        if (r.ec != std::errc{} || r.ptr != words[0].data() + words[0].size()) return fail("bad time " + words[0]);
        e.link = words[1];
        e.kind = words[2];
        e.fields.assign(words.begin() + 3, words.end());
        if (e.link != "usb" && e.link != "com" && e.link != "bt") return fail("unknown link " + e.link);
        parsed.events.push_back(std::move(e));
    }
    if (number == 0) return fail("empty file");
    return parsed;
}

}  // namespace tola::record
