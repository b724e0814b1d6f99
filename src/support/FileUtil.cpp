#include "support/FileUtil.h"

#include "platform/Dialogs.h"
#include "platform/FileIO.h"
#include "platform/SysUtils.h"
#include "support/Dateutil.h"
#include "support/ProgReg.h"
#include "support/Strutils.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The largest file CopyFileEx takes (it holds the copy in memory on its way
// to the atomic writer).
constexpr std::int64_t CopyBudget = std::int64_t(1) << 30;

bool IsSep(char c) { return c == '/' || c == '\\'; }

std::string Slashes(std::string s)
{
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

// Closes a descriptor on the way out.
struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            close(fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
};

// Sets a progress control back to 0 on the way out.
struct ProgressReset {
    QObject *progress;
    ~ProgressReset()
    {
        if (progress)
            SetProgressValue(progress, 0);
    }
};

std::vector<std::string> SplitNames(const std::string &list)
{
    std::vector<std::string> names;
    std::string cur;
    for (char c : list) {
        if (c == ';' || c == '|') {
            if (!cur.empty())
                names.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty())
        names.push_back(cur);
    return names;
}

// The names a source stands for: itself, or the matches of wildcards in
// its last component.
std::vector<std::string> Expand(const std::string &source, bool filesOnly)
{
    const std::string name = Rtl::ExtractFileName(source);
    if (name.find_first_of("*?") == std::string::npos)
        return {Slashes(source)};
    const std::string dir = Rtl::ExtractFilePath(Slashes(source));
    std::vector<std::string> out;
    QDir d(QString::fromLocal8Bit(dir.empty() ? "." : dir.c_str()));
    for (const QString &entry : d.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name)) {
        const std::string e = entry.toLocal8Bit().toStdString();
        if (!IsWild(e, name, false))
            continue;
        if (filesOnly && DirExists(dir + e))
            continue;
        out.push_back(dir + e);
    }
    return out;
}

bool Confirm(const std::string &text, bool &cancelled)
{
    const Dialogs::Button b = Dialogs::MessageBox(
        nullptr, text, "Confirm", Dialogs::Button::Yes | Dialogs::Button::No | Dialogs::Button::Cancel,
        Dialogs::Icon::Question, Dialogs::Button::No);
    cancelled = b == Dialogs::Button::Cancel;
    return b == Dialogs::Button::Yes;
}

bool SameFile(const std::string &a, const std::string &b)
{
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev
           && sa.st_ino == sb.st_ino;
}

// Empties the folder open at fd; entries are never followed through links.
bool ClearAt(int dirFd, bool deleteSubdirs)
{
    DIR *dir = fdopendir(dirFd);
    if (!dir) {
        close(dirFd);
        return false;
    }
    bool ok = true;
    std::vector<std::string> names;
    while (dirent *e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    }
    const int fd = dirfd(dir);
    for (const std::string &name : names) {
        struct stat st;
        if (fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            const int sub = openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0 || !ClearAt(sub, deleteSubdirs)) {
                ok = false;
                continue;
            }
            if (deleteSubdirs && unlinkat(fd, name.c_str(), AT_REMOVEDIR) != 0)
                ok = false;
        } else if (unlinkat(fd, name.c_str(), 0) != 0) {
            ok = false;
        }
    }
    closedir(dir);
    return ok;
}

} // namespace

int FileGetAttr(const std::string &name)
{
    struct stat st;
    const std::string path = Slashes(name);
    if (lstat(path.c_str(), &st) != 0)
        return -1;
    int attr = 0;
    if (S_ISLNK(st.st_mode)) {
        attr |= faSymLink;
        struct stat target;
        if (stat(path.c_str(), &target) == 0)
            st = target;
    }
    if (S_ISDIR(st.st_mode))
        attr |= faDirectory;
    else if (S_ISREG(st.st_mode))
        attr |= faArchive;
    else
        attr |= faSysFile;
    if (access(path.c_str(), W_OK) != 0 && (st.st_mode & S_IWUSR) == 0)
        attr |= faReadOnly;
    const std::string base = Rtl::ExtractFileName(RemoveBackSlash(path));
    if (!base.empty() && base[0] == '.')
        attr |= faHidden;
    return attr;
}

