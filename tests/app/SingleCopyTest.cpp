// One running copy per program folder: the built program started twice on
// one folder (also from another environment, and after the files of an
// earlier version's lock were tampered with), again after it was killed
// many times, on two folders, on a folder that is missing or cannot be
// made, and against a folder whose lock another process holds or that
// cannot be locked; and the folder lock itself.
#include "app/ProgramCopy.h"
#include "app/SingleCopy.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QThread>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace {

using testutil::TempDir;

using programtest::Copy;
using programtest::Listing;

// The one speed the behaviour promises: a second start is gone before its
// patience with a running copy (5 s) could have run out, so it never waited
// for that copy; a forwarded start takes a fraction of that, but a program's
// start-up alone takes seconds on a loaded machine (over 3 s seen at load
// 25 on 8 cores), and a sanitized program's several times that.
constexpr qint64 kSecondStartMs = testutil::kSanitized ? 10000 : 5000;

// The names below the folder that are local sockets or lock files.
std::vector<std::string> Litter(const std::string &folder)
{
    std::vector<std::string> out;
    for (const auto &entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (entry.is_socket() || name.find("lock") != std::string::npos || name.find("mixdeck-instance") == 0)
            out.push_back(entry.path().string());
    }
    return out;
}

// Binds a local socket at `path`; it listens until the returned descriptor
// is closed, or, with `listening` false, is closed at once and left behind
// as a killed program leaves its socket. -1 when it cannot be made.
int PathSocket(const std::string &path, bool listening)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return -1;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && (bind(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0 ||
                    (listening && listen(fd, 4) != 0))) {
        close(fd);
        return -1;
    }
    if (fd >= 0 && !listening) {
        close(fd);
        fd = 0;
    }
    return fd;
}

// The program as user "nobody" can start it: the built one, or a copy of it
// in `spare` when the build lies in a folder nobody may enter.
std::string ProgramForNobody(const TempDir &spare)
{
    const std::string built = programtest::ProgramPath();
    if (testutil::runUnprivileged([&] { return std::string(access(built.c_str(), X_OK) == 0 ? "yes" : "no"); }) ==
        "yes")
        return built;
    const std::string copy = spare.file("mixdeck");
    std::filesystem::copy_file(built, copy);
    chmod(copy.c_str(), 0755);
    chmod(spare.path().c_str(), 0755);
    return copy;
}

// A copy on the folder, or one as user "nobody" (when the tests run as
// root) of the program given, with its own $TMPDIR when one is given.
Copy::Options On(const std::string &home, const std::string &tmp = std::string(),
                 const std::string &asNobody = std::string())
{
    Copy::Options o;
    o.home = home;
    o.tmp = tmp;
    o.program = asNobody;
    o.asNobody = !asNobody.empty();
    return o;
}

// Until the copy runs on the folder: its windows made, later starts heard.
bool Up(Copy &copy, const std::string &home) { return copy.AwaitReady() > 0 && SingleCopy::Running(home); }

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
    // The first copy runs on a folder that still has the lock file of an
    // earlier version; what happens to that file, and the environment of the
    // later start, change nothing: it reaches the first copy and ends.
    enum class Tamper { None, Delete, Directory, Unreadable };
    struct Case {
        const char *name;
        Tamper tamper;
        bool ownTmp;   // the later start has another $TMPDIR
    } cases[] = {
        {"two starts, same environment", Tamper::None, false},
        {"another TMPDIR", Tamper::None, true},
        {"lock file deleted", Tamper::Delete, false},
        {"lock file replaced by a folder", Tamper::Directory, false},
        {"lock file made unreadable", Tamper::Unreadable, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir home, tmp;
        const std::string lockFile = home.file("MIXDECK.lock");
        testutil::writeFile(lockFile, "");
        Copy first(On(home.path()));
        ASSERT_TRUE(Up(first, home.path())) << first.Output();
        switch (c.tamper) {
        case Tamper::None: break;
        case Tamper::Delete: ASSERT_EQ(unlink(lockFile.c_str()), 0); break;
        case Tamper::Directory:
            ASSERT_EQ(unlink(lockFile.c_str()), 0);
            ASSERT_EQ(mkdir(lockFile.c_str(), 0755), 0);
            break;
        case Tamper::Unreadable: ASSERT_EQ(chmod(lockFile.c_str(), 0), 0); break;
        }
        const auto before = Listing(home.path());

        const int starts = c.tamper == Tamper::None && !c.ownTmp ? 2 : 1;
        for (int start = 1; start <= starts; ++start) {
            SCOPED_TRACE(start);
            Copy second(On(home.path(), c.ownTmp ? tmp.path() : std::string()));
            ASSERT_TRUE(second.WaitForEnd()) << second.Output();
            EXPECT_TRUE(second.EndedNormallyWith(0)) << second.Output();
            EXPECT_LT(second.ElapsedMs(), kSecondStartMs);
            EXPECT_EQ(second.Output().find("message box"), std::string::npos) << second.Output();
            EXPECT_EQ(Listing(home.path()), before);
        }
        // Each start reached the first copy, which is still there.
        ASSERT_TRUE(first.AwaitOutput(SingleCopy::kBroughtForward, starts)) << first.Output();
        EXPECT_TRUE(first.Alive());
        EXPECT_TRUE(Litter(tmp.path()).empty());
    }
}

