// The queue window: listing, details of the selected disc, ticking rows by
// hand and in groups, erasing entries, and the marks written on Close.
#include "ui_Main.h"  // before the fixture, so this target generates it
#include "compilation/MainFixture.h"

#include "CddbPeer.h"
#include "compilation/Catalogue.h"
#include "controls/EnhListV.h"
#include "controls/TextFade.h"
#include "discdb/Queue.h"
#include "discdb/QueueFile.h"
#include "platform/Cp1252.h"
#include "platform/IniFiles.h"
#include "ui_Queue.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include <functional>

using Dialogs::Button;

namespace {

// Four entries: A not queried, B queried and found, C queried and not
// found, D without most keys.
const char *kQueue =
    "[00000000000C3B2B]\r\ndiscid=0a000003\r\nTotalTracks=3\r\ncategory=N/A\r\nqueried=No\r\nfounded=N/A\r\n"
    "trkframeoffs=150 4650 27150 720\r\ntpt=12:00\r\ntime0=01:00\r\ntime1=05:00\r\ntime2=06:00\r\n"
    "[0000000000030C11]\r\ndiscid=0c016602\r\nTotalTracks=2\r\ncategory= jazz \r\nqueried=Yes\r\nfounded=Yes\r\n"
    "trkframeoffs=150 14267 360\r\ntpt=06:00\r\ntime0=03:08\r\ntime1=02:50\r\n"
    "[0000000000040E1E]\r\ndiscid=0b019002\r\nTotalTracks=2\r\ncategory=N/A\r\nqueried=Yes\r\nfounded=No\r\n"
    "trkframeoffs=150 18930 402\r\ntpt=06:42\r\ntime0=04:10\r\n"
    "[00000000000000DD]\r\nqueried=No\r\n";

class QueueFixture : public MainFixture {
protected:
    void SetUp() override
    {
        MainFixture::SetUp();
        // The catalogue knows A (category rock) and nothing else.
        testutil::writeFile(dir.file("MIXDECK.ini"),
                            std::string(kThreeDiscs) + "[00000000000C3B2B]\r\ncategory=rock\r\nextd=line one\\nline two\r\n"
                                                       "extt1=song text\r\n");
    }
    void TearDown() override
    {
        queue.reset();
        MainFixture::TearDown();
    }
    void open(const char *queueText = kQueue)
    {
        if (queueText)
            testutil::writeFile(dir.file("Queue.ini"), queueText);
        make();
        queue = std::make_unique<TQueueForm>();
        queue->Settings = [this] { return options; };
        queue->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(queue.get()));
    }
    Ui::TQueueForm &q() { return *queue->ui; }
    TEnhListView *list() { return q().QueueEntriesView; }
    std::string label(QLabel *l) { return ToAnsi(l->text()); }
    std::vector<std::string> rows()
    {
        std::vector<std::string> r;
        for (int i = 0; i < list()->Items.Count(); ++i) {
            std::string s = list()->Items[i]->Caption();
            for (int c = 1; c < 8; ++c)
                s += "|" + list()->Items[i]->CellText(c);
            r.push_back(s);
        }
        return r;
    }
    std::vector<std::string> captions(TEnhListView *v, bool withTime = false)
    {
        std::vector<std::string> r;
        for (int i = 0; i < v->Items.Count(); ++i)
            r.push_back(v->Items[i]->Caption() + (withTime ? "|" + v->Items[i]->CellText(1) : ""));
        return r;
    }
    // A click on the row's check box / on its text.
    void tick(int row)
    {
        const QModelIndex idx = list()->Model()->index(row, 0);
        QStyleOptionViewItem opt;
        opt.initFrom(list()->viewport());
        opt.rect = list()->visualRect(idx);
        opt.widget = list();
        auto *d = static_cast<TEnhListDelegate *>(list()->itemDelegate());
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, d->checkRect(opt, idx).center());
    }
    void clickRow(int row)
    {
        QTest::mouseClick(list()->viewport(), Qt::LeftButton, Qt::NoModifier, list()->GetItemRect(row, 1).center());
    }
    void click(QAbstractButton *b)
    {
        ASSERT_TRUE(b->isEnabled()) << b->objectName().toStdString();
        QTest::mouseClick(b, Qt::LeftButton);
    }
    std::vector<bool> ticks()
    {
        std::vector<bool> t;
        for (int i = 0; i < list()->Items.Count(); ++i)
            t.push_back(list()->Items[i]->Checked());
        return t;
    }
    std::string queueFile() { return testutil::readFile(dir.file("Queue.ini")); }
    std::vector<std::string> sections()
    {
        TMemIniFile ini(dir.file("Queue.ini"));
        TStringList s;
        ini.ReadSections(s);
        std::vector<std::string> out;
        for (int i = 0; i < s.Count(); ++i)
            out.push_back(s[i]);
        return out;
    }
    std::vector<QAbstractButton *> commandButtons()
    {
        return {q().DeleteAllEntriesBtn, q().DeleteQueriedEntriesBtn, q().DeleteUnfEntriesBtn, q().SelAllBtn,
                q().SelectUnqueriedBtn, q().SelectUnfBtn, q().ClearAllBtn};
    }

    cddbopts::CDDBOptions options = cddbopts::DefaultOptions();
    std::unique_ptr<TQueueForm> queue;
};