// ---- browse dialog ---------------------------------------------------------------

bool TBrowseFolderDlg::Execute(QWidget *owner)
{
    if (BrowseKind == bfComputers)
        return false;
    std::string start = FolderName;
    if (!start.empty() && !DirExists(start))
        start.clear();
    if (OnInitialized)
        OnInitialized(this);
    const auto chosen = Dialogs::BrowseFolder(owner, DialogText, start);
    if (!chosen)
        return false;
    FolderName = RemoveBackSlash(*chosen);
    if (OnSelChanged)
        OnSelChanged(this);
    return true;
}

static bool Browse(TBrowseKind kind, std::string &name, const std::string &dlgText, int helpContext)
{
    TBrowseFolderDlg dlg;
    dlg.BrowseKind = kind;
    dlg.DialogText = dlgText;
    dlg.FolderName = name;
    dlg.HelpContext = helpContext;
    if (!dlg.Execute())
        return false;
    name = dlg.FolderName;
    return true;
}

bool BrowseDirectory(std::string &folderName, const std::string &dlgText, int helpContext)
{
    return Browse(bfFolders, folderName, dlgText, helpContext);
}

bool BrowseComputer(std::string &computerName, const std::string &dlgText, int helpContext)
{
    return Browse(bfComputers, computerName, dlgText, helpContext);
}

// ---- file operator -------------------------------------------------------------

bool TFileOperator::Execute()
{
    Aborted = false;
    const bool ask = (Options & flNoConfirmation) == 0;
    std::vector<std::string> sources;
    for (const std::string &s : SplitNames(Source))
        for (const std::string &e : Expand(s, Options & flFilesOnly))
            sources.push_back(e);
    const std::vector<std::string> dests = SplitNames(Destination);
    if (sources.empty())
        return false;
    bool ok = true;
    try {
        for (size_t i = 0; i < sources.size(); ++i) {
            const std::string &src = sources[i];
            if (Operation == foDelete) {
                bool cancelled = false;
                if (ask && !Confirm("Are you sure you want to delete '" + src + "'?", cancelled)) {
                    Aborted = cancelled || Aborted;
                    if (cancelled)
                        return false;
                    continue;
                }
                const QString q = QString::fromLocal8Bit(src.c_str());
                bool done;
                if (Options & flAllowUndo)
                    done = QFile::moveToTrash(q);
                else if (DirExists(src) && !(FileGetAttr(src) & faSymLink))
                    done = ClearDir(src, true);
                else
                    done = unlink(src.c_str()) == 0;
                ok = ok && done;
                continue;
            }
            if (dests.empty())
                return false;
            std::string dest = Slashes((Options & flMultiDest) && i < dests.size() ? dests[i] : dests[0]);
            if (DirExists(dest) && Operation != foRename)
                dest = NormalDir(dest) + Rtl::ExtractFileName(src);
            if (Rtl::FileExists(dest) || DirExists(dest)) {
                if (Options & flRenameOnCollision) {
                    const std::string dir = Rtl::ExtractFilePath(dest);
                    std::string name = "Copy of " + Rtl::ExtractFileName(dest);
                    for (int n = 2; Rtl::FileExists(dir + name) || DirExists(dir + name); ++n)
                        name = "Copy (" + std::to_string(n) + ") of " + Rtl::ExtractFileName(dest);
                    dest = dir + name;
                } else if (ask) {
                    bool cancelled = false;
                    if (!Confirm("'" + dest + "' already exists. Replace it?", cancelled)) {
                        if (cancelled) {
                            Aborted = true;
                            return false;
                        }
                        continue;
                    }
                }
            }
            if (Operation == foCopy)
                CopyFileEx(src, dest, true, false, nullptr);
            else if (Operation == foMove || Operation == foRename)
                MoveFile(src, dest);
        }
    } catch (const Exception &e) {
        if ((Options & (flNoErrorUI | flSilent)) == 0)
            Dialogs::MessageBox(nullptr, e.Message, "Error", Dialogs::Button::OK, Dialogs::Icon::Error);
        return false;
    }
    return ok;
}

