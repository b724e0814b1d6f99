#include "webupdate/Cabfdi.h"

#include "webupdate/MsPackSystem.h"
#include "webupdate/WuPaths.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

// One member: its place below the folder, the folder made when missing (one
// level), the bytes through an atomic writer, then the stored time.
bool ExtractOne(mscab_decompressor *d, TMsPackSystem &sys, mscabd_file *f, const std::string &root,
                int64_t &budget)
{
    std::string name;
    if (!f->filename || !wupaths::CleanRelativeName(f->filename, name))
        return false;
    const std::string target = root + "/" + name;
    const size_t slash = target.rfind('/');
    const std::string dir = target.substr(0, slash);
    if (!wupaths::IsInside(root, dir))
        return false;
    if (!CabFolderExists(dir) && mkdir(dir.c_str(), 0777) != 0)
        return false;
    // Resolved again now that the folder exists. The file itself is never
    // followed: a link of its name is replaced, not written through.
    if (!wupaths::IsInside(root, dir))
        return false;
    if (int64_t(f->length) > budget)
        return false;
    fileio::AtomicWriter out;
    if (!out.Open(target, false))
        return false;
    sys.SetOutput(&out, int64_t(f->length));
    if (d->extract(d, f, const_cast<char *>(target.c_str())) != MSPACK_ERR_OK || sys.Budget != 0)
        return false;
    if (!out.Commit())
        return false;
    budget -= int64_t(f->length);
    SetWriteTime(target, DosTime(f));
    return true;
}

} // namespace

bool CabFolderExists(const std::string &Path)
{
    struct stat st;
    return !Path.empty() && stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int CabExtract(const std::string &Cabinet, const std::string &Folder, int64_t Budget)
{
    const int probe = open(Cabinet.c_str(), O_RDONLY | O_CLOEXEC);
    if (probe < 0)
        return -1;
    close(probe);
    std::string root = Folder.empty() ? "." : wupaths::Slashes(Folder);
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    if (!CabFolderExists(root))
        return -1;

    TMsPackSystem sys;
    mscab_decompressor *d = mspack_create_cab_decompressor(sys.System());
    if (!d)
        return -1;
    int result = -1;
    mscabd_cabinet *cab = d->open(d, const_cast<char *>(Cabinet.c_str()));
    if (cab) {
        result = 0;
        int64_t budget = Budget;
        for (mscabd_file *f = cab->files; f; f = f->next) {
            if (!ExtractOne(d, sys, f, root, budget)) {
                result = -1;
                break;
            }
        }
        d->close(d, cab);
    }
    mspack_destroy_cab_decompressor(d);
    return result;
}
