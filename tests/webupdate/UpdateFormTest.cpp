// The update window: its texts, the main window's handlers of the web update
// component's events, and whole runs against a loopback HTTP server with the
// window offscreen, driven by clicks on its buttons.
#include "common/TestUtil.h"
#include "controls/Animate.h"
#include "platform/Cp1252.h"
#include "platform/ScriptedDialogs.h"
#include "webupdate/Update.h"
#include "webupdate/WebUpdatePeers.h"

#include "ui_Update.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <chrono>

using testutil::TempDir;
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
        for (const char *v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
            unsetenv(v);
        auto wu = std::make_unique<TWebUpdate>();
        SetupMainWebUpdate(*wu);
        wu->AppFolder = app.path();
        wu->RegistryFile = app.file("WebUpdate.ini");
        form = std::make_unique<TUpdateForm>(&mainWindow, std::move(wu));
        form->URL = http.url("update.inf");
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
    EXPECT_EQ(std::string(UpdateControlFileURL).substr(std::string(UpdateControlFileURL).find("/download")),
              "/download/update.inf");
}

TEST_F(UpdateWindow, FullRunWithANewVersionAndOneFile)
{
    const std::string big = wutest::PatternBytes(3 * 1048576);
    testutil::writeFile(root.file("big.bin"), big);
    const std::string ctl = http.url("update.inf"), file = http.url("big.bin");
    testutil::writeFile(root.file("update.inf"),
                        "[update]\nsignature=WebUpdate\nnewversion=2,0,0,1\nlocalversion={APP}/prog.bin\n"
                        "[files]\ncount=1\n[file1]\nurl=" + file + "\nlocalversion={APP}\\big.bin\n");
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
    EXPECT_EQ(ui.EstTimeLbl->text(), "??:??:??");
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

TEST_F(UpdateWindow, RunsWithoutANewVersion)
{
    const std::string ctl = http.url("update.inf");
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
        {"Download update : ftp://host/a.bin", 3, "", "Download update : ftp://host/a.bin", "", clGreen},
        {"Cannot download update file : http://h/x", 2, "Cannot download update file : http://h/x", "",
         "Web Update File Not Found.", clRed},
        {"Http status : 404", 6, "Http status : 404", "", "", clGreen},
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
