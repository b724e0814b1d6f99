#include "app/SingleCopy.h"

#include "platform/Dialogs.h"
#include "support/VCLUtils.h"

#include <QApplication>
#include <QCoreApplication>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace SingleCopy {

namespace {

// The class part of the name the running copy listens under; the title
// part is the canonical program folder.
const char *const kListenClass = "TMainForm";

// How long a start waits between two tries on a taken folder.
constexpr std::chrono::milliseconds kRetryPause{100};

int openRegularNoFollow(const std::string &path, int flags)
{
    const int fd = open(path.c_str(), flags | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    if (fd < 0)
        return -1;
    struct stat st{};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

FolderLock::Result FolderLock::TryTake(const std::string &folder)
{
    if (held_)
        return Result::Taken;
    if (fd_ < 0) {
        const std::string dir = folder.empty() ? std::string("/") : folder;
        const std::string file = dir + "/" + kLockFileName;
        fd_ = openRegularNoFollow(file, O_RDWR | O_CREAT);
        if (fd_ < 0)
            fd_ = openRegularNoFollow(file, O_RDONLY);   // there, but not ours to write
        if (fd_ < 0)
            fd_ = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0)
            return Result::NoLock;
    }
    while (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        return errno == EWOULDBLOCK ? Result::Busy : Result::NoLock;
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
}

std::string CanonicalFolder(const std::string &folder)
{
    const std::string dir = folder.empty() ? std::string("/") : folder;
    if (char *real = realpath(dir.c_str(), nullptr)) {
        std::string r(real);
        std::free(real);
        return r;
    }
    return dir;
}

bool Running(const std::string &folder) { return FindPrevInstance(kListenClass, CanonicalFolder(folder)); }

Claim::~Claim()
{
    QObject::disconnect(ending_);
    if (listening_)
        UnregisterInstance();
}

Claim::Outcome Claim::Take(std::chrono::milliseconds patience)
{
    const std::string title = CanonicalFolder(folder_);
    const auto deadline = std::chrono::steady_clock::now() + patience;
    for (;;) {
        // A folder that offers no lock cannot be shared safely either,
        // but it cannot be guarded: the program runs as it always did.
        if (lock_.TryTake(folder_) != FolderLock::Result::Busy)
            return Outcome::Owner;
        if (ActivatePrevInstance(kListenClass, title))
            return Outcome::Forwarded;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return Outcome::Unreachable;
        // No window of this process is shown yet: a plain pause freezes nothing.
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kRetryPause, deadline - now));
    }
}

void Claim::Listen(QWidget *window)
{
    // The lock makes this process the only one that may take the name, so a
    // socket left by a copy that was killed is removed on the way.
    listening_ = RegisterInstance(kListenClass, CanonicalFolder(folder_), window, [] {
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

bool ClaimProgramFolder(Claim &claim, int &status)
{
    switch (claim.Take()) {
    case Claim::Outcome::Owner:
        return true;
    case Claim::Outcome::Forwarded:
        status = 0;
        return false;
    case Claim::Outcome::Unreachable:
        Dialogs::ShowMessage(kAlreadyRunning);
        status = 1;
        return false;
    }
    status = 1;
    return false;
}

} // namespace SingleCopy