TEST(SingleCopy, KilledCopiesLeaveNothingAndTheNextCopyRuns)
{
    // Killed while it runs, or at once while it is still starting; in its
    // own temporary folder.
    TempDir home, tmp;
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        Copy copy(On(home.path(), tmp.path()));
        if (round % 2 == 0) {
            ASSERT_TRUE(Up(copy, home.path())) << copy.Output();
        }
        copy.Kill();
    }
    Copy again(On(home.path(), tmp.path()));
    ASSERT_TRUE(Up(again, home.path())) << again.Output();
    EXPECT_EQ(again.Output().find(SingleCopy::kAlreadyRunning), std::string::npos);
    EXPECT_EQ(Litter(tmp.path()), std::vector<std::string>{});
    EXPECT_EQ(Litter(home.path()), std::vector<std::string>{});
    // Later starts reach the new copy, also from another environment.
    const auto before = Listing(home.path());
    Copy later(On(home.path()));
    ASSERT_TRUE(later.WaitForEnd());
    EXPECT_TRUE(later.EndedNormallyWith(0)) << later.Output();
    EXPECT_TRUE(again.AwaitOutput(SingleCopy::kBroughtForward)) << again.Output();
    EXPECT_EQ(Listing(home.path()), before);
}

TEST(SingleCopy, SocketsOfEarlierVersionsThatNothingListensOnAreRemoved)
{
    // Earlier versions left their socket in $TMPDIR when they were killed.
    TempDir home, tmp;
    const std::string prefix = tmp.file("mixdeck-instance-" + std::to_string(getuid()) + "-");
    const std::string dead = prefix + "00000000000000aa", live = prefix + "00000000000000bb";
    const std::string other = tmp.file("mixdeck-instance-unrelated");
    ASSERT_EQ(PathSocket(dead, false), 0);
    ASSERT_EQ(PathSocket(other, false), 0);
    const int listening = PathSocket(live, true);
    ASSERT_GT(listening, 0);
    Copy copy(On(home.path(), tmp.path()));
    ASSERT_TRUE(Up(copy, home.path())) << copy.Output();
    close(listening);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dead)));
    EXPECT_TRUE(std::filesystem::is_socket(live));
    EXPECT_TRUE(std::filesystem::is_socket(other));   // not named as ours
}

TEST(SingleCopy, MissingProgramFolderIsMadeAndGuarded)
{
    TempDir top;
    const std::string home = top.file("made/for/mixdeck");
    Copy first(On(home));
    ASSERT_TRUE(Up(first, home)) << first.Output();
    for (const std::string &made : {top.file("made"), top.file("made/for"), home}) {
        struct stat st{};
        ASSERT_EQ(stat(made.c_str(), &st), 0) << made;
        EXPECT_TRUE(S_ISDIR(st.st_mode)) << made;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << made;
    }
    EXPECT_TRUE(testutil::fileExists(home + "/CDDB.ini"));
    const auto before = Listing(home);
    Copy second(On(home));
    ASSERT_TRUE(second.WaitForEnd()) << second.Output();
    EXPECT_TRUE(second.EndedNormallyWith(0)) << second.Output();
    EXPECT_TRUE(first.AwaitOutput(SingleCopy::kBroughtForward)) << first.Output();
    EXPECT_TRUE(first.Alive());
    EXPECT_EQ(Listing(home), before);
}

