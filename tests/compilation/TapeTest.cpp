#include "MainFixture.h"

#include "compilation/Catalogue.h"
#include "compilation/TapeModel.h"
#include "platform/IniFiles.h"
#include "support/GradCapt.h"
#include "platform/Cp1252.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolButton>
#include <QAbstractItemView>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using Dialogs::Button;

namespace {

class TapeFixture : public MainFixture {
protected:
    void SetUp() override
    {
        MainFixture::SetUp();
        // A fourth disc with the odd times a drop must count.
        testutil::writeFile(dir.file("MIXDECK.ini"),
                            std::string(kThreeDiscs) +
                                "[00000000DDDDDDDD]\r\nartist=Odd\r\ntitle=Times\r\ntotaltracks=3\r\n"
                                "track0=Data\r\ntime0=--:--\r\ntrack1=Missing\r\ntrack2=Bare\r\ntime2=45\r\n\r\n");
        make();
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    // A choice in a drop-down list made with the mouse in its open list, as
    // a user would.
    void choose(QComboBox *box, int index)
    {
        box->showPopup();
        QAbstractItemView *view = box->view();
        ASSERT_TRUE(view->isVisible());
        const QModelIndex item = box->model()->index(index, 0);
        view->scrollTo(item);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, view->visualRect(item).center());
        QTRY_VERIFY(!view->isVisible());
    }
    void newCompilation(int lengthIndex)
    {
        ui().NewCompilationMenuItem->trigger();
        choose(ui().TapeLen, lengthIndex);
    }
    QPoint rowCentre(TEnhListView *list, int row) { return list->GetItemRect(row, 0).center(); }
    // Selects the row with a click and drags it out with the left button held.
    void dragRow(TEnhListView *list, int row)
    {
        dragData.reset();
        list->scrollTo(list->Model()->index(row, 0));
        QPoint at = rowCentre(list, row);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mousePress(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseMove(list->viewport(), at + QPoint(QApplication::startDragDistance() + 5, 0));
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, at + QPoint(QApplication::startDragDistance() + 5, 0));
    }
    // Delivers the running drag to a side: enter, move and, when accepted, drop.
    bool dropOn(char side, QMimeData *data = nullptr)
    {
        if (!data)
            data = dragData.get();
        if (!data)
            return false;
        QWidget *vp = form->SideList(side)->viewport();
        const QPoint at(20, 20);
        const Qt::DropActions actions = Qt::MoveAction | Qt::CopyAction;
        QDragEnterEvent enter(at, actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &enter);
        QDragMoveEvent move(at, actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &move);
        if (!enter.isAccepted() || !move.isAccepted())
            return false;
        QDropEvent drop(QPointF(at), actions, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &drop);
        return drop.isAccepted();
    }
    bool dragToSide(int pane, int row, char side)
    {
        dragRow(this->pane(pane), row);
        return dropOn(side);
    }
    std::vector<std::string> rows(char side)
    {
        std::vector<std::string> r;
        TEnhListView *l = form->SideList(side);
        for (int i = 0; i < l->Items.Count(); ++i)
            r.push_back(l->Items[i]->Caption() + " | " + l->Items[i]->CellText(1));
        return r;
    }
    // Picks a command of "&TAPE Manager" with the mouse, as a user would:
    // the menu bar's title, then the item in the menu that opens.
    void pick(QAction *item)
    {
        QMenuBar *bar = ui().MainMenu;
        QMenu *menu = ui().TAPEManagerMenu;
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->actionGeometry(menu->menuAction()).center());
        QTRY_VERIFY(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(item).center());
        QTRY_VERIFY(!menu->isVisible());
    }
    std::string saveAs(const std::string &name)
    {
        dialogs.AnswerPath(dir.path() + "/Compilations/" + name);
        ui().SaveCompilationMenuItem->setEnabled(true);
        ui().SaveCompilationMenuItem->trigger();
        return dir.path() + "/Compilations/" + name;
    }
};

} // namespace

TEST_F(TapeFixture, SelectorsListTheCatalogueAndFillPanes)
{
    const char *want[] = {"Artist One - First Album", "Artist Two - Second Album", "Unknown - No Artist", "Odd - Times"};
    for (int p = 1; p <= 3; ++p) {
        ASSERT_EQ(form->CDSelect(p)->count(), 4);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(ToAnsi(form->CDSelect(p)->itemText(i)), want[i]);
    }
    newCompilation(0);
    choose(form->CDSelect(2), 1);
    TEnhListView *p2 = pane(2);
    ASSERT_EQ(p2->Items.Count(), 12);
    EXPECT_EQ(p2->Items[0]->Caption(), "T1");
    EXPECT_EQ(p2->Items[0]->CellText(1), "10:00");
    EXPECT_EQ(p2->Items[5]->Caption(), "Unknown");
    EXPECT_EQ(p2->Items[5]->CellText(1), "Unknown");
    EXPECT_EQ(ToAnsi(ui().CD2TPT->text()), "Unknown");
    EXPECT_EQ(ToAnsi(ui().CD2PID->text()), "0000000000154E37");
    // Choosing a disc enables Save and Print even with empty sides.
    EXPECT_TRUE(ui().SaveCompilationMenuItem->isEnabled());
    EXPECT_TRUE(ui().PrintMenuItem->menuAction()->isEnabled());
}

