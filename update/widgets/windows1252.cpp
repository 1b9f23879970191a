#include "update/widgets/windows1252.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace ckupdate {
namespace {

// Bytes 0x80..0x9F of the code page; the undefined ones keep their own value.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

QChar FromWindows1252(unsigned char byte) {
    if (byte >= 0x80 && byte <= 0x9F) return QChar(kHighControls[byte - 0x80]);
    return QChar(static_cast<char16_t>(byte));
}

QString FromWindows1252(const char* text, std::size_t length) {
    QString out;
    out.reserve(static_cast<qsizetype>(length));
    for (std::size_t i = 0; i < length; ++i) out.append(FromWindows1252(static_cast<unsigned char>(text[i])));
    return out;
}

QString FromWindows1252(const QByteArray& text) {
    return FromWindows1252(text.constData(), static_cast<std::size_t>(text.size()));
}

char ToWindows1252(QChar ch) {
    const char16_t u = ch.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) return static_cast<char>(u);
    const auto it = std::find(kHighControls.begin(), kHighControls.end(), u);
    if (it != kHighControls.end()) return static_cast<char>(0x80 + (it - kHighControls.begin()));
    return '?';
}

QByteArray ToWindows1252(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (const QChar ch : text) out.append(ToWindows1252(ch));
    return out;
}

void CopyToAnsiField(char* dest, std::size_t destSize, const QString& text, int maxChars) {
    if (destSize == 0) return;
    std::memset(dest, 0, destSize);
    const QByteArray bytes = ToWindows1252(text.left(maxChars));
    const std::size_t n = std::min(static_cast<std::size_t>(bytes.size()), destSize - 1);
    std::memcpy(dest, bytes.constData(), n);
}

}  // namespace ckupdate
