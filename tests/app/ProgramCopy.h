#pragma once
// A copy of the built program started by a program test, and what the test
// sees of it: its exit, what it wrote, and, with the scripted user on
// (MIXDECK_SCRIPT=stdin), its buttons, boxes and controls.
//
// Its standard output and error go to a file, and its standard input comes
// from a pipe the copy object holds: the updater and the program it starts
// again inherit both, so the test reads and drives a restarted copy through
// the same object. The copy, and every process it started that still runs
// (an updater, a copy started again), is killed on every way out.
#include "app/ProgramProcess.h"
#include "common/TestUtil.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <grp.h>
#include <map>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace programtest {

// Bounds for a hung or slow program on a loaded machine, not speed checks.
constexpr int kStartBoundMs = 60000;
constexpr int kEndBoundMs = 30000;

// Every name below the folder, the folder included, with its type, size,
// modification time and, for a file, its bytes; a link as its target.
inline std::map<std::string, std::string> Listing(const std::string &folder)
{
    std::map<std::string, std::string> out;
    auto add = [&out](const std::string &path) {
        struct stat st{};
        if (lstat(path.c_str(), &st) != 0)
            return;
        std::string &line = out[path];
        line = std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
               std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
        if (S_ISREG(st.st_mode))
            line += "\n" + testutil::readFile(path);
        if (S_ISLNK(st.st_mode))
            line += " -> " + std::filesystem::read_symlink(path).string();
    };
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(folder, ec)))
        return out;
    add(folder);
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        add(it->path().string());
    return out;
}

// True when the process runs (a zombie does not).
inline bool ProcessRuns(pid_t pid)
{
    const std::string stat = testutil::readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t paren = stat.rfind(')');
    return paren != std::string::npos && paren + 2 < stat.size() && stat[paren + 2] != 'Z';
}

class Copy {
public:
    struct Options {
        std::string home;             // MIXDECK_HOME; empty: not set
        std::string tmp;              // TMPDIR; empty: the test's own
        std::string program;          // empty: the built program
        std::string cwd;              // empty: the test's
        bool script = true;           // the scripted user, boxes wait for their answer
        bool stderrDialogs = true;    // MIXDECK_DIALOGS=stderr
        bool asNobody = false;        // as user "nobody" when the tests run as root
        std::vector<std::pair<std::string, std::string>> env;   // more variables ("" removes one)
    };

