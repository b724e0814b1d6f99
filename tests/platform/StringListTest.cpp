#include "platform/Classes.h"
#include "platform/SysUtils.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

TEST(TStringList, TextSplitsEveryLineEndAndJoinsWithCrLf)
{
    struct { const char *text; std::vector<std::string> lines; } cases[] = {
        {"a\r\nb\r\n", {"a", "b"}}, {"a\nb", {"a", "b"}}, {"a\rb\r", {"a", "b"}},
        {"a\r\n\r\nb", {"a", "", "b"}}, {"", {}}, {"\n", {""}}, {"a\n\rb", {"a", "", "b"}},
    };
    for (auto &c : cases) {
        TStringList l;
        l.SetText(c.text);
        EXPECT_EQ(l.ToVector(), c.lines) << c.text;
    }
    TStringList l;
    l.Add("x");
    l.Add("y");
    EXPECT_EQ(l.Text(), "x\r\ny\r\n");
}

TEST(TStringList, CommaTextQuotesWhatNeedsIt)
{
    TStringList l;
    l.SetCommaText("a, \"b c\",\"d\"\"e\",,f");
    EXPECT_EQ(l.ToVector(), (std::vector<std::string>{"a", "b c", "d\"e", "", "f"}));
    EXPECT_EQ(l.CommaText(), "a,\"b c\",\"d\"\"e\",,f");
    l.SetCommaText("a b");  // an unquoted blank separates too
    EXPECT_EQ(l.ToVector(), (std::vector<std::string>{"a", "b"}));
}

TEST(TStringList, ValuesIndexOfAndSorting)
{
    TStringList l;
    l.Add("Artist=Foo");
    l.Add("title=Bar=Baz");
    EXPECT_EQ(l.Values("ARTIST"), "Foo");
    EXPECT_EQ(l.Values("title"), "Bar=Baz");
    EXPECT_EQ(l.Values("none"), "");
    l.SetValue("artist", "");
    EXPECT_EQ(l.Count(), 1);
    EXPECT_EQ(l.IndexOf("TITLE=BAR=BAZ"), 0);
    EXPECT_THROW(l[5], EListError);

    TStringList s;
    s.SetSorted(true);
    for (const char *w : {"pear", "Apple", "banana", "cherry"})
        s.Add(w);
    EXPECT_EQ(s.ToVector(), (std::vector<std::string>{"Apple", "banana", "cherry", "pear"}));
    int idx;
    EXPECT_TRUE(s.Find("BANANA", idx));
    EXPECT_EQ(idx, 1);
    s.Duplicates = TStringList::dupIgnore;
    EXPECT_EQ(s.Add("Pear"), 3);
    EXPECT_EQ(s.Count(), 4);
}

TEST(TStringList, FilesAreReadWholeAndWrittenAtomically)
{
    testutil::TempDir dir;
    TStringList l;
    l.Add("one");
    l.Add("two");
    l.SaveToFile(dir.file("l.txt"));
    EXPECT_EQ(testutil::readFile(dir.file("l.txt")), "one\r\ntwo\r\n");
    TStringList r;
    r.LoadFromFile(dir.file("l.txt"));
    EXPECT_EQ(r.ToVector(), l.ToVector());
    try {
        r.LoadFromFile(dir.file("missing.txt"));
        FAIL();
    } catch (const EFOpenError &e) {
        EXPECT_EQ(e.Message, "Cannot open file " + dir.file("missing.txt"));
    }
}
