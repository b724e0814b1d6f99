// The grabbing window over simulated drives: reading a disc, loading a
// stored entry, the editing rules, Add CD and Add to queue.
#include "DiscdbTestUtil.h"
#include "ui_Main.h"  // before the fixture, so this target generates it
#include "compilation/MainFixture.h"

#include "compilation/Catalogue.h"
#include "discdb/AddCD.h"
#include "discdb/CDDB.h"
#include "platform/Cp1252.h"
#include "platform/IniFiles.h"
#include "ui_AddCD.h"
#include "ui_CDDB.h"

#include <QAction>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>

using Dialogs::Button;

namespace {

const char *kExamplePid = "00000000000D2C3D";

// The example disc as stored: more titles than the disc has tracks, times
// that differ from the disc's, extended texts with a backslash.
const char *kStoredExample =
    "[00000000000D2C3D]\r\nartist=Stored Artist\r\ntitle=Stored Title\r\ntotaltracks=4\r\ntpt=13:48\r\n"
    "revision=4\r\nmodified=0\r\ncategory=Rock\r\ntrack0=First\r\ntime0=09:99\r\ntrack1=Second\r\n"
    "time1=09:99\r\nextt1=one\\ntwo\r\ntrack2=Third\r\ntrack3=Fourth of four\r\n"
    "extd=path C:\\\\new\\tnotes\r\n\r\n";

class GrabFixture : public MainFixture {
protected:
    void SetUp() override
    {
        MainFixture::SetUp();
        testutil::writeFile(dir.file("MIXDECK.ini"), kThreeDiscs);
    }
    void TearDown() override
    {
        grab.reset();
        MainFixture::TearDown();
        aspi::Release();
        unsetenv("MIXDECK_CDROM_SIM");
    }
    // The main window and the grabbing window over the drives, shown.
    void open(const std::vector<std::pair<std::string, std::string>> &drives)
    {
        discdbtest::simulateDrives(sim, drives);
        make();
        grab = std::make_unique<TGrabCDForm>();
        grab->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grab.get()));
    }
    Ui::TGrabCDForm &g() { return *grab->ui; }
    std::string label(QLabel *l) { return ToAnsi(l->text()); }
    void click(QAbstractButton *b)
    {
        ASSERT_TRUE(b->isEnabled()) << b->objectName().toStdString();
        QTest::mouseClick(b, Qt::LeftButton);
    }
    void getTracks() { click(g().GetTracksBtn); }
    // Types the text with key events; a tab and a line feed as their keys.
    void typeInto(QWidget *w, const QString &s)
    {
        w->setFocus();
        for (QChar c : s) {
            if (c == '\t')
                QTest::keyClick(w, Qt::Key_Tab);
            else if (c == '\n')
                QTest::keyClick(w, Qt::Key_Return);
            else
                QTest::keyClicks(w, QString(c));
        }
    }
    // Moves the focus away from the field being edited.
    void leave() { g().TracksList->setFocus(); }
    std::vector<std::string> rows(TEnhListView *v)
    {
        std::vector<std::string> r;
        for (int i = 0; i < v->Items.Count(); ++i)
            r.push_back(v->Items[i]->Caption() + (v->Columns.Count() > 1 ? "|" + v->Items[i]->CellText(1) : ""));
        return r;
    }
    std::string catalogue() { return testutil::readFile(dir.file("MIXDECK.ini")); }
    std::string key(const std::string &pid, const std::string &k)
    {
        TMemIniFile ini(dir.file("MIXDECK.ini"));
        return ini.ReadString(pid, k, "<missing>");
    }
    void clickRow(TEnhListView *list, int row)
    {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->GetItemRect(row, 0).center());
    }
    void noDiscState()
    {
        EXPECT_FALSE(g().ArtistEdit->isEnabled());
        EXPECT_FALSE(g().CDTitleEdit->isEnabled());
        EXPECT_FALSE(g().AddCDBtn->isEnabled());
        EXPECT_FALSE(g().AddQueueBtn->isEnabled());
        EXPECT_FALSE(g().CDDBBtn->isEnabled());
        EXPECT_FALSE(g().CategBox->isEnabled());
        EXPECT_FALSE(g().TracksPage->isEnabled());
        EXPECT_TRUE(g().GetTracksBtn->isEnabled());
        EXPECT_EQ(label(g().PIDStatic), "");
        EXPECT_EQ(g().TracksList->Items.Count(), 0);
    }

    testutil::TempDir sim;
    std::unique_ptr<TGrabCDForm> grab;
};

