// The windows stay alive while an exchange waits on the network: the
// grabbing window's lookup over cddbp and HTTP, the options window's server
// test, a two-row queue run and a submission, each started by a click and
// run against a peer that accepts and then stays silent, or trickles an
// endless reply one byte every 100 ms. A 10 ms timer keeps ticking, the
// process stays idle, the time-out message comes at the time-out and the
// controls are enabled afterwards. And what the user can do meanwhile:
// start a second exchange (refused), close the waiting window or end the
// program (the exchange is aborted at once), and a library thread's
// hand-over while the interface thread idles in its event loop.
#include "CddbPeer.h"
#include "DiscdbTestUtil.h"
#include "ui_Main.h"  // before the fixture, so this target generates it
#include "compilation/MainFixture.h"

#include "controls/EnhListV.h"
#include "controls/TextFade.h"
#include "discdb/AddCD.h"
#include "discdb/AdviceSubmit.h"
#include "discdb/CDDB.h"
#include "discdb/CDDBOptions.h"
#include "discdb/ChooseCD.h"
#include "discdb/NetPump.h"
#include "discdb/Queue.h"
#include "discdb/Submit.h"
#include "netclient/NetAntiFreeze.h"
#include "netclient/NetExchange.h"
#include "netclient/NetThread.h"
#include "ui_AddCD.h"
#include "ui_AdviceSubmit.h"
#include "ui_CDDB.h"
#include "ui_Queue.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Both database peers live for the whole suite; each test writes their scripts.
discdbtest::CddbPeer *cddbpPeer = nullptr;
discdbtest::CddbPeer *httpPeer = nullptr;

// Two discs for the queue run.
const char *kTwoRows =
    "[0000000000111111]\r\ndiscid=1b025603\r\nTotalTracks=3\r\ncategory=N/A\r\nqueried=No\r\nfounded=N/A\r\n"
    "trkframeoffs=150 20000 40000 600\r\ntpt=10:00\r\n"
    "[0000000000333333]\r\ndiscid=0b019002\r\nTotalTracks=2\r\ncategory=N/A\r\nqueried=No\r\nfounded=N/A\r\n"
    "trkframeoffs=150 18930 402\r\ntpt=06:42\r\n";

// A 10 ms timer and what it saw while an exchange ran: its ticks, the
// longest gap between two, and how often the queue window's fader moved on meanwhile.
class TickProbe {
public:
    explicit TickProbe(const TTextFader *fader = nullptr) : fader_(fader)
    {
        timer_.setInterval(10);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            // Only ticks while an exchange waits count.
            if (!TNetExchange::Running()) {
                counting_ = false;
                return;
            }
            const auto now = Clock::now();
            if (counting_)
                maxGap_ = std::max(maxGap_, std::chrono::duration<double, std::milli>(now - last_).count());
            counting_ = true;
            last_ = now;
            ++ticks_;
            if (fader_ && fader_->Active() && fader_->FadePercent() != fadePercent_) {
                fadePercent_ = fader_->FadePercent();
                ++faderSteps_;
            }
        });
        timer_.start();
    }
    int ticks() const { return ticks_; }
    double maxGapMs() const { return maxGap_; }
    int faderSteps() const { return faderSteps_; }

private:
    QTimer timer_;
    const TTextFader *fader_;
    Clock::time_point last_;
    bool counting_ = false;
    int ticks_ = 0;
    double maxGap_ = 0;
    int fadePercent_ = -1;
    int faderSteps_ = 0;
};

// An SMTP peer on a thread of this process: silent (accepts, says
// nothing) or trickling an endless greeting "220-more" line by line, one
// byte every 100 ms, until the client goes away.
class SmtpPeer {
public:
    explicit SmtpPeer(bool trickle)
        : peer_([this, trickle](int fd) {
              const std::string line = "220-more\r\n";
              for (size_t i = 0; !stop_; ++i) {
                  if (trickle && !nettest::sendAll(fd, line.substr(i % line.size(), 1)))
                      return;
                  std::this_thread::sleep_for(std::chrono::milliseconds(100));
              }
          })
    {
    }
    ~SmtpPeer()
    {
        stop_ = true;
        // A peer still waiting for its connection is released by one of our own.
        const int fd = nettest::connectTo(peer_.port());
        if (fd >= 0)
            ::close(fd);
    }
    int port() const { return peer_.port(); }

private:
    std::atomic<bool> stop_ {false};
    nettest::ScriptedPeer peer_;
};

