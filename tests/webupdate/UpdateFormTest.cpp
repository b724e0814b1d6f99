// The update window: its texts, the main window's handlers of the web update
// component's events, and whole runs against loopback HTTP and HTTPS servers
// with the window offscreen, driven by clicks on its buttons: the configured
// address, and the refusals of addresses and servers the update may not use.
#include "common/TestUtil.h"
#include "controls/Animate.h"
#include "platform/Cp1252.h"
#include "platform/ScriptedDialogs.h"
#include "webupdate/Update.h"
#include "webupdate/WebUpdatePeers.h"
#include "webupdate/WuAddress.h"

#include "ui_Update.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <chrono>

using testutil::TempDir;
using wutest::Entries;
using Dialogs::Button;

namespace {

TColor LabelColor(const QLabel *l) { return QColorToColor(l->palette().color(QPalette::WindowText)); }

} // namespace

// ---- texts ---------------------------------------------------------------------------------

TEST(UpdateTexts, Progress)
{
    EXPECT_EQ(ControlFileProgressText(512, 2048), "512bytes of 2048bytes");
    EXPECT_EQ(ControlFileProgressText(0, 0), "0bytes of 0bytes");
    const std::pair<std::pair<int64_t, int64_t>, std::string> cases[] = {
        {{524288, 1310720}, "00.50MB / 01.25MB (40%)"},
        {{0, 3145728}, "00.00MB / 03.00MB (0%)"},
        {{3145728, 3145728}, "03.00MB / 03.00MB (100%)"},
        {{1, 3}, "00.00MB / 00.00MB (33%)"},
        {{150 * 1048576LL, 300 * 1048576LL}, "150.00MB / 300.00MB (50%)"},
        {{524288, 0}, "00.50MB / 00.00MB"},   // no size: no percentage
    };
    for (const auto &[args, text] : cases)
        EXPECT_EQ(FileProgressText(args.first, args.second), text);
}

