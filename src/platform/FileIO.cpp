#include "platform/FileIO.h"

#include "platform/SysUtils.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileio {

bool ReadFile(const std::string &path, std::string &bytes, size_t maxBytes)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        errno = EISDIR;
        return false;
    }
    if (st.st_size > 0 && uint64_t(st.st_size) > maxBytes) {
        close(fd);
        errno = EFBIG;
        return false;
    }
    std::string data;
    if (st.st_size > 0)
        data.reserve(size_t(st.st_size));
    char buf[65536];
    while (true) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int e = errno;
            close(fd);
            errno = e;
            return false;
        }
        if (n == 0)
            break;
        if (data.size() + size_t(n) > maxBytes) {  // a file that grew while read
            close(fd);
            errno = EFBIG;
            return false;
        }
        data.append(buf, size_t(n));
    }
    close(fd);
    bytes.swap(data);
    return true;
}

namespace {

constexpr size_t kSuffixLength = 10;
const char kTempInfix[] = ".tmp";

std::mutex knobMutex;
std::function<std::string()> suffixSource;
std::atomic<bool> unnamedTemp{true};

std::string randomSuffix()
{
    {
        std::lock_guard<std::mutex> lock(knobMutex);
        if (suffixSource)
            return suffixSource();
    }
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char raw[kSuffixLength];
    size_t got = 0;
    while (got < sizeof raw) {
        ssize_t n = getrandom(raw + got, sizeof raw - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        got += size_t(n);
    }
    if (got < sizeof raw) {  // no random source: still hard to guess
        uint64_t x = uint64_t(getpid()) * 0x9E3779B97F4A7C15ull ^ uint64_t(clock());
        for (unsigned char &c : raw) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            c = static_cast<unsigned char>(x);
        }
    }
    std::string s;
    for (unsigned char c : raw)
        s += alphabet[c % (sizeof alphabet - 1)];
    return s;
}

// A file-size limit makes write() fail with EFBIG instead of ending the
// process; a handler the program installed itself is left alone.
void ignoreFileSizeSignal()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction old;
        if (sigaction(SIGXFSZ, nullptr, &old) == 0 && old.sa_handler == SIG_DFL && !(old.sa_flags & SA_SIGINFO))
            signal(SIGXFSZ, SIG_IGN);
    });
}

mode_t currentUmask()
{
    // Read without changing it (umask() would race with other threads).
    FILE *f = std::fopen("/proc/self/status", "re");
    mode_t mask = 022;
    if (f) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::strncmp(line, "Umask:", 6) == 0) {
                mask = mode_t(std::strtoul(line + 6, nullptr, 8)) & 0777;
                break;
            }
        std::fclose(f);
    }
    return mask;
}

bool writeAt(int fd, const char *data, size_t size, off_t at)
{
    size_t off = 0;
    while (off < size) {
        ssize_t n = pwrite(fd, data + off, size - off, at + off_t(off));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        off += size_t(n);
    }
    return true;
}

void splitPath(const std::string &path, std::string &dir, std::string &base)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        dir = ".";
        base = path;
    } else {
        dir = slash == 0 ? "/" : path.substr(0, slash);
        base = path.substr(slash + 1);
    }
}

void syncFolder(const std::string &dir)
{
    int d = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (d >= 0) {
        fsync(d);
        close(d);
    }
}