TEST(SingleCopy, FolderThatCannotBeMadeOrLockedIsReportedAndNotRunOn)
{
    // The message names the folder and the cause; the program ends with 1
    // and writes nothing.
    struct Case {
        const char *name;
        const char *home;   // below the test's folder
        bool unprivileged;  // started as user "nobody"
        const char *message;
        int cause;
    } cases[] = {
        {"below a file", "file/mixdeck", false, "Cannot make the program folder", ENOTDIR},
        {"a file", "file", false, "Cannot make the program folder", ENOTDIR},
        {"a folder the user may not read", "closed", true, "Cannot lock the program folder", EACCES},
        {"below a folder the user may not write", "locked/mixdeck", true, "Cannot make the program folder", EACCES},
    };
    TempDir spare;
    const std::string nobodysProgram = ProgramForNobody(spare);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir top, tmp;
        testutil::writeFile(top.file("file"), "a file, not a folder");
        // Neither its owner nor anybody else may read or write these.
        ASSERT_EQ(mkdir(top.file("closed").c_str(), 0311), 0);
        ASSERT_EQ(mkdir(top.file("locked").c_str(), 0555), 0);
        ASSERT_EQ(chmod(top.path().c_str(), 0755), 0);
        // The copy's $TMPDIR is its user's, so that it could leave litter there.
        if (c.unprivileged && geteuid() == 0) {
            ASSERT_EQ(chown(tmp.path().c_str(), 65534, 65534), 0);
        }
        const auto before = Listing(top.path());
        const std::string home = top.file(c.home);
        Copy copy(On(home, tmp.path(), c.unprivileged ? nobodysProgram : std::string()));
        ASSERT_TRUE(copy.WaitForEnd()) << copy.Output();
        EXPECT_TRUE(copy.EndedNormallyWith(1)) << copy.Output();
        const std::string box = std::string("MIXDECK message box [MIXDECK] ") + c.message + " \"" + home +
                                "\": " + std::strerror(c.cause) + " (OK) -> OK\n";
        EXPECT_NE(copy.Output().find(box), std::string::npos) << copy.Output();
        EXPECT_EQ(Listing(top.path()), before);
        EXPECT_EQ(Litter(tmp.path()), std::vector<std::string>{});
    }
}

