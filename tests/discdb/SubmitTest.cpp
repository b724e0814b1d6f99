// Submission by e-mail: the xmcd body and its continuation lines, the
// checks, and whole submissions from the grabbing window to the real
// aiosmtpd server (tests/peers/smtp_peer.py) on a loopback port.
#include "DiscdbTestUtil.h"
#include "ui_Main.h"  // before the fixture, so this target generates it
#include "compilation/MainFixture.h"

#include "compilation/Catalogue.h"
#include "controls/EnhListV.h"
#include "discdb/AddCD.h"
#include "discdb/AdviceSubmit.h"
#include "discdb/CDDBExchange.h"
#include "discdb/Submit.h"
#include "netclient/NetTestPeers.h"
#include "platform/Cp1252.h"
#include "platform/IniFiles.h"
#include "ui_AddCD.h"
#include "ui_AdviceSubmit.h"

#include <QAction>
#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

#include <chrono>
#include <sstream>
#include <thread>

using Dialogs::Button;

namespace {

// ---- the body -------------------------------------------------------------------------------

TEST(Xmcd, ContinuationLinesBreakAtTheFormatsWidths)
{
    struct Case {
        std::string key;
        size_t length;
        std::vector<size_t> pieces;  // characters of the value per line
    };
    const Case cases[] = {
        {"EXTD=", 0, {0}},           {"EXTD=", 149, {149}},         {"EXTD=", 150, {149, 1}},
        {"EXTD=", 300, {149, 144, 7}}, {"EXTT0=", 300, {149, 143, 8}}, {"EXTT10=", 436, {149, 142, 142, 3}},
    };
    for (const Case &c : cases) {
        std::string value;
        for (size_t i = 0; i < c.length; ++i)
            value += char('a' + i % 26);
        const std::vector<std::string> lines = xmcd::KeyedLines(c.key, value);
        ASSERT_EQ(lines.size(), c.pieces.size()) << c.key << c.length;
        std::string joined;
        for (size_t i = 0; i < lines.size(); ++i) {
            ASSERT_EQ(lines[i].rfind(c.key, 0), 0u);
            EXPECT_EQ(lines[i].size() - c.key.size(), c.pieces[i]) << c.key << c.length << " line " << i;
            joined += lines[i].substr(c.key.size());
        }
        EXPECT_EQ(joined, value);
    }
}

TEST(Xmcd, EscapingAndSubject)
{
    EXPECT_EQ(xmcd::EscapeText("a\r\nb\tc\r\nd"), "a\\nb\\tc\\nd");
    EXPECT_EQ(xmcd::EscapeText(""), "");
    // A backslash of the text survives the database's unescaping.
    EXPECT_EQ(xmcd::EscapeText("C:\\new"), "C:\\\\new");
    EXPECT_EQ(xmcd::Subject(" rock ", "0b019002"), "cddb rock 0b019002");
    std::vector<std::string> offsets;
    std::string seconds;
    ASSERT_TRUE(xmcd::SplitQueryText("3 150 18930 22500 402", offsets, seconds));
    EXPECT_EQ(offsets, (std::vector<std::string>{"150", "18930", "22500"}));
    EXPECT_EQ(seconds, "402");
    EXPECT_FALSE(xmcd::SplitQueryText("", offsets, seconds));
}

const std::vector<std::string> kExampleBody = {
    "# xmcd", "#", "# Track frame offsets:", "#     150", "#     18930", "#", "# Disc length: 402 seconds", "#",
    "# Revision: 0", "# Submitted via: MIXDECK 2.1.0.14(RC1)", "#", "DISCID=0b019002",
    "DTITLE=Some Artist / Some Title", "TTITLE0=First", "TTITLE1=Second", "EXTD=", "EXTT0=", "EXTT1=",
    "PLAYORDER="};

TEST(Xmcd, ExampleBody)
{
    xmcd::Entry e;
    e.Offsets = {"150", "18930"};
    e.DiscSeconds = "402";
    e.ClientName = "MIXDECK 2.1.0.14(RC1)";
    e.DiscId = "0b019002";
    e.Artist = "Some Artist";
    e.Title = "Some Title";
    e.TrackTitles = {"First", "Second"};
    e.TrackTexts = {"", ""};
    EXPECT_EQ(xmcd::Body(e), kExampleBody);
}

// ---- the command ----------------------------------------------------------------------------

std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string l;
    while (std::getline(in, l)) {
        if (!l.empty() && l.back() == '\r')
            l.pop_back();
        out.push_back(l);
    }
    return out;
}

