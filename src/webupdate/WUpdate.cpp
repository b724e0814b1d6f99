#include "webupdate/WUpdate.h"

#include "platform/Dialogs.h"
#include "platform/FileIO.h"
#include "platform/Rtl.h"
#include "platform/AppPaths.h"
#include "support/VellVersionInfo.h"
#include "webupdate/LzExpand.h"
#include "webupdate/WuAddress.h"
#include "webupdate/WuPaths.h"
#include "webupdate/WuTemp.h"
#include "webupdate/Wucrc32.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <strings.h>
#include <exception>
#include <curl/curl.h>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace wustatus {

std::string Text(int Id)
{
    static const struct {
        int Id;
        const char *Text;
    } Table[] = {
        {909, "Download update file : "},
        {910, "Download update files ?"},
        {911, "Shutdown application to update executable files ?"},
        {912, "Equal source and target files : %s"},
        {913, "File not found : %s"},
        {914, "Zero length source file : %s"},
        {915, "Download : %s"},
        {916, "Http status : %s"},
        {917, "File not found : %s"},
        {918, "Checking for Internet connection"},
        {919, "Prompt to open new Internet connection"},
        {920, "Opening Internet connection"},
        {921, "Found open Internet connection"},
        {922, "Cannot open Internet connection"},
        {923, "Connect to host : %s"},
        {924, "Cannot connect to FTP host : %s"},
        {925, "Update control file not found"},
        {926, "Update control file found"},
        {927, "Invalid signature in update control file"},
        {928, "Date based update found"},
        {929, "New version found : %s"},
        {930, "No new version found"},
        {931, "Checksum based update found"},
        {932, "File size based update found"},
        {933, "Version based update found"},
        {934, "Found message instruction"},
        {935, "Found HTML dialog instruction"},
        {936, "Found query instruction"},
        {937, "Found whatsnew instruction"},
        {938, "Whatsnew not accepted"},
        {939, "Found license agreement instruction"},
        {940, "License agreement not accepted"},
        {941, "Found URL redirection instruction"},
        {942, "Found URL show instruction"},
        {943, "Found file update instruction"},
        {945, "Download update : %s"},
        {946, "Cannot download update file : %s"},
        {947, "Error decompressing CAB file : %s"},
        {948, "Finished processing update control file"},
        {949, "Closed Internet connection"},
        {950, "Failed to spawn updater process : %s"},
        {951, "Cannot connect to server for post"},
        {952, "Cannot access resource for post"},
    };
    for (const auto &e : Table)
        if (e.Id == Id)
            return e.Text;
    return std::string();
}

} // namespace wustatus

