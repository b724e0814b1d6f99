#include "platform/Cp1252.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

using namespace Rtl;

TEST(Cp1252, EveryByteRoundTrips)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(char(b));
    QString u = FromAnsi(all);
    ASSERT_EQ(u.size(), 256);
    EXPECT_EQ(ToAnsi(u), all);
    // A few characters that differ from Latin-1.
    EXPECT_EQ(u[0x80], QChar(0x20AC));
    EXPECT_EQ(u[0x9F], QChar(0x0178));
    EXPECT_EQ(u[0x81], QChar(0x0081));
    EXPECT_EQ(u[0xE9], QChar(0x00E9));
    // Each byte alone, and text with and without bytes 80..9F, converts
    // as in the whole range.
    for (int b = 0; b < 256; ++b) {
        EXPECT_EQ(FromAnsi(std::string(1, char(b))), QString(u[b])) << b;
        EXPECT_EQ(FromAnsi("caf\xE9 " + std::string(1, char(b))), QString::fromUtf8("caf\xC3\xA9 ") + u[b]) << b;
    }
    EXPECT_TRUE(FromAnsi("").isEmpty());
    // Characters outside the code page become '?'.
    EXPECT_EQ(ToAnsi(QString::fromUtf8("a\xe2\x86\x92" "b")), "a?b");
    EXPECT_EQ(ToAnsi(QString::fromUtf8("a\xf0\x9f\x8e\xb5" "b")), "a?b");
}

TEST(Rtl, CopyPosDeleteInsertClampTheirArguments)
{
    struct { const char *s; int64_t index, count; const char *want; } copies[] = {
        {"abcdef", 1, 3, "abc"}, {"abcdef", 0, 3, "abc"}, {"abcdef", -5, 2, "ab"},
        {"abcdef", 4, 100, "def"}, {"abcdef", 7, 1, ""}, {"abcdef", 3, 0, ""},
        {"abcdef", 3, -1, ""}, {"", 1, 1, ""}, {"abc", 3, INT32_MAX, "c"},
    };
    for (auto &c : copies)
        EXPECT_EQ(Copy(c.s, c.index, c.count), c.want) << c.s << " " << c.index << " " << c.count;

    EXPECT_EQ(Pos("cd", "abcdcd"), 3);
    EXPECT_EQ(Pos("x", "abc"), 0);
    EXPECT_EQ(Pos("", "abc"), 0);
    EXPECT_EQ(PosEx("cd", "abcdcd", 4), 5);
    EXPECT_EQ(PosEx("cd", "abcdcd", 99), 0);

    struct { const char *s; int64_t index, count; const char *want; } deletes[] = {
        {"abcdef", 2, 2, "adef"}, {"abcdef", 0, 2, "abcdef"}, {"abcdef", 5, 10, "abcd"},
        {"abcdef", 7, 1, "abcdef"}, {"abcdef", 1, 0, "abcdef"},
    };
    for (auto &d : deletes) {
        std::string s = d.s;
        Delete(s, d.index, d.count);
        EXPECT_EQ(s, d.want) << d.s << " " << d.index << " " << d.count;
    }
    struct { int64_t index; const char *want; } inserts[] = {
        {1, "XYabc"}, {0, "XYabc"}, {2, "aXYbc"}, {4, "abcXY"}, {99, "abcXY"},
    };
    for (auto &in : inserts) {
        std::string s = "abc";
        Insert("XY", s, in.index);
        EXPECT_EQ(s, in.want) << in.index;
    }
}

