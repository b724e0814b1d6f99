// The restart through the embedded updater: the updater replaces a dummy
// program's files after the dummy ended and starts it again.
#include "common/TestUtil.h"
#include "platform/ScriptedDialogs.h"
#include "webupdate/LzExpand.h"
#include "webupdate/WUpdate.h"
#include "webupdate/Update.h"
#include "webupdate/WuProcess.h"
#include "webupdate/WuResult.h"
#include "webupdate/WebUpdatePeers.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using testutil::TempDir;

namespace {

// Waits (in sleeps, with a deadline) until the file exists and holds its line.
bool AwaitFile(const std::string &path, int seconds = 10)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    // The writer creates the file before it writes its line: wait for the line.
    while (!testutil::fileExists(path) || testutil::readFile(path).empty()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Give the writer the moment to finish its line.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return true;
}

// A silent run of the control file at control, from the local file system,
// for the application in appFolder.
void ForAFileRun(TWebUpdate &run, const std::string &appFolder, const std::string &control)
{
    run.AppFolder = appFolder;
    run.UpdateType = TWebUpdateType::fileUpdate;
    run.UpdateUpdate = TWebUpdateUpdate::wuuSilent;
    run.ProcessMessages = [] {};
    run.URL = control;
}

class Updater : public ::testing::Test {
protected:
    void SetUp() override
    {
        wu.AppFolder = app.path();
        updater = wu.ExtractUpdateResource();
        ASSERT_FALSE(updater.empty());
        // The dummy program: started plainly it waits a moment and notes the
        // file it runs from; started with "restarted" it notes it at once.
        testutil::writeFile(app.file("dummy.sh"),
                            "#!/bin/sh\ncd \"$(dirname \"$0\")\"\n"
                            "if [ \"$1\" = restarted ]; then cat APP.BIN > restarted.txt; exit 0; fi\n"
                            "sleep 0.4\ncat APP.BIN > ended.txt\n");
        chmod(app.file("dummy.sh").c_str(), 0755);
        testutil::writeFile(app.file("APP.BIN"), "old");
    }

    pid_t StartDummy()
    {
        return wuprocess::Spawn(app.file("dummy.sh"), {"dummy.sh"}, wuprocess::InFolder(app.path()));
    }
    // Runs the updater in the application folder and gives its exit code.
    int RunUpdater(const std::vector<std::string> &args)
    {
        std::vector<std::string> argv{"upd.exe"};
        argv.insert(argv.end(), args.begin(), args.end());
        const pid_t pid = wuprocess::Spawn(updater, argv, wuprocess::InFolder(app.path()));
        EXPECT_GT(pid, 0);
        return wuprocess::WaitChild(pid);
    }

