#pragma once
// Timing for the benchmark programs, and the one way they compare with a
// peer: rounds in which ours and the peer take turns (the first of the pair
// alternating), the ratio of each round, and the median of those ratios
// with their range, printed beside a target and a clear MISS when the
// median misses it. A benchmark informs and exits 0 whether a target is met
// or not; only a wrong result makes it fail.
#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <spawn.h>
#include <memory>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace bench {

inline double MsSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

// Milliseconds that f takes once.
template <class F>
double TimeMs(F &&f)
{
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return MsSince(t0);
}

// The fastest of several runs of f, in milliseconds.
template <class F>
double BestOf(int runs, F f)
{
    double best = 1e100;
    for (int i = 0; i < runs; ++i)
        best = std::min(best, TimeMs(f));
    return best;
}

// The median of the values (the mean of the middle two for an even count).
inline double Median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

inline double Min(const std::vector<double> &v) { return v.empty() ? 0 : *std::min_element(v.begin(), v.end()); }
inline double Max(const std::vector<double> &v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

// The load average of the last minute, for the lines that say what a run met.
inline double LoadAverage()
{
    double one = -1;
    return getloadavg(&one, 1) == 1 ? one : -1;
}

// "load average 3.20" and the processor count, for a benchmark's first and last line.
inline std::string LoadText()
{
    char buf[96];
    std::snprintf(buf, sizeof buf, "load average %.2f on %ld processors", LoadAverage(), sysconf(_SC_NPROCESSORS_ONLN));
    return buf;
}

// A folder of the benchmark's own under TMPDIR (else /tmp), removed with
// everything in it when the object goes.
class TempFolder {
public:
    explicit TempFolder(const char *name)
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + "-XXXXXX";
        if (mkdtemp(tmpl.data()))
            path_ = tmpl;
    }
    ~TempFolder()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder &) = delete;
    TempFolder &operator=(const TempFolder &) = delete;
    bool Made() const { return !path_.empty(); }
    const std::string &Path() const { return path_; }
    std::string File(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Without XDG_RUNTIME_DIR the toolkit makes its runtime folder in $TMPDIR
// and leaves it there: a benchmark that shows windows makes one of its own
// first (the programs it starts inherit it), removed when it ends. Nothing
// happens when the variable is set already.
class QtRuntimeFolder {
public:
    QtRuntimeFolder()
    {
        if (std::getenv("XDG_RUNTIME_DIR"))
            return;
        folder_ = std::make_unique<TempFolder>("mixdeck-bench-runtime");
        if (folder_->Made())
            setenv("XDG_RUNTIME_DIR", folder_->Path().c_str(), 1);
    }
    ~QtRuntimeFolder()
    {
        if (folder_ && folder_->Made())
            unsetenv("XDG_RUNTIME_DIR");
    }
    QtRuntimeFolder(const QtRuntimeFolder &) = delete;
    QtRuntimeFolder &operator=(const QtRuntimeFolder &) = delete;

private:
    std::unique_ptr<TempFolder> folder_;
};

// Starts a program (arguments as a list, no shell) with the given
// descriptors as its standard input and output (-1: the benchmark's own);
// its process id, or -1 when it could not be started.
inline pid_t Spawn(std::vector<std::string> args, int inFd, int outFd)
{
    std::vector<char *> av;
    for (std::string &a : args)
        av.push_back(a.data());
    av.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (inFd >= 0)
        posix_spawn_file_actions_adddup2(&fa, inFd, 0);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&fa, outFd, 1);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, av[0], &fa, nullptr, av.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

// Runs a program in a fresh process (arguments as a list, no shell) and
// gathers what it writes to standard output; its exit status, or -1 when it
// could not be started or did not end normally.
inline int RunFresh(const std::vector<std::string> &args, std::string &out)
{
    out.clear();
    if (args.empty())
        return -1;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return -1;
    const pid_t pid = Spawn(args, -1, pipeFds[1]);
    close(pipeFds[1]);
    if (pid < 0) {
        close(pipeFds[0]);
        return -1;
    }
    char buf[4096];
    for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) != 0;) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        out.append(buf, size_t(n));
    }
    close(pipeFds[0]);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// ---- targets ----------------------------------------------------------------------------------------------