class ExchangeWaitFixture : public MainFixture {
protected:
    static void SetUpTestSuite()
    {
        cddbpPeer = new discdbtest::CddbPeer("cddbp", true);
        httpPeer = new discdbtest::CddbPeer("http", true);
    }
    static void TearDownTestSuite()
    {
        delete cddbpPeer;
        delete httpPeer;
        cddbpPeer = httpPeer = nullptr;
    }
    void SetUp() override
    {
        MainFixture::SetUp();
        ASSERT_TRUE(cddbpPeer->ready());
        ASSERT_TRUE(httpPeer->ready());
        for (auto *p : {cddbpPeer, httpPeer}) {
            p->script("{}");
            p->clear();
        }
        dialogs.OnCall = [this](const ScriptedDialogs::Call &) {
            if (firstBox == Clock::time_point())
                firstBox = Clock::now();
        };
    }
    void TearDown() override
    {
        submission.reset();
        queue.reset();
        chooser.reset();
        options.reset();
        grab.reset();
        MainFixture::TearDown();
        aspi::Release();
        unsetenv("MIXDECK_CDROM_SIM");
    }
    // The settings file aimed at the peers, then the windows wired as at
    // start-up; the grabbing window has read its disc and holds an entry
    // that may be submitted.
    void open(bool http, const std::string &timeOut, int smtpPort = 0)
    {
        cddbopts::CDDBOptions o = cddbopts::DefaultOptions();
        o.CDDBServerList = {"127.0.0.1 N000.00 W000.00 Test server"};
        o.CDDBPortList = {std::to_string(cddbpPeer->port())};
        o.HTTPServerList = {"127.0.0.1 N000.00 W000.00 Test server"};
        o.CGIPathList = {"/~cddb/cddb.cgi"};
        o.HTTPPortList = {std::to_string(httpPeer->port())};
        o.UseHTTP = http;
        o.ServerToUse = 0;
        o.UserEmail = "user@example.org";
        o.SMTPAddr = "127.0.0.1";
        o.CDDBEmail = "freedb-submit@example.org";
        o.TimeOut = timeOut;
        cddbopts::SaveOptions(dir.file("CDDB.ini"), o);
        testutil::writeFile(dir.file("Queue.ini"), kTwoRows);
        discdbtest::simulateDrives(sim, {{"sr0", "example"}});
        make();
        grab = std::make_unique<TGrabCDForm>();
        options = std::make_unique<TCDDBOptForm>(form->CDDBIniFile, grab->ui->CategBox);
        grab->LoadSettings = [this] { options->LoadCDDBOptions(); };
        chooser = std::make_unique<TChooseCDForm>();
        queue = std::make_unique<TQueueForm>();
        queue->LoadSettings = [this] { options->LoadCDDBOptions(); };
        queue->Settings = [this] { return options->Options(); };
        submission = std::make_unique<TEntrySubmission>(*grab, [this] { return options->Options(); }, advice);
        submission->SMTPCli.Port = smtpPort;
        grab->SubmitToInternet = [this] { submission->Submit_MenuItemClick(); };
        form->GrabCDForm = grab.get();
        form->CDDBOptForm = options.get();
        form->QueueForm = queue.get();
        grab->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grab.get()));
        QTest::mouseClick(grab->ui->GetTracksBtn, Qt::LeftButton);
        ASSERT_EQ(grab->DiscIdText, "20033a03");
        grab->ui->CategBox->setCurrentIndex(10);  // " rock"
        grab->ui->ArtistEdit->setText("Some Artist");
        grab->ui->CDTitleEdit->setText("Some Title");
        for (int i = 0; i < grab->ui->TracksList->Items.Count(); ++i)
            grab->ui->TracksList->Items[i]->SetCaption("Track " + std::to_string(i + 1));
        dialogs.Calls.clear();
        firstBox = Clock::time_point();
    }

    // ---- the five exchanges, each started by a click ------------------------------------
    void getFromInternet()
    {
        // The database button pops up its menu; its first item looks up.
        QTest::mouseClick(grab->ui->CDDBBtn, Qt::LeftButton);
        QMenu *menu = grab->CDDBPopUpMenu;
        if (!menu->isVisible()) {
            ADD_FAILURE() << "the database menu did not show";
            return;
        }
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(grab->ui->Get_MenuItem).center());
    }
    void testServer()
    {
        options->show();
        QTest::mouseClick(options->ui->TestServerBtn, Qt::LeftButton);
    }
    void runQueue()
    {
        queue->show();
        QTest::mouseClick(queue->ui->SelAllBtn, Qt::LeftButton);
        QTest::mouseClick(queue->ui->QuerySelBtn, Qt::LeftButton);
    }
    void submit()
    {
        // The advice box is answered with OK; then the transfer runs.
        QTimer::singleShot(0, &advice, [this] { QTest::mouseClick(advice.ui->OkBtn, Qt::LeftButton); });
        QTest::mouseClick(grab->ui->CDDBBtn, Qt::LeftButton);
        QMenu *menu = grab->CDDBPopUpMenu;
        if (!menu->isVisible()) {
            ADD_FAILURE() << "the database menu did not show";
            return;
        }
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(grab->ui->Submit_MenuItem).center());
    }

    void grabControlsEnabled()
    {
        for (QWidget *w : std::initializer_list<QWidget *> {grab->ui->ArtistEdit, grab->ui->CDTitleEdit,
                                                             grab->ui->CategBox, grab->ui->CDDBBtn,
                                                             grab->ui->GetTracksBtn, grab->ui->ExitBtn,
                                                             grab->ui->TracksPage})
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    }
    void optionsControlsEnabled()
    {
        for (QWidget *w : std::initializer_list<QWidget *> {options->ui->OptionsTab, options->ui->OkBtn,
                                                             options->ui->CancelBtn, options->ui->TestServerBtn})
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    }
    void queueControlsEnabled()
    {
        EXPECT_TRUE(queue->ui->ExitBtn->isEnabled());
        EXPECT_TRUE(queue->ui->QueueEntriesView->isEnabled());
        EXPECT_FALSE(queue->ui->WaitFader->Active());
        EXPECT_FALSE(queue->Running());
    }
    std::vector<std::string> boxTexts() const
    {
        std::vector<std::string> out;
        for (const auto &c : dialogs.MessageBoxes())
            out.push_back(c.text);
        return out;
    }

    testutil::TempDir sim;
    TAdviceForm advice;
    std::unique_ptr<TGrabCDForm> grab;
    std::unique_ptr<TCDDBOptForm> options;
    std::unique_ptr<TChooseCDForm> chooser;
    std::unique_ptr<TQueueForm> queue;
    std::unique_ptr<TEntrySubmission> submission;
    Clock::time_point firstBox;
};

