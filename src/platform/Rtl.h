#pragma once
// String, number, date and file primitives of the original class library.
// Strings are byte strings in the ANSI code page with 1-based positions;
// every position and count is clamped to the string, never trusted.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

namespace Rtl {

// ---- strings ---------------------------------------------------------------
// Up to count bytes from the 1-based index; an index below 1 counts as 1,
// beyond the end gives the empty string.
std::string Copy(const std::string &s, int64_t index, int64_t count = INT32_MAX);
// 1-based position of the first occurrence of sub in s; 0 when absent or sub empty.
int Pos(const std::string &sub, const std::string &s);
// Position of sub at or after 1-based offset; 0 when absent.
int PosEx(const std::string &sub, const std::string &s, int offset);
void Delete(std::string &s, int64_t index, int64_t count);
// Inserts sub so that it starts at the 1-based index (clamped to 1..length+1).
void Insert(const std::string &sub, std::string &s, int64_t index);
// Trims remove every character with a code up to 32 (blanks and controls).
std::string Trim(const std::string &s);
std::string TrimLeft(const std::string &s);
std::string TrimRight(const std::string &s);
// ASCII letters only, as the original's plain versions.
std::string UpperCase(const std::string &s);
std::string LowerCase(const std::string &s);
// ANSI code-page aware (accented letters too).
std::string AnsiUpperCase(const std::string &s);
std::string AnsiLowerCase(const std::string &s);
int CompareStr(const std::string &a, const std::string &b);
int CompareText(const std::string &a, const std::string &b);      // ASCII case-insensitive
int AnsiCompareStr(const std::string &a, const std::string &b);
int AnsiCompareText(const std::string &a, const std::string &b);  // code-page case-insensitive
bool SameText(const std::string &a, const std::string &b);
// The code-page upper case of one byte, and SameText over views (no copies).
unsigned char AnsiUpperChar(unsigned char c);
bool SameTextView(std::string_view a, std::string_view b);
// A hash that agrees with SameTextView: equal names hash alike.
size_t AnsiHashText(std::string_view s);
std::string StringOfChar(char c, int64_t count);
enum ReplaceFlags { rfNone = 0, rfReplaceAll = 1, rfIgnoreCase = 2 };
std::string StringReplace(const std::string &s, const std::string &oldPattern,
                          const std::string &newPattern, int flags = rfReplaceAll);
// 1-based position of the last character of s that is one of delimiters; 0 if none.
int LastDelimiter(const std::string &delimiters, const std::string &s);

// Calls f(line) for every line of text, split at CR LF, LF or CR; a final
// line break adds no empty line. When f returns bool, false stops the walk.
template <class F>
void ForEachLine(std::string_view text, F f)
{
    // memchr finds the breaks; the next LF is remembered, so a text of bare
    // CRs is not searched again and again for one.
    const char *base = text.data();
    const size_t n = text.size();
    size_t start = 0, lf = 0;
    bool lfKnown = false;
    while (start < n) {
        if (!lfKnown || lf < start) {
            const void *p = std::memchr(base + start, '\n', n - start);
            lf = p ? size_t(static_cast<const char *>(p) - base) : n;
            lfKnown = true;
        }
        const void *cr = std::memchr(base + start, '\r', lf - start);
        const size_t end = cr ? size_t(static_cast<const char *>(cr) - base) : lf;
        if constexpr (std::is_same_v<decltype(f(text)), bool>) {
            if (!f(text.substr(start, end - start)))
                return;
        } else {
            f(text.substr(start, end - start));
        }
        if (end >= n)
            return;
        start = end + 1;
        if (base[end] == '\r' && start < n && base[start] == '\n')
            ++start;
    }
}

// ---- numbers -----------------------------------------------------------------
std::string IntToStr(int64_t v);
// Upper-case hexadecimal, at least `digits` digits (negative values as their
// two's complement of 32 bits, or of 64 bits when they do not fit).
std::string IntToHex(int64_t v, int digits);
// The value of a hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);
// Decimal with optional sign and leading blanks, or hexadecimal as "$1F",
// "0x1F" or "0X1F". Throws EConvertError "'%s' is not a valid integer value".
int StrToInt(const std::string &s);
int64_t StrToInt64(const std::string &s);
int StrToIntDef(const std::string &s, int def);
int64_t StrToInt64Def(const std::string &s, int64_t def);
bool TryStrToInt(const std::string &s, int &v);
bool TryStrToInt64(const std::string &s, int64_t &v);
std::string FloatToStr(double v);

// ---- Format ------------------------------------------------------------------
// One argument of Format: an integer, a float, a text or a character.
struct FormatArg {
    std::variant<int64_t, double, std::string> v;
    FormatArg(int x) : v(int64_t(x)) {}
    FormatArg(unsigned x) : v(int64_t(x)) {}
    FormatArg(long x) : v(int64_t(x)) {}
    FormatArg(unsigned long x) : v(int64_t(x)) {}
    FormatArg(long long x) : v(int64_t(x)) {}
    FormatArg(unsigned long long x) : v(int64_t(x)) {}
    FormatArg(double x) : v(x) {}
    FormatArg(const char *x) : v(std::string(x)) {}
    FormatArg(std::string x) : v(std::move(x)) {}
    FormatArg(char c) : v(std::string(1, c)) {}
};
// The original's format directives: "%" [index ":"] ["-"] [width] ["." prec]
// type, type one of d u x s f g e n (and "%%"); width and precision may be
// "*". A directive that does not fit its argument raises EConvertError
// "Format '%s' invalid or incompatible with argument".
std::string Format(const std::string &fmt, std::initializer_list<FormatArg> args = {});

// ---- dates -------------------------------------------------------------------
// Days since 1899-12-30; the fraction is the time of day.
using TDateTime = double;
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
bool TryEncodeDate(int year, int month, int day, TDateTime &d);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime &t);
// Throw EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
void DecodeDate(TDateTime d, int &year, int &month, int &day);
void DecodeTime(TDateTime d, int &hour, int &min, int &sec, int &msec);
int DayOfWeek(TDateTime d);  // 1 = Sunday .. 7 = Saturday
TDateTime Now();             // local time
TDateTime Date();
TDateTime UnixToDateTime(int64_t seconds);
int64_t DateTimeToUnix(TDateTime d);

// ---- files -------------------------------------------------------------------
// Paths use '/'; the helpers accept '\\' as a separator too.
std::string ExtractFilePath(const std::string &path);   // with trailing separator
std::string ExtractFileName(const std::string &path);
std::string ExtractFileExt(const std::string &path);    // with the dot, "" if none
std::string ChangeFileExt(const std::string &path, const std::string &ext);
std::string IncludeTrailingPathDelimiter(const std::string &path);
bool FileExists(const std::string &path);
bool DirectoryExists(const std::string &path);
// The four below write nothing below a program folder that was moved or
// replaced while the program runs: they throw EProgramFolderLost then
// (fileio::CheckHeldFolder).
bool CreateDir(const std::string &path);   // one level
bool ForceDirectories(const std::string &path);
bool DeleteFile(const std::string &path);
bool RenameFile(const std::string &from, const std::string &to);

} // namespace Rtl
