// One running copy per program folder: the built program started twice on
// one folder, again after it was killed, on two folders, and against a
// folder whose lock another process holds; and the folder lock itself.
#include "app/ProgramProcess.h"
#include "app/SingleCopy.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <fcntl.h>
#include <filesystem>
#include <map>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using testutil::TempDir;

// Bounds for a hung or slow program on a loaded machine, not speed checks.
constexpr int kStartBoundMs = 60000;
constexpr int kEndBoundMs = 30000;
// The one speed the behaviour promises: a second start is gone this soon.
constexpr qint64 kSecondStartMs = 2000;

// Every name below the folder, the folder included, with its type, size and
// modification time.
std::map<std::string, std::string> Listing(const std::string &folder)
{
    std::map<std::string, std::string> out;
    auto add = [&out](const std::string &path) {
        struct stat st{};
        if (lstat(path.c_str(), &st) == 0)
            out[path] = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                        std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    };
    add(folder);
    for (const auto &entry : std::filesystem::recursive_directory_iterator(folder))
        add(entry.path().string());
    return out;
}

// A copy of the program on one folder; killed and reaped on every way out
// of the test.
class Copy {
public:
    explicit Copy(const std::string &home)
    {
        QProcessEnvironment env = programtest::BaseEnv();
        env.insert("MIXDECK_HOME", QString::fromStdString(home));
        p_.setProcessEnvironment(env);
        p_.setProcessChannelMode(QProcess::MergedChannels);
        timer_.start();
        p_.start(QString::fromStdString(programtest::ProgramPath()), {});
        p_.waitForStarted(kStartBoundMs);
    }
    ~Copy() { Kill(); }
    Copy(const Copy &) = delete;
    Copy &operator=(const Copy &) = delete;

    // SIGKILL, and reaped.
    void Kill()
    {
        if (p_.state() != QProcess::NotRunning) {
            p_.kill();
            p_.waitForFinished(kEndBoundMs);
        }
    }
    bool Alive() const { return p_.state() == QProcess::Running; }
    bool WaitForEnd()
    {
        const bool ended = p_.waitForFinished(kEndBoundMs);
        elapsed_ = timer_.elapsed();
        return ended;
    }
    // From the start to the end that WaitForEnd saw.
    qint64 ElapsedMs() const { return elapsed_; }
    bool EndedNormallyWith(int code) const
    {
        return p_.state() == QProcess::NotRunning && p_.exitStatus() == QProcess::NormalExit && p_.exitCode() == code;
    }
    // What it wrote on standard output and standard error so far.
    const std::string &Output()
    {
        out_ += p_.readAll().toStdString();
        return out_;
    }
    // Until the output holds the line `times` times.
    bool AwaitOutput(const std::string &line, int times = 1)
    {
        QElapsedTimer t;
        t.start();
        for (;;) {
            int seen = 0;
            for (size_t at = Output().find(line + "\n"); at != std::string::npos; at = out_.find(line + "\n", at + 1))
                ++seen;
            if (seen >= times)
                return true;
            const qint64 left = kStartBoundMs - t.elapsed();
            if (left <= 0 || !Alive())
                return false;
            p_.waitForReadyRead(int(left));
        }
    }
    // Until the copy listens for later starts on its folder (it has taken
    // the folder and made its windows); false when it ended instead.
    bool AwaitRunning(const std::string &home)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < kStartBoundMs) {
            if (SingleCopy::Running(home))
                return true;
            if (p_.state() == QProcess::NotRunning)
                return false;
            QThread::msleep(50);
        }
        return false;
    }

private:
    QProcess p_;
    QElapsedTimer timer_;
    qint64 elapsed_ = -1;
    std::string out_;
};

// A child program of this process, killed and reaped on every way out.
struct Child {
    pid_t pid = -1;
    ~Child()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

} // namespace

TEST(SingleCopy, SecondStartBringsTheFirstForwardAndWritesNothing)
{
    TempDir home;
    Copy first(home.path());
    ASSERT_TRUE(first.AwaitRunning(home.path())) << first.Output();
    EXPECT_TRUE(testutil::fileExists(home.file(SingleCopy::kLockFileName)));
    const auto before = Listing(home.path());

    for (int start = 1; start <= 2; ++start) {
        SCOPED_TRACE(start);
        Copy second(home.path());
        ASSERT_TRUE(second.WaitForEnd()) << second.Output();
        EXPECT_TRUE(second.EndedNormallyWith(0)) << second.Output();
        EXPECT_LT(second.ElapsedMs(), kSecondStartMs);
        EXPECT_EQ(second.Output().find("message box"), std::string::npos) << second.Output();
        EXPECT_EQ(Listing(home.path()), before);
    }
    // Each start reached the first copy, which is still there.
    ASSERT_TRUE(first.AwaitOutput(SingleCopy::kBroughtForward, 2)) << first.Output();
    EXPECT_TRUE(first.Alive());
}

