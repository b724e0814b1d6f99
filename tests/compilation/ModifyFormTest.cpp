#include "MainFixture.h"

#include "compilation/ManageDB.h"
#include "platform/Cp1252.h"
#include "platform/IniFiles.h"
#include "platform/OfficeServersFiles.h"
#include "platform/OleAuto.h"
#include "platform/OwnedTemp.h"
#include "platform/SysUtils.h"
#include "ui_ManageDB.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>

#include <functional>
#include <new>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using Dialogs::Button;

namespace {

// Four discs in an order that is not the artists' order; two of the same
// artist, one without artist.
const char *kZed =
    "[00000000000D2C3D]\r\nartist=Zed\r\ntitle=Last Album\r\ntotaltracks=3\r\ntpt=45:10\r\ncategory=rock\r\n"
    "revision=3\r\nmodified=1\r\ntrack0=Alpha\r\ntime0=03:20\r\ntrack1=Beta\r\ntime1=40:00\r\n"
    "extt1=line one\\nline two\r\ntrack2=Gamma\r\ntime2=01:50\r\nextd=Disc notes\\tTabbed\r\n\r\n";
const char *kGold =
    "[0000000000AAAAAA]\r\nartist=Abba\r\ntitle=Gold\r\ntotaltracks=1\r\ntpt=04:00\r\ntrack0=Waterloo\r\n"
    "time0=04:00\r\n\r\n";
const char *kNoArtist = "[0000000000BBBBBB]\r\ntitle=No Artist\r\ntotaltracks=0\r\n\r\n";
const char *kArrival =
    "[0000000000CCCCCC]\r\nartist=Abba\r\ntitle=Arrival\r\ntotaltracks=2\r\ntpt=07:00\r\n"
    "track0=Dancing Queen\r\ntime0=03:50\r\ntrack1=Money\r\ntime1=03:10\r\n\r\n";

std::string allDiscs() { return std::string(kZed) + kGold + kNoArtist + kArrival; }

class ModifyFixture : public MainFixture {
protected:
    void SetUp() override
    {
        MainFixture::SetUp();
        testutil::writeFile(dir.file("MIXDECK.ini"), allDiscs());
        make();
        modify = std::make_unique<TModifyForm>();
    }
    void TearDown() override
    {
        modify.reset();
        MainFixture::TearDown();
    }
    Ui::TModifyForm &m() { return *modify->ui; }
    void open()
    {
        modify->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(modify.get()));
    }
    std::string catalogue() { return testutil::readFile(dir.file("MIXDECK.ini")); }
    void clickRow(TEnhListView *list, int row, Qt::KeyboardModifiers mods = Qt::NoModifier)
    {
        list->scrollTo(list->Model()->index(row, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, list->GetItemRect(row, 0).center());
    }
    // The row of the catalogue list that shows the disc.
    int rowOf(const std::string &pid)
    {
        for (int r = 0; r < m().CDDBView->Items.Count(); ++r)
            if (m().CDDBView->Items[r]->CellText(3) == pid)
                return r;
        return -1;
    }
    void choose(const std::string &pid)
    {
        const int r = rowOf(pid);
        ASSERT_GE(r, 0) << pid;
        clickRow(m().CDDBView, r);
        ASSERT_EQ(modify->CurrentPID, pid);
    }
    void showPage(int index)
    {
        QTabBar *bar = m().TracksPage->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(index).center());
        ASSERT_EQ(m().TracksPage->currentIndex(), index);
    }
    // Replaces the text of a line edit with keys, as a user would.
    void retype(QLineEdit *edit, const QString &text)
    {
        QTest::keyClick(edit, Qt::Key_End);
        while (!edit->text().isEmpty())
            QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    void typeAtEnd(QWidget *w, const QString &text)
    {
        QTest::keyClick(w, Qt::Key_End, Qt::ControlModifier);
        QTest::keyClicks(w, text);
    }
    std::vector<std::string> column(TEnhListView *list, int col)
    {
        std::vector<std::string> r;
        for (int i = 0; i < list->Items.Count(); ++i)
            r.push_back(list->Items[i]->CellText(col));
        return r;
    }

    // Edits disc A's artist and clicks Save while the catalogue's name
    // belongs to a folder, so that the replace fails; the folder stays.
    void saveWithTheCatalogueAFolder()
    {
        open();
        choose("0000000000AAAAAA");
        typeAtEnd(m().ArtistEdit, "!");
        std::remove(dir.file("MIXDECK.ini").c_str());
        ASSERT_EQ(mkdir(dir.file("MIXDECK.ini").c_str(), 0755), 0);
        dialogs.AnswerButton(Button::OK);
        QTest::mouseClick(m().SaveDBBtn, Qt::LeftButton);
    }

    std::unique_ptr<TModifyForm> modify;
};

} // namespace

