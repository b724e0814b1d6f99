#pragma once
// One running copy of the program per program folder. Two copies on one
// folder would each write the catalogue, the queue, the settings and the
// compilations whole from their own view, and the later write would drop
// what the other copy had added. So the first copy holds a lock on the
// folder itself for its whole life (an advisory lock that the kernel drops
// when the process ends, however it ends; no file in the folder carries it,
// so nothing a user does to the folder's files undoes it), and a later start
// on the same folder asks that copy to bring its main window forward and
// ends without writing anything once that copy has answered. A program
// folder that does not exist yet is made first; a folder that can be neither
// made nor locked is reported, and the program does not run on it. While
// the copy runs, nothing is written below the folder's path unless that
// path still names the folder it locked (fileio::HoldFolder).
#include <QMetaObject>

#include <chrono>
#include <string>
#include <sys/types.h>
#include <utility>

class QWidget;

namespace SingleCopy {

// Shown when the folder is taken but the copy holding it does not answer.
inline constexpr const char *kAlreadyRunning = "MIXDECK is already running";
// The line the running copy writes on standard error each time a later
// start has brought it forward.
inline constexpr const char *kBroughtForward = "MIXDECK: a second start on this program folder brought the window forward";

// The folder as the messages name it ("" is the root folder).
std::string FolderName(const std::string &folder);

// Makes the folder and its missing parents (each private to the user,
// 0700). 0 when the folder is there afterwards, else the errno of the step
// that failed (ENOTDIR when a part of the path is not a folder).
int MakeFolder(const std::string &folder);

// The advisory lock of one program folder, taken on a descriptor of the
// folder itself. The descriptor is closed on exec, so a program this
// process starts (the updater, a shell "open") never keeps the lock alive
// after this process has ended.
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock() { Release(); }
    FolderLock(const FolderLock &) = delete;
    FolderLock &operator=(const FolderLock &) = delete;

    enum class Result { Taken, Busy, Failed };
    // One try, never waits. Taken: this object holds the folder now. Busy:
    // another holder has it. Failed: the folder cannot be opened or its
    // file system refuses the lock; Error() says why.
    Result TryTake(const std::string &folder);
    void Release();
    // The errno of the last Failed.
    int Error() const { return error_; }
    // The folder's identity (device and inode) once it was opened, which
    // names the local socket the running copy listens on; "" before.
    std::string Identity() const { return identity_; }
    dev_t Device() const { return device_; }
    ino_t Inode() const { return inode_; }

private:
    int fd_ = -1;
    bool held_ = false;
    int error_ = 0;
    std::string identity_;
    dev_t device_ = 0;
    ino_t inode_ = 0;
};

// The name the running copy on this folder listens under: the folder's
// device and inode, so every path to the folder (links, bind mounts) and
// every environment finds the same copy. "" when the folder is not there.
std::string ListenName(const std::string &folder);

// True when a copy of the program on this folder listens for later starts.
bool Running(const std::string &folder);

// Removes the local sockets that earlier versions of the program left in
// the temporary folders ($TMPDIR, /tmp) for this user when nothing listens
// on them any more. A socket a live program listens on is kept.
void RemoveDeadSockets();

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
        Failed,       // the folder cannot be made or locked: Problem() says why
    };
    // Makes the folder when it is missing, then takes it (and holds it for
    // the writes of this process, see fileio::HoldFolder), or reaches the
    // copy that holds it: Forwarded only when that copy answered that its
    // window came forward, within about a second of each request. A holder
    // that does not answer (still starting, stopped, busy, or ending for a
    // restart) is asked again until `patience` has passed; the lock is
    // tried again as well, so a copy that ends meanwhile leaves the folder
    // to this one. Writes nothing into the folder.
    Outcome Take(std::chrono::milliseconds patience = std::chrono::seconds(5));
    // After Failed: the message for the user, naming the folder and the cause.
    const std::string &Problem() const { return problem_; }

    // For the owner, before any window or message box can show: from now
    // on later starts are heard. Each is answered once a window of this copy
    // has come forward: a message box shown before the main window exists,
    // else the main window once SetWindow has named it.
    void Listen();
    void SetWindow(QWidget *window);

private:
    std::string folder_;
    FolderLock lock_;
    std::string problem_;
    bool listening_ = false;
    bool holding_ = false;
    QMetaObject::Connection ending_;
};

// The start-up step: takes the program folder for this process and listens
// for later starts. False when the program must end at once with `status`:
// 0 after the running copy answered that it came forward, 1 after the
// message "MIXDECK is already running" or the message that the folder cannot
// be made or locked.
bool ClaimProgramFolder(Claim &claim, int &status);

} // namespace SingleCopy
