// Start-up of the real program over catalogues of 0, 10,000 and 100,000
// discs: the time from launching the program to its first painted main
// window (offscreen) and its peak resident memory; then, in this process,
// one CD selector change at 100,000 discs, beside the same reads on an
// in-memory INI object that already holds the catalogue.
#include "compilation/Main.h"
#include "controls/EnhListV.h"
#include "platform/IniFiles.h"
#include "platform/ScriptedDialogs.h"

#include <QApplication>
#include <QComboBox>

#include "BenchUtil.h"
#include "CatalogueGen.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

struct Launch {
    double firstPaintMs = -1;
    long peakKb = 0;
    bool ok = false;
};

// Starts the program with its folder set to home and waits for its line
// "first paint"; then collects its exit and peak resident memory.
Launch launchOnce(const std::string &home)
{
    Launch r;
    int out[2];
    if (pipe(out) != 0)
        return r;
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        std::string v = *e;
        if (v.rfind("MIXDECK_HOME=", 0) != 0 && v.rfind("QT_QPA_PLATFORM=", 0) != 0)
            env.push_back(v);
    }
    env.push_back("MIXDECK_HOME=" + home);
    env.push_back("QT_QPA_PLATFORM=offscreen");
    env.push_back("MIXDECK_EXIT_AFTER_FIRST_PAINT=1");
    env.push_back("MIXDECK_DIALOGS=stderr");
    std::vector<char *> envp;
    for (std::string &v : env)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string exe = MIXDECK_EXE_PATH;
    char *argv[] = {exe.data(), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    pid_t pid;
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = posix_spawn(&pid, exe.c_str(), &fa, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return r;
    }
    std::string got;
    char buf[256];
    while (got.find("first paint\n") == std::string::npos) {
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, size_t(n));
    }
    const auto t1 = std::chrono::steady_clock::now();
    close(out[0]);
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    r.ok = got.find("first paint\n") != std::string::npos && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.firstPaintMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
    r.peakKb = ru.ru_maxrss;
    return r;
}

Launch launchBest(const std::string &home, int runs)
{
    Launch best;
    for (int i = 0; i < runs; ++i) {
        Launch l = launchOnce(home);
        if (!l.ok)
            return l;
        if (!best.ok || l.firstPaintMs < best.firstPaintMs)
            best.firstPaintMs = l.firstPaintMs;
        best.peakKb = std::max(best.peakKb, l.peakKb);
        best.ok = true;
    }
    return best;
}

std::string makeHome(const std::string &root, int discs)
{
    const std::string home = root + "/d" + std::to_string(discs);
    mkdir(home.c_str(), 0700);
    if (discs > 0)
        bench::WriteCatalogue(home + "/MIXDECK.ini", discs, 12);
    return home;
}

void removeHome(const std::string &home)
{
    unlink((home + "/MIXDECK.ini").c_str());
    rmdir((home + "/Compilations").c_str());
    rmdir(home.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    char tmpl[] = "/tmp/mixdeck-bench-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string root = tmpl;
    int status = 0;

    std::printf("startup_catalogue: launch of %s to its first painted main window (offscreen)\n", MIXDECK_EXE_PATH);
    double empty = 0;
    for (int discs : {0, 10000, 100000}) {
        const std::string home = makeHome(root, discs);
        struct stat st {};
        stat((home + "/MIXDECK.ini").c_str(), &st);
        Launch l = launchBest(home, discs == 100000 ? 3 : 5);
        if (!l.ok) {
            std::printf("%7d discs: the program did not report its first paint\n", discs);
            status = 1;
        } else {
            if (discs == 0)
                empty = l.firstPaintMs;
            std::printf("%7d discs (%6.1f MB file): first paint %8.1f ms (%5.2fx empty), peak resident %7.1f MB\n",
                        discs, double(st.st_size) / 1e6, l.firstPaintMs, l.firstPaintMs / empty,
                        double(l.peakKb) / 1024.0);
            if (discs == 100000)
                std::printf("  targets at 100,000 discs: first paint at most 4x empty, at most 250 MB resident\n");
        }
        if (discs != 100000)
            removeHome(home);
    }

    // One selector change at 100,000 discs, in this process.
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const std::string home = root + "/d100000";
    setenv("MIXDECK_HOME", home.c_str(), 1);
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped(dialogs);
    {
        TMainForm form;
        form.NewCompilationMenuItemClick();
        QComboBox *box = form.CDSelect(1);
        int pick = 0;
        const double change = bench::BestOf(20, [&] {
            pick = (pick + 37337) % box->count();
            box->setCurrentIndex(pick);
            form.CD1SelectChange();
        });
        TMemIniFile open(home + "/MIXDECK.ini");
        const std::string pid = (*form.CDSections)[pick];
        std::string sink;
        const double reads = bench::BestOf(20, [&] {
            const int n = open.ReadInteger(pid, "totaltracks", 0);
            sink = open.ReadString(pid, "tpt", "Unknown");
            for (int i = 0; i < n; ++i) {
                sink += open.ReadString(pid, "track" + std::to_string(i), "Unknown");
                sink += open.ReadString(pid, "time" + std::to_string(i), "Unknown");
            }
        });
        std::printf("selector change at %d discs:   %8.3f ms (target: at most 5 ms); %d rows\n", box->count(), change,
                    form.CDView(1)->Items.Count());
        std::printf("same reads on an open TMemIniFile: %8.3f ms\n", reads);
    }
    removeHome(home);
    rmdir(root.c_str());
    return status || dialogs.UnscriptedCount() != 0;
}
