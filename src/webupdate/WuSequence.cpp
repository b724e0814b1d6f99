// The update run: the control file's instructions in their fixed order.
#include "webupdate/WUpdate.h"

#include "platform/Classes.h"
#include "platform/Dialogs.h"
#include "platform/Rtl.h"
#include "webupdate/Cabfdi.h"
#include "webupdate/WuControl.h"
#include "webupdate/WuDates.h"
#include "webupdate/WuPaths.h"
#include "webupdate/WuProcess.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Every two-character "\n" of a message becomes a line break.
std::string Lines(const std::string &text)
{
    return Rtl::StringReplace(text, "\\n", "\n", Rtl::rfReplaceAll);
}

bool InComps(const std::string &comps, const std::string &name)
{
    return !name.empty() && Rtl::UpperCase(comps).find(Rtl::UpperCase(name)) != std::string::npos;
}

// Restores a flag on leaving a scope.
struct FlagScope {
    bool &flag;
    explicit FlagScope(bool &f) : flag(f) { flag = true; }
    ~FlagScope() { flag = false; }
};

} // namespace

void TWebUpdate::DoThreadUpdate()
{
    if (FBusy || FRunning)
        return;
    FBusy = true;
    std::shared_ptr<bool> alive = FAlive;
    auto run = [this, alive] {
        if (!*alive)
            return;
        // The run reports its own failures; whatever might still escape it
        // never keeps the done event from coming.
        try {
            DoUpdate();
        } catch (const std::exception &e) {
            if (*alive)
                RunFailed(e.what());
        } catch (...) {
            if (*alive)
                RunFailed("");
        }
        if (*alive)
            ThreadDone();
    };
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, run, Qt::QueuedConnection);
    else
        run();
}

void TWebUpdate::ThreadDone()
{
    // The done event comes once; a failure in its handler is reported like
    // any other failure of the run, and takes the restart with it.
    std::string failure;
    bool failed = false;
    try {
        if (OnThreadUpdateDone)
            OnThreadUpdateDone(this);
    } catch (const std::exception &e) {
        failed = true;
        failure = e.what();
    } catch (...) {
        failed = true;
    }
    FBusy = false;
    if (failed) {
        Step();
        RunFailed(failure);
        return;
    }
    if (RestartRequested && AppCompUpdated)
        RestartReported();
}

void TWebUpdate::Step(int Id, int32_t StatusCode, const std::string &Arg, int32_t ErrCode)
{
    FStep = TStepFailure{Id, Arg, StatusCode, ErrCode};
}

void TWebUpdate::RunFailed(const std::string &Why)
{
    RestartRequested = false;
    const TStepFailure step = FStep;
    try {
        SetError(-1, Why.empty() ? std::string("The update failed") : Why);
        Error();
        DoStatus(step.Id, step.Arg, step.StatusCode, step.ErrCode);
    } catch (...) {
        // The status handler failed as well: the cause still reaches the user.
        Dialogs::MessageBox(nullptr, FLastErrorText, "Error", Dialogs::Button::OK);
    }
}

void TWebUpdate::RestartReported()
{
    // A failure before the updater started is a failed start; one in closing
    // the application stopped the updater again, and the run failed.
    FClosingFailed = false;
    std::string why;
    try {
        DoRestart();
        return;
    } catch (const std::exception &e) {
        why = e.what();
    } catch (...) {
    }
    if (FClosingFailed)
        Step();
    else
        Step(wustatus::SpawnFailed, 9, why);
    RunFailed(why);
}

bool TWebUpdate::Question(const std::string &Text)
{
    return Dialogs::MessageBox(nullptr, Text, "Confirm", Dialogs::Button::Yes | Dialogs::Button::No,
                               Dialogs::Icon::Question) == Dialogs::Button::Yes;
}

