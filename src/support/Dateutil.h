#pragma once
// Calendar arithmetic on date-time values (days since 1899-12-30, the time of
// day as the fraction) and reading dates from text under a date format,
// tolerant of two-digit years and of texts laid out like the format.
#include "platform/Rtl.h"

#include <cstdint>
#include <functional>
#include <string>

using Rtl::TDateTime;

enum TDateOrder { doMDY, doDMY, doYMD };
enum TDayOfWeekName { Sun, Mon, Tue, Wed, Thu, Fri, Sat };
using TDaysOfWeek = unsigned;  // bit n set: TDayOfWeekName n in the set

// The locale settings the unit reads. Made from the user's locale on first
// use; tests and callers may replace them.
struct TDateLocale {
    std::string ShortDateFormat;  // e.g. "dd/MM/yyyy" (letters D, M, Y in any case)
    char DateSeparator = '/';
    std::string LongMonthNames[12];
    std::string TimeAMString, TimePMString;
    std::string ShortTimeFormat;
};
TDateLocale &DateLocale();
// The user's locale as the unit sees it.
TDateLocale SystemDateLocale();

// Unit variables.
extern std::uint8_t CenturyOffset;  // 60
extern TDateTime NullDate;          // 0
extern bool FourDigitYear;          // "YYYY" in the short date format

// Where "today" comes from (the local clock unless replaced; for tests).
void SetDateUtilClock(std::function<TDateTime()> now);
TDateTime DateUtilNow();

bool IsLeapYear(int year);
// Days of the month; 0 for a month outside 1 to 12.
int DaysPerMonth(int year, int month);
TDateTime FirstDayOfNextMonth();
TDateTime FirstDayOfPrevMonth();
TDateTime LastDayOfPrevMonth();
int ExtractDay(TDateTime date);
int ExtractMonth(TDateTime date);
int ExtractYear(TDateTime date);
TDateTime IncDate(TDateTime date, int days, int months, int years);
TDateTime IncDay(TDateTime date, int delta);
TDateTime IncMonth(TDateTime date, int delta);
TDateTime IncYear(TDateTime date, int delta);
void DateDiff(TDateTime date1, TDateTime date2, std::uint16_t &days, std::uint16_t &months,
              std::uint16_t &years);
double MonthsBetween(TDateTime date1, TDateTime date2);
bool ValidDate(TDateTime date);
int DaysInPeriod(TDateTime date1, TDateTime date2);
int DaysBetween(TDateTime date1, TDateTime date2);
TDateTime IncTime(TDateTime time, int hours, int minutes, int seconds, int mSecs);
TDateTime IncHour(TDateTime time, int delta);
TDateTime IncMinute(TDateTime time, int delta);
TDateTime IncSecond(TDateTime time, int delta);
TDateTime IncMSec(TDateTime time, int delta);
TDateTime CutTime(TDateTime date);
int CurrentYear();
TDateOrder GetDateOrder(const std::string &dateFormat);
// 1 to 12: the month whose long name begins with the first len characters
// of the text (case ignored); 0 when none does or len < 1.
int MonthFromName(const std::string &s, int len);
// A two-digit year put into the century window of CenturyOffset.
int ExpandYear(int year);
// Raises EConvertError "'<text>' is not a valid date".
TDateTime StrToDateFmt(const std::string &dateFormat, const std::string &s);
TDateTime StrToDateDef(const std::string &s, TDateTime def);
TDateTime StrToDateFmtDef(const std::string &dateFormat, const std::string &s, TDateTime def);
std::string DefDateFormat(bool fourDigitYear);
std::string DefDateMask(char blanksChar, bool fourDigitYear);
std::string FormatLongDate(TDateTime value);
std::string FormatLongDateTime(TDateTime value);