TEST_F(QueueFixture, ListsEveryEntryWithTheCataloguesCategory)
{
    open();
    EXPECT_EQ(rows(), (std::vector<std::string>{
                          "00000000000C3B2B|0a000003|3|rock|No|N/A|150 4650 27150 720|12:00",
                          "0000000000030C11|0c016602|2| jazz |Yes|Yes|150 14267 360|06:00",
                          "0000000000040E1E|0b019002|2|N/A|Yes|No|150 18930 402|06:42",
                          "00000000000000DD|Unknown|Unknown|N/A|No|N/A|Unknown|00:00",
                      }));
    EXPECT_EQ(label(q().TotalEntriesStatic), "4");
    EXPECT_EQ(label(q().CurrentProtocolLbl), "cddbp");
    // The whole entry is the tip; the narrow label shows its start, the host.
    EXPECT_EQ(ToAnsi(q().CurrentServerLbl->toolTip()), cddbopts::kDefaultServer);
    EXPECT_EQ(label(q().CurrentServerLbl).rfind("gnudb.gnudb.org ", 0), 0u) << label(q().CurrentServerLbl);
    EXPECT_EQ(label(q().QueriesToDoLbl), "0");
    for (QAbstractButton *b : commandButtons())
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(q().QuerySelBtn->isEnabled());
    EXPECT_FALSE(q().DeleteEntryBtn->isEnabled());
    EXPECT_FALSE(q().TracksPage->isEnabled());
    EXPECT_TRUE(q().AutoChooseBox->isChecked());
    EXPECT_FALSE(list()->OwnerDraw());
    EXPECT_TRUE(list()->Checkboxes());
    EXPECT_EQ(list()->Columns[6]->Width(), 0);
    EXPECT_EQ(list()->Columns[7]->Width(), 0);
    EXPECT_FALSE(q().WaitFader->Active());
    EXPECT_TRUE(dialogs.MessageBoxes().empty());
}

TEST_F(QueueFixture, AbsentFileIsAnEmptyQueue)
{
    open(nullptr);
    EXPECT_EQ(list()->Items.Count(), 0);
    EXPECT_EQ(label(q().TotalEntriesStatic), "0");
    for (QAbstractButton *b : commandButtons())
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_FALSE(q().QuerySelBtn->isEnabled());
    EXPECT_TRUE(dialogs.MessageBoxes().empty());
    click(q().ExitBtn);
    EXPECT_FALSE(queue->isVisible());
}

