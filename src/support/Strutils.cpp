#include "support/Strutils.h"

#include "platform/Cp1252.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <QCoreApplication>
#include <QString>
#include <QStringList>
#include <algorithm>

TCharSet CharSet(std::string_view chars)
{
    TCharSet set;
    for (char c : chars)
        set.set(static_cast<unsigned char>(c));
    return set;
}

TCharSet CharRange(unsigned char first, unsigned char last)
{
    TCharSet set;
    for (unsigned v = first; v <= last; ++v)
        set.set(v);
    return set;
}

// ---- blanks, characters and padding ---------------------------------------------

bool IsEmptyStr(const std::string &s, const TCharSet &emptyChars)
{
    return std::all_of(s.begin(), s.end(), [&](char c) { return InSet(emptyChars, c); });
}

std::string DelChars(const std::string &s, char chr)
{
    std::string r;
    r.reserve(s.size());
    for (char c : s)
        if (c != chr)
            r += c;
    return r;
}

std::string DelSpace(const std::string &s) { return DelChars(s, ' '); }

std::string DelBSpace(const std::string &s)
{
    const size_t i = s.find_first_not_of(' ');
    return i == std::string::npos ? std::string() : s.substr(i);
}

std::string DelESpace(const std::string &s)
{
    const size_t i = s.find_last_not_of(' ');
    return i == std::string::npos ? std::string() : s.substr(0, i + 1);
}

std::string DelRSpace(const std::string &s) { return DelBSpace(DelESpace(s)); }

std::string DelSpace1(const std::string &s)
{
    std::string r;
    r.reserve(s.size());
    for (char c : s)
        if (c != ' ' || r.empty() || r.back() != ' ')
            r += c;
    return r;
}

std::string Tab2Space(const std::string &s, std::uint8_t numb)
{
    std::string r;
    for (char c : s) {
        if (c == '\t')
            r.append(numb, ' ');
        else
            r += c;
    }
    return r;
}

std::string MakeStr(char c, int n) { return n < 1 ? std::string() : std::string(size_t(n), c); }
std::string MS(char c, int n) { return MakeStr(c, n); }

std::string AddChar(char c, const std::string &s, int n)
{
    if (n <= int(s.size()))
        return s;
    return MakeStr(c, n - int(s.size())) + s;
}

std::string AddCharR(char c, const std::string &s, int n)
{
    if (n <= int(s.size()))
        return s;
    return s + MakeStr(c, n - int(s.size()));
}

std::string LeftStr(const std::string &s, int n) { return AddCharR(' ', s, n); }
std::string RightStr(const std::string &s, int n) { return AddChar(' ', s, n); }

std::string CenterStr(const std::string &s, int len)
{
    if (int(s.size()) >= len)
        return s;
    return AddCharR(' ', MakeStr(' ', len / 2 - int(s.size()) / 2) + s, len);
}

// ---- OEM code page ---------------------------------------------------------------

