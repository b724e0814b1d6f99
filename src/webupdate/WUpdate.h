#pragma once
// The web update component: brings the installed application up to date
// from the publisher's server. This unit holds its properties, events and
// run state, the status reporting, the connection of a run, the file
// transfers over HTTP, FTP or file copy with their temporary files, SZDD
// expansion, the path prefixes, and the version, size and checksum tests.
// The update sequence that reads the control file and drives all this runs
// on top of it.
//
// Everything runs on the interface thread; a transfer lets the host's
// windows work between blocks through the injected ProcessMessages.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

class TStringList;
class TUpdateControlFile;
class TWebUpdate;

enum class TWebUpdateType { ftpUpdate, httpUpdate, fileUpdate };
enum class TWebUpdateConnect {
    wucNoConnect,
    wucConnectPrompt,
    wucConnectSilent,
    wucConnectPromptHangup,
    wucConnectSilentHangup
};
enum class TWebUpdateUpdate { wuuPromptOnce, wuuPromptAll, wuuSilent };

// The result post (Response holds the answer of the last post).
class TPostUpdateInfo {
public:
    std::string Server;
    std::string Action;
    std::string Data;
    bool Enabled = false;
    std::string Response;
};

// Where the remembered values live.
class TLastURLEntry {
public:
    bool Save = false;
    std::string Key;
    std::string Section;
};

// Only serves as the value of TWebUpdate::Utility.
class TWebUpdateUtility {};

using TWebUpdateFileProgress = std::function<void(TWebUpdate *Sender, const std::string &FileName, int64_t Pos, int64_t Size)>;
using TWebUpdateFileDownloaded = std::function<void(TWebUpdate *Sender, const std::string &FileName)>;
using TWebUpdateFileVersionCheck = std::function<void(TWebUpdate *Sender, const std::string &NewVersion, const std::string &LocalVersion, bool &IsNew)>;
using TWebUpdateProgressCancel = std::function<void(TWebUpdate *Sender, bool &Cancel)>;
using TWebUpdateStatus = std::function<void(TWebUpdate *Sender, const std::string &StatusStr, int32_t StatusCode, int32_t ErrCode)>;
using TWebUpdateThreadDone = std::function<void(TWebUpdate *Sender)>;
using TWebUpdateRestart = std::function<void(TWebUpdate *Sender, bool &Allow)>;
using TWebUpdateEvent = std::function<void(TWebUpdate *Sender)>;
using TWebUpdateCustomValidate = std::function<void(TWebUpdate *Sender, const std::string &Msg, const std::string &Param, bool &Allow)>;
using TWebUpdateCustomProcess = std::function<void(TWebUpdate *Sender, const std::string &Msg, const std::string &Param)>;
using TWebUpdateProcessPostResult = std::function<void(TWebUpdate *Sender, bool &AllowPostResult)>;
using TWebUpdateFileList = std::function<void(TWebUpdate *Sender, TStringList &List)>;
using TWebUpdateConvertPrefix = std::function<void(TWebUpdate *Sender, std::string &Path)>;
using TWebUpdateSetParams = std::function<void(TWebUpdate *Sender, std::string &AppParams)>;
using TWebUpdateTextDownloaded = std::function<void(TWebUpdate *Sender, TStringList &Text)>;

// What the control file announces about a file, checked over the file as it
// is installed (after expansion) before it replaces the old one. Size 0 and
// no checksum check nothing.
struct TWebUpdateExpect {
    int64_t Size = 0;
    std::optional<uint32_t> Checksum;   // CRC-32 or byte sum, as UseCRC32 says
};

// The connection of one run (the Internet session, and for FTP the server's
// address and log-in); opened by OpenInternet, closed when it goes away.
class TWebUpdateConnection {
public:
    ~TWebUpdateConnection();
    TWebUpdateConnection(const TWebUpdateConnection &) = delete;
    TWebUpdateConnection &operator=(const TWebUpdateConnection &) = delete;
private:
    friend class TWebUpdate;
    TWebUpdateConnection() = default;
    void *Curl = nullptr;          // the session's easy handle
    void *Multi = nullptr;         // its driver, which keeps the connections
    bool Ftp = false;
    std::string FtpBase;           // "ftp://host:port/"
};

