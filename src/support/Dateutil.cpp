#include "support/Dateutil.h"

#include "platform/Cp1252.h"
#include "platform/SysUtils.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>
#include <algorithm>
#include <cmath>

std::uint8_t CenturyOffset = 60;
TDateTime NullDate = 0;

namespace {

std::function<TDateTime()> &todayClock()
{
    static std::function<TDateTime()> c;
    return c;
}

const int MonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool ValidYMD(int y, int m, int d)
{
    return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= DaysPerMonth(y, m);
}

double Frac(double v) { return v - std::trunc(v); }

} // namespace

TDateLocale SystemDateLocale()
{
    const QLocale loc = QLocale::system();
    TDateLocale l;
    l.ShortDateFormat = ToAnsi(loc.dateFormat(QLocale::ShortFormat));
    l.DateSeparator = '/';
    for (char c : l.ShortDateFormat) {
        if (!std::isalpha(static_cast<unsigned char>(c)) && c != ' ' && c != '\'') {
            l.DateSeparator = c;
            break;
        }
    }
    for (int m = 0; m < 12; ++m)
        l.LongMonthNames[m] = ToAnsi(loc.monthName(m + 1, QLocale::LongFormat));
    l.TimeAMString = ToAnsi(loc.amText());
    l.TimePMString = ToAnsi(loc.pmText());
    l.ShortTimeFormat = ToAnsi(loc.timeFormat(QLocale::ShortFormat));
    return l;
}

TDateLocale &DateLocale()
{
    static TDateLocale l = SystemDateLocale();
    return l;
}

bool FourDigitYear = Rtl::Pos("YYYY", Rtl::UpperCase(DateLocale().ShortDateFormat)) > 0;

void SetDateUtilClock(std::function<TDateTime()> now) { todayClock() = std::move(now); }

TDateTime DateUtilNow() { return todayClock() ? todayClock()() : Rtl::Now(); }

bool IsLeapYear(int year) { return Rtl::IsLeapYear(year); }

int DaysPerMonth(int year, int month)
{
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && IsLeapYear(year) ? 29 : MonthDays[month - 1];
}

TDateTime FirstDayOfNextMonth()
{
    int y, m, d;
    Rtl::DecodeDate(DateUtilNow(), y, m, d);
    if (++m > 12) {
        m = 1;
        ++y;
    }
    return Rtl::EncodeDate(y, m, 1);
}

TDateTime FirstDayOfPrevMonth()
{
    int y, m, d;
    Rtl::DecodeDate(DateUtilNow(), y, m, d);
    if (--m < 1) {
        m = 12;
        --y;
    }
    return Rtl::EncodeDate(y, m, 1);
}

TDateTime LastDayOfPrevMonth()
{
    int y, m, d;
    Rtl::DecodeDate(DateUtilNow(), y, m, d);
    return Rtl::EncodeDate(y, m, 1) - 1;
}

int ExtractDay(TDateTime date)
{
    int y, m, d;
    Rtl::DecodeDate(date, y, m, d);
    return d;
}

int ExtractMonth(TDateTime date)
{
    int y, m, d;
    Rtl::DecodeDate(date, y, m, d);
    return m;
}

int ExtractYear(TDateTime date)
{
    int y, m, d;
    Rtl::DecodeDate(date, y, m, d);
    return y;
}

TDateTime IncDate(TDateTime date, int days, int months, int years)
{
    int y, m, d;
    Rtl::DecodeDate(date, y, m, d);
    y += years + months / 12;
    m += months % 12;
    if (m < 1) {
        m += 12;
        --y;
    } else if (m > 12) {
        m -= 12;
        ++y;
    }
    d = std::min(d, DaysPerMonth(y, m));
    return Rtl::EncodeDate(y, m, d) + days + Frac(date);
}

TDateTime IncDay(TDateTime date, int delta) { return date + delta; }
TDateTime IncMonth(TDateTime date, int delta) { return IncDate(date, 0, delta, 0); }
TDateTime IncYear(TDateTime date, int delta) { return IncDate(date, 0, 0, delta); }

void DateDiff(TDateTime date1, TDateTime date2, std::uint16_t &days, std::uint16_t &months,
              std::uint16_t &years)
{
    if (date1 > date2)
        std::swap(date1, date2);
    int y1, m1, d1, y2, m2, d2;
    Rtl::DecodeDate(date1, y1, m1, d1);
    Rtl::DecodeDate(date2, y2, m2, d2);
    int y = y2 - y1, m = 0, d = 0;
    if (m2 < m1) {
        m += 12;
        --y;
    }
    m += m2 - m1;
    if (d2 < d1) {
        d += DaysPerMonth(y1, m1);
        if (m == 0) {
            m = 11;
            --y;
        } else {
            --m;
        }
    }
    d += d2 - d1;
    days = std::uint16_t(d);
    months = std::uint16_t(m);
    years = std::uint16_t(y);
}