void TWebUpdate::RunCommand(const std::string &CommandLine)
{
    // Only a program of the application folder, never through a shell; it
    // runs on its own.
    const pid_t pid = wuprocess::SpawnInFolder(AppFolder, CommandLine, wuprocess::InFolder(AppFolder));
    if (pid < 0) {
        const int err = errno;
        SetError(err ? err : -1, err == EACCES ? "A program outside the program folder was refused: " + CommandLine
                                               : "Cannot start " + CommandLine + ": " + std::strerror(err));
        Error();
    } else {
        wuprocess::ReapLater(pid);
    }
}

void TWebUpdate::ShowURL(const std::string &Url)
{
    const std::string scheme = Rtl::LowerCase(Url.substr(0, Url.find(':') == std::string::npos ? 0 : Url.find(':')));
    if (scheme != "http" && scheme != "https")
        return;
    Dialogs::ShellOpen(MakeProxyUrl(Url, ProxyUserID, ProxyPassword));
}

void TWebUpdate::DoUpdate()
{
    if (FRunning)
        return;
    FlagScope running(FRunning);
    AppCompUpdated = false;
    FTPDirectorySet = false;
    FInstalledFiles = 0;
    FFilesInPlace = false;
    const bool internet = UpdateType != TWebUpdateType::fileUpdate;
    std::unique_ptr<TWebUpdateConnection> connection;
    std::string copy;
    // Every step may fail with an error: the step's failure status ends the
    // run, which closes as usual.
    try {
        Step(wustatus::ControlFileNotFound, 2);
        std::string address = URLGet();
        if (address.empty())
            address = URL;
        address = ExpandPath(address);

        bool connected = !internet;
        if (internet) {
            Step(wustatus::CannotOpenConnection, 1);
            DoStatus(wustatus::CheckingConnection, "", 3, 0);
            // The connection always counts as present: nothing to dial.
            DoStatus(wustatus::FoundConnection, "", 3, 0);
            connection = OpenInternet();
            if (!connection) {
                DoStatus(wustatus::CannotOpenConnection, "", 1, 0);
            } else if (UpdateType == TWebUpdateType::ftpUpdate) {
                Step(wustatus::CannotConnectHost, 1, Host);
                DoStatus(wustatus::ConnectHost, Host, 3, 3);
                if (!ConnectFTP(*connection)) {
                    Error();
                    connection.reset();
                    DoStatus(wustatus::CannotConnectHost, Host, 1, 0);
                } else {
                    connected = true;
                }
            } else {
                connected = true;
            }
        }

        if (connected) {
            Step(wustatus::ControlFileNotFound, 2);
            copy = GetTempDirectory() + URLtoFile(address);
            // The control file is refused beyond its limit while it comes.
            if (!URLGetFile(connection.get(), address, GetTempDirectory(), false, {}, TUpdateControlFile::MaxBytes)) {
                DoStatus(wustatus::ControlFileNotFound, "", 2, 0);
            } else {
                TUpdateControlFile ini;
                if (!ini.LoadFromFile(copy)) {
                    DoStatus(wustatus::ControlFileNotFound, "", 2, 0);
                } else {
                    // Found: from here a failure is one of the run.
                    Step();
                    DoStatus(wustatus::ControlFileFound, "", 3, 0);
                    RunSteps(connection.get(), ini, address);
                }
            }
        }
    } catch (const std::exception &e) {
        // An error inside the run ends the run, not the program.
        RunFailed(e.what());
    } catch (...) {
        RunFailed("");
    }

    // Closing: its status may fail like any step; nothing of the run stays
    // in the temporary folder either way.
    connection.reset();
    if (!copy.empty())
        unlink(copy.c_str());
    RemoveTempDirectory();
    if (internet) {
        try {
            Step();
            DoStatus(wustatus::ClosedConnection, "", 3, 0);
        } catch (const std::exception &e) {
            RunFailed(e.what());
        } catch (...) {
            RunFailed("");
        }
    }
    if (RestartRequested && AppCompUpdated && !FBusy)
        RestartReported();
}

