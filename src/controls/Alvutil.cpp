#include "controls/Alvutil.h"

#include "platform/Cp1252.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <QChar>
#include <QString>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace Alvutil {

char DecimalSeparator = '.';

namespace {

// Code page 437, bytes 128..255.
const char16_t kOem437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

struct Tables {
    std::array<unsigned char, 256> toOem{};
    std::array<unsigned char, 256> toAnsi{};
    Tables()
    {
        std::unordered_map<char16_t, unsigned char> oemOf, ansiOf;
        for (int b = 0; b < 128; ++b) oemOf[char16_t(b)] = (unsigned char)b;
        for (int b = 128; b < 256; ++b) oemOf.emplace(kOem437High[b - 128], (unsigned char)b);
        for (int b = 0; b < 256; ++b) ansiOf.emplace(cp1252::ToUnicode((unsigned char)b), (unsigned char)b);
        auto nearest = [](char16_t u, const std::unordered_map<char16_t, unsigned char> &map) -> unsigned char {
            auto it = map.find(u);
            if (it != map.end()) return it->second;
            // Best fit: the base letter of an accented character.
            QString d = QChar(u).decomposition();
            if (!d.isEmpty()) {
                auto base = map.find(char16_t(d.at(0).unicode()));
                if (base != map.end()) return base->second;
            }
            return '?';
        };
        for (int b = 0; b < 256; ++b) {
            toOem[size_t(b)] = b < 128 ? (unsigned char)b : nearest(cp1252::ToUnicode((unsigned char)b), oemOf);
            toAnsi[size_t(b)] = b < 128 ? (unsigned char)b : nearest(kOem437High[b - 128], ansiOf);
        }
    }
};

const Tables &tables()
{
    static const Tables t;
    return t;
}

// ---- Matches ----------------------------------------------------------------------

// Operand of a comparison after the operator at position op (and an optional "=").
std::string operand(const std::string &p, size_t op, bool &orEqual)
{
    size_t k = op + 1;
    orEqual = k < p.size() && p[k] == '=';
    if (orEqual) ++k;
    while (k < p.size() && p[k] == ' ') ++k;
    size_t start = k;
    while (k < p.size() && p[k] != ' ' && p[k] != '&' && p[k] != '|') ++k;
    return p.substr(start, k - start);
}

int compare255(const std::string &a, const std::string &b)
{
    return a.substr(0, 255).compare(b.substr(0, 255));
}

// Stage 1: comparisons; true/false decides, -1 leaves it to the wildcards.
int comparisons(const std::string &p, const std::string &t)
{
    const bool hasGt = p.find('>') != std::string::npos, hasLt = p.find('<') != std::string::npos;
    const bool hasNot = p.find('!') != std::string::npos, hasXor = p.find('^') != std::string::npos;
    const bool hasAnd = p.find('&') != std::string::npos;
    if (!hasGt && !hasLt && !hasNot && !hasXor && !hasAnd) return -1;
    bool gOk = true, lOk = true, markG = false, markL = false;
    if (hasGt) {
        bool eq;
        std::string op = operand(p, p.find('>'), eq);
        int c = compare255(t, op);
        gOk = eq ? c >= 0 : c > 0;
        markG = true;
    }
    if (hasLt) {
        bool eq;
        std::string op = operand(p, p.find('<'), eq);
        int c = compare255(t, op);
        lOk = eq ? c <= 0 : c < 0;
        markL = true;
    }
    if (hasNot) {
        if (!hasGt) markG = true;
        if (!hasLt) markL = true;
    }
    if (hasXor && (markG || markL)) return gOk || lOk;
    if (hasAnd && markG && markL) return gOk && lOk;
    if ((hasGt && gOk) || (hasLt && lOk)) return 1;
    return -1;
}

// The matcher for patterns with operators or "!". A "*" asks whether the rest
// of the pattern matches any suffix of the remaining text; for each resume
// point of the pattern those answers are kept as a table over the text
// positions, filled once from the end. The work is bounded by the number of
// "*" groups times the text length times the pattern length.
class Matcher {
public:
    Matcher(const std::string &p, const std::string &t) : p_(p), t_(t), special_(p.size() + 1, false)
    {
        for (size_t i = p.size(); i-- > 0;)
            special_[i] = special_[i + 1] || std::string("><!^&").find(p[i]) != std::string::npos;
    }
    bool match(size_t pi, size_t ti)
    {
        // Each step is a whole match of its own: comparisons first.
        if (special_[pi]) {
            int c = comparisons(p_.substr(pi), t_.substr(ti));
            if (c >= 0) return c == 1;
        }
        bool invert = false;
        size_t i = pi, j = ti;
        while (true) {
            if (i < p_.size() && p_[i] == '!') { invert = !invert; ++i; continue; }
            if (i < p_.size() && p_[i] == '*') {
                while (i < p_.size() && p_[i] == '*') ++i;
                return anySuffix(i, j) != invert;
            }
            if (i >= p_.size() || j >= t_.size()) return (i >= p_.size() && j >= t_.size()) != invert;
            if (p_[i] != '?' && p_[i] != t_[j]) return invert;
            ++i;
            ++j;
        }
    }

private:
    // Whether pattern from pi matches the text from some k >= tj.
    bool anySuffix(size_t pi, size_t tj)
    {
        std::vector<int8_t> &v = any_[pi];   // element references survive rehashing
        if (v.empty()) {
            v.assign(t_.size() + 2, -1);
            v[t_.size() + 1] = 0;
        }
        if (v[tj] >= 0) return v[tj] == 1;
        size_t k = tj;
        while (v[k] < 0) ++k;
        for (size_t m = k; m-- > tj;) v[m] = (v[m + 1] == 1 || match(pi, m)) ? 1 : 0;
        return v[tj] == 1;
    }