TEST_F(GrabFixture, DriveListHasOneItemPerDrive)
{
    open({{"sr0", "example"}});
    ASSERT_EQ(g().CDToUse->count(), 1);
    EXPECT_EQ(ToAnsi(g().CDToUse->itemText(0)), " sr0: (00:00:00) MIXDECK Simulated CD 1.0");
    EXPECT_FALSE(g().CDToUse->isEnabled());
    grab.reset();
    open({{"sr0", "example"}, {"sr1", "single"}});
    ASSERT_EQ(g().CDToUse->count(), 2);
    EXPECT_TRUE(g().CDToUse->isEnabled());
    EXPECT_EQ(g().CDToUse->currentIndex(), 0);
    // The categories of a missing settings file: the built-in list, and the
    // file is not made by reading it.
    EXPECT_EQ(g().CategBox->count(), 12);
    EXPECT_EQ(ToAnsi(g().CategBox->itemText(10)), " rock");
    EXPECT_FALSE(testutil::fileExists(dir.file("CDDB.ini")));
}

TEST_F(GrabFixture, CategoriesComeFromTheSettingsFile)
{
    testutil::writeFile(dir.file("CDDB.ini"), "[CDDB Options]\r\ncateglist= , jazz, rock,dropped\r\n");
    open({{"sr0", "example"}});
    ASSERT_EQ(g().CategBox->count(), 3);
    EXPECT_EQ(ToAnsi(g().CategBox->itemText(0)), " ");
    EXPECT_EQ(ToAnsi(g().CategBox->itemText(2)), " rock");
}

TEST_F(GrabFixture, FirstCategoryIsTheBlankOfNoCategory)
{
    // The file keeps no leading blank, so the list read from it starts with
    // an empty item; the window shows the single blank of the built-in list
    // all the same: read alone, through the options window, and from the
    // default file the options window writes.
    const std::string builtIn = "[CDDB Options]\r\ncateglist=, blues, classical, country, data, folk, jazz, misc, "
                                "newage, reggae, rock, soundtrack,\r\n";
    testutil::writeFile(dir.file("CDDB.ini"), builtIn);
    testutil::writeFile(dir.file("MIXDECK.ini"), kStoredExample);
    open({{"sr0", "example"}});
    ASSERT_EQ(g().CategBox->count(), 12);
    EXPECT_EQ(ToAnsi(g().CategBox->itemText(0)), " ");
    grab->hide();
    std::remove(dir.file("CDDB.ini").c_str());
    TCDDBOptForm options(form->CDDBIniFile, g().CategBox);
    EXPECT_TRUE(testutil::fileExists(dir.file("CDDB.ini")));
    grab->LoadSettings = [&options] { options.LoadCDDBOptions(); };
    grab->show();
    ASSERT_EQ(g().CategBox->count(), 12);
    EXPECT_EQ(ToAnsi(g().CategBox->itemText(0)), " ");
    grab->LoadSettings = nullptr;
    grab->hide();
    grab->show();
    EXPECT_EQ(ToAnsi(g().CategBox->itemText(0)), " ");
    // Chosen with the keys, the blank item stores no category (the disc had
    // one), and the file keeps its form when the options are saved.
    getTracks();
    EXPECT_EQ(ToAnsi(g().CategBox->currentText()), " rock");
    g().CategBox->setFocus();
    QTest::keyClick(g().CategBox, Qt::Key_End);
    QTest::keyClick(g().CategBox, Qt::Key_Home);
    EXPECT_EQ(g().CategBox->currentIndex(), 0);
    click(g().AddCDBtn);
    EXPECT_EQ(key(kExamplePid, "category"), "");
    options.show();
    QTest::mouseClick(options.ui->OkBtn, Qt::LeftButton);
    EXPECT_NE(testutil::readFile(dir.file("CDDB.ini")).find("\r\ncateglist=, blues, classical,"), std::string::npos);
}