double MonthsBetween(TDateTime date1, TDateTime date2)
{
    std::uint16_t d, m, y;
    DateDiff(date1, date2, d, m, y);
    double r = y * 12.0 + m;
    if (d >= 21)
        r += 1;
    else if (d >= 15)
        r += 0.75;
    else if (d >= 7)
        r += 0.5;
    else if (d >= 2)
        r += 0.25;
    return r;
}

bool ValidDate(TDateTime date)
{
    int y, m, d;
    Rtl::DecodeDate(date, y, m, d);
    return ValidYMD(y, m, d);
}

int DaysInPeriod(TDateTime date1, TDateTime date2)
{
    if (!ValidDate(date1) || !ValidDate(date2))
        return 0;
    return int(std::abs(std::trunc(date2) - std::trunc(date1))) + 1;
}

int DaysBetween(TDateTime date1, TDateTime date2)
{
    return std::max(0, int(std::trunc(date2) - std::trunc(date1)) + 1);
}

TDateTime IncTime(TDateTime time, int hours, int minutes, int seconds, int mSecs)
{
    double r = time + hours / 24
               + ((hours % 24) * 3600000.0 + minutes * 60000.0 + seconds * 1000.0 + mSecs)
                     / 86400000.0;
    if (r < 0)
        r += 1;
    return r;
}

TDateTime IncHour(TDateTime time, int delta) { return IncTime(time, delta, 0, 0, 0); }
TDateTime IncMinute(TDateTime time, int delta) { return IncTime(time, 0, delta, 0, 0); }
TDateTime IncSecond(TDateTime time, int delta) { return IncTime(time, 0, 0, delta, 0); }
TDateTime IncMSec(TDateTime time, int delta) { return IncTime(time, 0, 0, 0, delta); }
TDateTime CutTime(TDateTime date) { return std::trunc(date); }

int CurrentYear() { return ExtractYear(DateUtilNow()); }

TDateOrder GetDateOrder(const std::string &dateFormat)
{
    for (char c : dateFormat) {
        switch (c) {
        case 'D': case 'd': return doDMY;
        case 'E': case 'e': case 'Y': case 'y': return doYMD;
        case 'M': case 'm': return doMDY;
        default: break;
        }
    }
    return doDMY;
}

int MonthFromName(const std::string &s, int len)
{
    if (len < 1)
        return 0;
    const std::string prefix = Rtl::Copy(s, 1, len);
    for (int m = 1; m <= 12; ++m) {
        const std::string &name = DateLocale().LongMonthNames[m - 1];
        if (name.empty())
            continue;
        if (Rtl::AnsiCompareText(Rtl::Copy(name, 1, len), prefix) == 0)
            return m;
    }
    return 0;
}

int ExpandYear(int year)
{
    if (year >= 100)
        return year;
    const int pivot = CurrentYear() - CenturyOffset;
    year += pivot / 100 * 100;
    if (CenturyOffset > 0 && year < pivot)
        year += 100;
    return year;
}

namespace {

// The value of the run of `count` letters in the format, read from the same
// positions of the text; `def` when the format lacks it, -1 when it cannot
// be read.
int ExtractMask(const std::string &format, const std::string &s, char letter, int count, int def)
{
    if (format.size() < s.size())
        return def;
    const std::string upper = Rtl::UpperCase(format);
    const int at = Rtl::Pos(std::string(size_t(count), letter), upper);
    if (at == 0)
        return def;
    std::string chars;
    const size_t end = std::min(format.size(), s.size());
    for (size_t i = size_t(at - 1); i < end && upper[i] == letter && chars.size() < 20; ++i)
        if (s[i] != ' ')
            chars += s[i];
    if (chars.empty())
        return -1;
    if (count < 2) {
        if (!std::all_of(chars.begin(), chars.end(), [](char c) { return c >= '0' && c <= '9'; })
            || chars.size() > 9)
            return -1;
        return std::stoi(chars);
    }
    const int m = MonthFromName(chars, int(chars.size()));
    return m == 0 ? -1 : m;
}

struct Scanner {
    const std::string &s;
    size_t pos = 0;