TEST_F(QueueFixture, SelectionShowsCatalogueOrQueuedDetails)
{
    open();
    clickRow(0);  // in the catalogue
    EXPECT_TRUE(q().DeleteEntryBtn->isEnabled());
    EXPECT_TRUE(q().TracksPage->isEnabled());
    EXPECT_EQ(queue->SelectedPID, "00000000000C3B2B");
    EXPECT_EQ(ToAnsi(q().ArtistEdit->text()), "Artist One");
    EXPECT_EQ(captions(q().CDTracksView, true), (std::vector<std::string>{"Intro|01:00", "Song|05:00", "Outro|06:00"}));
    EXPECT_EQ(captions(q().EXTTList), (std::vector<std::string>{"Intro", "Song", "Outro"}));
    EXPECT_EQ(ToAnsi(q().EXTDMemo->toPlainText()), "line one\nline two");
    EXPECT_EQ(queue->ExtTrackTexts[1], "song text");
    EXPECT_EQ(ToAnsi(q().ImgPanel->text()), "Image Not Available");

    clickRow(2);  // queued only
    EXPECT_EQ(ToAnsi(q().ArtistEdit->text()), "");
    EXPECT_EQ(captions(q().CDTracksView, true), (std::vector<std::string>{"Track 01|04:10", "Track 02|00:00"}));
    EXPECT_EQ(ToAnsi(q().EXTDMemo->toPlainText()), "");

    // A disc whose track count is no number: the conversion is reported.
    clickRow(3);
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_NE(dialogs.MessageBoxes()[0].text.find("Unknown"), std::string::npos);
    EXPECT_EQ(queue->SelectedPID, "00000000000000DD");
}

TEST_F(QueueFixture, MissingCoverPathIsForgottenAtOnce)
{
    testutil::writeFile(dir.file("MIXDECK.ini"),
                        "[00000000000C3B2B]\r\nartist=A\r\ntotaltracks=0\r\ncoverimg=" + dir.file("gone.jpg") + "\r\n");
    open();
    clickRow(0);
    EXPECT_EQ(ToAnsi(q().ImgPanel->text()), "Image Not Available");
    EXPECT_FALSE(q().ClearBtn->isEnabled());
    EXPECT_FALSE(q().StretchBtn->isEnabled());
    EXPECT_EQ(queue->CoverPath, "");
    TMemIniFile cat(dir.file("MIXDECK.ini"));
    EXPECT_EQ(cat.ReadString("00000000000C3B2B", "coverimg", "<missing>"), "");
}

TEST_F(QueueFixture, TicksDriveTheCounterAndQuerySelected)
{
    open();
    tick(1);
    EXPECT_EQ(ticks(), (std::vector<bool>{false, true, false, false}));
    EXPECT_TRUE(q().QuerySelBtn->isEnabled());
    EXPECT_EQ(label(q().QueriesToDoLbl), "1");
    tick(1);
    EXPECT_FALSE(q().QuerySelBtn->isEnabled());
    EXPECT_EQ(label(q().QueriesToDoLbl), "0");

    click(q().SelAllBtn);
    EXPECT_EQ(ticks(), (std::vector<bool>{true, true, true, true}));
    EXPECT_EQ(label(q().QueriesToDoLbl), "4");
    click(q().ClearAllBtn);
    EXPECT_EQ(label(q().QueriesToDoLbl), "0");
    EXPECT_FALSE(q().QuerySelBtn->isEnabled());

    click(q().SelectUnqueriedBtn);
    EXPECT_EQ(ticks(), (std::vector<bool>{true, false, false, true}));
    EXPECT_TRUE(q().QuerySelBtn->isEnabled());
    click(q().SelectUnfBtn);  // only "No", never "N/A"
    EXPECT_EQ(ticks(), (std::vector<bool>{false, false, true, false}));
    EXPECT_EQ(label(q().QueriesToDoLbl), "1");

    // A press on a row's text refreshes the counter from that row's tick.
    queue->ui->QueriesToDoLbl->setText("x");
    clickRow(0);
    EXPECT_EQ(label(q().QueriesToDoLbl), "1");
}

