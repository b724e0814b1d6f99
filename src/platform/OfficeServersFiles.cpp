#include "platform/OfficeServersFiles.h"

#include "platform/OwnedTemp.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace officefiles {

std::string SystemReason() { return std::strerror(errno); }

std::string Grouped(int64_t n)
{
    const std::string digits = std::to_string(n < 0 ? -n : n);
    std::string out = n < 0 ? "-" : "";
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

ScratchFolder::ScratchFolder() : path_(ownedtemp::Make(ScratchPrefix))
{
    if (path_.empty())
        error_ = "cannot make a temporary folder in " + ownedtemp::Base() + ": " + SystemReason();
}

ScratchFolder::~ScratchFolder()
{
    if (!path_.empty())
        ownedtemp::RemoveIfOwnedBy(ScratchPrefix, path_, getpid());
}

bool Destination::Open(const std::string &path, std::string &err)
{
    if (!out_.Open(path)) {
        err = SystemReason();
        return false;
    }
    folder_ = std::make_unique<ScratchFolder>();
    if (!folder_->Ok()) {
        err = folder_->Error();
        out_.Abort();
        return false;
    }
    return true;
}

bool Destination::Commit(const std::string &built, std::string &err)
{
    const int fd = open(built.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        err = "cannot read the temporary copy " + built + ": " + SystemReason();
        return false;
    }
    std::vector<char> buf(size_t(1) << 20);
    bool ok = true;
    while (true) {
        const ssize_t n = read(fd, buf.data(), buf.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            err = "cannot read the temporary copy " + built + ": " + SystemReason();
            ok = false;
            break;
        }
        if (n == 0)
            break;
        if (!out_.Write(buf.data(), size_t(n))) {
            err = SystemReason();
            ok = false;
            break;
        }
    }
    close(fd);
    if (ok && !out_.Commit()) {
        err = SystemReason();
        ok = false;
    }
    return ok;
}

} // namespace officefiles
