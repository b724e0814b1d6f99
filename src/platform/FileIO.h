#pragma once
// Whole-file reading and atomic writing.
#include <cstddef>
#include <string>
#include <sys/types.h>

namespace fileio {
// Reads the whole file; false when it cannot be opened or read.
bool ReadFile(const std::string &path, std::string &bytes);
// Writes bytes to a temporary file in the same folder, flushes it to disk and
// renames it over path, so the old file stays whole until the new one is
// complete. The new file keeps the old one's permissions (0644 when new).
// Returns false (errno set) and leaves any old file untouched on failure.
bool AtomicWriteFile(const std::string &path, const std::string &bytes);

// Writes all bytes to the descriptor, going on after interruptions and
// partial writes; false (errno set) on a failed write.
bool WriteAll(int fd, const void *data, size_t size);

// The same as AtomicWriteFile, in pieces: Open makes the exclusively created temporary file in
// the target's folder, Write appends to it, Commit flushes it and renames it
// over the target. Without a successful Commit (Abort, or the object going
// away) the temporary file is removed and the old file stays as it was.
// Every call returns false with errno set on failure.
class AtomicWriter {
public:
    AtomicWriter() = default;
    ~AtomicWriter();
    AtomicWriter(const AtomicWriter &) = delete;
    AtomicWriter &operator=(const AtomicWriter &) = delete;
    // followLink: a symbolic link at path is followed and the file it names
    // is replaced; otherwise the link itself is replaced by the new file.
    bool Open(const std::string &path, bool followLink = true);
    bool Write(const void *data, size_t size);
    bool Commit();
    void Abort();
    bool IsOpen() const { return fd_ >= 0; }
private:
    int fd_ = -1;
    mode_t mode_ = 0644;
    std::string target_;
    std::string temp_;
};
}