    TempDir app;
    TWebUpdate wu;
    std::string updater;
};

TEST_F(Updater, IsCarriedAsSzdd)
{
    // Written, expanded under its header's name, the packed file removed.
    EXPECT_EQ(updater, wu.GetTempDirectory() + "upd.exe");
    EXPECT_FALSE(testutil::fileExists(wu.GetTempDirectory() + "upd.ex_"));
    EXPECT_EQ(access(updater.c_str(), X_OK), 0);
}

TEST_F(Updater, ReplacesComponentAfterTheProgramEndedAndRestartsIt)
{
    // The publisher's suffix in any case is found.
    for (const char *given : {"APP.BIN_new", "APP.BIN_NEW"}) {
        unlink(app.file("ended.txt").c_str());
        unlink(app.file("restarted.txt").c_str());
        testutil::writeFile(app.file("APP.BIN"), "old");
        testutil::writeFile(app.file(given), "new");
        const pid_t dummy = StartDummy();
        ASSERT_GT(dummy, 0);
        EXPECT_EQ(RunUpdater({std::to_string(dummy), "null", "app.bin_NEW"}), 1)
            << "the name differs in case from the installed file";
        EXPECT_EQ(RunUpdater({std::to_string(dummy), "null", "APP.BIN_New"}), 0);
        EXPECT_EQ(wuprocess::WaitChild(dummy), 0);
        // The dummy saw the old file when it ended: the updater waited.
        EXPECT_EQ(testutil::readFile(app.file("ended.txt")), "old") << given;
        EXPECT_EQ(testutil::readFile(app.file("APP.BIN")), "new");
        EXPECT_FALSE(testutil::fileExists(app.file(given)));
        EXPECT_FALSE(testutil::fileExists(app.file("restarted.txt")));   // "null" starts nothing
    }

    // Now with the restart.
    unlink(app.file("restarted.txt").c_str());
    testutil::writeFile(app.file("APP.BIN_new"), "newer");
    const pid_t dummy = StartDummy();
    EXPECT_EQ(RunUpdater({std::to_string(dummy), "dummy.sh restarted", "APP.BIN_NEW"}), 0);
    EXPECT_EQ(wuprocess::WaitChild(dummy), 0);
    ASSERT_TRUE(AwaitFile(app.file("restarted.txt")));
    EXPECT_EQ(testutil::readFile(app.file("restarted.txt")), "newer");
    EXPECT_EQ(testutil::readFile(app.file("ended.txt")), "new");
}

TEST_F(Updater, RefusesNamesOutsideTheFolder)
{
    TempDir other;
    testutil::writeFile(other.file("x_new"), "evil");
    testutil::writeFile(other.file("x"), "kept");
    const std::string rel = "../" + other.path().substr(other.path().rfind('/') + 1) + "/x_NEW";
    testutil::writeFile(app.file("APP.BIN_new"), "new");
    symlink(other.path().c_str(), app.file("link").c_str());
    // A process that has ended already: straight to the components.
    const pid_t gone = StartDummy();
    kill(gone, SIGKILL);
    wuprocess::WaitChild(gone);
    EXPECT_EQ(RunUpdater({std::to_string(gone), "null", rel, other.file("x_NEW"), "link/x_NEW", "APP.BIN_NEW"}), 1);
    EXPECT_EQ(testutil::readFile(other.file("x")), "kept");
    EXPECT_EQ(testutil::readFile(other.file("x_new")), "evil");
    EXPECT_EQ(testutil::readFile(app.file("APP.BIN")), "new");

    // A program outside the folder or a shell command is not started.
    EXPECT_EQ(RunUpdater({std::to_string(gone), "/bin/sh -c \"touch " + app.file("shell") + "\""}), 4);
    EXPECT_EQ(RunUpdater({std::to_string(gone), other.file("x")}), 4);
    EXPECT_FALSE(testutil::fileExists(app.file("shell")));
    // A first argument that is no number: nothing at all.
    testutil::writeFile(app.file("APP.BIN_new"), "newest");
    EXPECT_EQ(RunUpdater({"12x", "null", "APP.BIN_NEW"}), 2);
    EXPECT_EQ(testutil::readFile(app.file("APP.BIN")), "new");
}

TEST_F(Updater, AbsoluteNamesInsideTheFolderAreComponents)
{
    TempDir other;
    mkdir(app.file("sub").c_str(), 0755);
    testutil::writeFile(app.file("sub/TOOL.BIN"), "old tool");
    testutil::writeFile(app.file("sub/TOOL.BIN_NEW"), "new tool");
    testutil::writeFile(app.file("APP.BIN_NEW"), "new");
    testutil::writeFile(other.file("x_NEW"), "evil");
    const std::string sibling = app.path() + "-x";   // shares the folder's name as a prefix
    const pid_t gone = StartDummy();
    kill(gone, SIGKILL);
    wuprocess::WaitChild(gone);
    const std::string result = app.file("result.txt");
    setenv(wuresult::ResultVariable, result.c_str(), 1);
    const std::vector<std::string> refused = {app.path() + "\\sub\\..\\x_NEW", sibling + "/x_NEW",
                                              other.path() + "\\x_NEW", app.path(), "\\" + other.file("x_NEW")};
    std::vector<std::string> args = {std::to_string(gone), "null", app.path() + "\\APP.BIN_NEW",
                                     app.path() + "/sub\\TOOL.BIN_New"};
    args.insert(args.end(), refused.begin(), refused.end());
    EXPECT_EQ(RunUpdater(args), 1);
    unsetenv(wuresult::ResultVariable);
    EXPECT_EQ(testutil::readFile(app.file("APP.BIN")), "new");
    EXPECT_EQ(testutil::readFile(app.file("sub/TOOL.BIN")), "new tool");
    EXPECT_EQ(testutil::readFile(other.file("x_NEW")), "evil");
    std::string expected;
    for (const std::string &name : refused)
        expected += wuresult::Refused(name) + "\n";
    EXPECT_EQ(testutil::readFile(result), expected);
}

TEST_F(Updater, ComponentNotPutInPlaceIsToldAndItsNewFileKept)
{
    // The installed name is a folder: the new file cannot replace it.
    mkdir(app.file("DATA.BIN").c_str(), 0755);
    testutil::writeFile(app.file("DATA.BIN/inside"), "x");
    testutil::writeFile(app.file("DATA.BIN_NEW"), "new data");
    const pid_t gone = StartDummy();
    kill(gone, SIGKILL);
    wuprocess::WaitChild(gone);
    const std::string result = app.file("result.txt");
    setenv(wuresult::ResultVariable, result.c_str(), 1);
    EXPECT_EQ(RunUpdater({std::to_string(gone), "null", "DATA.BIN_NEW", "MISSING.BIN_NEW"}), 1);
    unsetenv(wuresult::ResultVariable);
    EXPECT_EQ(testutil::readFile(app.file("DATA.BIN_NEW")), "new data");
    const std::string text = testutil::readFile(result);
    EXPECT_NE(text.find("Could not replace " + app.file("DATA.BIN") + " ("), std::string::npos) << text;
    EXPECT_NE(text.find("the new file is kept as " + app.file("DATA.BIN_NEW") + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find(wuresult::Missing(app.file("MISSING.BIN_NEW")) + "\n"), std::string::npos) << text;
    EXPECT_NE(text.find(wuresult::Kept(app.file("DATA.BIN_NEW")) + "\n"), std::string::npos) << text;
}

TEST(UpdaterResult, ReadWithinItsBudget)
{
    EXPECT_EQ(wuresult::Parse("one\n\ntwo\r\n  \nthree"),
              (std::vector<std::string>{"one", "two ", "three"}));
    EXPECT_TRUE(wuresult::Parse("").empty());
    const std::string line(100, 'x');
    std::string big;
    while (big.size() <= wuresult::MaxBytes)
        big += line + "\n";
    const std::vector<std::string> lines = wuresult::Parse(big);
    EXPECT_EQ(lines.back(), "(more was not read)");
    EXPECT_EQ(lines.size(), wuresult::MaxBytes / 101 + 1);
    TempDir dir;
    std::vector<std::string> got;
    EXPECT_FALSE(wuresult::Take(dir.file("none"), got));
    ASSERT_TRUE(wuresult::Write(dir.file("r"), {"a\nb", "c"}));
    EXPECT_TRUE(wuresult::Take(dir.file("r"), got));
    EXPECT_EQ(got, (std::vector<std::string>{"a b", "c"}));
    EXPECT_FALSE(testutil::fileExists(dir.file("r")));
}

TEST_F(Updater, PackedComponentExpandedAndKept)
{
    const std::string content = std::string(3000, 'x') + "tail of the tool";
    testutil::writeFile(app.file("tool.bin"), content);
    ASSERT_EQ(system(("cd " + app.path() + " && mscompress tool.bin >/dev/null 2>&1").c_str()), 0);
    testutil::writeFile(app.file("tool.bin"), "stale");
    testutil::writeFile(app.file("plain.txt"), "plain");
    const pid_t gone = StartDummy();
    kill(gone, SIGKILL);
    wuprocess::WaitChild(gone);
    EXPECT_EQ(RunUpdater({std::to_string(gone), "null", "tool.bin_", "plain.txt"}), 0);
    EXPECT_EQ(testutil::readFile(app.file("tool.bin")), content);
    EXPECT_TRUE(testutil::fileExists(app.file("tool.bin_")));
    EXPECT_EQ(testutil::readFile(app.file("plain.txt")), "plain");
}

TEST_F(Updater, StartsTheProgramThatRanOrSaysWhyItCouldNot)
{
    // With the program handed over, that program starts again, by its path,
    // with the parameters of the application command (whose own program is
    // not looked at); one that cannot start is told at the next start.
    struct Case {
        const char *name;
        std::string program;   // WUPDATE_PROGRAM; empty: not set
        std::string command;
        int code;
        std::string result;   // what WebUpdate.result says
    } cases[] = {
        {"the program that ran", app.file("dummy.sh"), "C:\\old\\mixdeck.exe restarted", 0, ""},
        {"a blank in its path", app.file("my dummy.sh"), "mixdeck restarted", 0, ""},
        {"gone", app.file("gone.sh"), "mixdeck restarted", 4,
         wuresult::NotStarted(app.file("gone.sh"), std::strerror(ENOENT)) + "\n"},
        {"none handed over: the command from the folder", "", "missing.sh restarted", 4,
         wuresult::NotStarted("missing.sh restarted", std::strerror(EACCES)) + "\n"},
    };
    std::filesystem::copy_file(app.file("dummy.sh"), app.file("my dummy.sh"));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        unlink(app.file("restarted.txt").c_str());
        const std::string result = app.file("WebUpdate.result");
        unlink(result.c_str());
        setenv(wuresult::ResultVariable, result.c_str(), 1);
        if (!c.program.empty())
            setenv(wuprocess::ProgramVariable, c.program.c_str(), 1);
        const pid_t gone = StartDummy();
        kill(gone, SIGKILL);
        wuprocess::WaitChild(gone);
        EXPECT_EQ(RunUpdater({std::to_string(gone), c.command}), c.code);
        unsetenv(wuresult::ResultVariable);
        unsetenv(wuprocess::ProgramVariable);
        if (c.code == 0) {
            ASSERT_TRUE(AwaitFile(app.file("restarted.txt")));
            EXPECT_EQ(testutil::readFile(app.file("restarted.txt")), "old");
        }
        EXPECT_EQ(testutil::readFile(result), c.result);
    }
}

class Restart : public Updater {};

TEST_F(Restart, StartsTheUpdaterWithTheHandOverAndCloses)
{
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    wu.AppName = "prog";
    wu.AppComps = "APP.BIN_NEW";
    wu.RestartProgram = app.file("dummy.sh");
    int closes = 0;
    wu.OnAppDoClose = [&](TWebUpdate *) { ++closes; };
    // The confirmation: No leaves everything as it is.
    dialogs.AnswerButton(Dialogs::Button::No);
    wu.DoRestart();
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_EQ(dialogs.MessageBoxes()[0].text, "Shutdown application to update executable files ?");
    EXPECT_EQ(wu.UpdaterProcess(), -1);
    EXPECT_EQ(closes, 0);

    // Silent: the updater starts and waits for this process, which then
    // closes.
    wu.SilentRestart = true;
    wu.DoRestart();
    const pid_t upd = wu.UpdaterProcess();
    ASSERT_GT(upd, 0);
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(dialogs.MessageBoxes().size(), 1u);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(waitpid(upd, nullptr, WNOHANG), 0) << "the updater must wait for the application";
    // It waits blocked, not spinning: user and system time (fields 14 and 15
    // of its stat line, in clock ticks) stay far below the time waited.
    std::string stat = testutil::readFile("/proc/" + std::to_string(upd) + "/stat");
    stat = stat.substr(stat.rfind(')') + 2);
    std::istringstream fields(stat);
    std::string f;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> f; ++i)
        if (i >= 14)
            ticks += std::stol(f);
    EXPECT_LT(double(ticks) / double(sysconf(_SC_CLK_TCK)), 0.1);
    EXPECT_EQ(testutil::readFile("/proc/" + std::to_string(upd) + "/cmdline"),
              std::string(updater + '\0' + std::to_string(getpid()) + '\0' + "prog" + '\0' + "APP.BIN_NEW" + '\0'));
    char cwd[4096] = {};
    ASSERT_GT(readlink(("/proc/" + std::to_string(upd) + "/cwd").c_str(), cwd, sizeof cwd - 1), 0);
    EXPECT_EQ(std::string(cwd), app.path());
    // The program to start again and its folder, both absolute, whatever the
    // environment of this process says.
    const std::string env = std::string(1, '\0') + testutil::readFile("/proc/" + std::to_string(upd) + "/environ");
    EXPECT_NE(env.find(std::string(1, '\0') + "MIXDECK_HOME=" + app.path() + '\0'), std::string::npos);
    EXPECT_NE(env.find(std::string(1, '\0') + wuprocess::ProgramVariable + "=" + app.file("dummy.sh") + '\0'),
              std::string::npos);
    kill(upd, SIGKILL);
    wuprocess::WaitChild(upd);
    EXPECT_TRUE(testutil::fileExists(app.file("APP.BIN")));
}