// Removes temporary names of base left by a writer that was killed between
// naming its file and renaming it. A live writer holds a lock on its file
// for as long as the name exists, so a file whose lock can be taken is
// stale.
void removeStaleTemps(const std::string &dir, const std::string &base)
{
    DIR *d = opendir(dir.c_str());
    if (!d)
        return;
    int dfd = dirfd(d);
    while (dirent *e = readdir(d)) {
        if (!IsTempNameOf(e->d_name, base))
            continue;
        int fd = openat(dfd, e->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat open, named;
        if (fstat(fd, &open) == 0 && S_ISREG(open.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            fstatat(dfd, e->d_name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_ino == open.st_ino &&
            named.st_dev == open.st_dev)
            unlinkat(dfd, e->d_name, 0);
        close(fd);
    }
    closedir(d);
}

bool folderDenied(int e) { return e == EACCES || e == EPERM; }

// The file in place: for a writable file in a folder the user may not write.
bool rewriteInPlace(const std::string &target, const std::string &bytes)
{
    int fd = open(target.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    auto fail = [fd] {
        int e = errno;
        close(fd);
        errno = e;
        return false;
    };
    // Reserve the space first, so a full disk is found before any byte of
    // the old contents is overwritten.
    if (!bytes.empty() && fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, off_t(bytes.size())) != 0 &&
        errno != EOPNOTSUPP && errno != ENOSYS)
        return fail();
    if (!writeAt(fd, bytes.data(), bytes.size(), 0) || ftruncate(fd, off_t(bytes.size())) != 0 || fsync(fd) != 0)
        return fail();
    return close(fd) == 0;
}

} // namespace

namespace {

struct HeldFolder {
    std::mutex mutex;
    bool held = false;
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
};

HeldFolder &held()
{
    static HeldFolder h;
    return h;
}

} // namespace

void HoldFolder(const std::string &folder, dev_t device, ino_t inode)
{
    HeldFolder &h = held();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.held = true;
    h.path = folder;
    h.device = device;
    h.inode = inode;
}

void ReleaseHeldFolder()
{
    HeldFolder &h = held();
    std::lock_guard<std::mutex> lock(h.mutex);
    h.held = false;
    h.path.clear();
}

std::string HeldFolderProblem(const std::string &path)
{
    HeldFolder &h = held();
    std::string folder;
    dev_t device;
    ino_t inode;
    {
        std::lock_guard<std::mutex> lock(h.mutex);
        if (!h.held)
            return std::string();
        folder = h.path;
        device = h.device;
        inode = h.inode;
    }
    // The program's own paths are the folder's path, '/', and a name.
    if (path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0 || path[folder.size()] != '/')
        return std::string();
    struct stat st;
    const bool there = stat(folder.empty() ? "/" : folder.c_str(), &st) == 0;
    if (there && st.st_dev == device && st.st_ino == inode)
        return std::string();
    return "\"" + path + "\" was not written: the program folder \"" + (folder.empty() ? "/" : folder) + "\" was " +
           (there ? "moved or replaced" : "moved or removed") + " while MIXDECK was running.";
}

void CheckHeldFolder(const std::string &path)
{
    const std::string problem = HeldFolderProblem(path);
    if (!problem.empty())
        throw EProgramFolderLost(problem);
}

bool IsTempNameOf(const std::string &name, const std::string &fileName)
{
    const std::string prefix = fileName + kTempInfix;
    if (name.size() != prefix.size() + kSuffixLength || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    for (size_t i = prefix.size(); i < name.size(); ++i) {
        const char c = name[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

void SetTempSuffixSourceForTest(std::function<std::string()> next)
{
    std::lock_guard<std::mutex> lock(knobMutex);
    suffixSource = std::move(next);
}

void SetUnnamedTempForTest(bool on) { unnamedTemp = on; }

bool WriteAll(int fd, const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        ssize_t n = write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        size -= size_t(n);
    }
    return true;
}

AtomicWriter::~AtomicWriter() { Abort(); }

void AtomicWriter::Abort()
{
    const int e = errno;
    if (!named_.empty())
        unlink(named_.c_str());
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    named_.clear();
    pending_.clear();
    open_ = inPlace_ = false;
    errno = e;
}

bool AtomicWriter::Open(const std::string &path, bool followLink)
{
    Abort();
    CheckHeldFolder(path);
    ignoreFileSizeSignal();

    // A followed symbolic link: the file it names is replaced and the link
    // stays. Not followed, the link itself gives way to the new file.
    target_ = path;
    char resolved[PATH_MAX];
    struct stat lst;
    if (followLink && lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && realpath(path.c_str(), resolved))
        target_ = resolved;

    struct stat st;
    exists_ = (followLink ? stat(target_.c_str(), &st) : lstat(target_.c_str(), &st)) == 0 && !S_ISLNK(st.st_mode);
    if (exists_) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        // A file the user may not write is refused, as the profile
        // functions refuse it.
        if (faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)
            return false;
        mode_ = st.st_mode & 07777;
        uid_ = st.st_uid;
        gid_ = st.st_gid;
    } else {
        mode_ = 0666 & ~currentUmask();
    }
    size_ = 0;

    std::string base;
    splitPath(target_, dir_, base);
    removeStaleTemps(dir_, base);
    const std::string prefix = target_ + kTempInfix;

    // The temporary file: unnamed where the file system offers it, else
    // created exclusively under a fresh name. In a folder the user may not
    // write, an existing file is rewritten in place at Commit.
    if (unnamedTemp) {
        fd_ = open(dir_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd_ < 0 && folderDenied(errno)) {
            if (!exists_)
                return false;
            open_ = inPlace_ = true;
            return true;
        }
        if (fd_ < 0 && errno != EISDIR && errno != EOPNOTSUPP && errno != EINVAL)
            return false;
    }
    if (fd_ < 0) {
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            std::string name = prefix + randomSuffix();
            fd_ = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd_ >= 0) {
                named_ = std::move(name);
            } else if (errno != EEXIST) {
                if (folderDenied(errno) && exists_) {
                    open_ = inPlace_ = true;
                    return true;
                }
                return false;
            }
        }
        if (fd_ < 0) {
            errno = EEXIST;
            return false;
        }
    }
    // Held until the rename: marks the temporary name as in use.
    flock(fd_, LOCK_EX);
    open_ = true;
    return true;
}

bool AtomicWriter::Write(const void *data, size_t size)
{
    if (!open_) {
        errno = EBADF;
        return false;
    }
    // Above the file-size limit the write is refused before the file is
    // touched.
    struct rlimit lim;
    if (getrlimit(RLIMIT_FSIZE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY && size_ + size > lim.rlim_cur) {
        Abort();
        errno = EFBIG;
        return false;
    }
    if (inPlace_) {
        pending_.append(static_cast<const char *>(data), size);
    } else if (!writeAt(fd_, static_cast<const char *>(data), size, off_t(size_))) {
        Abort();
        return false;
    }
    size_ += size;
    return true;
}

bool AtomicWriter::Commit()
{
    if (!open_) {
        errno = EBADF;
        return false;
    }
    if (inPlace_) {
        const bool ok = rewriteInPlace(target_, pending_);
        Abort();
        return ok;
    }
    auto fail = [this] {
        Abort();
        return false;
    };
    if (exists_ && (uid_ != geteuid() || gid_ != getegid()))
        (void)!fchown(fd_, uid_, gid_);  // best effort: only a privileged writer can
    if (fchmod(fd_, mode_) != 0 || fsync(fd_) != 0)
        return fail();

    if (named_.empty()) {
        // Give the complete file its name: link() never follows a link at
        // the new name, it fails with EEXIST and another name is tried.
        const std::string prefix = target_ + kTempInfix;
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        for (int attempt = 0; attempt < 100 && named_.empty(); ++attempt) {
            const std::string name = prefix + randomSuffix();
            int r = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
            if (r != 0 && errno == ENOENT)  // no /proc
                r = linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
            if (r == 0)
                named_ = name;
            else if (errno != EEXIST)
                return fail();
        }
        if (named_.empty()) {
            errno = EEXIST;
            return fail();
        }
    }
    if (rename(named_.c_str(), target_.c_str()) != 0)
        return fail();
    named_.clear();
    const int fd = fd_;
    fd_ = -1;
    open_ = false;
    if (close(fd) != 0)
        return false;
    syncFolder(dir_);
    return true;
}

bool AtomicWriteFile(const std::string &path, const std::string &bytes)
{
    AtomicWriter w;
    return w.Open(path) && w.Write(bytes.data(), bytes.size()) && w.Commit();
}

} // namespace fileio