    const std::string &p_;
    const std::string &t_;
    std::vector<bool> special_;
    std::unordered_map<size_t, std::vector<int8_t>> any_;
};

// Plain wildcards ("*", "?") without operators: the usual linear-memory walk
// that returns to the last "*" on a mismatch.
bool globMatch(const std::string &p, const std::string &t)
{
    size_t i = 0, j = 0, star = std::string::npos, mark = 0;
    while (j < t.size()) {
        if (i < p.size() && p[i] != '*' && (p[i] == '?' || p[i] == t[j])) {
            ++i;
            ++j;
        } else if (i < p.size() && p[i] == '*') {
            star = i++;
            mark = j;
        } else if (star != std::string::npos) {
            i = star + 1;
            j = ++mark;
        } else {
            return false;
        }
    }
    while (i < p.size() && p[i] == '*') ++i;
    return i == p.size();
}

std::string beforeNul(const std::string &s)
{
    size_t z = s.find('\0');
    return z == std::string::npos ? s : s.substr(0, z);
}

} // namespace

void StringToOem(std::string &s)
{
    for (char &c : s) c = char(tables().toOem[(unsigned char)c]);
}

void OemToString(std::string &s)
{
    for (char &c : s) c = char(tables().toAnsi[(unsigned char)c]);
}

std::string DoubleToSingleChar(char ch, const std::string &s)
{
    if (s.empty()) return s;
    std::string r(1, s[0]);
    for (size_t k = 1; k < s.size(); ++k)
        if (!(s[k] == ch && s[k - 1] == ch)) r += s[k];
    return r;
}

void LineFeedsToCSV(std::string &s)
{
    std::string r(1, '"');
    r.append(Rtl::StringReplace(s, "\r\n", "\n")).append(1, '"');
    s.swap(r);
}

void CSVToLineFeeds(std::string &s)
{
    s = Rtl::StringReplace(s, "\n", "\r\n");
}

std::string UpStr(const std::string &s)
{
    std::string r = s;
    for (char &c : r)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return r;
}

