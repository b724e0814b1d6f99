// Decoding about 64 MiB of quoted-printable (of Latin-1 text, and of random
// bytes, mostly escapes), Base64 and UU text with our
// coders (through the coder component, the decoded text gathered from its
// output events as the one-call functions do), beside Python's binascii
// (a2b_qp, a2b_base64, and a2b_uu line by line) over the same bytes. Python
// runs beside the benchmark and times its own decoding (start-up and
// reading the file not counted); the two take turns, round by round, and
// each coding prints the median of the per-round speed ratios (above 1:
// ours faster) with their range and target. The outputs are compared.
#include "netclient/NetCoder3To4.h"
#include "netclient/NetCoderText.h"

#include "BenchUtil.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
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

std::string codeWith(TNetCoder &coder, const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    coder.DeliverByEvent = true;
    coder.OnCodedOutput = [&](TNetCoder *, const std::string &part) { out += part; };
    coder.CompleteOnCode = true;
    coder.CodeString(text);
    return out;
}

struct Coding {
    const char *name;
    const char *pythonCall;
    std::string coded;
    std::string plain;
    std::function<TNetCoder *()> make;
};

} // namespace

int main()
{
    const bool havePython = access("/usr/bin/python3", X_OK) == 0;
    char tmpl[] = "/tmp/mixdeck-bench-coders-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string dir = tmpl;
    const size_t size = size_t(64) << 20;
    int status = 0;

    std::vector<Coding> codings;
    {
        // Quoted-printable: about 64 MiB coded, from our encoder.
        std::string plain = latinText(size * 9 / 10);
        TNetQuotedPrintableEncoder e;
        std::string coded = codeWith(e, plain);
        codings.push_back({"QP, text", "r=binascii.a2b_qp(d)", std::move(coded), std::move(plain),
                           [] { return new TNetQuotedPrintableDecoder; }});
    }
    {
        // Quoted-printable of random bytes: mostly escapes.
        std::string plain = randomBytes(size / 3, 16);
        TNetQuotedPrintableEncoder e;
        std::string coded = codeWith(e, plain);
        codings.push_back({"QP, binary", "r=binascii.a2b_qp(d)", std::move(coded), std::move(plain),
                           [] { return new TNetQuotedPrintableDecoder; }});
    }
    {
        std::string plain = randomBytes(size / 4 * 3, 14);
        std::string coded = Base64Encode(plain);
        codings.push_back({"Base64", "r=binascii.a2b_base64(d)", std::move(coded), std::move(plain),
                           [] { return new TNetBase64Decoder; }});
    }
    {
        // UU: "begin", 45-byte lines, the zero line and "end", as uuencode writes them.
        std::string plain = randomBytes(size / 4 * 3, 15);
        TNetUUEncoder e;
        e.CodedFileName = "data.bin";
        std::string coded = codeWith(e, plain);
        codings.push_back({"UU", "r=b''.join(binascii.a2b_uu(l) for l in d.split(b'\\r\\n')[1:-3])",
                           std::move(coded), std::move(plain), [] { return new TNetUUDecoder; }});
    }

    std::printf("coders: decoding about 64 MiB, ours (coder component) and Python's binascii taking turns, %d "
                "rounds; MB/s of coded input; Python times its own call\n",
                kRounds);
    for (Coding &c : codings) {
        const std::string in = dir + "/in", out = dir + "/out";
        std::ofstream(in, std::ios::binary) << c.coded;
        std::ofstream(out, std::ios::binary) << c.plain;
        std::string decoded;
        bench::Comparison cmp;
        std::string pyCheck;
        {
            bench::PythonPeer python("import binascii\nd = open(args[0], 'rb').read()",
                                     std::string("global r\n") + c.pythonCall,
                                     "print(r == open(args[1], 'rb').read())", {in, out});
            cmp = bench::Interleave(
                kRounds, bench::Comparison::Speed,
                [&] {
                    std::unique_ptr<TNetCoder> coder(c.make());
                    return bench::TimeMs([&] { decoded = codeWith(*coder, c.coded); });
                },
                [&] { return python.Run(); });
            pyCheck = python.Check();
        }
        const bool same = decoded == c.plain;
        bench::PrintComparison(c.name, cmp, "ours", "binascii", bench::AtLeast(1.0), double(c.coded.size()));
        std::printf("    outputs: ours %s, Python's %s\n", same ? "right" : "WRONG",
                    pyCheck == "True" ? "the same" : ("DIFFERENT (" + pyCheck + ")").c_str());
        if (!same || (havePython && pyCheck != "True"))
            status = 1;
    }
    std::filesystem::remove_all(dir);
    return status;
}
