// Date utilities: the documented examples as tables, under a fixed clock and
// a fixed locale.
#include "support/Dateutil.h"

#include "platform/SysUtils.h"

#include <gtest/gtest.h>

using Rtl::EncodeDate;
using Rtl::EncodeTime;

namespace {

// Today is 15 June 2002; dates are read with a day-month-year locale.
class DateUtil : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_ = DateLocale();
        TDateLocale &l = DateLocale();
        l.ShortDateFormat = "dd/MM/yyyy";
        l.DateSeparator = '/';
        const char *names[12] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};
        for (int i = 0; i < 12; ++i)
            l.LongMonthNames[i] = names[i];
        SetDateUtilClock([] { return EncodeDate(2002, 6, 15) + 0.25; });
        CenturyOffset = 60;
    }
    void TearDown() override
    {
        DateLocale() = saved_;
        SetDateUtilClock(nullptr);
        CenturyOffset = 60;
    }
    TDateLocale saved_;
};

std::string Ymd(TDateTime d)
{
    int y, m, day;
    Rtl::DecodeDate(d, y, m, day);
    return std::to_string(y) + "-" + std::to_string(m) + "-" + std::to_string(day);
}

} // namespace

TEST_F(DateUtil, ArithmeticTable)
{
    struct Case {
        TDateTime got;
        TDateTime want;
        const char *what;
    } cases[] = {
        {IncMonth(EncodeDate(2003, 1, 31), 1), EncodeDate(2003, 2, 28), "31 Jan + 1 month"},
        {IncMonth(EncodeDate(2004, 1, 31), 1), EncodeDate(2004, 2, 29), "leap February"},
        {IncMonth(EncodeDate(2003, 1, 31), -1), EncodeDate(2002, 12, 31), "back over the year"},
        {IncMonth(EncodeDate(2003, 3, 15), -14), EncodeDate(2002, 1, 15), "-14 months"},
        {IncMonth(EncodeDate(2003, 11, 15), 13), EncodeDate(2004, 12, 15), "+13 months"},
        {IncYear(EncodeDate(2004, 2, 29), 1), EncodeDate(2005, 2, 28), "29 Feb + 1 year"},
        {IncDate(EncodeDate(2002, 1, 1) + 0.5, 2, 1, 1), EncodeDate(2003, 2, 3) + 0.5, "time kept"},
        {IncDay(EncodeDate(2002, 12, 31), 1), EncodeDate(2003, 1, 1), "IncDay"},
        {IncHour(EncodeDate(2002, 5, 10) + EncodeTime(0, 30, 0, 0), -1),
         EncodeDate(2002, 5, 9) + EncodeTime(23, 30, 0, 0), "00:30 - 1 hour"},
        {IncHour(EncodeDate(2002, 5, 10), 49), EncodeDate(2002, 5, 12) + EncodeTime(1, 0, 0, 0), "49 hours"},
        {IncMinute(EncodeDate(2002, 5, 10), 90), EncodeDate(2002, 5, 10) + EncodeTime(1, 30, 0, 0), "90 min"},
        {CutTime(EncodeDate(2002, 5, 10) + 0.75), EncodeDate(2002, 5, 10), "CutTime"},
        {FirstDayOfNextMonth(), EncodeDate(2002, 7, 1), "next month"},
        {FirstDayOfPrevMonth(), EncodeDate(2002, 5, 1), "previous month"},
        {LastDayOfPrevMonth(), EncodeDate(2002, 5, 31), "last of previous"},
    };
    for (const Case &c : cases)
        EXPECT_NEAR(c.got, c.want, 1e-6) << c.what << ": " << Ymd(c.got);
}

TEST_F(DateUtil, DifferencesTable)
{
    struct Case {
        TDateTime a, b;
        int days, months, years;
        double monthsBetween;
    } cases[] = {
        {EncodeDate(2003, 1, 31), EncodeDate(2003, 3, 1), 1, 1, 0, 1.0},
        {EncodeDate(2003, 3, 1), EncodeDate(2003, 1, 31), 1, 1, 0, 1.0},  // order does not matter
        {EncodeDate(2002, 1, 5), EncodeDate(2002, 2, 15), 10, 1, 0, 1.5},
        {EncodeDate(2001, 12, 20), EncodeDate(2002, 1, 10), 21, 0, 0, 1.0},
        {EncodeDate(2000, 5, 5), EncodeDate(2002, 5, 5), 0, 0, 2, 24.0},
        {EncodeDate(2002, 5, 5), EncodeDate(2002, 5, 8), 3, 0, 0, 0.25},
        {EncodeDate(2002, 5, 5), EncodeDate(2002, 5, 20), 15, 0, 0, 0.75},
        {EncodeDate(2002, 5, 5), EncodeDate(2002, 5, 6), 1, 0, 0, 0.0},
    };
    for (const Case &c : cases) {
        std::uint16_t d, m, y;
        DateDiff(c.a, c.b, d, m, y);
        EXPECT_EQ(d, c.days) << Ymd(c.a) << " " << Ymd(c.b);
        EXPECT_EQ(m, c.months) << Ymd(c.a) << " " << Ymd(c.b);
        EXPECT_EQ(y, c.years) << Ymd(c.a) << " " << Ymd(c.b);
        EXPECT_DOUBLE_EQ(MonthsBetween(c.a, c.b), c.monthsBetween) << Ymd(c.a) << " " << Ymd(c.b);
    }
    EXPECT_EQ(DaysInPeriod(EncodeDate(2002, 1, 10), EncodeDate(2002, 1, 1)), 10);
    EXPECT_EQ(DaysInPeriod(EncodeDate(2002, 1, 10), 0 - 700000.0), 0);
    EXPECT_EQ(DaysBetween(EncodeDate(2002, 1, 1), EncodeDate(2002, 1, 10)), 10);
    EXPECT_EQ(DaysBetween(EncodeDate(2002, 1, 10), EncodeDate(2002, 1, 1)), 0);
}