namespace {

constexpr size_t NetBlock = 4096;
constexpr size_t CopyBlock = 16384;

struct TCurlInit {
    TCurlInit() { curl_global_init(CURL_GLOBAL_DEFAULT); }
};

// A file name taken from an address: one plain name, nothing that climbs.
bool SafeFileName(const std::string &name)
{
    std::string clean;
    return wupaths::CleanRelativeName(name, clean) && clean == name && name.find('/') == std::string::npos;
}

std::string WithSlash(const std::string &folder)
{
    return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

} // namespace

// ---- connection ---------------------------------------------------------

TWebUpdateConnection::~TWebUpdateConnection()
{
    if (Multi)
        curl_multi_cleanup(static_cast<CURLM *>(Multi));
    if (Curl)
        curl_easy_cleanup(static_cast<CURL *>(Curl));
}

// ---- component ------------------------------------------------------------

TWebUpdate::TWebUpdate()
    : FPostUpdateInfo(std::make_unique<TPostUpdateInfo>()), FLastURLEntry(std::make_unique<TLastURLEntry>())
{
    static TCurlInit init;
    ProcessMessages = [] {
        QCoreApplication *app = QCoreApplication::instance();
        if (app && QThread::currentThread() == app->thread())
            QCoreApplication::processEvents();
    };
    AppFolder = AppPaths::ProgramFolder();
    RegistryFile = AppPaths::ProgramFolder() + "/WebUpdate.ini";
}

TWebUpdate::~TWebUpdate()
{
    *FAlive = false;
    RemoveTempDirectory();
}

void TWebUpdate::RemoveTempDirectory()
{
    if (FTempDirectory.empty())
        return;
    std::error_code ec;
    std::filesystem::remove_all(FTempDirectory, ec);
    FTempDirectory.clear();
}

void TWebUpdate::Notification(TWebUpdateUtility *Removed)
{
    if (Removed && Removed == Utility)
        Utility = nullptr;
}

void TWebUpdate::DoStatus(int Id, const std::string &Arg, int32_t StatusCode, int32_t ErrCode)
{
    if (!OnStatus)
        return;
    OnStatus(this, Rtl::StringReplace(wustatus::Text(Id), "%s", Arg, Rtl::rfNone), StatusCode, ErrCode);
}

void TWebUpdate::Error()
{
    if (FLastError == 0)
        return;
    if (OnStatus)
        OnStatus(this, FLastErrorText, 1, FLastError);
    else
        Dialogs::MessageBox(nullptr, FLastErrorText, "Error", Dialogs::Button::OK);
}

void TWebUpdate::SetError(int Code, const std::string &Text)
{
    FLastError = Code;
    FLastErrorText = Text;
}

void TWebUpdate::Cause(int Code, const std::string &Text)
{
    SetError(Code == 0 ? -1 : Code, Text);
    FCausePending = true;
}

std::string TWebUpdate::TooLargeText(int64_t Limit, const std::string &Url)
{
    return "The file is too large (more than " + std::to_string(Limit) + " bytes): " + Url;
}

std::string TWebUpdate::AnnouncedTooLargeText(int64_t Announced, int64_t Limit, const std::string &Url)
{
    const std::string limit = std::to_string(Limit);
    if (Announced < 0)
        return "The file is too large (the server announced more than " + limit + " bytes): " + Url;
    return "The file is too large (the server announced " + std::to_string(Announced) + " bytes, more than " + limit +
           "): " + Url;
}

void TWebUpdate::Pump()
{
    if (ProcessMessages)
        ProcessMessages();
}

bool TWebUpdate::AskCancel()
{
    bool cancel = false;
    if (OnProgressCancel)
        OnProgressCancel(this, cancel);
    return cancel;
}

std::unique_ptr<TWebUpdateConnection> TWebUpdate::OpenInternet()
{
    std::unique_ptr<TWebUpdateConnection> c(new TWebUpdateConnection);
    c->Curl = curl_easy_init();
    c->Multi = curl_multi_init();
    if (!c->Curl || !c->Multi)
        return nullptr;
    CURL *h = static_cast<CURL *>(c->Curl);
    curl_easy_setopt(h, CURLOPT_USERAGENT, "WebUpdate");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    if (!Proxy.empty())
        curl_easy_setopt(h, CURLOPT_PROXY, Proxy.c_str());
    return c;
}

// ---- the transfer loop ----------------------------------------------------

struct TWebUpdate::TTransfer {
    bool Body = true;              // false: connect and log in only
    bool Http = false;
    std::string Target;            // name reported to OnFileProgress
    int Fd = -1;
    std::string TempFile;
    std::string Url;               // the address as given, for messages
    int64_t Limit = 0;             // the most the file may hold
    int64_t Total = 0;
    int64_t Expected = 0;
    bool Started = false;          // the answer was looked at and accepted
    long BadStatus = 0;            // an HTTP status of 300 or more
    bool Cancelled = false;
    bool Failed = false;
    bool Refused = false;          // the address or the server failed the transfer rules
    bool OffLoopback = false;      // a plain transfer was led to a host off this machine
    TWebUpdate *Owner = nullptr;
    CURL *Curl = nullptr;
    std::exception_ptr Thrown;     // an error of a handler, raised again once libcurl has returned
};

struct TTransferAccess {
    static size_t Write(char *data, size_t size, size_t count, void *user)
    {
        auto *t = static_cast<TWebUpdate::TTransfer *>(user);
        const size_t n = size * count;
        // Nothing may unwind through libcurl.
        try {
            return t->Owner->Block(*t, data, n) ? n : 0;
        } catch (...) {
            t->Thrown = std::current_exception();
            return 0;
        }
    }
    static size_t Header(char *data, size_t size, size_t count, void *user)
    {
        auto *t = static_cast<TWebUpdate::TTransfer *>(user);
        const size_t n = size * count;
        return t->Owner->HeaderLine(*t, data, n) ? n : 0;
    }
};

bool TWebUpdate::AnnouncedLength(const char *Line, size_t Size, int64_t &Length)
{
    static constexpr char Name[] = "content-length:";
    const size_t nameSize = sizeof Name - 1;
    if (Size <= nameSize || strncasecmp(Line, Name, nameSize) != 0)
        return false;
    size_t i = nameSize;
    while (i < Size && (Line[i] == ' ' || Line[i] == '\t'))
        ++i;
    int64_t announced = 0;
    bool any = false;
    for (; i < Size && Line[i] >= '0' && Line[i] <= '9'; ++i, any = true)
        announced = announced > (INT64_MAX - 9) / 10 ? INT64_MAX : announced * 10 + (Line[i] - '0');
    Length = announced;
    return any;
}

bool TWebUpdate::HeaderLine(TTransfer &T, const char *Line, size_t Size)
{
    int64_t announced = 0;
    if (!T.Http || !T.Body || !AnnouncedLength(Line, Size, announced) || announced <= T.Limit)
        return true;
    long code = 0;
    curl_easy_getinfo(T.Curl, CURLINFO_RESPONSE_CODE, &code);
    if (code < 200 || code >= 300)
        return true;
    Cause(CURLE_FILESIZE_EXCEEDED, AnnouncedTooLargeText(announced, T.Limit, T.Url));
    T.Failed = true;
    return false;
}

bool TWebUpdate::Block(TTransfer &T, const char *Data, size_t Size)
{
    if (!T.Body)
        return true;
    if (!T.Started) {
        if (T.Http) {
            long code = 0;
            curl_easy_getinfo(T.Curl, CURLINFO_RESPONSE_CODE, &code);
            if (code >= 300) {
                T.BadStatus = code;
                return false;
            }
        }
        curl_off_t length = -1;
        curl_easy_getinfo(T.Curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        T.Expected = length > 0 ? int64_t(length) : 0;
        // Refused from the announced length, before a byte is kept.
        if (T.Expected > T.Limit) {
            Cause(CURLE_FILESIZE_EXCEEDED, AnnouncedTooLargeText(T.Expected, T.Limit, T.Url));
            T.Failed = true;
            return false;
        }
        T.TempFile = MakeTempFile(T.Fd);
        if (T.Fd < 0) {
            Cause(errno, std::string("Cannot create a temporary file: ") + std::strerror(errno));
            T.Failed = true;
            return false;
        }
        T.Started = true;
    }
    // The data arrive in pieces of any size; they are worked in blocks.
    while (Size > 0) {
        const size_t n = std::min(Size, NetBlock);
        Pump();
        if (T.Total + int64_t(n) > T.Limit) {
            Cause(CURLE_FILESIZE_EXCEEDED, TooLargeText(T.Limit, T.Url));
            T.Failed = true;
            return false;
        }
        if (!fileio::WriteAll(T.Fd, Data, n)) {
            Cause(errno, std::string("Cannot write a temporary file: ") + std::strerror(errno));
            T.Failed = true;
            return false;
        }
        T.Total += int64_t(n);
        Data += n;
        Size -= n;
        if (OnFileProgress)
            OnFileProgress(this, T.Target, T.Total, T.Expected);
        if (AskCancel()) {
            T.Cancelled = true;
            return false;
        }
    }
    return true;
}

int TWebUpdate::Perform(TWebUpdateConnection &Connection, const std::string &Url, TTransfer &T)
{
    CURL *h = static_cast<CURL *>(Connection.Curl);
    CURLM *m = static_cast<CURLM *>(Connection.Multi);
    T.Owner = this;
    T.Curl = h;
    T.Http = !Connection.Ftp;
    if (T.Http) {
        // Refused before anything is connected.
        std::string why;
        if (!wuaddress::Allowed(Url, why)) {
            T.Refused = true;
            SetError(CURLE_UNSUPPORTED_PROTOCOL, why);
            return CURLE_UNSUPPORTED_PROTOCOL;
        }
    }
    char errorText[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_URL, Url.c_str());
    curl_easy_setopt(h, CURLOPT_NOBODY, T.Body ? 0L : 1L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &TTransferAccess::Write);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &T);
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, long(NetBlock));
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, long(ConnectTimeoutMs));
    curl_easy_setopt(h, CURLOPT_SERVER_RESPONSE_TIMEOUT, long((StallTimeoutMs + 999) / 1000));
    if (T.Limit <= 0)
        T.Limit = MaxFileSize;
    // Over HTTP the announced length is checked in the header callback, so
    // that the refusal can give it; libcurl refuses it over FTP.
    curl_easy_setopt(h, CURLOPT_MAXFILESIZE_LARGE, T.Http ? curl_off_t(0) : curl_off_t(T.Limit));
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &TTransferAccess::Header);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &T);
    // Always from the server, never from a cache.
    struct curl_slist *headers = nullptr;
    if (T.Http) {
        headers = curl_slist_append(headers, "Cache-Control: no-cache");
        headers = curl_slist_append(headers, "Pragma: no-cache");
        wuaddress::Restrict(h, Url, &T.OffLoopback);
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(h, CURLOPT_MAXREDIRS, 10L);
        // The user name and password of an address go to the server as
        // credentials, never into the address itself.
        if (!ProxyUserID.empty()) {
            curl_easy_setopt(h, CURLOPT_USERNAME, ProxyUserID.c_str());
            curl_easy_setopt(h, CURLOPT_PASSWORD, ProxyPassword.c_str());
        } else {
            curl_easy_setopt(h, CURLOPT_USERNAME, nullptr);
            curl_easy_setopt(h, CURLOPT_PASSWORD, nullptr);
        }
    } else {
        curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "ftp");
        // A user name and password only together, otherwise anonymous.
        const bool login = !UserID.empty() && !Password.empty();
        curl_easy_setopt(h, CURLOPT_USERNAME, login ? UserID.c_str() : nullptr);
        curl_easy_setopt(h, CURLOPT_PASSWORD, login ? Password.c_str() : nullptr);
        curl_easy_setopt(h, CURLOPT_FTPPORT, FTPPassive ? nullptr : "-");
        curl_easy_setopt(h, CURLOPT_TRANSFERTEXT, 0L);
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);

    curl_multi_add_handle(m, h);
    // Driven in slices: between them the host's windows work, and a transfer
    // that brings no byte for StallTimeoutMs is given up.
    using Clock = std::chrono::steady_clock;
    auto lastActivity = Clock::now();
    int64_t lastTotal = -1;
    CURLcode result = CURLE_OK;
    bool stalled = false;
    int running = 1;
    while (true) {
        if (curl_multi_perform(m, &running) != CURLM_OK) {
            result = CURLE_FAILED_INIT;
            break;
        }
        if (running == 0)
            break;
        const auto now = Clock::now();
        if (T.Total != lastTotal) {
            lastTotal = T.Total;
            lastActivity = now;
        }
        const auto idle = std::chrono::duration_cast<std::chrono::milliseconds>(now - lastActivity).count();
        const long left = long(StallTimeoutMs) - long(idle);
        if (left <= 0) {
            stalled = true;
            break;
        }
        Pump();
        curl_multi_poll(m, nullptr, 0, int(std::min(left, 100L)), nullptr);
    }
    if (!stalled) {
        int queued = 0;
        while (CURLMsg *msg = curl_multi_info_read(m, &queued))
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == h)
                result = msg->data.result;
    } else {
        result = CURLE_OPERATION_TIMEDOUT;
    }
    curl_multi_remove_handle(m, h);
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, nullptr);
    curl_slist_free_all(headers);
    if (T.Fd >= 0) {
        close(T.Fd);
        T.Fd = -1;
    }
    if (T.Thrown) {
        if (!T.TempFile.empty())
            unlink(T.TempFile.c_str());
        std::rethrow_exception(T.Thrown);
    }
    if (result == CURLE_FILESIZE_EXCEEDED && !T.Failed && !T.Cancelled) {
        // libcurl refused it from the size the server announced.
        Cause(CURLE_FILESIZE_EXCEEDED, AnnouncedTooLargeText(-1, T.Limit, T.Url));
        T.Failed = true;
    } else if (result != CURLE_OK && !T.Failed && !T.Cancelled) {
        std::string refusal = T.Http && !stalled ? wuaddress::RefusalText(int(result), errorText) : "";
        if (T.Http && T.OffLoopback) {
            char *target = nullptr;
            curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &target);
            refusal = wuaddress::OffLoopbackText(target ? target : T.Url);
        }
        T.Refused = !refusal.empty();
        const std::string text = T.Refused ? refusal : stalled ? "The transfer stalled" : curl_easy_strerror(result);
        // A transfer that had begun has no status of its own: its cause is
        // told.
        if (T.Started)
            Cause(int(result), text + ": " + T.Url);
        else
            SetError(int(result), text);
    }
    return int(result);
}

