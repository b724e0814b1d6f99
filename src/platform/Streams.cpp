#include "platform/Streams.h"

#include <algorithm>
#include <cstring>

int64_t TStream::Size()
{
    const int64_t pos = Seek(0, soCurrent);
    const int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::ReadBuffer(void *buffer, int64_t count)
{
    if (count > 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void *buffer, int64_t count)
{
    if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TMemoryStream::Read(void *buffer, int64_t count)
{
    const int64_t size = int64_t(data_.size());
    if (count <= 0 || pos_ >= size) return 0;
    const int64_t n = std::min(count, size - pos_);
    std::memcpy(buffer, data_.data() + pos_, size_t(n));
    pos_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void *buffer, int64_t count)
{
    if (count <= 0) return 0;
    if (pos_ > int64_t(data_.size())) data_.resize(size_t(pos_), '\0');
    const auto *b = static_cast<const char *>(buffer);
    const size_t at = size_t(pos_);
    const size_t overlap = std::min(size_t(count), data_.size() - at);
    data_.replace(at, overlap, b, size_t(count));
    pos_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? pos_ : int64_t(data_.size());
    pos_ = std::max<int64_t>(0, base + offset);
    return pos_;
}
