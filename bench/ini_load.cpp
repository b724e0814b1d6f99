// Loads a catalogue-shaped INI file of 10,000 discs into the in-memory INI
// object (TMemIniFile) beside an independent read-and-split written here
// (open, read into one buffer, memchr for every line end; no project code),
// the least any loader must do; the two take turns, round by round, and the
// median of the per-round ratios (load / split) is printed with its range.
// Then the load with every key read by name against the load alone (also
// in turns), and Qt's QSettings reading the same file as a second peer.
#include "platform/IniFiles.h"

#include <QSettings>
#include <QString>

#include "BenchUtil.h"
#include "CatalogueGen.h"

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRounds = 11;

// Reads the file whole with plain read(2) and finds its lines with memchr;
// the number of lines, 0 when the file could not be read.
size_t readAndSplit(const std::string &path)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat st {};
    fstat(fd, &st);
    std::vector<char> buf(size_t(st.st_size));
    size_t got = 0;
    while (got < buf.size()) {
        const ssize_t n = read(fd, buf.data() + got, buf.size() - got);
        if (n <= 0)
            break;
        got += size_t(n);
    }
    close(fd);
    size_t lines = 0;
    const char *p = buf.data(), *end = buf.data() + got;
    while (p < end) {
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p)));
        ++lines;
        p = nl ? nl + 1 : end;
    }
    return lines;
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
    TStringList names;
    TMemIniFile(path).ReadSections(names);
    const std::vector<std::string> sectionNames = names.ToVector();

    size_t lines = 0, found = 0;
    int sections = 0;
    auto load = [&] {
        return bench::TimeMs([&] {
            TMemIniFile f(path);
            TStringList s;
            f.ReadSections(s);
            sections = s.Count();
        });
    };
    auto split = [&] { return bench::TimeMs([&] { lines = readAndSplit(path); }); };
    auto loadAndRead = [&] {
        return bench::TimeMs([&] {
            TMemIniFile f(path);
            found = 0;
            for (const std::string &s : sectionNames)
                for (const std::string &k : keyNames)
                    found += f.ReadString(s, k, "?") != "?";
        });
    };
    load();  // warm the page cache and the allocator alike for both
    split();
    const bench::Comparison vsSplit = bench::Interleave(kRounds, bench::Comparison::Time, load, split);
    const bench::Comparison readAll = bench::Interleave(kRounds, bench::Comparison::Time, loadAndRead, load);
    int qtKeys = 0;
    const bench::Comparison vsQt = bench::Interleave(3, bench::Comparison::Time, load, [&] {
        return bench::TimeMs([&] {
            QSettings settings(QString::fromStdString(path), QSettings::IniFormat);
            qtKeys = int(settings.allKeys().size());
        });
    });

    struct stat st {};
    stat(path.c_str(), &st);
    std::printf("ini_load: %d sections, %zu lines, %.1f MB; %zu keys read by name, %d keys seen by QSettings; "
                "taking turns, medians\n",
                sections, lines, double(st.st_size) / 1e6, found, qtKeys);
    bench::PrintComparison("TMemIniFile load vs read+memchr split", vsSplit, "load", "split", bench::AtMost(2.0));
    bench::PrintComparison("load + every key by name vs load", readAll, "load+read", "load", bench::AtMost(1.5));
    bench::PrintComparison("TMemIniFile load vs QSettings", vsQt, "load", "QSettings", bench::AtMost(1.0));
    unlink(path.c_str());
    rmdir(tmpl);
    return found == sectionNames.size() * keyNames.size() && lines > 0 ? 0 : 1;
}
