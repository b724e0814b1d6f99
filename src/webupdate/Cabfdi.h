#pragma once
// Extraction of cabinet archives.
#include <cstdint>
#include <string>

// Extracts every file of the cabinet into Folder (the current folder when
// Folder is empty), each at its stored path: a stored folder part one level
// deep is created when missing, deeper missing folders are not. Each file
// replaces one of the same name only once it is whole, and gets the stored
// DOS date and time as its last-write time (taken as they are, without a
// time-zone conversion). A stored name that is absolute, climbs out with
// "..", or would land outside Folder through a symbolic link is refused.
// At most Budget bytes are written in all.
// Returns 0 when every file was extracted, -1 on any failure (files
// extracted before it stay).
int CabExtract(const std::string &Cabinet, const std::string &Folder, int64_t Budget = int64_t(1) << 31);

// True when the path names an existing folder.
bool CabFolderExists(const std::string &Path);