// A bound a median should keep: at most or at least a value.
struct Target {
    enum Kind { AtMost, AtLeast } kind;
    double value;
    bool Met(double v) const { return kind == AtMost ? v <= value : v >= value; }
    // "target <= 2.00", followed by "  MISS" when v misses it.
    std::string Text(double v, const char *unit = "") const
    {
        char buf[96];
        std::snprintf(buf, sizeof buf, "target %s %.2f%s%s", kind == AtMost ? "<=" : ">=", value, unit,
                      Met(v) ? "" : "  MISS");
        return buf;
    }
};
inline Target AtMost(double v) { return {Target::AtMost, v}; }
inline Target AtLeast(double v) { return {Target::AtLeast, v}; }

// One figure of our own beside its target ("label: 4.20 ms (target <= 5.00 ms)").
inline void PrintFigure(const std::string &label, double value, const char *unit, Target t)
{
    std::printf("  %-44s %10.2f%s   (%s)\n", label.c_str(), value, unit, t.Text(value, unit).c_str());
    std::fflush(stdout);
}

// ---- comparisons in rounds --------------------------------------------------------------------------------

// The times of ours and of the peer, round by round. The ratio of a round is
// ours' time over the peer's (below 1: we are faster), or, for a Speed
// comparison, the peer's time over ours (above 1: we are faster).
struct Comparison {
    enum Kind { Time, Speed } kind = Time;
    std::vector<double> ours, peer, ratios;
    bool failed = false;  // a round of either side reported no time

    void Add(double oursMs, double peerMs)
    {
        if (oursMs <= 0 || peerMs <= 0) {
            failed = true;
            return;
        }
        ours.push_back(oursMs);
        peer.push_back(peerMs);
        ratios.push_back(kind == Time ? oursMs / peerMs : peerMs / oursMs);
    }
    double Ratio() const { return Median(ratios); }
};

// rounds rounds of ours() and peer(), each returning its time in ms (below
// 0 when it failed); they take turns, who goes first alternating by round.
template <class O, class P>
Comparison Interleave(int rounds, Comparison::Kind kind, O &&ours, P &&peer)
{
    Comparison c;
    c.kind = kind;
    for (int r = 0; r < rounds; ++r) {
        double a, b;
        if (r % 2) {
            b = peer();
            a = ours();
        } else {
            a = ours();
            b = peer();
        }
        c.Add(a, b);
    }
    return c;
}

// One line: both medians (ms, or MB/s when bytes is given), the median of
// the per-round ratios with their range, and the target with MISS when the
// median ratio misses it.
inline void PrintComparison(const std::string &label, const Comparison &c, const std::string &oursName,
                            const std::string &peerName, Target t, double bytes = 0)
{
    if (c.failed || c.ratios.empty()) {
        std::printf("  %-44s %s against %s: a round FAILED, no ratio\n", label.c_str(), oursName.c_str(),
                    peerName.c_str());
        std::fflush(stdout);
        return;
    }
    auto figure = [&](double ms) {
        char buf[48];
        if (bytes > 0)
            std::snprintf(buf, sizeof buf, "%8.0f MB/s", bytes / 1e6 / (ms / 1000.0));
        else
            std::snprintf(buf, sizeof buf, "%9.2f ms", ms);
        return std::string(buf);
    };
    const char *sense = c.kind == Comparison::Time ? "time ours/peer" : "speed ours/peer";
    std::printf("  %-44s %s %s   %s %s   ratio %5.2fx %s (range %.2f-%.2f, %zu rounds)   %s\n", label.c_str(),
                oursName.c_str(), figure(Median(c.ours)).c_str(), peerName.c_str(), figure(Median(c.peer)).c_str(),
                c.Ratio(), sense, Min(c.ratios), Max(c.ratios), c.ratios.size(), t.Text(c.Ratio(), "x").c_str());
    std::fflush(stdout);
}