// ---- waits on a silent or trickling peer ----------------------------------------------------

enum class Kind { GrabCddbp, GrabHttp, OptionsTest, QueueRun, Submission };

struct WaitCase {
    const char *name;
    Kind kind;
    bool trickle;
    // The script of the database peer (not for the submission).
    const char *script;
};

void PrintTo(const WaitCase &c, std::ostream *os) { *os << c.name; }

class ExchangeWait : public ExchangeWaitFixture, public ::testing::WithParamInterface<WaitCase> {};

constexpr double kTimeOut = 5.0;

TEST_P(ExchangeWait, WindowsStayAliveAndTheTimeOutEndsTheWait)
{
    const WaitCase &c = GetParam();
    const bool http = c.kind == Kind::GrabHttp;
    std::unique_ptr<SmtpPeer> smtp;
    if (c.kind == Kind::Submission)
        smtp = std::make_unique<SmtpPeer>(c.trickle);
    else
        (http ? httpPeer : cddbpPeer)->script(c.script);
    open(http, "5", smtp ? smtp->port() : 0);
    ASSERT_NE(TNetAntiFreeze::Instance(), nullptr);

    TickProbe probe(queue->ui->WaitFader);
    const double cpu0 = nettest::cpuSeconds();
    const auto t0 = Clock::now();
    switch (c.kind) {
    case Kind::GrabCddbp:
    case Kind::GrabHttp:
        getFromInternet();
        break;
    case Kind::OptionsTest:
        testServer();
        break;
    case Kind::QueueRun:
        runQueue();
        break;
    case Kind::Submission:
        submit();
        break;
    }
    const double elapsed = secondsSince(t0);
    const double cpuShare = (nettest::cpuSeconds() - cpu0) / elapsed;
    RecordProperty("elapsed_ms", int(elapsed * 1000));
    RecordProperty("cpu_per_mille", int(cpuShare * 1000));
    RecordProperty("max_gap_ms", int(probe.maxGapMs()));

    // The windows were served all along, and the process idled.
    EXPECT_GT(probe.ticks(), int(kTimeOut * 100 / 4));
    EXPECT_LE(probe.maxGapMs(), 100.0);
    if (!nettest::kSanitized) {
        EXPECT_LT(cpuShare, 0.05);
    }
    // The time-out message, at the time-out (the queue's two rows time out
    // one after the other).
    const std::vector<std::string> boxes = boxTexts();
    ASSERT_FALSE(boxes.empty());
    const std::string expected = c.kind == Kind::Submission ? TEntrySubmission::kConnectError : cddbx::kConnectionError;
    EXPECT_EQ(boxes.front(), expected);
    const double atBox = std::chrono::duration<double>(firstBox - t0).count();
    EXPECT_NEAR(atBox, kTimeOut, 0.5);
    if (c.kind == Kind::QueueRun) {
        EXPECT_EQ(boxes, (std::vector<std::string> {expected, expected}));
        EXPECT_NEAR(elapsed, 2 * kTimeOut, 1.0);
        // The "Please wait..." fader moved on all the while.
        EXPECT_GT(probe.faderSteps(), 20);
    } else {
        EXPECT_EQ(boxes.size(), 1u);
        EXPECT_NEAR(elapsed, kTimeOut, 0.5);
    }
    EXPECT_FALSE(TNetExchange::Running());
    grabControlsEnabled();
    if (c.kind == Kind::OptionsTest)
        optionsControlsEnabled();
    if (c.kind == Kind::QueueRun)
        queueControlsEnabled();
}

