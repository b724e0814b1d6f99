#pragma once
// What the updater could not do, handed to the application it starts again:
// a small text file, one line per component that was refused or not put in
// place, and a line when the application could not be started again (the
// next start shows it then). The updater writes it; the application reads
// it once at its start, shows it and removes it. Shared by both programs (no
// Qt here).
#include <cstddef>
#include <string>
#include <vector>

namespace wuresult {

// The environment variable through which the application names the file.
inline constexpr const char *ResultVariable = "WUPDATE_RESULT";
// The most the reader takes; a longer file is cut at a line's end and says so.
inline constexpr size_t MaxBytes = 64 * 1024;

// The lines the updater writes.
std::string Refused(const std::string &name);
std::string Missing(const std::string &newFile);
std::string NotReplaced(const std::string &installed, const std::string &newFile, const std::string &why);
std::string NotApplied(const std::string &component, const std::string &why);
std::string Kept(const std::string &newFile);
std::string NotStarted(const std::string &program, const std::string &why);

// Writes the lines, each ended by '\n' (a line break inside a line becomes a
// blank). False when the file cannot be written.
bool Write(const std::string &file, const std::vector<std::string> &lines);

// The lines of a result text: empty lines dropped, control characters turned
// into blanks; at most MaxBytes are looked at, and a text cut there ends with
// a line that says so.
std::vector<std::string> Parse(const std::string &text);

// Reads and removes the file; false (and no lines) when there is none.
bool Take(const std::string &file, std::vector<std::string> &lines);

} // namespace wuresult
