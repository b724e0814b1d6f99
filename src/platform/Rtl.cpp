#include "platform/Rtl.h"

#include "platform/FileIO.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace Rtl {

// ---- strings -----------------------------------------------------------------

std::string Copy(const std::string &s, int64_t index, int64_t count)
{
    if (index < 1)
        index = 1;
    if (count <= 0 || index > int64_t(s.size()))
        return {};
    int64_t avail = int64_t(s.size()) - (index - 1);
    return s.substr(size_t(index - 1), size_t(std::min(count, avail)));
}

int Pos(const std::string &sub, const std::string &s) { return PosEx(sub, s, 1); }

int PosEx(const std::string &sub, const std::string &s, int offset)
{
    if (sub.empty() || offset < 1 || size_t(offset) > s.size())
        return 0;
    size_t p = s.find(sub, size_t(offset - 1));
    return p == std::string::npos ? 0 : int(p + 1);
}

void Delete(std::string &s, int64_t index, int64_t count)
{
    if (index < 1 || index > int64_t(s.size()) || count <= 0)
        return;
    int64_t avail = int64_t(s.size()) - (index - 1);
    s.erase(size_t(index - 1), size_t(std::min(count, avail)));
}

void Insert(const std::string &sub, std::string &s, int64_t index)
{
    if (index < 1)
        index = 1;
    if (index > int64_t(s.size()) + 1)
        index = int64_t(s.size()) + 1;
    s.insert(size_t(index - 1), sub);
}

static bool isBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string Trim(const std::string &s) { return TrimLeft(TrimRight(s)); }

std::string TrimLeft(const std::string &s)
{
    size_t i = 0;
    while (i < s.size() && isBlank(s[i]))
        ++i;
    return s.substr(i);
}

std::string TrimRight(const std::string &s)
{
    size_t n = s.size();
    while (n > 0 && isBlank(s[n - 1]))
        --n;
    return s.substr(0, n);
}

std::string UpperCase(const std::string &s)
{
    std::string r = s;
    for (char &c : r)
        if (c >= 'a' && c <= 'z')
            c = char(c - 32);
    return r;
}

std::string LowerCase(const std::string &s)
{
    std::string r = s;
    for (char &c : r)
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    return r;
}

// Windows-1252 letters: Latin-1 rules for C0..FE (but D7 and F7 are signs),
// plus the pairs S/s caron, OE/oe, Z/z caron and Y diaeresis.
static unsigned char ansiUpper(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return c - 32;
    switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
    }
}

static unsigned char ansiLower(unsigned char c)
{
    if (c >= 'A' && c <= 'Z')
        return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 32;
    switch (c) {
    case 0x8A: return 0x9A;
    case 0x8C: return 0x9C;
    case 0x8E: return 0x9E;
    case 0x9F: return 0xFF;
    default: return c;
    }
}

std::string AnsiUpperCase(const std::string &s)
{
    std::string r = s;
    for (char &c : r)
        c = char(ansiUpper(static_cast<unsigned char>(c)));
    return r;
}

std::string AnsiLowerCase(const std::string &s)
{
    std::string r = s;
    for (char &c : r)
        c = char(ansiLower(static_cast<unsigned char>(c)));
    return r;
}

static int sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

int CompareStr(const std::string &a, const std::string &b) { return sign(a.compare(b)); }

template <class Fold>
static int compareFolded(const std::string &a, const std::string &b, Fold fold)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int ca = fold(static_cast<unsigned char>(a[i]));
        int cb = fold(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareText(const std::string &a, const std::string &b)
{
    return compareFolded(a, b, [](unsigned char c) { return (c >= 'a' && c <= 'z') ? c - 32 : int(c); });
}

int AnsiCompareStr(const std::string &a, const std::string &b) { return CompareStr(a, b); }

int AnsiCompareText(const std::string &a, const std::string &b)
{
    return compareFolded(a, b, [](unsigned char c) { return int(ansiUpper(c)); });
}

bool SameText(const std::string &a, const std::string &b) { return AnsiCompareText(a, b) == 0; }

// The upper case of every byte, for the comparisons and hashes of names.
static const struct UpperTable {
    unsigned char t[256];
    UpperTable()
    {
        for (int c = 0; c < 256; ++c)
            t[c] = ansiUpper(static_cast<unsigned char>(c));
    }
} kUpper;

unsigned char AnsiUpperChar(unsigned char c) { return kUpper.t[c]; }

bool SameTextView(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    if (std::memcmp(a.data(), b.data(), a.size()) == 0)
        return true;  // the common case: the same bytes
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && kUpper.t[static_cast<unsigned char>(a[i])] != kUpper.t[static_cast<unsigned char>(b[i])])
            return false;
    return true;
}

