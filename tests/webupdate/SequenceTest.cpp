// Whole update runs against a loopback HTTP server: the control file's
// rules, the exact statuses, the questions, dialogs, post and the restart
// decision.
#include "common/TestUtil.h"
#include "platform/Classes.h"
#include "platform/IniFiles.h"
#include "platform/ScriptedDialogs.h"
#include "webupdate/WUpdate.h"
#include "webupdate/WebUpdatePeers.h"
#include "webupdate/WuAddress.h"
#include "webupdate/WuTemp.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest/QTest>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <csignal>
#include <sys/wait.h>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using testutil::TempDir;
using Dialogs::Button;

namespace {

class Run : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *v : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
            unsetenv(v);
        ASSERT_TRUE(http.ready());
        testutil::writeFile(app.file("prog.bin"), "installed program");
        testutil::writeFile(root.file("prog.bin"), "the new program, longer");
        wu.AppFolder = app.path();
        wu.RegistryFile = app.file("WebUpdate.ini");
        wu.UpdateType = TWebUpdateType::httpUpdate;
        wu.ProcessMessages = [] {};
        wu.URL = http.url("update.inf");
        wu.OnStatus = [this](TWebUpdate *, const std::string &t, int32_t c, int32_t) {
            statuses.push_back(std::to_string(c) + " " + t);
        };
        wu.OnAppRestart = [this](TWebUpdate *, bool &allow) {
            ++restarts;
            allow = false;
        };
    }

    // The control file with the given body.
    void Control(const std::string &text) { testutil::writeFile(root.file("update.inf"), text); }

    // A control file whose one listed file is newer than the installed one.
    // More files follow in their own sections when count is above 1.
    std::string OneFile(const std::string &extra = "", int count = 1) const
    {
        return "[update]\nunconditional=1\n[application]\nappupdate=1\nappname=prog.bin -x\nappcomps=prog.bin\n" + extra +
               "[files]\ncount=" + std::to_string(count) + "\n[file1]\nurl=" + http.url("prog.bin") +
               "\nlocalversion={APP}\\prog.bin\nnewsize=23\n";
    }

    std::vector<std::string> Head(const std::string &url) const
    {
        return {"3 Checking for Internet connection", "3 Found open Internet connection", "3 Download : " + url,
                "3 Update control file found"};
    }
    std::vector<std::string> Tail() const { return {"3 Closed Internet connection"}; }
    std::vector<std::string> Seq(std::initializer_list<std::string> middle) const
    {
        std::vector<std::string> s = Head(wu.URL);
        s.insert(s.end(), middle);
        for (const std::string &t : Tail())
            s.push_back(t);
        return s;
    }

    TempDir root, app;
    wutest::HttpPeer http{root.path()};
    TWebUpdate wu;
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use{dialogs};
    std::vector<std::string> statuses;
    int restarts = 0;
};

TEST_F(Run, NotNewer)
{
    Control("[update]\nnewsize=17\nlocalversion={APP}/prog.bin\n");
    wu.DoUpdate();
    EXPECT_EQ(statuses, Seq({"3 File size based update found", "4 No new version found"}));
    EXPECT_EQ(restarts, 0);
    EXPECT_TRUE(dialogs.Calls.empty());
}

TEST_F(Run, MissingControlFile)
{
    wu.DoUpdate();
    EXPECT_EQ(statuses, (std::vector<std::string>{"3 Checking for Internet connection",
                                                  "3 Found open Internet connection", "3 Download : " + wu.URL,
                                                  "6 Http status : 404", "2 Update control file not found",
                                                  "3 Closed Internet connection"}));
}

TEST_F(Run, NewerWithOneFileAsksOnceAndRestarts)
{
    Control("[update]\nnewsize=23\nnewversion=\nlocalversion={APP}/prog.bin\n[application]\nappupdate=1\n"
            "appname=prog.bin -x\nappcomps=prog.bin\n[files]\ncount=1\n[file1]\nurl=" + http.url("prog.bin") +
            "\nlocalversion={APP}\\prog.bin\nnewsize=23\n");
    dialogs.AnswerButton(Button::Yes);
    wu.DoUpdate();
    EXPECT_EQ(statuses, Seq({"3 File size based update found", "5 New version found : ",
                             "3 Found file update instruction", "3 Download update : " + http.url("prog.bin"),
                             "3 Download : " + http.url("prog.bin"), "3 Finished processing update control file"}));
    EXPECT_EQ(testutil::readFile(app.file("prog.bin")), "the new program, longer");
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_EQ(dialogs.MessageBoxes()[0].text, "Download update files ?");
    EXPECT_EQ(dialogs.MessageBoxes()[0].icon, Dialogs::Icon::Question);
    EXPECT_TRUE(wu.AppCompUpdated);
    EXPECT_TRUE(wu.RestartRequested);
    EXPECT_EQ(wu.AppName, "\"prog.bin -x\"");
    EXPECT_EQ(restarts, 1);
    // The control file's copy is gone.
    EXPECT_FALSE(testutil::fileExists(wu.GetTempDirectory() + "update.inf"));
}

TEST_F(Run, FailedFileCancelsRestartButOthersGoOn)
{
    testutil::writeFile(root.file("other.bin"), "other");
    Control(OneFile("", 3) + "[file2]\nurl=" + http.url("missing.bin") + "\n[file3]\nurl=" +
            http.url("other.bin") + "\n");
    dialogs.AnswerButton(Button::Yes);
    wu.DoUpdate();
    const std::string f1 = http.url("prog.bin"), f2 = http.url("missing.bin"), f3 = http.url("other.bin");
    EXPECT_EQ(statuses, Seq({"3 Found file update instruction", "3 Download update : " + f1, "3 Download : " + f1,
                             "3 Download update : " + f2, "3 Download : " + f2, "6 Http status : 404",
                             "2 Cannot download update file : " + f2, "3 Download update : " + f3,
                             "3 Download : " + f3, "3 Finished processing update control file"}));
    // One question covers the list, also after the failure.
    EXPECT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_EQ(testutil::readFile(app.file("other.bin")), "other");
    EXPECT_TRUE(wu.AppCompUpdated);
    EXPECT_FALSE(wu.RestartRequested);
    EXPECT_EQ(restarts, 0);
}

