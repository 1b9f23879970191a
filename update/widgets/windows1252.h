// 8-bit texts of the instrument and of the files the program writes are in the
// Windows-1252 code page.  Decoding maps every byte to one character and the
// five bytes that code page leaves undefined to the control characters of the
// same value, so decoding and encoding round-trip every byte string.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace ckupdate {

QChar FromWindows1252(unsigned char byte);
QString FromWindows1252(const char* text, std::size_t length);
QString FromWindows1252(const QByteArray& text);

// Characters the code page lacks become '?'.
char ToWindows1252(QChar ch);
QByteArray ToWindows1252(const QString& text);

// Copies at most maxChars characters of text as Windows-1252 into the fixed-width
// field dest of destSize bytes and NUL-terminates it (the rest is zero-filled).
void CopyToAnsiField(char* dest, std::size_t destSize, const QString& text, int maxChars);

}  // namespace ckupdate
