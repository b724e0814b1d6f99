#include "netclient/NetGlobal.h"

#include "platform/Classes.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

const char *const wdays[8] = {"", "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char *const monthnames[13] = {"", "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// ---- text ------------------------------------------------------------------------
std::string Fetch(std::string &input, const std::string &delimiter, bool doDelete)
{
    size_t p = delimiter.empty() ? std::string::npos : input.find(delimiter);
    if (p == std::string::npos) {
        std::string all = input;
        if (doDelete)
            input.clear();
        return all;
    }
    std::string head = input.substr(0, p);
    if (doDelete)
        input.erase(0, p + delimiter.size());
    return head;
}

int RPos(const std::string &needle, const std::string &haystack, int start)
{
    const int n = int(needle.size());
    const int h = int(haystack.size());
    if (n == 0 || n > h)
        return 0;
    if (start == -1 || start > h - n + 1)
        start = h - n + 1;
    for (int i = start; i >= 1; --i)
        if (Rtl::AnsiCompareText(haystack.substr(size_t(i - 1), size_t(n)), needle) == 0)
            return i;
    return 0;
}

bool TextIsSame(const std::string &a, const std::string &b) { return Rtl::AnsiCompareText(a, b) == 0; }

int PosInStrArray(const std::string &text, const std::vector<std::string> &list, bool caseSensitive)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (caseSensitive ? list[i] == text : TextIsSame(list[i], text))
            return int(i);
    return -1;
}

bool IsNumeric(char c) { return c >= '0' && c <= '9'; }

void CommaSeparatedToStringList(TStringList &list, const std::string &text)
{
    list.Clear();
    std::string piece;
    int quotes = 0;
    auto flush = [&]() {
        std::string t = Rtl::Trim(piece);
        if (!t.empty())
            list.Add(t);
        piece.clear();
        quotes = 0;
    };
    for (char c : text) {
        if (c == ',' && (quotes == 0 || quotes >= 2)) {
            flush();
            continue;
        }
        if (c == '"')
            ++quotes;
        piece += c;
    }
    flush();
}

int32_t Min(int32_t a, int32_t b) { return a < b ? a : b; }

// ---- dates -----------------------------------------------------------------------
int StrToDay(const std::string &text)
{
    std::string u = Rtl::UpperCase(text);
    for (int i = 1; i <= 7; ++i)
        if (u == Rtl::UpperCase(wdays[i]))
            return i;
    return 0;
}

int StrToMonth(const std::string &text)
{
    std::string u = Rtl::UpperCase(text);
    for (int i = 1; i <= 12; ++i)
        if (u == Rtl::UpperCase(monthnames[i]))
            return i;
    return 0;
}

Rtl::TDateTime OffsetFromUTC()
{
    time_t now = time(nullptr);
    struct tm lt {};
    if (now == time_t(-1) || !localtime_r(&now, &lt))
        throw ENetFailedToRetreiveTimeZoneInfo(NetRes::RSFailedTimeZoneInfo);
    // tm_gmtoff already holds the daylight-saving part when it is in force.
    long minutes = lt.tm_gmtoff / 60;
    return double(minutes) / 1440.0;
}