TEST_F(Run, QuestionsAnsweredYesAndNo)
{
    // Download question No: nothing is fetched, no restart.
    Control(OneFile());
    dialogs.AnswerButton(Button::No);
    wu.DoUpdate();
    EXPECT_EQ(testutil::readFile(app.file("prog.bin")), "installed program");
    EXPECT_EQ(statuses.back(), "3 Closed Internet connection");
    EXPECT_EQ(restarts, 0);

    // Asking for every file: No skips that file only.
    testutil::writeFile(root.file("other.bin"), "other");
    Control(OneFile("", 2) + "[file2]\nurl=" + http.url("other.bin") + "\n");
    wu.UpdateUpdate = TWebUpdateUpdate::wuuPromptAll;
    dialogs.AnswerButton(Button::No).AnswerButton(Button::Yes);
    wu.DoUpdate();
    EXPECT_EQ(dialogs.MessageBoxes()[1].text, "Download update file : prog.bin");
    EXPECT_EQ(dialogs.MessageBoxes()[2].text, "Download update file : other.bin");
    EXPECT_EQ(testutil::readFile(app.file("prog.bin")), "installed program");
    EXPECT_EQ(testutil::readFile(app.file("other.bin")), "other");

    // The query: No ends the run and cancels the restart; Yes goes on.
    statuses.clear();
    dialogs.Reset();
    Control(OneFile("[action]\nquery=Go on?\\nReally?\nmsg=Hello\n"));
    wu.UpdateUpdate = TWebUpdateUpdate::wuuSilent;
    dialogs.AnswerButton(Button::OK).AnswerButton(Button::No);
    wu.DoUpdate();
    EXPECT_EQ(statuses, Seq({"3 Found message instruction", "3 Found query instruction"}));
    ASSERT_EQ(dialogs.MessageBoxes().size(), 2u);
    EXPECT_EQ(dialogs.MessageBoxes()[1].text, "Go on?\nReally?");
    EXPECT_EQ(dialogs.MessageBoxes()[1].buttons, Button::Yes | Button::No);
    EXPECT_FALSE(wu.RestartRequested);
    dialogs.Reset();
    dialogs.AnswerButton(Button::OK).AnswerButton(Button::Yes);
    wu.DoUpdate();
    EXPECT_EQ(testutil::readFile(app.file("prog.bin")), "the new program, longer");
    EXPECT_EQ(restarts, 1);
}

// An error in any step ends the run: its cause reaches the user, the step's
// failure status follows (948 with the failure code where the step has
// none), the rest of the run is left out and the restart is off.
TEST_F(Run, AFailureInAStepEndsTheRunWithItsStatus)
{
    struct Throwing : TWebUpdate {
        std::string at;
        bool CheckVersions(const std::string &v, const std::string &l, int64_t s, std::optional<uint32_t> c) override
        {
            if (at == "version")
                throw std::runtime_error("boom");
            return TWebUpdate::CheckVersions(v, l, s, c);
        }
    };
    testutil::writeFile(root.file("news.txt"), "news");
    testutil::writeFile(root.file("other.bin"), "other");
    const std::string prog = http.url("prog.bin"), other = http.url("other.bin");
    const std::string twoFiles = OneFile("[action]\nrunafter=run.sh after\n", 2) + "customversion=9\n[file2]\nurl=" + other + "\n";
    const std::string finished = "3 Finished processing update control file";
    const std::string failed = std::to_string(wustatus::RunFailedCode) + " Finished processing update control file";
    struct Case {
        std::string at;         // the step that fails
        std::string control;
        std::vector<std::string> before;   // the statuses up to the failure, after the head
        std::string failure;    // the step's failure status
    } cases[] = {
        {"address", "[update]\nunconditional=1\n", {}, "2 Update control file not found"},
        {"control file", "[update]\nunconditional=1\n", {}, "2 Update control file not found"},
        {"post", "[update]\nunconditional=1\n", {}, "17 Cannot access resource for post"},
        {"version", "[update]\nnewsize=17\nlocalversion={APP}/prog.bin\n", {"3 File size based update found"}, failed},
        {"custom", "[update]\nunconditional=1\n", {}, failed},
        {"application", twoFiles, {}, failed},
        {"whatsnew", "[update]\nunconditional=1\n[whatsnew]\nfile=" + http.url("news.txt") + "\n",
         {"12 Found whatsnew instruction", "3 Download : " + http.url("news.txt")}, "14 Whatsnew not accepted"},
        {"eula", "[update]\nunconditional=1\n[eula]\nfile=" + http.url("news.txt") + "\n",
         {"13 Found license agreement instruction", "3 Download : " + http.url("news.txt")},
         "15 License agreement not accepted"},
        {"count", "[update]\nunconditional=1\n[files]\ncount=2147483647\n[file1]\nurl=" + prog + "\n", {}, failed},
        {"file list", twoFiles, {}, failed},
        {"file check", twoFiles, {"3 Found file update instruction"}, "2 Cannot download update file : " + prog},
        {"downloaded", twoFiles,
         {"3 Found file update instruction", "3 Download update : " + prog, "3 Download : " + prog},
         "2 Cannot download update file : " + prog},
        {"runafter", twoFiles,
         {"3 Found file update instruction", "3 Download update : " + prog, "3 Download : " + prog,
          "3 Download update : " + other, "3 Download : " + other},
         failed},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.at);
        Control(c.control);
        testutil::writeFile(app.file("prog.bin"), "installed program");
        Throwing run;
        run.at = c.at;
        run.AppFolder = app.path();
        run.RegistryFile = app.file("WebUpdate.ini");
        run.UpdateType = TWebUpdateType::httpUpdate;
        run.UpdateUpdate = TWebUpdateUpdate::wuuSilent;
        run.ProcessMessages = [] {};
        run.URL = http.url("update.inf");
        std::vector<std::string> got;
        run.OnStatus = [&](TWebUpdate *, const std::string &t, int32_t code, int32_t) {
            got.push_back(std::to_string(code) + " " + t);
        };
        int restarts = 0;
        run.OnAppRestart = [&](TWebUpdate *, bool &allow) {
            ++restarts;
            allow = false;
        };
        const std::string why = "boom";
        auto at = [&](const char *step) {
            if (c.at == step)
                throw std::runtime_error(why);
        };
        run.OnConvertPrefix = [&](TWebUpdate *, std::string &p) {
            if (p == run.URL)
                at("address");
            if (p == "run.sh after")
                at("runafter");
        };
        run.OnFileProgress = [&](TWebUpdate *, const std::string &f, int64_t, int64_t) {
            if (f.find("update.inf") != std::string::npos)
                at("control file");
        };
        if (c.at == "post") {
            run.PostUpdateInfo() = TPostUpdateInfo{"127.0.0.1:" + std::to_string(http.port()), "/echo", "x", true, ""};
            run.OnProcessPostResult = [&](TWebUpdate *, bool &) { at("post"); };
        }
        run.OnCustomValidate = [&](TWebUpdate *, const std::string &, const std::string &, bool &) { at("custom"); };
        run.OnSetAppParams = [&](TWebUpdate *, std::string &) { at("application"); };
        run.OnDownloadedWhatsNew = [&](TWebUpdate *, TStringList &) { at("whatsnew"); };
        run.OnDownloadedEULA = [&](TWebUpdate *, TStringList &) { at("eula"); };
        if (c.at == "file list")
            run.OnGetFileList = [&](TWebUpdate *, TStringList &) { at("file list"); };
        run.OnFileVersionCheck = [&](TWebUpdate *, const std::string &, const std::string &, bool &) { at("file check"); };
        run.OnFileDownloaded = [&](TWebUpdate *, const std::string &f) {
            if (f == app.file("prog.bin"))
                at("downloaded");
        };
        run.DoUpdate();

        std::vector<std::string> expected = c.at == "address"
                                                ? std::vector<std::string>{}
                                                : std::vector<std::string>{"3 Checking for Internet connection",
                                                                           "3 Found open Internet connection",
                                                                           "3 Download : " + run.URL};
        if (c.at != "address" && c.at != "control file")
            expected.push_back("3 Update control file found");
        expected.insert(expected.end(), c.before.begin(), c.before.end());
        const std::string cause = c.at == "count" ? "1 The update control file's file count is not a whole number "
                                                    "from 0 to 1000: 2147483647"
                                                  : "1 " + why;
        expected.push_back(cause);
        expected.push_back(c.failure);
        expected.push_back("3 Closed Internet connection");
        EXPECT_EQ(got, expected);
        EXPECT_EQ(std::count(got.begin(), got.end(), finished), 0);
        EXPECT_FALSE(run.RestartRequested);
        EXPECT_EQ(restarts, 0);
        // Nothing after the failing file was fetched.
        EXPECT_EQ(testutil::fileExists(app.file("other.bin")), c.at == "runafter");
        unlink(app.file("other.bin").c_str());
    }

    // The restart: its failure is the updater's status.
    Control(OneFile());
    testutil::writeFile(app.file("prog.bin"), "installed program");
    wu.UpdateUpdate = TWebUpdateUpdate::wuuSilent;
    wu.OnAppRestart = [](TWebUpdate *, bool &) { throw std::runtime_error("no restart"); };
    wu.DoUpdate();
    ASSERT_GE(statuses.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(statuses.end() - 3, statuses.end()),
              (std::vector<std::string>{"3 Closed Internet connection", "1 no restart",
                                        "9 Failed to spawn updater process : no restart"}));
}

