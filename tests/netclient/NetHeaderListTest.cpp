// Header lines: names, unfolding on read and folding at 78 columns on write.
#include "netclient/NetHeaderList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(NetHeaderList, NamesAndValues)
{
    TNetHeaderList h;
    h.Add("Content-Type: text/plain");
    h.Add("X-Long: first ");
    h.Add("\tsecond");
    h.Add("   third");
    h.Add("");
    h.Add(" not a continuation after the empty line");
    h.Add("no colon here");
    EXPECT_EQ(h.GetName(0), "CONTENT-TYPE");
    EXPECT_EQ(h.GetName(6), "");
    EXPECT_EQ(h.IndexOfName("content-type"), 0);
    EXPECT_EQ(h.IndexOfName("x-missing"), -1);
    EXPECT_EQ(h.Values("Content-Type"), "text/plain");
    EXPECT_EQ(h.Values("x-long"), "first second third");  // no blank added after a blank
    EXPECT_EQ(h.Values("Missing"), "");
    h.Unfold = false;
    EXPECT_EQ(h.Values("x-long"), "first ");
    h.NamesCaseSensitive = true;
    EXPECT_EQ(h.GetName(0), "Content-Type");
}

TEST(NetHeaderList, SettingReplacesAppendsAndRemoves)
{
    TNetHeaderList h;
    h.SetValue("X-Mailer", "one");
    h.SetValue("Subject", "hi");
    h.SetValue("x-mailer", "two");
    EXPECT_EQ(h.ToVector(), (std::vector<std::string>{"x-mailer: two", "Subject: hi"}));
    h.SetValue("Missing", "");
    EXPECT_EQ(h.Count(), 2);
    h.Insert(1, " continued");
    h.SetValue("X-Mailer", "");  // removes the line and its continuation
    EXPECT_EQ(h.ToVector(), (std::vector<std::string>{"Subject: hi"}));
    h.Fold = false;
    const std::string longValue(100, 'v');
    h.SetValue("Subject", longValue + " " + longValue);
    EXPECT_EQ(h.Count(), 1);
}

TEST(NetHeaderList, LongValuesFoldAndReadBack)
{
    // Addresses separated by ", ": folded at the last blank within 78 columns.
    std::string to;
    for (int i = 0; to.size() < 100; ++i)
        to += (i ? ", " : "") + std::string("person") + std::to_string(i) + "@example.org";
    TNetHeaderList h;
    h.SetValue("To", to);
    h.SetValue("X-After", "kept");
    ASSERT_GE(h.Count(), 3);
    EXPECT_LE(h[0].size(), 78u);
    EXPECT_GT(h[0].size() + h[1].find_first_not_of(' ') + h[1].find(',') + 1, 78u);  // as full as it may be
    EXPECT_EQ(h[1][0], ' ');
    EXPECT_NE(h[1][1], ' ');
    EXPECT_EQ(h.Values("to"), to);
    EXPECT_EQ(h.Values("X-After"), "kept");

    // Replacing a folded value drops its old continuation lines.
    h.SetValue("To", "short@x.org");
    EXPECT_EQ(h.ToVector(), (std::vector<std::string>{"To: short@x.org", "X-After: kept"}));

    // Many lengths and word sizes: every line within 78 columns, same value back.
    for (int words = 1; words < 60; words += 3) {
        std::string value;
        for (int w = 0; w < words; ++w)
            value += (w ? " " : "") + std::string(size_t(1 + (w * 7) % 23), char('a' + w % 26));
        TNetHeaderList l;
        l.SetValue("Subject", value);
        for (int i = 0; i < l.Count(); ++i)
            EXPECT_LE(l[i].size(), 78u) << value;
        EXPECT_EQ(l.Values("Subject"), value);
    }
}

