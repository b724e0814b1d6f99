// Start-up of the real program over catalogues of 0, 10,000 and 100,000
// discs: the time from launching the program to its first painted main
// window, and its peak resident memory. Every launch is a fresh process
// over a catalogue file of its own, copied just before (a new file, its
// pages in the page cache as after any save), the three sizes taking turns
// so that all meet the same load of a shared machine; printed for each size
// is the median of the per-round ratios to the empty start of the same
// round, with their range and target, and the peak resident memory. Offscreen always, and on X when Xvfb
// is installed (the benchmark starts its own server and stops it).
//
// Then, in this process, a CD selector change at 100,000 discs as a user
// makes it: the main window shown, a Down key pressed in the first CD
// selector, until the disc's pane has repainted.
//
// Everything the benchmark and the program write goes into one temporary
// folder, removed at the end. An argument names another build of the
// program to launch instead (an older one, to compare).
#include "compilation/Main.h"
#include "controls/EnhListV.h"
#include "platform/ScriptedDialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTest>

#include "BenchUtil.h"
#include "CatalogueGen.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

constexpr int kLaunches = 11;
constexpr int kSizes[] = {0, 10000, 100000};

struct Launch {
    double firstPaintMs = -1;
    long peakKb = 0;
    bool ok = false;
};

// Starts the program with its folder set to home and the given extra
// environment, waits for its line "first paint", then collects its exit and
// peak resident memory.
std::string program = MIXDECK_EXE_PATH;

Launch launchOnce(const std::string &home, const std::vector<std::string> &extra)
{
    Launch r;
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return r;
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        std::string v = *e;
        bool replaced = v.rfind("MIXDECK_HOME=", 0) == 0;
        for (const std::string &x : extra)
            replaced = replaced || v.rfind(x.substr(0, x.find('=') + 1), 0) == 0;
        if (!replaced)
            env.push_back(v);
    }
    env.push_back("MIXDECK_HOME=" + home);
    env.push_back("MIXDECK_EXIT_AFTER_FIRST_PAINT=1");
    env.push_back("MIXDECK_DIALOGS=stderr");
    env.insert(env.end(), extra.begin(), extra.end());
    std::vector<char *> envp;
    for (std::string &v : env)
        envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string exe = program;
    char *argv[] = {exe.data(), nullptr};
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
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
    r.firstPaintMs = bench::MsSince(t0);
    close(out[0]);
    int status = 0;
    struct rusage ru {};
    wait4(pid, &status, 0, &ru);
    r.ok = got.find("first paint\n") != std::string::npos && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.peakKb = ru.ru_maxrss;
    return r;
}