    void SkipBlanks()
    {
        while (pos < s.size() && s[pos] == ' ')
            ++pos;
    }
    bool Number(int &n)
    {
        SkipBlanks();
        const size_t start = pos;
        n = 0;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && n < 1000)
            n = n * 10 + (s[pos++] - '0');
        return pos > start;
    }
    bool Char(char c)
    {
        SkipBlanks();
        if (pos < s.size() && s[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }
};

bool ScanDate(const std::string &s, const std::string &format, int &y, int &m, int &d)
{
    const TDateLocale &loc = DateLocale();
    const char sep = loc.DateSeparator;
    Scanner sc{s};
    if (!loc.ShortDateFormat.empty() && (loc.ShortDateFormat[0] == 'g' || loc.ShortDateFormat[0] == 'G'))
        while (sc.pos < s.size() && !(s[sc.pos] >= '0' && s[sc.pos] <= '9'))
            ++sc.pos;
    const TDateOrder order = GetDateOrder(format);
    int n1, n2, n3;
    if (!sc.Number(n1) || !sc.Char(sep) || !sc.Number(n2))
        return false;
    const size_t mark = sc.pos;
    if (sc.Char(sep) && sc.Number(n3)) {
        switch (order) {
        case doMDY: m = n1; d = n2; y = n3; break;
        case doDMY: d = n1; m = n2; y = n3; break;
        case doYMD: y = n1; m = n2; d = n3; break;
        }
        y = ExpandYear(y);
    } else {
        sc.pos = mark;
        y = CurrentYear();
        if (order == doDMY) {
            d = n1;
            m = n2;
        } else {
            m = n1;
            d = n2;
        }
    }
    sc.Char(sep);
    sc.SkipBlanks();
    return ValidYMD(y, m, d) && sc.pos == s.size();
}

// The common core of the readers: false when the text is no date.
bool ReadDate(const std::string &format, const std::string &s, TDateTime &date)
{
    if (s.empty()) {
        date = NullDate;
        return true;
    }
    const std::string upper = Rtl::UpperCase(format);
    int m = Rtl::Pos("MMM", upper) > 0 ? ExtractMask(format, s, 'M', 3, 0)
                                       : ExtractMask(format, s, 'M', 1, 0);
    int d = ExtractMask(format, s, 'D', 1, 1);
    int y = ExtractMask(format, s, 'Y', 1, CurrentYear());
    if (y >= 0)
        y = ExpandYear(y);
    if (!ValidYMD(y, m, d) && !ScanDate(s, format, y, m, d))
        return false;
    date = Rtl::EncodeDate(y, m, d);
    return true;
}

} // namespace

TDateTime StrToDateFmt(const std::string &dateFormat, const std::string &s)
{
    TDateTime d;
    if (!ReadDate(dateFormat, s, d))
        throw EConvertError("'" + s + "' is not a valid date");
    return d;
}

TDateTime StrToDateFmtDef(const std::string &dateFormat, const std::string &s, TDateTime def)
{
    TDateTime d;
    return ReadDate(dateFormat, s, d) ? d : std::trunc(def);
}

TDateTime StrToDateDef(const std::string &s, TDateTime def)
{
    return StrToDateFmtDef(DateLocale().ShortDateFormat, s, def);
}

std::string DefDateFormat(bool fourDigitYear)
{
    switch (GetDateOrder(DateLocale().ShortDateFormat)) {
    case doMDY: return fourDigitYear ? "MM/DD/YYYY" : "MM/DD/YY";
    case doDMY: return fourDigitYear ? "DD/MM/YYYY" : "DD/MM/YY";
    case doYMD: return fourDigitYear ? "YYYY/MM/DD" : "YY/MM/DD";
    }
    return std::string();
}

std::string DefDateMask(char blanksChar, bool fourDigitYear)
{
    std::string mask;
    if (!fourDigitYear)
        mask = "!99/99/99;1;";
    else if (GetDateOrder(DateLocale().ShortDateFormat) == doYMD)
        mask = "!9999/99/99;1;";
    else
        mask = "!99/99/9999;1;";
    return mask + blanksChar;
}

namespace {
QDateTime ToQDateTime(TDateTime value)
{
    int y, m, d, h, mi, s, ms;
    Rtl::DecodeDate(value, y, m, d);
    Rtl::DecodeTime(value, h, mi, s, ms);
    return QDateTime(QDate(y, m, d), QTime(h, mi, s, ms));
}
} // namespace

std::string FormatLongDate(TDateTime value)
{
    const QString text = QLocale::system().toString(ToQDateTime(value).date(), QLocale::LongFormat);
    return Rtl::TrimRight(ToAnsi(text.left(1023)));
}

std::string FormatLongDateTime(TDateTime value)
{
    if (value == NullDate)
        return std::string();
    QString fmt = QLocale::system().timeFormat(QLocale::LongFormat);
    fmt.remove(QLatin1Char('t'));  // no time-zone name
    const QString time = ToQDateTime(value).time().toString(fmt.trimmed());
    return FormatLongDate(value) + " " + ToAnsi(time);
}
