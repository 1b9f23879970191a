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
// Bytes are lower-case hex without separators; "-" stands for none.  Every line
// ends with a newline: a file that ends inside a line was cut off.
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

#include "comm/platform/usb_channel_frame.h"

namespace tola::record {

inline constexpr const char* kMagic = "TOLA-RECORD";
inline constexpr int kVersion = 1;

// The most bytes one event may carry: a USB request's or reply's buffers are
// bounded by the channel's frame; a serial or Bluetooth read or write is far
// smaller than this bound.  Longer lines are refused unread.
inline constexpr std::size_t kMaxUsbBytes = usbchannel::kMaxPayload;
inline constexpr std::size_t kMaxStreamBytes = std::size_t{1} << 20;
inline constexpr std::size_t kMaxLine = 2 * kMaxStreamBytes + 256;

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

// A word of a record as a message quotes it: escaped (no control characters
// reach a terminal) and cut to a readable length.
inline std::string shown(std::string_view word) {
    constexpr std::size_t kMost = 40;
    return escape(word.substr(0, kMost)) + (word.size() > kMost ? "..." : "");
}

inline bool is_hex_digit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Bytes in hex ("-" for none), at most `max` of them.
inline bool valid_bytes(std::string_view text, std::size_t max, bool may_be_empty = true) {
    if (text == "-") return may_be_empty;
    if (text.empty() || text.size() % 2 != 0 || text.size() / 2 > max) return false;
    for (char c : text)
        if (!is_hex_digit(c)) return false;
    return true;
}

template <class T>
bool valid_number(std::string_view text, T& out, int base = 10) {
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out, base);
    return !text.empty() && r.ec == std::errc{} && r.ptr == text.data() + text.size();
}

// Why the fields of an event do not have the form of its kind; empty when they do.
inline std::string malformed(const Event& e) {
    const auto& f = e.fields;
    const std::string event = e.link + " " + shown(e.kind);
    if (e.kind == "open") return f.size() == 1 ? "" : event + " needs what was opened, one word";
    if (e.kind == "close") return f.empty() ? "" : event + " takes no fields";
    if (e.kind == "id") {
        if (f.empty()) return event + " needs <key>=<value> fields";
        for (const auto& w : f) {
            const auto eq = w.find('=');
            if (eq == 0 || eq == std::string::npos) return event + ": \"" + shown(w) + "\" is not <key>=<value>";
            for (unsigned char c : w)
                if (c <= 0x20 || c >= 0x7F)
                    return event + ": \"" + shown(w) + "\" holds a character that is written %-escaped";
        }
        return "";
    }
    if (e.link == "usb" && e.kind == "req") {
        std::uint32_t code = 0;
        std::uint32_t capacity = 0;
        if (f.size() != 4) return "a request is \"usb req <code> <capacity> <in> <out>\"";
        if (f[0].size() != 8 || !valid_number(f[0], code, 16)) return "bad control code " + shown(f[0]);
        if (!valid_number(f[1], capacity)) return "bad capacity " + shown(f[1]);
        if (capacity > kMaxUsbBytes)
            return "capacity " + f[1] + " is beyond the " + std::to_string(kMaxUsbBytes) + " bytes a request can have";
        if (!valid_bytes(f[2], kMaxUsbBytes) || !valid_bytes(f[3], kMaxUsbBytes))
            return "request bytes are hex (or \"-\"), at most " + std::to_string(kMaxUsbBytes) + " of them";
        return "";
    }
    if (e.link == "usb" && e.kind == "rep") {
        std::uint32_t returned = 0;
        if (f.size() == 1 && f[0] == "lost") return "";
        if (f.size() != 3 || (f[0] != "0" && f[0] != "1") || !valid_number(f[1], returned))
            return "a reply is \"usb rep <ok> <returned> <data>\" or \"usb rep lost\"";
        if (!valid_bytes(f[2], kMaxUsbBytes))
            return "reply bytes are hex (or \"-\"), at most " + std::to_string(kMaxUsbBytes) + " of them";
        return "";
    }
    if (e.link != "usb" && (e.kind == "tx" || e.kind == "rx")) {
        if (f.size() != 1 || !valid_bytes(f[0], kMaxStreamBytes, false))
            return event + " needs its bytes in hex (at least one, at most " + std::to_string(kMaxStreamBytes) + ")";
        return "";
    }
    return "unknown event \"" + event + "\"";
}

// The events of a record; nothing (and why in *error, "record line N: ...")
// for a file in another format or version, or a malformed line: every event
// has the fields of its kind, bytes in hex within their bounds.
inline std::optional<Parsed> parse(std::string_view text, std::string* error) {
    Parsed parsed;
    std::size_t number = 0;
    std::size_t pos = 0;
    auto fail = [&](const std::string& why) -> std::optional<Parsed> {
        if (error) *error = "record line " + std::to_string(number) + ": " + why;
        return std::nullopt;
    };
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? text.size() - pos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        ++number;
        if (line.size() > kMaxLine)
            return fail("longer than any event can be (" + std::to_string(line.size()) + " characters)");
        if (end == std::string_view::npos) return fail("the file ends inside this line (the record was cut off)");
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (number == 1) {
            const auto words = split(line);
            if (words.size() != 2 || words[0] != kMagic) return fail("not a record (no \"TOLA-RECORD\" line)");
            if (words[1] != std::to_string(kVersion))
                return fail("record version " + shown(words[1]) + " is not known");
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
        if (!valid_number(words[0], e.ms)) return fail("bad time " + shown(words[0]));
        e.link = words[1];
        e.kind = words[2];
        e.fields.assign(words.begin() + 3, words.end());
        if (e.link != "usb" && e.link != "com" && e.link != "bt") return fail("unknown link " + shown(e.link));
        if (const std::string why = malformed(e); !why.empty()) return fail(why);
        parsed.events.push_back(std::move(e));
    }
    if (number == 0) {
        if (error) *error = "the file is empty";
        return std::nullopt;
    }
    return parsed;
}

}  // namespace tola::record