// An X server of our own (Xvfb), stopped with the object; display() is
// empty when none could be started.
class XServer {
public:
    explicit XServer(const std::string &dir)
    {
        const char *exe = "/usr/bin/Xvfb";
        if (access(exe, X_OK) != 0)
            return;
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, fds[1], 3);
        const std::string log = dir + "/xvfb.log";
        posix_spawn_file_actions_addopen(&fa, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<std::string> args = {exe, "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"};
        std::vector<char *> argv;
        for (std::string &a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int rc = posix_spawn(&pid_, exe, &fa, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&fa);
        close(fds[1]);
        if (rc != 0) {
            pid_ = -1;
            close(fds[0]);
            return;
        }
        // The server writes its display number once it accepts clients.
        std::string number;
        char c;
        while (read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (!number.empty())
            display_ = ":" + number;
    }
    ~XServer()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    const std::string &display() const { return display_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// A size's launches, round by round (-1 where a launch failed).
struct Series {
    std::vector<double> ms;
    long peakKb = 0;
    int failed = 0;
    std::vector<double> ok() const
    {
        std::vector<double> v;
        for (double m : ms)
            if (m >= 0)
                v.push_back(m);
        return v;
    }
};

// The catalogue of each size is written once; every launch gets a copy.
std::string masterOf(const std::string &root, int discs) { return root + "/master" + std::to_string(discs) + ".ini"; }

// kLaunches rounds of fresh launches, the sizes taking turns; each launch
// over a catalogue file written for it alone.
std::map<int, Series> launchRounds(const std::string &root, const std::vector<std::string> &extra)
{
    std::map<int, Series> series;
    int serial = 0;
    for (int round = 0; round < kLaunches; ++round) {
        for (int discs : kSizes) {
            const std::string home = root + "/launch" + std::to_string(serial++);
            std::filesystem::create_directories(home);
            if (discs > 0)
                std::filesystem::copy_file(masterOf(root, discs), home + "/MIXDECK.ini");
            const Launch l = launchOnce(home, extra);
            Series &s = series[discs];
            if (l.ok) {
                s.ms.push_back(l.firstPaintMs);
                s.peakKb = std::max(s.peakKb, l.peakKb);
            } else {
                s.ms.push_back(-1);
                ++s.failed;
            }
            std::error_code ec;
            std::filesystem::remove_all(home, ec);
        }
    }
    return series;
}

// Prints one platform's figures: for each size the median first paint and
// the median of the per-round ratios to the empty start of the same round,
// with their range and target, and the peak resident memory; false when a
// launch failed.
bool report(const char *platform, const std::map<int, Series> &series, const std::string &root)
{
    bool ok = true;
    const Series &empty = series.at(0);
    std::printf("%s: %d rounds of fresh launches, the sizes taking turns (new process, new catalogue file each); "
                "empty start median %.1f ms, min %.1f ms\n",
                platform, kLaunches, bench::Median(empty.ok()), bench::Min(empty.ok()));
    for (int discs : kSizes) {
        if (discs == 0)
            continue;
        const Series &s = series.at(discs);
        std::error_code ec;
        const double bytes = double(std::filesystem::file_size(masterOf(root, discs), ec));
        if (s.failed || empty.failed) {
            std::printf("  %7d discs: %d launches did not report their first paint\n", discs, s.failed + empty.failed);
            ok = false;
            continue;
        }
        bench::Comparison c;
        for (size_t r = 0; r < s.ms.size() && r < empty.ms.size(); ++r)
            c.Add(s.ms[r], empty.ms[r]);
        char label[96];
        std::snprintf(label, sizeof label, "%d discs (%.1f MB), first paint", discs, bytes / 1e6);
        bench::PrintComparison(label, c, "start", "empty start", bench::AtMost(4.0));
        std::snprintf(label, sizeof label, "%d discs, peak resident", discs);
        bench::PrintFigure(label, double(s.peakKb) / 1024.0, " MB", bench::AtMost(250));
    }
    return ok;
}

// The time from a Down key in the selector to the end of the repaint of the
// disc's pane, in milliseconds; -1 when no repaint came within 5 s.
class PanePaint : public QObject {
public:
    explicit PanePaint(QWidget *viewport) : viewport_(viewport) { viewport->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (watched == viewport_ && e->type() == QEvent::Paint)
            painted_ = true;
        return false;
    }
    double keyToPaint(QComboBox *box)
    {
        painted_ = false;
        const auto t0 = std::chrono::steady_clock::now();
        QTest::keyClick(box, Qt::Key_Down);
        QElapsedTimer limit;
        limit.start();
        while (!painted_ && limit.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return painted_ ? bench::MsSince(t0) : -1;
    }

private:
    QWidget *viewport_;
    bool painted_ = false;
};

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1)
        program = argv[1];
    const char *tmp = std::getenv("TMPDIR");
    std::string root = std::string(tmp && *tmp ? tmp : "/tmp") + "/mixdeck-bench-XXXXXX";
    if (!mkdtemp(root.data()))
        return 1;
    const std::string runtime = root + "/runtime";
    mkdir(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    int status = 0;

    // Made by a child of its own: a launch starts as a copy of this
    // process, whose highest resident size so far would count as the
    // launch's peak.
    const pid_t maker = fork();
    if (maker == 0) {
        for (int discs : kSizes)
            if (discs > 0)
                bench::WriteCatalogue(masterOf(root, discs), discs, 12);
        _exit(0);
    }
    if (maker < 0 || waitpid(maker, nullptr, 0) != maker) {
        std::filesystem::remove_all(root);
        return 1;
    }

    std::printf("startup_catalogue: launch of %s to its first painted main window; shared machine, sizes taking "
                "turns\n",
                program.c_str());
    if (!report("offscreen", launchRounds(root, {"QT_QPA_PLATFORM=offscreen"}), root))
        status = 1;
    {
        XServer x(root);
        if (x.display().empty()) {
            std::printf("on X: not measured (no Xvfb; install xvfb)\n");
        } else if (!report(("on X (Xvfb " + x.display() + ")").c_str(),
                           launchRounds(root, {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + x.display()}), root)) {
            status = 1;
        }
    }

    // A selector change at 100,000 discs in a shown window, offscreen.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string home = root + "/selector";
    std::filesystem::create_directories(home);
    std::filesystem::copy_file(masterOf(root, 100000), home + "/MIXDECK.ini");
    setenv("MIXDECK_HOME", home.c_str(), 1);
    {
        int qtArgc = 1;
        QApplication app(qtArgc, argv);
        ScriptedDialogs dialogs;
        Dialogs::ScopedService scoped(dialogs);
        TMainForm form;
        form.show();
        if (!QTest::qWaitForWindowExposed(&form)) {
            std::printf("selector change: the main window was not shown\n");
            status = 1;
        } else {
            form.NewCompilationMenuItemClick();
            QComboBox *box = form.CDSelect(1);
            box->setFocus();
            PanePaint paint(form.CDView(1)->viewport());
            std::vector<double> ms;
            int pick = 0;
            bool ok = box->isEnabled() && box->count() == 100000;
            for (int i = 0; i < 21 && ok; ++i) {
                // From a disc far from the last one; the key then chooses
                // the next disc, which the pane shows.
                pick = (pick + 37337) % (box->count() - 1);
                box->setCurrentIndex(pick);
                QCoreApplication::processEvents();
                const double t = paint.keyToPaint(box);
                ok = t >= 0 && box->currentIndex() == pick + 1 &&
                     form.CDPID(1)->text().toStdString() == (*form.CDSections)[pick + 1] &&
                     form.CDView(1)->Items.Count() == 12;
                ms.push_back(t);
            }
            if (!ok) {
                std::printf("selector change: the key did not show the next disc in the pane\n");
                status = 1;
            } else {
                std::printf("selector change at 100,000 discs (shown window, Down key in the CD selector until the "
                            "pane has repainted; %zu changes): min %.3f ms, max %.3f ms\n",
                            ms.size(), bench::Min(ms), bench::Max(ms));
                bench::PrintFigure("selector change, median", bench::Median(ms), " ms", bench::AtMost(5));
            }
        }
        if (dialogs.UnscriptedCount() != 0) {
            std::printf("%d dialogs came up unscripted\n", dialogs.UnscriptedCount());
            status = 1;
        }
    }
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return status;
}
