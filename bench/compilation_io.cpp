// Saving and loading a tape compilation of 80, 10,000 and 40,000 tracks a
// side through the main window's commands (offscreen, the file dialogs and
// message boxes answered by the scripted dialogs double), and the file work
// of both alone, beside their peers for the same bytes: a plain write with
// fsync (as a save must reach the disk) and a plain read. A save and its
// plain write take turns, who goes first alternating by round, and so do a
// load and its plain read; every round does each size once, so that all
// meet the same load. Before the rounds, one save and load of each size
// that is not counted.
//
// The targets are what a user waits for: a save well under 100 ms at every
// size (40,000 tracks a side included), a load under 200 ms (it also fills
// both lists); printed are our median time with its range beside the
// peer's, and the median of the per-round ratios with their range. Then
// the growth of the save and the load from 10,000 to 40,000 tracks a side
// (four times the tracks in at most five times the time), a per-round
// ratio as well. The rounds are many because the disk is shared: a plain
// write with fsync moves by several times from one moment to the next.
//
// The catalogue's tracks last over four minutes, so every loaded compilation
// is too long for the tape: each load ends with the box "Total Tracks's time
// too long for a tape of 120 min", which the double answers with OK as a user
// would.
#include "compilation/Main.h"
#include "controls/EnhListV.h"
#include "platform/FileIO.h"
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
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kSizes[] = {80, 10000, 40000};
constexpr int kRounds = 25;

// One size's times, round by round.
struct Series {
    size_t bytes = 0;
    std::vector<double> save, saveFile, plainWrite, load, loadFile, plainRead;
    int loadedRows = 0;  // both sides, after the last load
};

} // namespace