bool TWebUpdate::RunSteps(TWebUpdateConnection *Connection, TUpdateControlFile &Ini, const std::string &)
{
    // Signature.
    if (SignatureCheck && Ini.Value("update", "signature") != Signature) {
        DoStatus(wustatus::InvalidSignature, "", 11, 4);
        return false;
    }

    // Date.
    double versionDate = wudates::BaseDate();
    bool dateBased = false, validTime = false;
    const std::string dateText = Ini.Value("update", "date");
    if (!dateText.empty()) {
        DoStatus(wustatus::DateUpdateFound, "", 3, 0);
        double date = 0;
        const bool validDate = wudates::ParseDate(dateText, DateFormat, DateSeparator, date);
        if (validDate)
            versionDate = date;
        const std::string timeText = Ini.Value("update", "time");
        double time = 0;
        if (!timeText.empty() && wudates::ParseTime(timeText, TimeFormat, TimeSeparator, time)) {
            validTime = true;
            versionDate += time;
        }
        // A date that cannot be read is never newer than the remembered one.
        if (!validDate || UpdateDateGet() >= versionDate) {
            DoStatus(wustatus::NoNewVersion, "", 4, 0);
            return false;
        }
        dateBased = true;
        // Read in the control file's format, told in the system's.
        DoStatus(wustatus::NewVersionFound, wudates::SystemShortDate(versionDate), 5, 0);
    }

    // Post.
    if (PostUpdateInfo().Enabled) {
        Step(wustatus::PostResourceFailed, 17, "", 5);
        DoPostUpdateInfo();
        bool allow = true;
        if (OnProcessPostResult)
            OnProcessPostResult(this, allow);
        if (!allow)
            return false;
        Step();
    }

    // Version tests.
    const bool skipTests = (dateBased && validTime) || (!validTime && !Ini.Value("update", "unconditional").empty());
    if (!skipTests) {
        const std::string newVersion = Ini.Value("update", "newversion");
        const int64_t newSize = Ini.Size("update", "newsize");
        const std::string localVersion = wupaths::Slashes(ExpandPath(Ini.Value("update", "localversion")));
        const std::optional<uint32_t> newChecksum = Ini.Checksum("update", "newchecksum");
        if ((!newVersion.empty() || newSize > 0 || newChecksum) && !localVersion.empty()) {
            if (newChecksum)
                DoStatus(wustatus::ChecksumUpdate, "", 3, 0);
            else if (newSize > 0)
                DoStatus(wustatus::SizeUpdate, "", 3, 0);
            else
                DoStatus(wustatus::VersionUpdate, "", 3, 0);
        }
        if (!CheckVersions(newVersion, localVersion, newSize, newChecksum)) {
            DoStatus(wustatus::NoNewVersion, "", 4, 0);
            return false;
        }
        DoStatus(wustatus::NewVersionFound, newVersion, 5, 0);
    }

    // Custom.
    if (OnCustomValidate) {
        bool allow = true;
        OnCustomValidate(this, Ini.Value("custom", "validatemsg"), Ini.Value("custom", "validateparam"), allow);
        if (!allow)
            return false;
    }
    if (OnCustomProcess)
        OnCustomProcess(this, Ini.Value("custom", "processmsg"), Ini.Value("custom", "processparam"));

    // Application.
    RestartRequested = Ini.Integer("application", "appupdate", 0) == 1;
    AppName = ExpandPath(Ini.Value("application", "appname"));
    if (AppName.empty())
        RestartRequested = false;
    {
        const size_t blank = AppName.find(' ');
        const std::string command = blank == std::string::npos ? AppName : AppName.substr(0, blank);
        std::string params = blank == std::string::npos ? std::string() : AppName.substr(blank + 1);
        if (OnSetAppParams)
            OnSetAppParams(this, params);
        if (!params.empty())
            AppName = command + " " + params;
        if (AppName.find(' ') != std::string::npos)
            AppName = "\"" + AppName + "\"";
    }
    AppComps = ExpandPath(Ini.Value("application", "appcomps"));
    SilentRestart = Ini.Integer("application", "silentrestart", 0) == 1;

    // Message.
    const std::string msg = Lines(Ini.Value("action", "msg"));
    if (!msg.empty()) {
        DoStatus(wustatus::MessageInstruction, "", 3, 0);
        Dialogs::MessageBox(nullptr, msg, "Information", Dialogs::Button::OK, Dialogs::Icon::Information);
    }
    if (!ExpandPath(Ini.Value("action", "htmldlg")).empty())
        DoStatus(wustatus::HtmlDialogInstruction, "", 7, 0);
    const std::string before = ExpandPath(Ini.Value("action", "runbefore"));
    if (!before.empty())
        RunCommand(before);

    // Query.
    const std::string query = Lines(Ini.Value("action", "query"));
    if (!query.empty()) {
        DoStatus(wustatus::QueryInstruction, "", 3, 0);
        if (Dialogs::MessageBox(nullptr, query, "Information", Dialogs::Button::Yes | Dialogs::Button::No,
                                Dialogs::Icon::Information) == Dialogs::Button::No) {
            RestartRequested = false;
            return false;
        }
    }

    // What's new and agreement.
    const std::string whatsNew = Ini.Value("whatsnew", "file");
    if (!whatsNew.empty()) {
        DoStatus(wustatus::WhatsNewInstruction, "", 12, 0);
        Step(wustatus::WhatsNewRefused, 14);
        if (WhatsNewDialog(Connection, whatsNew, Ini.Value("whatsnew", "caption"), Ini.Value("whatsnew", "okbtn", "Ok"),
                           Ini.Value("whatsnew", "cancelbtn", "Cancel")) != 1) {
            DoStatus(wustatus::WhatsNewRefused, "", 14, 0);
            RestartRequested = false;
            return false;
        }
    }
    const std::string eula = Ini.Value("eula", "file");
    if (!eula.empty()) {
        DoStatus(wustatus::LicenseInstruction, "", 13, 0);
        Step(wustatus::LicenseRefused, 15);
        if (EULADialog(Connection, eula, Ini.Value("eula", "caption"), Ini.Value("eula", "okbtn", "Ok"),
                       Ini.Value("eula", "accept", "I accept"), Ini.Value("eula", "notaccept", "I do not accept")) != 1) {
            DoStatus(wustatus::LicenseRefused, "", 15, 0);
            RestartRequested = false;
            return false;
        }
    }

    Step();
    if (dateBased)
        UpdateDatePut(versionDate);
    if (Utility && ApplyPatch)
        ExtractUtility();
    const std::string updateUrl = Ini.Value("action", "updateURL");
    if (!updateUrl.empty()) {
        DoStatus(wustatus::RedirectInstruction, "", 3, 0);
        URLPut(updateUrl);
    }
    const std::string showUrl = ExpandPath(Ini.Value("action", "showURL"));
    if (!showUrl.empty()) {
        DoStatus(wustatus::ShowUrlInstruction, "", 3, 0);
        ShowURL(showUrl);
    }

    if (!Ini.Value("files", "count").empty())
        WorkFiles(Connection, Ini);
    FFilesInPlace = FInstalledFiles > 0;
    Step();

    const std::string after = ExpandPath(Ini.Value("action", "runafter"));
    if (!after.empty())
        RunCommand(after);
    DoStatus(wustatus::FinishedControlFile, "", 3, 0);
    return true;
}