TEST_F(TapeFixture, NewCompilationGivesHalfTheTapePerSide)
{
    newCompilation(0);
    EXPECT_EQ(ui().TapeLen->currentIndex(), 0);
    EXPECT_EQ(col0('A'), "SIDE A - Remaining Time (mm:ss)  23:00");
    EXPECT_TRUE(ui().CDDBGroup->isEnabled());
    EXPECT_TRUE(ui().NewCompilation->isEnabled());
    const char *half[] = {"23:00", "27:00", "30:00", "37:00", "45:00", "50:00", "60:00"};
    for (int i = 0; i < 7; ++i) {
        choose(ui().TapeLen, i);
        EXPECT_EQ(form->RemainingA, half[i]);
        EXPECT_EQ(form->RemainingB, half[i]);
        EXPECT_EQ(col0('B'), std::string("SIDE B - Remaining Time (mm:ss)  ") + half[i]);
    }
}

TEST_F(TapeFixture, ADropIsAcceptedOnlyWhenTheTrackFits)
{
    newCompilation(4);  // 90 min: 45:00 a side
    choose(form->CDSelect(2), 1);
    EXPECT_FALSE(dragToSide(2, 4, 'A'));  // 45:01
    EXPECT_TRUE(rows('A').empty());
    EXPECT_TRUE(dragToSide(2, 2, 'A'));   // 45:00 exactly
    EXPECT_EQ(rows('A'), std::vector<std::string>{"CD2 T3 - T3 | 45:00"});
    EXPECT_EQ(form->RemainingA, "00:00");
    EXPECT_TRUE(pane(2)->Items[2]->Checked());
    EXPECT_TRUE(form->UsedTracks.Get(2, 2));
    EXPECT_TRUE(ui().SaveCompilationMenuItem->isEnabled());

    // Odd times: "--:--" and "Unknown" count a minute, "45" 1:45.
    choose(form->CDSelect(3), 3);
    struct { int row; const char *remaining; } odd[] = {{0, "44:00"}, {1, "43:00"}, {2, "41:15"}};
    for (auto &c : odd) {
        EXPECT_TRUE(dragToSide(3, c.row, 'B'));
        EXPECT_EQ(form->RemainingB, c.remaining);
    }
}

TEST_F(TapeFixture, ForeignDragsAreRefused)
{
    newCompilation(6);
    choose(form->CDSelect(1), 0);
    QMimeData text;
    text.setText("CD1 T1 - Intro");
    EXPECT_FALSE(dropOn('A', &text));
    QMimeData forged;
    forged.setData(TMainForm::TrackMimeType, "1-deadbeef\nCD1View");
    EXPECT_FALSE(dropOn('A', &forged));
    EXPECT_TRUE(rows('A').empty());
    // No tape length chosen: nothing is taken either.
    ui().TapeLen->setCurrentIndex(-1);
    EXPECT_FALSE(dragToSide(1, 0, 'A'));
}

TEST_F(TapeFixture, TapeLengthChangesRecomputeBothSides)
{
    newCompilation(2);  // 60 min
    choose(form->CDSelect(2), 1);
    ASSERT_TRUE(dragToSide(2, 1, 'A'));  // 20:00
    ASSERT_TRUE(dragToSide(2, 0, 'B'));  // 10:00
    EXPECT_EQ(form->RemainingA, "10:00");
    EXPECT_EQ(form->RemainingB, "20:00");
    choose(ui().TapeLen, 0);  // 46 min
    EXPECT_EQ(form->RemainingA, "03:00");
    EXPECT_EQ(form->RemainingB, "13:00");
    choose(ui().TapeLen, 5);  // 100 min
    EXPECT_EQ(form->RemainingA, "30:00");
    EXPECT_EQ(form->RemainingB, "40:00");
    EXPECT_EQ(col0('A'), "SIDE A - Remaining Time (mm:ss)  30:00");

    choose(ui().TapeLen, 2);  // back to 60
    choose(form->CDSelect(1), 0);
    ASSERT_TRUE(dragToSide(1, 1, 'A'));  // 05:00 more: 25:00 used on A
    dialogs.Calls.clear();
    choose(ui().TapeLen, 0);
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Total Tracks's time too long for a tape of 46 min");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_EQ(ui().TapeLen->currentIndex(), 2);
    EXPECT_EQ(form->RemainingA, "05:00");
}