TEST_F(GrabFixture, OptionsWindowFillsTheCategoriesOnEveryShow)
{
    open({{"sr0", "example"}});
    // Wired as at start-up: the options window holds the category list in
    // this window's box and reloads the file whenever this window shows.
    TCDDBOptForm options(form->CDDBIniFile, g().CategBox);
    grab->LoadSettings = [&options] { options.LoadCDDBOptions(); };
    EXPECT_TRUE(testutil::fileExists(dir.file("CDDB.ini")));  // first start: the defaults
    EXPECT_EQ(g().CategBox->count(), 12);
    grab->hide();
    testutil::writeFile(dir.file("CDDB.ini"), "[CDDB Options]\r\ncateglist=, folk, rock,\r\n");
    grab->show();
    ASSERT_EQ(g().CategBox->count(), 3);
    EXPECT_EQ(ToAnsi(g().CategBox->itemText(1)), " folk");
    // Cancel in the options window restores the file's list here too.
    options.show();
    g().CategBox->addItem("unsaved");
    QTest::mouseClick(options.ui->CancelBtn, Qt::LeftButton);
    EXPECT_EQ(g().CategBox->count(), 3);
    grab->LoadSettings = nullptr;
}

TEST_F(GrabFixture, GetTracksShowsANewDisc)
{
    open({{"sr0", "example"}});
    getTracks();
    EXPECT_EQ(label(g().PIDStatic), kExamplePid);
    EXPECT_EQ(label(g().DiscIdStatic), "20033a03");
    EXPECT_EQ(label(g().TPTStatic), "13:48");
    EXPECT_EQ(label(g().TTStatic), "3");
    EXPECT_EQ(label(g().RevisionStatic), "0");
    EXPECT_EQ(rows(g().TracksList), (std::vector<std::string>{"Track 01|04:35", "Track 02|04:28", "Track 03|04:43"}));
    EXPECT_EQ(rows(g().EXTTList), (std::vector<std::string>{"Track 01", "Track 02", "Track 03"}));
    EXPECT_EQ(grab->FrameOffsets[1], "150");
    EXPECT_EQ(grab->FrameOffsets[3], "40915");
    EXPECT_EQ(grab->DiscSeconds, "828");
    EXPECT_EQ(grab->DiscIdText, "20033a03");
    EXPECT_TRUE(g().ArtistEdit->isEnabled());
    EXPECT_TRUE(g().AddQueueBtn->isEnabled());
    EXPECT_TRUE(g().CDDBBtn->isEnabled());
    EXPECT_TRUE(g().TracksPage->isEnabled());
    EXPECT_FALSE(g().AddCDBtn->isEnabled());  // until artist and title are typed
    EXPECT_FALSE(g().GetTracksBtn->isDefault());
    EXPECT_EQ(ToAnsi(g().ImgPanel->text()), "Image Not Available");
    EXPECT_EQ(dialogs.MessageBoxes().size(), 0u);
}

TEST_F(GrabFixture, GetTracksLoadsAStoredEntryWithTheDiscsTimes)
{
    testutil::writeFile(dir.file("MIXDECK.ini"), kStoredExample);
    open({{"sr0", "example"}});
    getTracks();
    EXPECT_EQ(ToAnsi(g().ArtistEdit->text()), "Stored Artist");
    EXPECT_EQ(ToAnsi(g().CDTitleEdit->text()), "Stored Title");
    EXPECT_EQ(label(g().RevisionStatic), "4");
    EXPECT_EQ(ToAnsi(g().CategBox->currentText()), " rock");
    EXPECT_EQ(rows(g().TracksList), (std::vector<std::string>{"First|04:35", "Second|04:28", "Third|04:43"}));
    EXPECT_EQ(ToAnsi(g().EXTDMemo->toPlainText()), "path C:\\new\tnotes");
    EXPECT_TRUE(g().AddCDBtn->isEnabled());
    EXPECT_EQ(label(g().DiscIdStatic), "20033a03");
}

TEST_F(GrabFixture, AnUnknownStoredCategoryLeavesTheSelection)
{
    std::string stored = kStoredExample;
    stored.replace(stored.find("category=Rock"), 13, "category=polka");
    testutil::writeFile(dir.file("MIXDECK.ini"), stored);
    open({{"sr0", "example"}});
    g().CategBox->setCurrentIndex(3);
    getTracks();
    EXPECT_EQ(g().CategBox->currentIndex(), 3);
}