TEST_F(ModifyFixture, RowsAreSortedByArtistAndEachShowsItsOwnDisc)
{
    open();
    EXPECT_EQ(column(m().CDDBView, 0), (std::vector<std::string>{"Abba", "Abba", "Unknown", "Zed"}));
    EXPECT_EQ(column(m().CDDBView, 1), (std::vector<std::string>{"Gold", "Arrival", "No Artist", "Last Album"}));
    EXPECT_EQ(column(m().CDDBView, 2), (std::vector<std::string>{"1", "2", "0", "3"}));
    EXPECT_EQ(m().CDDBView->Columns[3]->Caption(), "PIDS");
    EXPECT_EQ(m().CDDBView->Columns[3]->Width(), 0);
    EXPECT_EQ(m().TotalCDsStatic->text(), "4");
    EXPECT_EQ(modify->CDSections->ToVector(),
              (std::vector<std::string>{"0000000000AAAAAA", "0000000000CCCCCC", "0000000000BBBBBB",
                                        "00000000000D2C3D"}));
    EXPECT_TRUE(m().ExportDBBtn->isEnabled());
    EXPECT_FALSE(m().WipeCDBtn->isEnabled());
    EXPECT_FALSE(m().ArtistEdit->isEnabled());
    EXPECT_FALSE(m().TracksPage->isEnabled());
    EXPECT_FALSE(m().SaveDBBtn->isEnabled());
    EXPECT_FALSE(m().ExportPanel->isVisible());
    EXPECT_EQ(m().CDDBView->Delimiter, ',');
    EXPECT_EQ(modify->windowTitle(), "Modify CD DB");
    EXPECT_EQ(m().CDDBGroup->title(), " CD DataBase ");
    EXPECT_EQ(m().ExportLbl->text(), "Exporting...\nplease wait");
    const QStringList pages{"Tracks", "Extented Tracks Infos", "Extented CD Info", "CD's Cover"};
    for (int p = 0; p < pages.size(); ++p)
        EXPECT_EQ(m().TracksPage->tabText(p), pages[p]);
    // The export button opens its menu.
    QTest::mouseClick(m().ExportDBBtn, Qt::LeftButton);
    EXPECT_TRUE(modify->ExportPopUpMenu->isVisible());
    modify->ExportPopUpMenu->hide();

    struct Disc {
        const char *pid, *artist, *firstTrack, *tpt, *category;
        int tracks;
    };
    const Disc discs[] = {
        {"0000000000CCCCCC", "Abba", "Dancing Queen", "07:00", "", 2},
        {"0000000000AAAAAA", "Abba", "Waterloo", "04:00", "", 1},
        {"00000000000D2C3D", "Zed", "Alpha", "45:10", "rock", 3},
        {"0000000000BBBBBB", "Unknown", nullptr, "", "", 0},
    };
    for (const Disc &d : discs) {
        choose(d.pid);
        EXPECT_EQ(ToAnsi(m().ArtistEdit->text()), d.artist);
        EXPECT_EQ(m().CDTracksView->Items.Count(), d.tracks);
        EXPECT_EQ(m().EXTTList->Items.Count(), d.tracks);
        if (d.firstTrack) {
            EXPECT_EQ(m().CDTracksView->Items[0]->Caption(), d.firstTrack);
        }
        EXPECT_EQ(ToAnsi(m().CDTPT->text()), d.tpt);
        EXPECT_EQ(ToAnsi(m().CDCateg->text()), d.category);
        EXPECT_TRUE(m().WipeCDBtn->isEnabled());
        EXPECT_TRUE(m().TracksPage->isEnabled());
        EXPECT_FALSE(m().SaveDBBtn->isEnabled());
    }
    choose("00000000000D2C3D");
    EXPECT_EQ(m().EXTDMemo->toPlainText(), "Disc notes\tTabbed");
    // No track chosen: the time fields show "00" and are disabled.
    EXPECT_EQ(m().MinEdit->text(), "00");
    EXPECT_FALSE(m().MinEdit->isEnabled());
    EXPECT_FALSE(m().OkTimeBtn->isEnabled());
}

TEST_F(ModifyFixture, ATimeEditRecomputesTheTotalOnly)
{
    open();
    choose("00000000000D2C3D");
    clickRow(m().CDTracksView, 0);
    EXPECT_EQ(m().MinEdit->text(), "03");
    EXPECT_EQ(m().SecEdit->text(), "20");
    ASSERT_TRUE(m().MinEdit->isEnabled());
    retype(m().MinEdit, "04");
    retype(m().SecEdit, "05");
    EXPECT_EQ(m().CDTPT->text(), "45:10");  // nothing before Enter or Ok
    QTest::keyClick(m().SecEdit, Qt::Key_Return);
    EXPECT_EQ(m().CDTPT->text(), "45:55");
    EXPECT_EQ(column(m().CDTracksView, 1), (std::vector<std::string>{"04:05", "40:00", "01:50"}));
    EXPECT_TRUE(m().SaveDBBtn->isEnabled());
    EXPECT_TRUE(modify->CatalogueChanged);
    EXPECT_TRUE(modify->isVisible());  // Enter applied the time and pressed no button

    // With the Ok button, a shorter time; one digit counts as the units.
    clickRow(m().CDTracksView, 2);
    retype(m().MinEdit, "1");
    retype(m().SecEdit, "00");
    QTest::mouseClick(m().OkTimeBtn, Qt::LeftButton);
    EXPECT_EQ(m().CDTPT->text(), "45:05");
    EXPECT_EQ(m().CDTracksView->Items[2]->CellText(1), "01:00");
    EXPECT_EQ(catalogue(), allDiscs());
}