// Status ids: the program's string table of the web update.
namespace wustatus {
enum : int {
    DownloadFilePrompt = 909, DownloadFilesPrompt = 910, ShutdownPrompt = 911,
    EqualFiles = 912, CopySourceNotFound = 913, ZeroLengthSource = 914, Download = 915,
    HttpStatus = 916, FileNotFound = 917, CheckingConnection = 918, PromptConnection = 919,
    OpeningConnection = 920, FoundConnection = 921, CannotOpenConnection = 922,
    ConnectHost = 923, CannotConnectHost = 924, ControlFileNotFound = 925,
    ControlFileFound = 926, InvalidSignature = 927, DateUpdateFound = 928,
    NewVersionFound = 929, NoNewVersion = 930, ChecksumUpdate = 931, SizeUpdate = 932,
    VersionUpdate = 933, MessageInstruction = 934, HtmlDialogInstruction = 935,
    QueryInstruction = 936, WhatsNewInstruction = 937, WhatsNewRefused = 938,
    LicenseInstruction = 939, LicenseRefused = 940, RedirectInstruction = 941,
    ShowUrlInstruction = 942, FileUpdateInstruction = 943, DownloadUpdate = 945,
    CannotDownloadUpdate = 946, CabError = 947, FinishedControlFile = 948,
    ClosedConnection = 949, SpawnFailed = 950, PostConnectFailed = 951, PostResourceFailed = 952
};
// The statuscode of a run that failed in a step without a failure status of
// its own: the run ends with status 948 and this code.
inline constexpr int32_t RunFailedCode = 18;
// The text of a string id; empty for an unknown id.
std::string Text(int Id);
}

class TWebUpdate {
public:
    TWebUpdate();
    virtual ~TWebUpdate();
    TWebUpdate(const TWebUpdate &) = delete;
    TWebUpdate &operator=(const TWebUpdate &) = delete;

    // ---- published properties ----
    std::string FTPDirectory;
    bool FTPPassive = false;
    std::string Host;
    std::string Password;
    std::string Signature = "WebUpdate";
    bool SignatureCheck = false;
    bool ExtractCAB = false;
    bool ApplyPatch = false;
    int Port = 21;
    std::string Proxy;
    std::string ProxyUserID;
    std::string ProxyPassword;
    TWebUpdateConnect UpdateConnect = TWebUpdateConnect::wucNoConnect;
    TWebUpdateType UpdateType = TWebUpdateType::ftpUpdate;
    TWebUpdateUpdate UpdateUpdate = TWebUpdateUpdate::wuuPromptOnce;
    std::string URL;
    std::string UserID;
    std::string DateFormat = "dd/mm/yyyy";
    std::string TimeFormat = "hh:nn";
    char DateSeparator = '/';
    char TimeSeparator = ':';
    TPostUpdateInfo &PostUpdateInfo() { return *FPostUpdateInfo; }
    TLastURLEntry &LastURLEntry() { return *FLastURLEntry; }
    bool UseCRC32 = false;
    TWebUpdateUtility *Utility = nullptr;
    // Clears Utility when the component it names goes away.
    void Notification(TWebUpdateUtility *Removed);

    // ---- events ----
    TWebUpdateFileProgress OnFileProgress;
    TWebUpdateFileDownloaded OnFileDownloaded;
    TWebUpdateFileVersionCheck OnFileVersionCheck;
    TWebUpdateProgressCancel OnProgressCancel;
    TWebUpdateStatus OnStatus;
    TWebUpdateThreadDone OnThreadUpdateDone;
    TWebUpdateRestart OnAppRestart;
    TWebUpdateEvent OnAppDoClose;
    TWebUpdateCustomValidate OnCustomValidate;
    TWebUpdateCustomProcess OnCustomProcess;
    TWebUpdateProcessPostResult OnProcessPostResult;
    TWebUpdateFileList OnGetFileList;
    TWebUpdateConvertPrefix OnConvertPrefix;
    TWebUpdateSetParams OnSetAppParams;
    TWebUpdateTextDownloaded OnDownloadedWhatsNew;
    TWebUpdateTextDownloaded OnDownloadedEULA;

