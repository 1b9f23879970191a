// The text a report writes into the caller's buffer of 10000 bytes.
//
// Pieces are appended in two ways.  A bounded piece lands whole or not at all
// (the bounded concatenation).  A direct piece was written at the end without
// a check by earlier builds of the reports, which could run past the buffer
// with extreme values: here it lands whole when it fits, and otherwise is cut
// at the buffer's end, so the text never leaves the buffer.  Texts that fit are
// the same either way.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

namespace tola::reports {

inline constexpr std::size_t kReportBufferSize = 10000;

class ReportText {
public:
    // Appends to what `text` holds (null: every append is dropped).
    explicit ReportText(char* text);

    // Empties the text first.
    static ReportText replacing(char* text);

    void bounded(std::string_view piece);
    void direct(std::string_view piece);

    // printf-style pieces (the formats are the report's own).
    void bounded_f(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void direct_f(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // For each value the piece prefix, the value as "%<width>.<precision>f" and
    // suffix, appended bounded or direct: the rows of numbers of the reports.
    enum class Append { Bounded, Direct };
    void values(Append how, std::span<const float> values, std::string_view prefix, int width, int precision,
                std::string_view suffix);

    std::size_t length() const { return length_; }

private:
    template <class Format>
    void append(Append how, Format&& format);

    char* text_;
    std::size_t length_ = 0;
};

// A name field of `width` bytes as text: up to its NUL, never past the field.
std::string_view field_text(const char* field, std::size_t width = 26);

}  // namespace tola::reports