// ---- names ---------------------------------------------------------------------

std::string NormalDir(const std::string &dirName)
{
    if (dirName.empty() || IsSep(dirName.back()) || dirName.back() == ':')
        return dirName;
    return dirName + "/";
}

std::string RemoveBackSlash(const std::string &dirName)
{
    if (dirName.size() > 1 && IsSep(dirName.back()))
        return dirName.substr(0, dirName.size() - 1);
    return dirName;
}

bool DirExists(const std::string &name)
{
    const int attr = FileGetAttr(name);
    return attr >= 0 && (attr & faDirectory);
}

void ForceDirectories(std::string dir)
{
    dir = RemoveBackSlash(Slashes(dir));
    if (dir.empty() || DirExists(dir))
        return;
    Rtl::ForceDirectories(dir);
}

// ---- copying and moving --------------------------------------------------------

void CopyFile(const std::string &fileName, const std::string &destName, QObject *progress)
{
    CopyFileEx(fileName, destName, false, false, progress);
}

void CopyFileEx(const std::string &fileName, const std::string &destName, bool overwriteReadOnly,
                bool shellDialog, QObject *progress)
{
    if (shellDialog) {
        TFileOperator op;
        op.Operation = foCopy;
        op.Source = fileName;
        op.Destination = destName;
        op.Options = flNoConfirmMkDir | (overwriteReadOnly ? unsigned(flNoConfirmation) : 0u);
        if (!op.Execute())
            throw EAbort("Operation aborted");
        return;
    }
    const std::string source = Slashes(fileName);
    std::string dest = Slashes(destName);
    if (DirExists(dest))
        dest = NormalDir(dest) + Rtl::ExtractFileName(source);

    Fd in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (in.fd < 0 || fstat(in.fd, &st) != 0 || S_ISDIR(st.st_mode))
        throw EFOpenError("Cannot open file " + fileName);
    if (SameFile(source, dest))
        throw EFCreateError("Cannot copy file " + fileName + " onto itself");
    if (st.st_size > CopyBudget)
        throw EInOutError("Stream read error");
    ProgressReset reset{progress};
    if (progress) {
        SetProgressMax(progress, int(std::min<std::int64_t>(st.st_size, INT_MAX)));
        SetProgressMin(progress, 0);
        SetProgressValue(progress, 0);
    }
    const std::string folder = Rtl::ExtractFilePath(dest);
    if (!folder.empty())
        ForceDirectories(folder);
    if (Rtl::FileExists(dest) && access(dest.c_str(), W_OK) != 0) {
        if (!overwriteReadOnly)
            throw EFCreateError("Cannot create file " + destName);
        struct stat dst;
        if (stat(dest.c_str(), &dst) == 0)
            chmod(dest.c_str(), (dst.st_mode & 07777) | S_IWUSR);
    }
    // Blocks of 8192 bytes; the size was checked before anything is held.
    std::string data;
    data.reserve(size_t(st.st_size));
    char buffer[8192];
    for (;;) {
        const ssize_t n = read(in.fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw EInOutError("Stream read error");
        }
        if (std::int64_t(data.size()) + n > CopyBudget)
            throw EInOutError("Stream read error");
        data.append(buffer, size_t(n));
        if (progress)
            SetProgressValue(progress, int(std::min<std::size_t>(data.size(), INT_MAX)));
        if (size_t(n) < sizeof buffer)
            break;
    }
    if (!fileio::AtomicWriteFile(dest, data)) {
        if (errno == ENOSPC || errno == EIO || errno == EDQUOT)
            throw EInOutError("Stream write error");
        throw EFCreateError("Cannot create file " + destName);
    }
    // The copy takes the source's date and time.
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    utimensat(AT_FDCWD, dest.c_str(), times, 0);
}