// The space bar ticks the focused row; the list reports it before the box
// changes, and for the row clicked last. Either way the counter and Query
// Selected follow the ticks, as they do for the mouse.
TEST_F(QueueFixture, SpaceTicksDriveTheCounterAndQuerySelected)
{
    open();
    clickRow(1);  // selects and focuses row 1, the row clicked last
    auto key = [&](Qt::Key k) {
        QTest::keyClick(list(), k);
        QCoreApplication::processEvents();
    };
    struct Step {
        const char *what;
        std::function<void()> act;
        std::vector<bool> ticks;
        const char *counter;
    };
    const Step steps[] = {
        {"space on row 1", [&] { key(Qt::Key_Space); }, {false, true, false, false}, "1"},
        {"space again", [&] { key(Qt::Key_Space); }, {false, false, false, false}, "0"},
        {"mouse on row 0's box", [&] { tick(0); }, {true, false, false, false}, "1"},
        // The box's click leaves the focus on row 1 but is now the last
        // click: the key is reported for row 0 and toggles row 1.
        {"space on row 1 after the box", [&] { key(Qt::Key_Space); }, {true, true, false, false}, "2"},
        {"down, space on row 2", [&] { key(Qt::Key_Down); key(Qt::Key_Space); }, {true, true, true, false}, "3"},
        {"space on row 2 again", [&] { key(Qt::Key_Space); }, {true, true, false, false}, "2"},
        {"up twice, space on row 0", [&] { key(Qt::Key_Up); key(Qt::Key_Up); key(Qt::Key_Space); },
         {false, true, false, false}, "1"},
    };
    for (const Step &s : steps) {
        s.act();
        EXPECT_EQ(ticks(), s.ticks) << s.what;
        EXPECT_EQ(label(q().QueriesToDoLbl), s.counter) << s.what;
        EXPECT_EQ(q().QuerySelBtn->isEnabled(), std::string(s.counter) != "0") << s.what;
    }
}

TEST_F(QueueFixture, SelectUnqueriedWithEverythingQueriedTicksNothing)
{
    open("[A]\r\nqueried=Yes\r\nfounded=Yes\r\n[B]\r\nqueried=Yes\r\nfounded=No\r\n");
    click(q().SelAllBtn);
    click(q().SelectUnqueriedBtn);
    EXPECT_EQ(ticks(), (std::vector<bool>{false, false}));
    EXPECT_FALSE(q().QuerySelBtn->isEnabled());
}

TEST_F(QueueFixture, ErasingAsksAndNoChangesNothing)
{
    open();
    const std::string before = queueFile();
    dialogs.AnswerButton(Button::No);
    click(q().DeleteQueriedEntriesBtn);
    const auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Are you sure?");
    EXPECT_EQ(boxes[0].caption, "Warning");
    EXPECT_EQ(boxes[0].defaultButton, Button::No);
    EXPECT_EQ(boxes[0].icon, Dialogs::Icon::Warning);
    EXPECT_EQ(list()->Items.Count(), 4);
    EXPECT_EQ(queueFile(), before);
}

TEST_F(QueueFixture, EraseCommandsRemoveTheirRows)
{
    struct Case {
        const char *button;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {"DeleteQueriedEntriesBtn", {"00000000000C3B2B", "00000000000000DD"}},
        {"DeleteUnfEntriesBtn", {"00000000000C3B2B", "0000000000030C11", "00000000000000DD"}},
        {"DeleteAllEntriesBtn", {}},
    };
    for (const Case &c : cases) {
        open();
        dialogs.AnswerButton(Button::Yes);
        click(queue->findChild<QPushButton *>(c.button));
        std::vector<std::string> shown;
        for (int i = 0; i < list()->Items.Count(); ++i)
            shown.push_back(list()->Items[i]->Caption());
        EXPECT_EQ(shown, c.left) << c.button;
        EXPECT_EQ(sections(), c.left) << c.button;
        EXPECT_EQ(queue->QueueSections, c.left);
        EXPECT_EQ(label(q().TotalEntriesStatic), std::to_string(c.left.size()));
        for (QAbstractButton *b : commandButtons())
            EXPECT_EQ(b->isEnabled(), !c.left.empty()) << b->objectName().toStdString();
        queue.reset();
    }
}

TEST_F(QueueFixture, AdjacentQualifyingRowsAreBothErased)
{
    open("[A]\r\nqueried=Yes\r\n[B]\r\nqueried=Yes\r\n[C]\r\nqueried=No\r\n[D]\r\nqueried=Yes\r\n");
    dialogs.AnswerButton(Button::Yes);
    click(q().DeleteQueriedEntriesBtn);
    EXPECT_EQ(sections(), (std::vector<std::string>{"C"}));
}

