// String utilities: the documented examples as tables, plus the guards.
#include "support/Strutils.h"

#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
const TCharSet Blanks = CharSet(" ,");
}

TEST(Strutils, TextRoutinesTable)
{
    struct Case {
        std::string got, want;
    } cases[] = {
        {ReplaceStr("aaa", "a", "aa"), "aaaaaa"},
        {ReplaceStr("abcabc", "", "x"), "abcabc"},
        {ReplaceStr("a-b-c", "-", ""), "abc"},
        {std::to_string(NPos("aa", "aaaa", 3)), "3"},
        {std::to_string(NPos("aa", "aaaa", 4)), "0"},
        {std::to_string(NPos("aa", "aaaa", 0)), "0"},
        {ExtractDelimited(2, "a,,b", CharSet(",")), ""},
        {ExtractDelimited(3, "a,,b", CharSet(",")), "b"},
        {ExtractDelimited(4, "a,,b", CharSet(",")), ""},
        {ExtractWord(2, "  one, two three", Blanks), "two"},
        {ExtractWord(4, "one two three", Blanks), ""},
        {std::to_string(WordCount(" one,,two  three ", Blanks)), "3"},
        {std::to_string(WordPosition(2, "one  two", Blanks)), "6"},
        {Numb2USA("1234567"), "1,234,567"},
        {Numb2USA("123"), "123"},
        {Numb2USA("1234"), "1,234"},
        {LeftStr("abcdef", 3), "abcdef"},
        {LeftStr("ab", 4), "ab  "},
        {RightStr("ab", 4), "  ab"},
        {AddChar('0', "7", 3), "007"},
        {CenterStr("ab", 6), "  ab  "},
        {CenterStr("abc", 6), "  abc "},
        {DelSpace1("a   b  c"), "a b c"},
        {DelRSpace("  a b  "), "a b"},
        {DelBSpace("  a "), "a "},
        {DelESpace("  a "), "  a"},
        {Tab2Space("a\tb", 3), "a   b"},
        {MakeStr('x', 0), ""},
        {MS('x', 3), "xxx"},
        {Copy2Symb("key=value", '='), "key"},
        {Copy2Symb("plain", '='), "plain"},
        {QuotedString("it's", '\''), "'it''s'"},
        {ExtractQuotedString("'it''s' rest", '\''), "it's"},
        {ExtractQuotedString("plain", '\''), "plain"},
        {std::to_string(FindPart("b?d", "abcde")), "2"},
        {std::to_string(FindPart("cd", "abcde")), "3"},
        {std::to_string(FindPart("x?", "abcde")), "0"},
        {AnsiProperCase("hELLO wORLD", CharSet(" ")), "Hello World"},
        {Dec2Hex(255, 4), "00FF"},
        {std::to_string(Hex2Dec("1F")), "31"},
        {std::to_string(Hex2Dec("$1F")), "31"},
        {std::to_string(Hex2Dec("xyz")), "0"},
        {Dec2Numb(255, 10, 2), "0011111111"},
        {Dec2Numb(0, 3, 16), "000"},
        {Dec2Numb(35, 0, 36), "Z"},
        {Dec2Numb(-1, 0, 16), "FFFFFFFF"},
        {std::to_string(Numb2Dec("ff", 16)), "255"},
        {std::to_string(Numb2Dec("11111111", 2)), "255"},
        {IntToBin(5, 8, 4), " 0000 0101"},
        {IntToBin(5, 3, 2), "1 01"},
        {IntToBin(0xFFFFFFFFu, 40, 8), " 11111111 11111111 11111111 11111111"},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i;
}

TEST(Strutils, Copy2SymbDelLeavesTheRest)
{
    std::string s = "name = value";
    EXPECT_EQ(Copy2SymbDel(s, '='), "name ");
    EXPECT_EQ(s, "= value");
    s = "first   second";
    EXPECT_EQ(Copy2SpaceDel(s), "first");
    EXPECT_EQ(s, "second");
    s = "lonely";
    EXPECT_EQ(Copy2SpaceDel(s), "lonely");
    EXPECT_EQ(s, "");

    int pos = 1;
    const std::string line = "a;bb;;c";
    std::vector<std::string> parts;
    while (pos <= int(line.size()))
        parts.push_back(ExtractSubstr(line, pos, CharSet(";")));
    EXPECT_EQ(parts, (std::vector<std::string>{"a", "bb", "", "c"}));
}

TEST(Strutils, RomanNumeralsTable)
{
    struct Case {
        int value;
        const char *roman;
    } cases[] = {{1994, "MCMXCIV"}, {4, "IV"},         {9, "IX"},     {14, "XIV"},
                 {40, "XL"},        {90, "XC"},        {400, "CD"},   {900, "CM"},
                 {3888, "MMMDCCCLXXXVIII"}, {1, "I"},  {2024, "MMXXIV"}, {0, ""}, {-5, ""}};
    for (const Case &c : cases) {
        EXPECT_EQ(IntToRoman(c.value), c.roman) << c.value;
        if (c.value > 0) {
            EXPECT_EQ(RomanToInt(c.roman), c.value) << c.roman;
        }
    }
    EXPECT_EQ(RomanToInt("mcmxciv"), 1994);
    EXPECT_EQ(RomanToInt("MCMXCIVZ"), 0);
    EXPECT_EQ(RomanToInt("-XIV"), -14);
    EXPECT_EQ(RomanToInt(""), 0);
}

TEST(Strutils, WildcardTable)
{
    struct Case {
        const char *text, *pattern;
        bool ignoreCase, match;
    } cases[] = {
        {"bab", "b*b", false, true},
        {"bab", "?*b*b", false, false},
        {"", "*", false, true},
        {"", "**", false, true},
        {"anything", "**", false, true},
        {"", "?", false, false},
        {"", "a*", false, false},
        {"abc", "", false, false},
        {"abc", "abc", false, true},
        {"abc", "a?c", false, true},
        {"abc", "ab", false, false},
        {"abcd", "a*d", false, true},
        {"abcd", "a*c", false, false},
        {"Section.Sub", "Section.*", false, true},
        {"section.sub", "Section.*", false, false},
        {"section.sub", "Section.*", true, true},
        {"Section\\x", "Section\\*", false, true},
        {"xaxxb", "*a*b", false, true},
        {"xaxxc", "*a*b", false, false},
        {"ab", "a*?b", false, false},
        {"readme.txt", "*.txt", false, true},
        {"readme.txt", "*.t?t", false, true},
        {"a", "abc*", false, false},
        {"abc", "abc*", false, true},
        {"abcx", "a*b*", false, true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(IsWild(c.text, c.pattern, c.ignoreCase), c.match) << c.text << " ~ " << c.pattern;
}

TEST(Strutils, XorCodingTable)
{
    struct Case {
        const char *key, *text, *coded;
    } cases[] = {
        {"", "abc", "616263"},
        {"\x01", "abc", "606362"},
        {"key", "", ""},
        {"ab", "abab", "00000000"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(XorEncode(c.key, c.text), c.coded) << c.text;
        EXPECT_EQ(XorDecode(c.key, c.coded), c.text) << c.coded;
    }
    EXPECT_EQ(XorDecode("", "zz"), " ");
    EXPECT_EQ(XorDecode("", "616"), "a");  // a trailing odd digit is ignored
    EXPECT_EQ(XorDecode("", "6A6a"), "jj");
    // Every byte survives the round trip under a key.
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += char(b);
    EXPECT_EQ(XorDecode("s3cr\xE9t", XorEncode("s3cr\xE9t", all)), all);
    EXPECT_EQ(XorString("k", XorString("k", "text")), "text");
    EXPECT_EQ(XorString("", "text"), "text");
    EXPECT_EQ(XorString("k", std::string(300, 'a')).size(), 255u);
}

TEST(Strutils, BadBasesAndGroupSizesAreRejected)
{
    EXPECT_THROW(Dec2Numb(10, 0, 1), EConvertError);
    EXPECT_THROW(Dec2Numb(10, 0, 0), EConvertError);
    EXPECT_THROW(Dec2Numb(10, 0, 37), EConvertError);
    EXPECT_THROW(Numb2Dec("10", 0), EConvertError);
    EXPECT_THROW(Numb2Dec("10", 40), EConvertError);
    EXPECT_THROW(IntToBin(5, 8, 0), EConvertError);
    EXPECT_THROW(IntToBin(5, 8, -1), EConvertError);
    EXPECT_EQ(Dec2Numb(10, 0, 36), "A");
    EXPECT_EQ(Numb2Dec("Z", 36), 35);
}

TEST(Strutils, WordsSwitchesAndCodePages)
{
    EXPECT_TRUE(IsWordPresent("two", "one two", CharSet(" ")));
    EXPECT_FALSE(IsWordPresent("tw", "one two", CharSet(" ")));
    EXPECT_TRUE(IsEmptyStr("  \t", CharSet(" \t")));
    EXPECT_TRUE(IsEmptyStr("", CharSet(" ")));
    EXPECT_FALSE(IsEmptyStr(" x", CharSet(" ")));
    int pos = -1;
    EXPECT_EQ(ExtractWordPos(2, "aa bb", CharSet(" "), pos), "bb");
    EXPECT_EQ(pos, 4);
    EXPECT_EQ(ExtractWordPos(3, "aa bb", CharSet(" "), pos), "");
    EXPECT_EQ(pos, 0);

    const std::vector<std::string> params = {"-Lang", "de", "/x", "file", "-last"};
    EXPECT_EQ(GetCmdLineArg("lang", CharSet("-/"), params), "de");
    EXPECT_EQ(GetCmdLineArg("X", CharSet("-/"), params), "file");
    EXPECT_EQ(GetCmdLineArg("last", CharSet("-/"), params), "");
    // Without switch characters every parameter counts, less its first character.
    EXPECT_EQ(GetCmdLineArg("lang", TCharSet(), params), "de");
    EXPECT_EQ(GetCmdLineArg("e", TCharSet(), params), "/x");
    EXPECT_EQ(GetCmdLineArg("none", CharSet("-"), params), "");

    // é is 0xE9 in ANSI and 0x82 in the OEM page; À has no OEM byte.
    EXPECT_EQ(StrToOem("caf\xE9"), "caf\x82");
    EXPECT_EQ(OemToAnsiStr("caf\x82"), "caf\xE9");
    EXPECT_EQ(StrToOem("\xC0"), "A");
    EXPECT_EQ(StrToOem("plain"), "plain");

    EXPECT_EQ(CompStr("a", "b"), -1);
    EXPECT_EQ(CompStr("b", "a"), 1);
    EXPECT_EQ(CompText("ABC", "abc"), 0);
}