TEST_F(Restart, ApplicationGoesOnWhenTheUpdaterCannotStart)
{
    struct Broken : TWebUpdate {
        std::string path;
        std::string ExtractUpdateResource() override { return path; }
    } broken;
    broken.path = app.file("APP.BIN");   // not executable
    broken.SilentRestart = true;
    std::vector<std::string> statuses;
    broken.OnStatus = [&](TWebUpdate *, const std::string &t, int32_t c, int32_t e) {
        statuses.push_back(std::to_string(c) + " " + std::to_string(e) + " " + t);
    };
    int closes = 0;
    broken.OnAppDoClose = [&](TWebUpdate *) { ++closes; };
    broken.DoRestart();
    EXPECT_EQ(closes, 0);
    ASSERT_EQ(statuses.size(), 1u);
    EXPECT_EQ(statuses[0], "9 13 Failed to spawn updater process : Permission denied");

    // OnAppRestart decides alone.
    bool asked = false;
    broken.OnAppRestart = [&](TWebUpdate *, bool &allow) {
        asked = true;
        allow = false;
    };
    statuses.clear();
    broken.DoRestart();
    EXPECT_TRUE(asked);
    EXPECT_TRUE(statuses.empty());
}

TEST_F(Restart, AnUpdaterThatCannotStartTakesItsFolderWithItAtOnce)
{
    // The real updater is written, but its start fails (its working folder
    // is gone): the application goes on, and the folder the updater was
    // written to is gone at once, not when the component goes.
    wutest::TempBase tmp;
    TWebUpdate w;
    w.AppFolder = app.file("gone");
    w.SilentRestart = true;
    std::vector<std::string> statuses;
    w.OnStatus = [&](TWebUpdate *, const std::string &t, int32_t c, int32_t) {
        statuses.push_back(std::to_string(c) + " " + t);
    };
    int closes = 0;
    w.OnAppDoClose = [&](TWebUpdate *) { ++closes; };
    w.DoRestart();
    EXPECT_EQ(statuses, std::vector<std::string>{"9 Failed to spawn updater process : " + std::string(std::strerror(ENOENT))});
    EXPECT_EQ(closes, 0);
    EXPECT_EQ(w.UpdaterProcess(), -1);
    EXPECT_EQ(tmp.Folders(), std::vector<std::string>{});
}

