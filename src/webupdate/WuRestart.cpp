// The restart through the updater that the program carries, and the
// programs the update starts and waits for.
#include "webupdate/WUpdate.h"

#include "platform/Dialogs.h"
#include "platform/FileIO.h"
#include "webupdate/WuProcess.h"
#include "webupdate/WuResult.h"
#include "webupdate/WuTemp.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

// The updater program, SZDD-compressed at build time.
extern const unsigned char WuUpdaterImage[];
extern const size_t WuUpdaterImageSize;

std::string TWebUpdate::UpdaterCommandLine(const std::string &Updater, pid_t Pid) const
{
    return Updater + " " + std::to_string(Pid) + " " + AppName + " " + AppComps;
}

std::string TWebUpdate::UpdaterResultFile() const
{
    return (AppFolder.empty() || AppFolder.back() != '/' ? AppFolder + "/" : AppFolder) + "WebUpdate.result";
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
        const std::vector<std::string> argv = wuprocess::SplitCommandLine(UpdaterCommandLine(updater, getpid()));
        // The updater waits on this process itself, not on a number that
        // could be reused: it gets a descriptor of it. It works in the
        // application folder, where the components are.
        const int pidfd = int(syscall(SYS_pidfd_open, getpid(), 0));
        wuprocess::SpawnOptions options;
        options.cwd = AppFolder;
        // What the updater cannot put in place is shown at the next start.
        options.extraEnv.push_back(std::string(wuresult::ResultVariable) + "=" + UpdaterResultFile());
        if (pidfd >= 0) {
            options.passFd = pidfd;
            options.extraEnv.push_back(std::string(wuprocess::PidFdVariable) + "=3");
        }
        FUpdaterPid = wuprocess::Spawn(updater, argv, options);
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
    if (!FTempDirectory.empty() && wutemp::SetOwner(FTempDirectory, FUpdaterPid))
        FTempDirectory.clear();
    if (OnAppDoClose)
        OnAppDoClose(this);
    else if (QCoreApplication *app = QCoreApplication::instance())
        app->quit();
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