TEST_F(TapeFixture, MovingAndRemovingRowsKeepsTimesAndMarks)
{
    newCompilation(6);  // 120 min: 60:00 a side
    choose(form->CDSelect(1), 0);
    ASSERT_TRUE(dragToSide(1, 2, 'A'));  // CD1 T3 06:00
    // From side A to side B: the row and its time move, the mark stays.
    dragRow(form->SideList('A'), 0);
    ASSERT_TRUE(dropOn('B'));
    EXPECT_TRUE(rows('A').empty());
    EXPECT_EQ(rows('B'), std::vector<std::string>{"CD1 T3 - Outro | 06:00"});
    EXPECT_EQ(form->RemainingA, "60:00");
    EXPECT_EQ(form->RemainingB, "54:00");
    EXPECT_TRUE(form->UsedTracks.Get(1, 2));
    // A row cannot be dropped back onto its own side.
    dragRow(form->SideList('B'), 0);
    EXPECT_FALSE(dropOn('B'));

    // Two rows of CD1 T1: removing one keeps the mark, removing both clears it.
    ASSERT_TRUE(dragToSide(1, 0, 'A'));
    ASSERT_TRUE(dragToSide(1, 0, 'A'));
    EXPECT_EQ(form->RemainingA, "58:00");
    QTest::mouseClick(form->SideList('A')->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(form->SideList('A'), 0));
    EXPECT_TRUE(ui().RemoveBtn->isEnabled());
    QTest::mouseClick(ui().RemoveBtn, Qt::LeftButton);
    EXPECT_TRUE(pane(1)->Items[0]->Checked());
    EXPECT_TRUE(form->UsedTracks.Get(1, 0));
    QTest::mouseClick(form->SideList('A')->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(form->SideList('A'), 0));
    QTest::mouseClick(ui().RemoveBtn, Qt::LeftButton);
    EXPECT_FALSE(pane(1)->Items[0]->Checked());
    EXPECT_FALSE(form->UsedTracks.Get(1, 0));
    EXPECT_EQ(form->RemainingA, "60:00");

    // A click on a pane's check box cannot change it: it shows the mark.
    QTest::mouseClick(pane(1)->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(pane(1), 2));
    EXPECT_TRUE(pane(1)->Items[2]->Checked());

    // Up and Down exchange rows; the selection follows.
    ASSERT_TRUE(dragToSide(1, 0, 'A'));
    ASSERT_TRUE(dragToSide(1, 1, 'A'));
    QTest::mouseClick(form->SideList('A')->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(form->SideList('A'), 1));
    EXPECT_TRUE(ui().UpBtn->isEnabled());
    EXPECT_FALSE(ui().DownBtn->isEnabled());
    QTest::mouseClick(ui().UpBtn, Qt::LeftButton);
    EXPECT_EQ(rows('A'), (std::vector<std::string>{"CD1 T2 - Song | 05:00", "CD1 T1 - Intro | 01:00"}));
    EXPECT_EQ(form->SideList('A')->Selected()->Index(), 0);

    // Another disc in pane 1 takes all of pane 1's rows off both sides.
    choose(form->CDSelect(2), 1);
    ASSERT_TRUE(dragToSide(2, 0, 'A'));
    choose(form->CDSelect(1), 1);
    EXPECT_EQ(rows('A'), std::vector<std::string>{"CD2 T1 - T1 | 10:00"});
    EXPECT_TRUE(rows('B').empty());
    EXPECT_EQ(form->RemainingA, "50:00");
    EXPECT_EQ(form->RemainingB, "60:00");
}

TEST_F(TapeFixture, SaveWritesTheDocumentedLayoutAndLoadRebuildsTheTape)
{
    newCompilation(4);  // 90 min
    choose(form->CDSelect(1), 0);
    choose(form->CDSelect(2), 1);
    // The tape of the documented example.
    ASSERT_TRUE(dragToSide(1, 2, 'A'));
    ASSERT_TRUE(dragToSide(2, 9, 'A'));  // no time stored: counts a minute
    ASSERT_TRUE(dragToSide(1, 0, 'A'));
    ASSERT_TRUE(dragToSide(2, 3, 'B'));
    EXPECT_EQ(rows('A'), (std::vector<std::string>{"CD1 T3 - Outro | 06:00", "CD2 T10 - Unknown | Unknown",
                                                   "CD1 T1 - Intro | 01:00"}));
    EXPECT_EQ(rows('B'), std::vector<std::string>{"CD2 T4 - T4 | 03:00"});
    EXPECT_EQ(form->RemainingA, "37:00");
    EXPECT_EQ(form->RemainingB, "42:00");

    const std::string path = saveAs("summer");
    EXPECT_EQ(ui().CompilationName->text(), "summer.cmp");
    EXPECT_FALSE(ui().SaveCompilationMenuItem->isEnabled());
    auto saves = dialogs.CallsOf(ScriptedDialogs::Kind::SaveFile);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].title, "Save Compilation");
    EXPECT_EQ(saves[0].filter, "MIXDECK Compilation (*.cmp)|*.cmp");
    EXPECT_EQ(saves[0].initialDir, dir.path() + "/Compilations");

    EXPECT_EQ(testutil::readFile(path + ".cmp"),
              "[INFOS]\r\ntapelength=90 min\r\ntotaltrksA=3\r\ntotaltrksB=1\r\n"
              "pid1=00000000000C3B2B Artist One - First Album\r\n"
              "pid2=0000000000154E37 Artist Two - Second Album\r\npid3=\r\n"
              "\r\n[SIDEA]\r\ntracka0=CD1 T3\r\ntracka1=CD2 T10\r\ntracka2=CD1 T1\r\n"
              "\r\n[SIDEB]\r\ntrackb0=CD2 T4\r\n");

    // Load it back over a fresh tape.
    const std::vector<std::string> a = rows('A'), b = rows('B');
    dialogs.Reset();
    ui().NewCompilationMenuItem->trigger();  // saved: nothing to lose, no question
    EXPECT_TRUE(dialogs.MessageBoxes().empty());
    EXPECT_TRUE(rows('A').empty());
    dialogs.AnswerPath(path + ".cmp");
    ui().LoadCompilationMenuItem->trigger();
    EXPECT_EQ(ui().TapeLen->currentIndex(), 4);
    EXPECT_EQ(rows('A'), a);
    EXPECT_EQ(rows('B'), b);
    EXPECT_EQ(form->RemainingA, "37:00");
    EXPECT_EQ(form->RemainingB, "42:00");
    EXPECT_TRUE(pane(1)->Items[2]->Checked());
    EXPECT_TRUE(form->UsedTracks.Get(2, 9));
    EXPECT_TRUE(form->CompilationLoaded);
    EXPECT_EQ(ui().CompilationName->text(), "summer.cmp");
    EXPECT_TRUE(ui().PrintMenuItem->menuAction()->isEnabled());
    EXPECT_FALSE(ui().SaveCompilationMenuItem->isEnabled());
}