TEST_F(ModifyFixture, SaveWritesOnlyTheListedKeysAndDiscardsTheCompilation)
{
    open();
    choose("00000000000D2C3D");
    typeAtEnd(m().ArtistEdit, " Jr");
    EXPECT_EQ(m().CDDBView->Items[rowOf("00000000000D2C3D")]->Caption(), "Zed Jr");
    EXPECT_EQ(m().CDDBView->SortType(), stNone);
    clickRow(m().CDTracksView, 0);
    retype(m().MinEdit, "04");
    retype(m().SecEdit, "05");
    QTest::keyClick(m().MinEdit, Qt::Key_Enter);
    showPage(2);
    QTest::keyClick(m().EXTDMemo, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(m().EXTDMemo, Qt::Key_Return);
    QTest::keyClicks(m().EXTDMemo, "C:\\new");
    showPage(1);
    clickRow(m().EXTTList, 0);
    QTest::keyClicks(m().EXTMemo, "first");
    clickRow(m().EXTTList, 1);
    EXPECT_EQ(m().EXTMemo->toPlainText(), "line one\nline two");
    showPage(0);

    form->CompilationLoaded = true;
    dialogs.AnswerButton(Button::Yes);
    QTest::mouseClick(m().SaveDBBtn, Qt::LeftButton);
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Are you sure? Current compilation will be lost!");
    EXPECT_EQ(boxes[0].owner, modify.get());

    const std::string saved =
        "[00000000000D2C3D]\r\nartist=Zed Jr\r\ntitle=Last Album\r\ntotaltracks=3\r\ntpt=45:55\r\ncategory=rock\r\n"
        "revision=3\r\nmodified=1\r\ntrack0=Alpha\r\ntime0=04:05\r\ntrack1=Beta\r\ntime1=40:00\r\n"
        "extt1=line one\\nline two\r\ntrack2=Gamma\r\ntime2=01:50\r\nextd=Disc notes\\tTabbed\\nC:\\\\new\r\n"
        "coverimg=\r\nstretchcover=0\r\nextt0=first\r\nextt2=\r\n\r\n";
    EXPECT_EQ(catalogue(), saved + kGold + kNoArtist + kArrival);
    EXPECT_FALSE(m().SaveDBBtn->isEnabled());
    EXPECT_TRUE(m().EXTMemo->toPlainText().isEmpty());
    EXPECT_EQ(m().TracksPage->currentIndex(), 0);
    // The main window let its compilation go and reloaded the catalogue.
    EXPECT_FALSE(form->CompilationLoaded);
    EXPECT_EQ(ui().CompilationName->text(), "None");
    EXPECT_EQ(ToAnsi(form->CDSelect(1)->itemText(0)), "Zed Jr - Last Album");

    // Shown again, the saved texts come back as typed.
    choose("0000000000AAAAAA");
    choose("00000000000D2C3D");
    EXPECT_EQ(m().EXTDMemo->toPlainText(), "Disc notes\tTabbed\nC:\\new");
}

TEST_F(ModifyFixture, SaveAnsweredNoWritesNothing)
{
    open();
    choose("0000000000AAAAAA");
    typeAtEnd(m().CDTitleEdit, "!");
    EXPECT_EQ(m().CDDBView->Items[rowOf("0000000000AAAAAA")]->CellText(1), "Gold!");
    ui().SaveCompilationMenuItem->setEnabled(true);
    dialogs.AnswerButton(Button::No);
    QTest::mouseClick(m().SaveDBBtn, Qt::LeftButton);
    EXPECT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_EQ(catalogue(), allDiscs());
    EXPECT_TRUE(m().SaveDBBtn->isEnabled());
    EXPECT_TRUE(ui().SaveCompilationMenuItem->isEnabled());
}

TEST_F(ModifyFixture, AFailedSaveSaysSoAndCanBeRetried)
{
    saveWithTheCatalogueAFolder();
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error saving MIXDECK.ini");
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_TRUE(m().SaveDBBtn->isEnabled());

    ASSERT_EQ(rmdir(dir.file("MIXDECK.ini").c_str()), 0);
    QTest::mouseClick(m().SaveDBBtn, Qt::LeftButton);
    EXPECT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_FALSE(m().SaveDBBtn->isEnabled());
    TMemIniFile ini(dir.file("MIXDECK.ini"));
    EXPECT_EQ(ini.ReadString("0000000000AAAAAA", "artist", ""), "Abba!");
    EXPECT_EQ(ini.ReadString("0000000000CCCCCC", "artist", ""), "Abba");
}

// As user "nobody": a writable catalogue in a folder the user may not
// write is saved from the editor; a read-only one is refused with the
// editor's message and left byte for byte.
TEST_F(ModifyFixture, SavesAsAnUnprivilegedUser)
{
    open();
    choose("0000000000AAAAAA");
    typeAtEnd(m().ArtistEdit, "!");
    const std::string file = dir.file("MIXDECK.ini");
    testutil::openToAll(dir.path());
    auto saveAsNobody = [&] {
        return testutil::runUnprivileged([&] {
            dialogs.Reset();
            dialogs.AnswerButton(Button::OK);
            m().SaveDBBtn->click();  // no event waits in a forked copy
            std::string r;
            for (const auto &box : dialogs.MessageBoxes()) r += box.text + "|";
            TMemIniFile ini(file);
            return r + ini.ReadString("0000000000AAAAAA", "artist", "");
        });
    };
    chmod(file.c_str(), 0444);
    EXPECT_EQ(saveAsNobody(), "Error saving MIXDECK.ini|Abba");
    EXPECT_EQ(catalogue(), allDiscs());

    chmod(file.c_str(), 0666);
    chmod(dir.path().c_str(), 0555);
    const std::string saved = saveAsNobody();
    chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(saved, "Abba!");
    TMemIniFile ini(file);
    EXPECT_EQ(ini.ReadString("0000000000CCCCCC", "artist", ""), "Abba");
}

TEST_F(ModifyFixture, WipeOutAsksAndRemovesTheSection)
{
    open();
    choose("0000000000AAAAAA");
    form->CompilationLoaded = true;
    dialogs.AnswerButton(Button::Yes).AnswerButton(Button::No);
    QTest::mouseClick(m().WipeCDBtn, Qt::LeftButton);
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].text, "Are you sure? Current compilation will be lost!");
    EXPECT_EQ(boxes[1].text, "Are you sure that you want to wipe-out this CD?");
    EXPECT_EQ(boxes[1].caption, "Warning");
    EXPECT_EQ(boxes[1].buttons, Button::Yes | Button::No);
    EXPECT_EQ(boxes[1].icon, Dialogs::Icon::Warning);
    EXPECT_EQ(boxes[1].defaultButton, Button::No);
    EXPECT_EQ(boxes[1].owner, modify.get());
    EXPECT_EQ(catalogue(), allDiscs());
    EXPECT_TRUE(form->CompilationLoaded);

    dialogs.Reset();
    dialogs.AnswerButton(Button::Yes).AnswerButton(Button::Yes);
    QTest::mouseClick(m().WipeCDBtn, Qt::LeftButton);
    EXPECT_EQ(catalogue(), std::string(kZed) + kNoArtist + kArrival);
    EXPECT_FALSE(form->CompilationLoaded);
    EXPECT_EQ(form->CDSelect(1)->count(), 3);
    EXPECT_EQ(m().TotalCDsStatic->text(), "3");
    EXPECT_EQ(column(m().CDDBView, 1), (std::vector<std::string>{"Arrival", "No Artist", "Last Album"}));
    // The first row is shown.
    EXPECT_TRUE(m().CDDBView->Items[0]->Selected());
    EXPECT_EQ(modify->CurrentPID, "0000000000CCCCCC");
    EXPECT_EQ(m().CDTracksView->Items[0]->Caption(), "Dancing Queen");

    // Wiping out every disc leaves the window without one.
    for (int left = 3; left > 0; --left) {
        dialogs.Reset();
        dialogs.AnswerButton(Button::Yes);
        QTest::mouseClick(m().WipeCDBtn, Qt::LeftButton);
        EXPECT_EQ(dialogs.MessageBoxes().size(), 1u);  // no compilation any more
    }
    EXPECT_EQ(catalogue(), "");
    EXPECT_EQ(m().CDDBView->Items.Count(), 0);
    EXPECT_TRUE(modify->CurrentPID.empty());
    EXPECT_FALSE(m().ExportDBBtn->isEnabled());
    EXPECT_FALSE(m().WipeCDBtn->isEnabled());
    EXPECT_FALSE(m().ArtistEdit->isEnabled());
    EXPECT_TRUE(m().ArtistEdit->text().isEmpty());
    EXPECT_FALSE(m().TracksPage->isEnabled());
    EXPECT_EQ(m().CDTracksView->Items.Count(), 0);
    EXPECT_EQ(m().TotalCDsStatic->text(), "0");
}