class SubmitFixture : public MainFixture {
protected:
    void TearDown() override
    {
        submission.reset();
        grab.reset();
        MainFixture::TearDown();
        aspi::Release();
        unsetenv("MIXDECK_CDROM_SIM");
    }
    // The windows over one simulated disc, read, with a complete entry.
    void open(const std::string &toc = "submit_example")
    {
        discdbtest::simulateDrives(sim, {{"sr0", toc}});
        make();
        form->ClientName = "MIXDECK 2.1.0.14(RC1)";
        grab = std::make_unique<TGrabCDForm>();
        grab->show();
        submission = std::make_unique<TEntrySubmission>(*grab, [this] { return options; }, advice);
        grab->SubmitToInternet = [this] { submission->Submit_MenuItemClick(); };
        QTest::mouseClick(g().GetTracksBtn, Qt::LeftButton);
        g().CategBox->setCurrentIndex(10);  // " rock"
        g().ArtistEdit->setText("Some Artist");
        g().CDTitleEdit->setText("Some Title");
        g().TracksList->Items[0]->SetCaption("First");
        g().TracksList->Items[1]->SetCaption("Second");
        options.UserEmail = "user@example.com";
        options.SMTPAddr = "127.0.0.1";
        options.CDDBEmail = "freedb-submit@example.org";
        options.TimeOut = "20";
    }
    Ui::TGrabCDForm &g() { return *grab->ui; }
    // Runs the menu command; the advice box is answered with OK or Cancel.
    void submit(bool accept = true)
    {
        adviceShown = false;
        QTimer::singleShot(0, [this, accept] {
            adviceShown = advice.isVisible();
            QTest::mouseClick(accept ? advice.ui->OkBtn : advice.ui->CancelBtn, Qt::LeftButton);
        });
        g().Submit_MenuItem->trigger();
    }
    std::vector<std::string> errors()
    {
        std::vector<std::string> out;
        for (const auto &c : dialogs.MessageBoxes())
            out.push_back(c.caption + ": " + c.text);
        return out;
    }
    std::string modified(const std::string &pid)
    {
        TMemIniFile ini(dir.file("MIXDECK.ini"));
        return ini.ReadString(pid, "modified", "<missing>");
    }

    testutil::TempDir sim;
    TAdviceForm advice;
    cddbopts::CDDBOptions options;
    std::unique_ptr<TGrabCDForm> grab;
    std::unique_ptr<TEntrySubmission> submission;
    bool adviceShown = false;
};

class SmtpServer {
public:
    explicit SmtpServer(const std::string &mode)
    {
        server_ = std::make_unique<nettest::ChildServer>([&](int port) {
            return std::vector<std::string> {"/usr/bin/python3", testutil::sourcePath("tests/peers/smtp_peer.py"),
                                             std::to_string(port), mode, dir_.path()};
        });
    }
    bool ready() const { return server_->ready(); }
    int port() const { return server_->port(); }
    std::string file(const std::string &name) const { return dir_.file(name); }
    // The client's lines once "Quit" arrived (at most 10 s).
    std::string dialogue() const
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::string s;
        while ((s = testutil::readFile(dir_.file("dialogue.txt"))).find("C: Quit") == std::string::npos &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return s;
    }

private:
    testutil::TempDir dir_;
    std::unique_ptr<nettest::ChildServer> server_;
};

const char *kPid = "0000000000040E1E";

TEST_F(SubmitFixture, AcceptedMailCarriesTheExampleAndClearsModified)
{
    SmtpServer server("plain");
    ASSERT_TRUE(server.ready());
    testutil::writeFile(dir.file("MIXDECK.ini"),
                        std::string("[") + kPid + "]\r\nartist=Some Artist\r\nmodified=1\r\nrevision=0\r\n");
    open();
    ASSERT_EQ(ToAnsi(g().PIDStatic->text()), kPid);
    grab->Modified = true;
    submission->SMTPCli.Port = server.port();
    std::vector<std::string> statuses;
    QObject::connect(g().ConnStat, &QStatusBar::messageChanged,
                     [&](const QString &m) { statuses.push_back(ToAnsi(m)); });
    submit();
    EXPECT_TRUE(adviceShown);
    EXPECT_TRUE(errors().empty()) << errors().front();

    const std::string dialogue = server.dialogue();
    EXPECT_NE(dialogue.find("C: Mail from:<user@example.com>"), std::string::npos);
    EXPECT_NE(dialogue.find("C: RCPT to:<freedb-submit@example.org>"), std::string::npos);
    const std::vector<std::string> mail = lines(testutil::readFile(server.file("mail-1.eml")));
    const auto blank = std::find(mail.begin(), mail.end(), std::string());
    ASSERT_NE(blank, mail.end());
    EXPECT_NE(std::find(mail.begin(), blank, "Subject: cddb rock 0b019002"), blank);
    EXPECT_EQ(std::vector<std::string>(blank + 1, mail.end()), kExampleBody);

    EXPECT_FALSE(grab->Modified);
    EXPECT_EQ(modified(kPid), "0");
    EXPECT_EQ(statuses, (std::vector<std::string>{"Connecting...", "Connected...", "Sending...",
                                                  "Ok. Entry submitted. Disconnecting..."}));
    EXPECT_TRUE(grab->MsgTimer->isActive());
    EXPECT_FALSE(submission->SMTPCli.Connected());
}