TEST_F(GrabFixture, NoDiscNoAudioOrABrokenDriveSaysSo)
{
    open({{"sr0", "empty"}, {"sr1", "truncated"}, {"sr2", "claims255"}, {"sr3", "zero"}});
    for (int d = 0; d < 4; ++d) {
        SCOPED_TRACE(d);
        g().CDToUse->setCurrentIndex(d);
        dialogs.Reset();
        getTracks();
        ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
        EXPECT_EQ(dialogs.MessageBoxes()[0].text, "No AudioCD or no CD inserted!!");
        EXPECT_EQ(dialogs.MessageBoxes()[0].caption, "Error");
        noDiscState();
    }
}

TEST_F(GrabFixture, GetTracksWithoutAnyDrive)
{
    open({});
    EXPECT_EQ(g().CDToUse->count(), 0);
    getTracks();
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_EQ(dialogs.MessageBoxes()[0].text, "No AudioCD or no CD inserted!!");
    noDiscState();
}

TEST_F(GrabFixture, DataTracksAreListedUpToTheLastAudioTrack)
{
    open({{"sr0", "data_first"}, {"sr1", "data_last"}});
    getTracks();
    EXPECT_EQ(label(g().TTStatic), "4");
    EXPECT_EQ(rows(g().TracksList), (std::vector<std::string>{"Track 01|--:--", "Track 02|04:30", "Track 03|03:30",
                                                              "Track 04|03:15"}));
    g().CDToUse->setCurrentIndex(1);
    getTracks();
    EXPECT_EQ(label(g().TTStatic), "3");
    EXPECT_EQ(rows(g().TracksList), (std::vector<std::string>{"Track 01|03:38", "Track 02|03:21", "Track 03|02:29"}));
}

TEST_F(GrabFixture, AddCDWritesTheEntryAndDiscardsTheCompilation)
{
    open({{"sr0", "example"}});
    getTracks();
    typeInto(g().ArtistEdit, "New Artist");
    EXPECT_FALSE(g().AddCDBtn->isEnabled());
    typeInto(g().CDTitleEdit, "New Title");
    EXPECT_TRUE(g().AddCDBtn->isEnabled());
    g().CategBox->setCurrentIndex(10);  // " rock"
    typeInto(g().EXTDMemo, "C:\\new\tdir\nsecond");
    leave();
    EXPECT_EQ(label(g().RevisionStatic), "1");

    // A compilation exists: No writes nothing and keeps the window.
    form->CompilationLoaded = true;
    const std::string before = catalogue();
    dialogs.AnswerButton(Button::No);
    click(g().AddCDBtn);
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_EQ(dialogs.MessageBoxes()[0].text, "Are you sure? Current compilation will be lost!");
    EXPECT_EQ(dialogs.MessageBoxes()[0].owner, grab.get());
    EXPECT_EQ(catalogue(), before);
    EXPECT_EQ(label(g().PIDStatic), kExamplePid);
    EXPECT_TRUE(form->CompilationLoaded);

    dialogs.AnswerButton(Button::Yes);
    click(g().AddCDBtn);
    EXPECT_EQ(dialogs.UnscriptedCount(), 0);
    TMemIniFile ini(dir.file("MIXDECK.ini"));
    TStringList keys;
    ini.ReadSectionValues(kExamplePid, keys);
    EXPECT_EQ(keys.ToVector(),
              (std::vector<std::string>{"artist=New Artist", "title=New Title", "totaltracks=3", "revision=1",
                                        "modified=1", "tpt=13:48", "category=rock", "coverimg=",
                                        "stretchcover=0", "extd=C:\\\\new\\tdir\\nsecond", "track0=Track 01",
                                        "time0=04:35", "extt0=", "track1=Track 02", "time1=04:28", "extt1=",
                                        "track2=Track 03", "time2=04:43", "extt2="}));
    // The other discs stay; the compilation is gone and the panes reloaded.
    EXPECT_EQ(key("00000000000C3B2B", "artist"), "Artist One");
    EXPECT_FALSE(form->CompilationLoaded);
    EXPECT_EQ(ui().CompilationName->text().toStdString(), "None");
    EXPECT_EQ(ui().CD1Select->count(), 4);
    noDiscState();
}

