// The updater the application carries: waits for the application to end,
// puts the new components in place and starts the application again.
//
//   upd.exe <pid> <application command> <component> ...
//
// It works in its current folder (the application's folder); every
// component must lie inside it, named relative to it or by an absolute path
// into it ('\\' read as '/'). With WUPDATE_PIDFD set, the descriptor it names
// is the application process itself, which is waited on instead of the
// number. With WUPDATE_PROGRAM set, that program (the one that ran, by its
// absolute path) is what starts again, with the parameters of the
// application command; without it the command's own program, from the
// folder. With WUPDATE_RESULT set, every component it could not put in place
// is described there, one line each, and so is a program it could not start
// again, for the application to show when it starts next. When it ran from
// one of the web update's temporary folders it removes that folder at its
// end.
#include "webupdate/Cabfdi.h"
#include "webupdate/LzExpand.h"
#include "webupdate/WuPaths.h"
#include "webupdate/WuProcess.h"
#include "webupdate/WuResult.h"
#include "webupdate/WuTemp.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <poll.h>
#include <set>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int64_t Budget = int64_t(1) << 31;

std::string Upper(std::string s)
{
    for (char &c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

// The process of the descriptor: its "Pid:" line in /proc; -1 when none.
long FdPid(int fd)
{
    std::ifstream in("/proc/self/fdinfo/" + std::to_string(fd));
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("Pid:", 0) == 0)
            return std::strtol(line.c_str() + 4, nullptr, 10);
    return -1;
}

void WaitFor(long pid)
{
    int fd = -1;
    if (const char *v = getenv(wuprocess::PidFdVariable)) {
        const int given = std::atoi(v);
        if (given > 2 && FdPid(given) == pid)
            fd = given;
    }
    // The program started again must not inherit the hand-over.
    unsetenv(wuprocess::PidFdVariable);
    if (fd < 0)
        fd = int(syscall(SYS_pidfd_open, pid_t(pid), 0));
    if (fd < 0)
        return;   // the process has ended already
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, -1) < 0 && errno == EINTR) {
    }
    close(fd);
}

// A component name as a path inside folder; false when it is not one. An
// absolute name counts when it lies in the folder; either way no part may
// climb with "..".
bool Inside(const std::string &folder, const std::string &name, std::string &path)
{
    const std::string slashes = wupaths::Slashes(name);
    if (!slashes.empty() && slashes[0] == '/') {
        if (("/" + slashes + "/").find("/../") != std::string::npos || !wupaths::FoldPath(slashes, path))
            return false;
        return path != folder && wupaths::IsInside(folder, path);
    }
    std::string clean;
    if (!wupaths::CleanRelativeName(name, clean))
        return false;
    path = folder + "/" + clean;
    return wupaths::IsInside(folder, path);
}

// What the application is told at its next start.
std::vector<std::string> Failures;

void Fail(const std::string &text)
{
    Failures.push_back(text);
    std::fprintf(stderr, "upd: %s\n", text.c_str());
}

// The file installed + "_new" in any letter case of the suffix.
bool FindNew(const std::string &installed, std::string &found)
{
    const size_t slash = installed.rfind('/');
    const std::string dir = installed.substr(0, slash);
    const std::string base = installed.substr(slash + 1);
    DIR *d = opendir(dir.c_str());
    if (!d)
        return false;
    bool ok = false;
    while (dirent *e = readdir(d)) {
        const std::string n = e->d_name;
        if (n.size() == base.size() + 4 && n.compare(0, base.size(), base) == 0 &&
            strcasecmp(n.c_str() + base.size(), "_new") == 0) {
            found = dir + "/" + n;
            ok = true;
            if (n.compare(base.size(), 4, "_new") == 0)
                break;   // the exact spelling wins
        }
    }
    closedir(d);
    return ok;
}