TEST_F(TapeFixture, LoadSkipsWhatTheCatalogueNoLongerHolds)
{
    testutil::writeFile(dir.file("bad.cmp"),
                        "[INFOS]\r\ntapelength=60 min\r\ntotaltrksA=7\r\ntotaltrksB=2\r\n"
                        "pid1=00000000000C3B2B Artist One - First Album\r\npid2=FFFFFFFF Gone - Away\r\n"
                        "[SIDEA]\r\ntracka0=CD1 T0\r\ntracka1=CD1 T4\r\ntracka2=CD1 T99999999999\r\n"
                        "tracka3=CD4 T1\r\ntracka4=CD1 Tx\r\ntracka5=CD3 T1\r\n"
                        "[SIDEB]\r\ntrackb0=CD2 T1\r\ntrackb1=CD1 T2\r\n");
    dialogs.AnswerPath(dir.file("bad.cmp"));
    ui().LoadCompilationMenuItem->trigger();
    // Numbers that are no numbers count as track 1; track 0, 4 (of three),
    // pane 4, and the panes without a disc are skipped.
    EXPECT_EQ(rows('A'), (std::vector<std::string>{"CD1 T99999999999 - Intro | 01:00", "CD1 Tx - Intro | 01:00"}));
    EXPECT_EQ(rows('B'), std::vector<std::string>{"CD1 T2 - Song | 05:00"});
    EXPECT_EQ(form->RemainingA, "28:00");
    EXPECT_EQ(form->RemainingB, "25:00");
    EXPECT_EQ(ui().TapeLen->currentIndex(), 2);
    EXPECT_TRUE(pane(2)->Items.Count() == 0);
    EXPECT_TRUE(dialogs.MessageBoxes().empty());
    EXPECT_EQ(ui().CompilationName->text(), "bad.cmp");
}

// Every track the file holds is loaded, however many a side has, and the
// next save writes them all again. The rows are the keys numbered below the
// count, in the order of their numbers: keys beyond the count, keys whose
// number is not written as the writer writes it, and the later of repeated
// keys are not rows.
TEST_F(TapeFixture, LongCompilationsLoadAndSaveEveryTrack)
{
    constexpr int kPerSide = 20000;
    std::string text = "[INFOS]\r\ntapelength=120 min\r\ntotaltrksA=20000\r\ntotaltrksB=20000\r\n"
                       "pid1=00000000000C3B2B Artist One - First Album\r\n\r\n[SIDEA]\r\n";
    for (int i = 0; i < kPerSide; ++i)
        text += "tracka" + std::to_string(i) + "=CD1 T" + std::to_string(i % 3 + 1) + "\r\n";
    text += "\r\n[SIDEB]\r\ntrackb20000=CD1 T1\r\ntrackb007=CD1 T1\r\n";
    for (int i = kPerSide - 1; i >= 0; --i)
        text += "TrackB" + std::to_string(i) + "=CD1 T" + std::to_string(i % 3 + 1) + "\r\n";
    text += "trackb0=CD1 T3\r\n";
    const std::string path = dir.file("long.cmp");
    testutil::writeFile(path, text);
    dialogs.AnswerPath(path);
    pick(ui().LoadCompilationMenuItem);
    ASSERT_TRUE(form->CompilationLoaded);
    const std::vector<std::string> a = rows('A'), b = rows('B');
    ASSERT_EQ(a.size(), size_t(kPerSide));
    ASSERT_EQ(b.size(), size_t(kPerSide));
    const char *titles[] = {"Intro", "Song", "Outro"};
    for (int i : {0, 1, 9999, 10000, 10001, kPerSide - 1}) {
        const std::string want = "CD1 T" + std::to_string(i % 3 + 1) + " - " + titles[i % 3];
        EXPECT_EQ(a[size_t(i)].substr(0, want.size()), want) << i;
        EXPECT_EQ(b[size_t(i)].substr(0, want.size()), want) << i;
    }
    // 6,667 tracks of one minute, 6,667 of five and 6,666 of six a side.
    EXPECT_EQ(form->RemainingA, tape::SecondsToTime(3600 - (6667 * 60 + 6667 * 300 + 6666 * 360)));
    EXPECT_EQ(form->RemainingB, form->RemainingA);
    const auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Total Tracks's time too long for a tape of 120 min");

    const std::string saved = saveAs("again.cmp");
    TProfileText again(testutil::readFile(saved));
    EXPECT_EQ(again.ReadInteger("INFOS", "totaltrksA", 0), kPerSide);
    EXPECT_EQ(again.ReadInteger("INFOS", "totaltrksB", 0), kPerSide);
    for (int i : {0, 10000, kPerSide - 1}) {
        EXPECT_EQ(again.ReadString("SIDEA", "tracka" + std::to_string(i), ""), "CD1 T" + std::to_string(i % 3 + 1));
        EXPECT_EQ(again.ReadString("SIDEB", "trackb" + std::to_string(i), ""), "CD1 T" + std::to_string(i % 3 + 1));
    }
    EXPECT_EQ(again.ReadString("SIDEB", "trackb20000", "none"), "none");
}