TEST(UpdateTexts, EstimatedTime)
{
    struct Case {
        int64_t maxBytes, posBytes;
        int elapsed;
        std::string text;
    };
    const Case cases[] = {
        // 44820 KB at 12 KB/sec after 10 s: 3735 - 10 = 3725 s left.
        {44820 * 1024LL, 120 * 1024LL, 10, "01:02:05 (At 12.00 KB/sec)"},
        {44820 * 1024LL, 131 * 1024LL + 1023, 10, "00:57:17 (At 13.00 KB/sec)"},
        {1000 * 1024LL, 1000 * 1024LL, 1, "00:00:00 (At 1000.00 KB/sec)"},
        {100 * 1024LL, 50 * 1024LL, 5, "00:00:05 (At 10.00 KB/sec)"},
        {4000000 * 1024LL, 10 * 1024LL, 1, "111:06:39 (At 10.00 KB/sec)"},
        // Below 1 KB/sec, or no size: no time to tell.
        {100 * 1024LL, 1023, 1, "??:??:?? (At 0.00 KB/sec)"},
        {100 * 1024LL, 4 * 1024LL, 5, "??:??:?? (At 0.00 KB/sec)"},
        {0, 50 * 1024LL, 1, "??:??:?? (At 50.00 KB/sec)"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(EstimatedTimeText(c.maxBytes, c.posBytes, c.elapsed), c.text) << c.maxBytes << " " << c.posBytes;
}

TEST(UpdateTexts, VersionOfANewVersionStatus)
{
    const std::pair<std::string, std::string> cases[] = {
        {"New version found : 1,4,0,12", "1.4.0.12"},
        {"New version found : 2,0,0,1", "2.0.0.1"},
        {"New version found : 10,0,0,1", "10.0.0.1"},
        {"New version found : v2,1", "2.1"},
        {",5", ".5"},
    };
    for (const auto &[status, version] : cases) {
        std::string v;
        EXPECT_TRUE(StatusVersionText(status, v));
        EXPECT_EQ(v, version);
    }
    std::string untouched = "kept";
    EXPECT_FALSE(StatusVersionText("New version found : 12/03/2024", untouched));
    EXPECT_EQ(untouched, "kept");
}

TEST(UpdateTexts, AnimationStrip)
{
    const QImage strip = UpdateAnimationStrip();
    EXPECT_EQ(strip.size(), QSize(256, 32));
    EXPECT_LE(strip.colorCount(), 16);
    EXPECT_GT(strip.colorCount(), 2);
}

// ---- the window ----------------------------------------------------------------------------

class UpdateWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *v : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                              "no_proxy", "NO_PROXY"})
            unsetenv(v);
        auto wu = std::make_unique<TWebUpdate>();
        SetupMainWebUpdate(*wu);
        wu->AppFolder = app.path();
        wu->RegistryFile = app.file("WebUpdate.ini");
        form = std::make_unique<TUpdateForm>(&mainWindow, std::move(wu));
        Configure(http.url("update.inf"));
        form->ExitProgram = [this] { ++exits; };
        mainWindow.resize(600, 400);
        mainWindow.show();
        // Every event of the component leaves its label state behind.
        TWebUpdate *w = form->WebUpdate;
        auto status = w->OnStatus;
        w->OnStatus = [this, status](TWebUpdate *s, const std::string &t, int32_t c, int32_t e) {
            status(s, t, c, e);
            Record();
        };
        auto progress = w->OnFileProgress;
        w->OnFileProgress = [this, progress](TWebUpdate *s, const std::string &f, int64_t p, int64_t n) {
            progress(s, f, p, n);
            Record();
            animatedDuringRun = animatedDuringRun || form->AnimImage()->Active();
        };
        auto done = w->OnThreadUpdateDone;
        w->OnThreadUpdateDone = [this, done](TWebUpdate *s) {
            done(s);
            Record();
        };
        testutil::writeFile(app.file("prog.bin"), "installed program");
    }

    void TearDown() override { wuaddress::TrustAuthorityForTests(""); }

    // The address of the control file, as the installer sets it in the
    // component's settings file.
    void Configure(const std::string &address)
    {
        testutil::writeFile(app.file("WebUpdate.ini"), "[Update]\r\nURL=" + address + "\r\n");
    }

    // Status, URL and verdict labels, with the verdict's colour; a state
    // equal to the one before is not repeated.
    void Record()
    {
        const Ui::TUpdateForm &ui = *form->ui;
        const std::string state = ToAnsi(ui.DownloadLbl->text()) + " | " + ToAnsi(ui.URLFileLbl->text()) + " | " +
                                  ToAnsi(ui.DownloadStatusLbl->text()) +
                                  (LabelColor(ui.DownloadStatusLbl) == clRed ? " (red)" : " (green)");
        if (states.empty() || states.back() != state)
            states.push_back(state);
    }

    // Opens the window as the menu item does, clicks Start and waits for the
    // end of the run.
    void RunFromStart()
    {
        form->show();
        mainWindow.setEnabled(false);
        QTest::mouseClick(form->ui->StartUpdateBtn, Qt::LeftButton);
        EXPECT_FALSE(form->ui->StartUpdateBtn->isEnabled());
        EXPECT_TRUE(form->AnimImage()->Active());
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!form->ui->CloseUpdateBtn->isEnabled() && std::chrono::steady_clock::now() < end)
            QTest::qWait(10);
        ASSERT_TRUE(form->ui->CloseUpdateBtn->isEnabled());
    }

    std::string S(int id, const std::string &arg = "") const
    {
        std::string t = wustatus::Text(id);
        const size_t p = t.find("%s");
        return p == std::string::npos ? t : t.replace(p, 2, arg);
    }

    TempDir root, app;
    wutest::HttpPeer http{root.path()};
    QWidget mainWindow;
    std::unique_ptr<TUpdateForm> form;
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use{dialogs};
    std::vector<std::string> states;
    bool animatedDuringRun = false;
    int exits = 0;
};