using wutest::TempBase;

TEST_F(Run, EveryWayOutRemovesTheRunsFolder)
{
    TempBase tmp;
    testutil::writeFile(root.file("other.bin"), "other");
    struct Case {
        const char *name;
        std::string control;   // empty: none on the server
        bool cancel;
    } cases[] = {
        {"success", OneFile("", 2) + "[file2]\nurl=" + http.url("other.bin") + "\n", false},
        {"no control file", "", false},
        {"failed step", "[update]\nunconditional=1\n[files]\ncount=-1\n", false},
        {"cancelled", OneFile("", 2) + "[file2]\nurl=" + http.url("other.bin") + "\n", true},
    };
    wu.UpdateUpdate = TWebUpdateUpdate::wuuSilent;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        unlink(root.file("update.inf").c_str());
        if (!c.control.empty())
            Control(c.control);
        testutil::writeFile(app.file("prog.bin"), "installed program");
        wu.OnProgressCancel = [&](TWebUpdate *, bool &cancel) { cancel = c.cancel; };
        std::vector<std::string> during;
        wu.OnFileProgress = [&](TWebUpdate *, const std::string &, int64_t, int64_t) {
            if (during.empty())
                during = tmp.Folders();
        };
        wu.DoUpdate();
        EXPECT_EQ(during.size(), c.control.empty() ? 0u : 1u);
        EXPECT_TRUE(tmp.Folders().empty());
    }
}

// A program killed in the middle of a download leaves its folder; the next
// run removes every such folder of a process that has ended, and keeps those
// of processes that still run.
TEST_F(Run, FoldersOfKilledRunsGoAtTheNextRun)
{
    TempBase tmp;
    testutil::writeFile(root.file("big.bin"), wutest::PatternBytes(200000));
    Control("[update]\nunconditional=1\n[files]\ncount=1\n[file1]\nurl=" + http.url("stall/big.bin") + "\n");
    auto partial = [&](const std::string &folder) {
        for (const std::string &n : wutest::Entries(tmp.dir.file(folder)))
            if (n.rfind("WUPD", 0) == 0)
                return true;
        return false;
    };
    for (int i = 0; i < 10; ++i) {
        const std::vector<std::string> before = tmp.Folders();
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            TWebUpdate run;
            run.AppFolder = app.path();
            run.UpdateType = TWebUpdateType::httpUpdate;
            run.UpdateUpdate = TWebUpdateUpdate::wuuSilent;
            run.ProcessMessages = [] {};
            run.URL = http.url("update.inf");
            run.DoUpdate();
            _exit(0);
        }
        // Killed once its download is under way.
        bool downloading = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!downloading && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            for (const std::string &f : tmp.Folders())
                if (std::find(before.begin(), before.end(), f) == before.end() && partial(f))
                    downloading = true;
        }
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        ASSERT_TRUE(downloading) << i;
        // The killed run's folder stays until the next run; the one before
        // it is gone.
        EXPECT_EQ(tmp.Folders().size(), 1u) << i;
    }

    // A folder whose process still runs stays.
    const pid_t live = fork();
    ASSERT_GE(live, 0);
    if (live == 0) {
        pause();
        _exit(0);
    }
    const std::string kept = tmp.dir.file(std::string(wutemp::Prefix) + "live");
    ASSERT_EQ(mkdir(kept.c_str(), 0700), 0);
    ASSERT_TRUE(wutemp::SetOwner(kept, live));

    Control("[update]\nunconditional=1\n");
    wu.DoUpdate();
    EXPECT_EQ(statuses.end()[-2], "3 Finished processing update control file");
    EXPECT_EQ(tmp.Folders(), (std::vector<std::string>{std::string(wutemp::Prefix) + "live"}));
    kill(live, SIGKILL);
    waitpid(live, nullptr, 0);
    // Once it has ended, its folder goes too.
    wu.DoUpdate();
    EXPECT_TRUE(tmp.Folders().empty());
}

