#pragma once
// Keeping names that come from the publisher (control file, addresses,
// cabinet members) inside the folder they are meant for.
#include <string>

namespace wupaths {

// The text with every '\' turned into '/'.
std::string Slashes(const std::string &path);

// A relative name made safe for use below a folder: '\' becomes '/', empty
// and "." parts are dropped. False (and nothing in clean) for an empty name,
// an absolute one, a drive-letter name ("C:..."), one with a ".." part or a
// NUL or control character.
bool CleanRelativeName(const std::string &name, std::string &clean);

// True when path, with every existing part resolved (symbolic links
// followed), lies in folder or below it. The parts of path that do not exist
// yet count as plain names. A folder that does not exist holds nothing.
bool IsInside(const std::string &folder, const std::string &path);

// path with "." and ".." parts folded and doubled '/' removed, purely as
// text; false when a ".." would climb above the start.
bool FoldPath(const std::string &path, std::string &folded);

} // namespace wupaths