bool TWebUpdate::Fetch(TWebUpdateConnection &Connection, const std::string &Url, const std::string &Target,
                       int64_t Limit, std::string &TempFile)
{
    std::string address = Url;
    if (Connection.Ftp) {
        // The file of that name in the FTP folder.
        std::string dir = FTPDirectory.empty() ? std::string() : wupaths::Slashes(ExpandPath(FTPDirectory));
        FTPDirectorySet = true;
        address = Connection.FtpBase;
        if (!dir.empty() && dir[0] == '/')
            address += "%2F";
        std::string seg;
        for (char c : dir + "/") {
            if (c != '/') {
                seg += c;
                continue;
            }
            if (!seg.empty()) {
                char *e = curl_easy_escape(static_cast<CURL *>(Connection.Curl), seg.c_str(), int(seg.size()));
                address += std::string(e ? e : "") + "/";
                curl_free(e);
            }
            seg.clear();
        }
        const std::string name = URLtoFile(Url);
        char *e = curl_easy_escape(static_cast<CURL *>(Connection.Curl), name.c_str(), int(name.size()));
        address += e ? e : "";
        curl_free(e);
    }
    TTransfer t;
    t.Target = Target;
    t.Url = Url;
    t.Limit = Limit;
    const int result = Perform(Connection, address, t);
    long code = 0;
    if (!Connection.Ftp)
        curl_easy_getinfo(static_cast<CURL *>(Connection.Curl), CURLINFO_RESPONSE_CODE, &code);
    if (t.BadStatus == 0 && result == CURLE_OK && code >= 300)
        t.BadStatus = code;
    auto drop = [&] {
        if (!t.TempFile.empty())
            unlink(t.TempFile.c_str());
        return false;
    };
    if (t.BadStatus != 0) {
        DoStatus(wustatus::HttpStatus, std::to_string(t.BadStatus), 6, int32_t(t.BadStatus));
        SetError(int(t.BadStatus), "Http status : " + std::to_string(t.BadStatus));
        return drop();
    }
    if (!t.Started && !t.Cancelled && !t.Failed && result != CURLE_OK) {
        // A refusal says why before the file counts as not found.
        if (t.Refused)
            Error();
        DoStatus(wustatus::FileNotFound, Url, 2, 1);
        return drop();
    }
    // A cancel, a failed or short read, or no byte at all.
    if (result != CURLE_OK || t.Cancelled || t.Failed || t.Total == 0)
        return drop();
    TempFile = t.TempFile;
    return true;
}

