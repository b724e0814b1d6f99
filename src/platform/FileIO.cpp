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
    // A symbolic link is followed, so the file it names is replaced and the
    // link stays.
    std::string target = path;
    char resolved[PATH_MAX];
    struct stat lst;
    if (lstat(path.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode) && realpath(path.c_str(), resolved))
        target = resolved;

    mode_t mode = 0644;
    struct stat st;
    bool exists = stat(target.c_str(), &st) == 0;
    if (exists) {
        if (S_ISDIR(st.st_mode)) {
            errno = EISDIR;
            return false;
        }
        mode = st.st_mode & 07777;
        // The profile functions cannot write a read-only file either.
        if (access(target.c_str(), W_OK) != 0)
            return false;
    }

    std::string tmpl = target + ".tmpXXXXXX";
    int fd = mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    auto fail = [&](int e) {
        close(fd);
        unlink(tmpl.c_str());
        errno = e;
        return false;
    };
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + off, bytes.size() - off);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        off += size_t(n);
    }
    if (fchmod(fd, mode) != 0 || fsync(fd) != 0)
        return fail(errno);
    if (close(fd) != 0) {
        int e = errno;
        unlink(tmpl.c_str());
        errno = e;
        return false;
    }
    if (rename(tmpl.c_str(), target.c_str()) != 0) {
        int e = errno;
        unlink(tmpl.c_str());
        errno = e;
        return false;
    }
    return true;
}

} // namespace fileio
