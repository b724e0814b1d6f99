#include "platform/FileIO.h"

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

bool writeAll(int fd, const std::string &bytes, off_t at)
{
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = pwrite(fd, bytes.data() + off, bytes.size() - off, at + off_t(off));
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
    if (!writeAll(fd, bytes, 0) || ftruncate(fd, off_t(bytes.size())) != 0 || fsync(fd) != 0)
        return fail();
    return close(fd) == 0;
}

} // namespace

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

bool AtomicWriteFile(const std::string &path, const std::string &bytes)
{
    ignoreFileSizeSignal();

    // A symbolic link is followed, so the file it names is replaced and the
    // link stays.
    std::string target = path;
    char resolved[PATH_MAX];
    struct stat lst;
    if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && realpath(path.c_str(), resolved))
        target = resolved;

    struct stat st;
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        // A file the user may not write is refused, as the profile
        // functions refuse it.
        if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
            return false;
    }
    struct rlimit lim;
    if (getrlimit(RLIMIT_FSIZE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY && bytes.size() > lim.rlim_cur) {
        errno = EFBIG;
        return false;
    }

    std::string dir, base;
    splitPath(target, dir, base);
    removeStaleTemps(dir, base);
    const std::string prefix = target + kTempInfix;

    // The temporary file: unnamed where the file system offers it, else
    // created exclusively under a fresh name.
    int fd = -1;
    std::string named;  // the temporary name once the file has one
    if (unnamedTemp) {
        fd = open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (fd < 0 && folderDenied(errno))
            return exists ? rewriteInPlace(target, bytes) : false;
        if (fd < 0 && errno != EISDIR && errno != EOPNOTSUPP && errno != EINVAL)
            return false;
    }
    if (fd < 0) {
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            named = prefix + randomSuffix();
            fd = open(named.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd < 0 && errno != EEXIST) {
                if (folderDenied(errno))
                    return exists ? rewriteInPlace(target, bytes) : false;
                return false;
            }
        }
        if (fd < 0)
            return false;
    }
    // Held until the rename: marks the temporary name as in use.
    flock(fd, LOCK_EX);
    auto fail = [&](int e) {
        if (!named.empty())
            unlink(named.c_str());
        close(fd);
        errno = e;
        return false;
    };

    mode_t mode = exists ? st.st_mode & 07777 : 0666 & ~currentUmask();
    if (exists && (st.st_uid != geteuid() || st.st_gid != getegid()))
        (void)!fchown(fd, st.st_uid, st.st_gid);  // best effort: only a privileged writer can
    if (!writeAll(fd, bytes, 0) || fchmod(fd, mode) != 0 || fsync(fd) != 0)
        return fail(errno);

    if (named.empty()) {
        // Give the complete file its name: link() never follows a link at
        // the new name, it fails with EEXIST and another name is tried.
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        for (int attempt = 0; attempt < 100 && named.empty(); ++attempt) {
            const std::string name = prefix + randomSuffix();
            int r = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
            if (r != 0 && errno == ENOENT)  // no /proc
                r = linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
            if (r == 0) {
                named = name;
            } else if (errno != EEXIST) {
                return fail(errno);
            }
        }
        if (named.empty())
            return fail(EEXIST);
    }
    if (rename(named.c_str(), target.c_str()) != 0)
        return fail(errno);
    named.clear();
    if (close(fd) != 0)
        return false;
    syncFolder(dir);
    return true;
}

} // namespace fileio
