#include "webupdate/WuProcess.h"

#include "webupdate/WuPaths.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char **environ;

namespace wuprocess {

std::vector<std::string> SplitCommandLine(const std::string &line)
{
    std::vector<std::string> out;
    std::string cur;
    bool inQuotes = false, have = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\' && i + 1 < line.size() && line[i + 1] == '"') {
            cur += '"';
            have = true;
            ++i;
        } else if (c == '"') {
            inQuotes = !inQuotes;
            have = true;
        } else if ((c == ' ' || c == '\t') && !inQuotes) {
            if (have)
                out.push_back(cur);
            cur.clear();
            have = false;
        } else {
            cur += c;
            have = true;
        }
    }
    if (have)
        out.push_back(cur);
    return out;
}

bool ProgramInFolder(const std::string &folder, const std::string &program, std::string &resolved)
{
    resolved.clear();
    if (folder.empty() || program.empty())
        return false;
    const std::string p = wupaths::Slashes(program);
    std::string full = p[0] == '/' ? p : folder + (folder.back() == '/' ? "" : "/") + p;
    std::string folded;
    if (!wupaths::FoldPath(full, folded) || !wupaths::IsInside(folder, folded))
        return false;
    struct stat st;
    if (stat(folded.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || access(folded.c_str(), X_OK) != 0)
        return false;
    resolved = folded;
    return true;
}

pid_t Spawn(const std::string &path, const std::vector<std::string> &argv, const SpawnOptions &options)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    // The caller's environment, less what extraEnv sets anew: a name given
    // twice would leave the child the first, old value.
    const auto named = [](const std::string &entry, const std::string &setting) {
        const size_t eq = setting.find('=');
        return eq != std::string::npos && entry.compare(0, eq + 1, setting, 0, eq + 1) == 0;
    };
    std::vector<std::string> envStore;
    for (char **e = environ; e && *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string &setting : options.extraEnv)
            replaced = replaced || named(entry, setting);
        if (!replaced)
            envStore.push_back(entry);
    }
    for (const std::string &e : options.extraEnv)
        envStore.push_back(e);
    std::vector<char *> env;
    for (const std::string &e : envStore)
        env.push_back(const_cast<char *>(e.c_str()));
    env.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!options.cwd.empty())
        posix_spawn_file_actions_addchdir_np(&actions, options.cwd.c_str());
    if (options.passFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, options.passFd, 3);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with default signal handling, in its own group.
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attr, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, path.c_str(), &actions, &attr, args.data(), env.data());
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        errno = rc;
        return -1;
    }
    return pid;
}

pid_t SpawnInFolder(const std::string &folder, const std::string &commandLine, const SpawnOptions &options)
{
    std::vector<std::string> argv = SplitCommandLine(commandLine);
    std::string program;
    if (argv.empty() || !ProgramInFolder(folder, argv[0], program)) {
        errno = EACCES;
        return -1;
    }
    return Spawn(program, argv, options);
}

int WaitChild(pid_t pid)
{
    int status = 0;
    pid_t r;
    do
        r = waitpid(pid, &status, 0);
    while (r < 0 && errno == EINTR);
    if (r != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

void ReapLater(pid_t pid)
{
    if (pid > 0)
        std::thread([pid] { WaitChild(pid); }).detach();
}

} // namespace wuprocess