// A process that has ended but was not waited for yet (a zombie: the
// updater killed while its parent does not reap it) has ended for the
// sweep: its folder goes, while that of a running process stays.
TEST(TempSweep, AZombieOwnerCountsAsEnded)
{
    TempBase tmp;
    auto state = [](pid_t pid) {
        const std::string stat = testutil::readFile("/proc/" + std::to_string(pid) + "/stat");
        const size_t close = stat.rfind(')');
        return close == std::string::npos || close + 2 >= stat.size() ? '?' : stat[close + 2];
    };
    const pid_t zombie = fork();
    ASSERT_GE(zombie, 0);
    if (zombie == 0)
        _exit(0);
    const pid_t live = fork();
    ASSERT_GE(live, 0);
    if (live == 0) {
        pause();
        _exit(0);
    }
    // Not waited for: once it has exited it stays a zombie.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (state(zombie) != 'Z' && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(state(zombie), 'Z');
    ASSERT_EQ(kill(zombie, 0), 0) << "a zombie still answers a signal test";
    const std::string dead = tmp.dir.file(std::string(wutemp::Prefix) + "zombie");
    const std::string kept = tmp.dir.file(std::string(wutemp::Prefix) + "live");
    for (const auto &[dir, pid] : {std::pair{dead, zombie}, std::pair{kept, live}}) {
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        testutil::writeFile(dir + "/update.inf", "[update]\n");
        ASSERT_TRUE(wutemp::SetOwner(dir, pid));
    }
    EXPECT_FALSE(wutemp::OwnerAlive(dead));
    EXPECT_TRUE(wutemp::OwnerAlive(kept));
    wutemp::SweepLeftOvers();
    EXPECT_EQ(tmp.Folders(), (std::vector<std::string>{std::string(wutemp::Prefix) + "live"}));
    // The sweep only looked: the zombie is still there to be reaped.
    EXPECT_EQ(state(zombie), 'Z');
    EXPECT_EQ(waitpid(zombie, nullptr, 0), zombie);
    kill(live, SIGKILL);
    EXPECT_EQ(waitpid(live, nullptr, 0), live);
}

// What the sweep makes of a folder by its owner file: a running process
// that started at the time the file names keeps its folder; the same number
// with another start time is a later process that reused it, so the folder
// is a left-over. A folder without a readable owner file counts as another
// run's that has not written it yet, until it is OwnerlessGrace seconds old.
TEST(TempSweep, OwnerFileAndAgeDecide)
{
    TempBase tmp;
    const std::string self = std::to_string(getpid());
    // This process's own start time, as the owner file holds it.
    std::string start;
    {
        const std::string probe = tmp.dir.file("probe");
        ASSERT_EQ(mkdir(probe.c_str(), 0700), 0);
        ASSERT_TRUE(wutemp::SetOwner(probe, getpid()));
        const std::string text = testutil::readFile(probe + "/" + wutemp::OwnerFile);
        start = text.substr(text.find(' ') + 1, text.find('\n') - text.find(' ') - 1);
        std::filesystem::remove_all(probe);
        ASSERT_GT(std::stoull(start), 0u) << text;
    }
    const std::string later = std::to_string(std::stoull(start) + 1);
    const time_t now = time(nullptr);
    const struct Case {
        const char *name;
        std::string owner;  // the owner file's text; none when empty
        time_t age;         // seconds since the folder last changed
        bool kept;
    } cases[] = {
        {"running", self + " " + start + "\n", 3600, true},
        {"reused", self + " " + later + "\n", 0, false},
        {"startunknown", self + "\n", 3600, true},
        {"fresh", "", 0, true},
        {"young", "", wutemp::OwnerlessGrace - 15, true},
        {"atgrace", "", wutemp::OwnerlessGrace, false},
        {"old", "", wutemp::OwnerlessGrace + 3600, false},
        {"garbledold", "x\n", wutemp::OwnerlessGrace + 3600, false},
        {"garbledyoung", "x\n", 0, true},
    };
    std::vector<std::string> kept;
    for (const Case &c : cases) {
        const std::string dir = tmp.dir.file(std::string(wutemp::Prefix) + c.name);
        ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
        if (!c.owner.empty())
            testutil::writeFile(dir + "/" + wutemp::OwnerFile, c.owner);
        const timespec times[2] = {{now - c.age, 0}, {now - c.age, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, dir.c_str(), times, 0), 0);
        EXPECT_EQ(wutemp::OwnerAlive(dir), c.kept) << c.name;
        if (c.kept)
            kept.push_back(std::string(wutemp::Prefix) + c.name);
    }
    std::sort(kept.begin(), kept.end());
    wutemp::SweepLeftOvers();
    EXPECT_EQ(tmp.Folders(), kept);
}

// A control file of 64 MiB is refused after at most its limit of 1 MiB has
// come, and the message says that it is too large.
TEST_F(Run, LargeControlFileIsRefusedWhileItComes)
{
    std::string big = "[update]\nunconditional=1\n;";
    big += std::string((64 << 20) - big.size() - 1, 'x') + "\n";
    testutil::writeFile(root.file("update.inf"), big);
    big.clear();
    // With a length the server announces, the file is refused from it; sent
    // in chunks, once more than the limit has come.
    const std::pair<const char *, std::string> cases[] = {
        {"update.inf", "the server announced 67108864 bytes, more than 1048576"},
        {"chunked/update.inf", "more than 1048576 bytes"},
    };
    for (const auto &[path, why] : cases) {
        SCOPED_TRACE(path);
        wu.URL = http.url(path);
        statuses.clear();
        int64_t read = 0;
        wu.OnFileProgress = [&](TWebUpdate *, const std::string &, int64_t pos, int64_t) { read = std::max(read, pos); };
        wu.DoUpdate();
        EXPECT_EQ(statuses, (std::vector<std::string>{
                                "3 Checking for Internet connection", "3 Found open Internet connection",
                                "3 Download : " + wu.URL,
                                "1 The file is too large (" + why + "): " + wu.URL,
                                "2 Update control file not found", "3 Closed Internet connection"}));
        EXPECT_LE(read, int64_t(1) << 20);
    }
}

TEST_F(Run, SignatureRules)
{
    struct Case {
        std::string file;
        std::string signature;
        bool check;
        bool passes;
    } cases[] = {
        {"[update]\nsignature=WebUpdate\n", "WebUpdate", true, true},
        {"[update]\nsignature=webupdate\n", "WebUpdate", true, false},
        {"[update]\n", "WebUpdate", true, false},
        {"[update]\n", "", true, true},
        {"[update]\nsignature=other\n", "WebUpdate", false, true},
    };
    for (const Case &c : cases) {
        statuses.clear();
        Control(c.file + "unconditional=1\n");
        wu.Signature = c.signature;
        wu.SignatureCheck = c.check;
        wu.DoUpdate();
        if (c.passes)
            EXPECT_EQ(statuses, Seq({"3 Finished processing update control file"})) << c.file;
        else
            EXPECT_EQ(statuses, Seq({"11 Invalid signature in update control file"})) << c.file;
    }
}

// The system's locale for the length of a test.
struct SystemLocale {
    explicit SystemLocale(const QLocale &locale) { QLocale::setDefault(locale); }
    ~SystemLocale() { QLocale::setDefault(QLocale::system()); }
};

