#pragma once
// Where the program keeps its files.
#include <string>

namespace AppPaths {

// The program's folder, absolute, without a trailing '/': the environment
// variable MIXDECK_HOME when it is set and not empty (tests, installed
// copies), otherwise the folder of the running executable. A relative
// MIXDECK_HOME (a literal "~/tapes" that no shell expanded is one) is taken
// against the current folder. The root folder gives "" so that
// ProgramFolder() + "/" + name is always right. Bytes as the file system has
// them, written as NormalPath writes them.
//
// Once FixProgramFolder has run, the folder it fixed, whatever the
// environment or the current folder say afterwards.
std::string ProgramFolder();

// Fixes the program folder for the rest of the process (start-up calls it
// first thing) and gives it.
std::string FixProgramFolder();

// The path absolute against the current folder, with repeated '/', "."
// parts and trailing '/' left out; ".." parts stay, as the file system
// resolves them through links. "" for the root folder and for an empty path.
std::string NormalPath(const std::string &path);

// The running executable's full path ("" when it cannot be found).
std::string ExecutablePath();

} // namespace AppPaths