TEST(SingleCopy, AnotherUserNeitherBringsForwardNorImpersonatesTheCopy)
{
    // The copy listens under a name in the abstract namespace, which has no
    // file permissions: it answers only its own user, and a start believes
    // only a listener of its own user.
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    TempDir home, unused;
    testutil::openToAll(home.path());
    const auto nameOf = [](const std::string &folder) {
        return "mixdeck-instance-0-" +
               QCryptographicHash::hash(QByteArray::fromStdString("TMainForm\n" + SingleCopy::ListenName(folder)),
                                        QCryptographicHash::Sha1)
                   .toHex()
                   .left(16)
                   .toStdString();
    };
    const auto addressOf = [](const std::string &name, sockaddr_un &addr) {
        addr = sockaddr_un{};
        addr.sun_family = AF_UNIX;
        std::memcpy(addr.sun_path + 1, name.data(), name.size());
        return socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    };

    // Another user asks the running copy to come forward: cut off unheard.
    Copy first(On(home.path()));
    ASSERT_TRUE(Up(first, home.path())) << first.Output();
    sockaddr_un addr;
    const socklen_t len = addressOf(nameOf(home.path()), addr);
    const std::string result = testutil::runUnprivileged([&] {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const timeval bound{10, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        std::string r = "not connected";
        if (connect(fd, reinterpret_cast<const sockaddr *>(&addr), len) == 0) {
            // Cut off before the line is sent or before it is read: either
            // way unheard.
            char c;
            const ssize_t sent = send(fd, "activate\n", 9, MSG_NOSIGNAL);
            const ssize_t got = sent == 9 ? read(fd, &c, 1) : -1;
            r = got < 0 && (errno == ECONNRESET || errno == EPIPE) ? "cut off" : "answered " + std::to_string(got);
        }
        close(fd);
        return r;
    });
    EXPECT_EQ(result, "cut off");
    // Its own user's start is answered, once.
    Copy second(On(home.path()));
    ASSERT_TRUE(second.WaitForEnd()) << second.Output();
    EXPECT_TRUE(second.EndedNormallyWith(0)) << second.Output();
    ASSERT_TRUE(first.AwaitOutput(SingleCopy::kBroughtForward)) << first.Output();
    EXPECT_EQ(first.Seen(SingleCopy::kBroughtForward), 1) << first.Output();

    // Another user listens under the name of a folder no copy runs on: it
    // is not taken for a copy of the program.
    const socklen_t squatLen = addressOf(nameOf(unused.path()), addr);
    int ready[2];
    ASSERT_EQ(pipe2(ready, O_CLOEXEC), 0);
    Child squatter;
    squatter.pid = fork();
    if (squatter.pid == 0) {
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (setgid(65534) != 0 || setuid(65534) != 0 || fd < 0 ||
            bind(fd, reinterpret_cast<const sockaddr *>(&addr), squatLen) != 0 || listen(fd, 8) != 0)
            _exit(1);
        if (write(ready[1], "r", 1) != 1)
            _exit(1);
        for (;;)
            pause();
    }
    close(ready[1]);
    char c = 0;
    const ssize_t got = squatter.pid > 0 ? read(ready[0], &c, 1) : -1;
    close(ready[0]);
    ASSERT_EQ(got, 1);
    EXPECT_FALSE(SingleCopy::Running(unused.path()));
}

TEST(SingleCopy, CopiesOnTwoFoldersRunSideBySide)
{
    TempDir one, two;
    Copy a(On(one.path()));
    Copy b(On(two.path()));
    ASSERT_TRUE(Up(a, one.path())) << a.Output();
    ASSERT_TRUE(Up(b, two.path())) << b.Output();
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
        Copy copy(On(home.path()));
        if (c.letGo) {
            QThread::msleep(1000);
            ASSERT_TRUE(copy.Alive()) << copy.Output();
            holder.Release();
            ASSERT_TRUE(Up(copy, home.path())) << copy.Output();
            EXPECT_EQ(copy.Output().find(SingleCopy::kAlreadyRunning), std::string::npos);
            EXPECT_TRUE(testutil::fileExists(home.file("CDDB.ini")));
        } else {
            ASSERT_TRUE(copy.WaitForEnd()) << copy.Output();
            EXPECT_TRUE(copy.EndedNormallyWith(1)) << copy.Output();
            // It waited its patience of about 5 s for the holder, and not
            // much longer: a user who started it twice is told soon.
            EXPECT_GE(copy.ElapsedMs(), 4900);
            EXPECT_LT(copy.ElapsedMs(), 12000);
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

TEST(SingleCopy, FolderLockIsTakenOnTheFolderItself)
{
    // Whatever the user may do in the folder, the lock is the folder's:
    // taken without writing anything; a folder the user may not read cannot
    // be locked, which is said, not taken for a free folder.
    struct Case {
        const char *name;
        unsigned mode;
        const char *result;
    } cases[] = {{"a folder the user may not write", 0555, "taken busy free"},
                 {"a folder the user may not read", 0311, "failed 13"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        testutil::writeFile(dir.file("MIXDECK.ini"), "[CDs]\n");
        testutil::openToAll(dir.path());
        ASSERT_EQ(chmod(dir.path().c_str(), c.mode), 0);
        const auto before = Listing(dir.path());
        const std::string result = testutil::runUnprivileged([&] {
            SingleCopy::FolderLock first, second;
            const auto got = first.TryTake(dir.path());
            if (got == SingleCopy::FolderLock::Result::Failed)
                return "failed " + std::to_string(first.Error());
            const bool taken = got == SingleCopy::FolderLock::Result::Taken;
            const bool busy = second.TryTake(dir.path()) == SingleCopy::FolderLock::Result::Busy;
            first.Release();
            const bool free = second.TryTake(dir.path()) == SingleCopy::FolderLock::Result::Taken;
            return std::string(taken ? "taken" : "-") + (busy ? " busy" : " -") + (free ? " free" : " -");
        });
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(Listing(dir.path()), before);
    }
}

TEST(SingleCopy, MakeFolderTable)
{
    TempDir top;
    testutil::writeFile(top.file("file"), "x");
    ASSERT_EQ(symlink(top.file("there").c_str(), top.file("link").c_str()), 0);
    ASSERT_EQ(symlink(top.file("nowhere").c_str(), top.file("dangling").c_str()), 0);
    ASSERT_EQ(mkdir(top.file("there").c_str(), 0755), 0);
    struct Case {
        const char *path;
        int result;
    } cases[] = {
        {"there", 0},                // already a folder: left as it is
        {"new", 0},
        {"a//b///c", 0},             // repeated slashes
        {"link/inner", 0},           // through a link to a folder
        {"there/../up", 0},
        {"file", ENOTDIR},
        {"file/below", ENOTDIR},
        {"dangling/below", ENOENT},  // a link to nothing is not followed into being
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        const std::string path = top.file(c.path);
        EXPECT_EQ(SingleCopy::MakeFolder(path), c.result);
        if (c.result == 0) {
            EXPECT_TRUE(std::filesystem::is_directory(path));
            EXPECT_EQ(SingleCopy::MakeFolder(path), 0);   // a second time too
        }
    }
    struct stat st{};
    ASSERT_EQ(stat(top.file("there").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_FALSE(std::filesystem::exists(top.file("nowhere")));
}
