#pragma once
// Extraction of cabinet archives.
#include <cstdint>
#include <string>

// Extracts every file of the cabinet into Folder (the current folder when
// Folder is empty), each at its stored path: a stored folder part one level
// deep is created when missing, deeper missing folders are not. Every member
// is checked before anything is written: a stored name that is absolute,
// climbs out with "..", or would land outside Folder through a symbolic
// link, a member whose place holds anything but a regular file (a link, a
// device, a pipe, a folder), or members larger than Budget bytes in all
// refuse the whole cabinet. The members are extracted into a staging folder
// inside Folder and moved into place only when all of them are whole; each
// gets the stored DOS date and time as its last-write time (taken as they
// are, without a time-zone conversion).
// Returns 0 when every file was extracted, -1 on any failure; a refused or
// damaged cabinet writes nothing. Why (when given) gets the cause of a
// failure.
int CabExtract(const std::string &Cabinet, const std::string &Folder, int64_t Budget = int64_t(1) << 31,
               std::string *Why = nullptr);

// True when the path names an existing folder.
bool CabFolderExists(const std::string &Path);
