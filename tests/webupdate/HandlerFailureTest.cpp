// The update window when one of the main window's handlers of the web update
// fails (throws, as a full disk or a failed save in it would): whichever
// handler fails, the run ends with the failure told, a verdict that says
// what happened (the red failure, or, when the files were in place before
// the failure, installed with the failure named), one done event, the
// buttons back, no temporary folder left, and no updater running unless
// the program is ending for the restart. Whole runs against
// the loopback HTTP peer, the window offscreen, driven by clicks.
#include "common/TestUtil.h"
#include "controls/Animate.h"
#include "platform/Cp1252.h"
#include "platform/ScriptedDialogs.h"
#include "webupdate/Update.h"
#include "webupdate/WebUpdatePeers.h"
#include "webupdate/WuProcess.h"

#include "ui_Update.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include <chrono>
#include <csignal>
#include <stdexcept>

using testutil::TempDir;

namespace {

TColor LabelColor(const QLabel *l) { return QColorToColor(l->palette().color(QPalette::WindowText)); }

// The status text of a string id up to its argument.
std::string StatusPrefix(int id)
{
    const std::string t = wustatus::Text(id);
    return t.substr(0, t.find("%s"));
}

// The texts of the error boxes shown.
std::vector<std::string> Errors(const ScriptedDialogs &dialogs)
{
    std::vector<std::string> texts;
    for (const auto &call : dialogs.MessageBoxes())
        if (call.icon == Dialogs::Icon::Error)
            texts.push_back(call.text);
    return texts;
}

class HandlerFailure : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY", "no_proxy", "NO_PROXY"})
            unsetenv(v);
        ASSERT_TRUE(http.ready());
        // A new version with one component of the application: a run that
        // goes through every event, the restart included.
        testutil::writeFile(root.file("comp.bin"), wutest::PatternBytes(100000));
        testutil::writeFile(root.file("update.inf"),
                            "[update]\nsignature=WebUpdate\nnewversion=2,0,0,1\nlocalversion={APP}/prog.bin\n"
                            "[application]\nappupdate=1\nsilentrestart=1\nappname=prog.bin\nappcomps=comp.bin\n"
                            "[files]\ncount=1\n[file1]\nurl=" + http.url("comp.bin") + "\n");
        mainWindow.resize(600, 400);
        mainWindow.show();
    }

    // The update window over the main window, with the program's component
    // installed in app and the peer's control file configured.
    std::unique_ptr<TUpdateForm> MakeWindow(const TempDir &app)
    {
        testutil::writeFile(app.file("prog.bin"), "installed program");
        testutil::writeFile(app.file("WebUpdate.ini"), "[Update]\r\nURL=" + http.url("update.inf") + "\r\n");
        auto component = std::make_unique<TWebUpdate>();
        SetupMainWebUpdate(*component);
        component->AppFolder = app.path();
        component->RegistryFile = app.file("WebUpdate.ini");
        return std::make_unique<TUpdateForm>(&mainWindow, std::move(component));
    }

    TempDir root;
    wutest::HttpPeer http{root.path()};
    QWidget mainWindow;
};