TEST_F(Run, DateRules)
{
    // The date is read in the control file's format (day first) and told
    // in the system's short date format (month first here).
    SystemLocale us(QLocale(QLocale::English, QLocale::UnitedStates));
    wu.LastURLEntry().Key = "Software\\Mixdeck";
    wu.LastURLEntry().Section = "Update";
    // Nothing remembered: every valid date is newer; with a time the version
    // tests are skipped.
    Control("[update]\ndate=03/04/2024\ntime=10:30\nnewsize=17\nlocalversion={APP}/prog.bin\n");
    wu.DoUpdate();
    EXPECT_EQ(statuses, Seq({"3 Date based update found", "5 New version found : 4/3/24",
                             "3 Finished processing update control file"}));
    // Without Save nothing was remembered.
    EXPECT_FALSE(testutil::fileExists(app.file("WebUpdate.ini")));

    // Remembered and saved: the same date is not newer the next time.
    wu.LastURLEntry().Save = true;
    statuses.clear();
    wu.DoUpdate();
    TIniFile ini(app.file("WebUpdate.ini"));
    EXPECT_EQ(ini.ReadString("Software\\Mixdeck\\Update", "LastDate", ""), "03/04/2024");
    EXPECT_EQ(ini.ReadString("Software\\Mixdeck\\Update", "LastTime", ""), "10:30:00");
    statuses.clear();
    wu.DoUpdate();
    EXPECT_EQ(statuses, Seq({"3 Date based update found", "4 No new version found"}));

    // A later date without a time: the version tests still run after 929.
    statuses.clear();
    Control("[update]\ndate=05/04/2024\nnewsize=17\nlocalversion={APP}/prog.bin\n");
    wu.DoUpdate();
    EXPECT_EQ(statuses, Seq({"3 Date based update found", "5 New version found : 4/5/24",
                             "3 File size based update found", "4 No new version found"}));

    // A date that cannot be read is never newer, whatever is remembered.
    for (const char *bad : {"31/02/2030", "2030-01-01", "xx"}) {
        ini.DeleteKey("Software\\Mixdeck\\Update", "LastDate");
        ini.WriteString("Software\\Mixdeck\\Update", "LastDate", "01/01/1900");
        statuses.clear();
        Control(std::string("[update]\nunconditional=1\ndate=") + bad + "\n");
        wu.DoUpdate();
        EXPECT_EQ(statuses, Seq({"3 Date based update found", "4 No new version found"})) << bad;
    }
}

// The new version's date is read in the control file's format and told as
// the system writes short dates, whatever the two formats are.
TEST_F(Run, NewVersionDateInTheSystemsShortDate)
{
    wu.DateFormat = "yyyy-mm-dd";
    wu.DateSeparator = '-';
    Control("[update]\ndate=2026-12-24\ntime=08:15\n");
    const struct {
        QLocale locale;
        const char *shown;
    } cases[] = {{QLocale(QLocale::German, QLocale::Germany), "24.12.26"},
                 {QLocale(QLocale::English, QLocale::UnitedStates), "12/24/26"},
                 {QLocale(QLocale::English, QLocale::UnitedKingdom), "24/12/2026"}};
    for (const auto &c : cases) {
        SystemLocale system(c.locale);
        statuses.clear();
        wu.DoUpdate();
        EXPECT_EQ(statuses, Seq({"3 Date based update found", std::string("5 New version found : ") + c.shown,
                                 "3 Finished processing update control file"}))
            << c.locale.name().toStdString();
    }
}

TEST_F(Run, FileListEventsAndSkips)
{
    testutil::writeFile(root.file("a.bin"), "a");
    testutil::writeFile(root.file("b.bin"), "b");
    Control("[update]\nunconditional=1\n[files]\ncount=3\n[file1]\nurl=" + http.url("a.bin") +
            "\ndescr=first\n[file2]\nurl=" + http.url("b.bin") + "\ndescr=second\ntargetdir=sub\\deeper\n"
            "[file3]\nurl=" + http.url("a.bin") + "\ndescr=third\ntargetdir=../outside\n");
    wu.UpdateUpdate = TWebUpdateUpdate::wuuSilent;
    std::vector<std::string> got;
    wu.OnGetFileList = [&](TWebUpdate *, TStringList &list) {
        for (int i = 0; i < list.Count(); ++i)
            got.push_back(list[i]);
        list.Delete(0);
        list.Insert(0, "");   // drops the first file
    };
    wu.DoUpdate();
    EXPECT_EQ(got, (std::vector<std::string>{"first", "second", "third"}));
    EXPECT_FALSE(testutil::fileExists(app.file("a.bin")));
    EXPECT_EQ(testutil::readFile(app.file("sub/deeper/b.bin")), "b");
    // A target folder outside the application folder is refused.
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "2 Cannot download update file : " + http.url("a.bin")),
              statuses.end());
}

TEST_F(Run, ApplicationNameAndParameters)
{
    Control("[update]\nunconditional=1\n[application]\nappupdate=1\nappname={APP}/my prog -a -b\n"
            "appcomps={APP}/x {UNKNOWN}/y\nsilentrestart=1\n");
    std::string seen;
    wu.OnSetAppParams = [&](TWebUpdate *, std::string &p) {
        seen = p;
        p = "-c";
    };
    wu.DoUpdate();
    EXPECT_EQ(seen, "prog -a -b");
    EXPECT_EQ(wu.AppName, "\"" + app.path() + "/my -c\"");
    EXPECT_EQ(wu.AppComps, app.path() + "/x {UNKNOWN}/y");
    EXPECT_TRUE(wu.SilentRestart);
    // Emptied parameters keep the text as it was.
    wu.OnSetAppParams = [](TWebUpdate *, std::string &p) { p.clear(); };
    wu.DoUpdate();
    EXPECT_EQ(wu.AppName, "\"" + app.path() + "/my prog -a -b\"");
    // Handed to the updater as a list: its own path and the process id as
    // they stand, blanks and all; AppName one argument, each word of
    // AppComps one.
    EXPECT_EQ(wu.UpdaterArguments("/t/my tmp/upd.exe", 1234),
              (std::vector<std::string>{"/t/my tmp/upd.exe", "1234", app.path() + "/my prog -a -b", app.path() + "/x",
                                        "{UNKNOWN}/y"}));
}

