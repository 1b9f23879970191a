// Splits rich text into its tokens: group braces, control words with their
// optional numeric parameter, control symbols, \'hh bytes and runs of plain
// text.  Bounded: control words longer than 32 letters and parameters longer
// than 10 digits are cut (the rest is consumed), parameters are clamped to
// 32 bits, and \binN skips at most the bytes that are left.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ckupdate {

struct RtfToken {
    enum class Kind { End, GroupStart, GroupEnd, ControlWord, ControlSymbol, HexByte, Text };
    Kind kind = Kind::End;
    std::string_view word;  // ControlWord: its letters; Text: the run
    bool hasParameter = false;
    std::int32_t parameter = 0;
    char symbol = 0;         // ControlSymbol: the character after the backslash
    unsigned char byte = 0;  // HexByte
};

class RtfLexer {
public:
    explicit RtfLexer(std::string_view input) : in_(input) {}

    RtfToken Next();
    std::size_t Position() const { return pos_; }

    static constexpr std::size_t kMaxWordLength = 32;
    static constexpr std::size_t kMaxParameterDigits = 10;

private:
    RtfToken ReadControl();
    RtfToken ReadText();

    std::string_view in_;
    std::size_t pos_ = 0;
};

}  // namespace ckupdate