TEST_F(HandlerFailure, EveryHandlerOfTheRun)
{
    enum class Kind { None, Status, Progress, Done, Restart, Close };
    struct Case {
        const char *name;
        Kind kind;
        int id;                // the status that fails
        std::string file;      // the file whose progress fails
        std::string verdict;   // the red verdict at the end; empty: the run succeeds
    };
    const std::string failed = UpdateFailedText, notFound = "Web Update File Not Found.";
    // The files are in place when it fails: the verdict says installed and
    // names the failure.
    const std::string installed = UpdateInstalledButText;
    const Case cases[] = {
        {"nothing fails", Kind::None, 0, "", ""},
        {"checking the connection", Kind::Status, wustatus::CheckingConnection, "", failed},
        {"connection found", Kind::Status, wustatus::FoundConnection, "", failed},
        // The control file could not be fetched.
        {"control file download", Kind::Status, wustatus::Download, "", notFound},
        {"control file progress", Kind::Progress, 0, "update.inf", notFound},
        {"control file found", Kind::Status, wustatus::ControlFileFound, "", failed},
        {"version test", Kind::Status, wustatus::VersionUpdate, "", failed},
        {"new version", Kind::Status, wustatus::NewVersionFound, "", failed},
        {"file instruction", Kind::Status, wustatus::FileUpdateInstruction, "", failed},
        // The listed file could not be fetched.
        {"file download", Kind::Status, wustatus::DownloadUpdate, "", notFound},
        {"file progress", Kind::Progress, 0, "comp.bin", notFound},
        {"finished", Kind::Status, wustatus::FinishedControlFile, "", installed},
        {"closed connection", Kind::Status, wustatus::ClosedConnection, "", installed},
        {"done", Kind::Done, 0, "", installed},
        // Before the updater starts: it never starts.
        {"restart asked", Kind::Restart, 0, "", failed},
        // After it started: it is stopped again.
        {"application close", Kind::Close, 0, "", failed},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        wutest::TempBase tmp;
        TempDir app;
        ScriptedDialogs dialogs;
        Dialogs::ScopedService use(dialogs);
        const std::unique_ptr<TUpdateForm> window = MakeWindow(app);
        TUpdateForm &form = *window;
        const Ui::TUpdateForm &ui = *form.ui;
        TWebUpdate *w = form.WebUpdate;

        // Each handler does its work, then fails when its turn has come
        // (once: the report of the failure goes through the same handlers).
        const std::string why = std::string("disk full in ") + c.name;
        bool thrown = false;
        auto failNow = [&](bool turn) {
            if (turn && !thrown) {
                thrown = true;
                throw std::runtime_error(why);
            }
        };
        int exits = 0, dones = 0;
        form.ExitProgram = [&] {
            ++exits;
            failNow(c.kind == Kind::Close);
        };
        auto status = w->OnStatus;
        w->OnStatus = [&, status](TWebUpdate *s, const std::string &t, int32_t code, int32_t e) {
            status(s, t, code, e);
            // A report of the run (3, or 5 for a new version), not of a failure.
            failNow(c.kind == Kind::Status && (code == 3 || code == 5) && t.rfind(StatusPrefix(c.id), 0) == 0);
        };
        auto progress = w->OnFileProgress;
        w->OnFileProgress = [&, progress](TWebUpdate *s, const std::string &f, int64_t pos, int64_t size) {
            progress(s, f, pos, size);
            failNow(c.kind == Kind::Progress && f.size() >= c.file.size() &&
                    f.compare(f.size() - c.file.size(), c.file.size(), c.file) == 0);
        };
        auto done = w->OnThreadUpdateDone;
        w->OnThreadUpdateDone = [&, done](TWebUpdate *s) {
            ++dones;
            done(s);
            failNow(c.kind == Kind::Done);
        };
        w->OnAppRestart = [&](TWebUpdate *, bool &allow) {
            allow = true;
            failNow(c.kind == Kind::Restart);
        };

        form.show();
        mainWindow.setEnabled(false);
        QTest::mouseClick(ui.StartUpdateBtn, Qt::LeftButton);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (dones == 0 && std::chrono::steady_clock::now() < end)
            QTest::qWait(10);
        QTest::qWait(20);
        EXPECT_TRUE(c.kind == Kind::None || thrown) << "the handler never had its turn";

        // One done event; Close can be pressed, the animation is off.
        EXPECT_EQ(dones, 1);
        EXPECT_TRUE(ui.CloseUpdateBtn->isEnabled());
        EXPECT_FALSE(form.AnimImage()->Active());
        EXPECT_FALSE(form.UpdTimer->isActive());
        EXPECT_FALSE(w->Busy());
        EXPECT_FALSE(w->Running());

        // The verdict says what happened; the failure's own message was told.
        const std::vector<pid_t> updaters = wutest::RunningUpdaters();
        if (c.verdict.empty()) {
            EXPECT_NE(ToAnsi(ui.DownloadStatusLbl->text()), failed);
            EXPECT_EQ(LabelColor(ui.DownloadStatusLbl), clGreen);
            EXPECT_TRUE(Errors(dialogs).empty());
            // The restart is under way: the program was told to end, and the
            // updater waits for that end in the folder it runs from.
            EXPECT_EQ(exits, 1);
            ASSERT_EQ(updaters, std::vector<pid_t>{w->UpdaterProcess()});
            EXPECT_EQ(tmp.Folders().size(), 1u);
            kill(updaters[0], SIGKILL);
            wuprocess::WaitChild(updaters[0]);
        } else {
            if (c.verdict == installed) {
                EXPECT_EQ(ToAnsi(ui.DownloadStatusLbl->text()), installed + why);
                EXPECT_EQ(LabelColor(ui.DownloadStatusLbl), clOlive);
                EXPECT_EQ(testutil::readFile(app.file("comp.bin")), wutest::PatternBytes(100000));
            } else {
                EXPECT_EQ(ToAnsi(ui.DownloadStatusLbl->text()), c.verdict);
                EXPECT_EQ(LabelColor(ui.DownloadStatusLbl), clRed);
            }
            const std::vector<std::string> errors = Errors(dialogs);
            ASSERT_FALSE(errors.empty());
            EXPECT_EQ(errors[0], c.kind == Kind::Close ? std::string(TWebUpdate::ClosingFailedText) + ": " + why : why);
            // The program goes on without a restart, and no updater waits
            // for its end.
            EXPECT_EQ(exits, c.kind == Kind::Close ? 1 : 0);
            EXPECT_TRUE(updaters.empty());
            EXPECT_EQ(w->UpdaterProcess(), -1);
            EXPECT_TRUE(tmp.Folders().empty());
            for (pid_t pid : updaters) {
                kill(pid, SIGKILL);
                wuprocess::WaitChild(pid);
            }
        }

        // Close gives everything back, and Start can start again.
        QTest::mouseClick(ui.CloseUpdateBtn, Qt::LeftButton);
        EXPECT_TRUE(mainWindow.isEnabled());
        EXPECT_TRUE(ui.StartUpdateBtn->isEnabled());
        EXPECT_TRUE(ui.CloseUpdateBtn->isEnabled());
    }
}