bool TWebUpdate::ConnectFTP(TWebUpdateConnection &Connection)
{
    Connection.Ftp = true;
    Connection.FtpBase = "ftp://" + Host + ":" + std::to_string(Port & 0xFFFF) + "/";
    TTransfer t;
    t.Body = false;
    return Perform(Connection, Connection.FtpBase, t) == 0;
}

// ---- transfers --------------------------------------------------------------

std::string TWebUpdate::MakeTempFile(int &Fd)
{
    Fd = -1;
    const std::string dir = GetTempDirectory();
    if (dir.empty())
        return std::string();
    std::string tmpl = dir + "WUPDXXXXXX.TMP";
    Fd = mkostemps(tmpl.data(), 4, O_CLOEXEC);
    return Fd < 0 ? std::string() : tmpl;
}

bool TWebUpdate::Matches(const std::string &FileName, const TWebUpdateExpect &Expect)
{
    if (Expect.Size > 0 && GetFileSizeByName(FileName) != Expect.Size) {
        Cause(-1, "The file's size differs from the announced size " + std::to_string(Expect.Size));
        return false;
    }
    if (Expect.Checksum && ChecksumOfFile(FileName) != *Expect.Checksum) {
        Cause(-1, "The file's checksum differs from the announced checksum " + std::to_string(*Expect.Checksum));
        return false;
    }
    return true;
}

