// CRC-32 of the web update over 64 MiB, beside zlib's crc32 over the same
// bytes in the same run.
#include "webupdate/Wucrc32.h"

#include "BenchUtil.h"

#include <cstdio>
#include <string>
#include <zlib.h>

int main()
{
    const size_t size = size_t(64) << 20;
    std::string data(size, '\0');
    uint32_t x = 2463534242u;
    for (char &c : data) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    uint32_t ours = 0, theirs = 0;
    const double oursMs = bench::BestOf(5, [&] { ours = CRC32Of(data.data(), data.size()); });
    const double zlibMs = bench::BestOf(5, [&] {
        theirs = uint32_t(crc32(0L, reinterpret_cast<const Bytef *>(data.data()), uInt(data.size())));
    });
    // The table path alone, as on a processor without carry-less multiply.
    uint32_t table = 0;
    const double tableMs = bench::BestOf(3, [&] {
        uint32_t c = 0xFFFFFFFFu;
        for (size_t off = 0; off < size; off += 63)   // pieces too short to fold
            c = UpdateCRC32(data.data() + off, std::min<size_t>(63, size - off), c);
        table = FinishCRC32(c);
    });
    const double gb = double(size) / 1e9;
    std::printf("crc32 over 64 MiB: ours %.2f GB/s, zlib %.2f GB/s, ratio %.2f (ours/zlib); table path %.2f GB/s\n",
                gb / (oursMs / 1000), gb / (zlibMs / 1000), zlibMs / oursMs, gb / (tableMs / 1000));
    if (ours != theirs || table != theirs) {
        std::printf("MISMATCH: %08x %08x %08x\n", ours, theirs, table);
        return 1;
    }
    return 0;
}