TEST_F(GrabFixture, AddCDKeepsStoredTitlesBeyondTheTrackCountAndAnEmptyCategory)
{
    testutil::writeFile(dir.file("MIXDECK.ini"), kStoredExample);
    open({{"sr0", "example"}});
    getTracks();
    g().CategBox->setCurrentIndex(0);
    click(g().AddCDBtn);
    EXPECT_EQ(key(kExamplePid, "totaltracks"), "3");
    EXPECT_EQ(key(kExamplePid, "track3"), "Fourth of four");
    EXPECT_EQ(key(kExamplePid, "category"), "");
    EXPECT_EQ(key(kExamplePid, "time0"), "04:35");
    EXPECT_EQ(key(kExamplePid, "revision"), "4");
    EXPECT_EQ(key(kExamplePid, "modified"), "0");
    // Stored texts come back in the one stored form.
    EXPECT_EQ(key(kExamplePid, "extd"), "path C:\\\\new\\tnotes");
    EXPECT_EQ(key(kExamplePid, "extt1"), "one\\ntwo");
    EXPECT_TRUE(dialogs.MessageBoxes().empty());
}

TEST_F(GrabFixture, AddToQueueWritesTheSection)
{
    open({{"sr0", "example_in_queue"}});
    getTracks();
    click(g().AddQueueBtn);
    const std::string section =
        "[0000000000030C11]\r\ndiscid=0c016602\r\nTotalTracks=2\r\ncategory=N/A\r\nqueried=No\r\n"
        "founded=N/A\r\ntrkframeoffs=150 14267 360\r\ntpt=06:00\r\ntime0=03:08\r\ntime1=02:50\r\n";
    EXPECT_EQ(testutil::readFile(dir.file("Queue.ini")), section);
    EXPECT_EQ(grab->StatusText(), "Entry successfully queued...");
    EXPECT_TRUE(grab->MsgTimer->isActive());
    EXPECT_EQ(grab->MsgTimer->interval(), 3000);
    grab->MsgTimerTimer();
    EXPECT_EQ(grab->StatusText(), "");
    EXPECT_FALSE(grab->MsgTimer->isActive());

    // Queued again with a category: one section, the marks new again.
    g().CategBox->setCurrentIndex(10);
    click(g().AddQueueBtn);
    TIniFile queue(dir.file("Queue.ini"));
    TStringList sections;
    queue.ReadSections(sections);
    EXPECT_EQ(sections.Count(), 1);
    EXPECT_EQ(queue.ReadString("0000000000030C11", "category", ""), "rock");
    // Neither the catalogue nor the compilation is touched.
    EXPECT_EQ(catalogue(), kThreeDiscs);
}

TEST_F(GrabFixture, NoTemporaryFilesRemain)
{
    testutil::writeFile(dir.file("MIXDECK.ini"), kStoredExample);
    open({{"sr0", "example"}});
    getTracks();
    clickRow(g().EXTTList, 1);  // shows a stored track text
    click(g().AddQueueBtn);
    click(g().AddCDBtn);
    const QStringList files = QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden);
    EXPECT_EQ(files, (QStringList{"MIXDECK.ini", "Queue.ini"}));
}

TEST_F(GrabFixture, RevisionGrowsOnceForTheFirstChange)
{
    open({{"sr0", "example"}});
    getTracks();
    typeInto(g().ArtistEdit, "a");
    leave();
    typeInto(g().ArtistEdit, "b");
    leave();
    EXPECT_EQ(label(g().RevisionStatic), "1");
    EXPECT_TRUE(grab->Modified);
}