TEST_F(Run, ProgramsOnlyFromTheApplicationFolder)
{
    const std::string script = "#!/bin/sh\necho \"$@\" > \"$(dirname \"$0\")/$1.marker\"\n";
    testutil::writeFile(app.file("run.sh"), script);
    chmod(app.file("run.sh").c_str(), 0755);
    TempDir elsewhere;
    testutil::writeFile(elsewhere.file("run.sh"), script);
    chmod(elsewhere.file("run.sh").c_str(), 0755);
    Control("[update]\nunconditional=1\n[action]\nrunbefore={APP}/run.sh before x;touch\nrunafter=run.sh after\n"
            "showURL=http://example.invalid/news\n");
    wu.DoUpdate();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while ((!testutil::fileExists(app.file("before.marker")) || !testutil::fileExists(app.file("after.marker"))) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // Arguments reach the program as they are: no shell.
    EXPECT_EQ(testutil::readFile(app.file("before.marker")), "before x;touch\n");
    EXPECT_EQ(testutil::readFile(app.file("after.marker")), "after\n");
    ASSERT_EQ(dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen).size(), 1u);
    EXPECT_EQ(dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen)[0].target, "http://example.invalid/news");

    // Outside the folder, through a shell or another scheme: nothing.
    dialogs.Reset();
    Control("[update]\nunconditional=1\n[action]\nrunbefore=" + elsewhere.file("run.sh") +
            " outside\nrunafter=/bin/sh -c \"touch " + app.file("shell.marker") +
            "\"\nshowURL=file:///etc/passwd\n");
    wu.DoUpdate();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(testutil::fileExists(elsewhere.file("outside.marker")));
    EXPECT_FALSE(testutil::fileExists(app.file("shell.marker")));
    // Each refusal is told.
    EXPECT_EQ(std::count_if(statuses.begin(), statuses.end(),
                            [](const std::string &st) {
                                return st.rfind("1 A program outside the program folder was refused: ", 0) == 0;
                            }),
              2);
    EXPECT_TRUE(dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen).empty());
}

TEST_F(Run, WhatsNewAndAgreementThroughEvents)
{
    testutil::writeFile(root.file("news.txt"), "line one\r\nline two\r\n");
    testutil::writeFile(root.file("eula.txt"), "terms");
    // A file of the same name in the current folder is not what is shown.
    Control("[update]\nunconditional=1\n[whatsnew]\nfile=" + http.url("news.txt") + "\n[eula]\nfile=" +
            http.url("eula.txt") + "\n");
    std::vector<std::string> news, eula;
    wu.OnDownloadedWhatsNew = [&](TWebUpdate *, TStringList &t) {
        for (int i = 0; i < t.Count(); ++i)
            news.push_back(t[i]);
    };
    wu.OnDownloadedEULA = [&](TWebUpdate *, TStringList &t) { eula.push_back(t.Text()); };
    wu.DoUpdate();
    EXPECT_EQ(news, (std::vector<std::string>{"line one", "line two"}));
    ASSERT_EQ(eula.size(), 1u);
    EXPECT_EQ(statuses, Seq({"12 Found whatsnew instruction", "3 Download : " + http.url("news.txt"),
                             "13 Found license agreement instruction", "3 Download : " + http.url("eula.txt"),
                             "3 Finished processing update control file"}));
    // No copy is left in the temporary folder.
    EXPECT_FALSE(testutil::fileExists(wu.GetTempDirectory() + "news.txt"));
    EXPECT_FALSE(testutil::fileExists(wu.GetTempDirectory() + "eula.txt"));

    // A text that cannot be downloaded counts as accepted.
    statuses.clear();
    Control("[update]\nunconditional=1\n[whatsnew]\nfile=" + http.url("none.txt") + "\n");
    wu.DoUpdate();
    EXPECT_EQ(statuses.end()[-2], "3 Finished processing update control file");
}

// Clicks in the modal dialog once it is up.
void InDialog(std::function<void(QWidget *)> act)
{
    // The pending tick holds the poll; the poll itself does not (a cycle
    // would never be freed).
    auto poll = std::make_shared<std::function<void()>>();
    std::weak_ptr<std::function<void()>> self = poll;
    *poll = [act, self] {
        if (QWidget *w = QApplication::activeModalWidget())
            act(w);
        else if (auto again = self.lock())
            QTimer::singleShot(10, [again] { (*again)(); });
    };
    QTimer::singleShot(10, [poll] { (*poll)(); });
}

TEST_F(Run, WhatsNewAndAgreementDialogs)
{
    testutil::writeFile(root.file("news.txt"), "What is new");
    testutil::writeFile(root.file("eula.txt"), "The terms");
    const std::string base = "[update]\nunconditional=1\n[application]\nappupdate=1\nappname=x\n";
    struct Case {
        std::string section;
        const char *click;   // buttons pressed in order
        bool accepted;
        std::string refusal;
    } cases[] = {
        {"[whatsnew]\ncaption=News\nokbtn=Fine\nfile=" + http.url("news.txt"), "CancelButton", false, "14 Whatsnew not accepted"},
        {"[whatsnew]\nfile=" + http.url("news.txt"), "OkButton", true, ""},
        {"[eula]\nfile=" + http.url("eula.txt"), "OkButton", false, "15 License agreement not accepted"},
        {"[eula]\nfile=" + http.url("eula.txt"), "AcceptButton OkButton", true, ""},
        {"[eula]\nfile=" + http.url("eula.txt"), "NotAcceptButton OkButton", false, "15 License agreement not accepted"},
    };
    for (const Case &c : cases) {
        statuses.clear();
        Control(base + c.section + "\n");
        std::string shown, caption;
        InDialog([&](QWidget *w) {
            caption = w->windowTitle().toStdString();
            if (auto *memo = w->findChild<QWidget *>("Memo"))
                shown = memo->property("plainText").toString().toStdString();
            for (const QString &name : QString(c.click).split(' ')) {
                QWidget *b = w->findChild<QWidget *>(name);
                ASSERT_TRUE(b) << name.toStdString();
                QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(5, b->height() / 2));
            }
        });
        wu.DoUpdate();
        EXPECT_TRUE(shown == "What is new" || shown == "The terms") << shown;
        if (c.accepted) {
            EXPECT_EQ(statuses.end()[-2], "3 Finished processing update control file") << c.section;
        } else {
            EXPECT_EQ(statuses.end()[-2], c.refusal) << c.section;
            EXPECT_FALSE(wu.RestartRequested);
        }
    }
}

