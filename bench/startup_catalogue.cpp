// Builds the main window over a generated catalogue of 10,000 discs (its
// three selectors filled) and compares it with the in-memory INI object
// loading the same file alone.
#include "compilation/Main.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"
#include "platform/ScriptedDialogs.h"

#include <QApplication>
#include <QComboBox>

#include "BenchUtil.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

void writeCatalogue(const std::string &path, int discs, int tracks)
{
    std::string s;
    s.reserve(size_t(discs) * 700);
    for (int d = 0; d < discs; ++d) {
        s += '[';
        s += Rtl::IntToHex(0x100000 + d * 7919, 16);
        s += "]\r\nartist=Artist number ";
        s += std::to_string(d);
        s += "\r\ntitle=Album title ";
        s += std::to_string(d);
        s += "\r\ntotaltracks=";
        s += std::to_string(tracks);
        s += "\r\ntpt=52:17\r\ncategory=rock\r\n";
        for (int t = 0; t < tracks; ++t) {
            const std::string n = std::to_string(t);
            s.append("track").append(n).append("=Song ").append(n).append("\r\ntime").append(n);
            s.append("=04:2").append(std::to_string(t % 10)).append("\r\n");
        }
        s += "\r\n";
    }
    std::ofstream(path, std::ios::binary) << s;
}


} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    char tmpl[] = "/tmp/mixdeck-bench-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string home = tmpl;
    setenv("MIXDECK_HOME", home.c_str(), 1);
    const std::string path = home + "/MIXDECK.ini";
    writeCatalogue(path, 10000, 12);
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped(dialogs);

    int items = 0;
    const double bare = bench::BestOf(5, [&] {
        TMemIniFile ini(path);
        TStringList s;
        ini.ReadSections(s);
        items = s.Count();
    });
    int selectorItems = 0;
    const double window = bench::BestOf(5, [&] {
        TMainForm form;
        selectorItems = form.CDSelect(1)->count() + form.CDSelect(2)->count() + form.CDSelect(3)->count();
    });
    std::printf("startup_catalogue: %d discs, %d selector items\n", items, selectorItems);
    std::printf("TMemIniFile load alone:          %8.2f ms\n", bare);
    std::printf("main window with selectors:      %8.2f ms\n", window);
    std::printf("ratio:                           %8.2f (target: at most 2)\n", window / bare);
    unlink(path.c_str());
    rmdir(tmpl);
    return dialogs.UnscriptedCount() == 0 ? 0 : 1;
}
