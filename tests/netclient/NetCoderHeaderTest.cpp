// Encoded words in headers (checked with Python's email.header) and the
// Shift_JIS / ISO-2022-JP conversion (checked with Python's codecs).
#include "CoderOracle.h"
#include "netclient/NetCoderHeader.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using coderoracle::Bytes;

namespace {

std::string q(const std::string &s, const std::string &specials = "")
{
    return EncodeHeaderText(s, specials, 'Q', false, "ISO-8859-1");
}

std::string b(const std::string &s)
{
    return EncodeHeaderText(s, "", 'B', false, "ISO-8859-1");
}


} // namespace

TEST(NetCoderHeader, EncodesOnlyTheWordsThatNeedIt)
{
    struct Case { const char *text, *coded; char enc; };
    const Case cases[] = {
        {"Plain ASCII subject", "Plain ASCII subject", 'Q'},
        {"Hello W\xF6rld there", "Hello =?ISO-8859-1?Q?W=F6rld?= there", 'Q'},
        {"Gr\xFC\xDF" "e K\xF6ln", "=?ISO-8859-1?Q?Gr=FC=DFe_K=F6ln?=", 'Q'},
        {"Gr\xFC\xDF" "e aus K\xF6ln", "=?ISO-8859-1?Q?Gr=FC=DFe?= aus =?ISO-8859-1?Q?K=F6ln?=", 'Q'},
        {"a=b? \xE9_x", "a=b? =?ISO-8859-1?Q?=E9=5Fx?=", 'Q'},
        {"tab\x01here", "=?ISO-8859-1?Q?tab=01here?=", 'Q'},
        {"lead \xE9  ", "lead =?ISO-8859-1?Q?=E9?=  ", 'Q'},
        {"Gr\xFC\xDF" "e K\xF6ln", "=?ISO-8859-1?B?R3L832UgS/Zsbg==?=", 'B'},
        {"x \xE9", "x =?ISO-8859-1?B?6Q==?=", 'B'},
        {"", "", 'Q'},
    };
    std::string all;
    for (const Case &c : cases) {
        const std::string coded = c.enc == 'Q' ? q(c.text) : b(c.text);
        EXPECT_EQ(coded, c.coded) << c.text;
        // Python reads each back to the same Latin-1 text ...
        EXPECT_EQ(coderoracle::Run("header", coded), Rtl::Trim(c.text).empty() ? "" : std::string(c.text))
            << c.coded;
        // ... and so do we.
        EXPECT_EQ(DecodeEncodedWords(coded), c.text) << c.coded;
    }
}

TEST(NetCoderHeader, LongRunsSplitBeforeColumn75)
{
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += std::string(i % 5 ? "\xE9t\xE9" : "ann\xE9" "e") + " ";
    text += "end";
    for (const char enc : {'Q', 'B'}) {
        const std::string coded = enc == 'Q' ? q(text) : b(text);
        const std::vector<std::string> lines = coderoracle::LinesOf(coded);
        EXPECT_GT(lines.size(), 3u);
        for (size_t i = 0; i < lines.size(); ++i) {
            EXPECT_LE(lines[i].size(), 76u) << lines[i];
            if (i > 0) {
                EXPECT_EQ(lines[i].substr(0, 16), "\t=?ISO-8859-1?" + std::string(1, enc) + "?");
            }
        }
        EXPECT_EQ(coderoracle::Run("header", coded), text) << enc;
        EXPECT_EQ(DecodeEncodedWords(coded), text) << enc;
    }
}

TEST(NetCoderHeader, DecodesWhatPythonWrites)
{
    for (const std::string &text :
         {std::string("caf\xE9 au lait"), std::string(200, '\xFC'), std::string("mixed \xC4rger and more")}) {
        const std::string coded = coderoracle::Run("hdrenc", text);
        ASSERT_NE(coded.find("=?"), std::string::npos);
        EXPECT_EQ(DecodeEncodedWords(coded), text) << coded;
    }
}

TEST(NetCoderHeader, DecodingRules)
{
    struct Case { const char *coded, *text; };
    const Case cases[] = {
        {"no words here", "no words here"},
        {"=?UTF-8?Q?caf=C3=A9?=", "=?UTF-8?Q?caf=C3=A9?="},                    // not an ISO set: unchanged
        {"Re: =?iso-8859-1?q?caf=e9?= ok", "Re: caf\xE9 ok"},
        {"=?ISO-8859-1?Q?a?= =?ISO-8859-1?Q?b?=", "ab"},                       // blanks between words go
        {"=?ISO-8859-1?Q?a?=\r\n\t=?ISO-8859-1?B?Yg==?=", "ab"},
        {"=?ISO-8859-1?Q?a?= x =?ISO-8859-1?Q?b?=", "a x b"},
        {"=?ISO-8859-1?B?Y*Fi?=", "`\x01" "b"},                                // outside the alphabet counts as 0
        {"=?ISO-8859-1?B?YWJj?= =?UTF-8?B?YWJj?=", "abc =?UTF-8?B?YWJj?="},
        {"=?ISO-8859-1?Q?open", "=?ISO-8859-1?Q?open"},                          // no end: left alone
        {"=?ISO-2022-JP?B?GyRCJEskWyRzGyhC?=", "\x82\xC9\x82\xD9\x82\xF1"},    // "nihon" in hiragana
    };
    for (const Case &c : cases)
        EXPECT_EQ(DecodeEncodedWords(c.coded), c.text) << c.coded;
    EXPECT_THROW(DecodeEncodedWords("=?ISO-8859-1?Q?bad=G1?="), EConvertError);
}

