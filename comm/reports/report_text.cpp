#include "comm/reports/report_text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdarg>
#include <cstring>
#include <string_view>

namespace tola::reports {
namespace {

// A formatted piece.  The reports use few conversions (%d, %u, %x with width
// and precision, %f with width and precision, %s and %.*s); they are formatted
// here with std::to_chars, which gives the same digits as printf (both round
// the exact binary value) at a fraction of its cost.
// The largest piece a report formats: far more than any report's pieces.
constexpr std::size_t kPieceCapacity = 512;

// A formatted piece, written into a buffer of kPieceCapacity bytes (the
// report text itself when that much room is left, else a scratch buffer).
class Piece {
public:
    explicit Piece(char* out) : out_(out) {}
    void add(const char* p, std::size_t n) {
        if (n > kPieceCapacity - length_) n = kPieceCapacity - length_;
        // Pieces are a few bytes: a plain loop, no library call.
        char* out = out_ + length_;
        length_ += n;
        while (n-- > 0) *out++ = *p++;
    }
    void add(char c) {
        if (length_ < kPieceCapacity) out_[length_++] = c;
    }
    void pad(std::size_t width, std::size_t used) {
        for (; used < width; ++used) add(' ');
    }
    std::size_t size() const { return length_; }
    std::string_view view() const { return {out_, length_}; }

private:
    char* out_;
    std::size_t length_ = 0;
};

// "%.<precision>f" of a value that came from a float: scaled by 10^precision
// (precision at most 5) it is exact in a double, so rounding it half to even
// gives printf's digits.  Nothing when the value does not qualify.
char* fixed_from_float(char* out, double v, int precision) {
    static constexpr double kScale[6] = {1, 10, 100, 1000, 10000, 100000};
    if (precision < 0 || precision > 5 || !std::isfinite(v) || static_cast<double>(static_cast<float>(v)) != v)
        return nullptr;
    const double scaled = std::fabs(v) * kScale[precision];
    if (scaled >= 9007199254740992.0) return nullptr;  // 2^53: beyond exact integers
    auto n = static_cast<std::uint64_t>(scaled);
    const double rest = scaled - static_cast<double>(n);
    if (rest > 0.5 || (rest == 0.5 && (n & 1) != 0)) ++n;
    // The digits of n from the right, two at a time, at least one before the point.
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char digits[32];
    char* first = digits + sizeof digits;
    if (n <= 0xFFFFFFFFu) {
        auto m = static_cast<std::uint32_t>(n);
        while (m >= 100) {
            const std::uint32_t pair = m % 100;
            m /= 100;
            *--first = kPairs[2 * pair + 1];
            *--first = kPairs[2 * pair];
        }
        if (m >= 10) {
            *--first = kPairs[2 * m + 1];
            *--first = kPairs[2 * m];
        } else {
            *--first = static_cast<char>('0' + m);
        }
    } else {
        do {
            *--first = static_cast<char>('0' + n % 10);
            n /= 10;
        } while (n != 0);
    }
    int count = static_cast<int>(digits + sizeof digits - first);
    for (; count <= precision; ++count) *--first = '0';
    const int before = count - precision;
    char* p = out;
    if (std::signbit(v)) *p++ = '-';
    for (int i = 0; i < before; ++i) *p++ = first[i];
    if (precision > 0) {
        *p++ = '.';
        for (int i = 0; i < precision; ++i) *p++ = first[before + i];
    }
    return p;
}

void add_converted(Piece& piece, const char* text, std::size_t n, std::size_t width) {
    piece.pad(width, n);
    piece.add(text, n);
}

void format_piece(Piece& piece, const char* format, va_list args) {
    for (const char* f = format; *f != '\0'; ++f) {
        if (*f != '%') {
            const char* start = f;
            while (f[1] != '\0' && f[1] != '%') ++f;
            piece.add(start, static_cast<std::size_t>(f - start + 1));
            continue;
        }
        ++f;
        if (*f == '%') {
            piece.add("%", 1);
            continue;
        }
        std::size_t width = 0;
        while (*f >= '0' && *f <= '9') width = width * 10 + static_cast<std::size_t>(*f++ - '0');
        int precision = -1;
        if (*f == '.') {
            ++f;
            if (*f == '*') {
                precision = va_arg(args, int);
                ++f;
            } else {
                precision = 0;
                while (*f >= '0' && *f <= '9') precision = precision * 10 + (*f++ - '0');
            }
        }
        char digits[400];
        std::to_chars_result r{digits, std::errc{}};
        switch (*f) {
            case 'd': r = std::to_chars(digits, digits + sizeof digits, va_arg(args, int)); break;
            case 'u': r = std::to_chars(digits, digits + sizeof digits, va_arg(args, unsigned)); break;
            case 'x': {
                char hex[16];
                const auto h = std::to_chars(hex, hex + sizeof hex, va_arg(args, unsigned), 16);
                const auto n = static_cast<std::size_t>(h.ptr - hex);
                const auto minimum = static_cast<std::size_t>(precision < 0 ? 1 : precision);
                std::size_t at = 0;
                for (; at + n < minimum; ++at) digits[at] = '0';
                std::memcpy(digits + at, hex, n);
                r.ptr = digits + at + n;
                break;
            }
            case 'f': {
                const double v = va_arg(args, double);
                const int p = precision < 0 ? 6 : precision;
                if (char* end = fixed_from_float(digits, v, p))
                    r.ptr = end;
                else
                    r = std::to_chars(digits, digits + sizeof digits, v, std::chars_format::fixed, p);
                break;
            }
            case 's': {
                const char* text = va_arg(args, const char*);
                const std::size_t n = text == nullptr ? 0
                                      : precision < 0 ? std::strlen(text)
                                                      : ::strnlen(text, static_cast<std::size_t>(precision));
                add_converted(piece, text, n, width);
                continue;
            }
            default: continue;  // no report uses another conversion
        }
        if (r.ec != std::errc{}) continue;
        add_converted(piece, digits, static_cast<std::size_t>(r.ptr - digits), width);
    }
}

void fixed_piece(Piece& piece, std::string_view prefix, float v, int width, int precision, std::string_view suffix) {
    piece.add(prefix.data(), prefix.size());
    char digits[400];
    char* end = fixed_from_float(digits, static_cast<double>(v), precision);
    if (end == nullptr)
        end = std::to_chars(digits, digits + sizeof digits, static_cast<double>(v), std::chars_format::fixed, precision)
                  .ptr;
    add_converted(piece, digits, static_cast<std::size_t>(end - digits), static_cast<std::size_t>(width));
    piece.add(suffix.data(), suffix.size());
}

}  // namespace

ReportText::ReportText(char* text) : text_(text) {
    if (text_ != nullptr) length_ = ::strnlen(text_, kReportBufferSize);
    // A buffer that holds no terminator within its size is taken as full.
    if (length_ == kReportBufferSize) {
        text_[kReportBufferSize - 1] = '\0';
        length_ = kReportBufferSize - 1;
    }
}

ReportText ReportText::replacing(char* text) {
    if (text != nullptr) text[0] = '\0';
    return ReportText(text);
}

void ReportText::bounded(std::string_view piece) {
    if (text_ == nullptr || length_ + piece.size() >= kReportBufferSize) return;
    for (std::size_t i = 0; i < piece.size(); ++i) text_[length_ + i] = piece[i];
    length_ += piece.size();
    text_[length_] = '\0';
}

void ReportText::direct(std::string_view piece) {
    if (text_ == nullptr) return;
    const std::size_t room = kReportBufferSize - 1 - length_;
    const std::size_t n = piece.size() < room ? piece.size() : room;
    for (std::size_t i = 0; i < n; ++i) text_[length_ + i] = piece[i];
    length_ += n;
    text_[length_] = '\0';
}

template <class Format>
void ReportText::append(Append how, Format&& format) {
    if (text_ == nullptr) return;
    // With room for any piece, it is written in place and kept if allowed.
    if (kReportBufferSize - 1 - length_ >= kPieceCapacity) {
        Piece piece(text_ + length_);
        format(piece);
        length_ += piece.size();
        text_[length_] = '\0';
        return;
    }
    char scratch[kPieceCapacity];
    Piece piece(scratch);
    format(piece);
    if (how == Append::Bounded)
        bounded(piece.view());
    else
        direct(piece.view());
}

void ReportText::values(Append how, std::span<const float> values, std::string_view prefix, int width, int precision,
                        std::string_view suffix) {
    for (float v : values)
        append(how, [&](Piece& piece) { fixed_piece(piece, prefix, v, width, precision, suffix); });
}

void ReportText::bounded_f(const char* format, ...) {
    va_list args;
    va_start(args, format);
    append(Append::Bounded, [&](Piece& piece) { format_piece(piece, format, args); });
    va_end(args);
}

void ReportText::direct_f(const char* format, ...) {
    va_list args;
    va_start(args, format);
    append(Append::Direct, [&](Piece& piece) { format_piece(piece, format, args); });
    va_end(args);
}

std::string_view field_text(const char* field, std::size_t width) {
    return {field, ::strnlen(field, width)};
}

}  // namespace tola::reports
