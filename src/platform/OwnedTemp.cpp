#include "platform/OwnedTemp.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ownedtemp {

namespace {

// What the stat line of a process tells the sweep: its state (field 3, 0
// when it cannot be read) and its start time in clock ticks since boot
// (field 22, 0 when it cannot be read).
struct ProcessStat {
    char State = 0;
    unsigned long long Start = 0;
};

ProcessStat ReadStat(pid_t pid)
{
    ProcessStat result;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(in, line))
        return result;
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return result;
    // Fields from the third on follow the command name's ')'.
    const char *p = line.c_str() + close + 1;
    for (int field = 3; field <= 22; ++field) {
        while (*p == ' ')
            ++p;
        if (field == 3)
            result.State = *p;
        if (field == 22) {
            result.Start = std::strtoull(p, nullptr, 10);
            break;
        }
        while (*p && *p != ' ')
            ++p;
    }
    return result;
}

unsigned long long StartTime(pid_t pid) { return ReadStat(pid).Start; }

struct Owner {
    pid_t Pid = 0;
    unsigned long long Start = 0;
};

bool ReadOwner(const std::string &dir, Owner &owner)
{
    const int fd = open((dir + "/" + OwnerFile).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    char buf[64] = {};
    const ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0)
        return false;
    char *end = nullptr;
    const long pid = std::strtol(buf, &end, 10);
    if (end == buf || pid <= 0 || pid > 0x3FFFFFFF)
        return false;
    owner.Pid = pid_t(pid);
    owner.Start = std::strtoull(end, nullptr, 10);
    return true;
}

// A real folder of this user (not a link) whose name has the prefix.
bool Ours(const std::string &prefix, const std::string &dir, struct stat &st)
{
    const std::string name = dir.substr(dir.rfind('/') + 1);
    return name.compare(0, prefix.size(), prefix) == 0 && lstat(dir.c_str(), &st) == 0 &&
           S_ISDIR(st.st_mode) && st.st_uid == getuid();
}

void RemoveTree(const std::string &dir)
{
    // Links inside are removed, never followed.
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

} // namespace

std::string Base()
{
    const char *env = getenv("TMPDIR");
    std::string base = env && *env ? env : "/tmp";
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base;
}

bool SetOwner(const std::string &dir, pid_t pid)
{
    const std::string file = dir + "/" + OwnerFile;
    const std::string temp = file + ".new";
    const std::string text = std::to_string(pid) + " " + std::to_string(StartTime(pid)) + "\n";
    unlink(temp.c_str());
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    const bool ok = write(fd, text.data(), text.size()) == ssize_t(text.size());
    close(fd);
    if (!ok || rename(temp.c_str(), file.c_str()) != 0) {
        unlink(temp.c_str());
        return false;
    }
    return true;
}

bool OwnerAlive(const std::string &dir)
{
    Owner owner;
    if (!ReadOwner(dir, owner)) {
        struct stat st;
        return lstat(dir.c_str(), &st) == 0 && time(nullptr) - st.st_mtime < OwnerlessGrace;
    }
    if (kill(owner.Pid, 0) != 0 && errno == ESRCH)
        return false;
    // A process that has ended but was not waited for yet (a zombie, or one
    // being reaped) is ended; the same number may since belong to another
    // process.
    const ProcessStat stat = ReadStat(owner.Pid);
    if (stat.State == 'Z' || stat.State == 'X')
        return false;
    return owner.Start == 0 || stat.Start == 0 || stat.Start == owner.Start;
}

void SweepLeftOvers(const std::string &prefix)
{
    const std::string base = Base();
    DIR *d = opendir(base.c_str());
    if (!d)
        return;
    std::vector<std::string> gone;
    while (dirent *e = readdir(d)) {
        const std::string dir = base + "/" + e->d_name;
        struct stat st;
        if (Ours(prefix, dir, st) && !OwnerAlive(dir))
            gone.push_back(dir);
    }
    closedir(d);
    for (const std::string &dir : gone)
        RemoveTree(dir);
}

std::string Make(const std::string &prefix)
{
    SweepLeftOvers(prefix);
    std::string tmpl = Base() + "/" + prefix + "XXXXXX";
    if (!mkdtemp(tmpl.data()))
        return std::string();
    if (!SetOwner(tmpl, getpid())) {
        const int err = errno;
        RemoveTree(tmpl);
        errno = err;
        return std::string();
    }
    return tmpl;
}

void RemoveIfOwnedBy(const std::string &prefix, const std::string &dir, pid_t pid)
{
    struct stat st;
    Owner owner;
    if (Ours(prefix, dir, st) && ReadOwner(dir, owner) && owner.Pid == pid)
        RemoveTree(dir);
}

} // namespace ownedtemp