namespace {

// Code page 437, bytes 128..255.
const char16_t Oem437[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF,
    0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA,
    0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557,
    0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4,
    0x221E, 0x03C6, 0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

char16_t OemToUnicode(unsigned char b) { return b < 128 ? char16_t(b) : Oem437[b - 128]; }

int UnicodeToOem(char16_t c)
{
    if (c < 128)
        return c;
    for (int i = 0; i < 128; ++i)
        if (Oem437[i] == c)
            return 128 + i;
    return -1;
}

// The base letter of an accented letter (A for À), when it is plain ASCII.
int BaseLetter(char16_t c)
{
    const QString d = QChar(c).decomposition();
    if (!d.isEmpty() && d.at(0).unicode() < 128)
        return d.at(0).unicode();
    return -1;
}

} // namespace

std::string StrToOem(const std::string &s)
{
    std::string r = s;
    for (char &c : r) {
        const char16_t u = cp1252::ToUnicode(static_cast<unsigned char>(c));
        int b = UnicodeToOem(u);
        if (b < 0)
            b = BaseLetter(u);
        c = char(b < 0 ? '?' : b);
    }
    return r;
}

std::string OemToAnsiStr(const std::string &s)
{
    std::string r = s;
    for (char &c : r) {
        const char16_t u = OemToUnicode(static_cast<unsigned char>(c));
        int b = cp1252::FromUnicode(u);
        if (b < 0)
            b = BaseLetter(u);
        c = char(b < 0 ? '?' : b);
    }
    return r;
}

// ---- searching and comparing ---------------------------------------------------

std::string ReplaceStr(const std::string &s, const std::string &srch, const std::string &replace)
{
    if (srch.empty())
        return s;
    std::string r;
    size_t from = 0;
    for (;;) {
        const size_t at = s.find(srch, from);
        if (at == std::string::npos)
            break;
        r.append(s, from, at - from);
        r += replace;
        from = at + srch.size();
    }
    r.append(s, from, std::string::npos);
    return r;
}

int NPos(const std::string &c, const std::string &s, int n)
{
    if (n < 1 || c.empty())
        return 0;
    size_t from = 0;
    size_t at = std::string::npos;
    for (int i = 0; i < n; ++i) {
        at = s.find(c, from);
        if (at == std::string::npos)
            return 0;
        from = at + 1;
    }
    return int(at) + 1;
}

static int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int CompStr(const std::string &s1, const std::string &s2)
{
    return Sign(QString::localeAwareCompare(FromAnsi(s1), FromAnsi(s2)));
}

int CompText(const std::string &s1, const std::string &s2)
{
    return Sign(QString::localeAwareCompare(FromAnsi(s1).toLower(), FromAnsi(s2).toLower()));
}

std::string Copy2Symb(const std::string &s, char symb)
{
    const size_t at = s.find(symb);
    return at == std::string::npos ? s : s.substr(0, at);
}

std::string Copy2SymbDel(std::string &s, char symb)
{
    const std::string result = Copy2Symb(s, symb);
    s = DelBSpace(s.substr(result.size()));
    return result;
}

std::string Copy2Space(const std::string &s) { return Copy2Symb(s, ' '); }
std::string Copy2SpaceDel(std::string &s) { return Copy2SymbDel(s, ' '); }

std::string QuotedString(const std::string &s, char quote)
{
    std::string r(1, quote);
    for (char c : s) {
        r += c;
        if (c == quote)
            r += c;
    }
    r += quote;
    return r;
}

std::string ExtractQuotedString(const std::string &s, char quote)
{
    if (s.empty() || s[0] != quote)
        return s;
    std::string r;
    for (size_t i = 1; i < s.size(); ++i) {
        if (s[i] == quote) {
            if (i + 1 < s.size() && s[i + 1] == quote) {
                r += quote;
                ++i;
            } else {
                break;
            }
        } else {
            r += s[i];
        }
    }
    return r;
}

int FindPart(const std::string &helpWilds, const std::string &inputStr)
{
    if (helpWilds.find('?') == std::string::npos)
        return Rtl::Pos(helpWilds, inputStr);
    const size_t n = helpWilds.size();
    if (n == 0 || n > inputStr.size())
        return 0;
    for (size_t i = 0; i + n <= inputStr.size(); ++i) {
        bool match = true;
        for (size_t j = 0; j < n && match; ++j)
            match = helpWilds[j] == '?' || helpWilds[j] == inputStr[i + j];
        if (match)
            return int(i) + 1;
    }
    return 0;
}

bool IsWild(std::string inputStr, std::string wilds, bool ignoreCase)
{
    if (inputStr == wilds)
        return true;
    for (size_t at; (at = wilds.find("**")) != std::string::npos;)
        wilds.erase(at, 1);
    if (wilds == "*")
        return true;
    if (ignoreCase) {
        inputStr = Rtl::AnsiUpperCase(inputStr);
        wilds = Rtl::AnsiUpperCase(wilds);
    }
    if (inputStr.empty() || wilds.empty())
        return false;
    const size_t plen = wilds.size(), tlen = inputStr.size();
    size_t p = 0, t = 0;
    for (;;) {
        const char pc = wilds[p];
        if (pc == '?' || pc == inputStr[t]) {
            ++p;
            ++t;
        } else if (pc == '*') {
            const size_t next = wilds.find('*', p + 1);
            if (next == std::string::npos) {
                // The last literal part must end the text, within what is
                // left of it (it may not reuse characters matched already).
                const std::string part = wilds.substr(p + 1);
                if (part.size() > tlen - t)
                    return false;
                for (size_t k = 0; k < part.size(); ++k) {
                    const char wc = part[part.size() - 1 - k];
                    if (wc != '?' && wc != inputStr[tlen - 1 - k])
                        return false;
                }
                return true;
            }
            const std::string part = wilds.substr(p + 1, next - p - 1);
            p = next;
            const int at = FindPart(part, inputStr.substr(t));
            if (at == 0)
                return false;
            t += size_t(at) - 1 + part.size();
        } else {
            return false;
        }
        if (p >= plen || t >= tlen) {
            if (t < tlen)
                return false;
            // The text is used up: only a final "*" may be left.
            return p >= plen || (p == plen - 1 && wilds[p] == '*');
        }
    }
}

// ---- words ---------------------------------------------------------------------

namespace {

// Start (0-based) and length of every word.
struct Span {
    size_t start, len;
};

std::vector<Span> Words(const std::string &s, const TCharSet &delims)
{
    std::vector<Span> words;
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && InSet(delims, s[i]))
            ++i;
        if (i >= s.size())
            break;
        const size_t start = i;
        while (i < s.size() && !InSet(delims, s[i]))
            ++i;
        words.push_back({start, i - start});
    }
    return words;
}

} // namespace