TEST_F(ModifyFixture, ChoosingAnotherDiscDropsPendingChanges)
{
    open();
    choose("0000000000BBBBBB");
    typeAtEnd(m().ArtistEdit, "X");
    // Typing stopped the sorting: the row stays where it was.
    EXPECT_EQ(m().CDDBView->Items[2]->Caption(), "UnknownX");
    choose("00000000000D2C3D");
    EXPECT_FALSE(m().SaveDBBtn->isEnabled());
    // The left disc's row shows what is stored for it: no artist at all.
    EXPECT_EQ(m().CDDBView->Items[2]->Caption(), "");
    EXPECT_EQ(m().CDDBView->Items[2]->CellText(3), "0000000000BBBBBB");
    // Rows keep their discs: choosing each shows its own.
    choose("0000000000BBBBBB");
    EXPECT_EQ(m().CDTitleEdit->text(), "No Artist");
    choose("0000000000AAAAAA");
    EXPECT_EQ(m().CDTracksView->Items[0]->Caption(), "Waterloo");
    EXPECT_EQ(catalogue(), allDiscs());
}

TEST_F(ModifyFixture, ClosingWithPendingChangesAndASelectedRowKeepsTheCompilation)
{
    open();
    choose("0000000000AAAAAA");
    typeAtEnd(m().ArtistEdit, "!");
    ui().SaveCompilationMenuItem->setEnabled(true);
    QTest::mouseClick(m().ExitBtn, Qt::LeftButton);
    EXPECT_FALSE(modify->isVisible());
    EXPECT_EQ(catalogue(), allDiscs());
    EXPECT_TRUE(ui().SaveCompilationMenuItem->isEnabled());
    EXPECT_TRUE(dialogs.MessageBoxes().empty());
    EXPECT_FALSE(modify->CatalogueIni);
    // The deselection on closing emptied the editors.
    EXPECT_TRUE(m().ArtistEdit->text().isEmpty());
    EXPECT_FALSE(m().ArtistEdit->isEnabled());
    EXPECT_EQ(m().CDDBView->Items.Count(), 0);
}

TEST_F(ModifyFixture, ClosingRewritesTheCatalogueOnlyWithUnwrittenChanges)
{
    struct stat before, after;
    ASSERT_EQ(stat(dir.file("MIXDECK.ini").c_str(), &before), 0);
    // Looking through the catalogue and closing leaves the file alone.
    open();
    choose("0000000000AAAAAA");
    choose("0000000000CCCCCC");
    QTest::mouseClick(m().ExitBtn, Qt::LeftButton);
    ASSERT_FALSE(modify->isVisible());
    ASSERT_EQ(stat(dir.file("MIXDECK.ini").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);

    // A save that failed leaves its changes in memory: closing writes them.
    saveWithTheCatalogueAFolder();
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    ASSERT_EQ(rmdir(dir.file("MIXDECK.ini").c_str()), 0);
    QTest::mouseClick(m().ExitBtn, Qt::LeftButton);
    TMemIniFile ini(dir.file("MIXDECK.ini"));
    EXPECT_EQ(ini.ReadString("0000000000AAAAAA", "artist", ""), "Abba!");
}

TEST_F(ModifyFixture, ClosingWithPendingChangesAndNoSelectedRowDiscardsTheCompilation)
{
    open();
    choose("0000000000AAAAAA");
    typeAtEnd(m().ArtistEdit, "!");
    // Ctrl and a click on the chosen row take its selection away.
    clickRow(m().CDDBView, rowOf("0000000000AAAAAA"), Qt::ControlModifier);
    ASSERT_EQ(m().CDDBView->Selected(), nullptr);
    EXPECT_EQ(modify->CurrentPID, "0000000000AAAAAA");
    ui().SaveCompilationMenuItem->setEnabled(true);
    QTest::keyClick(modify.get(), Qt::Key_Escape);  // Close answers Escape
    EXPECT_FALSE(modify->isVisible());
    EXPECT_EQ(catalogue(), allDiscs());
    EXPECT_TRUE(dialogs.MessageBoxes().empty());
    EXPECT_FALSE(ui().SaveCompilationMenuItem->isEnabled());
    EXPECT_EQ(ui().CompilationName->text(), "None");

    // Shown again, the editors still show the disc that was current.
    open();
    EXPECT_EQ(ToAnsi(m().ArtistEdit->text()), "Abba!");
    EXPECT_EQ(modify->CurrentPID, "0000000000AAAAAA");
    EXPECT_FALSE(modify->CatalogueChanged);
    EXPECT_EQ(m().CDDBView->SortType(), stText);
}

TEST_F(ModifyFixture, EmptyCatalogueAndUnreadableCatalogue)
{
    std::remove(dir.file("MIXDECK.ini").c_str());
    open();
    EXPECT_EQ(m().CDDBView->Items.Count(), 0);
    EXPECT_EQ(m().TotalCDsStatic->text(), "0");
    EXPECT_FALSE(m().ExportDBBtn->isEnabled());
    EXPECT_FALSE(m().WipeCDBtn->isEnabled());
    modify->reject();
    EXPECT_FALSE(testutil::fileExists(dir.file("MIXDECK.ini")));  // nothing changed, nothing written

    std::remove(dir.file("MIXDECK.ini").c_str());
    mkdir(dir.file("MIXDECK.ini").c_str(), 0755);
    dialogs.AnswerButton(Button::OK);
    open();
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error opening MIXDECK.ini");
    EXPECT_EQ(m().CDDBView->Items.Count(), 0);
    modify->reject();
    rmdir(dir.file("MIXDECK.ini").c_str());
}

TEST_F(ModifyFixture, F2EditsTheSelectedTrackTitle)
{
    open();
    choose("0000000000CCCCCC");
    TEnhListView *tracks = m().CDTracksView;
    tracks->setFocus();
    auto editorOpen = [&]() -> QLineEdit * {
        for (QLineEdit *e : tracks->viewport()->findChildren<QLineEdit *>())
            if (e->isVisible())
                return e;
        return nullptr;
    };
    QTest::keyClick(tracks, Qt::Key_F2);
    EXPECT_EQ(editorOpen(), nullptr);  // no track chosen
    clickRow(tracks, 1);
    QTest::keyClick(tracks, Qt::Key_F2);
    QLineEdit *editor = editorOpen();
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "Money, Money");
    EXPECT_EQ(editor->text(), "Money, Money");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the editor commits from a queued call
    EXPECT_EQ(tracks->Items[1]->Caption(), "Money, Money");
    EXPECT_TRUE(m().SaveDBBtn->isEnabled());
    EXPECT_EQ(m().EXTTList->Items[1]->Caption(), "Money");  // until the disc is shown again

    QTest::mouseClick(m().SaveDBBtn, Qt::LeftButton);
    TMemIniFile ini(dir.file("MIXDECK.ini"));
    EXPECT_EQ(ini.ReadString("0000000000CCCCCC", "track1", ""), "Money, Money");
}