    // ---- settings of this platform ----
    // Lets the host's windows work; called before every block of a transfer
    // and while a transfer waits for data. Default: Qt's event processing on
    // the interface thread when an application object exists.
    std::function<void()> ProcessMessages;
    int ConnectTimeoutMs = 30000;       // connecting to a server
    int StallTimeoutMs = 60000;         // a transfer without a byte this long is aborted
    int64_t MaxFileSize = int64_t(1) << 30;   // largest transfer or expansion
    // The application's folder: {APP}, and where relative paths of the
    // control file resolve. Default: the program folder.
    std::string AppFolder;
    // The program the updater starts again after the update, by its
    // absolute path; the application names its own executable, so the
    // restart brings back the program that ran, on AppFolder, wherever
    // either lies. Only the parameters of AppName's command are handed to
    // it. Empty: AppName's command itself is started, from AppFolder.
    std::string RestartProgram;

    // ---- run state ----
    bool Busy() const { return FBusy; }
    bool AppCompUpdated = false;
    bool RestartRequested = false;
    bool SilentRestart = false;
    bool FTPDirectorySet = false;
    std::string AppName;
    std::string AppComps;

    // ---- status and connection ----
    // Raises OnStatus with the text of string Id formatted with Arg ("%s");
    // without an OnStatus handler nothing happens.
    virtual void DoStatus(int Id, const std::string &Arg, int32_t StatusCode, int32_t ErrCode);
    // Reports the last transfer error through OnStatus (statuscode 1, the
    // error number), or in an error box without a handler; nothing when no
    // error was recorded.
    void Error();
    int LastError() const { return FLastError; }
    const std::string &LastErrorText() const { return FLastErrorText; }
    // The connection always counts as present; nothing is dialled.
    bool Connected() const { return true; }
    int ConnectionType() const { return -1; }
    void HangUp() {}
    void ShowHTMLDialog(const std::string &) {}

    // The session of a run; nullptr when it cannot be made.
    std::unique_ptr<TWebUpdateConnection> OpenInternet();
    // Logs in to Host:Port for FTP (UserID and Password only when both are
    // set, otherwise anonymously; passive when FTPPassive). False on failure,
    // with the error recorded for Error().
    bool ConnectFTP(TWebUpdateConnection &Connection);

    // ---- transfers ----
    // Fetches Url into Folder (its file-name part names the target). The
    // bytes go to an exclusively created temporary file in the component's
    // private folder; only a complete transfer that matches Expect replaces
    // the target. With Compressed (and a name not containing ".CAB") the file
    // is expanded (ExpandLZFile) and Expect applies to the expanded file. A
    // file larger than Limit bytes (MaxFileSize when 0) is refused, from its
    // announced length or once that many bytes came. A failure that has no
    // status of its own (too large, not as announced, not writable, an
    // address that names no plain file, a transfer broken off) is told with
    // its cause through Error().
    bool URLGetFile(TWebUpdateConnection *Connection, const std::string &Url, const std::string &Folder,
                    bool Compressed, const TWebUpdateExpect &Expect = {}, int64_t Limit = 0);
    // Copies a file through a temporary file; blocks of 16384 bytes; at
    // most Limit bytes (MaxFileSize when 0).
    bool FileGetFile(const std::string &Source, const std::string &Target, const TWebUpdateExpect &Expect = {},
                     int64_t Limit = 0);
    // The message of a file refused for its size.
    static std::string TooLargeText(int64_t Limit, const std::string &Url);
    // The same for a file refused from the size the server announced,
    // before it was received.
    // Announced < 0: a server that announced more without saying how much.
    static std::string AnnouncedTooLargeText(int64_t Announced, int64_t Limit, const std::string &Url);
    // The length a header line of an HTTP answer announces: true for a
    // "Content-Length:" line (any case) with digits after the blanks; a
    // length too long to count is INT64_MAX, more than any limit.
    static bool AnnouncedLength(const char *Line, size_t Size, int64_t &Length);
    // Expands a SZDD file beside itself under its expanded name and deletes
    // it; the old file of that name is replaced only by a whole expansion
    // that matches Expect. False when that failed (the old file stays).
    bool ExpandLZFile(const std::string &FileName, const TWebUpdateExpect &Expect = {});
    virtual void CustomProcess(const std::string &FileName);

