// Base64 of 16 MiB both ways: our coders (through the coder component, as
// the one-call functions use it) beside Python's binascii (b2a_base64 and
// a2b_base64, the strongest peer on this machine; /usr/bin/python3 runs
// beside the benchmark and times its own call, start-up not counted) and,
// as a second column, Qt's QByteArray::toBase64/fromBase64. Ours and each
// peer take turns round by round; the medians of the per-round speed ratios
// (above 1: ours faster) are printed with their range and target.
#include "netclient/NetCoder3To4.h"

#include "BenchUtil.h"

#include <QByteArray>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

int main()
{
    constexpr int kRounds = 11;
    const size_t size = 16u << 20;
    std::string data(size, '\0');
    std::mt19937 rng(14);
    for (char &c : data)
        c = char(rng());
    const QByteArray qdata(data.data(), qsizetype(data.size()));
    const std::string coded = Base64Encode(data);
    const QByteArray qcoded(coded.data(), qsizetype(coded.size()));

    char tmpl[] = "/tmp/mixdeck-bench-b64-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string dir = tmpl, plainFile = dir + "/plain", codedFile = dir + "/coded";
    std::ofstream(plainFile, std::ios::binary) << data;
    std::ofstream(codedFile, std::ios::binary) << coded;
    bench::PythonPeer encPy("import binascii\nd = open(args[0], 'rb').read()",
                            "global r\nr = binascii.b2a_base64(d, newline=False)",
                            "print(r == open(args[1], 'rb').read())", {plainFile, codedFile});
    bench::PythonPeer decPy("import binascii\nd = open(args[1], 'rb').read()", "global r\nr = binascii.a2b_base64(d)",
                            "print(r == open(args[0], 'rb').read())", {plainFile, codedFile});

    std::string ours, back;
    QByteArray qout;
    auto enc = [&] { return bench::TimeMs([&] { ours = Base64Encode(data); }); };
    auto dec = [&] { return bench::TimeMs([&] { back = Base64Decode(coded); }); };
    const bench::Comparison encVsPy =
        bench::Interleave(kRounds, bench::Comparison::Speed, enc, [&] { return encPy.Run(); });
    const bench::Comparison decVsPy =
        bench::Interleave(kRounds, bench::Comparison::Speed, dec, [&] { return decPy.Run(); });
    const bench::Comparison encVsQt = bench::Interleave(kRounds, bench::Comparison::Speed, enc, [&] {
        return bench::TimeMs([&] { qout = qdata.toBase64(); });
    });
    const bool qtEncSame = qout == qcoded;
    const bench::Comparison decVsQt = bench::Interleave(kRounds, bench::Comparison::Speed, dec, [&] {
        return bench::TimeMs([&] { qout = QByteArray::fromBase64(qcoded); });
    });
    const bool same = ours == coded && back == data && qtEncSame && qout == qdata;
    const std::string pyEnc = encPy.Check(), pyDec = decPy.Check();

    std::printf("base64: 16 MiB, MB/s of plain bytes; ours and the peer taking turns, %d rounds; Python times its own "
                "call\n",
                kRounds);
    bench::PrintComparison("encode vs Python binascii", encVsPy, "ours", "binascii", bench::AtLeast(1.0), double(size));
    bench::PrintComparison("decode vs Python binascii", decVsPy, "ours", "binascii", bench::AtLeast(1.0), double(size));
    bench::PrintComparison("encode vs Qt (second peer)", encVsQt, "ours", "Qt", bench::AtLeast(1.0), double(size));
    bench::PrintComparison("decode vs Qt (second peer)", decVsQt, "ours", "Qt", bench::AtLeast(1.0), double(size));
    std::printf("  outputs %s (Python's encode %s, decode %s)\n", same ? "identical" : "DIFFER", pyEnc.c_str(),
                pyDec.c_str());
    std::filesystem::remove_all(dir);
    return same && (!encPy.Started() || (pyEnc == "True" && pyDec == "True")) ? 0 : 1;
}