TEST_F(TapeFixture, LoadShowsADeficitWhenTracksGrewTooLong)
{
    testutil::writeFile(dir.file("long.cmp"),
                        "[INFOS]\r\ntapelength=46 min\r\ntotaltrksA=2\r\npid2=0000000000154E37 x\r\n"
                        "[SIDEA]\r\ntracka0=CD2 T3\r\ntracka1=CD2 T1\r\n");
    dialogs.AnswerPath(dir.file("long.cmp"));
    ui().LoadCompilationMenuItem->trigger();
    EXPECT_EQ(form->RemainingA, "-32:00");
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Total Tracks's time too long for a tape of 46 min");
}

TEST_F(TapeFixture, SaveNamesAndAFailedSaveKeepsTheOldFile)
{
    newCompilation(0);
    choose(form->CDSelect(1), 0);
    ASSERT_TRUE(dragToSide(1, 0, 'A'));
    struct { const char *typed, *stored; } names[] = {
        {"summer", "summer.cmp"}, {"a.cmp.old", "a.cmp.old"}, {"LOUD.CMP", "LOUD.CMP.cmp"},
    };
    for (auto &n : names) {
        std::string path = saveAs(n.typed);
        EXPECT_TRUE(testutil::fileExists(dir.path() + "/Compilations/" + n.stored)) << n.typed;
        EXPECT_EQ(ui().CompilationName->text().toStdString(), n.stored);
    }
    // Saving over a file keeps its other sections.
    const std::string mine = dir.path() + "/Compilations/mine.cmp";
    testutil::writeFile(mine, "[Notes]\r\nby=me\r\n\r\n[SIDEA]\r\ntracka9=CD3 T1\r\n");
    saveAs("mine.cmp");
    const std::string saved = testutil::readFile(mine);
    EXPECT_EQ(saved.find("[Notes]\r\nby=me\r\n"), 0u);
    EXPECT_EQ(saved.find("tracka9"), std::string::npos);

    // A save the file system refuses (a file-size limit below the new
    // file): the error of the INI layer, the old file byte for byte, the
    // old name, Save still enabled, and nothing left beside the file.
    const std::string folder = dir.path() + "/limited";
    mkdir(folder.c_str(), 0755);
    const std::string old = "[INFOS]\r\ntapelength=120 min\r\n";
    testutil::writeFile(folder + "/old.cmp", old);
    choose(form->CDSelect(1), 0);  // a change: Save enabled
    dialogs.Reset();
    dialogs.AnswerPath(folder + "/old.cmp");
    struct rlimit unlimited {};
    getrlimit(RLIMIT_FSIZE, &unlimited);
    struct rlimit small = unlimited;
    small.rlim_cur = 40;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ui().SaveCompilationMenuItem->trigger();
    setrlimit(RLIMIT_FSIZE, &unlimited);
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Unable to write to " + folder + "/old.cmp");
    EXPECT_EQ(testutil::readFile(folder + "/old.cmp"), old);
    EXPECT_EQ(ui().CompilationName->text().toStdString(), "mine.cmp");
    EXPECT_TRUE(ui().SaveCompilationMenuItem->isEnabled());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
}

// As user "nobody": a read-only compilation is refused with the INI layer's
// text and left byte for byte; a writable one in a folder the user may not
// write is saved.
TEST_F(TapeFixture, SavePermissionsAsAnUnprivilegedUser)
{
    newCompilation(0);
    choose(form->CDSelect(1), 0);
    ASSERT_TRUE(dragToSide(1, 0, 'A'));
    const std::string ro = dir.path() + "/ro";
    mkdir(ro.c_str(), 0755);
    const std::string old = "[INFOS]\r\ntapelength=120 min\r\n";
    testutil::writeFile(ro + "/locked.cmp", old);
    testutil::writeFile(ro + "/open.cmp", old);
    testutil::openToAll(dir.path());
    chmod((ro + "/locked.cmp").c_str(), 0444);
    chmod((ro + "/open.cmp").c_str(), 0666);
    chmod(ro.c_str(), 0555);
    auto saveIn = [&](const std::string &path) {
        return testutil::runUnprivileged([&] {
            dialogs.Reset();
            dialogs.AnswerPath(path);
            ui().SaveCompilationMenuItem->setEnabled(true);
            ui().SaveCompilationMenuItem->trigger();
            std::string r = ui().CompilationName->text().toStdString();
            for (const auto &box : dialogs.MessageBoxes()) r += "|" + box.text;
            return r;
        });
    };
    EXPECT_EQ(saveIn(ro + "/locked.cmp"), "None|Unable to write to " + ro + "/locked.cmp");
    EXPECT_EQ(testutil::readFile(ro + "/locked.cmp"), old);
    EXPECT_EQ(saveIn(ro + "/open.cmp"), "open.cmp");
    const std::string saved = testutil::readFile(ro + "/open.cmp");
    EXPECT_NE(saved.find("tracka0=CD1 T1"), std::string::npos) << saved;
    chmod(ro.c_str(), 0755);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(ro), std::filesystem::directory_iterator()), 2);
}