TEST_F(Restart, AnApplicationThatCannotCloseFailsTheRunWithThatCause)
{
    // The updater starts, then the application cannot close: the updater is
    // stopped, and the run's last word is that the application could not
    // close, not that the updater did not start.
    wutest::TempBase tmp;
    TempDir publisher;
    testutil::writeFile(publisher.file("APP.BIN_NEW"), "new");
    testutil::writeFile(publisher.file("update.inf"),
                        "[update]\nunconditional=1\n[application]\nappupdate=1\nsilentrestart=1\nappname=dummy.sh\n"
                        "appcomps=APP.BIN_NEW\n[files]\ncount=1\n[file1]\nurl=" + publisher.file("APP.BIN_NEW") +
                            "\ntargetdir={APP}\n");
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    TWebUpdate run;
    ForAFileRun(run, app.path(), publisher.file("update.inf"));
    std::vector<std::string> statuses;
    run.OnStatus = [&](TWebUpdate *, const std::string &t, int32_t c, int32_t) {
        statuses.push_back(std::to_string(c) + " " + t);
    };
    run.OnAppDoClose = [](TWebUpdate *) { throw std::runtime_error("a window refused"); };
    run.DoUpdate();
    ASSERT_GE(statuses.size(), 2u);
    const std::string why = std::string(TWebUpdate::ClosingFailedText) + ": a window refused";
    EXPECT_EQ(statuses[statuses.size() - 2], "1 " + why);
    EXPECT_EQ(statuses.back().substr(0, 3), std::to_string(wustatus::RunFailedCode) + " ");
    for (const std::string &status : statuses)
        EXPECT_EQ(status.find("Failed to spawn updater process"), std::string::npos) << status;
    EXPECT_EQ(run.UpdaterProcess(), -1);
    EXPECT_TRUE(wutest::RunningUpdaters().empty());
    EXPECT_EQ(tmp.Folders(), std::vector<std::string>{});
}