int WordCount(const std::string &s, const TCharSet &wordDelims)
{
    return int(Words(s, wordDelims).size());
}

int WordPosition(int n, const std::string &s, const TCharSet &wordDelims)
{
    const auto words = Words(s, wordDelims);
    if (n < 1 || n > int(words.size()))
        return 0;
    return int(words[size_t(n - 1)].start) + 1;
}

std::string ExtractWordPos(int n, const std::string &s, const TCharSet &wordDelims, int &pos)
{
    const auto words = Words(s, wordDelims);
    if (n < 1 || n > int(words.size())) {
        pos = 0;
        return std::string();
    }
    const Span &w = words[size_t(n - 1)];
    pos = int(w.start) + 1;
    return s.substr(w.start, w.len);
}

std::string ExtractWord(int n, const std::string &s, const TCharSet &wordDelims)
{
    int pos = 0;
    return ExtractWordPos(n, s, wordDelims, pos);
}

std::string ExtractDelimited(int n, const std::string &s, const TCharSet &delims)
{
    if (n < 1)
        return std::string();
    int field = 1;
    std::string r;
    for (char c : s) {
        if (InSet(delims, c)) {
            if (field == n)
                return r;
            ++field;
        } else if (field == n) {
            r += c;
        }
    }
    return field == n ? r : std::string();
}

std::string ExtractSubstr(const std::string &s, int &pos, const TCharSet &delims)
{
    const int n = int(s.size());
    if (pos < 1)
        pos = 1;
    int i = pos;
    while (i <= n && !InSet(delims, s[size_t(i - 1)]))
        ++i;
    std::string r = pos <= n ? s.substr(size_t(pos - 1), size_t(i - pos)) : std::string();
    pos = i <= n ? i + 1 : i;
    return r;
}

bool IsWordPresent(const std::string &w, const std::string &s, const TCharSet &wordDelims)
{
    for (const Span &sp : Words(s, wordDelims))
        if (s.compare(sp.start, sp.len, w) == 0)
            return true;
    return false;
}

std::string AnsiProperCase(const std::string &s, const TCharSet &wordDelims)
{
    std::string r = Rtl::AnsiLowerCase(s);
    for (const Span &sp : Words(r, wordDelims))
        r[sp.start] = Rtl::AnsiUpperCase(std::string(1, r[sp.start]))[0];
    return r;
}

// ---- numbers -------------------------------------------------------------------

static void CheckBase(int base)
{
    if (base < 2 || base > 36)
        throw EConvertError("Invalid number base " + std::to_string(base) + " (2 to 36)");
}

std::string Numb2USA(const std::string &s)
{
    std::string r = s;
    for (int i = int(r.size()) - 3; i > 0; i -= 3)
        r.insert(size_t(i), 1, ',');
    return r;
}

std::string Dec2Hex(std::int64_t n, int digits) { return Rtl::IntToHex(n, digits); }
std::string D2H(std::int64_t n, int digits) { return Dec2Hex(n, digits); }

std::int32_t Hex2Dec(const std::string &s)
{
    const std::string text = s.find('$') == std::string::npos ? "$" + s : s;
    return Rtl::StrToIntDef(text, 0);
}

std::int32_t H2D(const std::string &s) { return Hex2Dec(s); }

std::string Dec2Numb(std::int32_t n, int len, int base)
{
    CheckBase(base);
    std::uint32_t number = std::uint32_t(n);
    std::string r;
    if (number == 0)
        r = "0";
    while (number > 0) {
        const int d = int(number % std::uint32_t(base));
        r.insert(r.begin(), char(d > 9 ? d + 55 : d + 48));
        number /= std::uint32_t(base);
    }
    return AddChar('0', r, len);
}

std::int32_t Numb2Dec(const std::string &s, int base)
{
    CheckBase(base);
    const std::string u = Rtl::UpperCase(s);
    std::uint32_t result = 0, place = 1;
    for (size_t i = u.size(); i-- > 0;) {
        const int code = static_cast<unsigned char>(u[i]);
        const int digit = code > 64 ? code - 55 : code - 48;
        result += std::uint32_t(digit) * place;
        place *= std::uint32_t(base);
    }
    return std::int32_t(result);
}

