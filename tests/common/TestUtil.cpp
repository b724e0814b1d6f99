#include "common/TestUtil.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace testutil {

TempDir::TempDir()
{
    std::string tmpl = (fs::temp_directory_path() / "mixdeck-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Give back write permission first so read-only fixtures can go too.
    for (auto it = fs::recursive_directory_iterator(path_, ec); it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string &name) const { return path_ + "/" + name; }

TmpdirOfItsOwn::TmpdirOfItsOwn()
{
    const char *old = getenv("TMPDIR");
    had_ = old != nullptr;
    old_ = old ? old : "";
    setenv("TMPDIR", dir.path().c_str(), 1);
}

TmpdirOfItsOwn::~TmpdirOfItsOwn()
{
    if (had_)
        setenv("TMPDIR", old_.c_str(), 1);
    else
        unsetenv("TMPDIR");
}

std::vector<std::string> TmpdirOfItsOwn::Folders(const std::string &prefix) const
{
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(dir.path()))
        if (const std::string n = e.path().filename().string(); n.rfind(prefix, 0) == 0)
            names.push_back(n);
    std::sort(names.begin(), names.end());
    return names;
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

bool fileExists(const std::string &path) { return fs::exists(path); }

std::string sourcePath(const std::string &relative)
{
    const char *src = getenv("MIXDECK_SOURCE_DIR");
    return std::string(src && *src ? src : MIXDECK_TEST_SOURCE_DIR) + "/" + relative;
}

std::string binaryPath(const std::string &relative)
{
    const char *bin = getenv("MIXDECK_BINARY_DIR");
    return std::string(bin && *bin ? bin : MIXDECK_TEST_BINARY_DIR) + "/" + relative;
}

std::string screenshotPath(const std::string &name)
{
    const std::string folder = binaryPath("screenshots");
    std::error_code ec;
    fs::create_directories(folder, ec);
    return folder + "/" + name;
}

int runPython(const std::string &script, const std::string &args, std::string *out)
{
    std::string cmd = "/usr/bin/python3 '" + script + "' " + args;
    FILE *p = popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        text.append(buf, n);
    int rc = pclose(p);
    if (out)
        *out = text;
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

} // namespace testutil

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testutil {

std::string runUnprivileged(const std::function<std::string()> &fn)
{
    // The child's own $TMPDIR, which it may write whatever the mode of the
    // one the tests were given (a folder of root's with mode 0755 lets
    // nobody else write): a folder of the child's user in a folder of ours
    // that everybody may enter.
    const bool asRoot = geteuid() == 0;
    const TempDir tmp;
    // The child reaches the test's folders through every folder above
    // them; a TMPDIR closed to other users (mode 0700, as a private one per
    // user is made) leaves it nothing to test, which the result says.
    if (asRoot) {
        for (fs::path p = fs::path(tmp.path()).parent_path(); !p.empty(); p = p.parent_path()) {
            struct stat st {};
            if (stat(p.c_str(), &st) == 0 && !(st.st_mode & S_IXOTH))
                return "<other users may not enter " + p.string() + ", above the tests' TMPDIR folders; run the tests "
                       "with a TMPDIR they may enter, as scripts/test does>";
            if (p == p.parent_path())
                break;
        }
    }
    const std::string childTmp = tmp.file("tmp");
    if (mkdir(childTmp.c_str(), 0700) != 0 || chmod(tmp.path().c_str(), 0755) != 0 ||
        (asRoot && chown(childTmp.c_str(), 65534, 65534) != 0))
        return "<crashed>";
    int fds[2];
    if (pipe(fds) != 0)
        return "<crashed>";
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (asRoot) {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(3);
        }
        setenv("TMPDIR", childTmp.c_str(), 1);
        std::string r;
        try {
            r = fn();
        } catch (const std::exception &e) {
            r = std::string("<exception> ") + e.what();
        }
        size_t off = 0;
        while (off < r.size()) {
            ssize_t n = write(fds[1], r.data() + off, r.size() - off);
            if (n <= 0)
                break;
            off += size_t(n);
        }
        close(fds[1]);
        _exit(0);
    }
    close(fds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0)
        out.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "<crashed>";
    return out;
}

void openToAll(const std::string &path)
{
    chmod(path.c_str(), 0755);
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(path, ec); it != fs::recursive_directory_iterator(); it.increment(ec))
        fs::permissions(it->path(), it->is_directory() ? fs::perms(0755) : fs::perms(0644), ec);
}

int killDuringSaves(int rounds, long maxDelayUs, const std::function<void(int)> &save,
                    const std::function<bool(int)> &afterKill)
{
    std::mt19937 rng(20261210);
    std::uniform_int_distribution<long> delay(0, std::max(500L, maxDelayUs));
    for (int round = 0; round < rounds; ++round) {
        int done[2];
        if (pipe(done) != 0)
            return round;
        const pid_t pid = fork();
        if (pid < 0)
            return round;
        if (pid == 0) {
            close(done[0]);
            try {
                for (int i = 0;; ++i) {
                    save(i);
                    (void)!write(done[1], "s", 1);
                }
            } catch (...) {
            }
            _exit(1);
        }
        close(done[1]);
        char c;
        const bool started = read(done[0], &c, 1) == 1;
        if (started)
            std::this_thread::sleep_for(std::chrono::microseconds(delay(rng)));
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        close(done[0]);
        if (!started || !afterKill(round))
            return round + 1;
    }
    return rounds;
}

long long procStatusBytes(const char *field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.compare(0, key.size(), key) == 0)
            return std::stoll(line.substr(key.size())) * 1024;  // given in kB
    return -1;
}

bool resetPeakResident()
{
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
    out.flush();
    return bool(out);
}

} // namespace testutil
