// A message box shows a bounded part of a peer's text: the cutting itself,
// then through the windows a 64 KB junk HTTP reply (the grabbing window's
// lookup, the options window's server test and a queue run) against the scripted
// database server: the box's text stays under 4 KB while the options
// window's log keeps the whole reply.
#include "ui_Main.h"  // before the fixture, so this target generates it
#include "OnlinePeers.h"

#include "discdb/AddCD.h"
#include "discdb/CDDB.h"
#include "discdb/CDDBExchange.h"
#include "discdb/Queue.h"
#include "ui_AddCD.h"
#include "ui_CDDB.h"
#include "ui_Queue.h"

#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include <memory>
#include <string>
#include <vector>

namespace {

using cddbx::BoxText;

std::string repeat(const std::string &piece, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += piece;
    return out;
}

TEST(BoxText, ShowsABoundedPartOfThePeersText)
{
    const std::string cut = cddbx::kBoxCutMark;
    const std::string line200(200, 'a');
    const std::string twenty = repeat("line\r\n", 20);
    struct Case {
        const char *name;
        std::string text, shown;
    };
    const Case cases[] = {
        {"ShortTextAsItIs", "500 Unrecognized command.", "500 Unrecognized command."},
        {"LinesWithinTheBoundsAsTheyAre", twenty, twenty},
        {"LineOfExactlyTheWidth", line200 + "\r\n", line200 + "\r\n"},
        {"LongLineCut", line200 + "bcd\r\nnext", line200 + cut + "\r\nnext"},
        {"LinesAfterTheTwentiethLeftOut", twenty + "21st\r\n22nd\r\n", twenty + cut},
        {"LineBreaksAsSent", "a\nb\rc\r\nd", "a\nb\rc\r\nd"},
        {"LoneCrsCountAsLines", repeat("x\r", 25), repeat("x\r", 20) + cut},
        {"EmptyLinesCount", repeat("\r\n", 21) + "z", repeat("\r\n", 20) + cut},
        {"Empty", "", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BoxText(c.text), c.shown);
    }
}

TEST(BoxText, AnyTextStaysUnderFourKilobytes)
{
    const std::vector<std::string> texts = {
        std::string(64 * 1024, 'j'),                   // one endless line
        repeat(std::string(265, 'j') + "\r\n", 247),   // 64 KB of long lines
        repeat("\n", 64 * 1024),                       // nothing but line breaks
    };
    for (const std::string &t : texts)
        EXPECT_LE(BoxText(t).size(), 4096u);
}

class JunkReply : public OnlinePeersFixture {
protected:
    void SetUp() override
    {
        OnlinePeersFixture::SetUp();
        junk = discdbtest::junkBody();
    }
    void open(const char *key)
    {
        httpPeer->script(std::string(R"({"reply": {")") + key + R"(": )" + discdbtest::jsonString(junk) + "}}");
        openWindows(peerOptions(true, "10"));
        form->GrabCDForm = grab.get();
        form->CDDBOptForm = options.get();
        dialogs.Calls.clear();
    }
    // The one box's text: the start of the junk, a cut, at most 4 KB.
    void boundedBox()
    {
        const std::vector<ScriptedDialogs::Call> boxes = dialogs.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        const std::string &text = boxes.front().text;
        RecordProperty("box_bytes", int(text.size()));
        EXPECT_LE(text.size(), 4096u);
        EXPECT_EQ(text.substr(0, 200), junk.substr(0, 200));
        EXPECT_NE(text.find(cddbx::kBoxCutMark), std::string::npos);
        EXPECT_EQ(text, BoxText(junk));
    }
    std::string junk;
    std::unique_ptr<TQueueForm> queue;
};

TEST_F(JunkReply, TheGrabbingWindowsBoxShowsABoundedPart)
{
    open("query");
    grab->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(grab.get()));
    QTest::mouseClick(grab->ui->GetTracksBtn, Qt::LeftButton);
    dialogs.Calls.clear();
    QTest::mouseClick(grab->ui->CDDBBtn, Qt::LeftButton);
    QMenu *menu = grab->CDDBPopUpMenu;
    ASSERT_TRUE(menu->isVisible());
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(grab->ui->Get_MenuItem).center());
    boundedBox();
}

TEST_F(JunkReply, TheOptionsWindowsBoxShowsABoundedPartAndItsLogTheWhole)
{
    open("motd");
    options->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(options.get()));
    QTest::mouseClick(options->ui->TestServerBtn, Qt::LeftButton);
    boundedBox();
    const std::string log = options->ui->ConnectionStat->toPlainText().toStdString();
    const std::vector<std::string> lines = cddbx::SplitLines(junk);
    for (const std::string &l : {lines.front(), lines[lines.size() / 2], lines.back()})
        EXPECT_NE(log.find(l), std::string::npos) << l.substr(0, 40);
}

TEST_F(JunkReply, TheQueueWindowsBoxShowsABoundedPart)
{
    testutil::writeFile(dir.file("Queue.ini"),
                        "[0000000000111111]\r\ndiscid=1b025603\r\nTotalTracks=3\r\ncategory=N/A\r\nqueried=No\r\n"
                        "founded=N/A\r\ntrkframeoffs=150 20000 40000 600\r\ntpt=10:00\r\n");
    open("query");
    queue = std::make_unique<TQueueForm>();
    queue->LoadSettings = [this] { options->LoadCDDBOptions(); };
    queue->Settings = [this] { return options->Options(); };
    form->QueueForm = queue.get();
    queue->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(queue.get()));
    // An unexpected reply is shown only while the user chooses.
    QTest::mouseClick(queue->ui->AutoChooseBox, Qt::LeftButton);
    ASSERT_FALSE(queue->ui->AutoChooseBox->isChecked());
    QTest::mouseClick(queue->ui->SelAllBtn, Qt::LeftButton);
    QTest::mouseClick(queue->ui->QuerySelBtn, Qt::LeftButton);
    boundedBox();
    queue.reset();
}

} // namespace
