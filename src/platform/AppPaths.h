#pragma once
// Where the program keeps its files.
#include <string>

namespace AppPaths {

// The program's folder, without a trailing '/': the environment variable
// MIXDECK_HOME when it is set and not empty (tests, installed copies),
// otherwise the folder of the running executable. The root folder gives ""
// so that ProgramFolder() + "/" + name is always right. Bytes as the file
// system has them.
std::string ProgramFolder();

// The running executable's full path ("" when it cannot be found).
std::string ExecutablePath();

} // namespace AppPaths