TEST_F(UpdateWindow, LooksAsLaidOut)
{
    const Ui::TUpdateForm &ui = *form->ui;
    EXPECT_EQ(form->size(), QSize(485, 155));
    EXPECT_EQ(ui.AutomaticUpdateStatic->text(), "Automatic Web Update Service");
    EXPECT_EQ(LabelColor(ui.AutomaticUpdateStatic), clMaroon);
    EXPECT_EQ(ui.VersionLblStatic->text(), " Version");
    EXPECT_EQ(LabelColor(ui.StatusLblStatic), clNavy);
    EXPECT_EQ(LabelColor(ui.DownloadStatusLbl), clGreen);
    EXPECT_EQ(ui.SizeLbl->text(), "N/A");
    EXPECT_EQ(ui.EstTimeLbl->text(), "N/A");
    EXPECT_EQ(ui.UpdateProgressBar->maximum(), 100);
    TAnimatedImage *anim = form->AnimImage();
    EXPECT_EQ(anim->geometry(), QRect(336, 112, 32, 32));
    EXPECT_EQ(anim->NumGlyphs(), 8);
    EXPECT_EQ(anim->FrameSize(), QSize(32, 32));
    EXPECT_EQ(anim->Interval(), 166u);
    EXPECT_TRUE(anim->AsyncDrawing());
    EXPECT_TRUE(anim->Center());
    EXPECT_FALSE(anim->Stretch());
    EXPECT_FALSE(anim->Active());
    EXPECT_EQ(ui.StartUpdateBtn->text(), "&Start");
    EXPECT_EQ(ui.CloseUpdateBtn->text(), "&Close");
    const TWebUpdate &w = *form->WebUpdate;
    EXPECT_EQ(w.UpdateType, TWebUpdateType::httpUpdate);
    EXPECT_EQ(w.UpdateConnect, TWebUpdateConnect::wucConnectPrompt);
    EXPECT_TRUE(w.SignatureCheck);
}

// The runs below go over plain http on loopback (Python's server) and over
// https (nginx with a certificate of a throw-away authority).
class UpdateWindowOver : public UpdateWindow, public ::testing::WithParamInterface<const char *> {
protected:
    void SetUp() override
    {
        UpdateWindow::SetUp();
        ASSERT_TRUE(http.ready());
        if (std::string(GetParam()) == "https") {
            authority = std::make_unique<wutest::TestAuthority>();
            const auto pair = authority->Issue("server", "IP:127.0.0.1,DNS:localhost");
            ASSERT_FALSE(pair.cert.empty()) << "openssl failed";
            tls = std::make_unique<wutest::TlsNginxPeer>(root.path(), pair);
            ASSERT_TRUE(tls->ready());
            wuaddress::TrustAuthorityForTests(authority->caFile());
        }
        Configure(Url("update.inf"));
    }
    std::string Url(const std::string &path) const { return tls ? tls->url(path) : http.url(path); }

    std::unique_ptr<wutest::TestAuthority> authority;
    std::unique_ptr<wutest::TlsNginxPeer> tls;
};

INSTANTIATE_TEST_SUITE_P(Schemes, UpdateWindowOver, ::testing::Values("http", "https"),
                         [](const auto &info) { return std::string(info.param); });

