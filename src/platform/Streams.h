#pragma once
// Byte streams of the class library: an abstract stream with a position,
// and a stream over memory.
#include "platform/SysUtils.h"

#include <cstdint>
#include <string>

MIXDECK_EXCEPTION(EStreamError, Exception);
MIXDECK_EXCEPTION(EReadError, EStreamError);
MIXDECK_EXCEPTION(EWriteError, EStreamError);

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
    virtual ~TStream() = default;
    // Up to count bytes; the number read or written.
    virtual int64_t Read(void *buffer, int64_t count) = 0;
    virtual int64_t Write(const void *buffer, int64_t count) = 0;
    // New position (clamped at 0).
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

    int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(int64_t p) { Seek(p, soBeginning); }
    int64_t Size();
    // Exactly count bytes or EReadError "Stream read error" / EWriteError
    // "Stream write error".
    void ReadBuffer(void *buffer, int64_t count);
    void WriteBuffer(const void *buffer, int64_t count);
    void WriteString(const std::string &s) { WriteBuffer(s.data(), int64_t(s.size())); }
};

class TMemoryStream : public TStream {
public:
    int64_t Read(void *buffer, int64_t count) override;
    int64_t Write(const void *buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    const std::string &Bytes() const { return data_; }
    void SetBytes(std::string bytes)
    {
        data_ = std::move(bytes);
        pos_ = 0;
    }
    void Clear() { SetBytes(std::string()); }

private:
    std::string data_;
    int64_t pos_ = 0;
};