TEST_F(GrabFixture, LetterCaseCountsForTitlesOnly)
{
    testutil::writeFile(dir.file("MIXDECK.ini"), kStoredExample);
    open({{"sr0", "example"}});
    getTracks();
    // Leaving without a change, and a change of letter case only.
    g().ArtistEdit->setFocus();
    leave();
    g().CDTitleEdit->setFocus();
    g().CDTitleEdit->selectAll();
    QTest::keyClicks(g().CDTitleEdit, "STORED TITLE");
    leave();
    EXPECT_EQ(label(g().RevisionStatic), "4");
    // A track title whose letter case changes, edited after F2.
    clickRow(g().TracksList, 0);
    QTest::keyClick(g().TracksList, Qt::Key_F2);
    QLineEdit *editor = nullptr;
    for (QLineEdit *e : g().TracksList->viewport()->findChildren<QLineEdit *>())
        if (e->isVisible())
            editor = e;
    ASSERT_NE(editor, nullptr);
    QTest::keyClick(editor, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(editor, "FIRST");
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();  // the editor commits from a queued call
    EXPECT_EQ(g().TracksList->Items[0]->Caption(), "FIRST");
    EXPECT_EQ(label(g().RevisionStatic), "5");
    EXPECT_EQ(g().EXTTList->Items[0]->Caption(), "First");  // keeps the loaded title
}

TEST_F(GrabFixture, ModifiedEntryKeepsItsRevision)
{
    std::string stored = kStoredExample;
    stored.replace(stored.find("modified=0"), 10, "modified=1");
    testutil::writeFile(dir.file("MIXDECK.ini"), stored);
    open({{"sr0", "example"}});
    getTracks();
    typeInto(g().ArtistEdit, "x");
    leave();
    EXPECT_EQ(label(g().RevisionStatic), "4");
}

TEST_F(GrabFixture, EmptyingTheArtistDisablesAddCD)
{
    testutil::writeFile(dir.file("MIXDECK.ini"), kStoredExample);
    open({{"sr0", "example"}});
    getTracks();
    g().ArtistEdit->setFocus();
    g().ArtistEdit->selectAll();
    QTest::keyClick(g().ArtistEdit, Qt::Key_Delete);
    EXPECT_FALSE(g().AddCDBtn->isEnabled());
    QTest::keyClicks(g().ArtistEdit, "Z");
    EXPECT_TRUE(g().AddCDBtn->isEnabled());
}

TEST_F(GrabFixture, ExtendedTrackTexts)
{
    testutil::writeFile(dir.file("MIXDECK.ini"), kStoredExample);
    open({{"sr0", "example"}});
    getTracks();
    g().TracksPage->setCurrentWidget(g().ExtentedTrksSheet);
    EXPECT_FALSE(g().EXTMemo->isEnabled());
    clickRow(g().EXTTList, 1);
    EXPECT_TRUE(g().EXTMemo->isEnabled());
    EXPECT_EQ(ToAnsi(g().EXTMemo->toPlainText()), "one\ntwo");
    // Typed text for track 0, then back to track 1 and its text is kept.
    clickRow(g().EXTTList, 0);
    EXPECT_EQ(ToAnsi(g().EXTMemo->toPlainText()), "");
    typeInto(g().EXTMemo, "a\\b\nc");
    clickRow(g().EXTTList, 1);
    clickRow(g().EXTTList, 0);
    EXPECT_EQ(ToAnsi(g().EXTMemo->toPlainText()), "a\\b\nc");
    EXPECT_EQ(label(g().RevisionStatic), "5");
    // Leaving the page leaves no row selected and the memo empty.
    g().TracksPage->setCurrentIndex(0);
    EXPECT_EQ(g().EXTTList->Selected(), nullptr);
    EXPECT_FALSE(g().EXTMemo->isEnabled());
    EXPECT_EQ(g().EXTMemo->toPlainText(), "");
    click(g().AddCDBtn);
    EXPECT_EQ(key(kExamplePid, "extt0"), "a\\\\b\\nc");
    EXPECT_EQ(key(kExamplePid, "extt1"), "one\\ntwo");
}

TEST_F(GrabFixture, CoverButtons)
{
    open({{"sr0", "example"}});
    getTracks();
    g().TracksPage->setCurrentWidget(g().CDCoverSheet);
    const std::string picture = dir.file("cover.png");
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(QString::fromStdString(picture)));

    dialogs.AnswerPath(picture);
    click(g().ChangeBtn);
    ASSERT_EQ(dialogs.CallsOf(ScriptedDialogs::Kind::OpenFile).size(), 1u);
    const auto call = dialogs.CallsOf(ScriptedDialogs::Kind::OpenFile)[0];
    EXPECT_EQ(call.title, "Open CD Cover Image");
    EXPECT_EQ(call.initialDir, dir.file("CDCovers"));
    EXPECT_TRUE(QDir(QString::fromStdString(dir.file("CDCovers"))).exists());
    EXPECT_EQ(grab->CoverPath, picture);
    EXPECT_TRUE(g().ClearBtn->isEnabled());
    EXPECT_EQ(g().ImgPanel->text(), "");
    click(g().StretchBtn);
    EXPECT_TRUE(grab->StretchCover);
    // Cancelling keeps the cover.
    dialogs.AnswerCancel();
    click(g().ChangeBtn);
    EXPECT_EQ(grab->CoverPath, picture);
    EXPECT_TRUE(grab->StretchCover);
    typeInto(g().ArtistEdit, "A");
    typeInto(g().CDTitleEdit, "T");
    click(g().AddCDBtn);
    EXPECT_EQ(key(kExamplePid, "coverimg"), picture);
    EXPECT_EQ(key(kExamplePid, "stretchcover"), "1");

    // A stored cover that cannot be loaded stays in the catalogue.
    ASSERT_EQ(::unlink(picture.c_str()), 0);
    const std::string before = catalogue();
    getTracks();
    EXPECT_EQ(ToAnsi(g().ImgPanel->text()), "Image Not Available");
    EXPECT_TRUE(g().ClearBtn->isEnabled());
    EXPECT_FALSE(g().StretchBtn->isEnabled());
    EXPECT_EQ(catalogue(), before);
    click(g().ClearBtn);
    EXPECT_EQ(grab->CoverPath, "");
    EXPECT_FALSE(g().ClearBtn->isEnabled());
}