bool TWebUpdate::Install(const std::string &TempFile, const std::string &Target, const TWebUpdateExpect &Expect)
{
    bool ok = Matches(TempFile, Expect);
    if (ok) {
        fileio::AtomicWriter out;
        const int fd = open(TempFile.c_str(), O_RDONLY | O_CLOEXEC);
        ok = fd >= 0 && out.Open(Target, false);
        char buf[65536];
        while (ok) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            ok = out.Write(buf, size_t(n));
        }
        if (fd >= 0)
            close(fd);
        ok = ok && out.Commit();
        if (!ok)
            Cause(errno, "Cannot write " + Target + ": " + std::strerror(errno));
    }
    unlink(TempFile.c_str());
    return ok;
}

bool TWebUpdate::URLGetFile(TWebUpdateConnection *Connection, const std::string &Url, const std::string &Folder,
                            bool Compressed, const TWebUpdateExpect &Expect, int64_t Limit)
{
    FCausePending = false;
    const bool ok = GetFile(Connection, Url, Folder, Compressed, Expect, Limit > 0 ? Limit : MaxFileSize);
    // A failure without a status of its own is told with its cause.
    if (!ok && FCausePending) {
        FCausePending = false;
        Error();
    }
    return ok;
}

bool TWebUpdate::GetFile(TWebUpdateConnection *Connection, const std::string &Url, const std::string &Folder,
                         bool Compressed, const TWebUpdateExpect &Expect, int64_t Limit)
{
    DoStatus(wustatus::Download, Url, 3, 0);
    const std::string name = URLtoFile(Url);
    const std::string folder = wupaths::Slashes(Folder);
    const bool copy = UpdateType == TWebUpdateType::fileUpdate;
    const bool expand = Compressed && Rtl::UpperCase(name).find(".CAB") == std::string::npos;

    // A copy may name the target file itself; a download lands in the folder
    // under the address's file name. Either way one plain name.
    std::string target = WithSlash(folder.empty() ? AppFolder : folder) + name;
    if (copy && !folder.empty() && folder.back() != '/')
        target = folder;
    if (!copy && !Connection) {
        DoStatus(wustatus::FileNotFound, Url, 2, 1);
        return false;
    }
    const std::string targetName = Rtl::ExtractFileName(target);
    if (!SafeFileName(targetName)) {
        // Why, before the file counts as not found.
        SetError(-1, (targetName.empty() ? "The address names no file: " : "The address names no plain file: ") + Url);
        Error();
        DoStatus(wustatus::FileNotFound, Url, 2, 1);
        return false;
    }
    // Expect applies to what ends up installed: the expansion of a packed
    // file, else the file itself.
    TLzInfo info;
    bool packed = false;
    if (copy) {
        packed = expand && LzInspect(Url, info);
        if (!FileGetFile(Url, target, packed ? TWebUpdateExpect() : Expect, Limit))
            return false;
    } else {
        std::string temp;
        if (!Fetch(*Connection, Url, target, Limit, temp))
            return false;
        packed = expand && LzInspect(temp, info);
        if (!Install(temp, target, packed ? TWebUpdateExpect() : Expect))
            return false;
    }
    CustomProcess(target);
    return !expand || ExpandLZFile(target, packed ? Expect : TWebUpdateExpect());
}

