#pragma once
// Byte streams for the connection's stream transfers: an abstract stream with
// position and size, a memory stream and a file stream.
#include <cstdint>
#include <string>

class TNetStream {
public:
    virtual ~TNetStream() = default;
    // Read and Write return the bytes moved.
    virtual int64_t Read(void *buffer, int64_t count) = 0;
    virtual int64_t Write(const void *buffer, int64_t count) = 0;
    virtual int64_t Size() const = 0;
    virtual void SetSize(int64_t size) = 0;
    int64_t Position() const { return position_; }
    void SetPosition(int64_t p) { position_ = p < 0 ? 0 : p; }

protected:
    int64_t position_ = 0;
};

class TNetMemoryStream : public TNetStream {
public:
    int64_t Read(void *buffer, int64_t count) override;
    int64_t Write(const void *buffer, int64_t count) override;
    int64_t Size() const override { return int64_t(data_.size()); }
    void SetSize(int64_t size) override;
    void Clear() { data_.clear(); position_ = 0; }
    char *Memory() { return data_.data(); }
    const std::string &DataString() const { return data_; }

protected:
    std::string data_;
};

// fmOpenRead: reading, every kind of sharing; fmCreate: a new or emptied file.
class TNetFileStream : public TNetStream {
public:
    enum Mode { fmOpenRead, fmCreate };
    // Raises EFOpenError / EFCreateError when the file cannot be opened.
    TNetFileStream(const std::string &fileName, Mode mode);
    ~TNetFileStream() override;
    TNetFileStream(const TNetFileStream &) = delete;
    TNetFileStream &operator=(const TNetFileStream &) = delete;
    int64_t Read(void *buffer, int64_t count) override;
    int64_t Write(const void *buffer, int64_t count) override;
    int64_t Size() const override;
    void SetSize(int64_t size) override;

private:
    int fd_ = -1;
};