TEST_F(GrabFixture, ShowingReloadsSettingsAndClosingResets)
{
    open({{"sr0", "example"}});
    int loads = 0;
    grab->LoadSettings = [&] { ++loads; };
    int lookups = 0;
    grab->GetFromInternet = [&] { ++lookups; };
    getTracks();
    grab->ui->Get_MenuItem->trigger();
    EXPECT_EQ(lookups, 1);
    click(g().ExitBtn);
    EXPECT_FALSE(grab->isVisible());
    noDiscState();
    grab->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(grab.get()));
    EXPECT_EQ(loads, 1);
    EXPECT_EQ(grab->Revision, 0);
    EXPECT_FALSE(grab->Modified);
}

TEST_F(GrabFixture, ExchangeControlsAndReset)
{
    open({{"sr0", "example"}});
    getTracks();
    grab->EnableExchangeControls(false);
    for (QWidget *w : {static_cast<QWidget *>(g().GetTracksBtn), static_cast<QWidget *>(g().ExitBtn),
                       static_cast<QWidget *>(g().TracksPage), static_cast<QWidget *>(g().AddCDBtn)})
        EXPECT_FALSE(w->isEnabled());
    grab->EnableExchangeControls(true);
    EXPECT_TRUE(g().AddCDBtn->isEnabled());  // also with artist and title empty
    typeInto(g().ArtistEdit, "x");
    EXPECT_FALSE(g().AddCDBtn->isEnabled());
}

TEST(GrabCDForm, SplitQueryAndLeadingZero)
{
    std::array<std::string, 100> offsets;
    std::string seconds;
    TGrabCDForm::SplitQuery("3 150 20796 40915 828", 3, offsets, seconds);
    EXPECT_EQ(offsets[1], "150");
    EXPECT_EQ(offsets[2], "20796");
    EXPECT_EQ(offsets[3], "40915");
    EXPECT_EQ(seconds, "828");
    offsets.fill("");
    TGrabCDForm::SplitQuery("0 0", 5, offsets, seconds);  // more tracks than words
    EXPECT_EQ(offsets[1], "");
    EXPECT_EQ(seconds, "0");
    EXPECT_EQ(TGrabCDForm::LeadingZero(9), "09");
    EXPECT_EQ(TGrabCDForm::LeadingZero(10), "10");
}

} // namespace

namespace {

TEST_F(GrabFixture, MainMenuOpensTheWindowModallyOverTheMainWindow)
{
    discdbtest::simulateDrives(sim, {{"sr0", "example"}});
    make();
    grab = std::make_unique<TGrabCDForm>();
    form->GrabCDForm = grab.get();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    bool seen = false;
    QTimer::singleShot(0, grab.get(), [&] {
        seen = grab->isVisible() && grab->isModal() && QApplication::activeModalWidget() == grab.get();
        const QPoint centre = form->frameGeometry().center();
        EXPECT_LE(std::abs(grab->frameGeometry().center().x() - centre.x()), 1);
        EXPECT_EQ(grab->ui->CategBox->count(), 12);  // the settings were read as it was shown
        QTest::mouseClick(grab->ui->ExitBtn, Qt::LeftButton);
    });
    ui().GrabCDMenuItem->trigger();
    EXPECT_TRUE(seen);
    EXPECT_FALSE(grab->isVisible());
}

} // namespace