TEST(NetHeaderList, QuotesAndOverlongWords)
{
    // A blank inside double quotes is no fold point.
    const std::string quoted = "\"" + std::string(40, 'q') + " " + std::string(40, 'r') + "\" <a@b.c>";
    TNetHeaderList h;
    h.SetValue("From", quoted);
    ASSERT_EQ(h.Count(), 3);
    EXPECT_EQ(h[0], "From:");
    EXPECT_EQ(h[1], " " + quoted.substr(0, 83));  // the quoted name stays whole
    EXPECT_EQ(h[2], " <a@b.c>");
    EXPECT_EQ(h.Values("From"), quoted);

    // One word longer than the line: moved whole to a continuation line.
    const std::string word(90, 'w');
    TNetHeaderList w;
    w.SetValue("Subject", word);
    EXPECT_EQ(w.ToVector(), (std::vector<std::string>{"Subject:", " " + word}));
    EXPECT_EQ(w.Values("Subject"), word);

    // A break whose rest is one character adds no break.
    EXPECT_EQ(WrapText(std::string(10, 'a') + " b", "\r\n ", " \t", 10), std::string(10, 'a') + " b");
    EXPECT_EQ(WrapText("", "\r\n ", " ", 10), "");
}

TEST(NetHeaderList, LineBreaksInValuesNeverLeaveTheirLine)
{
    // Folded or not, a value's own CR and LF become blanks: the list holds
    // its header line and continuations only, and the value reads back on
    // one line.
    const struct {
        std::string value, reads;
    } cases[] = {
        {"Evil\r\n\r\nBody <a@x.test>", "Evil Body <a@x.test>"},
        {"a\rBcc: evil@x.test", "a Bcc: evil@x.test"},
        {"a\nb", "a b"},
        {"\r\nleading", "leading"},
        {"\"Quoted\r\nname\" <q@x.test>", "\"Quoted name\" <q@x.test>"},
        {std::string(70, 'w') + " " + std::string(20, 'x') + "\r\n\r\nTail: 1", std::string(70, 'w') + " " +
                                                                              std::string(20, 'x') + " Tail: 1"},
    };
    for (const auto &c : cases)
        for (const bool fold : {true, false}) {
            SCOPED_TRACE(c.value + (fold ? " folded" : ""));
            TNetHeaderList h;
            h.Fold = fold;
            h.SetValue("From", c.value);
            h.SetValue("X-After", "kept");
            EXPECT_EQ(h.Values("From"), c.reads);
            EXPECT_EQ(h.Values("X-After"), "kept");
            for (int i = 0; i < h.Count(); ++i) {
                EXPECT_EQ(h[i].find_first_of("\r\n"), std::string::npos) << h[i];
                EXPECT_TRUE(h.GetName(i) == "FROM" || h.GetName(i) == "X-AFTER" || h[i][0] == ' ') << h[i];
            }
        }
}

TEST(NetHeaderList, HeaderBlockLinesAsWritten)
{
    // Each entry one line; what has no name of its own continues the line
    // before; entries of blanks alone are left out.
    const struct {
        std::vector<std::string> entries, lines;
    } cases[] = {
        {{"X-A: 1", "X-B: 2"}, {"X-A: 1", "X-B: 2"}},
        {{"X-A: a\r\n\r\nX-Injected: b"}, {"X-A: a X-Injected: b"}},
        {{"X-A: a", "Body <a@x.test>"}, {"X-A: a", " Body <a@x.test>"}},
        {{"X-A: a", "\tfolded"}, {"X-A: a", "\tfolded"}},
        {{"X-A: a", "", "  ", "\r\n", "X-B: b"}, {"X-A: a", "X-B: b"}},
        {{"X-A: a", "Bad name: v", ": no name"}, {"X-A: a", " Bad name: v", " : no name"}},
    };
    for (const auto &c : cases) {
        TStringList list;
        for (const std::string &e : c.entries)
            list.Add(e);
        EXPECT_EQ(HeaderBlockLines(list), c.lines) << c.entries[0];
    }
}