TEST_F(ModifyFixture, EscapeInAMemoMarksNoChange)
{
    open();
    choose("0000000000CCCCCC");
    showPage(2);
    m().EXTDMemo->setFocus();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QString(QChar(27)));
    QApplication::sendEvent(m().EXTDMemo, &escape);
    EXPECT_FALSE(m().SaveDBBtn->isEnabled());
    QTest::keyClicks(m().EXTDMemo, "x");
    EXPECT_TRUE(m().SaveDBBtn->isEnabled());
}

// ---- covers ------------------------------------------------------------------------------------

namespace {

// A picture with four coloured quarters.
QImage quarters(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, x < w / 2 ? (y < h / 2 ? qRgb(255, 0, 0) : qRgb(0, 255, 0))
                                         : (y < h / 2 ? qRgb(0, 0, 255) : qRgb(255, 255, 255)));
    return img;
}

bool near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) < 40 && std::abs(qGreen(a) - qGreen(b)) < 40 &&
           std::abs(qBlue(a) - qBlue(b)) < 40;
}

} // namespace

TEST(CoverPictures, JpegThroughLibjpeg)
{
    testutil::TempDir d;
    const std::string colour = d.file("c.jpg");
    ASSERT_TRUE(quarters(64, 48).save(QString::fromStdString(colour), "JPEG", 95));
    QImage img = DecodeJpegFile(colour);
    ASSERT_EQ(img.size(), QSize(64, 48));
    EXPECT_TRUE(near(img.pixel(8, 8), qRgb(255, 0, 0)));
    EXPECT_TRUE(near(img.pixel(8, 40), qRgb(0, 255, 0)));
    EXPECT_TRUE(near(img.pixel(56, 8), qRgb(0, 0, 255)));
    EXPECT_TRUE(near(img.pixel(56, 40), qRgb(255, 255, 255)));

    const std::string grey = d.file("g.JPEG");
    ASSERT_TRUE(quarters(20, 10).convertToFormat(QImage::Format_Grayscale8).save(QString::fromStdString(grey), "JPEG"));
    img = LoadPictureFile(grey);
    ASSERT_EQ(img.size(), QSize(20, 10));
    EXPECT_EQ(qRed(img.pixel(15, 8)), qGreen(img.pixel(15, 8)));
    EXPECT_GT(qRed(img.pixel(15, 8)), 200);

    // Not a JPEG, a missing file, a cut-off header: errors, no crash.
    testutil::writeFile(d.file("bad.jpg"), "this is no picture");
    EXPECT_THROW(DecodeJpegFile(d.file("bad.jpg")), Exception);
    EXPECT_THROW(LoadPictureFile(d.file("missing.jpg")), Exception);
    std::string bytes = testutil::readFile(colour);
    testutil::writeFile(d.file("cut.jpg"), bytes.substr(0, 20));
    EXPECT_THROW(LoadPictureFile(d.file("cut.jpg")), Exception);

    // Other formats go through Qt's readers.
    ASSERT_TRUE(quarters(8, 6).save(QString::fromStdString(d.file("p.bmp")), "BMP"));
    EXPECT_EQ(LoadPictureFile(d.file("p.bmp")).size(), QSize(8, 6));
    testutil::writeFile(d.file("bad.bmp"), "no bitmap");
    EXPECT_THROW(LoadPictureFile(d.file("bad.bmp")), Exception);
}

TEST_F(ModifyFixture, CoverChangeStretchClearAndSave)
{
    open();
    choose("0000000000AAAAAA");
    showPage(3);
    EXPECT_EQ(m().ImgPanel->text(), "Image Not Available");
    EXPECT_FALSE(m().ClearBtn->isEnabled());
    const std::string cover = dir.file("cover.jpg");
    ASSERT_TRUE(quarters(40, 30).save(QString::fromStdString(cover), "JPEG"));

    dialogs.AnswerPath(cover);
    QTest::mouseClick(m().ChangeBtn, Qt::LeftButton);
    auto opens = dialogs.CallsOf(ScriptedDialogs::Kind::OpenFile);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].title, "Open CD Cover Image");
    EXPECT_EQ(opens[0].initialDir, dir.path() + "/CDCovers");
    EXPECT_TRUE(opens[0].fileName.empty());
    EXPECT_EQ(opens[0].filter.substr(0, 44), "All (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*");
    EXPECT_TRUE(testutil::fileExists(dir.path() + "/CDCovers"));
    ASSERT_FALSE(m().CDCoverImg->pixmap().isNull());
    EXPECT_EQ(m().CDCoverImg->pixmap().size(), QSize(40, 30));
    EXPECT_TRUE(m().ImgPanel->text().isEmpty());
    EXPECT_TRUE(m().ClearBtn->isEnabled());
    EXPECT_TRUE(m().StretchBtn->isEnabled());
    EXPECT_TRUE(m().SaveDBBtn->isEnabled());
    EXPECT_EQ(catalogue(), allDiscs());  // only a save writes it

    QTest::mouseClick(m().StretchBtn, Qt::LeftButton);
    EXPECT_TRUE(modify->StretchCover);
    EXPECT_TRUE(m().CDCoverImg->hasScaledContents());
    QTest::mouseClick(m().SaveDBBtn, Qt::LeftButton);
    TMemIniFile ini(dir.file("MIXDECK.ini"));
    EXPECT_EQ(ini.ReadString("0000000000AAAAAA", "coverimg", ""), cover);
    EXPECT_EQ(ini.ReadString("0000000000AAAAAA", "stretchcover", ""), "1");

    // Shown again, stretched as stored; Clear goes back to no picture.
    choose("0000000000CCCCCC");
    choose("0000000000AAAAAA");
    EXPECT_TRUE(m().CDCoverImg->hasScaledContents());
    EXPECT_EQ(m().CDCoverImg->pixmap().size(), QSize(40, 30));
    showPage(3);
    QTest::mouseClick(m().ClearBtn, Qt::LeftButton);
    EXPECT_EQ(m().ImgPanel->text(), "Image Not Available");
    EXPECT_TRUE(m().CDCoverImg->pixmap().isNull());
    EXPECT_TRUE(modify->CoverPath.empty());
    EXPECT_TRUE(m().SaveDBBtn->isEnabled());
}