TEST_F(Restart, RunAndWaitGivesTheExitCode)
{
    testutil::writeFile(app.file("patcher.exe"), "#!/bin/sh\nexit \"$1\"\n");
    chmod(app.file("patcher.exe").c_str(), 0755);
    EXPECT_TRUE(wu.RunAndWait("patcher.exe 0"));
    EXPECT_FALSE(wu.RunAndWait("patcher.exe 5"));
    EXPECT_EQ(wu.LastError(), 8197);
    EXPECT_FALSE(wu.RunAndWait("/bin/true"));
}

} // namespace

namespace {

// A whole run in a child process standing for the application: the control
// file brings a component, the child starts the updater and ends, the
// updater puts the component in place (or refuses it) and starts the
// program again, which shows what the updater could not do.
class WholeRun : public Updater, public ::testing::WithParamInterface<int> {};

TEST_P(WholeRun, RestartsThroughTheUpdater)
{
    TempDir publisher, elsewhere;
    struct Case {
        std::string appcomps;   // as the publisher writes it
        bool installed;
        std::vector<std::string> shown;   // the lines of the message at the next start
    } cases[] = {
        {"APP.BIN_NEW", true, {}},
        // An expanded absolute name with the publisher's separators.
        {"{APP}\\APP.BIN_NEW", true, {}},
        {"{APP}\\sub\\..\\APP.BIN_NEW", false,
         {wuresult::Refused(app.path() + "/sub/../APP.BIN_NEW"), wuresult::Kept(app.file("APP.BIN_NEW"))}},
        {elsewhere.file("APP.BIN_NEW"), false,
         {wuresult::Refused(elsewhere.file("APP.BIN_NEW")), wuresult::Kept(app.file("APP.BIN_NEW"))}},
    };
    const Case &c = cases[GetParam()];
    SCOPED_TRACE(c.appcomps);
    testutil::writeFile(elsewhere.file("APP.BIN"), "theirs");
    testutil::writeFile(publisher.file("APP.BIN_NEW"), "new");
    testutil::writeFile(publisher.file("update.inf"),
                        "[update]\nunconditional=1\n[application]\nappupdate=1\nsilentrestart=1\n"
                        "appname=dummy.sh restarted\nappcomps=" + c.appcomps + "\n[files]\ncount=1\n[file1]\nurl=" +
                            publisher.file("APP.BIN_NEW") + "\ntargetdir={APP}\n");
    const std::string tmp = app.file("tmp");
    mkdir(tmp.c_str(), 0700);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        setenv("TMPDIR", tmp.c_str(), 1);
        TWebUpdate run;
        ForAFileRun(run, app.path(), publisher.file("update.inf"));
        const std::string ended = app.file("ended.txt");
        const std::string bin = app.file("APP.BIN");
        run.OnAppDoClose = [&](TWebUpdate *) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            testutil::writeFile(ended, testutil::readFile(bin));
            _exit(0);
        };
        run.DoUpdate();
        _exit(3);   // no restart came
    }
    EXPECT_EQ(wuprocess::WaitChild(child), 0);
    ASSERT_TRUE(AwaitFile(app.file("restarted.txt")));
    EXPECT_EQ(testutil::readFile(app.file("ended.txt")), "old");
    EXPECT_EQ(testutil::readFile(app.file("restarted.txt")), c.installed ? "new" : "old");
    EXPECT_EQ(testutil::readFile(app.file("APP.BIN")), c.installed ? "new" : "old");
    EXPECT_EQ(testutil::readFile(elsewhere.file("APP.BIN")), "theirs");
    EXPECT_NE(testutil::fileExists(app.file("APP.BIN_NEW")), c.installed);
    // The updater removed the temporary folder it ran from.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!wutest::Entries(tmp).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_TRUE(wutest::Entries(tmp).empty());

    // The program started again shows what the updater could not do, once.
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    QWidget mainWindow;
    auto wu = std::make_unique<TWebUpdate>();
    wu->AppFolder = app.path();
    TUpdateForm form(&mainWindow, std::move(wu));
    QCoreApplication::processEvents();
    if (c.shown.empty()) {
        EXPECT_TRUE(dialogs.MessageBoxes().empty());
    } else {
        ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
        std::string text = UpdaterFailedText;
        for (const std::string &line : c.shown)
            text += "\n" + line;
        EXPECT_EQ(dialogs.MessageBoxes()[0].text, text);
        EXPECT_EQ(dialogs.MessageBoxes()[0].icon, Dialogs::Icon::Error);
    }
    EXPECT_FALSE(testutil::fileExists(form.WebUpdate->UpdaterResultFile()));
    TUpdateForm again(&mainWindow, std::make_unique<TWebUpdate>());
    again.WebUpdate->AppFolder = app.path();
    QCoreApplication::processEvents();
    EXPECT_EQ(dialogs.MessageBoxes().size(), c.shown.empty() ? 0u : 1u);
}

INSTANTIATE_TEST_SUITE_P(Components, WholeRun, ::testing::Range(0, 4));

} // namespace