void TWebUpdate::WorkFiles(TWebUpdateConnection *Connection, TUpdateControlFile &Ini)
{
    int count = 0;
    if (!Ini.FileCount(count))
        throw std::runtime_error("The update control file's file count is not a whole number from 0 to " +
                                 std::to_string(TUpdateControlFile::MaxFiles) + ": " + Ini.Value("files", "count"));
    TWebUpdateUpdate asking = UpdateUpdate;
    TStringList list;
    if (OnGetFileList) {
        for (int i = 1; i <= count; ++i)
            list.Add(Ini.File(i).Descr);
        OnGetFileList(this, list);
    }
    DoStatus(wustatus::FileUpdateInstruction, "", 3, 0);
    for (int i = 1; i <= count; ++i) {
        Step();
        TUpdateFileEntry e = Ini.File(i);
        const std::string url = ExpandPath(e.Url);
        Step(wustatus::CannotDownloadUpdate, 2, url);
        const std::string entry = OnGetFileList ? (i - 1 < list.Count() ? list[i - 1] : std::string()) : "ok";
        if (url.empty() || entry.empty())
            continue;
        const std::string localVersion = wupaths::Slashes(ExpandPath(e.LocalVersion));
        std::string targetDir;
        bool targetOk = true;
        if (!e.TargetDir.empty()) {
            // The folder must lie inside the application's (or the private
            // temporary) folder.
            targetOk = ConfinePath(AddBackslash(wupaths::Slashes(e.TargetDir)), targetDir);
            if (targetOk && !DirExists(targetDir))
                CreateDirectoryPath(targetDir);
        }
        if (!CheckVersions(e.NewVersion, localVersion, e.NewSize, e.NewChecksum))
            continue;
        if (OnFileVersionCheck && !e.CustomVersion.empty()) {
            bool isNew = true;
            OnFileVersionCheck(this, e.CustomVersion, localVersion, isNew);
            if (!isNew)
                continue;
        }
        DoStatus(wustatus::DownloadUpdate, url, 3, 0);
        if (asking == TWebUpdateUpdate::wuuPromptAll) {
            if (!Question(wustatus::Text(wustatus::DownloadFilePrompt) + URLtoFile(url)))
                continue;
        } else if (asking == TWebUpdateUpdate::wuuPromptOnce) {
            if (!Question(wustatus::Text(wustatus::DownloadFilesPrompt)))
                break;
        }
        const bool ok = targetOk && URLGetFile(Connection, url, targetDir, e.Compressed,
                                               TWebUpdateExpect{e.NewSize, e.NewChecksum});
        if (asking == TWebUpdateUpdate::wuuPromptOnce)
            asking = TWebUpdateUpdate::wuuSilent;
        if (!ok) {
            DoStatus(wustatus::CannotDownloadUpdate, url, 2, 0);
            RestartRequested = false;
            continue;
        }
        const std::string name = URLtoFile(url);
        const std::string folder = targetDir.empty() ? AddBackslash(AppFolder) : targetDir;
        const std::string ext = Rtl::UpperCase(Rtl::ExtractFileExt(name));
        const bool comp = InComps(AppComps, name);
        if (comp)
            AppCompUpdated = true;
        if (ext == ".CAB" && ExtractCAB && !comp) {
            Step(wustatus::CabError, 8, folder + name);
            std::string why;
            if (CabExtract(folder + name, folder, MaxFileSize, &why) != 0) {
                // Why, before the cabinet counts as failed.
                SetError(-1, why);
                Error();
                DoStatus(wustatus::CabError, folder + name, 8, 0);
                continue;
            }
            unlink((folder + name).c_str());
        } else if (ext == ".PAT" && ApplyPatch && !localVersion.empty() && !comp) {
            RunAndWait("patcher.exe " + name + " " + localVersion);
            unlink((folder + name).c_str());
        }
        // A component named "..._new" waits for the updater to be put in place.
        const std::string upper = Rtl::UpperCase(name);
        if (!comp || upper.size() <= 4 || upper.compare(upper.size() - 4, 4, "_NEW") != 0)
            ++FInstalledFiles;
    }
}