    // ---- paths ----
    static std::string URLtoFile(const std::string &Url);
    static std::string MakeProxyUrl(const std::string &Url, const std::string &User, const std::string &Password);
    // Prefixes in braces replaced (OnConvertPrefix first), then every '\'
    // turned into '/'.
    std::string ExpandPath(const std::string &Path);
    // WIN: the home folder; APP: AppFolder; TMP: the private temporary
    // folder; any other name leaves Folder unchanged. A folder comes back
    // without a final '/', the root as "/.".
    virtual void ConvertPrefix(const std::string &Prefix, std::string &Folder);
    // A path of the control file made absolute and checked: expanded, a
    // relative one resolved in AppFolder, no ".." part, and inside AppFolder
    // or the private temporary folder after resolving links. False when not.
    bool ConfinePath(const std::string &Path, std::string &Resolved);
    // The component's private temporary folder (mode 0700, made on first
    // use, removed at the end of each run and with the component), with a
    // final '/'; empty when it cannot be made. Making it removes the folders
    // that processes which have ended left behind (see WuTemp.h).
    std::string GetTempDirectory();
    // Removes the temporary folder with everything in it.
    void RemoveTempDirectory();
    static std::string AddBackslash(const std::string &Text);
    static bool DirExists(const std::string &Path);
    static bool CreateDirectoryPath(const std::string &Folder);

    // ---- the run ----
    // Starts a run that takes place when the interface thread next processes
    // its events; ThreadDone follows it. Ignored while a run is under way.
    void DoThreadUpdate();
    // The whole run, synchronous, on the interface thread. A call while a
    // run is under way (from a handler inside the run) returns at once.
    void DoUpdate();
    // The end of a threaded run: OnThreadUpdateDone, Busy cleared, then the
    // restart when one was asked for and a component came.
    void ThreadDone();
    bool Running() const { return FRunning; }
    // The last run got through its file list and put at least one of its
    // files in place (a component named "..._new", which the updater puts
    // in place, does not count); what failed after that failed over an
    // installed update.
    bool FilesInPlace() const { return FFilesInPlace; }

    // ---- dialogs, result post, remembered values ----
    // 1 lets the run go on; any other answer stops it.
    virtual int WhatsNewDialog(TWebUpdateConnection *Connection, const std::string &File, const std::string &Caption,
                               const std::string &OkBtn, const std::string &CancelBtn);
    virtual int EULADialog(TWebUpdateConnection *Connection, const std::string &File, const std::string &Caption,
                           const std::string &OkBtn, const std::string &Accept, const std::string &NotAccept);
    // Posts PostUpdateInfo's Data to PostAddress(Server, Action) by the rules
    // of every transfer; the answer (at most MaxResponse bytes) lands in
    // PostUpdateInfo().Response. A refused address or server is told with
    // its cause, then status 952 or 951.
    void DoPostUpdateInfo();
    // Where a post goes: Server ("host[:port]", or with its own "https://" or
    // "http://") and Action joined by one '/'; without a scheme https, or
    // http for a loopback host.
    static std::string PostAddress(const std::string &Server, const std::string &Action);
    static constexpr size_t MaxResponse = 1 << 20;
    std::string URLGet();
    void URLPut(const std::string &Url);
    double UpdateDateGet();
    void UpdateDatePut(double DateTime);
    // The file that keeps the remembered values (an INI file whose sections
    // are LastURLEntry's Key and Section joined by '\'). Default: the
    // program folder's "WebUpdate.ini".
    std::string RegistryFile;

    // ---- restart ----
    // Asks, writes and starts the updater, then closes the application;
    // when the updater cannot start the application goes on. When closing
    // fails (OnAppDoClose throws), the updater is stopped before it acts and
    // the failure is thrown on with ClosingFailedText before its message.
    void DoRestart();
    static const char *const ClosingFailedText;
    // Writes the updater into the private temporary folder and expands it;
    // its path ("upd.exe"), empty on failure.
    virtual std::string ExtractUpdateResource();
    // This program carries no patch tool: nothing is written.
    virtual void ExtractUtility() {}
    // Starts a program of the application folder and waits for it; true for
    // exit code 0. LastError() is the exit code plus 8192 otherwise.
    bool RunAndWait(const std::string &CommandLine);
    // The hand-over to the updater, as the list of its arguments: its own
    // path and the process id as they stand, then AppName and AppComps split
    // as the control file's text says (AppName is one argument, quoted when
    // it holds a blank; every word of AppComps is one).
    std::vector<std::string> UpdaterArguments(const std::string &Updater, pid_t Pid) const;
    // Where the updater describes the components it could not put in place
    // and a program it could not start again: "WebUpdate.result" in
    // AppFolder, by its absolute path.
    std::string UpdaterResultFile() const;
    // The lines the updater left there, read and removed; false when it left
    // none.
    bool TakeUpdaterResult(std::vector<std::string> &Lines) const;
    // The updater started by the last DoRestart; -1 when none.
    pid_t UpdaterProcess() const { return FUpdaterPid; }

