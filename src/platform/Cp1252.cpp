#include "platform/Cp1252.h"

#include <array>

namespace {
// Bytes 80..9F; the rest of the code page equals Latin-1.
constexpr char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
}

namespace cp1252 {

char16_t ToUnicode(unsigned char b)
{
    if (b >= 0x80 && b <= 0x9F)
        return kHigh[b - 0x80];
    return b;
}

int FromUnicode(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] == c)
            return 0x80 + i;
    return -1;
}

} // namespace cp1252

QString FromAnsi(const std::string &s)
{
    // The catalogue's selectors convert a hundred thousand texts at start-up:
    // text without bytes 80..9F is Latin-1, which Qt converts fastest; other
    // text is written in place.
    bool latin1 = true;
    for (unsigned char b : s)
        latin1 = latin1 && !(b >= 0x80 && b <= 0x9F);
    if (latin1)
        return QString::fromLatin1(s.data(), qsizetype(s.size()));
    QString r(qsizetype(s.size()), Qt::Uninitialized);
    char16_t *d = reinterpret_cast<char16_t *>(r.data());
    for (unsigned char b : s)
        *d++ = cp1252::ToUnicode(b);
    return r;
}

std::string ToAnsi(const QString &s)
{
    std::string r;
    r.reserve(size_t(s.size()));
    for (qsizetype i = 0; i < s.size(); ++i) {
        QChar c = s[i];
        // A character beyond the basic plane is one '?', not two.
        if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate())
            ++i;
        int b = cp1252::FromUnicode(c.unicode());
        r.push_back(b < 0 ? '?' : char(b));
    }
    return r;
}
