#pragma once
// Whole-file reading and the one writer that every file rewrite goes through.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

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
bool AtomicWriteFile(const std::string &path, const std::string &bytes);

// Whether name is one of the temporary names AtomicWriteFile uses for
// fileName (both bare file names).
bool IsTempNameOf(const std::string &name, const std::string &fileName);

// Test knobs: the next temporary name suffixes come from next (nullptr:
// random again); unnamed temporary files can be switched off so the named
// way is taken.
void SetTempSuffixSourceForTest(std::function<std::string()> next);
void SetUnnamedTempForTest(bool on);
}