    explicit Copy(const Options &o)
    {
        const std::string log = files_.file("output");
        const std::string input = files_.file("input");
        testutil::writeFile(log, "");
        // The test holds the pipe open for writing (and reading, so that a
        // write never fails for want of a reader).
        if (mkfifo(input.c_str(), 0600) == 0)
            input_ = open(input.c_str(), O_RDWR | O_CLOEXEC);
        QProcessEnvironment env = BaseEnv();
        env.insert(kMark, QString::fromStdString(files_.path()));
        env.remove("MIXDECK_HOME");
        env.remove("MIXDECK_SCRIPT");
        if (!o.home.empty())
            env.insert("MIXDECK_HOME", QString::fromStdString(o.home));
        if (!o.tmp.empty())
            env.insert("TMPDIR", QString::fromStdString(o.tmp));
        if (o.script)
            env.insert("MIXDECK_SCRIPT", "stdin");
        if (!o.stderrDialogs)
            env.remove("MIXDECK_DIALOGS");
        for (const auto &[name, value] : o.env) {
            if (value.empty())
                env.remove(QString::fromStdString(name));
            else
                env.insert(QString::fromStdString(name), QString::fromStdString(value));
        }
        p_.setProcessEnvironment(env);
        if (!o.cwd.empty())
            p_.setWorkingDirectory(QString::fromStdString(o.cwd));
        if (o.asNobody && geteuid() == 0) {
            chmod(files_.path().c_str(), 0755);
            p_.setChildProcessModifier([] {
                if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0)
                    _exit(3);
            });
        }
        p_.setProcessChannelMode(QProcess::MergedChannels);
        p_.setStandardInputFile(QString::fromStdString(input));
        p_.setStandardOutputFile(QString::fromStdString(log), QIODevice::Append);
        timer_.start();
        p_.start(QString::fromStdString(o.program.empty() ? ProgramPath() : o.program), {});
        p_.waitForStarted(kStartBoundMs);
        pid_ = p_.processId();
    }
    ~Copy()
    {
        // What it started first (an updater, a copy started again), so that
        // nothing starts once it has ended; then itself, then whatever an
        // updater started meanwhile.
        KillMarked();
        Kill();
        KillMarked();
        if (input_ >= 0)
            close(input_);
    }
    Copy(const Copy &) = delete;
    Copy &operator=(const Copy &) = delete;

    pid_t Pid() const { return pid_; }
    // SIGKILL, and reaped.
    void Kill()
    {
        if (p_.state() != QProcess::NotRunning) {
            kill(pid_, SIGCONT);
            p_.kill();
            p_.waitForFinished(kEndBoundMs);
        }
    }
    void Signal(int sig) const
    {
        if (p_.state() == QProcess::Running)
            kill(pid_, sig);
    }
    bool Alive() const { return p_.state() == QProcess::Running; }
    bool WaitForEnd(int boundMs = kEndBoundMs)
    {
        const bool ended = p_.waitForFinished(boundMs);
        elapsed_ = timer_.elapsed();
        return ended;
    }
    // From the start to the end that WaitForEnd saw.
    qint64 ElapsedMs() const { return elapsed_; }
    bool EndedNormallyWith(int code) const
    {
        return p_.state() == QProcess::NotRunning && p_.exitStatus() == QProcess::NormalExit && p_.exitCode() == code;
    }
    // The exit code, or -1 while it runs or after a crash.
    int ExitCode() const
    {
        return p_.state() == QProcess::NotRunning && p_.exitStatus() == QProcess::NormalExit ? p_.exitCode() : -1;
    }
    // What it (and every copy started again from it) wrote so far.
    std::string Output() const { return testutil::readFile(files_.file("output")); }
    // How often the output holds the text.
    int Seen(const std::string &text) const
    {
        const std::string out = Output();
        int seen = 0;
        for (size_t at = out.find(text); at != std::string::npos; at = out.find(text, at + 1))
            ++seen;
        return seen;
    }
    // Until the output holds the text `times` times; false after the bound,
    // or, with stopWhenGone, as soon as no copy of this object runs (a copy
    // that waits for a restart passes false: between its end and the new
    // start only the updater runs).
    bool AwaitText(const std::string &text, int times = 1, int boundMs = kStartBoundMs, bool stopWhenGone = true)
    {
        QElapsedTimer t;
        t.start();
        for (;;) {
            if (Seen(text) >= times)
                return true;
            if (t.elapsed() > boundMs || (stopWhenGone && Running() == 0))
                return Seen(text) >= times;
            QThread::msleep(20);
        }
    }
    bool AwaitOutput(const std::string &line, int times = 1) { return AwaitText(line + "\n", times); }
    // Until the n-th copy of this object is up (its main window made, later
    // starts answered); its process id, or -1.
    pid_t AwaitReady(int n = 1, int boundMs = kStartBoundMs)
    {
        if (!AwaitText("MIXDECK script ready ", n, boundMs, n == 1))
            return -1;
        const std::vector<pid_t> pids = ReadyPids();
        return int(pids.size()) >= n ? pids[size_t(n - 1)] : -1;
    }
    // Writes one line to the scripted user.
    void Send(const std::string &line)
    {
        const std::string bytes = line + "\n";
        size_t done = 0;
        while (input_ >= 0 && done < bytes.size()) {
            const ssize_t n = write(input_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += size_t(n);
        }
    }
    // Sends a command and gives its result ("" when none came).
    std::string Ask(const std::string &command)
    {
        const std::string prefix = "MIXDECK script " + command + " -> ";
        const int before = Seen(prefix);
        Send(command);
        if (!AwaitText(prefix, before + 1))
            return std::string();
        const std::string out = Output();
        size_t at = 0;
        for (int i = 0; i <= before; ++i)
            at = out.find(prefix, i ? at + 1 : 0);
        const size_t end = out.find('\n', at);
        return out.substr(at + prefix.size(), end == std::string::npos ? std::string::npos : end - at - prefix.size());
    }
    // Waits for the box (its text up to the answer) and answers it.
    bool Answer(const std::string &boxUpToAnswer, const std::string &answer, int times = 1)
    {
        if (!AwaitText(boxUpToAnswer + " -> ", times))
            return false;
        Send(answer);
        return AwaitText(boxUpToAnswer + " -> " + answer + "\n", times);
    }
    // The message boxes written so far, each as its line after "MIXDECK
    // message box ".
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> boxes;
        const std::string out = Output();
        const std::string tag = "MIXDECK message box ";
        // A box's text may hold line breaks: it ends with its answer's line.
        for (size_t at = out.find(tag); at != std::string::npos; at = out.find(tag, at + 1)) {
            const size_t answer = out.find(" -> ", at);
            const size_t end = answer == std::string::npos ? std::string::npos : out.find('\n', answer);
            boxes.push_back(out.substr(at + tag.size(), end == std::string::npos ? std::string::npos
                                                                                  : end - at - tag.size()));
        }
        return boxes;
    }
    // The copies of this object that said they were ready, in order.
    std::vector<pid_t> ReadyPids() const
    {
        std::vector<pid_t> pids;
        const std::string out = Output();
        const std::string tag = "MIXDECK script ready ";
        for (size_t at = out.find(tag); at != std::string::npos; at = out.find(tag, at + 1))
            pids.push_back(pid_t(std::atol(out.c_str() + at + tag.size())));
        return pids;
    }
    // The copies of this object that run now, its own process included.
    int Running() const
    {
        int n = Alive() ? 1 : 0;
        for (pid_t pid : ReadyPids())
            n += pid != pid_ && ProcessRuns(pid) ? 1 : 0;
        return n;
    }

private:
    // Every process that carries this object's mark in its environment
    // (the updater and the copies started again inherit it), this object's
    // own process left out: killed, and waited for until it is gone.
    void KillMarked() const
    {
        const std::string mark = std::string(1, '\0') + kMark + "=" + files_.path() + '\0';
        for (int round = 0; round < 50; ++round) {
            std::vector<pid_t> found;
            std::error_code ec;
            for (const auto &e : std::filesystem::directory_iterator("/proc", ec)) {
                const std::string name = e.path().filename().string();
                if (name.find_first_not_of("0123456789") != std::string::npos || std::atol(name.c_str()) == pid_)
                    continue;
                const std::string env = std::string(1, '\0') + testutil::readFile(e.path().string() + "/environ");
                if (env.find(mark) != std::string::npos && ProcessRuns(pid_t(std::atol(name.c_str()))))
                    found.push_back(pid_t(std::atol(name.c_str())));
            }
            if (found.empty())
                return;
            for (pid_t pid : found) {
                kill(pid, SIGCONT);
                kill(pid, SIGKILL);
            }
            QThread::msleep(20);
        }
    }

    static constexpr const char *kMark = "MIXDECK_TEST_COPY";
    testutil::TempDir files_;
    int input_ = -1;
    QProcess p_;
    pid_t pid_ = -1;
    QElapsedTimer timer_;
    qint64 elapsed_ = -1;
};

} // namespace programtest
