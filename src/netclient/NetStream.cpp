#include "netclient/NetStream.h"

#include "platform/SysUtils.h"

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int64_t TNetMemoryStream::Read(void *buffer, int64_t count)
{
    int64_t n = std::max<int64_t>(0, std::min<int64_t>(count, Size() - position_));
    if (n > 0)
        std::memcpy(buffer, data_.data() + position_, size_t(n));
    position_ += n;
    return n;
}

int64_t TNetMemoryStream::Write(const void *buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    if (position_ + count > Size())
        data_.resize(size_t(position_ + count));
    std::memcpy(data_.data() + position_, buffer, size_t(count));
    position_ += count;
    return count;
}

void TNetMemoryStream::SetSize(int64_t size)
{
    data_.resize(size_t(std::max<int64_t>(0, size)));
    if (position_ > size)
        position_ = size;
}

TNetFileStream::TNetFileStream(const std::string &fileName, Mode mode)
{
    if (mode == fmOpenRead) {
        fd_ = open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            throw EFOpenError("Cannot open file " + fileName);
    } else {
        fd_ = open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0)
            throw EFCreateError("Cannot create file " + fileName);
    }
}

TNetFileStream::~TNetFileStream()
{
    if (fd_ >= 0)
        close(fd_);
}

int64_t TNetFileStream::Read(void *buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    ssize_t r = pread(fd_, buffer, size_t(count), off_t(position_));
    if (r <= 0)
        return 0;
    position_ += r;
    return r;
}

int64_t TNetFileStream::Write(const void *buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    ssize_t r = pwrite(fd_, buffer, size_t(count), off_t(position_));
    if (r <= 0)
        return 0;
    position_ += r;
    return r;
}

int64_t TNetFileStream::Size() const
{
    struct stat st {};
    return fstat(fd_, &st) == 0 ? int64_t(st.st_size) : 0;
}

void TNetFileStream::SetSize(int64_t size)
{
    if (ftruncate(fd_, off_t(std::max<int64_t>(0, size))) == 0 && position_ > size)
        position_ = size;
}
