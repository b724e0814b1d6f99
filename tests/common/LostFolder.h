#pragma once
// The ways a program folder is lost under a running copy: what a user, a
// restore or a sync tool does to it while the program holds it.
#include <filesystem>
#include <string>

namespace testutil {

enum class Lost {
    Moved,             // renamed away
    Removed,           // deleted with all it held
    ReplacedByCopy,    // renamed away, a copy of it put in its place
    ReplacedByEmpty,   // renamed away, an empty folder put in its place
    LinkRepointed,     // the link that names it points to a copy of it now
};

// Loses the folder `real`; `named` is the path the program was given (the
// link for LinkRepointed, else `real`). What is put aside keeps its bytes:
// real + ".moved" or real + ".old", and `copy` is where the copy goes that
// the link points to.
inline void LoseFolder(Lost how, const std::string &real, const std::string &named, const std::string &copy)
{
    namespace fs = std::filesystem;
    switch (how) {
    case Lost::Moved: fs::rename(real, real + ".moved"); break;
    case Lost::Removed: fs::remove_all(real); break;
    case Lost::ReplacedByCopy:
        fs::rename(real, real + ".old");
        fs::copy(real + ".old", real, fs::copy_options::recursive);
        break;
    case Lost::ReplacedByEmpty:
        fs::rename(real, real + ".old");
        fs::create_directory(real);
        break;
    case Lost::LinkRepointed:
        fs::copy(real, copy, fs::copy_options::recursive);
        fs::remove(named);
        fs::create_directory_symlink(copy, named);
        break;
    }
}

} // namespace testutil