INSTANTIATE_TEST_SUITE_P(
    Silent, ExchangeWait,
    ::testing::Values(WaitCase {"GrabCddbp", Kind::GrabCddbp, false, R"({"silent": "greeting"})"},
                      WaitCase {"GrabHttp", Kind::GrabHttp, false, R"({"silent": "query"})"},
                      WaitCase {"OptionsTest", Kind::OptionsTest, false, R"({"silent": "hello"})"},
                      WaitCase {"QueueRun", Kind::QueueRun, false, R"({"silent": "greeting"})"},
                      WaitCase {"Submission", Kind::Submission, false, ""}),
    [](const ::testing::TestParamInfo<WaitCase> &info) { return std::string(info.param.name); });

// A trickled reply is bounded as a whole: a line that never ends, a reply
// whose continuation lines never end, HTTP headers without end.
INSTANTIATE_TEST_SUITE_P(
    Trickle, ExchangeWait,
    ::testing::Values(WaitCase {"GrabCddbp", Kind::GrabCddbp, true, R"({"trickle": "greeting"})"},
                      WaitCase {"GrabHttp", Kind::GrabHttp, true, R"({"trickle": "query"})"},
                      WaitCase {"OptionsTest", Kind::OptionsTest, true, R"({"trickle": "hello"})"},
                      WaitCase {"Submission", Kind::Submission, true, ""}),
    [](const ::testing::TestParamInfo<WaitCase> &info) { return std::string(info.param.name); });

} // namespace
