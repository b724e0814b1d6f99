// Saving and loading a compilation of 160 tracks (80 a side) through the
// main window's commands, and the file work of both alone, beside a plain
// write (with fsync, as a save must reach the disk) and a plain read of the
// same bytes.
#include "compilation/Main.h"
#include "controls/EnhListV.h"
#include "platform/FileIO.h"
#include "platform/IniFiles.h"
#include "platform/ScriptedDialogs.h"

#include <QApplication>
#include <QComboBox>

#include "BenchUtil.h"
#include "CatalogueGen.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    char tmpl[] = "/tmp/mixdeck-bench-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    const std::string home = tmpl;
    setenv("MIXDECK_HOME", home.c_str(), 1);
    bench::WriteCatalogue(home + "/MIXDECK.ini", 3, 100);
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped(dialogs);
    const std::string path = home + "/Compilations/bench.cmp";
    int status = 0;
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
        for (int i = 0; i < 160; ++i) {
            TListItem *row = form.SideList(i < 80 ? 'A' : 'B')->Items.Add();
            row->SetCaption("CD" + std::to_string(i % 3 + 1) + " T" + std::to_string(i % 100 + 1) + " - Song");
            row->SubItems.Add("00:10");
        }
        const double save = bench::BestOf(20, [&] {
            dialogs.AnswerPath(path);
            form.SaveCompilationMenuItemClick();
        });
        const std::string bytes = [&] {
            std::string b;
            fileio::ReadFile(path, b);
            return b;
        }();
        // One load first: from then on every load asks (the loaded mark).
        dialogs.AnswerPath(path);
        form.LoadCompilationMenuItemClick();
        const double load = bench::BestOf(20, [&] {
            dialogs.AnswerButton(Dialogs::Button::Yes);
            dialogs.AnswerPath(path);
            form.LoadCompilationMenuItemClick();
        });
        if (form.SideList('A')->Items.Count() != 80 || form.SideList('B')->Items.Count() != 80) {
            std::printf("the load did not give back 80 rows a side\n");
            status = 1;
        }

        // The file work alone: one read, the keys written into the text, one
        // write; and one read with every key read back.
        const double saveFile = bench::BestOf(20, [&] {
            std::string old;
            fileio::ReadFile(path, old);
            TProfileText ini(old);
            form.WriteCompilation(ini);
            fileio::AtomicWriteFile(path, ini.Text());
        });
        std::string sink;
        const double loadFile = bench::BestOf(20, [&] {
            std::string b;
            fileio::ReadFile(path, b);
            const TProfileText ini(b);
            sink = ini.ReadString("INFOS", "tapelength", "");
            for (int i = 0; i < 80; ++i) {
                sink += ini.ReadString("SIDEA", "tracka" + std::to_string(i), "");
                sink += ini.ReadString("SIDEB", "trackb" + std::to_string(i), "");
            }
        });

        const std::string plainPath = home + "/plain.cmp";
        const double plainWrite = bench::BestOf(20, [&] {
            int fd = open(plainPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size()))
                status = 1;
            fsync(fd);
            close(fd);
        });
        const double plainRead = bench::BestOf(20, [&] {
            std::string b;
            fileio::ReadFile(plainPath, b);
        });
        std::printf("compilation_io: 160 tracks, %zu bytes\n", bytes.size());
        std::printf("plain write (fsync):          %8.3f ms\n", plainWrite);
        std::printf("plain read:                   %8.3f ms\n", plainRead);
        std::printf("save, file work:              %8.3f ms  (%.2fx the plain write; target: at most 3)\n", saveFile,
                    saveFile / plainWrite);
        std::printf("save, whole command:          %8.3f ms  (%.2fx)\n", save, save / plainWrite);
        std::printf("load, file work:              %8.3f ms  (%.2fx the plain read; target: at most 3)\n", loadFile,
                    loadFile / plainRead);
        std::printf("load, whole command:          %8.3f ms  (%.2fx; rows and panes of the window included)\n",
                    load, load / plainRead);
        unlink(plainPath.c_str());
    }
    unlink(path.c_str());
    rmdir((home + "/Compilations").c_str());
    unlink((home + "/MIXDECK.ini").c_str());
    rmdir(tmpl);
    return status || dialogs.UnscriptedCount() != 0;
}