TEST_F(ModifyFixture, APictureThatCannotBeLoadedChangesNothing)
{
    open();
    choose("0000000000AAAAAA");
    showPage(3);
    const std::string bad = dir.file("bad.bmp");
    testutil::writeFile(bad, "no bitmap");
    dialogs.AnswerPath(bad).AnswerButton(Button::OK);
    QTest::mouseClick(m().ChangeBtn, Qt::LeftButton);
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "MIXDECK");
    EXPECT_TRUE(modify->CoverPath.empty());
    EXPECT_FALSE(m().SaveDBBtn->isEnabled());
    EXPECT_EQ(m().ImgPanel->text(), "Image Not Available");
}

TEST_F(ModifyFixture, AMissingCoverKeepsItsStoredPath)
{
    const std::string gone = dir.file("unmounted/cover.jpg");
    testutil::writeFile(dir.file("MIXDECK.ini"),
                        std::string(kGold) + "[0000000000DDDDDD]\r\nartist=Covered\r\ntotaltracks=0\r\ncoverimg=" +
                            gone + "\r\nstretchcover=1\r\n\r\n");
    const std::string before = catalogue();
    open();
    choose("0000000000DDDDDD");
    EXPECT_EQ(m().ImgPanel->text(), "Image Not Available");
    EXPECT_TRUE(m().CDCoverImg->pixmap().isNull());
    EXPECT_FALSE(m().StretchBtn->isEnabled());
    EXPECT_TRUE(m().ClearBtn->isEnabled());  // the stored path can still be cleared
    EXPECT_EQ(catalogue(), before);
    // Saved without a change of the cover, the path stays.
    typeAtEnd(m().CDTitleEdit, "T");
    QTest::mouseClick(m().SaveDBBtn, Qt::LeftButton);
    modify->reject();
    TMemIniFile ini(dir.file("MIXDECK.ini"));
    EXPECT_EQ(ini.ReadString("0000000000DDDDDD", "coverimg", ""), gone);
    EXPECT_EQ(ini.ReadString("0000000000DDDDDD", "title", ""), "UnknownT");
}

// ---- exports -------------------------------------------------------------------------------------------