bool TWebUpdate::FileGetFile(const std::string &Source, const std::string &Target, const TWebUpdateExpect &Expect,
                             int64_t Limit)
{
    if (Limit <= 0)
        Limit = MaxFileSize;
    if (Source == Target) {
        DoStatus(wustatus::EqualFiles, Source, 10, 3);
        return false;
    }
    const int src = open(Source.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (src < 0 || fstat(src, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (src >= 0)
            close(src);
        DoStatus(wustatus::CopySourceNotFound, Source, 2, 1);
        return false;
    }
    const off_t length = lseek(src, 0, SEEK_END);
    if (length <= 0 || lseek(src, 0, SEEK_SET) != 0) {
        close(src);
        DoStatus(wustatus::ZeroLengthSource, Source, 10, 2);
        return false;
    }
    int fd;
    const std::string temp = MakeTempFile(fd);
    if (fd < 0) {
        close(src);
        return false;
    }
    bool failed = length > Limit;
    if (failed)
        Cause(CURLE_FILESIZE_EXCEEDED, TooLargeText(Limit, Source));
    bool cancel = false;
    int64_t total = 0;
    char buf[CopyBlock];
    while (!failed && !cancel) {
        const ssize_t n = read(src, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            failed = true;
            break;
        }
        if (n == 0)
            break;
        if (total + n > Limit) {
            Cause(CURLE_FILESIZE_EXCEEDED, TooLargeText(Limit, Source));
            failed = true;
            break;
        }
        if (!fileio::WriteAll(fd, buf, size_t(n))) {
            Cause(errno, std::string("Cannot write a temporary file: ") + std::strerror(errno));
            failed = true;
            break;
        }
        total += n;
        if (OnFileProgress)
            OnFileProgress(this, Source, total, int64_t(length));
        cancel = AskCancel();
        Pump();
    }
    close(src);
    close(fd);
    if (failed || cancel) {
        unlink(temp.c_str());
        return false;
    }
    return Install(temp, Target, Expect);
}

bool TWebUpdate::ExpandLZFile(const std::string &FileName, const TWebUpdateExpect &Expect)
{
    TLzInfo info;
    if (!LzInspect(FileName, info))
        return true;   // not packed: it stays as it is
    const std::string expanded = LzExpandedName(FileName, info.MissingChar);
    if (info.Length > MaxFileSize) {
        // Its header announces more than may be expanded: refused before
        // anything is expanded, and the old file stays.
        Cause(CURLE_FILESIZE_EXCEEDED, "The expanded file would be too large (" + std::to_string(info.Length) +
                                           " bytes announced, at most " + std::to_string(MaxFileSize) +
                                           " allowed): " + FileName);
        if (expanded != FileName)
            unlink(FileName.c_str());
        return false;
    }
    int fd;
    const std::string temp = MakeTempFile(fd);
    if (fd >= 0)
        close(fd);
    std::string why = fd >= 0 ? std::string() : std::string("no temporary file: ") + std::strerror(errno);
    bool ok = fd >= 0 && LzExpand(FileName, temp, MaxFileSize, &why);
    if (!ok) {
        Cause(-1, "Cannot expand " + FileName + ": " + why);
        if (!temp.empty())
            unlink(temp.c_str());
    } else {
        ok = Install(temp, expanded, Expect);
    }
    if (expanded != FileName)
        unlink(FileName.c_str());
    return ok;
}

void TWebUpdate::CustomProcess(const std::string &FileName)
{
    if (OnFileDownloaded)
        OnFileDownloaded(this, FileName);
}

// ---- paths ------------------------------------------------------------------

std::string TWebUpdate::URLtoFile(const std::string &Url)
{
    std::string s = Url;
    size_t p = s.rfind('/');
    if (p != std::string::npos)
        s = s.substr(p + 1);
    p = s.rfind('\\');
    if (p != std::string::npos)
        s = s.substr(p + 1);
    return s;
}

std::string TWebUpdate::MakeProxyUrl(const std::string &Url, const std::string &User, const std::string &Password)
{
    if (User.empty() || Rtl::UpperCase(Rtl::Copy(Url, 1, 7)) != "HTTP://")
        return Url;
    return "http://" + User + ":" + Password + "@" + Rtl::Copy(Url, 8);
}

std::string TWebUpdate::ExpandPath(const std::string &Path)
{
    std::string s = Path;
    if (OnConvertPrefix)
        OnConvertPrefix(this, s);
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] != '{') {
            out += s[i++];
            continue;
        }
        const size_t close = s.find('}', i + 1);
        if (close == std::string::npos) {
            out += s.substr(i);
            break;
        }
        std::string folder;
        ConvertPrefix(Rtl::UpperCase(s.substr(i + 1, close - i - 1)), folder);
        out += folder.empty() ? s.substr(i, close - i + 1) : folder;
        i = close + 1;
    }
    // The publisher writes paths with '\' between the names.
    return wupaths::Slashes(out);
}