// Eight bytes in upper case: plain ASCII at once, other bytes one by one.
static uint64_t upperWord(uint64_t w)
{
    constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    if (w & highs) {
        uint64_t r = 0;
        for (int k = 0; k < 8; ++k)
            r |= uint64_t(kUpper.t[(w >> (8 * k)) & 0xFF]) << (8 * k);
        return r;
    }
    const uint64_t atLeastA = w + (0x80 - 'a') * ones;  // high bit where the byte is 'a' or above
    const uint64_t aboveZ = w + (0x80 - 'z' - 1) * ones;  // high bit where it is above 'z'
    return w ^ (((atLeastA & ~aboveZ) & highs) >> 2);   // 0x20 off the lower-case letters
}

size_t AnsiHashText(std::string_view s)
{
    const char *p = s.data();
    const size_t n = s.size();
    uint64_t h = (n + 1) * 0x9E3779B97F4A7C15ull;
    auto mix = [&h](uint64_t w) {
        h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    };
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, 8);
        mix(upperWord(w));
    }
    if (i < n) {
        // The last 1 to 7 bytes as one word with zeros above them, read
        // without a copy through memory.
        const size_t rest = n - i;
        uint64_t w;
        if (n >= 8) {
            std::memcpy(&w, p + n - 8, 8);
            w >>= 8 * (8 - rest);
        } else if (rest >= 4) {
            uint32_t lo, hi;
            std::memcpy(&lo, p, 4);
            std::memcpy(&hi, p + rest - 4, 4);
            w = lo | uint64_t(hi) << (8 * (rest - 4));
        } else {
            const auto b = [p](size_t k) { return uint64_t(static_cast<unsigned char>(p[k])) << (8 * k); };
            w = b(0) | b(rest / 2) | b(rest - 1);
        }
        mix(upperWord(w));
    }
    return size_t(h ^ (h >> 29));
}

std::string StringOfChar(char c, int64_t count) { return count > 0 ? std::string(size_t(count), c) : std::string(); }

std::string StringReplace(const std::string &s, const std::string &oldPattern,
                          const std::string &newPattern, int flags)
{
    if (oldPattern.empty())
        return s;
    const bool ignoreCase = flags & rfIgnoreCase;
    const std::string hay = ignoreCase ? AnsiUpperCase(s) : s;
    const std::string needle = ignoreCase ? AnsiUpperCase(oldPattern) : oldPattern;
    std::string r;
    size_t from = 0;
    while (true) {
        size_t p = hay.find(needle, from);
        if (p == std::string::npos)
            break;
        r.append(s, from, p - from);
        r += newPattern;
        from = p + needle.size();
        if (!(flags & rfReplaceAll))
            break;
    }
    r.append(s, from, std::string::npos);
    return r;
}

int LastDelimiter(const std::string &delimiters, const std::string &s)
{
    size_t p = s.find_last_of(delimiters);
    return p == std::string::npos ? 0 : int(p + 1);
}

// ---- numbers -------------------------------------------------------------------

std::string IntToStr(int64_t v) { return std::to_string(v); }

std::string IntToHex(int64_t v, int digits)
{
    uint64_t u = uint64_t(v);
    if (v < 0 && v >= INT32_MIN)
        u &= 0xFFFFFFFFull;
    char buf[32];
    snprintf(buf, sizeof buf, "%llX", static_cast<unsigned long long>(u));
    std::string r = buf;
    if (digits > 32)
        digits = 32;
    if (int(r.size()) < digits)
        r.insert(0, size_t(digits - int(r.size())), '0');
    return r;
}