TEST_F(QueueFixture, DeleteSelectedErasesOneAndKeepsTheOthersMarksInTheList)
{
    open();
    tick(1);
    clickRow(2);
    dialogs.AnswerButton(Button::Yes);
    click(q().DeleteEntryBtn);
    EXPECT_EQ(sections(), (std::vector<std::string>{"00000000000C3B2B", "0000000000030C11", "00000000000000DD"}));
    EXPECT_EQ(list()->Items.Count(), 3);
    EXPECT_EQ(label(q().TotalEntriesStatic), "3");
    EXPECT_TRUE(q().QuerySelBtn->isEnabled());
    EXPECT_EQ(label(q().QueriesToDoLbl), "1");
}

TEST_F(QueueFixture, CloseWritesEveryRowsMarks)
{
    open();
    queue->SetCell(0, TQueueForm::colQueried, "Yes");
    queue->SetCell(0, TQueueForm::colFounded, "No");
    click(q().ExitBtn);
    EXPECT_FALSE(queue->isVisible());
    TMemIniFile ini(dir.file("Queue.ini"));
    EXPECT_EQ(ini.ReadString("00000000000C3B2B", "queried", ""), "Yes");
    EXPECT_EQ(ini.ReadString("00000000000C3B2B", "founded", ""), "No");
    // The catalogue's category and the trimmed one are written too.
    EXPECT_EQ(ini.ReadString("00000000000C3B2B", "category", ""), "rock");
    EXPECT_EQ(ini.ReadString("0000000000030C11", "category", ""), "jazz");
    EXPECT_EQ(ini.ReadString("00000000000000DD", "founded", ""), "N/A");
    EXPECT_EQ(ini.ReadString("00000000000C3B2B", "time2", ""), "06:00");
    // The next showing lists them.
    queue->show();
    EXPECT_EQ(list()->Items[0]->CellText(TQueueForm::colQueried), "Yes");
    EXPECT_EQ(list()->Items[0]->CellText(TQueueForm::colCategory), "rock");
}

// A section whose name does not fit a cell (longer than a cell holds, or
// with a control character) is listed with its name cut or cleaned, but its
// row reads and writes the section under the name the file gives it: Close
// changes nothing but its marks, and the erasing commands erase it.
TEST_F(QueueFixture, SectionNamesBeyondACellStayTheKeys)
{
    const std::string other = "0000000000030C11";
    struct Case {
        std::string name;
        const char *button;
        std::vector<std::string> left;
    };
    const std::string longName = "00000000" + std::string(5000, 'A');
    const std::string control = std::string("0000000000\x01") + "C3B2B";
    const Case cases[] = {
        {longName, "DeleteQueriedEntriesBtn", {other}},
        {longName, "DeleteAllEntriesBtn", {}},
        {control, "DeleteQueriedEntriesBtn", {other}},
        {control, "DeleteAllEntriesBtn", {}},
    };
    for (const Case &c : cases) {
        const std::string text = "[" + c.name + "]\r\ndiscid=0a000003\r\nTotalTracks=3\r\ncategory=N/A\r\n"
                                 "queried=No\r\nfounded=N/A\r\ntime0=01:00\r\n[" + other + "]\r\nqueried=No\r\n";
        open(text.c_str());
        const std::string shown = list()->Items[0]->Caption();
        EXPECT_EQ(shown, queuefile::CellValue(c.name));
        EXPECT_NE(shown, c.name);
        clickRow(0);
        EXPECT_EQ(captions(q().CDTracksView, true)[0], "Track 01|01:00");
        queue->SetCell(0, TQueueForm::colQueried, "Yes");
        queue->SetCell(0, TQueueForm::colFounded, "No");
        click(q().ExitBtn);
        EXPECT_EQ(sections(), (std::vector<std::string>{c.name, other})) << shown.size();
        TMemIniFile ini(dir.file("Queue.ini"));
        EXPECT_EQ(ini.ReadString(c.name, "queried", ""), "Yes");
        EXPECT_EQ(ini.ReadString(c.name, "founded", ""), "No");
        EXPECT_EQ(ini.ReadString(c.name, "category", ""), "N/A");
        EXPECT_EQ(ini.ReadString(c.name, "discid", ""), "0a000003");
        EXPECT_EQ(ini.ReadString(c.name, "time0", ""), "01:00");

        queue->show();
        dialogs.AnswerButton(Button::Yes);
        click(queue->findChild<QPushButton *>(c.button));
        EXPECT_EQ(sections(), c.left) << c.button;
        EXPECT_EQ(queue->QueueSections, c.left) << c.button;
        click(q().ExitBtn);
        EXPECT_EQ(sections(), c.left) << c.button;
        queue.reset();
    }
}