TEST_P(UpdateWindowOver, FullRunWithANewVersionAndOneFile)
{
    const std::string big = wutest::PatternBytes(3 * 1048576);
    testutil::writeFile(root.file("big.bin"), big);
    const std::string ctl = Url("update.inf"), file = Url("big.bin");
    testutil::writeFile(root.file("update.inf"),
                        "[update]\nsignature=WebUpdate\nnewversion=2,0,0,1\nlocalversion={APP}/prog.bin\n"
                        "[files]\ncount=1\n[file1]\nurl=" + file + "\nlocalversion={APP}\\big.bin\n");
    // The window's one-second timer ticks when the download takes longer
    // than a second, as it may on a loaded machine: each tick is noted with
    // what it had to go by.
    struct Tick {
        int elapsed;
        int64_t max, pos;
        std::string shown;
    };
    std::vector<Tick> ticks;
    QObject::connect(form->UpdTimer, &QTimer::timeout, form.get(), [&] {
        const Ui::TUpdateForm &ui = *form->ui;
        ticks.push_back({form->ElapsedSeconds, ui.UpdateProgressBar->maximum(), ui.UpdateProgressBar->value(),
                         ToAnsi(ui.EstTimeLbl->text())});
    });
    dialogs.AnswerButton(Button::Yes);
    RunFromStart();
    const std::vector<std::string> expected = {
        S(918) + " |  |  (green)",
        S(921) + " |  |  (green)",
        S(921) + " | " + ctl + " |  (green)",
        "Downloading update.inf. Please wait. | " + ctl + " |  (green)",
        S(926) + " | " + ctl + " |  (green)",
        S(933) + " | " + ctl + " |  (green)",
        S(933) + " | " + ctl + " | 2.0.0.1 (green)",
        S(943) + " | " + ctl + " | 2.0.0.1 (green)",
        S(943) + " | " + file + " | 2.0.0.1 (green)",
        "Downloading big.bin. Please wait. | " + file + " | 2.0.0.1 (green)",
        S(948) + " | " + file + " | 2.0.0.1 (green)",
        S(949) + " | " + file + " | 2.0.0.1 (green)",
        "Connection Closed. | " + file + " | 2.0.0.1 (green)",
    };
    EXPECT_EQ(states, expected);
    EXPECT_EQ(testutil::readFile(app.file("big.bin")), big);
    const Ui::TUpdateForm &ui = *form->ui;
    EXPECT_EQ(ui.SizeLbl->text(), "03.00MB / 03.00MB (100%)");
    // Without a tick the time is not known; after ticks it is the last
    // tick's estimate from the amount that had come by then.
    if (ticks.empty()) {
        EXPECT_EQ(ui.EstTimeLbl->text(), "??:??:??");
    } else {
        const Tick &last = ticks.back();
        EXPECT_EQ(last.elapsed, int(ticks.size()));
        EXPECT_EQ(last.shown, EstimatedTimeText(last.max, last.pos, last.elapsed));
        EXPECT_EQ(ToAnsi(ui.EstTimeLbl->text()), last.shown);
    }
    EXPECT_EQ(ui.UpdateProgressBar->maximum(), 3 * 1048576);
    EXPECT_TRUE(animatedDuringRun);
    // Finished: animation and timer off, Close focused, Start still off.
    EXPECT_FALSE(form->AnimImage()->Active());
    EXPECT_FALSE(form->UpdTimer->isActive());
    EXPECT_FALSE(ui.StartUpdateBtn->isEnabled());
    EXPECT_TRUE(ui.CloseUpdateBtn->hasFocus() || !form->isActiveWindow());
    EXPECT_FALSE(mainWindow.isEnabled());
    EXPECT_EQ(exits, 0);

    // Close gives everything back.
    form->ElapsedSeconds = 7;
    QTest::mouseClick(ui.CloseUpdateBtn, Qt::LeftButton);
    EXPECT_TRUE(mainWindow.isEnabled());
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(ui.StartUpdateBtn->isEnabled());
    EXPECT_EQ(ui.UpdateProgressBar->value(), 0);
    EXPECT_EQ(ui.SizeLbl->text(), "N/A");
    EXPECT_EQ(ui.EstTimeLbl->text(), "N/A");
    EXPECT_TRUE(ui.DownloadLbl->text().isEmpty());
    EXPECT_TRUE(ui.URLFileLbl->text().isEmpty());
    EXPECT_TRUE(ui.DownloadStatusLbl->text().isEmpty());
    EXPECT_EQ(LabelColor(ui.DownloadStatusLbl), clGreen);
    EXPECT_EQ(form->ElapsedSeconds, 0);
}