bool TryStrToInt64(const std::string &text, int64_t &v)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    bool neg = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        neg = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    // Hexadecimal may fill all 64 bits; decimal must fit the signed range.
    unsigned __int128 acc = 0;
    const unsigned __int128 limit = base == 16 ? UINT64_MAX : (neg ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX));
    for (; i < n; ++i) {
        char c = text[i];
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        acc = acc * base + d;
        if (acc > limit)
            return false;
    }
    uint64_t u = uint64_t(acc);
    v = neg ? int64_t(0 - u) : int64_t(u);
    return true;
}

bool TryStrToInt(const std::string &s, int &v)
{
    int64_t w;
    if (!TryStrToInt64(s, w))
        return false;
    bool hex = s.find_first_of("$xX") != std::string::npos;
    if (hex) {
        // Hexadecimal texts of up to 32 bits wrap like the original's.
        if (w < INT32_MIN || w > int64_t(UINT32_MAX))
            return false;
        v = int32_t(uint32_t(w));
        return true;
    }
    if (w < INT32_MIN || w > INT32_MAX)
        return false;
    v = int(w);
    return true;
}

int StrToInt(const std::string &s)
{
    int v;
    if (!TryStrToInt(s, v))
        throw EConvertError("'" + s + "' is not a valid integer value");
    return v;
}

int64_t StrToInt64(const std::string &s)
{
    int64_t v;
    if (!TryStrToInt64(s, v))
        throw EConvertError("'" + s + "' is not a valid integer value");
    return v;
}

int StrToIntDef(const std::string &s, int def)
{
    int v;
    return TryStrToInt(s, v) ? v : def;
}

int64_t StrToInt64Def(const std::string &s, int64_t def)
{
    int64_t v;
    return TryStrToInt64(s, v) ? v : def;
}

std::string FloatToStr(double v)
{
    char buf[64];
    snprintf(buf, sizeof buf, "%.15G", v);
    return buf;
}

// ---- Format --------------------------------------------------------------------

static std::string thousands(const std::string &digits)
{
    std::string intPart = digits, rest;
    size_t dot = digits.find('.');
    if (dot != std::string::npos) {
        intPart = digits.substr(0, dot);
        rest = digits.substr(dot);
    }
    bool neg = !intPart.empty() && intPart[0] == '-';
    if (neg)
        intPart.erase(0, 1);
    std::string r;
    int k = 0;
    for (size_t i = intPart.size(); i > 0; --i) {
        r.insert(r.begin(), intPart[i - 1]);
        if (++k % 3 == 0 && i > 1)
            r.insert(r.begin(), ',');
    }
    return (neg ? "-" : "") + r + rest;
}