bool Matches(const std::string &pattern, const std::string &text)
{
    const std::string p = beforeNul(pattern), t = beforeNul(text);
    if (p.find_first_of("><!^&") == std::string::npos) return globMatch(p, t);
    Matcher m(p, t);
    return m.match(0, 0);
}

bool Matchstr(const std::string &pattern, const std::string &text) { return Matches(pattern, text); }

std::string LfToFile(const std::string &s)
{
    std::string r = s;
    for (char &c : r) {
        if (c == '\r') c = '\t';
        else if (c == '\n') c = '\b';
    }
    return r;
}

std::string FileToLf(const std::string &s, bool MultiLine)
{
    std::string r = s;
    for (char &c : r) {
        if (c == '\t') c = '\r';
        else if (c == '\b') c = '\n';
    }
    if (MultiLine) return r;
    return GetNextLine(r, false);
}

std::string GetNextLine(std::string &s, bool MultiLine)
{
    size_t cr = s.find('\r');
    if (cr == std::string::npos) {
        std::string r = s;
        s.clear();
        return r;
    }
    std::string r = s.substr(0, cr);
    size_t rest = cr + 1;
    if (rest < s.size() && s[rest] == '\n') ++rest;
    s.erase(0, rest);
    if (!MultiLine) s.clear();
    return r;
}

int LinesInText(const std::string &s, bool MultiLine)
{
    if (!MultiLine) return 1;
    return 1 + int(std::count(s.begin(), s.end(), '\r'));
}

std::string RectString(const TRect &r)
{
    std::string s;
    s.append(1, '[').append(Rtl::IntToStr(r.Left)).append(1, ':').append(Rtl::IntToStr(r.Top));
    s.append("][").append(Rtl::IntToStr(r.Right)).append(1, ':').append(Rtl::IntToStr(r.Bottom)).append(1, ']');
    return s;
}

std::string FixDecimalSeparator(const std::string &s)
{
    if (DecimalSeparator != ',') return s;
    std::string r = s;
    size_t p = r.find(',');
    if (p != std::string::npos) r[p] = '.';
    return r;
}

double GetNextDate(double date, uint16_t years, uint16_t months, uint16_t days, double increment)
{
    int y, m, d;
    Rtl::DecodeDate(date, y, m, d);
    const int set = (years != 0) + (months != 0) + (days != 0);
    if (set == 1 && days != 0) return date + days;
    if (set == 1 && years != 0) return Rtl::EncodeDate(y + years, m, d);
    if (set == 1 && months != 0) {
        uint16_t month = uint16_t(m + months);
        if (month == 0) {
            month = 12;
            --y;
        } else if (month > 12) {
            month = uint16_t(month - 12);
            ++y;
        }
        return Rtl::EncodeDate(y, month, d);
    }
    return date + increment;
}

int SinglePos(char ch, const std::string &s)
{
    const int n = int(s.size());
    for (int i = 1; i <= n; ++i) {
        if (s[size_t(i - 1)] != ch) continue;
        if (i == n) return i;
        if (s[size_t(i)] == ch) continue;
        if (i > 1 && s[size_t(i - 2)] == ch) continue;
        return i;
    }
    return 0;
}

int NumSingleChar(char ch, std::string_view s)
{
    // Every position SinglePos would stop at, in one pass: a hit is never
    // followed by ch, so what follows it is judged as on its own.
    // memchr leaps over the text between hits (most candidates of the
    // delimiter detection have none at all).
    const size_t n = s.size();
    const char *const b = s.data();
    int count = 0;
    for (const char *p = b; n && (p = static_cast<const char *>(std::memchr(p, ch, size_t(b + n - p)))); ++p) {
        const size_t i = size_t(p - b);
        if (i + 1 == n || (s[i + 1] != ch && (i == 0 || s[i - 1] != ch)))
            ++count;
    }
    return count;
}

} // namespace Alvutil
