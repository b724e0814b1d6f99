#include "platform/Opener.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace opener {

namespace {

int gWatching = 0;
int gAnswerMs = kAnswerMs;

// One started opener: told when it has ended, reaped then. It watches a
// descriptor of the process (which becomes readable when the process ends)
// or, on a system without such descriptors, looks every 50 ms while the
// answer is awaited and every second after.
class Watch : public QObject {
public:
    explicit Watch(pid_t pid) : QObject(QCoreApplication::instance()), pid_(pid)
    {
        ++gWatching;
        const int fd = int(syscall(SYS_pidfd_open, pid, 0));
        if (fd >= 0) {
            fd_ = fd;
            notifier_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
            connect(notifier_, &QSocketNotifier::activated, this, [this] { look(); });
        } else {
            poll_ = new QTimer(this);
            poll_->setInterval(50);
            connect(poll_, &QTimer::timeout, this, [this] { look(); });
            poll_->start();
        }
        // It may have ended before the descriptor was made.
        look();
    }
    ~Watch() override
    {
        if (fd_ >= 0)
            close(fd_);
        --gWatching;
    }
    bool Ended() const { return ended_; }
    int Status() const { return status_; }
    // Called once, when the process has ended.
    std::function<void()> OnEnd;
    // The answer time is over: reaped whenever it ends, then gone.
    void Release()
    {
        released_ = true;
        if (ended_)
            deleteLater();
        else if (poll_)
            poll_->setInterval(1000);
    }

private:
    void look()
    {
        if (ended_)
            return;
        int status = 0;
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == 0 || (r < 0 && errno == EINTR))
            return;
        ended_ = true;
        // (Reaped elsewhere, which nothing here does: counts as an exit 0.)
        status_ = r == pid_ ? status : 0;
        if (notifier_)
            notifier_->setEnabled(false);
        if (poll_)
            poll_->stop();
        if (OnEnd)
            OnEnd();
        if (released_)
            deleteLater();
    }

    pid_t pid_;
    int fd_ = -1;
    QSocketNotifier *notifier_ = nullptr;
    QTimer *poll_ = nullptr;
    bool ended_ = false;
    bool released_ = false;
    int status_ = 0;
};

// Starts the program; -1 with errno set when it could not be started.
pid_t Start(const std::string &program, const std::vector<std::string> &args)
{
    std::vector<std::string> argv {program};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char *> ptrs;
    for (std::string &a : argv)
        ptrs.push_back(a.data());
    ptrs.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    // A session of its own; the signals this program ignores or blocks are
    // the opener's own again.
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGCHLD, SIGINT, SIGQUIT, SIGTERM, SIGHUP})
        sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = program.find('/') == std::string::npos
                       ? posix_spawnp(&pid, program.c_str(), &actions, &attr, ptrs.data(), environ)
                       : posix_spawn(&pid, program.c_str(), &actions, &attr, ptrs.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return pid;
}

} // namespace

Result Judge(const std::string &program, bool exited, int statusOrSignal)
{
    const std::string who = "the desktop's opener " + program;
    if (!exited)
        return {false, who + " was ended by signal " + std::to_string(statusOrSignal) + "."};
    const std::string code = " (exit status " + std::to_string(statusOrSignal) + ").";
    switch (statusOrSignal) {
    case 0:
        return {true, std::string()};
    case 1:
        return {false, who + " refused the request" + code};
    case 2:
        return {false, who + " did not find it" + code};
    case 3:
        return {false, who + " found no program to open it: no web browser or other program is set up for it" +
                           code};
    case 4:
        return {false, "the program that " + who + " started for it failed" + code};
    default:
        return {false, who + " ended with exit status " + std::to_string(statusOrSignal) + "."};
    }
}

Result Run(const std::string &program, const std::vector<std::string> &args)
{
    const pid_t pid = Start(program, args);
    if (pid < 0) {
        const int err = errno;
        if (err == ENOENT)
            return {false, "no program to open it could be started (the desktop's opener " + program +
                               ", from the package xdg-utils, may be missing)."};
        return {false, "the desktop's opener " + program + " could not be started: " + std::strerror(err) + "."};
    }
    auto *watch = new Watch(pid);
    if (!watch->Ended()) {
        QEventLoop loop;
        QTimer answer;
        answer.setSingleShot(true);
        answer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&answer, &QTimer::timeout, &loop, &QEventLoop::quit);
        watch->OnEnd = [&loop] { loop.quit(); };
        answer.start(gAnswerMs);
        // The windows paint meanwhile; the user's input waits until after.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
        watch->OnEnd = nullptr;
    }
    const bool ended = watch->Ended();
    const int status = watch->Status();
    watch->Release();
    if (!ended)
        return {true, std::string()};
    return WIFSIGNALED(status) ? Judge(program, false, WTERMSIG(status)) : Judge(program, true, WEXITSTATUS(status));
}

int Watching() { return gWatching; }

void AnswerTimeForTests(int ms) { gAnswerMs = ms > 0 ? ms : kAnswerMs; }

} // namespace opener