TEST(NetCoderHeader, AddressesAndLists)
{
    TNetEMailAddressList list;
    list.Add().Address = "plain@x.org";
    TNetEMailAddressItem &quoted = list.Add();
    quoted.Name = "Doe, \"J\" \\ co";
    quoted.Address = "jd@x.org";
    TNetEMailAddressItem &accented = list.Add();
    accented.Name = "M\xFCller, Hans";
    accented.Address = "hm@x.de";
    EXPECT_EQ(EncodeAddressText(list.Items(0), 'Q', false, "ISO-8859-1"), "plain@x.org");
    EXPECT_EQ(EncodeAddressText(quoted, 'Q', false, "ISO-8859-1"), "\"Doe, \\\"J\\\" \\\\ co\" <jd@x.org>");
    // Non-ASCII names are encoded, their specials too.
    EXPECT_EQ(EncodeAddressText(accented, 'Q', false, "ISO-8859-1"), "=?ISO-8859-1?Q?M=FCller=2C?= Hans <hm@x.de>");
    const std::string joined = EncodeAddressListText(list, 'Q', false, "ISO-8859-1");
    EXPECT_EQ(joined, "plain@x.org, \"Doe, \\\"J\\\" \\\\ co\" <jd@x.org>, =?ISO-8859-1?Q?M=FCller=2C?= Hans <hm@x.de>");
    EXPECT_EQ(coderoracle::Run("addr", EncodeAddressText(quoted, 'Q', false, "ISO-8859-1") + "\n"),
              "Doe, \"J\" \\ co\tjd@x.org\n");
    EXPECT_EQ(EncodeAddressListText(TNetEMailAddressList(), 'Q', false, "ISO-8859-1"), "");
}

TEST(NetCoderHeader, SettingsFollowTheLocale)
{
    struct Case { int set; bool jis; char enc; const char *charSet; };
    const Case cases[] = {{0, false, 'B', "GB2312"}, {1, false, 'B', "Big5"}, {2, true, 'B', "ISO-2022-JP"},
                          {3, false, 'B', "EUC-KR"}, {4, false, 'Q', "ISO-8859-1"}};
    for (const Case &c : cases) {
        const TMimeSettings s = MimeSettingsForCharSet(c.set);
        EXPECT_EQ(s.JisMode, c.jis);
        EXPECT_EQ(s.HeaderEncoding, c.enc);
        EXPECT_EQ(s.CharSet, c.charSet);
    }
    const char *old = std::getenv("LC_ALL");
    const std::string saved = old ? old : "";
    setenv("LC_ALL", "ja_JP.SJIS", 1);
    EXPECT_EQ(MimeSettingsFromLocale().CharSet, "ISO-2022-JP");
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    EXPECT_EQ(MimeSettingsFromLocale().CharSet, "ISO-8859-1");
    if (old)
        setenv("LC_ALL", saved.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

TEST(NetCoderHeader, ShiftJisAndJisMatchPythonCodecs)
{
    // Every two-byte character of JIS X 0208, with ASCII between runs.
    const std::string all = coderoracle::Run("sjisall", "");
    ASSERT_GT(all.size(), 10000u);
    std::string sjis;
    for (size_t i = 0; i < all.size(); i += 2)
        sjis += all.substr(i, 2) + (i % 50 == 0 ? "ab" : "");
    const std::string jis = ShiftJisToJis(sjis);
    EXPECT_TRUE(jis == coderoracle::Run("sjis2jis", sjis));
    EXPECT_TRUE(JisToShiftJis(jis) == sjis);
    EXPECT_TRUE(JisToShiftJis(jis) == coderoracle::Run("jis2sjis", jis));

    // Half-width katakana become full-width, voiced marks joined where possible.
    std::string kana;
    for (int c = 0xA1; c <= 0xDF; ++c)
        kana += char(c);
    kana += "\xB6\xDE\xCA\xDF\xB3\xDE\xB1\xDE x";  // ga, pa, vu, a + a lone voiced mark
    EXPECT_EQ(ShiftJisToJis(kana), coderoracle::Run("kana2jis", kana));

    // Japanese settings: the subject goes to ISO-2022-JP before B coding.
    const std::string subject = "\x93\xFA\x96\x7B test";  // "nihon" in kanji
    const std::string coded = EncodeHeaderText(subject, "", 'B', true, "ISO-2022-JP");
    EXPECT_EQ(coded, "=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?= test");
    EXPECT_EQ(DecodeEncodedWords(coded), subject);
    EXPECT_EQ(JisToShiftJis("\x1b$BF|K\\\x1b(Bx\x1b$BF"), "\x93\xFA\x96\x7Bx");  // a lone last byte is dropped
}
