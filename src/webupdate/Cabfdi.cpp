#include "webupdate/Cabfdi.h"

#include "platform/FileIO.h"
#include "webupdate/MsPackSystem.h"
#include "webupdate/WuPaths.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The stored DOS date and time as seconds since 1970, read as UTC.
time_t DosTime(const mscabd_file *f)
{
    struct tm t = {};
    t.tm_year = f->date_y - 1900;
    t.tm_mon = f->date_m - 1;
    t.tm_mday = f->date_d;
    t.tm_hour = f->time_h;
    t.tm_min = f->time_m;
    t.tm_sec = f->time_s;
    return timegm(&t);
}

bool SetWriteTime(const std::string &path, time_t when)
{
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;   // access time unchanged
    times[1].tv_sec = when;
    times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

// Where one member goes: its stored name made safe, its file below the
// folder, and that file's folder (made when it is missing).
struct TPlacement {
    mscabd_file *File = nullptr;
    std::string Target;
    std::string Dir;
    std::string Staged;
};

// Whether path exists as anything (a link is not followed).
bool Exists(const std::string &path, struct stat &st) { return lstat(path.c_str(), &st) == 0; }

// Every member checked before anything is written: a plain relative name,
// a folder inside the folder that exists or is one level below an existing
// (or planned) one, nothing but a regular file in its place, and all sizes
// together within the budget.
bool Plan(mscabd_cabinet *cab, const std::string &root, int64_t budget, std::vector<TPlacement> &plan,
          std::string &why)
{
    std::set<std::string> newDirs;
    int64_t total = 0;
    for (mscabd_file *f = cab->files; f; f = f->next) {
        const std::string stored = f->filename ? f->filename : "";
        std::string name;
        if (!f->filename || !wupaths::CleanRelativeName(f->filename, name)) {
            why = "The cabinet names a file outside its folder: " + stored;
            return false;
        }
        TPlacement p;
        p.File = f;
        p.Target = root + "/" + name;
        p.Dir = p.Target.substr(0, p.Target.rfind('/'));
        if (!wupaths::IsInside(root, p.Dir)) {
            why = "The cabinet names a file outside its folder: " + stored;
            return false;
        }
        struct stat st;
        if (Exists(p.Dir, st)) {
            if (!CabFolderExists(p.Dir)) {
                why = "The cabinet's folder is not a folder: " + p.Dir;
                return false;
            }
        } else {
            const std::string parent = p.Dir.substr(0, p.Dir.rfind('/'));
            if (!CabFolderExists(parent) && newDirs.count(parent) == 0) {
                why = "The cabinet names a folder more than one level deep that does not exist: " + p.Dir;
                return false;
            }
            newDirs.insert(p.Dir);
        }
        // A link, a device, a pipe or a folder of the member's name is never
        // replaced or written through.
        if (Exists(p.Target, st) && !S_ISREG(st.st_mode)) {
            why = "The cabinet would replace something that is not a plain file: " + p.Target;
            return false;
        }
        // Refused from the sizes the headers announce, before a byte is
        // expanded.
        total += int64_t(f->length);
        if (total > budget) {
            why = "The cabinet's files are too large (more than " + std::to_string(budget) + " bytes in all): " + name;
            return false;
        }
        plan.push_back(std::move(p));
    }
    return true;
}

// One member into its staged file, with its stored time; why not, when not.
bool Stage(mscab_decompressor *d, TMsPackSystem &sys, TPlacement &p, std::string &why)
{
    fileio::AtomicWriter out;
    if (!out.Open(p.Staged, false)) {
        why = std::string("cannot write it: ") + std::strerror(errno);
        return false;
    }
    const int64_t announced = int64_t(p.File->length);
    sys.SetOutput(&out, announced);
    const bool extracted = d->extract(d, p.File, const_cast<char *>(p.Staged.c_str())) == MSPACK_ERR_OK;
    if (sys.OverBudget) {
        why = "its data hold more than the " + std::to_string(announced) + " bytes the cabinet announces for it";
        return false;
    }
    if (!extracted) {
        why = "its data are damaged";
        return false;
    }
    if (sys.Budget != 0) {
        why = "its data hold " + std::to_string(announced - sys.Budget) + " bytes, the cabinet announces " +
              std::to_string(announced);
        return false;
    }
    if (!out.Commit()) {
        why = std::string("cannot write it: ") + std::strerror(errno);
        return false;
    }
    SetWriteTime(p.Staged, DosTime(p.File));
    return true;
}

// Every member extracted into a staging folder inside the folder, then moved
// into place once all of them are whole.
int ExtractAll(mscab_decompressor *d, TMsPackSystem &sys, mscabd_cabinet *cab, const std::string &root,
               int64_t budget, std::string &why)
{
    std::vector<TPlacement> plan;
    if (!Plan(cab, root, budget, plan, why))
        return -1;
    std::string stage = root + "/.cabinet-XXXXXX";
    fileio::CheckHeldFolder(stage);
    if (!mkdtemp(stage.data())) {
        why = "Cannot make a folder in " + root + ": " + std::strerror(errno);
        return -1;
    }
    bool ok = true;
    for (size_t i = 0; ok && i < plan.size(); ++i) {
        plan[i].Staged = stage + "/" + std::to_string(i);
        std::string reason;
        ok = Stage(d, sys, plan[i], reason);
        if (!ok)
            why = "The cabinet's member " + std::string(plan[i].File->filename) + " could not be extracted: " + reason;
    }
    for (size_t i = 0; ok && i < plan.size(); ++i) {
        const TPlacement &p = plan[i];
        struct stat st;
        std::string reason;
        if (!CabFolderExists(p.Dir) && mkdir(p.Dir.c_str(), 0777) != 0)
            reason = "cannot make its folder " + p.Dir + ": " + std::strerror(errno);
        else if (!wupaths::IsInside(root, p.Dir) || (Exists(p.Target, st) && !S_ISREG(st.st_mode)))
            reason = "its place " + p.Target + " is no longer a plain file inside the folder";
        else if (rename(p.Staged.c_str(), p.Target.c_str()) != 0)
            reason = "cannot put it at " + p.Target + ": " + std::strerror(errno);
        ok = reason.empty();
        if (!ok)
            why = "The cabinet's member " + std::string(p.File->filename) + " could not be put in place: " + reason;
    }
    std::error_code ec;
    std::filesystem::remove_all(stage, ec);
    return ok ? 0 : -1;
}

} // namespace