TEST_F(QueueFixture, UnreadableQueueFileIsReported)
{
    ASSERT_EQ(mkdir(dir.file("Queue.ini").c_str(), 0700), 0);
    open(nullptr);
    const auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error opening QUEUE.ini");
    EXPECT_EQ(list()->Items.Count(), 0);
    click(q().ExitBtn);
    EXPECT_TRUE(testutil::readFile(dir.file("MIXDECK.ini")).find("category=rock") != std::string::npos);
}

// ---- runs against the scripted database server ---------------------------------------------

// Three rows: the peer's disc (found), one whose connection fails, one the
// peer does not know (202).
const char *kRunQueue =
    "[0000000000111111]\r\ndiscid=1b025603\r\nTotalTracks=3\r\ncategory=N/A\r\nqueried=No\r\nfounded=N/A\r\n"
    "trkframeoffs=150 20000 40000 600\r\ntpt=10:00\r\ntime0=04:24\r\ntime1=04:26\r\ntime2=01:08\r\n"
    "[0000000000222222]\r\ndiscid=0c016602\r\nTotalTracks=2\r\ncategory=N/A\r\nqueried=No\r\nfounded=N/A\r\n"
    "trkframeoffs=150 14267 360\r\ntpt=06:00\r\n"
    "[0000000000333333]\r\ndiscid=0b019002\r\nTotalTracks=2\r\ncategory=N/A\r\nqueried=No\r\nfounded=N/A\r\n"
    "trkframeoffs=150 18930 402\r\ntpt=06:42\r\n";

class QueueRunFixture : public QueueFixture, public ::testing::WithParamInterface<bool> {
protected:
    // Held for the whole test: nothing else can listen there meanwhile.
    const nettest::ClosedPort closed_;
    bool http() const { return GetParam(); }
    // Aims the settings at the peer; the second row's lookups at a port
    // where nothing listens.
    void aim(const discdbtest::CddbPeer &peer)
    {
        const std::string port = std::to_string(peer.port());
        options.UseHTTP = http();
        options.ServerToUse = 0;
        options.CDDBServerList = {"127.0.0.1 N000.00 W000.00 Test server"};
        options.CDDBPortList = {port};
        options.HTTPServerList = options.CDDBServerList;
        options.HTTPPortList = {port};
        options.CGIPathList = {"/~cddb/cddb.cgi"};
        options.UserEmail = "user@example.org";
        options.TimeOut = "10";
        const std::string dead = std::to_string(closed_.port());
        auto inner = list()->OnSelectItem;
        list()->OnSelectItem = [this, inner, port, dead](TEnhListView *v, TListItem *item, bool selected) {
            if (selected && item) {
                options.CDDBPortList = {item->Index() == 1 ? dead : port};
                options.HTTPPortList = options.CDDBPortList;
            }
            inner(v, item, selected);
        };
    }
    std::vector<std::string> marks()
    {
        std::vector<std::string> m;
        for (int i = 0; i < list()->Items.Count(); ++i)
            m.push_back(list()->Items[i]->CellText(TQueueForm::colQueried) + "/" +
                        list()->Items[i]->CellText(TQueueForm::colFounded));
        return m;
    }
};