void MoveFile(const std::string &fileName, const std::string &destName)
{
    const std::string source = Slashes(fileName);
    std::string dest = Slashes(destName);
    if (!dest.empty() && dest[0] != '/')
        dest = QDir::current().absoluteFilePath(QString::fromLocal8Bit(dest.c_str())).toLocal8Bit().toStdString();
    if (::rename(source.c_str(), dest.c_str()) == 0)
        return;
    if (FileGetAttr(source) < 0)
        throw EFOpenError("Cannot open file " + fileName);
    CopyFile(source, dest);
    if (unlink(source.c_str()) != 0)
        throw EInOutError("Cannot delete file " + fileName);
}

void MoveFileEx(const std::string &fileName, const std::string &destName, bool shellDialog)
{
    if (!shellDialog) {
        MoveFile(fileName, destName);
        return;
    }
    TFileOperator op;
    op.Operation = Rtl::AnsiCompareText(Rtl::ExtractFilePath(Slashes(fileName)),
                                        Rtl::ExtractFilePath(Slashes(destName))) == 0
                       ? foRename
                       : foMove;
    op.Source = fileName;
    op.Destination = destName;
    op.Options = flNoConfirmation | flNoConfirmMkDir;
    if (!op.Execute())
        throw EAbort("Operation aborted");
}

// ---- sizes, dates and attributes ---------------------------------------------------

std::int64_t GetFileSize(const std::string &fileName)
{
    struct stat st;
    if (stat(Slashes(fileName).c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return std::int64_t(st.st_size);
}

Rtl::TDateTime FileDateTime(const std::string &fileName)
{
    struct stat st;
    if (stat(Slashes(fileName).c_str(), &st) != 0)
        return NullDate;
    // Local time, as the file dates of the class library.
    struct tm local;
    const time_t t = st.st_mtim.tv_sec;
    localtime_r(&t, &local);
    return Rtl::EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday)
           + Rtl::EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59),
                             int(st.st_mtim.tv_nsec / 1000000));
}

bool HasAttr(const std::string &fileName, int attr)
{
    const int a = FileGetAttr(fileName);
    return a >= 0 && (a & attr) == attr;
}

// ---- deleting ------------------------------------------------------------------

bool DeleteFiles(const std::string &fileMask)
{
    std::string mask = Slashes(fileMask);
    if (!mask.empty() && mask[0] != '/')
        mask = QDir::current().absoluteFilePath(QString::fromLocal8Bit(mask.c_str())).toLocal8Bit().toStdString();
    const std::string dir = Rtl::ExtractFilePath(mask);
    const std::string pattern = Rtl::ExtractFileName(mask);
    DIR *d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d)
        return false;
    std::vector<std::string> names;
    while (dirent *e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        if (IsWild(name, pattern, false))
            names.push_back(name);
    }
    closedir(d);
    bool any = false;
    for (const std::string &name : names) {
        struct stat st;
        const std::string path = dir + name;
        if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
            continue;
        any = true;
        if (unlink(path.c_str()) != 0)
            return false;
    }
    return any;
}

bool DeleteFilesEx(const std::vector<std::string> &fileMasks)
{
    for (const std::string &m : fileMasks)
        if (!DeleteFiles(m))
            return false;
    return true;
}

bool ClearDir(const std::string &path, bool deleteDir)
{
    std::string dir = RemoveBackSlash(Slashes(path));
    if (dir.empty())
        return false;
    // The root is never emptied, whatever way it is spelt.
    char resolved[PATH_MAX];
    if (realpath(dir.c_str(), resolved) && std::strcmp(resolved, "/") == 0)
        return false;
    const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;  // missing, not a folder, or a link
    if (!ClearAt(fd, deleteDir))
        return false;
    if (deleteDir && rmdir(dir.c_str()) != 0)
        return false;
    return true;
}

