#pragma once
// Windows-1252 ("ANSI") bytes <-> Unicode. Every byte maps to one code point
// and back: the five bytes the code page leaves undefined (81 8D 8F 90 9D)
// map to the C1 control characters of the same value.
#include <QString>
#include <string>

namespace cp1252 {
char16_t ToUnicode(unsigned char b);
// -1 when the character has no byte in the code page.
int FromUnicode(char16_t c);
}

// Conversion at the widget boundary. Characters outside the code page
// become '?'.
QString FromAnsi(const std::string &s);
std::string ToAnsi(const QString &s);
