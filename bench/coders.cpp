// Decoding about 64 MiB of quoted-printable (of Latin-1 text, and of random
// bytes, mostly escapes), Base64 and UU text with our
// coders (through the coder component, the decoded text gathered from its
// output events as the one-call functions do), beside Python's binascii
// (a2b_qp, a2b_base64, and a2b_uu line by line) over the same bytes. The two
// take turns, round by round, so that both meet the same load of a shared
// machine; figures are medians of the rounds, Python's timed inside Python
// (reading the file and starting the interpreter not counted). The outputs
// are compared.
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

constexpr int kRounds = 5;

std::string readAll(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

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

// One timed decoding by Python of the file, its result written to out;
// milliseconds, or -1 when Python failed.
double python(const char *call, const std::string &in, const std::string &out)
{
    const std::string script = std::string("import binascii,sys,time\n"
                                           "d=open(sys.argv[1],'rb').read()\n"
                                           "t=time.perf_counter()\n") +
                               call +
                               "\nms=(time.perf_counter()-t)*1000\n"
                               "open(sys.argv[2],'wb').write(r)\n"
                               "print(ms)\n";
    std::string quoted;
    for (char c : script) {
        if (c == '"' || c == '\\' || c == '$' || c == '`')
            quoted += '\\';
        quoted += c;
    }
    const std::string line = "/usr/bin/python3 -c \"" + quoted + "\" '" + in + "' '" + out + "'";
    FILE *p = popen(line.c_str(), "r");
    if (!p)
        return -1;
    char buf[64] = {};
    const bool got = std::fgets(buf, sizeof buf, p) != nullptr;
    const int status = pclose(p);
    return got && status == 0 ? std::atof(buf) : -1;
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

    std::printf("coders: decoding about 64 MiB, ours (coder component) and Python's binascii taking turns; medians of "
                "%d rounds in MB/s of coded input; shared machine\n",
                kRounds);
    for (Coding &c : codings) {
        const std::string in = dir + "/in", out = dir + "/out";
        std::ofstream(in, std::ios::binary) << c.coded;
        std::vector<double> ours, theirs;
        std::string decoded;
        bool pythonOk = havePython;
        for (int round = 0; round < kRounds; ++round) {
            std::unique_ptr<TNetCoder> coder(c.make());
            const auto t0 = std::chrono::steady_clock::now();
            decoded = codeWith(*coder, c.coded);
            ours.push_back(bench::MsSince(t0));
            if (pythonOk) {
                const double ms = python(c.pythonCall, in, out);
                pythonOk = ms >= 0;
                theirs.push_back(ms);
            }
        }
        auto mbs = [&](double ms) { return double(c.coded.size()) / 1e6 / (ms / 1000.0); };
        const bool same = decoded == c.plain;
        const bool sameAsPython = pythonOk && readAll(out) == decoded;
        if (pythonOk) {
            std::printf("  %-16s ours %7.0f MB/s   binascii %7.0f MB/s   ours/binascii %5.2fx%s   outputs %s\n", c.name,
                        mbs(bench::Median(ours)), mbs(bench::Median(theirs)),
                        bench::Median(theirs) / bench::Median(ours),
                        c.name[0] == 'Q' ? " (target >= 1x)" : "",
                        same && sameAsPython ? "identical" : "DIFFER");
        } else {
            std::printf("  %-16s ours %7.0f MB/s   (Python's binascii not available)   output %s\n", c.name,
                        mbs(bench::Median(ours)), same ? "right" : "WRONG");
        }
        if (!same || (pythonOk && !sameAsPython))
            status = 1;
    }
    std::filesystem::remove_all(dir);
    return status;
}
