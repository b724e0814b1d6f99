// CRC-32 of the web update over 64 MiB beside zlib's crc32 (the strongest
// peer on this machine) over the same bytes in the same run, the two taking
// turns round by round; the median of the per-round speed ratios (above 1:
// ours faster) with its range and target. The table path alone (as on a
// processor without carry-less multiply) against zlib as well, for scale.
#include "webupdate/Wucrc32.h"

#include "BenchUtil.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <zlib.h>

int main()
{
    constexpr int kRounds = 9;
    const size_t size = size_t(64) << 20;
    std::string data(size, '\0');
    uint32_t x = 2463534242u;
    for (char &c : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    uint32_t ours = 0, theirs = 0, table = 0;
    auto zlibRun = [&] {
        return bench::TimeMs([&] {
            theirs = uint32_t(crc32(0L, reinterpret_cast<const Bytef *>(data.data()), uInt(data.size())));
        });
    };
    const bench::Comparison fast = bench::Interleave(
        kRounds, bench::Comparison::Speed,
        [&] { return bench::TimeMs([&] { ours = CRC32Of(data.data(), data.size()); }); }, zlibRun);
    const bench::Comparison slow = bench::Interleave(
        3, bench::Comparison::Speed,
        [&] {
            return bench::TimeMs([&] {
                uint32_t c = 0xFFFFFFFFu;
                for (size_t off = 0; off < size; off += 63)  // pieces too short to fold
                    c = UpdateCRC32(data.data() + off, std::min<size_t>(63, size - off), c);
                table = FinishCRC32(c);
            });
        },
        zlibRun);
    std::printf("crc32: 64 MiB, MB/s; ours and zlib taking turns\n");
    bench::PrintComparison("CRC32Of vs zlib crc32", fast, "ours", "zlib", bench::AtLeast(1.0), double(size));
    bench::PrintComparison("table path, 63-byte pieces, vs zlib", slow, "table", "zlib", bench::AtLeast(0.2),
                           double(size));
    if (ours != theirs || table != theirs) {
        std::printf("MISMATCH: %08x %08x %08x\n", ours, theirs, table);
        return 1;
    }
    return 0;
}
