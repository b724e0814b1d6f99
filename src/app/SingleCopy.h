#pragma once
// One running copy of the program per program folder. Two copies on one
// folder would each write the catalogue, the queue, the settings and the
// compilations whole from their own view, and the later write would drop
// what the other copy had added. So the first copy holds a lock on the
// folder for its whole life (an advisory lock that the kernel drops when the
// process ends, however it ends), and a later start on the same folder asks
// that copy to bring its main window forward and ends without writing
// anything.
#include <QMetaObject>

#include <chrono>
#include <string>
#include <utility>

class QWidget;

namespace SingleCopy {

// The file in the program folder that carries the lock; it stays there.
inline constexpr const char *kLockFileName = "MIXDECK.lock";
// Shown when the folder is taken but the copy holding it does not answer.
inline constexpr const char *kAlreadyRunning = "MIXDECK is already running";
// The line the running copy writes on standard error each time a later
// start has brought it forward.
inline constexpr const char *kBroughtForward = "MIXDECK: a second start on this program folder brought the window forward";

// The advisory lock of one program folder. It is taken on the lock file
// when that can be opened (created when missing), otherwise on the folder
// itself (a folder the user may not write). The descriptor is closed on
// exec, so a program this process starts (the updater, a shell "open")
// never keeps the lock alive after this process has ended.
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock() { Release(); }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    enum class Result { Taken, Busy, NoLock };
    // One try, never waits. Taken: this object holds the folder now. Busy:
    // another holder has it. NoLock: the folder offers nothing to lock
    // (it does not exist, or its file system has no locks).
    Result TryTake(const std::string &folder);
    void Release();

private:
    int fd_ = -1;
    bool held_ = false;
};

// The canonical form of the folder (links resolved), which names the local
// socket the running copy listens on.
std::string CanonicalFolder(const std::string &folder);

// True when a copy of the program on this folder listens for later starts.
bool Running(const std::string &folder);

// The claim of this process on its program folder.
class Claim {
public:
    explicit Claim(std::string folder) : folder_(std::move(folder)) {}
    ~Claim();
    Claim(const Claim &) = delete;
    Claim &operator=(const Claim &) = delete;

    enum class Outcome {
        Owner,        // this process runs on the folder
        Forwarded,    // the running copy was asked to come forward
        Unreachable,  // the folder is taken and its holder did not answer
    };
    // Takes the folder, or reaches the copy that holds it. A holder that
    // cannot be reached yet (still starting, or ending for a restart) is
    // tried again until `patience` has passed; the lock is tried again as
    // well, so a copy that ends meanwhile leaves the folder to this one.
    // Writes nothing but the empty lock file of a folder that had none.
    Outcome Take(std::chrono::milliseconds patience = std::chrono::seconds(5));

    // For the owner: from now on later starts bring `window` forward.
    void Listen(QWidget *window);

private:
    std::string folder_;
    FolderLock lock_;
    bool listening_ = false;
    QMetaObject::Connection ending_;
};

// The start-up step: takes the program folder for this process. False when
// the program must end at once with `status`: 0 after the running copy was
// asked to come forward, 1 after the message "MIXDECK is already running".
bool ClaimProgramFolder(Claim &claim, int &status);

} // namespace SingleCopy