namespace {

TEST_F(GrabFixture, FilesThatCannotBeWrittenAreReported)
{
    open({{"sr0", "example"}});
    getTracks();
    typeInto(g().ArtistEdit, "A");
    typeInto(g().CDTitleEdit, "T");
    // A folder where the queue file should be: nothing is queued.
    ASSERT_EQ(::mkdir(dir.file("Queue.ini").c_str(), 0755), 0);
    click(g().AddQueueBtn);
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_EQ(dialogs.MessageBoxes()[0].text, "Error saving QUEUE.ini");
    EXPECT_EQ(grab->StatusText(), "");
    // The catalogue cannot be read: nothing is written, the compilation and
    // the window stay.
    form->CompilationLoaded = true;
    ASSERT_EQ(::unlink(dir.file("MIXDECK.ini").c_str()), 0);
    ASSERT_EQ(::mkdir(dir.file("MIXDECK.ini").c_str(), 0755), 0);
    dialogs.AnswerButton(Button::Yes);
    click(g().AddCDBtn);
    ASSERT_EQ(dialogs.MessageBoxes().size(), 3u);
    EXPECT_EQ(dialogs.MessageBoxes()[2].text, "Error opening MIXDECK.ini");
    EXPECT_TRUE(form->CompilationLoaded);
    EXPECT_EQ(label(g().PIDStatic), kExamplePid);
}

} // namespace

namespace {

TEST_F(GrabFixture, ScreenshotOfTheGrabbingWindow)
{
    testutil::writeFile(dir.file("MIXDECK.ini"), kStoredExample);
    open({{"sr0", "example"}});
    getTracks();
    const QImage shot = grab->grab().toImage();
    ASSERT_FALSE(shot.isNull());
    EXPECT_TRUE(shot.save(QString::fromStdString(testutil::screenshotPath("grabbing-window.png"))));
}

} // namespace

namespace {
// Qt's complaints about editors handed to a view they do not belong to.
QStringList g_editorWarnings;
QtMessageHandler g_previousHandler = nullptr;
void editorWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.contains("editor that does not belong to this view"))
        g_editorWarnings << message;
    g_previousHandler(type, context, message);
}
} // namespace

// Track titles edited the ways a user ends an edit (a move with the arrow
// key, Return, Enter after a click on the selected row) land in the track
// list they were typed in, and no view is handed another's editor.
TEST_F(GrabFixture, TrackTitleEditsStayInTheirOwnList)
{
    g_editorWarnings.clear();
    g_previousHandler = qInstallMessageHandler(editorWarnings);
    testutil::writeFile(dir.file("MIXDECK.ini"), kStoredExample);
    open({{"sr0", "example"}});
    getTracks();
    TEnhListView *tracks = g().TracksList;
    auto editor = [&]() -> QLineEdit * {
        QCoreApplication::processEvents();
        for (QLineEdit *e : tracks->viewport()->findChildren<QLineEdit *>())
            if (e->isVisible())
                return e;
        return nullptr;
    };
    auto type = [&](const char *text, Qt::Key end) {
        QLineEdit *e = editor();
        ASSERT_NE(e, nullptr) << text;
        QTest::keyClick(e, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(e, text);
        QTest::keyClick(e, end);
        QCoreApplication::processEvents();
    };
    clickRow(tracks, 0);
    QTest::keyClick(tracks, Qt::Key_F2);
    type("One", Qt::Key_Down);
    QTest::keyClick(tracks, Qt::Key_F2);
    type("Two", Qt::Key_Return);
    clickRow(tracks, 2);
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    clickRow(tracks, 2);   // a click on the selected row edits it
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    type("Three", Qt::Key_Enter);
    qInstallMessageHandler(g_previousHandler);

    EXPECT_EQ(tracks->Items[0]->Caption(), "One");
    EXPECT_EQ(tracks->Items[1]->Caption(), "Two");
    EXPECT_EQ(tracks->Items[2]->Caption(), "Three");
    EXPECT_EQ(g().EXTTList->Items[0]->Caption(), "First");
    EXPECT_TRUE(g_editorWarnings.isEmpty()) << g_editorWarnings.join("\n").toStdString();
}
