// The restart through the updater that the program carries, and the
// programs the update starts and waits for.
#include "webupdate/WUpdate.h"

#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "platform/FileIO.h"
#include "platform/HandlerGuard.h"
#include "webupdate/WuProcess.h"
#include "webupdate/WuResult.h"
#include "webupdate/WuTemp.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// The updater program, SZDD-compressed at build time.
extern const unsigned char WuUpdaterImage[];
extern const size_t WuUpdaterImageSize;

const char *const TWebUpdate::ClosingFailedText = "The application could not close, the update was stopped";

namespace {

// The application folder by its absolute path, the root as "/".
std::string AbsoluteFolder(const std::string &folder)
{
    const std::string absolute = AppPaths::NormalPath(folder);
    return absolute.empty() ? std::string("/") : absolute;
}

} // namespace

std::vector<std::string> TWebUpdate::UpdaterArguments(const std::string &Updater, pid_t Pid) const
{
    std::vector<std::string> args{Updater, std::to_string(Pid)};
    for (std::string &arg : wuprocess::SplitCommandLine(AppName + " " + AppComps))
        args.push_back(std::move(arg));
    return args;
}

std::string TWebUpdate::UpdaterResultFile() const
{
    const std::string folder = AbsoluteFolder(AppFolder);
    return (folder.back() == '/' ? folder : folder + "/") + "WebUpdate.result";
}

bool TWebUpdate::TakeUpdaterResult(std::vector<std::string> &Lines) const
{
    return wuresult::Take(UpdaterResultFile(), Lines) && !Lines.empty();
}

std::string TWebUpdate::ExtractUpdateResource()
{
    const std::string dir = GetTempDirectory();
    if (dir.empty())
        return std::string();
    const std::string packed = dir + "upd.ex_";
    const std::string updater = dir + "upd.exe";
    if (!fileio::AtomicWriteFile(packed, std::string(reinterpret_cast<const char *>(WuUpdaterImage), WuUpdaterImageSize))) {
        SetError(errno, std::strerror(errno));
        return std::string();
    }
    if (!ExpandLZFile(packed) || chmod(updater.c_str(), 0700) != 0)
        return std::string();
    return updater;
}

void TWebUpdate::DoRestart()
{
    bool allow = true;
    if (OnAppRestart)
        OnAppRestart(this, allow);
    else if (!SilentRestart)
        allow = Dialogs::MessageBox(nullptr, wustatus::Text(wustatus::ShutdownPrompt), "Confirm",
                                    Dialogs::Button::Yes | Dialogs::Button::No,
                                    Dialogs::Icon::Question) == Dialogs::Button::Yes;
    if (!allow)
        return;
    FUpdaterPid = -1;
    // Whatever happens below, the temporary folder does not outlive it
    // unless the updater runs from it.
    struct Leave {
        TWebUpdate &w;
        ~Leave()
        {
            if (w.FUpdaterPid < 0)
                w.RemoveTempDirectory();
        }
    } leave{*this};
    const std::string updater = ExtractUpdateResource();
    int err = errno;
    if (!updater.empty()) {
        // The updater waits on this process itself, not on a number that
        // could be reused: it gets a descriptor of it. It works in the
        // application folder, where the components are, and starts the
        // program again on that folder: both by absolute paths, so neither
        // a relative MIXDECK_HOME nor the folder the updater works in can
        // lead it anywhere else.
        const std::string folder = AbsoluteFolder(AppFolder);
        const int pidfd = int(syscall(SYS_pidfd_open, getpid(), 0));
        wuprocess::SpawnOptions options;
        options.cwd = folder;
        options.extraEnv.push_back("MIXDECK_HOME=" + folder);
        if (!RestartProgram.empty())
            options.extraEnv.push_back(std::string(wuprocess::ProgramVariable) + "=" + RestartProgram);
        // What the updater cannot do is shown at the next start.
        options.extraEnv.push_back(std::string(wuresult::ResultVariable) + "=" + UpdaterResultFile());
        if (pidfd >= 0) {
            options.passFd = pidfd;
            options.extraEnv.push_back(std::string(wuprocess::PidFdVariable) + "=3");
        }
        FUpdaterPid = wuprocess::Spawn(updater, UpdaterArguments(updater, getpid()), options);
        err = errno;
        if (pidfd >= 0)
            close(pidfd);
    }
    if (FUpdaterPid < 0) {
        // The application goes on when its updater cannot start.
        DoStatus(wustatus::SpawnFailed, std::strerror(err ? err : ENOENT), 9, err);
        return;
    }
    // The updater runs from the temporary folder and removes it at its end.
    const std::string updaterFolder = FTempDirectory;
    if (!FTempDirectory.empty() && wutemp::SetOwner(FTempDirectory, FUpdaterPid))
        FTempDirectory.clear();
    try {
        if (OnAppDoClose)
            OnAppDoClose(this);
        else
            TApplication::Terminate();
    } catch (const std::exception &e) {
        // The application cannot close, so the updater would wait for an end
        // that does not come and then act behind the user's back: it is
        // stopped before it has touched anything, and its folder goes.
        StopUpdater(updaterFolder);
        FClosingFailed = true;
        throw std::runtime_error(std::string(ClosingFailedText) + ": " + e.what());
    } catch (...) {
        StopUpdater(updaterFolder);
        FClosingFailed = true;
        throw std::runtime_error(ClosingFailedText);
    }
}

void TWebUpdate::StopUpdater(const std::string &Folder)
{
    if (FUpdaterPid <= 0)
        return;
    kill(FUpdaterPid, SIGKILL);
    wuprocess::WaitChild(FUpdaterPid);
    if (!Folder.empty()) {
        if (FTempDirectory.empty())
            wutemp::RemoveIfOwnedBy(Folder, FUpdaterPid);
        else
            RemoveTempDirectory();
    }
    FUpdaterPid = -1;
}

bool TWebUpdate::RunAndWait(const std::string &CommandLine)
{
    const pid_t pid = wuprocess::SpawnInFolder(AppFolder, CommandLine, wuprocess::InFolder(AppFolder));
    if (pid < 0) {
        SetError(errno, std::strerror(errno));
        return false;
    }
    const int code = wuprocess::WaitChild(pid);
    if (code == 0)
        return true;
    SetError(code + 8192, "The program ended with exit code " + std::to_string(code));
    return false;
}
