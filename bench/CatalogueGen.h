#pragma once
// Catalogue-shaped INI text for the benchmarks: discs with artist, title,
// the usual disc keys and a number of tracks each.
#include "platform/Rtl.h"

#include <fstream>
#include <string>

namespace bench {

inline std::string MakeCatalogue(int discs, int tracks)
{
    std::string s;
    s.reserve(size_t(discs) * size_t(120 + tracks * 50));
    for (int d = 0; d < discs; ++d) {
        const std::string n = std::to_string(d);
        s += '[';
        s += Rtl::IntToHex(0x100000 + int64_t(d) * 7919, 16);
        s += "]\r\nartist=Artist number " + n + "\r\ntitle=Album title " + n;
        s += "\r\ntotaltracks=" + std::to_string(tracks);
        s += "\r\ntpt=52:17\r\nrevision=3\r\nmodified=0\r\ncategory=rock\r\ncoverimg=\r\nstretchcover=0\r\n";
        s += "extd=Recorded live\\nRemastered\r\n";
        for (int t = 0; t < tracks; ++t) {
            const std::string i = std::to_string(t);
            s.append("track").append(i).append("=Song title ").append(i).append("\r\ntime").append(i);
            s.append("=04:2").append(std::to_string(t % 10)).append("\r\nextt").append(i).append("=\r\n");
        }
        s += "\r\n";
    }
    return s;
}

inline void WriteCatalogue(const std::string &path, int discs, int tracks)
{
    std::ofstream(path, std::ios::binary) << MakeCatalogue(discs, tracks);
}

} // namespace bench
