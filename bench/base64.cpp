// Base64 of 16 MiB both ways: our coders (through the coder component, as
// the one-call functions use it) next to Qt's QByteArray::toBase64/fromBase64.
#include "netclient/NetCoder3To4.h"

#include "BenchUtil.h"

#include <QByteArray>

#include <cstdio>
#include <random>
#include <string>

int main()
{
    const size_t size = 16u << 20;
    std::string data(size, '\0');
    std::mt19937 rng(14);
    for (char &c : data)
        c = char(rng());
    const QByteArray qdata(data.data(), qsizetype(data.size()));

    std::string ours, back;
    QByteArray qcoded, qback;
    const int runs = 5;
    const double encOurs = bench::BestOf(runs, [&] { ours = Base64Encode(data); });
    const double encQt = bench::BestOf(runs, [&] { qcoded = qdata.toBase64(); });
    const double decOurs = bench::BestOf(runs, [&] { back = Base64Decode(ours); });
    const double decQt = bench::BestOf(runs, [&] { qback = QByteArray::fromBase64(qcoded); });

    const bool same = ours == qcoded.toStdString() && back == data && qback == qdata;
    auto mbs = [&](double ms) { return double(size) / 1e6 / (ms / 1000.0); };
    std::printf("Base64 of %zu MiB (MB/s of plain bytes, best of %d)\n", size >> 20, runs);
    std::printf("  encode: ours %8.0f MB/s   Qt %8.0f MB/s   ours/Qt %5.2fx (target >= 1x)\n", mbs(encOurs),
                mbs(encQt), encQt / encOurs);
    std::printf("  decode: ours %8.0f MB/s   Qt %8.0f MB/s   ours/Qt %5.2fx (target >= 10x)\n", mbs(decOurs),
                mbs(decQt), decQt / decOurs);
    std::printf("  outputs %s\n", same ? "identical" : "DIFFER");
    return same ? 0 : 1;
}