TEST_P(QueueRunFixture, ThreeRowsGiveTheirMarksAndTheFoundDiscIsWritten)
{
    discdbtest::CddbPeer peer(http() ? "http" : "cddbp");
    ASSERT_TRUE(peer.ready());
    open(kRunQueue);
    aim(peer);
    form->ui->CompilationName->setText("Tape");
    click(q().SelAllBtn);
    // What the window shows while each row is looked up.
    std::vector<std::string> during;
    QObject::connect(q().QueryProgessBar, &QProgressBar::valueChanged, [&](int value) {
        if (value == 0)
            return;
        during.push_back(label(q().CurrentQueryLbl) + " " + queue->SelectedPID + " " +
                         (q().WaitFader->Active() ? "fading" : "still") +
                         (q().ExitBtn->isEnabled() || q().DeleteEntryBtn->isEnabled() || q().TracksPage->isEnabled() ||
                                  list()->isEnabled()
                              ? " enabled"
                              : " disabled") +
                         " " + std::to_string(q().CDTracksView->Items.Count()));
    });
    click(q().QuerySelBtn);
    // Over cddbp the failed connection never reaches the query.
    std::vector<std::string> expected = {"1 0000000000111111 fading disabled 3", "3 0000000000333333 fading disabled 2"};
    if (http())
        expected.insert(expected.begin() + 1, "2 0000000000222222 fading disabled 2");
    EXPECT_EQ(during, expected);

    // The connection failure is marked neither queried nor found over
    // cddbp; over HTTP the query failed, so the row counts as not asked.
    EXPECT_EQ(marks(), (std::vector<std::string>{"Yes/Yes", "No/N/A", "Yes/No"}));
    EXPECT_EQ(list()->Items[0]->CellText(TQueueForm::colCategory), "rock");
    EXPECT_EQ(label(q().StatusLbl), "Finished.");
    EXPECT_TRUE(dialogs.MessageBoxes().empty()) << dialogs.MessageBoxes()[0].text;
    EXPECT_TRUE(queue->ClearLastResultTimer->isActive());
    EXPECT_FALSE(q().WaitFader->Active());
    EXPECT_TRUE(q().ExitBtn->isEnabled());
    EXPECT_TRUE(list()->isEnabled());
    EXPECT_TRUE(list()->Items[0]->Selected());
    EXPECT_EQ(ticks(), (std::vector<bool>{true, true, true}));

    // The query carried the row's disc id, count and offsets.
    const std::vector<std::string> got = peer.received();
    const std::string query = http() ? "cddb+query+1b025603+3+150+20000+40000+600" : "C: cddb query 1b025603 3 150 20000 40000 600";
    EXPECT_TRUE(std::any_of(got.begin(), got.end(), [&](const std::string &l) { return l.find(query) != std::string::npos; }));

    // Written at once, without a question, and the compilation discarded.
    TMemIniFile cat(dir.file("MIXDECK.ini"));
    const std::string pid = "0000000000111111";
    EXPECT_EQ(cat.ReadString(pid, "artist", ""), "Some Artist");
    EXPECT_EQ(cat.ReadString(pid, "title", ""), "Some Title");
    EXPECT_EQ(cat.ReadString(pid, "totaltracks", ""), "3");
    EXPECT_EQ(cat.ReadString(pid, "track2", ""), "Third Song");
    EXPECT_EQ(cat.ReadString(pid, "time1", ""), "04:26");
    EXPECT_EQ(cat.ReadString(pid, "category", ""), "rock");
    EXPECT_EQ(cat.ReadString(pid, "tpt", ""), "10:00");
    EXPECT_EQ(cat.ReadString(pid, "extd", ""), "Disc notes\\nsecond line");
    EXPECT_EQ(cat.ReadString(pid, "extt0", ""), "About one");
    EXPECT_FALSE(cat.ValueExists(pid, "revision"));
    EXPECT_FALSE(cat.SectionExists("0000000000333333"));
    EXPECT_EQ(ToAnsi(form->ui->CompilationName->text()), "None");

    // The marks reach the queue file on Close.
    EXPECT_NE(queueFile().find("queried=No"), std::string::npos);
    click(q().ExitBtn);
    TMemIniFile file(dir.file("Queue.ini"));
    EXPECT_EQ(file.ReadString("0000000000111111", "founded", ""), "Yes");
    EXPECT_EQ(file.ReadString("0000000000111111", "category", ""), "rock");
    EXPECT_EQ(file.ReadString("0000000000333333", "queried", ""), "Yes");
    EXPECT_EQ(file.ReadString("0000000000333333", "founded", ""), "No");
    EXPECT_EQ(file.ReadString("0000000000222222", "queried", ""), "No");
}