// ---- system folders and names ------------------------------------------------------

std::string GetTempDir()
{
    return NormalDir(QDir::tempPath().toLocal8Bit().toStdString());
}

std::string GetWindowsDir()
{
    return QDir::homePath().toLocal8Bit().toStdString();
}

std::string GetSystemDir()
{
    return "/usr/lib";
}

bool ValidFileName(const std::string &fileName)
{
    return !fileName.empty() && fileName.find_first_of("<>\"[]|") == std::string::npos;
}

static int RangeLock(int handle, std::int64_t offset, std::int64_t size, short type)
{
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = off_t(offset);
    fl.l_len = off_t(size);
    return fcntl(handle, F_SETLK, &fl) == 0 ? 0 : errno;
}

int FileLock(int handle, std::int64_t offset, std::int64_t lockSize)
{
    return RangeLock(handle, offset, lockSize, F_WRLCK);
}

int FileUnlock(int handle, std::int64_t offset, std::int64_t lockSize)
{
    return RangeLock(handle, offset, lockSize, F_UNLCK);
}

std::string ShortToLongFileName(const std::string &shortName)
{
    return FileGetAttr(shortName) >= 0 ? Rtl::ExtractFileName(Slashes(shortName)) : std::string();
}

std::string LongToShortFileName(const std::string &longName) { return ShortToLongFileName(longName); }
std::string ShortToLongPath(const std::string &shortName) { return Slashes(shortName); }
std::string LongToShortPath(const std::string &longName) { return Slashes(longName); }

// ---- links ---------------------------------------------------------------------

std::string SpecialFolderPath(int folder)
{
    QString path;
    switch (folder) {
    case CSIDL_DESKTOP:
    case CSIDL_DESKTOPDIRECTORY:
        path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        break;
    case CSIDL_PROGRAMS:
    case CSIDL_STARTMENU:
        path = QStandardPaths::writableLocation(QStandardPaths::ApplicationsLocation);
        break;
    case CSIDL_STARTUP:
        path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
               + QStringLiteral("/autostart");
        break;
    default: break;
    }
    return path.toLocal8Bit().toStdString();
}

namespace {
// A desktop entry's Exec value: the program quoted, with the characters
// that the quoting rules reserve escaped.
std::string ExecQuoted(const std::string &target)
{
    std::string q = "\"";
    for (char c : target) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            // The quoting rule's backslash, itself escaped by the string rule.
            q += "\\\\";
            q += c == '\\' ? std::string("\\\\") : std::string(1, c);
            continue;
        }
        if (c == '%')
            q += '%';
        if (c == '\n' || c == '\r')
            continue;
        q += c;
    }
    return q + "\"";
}

std::string OneLine(const std::string &s)
{
    std::string r;
    for (char c : s)
        if (c != '\n' && c != '\r')
            r += c;
    return r;
}
} // namespace

void CreateFileLink(const std::string &fileName, const std::string &displayName, int folder)
{
    const std::string dir = SpecialFolderPath(folder);
    if (dir.empty())
        throw EInOutError("No folder for special folder " + std::to_string(folder));
    ForceDirectories(dir);
    const std::string path = NormalDir(dir) + OneLine(displayName) + ".desktop";
    const std::string target = Slashes(fileName);
    const std::string text = "[Desktop Entry]\r\nType=Application\r\nName=" + OneLine(displayName)
                             + "\r\nExec=" + ExecQuoted(target) + "\r\nIcon=" + OneLine(target)
                             + "\r\n";
    if (!fileio::AtomicWriteFile(path, text))
        throw EFCreateError("Cannot create file " + path);
}

void DeleteFileLink(const std::string &displayName, int folder)
{
    const std::string dir = SpecialFolderPath(folder);
    if (!dir.empty())
        unlink((NormalDir(dir) + OneLine(displayName) + ".desktop").c_str());
}