// 200 kills at random moments of a compilation save (a child process saving
// two tapes in turn): always the old or the new file, whole; a name left by
// a kill between naming and renaming goes with the next save.
TEST_F(TapeFixture, KilledCompilationSavesLeaveAWholeFile)
{
    newCompilation(0);
    choose(form->CDSelect(1), 0);
    ASSERT_TRUE(dragToSide(1, 0, 'A'));
    const std::string folder = dir.path() + "/Compilations";
    const std::string path = folder + "/loop.cmp";
    auto saveLength = [&](int index) {
        ui().TapeLen->setCurrentIndex(index);
        saveAs("loop.cmp");
        return testutil::readFile(path);
    };
    const auto start = std::chrono::steady_clock::now();
    const std::string first = saveLength(0), second = saveLength(1);
    ASSERT_NE(first, second);
    const auto perSave = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start) / 2;
    bool sawFirst = false, sawSecond = false;
    const int rounds = testutil::killDuringSaves(
        200, long(perSave.count()), [&](int i) { saveLength(i % 2); },
        [&](int round) {
            const std::string now = testutil::readFile(path);
            EXPECT_TRUE(now == first || now == second) << "round " << round << ": " << now;
            (now == first ? sawFirst : sawSecond) = true;
            int others = 0;
            for (const auto &e : std::filesystem::directory_iterator(folder))
                others += e.path().filename() != "loop.cmp" && e.path().extension() != ".cmp";
            EXPECT_LE(others, 1) << "round " << round;
            return !::testing::Test::HasFailure();
        });
    EXPECT_EQ(rounds, 200);
    EXPECT_TRUE(sawFirst && sawSecond);  // the kills really fell among the saves
    saveLength(0);
    for (const auto &e : std::filesystem::directory_iterator(folder))
        EXPECT_TRUE(e.path().extension() == ".cmp") << e.path();
}

TEST_F(TapeFixture, NewAndLoadAskBeforeLosingACompilation)
{
    newCompilation(2);
    choose(form->CDSelect(1), 0);
    ASSERT_TRUE(dragToSide(1, 0, 'A'));
    const auto before = rows('A');
    for (QAction *command : {ui().NewCompilationMenuItem, ui().LoadCompilationMenuItem}) {
        dialogs.Reset();
        dialogs.AnswerButton(Button::No);
        command->trigger();
        auto boxes = dialogs.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Are you sure? Current compilation will be lost!");
        EXPECT_TRUE(dialogs.CallsOf(ScriptedDialogs::Kind::OpenFile).empty());
        EXPECT_EQ(rows('A'), before);
        EXPECT_TRUE(ui().SaveCompilationMenuItem->isEnabled());
        EXPECT_EQ(form->RemainingA, "29:00");
    }
    // After a load the loaded mark alone makes New ask.
    const std::string path = saveAs("kept");
    dialogs.Reset();
    dialogs.AnswerPath(path + ".cmp");
    ui().LoadCompilationMenuItem->trigger();
    ASSERT_FALSE(ui().SaveCompilationMenuItem->isEnabled());
    dialogs.Reset();
    dialogs.AnswerButton(Button::Yes);
    ui().NewCompilationMenuItem->trigger();
    EXPECT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_TRUE(rows('A').empty());
    EXPECT_FALSE(form->CompilationLoaded);
}

TEST_F(TapeFixture, DiscardCompilationEmptiesTheTapeAndReloads)
{
    newCompilation(4);
    choose(form->CDSelect(1), 0);
    ASSERT_TRUE(dragToSide(1, 0, 'A'));
    form->DiscardCompilation();
    EXPECT_TRUE(rows('A').empty());
    EXPECT_EQ(form->RemainingA, "45:00");
    EXPECT_EQ(ui().CompilationName->text(), "None");
    EXPECT_FALSE(ui().SaveCompilationMenuItem->isEnabled());
    EXPECT_EQ(form->CDSelect(1)->currentIndex(), -1);
    EXPECT_EQ(pane(1)->Items.Count(), 0);
    EXPECT_TRUE(ui().CDDBGroup->isEnabled());
}

// Every way of closing the main window asks before unsaved work is lost.
TEST_F(TapeFixture, ClosingWithUnsavedWorkAsksAndNoKeepsTheProgram)
{
    struct Way {
        const char *name;
        std::function<void(TMainForm &)> close;
    } ways[] = {
        {"Exit menu", [](TMainForm &f) { f.ui->ExitMenu->trigger(); }},
        {"caption close button",
         [](TMainForm &f) {
             QAbstractButton *b = f.GradCaption->CaptionButton(TCaptionButtonKind::Close);
             ASSERT_TRUE(b);
             QTest::mouseClick(b, Qt::LeftButton);
         }},
        {"window manager", [](TMainForm &f) { f.close(); }},  // a QCloseEvent
    };
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        make();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        newCompilation(0);
        choose(form->CDSelect(1), 0);
        ASSERT_TRUE(dragToSide(1, 0, 'A'));
        ASSERT_TRUE(ui().SaveCompilationMenuItem->isEnabled());

        dialogs.Reset();
        dialogs.AnswerButton(Button::No);
        way.close(*form);
        auto boxes = dialogs.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Are you sure? Current compilation will be lost!");
        EXPECT_EQ(boxes[0].defaultButton, Button::No);
        EXPECT_TRUE(form->isVisible());
        EXPECT_TRUE(form->CDSections);
        EXPECT_EQ(rows('A').size(), 1u);

        dialogs.Reset();
        dialogs.AnswerButton(Button::Yes);
        way.close(*form);
        EXPECT_EQ(dialogs.MessageBoxes().size(), 1u);
        EXPECT_FALSE(form->CDSections);  // released: the program ends
    }
    // Nothing unsaved: no question.
    for (const Way &way : ways) {
        SCOPED_TRACE(way.name);
        make();
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
        dialogs.Reset();
        way.close(*form);
        EXPECT_TRUE(dialogs.MessageBoxes().empty());
        EXPECT_FALSE(form->CDSections);
    }
}

