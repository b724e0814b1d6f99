#pragma once
// Whole-file reading and atomic writing.
#include <string>

namespace fileio {
// Reads the whole file; false when it cannot be opened or read.
bool ReadFile(const std::string &path, std::string &bytes);
// Writes bytes to a temporary file in the same folder, flushes it to disk and
// renames it over path, so the old file stays whole until the new one is
// complete. The new file keeps the old one's permissions (0644 when new).
// Returns false (errno set) and leaves any old file untouched on failure.
bool AtomicWriteFile(const std::string &path, const std::string &bytes);
}
