#pragma once
// Where the office servers build their files: a private scratch folder in
// the system's temporary folder (the file libraries want a path of their
// own to write to), and the copy of the finished file into its place
// through the shared atomic writer, a block at a time.
#include "platform/FileIO.h"

#include <cstdint>
#include <memory>
#include <string>

namespace officefiles {

// The scratch folders' names begin so.
inline constexpr const char *ScratchPrefix = "mixdeck-office-";

// A fresh folder of mode 0700 under $TMPDIR (else /tmp) that names this
// process as its owner, removed with everything in it when the object goes.
// Making one first removes the scratch folders of exports that were killed.
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

// Where a file goes: the target opened through the atomic writer first, so
// that a file that cannot be written is known before any work is done, and
// a scratch folder for the library to build the file in; Commit copies the
// built file into place. Without a successful Commit the old file stays.
class Destination {
public:
    // False with the reason: the system's for the target, or what failed
    // with the scratch folder.
    bool Open(const std::string &path, std::string &err);
    // A path in the scratch folder (after a successful Open).
    std::string ScratchFile(const std::string &name) const { return folder_->Path() + "/" + name; }
    const std::string &ScratchPath() const { return folder_->Path(); }
    // Copies the built file into place; false with the system's reason.
    bool Commit(const std::string &built, std::string &err);

private:
    fileio::AtomicWriter out_;
    std::unique_ptr<ScratchFolder> folder_;
};

// The system's text of the current errno.
std::string SystemReason();

// A count as the messages write it, in groups of three digits: 1,048,576.
std::string Grouped(int64_t n);

} // namespace officefiles
