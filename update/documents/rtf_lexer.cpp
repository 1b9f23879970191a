#include "update/documents/rtf_lexer.h"

#include <algorithm>
#include <limits>

namespace ckupdate {
namespace {

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
int HexValue(char c) {
    if (IsDigit(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

RtfToken Token(RtfToken::Kind kind) {
    RtfToken t;
    t.kind = kind;
    return t;
}

}  // namespace

RtfToken RtfLexer::Next() {
    while (pos_ < in_.size()) {
        const char c = in_[pos_];
        switch (c) {
        case '{':
            ++pos_;
            return Token(RtfToken::Kind::GroupStart);
        case '}':
            ++pos_;
            return Token(RtfToken::Kind::GroupEnd);
        case '\\':
            return ReadControl();
        case '\r':
        case '\n':
            ++pos_;  // line ends in the file carry no meaning
            continue;
        default:
            return ReadText();
        }
    }
    return {};
}

RtfToken RtfLexer::ReadText() {
    const std::size_t start = pos_;
    while (pos_ < in_.size()) {
        const char c = in_[pos_];
        if (c == '{' || c == '}' || c == '\\' || c == '\r' || c == '\n') break;
        ++pos_;
    }
    RtfToken t = Token(RtfToken::Kind::Text);
    t.word = in_.substr(start, pos_ - start);
    return t;
}

RtfToken RtfLexer::ReadControl() {
    ++pos_;  // the backslash
    if (pos_ >= in_.size()) return {};  // a lone backslash at the end
    const char c = in_[pos_];

    if (!IsLetter(c)) {
        ++pos_;
        if (c == '\'') {
            // \'hh: one byte in the document's code page.  A broken escape
            // stays a control symbol that means nothing.
            const int hi = pos_ < in_.size() ? HexValue(in_[pos_]) : -1;
            const int lo = pos_ + 1 < in_.size() ? HexValue(in_[pos_ + 1]) : -1;
            if (hi < 0 || lo < 0) {
                RtfToken broken = Token(RtfToken::Kind::ControlSymbol);
                broken.symbol = c;
                return broken;
            }
            pos_ += 2;
            RtfToken t = Token(RtfToken::Kind::HexByte);
            t.byte = static_cast<unsigned char>(hi * 16 + lo);
            return t;
        }
        RtfToken t = Token(RtfToken::Kind::ControlSymbol);
        t.symbol = c;
        return t;
    }

    const std::size_t start = pos_;
    while (pos_ < in_.size() && IsLetter(in_[pos_])) ++pos_;
    RtfToken t = Token(RtfToken::Kind::ControlWord);
    t.word = in_.substr(start, std::min(pos_ - start, kMaxWordLength));

    bool negative = false;
    if (pos_ + 1 < in_.size() && in_[pos_] == '-' && IsDigit(in_[pos_ + 1])) {
        negative = true;
        ++pos_;
    }
    if (pos_ < in_.size() && IsDigit(in_[pos_])) {
        std::int64_t value = 0;
        std::size_t digits = 0;
        while (pos_ < in_.size() && IsDigit(in_[pos_])) {
            if (digits < kMaxParameterDigits) value = value * 10 + (in_[pos_] - '0');
            ++digits;
            ++pos_;
        }
        if (negative) value = -value;
        value = std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                         std::numeric_limits<std::int32_t>::max());
        t.hasParameter = true;
        t.parameter = static_cast<std::int32_t>(value);
    }
    // A single space ends the control word and belongs to it.
    if (pos_ < in_.size() && in_[pos_] == ' ') ++pos_;

    if (t.word == "bin") {
        // Binary data follows; it is skipped as a whole.
        const std::size_t left = in_.size() - pos_;
        const std::size_t n = t.parameter > 0 ? static_cast<std::size_t>(t.parameter) : 0;
        pos_ += std::min(n, left);
    }
    return t;
}

}  // namespace ckupdate
