#pragma once
// SZDD-compressed files (the "compress" format: "SZDD", 88 F0 27 33, mode
// 'A', the replaced last character of the name, the expanded size).
#include <cstdint>
#include <string>

struct TLzInfo {
    int64_t Length = 0;          // expanded size from the header
    char MissingChar = 0;        // the stored last character, 0 when none
};

// Reads the header; false when the file cannot be read or is not SZDD.
bool LzInspect(const std::string &FileName, TLzInfo &Info);

// The name a packed file has after expansion: a final '_' of the file name
// is replaced by the stored character (in lower case when the name has no
// capital letters), or dropped when none is stored; otherwise the name
// stays. A stored character that could change the folder (a path separator,
// a control character) counts as none. Only the part after the last '/'
// changes.
std::string LzExpandedName(const std::string &FileName, char MissingChar);

// Expands Packed into Target, which is replaced only when the whole expansion
// succeeded and brought exactly the header's size; at most Budget bytes.
// A symbolic link at Target is replaced itself, never followed. Why (when
// given) gets the cause of a failure: a file that is not packed, a size
// announced over the budget, a header that announces another size than the
// file expands to (both named), damaged data, a target not writable.
bool LzExpand(const std::string &Packed, const std::string &Target, int64_t Budget, std::string *Why = nullptr);