TEST_F(Run, ResultPost)
{
    Control("[update]\nunconditional=1\n");
    TPostUpdateInfo &p = wu.PostUpdateInfo();
    p.Enabled = true;
    p.Server = "127.0.0.1:" + std::to_string(http.port());
    p.Action = "/echo";
    p.Data = "name=value&x=1";
    bool raised = false;
    wu.OnProcessPostResult = [&](TWebUpdate *, bool &allow) {
        raised = true;
        allow = wu.PostUpdateInfo().Response == "application/x-www-form-urlencoded|name=value&x=1";
    };
    wu.DoUpdate();
    EXPECT_TRUE(raised);
    EXPECT_EQ(statuses.end()[-2], "3 Finished processing update control file");

    // An empty answer still raises the event; refusing ends the run.
    p.Action = "empty";
    wu.OnProcessPostResult = [&](TWebUpdate *, bool &allow) { allow = !wu.PostUpdateInfo().Response.empty(); };
    statuses.clear();
    wu.DoUpdate();
    EXPECT_EQ(statuses, Seq({}));

    // No server listening: the connection error, 951, and the run goes on
    // to the event.
    const nettest::ClosedPort closed;
    p.Server = "127.0.0.1:" + std::to_string(closed.port());
    const std::string url = "http://" + p.Server + "/empty";
    wu.OnProcessPostResult = nullptr;
    statuses.clear();
    wu.DoUpdate();
    ASSERT_EQ(statuses.size(), Seq({}).size() + 3);
    EXPECT_EQ(statuses[4].rfind("1 Cannot connect to the server for the post (", 0), 0u) << statuses[4];
    EXPECT_NE(statuses[4].find(p.Server.substr(p.Server.find(':') + 1)), std::string::npos) << statuses[4];
    EXPECT_EQ(statuses[4].substr(statuses[4].size() - url.size() - 3), "): " + url) << statuses[4];
    EXPECT_EQ(statuses[5], "16 Cannot connect to server for post");
    EXPECT_EQ(statuses[6], "3 Finished processing update control file");
}

// A post that is not answered as it should be is refused with its cause,
// and is no success: there is no answer to judge.
TEST_F(Run, ResultPostRefusals)
{
    Control("[update]\nunconditional=1\n");
    TPostUpdateInfo &p = wu.PostUpdateInfo();
    p.Enabled = true;
    p.Server = "127.0.0.1:" + std::to_string(http.port());
    p.Data = "x=1";
    const struct {
        const char *action;
        std::string why;
    } cases[] = {
        // Not followed, to this host or another.
        {"/away", "The server answered the post with a redirection to http://192.0.2.1/echo, which was refused"},
        // Refused from the length the server announced, before anything came.
        {"/huge", "The server announced an answer to the post of more than 1048576 bytes; it was refused"},
        {"/nothing-here", "The server answered the post with HTTP status 404"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.action);
        p.Action = c.action;
        std::string response = "unset";
        wu.OnProcessPostResult = [&](TWebUpdate *, bool &) { response = wu.PostUpdateInfo().Response; };
        statuses.clear();
        wu.DoUpdate();
        EXPECT_EQ(statuses, Seq({"1 " + c.why + ": http://" + p.Server + c.action, "17 Cannot access resource for post",
                                 "3 Finished processing update control file"}));
        EXPECT_EQ(response, "");
    }
}

// The post goes by the rules of every transfer: https, plain http only to
// this machine; a refusal is told with its cause.
TEST_F(Run, ResultPostFollowsTheAddressRules)
{
    const std::pair<std::pair<std::string, std::string>, std::string> addresses[] = {
        {{"127.0.0.1:8080", "/echo"}, "http://127.0.0.1:8080/echo"},
        {{"localhost", "echo"}, "http://localhost/echo"},
        {{"[::1]:81", "/a/b"}, "http://[::1]:81/a/b"},
        {{"updates.example.org", "/post"}, "https://updates.example.org/post"},
        {{"127.0.0.1.example:80", "/post"}, "https://127.0.0.1.example:80/post"},
        {{"https://updates.example.org:8443", "post"}, "https://updates.example.org:8443/post"},
        {{"http://updates.example.org", "/post"}, "http://updates.example.org/post"},
    };
    for (const auto &[server, url] : addresses)
        EXPECT_EQ(TWebUpdate::PostAddress(server.first, server.second), url) << server.first;

    Control("[update]\nunconditional=1\n");
    TPostUpdateInfo &p = wu.PostUpdateInfo();
    p.Enabled = true;
    p.Data = "x=1";
    // Plain http off this machine: refused before connecting.
    p.Server = "http://192.0.2.1";
    p.Action = "/echo";
    wu.DoUpdate();
    EXPECT_EQ(statuses, Seq({"1 The update address is refused, only https addresses are allowed: http://192.0.2.1/echo",
                             "17 Cannot access resource for post", "3 Finished processing update control file"}));

    // https to a server whose certificate is not trusted: refused, with why.
    wutest::TestAuthority trusted, stranger;
    ASSERT_TRUE(trusted.ok() && stranger.ok());
    wutest::TlsNginxPeer tls(root.path(), stranger.Issue("server", "IP:127.0.0.1,DNS:localhost"));
    ASSERT_TRUE(tls.ready());
    wuaddress::TrustAuthorityForTests(trusted.caFile());
    p.Server = "https://127.0.0.1:" + std::to_string(tls.port());
    statuses.clear();
    wu.DoUpdate();
    wuaddress::TrustAuthorityForTests("");
    ASSERT_EQ(statuses.size(), Seq({}).size() + 3);
    EXPECT_EQ(statuses[4].rfind("1 The server's certificate was not accepted", 0), 0u) << statuses[4];
    EXPECT_NE(statuses[4].find(p.Server + "/echo"), std::string::npos) << statuses[4];
    EXPECT_EQ(statuses[5], "16 Cannot connect to server for post");
    EXPECT_EQ(tls.Requests(), 0);
}

TEST_F(Run, RememberedAddressRedirects)
{
    wu.LastURLEntry() = TLastURLEntry{true, "K", "S"};
    testutil::writeFile(root.file("next.inf"), "[update]\nunconditional=1\n");
    Control("[update]\nunconditional=1\n[action]\nupdateURL=" + http.url("next.inf") + "\n");
    wu.DoUpdate();
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), "3 Found URL redirection instruction"), statuses.end());
    EXPECT_EQ(wu.URLGet(), http.url("next.inf"));
    statuses.clear();
    wu.DoUpdate();
    EXPECT_EQ(statuses[2], "3 Download : " + http.url("next.inf"));
}

