// The coder framework, the registry and the Base64, UU and XX coders, checked
// against Python's base64/binascii and sharutils' uuencode/uudecode.
#include "CoderOracle.h"
#include "common/TestUtil.h"
#include "netclient/NetCoder.h"
#include "netclient/NetCoder3To4.h"
#include "netclient/NetCoderText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using coderoracle::Bytes;

namespace {

std::string encode64(const std::string &s)
{
    TNetBase64Encoder e;
    e.CompleteOnCode = true;
    return e.CodeString(s);
}

std::string decode64(const std::string &s)
{
    TNetBase64Decoder d;
    d.CompleteOnCode = true;
    return d.CodeString(s);
}

// Feeds text in pieces of the given sizes (cycled), then completes.
std::string codeInPieces(TNetCoder &c, const std::string &text, const std::vector<size_t> &sizes)
{
    std::string out;
    size_t at = 0, k = 0;
    auto take = [&](std::string r) {
        if (r.size() > 2)
            out += r.substr(2);
    };
    while (at < text.size()) {
        const size_t n = std::min(sizes[k++ % sizes.size()], text.size() - at);
        take(c.CodeString(text.substr(at, n)));
        at += n;
    }
    take(c.CompletedInput());
    return out;
}

std::string crlfEvery(const std::string &s, size_t n, const char *lineEnd = "\r\n")
{
    std::string out;
    for (size_t i = 0; i < s.size(); i += n)
        out += s.substr(i, n) + lineEnd;
    return out;
}

// The texts of every coded-data entry left in the coder, joined (notifications skipped).
std::string drainText(TNetCoder &c)
{
    c.DropNotifications = true;
    std::string text;
    while (!c.Entries().empty())
        text += c.GetCodedText();
    return text;
}

int shell(const std::string &cmd)
{
    const int rc = std::system(cmd.c_str());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

} // namespace

TEST(NetCoderBase64, StandardExamplesBothWays)
{
    struct Case { const char *plain, *coded; };
    const Case cases[] = {
        {"f", "Zg=="},           {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},    {"fooba", "Zm9vYmE="},  {"foobar", "Zm9vYmFy"},
        {"user:secret", "dXNlcjpzZWNyZXQ="},
        {"\xff\xfe\x00", "//4A"},
    };
    for (const Case &c : cases) {
        const std::string plain(c.plain, c.plain[0] == '\xff' ? 3 : std::char_traits<char>::length(c.plain));
        EXPECT_EQ(encode64(plain), std::string("0;") + c.coded) << c.coded;
        EXPECT_EQ(decode64(c.coded), "0;" + plain) << c.coded;
        EXPECT_EQ(Base64Encode(plain), c.coded);
        EXPECT_EQ(Base64Decode(c.coded), plain);
    }
    EXPECT_EQ(encode64(""), "");
    EXPECT_EQ(decode64(""), "");
    EXPECT_EQ(Base64Encode(""), "");
    EXPECT_EQ(Base64Decode(""), "");
}

TEST(NetCoderBase64, DecoderSkipsLineBreaksAndDropsPadding)
{
    EXPECT_EQ(decode64("Zm9v\r\nYmFy"), "0;foobar");
    EXPECT_EQ(decode64("Zm\n9vY\rmE="), "0;fooba");
    EXPECT_EQ(decode64("Zm9vYg==\r\n"), "0;foob");
    EXPECT_EQ(decode64("Zm9vYg"), "0;foob");      // padding may be missing
    EXPECT_EQ(decode64("Zm8=\r\n="), "0;fo");     // more padding after a line break
    EXPECT_EQ(decode64("Zg"), "0;f");
    EXPECT_EQ(decode64("Zm9vY"), "0;foo`");       // one character: its six bits at the top
}

TEST(NetCoderBase64, InvalidTextRaisesTableEntryNotFound)
{
    for (const char *bad : {"Zm9v*", "Zm 9v", "Zm9v\tYmFy", "Zg==Zm9v", "Z=g=", "-_-_", "Zm9v\x80"}) {
        try {
            decode64(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const ENetTableNotFound &e) {
            EXPECT_EQ(e.Message, "Coding table entry not found.");
            EXPECT_STREQ(e.ClassName(), "ENetTableNotFound");
        }
    }
    EXPECT_THROW(Base64Decode("abc!"), ENetException);
}

TEST(NetCoderBase64, CodeStringTwiceGivesTheSameResult)
{
    // The options window keeps one encoder and one decoder for every save and load.
    TNetBase64Encoder e;
    TNetBase64Decoder d;
    e.CompleteOnCode = d.CompleteOnCode = true;
    for (int round = 0; round < 3; ++round) {
        EXPECT_EQ(e.CodeString("secret"), "0;c2VjcmV0");
        EXPECT_EQ(e.CodeString("pw"), "0;cHc=");
        EXPECT_EQ(d.CodeString("c2VjcmV0"), "0;secret");
        EXPECT_EQ(d.CodeString("cHc="), "0;pw");
        // A text that is not Base64 leaves nothing behind for the next call.
        EXPECT_THROW(d.CodeString("cH*c"), ENetTableNotFound);
        EXPECT_EQ(d.CodeString("cHc="), "0;pw");
    }
    EXPECT_TRUE(e.Entries().empty());
}

TEST(NetCoderBase64, LongInputsMatchPythonAcrossBlocks)
{
    // The block of 4096 bytes is no multiple of three: the bytes left over
    // must begin the next block, or every output after the first is garbled.
    for (const size_t n : {4095u, 4096u, 4097u, 8192u, 12289u, 100000u}) {
        const std::string data = Bytes(n, unsigned(n));
        const std::string expected = coderoracle::Run("b64enc", data);
        ASSERT_EQ(encode64(data), "0;" + expected) << n;
        EXPECT_EQ(Base64Encode(data), expected) << n;
        TNetBase64Encoder e;
        EXPECT_EQ(codeInPieces(e, data, {1, 4095, 7, 5000, 3}), expected) << n;
        // Decoding: whole, in pieces, and with line breaks of each kind.
        EXPECT_EQ(Base64Decode(expected), data) << n;
        TNetBase64Decoder d;
        EXPECT_EQ(codeInPieces(d, crlfEvery(expected, 76), {4096, 1, 77, 9999}), data) << n;
        EXPECT_EQ(Base64Decode(crlfEvery(expected, 64, "\n")), data) << n;
        EXPECT_EQ(coderoracle::Run("b64dec", crlfEvery(expected, 76)), data) << n;
    }
}

// The encoder reads its input eight bytes at a time; it must never read a
// byte past the input's end. Each input here ends at the end of a readable
// page with an unreadable one after it (any build faults on a read past
// it), and again at the end of a block of exactly the input's size
// (AddressSanitizer flags a read past that).
TEST(NetCoderBase64, InputsEndingAtAPageOrBlockEndAreNotReadPast)
{
    struct Groups : TNetBase64Encoder {
        using TNetBase64Encoder::EncodeGroups;
    };
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    auto *map = static_cast<unsigned char *>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(map, MAP_FAILED);
    ASSERT_EQ(mprotect(map + page, page, PROT_NONE), 0);
    const Groups coder;
    for (size_t n = 0; n <= 100; ++n) {
        const std::string data = Bytes(n, unsigned(n) + 5);
        // What a whole Base64 text holds, with the coder's zero bytes for "=".
        std::string expected = Base64Encode(data);
        for (char &c : expected)
            if (c == '=')
                c = 'A';
        unsigned char *at = map + page - n;
        std::memcpy(at, data.data(), n);
        std::string out;
        coder.EncodeGroups(at, n, out);
        EXPECT_EQ(out, expected) << n;
        const auto tight = std::make_unique<unsigned char[]>(n);
        std::memcpy(tight.get(), data.data(), n);
        out.clear();
        coder.EncodeGroups(tight.get(), n, out);
        EXPECT_EQ(out, expected) << n;
    }
    munmap(map, 2 * page);
}

// CodeWhole gives the coded data a coder puts in its entry list, joined,
// whatever room it is told to make (none, too little, a MiB and more).
TEST(NetCoder, CodeWholeGathersTheCodedDataOfAnyCoder)
{
    const std::string data = Bytes(1536 * 1024, 8);
    const std::string base64 = Base64Encode(data);
    using Make = std::function<std::unique_ptr<TNetCoder>()>;
    const std::pair<Make, std::string> coders[] = {
        {[] { return std::make_unique<TNetQuotedPrintableEncoder>(); }, data},
        {[] { return std::make_unique<TNetUUEncoder>(); }, data},
        {[] { return std::make_unique<TNetBase64Decoder>(); }, base64},
    };
    for (const auto &[make, input] : coders) {
        auto listed = make();
        listed->CompleteOnCode = true;
        const std::string first = listed->CodeString(input);  // the first run of entries, joined
        ASSERT_EQ(first.substr(0, 2), "0;");
        const std::string expected = first.substr(2) + drainText(*listed);
        for (const size_t room : {size_t(0), size_t(1000), expected.size(), size_t(3) << 20}) {
            auto coder = make();
            EXPECT_TRUE(CodeWhole(*coder, input, room) == expected) << listed->ClassName() << " room " << room;
        }
    }
}

TEST(NetCoderBase64, PaddingAtABlockEndIsNoError)
{
    // A coded text that ends exactly at the end of a block, with padding.
    for (const size_t n : {3070u, 3071u, 3072u}) {
        const std::string data = Bytes(n, 7);
        const std::string coded = Base64Encode(data);
        ASSERT_EQ(coded.size(), 4096u);
        TNetBase64Decoder d;
        d.CompleteOnCode = true;
        EXPECT_EQ(d.CodeString(coded), "0;" + data) << n;
    }
}

TEST(NetCoder, EntriesNotificationsAndEvents)
{
    TNetUUDecoder d;
    d.CompleteOnCode = true;
    // The first entry comes back; the others wait in the list.
    EXPECT_EQ(d.CodeString("begin 644 a.txt\r\n#86)C\r\n`\r\nend\r\n"), "42;begin 644 a.txt");
    std::vector<std::string> entries(d.Entries().begin(), d.Entries().end());
    EXPECT_EQ(entries, (std::vector<std::string>{"47;644", "5;a.txt", "0;abc", "44;", "45;"}));
    EXPECT_EQ(d.GetCodedText(), "");          // first entry is a notification
    d.DropNotifications = true;
    EXPECT_EQ(d.GetCodedText(), "abc");       // notifications before it are dropped
    EXPECT_EQ(d.GetCodedData(), "44;");
    d.DropData = true;
    EXPECT_EQ(d.GetCodedData(), "");
    EXPECT_TRUE(d.Entries().empty());

    // Consecutive data entries are joined; AppendLineBreak ends each text.
    TNetCoder pass;
    pass.SetBlockSize(4);
    pass.AppendLineBreak = true;
    EXPECT_EQ(pass.CodeString("abcdefghij"), "0;abcd\r\nefgh\r\n");
    EXPECT_EQ(pass.CompletedInput(), "0;ij\r\n");
    EXPECT_TRUE(pass.InputCompleted());
    pass.Reset();
    EXPECT_FALSE(pass.InputCompleted());

    // With DeliverByEvent the events get everything and the list stays empty.
    TNetUUDecoder ev;
    ev.DeliverByEvent = true;
    ev.CompleteOnCode = true;
    std::string seen;
    ev.OnCodedOutput = [&](TNetCoder *, const std::string &t) { seen += "[" + t + "]"; };
    ev.OnCodedNotification = [&](TNetCoder *, int n, const std::string &t) {
        seen += std::to_string(n) + ":" + t + " ";
    };
    EXPECT_EQ(ev.CodeString("begin 600 x\n#86)C\n`\nend\n"), "");
    EXPECT_EQ(seen, "42:begin 600 x 47:600 5:x [abc]44: 45: ");
    EXPECT_TRUE(ev.Entries().empty());
}

TEST(NetCoder, RegistryLookupsAndFallbacks)
{
    struct Case { const char *type, *encoding; TNetCoderKind kind; const char *cls; };
    const Case cases[] = {
        {"", "base64", ckEncoder, "TNetBase64Encoder"},
        {"", "BASE64", ckDecoder, "TNetBase64Decoder"},
        {"image/png", "Base64", ckDecoder, "TNetBase64Decoder"},  // by transfer encoding
        {"", "x-uu", ckDecoder, "TNetUUDecoder"},
        {"", "X-XX", ckEncoder, "TNetXXEncoder"},
        {"", "quoted-printable", ckEncoder, "TNetQuotedPrintableEncoder"},
        {"", "Quoted-Printable", ckDecoder, "TNetQuotedPrintableDecoder"},
        {"text/", "8bit", ckDecoder, "TNetIMFDecoder"},
        {"", "7bit", ckDecoder, "TNetCoder"},
        {"", "x-unknown", ckDecoder, "TNetCoder"},                // fallback
        {"video/unknown", "", ckEncoder, "TNetCoder"},            // fallback
        {"application/octet-stream", "", ckDecoder, "TNetCoder"},
    };
    for (const Case &c : cases) {
        const TNetCoderItem *item = CoderFor(c.type, c.encoding, c.kind);
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->ClassName, c.cls) << c.type << "|" << c.encoding;
        EXPECT_EQ(item->Kind, c.kind);
        EXPECT_STREQ(item->Create()->ClassName(), c.cls);
    }
    EXPECT_EQ(FindCoder("", "x-unknown", ckDecoder), nullptr);
    const TNetCoderItem *fallback = CoderFor("", "x-unknown", ckEncoder);
    EXPECT_EQ(fallback->ContentType, "application/octet-stream");
    EXPECT_EQ(fallback->Kind, ckEncoder);
    EXPECT_EQ(CoderRegistry().size(), 14u);
    EXPECT_EQ(CoderFor("", "base64", ckDecoder)->Priority, 8);
}

TEST(NetCoderUU, LinesMatchPythonAndSharutilsDecodes)
{
    const std::string data = Bytes(1000, 3);
    // 45-byte lines are what Python and uuencode write: each line the same.
    TNetUUEncoder e;
    e.SetBlockSize(45);
    e.CodedFileName = "data.bin";
    e.CompleteOnCode = true;
    std::string out = e.CodeString(data);
    ASSERT_EQ(out.substr(0, 2), "0;");
    out.erase(0, 2);
    std::string lines = coderoracle::Run("uulines", data);
    std::string expected = "begin 644 data.bin\r\n";
    for (size_t at = 0; at < lines.size();) {
        const size_t nl = lines.find('\n', at);
        expected += lines.substr(at, nl - at) + "\r\n";
        at = nl + 1;
    }
    expected += "`\r\nend\r\n";
    EXPECT_EQ(out, expected);

    // The default 61-byte lines, read back by Python line by line and by uudecode.
    TNetUUEncoder wide;
    wide.CodedFileName = "wide.bin";
    wide.CompleteOnCode = true;
    std::string uu = wide.CodeString(data).substr(2);
    EXPECT_EQ(uu.substr(0, 20), "begin 644 wide.bin\r\n");
    EXPECT_EQ(uu[20], UUCodeTable[61]);
    EXPECT_EQ(coderoracle::Run("uudata", uu), data);
    testutil::TempDir dir;
    testutil::writeFile(dir.file("in.uu"), uu);
    ASSERT_EQ(shell("cd '" + dir.path() + "' && uudecode -o out.bin in.uu"), 0);
    EXPECT_EQ(testutil::readFile(dir.file("out.bin")), data);

    // An empty input still gives a complete frame.
    TNetUUEncoder empty;
    empty.CompleteOnCode = true;
    EXPECT_EQ(empty.CodeString(""), "0;begin 644 \r\n`\r\nend\r\n");
}

// A block holds more bytes than a line can (63, its length being one table
// character): the block is cut into lines of 63 and a last shorter one,
// and no byte is lost at the cuts. The default block of 61 never cuts.
TEST(NetCoderUU, BlocksLongerThanALineLoseNoByte)
{
    const std::string data = Bytes(1000, 21);
    for (const int block : {62, 63, 64, 100, 126, 127, 128, 4096}) {
        for (const bool xx : {false, true}) {
            std::unique_ptr<TNetUUEncoder> e(xx ? new TNetXXEncoder : new TNetUUEncoder);
            e->SetBlockSize(block);
            e->CodedFileName = "d.bin";
            e->CompleteOnCode = true;
            const std::string coded = e->CodeString(data).substr(2);
            const char *table = xx ? XXCodeTable : UUCodeTable;
            // Every data line announces at most 63 bytes and holds what it announces.
            const std::vector<std::string> lines = coderoracle::LinesOf(coded);
            size_t announced = 0;
            for (size_t i = 1; i + 3 < lines.size(); ++i) {
                const size_t n = std::string(table).find(lines[i][0]);
                ASSERT_LE(n, 63u) << block;
                EXPECT_EQ(lines[i].size(), 1 + (n + 2) / 3 * 4) << block << " line " << i;
                announced += n;
            }
            EXPECT_EQ(announced, data.size()) << block << (xx ? " XX" : " UU");
            std::unique_ptr<TNetUUDecoder> d(xx ? new TNetXXDecoder : new TNetUUDecoder);
            std::string decoded;
            d->DeliverByEvent = true;
            d->OnCodedOutput = [&](TNetCoder *, const std::string &t) { decoded += t; };
            d->CodeString(coded);
            d->CompletedInput();
            EXPECT_TRUE(decoded == data) << block << (xx ? " XX" : " UU") << ": " << decoded.size() << " bytes back";
            if (!xx) {
                EXPECT_TRUE(coderoracle::Run("uudata", coded) == data) << block;
            }
        }
    }
}

TEST(NetCoderUU, DecodesSharutilsOutputWithNotifications)
{
    testutil::TempDir dir;
    const std::string data = Bytes(777, 9);
    testutil::writeFile(dir.file("src.bin"), data);
    ASSERT_EQ(shell("cd '" + dir.path() + "' && chmod 640 src.bin && uuencode src.bin name.bin > out.uu"), 0);
    const std::string uu = testutil::readFile(dir.file("out.uu"));
    TNetUUDecoder d;
    d.DeliverByEvent = true;
    std::string decoded;
    d.OnCodedOutput = [&](TNetCoder *, const std::string &t) { decoded += t; };
    for (size_t at = 0; at < uu.size(); at += 100)  // pieces that cut lines
        d.CodeString(uu.substr(at, 100));
    d.CompletedInput();
    EXPECT_EQ(decoded, data);
    EXPECT_EQ(d.CodedFileName, "name.bin");
    EXPECT_EQ(d.FileMode, 640);
    EXPECT_EQ(d.Errors.Count(), 0);
}

TEST(NetCoderUU, HeaderErrorsAreRecordedAndDecodingGoesOn)
{
    struct Case { const char *input, *notes, *error; };
    const Case cases[] = {
        {"begin 64 f\n#86)C\n`\nend\n", "42 48 5 0 44 45", "Not enough chars for three-digit Privilege"},
        {"begin 6444 f\n#86)C\n`\nend\n", "42 48 5 0 44 45", "Too many chars for three-digit Privilege"},
        {"begin 6x4 f\n#86)C\n`\nend\n", "42 48 5 0 44 45", "Privilege chars not numeric"},
        {"table\n" "`!\"#$%&'()*+,-./0123456789:;<=>?\n" "@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_\nnothing\n", "41 43",
         "No BEGIN statement followed a TABLE"},
        {"begin 644 f\n#86)C\n", "42 47 5 0", " Data ended without an END statment"},
        {"junk\r\nmore junk\r\n", "", ""},
    };
    for (const Case &c : cases) {
        TNetUUDecoder d;
        d.CompleteOnCode = true;
        d.DeliverByEvent = true;
        std::string notes;
        d.OnCodedOutput = [&](TNetCoder *, const std::string &) { notes += notes.empty() ? "0" : " 0"; };
        d.OnCodedNotification = [&](TNetCoder *, int n, const std::string &) {
            notes += (notes.empty() ? "" : " ") + std::to_string(n);
        };
        d.CodeString(c.input);
        EXPECT_EQ(notes, c.notes) << c.input;
        if (*c.error) {
            ASSERT_EQ(d.Errors.Count(), 1) << c.input;
            EXPECT_EQ(d.Errors[0], c.error);
        } else {
            EXPECT_EQ(d.Errors.Count(), 0);
        }
    }
    EXPECT_THROW(
        {
            TNetUUDecoder d;
            d.CompleteOnCode = true;
            d.CodeString("begin 644 f\n#8~)C\n");
        },
        ENetTableNotFound);
}

TEST(NetCoderXX, XXLinesAreUULinesInTheOtherAlphabet)
{
    const std::string data = Bytes(200, 5);
    TNetXXEncoder e;
    e.SetBlockSize(45);
    e.CodedFileName = "x";
    e.CompleteOnCode = true;
    const std::string xx = e.CodeString(data).substr(2);
    // Python's UU lines, character by character through the two alphabets.
    std::string expected = "begin 644 x\r\n";
    const std::string uu = coderoracle::Run("uulines", data);
    for (const char c : uu)
        expected += c == '\n' ? std::string("\r\n") : std::string(1, XXCodeTable[std::string(UUCodeTable).find(c)]);
    expected += "+\r\nend\r\n";
    EXPECT_EQ(xx, expected);

    TNetXXDecoder d;
    d.CompleteOnCode = true;
    d.CodeString(xx);
    EXPECT_EQ(drainText(d), data);

    // A UU decoder reads XX data when the table lines come first.
    TNetXXEncoder withTable;
    withTable.TableLines = true;
    withTable.CompleteOnCode = true;
    const std::string tabled = withTable.CodeString("table driven").substr(2);
    EXPECT_EQ(tabled.substr(0, 7), "table\r\n");
    TNetUUDecoder uu2;
    uu2.CompleteOnCode = true;
    uu2.CodeString(tabled);
    EXPECT_EQ(drainText(uu2), "table driven");
    EXPECT_EQ(uu2.CodingTable(), UUCodeTable);  // the end line restores the table
}

TEST(NetCoder, CodingTableRules)
{
    TNetUUEncoder e;
    e.SetCodingTable("ab");
    EXPECT_EQ(e.CodingTable(), std::string("ab") + (UUCodeTable + 2));
    e.SetCodingTable(std::string(XXCodeTable) + "extra");
    EXPECT_EQ(e.CodingTable(), XXCodeTable);
}
