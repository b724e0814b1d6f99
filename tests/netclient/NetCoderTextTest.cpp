// Quoted-printable coders (checked with Python's quopri) and the decoder of
// whole MIME messages.
#include "CoderOracle.h"
#include "netclient/NetCoder3To4.h"
#include "netclient/NetCoderIMF.h"
#include "netclient/NetCoderText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using coderoracle::Bytes;

namespace {

std::string qpEncode(const std::string &s, int blockSize = 4096)
{
    TNetQuotedPrintableEncoder e;
    e.SetBlockSize(blockSize);
    e.CompleteOnCode = true;
    const std::string r = e.CodeString(s);
    return r.empty() ? r : r.substr(2);
}

std::string qpDecode(const std::string &s, int blockSize = 4096)
{
    TNetQuotedPrintableDecoder d;
    d.SetBlockSize(blockSize);
    d.CompleteOnCode = true;
    const std::string r = d.CodeString(s);
    return r.empty() ? r : r.substr(2);
}


} // namespace

TEST(NetCoderQP, EncoderExamples)
{
    struct Case { std::string plain, coded; };
    const std::vector<Case> cases = {
        {"a=b\r\n", "a=3Db\r\n"},
        {"ends with blank \r\n", "ends with blank=20\r\n"},
        {"tab\t\r\nnext", "tab=09\r\nnext"},
        {"last blank ", "last blank=20"},
        {"caf\xE9 \x01", "caf=E9 =01"},
        {"!\"#$@[\\]^`{|}~ ok", "=21=22=23=24=40=5B=5C=5D=5E=60=7B=7C=7D=7E ok"},
        {"lone\rCR and\nLF", "lone=0DCR and=0ALF"},
        {"", ""},
        {std::string(100, 'x'), std::string(75, 'x') + "=\r\n" + std::string(25, 'x')},
    };
    for (const Case &c : cases)
        EXPECT_EQ(qpEncode(c.plain), c.coded) << c.plain;
}

TEST(NetCoderQP, SoftBreaksNeverSplitAnEscape)
{
    // An escape right at the cut moves whole to the next line.
    for (int lead = 70; lead <= 76; ++lead) {
        const std::string plain = std::string(size_t(lead), 'a') + "\xE9\xE9\xE9" + std::string(80, 'b');
        const std::string coded = qpEncode(plain);
        for (const std::string &line : coderoracle::LinesOf(coded)) {
            EXPECT_LE(line.size(), 76u) << lead;
            const size_t eq = line.find_last_of('=');
            if (eq != std::string::npos && eq + 1 != line.size()) {
                EXPECT_GE(line.size() - eq, 3u) << "split escape in " << line;
            }
        }
        EXPECT_EQ(qpDecode(coded), plain) << lead;
    }
}

TEST(NetCoderQP, PythonDecodesOurOutput)
{
    // Random bytes with line breaks; small blocks put CR LF and escapes
    // across block ends.
    std::string text;
    const std::string noise = Bytes(6000, 11);
    for (size_t i = 0; i < noise.size(); ++i) {
        text += noise[i];
        if (i % 97 == 40)
            text += "\r\n";
        if (i % 131 == 7)
            text += "  \r\n";
    }
    for (const int block : {4096, 61, 7}) {
        const std::string coded = qpEncode(text, block);
        for (const std::string &line : coderoracle::LinesOf(coded)) {
            ASSERT_LE(line.size(), 76u);
            ASSERT_TRUE(line.empty() || (line.back() != ' ' && line.back() != '\t'));
            for (const char c : line)
                ASSERT_TRUE((c >= 33 && c <= 126 && c != '!' && c != '~') || c == ' ' || c == '\t') << int(c);
        }
        EXPECT_TRUE(coderoracle::Run("qpdec", coded) == text) << block;
        EXPECT_TRUE(qpDecode(coded, block) == text) << block;
    }
}

TEST(NetCoderQP, DecoderExamples)
{
    struct Case { const char *coded, *plain; };
    const Case cases[] = {
        {"a=3Db", "a=b"},       {"=0D=0A", "\r\n"},     {"soft=\r\nbreak", "softbreak"},
        {"lf=\nbreak", "lfbreak"}, {"=xy=", "=xy"},     {"low=e9", "low\xE9"},
        {"cut=4", "cut4"},      {"a=\r", "a\r"},        {"", ""},
        // an escape that is not one, where the next one starts
        {"==41", "==41"},       {"x=4=41", "x=4=41"},   {"=\r\r\n", "=\r\r\n"},
        {"=\n=41", "A"},
        // long runs of plain text around escapes
        {"ppppppppppppppppppppppppppppppppppppppppp=41qqqqqqqqqqqqqqqqqqqq=\r\n=42",
         "pppppppppppppppppppppppppppppppppppppppppAqqqqqqqqqqqqqqqqqqqqB"},
    };
    for (const Case &c : cases)
        for (const int block : {4096, 1, 2, 3, 17})
            EXPECT_EQ(qpDecode(c.coded, block), c.plain) << c.coded << " block " << block;
}