TEST_F(SubmitFixture, RefusedMailLeavesModifiedSet)
{
    SmtpServer server("reject");
    ASSERT_TRUE(server.ready());
    testutil::writeFile(dir.file("MIXDECK.ini"), std::string("[") + kPid + "]\r\nmodified=1\r\n");
    open();
    grab->Modified = true;
    submission->SMTPCli.Port = server.port();
    submit();
    // The refusal reaches the application's handling with the server's reply.
    const auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find("554"), std::string::npos) << boxes[0].text;
    EXPECT_TRUE(grab->Modified);
    EXPECT_EQ(modified(kPid), "1");
    EXPECT_NE(ToAnsi(g().ConnStat->currentMessage()), "Ok. Entry submitted. Disconnecting...");
}

TEST_F(SubmitFixture, DiscNotInTheCatalogueGetsNoSection)
{
    SmtpServer server("plain");
    ASSERT_TRUE(server.ready());
    open();
    submission->SMTPCli.Port = server.port();
    const std::string before = testutil::readFile(dir.file("MIXDECK.ini"));
    submit();
    EXPECT_TRUE(errors().empty());
    EXPECT_TRUE(testutil::fileExists(server.file("mail-1.eml")));
    EXPECT_EQ(testutil::readFile(dir.file("MIXDECK.ini")), before);
}

TEST_F(SubmitFixture, DataTrackOffsetsAgreeWithTheDiscId)
{
    SmtpServer server("plain");
    ASSERT_TRUE(server.ready());
    open("submit_data_last");
    submission->SMTPCli.Port = server.port();
    submit();
    ASSERT_TRUE(errors().empty());
    const std::string body = testutil::readFile(server.file("mail-1.eml"));
    // Three tracks in the disc id, so three offsets and three titles.
    EXPECT_NE(body.find("#     150\r\n#     18930\r\n#     22500\r\n#\r\n"), std::string::npos) << body;
    EXPECT_NE(body.find("DISCID=" + grab->DiscIdText + "\r\n"), std::string::npos);
    EXPECT_EQ(grab->DiscIdText.substr(6), "03");
    EXPECT_NE(body.find("TTITLE1=Second\r\nTTITLE2=Data\r\nEXTD="), std::string::npos) << body;
    EXPECT_NE(body.find("EXTT2=\r\nPLAYORDER="), std::string::npos);
}

TEST_F(SubmitFixture, LongExtendedTextsGoOnProperLines)
{
    SmtpServer server("plain");
    ASSERT_TRUE(server.ready());
    open();
    submission->SMTPCli.Port = server.port();
    const std::string text(300, 'x');
    g().EXTDMemo->setPlainText(FromAnsi(text));
    grab->ExtTrackTexts[1] = "a\\tb";
    submit();
    ASSERT_TRUE(errors().empty());
    const std::vector<std::string> mail = lines(testutil::readFile(server.file("mail-1.eml")));
    const auto at = std::find(mail.begin(), mail.end(), "EXTD=" + std::string(149, 'x'));
    ASSERT_NE(at, mail.end());
    EXPECT_EQ(*(at + 1), "EXTD=" + std::string(144, 'x'));
    EXPECT_EQ(*(at + 2), "EXTD=" + std::string(7, 'x'));
    EXPECT_EQ(*(at + 4), "EXTT1=a\\tb");
    // No bare line feed reached the server.
    const std::string raw = testutil::readFile(server.file("mail-1.eml"));
    for (size_t i = raw.find('\n'); i != std::string::npos; i = raw.find('\n', i + 1))
        ASSERT_TRUE(i > 0 && raw[i - 1] == '\r') << "bare LF at " << i;
}

