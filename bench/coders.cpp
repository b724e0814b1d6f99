// The coders both ways, ours (through the coder component, the coded text
// gathered from its output events by CodeWhole, as the one-call functions
// do, with room made for the known size of the result) beside
// Python's binascii over the same bytes, about 64 MiB of coded text each:
// quoted-printable of Latin-1 text and of random bytes (mostly escapes),
// Base64, and UU. For each: the encoders on the plain bytes (b2a_qp,
// b2a_base64 on one line, b2a_uu over the 45-byte pieces it takes), then
// both decoders on our encoder's text and both on binascii's (a2b_qp,
// a2b_base64, a2b_uu line by line). Our UU encoder writes 61-byte lines (its
// block size), binascii's 45-byte ones; each decoder reads both.
//
// Python runs beside the benchmark and times its own call (start-up and
// reading the file not counted); the two take turns, who goes first
// alternating by round, and each line prints the median of the per-round
// speed ratios (binascii's time over ours: above 1, ours faster) with their
// range and target, MB/s counted on the plain bytes for encoding and on the
// coded text for decoding. Every result is checked: a decoded text against
// the plain bytes, each encoder's text by the other side's decoder.
#include "netclient/NetCoder3To4.h"
#include "netclient/NetCoderText.h"

#include "BenchUtil.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRounds = 7;

// Text of mostly Latin-1 words with a few accented letters and line breaks.
std::string latinText(size_t size)
{
    static const char *const words[] = {"the", "tape", "side", "track", "caf\xE9", "na\xEFve", "over", "and",
                                        "=sign", "M\xFCller", "compilation", "disc"};
    std::mt19937 rng(7);
    std::string s;
    s.reserve(size + 32);
    size_t line = 0;
    while (s.size() < size) {
        const char *w = words[rng() % 12];
        s += w;
        line += std::char_traits<char>::length(w) + 1;
        if (line > 60 + rng() % 30) {
            s += "\r\n";
            line = 0;
        } else {
            s += ' ';
        }
    }
    s.resize(size);
    return s;
}

std::string randomBytes(size_t size, unsigned seed)
{
    std::string s(size, '\0');
    std::mt19937 rng(seed);
    for (char &c : s)
        c = char(rng());
    return s;
}

void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string readFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

struct Coding {
    const char *name;
    std::string plain;
    std::function<TNetCoder *()> encoder, decoder;
    // Python's calls on the bytes d, leaving the result in r: encoding the
    // plain bytes; decoding our encoder's text; decoding binascii's.
    std::string pyEncode, pyDecodeOurs, pyDecodeTheirs;
    // binascii's whole coded text of the bytes in d (the UU frame included).
    std::string pyFrame;
    // binascii's encoded text r decoded back by binascii.
    std::string pyRoundTrip;
    double encodeTarget, decodeTarget;
};

} // namespace