// Our time against the peer's where the target is our own time (what a user
// waits for): both medians with their ranges, the median of the per-round
// ratios with its range, and the target on our median in milliseconds.
inline void PrintTimeBeside(const std::string &label, const Comparison &c, const std::string &oursName,
                            const std::string &peerName, Target t)
{
    if (c.failed || c.ratios.empty()) {
        std::printf("  %-44s %s against %s: a round FAILED, no figure\n", label.c_str(), oursName.c_str(),
                    peerName.c_str());
        std::fflush(stdout);
        return;
    }
    const double ours = Median(c.ours);
    std::printf("  %-44s %s %8.2f ms (%.2f-%.2f)   %s %8.2f ms (%.2f-%.2f)   ratio %5.2fx (range %.2f-%.2f, %zu "
                "rounds)   %s\n",
                label.c_str(), oursName.c_str(), ours, Min(c.ours), Max(c.ours), peerName.c_str(), Median(c.peer),
                Min(c.peer), Max(c.peer), c.Ratio(), Min(c.ratios), Max(c.ratios), c.ratios.size(),
                t.Text(ours, " ms").c_str());
    std::fflush(stdout);
}

// ---- a peer in Python ---------------------------------------------------------------------------------------

// /usr/bin/python3 kept running beside the benchmark: setup runs once (the
// arguments are in the list args), then every Run() has it execute work
// once and answer with the milliseconds it measured itself around work
// (start-up and setup not counted), so that rounds can take turns with
// ours. work leaves its result in the global r ("global r" first), which
// is dropped before the next run starts its clock; Check() runs the check
// code, which may look at r, and returns the line it printed.
class PythonPeer {
public:
    PythonPeer(const std::string &setup, const std::string &work, const std::string &check,
               const std::vector<std::string> &args)
    {
        if (access("/usr/bin/python3", X_OK) != 0)
            return;
        const std::string script = "import sys, time\n"
                                   "r = None\n"
                                   "args = sys.argv[1:]\n" +
                                   setup +
                                   "\ndef work():\n" + indent(work, 4) +
                                   "\ndef check():\n" + indent(check, 4) +
                                   "\nfor cmd in sys.stdin:\n"
                                   "    if cmd.strip() == 'run':\n"
                                   "        r = None\n"
                                   "        t = time.perf_counter()\n"
                                   "        work()\n"
                                   "        print((time.perf_counter() - t) * 1000, flush=True)\n"
                                   "    else:\n"
                                   "        check()\n"
                                   "        sys.stdout.flush()\n";
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0)
            return;
        if (pipe2(out, O_CLOEXEC) != 0) {
            close(in[0]);
            close(in[1]);
            return;
        }
        std::vector<std::string> argv = {"/usr/bin/python3", "-c", script};
        argv.insert(argv.end(), args.begin(), args.end());
        pid_ = Spawn(argv, in[0], out[1]);
        close(in[0]);
        close(out[1]);
        if (pid_ < 0) {
            close(in[1]);
            close(out[0]);
            return;
        }
        to_ = in[1];
        from_ = out[0];
    }
    ~PythonPeer()
    {
        if (to_ >= 0)
            close(to_);  // Python's loop ends at the end of its input
        if (from_ >= 0)
            close(from_);
        if (pid_ > 0)
            waitpid(pid_, nullptr, 0);
    }
    PythonPeer(const PythonPeer &) = delete;
    PythonPeer &operator=(const PythonPeer &) = delete;

    bool Started() const { return pid_ > 0; }
    // One timed run of work; its milliseconds, or -1 when Python failed.
    double Run()
    {
        const std::string line = ask("run\n");
        char *end = nullptr;
        const double ms = std::strtod(line.c_str(), &end);
        return end != line.c_str() ? ms : -1;
    }
    std::string Check() { return ask("check\n"); }

private:
    static std::string indent(const std::string &code, int n)
    {
        std::string out(size_t(n), ' ');
        for (char c : code) {
            out += c;
            if (c == '\n')
                out.append(size_t(n), ' ');
        }
        return out + "\n" + std::string(size_t(n), ' ') + "pass\n";
    }
    std::string ask(const char *cmd)
    {
        std::string line;
        if (to_ < 0)
            return line;
        const size_t len = std::char_traits<char>::length(cmd);
        if (write(to_, cmd, len) != ssize_t(len))
            return line;
        char c;
        while (read(from_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }
    pid_t pid_ = -1;
    int to_ = -1, from_ = -1;
};

} // namespace bench