TEST_F(Run, ThreadedRunAndReentry)
{
    Control(OneFile());
    wu.UpdateUpdate = TWebUpdateUpdate::wuuSilent;
    std::vector<std::string> order;
    int nested = 0;
    wu.OnStatus = [&](TWebUpdate *w, const std::string &t, int32_t, int32_t) {
        order.push_back(t);
        // A handler that starts another run while one is under way.
        if (t == "Update control file found") {
            w->DoUpdate();
            w->DoThreadUpdate();
            ++nested;
        }
    };
    wu.OnThreadUpdateDone = [&](TWebUpdate *w) { order.push_back(w->Busy() ? "done (busy)" : "done"); };
    wu.OnAppRestart = [&](TWebUpdate *w, bool &allow) {
        order.push_back(w->Busy() ? "restart (busy)" : "restart");
        allow = false;
    };
    wu.DoThreadUpdate();
    EXPECT_TRUE(wu.Busy());
    EXPECT_TRUE(order.empty());   // the run waits for the event loop
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (wu.Busy() && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_FALSE(wu.Busy());
    EXPECT_EQ(nested, 1);
    ASSERT_GE(order.size(), 3u);
    EXPECT_EQ(order.end()[-3], "Closed Internet connection");
    EXPECT_EQ(order.end()[-2], "done (busy)");
    EXPECT_EQ(order.end()[-1], "restart");
    EXPECT_EQ(std::count(order.begin(), order.end(), "Checking for Internet connection"), 1);
    // Nothing else was queued by the handler.
    QCoreApplication::processEvents();
    EXPECT_EQ(std::count(order.begin(), order.end(), "Checking for Internet connection"), 1);
}

} // namespace

namespace {

TEST_F(Run, CabinetsExtractedOrKept)
{
    testutil::writeFile(root.file("inner.txt"), "inside the cabinet");
    ASSERT_EQ(system(("cd " + root.path() + " && gcab -c pack.cab inner.txt >/dev/null 2>&1").c_str()), 0);
    testutil::writeFile(root.file("bad.cab"), "MSCF but not really a cabinet");
    Control("[update]\nunconditional=1\n[files]\ncount=2\n[file1]\nurl=" + http.url("pack.cab") +
            "\ntargetdir={APP}/cabs\n[file2]\nurl=" + http.url("bad.cab") + "\ntargetdir={APP}/cabs\n");
    wu.UpdateUpdate = TWebUpdateUpdate::wuuSilent;
    wu.ExtractCAB = true;
    wu.DoUpdate();
    EXPECT_EQ(testutil::readFile(app.file("cabs/inner.txt")), "inside the cabinet");
    EXPECT_FALSE(testutil::fileExists(app.file("cabs/pack.cab")));
    EXPECT_TRUE(testutil::fileExists(app.file("cabs/bad.cab")));
    EXPECT_EQ(statuses.end()[-3], "8 Error decompressing CAB file : " + app.file("cabs/bad.cab"));
}

// A cabinet whose second member is unsafe: 947, the cabinet kept, and the
// folder otherwise exactly as it was (not even the good first member).
TEST_F(Run, RefusedCabinetWritesNothing)
{
    TempDir src, outside;
    ASSERT_EQ(mkdir(src.file("xx").c_str(), 0755), 0);
    testutil::writeFile(src.file("one.txt"), "the new one");
    testutil::writeFile(src.file("xx/evil.txt"), "evil");
    ASSERT_EQ(system(("cd " + src.path() + " && gcab -c mixed.cab one.txt xx/evil.txt >/dev/null 2>&1").c_str()), 0);
    const std::string bytes = testutil::readFile(src.file("mixed.cab"));
    ASSERT_NE(bytes.find("xx\\evil.txt"), std::string::npos);
    testutil::writeFile(outside.file("target.txt"), "outside");
    const std::string cabs = app.file("cabs");
    struct Case {
        const char *name;
        std::string stored;
        std::function<void()> prepare;
    } cases[] = {
        {"traversing", "..\\evil.txt", nullptr},
        {"absolute", "\\x\\evil.txt", nullptr},
        {"symbolic link", "xx\\evil.txt",
         [&] { symlink(outside.file("target.txt").c_str(), (cabs + "/xx/evil.txt").c_str()); }},
        {"device", "xx\\evil.txt", [&] { mkfifo((cabs + "/xx/evil.txt").c_str(), 0644); }},
    };
    Control("[update]\nunconditional=1\n[files]\ncount=1\n[file1]\nurl=" + http.url("mixed.cab") +
            "\ntargetdir={APP}/cabs\n");
    wu.UpdateUpdate = TWebUpdateUpdate::wuuSilent;
    wu.ExtractCAB = true;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string patched = bytes;
        patched.replace(patched.find("xx\\evil.txt"), 11, c.stored);
        testutil::writeFile(root.file("mixed.cab"), patched);
        std::error_code ec;
        std::filesystem::remove_all(cabs, ec);
        ASSERT_EQ(mkdir(cabs.c_str(), 0755), 0);
        ASSERT_EQ(mkdir((cabs + "/xx").c_str(), 0755), 0);
        testutil::writeFile(cabs + "/one.txt", "the installed one");
        if (c.prepare)
            c.prepare();
        const std::string before = wutest::Snapshot(cabs);
        statuses.clear();
        wu.DoUpdate();
        EXPECT_EQ(statuses.end()[-3], "8 Error decompressing CAB file : " + cabs + "/mixed.cab");
        // The cabinet stays; nothing else changed.
        EXPECT_EQ(testutil::readFile(cabs + "/mixed.cab"), patched);
        unlink((cabs + "/mixed.cab").c_str());
        EXPECT_EQ(wutest::Snapshot(cabs), before);
        EXPECT_EQ(wutest::Snapshot(outside.path()), "target.txt = outside\n");
        EXPECT_FALSE(testutil::fileExists(app.file("evil.txt")));
    }
}

TEST(FtpRun, ConnectsLogsInAndReportsFailure)
{
    TempDir root, app;
    testutil::writeFile(root.file("update.inf"), "[update]\nunconditional=1\n");
    wutest::FtpPeer ftp(root.path());
    ASSERT_TRUE(ftp.ready());
    TWebUpdate wu;
    wu.AppFolder = app.path();
    wu.ProcessMessages = [] {};
    wu.Host = "127.0.0.1";
    wu.Port = ftp.port();
    wu.FTPPassive = true;
    wu.URL = "update.inf";
    std::vector<std::string> statuses;
    wu.OnStatus = [&](TWebUpdate *, const std::string &t, int32_t c, int32_t) {
        statuses.push_back(std::to_string(c) + " " + t);
    };
    wu.DoUpdate();
    EXPECT_EQ(statuses, (std::vector<std::string>{"3 Checking for Internet connection", "3 Found open Internet connection",
                                                  "3 Connect to host : 127.0.0.1", "3 Download : update.inf",
                                                  "3 Update control file found",
                                                  "3 Finished processing update control file",
                                                  "3 Closed Internet connection"}));
    // Nobody listening: the error, 924, and the run still closes.
    statuses.clear();
    const nettest::ClosedPort closed;
    wu.Port = closed.port();
    wu.DoUpdate();
    ASSERT_EQ(statuses.size(), 6u);
    EXPECT_EQ(statuses[3].substr(0, 2), "1 ");
    EXPECT_EQ(statuses[4], "1 Cannot connect to FTP host : 127.0.0.1");
    EXPECT_EQ(statuses[5], "3 Closed Internet connection");
}

} // namespace
