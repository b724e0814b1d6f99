#include "platform/FileIO.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fileio {

bool ReadFile(const std::string &path, std::string &bytes)
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
        data.append(buf, size_t(n));
    }
    close(fd);
    bytes.swap(data);
    return true;
}

bool AtomicWriteFile(const std::string &path, const std::string &bytes)
{
    AtomicWriter w;
    return w.Open(path) && w.Write(bytes.data(), bytes.size()) && w.Commit();
}

AtomicWriter::~AtomicWriter() { Abort(); }

bool AtomicWriter::Open(const std::string &path, bool followLink)
{
    Abort();
    // A followed symbolic link: the file it names is replaced and the link
    // stays.
    target_ = path;
    char resolved[PATH_MAX];
    struct stat lst;
    if (followLink && lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && realpath(path.c_str(), resolved))
        target_ = resolved;

    mode_ = 0644;
    struct stat st;
    const bool exists = followLink ? stat(target_.c_str(), &st) == 0 : lstat(target_.c_str(), &st) == 0;
    if (exists && !S_ISLNK(st.st_mode)) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        mode_ = st.st_mode & 07777;
        // The profile functions cannot write a read-only file either.
        if (access(target_.c_str(), W_OK) != 0)
            return false;
    }

    temp_ = target_ + ".tmpXXXXXX";
    fd_ = mkostemp(temp_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        temp_.clear();
        return false;
    }
    return true;
}

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

bool AtomicWriter::Write(const void *data, size_t size)
{
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    return WriteAll(fd_, data, size);
}

bool AtomicWriter::Commit()
{
    if (fd_ < 0) {
        errno = EBADF;
        return false;
    }
    auto fail = [this] {
        const int e = errno;
        Abort();
        errno = e;
        return false;
    };
    if (fchmod(fd_, mode_) != 0 || fsync(fd_) != 0)
        return fail();
    const int fd = fd_;
    fd_ = -1;
    if (close(fd) != 0 || rename(temp_.c_str(), target_.c_str()) != 0)
        return fail();
    temp_.clear();
    return true;
}

void AtomicWriter::Abort()
{
    const int e = errno;
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        unlink(temp_.c_str());
    temp_.clear();
    errno = e;
}

} // namespace fileio