TEST_P(UpdateWindowOver, RunsWithoutANewVersion)
{
    const std::string ctl = Url("update.inf");
    struct Case {
        std::string control;   // empty: no control file on the server
        std::vector<std::string> tail;
    };
    const Case cases[] = {
        {"",
         {S(916, "404") + " | " + ctl + " |  (green)", S(925) + " | " + ctl + " | Web Update File Not Found. (red)",
          S(949) + " | " + ctl + " | Web Update File Not Found. (red)",
          "Connection Closed. | " + ctl + " | Web Update File Not Found. (red)"}},
        {"[update]\nsignature=WebUpdate\nnewsize=17\nlocalversion={APP}/prog.bin\n",
         {S(932) + " | " + ctl + " |  (green)", S(930) + " | " + ctl + " | No New Version Available. (red)",
          S(949) + " | " + ctl + " | No New Version Available. (red)",
          "Connection Closed. | " + ctl + " | No New Version Available. (red)"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.control.empty() ? "no control file" : "not newer");
        if (!c.control.empty())
            testutil::writeFile(root.file("update.inf"), c.control);
        states.clear();
        RunFromStart();
        // The last states, from the verdict on.
        ASSERT_GE(states.size(), c.tail.size());
        EXPECT_EQ(std::vector<std::string>(states.end() - c.tail.size(), states.end()), c.tail);
        EXPECT_TRUE(dialogs.Calls.empty());
        QTest::mouseClick(form->ui->CloseUpdateBtn, Qt::LeftButton);
    }
}

TEST_F(UpdateWindow, FailedStepEndsWithTheRedVerdict)
{
    const std::string ctl = http.url("update.inf");
    testutil::writeFile(root.file("update.inf"), "[update]\nsignature=WebUpdate\nnewversion=2,0,0,1\n"
                                                 "localversion={APP}/prog.bin\n[files]\ncount=2147483647\n");
    RunFromStart();
    const std::string cause = "The update control file's file count is not a whole number from 0 to 1000: 2147483647";
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_EQ(dialogs.MessageBoxes()[0].text, cause);
    EXPECT_EQ(dialogs.MessageBoxes()[0].icon, Dialogs::Icon::Error);
    const std::vector<std::string> tail = {
        cause + " | " + ctl + " | Update Failed. (red)",
        S(948) + " | " + ctl + " | Update Failed. (red)",
        S(949) + " | " + ctl + " | Update Failed. (red)",
        "Connection Closed. | " + ctl + " | Update Failed. (red)",
    };
    ASSERT_GE(states.size(), tail.size());
    EXPECT_EQ(std::vector<std::string>(states.end() - tail.size(), states.end()), tail);
}

TEST_F(UpdateWindow, StatusHandler)
{
    struct Case {
        std::string status;
        int code;
        std::string download, url, verdict;
        TColor colour;
    };
    const Case cases[] = {
        {"New version found : 2,0,0,1", 5, "", "", "2.0.0.1", clGreen},
        {"New version found : 10,0,0,1", 5, "", "", "10.0.0.1", clGreen},
        // A date-based new version has no comma: the label stays, green.
        {"New version found : 03/04/2025", 5, "", "", "", clGreen},
        {"No new version found", 4, "No new version found", "", "No New Version Available.", clRed},
        {"Update control file not found", 2, "Update control file not found", "", "Web Update File Not Found.", clRed},
        {"Download : http://host/a.bin", 3, "", "http://host/a.bin", "", clGreen},
        {"Download : https://host/a.bin", 3, "", "https://host/a.bin", "", clGreen},
        {"Download update : ftp://host/a.bin", 3, "", "Download update : ftp://host/a.bin", "", clGreen},
        {"Cannot download update file : http://h/x", 2, "Cannot download update file : http://h/x", "",
         "Web Update File Not Found.", clRed},
        {"Http status : 404", 6, "Http status : 404", "", "", clGreen},
        // Errors and failed steps.
        {"Cannot write /opt/x", 1, "Cannot write /opt/x", "", "Update Failed.", clRed},
        {"Error decompressing CAB file : /opt/a.cab", 8, "Error decompressing CAB file : /opt/a.cab", "",
         "Update Failed.", clRed},
        {"Failed to spawn updater process : x", 9, "Failed to spawn updater process : x", "", "Update Failed.", clRed},
        {"Finished processing update control file", wustatus::RunFailedCode, "Finished processing update control file",
         "", "Update Failed.", clRed},
        {"Finished processing update control file", 3, "Finished processing update control file", "", "", clGreen},
    };
    const Ui::TUpdateForm &ui = *form->ui;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.status);
        form->CloseUpdateBtnClick();
        form->WebUpdateStatus(form->WebUpdate, c.status, c.code, 0);
        EXPECT_EQ(ToAnsi(ui.DownloadLbl->text()), c.download);
        EXPECT_EQ(ToAnsi(ui.URLFileLbl->text()), c.url);
        EXPECT_EQ(ToAnsi(ui.DownloadStatusLbl->text()), c.verdict);
        EXPECT_EQ(LabelColor(ui.DownloadStatusLbl), c.colour);
    }
}

