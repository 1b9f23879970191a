#include "comm/reports/report_text.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

namespace tola::reports {
namespace {

// A formatted piece; the formats used by the reports stay far below this
// except for "%s" pieces, which come here already bounded by their fields.
constexpr std::size_t kPieceSize = 512;

std::string format_piece(const char* format, va_list args) {
    char buffer[kPieceSize];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < sizeof buffer) return std::string(buffer, static_cast<std::size_t>(n));
    std::string big(static_cast<std::size_t>(n) + 1, '\0');
    std::vsnprintf(big.data(), big.size(), format, args);
    big.resize(static_cast<std::size_t>(n));
    return big;
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
    std::memcpy(text_ + length_, piece.data(), piece.size());
    length_ += piece.size();
    text_[length_] = '\0';
}

void ReportText::direct(std::string_view piece) {
    if (text_ == nullptr) return;
    const std::size_t room = kReportBufferSize - 1 - length_;
    const std::size_t n = piece.size() < room ? piece.size() : room;
    std::memcpy(text_ + length_, piece.data(), n);
    length_ += n;
    text_[length_] = '\0';
}

void ReportText::bounded_f(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string piece = format_piece(format, args);
    va_end(args);
    bounded(piece);
}

void ReportText::direct_f(const char* format, ...) {
    va_list args;
    va_start(args, format);
    const std::string piece = format_piece(format, args);
    va_end(args);
    direct(piece);
}

std::string_view field_text(const char* field, std::size_t width) {
    return {field, ::strnlen(field, width)};
}

}  // namespace tola::reports