void TWebUpdate::ConvertPrefix(const std::string &Prefix, std::string &Folder)
{
    std::string f;
    if (Prefix == "WIN") {
        const char *home = getenv("HOME");
        f = home ? home : "";
    } else if (Prefix == "APP") {
        f = AppFolder.empty() ? "/" : AppFolder;
    } else if (Prefix == "TMP") {
        f = GetTempDirectory();
    } else {
        return;
    }
    if (f.empty())
        return;
    while (f.size() > 1 && f.back() == '/')
        f.pop_back();
    if (f == "/")
        f = "/.";
    Folder = f;
}

bool TWebUpdate::ConfinePath(const std::string &Path, std::string &Resolved)
{
    Resolved.clear();
    std::string p = wupaths::Slashes(ExpandPath(Path));
    if (p.empty())
        return false;
    if (p[0] != '/')
        p = WithSlash(AppFolder.empty() ? "/" : AppFolder) + p;
    // No part may climb, even one that would fold away inside the folder.
    if (("/" + p + "/").find("/../") != std::string::npos)
        return false;
    std::string folded;
    if (!wupaths::FoldPath(p, folded))
        return false;
    const bool inApp = !AppFolder.empty() && wupaths::IsInside(AppFolder, folded);
    const bool inTemp = !FTempDirectory.empty() && wupaths::IsInside(FTempDirectory, folded);
    if (!inApp && !inTemp)
        return false;
    if (p.back() == '/' && folded.back() != '/')
        folded += '/';
    Resolved = folded;
    return true;
}