// The selector works on the window's copy of the catalogue; a change that
// another program makes to the file is seen at the next choice.
TEST_F(TapeFixture, SelectorChangeReadsNoFileAndSeesAnotherProgramsChange)
{
    newCompilation(0);
    const unsigned long reads = catalogue::ReadCount();
    choose(form->CDSelect(1), 0);
    choose(form->CDSelect(2), 1);
    ASSERT_EQ(pane(1)->Items.Count(), 3);
    EXPECT_EQ(pane(1)->Items[0]->Caption(), "Intro");
    EXPECT_EQ(catalogue::ReadCount(), reads);
    ui().NewCompilationMenuItem->trigger();  // the selectors again, from memory
    dialogs.Reset();
    EXPECT_EQ(catalogue::ReadCount(), reads);

    // Another program rewrites the file in place, same size: the time stamp tells.
    std::string text = testutil::readFile(dir.file("MIXDECK.ini"));
    const size_t at = text.find("track0=Intro");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 12, "track0=Outr0");
    testutil::writeFile(dir.file("MIXDECK.ini"), text);
    choose(form->CDSelect(1), 0);
    EXPECT_EQ(pane(1)->Items[0]->Caption(), "Outr0");
    EXPECT_EQ(catalogue::ReadCount(), reads + 1);
    choose(form->CDSelect(3), 0);
    EXPECT_EQ(pane(3)->Items[0]->Caption(), "Outr0");
    EXPECT_EQ(catalogue::ReadCount(), reads + 1);

    // After the program wrote the catalogue it is read again.
    form->DiscardCompilation();
    EXPECT_EQ(catalogue::ReadCount(), reads + 2);
    EXPECT_EQ(form->CDSelect(1)->count(), 4);
}

// Another program cuts the catalogue short in place while the window holds
// it: the next choice reads the file again and shows the disc as gone,
// without the program ending on a bus error; written again, the disc is back.
// (A cut under a read that is already under way is Catalogue's own test.)
TEST_F(TapeFixture, ACatalogueCutShortUnderTheWindowEndsNothing)
{
    // Enough discs that the last ones lie pages past the cut.
    std::string text = testutil::readFile(dir.file("MIXDECK.ini"));
    for (int d = 0; d < 300; ++d)
        text += "[F" + std::to_string(d) + "]\r\nartist=Filler\r\ntitle=" + std::to_string(d) +
                "\r\ntotaltracks=1\r\ntrack0=Tune\r\ntime0=01:00\r\n\r\n";
    const std::string path = dir.file("MIXDECK.ini");
    testutil::writeFile(path, text);
    newCompilation(0);
    // The choices by key in the selector: End for the last disc, Up and Down.
    QComboBox *box = form->CDSelect(1);
    box->setFocus();
    const int last = box->count() - 1;
    ASSERT_EQ((*form->CDSections)[last], "F299");
    QTest::keyClick(box, Qt::Key_End);
    ASSERT_EQ(box->currentIndex(), last);
    ASSERT_EQ(pane(1)->Items.Count(), 1);

    const unsigned long reads = catalogue::ReadCount();
    ASSERT_EQ(truncate(path.c_str(), 100), 0);
    QTest::keyClick(box, Qt::Key_Up);
    EXPECT_EQ(catalogue::ReadCount(), reads + 1);
    EXPECT_EQ(pane(1)->Items.Count(), 0);
    EXPECT_EQ(form->CDPID(1)->text(), "F298");

    testutil::writeFile(path, text);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(catalogue::ReadCount(), reads + 2);
    ASSERT_EQ(pane(1)->Items.Count(), 1);
    EXPECT_EQ(pane(1)->Items[0]->Caption(), "Tune");
}