std::string IntToRoman(int value)
{
    if (value < 1)
        return std::string();
    std::string r(size_t(value / 1000), 'M');
    value %= 1000;
    // One decimal place with its one, five and ten letters.
    auto place = [&r](int digit, char one, char five, char ten) {
        if (digit == 9) {
            r += one;
            r += ten;
        } else if (digit >= 5) {
            r += five;
            r.append(size_t(digit - 5), one);
        } else if (digit == 4) {
            r += one;
            r += five;
        } else {
            r.append(size_t(digit), one);
        }
    };
    place(value / 100, 'C', 'D', 'M');
    place(value / 10 % 10, 'X', 'L', 'C');
    place(value % 10, 'I', 'V', 'X');
    return r;
}

int RomanToInt(const std::string &s)
{
    auto val = [](char c) {
        switch (c) {
        case 'I': case 'i': return 1;
        case 'V': case 'v': return 5;
        case 'X': case 'x': return 10;
        case 'L': case 'l': return 50;
        case 'C': case 'c': return 100;
        case 'D': case 'd': return 500;
        case 'M': case 'm': return 1000;
        default: return 0;
        }
    };
    size_t i = 0;
    const bool negative = !s.empty() && s[0] == '-';
    if (negative)
        i = 1;
    std::int64_t sum = 0;
    while (i < s.size()) {
        const int v = val(s[i]);
        if (v == 0)
            return 0;
        const int next = i + 1 < s.size() ? val(s[i + 1]) : 0;
        if (next > v) {
            sum += next - v;
            i += 2;
        } else {
            sum += v;
            ++i;
        }
        if (sum > INT32_MAX)
            return 0;
    }
    return int(negative ? -sum : sum);
}

std::string IntToBin(std::uint32_t value, int digits, int spaces)
{
    if (spaces < 1)
        throw EConvertError("Invalid group size " + std::to_string(spaces) + " (at least 1)");
    digits = std::clamp(digits, 0, 32);
    std::string r;
    for (int k = digits - 1; k >= 0; --k) {
        if ((k + 1) % spaces == 0)
            r += ' ';
        r += (value >> k) & 1u ? '1' : '0';
    }
    return r;
}

// ---- command line and encoding ---------------------------------------------------

std::string GetCmdLineArg(const std::string &name, const TCharSet &switchChars,
                          const std::vector<std::string> &params)
{
    for (size_t i = 0; i < params.size(); ++i) {
        const std::string &p = params[i];
        if (switchChars.any() && (p.size() < 2 || !InSet(switchChars, p[0])))
            continue;
        if (Rtl::AnsiCompareText(p.substr(std::min<size_t>(1, p.size())), name) == 0)
            return i + 1 < params.size() ? params[i + 1] : std::string();
    }
    return std::string();
}

std::string GetCmdLineArg(const std::string &name, const TCharSet &switchChars)
{
    std::vector<std::string> params;
    if (QCoreApplication::instance()) {
        const QStringList args = QCoreApplication::arguments();
        for (qsizetype i = 1; i < args.size(); ++i)
            params.push_back(ToAnsi(args.at(i)));
    }
    return GetCmdLineArg(name, switchChars, params);
}

std::string XorString(const std::string &key, const std::string &src)
{
    const std::string k = key.substr(0, 255);
    std::string r = src.substr(0, 255);
    if (k.empty())
        return r;
    for (size_t i = 0; i < r.size(); ++i)
        r[i] = char(r[i] ^ k[i % k.size()]);
    return r;
}

std::string XorEncode(const std::string &key, const std::string &source)
{
    static const char hex[] = "0123456789abcdef";
    std::string r;
    r.reserve(source.size() * 2);
    for (size_t i = 0; i < source.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(source[i]);
        if (!key.empty())
            b ^= static_cast<unsigned char>(key[i % key.size()]);
        r += hex[b >> 4];
        r += hex[b & 15];
    }
    return r;
}

std::string XorDecode(const std::string &key, const std::string &source)
{
    std::string r;
    r.reserve(source.size() / 2);
    for (size_t i = 0; i + 1 < source.size(); i += 2) {
        const int hi = Rtl::HexDigitValue(source[i]), lo = Rtl::HexDigitValue(source[i + 1]);
        unsigned char b = hi < 0 || lo < 0 ? ' ' : static_cast<unsigned char>(hi * 16 + lo);
        if (!key.empty())
            b ^= static_cast<unsigned char>(key[(i / 2) % key.size()]);
        r += char(b);
    }
    return r;
}