bool Component(const std::string &folder, const std::string &name)
{
    std::string path;
    if (!Inside(folder, name, path)) {
        Fail(wuresult::Refused(name));
        return false;
    }
    const std::string upper = Upper(path);
    const size_t newAt = upper.find("_NEW");
    if (newAt != std::string::npos && newAt + 4 == upper.size()) {
        const std::string installed = path.substr(0, path.size() - 4);
        std::string source;
        if (!FindNew(installed, source)) {
            Fail(wuresult::Missing(path));
            return false;
        }
        // Replacing is one step: the installed file is never missing.
        if (rename(source.c_str(), installed.c_str()) != 0) {
            Fail(wuresult::NotReplaced(installed, source, std::strerror(errno)));
            return false;
        }
        return true;
    }
    const size_t dot = path.rfind('.');
    const std::string ext = dot == std::string::npos || path.find('/', dot) != std::string::npos ? "" : Upper(path.substr(dot));
    if (ext == ".PAT") {
        std::string patcher;
        if (!wuprocess::ProgramInFolder(folder, "patcher.exe", patcher)) {
            Fail(wuresult::NotApplied(path, "patcher.exe is missing"));
            return false;
        }
        const pid_t pid = wuprocess::Spawn(patcher, {"patcher.exe", path, path.substr(0, path.size() - ext.size()) + ".EXE"});
        if (pid > 0)
            wuprocess::WaitChild(pid);
        else
            Fail(wuresult::NotApplied(path, std::strerror(errno)));
        unlink(path.c_str());
        return pid > 0;
    }
    if (ext == ".CAB") {
        std::string why;
        if (CabExtract(path, folder, Budget, &why) != 0) {
            Fail(wuresult::NotApplied(path, why));
            return false;
        }
        unlink(path.c_str());
        return true;
    }
    TLzInfo info;
    if (!LzInspect(path, info))
        return true;   // not packed: it stays as it is
    const std::string expanded = LzExpandedName(path, info.MissingChar);
    if (expanded == path)
        return true;
    std::string why = "its expanded name lies outside the program folder: " + expanded;
    if (!wupaths::IsInside(folder, expanded) || !LzExpand(path, expanded, Budget, &why)) {
        Fail(wuresult::NotApplied(path, why));
        return false;
    }
    return true;
}

// The files named with "_NEW" that are still waiting in the folders of the
// components: each is told about, none is left in silence.
void ReportLeftNew(const std::string &folder, const std::vector<std::string> &components)
{
    std::set<std::string> dirs{folder};
    for (const std::string &c : components) {
        std::string path;
        if (Inside(folder, c, path))
            dirs.insert(path.substr(0, path.rfind('/')));
    }
    for (const std::string &dir : dirs) {
        DIR *d = opendir(dir.c_str());
        if (!d)
            continue;
        std::vector<std::string> left;
        while (dirent *e = readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 4 && strcasecmp(n.c_str() + n.size() - 4, "_new") == 0)
                left.push_back(dir + "/" + n);
        }
        closedir(d);
        std::sort(left.begin(), left.end());
        for (const std::string &f : left)
            Fail(wuresult::Kept(f));
    }
}

// The program that ran, started again with the parameters of the
// application command: what follows its first blank, split the usual way.
std::vector<std::string> RestartArguments(const std::string &program, const std::string &command)
{
    std::vector<std::string> args{program};
    const size_t blank = command.find(' ');
    if (blank != std::string::npos)
        for (std::string &arg : wuprocess::SplitCommandLine(command.substr(blank + 1)))
            args.push_back(std::move(arg));
    return args;
}

// The folder the updater runs from, when it is one of the web update's
// temporary folders: removed with everything in it.
void RemoveOwnFolder()
{
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return;
    exe[n] = '\0';
    std::string dir(exe);
    dir = dir.substr(0, dir.rfind('/'));
    wutemp::RemoveIfOwnedBy(dir, getpid());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return 2;
    char *end = nullptr;
    errno = 0;
    const long pid = std::strtol(argv[1], &end, 10);
    if (errno != 0 || end == argv[1] || *end != '\0' || pid <= 0)
        return 2;
    WaitFor(pid);

    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        return 3;
    const std::string folder = cwd;
    const char *resultVar = getenv(wuresult::ResultVariable);
    const std::string resultFile = resultVar ? resultVar : "";
    const char *programVar = getenv(wuprocess::ProgramVariable);
    const std::string program = programVar ? programVar : "";
    // The program started again must not inherit them either.
    unsetenv(wuresult::ResultVariable);
    unsetenv(wuprocess::ProgramVariable);
    std::vector<std::string> components;
    for (int i = 3; i < argc; ++i)
        components.push_back(argv[i]);
    for (const std::string &c : components)
        Component(folder, c);
    ReportLeftNew(folder, components);
    if (!Failures.empty() && !resultFile.empty())
        wuresult::Write(resultFile, Failures);

    int code = Failures.empty() ? 0 : 1;
    if (argc >= 3 && std::strcmp(argv[2], "null") != 0 && argv[2][0] != '\0') {
        // Never through a shell: the program that ran, or a program of the
        // folder.
        const pid_t child = program.empty() ? wuprocess::SpawnInFolder(folder, argv[2])
                                            : wuprocess::Spawn(program, RestartArguments(program, argv[2]));
        if (child < 0) {
            // Told at the next start, which the user now makes by hand.
            Fail(wuresult::NotStarted(program.empty() ? argv[2] : program, std::strerror(errno)));
            if (!resultFile.empty())
                wuresult::Write(resultFile, Failures);
            code = 4;
        }
    }
    RemoveOwnFolder();
    return code;
}