TEST_P(QueueRunFixture, WithoutAutoChooseAFailedConnectionWarns)
{
    discdbtest::CddbPeer peer(http() ? "http" : "cddbp");
    ASSERT_TRUE(peer.ready());
    open(kRunQueue);
    aim(peer);
    tick(1);
    q().AutoChooseBox->setChecked(false);
    click(q().QuerySelBtn);
    const auto boxes = dialogs.MessageBoxes();
    if (http()) {
        // Over HTTP a failed query shows no box and the run ends on it.
        EXPECT_TRUE(boxes.empty());
        EXPECT_EQ(label(q().StatusLbl), "Connection Error!");
    } else {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Connection Error. Server timed out. Closing");
        EXPECT_EQ(boxes[0].caption, "Warning");
        EXPECT_EQ(label(q().StatusLbl), "Finished.");
    }
}

TEST_P(QueueRunFixture, RefusalAndListReplies)
{
    discdbtest::CddbPeer peer(http() ? "http" : "cddbp");
    ASSERT_TRUE(peer.ready());
    open(kRunQueue);
    aim(peer);
    // A list of matches: with Auto Choose the first is read.
    peer.script(R"({"reply": {"query": ["211 close matches found", "rock 1b025603 Some Artist / Some Title",
                                        "jazz 1b025603 Other", "."]}})");
    tick(0);
    click(q().QuerySelBtn);
    EXPECT_EQ(marks()[0], "Yes/Yes");
    EXPECT_TRUE(dialogs.MessageBoxes().empty());

    // A refused read: the message in the status label, found "No".
    peer.script(R"({"reply": {"read": ["401 No such CD entry."]}})");
    click(q().QuerySelBtn);
    EXPECT_EQ(marks()[0], "Yes/No");
    EXPECT_EQ(label(q().StatusLbl), "Finished.");
    EXPECT_TRUE(dialogs.MessageBoxes().empty());
}

TEST_P(QueueRunFixture, EntryWithoutAValidQueryAsksNothing)
{
    discdbtest::CddbPeer peer(http() ? "http" : "cddbp");
    ASSERT_TRUE(peer.ready());
    open("[0000000000111111]\r\ndiscid=1b025603&cmd=x\r\nTotalTracks=3\r\ntrkframeoffs=150 20000 40000 600\r\n"
         "[0000000000222222]\r\ndiscid=1b025603\r\nTotalTracks=2\r\ntrkframeoffs=150 20000+1 600\r\n");
    aim(peer);
    click(q().SelAllBtn);
    click(q().QuerySelBtn);
    EXPECT_EQ(peer.connections(), 0);
    ASSERT_EQ(dialogs.MessageBoxes().size(), 2u);
    EXPECT_EQ(dialogs.MessageBoxes()[0].text, "Error reading QUEUE.ini or MIXDECK.ini");
    EXPECT_EQ(marks(), (std::vector<std::string>{"No/N/A", "No/N/A"}));
    EXPECT_EQ(label(q().StatusLbl), "Finished.");
}

TEST(QueueQuery, CountIsTheNumberOfOffsets)
{
    auto text = [](const char *discId, const char *tracks, const char *tof) {
        return TQueueForm::QueryText(queuefile::Entry{"P", discId, tracks, "", "", "", tof, ""});
    };
    EXPECT_EQ(text("0c016602", "2", "150 14267 360"), "2 150 14267 360");
    // A data track after the audio: the id counts three tracks.
    EXPECT_EQ(text("12345603", "2", "150 14267 20000 360"), "3 150 14267 20000 360");
    EXPECT_EQ(text("0c016602", "Unknown", "150 360"), "1 150 360");
    for (const char *tof : {"", "360", "150 x 360", "150 -1 360", "Unknown"})
        EXPECT_EQ(text("0c016602", "2", tof), "") << tof;
    EXPECT_EQ(text("Unknown", "2", "150 14267 360"), "");
}

INSTANTIATE_TEST_SUITE_P(Protocols, QueueRunFixture, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &i) { return i.param ? "http" : "cddbp"; });

} // namespace