int main()
{
    const bool havePython = access("/usr/bin/python3", X_OK) == 0;
    const bench::TempFolder folder("mixdeck-bench-coders");
    if (!folder.Made())
        return 1;
    const size_t size = size_t(64) << 20;
    int status = 0;

    const std::string uuDecodeLines = "r=b''.join(binascii.a2b_uu(l) for l in d.split(b'%s')[1:-3])";
    auto uuDecode = [&](const char *lineEnd) {
        char buf[128];
        std::snprintf(buf, sizeof buf, uuDecodeLines.c_str(), lineEnd);
        return std::string(buf);
    };
    std::vector<Coding> codings;
    codings.push_back({"QP, text", latinText(size * 9 / 10), [] { return new TNetQuotedPrintableEncoder; },
                       [] { return new TNetQuotedPrintableDecoder; }, "r=binascii.b2a_qp(d)", "r=binascii.a2b_qp(d)",
                       "r=binascii.a2b_qp(d)", "r=binascii.b2a_qp(d)", "binascii.a2b_qp(r)", 1.0, 1.0});
    codings.push_back({"QP, binary", randomBytes(size / 3, 16), [] { return new TNetQuotedPrintableEncoder; },
                       [] { return new TNetQuotedPrintableDecoder; }, "r=binascii.b2a_qp(d, istext=False)",
                       "r=binascii.a2b_qp(d)", "r=binascii.a2b_qp(d)", "r=binascii.b2a_qp(d, istext=False)",
                       "binascii.a2b_qp(r)", 1.0, 1.0});
    codings.push_back({"Base64", randomBytes(size / 4 * 3, 14), [] { return new TNetBase64Encoder; },
                       [] { return new TNetBase64Decoder; }, "r=binascii.b2a_base64(d, newline=False)",
                       "r=binascii.a2b_base64(d)", "r=binascii.a2b_base64(d)",
                       "r=binascii.b2a_base64(d, newline=False)", "binascii.a2b_base64(r)", 1.0, 1.0});
    const std::string uuEncode = "r=b''.join(binascii.b2a_uu(d[i:i + 45], backtick=True) "
                                 "for i in range(0, len(d), 45))";
    codings.push_back({"UU", randomBytes(size / 4 * 3, 15),
                       [] {
                           auto *e = new TNetUUEncoder;
                           e->CodedFileName = "data.bin";
                           return e;
                       },
                       [] { return new TNetUUDecoder; }, uuEncode, uuDecode("\\r\\n"), uuDecode("\\n"),
                       "r=b'begin 644 data.bin\\n'+" + uuEncode.substr(2) + "+b'`\\nend\\n'",
                       "b''.join(binascii.a2b_uu(l) for l in r.splitlines())", 1.0, 1.2});

    std::printf("coders: encoding and decoding, ours (coder component) and Python's binascii taking turns, %d rounds; "
                "MB/s of the input; Python times its own call; ratio = binascii's time / ours; %s\n",
                kRounds, bench::LoadText().c_str());
    const std::string plainFile = folder.File("plain"), oursFile = folder.File("ours"),
                      theirsFile = folder.File("theirs");
    for (Coding &c : codings) {
        writeFile(plainFile, c.plain);
        // binascii's coded text, made once by a Python of its own.
        std::string theirs;
        if (havePython) {
            std::string out;
            bench::RunFresh({"/usr/bin/python3", "-c",
                             "import binascii, sys\nd = open(sys.argv[1], 'rb').read()\n" + c.pyFrame +
                                 "\nopen(sys.argv[2], 'wb').write(r)",
                             plainFile, theirsFile},
                            out);
            theirs = readFile(theirsFile);
        }
        // One comparison: ours on input, Python's call on the file's bytes;
        // the result checked on both sides. Python's check prints True when
        // its result, passed through check, equals the bytes of the file want.
        auto compare = [&](const std::string &label, const std::function<TNetCoder *()> &make, const std::string &input,
                           const std::string &inputFile, const std::string &pyCall, const std::string &pyCheck,
                           const std::string &wantFile, const std::function<bool(const std::string &)> &oursRight,
                           double target, double bytes, size_t expected) {
            std::string result;
            bench::Comparison cmp;
            std::string pyAnswer;
            {
                bench::PythonPeer python("import binascii\nd = open(args[0], 'rb').read()",
                                         std::string("global r\n") + pyCall,
                                         "print(" + pyCheck + " == open(args[1], 'rb').read())", {inputFile, wantFile});
                cmp = bench::Interleave(
                    kRounds, bench::Comparison::Speed,
                    [&] {
                        std::unique_ptr<TNetCoder> coder(make());
                        return bench::TimeMs([&] { result = CodeWhole(*coder, input, expected); });
                    },
                    [&] { return python.Run(); });
                pyAnswer = python.Check();
            }
            bench::PrintComparison(std::string(c.name) + ", " + label, cmp, "ours", "binascii", bench::AtLeast(target),
                                   bytes);
            const bool right = oursRight(result);
            if (!right || (havePython && pyAnswer != "True")) {
                std::printf("    results: ours %s, binascii's %s\n", right ? "right" : "WRONG",
                            pyAnswer == "True" ? "right" : ("WRONG (" + pyAnswer + ")").c_str());
                status = 1;
            }
            return result;
        };
        // The size of our coded text, from a run not counted: the room the
        // rounds make for it at once, as a caller who knows it would.
        size_t codedSize;
        {
            std::unique_ptr<TNetCoder> e(c.encoder());
            codedSize = CodeWhole(*e, c.plain, c.plain.size()).size();
        }
        // Encoding: our text must come back through binascii's decoder and
        // through ours; binascii's through its own.
        compare(
            "encode", c.encoder, c.plain, plainFile, c.pyEncode, c.pyRoundTrip, plainFile,
            [&](const std::string &coded) {
                writeFile(oursFile, coded);
                std::unique_ptr<TNetCoder> d(c.decoder());
                return CodeWhole(*d, coded, c.plain.size()) == c.plain;
            },
            c.encodeTarget, double(c.plain.size()), codedSize);
        const std::string same = "r";
        auto decodedRight = [&](const std::string &decoded) { return decoded == c.plain; };
        compare("decode our text", c.decoder, readFile(oursFile), oursFile, c.pyDecodeOurs, same, plainFile,
                decodedRight, c.decodeTarget, double(readFile(oursFile).size()), c.plain.size());
        if (havePython)
            compare("decode binascii's text", c.decoder, theirs, theirsFile, c.pyDecodeTheirs, same, plainFile,
                    decodedRight, c.decodeTarget, double(theirs.size()), c.plain.size());
    }
    std::printf("coders: done; %s\n", bench::LoadText().c_str());
    return status;
}