int main(int argc, char **argv)
{
    const bench::QtRuntimeFolder runtime;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const bench::TempFolder folder("mixdeck-bench-cmp");
    if (!folder.Made())
        return 1;
    const std::string home = folder.Path();
    setenv("MIXDECK_HOME", home.c_str(), 1);
    bench::WriteCatalogue(home + "/MIXDECK.ini", 3, 100);
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped(dialogs);
    const std::string path = home + "/Compilations/bench.cmp";
    const std::string plainPath = home + "/plain.cmp";
    int status = 0;
    std::map<int, Series> all;
    std::printf("compilation_io: save and load through the main window's commands (offscreen, dialogs answered by a "
                "double) and their file work alone, each beside a plain write with fsync or a plain read of the same "
                "bytes, taking turns; %d rounds, every size in each; %s\n",
                kRounds, bench::LoadText().c_str());
    {
        TMainForm form;
        form.NewCompilationMenuItemClick();
        form.findChild<QComboBox *>("TapeLen")->setCurrentIndex(6);
        form.TapeLenChange();
        for (int p = 1; p <= 3; ++p) {
            form.CDSelect(p)->setCurrentIndex(p - 1);
            if (p == 1) form.CD1SelectChange();
            if (p == 2) form.CD2SelectChange();
            if (p == 3) form.CD3SelectChange();
        }
        // Every answer scripted must be taken, and no call may go unscripted;
        // otherwise the run says what happened and fails.
        auto expectAllAnswered = [&](const char *what) {
            if (dialogs.PendingAnswers() == 0 && dialogs.UnscriptedCount() == 0)
                return true;
            std::printf("%s: %zu answers left, %d dialogs unscripted:\n", what, dialogs.PendingAnswers(),
                        dialogs.UnscriptedCount());
            for (const ScriptedDialogs::Call &c : dialogs.Calls)
                if (!c.scripted)
                    std::printf("  unscripted %s \"%s\"\n", ScriptedDialogs::KindName(c.kind), c.text.c_str());
            status = 1;
            return false;
        };
        auto fill = [&](int perSide) {
            for (char side : {'A', 'B'})
                form.SideList(side)->Items.Clear();
            for (int i = 0; i < 2 * perSide; ++i) {
                TListItem *row = form.SideList(i < perSide ? 'A' : 'B')->Items.Add();
                row->SetCaption("CD" + std::to_string(i % 3 + 1) + " T" + std::to_string(i % 100 + 1) + " - Song");
                row->SubItems.Add("00:10");
            }
        };
        auto save = [&] {
            return bench::TimeMs([&] {
                dialogs.AnswerPath(path);
                form.SaveCompilationMenuItemClick();
            });
        };
        auto plainWrite = [&](const std::string &bytes) {
            return bench::TimeMs([&] {
                int fd = open(plainPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                if (fd < 0 || !fileio::WriteAll(fd, bytes.data(), bytes.size()))
                    status = 1;
                fsync(fd);
                close(fd);
            });
        };
        // A load asks first whenever a compilation is loaded or unsaved.
        auto load = [&] {
            dialogs.Reset();
            return bench::TimeMs([&] {
                if (form.CompilationExists())
                    dialogs.AnswerButton(Dialogs::Button::Yes);
                dialogs.AnswerPath(path);
                dialogs.AnswerButton(Dialogs::Button::OK);
                form.LoadCompilationMenuItemClick();
            });
        };
        auto plainRead = [&] {
            return bench::TimeMs([&] {
                std::string b;
                fileio::ReadFile(plainPath, b);
            });
        };
        // Not counted: one save and load of each size, which also gives the
        // bytes the plain write writes.
        std::map<int, std::string> saved;
        for (int perSide : kSizes) {
            fill(perSide);
            save();
            fileio::ReadFile(path, saved[perSide]);
            all[perSide].bytes = saved[perSide].size();
            plainWrite(saved[perSide]);
            load();
            if (!expectAllAnswered("load"))
                break;
        }

        for (int round = 0; round < kRounds && status == 0; ++round) {
            const bool peerFirst = round % 2 == 1;
            for (int perSide : kSizes) {
                Series &f = all[perSide];
                const std::string &bytes = saved[perSide];
                fill(perSide);
                if (peerFirst) {
                    f.plainWrite.push_back(plainWrite(bytes));
                    f.save.push_back(save());
                } else {
                    f.save.push_back(save());
                    f.plainWrite.push_back(plainWrite(bytes));
                }
                // The file work of the save alone: one read, the keys
                // written into the text, one write.
                f.saveFile.push_back(bench::TimeMs([&] {
                    std::string old;
                    fileio::ReadFile(path, old);
                    TProfileText ini(old);
                    form.WriteCompilation(ini);
                    fileio::AtomicWriteFile(path, ini.Text());
                }));
                if (peerFirst) {
                    f.plainRead.push_back(plainRead());
                    f.load.push_back(load());
                } else {
                    f.load.push_back(load());
                    f.plainRead.push_back(plainRead());
                }
                if (!expectAllAnswered("load"))
                    break;
                const int gotA = form.SideList('A')->Items.Count(), gotB = form.SideList('B')->Items.Count();
                f.loadedRows = gotA + gotB;
                if (gotA != perSide || gotB != perSide) {
                    std::printf("%6d a side: the load gave back %d and %d rows\n", perSide, gotA, gotB);
                    status = 1;
                }
                // One read with every key read back.
                std::string sink;
                f.loadFile.push_back(bench::TimeMs([&] {
                    std::string b;
                    fileio::ReadFile(path, b);
                    const TProfileText ini(b);
                    sink = ini.ReadString("INFOS", "tapelength", "");
                    for (int i = 0; i < perSide; ++i) {
                        sink += ini.ReadString("SIDEA", "tracka" + std::to_string(i), "");
                        sink += ini.ReadString("SIDEB", "trackb" + std::to_string(i), "");
                    }
                }));
            }
        }
    }

    // Per-round ratios of two series of the same rounds.
    auto pair = [](const std::vector<double> &ours, const std::vector<double> &peer, bench::Comparison::Kind kind) {
        bench::Comparison c;
        c.kind = kind;
        for (size_t i = 0; i < std::min(ours.size(), peer.size()); ++i)
            c.Add(ours[i], peer[i]);
        return c;
    };
    for (int perSide : kSizes) {
        const Series &f = all[perSide];
        const std::string size = std::to_string(perSide) + " a side (" + std::to_string(f.bytes / 1000) + " kB), ";
        bench::PrintTimeBeside(size + "save command", pair(f.save, f.plainWrite, bench::Comparison::Time), "save",
                               "write+fsync", bench::AtMost(100));
        bench::PrintTimeBeside(size + "save file work", pair(f.saveFile, f.plainWrite, bench::Comparison::Time),
                               "file work", "write+fsync", bench::AtMost(100));
        bench::PrintTimeBeside(size + "load command", pair(f.load, f.plainRead, bench::Comparison::Time), "load",
                               "plain read", bench::AtMost(200));
        bench::PrintTimeBeside(size + "load file work", pair(f.loadFile, f.plainRead, bench::Comparison::Time),
                               "file work", "plain read", bench::AtMost(200));
    }
    const Series &s10 = all[10000], &s40 = all[40000];
    bench::PrintComparison("save, 40,000 a side vs 10,000 (x4 tracks)", pair(s40.save, s10.save, bench::Comparison::Time),
                           "40,000", "10,000", bench::AtMost(5.0));
    bench::PrintComparison("load, 40,000 a side vs 10,000 (x4 tracks)", pair(s40.load, s10.load, bench::Comparison::Time),
                           "40,000", "10,000", bench::AtMost(5.0));
    std::printf("compilation_io: done; %s\n", bench::LoadText().c_str());
    return status;
}