namespace {

const char *const kMessage =
    "From: a@b.c\r\n"
    "Subject: test\r\n"
    "MIME-Version: 1.0\r\n"
    "Content-Type: multipart/mixed;\r\n"
    "\tboundary=\"XYZ\"\r\n"
    "\r\n"
    "preamble\r\n"
    "--XYZ\r\n"
    "Content-Type: text/plain\r\n"
    "Content-Transfer-Encoding: quoted-printable\r\n"
    "\r\n"
    "caf=E9 =3D soft=\r\n"
    "break\r\n"
    "--XYZ\r\n"
    "Content-Transfer-Encoding: base64\r\n"
    "Content-Type: application/octet-stream; name=\"f.bin\"\r\n"
    "Content-Disposition: attachment; filename=\"f.bin\"\r\n"
    "\r\n"
    "AAEC\r\n"
    "Aw==\r\n"
    "--XYZ--\r\n";

struct Decoded {
    std::string data;
    std::vector<std::string> notes;
};

Decoded decodeMessage(const std::string &text, int blockSize)
{
    TNetIMFDecoder d;
    d.SetBlockSize(blockSize);
    d.DeliverByEvent = true;
    Decoded r;
    d.OnCodedOutput = [&](TNetCoder *, const std::string &t) { r.data += t; };
    d.OnCodedNotification = [&](TNetCoder *, int n, const std::string &t) {
        r.notes.push_back(std::to_string(n) + ";" + t);
    };
    d.CompleteOnCode = true;
    d.CodeString(text);
    return r;
}

} // namespace

TEST(NetCoderIMF, MultipartMessageInAnyBlockSize)
{
    const std::vector<std::string> notes = {
        "23;From: a@b.c",
        "23;Subject: test",
        "23;MIME-Version: 1.0",
        "23;Content-Type: multipart/mixed; boundary=\"XYZ\"",
        "21;",
        "24;XYZ",
        "23;Content-Type: text/plain",
        "23;Content-Transfer-Encoding: quoted-printable",
        "21;",
        "24;XYZ",
        "23;Content-Transfer-Encoding: base64",
        "23;Content-Type: application/octet-stream; name=\"f.bin\"",
        "5;f.bin",
        "23;Content-Disposition: attachment; filename=\"f.bin\"",
        "5;f.bin",
        "21;",
        "24;XYZ",
        "25;",
        "26;",
    };
    const std::string data = std::string(
        "From: a@b.c\r\nSubject: test\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed;\r\n"
        "\tboundary=\"XYZ\"\r\n\r\n"
        "preamble"
        "\r\n--XYZ\r\n"
        "Content-Type: text/plain\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
        "caf\xE9 = softbreak"
        "\r\n--XYZ\r\n"
        "Content-Transfer-Encoding: base64\r\nContent-Type: application/octet-stream; name=\"f.bin\"\r\n"
        "Content-Disposition: attachment; filename=\"f.bin\"\r\n\r\n")
        + std::string("\0\1\2\3", 4) + "\r\n--XYZ--\r\n";
    // Boundaries, line ends and escapes cut by block ends change nothing.
    for (const int block : {4096, 64, 7, 3, 1}) {
        const Decoded r = decodeMessage(kMessage, block);
        EXPECT_EQ(r.notes, notes) << block;
        EXPECT_EQ(r.data, data) << block;
    }
    TNetIMFDecoder d;
    d.CompleteOnCode = true;
    d.DeliverByEvent = true;
    d.CodeString(kMessage);
    EXPECT_EQ(d.MessageContentType(), "multipart/mixed; boundary=\"XYZ\"");
    EXPECT_EQ(d.MessageTransferEncoding(), "8bit");
    EXPECT_EQ(d.CodedFileName, "f.bin");
    ASSERT_EQ(d.Boundaries().Count(), 1);
    EXPECT_EQ(d.Boundaries()[0], "XYZ");
}

TEST(NetCoderIMF, SinglePartBodiesAndUnfinishedInput)
{
    // A plain message passes through whole; headers with LF alone are read too.
    const Decoded plain = decodeMessage("Subject: hi\nX-A: 1\n\nbody line\r\nmore", 4096);
    EXPECT_EQ(plain.data, "Subject: hi\nX-A: 1\n\r\nbody line\r\nmore");
    EXPECT_EQ(plain.notes, (std::vector<std::string>{"23;Subject: hi", "23;X-A: 1", "21;", "26;"}));

    // A base64 message body is decoded; the message's own encoding is kept.
    TNetIMFDecoder d;
    d.DeliverByEvent = true;
    std::string data;
    d.OnCodedOutput = [&](TNetCoder *, const std::string &t) { data += t; };
    d.CompleteOnCode = true;
    d.CodeString("Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\naGVsbG8=\r\n");
    EXPECT_EQ(data, "Content-Type: text/plain\r\nContent-Transfer-Encoding: base64\r\n\r\nhello");
    EXPECT_EQ(d.MessageTransferEncoding(), "base64");

    // Headers without their empty line are passed on when the input ends;
    // the unfinished last line only as data.
    const Decoded cut = decodeMessage("Subject: cut\r\nTo: x", 4096);
    EXPECT_EQ(cut.data, "Subject: cut\r\nTo: x");
    EXPECT_EQ(cut.notes, (std::vector<std::string>{"23;Subject: cut", "26;"}));
}
