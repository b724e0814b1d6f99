// E-mail addresses and their text forms, checked against Python's email.utils.
#include "CoderOracle.h"
#include "netclient/NetEMailAddress.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(NetEMailAddress, TextFormsBothWays)
{
    struct Case { const char *text, *name, *address, *back; bool python; };
    const Case cases[] = {
        {"John Doe <jdoe@x.org>", "John Doe", "jdoe@x.org", "John Doe <jdoe@x.org>", true},
        {"jdoe@x.org (John Doe)", "John Doe", "jdoe@x.org", "John Doe <jdoe@x.org>", true},
        {"\"John Doe\" <jdoe@x.org>", "John Doe", "jdoe@x.org", "John Doe <jdoe@x.org>", true},
        {"<jdoe@x.org>", "", "jdoe@x.org", "jdoe@x.org", true},
        {"jdoe@x.org", "", "jdoe@x.org", "jdoe@x.org", true},
        {"'Jo' <j@x.org>", "Jo", "j@x.org", "Jo <j@x.org>", false},
        {"\"'Jo'\" <j@x.org>", "Jo", "j@x.org", "Jo <j@x.org>", false},
        {"  Ann  <  a@b.c >", "Ann", "a@b.c", "Ann <a@b.c>", false},
        {" bare@x.org ", "", " bare@x.org ", " bare@x.org ", false},  // a bare address is not trimmed
        {"J@X.ORG <j@x.org>", "J@X.ORG", "j@x.org", "j@x.org", false}, // the name is the address in capitals
        {"broken>", "", "", "", false},
        {"broken)", "", "", "", false},
        {"\"\" <e@x.org>", "", "e@x.org", "e@x.org", false},
    };
    std::string pythonInput, pythonExpected;
    for (const Case &c : cases) {
        TNetEMailAddressItem item;
        item.Name = "old";
        item.SetText(c.text);
        EXPECT_EQ(item.Name, c.name) << c.text;
        EXPECT_EQ(item.Address, c.address) << c.text;
        EXPECT_EQ(item.Text(), c.back) << c.text;
        TNetEMailAddressItem copy;
        copy.Assign(item);
        EXPECT_EQ(copy.Text(), item.Text());
        if (c.python) {
            pythonInput += std::string(c.text) + "\n";
            pythonExpected += std::string(c.name) + "\t" + c.address + "\n";
        }
    }
    EXPECT_EQ(coderoracle::Run("addr", pythonInput), pythonExpected);
}

TEST(NetEMailAddress, ListFromCommaText)
{
    struct Case { const char *text; std::vector<std::string> texts; };
    const Case cases[] = {
        {"", {}},
        {"a@b.c, d@e.f", {"a@b.c", "d@e.f"}},
        {"\"Doe, John\" <j@x.org>, a@b.c", {"Doe, John <j@x.org>", "a@b.c"}},
        {"a@b.c,, ,b@c.d,", {"a@b.c", "b@c.d"}},
        {"\"a\" <a@x>, \"b, c\" <b@x>", {"a <a@x>", "b, c <b@x>"}},
        {"\"x\"\"y, z\" <q@x>", {"\"x\"\"y", "z\" <q@x>"}},  // a third quote opens again... a fourth closes
    };
    for (const Case &c : cases) {
        TNetEMailAddressList list;
        list.Add().Address = "stale@x";
        list.SetEMailAddresses(c.text);
        std::vector<std::string> texts;
        for (int i = 0; i < list.Count(); ++i)
            texts.push_back(list.Items(i).Text());
        EXPECT_EQ(texts, c.texts) << c.text;
    }
    TNetEMailAddressList list;
    EXPECT_THROW(list.Items(0), EListError);
}
