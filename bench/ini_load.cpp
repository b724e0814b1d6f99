// Loads a catalogue-shaped INI file of 10,000 discs into the in-memory INI
// object, and reads every key of it by name, beside a tight read-and-split
// of the same bytes and Qt's QSettings reading the same file.
#include "platform/FileIO.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"

#include <QSettings>
#include <QString>

#include "BenchUtil.h"
#include "CatalogueGen.h"

#include <cstdio>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The least a loader must do: read the file (with the same reader) and find
// its lines.
size_t readAndSplit(const std::string &path)
{
    std::string text;
    fileio::ReadFile(path, text);
    size_t lines = 0, bytes = 0;
    Rtl::ForEachLine(text, [&](std::string_view l) {
        ++lines;
        bytes += l.size();
    });
    return bytes ? lines : 0;
}

} // namespace

int main()
{
    constexpr int kDiscs = 10000, kTracks = 12;
    char tmpl[] = "/tmp/mixdeck-bench-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string path = std::string(tmpl) + "/MIXDECK.ini";
    bench::WriteCatalogue(path, kDiscs, kTracks);

    // Every section's key names, made once outside the timings.
    std::vector<std::string> keyNames = {"artist", "title", "totaltracks", "tpt", "revision", "modified",
                                         "category", "coverimg", "stretchcover", "extd"};
    for (int t = 0; t < kTracks; ++t)
        for (const char *p : {"track", "time", "extt"})
            keyNames.push_back(p + std::to_string(t));

    size_t lines = 0;
    const double split = bench::BestOf(7, [&] { lines = readAndSplit(path); });

    int sections = 0;
    const double load = bench::BestOf(7, [&] {
        TMemIniFile f(path);
        TStringList s;
        f.ReadSections(s);
        sections = s.Count();
    });

    size_t found = 0;
    TStringList names;
    TMemIniFile(path).ReadSections(names);
    const std::vector<std::string> sectionNames = names.ToVector();
    const double loadAndRead = bench::BestOf(7, [&] {
        TMemIniFile f(path);
        found = 0;
        for (const std::string &s : sectionNames)
            for (const std::string &k : keyNames)
                found += f.ReadString(s, k, "?") != "?";
    });
    TMemIniFile loaded(path);
    const double readOnly = bench::BestOf(7, [&] {
        found = 0;
        for (const std::string &s : sectionNames)
            for (const std::string &k : keyNames)
                found += loaded.ReadString(s, k, "?") != "?";
    });

    int qtKeys = 0;
    const double qt = bench::BestOf(3, [&] {
        QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
        qtKeys = int(settings.allKeys().size());
    });

    std::printf("ini_load: %d sections, %zu lines, %zu keys read by name, %d keys seen by QSettings\n", sections,
                lines, found, qtKeys);
    std::printf("tight read and split:           %8.2f ms\n", split);
    std::printf("QSettings reading the file:     %8.2f ms\n", qt);
    std::printf("TMemIniFile load:               %8.2f ms  (%.2fx the split; target: at most 2)\n", load,
                load / split);
    std::printf("every key by name, loaded:      %8.2f ms\n", readOnly);
    std::printf("load and every key by name:     %8.2f ms  (%.2fx the load; target: at most 1.5)\n", loadAndRead,
                loadAndRead / load);
    unlink(path.c_str());
    rmdir(tmpl);
    return found == sectionNames.size() * keyNames.size() ? 0 : 1;
}