    // ---- newness tests ----
    // Whether the published file (version text, size, checksum; no checksum
    // when unset) is new against the installed LocalFile.
    virtual bool CheckVersions(const std::string &NewVersion, const std::string &LocalFile, int64_t NewSize,
                               std::optional<uint32_t> NewChecksum);
    // The file's checksum as UseCRC32 chooses.
    uint32_t ChecksumOfFile(const std::string &FileName) const;

private:
    struct TTransfer;
    friend struct TTransferAccess;
    // Runs one request of the connection to its end; the result of libcurl.
    int Perform(TWebUpdateConnection &Connection, const std::string &Url, TTransfer &T);
    // The download part of URLGetFile for HTTP and FTP: a complete body in a
    // temporary file (TempFile), or false.
    bool Fetch(TWebUpdateConnection &Connection, const std::string &Url, const std::string &Target, int64_t Limit,
               std::string &TempFile);
    bool GetFile(TWebUpdateConnection *Connection, const std::string &Url, const std::string &Folder, bool Compressed,
                 const TWebUpdateExpect &Expect, int64_t Limit);
    // Records the cause of a failure that URLGetFile tells.
    void Cause(int Code, const std::string &Text);
    bool FCausePending = false;
    // One block of a transfer: written, reported, cancel asked.
    bool Block(TTransfer &T, const char *Data, size_t Size);
    // A header line of an HTTP answer: false (the transfer refused) when an
    // answer of success announces more than the file may hold.
    bool HeaderLine(TTransfer &T, const char *Line, size_t Size);
    // Puts a complete temporary file in place of Target when it matches.
    bool Install(const std::string &TempFile, const std::string &Target, const TWebUpdateExpect &Expect);
    bool Matches(const std::string &FileName, const TWebUpdateExpect &Expect);
    std::string MakeTempFile(int &Fd);
    void Pump();
    bool AskCancel();
    void SetError(int Code, const std::string &Text);

    // What a failure inside the step under way reports: that step's failure
    // status, or 948 with wustatus::RunFailedCode.
    struct TStepFailure {
        int Id = wustatus::FinishedControlFile;
        std::string Arg;
        int32_t StatusCode = wustatus::RunFailedCode;
        int32_t ErrCode = 0;
    };
    TStepFailure FStep;
    void Step(int Id = wustatus::FinishedControlFile, int32_t StatusCode = wustatus::RunFailedCode,
              const std::string &Arg = std::string(), int32_t ErrCode = 0);
    // A step failed with an error: the cause reaches the user (Error), the
    // step's failure status follows, and the restart is off.
    void RunFailed(const std::string &Why);
    // The restart decision's DoRestart, a failure in it reported.
    void RestartReported();
    // Ends the updater DoRestart started (it has not acted yet: it waits for
    // this process) and removes the folder it was to run from.
    void StopUpdater(const std::string &Folder);
    bool FClosingFailed = false;   // the last DoRestart stopped its updater
    int FInstalledFiles = 0;       // files of the list put in place in this run
    bool FFilesInPlace = false;

    // Parts of the run.
    bool RunSteps(TWebUpdateConnection *Connection, TUpdateControlFile &Ini, const std::string &Url);
    void WorkFiles(TWebUpdateConnection *Connection, TUpdateControlFile &Ini);
    void RunCommand(const std::string &CommandLine);
    void ShowURL(const std::string &Url);
    bool Question(const std::string &Text);
    bool DialogText(TWebUpdateConnection *Connection, const std::string &File, const TWebUpdateTextDownloaded &Event,
                    std::string &Text);

    std::unique_ptr<TPostUpdateInfo> FPostUpdateInfo;
    std::unique_ptr<TLastURLEntry> FLastURLEntry;
    bool FBusy = false;
    bool FRunning = false;
    pid_t FUpdaterPid = -1;
    std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
    int FLastError = 0;
    std::string FLastErrorText;
    std::string FTempDirectory;
};

// Size of a file in bytes; 0 when it cannot be opened.
int64_t GetFileSizeByName(const std::string &FileName);
// Byte sum of a file, starting at FFFFFFFF; FFFFFFFF when it cannot be opened.
uint32_t SumChecksumOfFile(const std::string &FileName);