std::string Format(const std::string &fmt, std::initializer_list<FormatArg> argList)
{
    const std::vector<FormatArg> args(argList);
    auto bad = [&]() { return EConvertError("Format '" + fmt + "' invalid or incompatible with argument"); };
    std::string out;
    size_t argIndex = 0;
    size_t i = 0;
    const size_t n = fmt.size();
    auto takeInt = [&]() -> int {
        if (argIndex >= args.size() || !std::holds_alternative<int64_t>(args[argIndex].v))
            throw bad();
        return int(std::get<int64_t>(args[argIndex++].v));
    };
    while (i < n) {
        char c = fmt[i++];
        if (c != '%') {
            out.push_back(c);
            continue;
        }
        if (i >= n)
            throw bad();
        if (fmt[i] == '%') {
            out.push_back('%');
            ++i;
            continue;
        }
        // [index ":"] ["-"] [width] ["." prec] type
        auto readNum = [&](int &v) -> bool {
            if (i < n && fmt[i] == '*') {
                ++i;
                v = takeInt();
                return true;
            }
            if (i >= n || !isdigit(static_cast<unsigned char>(fmt[i])))
                return false;
            v = 0;
            while (i < n && isdigit(static_cast<unsigned char>(fmt[i]))) {
                v = std::min(v * 10 + (fmt[i] - '0'), 100000);
                ++i;
            }
            return true;
        };
        // An index is plain digits followed by ':'.
        size_t digitsEnd = i;
        while (digitsEnd < n && isdigit(static_cast<unsigned char>(fmt[digitsEnd])))
            ++digitsEnd;
        if (digitsEnd > i && digitsEnd < n && fmt[digitsEnd] == ':') {
            int first = 0;
            readNum(first);
            argIndex = size_t(first);
            ++i;
        }
        bool left = false;
        if (i < n && fmt[i] == '-') {
            left = true;
            ++i;
        }
        int width = -1, prec = -1;
        readNum(width);
        if (i < n && fmt[i] == '.') {
            ++i;
            if (!readNum(prec))
                prec = 0;
        }
        if (i >= n)
            throw bad();
        char type = char(tolower(static_cast<unsigned char>(fmt[i++])));
        if (argIndex >= args.size())
            throw bad();
        const FormatArg &a = args[argIndex++];
        std::string s;
        char buf[512];
        switch (type) {
        case 'd':
        case 'u':
        case 'x': {
            if (!std::holds_alternative<int64_t>(a.v))
                throw bad();
            int64_t v = std::get<int64_t>(a.v);
            if (type == 'x') {
                s = IntToHex(v, 0);
            } else if (type == 'u') {
                s = std::to_string(v < 0 && v >= INT32_MIN ? uint64_t(uint32_t(v)) : uint64_t(v));
            } else {
                s = std::to_string(v);
            }
            if (prec > 0) {
                bool neg = !s.empty() && s[0] == '-';
                std::string digits = neg ? s.substr(1) : s;
                if (int(digits.size()) < prec)
                    digits.insert(0, size_t(prec - int(digits.size())), '0');
                s = (neg ? "-" : "") + digits;
            }
            break;
        }
        case 's':
            if (!std::holds_alternative<std::string>(a.v))
                throw bad();
            s = std::get<std::string>(a.v);
            if (prec >= 0 && size_t(prec) < s.size())
                s.resize(size_t(prec));
            break;
        case 'e':
        case 'f':
        case 'g':
        case 'n': {
            double v;
            if (std::holds_alternative<double>(a.v))
                v = std::get<double>(a.v);
            else
                throw bad();
            if (type == 'e')
                snprintf(buf, sizeof buf, "%.*E", prec < 0 ? 15 : std::min(prec, 18), v);
            else if (type == 'g')
                snprintf(buf, sizeof buf, "%.*G", prec < 0 ? 15 : std::min(prec, 18), v);
            else
                snprintf(buf, sizeof buf, "%.*f", prec < 0 ? 2 : std::min(prec, 18), v);
            s = buf;
            if (type == 'n')
                s = thousands(s);
            break;
        }
        default:
            throw bad();
        }
        if (width > 0 && int(s.size()) < width) {
            if (left)
                s.append(size_t(width - int(s.size())), ' ');
            else
                s.insert(0, size_t(width - int(s.size())), ' ');
        }
        out += s;
    }
    return out;
}

// ---- dates ---------------------------------------------------------------------

bool IsLeapYear(int y) { return (y % 4 == 0) && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

// Days from 0001-01-01 to the date (proleptic Gregorian), then shifted so
// that 1899-12-30 is day 0.
bool TryEncodeDate(int year, int month, int day, TDateTime &d)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
        return false;
    int64_t days = day;
    for (int m = 1; m < month; ++m)
        days += DaysInMonth(year, m);
    int64_t y = year - 1;
    days += y * 365 + y / 4 - y / 100 + y / 400;
    d = double(days - 693594);
    return true;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime &t)
{
    if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999)
        return false;
    t = (hour * 3600000.0 + min * 60000.0 + sec * 1000.0 + msec) / 86400000.0;
    return true;
}

TDateTime EncodeDate(int year, int month, int day)
{
    TDateTime d;
    if (!TryEncodeDate(year, month, day, d))
        throw EConvertError("Invalid argument to date encode");
    return d;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec)
{
    TDateTime t;
    if (!TryEncodeTime(hour, min, sec, msec, t))
        throw EConvertError("Invalid argument to time encode");
    return t;
}

