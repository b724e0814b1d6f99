#pragma once
// Whole-file reading and the one writer that every file rewrite goes through.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>

namespace fileio {
// Reads the whole file; false when it cannot be opened or read, and false
// with errno EFBIG when it holds more than maxBytes (nothing is read then).
bool ReadFile(const std::string &path, std::string &bytes, size_t maxBytes = SIZE_MAX);

// Replaces the file's contents by bytes; false (errno set) on failure.
//
// - Where the folder allows it, the new contents go to a temporary file in
//   the same folder that no other name reaches while it is written (an
//   unnamed O_TMPFILE, or one created exclusively under an unpredictable
//   name, never through a symbolic link). It is flushed to disk, renamed
//   over the old file and the folder is synced: the file is always either
//   the old or the new one, whole. A writer killed mid-way leaves nothing
//   behind (a name left by a kill in the instant between naming and
//   renaming is removed by the next write of the file).
// - A file the user may not write is refused (EACCES/EROFS) and untouched.
// - A writable file in a folder the user may not write is rewritten in
//   place (space reserved first, written, truncated, flushed).
// - Contents above the file-size limit are refused with EFBIG before the
//   file is touched (SIGXFSZ is ignored, so a limit never kills the process).
// A symbolic link at path is followed: the file it names is replaced and
// the link stays. The new file keeps the old one's permissions (new files
// get 0666 less the umask).
//
// A path in the held program folder (below) is checked first: when the
// folder no longer stands at its path, nothing is written and
// EProgramFolderLost is thrown.
bool AtomicWriteFile(const std::string &path, const std::string &bytes);

// The program folder this process holds (start-up names it once it has
// locked it), by its path and its identity. From then on nothing is written
// below that path unless the path still names that very folder: a folder
// moved, removed or replaced while the program runs gets no write, so a copy
// that took the new folder at the old path never sees this one's saves.
void HoldFolder(const std::string &folder, dev_t device, ino_t inode);
void ReleaseHeldFolder();
// The message for a write at path that must not happen ("" when it may):
// names the path and the folder and says what became of the folder.
std::string HeldFolderProblem(const std::string &path);
// Throws EProgramFolderLost with that message when there is one. Every
// writer of files and folders below the program folder calls it first.
void CheckHeldFolder(const std::string &path);

// Whether name is one of the temporary names AtomicWriteFile uses for
// fileName (both bare file names).
bool IsTempNameOf(const std::string &name, const std::string &fileName);

// Test knobs: the next temporary name suffixes come from next (nullptr:
// random again); unnamed temporary files can be switched off so the named
// way is taken.
void SetTempSuffixSourceForTest(std::function<std::string()> next);
void SetUnnamedTempForTest(bool on);

// Writes all bytes to the descriptor, going on after interruptions and
// partial writes; false (errno set) on a failed write.
bool WriteAll(int fd, const void *data, size_t size);

// AtomicWriteFile in pieces, for contents that arrive a block at a time:
// Open checks the target and makes the temporary file as AtomicWriteFile
// does, Write appends to it, Commit flushes it and puts it in place. Without
// a successful Commit (Abort, or the object going away) nothing is left
// behind and the old file stays as it was. Every call returns false with
// errno set on failure.
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
    bool IsOpen() const { return open_; }

private:
    bool open_ = false;
    bool inPlace_ = false;   // folder not writable: the file is rewritten at Commit
    int fd_ = -1;
    mode_t mode_ = 0644;
    bool exists_ = false;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    uint64_t size_ = 0;
    std::string target_, dir_, named_;
    std::string pending_;    // the contents of an in-place rewrite
};
}