static std::string twoDigits(long v)
{
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

std::string DateTimeToGmtOffsetStr(Rtl::TDateTime offset, bool useGMT)
{
    if (offset == 0.0 && useGMT)
        return "GMT";
    long minutes = std::lround(std::fabs(offset) * 1440.0);
    std::string sign = offset < 0 ? "-" : "+";
    return sign + twoDigits(minutes / 60) + twoDigits(minutes % 60);
}

std::string DateTimeToInternetStr(Rtl::TDateTime value)
{
    int y, mo, d, h, mi, s, ms;
    Rtl::DecodeDate(value, y, mo, d);
    Rtl::DecodeTime(value, h, mi, s, ms);
    std::string time = twoDigits(h) + ":" + twoDigits(mi) + ":" + twoDigits(s);
    return Rtl::Format("%s, %d %s %d %s %s",
                       {wdays[Rtl::DayOfWeek(value)], d, monthnames[mo], y, time,
                        DateTimeToGmtOffsetStr(OffsetFromUTC(), false)});
}

// Skips leading blanks, then takes the word up to the next blank (removing it).
static std::string nextWord(std::string &text)
{
    size_t p = text.find_first_not_of(' ');
    text.erase(0, p == std::string::npos ? text.size() : p);
    return Fetch(text, " ");
}

Rtl::TDateTime RawStrInternetToDateTime(std::string &text)
{
    try {
        text = Rtl::Trim(text);
        if (StrToDay(Rtl::Copy(text, 1, 3)) > 0)
            nextWord(text);
        int day = Rtl::StrToIntDef(nextWord(text), 1);
        int month = StrToMonth(nextWord(text));
        int year = Rtl::StrToIntDef(nextWord(text), 1900);
        if (year < 80)
            year += 2000;
        else if (year < 100)
            year += 1900;
        Rtl::TDateTime result = Rtl::EncodeDate(year, month, day);
        if (text.find(':') != std::string::npos) {
            std::string t = nextWord(text);
            int h = Rtl::StrToIntDef(Fetch(t, ":"), 0);
            int m = Rtl::StrToIntDef(Fetch(t, ":"), 0);
            int s = Rtl::StrToIntDef(Fetch(t, ":"), 0);
            result += Rtl::EncodeTime(h, m, s, 0);
        }
        text = Rtl::Trim(text);
        return result;
    } catch (const Exception &) {
        return 0;
    }
}

Rtl::TDateTime GmtOffsetStrToDateTime(const std::string &text)
{
    std::string s = Rtl::Copy(Rtl::Trim(text), 1, 5);
    if (s.size() < 5 || (s[0] != '+' && s[0] != '-'))
        return 0;
    for (size_t i = 1; i < 5; ++i)
        if (!IsNumeric(s[i]))
            return 0;
    int h = std::stoi(s.substr(1, 2));
    int m = std::stoi(s.substr(3, 2));
    Rtl::TDateTime t;
    if (!Rtl::TryEncodeTime(h, m, 0, 0, t))
        return 0;
    return s[0] == '-' ? -t : t;
}

Rtl::TDateTime GMTToLocalDateTime(std::string text)
{
    Rtl::TDateTime dt = RawStrInternetToDateTime(text);
    if (dt == 0)
        return 0;
    std::string zone = Rtl::Trim(text);
    if (zone.size() >= 5)
        dt -= GmtOffsetStrToDateTime(zone);
    return dt + OffsetFromUTC();
}

// ---- system ----------------------------------------------------------------------
bool InMainThread()
{
    // The main thread of a Linux process carries the process id as its thread id.
    return gettid() == getpid();
}

std::string AddBackslash(const std::string &path)
{
    if (!path.empty() && (path.back() == '/' || path.back() == '\\'))
        return path;
    return path + "/";
}

std::string TempPath()
{
    const char *t = std::getenv("TMPDIR");
    std::string dir = (t && *t) ? t : "/tmp";
    return AddBackslash(dir);
}

std::string MakeTempFilename()
{
    std::string name = TempPath() + "NetXXXXXX";
    int fd = mkstemp(name.data());
    if (fd < 0)
        return "";
    close(fd);
    return name;
}

int DefaultCharSet()
{
    const char *vars[] = {"LC_ALL", "LC_CTYPE", "LANG"};
    std::string loc;
    for (const char *v : vars) {
        const char *s = std::getenv(v);
        if (s && *s) {
            loc = s;
            break;
        }
    }
    loc = Rtl::LowerCase(loc);
    if (loc.rfind("zh", 0) == 0) {
        if (loc.rfind("zh_cn", 0) == 0 || loc.rfind("zh_sg", 0) == 0 || loc.find("hans") != std::string::npos)
            return 0;
        return 1;
    }
    if (loc.rfind("ja", 0) == 0)
        return 2;
    if (loc.rfind("ko", 0) == 0)
        return 3;
    return 4;
}