TEST_F(SubmitFixture, ChecksRefuseInOrder)
{
    open();
    struct Case {
        std::function<void()> change;
        const char *message;
    };
    const Case cases[] = {
        {[this] { g().CategBox->setCurrentIndex(0); }, TEntrySubmission::kBlankCategory},
        {[this] { options.UserEmail = cddbopts::kDefaultUserEmail; }, TEntrySubmission::kNoUserEmail},
        {[this] { options.UserEmail.clear(); }, TEntrySubmission::kNoUserEmail},
        {[this] { options.SMTPAddr.clear(); }, TEntrySubmission::kNoSMTP},
        {[this] { options.CDDBEmail.clear(); }, TEntrySubmission::kNoCDDBEmail},
        {[this] { g().CDTitleEdit->clear(); }, TEntrySubmission::kNoTitle},
        {[this] { g().TracksList->Items[1]->SetCaption("Track 02"); }, TEntrySubmission::kDefaultTracks},
    };
    for (const Case &c : cases) {
        const cddbopts::CDDBOptions saved = options;
        c.change();
        dialogs.Calls.clear();
        EXPECT_FALSE(submission->CheckSubmission());
        ASSERT_EQ(errors(), (std::vector<std::string>{std::string("Error: ") + c.message}));
        options = saved;
        g().CategBox->setCurrentIndex(10);
        g().CDTitleEdit->setText("Some Title");
        g().TracksList->Items[1]->SetCaption("Second");
    }
    // Titles that only look like the default pass.
    g().TracksList->Items[1]->SetCaption("track 02");
    EXPECT_TRUE(submission->CheckSubmission());
    g().TracksList->Items[1]->SetCaption("Track 2");
    EXPECT_TRUE(submission->CheckSubmission());
    EXPECT_EQ(submission->SMTPCli.Host, "127.0.0.1");
    EXPECT_EQ(submission->CDDBEntry.From.Address, "user@example.com");
}

TEST_F(SubmitFixture, CancelledAdviceSendsNothingAndUnreachableServerWarns)
{
    open();
    const nettest::ClosedPort closed;  // nothing listens there
    submission->SMTPCli.Port = closed.port();
    submit(false);
    EXPECT_TRUE(adviceShown);
    EXPECT_TRUE(dialogs.MessageBoxes().empty());
    EXPECT_EQ(ToAnsi(g().ConnStat->currentMessage()), "");

    submit(true);
    ASSERT_EQ(errors(), (std::vector<std::string>{"Warning: Error connecting to SMTP server. Closing."}));
    EXPECT_EQ(dialogs.MessageBoxes()[0].icon, Dialogs::Icon::Warning);
    EXPECT_EQ(ToAnsi(g().ConnStat->currentMessage()), "");
    EXPECT_FALSE(submission->SMTPCli.Connected());
}

TEST_F(SubmitFixture, SilentServerEndsAfterTheTimeOutWithoutSpinning)
{
    // The server accepts the connection but never greets.
    nettest::Listener silent;
    open();
    options.TimeOut = "1";
    submission->SMTPCli.Port = silent.port();
    const auto start = std::chrono::steady_clock::now();
    const double cpu = nettest::cpuSeconds();
    submit();
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(elapsed, 0.9);
    EXPECT_LT(elapsed, 8.0);
    EXPECT_LT(nettest::cpuSeconds() - cpu, 0.5 * elapsed + 0.2);
    EXPECT_EQ(errors(), (std::vector<std::string>{"Warning: Error connecting to SMTP server. Closing."}));
}

TEST_F(SubmitFixture, AHugeRefusalShowsABoundedPart)
{
    // A mail server that refuses the sender with one reply line of 60 KB.
    const std::string refusal = "550 " + std::string(60000, 'j');
    nettest::ScriptedPeer peer([&refusal](int fd) {
        nettest::sendAll(fd, "220 ok\r\n");
        for (;;) {
            const std::string line = nettest::recvLine(fd, 10000);
            if (line.empty())
                return;
            const bool quit = line.rfind("Quit", 0) == 0;
            const std::string reply = line.rfind("Mail", 0) == 0 ? refusal : quit ? "221 bye" : "250 ok";
            if (!nettest::sendAll(fd, reply + "\r\n") || quit)
                return;
        }
    });
    open();
    submission->SMTPCli.Port = peer.port();
    submit();
    const auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_LE(boxes[0].text.size(), 4096u);
    EXPECT_NE(boxes[0].text.find("550 jjj"), std::string::npos) << boxes[0].text.substr(0, 80);
    EXPECT_NE(boxes[0].text.find(cddbx::kBoxCutMark), std::string::npos);
    try {
        submission->SMTPCli.Disconnect();
    } catch (...) {
    }
}

TEST(AdviceBox, EnterAndEscapeDecline)
{
    TAdviceForm advice;
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        QTimer::singleShot(0, [&advice, key] {
            advice.Accepted = true;
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : &advice, Qt::Key(key));
        });
        advice.ui->CancelBtn->setDefault(true);
        advice.ui->CancelBtn->setFocus();
        advice.exec();
        EXPECT_FALSE(advice.Accepted) << key;
    }
    QTimer::singleShot(0, [&advice] { QTest::mouseClick(advice.ui->OkBtn, Qt::LeftButton); });
    EXPECT_EQ(advice.exec(), int(QDialog::Accepted));
    EXPECT_TRUE(advice.Accepted);
}

} // namespace