TEST(Rtl, TrimsAndCases)
{
    EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
    EXPECT_EQ(TrimLeft("  a "), "a ");
    EXPECT_EQ(TrimRight("  a \x01"), "  a");
    EXPECT_EQ(Trim(""), "");
    EXPECT_EQ(UpperCase("abc\xe9"), "ABC\xe9");
    EXPECT_EQ(AnsiUpperCase("abc\xe9\x9a\xff\xf7"), "ABC\xc9\x8a\x9f\xf7");
    EXPECT_EQ(AnsiLowerCase("ABC\xc9\x8a\x9f\xd7"), "abc\xe9\x9a\xff\xd7");
    EXPECT_EQ(AnsiCompareText("\xc9t\xe9", "\xe9T\xc9"), 0);
    EXPECT_LT(AnsiCompareText("abc", "ABD"), 0);
    EXPECT_GT(CompareText("b", "A"), 0);
    EXPECT_LT(CompareText("ab", "abc"), 0);
    EXPECT_TRUE(SameText("Artist", "ARTIST"));
    EXPECT_EQ(StringReplace("a-b-c", "-", "+"), "a+b+c");
    EXPECT_EQ(StringReplace("a-b-c", "-", "+", rfNone), "a+b-c");
    EXPECT_EQ(StringReplace("aXbxc", "x", "", rfReplaceAll | rfIgnoreCase), "abc");
    EXPECT_EQ(LastDelimiter("/\\", "a/b\\c.d"), 4);
}

// The name hash agrees with the name comparison at every length (the last
// bytes of a name are read apart from the whole words), sees every byte, and
// reads no byte past the name.
TEST(Rtl, NameHashFollowsTheComparison)
{
    const char letters[] = {'a', 'Z', 'k', '0', '_', char(0xE9), char(0xC9), char(0x9A), char(0x8A), char(0xFF)};
    unsigned seed = 5;
    auto next = [&](unsigned n) { return seed = seed * 1664525u + 1013904223u, (seed >> 8) % n; };
    for (size_t len = 0; len <= 24; ++len)
        for (int round = 0; round < 50; ++round) {
            std::string name;
            for (size_t i = 0; i < len; ++i)
                name += letters[next(sizeof letters)];
            std::string other = next(2) ? AnsiUpperCase(name) : AnsiLowerCase(name);
            ASSERT_TRUE(SameTextView(name, other));
            ASSERT_EQ(AnsiHashText(name), AnsiHashText(other)) << len;
            // Inside a longer buffer with other bytes after it.
            const std::string buffer = name + "tail bytes";
            ASSERT_EQ(AnsiHashText(std::string_view(buffer).substr(0, len)), AnsiHashText(name)) << len;
            for (size_t i = 0; i < len; ++i) {
                std::string changed = name;
                changed[i] = changed[i] == '#' ? '$' : '#';
                ASSERT_FALSE(SameTextView(changed, name));
                EXPECT_NE(AnsiHashText(changed), AnsiHashText(name)) << len << " at " << i;
            }
        }
}

