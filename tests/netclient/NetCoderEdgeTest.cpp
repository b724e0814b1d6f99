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