TEST_F(DateUtil, MonthsAndYearsAreGuarded)
{
    struct Case {
        int year, month, days;
    } cases[] = {{2002, 2, 28}, {2004, 2, 29}, {1900, 2, 28}, {2000, 2, 29}, {2002, 12, 31},
                 {2002, 0, 0},  {2002, 13, 0}, {2002, -5, 0}};
    for (const Case &c : cases)
        EXPECT_EQ(DaysPerMonth(c.year, c.month), c.days) << c.year << "/" << c.month;
    EXPECT_EQ(MonthFromName("mar", 3), 3);
    EXPECT_EQ(MonthFromName("JUNE", 2), 6);
    EXPECT_EQ(MonthFromName("Ju", 2), 6);  // the first match wins
    EXPECT_EQ(MonthFromName("Jux", 3), 0);
    EXPECT_EQ(MonthFromName("June", 0), 0);
    EXPECT_EQ(CurrentYear(), 2002);
    EXPECT_EQ(GetDateOrder("yyyy-MM-dd"), doYMD);
    EXPECT_EQ(GetDateOrder("MM/dd/yy"), doMDY);
    EXPECT_EQ(GetDateOrder("gg ee/MM"), doYMD);
    EXPECT_EQ(GetDateOrder("--"), doDMY);
}

TEST_F(DateUtil, TwoDigitYearsTable)
{
    struct Case {
        int in, out;
    } cases[] = {{41, 2041}, {42, 1942}, {99, 1999}, {0, 2000}, {100, 100}, {2002, 2002}};
    for (const Case &c : cases)
        EXPECT_EQ(ExpandYear(c.in), c.out) << c.in;
    CenturyOffset = 0;
    EXPECT_EQ(ExpandYear(1), 2001);
    EXPECT_EQ(ExpandYear(99), 2099);
}

TEST_F(DateUtil, ReadingDatesTable)
{
    struct Case {
        const char *format, *text;
        int y, m, d;  // 0 0 0: not a date
    } cases[] = {
        {"DD/MM/YYYY", "03/04/02", 2002, 4, 3},      // positional, year expanded
        {"DD/MM/YYYY", "3/4/2002", 2002, 4, 3},      // scanned
        {"DD/MM/YYYY", "03/04/2002 ", 2002, 4, 3},   // longer than the format: scanned
        {"DD/MM/YYYY", "03/04/2002/extra", 0, 0, 0}, // longer than the format, not scannable
        {"DD/MM/YYYY", " 3 / 4 / 2002 / ", 2002, 4, 3},
        {"DD/MM/YYYY", "3/4", 2002, 4, 3},           // two numbers: this year
        {"MM/DD/YYYY", "3/4", 2002, 3, 4},
        {"YYYY/MM/DD", "2001/12/31", 2001, 12, 31},
        {"DD/MM/YYYY", "31/02/2002", 0, 0, 0},
        {"DD/MM/YYYY", "xx/yy/zzzz", 0, 0, 0},
        {"DD-MMM-YYYY", "05-Mar-2003", 2003, 3, 5},  // month by name
        {"DD MMMM YYYY", "05 June 2003", 2003, 6, 5},
        {"DD MMMM YYYY", "05 June    2003", 0, 0, 0},  // longer than the format: scanned, no number
        {"YYYYMMDD", "20030705", 2003, 7, 5},
        {"DD/MM/YYYY", "99999999999/1/1", 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.format) + " <- " + c.text);
        const TDateTime def = EncodeDate(1999, 9, 9) + 0.5;
        const TDateTime got = StrToDateFmtDef(c.format, c.text, def);
        if (c.y == 0) {
            EXPECT_EQ(got, EncodeDate(1999, 9, 9));  // the default's whole day
            EXPECT_THROW(StrToDateFmt(c.format, c.text), EConvertError);
        } else {
            EXPECT_EQ(Ymd(got), Ymd(EncodeDate(c.y, c.m, c.d)));
        }
    }
    try {
        StrToDateFmt("DD/MM/YYYY", "nope");
        FAIL();
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.Message, "'nope' is not a valid date");
    }
    EXPECT_EQ(StrToDateDef("", EncodeDate(2000, 1, 1)), NullDate);
    EXPECT_EQ(StrToDateDef("1/2/2003", 0), EncodeDate(2003, 2, 1));
}

TEST_F(DateUtil, DefaultFormatsAndMasks)
{
    EXPECT_EQ(DefDateFormat(true), "DD/MM/YYYY");
    EXPECT_EQ(DefDateFormat(false), "DD/MM/YY");
    EXPECT_EQ(DefDateMask('_', true), "!99/99/9999;1;_");
    EXPECT_EQ(DefDateMask('_', false), "!99/99/99;1;_");
    DateLocale().ShortDateFormat = "yyyy-MM-dd";
    EXPECT_EQ(DefDateFormat(true), "YYYY/MM/DD");
    EXPECT_EQ(DefDateMask(' ', true), "!9999/99/99;1; ");
    DateLocale().ShortDateFormat = "M/d/yy";
    EXPECT_EQ(DefDateFormat(false), "MM/DD/YY");

    EXPECT_EQ(FormatLongDateTime(NullDate), "");
    const std::string longDate = FormatLongDate(EncodeDate(2003, 7, 5));
    EXPECT_NE(longDate.find("2003"), std::string::npos) << longDate;
    EXPECT_EQ(FormatLongDateTime(EncodeDate(2003, 7, 5) + EncodeTime(13, 4, 5, 0)).rfind(longDate + " ", 0),
              0u);
}
