#pragma once
// File utilities: a folder browse component, a component for whole file
// operations (copy, move, rename, delete of lists of names), and routines
// for copying, moving and deleting files, folder names, file sizes and
// dates, file locks and desktop links.
//
// Paths use "/"; the routines also accept "\" as a separator. Files the
// routines write go through the program's atomic writer.
#include "platform/Rtl.h"

#include <QObject>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QWidget;

// File attributes as the class library numbers them.
constexpr int faReadOnly = 0x01;   // the owner may not write it
constexpr int faHidden = 0x02;     // its name begins with "."
constexpr int faSysFile = 0x04;    // not a regular file, folder or link
constexpr int faVolumeID = 0x08;   // never set here
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;    // a regular file
constexpr int faSymLink = 0x40;
constexpr int faAnyFile = 0x3F;
// The attributes of a name (links not followed); -1 when it does not exist.
int FileGetAttr(const std::string &name);

// ---- folder browse dialog ------------------------------------------------------
enum TBrowseKind { bfFolders, bfComputers };
enum TDialogPosition { dpDefault, dpScreenCenter };

class TBrowseFolderDlg : public QObject {
public:
    explicit TBrowseFolderDlg(QObject *owner = nullptr) : QObject(owner) {}
    TBrowseKind BrowseKind = bfFolders;
    bool DesktopRoot = true;
    std::string DialogText;
    std::string FolderName;
    int HelpContext = 0;
    TDialogPosition Position = dpScreenCenter;
    std::function<void(TBrowseFolderDlg *)> OnInitialized;
    std::function<void(TBrowseFolderDlg *)> OnSelChanged;
    // Shows the folder browser (through the dialogs service); true when the
    // user chose a folder, which FolderName then holds without a trailing
    // separator. Browsing for network computers has no counterpart here:
    // bfComputers answers false.
    bool Execute(QWidget *owner = nullptr);
};

bool BrowseDirectory(std::string &folderName, const std::string &dlgText, int helpContext);
bool BrowseComputer(std::string &computerName, const std::string &dlgText, int helpContext);

// ---- file operations -----------------------------------------------------------
enum TFileOperation { foCopy, foDelete, foMove, foRename };
enum TFileOperFlag : unsigned {
    flAllowUndo = 0x40,          // deleting moves to the desktop's trash
    flConfirmMouse = 0x02,
    flFilesOnly = 0x80,          // wildcards match files only
    flMultiDest = 0x01,          // one destination per source
    flNoConfirmation = 0x10,     // no questions asked
    flNoConfirmMkDir = 0x200,
    flRenameOnCollision = 0x08,  // "Copy of <name>" instead of replacing
    flSilent = 0x04,
    flSimpleProgress = 0x100,
    flNoErrorUI = 0x400,         // failures not shown in a message box
};

class TFileOperator : public QObject {
public:
    explicit TFileOperator(QObject *owner = nullptr) : QObject(owner) {}
    TFileOperation Operation = foCopy;
    unsigned Options = flAllowUndo | flNoConfirmMkDir;
    std::string ProgressTitle;
    // Names separated by ";" or "|"; the last component of a source may hold
    // wildcards.
    std::string Source;
    std::string Destination;
    // True when the user cancelled the last operation.
    bool Aborted = false;
    // True when every file was handled.
    virtual bool Execute();
    ~TFileOperator() override = default;
};

// ---- routines ------------------------------------------------------------------
// dir with a trailing separator; an empty text, or one ending in a separator,
// unchanged.
std::string NormalDir(const std::string &dirName);
// One trailing separator removed from a text longer than one character.
std::string RemoveBackSlash(const std::string &dirName);
bool DirExists(const std::string &name);
void ForceDirectories(std::string dir);
// Copies a file: into an existing folder under the source's name, making
// the destination's folders. Refuses to copy a file onto itself. Raises
// EFOpenError "Cannot open file %s", EFCreateError "Cannot create file %s",
// EInOutError "Stream read error"/"Stream write error"; nothing is left
// open or half-written on failure. progress: a registered progress control
// (maximum the size, value the bytes copied, 0 at the end) or none.
void CopyFile(const std::string &fileName, const std::string &destName, QObject *progress = nullptr);
void CopyFileEx(const std::string &fileName, const std::string &destName, bool overwriteReadOnly,
                bool shellDialog, QObject *progress = nullptr);
void MoveFile(const std::string &fileName, const std::string &destName);
void MoveFileEx(const std::string &fileName, const std::string &destName, bool shellDialog);
// -1 when there is no such file (or it is a folder).
std::int64_t GetFileSize(const std::string &fileName);
// The last-write time; NullDate when the file is missing.
Rtl::TDateTime FileDateTime(const std::string &fileName);
bool HasAttr(const std::string &fileName, int attr);
// Deletes the files matching the mask ("folder/*.tmp"); names beginning with
// "." and folders are skipped. False at the first failure or with no match.
bool DeleteFiles(const std::string &fileMask);
bool DeleteFilesEx(const std::vector<std::string> &fileMasks);
// Empties a folder tree; with deleteDir also removes the folder. Symbolic
// links are removed as links, never followed; "/" and a folder that is
// itself a link are refused (false).
bool ClearDir(const std::string &path, bool deleteDir);
std::string GetTempDir();
// The user's home folder stands for the Windows folder, the system's
// library folder for the system folder.
std::string GetWindowsDir();
std::string GetSystemDir();
bool ValidFileName(const std::string &fileName);
// Byte-range locks (POSIX record locks); 0 or the errno value.
int FileLock(int handle, std::int64_t offset, std::int64_t lockSize);
int FileUnlock(int handle, std::int64_t offset, std::int64_t lockSize);
// Linux keeps one name per file: the "long" and "short" names are the name
// itself when the file exists, empty otherwise; paths are returned as they
// are when they exist.
std::string ShortToLongFileName(const std::string &shortName);
std::string LongToShortFileName(const std::string &longName);
std::string ShortToLongPath(const std::string &shortName);
std::string LongToShortPath(const std::string &longName);
// Special folders for links, by their Windows numbers.
constexpr int CSIDL_DESKTOP = 0x0000;
constexpr int CSIDL_PROGRAMS = 0x0002;
constexpr int CSIDL_STARTUP = 0x0007;
constexpr int CSIDL_STARTMENU = 0x000B;
constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
// The folder a special-folder number stands for (desktop, applications menu,
// autostart); empty for numbers without one.
std::string SpecialFolderPath(int folder);
// A desktop link ("<name>.desktop", an XDG desktop entry that starts target)
// in the special folder; EInOutError when it cannot be written.
void CreateFileLink(const std::string &fileName, const std::string &displayName, int folder);
void DeleteFileLink(const std::string &displayName, int folder);
