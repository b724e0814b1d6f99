#pragma once
// A main window over a catalogue in a fresh program folder, with the dialogs
// double in place.
#include "compilation/Main.h"
#include "controls/EnhListV.h"
#include "platform/ScriptedDialogs.h"
#include "common/TestUtil.h"
#include "ui_Main.h"

#include <QComboBox>
#include <QLabel>
#include <QDialog>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>

#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

// Three discs: A with 3 tracks, B with 12 (titles and times for the first
// five only), C without artist.
inline const char *kThreeDiscs =
    "[00000000000C3B2B]\r\nartist=Artist One\r\ntitle=First Album\r\ntotaltracks=3\r\ntpt=12:00\r\n"
    "track0=Intro\r\ntime0=01:00\r\ntrack1=Song\r\ntime1=05:00\r\ntrack2=Outro\r\ntime2=06:00\r\n\r\n"
    "[0000000000154E37]\r\nartist=Artist Two\r\ntitle=Second Album\r\ntotaltracks=12\r\n"
    "track0=T1\r\ntime0=10:00\r\ntrack1=T2\r\ntime1=20:00\r\ntrack2=T3\r\ntime2=45:00\r\n"
    "track3=T4\r\ntime3=03:00\r\ntrack4=T5\r\ntime4=45:01\r\n\r\n"
    "[0000ABCD]\r\ntitle=No Artist\r\n\r\n";

class MainFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("MIXDECK_HOME", dir.path().c_str(), 1);
        // The user's home folder (where the CD Player file is looked for) is
        // a fresh folder too.
        if (const char *h = std::getenv("HOME"))
            oldHome_ = h;
        setenv("HOME", home.path().c_str(), 1);
        testutil::writeFile(dir.file("MIXDECK.ini"), kThreeDiscs);
    }
    void TearDown() override
    {
        form.reset();
        unsetenv("MIXDECK_HOME");
        if (oldHome_)
            setenv("HOME", oldHome_->c_str(), 1);
        else
            unsetenv("HOME");
    }
    TMainForm &make(const std::string &programFile = std::string())
    {
        form = std::make_unique<TMainForm>(nullptr, programFile);
        form->ExecDrag = [this](QWidget *source, QMimeData *data) {
            dragSource = source;
            dragData.reset(data);
        };
        return *form;
    }
    Ui::TMainForm &ui() { return *form->ui; }
    TEnhListView *pane(int n) { return form->CDView(n); }
    std::string col0(char side) { return form->SideList(side)->Columns[0]->Caption(); }

    testutil::TempDir dir;
    testutil::TempDir home;
    std::optional<std::string> oldHome_;
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped{dialogs};
    std::unique_ptr<TMainForm> form;
    QWidget *dragSource = nullptr;
    std::unique_ptr<QMimeData> dragData;
};
