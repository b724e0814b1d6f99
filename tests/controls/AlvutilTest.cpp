#include "controls/Alvutil.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <string>

using namespace Alvutil;

namespace {
const std::string Q = "\"";
}

TEST(Alvutil, MatchesTable)
{
    struct Case { const char *pattern, *text; bool expected; };
    const Case cases[] = {
        {">=b", "b", true},   {">b", "b", false},     {"<c", "b", true},      {"<=b", "b", true},
        {"<b", "b", false},   {">b&<d", "c", true},   {">b&<d", "e", false},  {">b&<d", "a", false},
        {"a*c", "abbc", true}, {"a*c", "abbd", false}, {"a?c", "abc", true},  {"a?c", "ac", false},
        {"!a*", "bcd", true}, {"!a*", "abc", false},  {"ABC", "abc", false},  {"abc", "abc", true},
        {"*", "", true},      {"***", "xyz", true},   {"?", "", false},       {"", "", true},
        {"", "a", false},     {"a**b", "ab", true},   {"*b*", "aaabaaa", true}, {"*b*", "aaaa", false},
        {"> b", "c", true},   {"<a^>y", "z", true},   {"<a^>y", "m", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Matches(c.pattern, c.text), c.expected) << c.pattern << " vs " << c.text;
}

TEST(Alvutil, MatchesLongInputsStayFast)
{
    // Many stars against a long text that never matches: exponential
    // backtracking would not finish; the walk is bounded by the lengths.
    std::string pattern;
    for (int i = 0; i < 40; ++i) pattern += "*a";
    pattern += "b";
    std::string text(5000, 'a');
    EXPECT_FALSE(Matches(pattern, text));
    EXPECT_TRUE(Matches(pattern, text + "b"));
    // The same with an inverting "!" takes the remembering path.
    EXPECT_TRUE(Matches("!" + pattern, text));
    // Operands and texts far beyond the old 255/20 character buffers.
    std::string longOp(300, 'm');
    EXPECT_TRUE(Matches(">" + longOp, std::string(300, 'n')));
    EXPECT_TRUE(Matchstr(std::string(400, '?'), std::string(400, 'x')));
}

TEST(Alvutil, SinglePosAndNumSingleChar)
{
    EXPECT_EQ(SinglePos('"', "ab" + Q + Q + "c" + Q), 6);
    EXPECT_EQ(SinglePos('"', Q + Q), 2);
    EXPECT_EQ(SinglePos('"', "abc"), 0);
    EXPECT_EQ(SinglePos('"', ""), 0);
    EXPECT_EQ(SinglePos(',', "a,b"), 2);
    EXPECT_EQ(SinglePos(',', ",,,"), 3);
    EXPECT_EQ(NumSingleChar(',', "a,b,,c"), 1);
    EXPECT_EQ(NumSingleChar(',', "a,b,c"), 2);
    EXPECT_EQ(NumSingleChar(',', ""), 0);
    EXPECT_EQ(NumSingleChar('"', Q + "x" + Q + Q + "y" + Q), 2);
}

namespace {

// The count as the delimiter scan made it before it went linear: find the
// next single character, cut the text up to it, repeat.
int formerNumSingleChar(char ch, const std::string &s)
{
    std::string copy = s;
    int count = 0;
    for (int p = SinglePos(ch, copy); p > 0; p = SinglePos(ch, copy)) {
        copy.erase(0, size_t(p));
        ++count;
    }
    return count;
}

} // namespace

TEST(Alvutil, NumSingleCharCountsAsTheFormerScan)
{
    // Doubled characters are no delimiters, except the last of a run that
    // ends the text; the counts are the ones the former scan gave.
    const struct {
        char ch;
        std::string text;
        int count;
    } cases[] = {
        {';', "", 0},
        {';', ";", 1},
        {';', ";;", 1},
        {';', ";;;", 1},
        {';', "a;;", 1},
        {';', "a;;b", 0},
        {';', ";a", 1},
        {';', ";;a", 0},
        {';', "a;b;c", 2},
        {';', "a;b;;c;d", 2},
        {';', "a;;;b", 0},
        {';', "a;;;;b;", 1},
        {';', ";a;", 2},
        {',', "1,2,3,4,5", 4},
        {'"', Q + "a" + Q + "," + Q + "b" + Q + Q + "c" + Q, 4},
        {'"', Q + Q + Q, 1},
        {'\t', "a\tb\t\tc\t", 2},
        {'|', "no delimiter here", 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(formerNumSingleChar(c.ch, c.text), c.count);
        EXPECT_EQ(NumSingleChar(c.ch, c.text), c.count);
    }
    // Every text of up to eight characters from "a;" and ";": the same count.
    for (int len = 0; len <= 8; ++len)
        for (int bits = 0; bits < (1 << len); ++bits) {
            std::string t;
            for (int i = 0; i < len; ++i)
                t += (bits >> i) & 1 ? ';' : 'a';
            ASSERT_EQ(NumSingleChar(';', t), formerNumSingleChar(';', t)) << t;
        }
    // A long line: every field after the first brings one delimiter.
    std::string line = "0";
    for (int i = 1; i < 200000; ++i)
        line += ";" + std::to_string(i);
    EXPECT_EQ(NumSingleChar(';', line), 199999);
}

TEST(Alvutil, LineBreakCoding)
{
    EXPECT_EQ(LfToFile("a\r\nb"), "a\t\bb");
    EXPECT_EQ(FileToLf("a\t\bb", true), "a\r\nb");
    EXPECT_EQ(FileToLf("a\t\bb", false), "a");
    EXPECT_EQ(FileToLf(LfToFile("x\r\ny\rz\n"), true), "x\r\ny\rz\n");

    std::string s = "one\r\ntwo";
    EXPECT_EQ(GetNextLine(s, true), "one");
    EXPECT_EQ(s, "two");
    s = "one\r\ntwo";
    EXPECT_EQ(GetNextLine(s, false), "one");
    EXPECT_EQ(s, "");
    s = "solo";
    EXPECT_EQ(GetNextLine(s, true), "solo");
    EXPECT_EQ(s, "");

    EXPECT_EQ(LinesInText("a\rb\rc", true), 3);
    EXPECT_EQ(LinesInText("a\rb\rc", false), 1);

    std::string csv = "a\r\nb";
    LineFeedsToCSV(csv);
    EXPECT_EQ(csv, Q + "a\nb" + Q);
    std::string lf = "a\nb\r\nc";
    CSVToLineFeeds(lf);
    EXPECT_EQ(lf, "a\r\nb\r\r\nc");
    EXPECT_EQ(DoubleToSingleChar('"', "a" + Q + Q + "b"), "a" + Q + "b");
    EXPECT_EQ(DoubleToSingleChar('"', Q + Q + Q), Q);
    EXPECT_EQ(DoubleToSingleChar('"', ""), "");
    EXPECT_EQ(UpStr("abc\xe9z"), "ABC\xe9Z");
    EXPECT_EQ(RectString({1, 2, 3, 4}), "[1:2][3:4]");
}

TEST(Alvutil, FixDecimalSeparator)
{
    char saved = DecimalSeparator;
    DecimalSeparator = ',';
    EXPECT_EQ(FixDecimalSeparator("1,5"), "1.5");
    EXPECT_EQ(FixDecimalSeparator("1,5,6"), "1.5,6");
    DecimalSeparator = '.';
    EXPECT_EQ(FixDecimalSeparator("1,5"), "1,5");
    DecimalSeparator = saved;
}

TEST(Alvutil, GetNextDate)
{
    const double jan31 = Rtl::EncodeDate(2001, 1, 31);
    EXPECT_THROW(GetNextDate(jan31, 0, 1, 0, 0), EConvertError);
    EXPECT_DOUBLE_EQ(GetNextDate(Rtl::EncodeDate(2001, 12, 15), 0, 1, 0, 0), Rtl::EncodeDate(2002, 1, 15));
    // Months wrap in 16-bit arithmetic: 65535 steps one month back.
    EXPECT_DOUBLE_EQ(GetNextDate(Rtl::EncodeDate(2001, 1, 15), 0, 65535, 0, 0), Rtl::EncodeDate(2000, 12, 15));
    EXPECT_DOUBLE_EQ(GetNextDate(jan31 + 0.5, 0, 0, 3, 0), jan31 + 3.5);         // time of day kept
    EXPECT_DOUBLE_EQ(GetNextDate(jan31 + 0.5, 2, 0, 0, 0), Rtl::EncodeDate(2003, 1, 31));  // midnight
    EXPECT_DOUBLE_EQ(GetNextDate(jan31, 1, 1, 0, 0.25), jan31 + 0.25);           // two set: increment
    EXPECT_DOUBLE_EQ(GetNextDate(jan31, 0, 0, 0, 7), jan31 + 7);
    EXPECT_THROW(GetNextDate(Rtl::EncodeDate(2000, 2, 29), 1, 0, 0, 0), EConvertError);
}

TEST(Alvutil, OemConversion)
{
    // Code page 437 positions of some Windows-1252 letters.
    std::string s = "\xe9\xc4\xfc\xe7 ok";   // é Ä ü ç
    StringToOem(s);
    EXPECT_EQ(s, "\x82\x8e\x81\x87 ok");
    OemToString(s);
    EXPECT_EQ(s, "\xe9\xc4\xfc\xe7 ok");
    // No OEM counterpart: the base letter (Ã -> A), else "?".
    std::string t = "\xc3\x80";   // Ã, €
    StringToOem(t);
    EXPECT_EQ(t, "A?");
    // Box drawing has no ANSI counterpart.
    std::string b = "\xc4";
    OemToString(b);
    EXPECT_EQ(b, "?");
}