std::string TWebUpdate::GetTempDirectory()
{
    // Made with an owner file, after the left-overs of ended processes are
    // gone.
    if (FTempDirectory.empty())
        FTempDirectory = wutemp::Make();
    return FTempDirectory.empty() ? std::string() : FTempDirectory + "/";
}

std::string TWebUpdate::AddBackslash(const std::string &Text)
{
    return WithSlash(Text);
}

bool TWebUpdate::DirExists(const std::string &Path)
{
    struct stat st;
    return !Path.empty() && stat(Path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool TWebUpdate::CreateDirectoryPath(const std::string &Folder)
{
    std::string f = wupaths::Slashes(Folder);
    while (f.size() > 1 && f.back() == '/')
        f.pop_back();
    if (f.size() < 2 || DirExists(f))
        return true;
    const size_t slash = f.rfind('/');
    if (slash != std::string::npos && slash > 0 && !CreateDirectoryPath(f.substr(0, slash)))
        return false;
    fileio::CheckHeldFolder(f);
    return mkdir(f.c_str(), 0777) == 0 || (errno == EEXIST && DirExists(f));
}

// ---- newness tests ----------------------------------------------------------

bool TWebUpdate::CheckVersions(const std::string &NewVersion, const std::string &LocalFile, int64_t NewSize,
                               std::optional<uint32_t> NewChecksum)
{
    if (NewVersion.empty() && NewSize == 0 && !NewChecksum)
        return true;
    if (LocalFile.empty())
        return true;
    bool answer = false;
    if (NewChecksum)
        answer = ChecksumOfFile(LocalFile) != *NewChecksum;
    if (NewSize > 0) {
        const int64_t size = GetFileSizeByName(LocalFile);
        return size != NewSize && size > 0;
    }
    const TVersionDwords installed = GetFileVersionDwords(LocalFile);
    const TVersionDwords published = ParseVersionString(NewVersion);
    if (published.High == -1 || published.Low == -1)
        return answer;
    if (published.High > installed.High || (published.High == installed.High && published.Low > installed.Low))
        return true;
    return answer;
}

uint32_t TWebUpdate::ChecksumOfFile(const std::string &FileName) const
{
    return UseCRC32 ? CRC32ChecksumOfFile(FileName) : SumChecksumOfFile(FileName);
}

int64_t GetFileSizeByName(const std::string &FileName)
{
    const int fd = open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat st;
    const bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    close(fd);
    return ok ? int64_t(st.st_size) : 0;
}

uint32_t SumChecksumOfFile(const std::string &FileName)
{
    uint32_t sum = 0xFFFFFFFFu;
    const int fd = open(FileName.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return sum;
    uint8_t buf[4096];
    while (true) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n; ++i)
            sum += buf[i];
    }
    close(fd);
    return sum;
}