TEST(Rtl, IntegerTexts)
{
    struct { const char *text; bool ok; int value; } cases[] = {
        {"0", true, 0}, {"42", true, 42}, {"-42", true, -42}, {"+7", true, 7},
        {"  12", true, 12}, {"12 ", false, 0}, {"", false, 0}, {"-", false, 0},
        {"$1F", true, 31}, {"0x1F", true, 31}, {"0X1f", true, 31}, {"0x", false, 0},
        {"$FFFFFFFF", true, -1}, {"2147483647", true, INT32_MAX}, {"2147483648", false, 0},
        {"-2147483648", true, INT32_MIN}, {"12abc", false, 0}, {"1.5", false, 0},
        {"99999999999999999999999", false, 0}, {"$100000000", false, 0},
    };
    for (auto &c : cases) {
        int v = 0;
        EXPECT_EQ(TryStrToInt(c.text, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(v, c.value) << c.text;
        }
        EXPECT_EQ(StrToIntDef(c.text, -99), c.ok ? c.value : -99) << c.text;
    }
    try {
        StrToInt("x1");
        FAIL();
    } catch (const EConvertError &e) {
        EXPECT_EQ(e.Message, "'x1' is not a valid integer value");
    }
    EXPECT_EQ(IntToStr(-5), "-5");
    EXPECT_EQ(IntToHex(255, 4), "00FF");
    EXPECT_EQ(IntToHex(0xC3B2B, 16), "00000000000C3B2B");
    EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFF");
    EXPECT_EQ(IntToHex(0, 0), "0");
}

TEST(Rtl, FormatDirectives)
{
    EXPECT_EQ(Format("%d", {42}), "42");
    EXPECT_EQ(Format("%5d", {42}), "   42");
    EXPECT_EQ(Format("%-5d|", {42}), "42   |");
    EXPECT_EQ(Format("%.4d", {42}), "0042");
    EXPECT_EQ(Format("%.4d", {-42}), "-0042");
    EXPECT_EQ(Format("%x", {42}), "2A");
    EXPECT_EQ(Format("%s=%s", {"a", "b"}), "a=b");
    EXPECT_EQ(Format("100%%", {}), "100%");
    EXPECT_EQ(Format("%1:s %0:s", {"a", "b"}), "b a");
    EXPECT_EQ(Format("%.1s", {"abc"}), "a");
    EXPECT_EQ(Format("%*d", {4, 7}), "   7");
    EXPECT_EQ(Format("%.2f", {3.14159}), "3.14");
    EXPECT_EQ(Format("%n", {1234567.5}), "1,234,567.50");
    EXPECT_EQ(Format("Socket Error # %d\r\n%s", {10061, "Connection refused."}), "Socket Error # 10061\r\nConnection refused.");
    for (const char *bad : {"%d", "%s", "%q", "%"}) {
        try {
            // text for %d, a number for everything else
            if (std::string(bad) == "%d")
                Format(bad, {"x"});
            else
                Format(bad, {1});
            ADD_FAILURE() << bad;
        } catch (const EConvertError &e) {
            EXPECT_EQ(e.Message, std::string("Format '") + bad + "' invalid or incompatible with argument");
        }
    }
    EXPECT_THROW(Format("%d %d", {1}), EConvertError);
}

TEST(Rtl, DatesAreDaysSince18991230)
{
    struct { int y, m, d; double serial; int dow; } cases[] = {
        {1899, 12, 30, 0, 7}, {1900, 1, 1, 2, 2}, {2000, 2, 29, 36585, 3},
        {1970, 1, 1, 25569, 5}, {2026, 12, 10, 46366, 5}, {1, 1, 1, -693593, 2},
    };
    for (auto &c : cases) {
        EXPECT_DOUBLE_EQ(EncodeDate(c.y, c.m, c.d), c.serial) << c.y << "-" << c.m << "-" << c.d;
        int y, m, d;
        DecodeDate(c.serial, y, m, d);
        EXPECT_EQ(y * 10000 + m * 100 + d, c.y * 10000 + c.m * 100 + c.d);
        EXPECT_EQ(DayOfWeek(c.serial), c.dow);
    }
    EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
    EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
    int h, mi, s, ms;
    DecodeTime(EncodeDate(2020, 5, 6) + EncodeTime(13, 45, 30, 250), h, mi, s, ms);
    EXPECT_EQ(h * 10000000 + mi * 100000 + s * 1000 + ms, 134530250);
    EXPECT_EQ(DateTimeToUnix(UnixToDateTime(1700000000)), 1700000000);
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
}

TEST(Rtl, FileNameParts)
{
    EXPECT_EQ(ExtractFilePath("/a/b/c.cmp"), "/a/b/");
    EXPECT_EQ(ExtractFileName("/a/b/c.cmp"), "c.cmp");
    EXPECT_EQ(ExtractFileName("C:\\x\\y.ini"), "y.ini");
    EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
    EXPECT_EQ(ExtractFileExt("summer.cmp"), ".cmp");
    EXPECT_EQ(ChangeFileExt("/a/b.txt", ".csv"), "/a/b.csv");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a"), "/a/");
    EXPECT_EQ(IncludeTrailingPathDelimiter("/a/"), "/a/");
}
