// Loads a catalogue-shaped INI file of 10,000 discs into the in-memory INI
// object and compares it with a plain read-and-split of the same file.
#include "platform/IniFiles.h"
#include "platform/Rtl.h"

#include "BenchUtil.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::string makeCatalogue(int discs, int tracks)
{
    std::string s;
    s.reserve(size_t(discs) * 700);
    for (int d = 0; d < discs; ++d) {
        s += '[';
        s += Rtl::IntToHex(0x100000 + d * 7919, 16);
        s += "]\r\n";
        s += "artist=Artist number " + std::to_string(d) + "\r\n";
        s += "title=Album title " + std::to_string(d) + "\r\n";
        s += "totaltracks=" + std::to_string(tracks) + "\r\n";
        s += "tpt=52:17\r\nrevision=3\r\nmodified=0\r\ncategory=rock\r\ncoverimg=\r\nstretchcover=0\r\n";
        s += "extd=Recorded live\\nRemastered\r\n";
        for (int t = 0; t < tracks; ++t) {
            s += "track" + std::to_string(t) + "=Song title " + std::to_string(t) + "\r\n";
            s += "time" + std::to_string(t) + "=04:2" + std::to_string(t % 10) + "\r\n";
            s += "extt" + std::to_string(t) + "=\r\n";
        }
        s += "\r\n";
    }
    return s;
}


} // namespace

int main()
{
    char tmpl[] = "/tmp/mixdeck-bench-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string path = std::string(tmpl) + "/MIXDECK.ini";
    {
        std::ofstream out(path, std::ios::binary);
        out << makeCatalogue(10000, 12);
    }
    size_t lines = 0, sections = 0;
    double plain = bench::BestOf(5, [&] {
        std::ifstream in(path, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        std::string text = ss.str();
        std::vector<std::string> v;
        size_t start = 0;
        for (size_t i = 0; i < text.size(); ++i)
            if (text[i] == '\n') {
                size_t end = i > start && text[i - 1] == '\r' ? i - 1 : i;
                v.emplace_back(text, start, end - start);
                start = i + 1;
            }
        lines = v.size();
    });
    double ini = bench::BestOf(5, [&] {
        TMemIniFile f(path);
        TStringList s;
        f.ReadSections(s);
        sections = size_t(s.Count());
    });
    std::printf("ini_load: %zu sections, %zu lines\n", sections, lines);
    std::printf("plain read and split: %8.2f ms\n", plain);
    std::printf("TMemIniFile load:     %8.2f ms\n", ini);
    std::printf("ratio:                %8.2f (target: at most 3)\n", ini / plain);
    unlink(path.c_str());
    rmdir(tmpl);
    return 0;
}