// A failure after the file list over files that are not in place yet: a
// component named "..._new" waits for the updater, which the failure stops;
// the verdict stays the red failure.
TEST_F(HandlerFailure, AComponentLeftForTheUpdaterIsNotAnInstalledUpdate)
{
    wutest::TempBase tmp;
    TempDir app;
    testutil::writeFile(root.file("comp.bin_new"), wutest::PatternBytes(1000));
    testutil::writeFile(root.file("update.inf"),
                        "[update]\nsignature=WebUpdate\nnewversion=2,0,0,1\nlocalversion={APP}/prog.bin\n"
                        "[application]\nappupdate=1\nsilentrestart=1\nappname=prog.bin\nappcomps=comp.bin_new\n"
                        "[files]\ncount=1\n[file1]\nurl=" + http.url("comp.bin_new") + "\n");
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    dialogs.AnswerButton(Dialogs::Button::Yes);
    const std::unique_ptr<TUpdateForm> window = MakeWindow(app);
    TUpdateForm &form = *window;
    int dones = 0;
    auto status = form.WebUpdate->OnStatus;
    form.WebUpdate->OnStatus = [&, status](TWebUpdate *s, const std::string &t, int32_t code, int32_t e) {
        status(s, t, code, e);
        if (code == 3 && t == wustatus::Text(wustatus::FinishedControlFile))
            throw std::runtime_error("disk full");
    };
    auto done = form.WebUpdate->OnThreadUpdateDone;
    form.WebUpdate->OnThreadUpdateDone = [&, done](TWebUpdate *s) {
        ++dones;
        done(s);
    };
    form.show();
    QTest::mouseClick(form.ui->StartUpdateBtn, Qt::LeftButton);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (dones == 0 && std::chrono::steady_clock::now() < end)
        QTest::qWait(10);
    EXPECT_TRUE(testutil::fileExists(app.file("comp.bin_new")));
    EXPECT_FALSE(form.WebUpdate->FilesInPlace());
    EXPECT_EQ(ToAnsi(form.ui->DownloadStatusLbl->text()), UpdateFailedText);
    EXPECT_EQ(LabelColor(form.ui->DownloadStatusLbl), clRed);
    EXPECT_EQ(Errors(dialogs), std::vector<std::string> {"disk full"});
    QTest::mouseClick(form.ui->CloseUpdateBtn, Qt::LeftButton);
}

// A failing done handler does not keep the next run from starting.
TEST_F(HandlerFailure, StartWorksAgainAfterAFailedDoneHandler)
{
    wutest::TempBase tmp;
    TempDir app;
    // Not newer: nothing to fetch, no restart.
    testutil::writeFile(root.file("update.inf"),
                        "[update]\nsignature=WebUpdate\nnewsize=17\nlocalversion={APP}/prog.bin\n");
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    const std::unique_ptr<TUpdateForm> window = MakeWindow(app);
    TUpdateForm &form = *window;
    const Ui::TUpdateForm &ui = *form.ui;
    int dones = 0;
    auto done = form.WebUpdate->OnThreadUpdateDone;
    form.WebUpdate->OnThreadUpdateDone = [&, done](TWebUpdate *s) {
        ++dones;
        done(s);
        if (dones == 1)
            throw std::runtime_error("cannot save");
    };
    form.show();
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        QTest::mouseClick(ui.StartUpdateBtn, Qt::LeftButton);
        EXPECT_FALSE(ui.StartUpdateBtn->isEnabled());
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (dones < run && std::chrono::steady_clock::now() < end)
            QTest::qWait(10);
        EXPECT_EQ(dones, run);
        EXPECT_EQ(ToAnsi(ui.DownloadStatusLbl->text()), run == 1 ? UpdateFailedText : "No New Version Available.");
        QTest::mouseClick(ui.CloseUpdateBtn, Qt::LeftButton);
        EXPECT_TRUE(ui.StartUpdateBtn->isEnabled());
    }
    EXPECT_TRUE(tmp.Folders().empty());
}

} // namespace