TEST_F(UpdateWindow, ProgressAndTimer)
{
    const Ui::TUpdateForm &ui = *form->ui;
    // The control file: bytes, no timer, no estimate.
    form->WebUpdateFileProgress(form->WebUpdate, "/tmp/x/update.inf", 512, 2048);
    EXPECT_EQ(ui.SizeLbl->text(), "512bytes of 2048bytes");
    EXPECT_EQ(ui.DownloadLbl->text(), "Downloading update.inf. Please wait.");
    EXPECT_EQ(ui.UpdateProgressBar->maximum(), 2048);
    EXPECT_EQ(ui.UpdateProgressBar->value(), 512);
    EXPECT_FALSE(form->UpdTimer->isActive());
    EXPECT_EQ(ui.EstTimeLbl->text(), "N/A");
    // A listed file: megabytes, the timer starts, the estimate is unknown.
    form->WebUpdateFileProgress(form->WebUpdate, "/opt/app/prog.bin", 524288, 1310720);
    EXPECT_EQ(ui.SizeLbl->text(), "00.50MB / 01.25MB (40%)");
    EXPECT_EQ(ui.DownloadLbl->text(), "Downloading prog.bin. Please wait.");
    EXPECT_TRUE(form->UpdTimer->isActive());
    EXPECT_EQ(form->UpdTimer->interval(), 1000);
    EXPECT_EQ(ui.EstTimeLbl->text(), "??:??:??");
    // One tick a second: 44820 KB at 12 KB/sec in the tenth second.
    form->UpdTimer->stop();
    ui.UpdateProgressBar->setMaximum(44820 * 1024);
    ui.UpdateProgressBar->setValue(120 * 1024);
    form->ElapsedSeconds = 9;
    form->UpdTimerTimer();
    EXPECT_EQ(form->ElapsedSeconds, 10);
    EXPECT_EQ(ui.EstTimeLbl->text(), "01:02:05 (At 12.00 KB/sec)");
}

TEST_F(UpdateWindow, RestartEndsTheProgramThroughTheMainWindow)
{
    form->WebUpdate->OnAppDoClose(form->WebUpdate);
    EXPECT_EQ(exits, 1);
}

TEST_F(UpdateWindow, EscapeClosesOnlyWhileCloseCanBePressed)
{
    form->show();
    mainWindow.setEnabled(false);
    form->ui->CloseUpdateBtn->setEnabled(false);
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    form->ui->CloseUpdateBtn->setEnabled(true);
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(mainWindow.isEnabled());
}

// ---- where the update may come from ------------------------------------------------------