TEST(ModifyFormExports, ExtensionIsAppendedWhenTheNameDoesNotHoldIt)
{
    struct Case {
        const char *chosen, *extension, *used;
    };
    const Case cases[] = {
        {"/e/list", ".csv", "/e/list.csv"},
        {"/e/list.csv", ".csv", "/e/list.csv"},
        {"/e/list.csv.old", ".csv", "/e/list.csv.old"},  // anywhere in the name
        {"/e/LIST.CSV", ".csv", "/e/LIST.CSV.csv"},      // letter case counts
        {"/e/a.html", ".html", "/e/a.html"},
        {"/e/a.doc", ".docx", "/e/a.doc.docx"},
        {"/e/a.xlsx", ".xlsx", "/e/a.xlsx"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(TModifyForm::ExportFileName(c.chosen, c.extension), c.used) << c.chosen;
}


// The box of a failed export, by the kind of failure: the "please install"
// text only for a program that could not be started.
TEST(ModifyFormExports, FailureTextsByKind)
{
    const std::string install = "OLE server not found. Please install Excel first.";
    auto textOf = [&](const std::function<void()> &fail) {
        try {
            fail();
        } catch (const std::exception &e) {
            return TModifyForm::ExportFailureText(e, install);
        }
        return std::string("no error");
    };
    auto missingServer = [] {
        try {
            throw EOleSysError("Invalid class string");
        } catch (const EOleSysError &) {
            std::throw_with_nested(Exception("Word OLE server not found"));
        }
    };
    EXPECT_EQ(textOf(missingServer), install);
    EXPECT_EQ(textOf([] { throw EOleSysError("Invalid class string"); }), install);
    // The same texts without the server's failure as their cause are what
    // they say.
    EXPECT_EQ(textOf([] { throw EEnhListViewError("Excel OLE server not found"); }), "Excel OLE server not found");
    EXPECT_EQ(textOf([] { throw EOleException("Cannot create file /e/x.xlsx: Permission denied"); }),
              "Cannot create file /e/x.xlsx: Permission denied");
    EXPECT_EQ(textOf([] { throw EEnhListViewError("Cannot create file /e/x.html: Is a directory"); }),
              "Cannot create file /e/x.html: Is a directory");
    EXPECT_EQ(textOf([] { throw std::bad_alloc(); }), "Not enough memory to complete the export.");
}

TEST_F(ModifyFixture, ListExportsUseTheExportsFolderAndHideThePanelOnEveryPath)
{
    open();
    // windowBox: whether the window shows the error itself, or leaves it to
    // the standard handling.
    struct Item {
        QAction *action;
        TModifyForm::ListExport kind;
        const char *filter, *extension;
        bool windowBox;
    };
    const Item items[] = {
        {m().ExportHTMLMenuItem, TModifyForm::ListExport::HTML, "HTML Files (*.html)|*.html", ".html", true},
        {m().ExportDOCMenuItem, TModifyForm::ListExport::DOC, "DOC Files (*.docx)|*.docx", ".docx", true},
        {m().ExportXLSMenuItem, TModifyForm::ListExport::XLS, "XLS Files (*.xlsx)|*.xlsx", ".xlsx", true},
        {m().ExportCSVMenuItem, TModifyForm::ListExport::CSV, "CSV Files (*.csv)|*.csv", ".csv", false},
    };
    EXPECT_EQ(modify->ExportPopUpMenu->actions(),
              (QList<QAction *>{m().ExportHTMLMenuItem, m().ExportDOCMenuItem, m().ExportXLSMenuItem,
                                m().ExportCSVMenuItem, m().ExportCDPlyMenuItem}));
    for (const Item &it : items) {
        SCOPED_TRACE(it.extension);
        // Cancelled: nothing happens.
        dialogs.Reset();
        dialogs.AnswerCancel();
        it.action->trigger();
        auto saves = dialogs.CallsOf(ScriptedDialogs::Kind::SaveFile);
        ASSERT_EQ(saves.size(), 1u);
        EXPECT_EQ(saves[0].title, "Export to CSV");
        EXPECT_EQ(saves[0].filter, it.filter);
        EXPECT_EQ(saves[0].initialDir, dir.path() + "/Exports");
        EXPECT_TRUE(saves[0].fileName.empty());
        EXPECT_TRUE(saves[0].options & Dialogs::ofOverwritePrompt);
        EXPECT_TRUE(dialogs.MessageBoxes().empty());

        // Into a folder that does not exist: the export fails and says
        // which file and why; the panel was up while it ran and is gone
        // afterwards.
        dialogs.Reset();
        bool panelDuringBox = false;
        dialogs.OnCall = [&](const ScriptedDialogs::Call &c) {
            if (c.kind == ScriptedDialogs::Kind::MessageBox)
                panelDuringBox = m().ExportPanel->isVisible();
        };
        const std::string nowhere = dir.path() + "/no/such/folder/list";
        dialogs.AnswerPath(nowhere).AnswerButton(Button::OK);
        it.action->trigger();
        dialogs.OnCall = nullptr;
        auto boxes = dialogs.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Cannot create file " + nowhere + it.extension + ": No such file or directory");
        EXPECT_EQ(boxes[0].caption, it.windowBox ? "Error" : "MIXDECK");
        // The window's own error box comes while the panel is up; the
        // standard handling's box after it is gone.
        EXPECT_EQ(panelDuringBox, it.windowBox);
        EXPECT_FALSE(m().ExportPanel->isVisible());

        // Into the exports folder: the file is there under its full name.
        {
            dialogs.Reset();
            dialogs.AnswerPath(dir.path() + "/Exports/list");
            it.action->trigger();
            EXPECT_TRUE(dialogs.MessageBoxes().empty());
            const std::string file = dir.path() + "/Exports/list" + it.extension;
            std::string written = testutil::readFile(file);
            if (it.kind == TModifyForm::ListExport::DOC || it.kind == TModifyForm::ListExport::XLS) {
                // Zipped documents: their readers give the cell texts.
                const std::string script = dir.file("cells.py");
                testutil::writeFile(script,
                                    "import sys\n"
                                    "p = sys.argv[1]\n"
                                    "if p.endswith('.docx'):\n"
                                    "    import docx\n"
                                    "    for t in docx.Document(p).tables:\n"
                                    "        for r in t.rows:\n"
                                    "            print('|'.join(c.text for c in r.cells))\n"
                                    "else:\n"
                                    "    import openpyxl\n"
                                    "    for r in openpyxl.load_workbook(p).active.iter_rows(values_only=True):\n"
                                    "        print('|'.join('' if v is None else str(v) for v in r))\n");
                ASSERT_EQ(testutil::runPython(script, "'" + file + "'", &written), 0);
            }
            // Displayed order, every column, the hidden one too.
            EXPECT_NE(written.find("Abba"), std::string::npos);
            EXPECT_LT(written.find("Gold"), written.find("Last Album"));
            EXPECT_NE(written.find("00000000000D2C3D"), std::string::npos);
            EXPECT_FALSE(m().ExportPanel->isVisible());
        }
    }
    EXPECT_EQ(modify->ExportFilter, "CSV Files (*.csv)|*.csv");
}

// What each failed export says in the window's box: "please install" only
// when the office program could not be started; a file that may not be
// written by its name and the system's reason; what the file format cannot
// hold by the cell and the numbers.
TEST_F(ModifyFixture, AFailedExportSaysWhatFailed)
{
    // A disc whose artist is longer than a spreadsheet cell holds.
    const std::string longArtist(40000, 'x');
    testutil::writeFile(dir.file("MIXDECK.ini"),
                        allDiscs() + "[0000000000DDDDDD]\r\nartist=" + longArtist + "\r\ntitle=Long\r\ntotaltracks=1\r\n\r\n");
    open();
    const std::string exports = dir.path() + "/Exports";
    auto exportTo = [&](QAction *item, const std::string &base) {
        dialogs.Reset();
        dialogs.AnswerPath(base).AnswerButton(Button::OK);
        item->trigger();
        EXPECT_FALSE(m().ExportPanel->isVisible());
        std::string boxes;
        for (const auto &b : dialogs.MessageBoxes())
            boxes += (boxes.empty() ? "" : "|") + b.caption + ": " + b.text;
        return boxes;
    };

    // The spreadsheet refuses the long text, naming it; nothing is written.
    // Rows are sorted by artist: "Abba", "Abba", "Unknown", "xxx...", "Zed".
    EXPECT_EQ(exportTo(m().ExportXLSMenuItem, exports + "/long"),
              "Error: The cell A4 of the sheet Sheet2 holds 40,000 characters, where a cell holds at most 32,767.");
    EXPECT_FALSE(testutil::fileExists(exports + "/long.xlsx"));
    // The document has no such limit: the text is there whole.
    EXPECT_EQ(exportTo(m().ExportDOCMenuItem, exports + "/long"), "");
    std::string out;
    ASSERT_EQ(testutil::runPython(testutil::sourcePath("tests/peers/list_exports.py"), "rows '" + exports + "/long.docx'", &out), 0);
    EXPECT_NE(out.find("\"longest\": 40000"), std::string::npos) << out;
    EXPECT_NE(out.find("\"rows\": 5"), std::string::npos) << out;

    // A name the file cannot take (a folder holds it): the file's name and
    // the system's reason; the folder stays as it was. (The window is opened
    // again without the long disc, so that nothing else fails first.)
    modify->reject();
    testutil::writeFile(dir.file("MIXDECK.ini"), allDiscs());
    open();
    ASSERT_EQ(mkdir((exports + "/taken.docx").c_str(), 0755), 0);
    ASSERT_EQ(mkdir((exports + "/taken.xlsx").c_str(), 0755), 0);
    EXPECT_EQ(exportTo(m().ExportDOCMenuItem, exports + "/taken"),
              "Error: Cannot create file " + exports + "/taken.docx: Is a directory");
    EXPECT_EQ(exportTo(m().ExportXLSMenuItem, exports + "/taken"),
              "Error: Cannot create file " + exports + "/taken.xlsx: Is a directory");

    // Only a program that cannot be started is a program to install.
    for (const char *progId : {"word.application", "excel.application"})
        ole::SetOleServerAvailable(progId, false);
    const std::string docBox = exportTo(m().ExportDOCMenuItem, exports + "/none");
    const std::string xlsBox = exportTo(m().ExportXLSMenuItem, exports + "/none");
    for (const char *progId : {"word.application", "excel.application"})
        ole::ResetOleServer(progId);
    EXPECT_EQ(docBox, "Error: OLE server not found. Please install Word first.");
    EXPECT_EQ(xlsBox, "Error: OLE server not found. Please install Excel first.");
    EXPECT_FALSE(testutil::fileExists(exports + "/none.docx"));
    EXPECT_FALSE(testutil::fileExists(exports + "/none.xlsx"));
}

// An export killed half-way leaves its scratch folder in TMPDIR; the next
// document or workbook export removes every such folder whose process has
// ended, keeps those of exports still running, and leaves none of its own.
TEST_F(ModifyFixture, AKilledExportsScratchFolderGoesAtTheNextExport)
{
    testutil::TmpdirOfItsOwn tmp;
    const std::string prefix = officefiles::ScratchPrefix;
    const pid_t ended = fork();
    ASSERT_GE(ended, 0);
    if (ended == 0)
        _exit(0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    const pid_t running = fork();
    ASSERT_GE(running, 0);
    if (running == 0) {
        pause();
        _exit(0);
    }
    for (const auto &[name, owner] : {std::pair{"killed", ended}, std::pair{"running", running}}) {
        const std::string folder = tmp.dir.file(prefix + name);
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        ASSERT_TRUE(ownedtemp::SetOwner(folder, owner));
        testutil::writeFile(folder + "/half.xml", "<half");
    }

    open();
    for (QAction *item : {m().ExportDOCMenuItem, m().ExportXLSMenuItem}) {
        dialogs.Reset();
        dialogs.AnswerPath(dir.path() + "/Exports/list");
        item->trigger();
        EXPECT_TRUE(dialogs.MessageBoxes().empty());
        EXPECT_EQ(tmp.Folders(prefix), std::vector<std::string>{prefix + "running"});
    }
    EXPECT_TRUE(testutil::fileExists(dir.path() + "/Exports/list.docx"));
    EXPECT_TRUE(testutil::fileExists(dir.path() + "/Exports/list.xlsx"));
    kill(running, SIGKILL);
    waitpid(running, nullptr, 0);
}

// A catalogue of a few thousand discs exported as a user does it: the main
// window's Modify CD DB, Export DB, the item chosen with the keys. Every
// disc is in both files, in the list's order. (A catalogue of 100,000 discs
// goes the same way in bench/catalogue_exports.)
TEST_F(ModifyFixture, ACatalogueIsExportedWholeFromTheMainMenu)
{
    const int discs = 2500;
    std::string ini;
    for (int d = 0; d < discs; ++d)
        ini += "[" + Rtl::IntToHex(0x100000 + int64_t(d) * 7919, 16) + "]\r\nartist=Artist " + std::to_string(d) +
               "\r\ntitle=Album " + std::to_string(d) + " \xE9t\xE9 & <live>\r\ntotaltracks=" + std::to_string(1 + d % 20) +
               "\r\n\r\n";
    testutil::writeFile(dir.file("MIXDECK.ini"), ini);
    form->ModifyForm = modify.get();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));

    std::vector<std::string> boxes;
    QJsonArray shown;  // the list's rows as the readers give them
    QTimer::singleShot(0, modify.get(), [&] {
        for (int r = 0; r < m().CDDBView->Items.Count(); ++r) {
            QJsonArray row;
            for (int c = 0; c < 4; ++c)
                row.append(FromAnsi(m().CDDBView->Items[r]->CellText(c)));
            shown.append(row);
        }
        for (QAction *item : {m().ExportDOCMenuItem, m().ExportXLSMenuItem}) {
            dialogs.AnswerPath(dir.path() + "/Exports/all");
            QTest::mouseClick(m().ExportDBBtn, Qt::LeftButton);
            QMenu *menu = modify->ExportPopUpMenu;
            for (int i = 0; i < 6 && menu->isVisible() && menu->activeAction() != item; ++i)
                QTest::keyClick(menu, Qt::Key_Down);
            if (menu->activeAction() == item)
                QTest::keyClick(menu, Qt::Key_Return);
            else
                ADD_FAILURE() << "the menu did not offer " << item->text().toStdString();
            menu->hide();
        }
        for (const auto &b : dialogs.MessageBoxes())
            boxes.push_back(b.text);
        QTest::mouseClick(m().ExitBtn, Qt::LeftButton);
    });
    form->findChild<QAction *>("ModifyMenuItem")->trigger();
    EXPECT_FALSE(modify->isVisible());
    EXPECT_TRUE(boxes.empty()) << boxes[0];
    ASSERT_EQ(shown.size(), discs);
    for (const char *file : {"all.docx", "all.xlsx"}) {
        SCOPED_TRACE(file);
        std::string out;
        ASSERT_EQ(testutil::runPython(testutil::sourcePath("tests/peers/list_exports.py"),
                                      "rows '" + dir.path() + "/Exports/" + file + "'", &out),
                  0);
        const QJsonObject got = QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
        EXPECT_EQ(got["rows"].toInt(), discs);
        EXPECT_EQ(got["cols"].toInt(), 4);
        EXPECT_EQ(got["all"].toArray(), shown);
    }
}

TEST_F(ModifyFixture, CDPlayerExportFromTheWindow)
{
    open();
    const std::string target = home.file("cdPlayer.ini");
    testutil::writeFile(target, "[OLD]\r\nartist=gone\r\n\r\n");
    m().ExportHTMLMenuItem->trigger();  // cancelled (unscripted), but sets the filter
    dialogs.Reset();
    dialogs.AnswerPath(target);
    m().ExportCDPlyMenuItem->trigger();
    auto saves = dialogs.CallsOf(ScriptedDialogs::Kind::SaveFile);
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_EQ(saves[0].title, "Export to CSV");
    EXPECT_EQ(saves[0].filter, "HTML Files (*.html)|*.html");
    EXPECT_EQ(saves[0].initialDir, home.path());
    EXPECT_EQ(saves[0].fileName, "cdPlayer.ini");
    EXPECT_TRUE(saves[0].options & Dialogs::ofOverwritePrompt);
    EXPECT_TRUE(dialogs.MessageBoxes().empty());
    const std::string written = testutil::readFile(target);
    EXPECT_EQ(written.find("[OLD]"), std::string::npos);
    EXPECT_EQ(written.substr(0, 59), "[D2C3D]\r\nartist=Zed\r\ntitle=Last Album\r\nnumtracks=3\r\n0=Alpha");
    EXPECT_NE(written.find("[AAAAAA]\r\nartist=Abba\r\ntitle=Gold\r\nnumtracks=1\r\n0=Waterloo\r\n"),
              std::string::npos);
    EXPECT_FALSE(m().ExportPanel->isVisible());
    EXPECT_EQ(catalogue(), allDiscs());

    // A target that cannot be written: the standard error box, the panel gone.
    dialogs.Reset();
    const std::string nowhere = home.path() + "/no/such/cdPlayer.ini";
    dialogs.AnswerPath(nowhere).AnswerButton(Button::OK);
    m().ExportCDPlyMenuItem->trigger();
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Cannot create file " + nowhere);
    EXPECT_FALSE(m().ExportPanel->isVisible());
}

TEST_F(ModifyFixture, ScreenshotOfTheCatalogueWindow)
{
    open();
    const QImage shot = modify->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromStdString(testutil::screenshotPath("catalogue-window.png"))));
}