bool CabFolderExists(const std::string &Path)
{
    struct stat st;
    return !Path.empty() && stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int CabExtract(const std::string &Cabinet, const std::string &Folder, int64_t Budget, std::string *Why)
{
    std::string why;
    const int result = [&] {
        const int probe = open(Cabinet.c_str(), O_RDONLY | O_CLOEXEC);
        if (probe < 0) {
            why = "Cannot read the cabinet: " + std::string(std::strerror(errno));
            return -1;
        }
        close(probe);
        std::string root = Folder.empty() ? "." : wupaths::Slashes(Folder);
        while (root.size() > 1 && root.back() == '/')
            root.pop_back();
        if (!CabFolderExists(root)) {
            why = "The cabinet's folder does not exist: " + root;
            return -1;
        }
        TMsPackSystem sys;
        mscab_decompressor *d = mspack_create_cab_decompressor(sys.System());
        if (!d) {
            why = "Out of memory";
            return -1;
        }
        int extracted = -1;
        mscabd_cabinet *cab = d->open(d, const_cast<char *>(Cabinet.c_str()));
        if (cab) {
            extracted = ExtractAll(d, sys, cab, root, Budget, why);
            d->close(d, cab);
        } else {
            why = "The file is not a cabinet or is damaged";
        }
        mspack_destroy_cab_decompressor(d);
        return extracted;
    }();
    if (Why)
        *Why = result == 0 ? std::string() : why;
    return result;
}