class SecureUpdateWindow : public UpdateWindow {
protected:
    void SetUp() override
    {
        UpdateWindow::SetUp();
        ASSERT_TRUE(authority.ok()) << "openssl failed";
        wuaddress::TrustAuthorityForTests(authority.caFile());
        // Were anything accepted, the run would install big.bin.
        testutil::writeFile(root.file("big.bin"), "new contents");
        testutil::writeFile(root.file("update.inf"), "[update]\nsignature=WebUpdate\nunconditional=1\n[files]\ncount=1\n"
                                                     "[file1]\nurl=" + http.url("big.bin") + "\n");
    }

    // Nothing was written: the application folder holds what it held and the
    // component's temporary folder is empty.
    void ExpectNothingWritten()
    {
        EXPECT_EQ(Entries(app.path()), (std::vector<std::string>{"WebUpdate.ini", "prog.bin"}));
        EXPECT_EQ(testutil::readFile(app.file("prog.bin")), "installed program");
        EXPECT_TRUE(wutest::TempEntries(form->WebUpdate->GetTempDirectory()).empty());
    }

    // The run ended with the message in a box and the red not-found verdict.
    void ExpectRefused(const std::string &message)
    {
        const Ui::TUpdateForm &ui = *form->ui;
        ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
        EXPECT_EQ(dialogs.MessageBoxes()[0].text.substr(0, message.size()), message);
        EXPECT_EQ(dialogs.MessageBoxes()[0].icon, Dialogs::Icon::Error);
        // The status line showed it too.
        EXPECT_TRUE(std::any_of(states.begin(), states.end(), [&](const std::string &state) {
            return state.rfind(dialogs.MessageBoxes()[0].text + " | ", 0) == 0;
        }));
        EXPECT_EQ(ToAnsi(ui.DownloadStatusLbl->text()), "Web Update File Not Found.");
        EXPECT_EQ(LabelColor(ui.DownloadStatusLbl), clRed);
    }

    wutest::TestAuthority authority;
};

TEST_F(SecureUpdateWindow, RefusedServersEndWithAMessageAndWriteNothing)
{
    wutest::TestAuthority stranger;   // an authority the update does not trust
    ASSERT_TRUE(stranger.ok());
    const std::string loopback = "IP:127.0.0.1,DNS:localhost";
    struct Case {
        const char *name;
        wutest::TestAuthority::Pair certificate;
        const char *path;
        std::string message;
    } cases[] = {
        {"untrusted authority", stranger.Issue("server", loopback), "update.inf",
         "The server's certificate was not accepted"},
        {"self-signed", authority.Issue("self", loopback, true), "update.inf",
         "The server's certificate was not accepted"},
        {"another host name", authority.Issue("other", "DNS:other.example"), "update.inf",
         "The server's certificate was not accepted"},
        {"redirection to http", authority.Issue("server", loopback), "tohttp/update.inf",
         "A redirection to an address that is not https was refused"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.certificate.cert.empty());
        wutest::TlsNginxPeer server(root.path(), c.certificate);
        ASSERT_TRUE(server.ready());
        Configure(server.url(c.path));
        dialogs.Reset();
        states.clear();
        RunFromStart();
        ExpectRefused(c.message);
        ExpectNothingWritten();
        // The plain port the redirection names was never asked.
        EXPECT_EQ(server.PlainRequests(), 0);
        QTest::mouseClick(form->ui->CloseUpdateBtn, Qt::LeftButton);
    }
}

TEST_F(SecureUpdateWindow, PlainAddressOffLoopbackIsRefusedBeforeConnecting)
{
    // Every connection the transfer could make goes to this loopback proxy,
    // so an attempt would show here and nothing leaves the machine.
    nettest::Listener proxy;
    form->WebUpdate->Proxy = "http://127.0.0.1:" + std::to_string(proxy.port());
    for (const char *address : {"http://192.0.2.1/update.inf", "http://127.0.0.1.example/update.inf",
                                "ftp://127.0.0.1/update.inf", "update.inf"}) {
        SCOPED_TRACE(address);
        Configure(address);
        dialogs.Reset();
        states.clear();
        const auto t0 = std::chrono::steady_clock::now();
        RunFromStart();
        // Well below the 30 s a connection attempt to that address could take.
        EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
        EXPECT_EQ(proxy.accept(200), -1);
        ExpectRefused(std::string("The update address is refused, only https addresses are allowed: ") + address);
        ExpectNothingWritten();
        QTest::mouseClick(form->ui->CloseUpdateBtn, Qt::LeftButton);
    }
}

