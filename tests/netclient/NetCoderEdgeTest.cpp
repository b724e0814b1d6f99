// The three-to-four decoders where the text is short of or past its groups:
// a UU line with fewer characters than its length character announces, and
// Base64 data after the padding.
#include "netclient/NetCoder3To4.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string uuDecode(const std::string &dataLine)
{
    TNetUUDecoder d;
    d.DeliverByEvent = true;
    std::string out;
    d.OnCodedOutput = [&](TNetCoder *, const std::string &t) { out += t; };
    d.CodeString("begin 644 x.bin\n" + dataLine + "\n`\nend\n");
    d.CompletedInput();
    return out;
}

} // namespace

// "#" announces three bytes; "86(`" codes "ab" and a zero byte. Missing
// characters count as zero bits.
TEST(NetCoderEdge, AShortUULineCountsMissingCharactersAsZeroBits)
{
    struct Case {
        const char *line;
        std::string bytes;
    };
    const Case cases[] = {
        {"#86(`", std::string("ab\0", 3)},
        {"#86(", std::string("ab\0", 3)},
        {"#86", std::string("a`\0", 3)},
        {"#8", std::string("`\0\0", 3)},
        {"#", std::string(3, '\0')},
        {"&86)C", std::string("abc\0\0\0", 6)},   // a whole group missing
    };
    for (const Case &c : cases)
        EXPECT_EQ(uuDecode(c.line), c.bytes) << c.line;
}

// A line longer than 64 KiB keeps its first 64 KiB only; the lines after it
// decode as ever, whether the text comes whole or in pieces that cut the
// long line anywhere (at its cap and at its CR among them).
TEST(NetCoderEdge, AnOverlongUULineIsCutAndTheNextLinesDecode)
{
    // "#86)C" codes "abc"; the long lines' tails are characters of the
    // table. The second is 64 KiB exactly: its CR is the first byte cut.
    const std::string longLine = "#86)C" + std::string(70000, 'M');
    const std::string capLine = "#86)C" + std::string(65536 - 5, 'M');
    const std::string text =
        "begin 644 x.bin\r\n" + longLine + "\r\n" + capLine + "\r\n#86)C\r\n`\r\nend\r\n";
    for (const size_t piece : {size_t(1) << 20, size_t(4096), size_t(65536), size_t(65537), size_t(7)}) {
        TNetUUDecoder d;
        d.DeliverByEvent = true;
        std::string out;
        d.OnCodedOutput = [&](TNetCoder *, const std::string &t) { out += t; };
        for (size_t at = 0; at < text.size(); at += piece)
            d.CodeString(text.substr(at, piece));
        d.CompletedInput();
        EXPECT_EQ(out, "abcabcabc") << "pieces of " << piece;
        EXPECT_EQ(d.Errors.Count(), 0) << "pieces of " << piece;
    }
}

TEST(NetCoderEdge, Base64DataAfterThePaddingIsRefused)
{
    for (const char *text : {"Zm9v=Zm9v", "Zm9v=\r\nZm9vYmFy", "Zg==Zm9vYmFy", "Zm9vYg==\r\nZm9v", "Zm8=YmFyYmF6"}) {
        for (size_t piece : {size_t(1), size_t(5), size_t(100)}) {
            TNetBase64Decoder d;
            const std::string s = text;
            EXPECT_THROW(
                {
                    for (size_t at = 0; at < s.size(); at += piece)
                        d.CodeString(s.substr(at, piece));
                    d.CompletedInput();
                },
                ENetTableNotFound)
                << text << " in pieces of " << piece;
        }
    }
}