// The save gives the bytes the profile functions give when the same keys
// are written one by one, with the file's other sections kept.
TEST_F(TapeFixture, SaveGivesTheBytesOfTheKeyByKeyWrites)
{
    newCompilation(4);
    choose(form->CDSelect(1), 0);
    choose(form->CDSelect(2), 1);
    ASSERT_TRUE(dragToSide(1, 2, 'A'));
    ASSERT_TRUE(dragToSide(2, 9, 'A'));
    ASSERT_TRUE(dragToSide(2, 3, 'B'));
    const std::string existing =
        "; kept by hand\r\n[Notes]\r\nby = me\r\n\r\n[sidea]\r\ntracka0=CD3 T9\r\ntracka7=CD3 T1\r\n\r\n\r\n"
        "[Other]\nx=1\n[INFOS]\r\nold=1\r\n[infos]\r\nsecond=2\r\n[Tail]\r\nlast=1";
    mkdir((dir.path() + "/Compilations").c_str(), 0755);
    const std::string byKeys = dir.path() + "/Compilations/bykeys.cmp";
    testutil::writeFile(byKeys, existing);
    {
        TIniFile ini(byKeys);
        ini.EraseSection("INFOS");
        ini.EraseSection("SIDEA");
        ini.EraseSection("SIDEB");
        ini.WriteString("INFOS", "tapelength", "90 min");
        ini.WriteInteger("INFOS", "totaltrksA", 2);
        ini.WriteInteger("INFOS", "totaltrksB", 1);
        ini.WriteString("INFOS", "pid1", "00000000000C3B2B Artist One - First Album");
        ini.WriteString("INFOS", "pid2", "0000000000154E37 Artist Two - Second Album");
        ini.WriteString("INFOS", "pid3", " ");
        ini.WriteString("SIDEA", "tracka0", "CD1 T3");
        ini.WriteString("SIDEA", "tracka1", "CD2 T10");
        ini.WriteString("SIDEB", "trackb0", "CD2 T4");
    }
    testutil::writeFile(dir.path() + "/Compilations/mine.cmp", existing);
    saveAs("mine.cmp");
    const std::string saved = testutil::readFile(dir.path() + "/Compilations/mine.cmp");
    EXPECT_EQ(saved, testutil::readFile(byKeys));
    EXPECT_NE(saved.find("[Notes]\r\nby = me\r\n"), std::string::npos);
    EXPECT_NE(saved.find("[Tail]\r\nlast=1"), std::string::npos);
    EXPECT_NE(saved.find("second=2"), std::string::npos);  // the repeated section holds the new keys
}

// A file far larger than any compilation is refused before it is read.
TEST_F(TapeFixture, AnOversizedCompilationIsRefusedAndChangesNothing)
{
    const std::string huge = dir.file("huge.cmp");
    testutil::writeFile(huge, "[INFOS]\r\ntapelength=60 min\r\n");
    ASSERT_EQ(truncate(huge.c_str(), off_t(17) << 20), 0);  // sparse: no disk used
    dialogs.AnswerPath(huge);
    dialogs.AnswerButton(Button::OK);
    ui().LoadCompilationMenuItem->trigger();
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot open file " + huge);
    EXPECT_FALSE(form->CompilationLoaded);
    EXPECT_EQ(ui().CompilationName->text(), "None");
}

// "&Print" is usable once a disc is chosen: its sub-items answer their keys
// and run the print commands the start-up sets.
TEST_F(TapeFixture, PrintMenuRunsItsCommandsWhenEnabled)
{
    int cover = 0, program = 0;
    form->PrintTapeCover = [&] { ++cover; };
    form->PrintTapeProgram = [&] { ++program; };
    EXPECT_FALSE(ui().PrintMenuItem->menuAction()->isEnabled());
    newCompilation(4);
    choose(form->CDSelect(1), 0);
    ASSERT_TRUE(ui().PrintMenuItem->menuAction()->isEnabled());
    EXPECT_TRUE(ui().PrintMenuItem->isEnabled());
    for (auto [key, want] : {std::pair{Qt::Key_E, std::pair{1, 0}}, std::pair{Qt::Key_G, std::pair{1, 1}}}) {
        ui().PrintMenuItem->popup(form->mapToGlobal(QPoint(10, 10)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(ui().PrintMenuItem));
        QTest::keyClick(ui().PrintMenuItem, key);
        EXPECT_EQ(std::pair(cover, program), want);
        EXPECT_FALSE(ui().PrintMenuItem->isVisible());
    }
}

// The marks of every pane, the third included, go when its disc changes and
// all of them with the reset button; a click on a check box then shows no
// mark either.
TEST_F(TapeFixture, MarksOfEveryPaneGoWithItsDiscAndWithTheResetButton)
{
    newCompilation(6);
    choose(form->CDSelect(1), 1);
    choose(form->CDSelect(2), 0);
    choose(form->CDSelect(3), 0);
    ASSERT_TRUE(dragToSide(3, 1, 'A'));
    EXPECT_TRUE(form->UsedTracks.Get(3, 1));
    EXPECT_TRUE(pane(3)->Items[1]->Checked());

    choose(form->CDSelect(3), 1);   // another disc in the third pane
    EXPECT_FALSE(form->UsedTracks.Get(3, 1));
    QTest::mouseClick(pane(3)->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(pane(3), 1));
    EXPECT_FALSE(pane(3)->Items[1]->Checked());

    ASSERT_TRUE(dragToSide(1, 0, 'A'));
    ASSERT_TRUE(dragToSide(2, 0, 'B'));
    ASSERT_TRUE(dragToSide(3, 0, 'B'));
    QTest::mouseClick(ui().NewCompilation, Qt::LeftButton);   // the reset button
    ASSERT_TRUE(rows('A').empty());
    for (int p = 1; p <= 3; ++p) {
        EXPECT_FALSE(form->UsedTracks.Get(p, 0)) << p;
        QTest::mouseClick(pane(p)->viewport(), Qt::LeftButton, Qt::NoModifier, rowCentre(pane(p), 0));
        EXPECT_FALSE(pane(p)->Items[0]->Checked()) << p;
    }
}
