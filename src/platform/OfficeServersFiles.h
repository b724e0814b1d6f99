#pragma once
// Where the office servers build their files: a private scratch folder in
// the system's temporary folder (the file libraries want a path of their
// own to write to), and the copy of the finished file into its place
// through the shared atomic writer, a block at a time.
#include "platform/FileIO.h"

#include <cstdint>
#include <string>

namespace officefiles {

// A fresh folder of mode 0700 under $TMPDIR (else /tmp), removed with
// everything in it when the object goes.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    // False when the folder could not be made; Error() then says why.
    bool Ok() const { return !path_.empty(); }
    const std::string &Path() const { return path_; }
    const std::string &Error() const { return error_; }

private:
    std::string path_, error_;
};

// Copies the file from into the opened writer and commits it; false with
// the system's reason in err (the writer then left uncommitted).
bool CopyInto(const std::string &from, fileio::AtomicWriter &to, std::string &err);

// The system's text of the current errno.
std::string SystemReason();

// A count as the messages write it, in groups of three digits: 1,048,576.
std::string Grouped(int64_t n);

} // namespace officefiles