TEST(SingleCopy, KilledCopyLeavesNoStaleLockAndNewCopyIsFound)
{
    TempDir home;
    {
        Copy first(home.path());
        ASSERT_TRUE(first.AwaitRunning(home.path())) << first.Output();
        first.Kill();
    }
    // At once: the kernel let the lock go with the killed process, and its
    // socket is left without a listener.
    Copy again(home.path());
    ASSERT_TRUE(again.AwaitRunning(home.path())) << again.Output();
    EXPECT_EQ(again.Output().find(SingleCopy::kAlreadyRunning), std::string::npos);
    // Later starts reach the new copy.
    Copy later(home.path());
    ASSERT_TRUE(later.WaitForEnd());
    EXPECT_TRUE(later.EndedNormallyWith(0)) << later.Output();
    EXPECT_TRUE(again.AwaitOutput(SingleCopy::kBroughtForward)) << again.Output();
}

TEST(SingleCopy, CopiesOnTwoFoldersRunSideBySide)
{
    TempDir one, two;
    Copy a(one.path());
    Copy b(two.path());
    ASSERT_TRUE(a.AwaitRunning(one.path())) << a.Output();
    ASSERT_TRUE(b.AwaitRunning(two.path())) << b.Output();
    EXPECT_TRUE(a.Alive());
    EXPECT_TRUE(b.Alive());
    EXPECT_TRUE(testutil::fileExists(one.file("CDDB.ini")));
    EXPECT_TRUE(testutil::fileExists(two.file("CDDB.ini")));
}

TEST(SingleCopy, StartWaitsABoundedTimeForTheHolderOfTheFolder)
{
    // The holder here is this test, which never answers a request to come
    // forward: as a copy that is still starting, or one that ends for a
    // restart after a web update.
    struct Case {
        const char *name;
        bool letGo;
    } cases[] = {{"holder lets go: the new copy starts", true},
                 {"holder keeps it: the message, nothing written", false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir home;
        SingleCopy::FolderLock holder;
        ASSERT_EQ(holder.TryTake(home.path()), SingleCopy::FolderLock::Result::Taken);
        const auto before = Listing(home.path());
        Copy copy(home.path());
        if (c.letGo) {
            QThread::msleep(1000);
            ASSERT_TRUE(copy.Alive()) << copy.Output();
            holder.Release();
            ASSERT_TRUE(copy.AwaitRunning(home.path())) << copy.Output();
            EXPECT_EQ(copy.Output().find(SingleCopy::kAlreadyRunning), std::string::npos);
            EXPECT_TRUE(testutil::fileExists(home.file("CDDB.ini")));
        } else {
            ASSERT_TRUE(copy.WaitForEnd()) << copy.Output();
            EXPECT_TRUE(copy.EndedNormallyWith(1)) << copy.Output();
            EXPECT_NE(copy.Output().find("MIXDECK message box [MIXDECK] MIXDECK is already running (OK) -> OK\n"),
                      std::string::npos)
                << copy.Output();
            EXPECT_EQ(Listing(home.path()), before);
        }
    }
}

TEST(SingleCopy, LockIsNotKeptByProgramsThisProcessStarts)
{
    // The updater is started while the old copy still holds the folder; when
    // the old copy ends, the new one must get the folder although the
    // updater lives on.
    TempDir dir;
    SingleCopy::FolderLock held, other;
    ASSERT_EQ(held.TryTake(dir.path()), SingleCopy::FolderLock::Result::Taken);
    EXPECT_EQ(other.TryTake(dir.path()), SingleCopy::FolderLock::Result::Busy);
    // The child says when it runs: by then its start is complete.
    int ready[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ready[1], STDOUT_FILENO);
    Child child;
    char prog[] = "/bin/sh", opt[] = "-c", script[] = "echo ready; exec sleep 30";
    char *argv[] = {prog, opt, script, nullptr};
    const int spawned = posix_spawn(&child.pid, prog, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(ready[1]);
    char line[8] = {};
    const ssize_t got = spawned == 0 ? read(ready[0], line, 6) : -1;
    close(ready[0]);
    ASSERT_EQ(spawned, 0);
    ASSERT_EQ(got, 6);
    held.Release();
    EXPECT_EQ(other.TryTake(dir.path()), SingleCopy::FolderLock::Result::Taken);
}

TEST(SingleCopy, FolderTheUserMayNotWriteIsStillGuarded)
{
    // Without a lock file and no right to make one, the folder itself is
    // locked; a lock file the user may not write is locked as it is.
    struct Case {
        const char *name;
        bool lockFileThere;
    } cases[] = {{"no lock file", false}, {"lock file of another user", true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.lockFileThere)
            testutil::writeFile(dir.file(SingleCopy::kLockFileName), "");
        testutil::openToAll(dir.path());
        const auto before = Listing(dir.path());
        const std::string result = testutil::runUnprivileged([&] {
            SingleCopy::FolderLock first, second;
            const bool taken = first.TryTake(dir.path()) == SingleCopy::FolderLock::Result::Taken;
            const bool busy = second.TryTake(dir.path()) == SingleCopy::FolderLock::Result::Busy;
            first.Release();
            const bool free = second.TryTake(dir.path()) == SingleCopy::FolderLock::Result::Taken;
            return std::string(taken ? "taken" : "-") + (busy ? " busy" : " -") + (free ? " free" : " -");
        });
        EXPECT_EQ(result, "taken busy free");
        EXPECT_EQ(Listing(dir.path()), before);
    }
}