void DecodeDate(TDateTime dt, int &year, int &month, int &day)
{
    int64_t days = int64_t(std::floor(dt)) + 693594;  // days since 0001-01-01, day 1 = Jan 1
    if (days <= 0) {
        year = month = day = 0;
        return;
    }
    int64_t t = days - 1;
    int64_t y = 1;
    int64_t q = t / 146097;
    y += q * 400;
    t -= q * 146097;
    q = std::min<int64_t>(t / 36524, 3);
    y += q * 100;
    t -= q * 36524;
    q = t / 1461;
    y += q * 4;
    t -= q * 1461;
    q = std::min<int64_t>(t / 365, 3);
    y += q;
    t -= q * 365;
    year = int(y);
    month = 1;
    while (t >= DaysInMonth(year, month)) {
        t -= DaysInMonth(year, month);
        ++month;
    }
    day = int(t) + 1;
}

void DecodeTime(TDateTime dt, int &hour, int &min, int &sec, int &msec)
{
    double frac = std::fabs(dt - std::trunc(dt));
    int64_t ms = std::llround(frac * 86400000.0);
    if (ms >= 86400000)
        ms = 86399999;
    hour = int(ms / 3600000);
    min = int(ms / 60000 % 60);
    sec = int(ms / 1000 % 60);
    msec = int(ms % 1000);
}

int DayOfWeek(TDateTime d)
{
    int64_t n = int64_t(std::floor(d));
    // 1899-12-30 was a Saturday (7).
    int64_t w = ((n + 6) % 7 + 7) % 7;  // 0 = Sunday
    return int(w) + 1;
}

TDateTime Now()
{
    using namespace std::chrono;
    auto now = system_clock::now();
    time_t tt = system_clock::to_time_t(now);
    struct tm lt;
    localtime_r(&tt, &lt);
    int ms = int(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return EncodeDate(lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday) +
           EncodeTime(lt.tm_hour, lt.tm_min, std::min(lt.tm_sec, 59), ms);
}

TDateTime Date() { return std::floor(Now()); }

TDateTime UnixToDateTime(int64_t seconds) { return 25569.0 + double(seconds) / 86400.0; }

int64_t DateTimeToUnix(TDateTime d) { return std::llround((d - 25569.0) * 86400.0); }

// ---- files ---------------------------------------------------------------------

static size_t lastSep(const std::string &p)
{
    return p.find_last_of("/\\");
}

std::string ExtractFilePath(const std::string &path)
{
    size_t p = lastSep(path);
    return p == std::string::npos ? std::string() : path.substr(0, p + 1);
}

std::string ExtractFileName(const std::string &path)
{
    size_t p = lastSep(path);
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string ExtractFileExt(const std::string &path)
{
    std::string name = ExtractFileName(path);
    size_t p = name.rfind('.');
    return p == std::string::npos ? std::string() : name.substr(p);
}

std::string ChangeFileExt(const std::string &path, const std::string &ext)
{
    std::string name = ExtractFileName(path);
    size_t p = name.rfind('.');
    std::string dir = ExtractFilePath(path);
    return dir + (p == std::string::npos ? name : name.substr(0, p)) + ext;
}

std::string IncludeTrailingPathDelimiter(const std::string &path)
{
    if (!path.empty() && (path.back() == '/' || path.back() == '\\'))
        return path;
    return path + "/";
}

bool FileExists(const std::string &path)
{
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string &path)
{
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string &path)
{
    if (path.empty())
        return false;
    fileio::CheckHeldFolder(path);
    return mkdir(path.c_str(), 0777) == 0;
}

bool ForceDirectories(const std::string &path)
{
    if (path.empty())
        return false;
    fileio::CheckHeldFolder(path);
    std::error_code ec;
    fs::create_directories(path, ec);
    return DirectoryExists(path);
}

bool DeleteFile(const std::string &path)
{
    fileio::CheckHeldFolder(path);
    return unlink(path.c_str()) == 0;
}

bool RenameFile(const std::string &from, const std::string &to)
{
    fileio::CheckHeldFolder(from);
    fileio::CheckHeldFolder(to);
    // Like the original, never replaces an existing file.
    if (FileExists(to) || DirectoryExists(to))
        return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace Rtl
