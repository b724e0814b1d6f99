#include "app/SingleCopy.h"

#include "platform/Dialogs.h"
#include "platform/FileIO.h"
#include "support/VCLUtils.h"

#include <QApplication>
#include <QCoreApplication>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace SingleCopy {

namespace {

// The class part of the name the running copy listens under; the title
// part is the folder's identity.
const char *const kListenClass = "TMainForm";

// The prefix of the sockets earlier versions left in the temporary folder.
const char *const kOldSocketPrefix = "mixdeck-instance-";

// How long a start waits between two tries on a taken folder.
constexpr std::chrono::milliseconds kRetryPause{100};
// How long a start waits for the running copy's answer to one request.
constexpr std::chrono::milliseconds kAnswerWait{1000};

std::string IdentityOf(const struct stat &st)
{
    return std::to_string(static_cast<unsigned long long>(st.st_dev)) + ":" +
           std::to_string(static_cast<unsigned long long>(st.st_ino));
}

// Is a folder there (0), or why not.
int FolderState(const std::string &path)
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0)
        return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

// True when the socket at `path` is one no process listens on any more.
bool DeadSocket(const std::string &path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    int rc;
    do
        rc = connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr);
    while (rc != 0 && errno == EINTR);
    const bool dead = rc != 0 && errno == ECONNREFUSED;
    close(fd);
    return dead;
}

void RemoveDeadSocketsIn(const std::string &folder)
{
    DIR *dir = opendir(folder.c_str());
    if (!dir)
        return;
    const std::string mine = std::string(kOldSocketPrefix) + std::to_string(getuid()) + "-";
    while (const dirent *e = readdir(dir)) {
        if (std::strncmp(e->d_name, mine.c_str(), mine.size()) != 0)
            continue;
        const std::string path = folder + "/" + e->d_name;
        struct stat st{};
        // Only this user's sockets; in a shared temporary folder nobody
        // else can put another file under the name meanwhile.
        if (lstat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_uid == getuid() && DeadSocket(path))
            unlink(path.c_str());
    }
    closedir(dir);
}

} // namespace

std::string FolderName(const std::string &folder) { return folder.empty() ? std::string("/") : folder; }

int MakeFolder(const std::string &folder)
{
    const std::string dir = FolderName(folder);
    // Each part of the path from the top, then the whole.
    for (size_t at = 1; at <= dir.size(); ++at) {
        if (at < dir.size() && (dir[at] != '/' || dir[at - 1] == '/'))
            continue;
        const std::string part = dir.substr(0, at);
        int state = FolderState(part);
        if (state == ENOENT) {
            if (mkdir(part.c_str(), 0700) == 0)
                continue;
            // Made meanwhile by someone else: fine when it is a folder.
            state = errno == EEXIST ? FolderState(part) : errno;
        }
        if (state != 0)
            return state;
    }
    return 0;
}

FolderLock::Result FolderLock::TryTake(const std::string &folder)
{
    if (held_)
        return Result::Taken;
    if (fd_ < 0) {
        fd_ = open(FolderName(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) {
            error_ = errno;
            return Result::Failed;
        }
        struct stat st{};
        if (fstat(fd_, &st) != 0) {
            error_ = errno;
            Release();
            return Result::Failed;
        }
        identity_ = IdentityOf(st);
        device_ = st.st_dev;
        inode_ = st.st_ino;
    }
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            return Result::Busy;
        error_ = errno;
        return Result::Failed;
    }
    held_ = true;
    return Result::Taken;
}

void FolderLock::Release()
{
    if (fd_ >= 0)
        close(fd_);   // closing the only descriptor lets the lock go
    fd_ = -1;
    held_ = false;
    identity_.clear();
}

std::string ListenName(const std::string &folder)
{
    struct stat st{};
    if (stat(FolderName(folder).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::string();
    return IdentityOf(st);
}

bool Running(const std::string &folder)
{
    const std::string name = ListenName(folder);
    return !name.empty() && FindPrevInstance(kListenClass, name);
}

void RemoveDeadSockets()
{
    // Where those versions put them: $TMPDIR, or /tmp without it.
    const char *env = std::getenv("TMPDIR");
    std::string tmp = env && *env ? env : "/tmp";
    while (tmp.size() > 1 && tmp.back() == '/')
        tmp.pop_back();
    RemoveDeadSocketsIn(tmp);
    if (tmp != "/tmp")
        RemoveDeadSocketsIn("/tmp");
}

Claim::~Claim()
{
    QObject::disconnect(ending_);
    if (listening_)
        UnregisterInstance();
    if (holding_)
        fileio::ReleaseHeldFolder();
}

Claim::Outcome Claim::Take(std::chrono::milliseconds patience)
{
    // Nothing is read or written before the folder is there.
    if (const int made = MakeFolder(folder_)) {
        problem_ = "Cannot make the program folder \"" + FolderName(folder_) + "\": " + std::strerror(made);
        return Outcome::Failed;
    }
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        switch (lock_.TryTake(folder_)) {
        case FolderLock::Result::Taken:
            RemoveDeadSockets();
            fileio::HoldFolder(folder_, lock_.Device(), lock_.Inode());
            holding_ = true;
            return Outcome::Owner;
        case FolderLock::Result::Failed:
            // Without the lock two copies could overwrite each other's
            // saves: the program does not run on such a folder.
            problem_ =
                "Cannot lock the program folder \"" + FolderName(folder_) + "\": " + std::strerror(lock_.Error());
            return Outcome::Failed;
        case FolderLock::Result::Busy:
            break;
        }
        const auto asked = std::chrono::steady_clock::now();
        if (asked >= deadline)
            return Outcome::Unreachable;
        // One request, answered within about a second or not at all.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
            std::min<std::chrono::steady_clock::duration>(kAnswerWait, deadline - asked));
        if (ActivatePrevInstance(kListenClass, lock_.Identity(), int(wait.count())))
            return Outcome::Forwarded;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return Outcome::Unreachable;
        // No window of this process is shown yet: a plain pause freezes nothing.
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kRetryPause, deadline - now));
    }
}

void Claim::Listen()
{
    // The name is in the abstract namespace: a copy that was killed left
    // nothing behind, and the lock makes this process the only one that
    // takes the name.
    listening_ = RegisterInstance(kListenClass, lock_.Identity(), nullptr, [] {
        // A modal window in front of the main window comes forward with it.
        if (QWidget *modal = QApplication::activeModalWidget())
            ActivateWindow(modal);
        std::fprintf(stderr, "%s\n", kBroughtForward);
        std::fflush(stderr);
    });
    // A copy that is ending answers no more: a start meanwhile waits for
    // the folder instead of asking a window that is going away.
    if (listening_)
        ending_ = QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, [this] {
            UnregisterInstance();
            listening_ = false;
        });
}

void Claim::SetWindow(QWidget *window)
{
    if (listening_)
        SetInstanceWindow(window);
}

bool ClaimProgramFolder(Claim &claim, int &status)
{
    switch (claim.Take()) {
    case Claim::Outcome::Owner:
        claim.Listen();
        return true;
    case Claim::Outcome::Forwarded:
        status = 0;
        return false;
    case Claim::Outcome::Unreachable:
        Dialogs::ShowMessage(kAlreadyRunning);
        status = 1;
        return false;
    case Claim::Outcome::Failed:
        Dialogs::ShowMessage(claim.Problem());
        status = 1;
        return false;
    }
    status = 1;
    return false;
}

} // namespace SingleCopy