// A plain loopback address whose server sends the update elsewhere: the
// redirection is refused before anything connects, and the message says so.
TEST_F(SecureUpdateWindow, RedirectionOffThisMachineIsRefusedWithItsCause)
{
    Configure(http.url("away/update.inf"));
    const auto t0 = std::chrono::steady_clock::now();
    RunFromStart();
    // Far below the 30 s a connection attempt to that address could take.
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(10));
    ExpectRefused("A redirection from a plain http address to a host other than this machine was refused: "
                  "http://192.0.2.1/update.inf");
    ExpectNothingWritten();
}

TEST_F(SecureUpdateWindow, WithoutAnAddressStartFetchesNothing)
{
    if (!BuiltInUpdateAddress().empty())
        GTEST_SKIP() << "built with an update address";
    auto pair = authority.Issue("server", "IP:127.0.0.1,DNS:localhost");
    wutest::TlsNginxPeer server(root.path(), pair);
    ASSERT_TRUE(server.ready());
    // The program's component keeps its settings in the program folder.
    setenv("MIXDECK_HOME", app.path().c_str(), 1);
    EXPECT_EQ(TWebUpdate().RegistryFile, app.file("WebUpdate.ini"));
    unsetenv("MIXDECK_HOME");

    const Ui::TUpdateForm &ui = *form->ui;
    int statuses = 0;
    auto handler = form->WebUpdate->OnStatus;
    form->WebUpdate->OnStatus = [&, handler](TWebUpdate *w, const std::string &t, int32_t c, int32_t e) {
        ++statuses;
        handler(w, t, c, e);
    };
    // No file, a file without the key, an empty key.
    for (const char *settings : {"", "[Update]\r\nOther=1\r\n", "[Update]\r\nURL=  \r\n"}) {
        SCOPED_TRACE(settings);
        unlink(app.file("WebUpdate.ini").c_str());
        if (*settings)
            testutil::writeFile(app.file("WebUpdate.ini"), settings);
        form->show();
        mainWindow.setEnabled(false);
        QTest::mouseClick(ui.StartUpdateBtn, Qt::LeftButton);
        QTest::qWait(50);
        // One message: the status line says it, the verdict line adds no
        // other.
        EXPECT_EQ(ToAnsi(ui.DownloadLbl->text()), "No update address is configured");
        EXPECT_EQ(ToAnsi(ui.DownloadStatusLbl->text()), "");
        EXPECT_TRUE(dialogs.MessageBoxes().empty());
        // Ended at once: both buttons work, nothing runs or animates.
        EXPECT_TRUE(ui.StartUpdateBtn->isEnabled());
        EXPECT_TRUE(ui.CloseUpdateBtn->isEnabled());
        EXPECT_FALSE(form->AnimImage()->Active());
        EXPECT_FALSE(form->WebUpdate->Busy());
        EXPECT_EQ(statuses, 0);
        EXPECT_EQ(server.Requests(), 0);
        QTest::mouseClick(ui.CloseUpdateBtn, Qt::LeftButton);
    }
    // Once the installer names the address, the same Start fetches from it.
    Configure(server.url("update.inf"));
    testutil::writeFile(root.file("update.inf"), "[update]\nsignature=WebUpdate\nnewsize=17\nlocalversion={APP}/prog.bin\n");
    RunFromStart();
    EXPECT_EQ(server.Requests(), 1);
    EXPECT_EQ(ToAnsi(ui.DownloadStatusLbl->text()), "No New Version Available.");
}
