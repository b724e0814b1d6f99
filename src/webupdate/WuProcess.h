#pragma once
// Starting programs for the web update without a shell, shared by the
// component and the updater program: command lines split the way the
// publisher writes them, programs only from inside one folder.
#include <string>
#include <sys/types.h>
#include <vector>

namespace wuprocess {

// Splits a command line: blanks and tabs separate, double quotes group
// (and are removed), a backslash before a double quote makes it literal.
std::vector<std::string> SplitCommandLine(const std::string &line);

// The program of argv[0] resolved in folder: a relative name against the
// folder, an absolute one as it stands; false unless the result is a regular
// executable file inside the folder (after resolving links).
bool ProgramInFolder(const std::string &folder, const std::string &program, std::string &resolved);

struct SpawnOptions {
    std::string cwd;             // empty: the caller's current folder
    int passFd = -1;             // a descriptor handed on as descriptor 3
    // "NAME=value" put into the environment, in place of a variable of that
    // name the caller's environment has.
    std::vector<std::string> extraEnv;
};

// Options that only set the child's current folder.
inline SpawnOptions InFolder(std::string cwd)
{
    SpawnOptions o;
    o.cwd = std::move(cwd);
    return o;
}

// Starts path with argv (argv[0] included) through posix_spawn; the child's
// id, or -1 with errno set.
pid_t Spawn(const std::string &path, const std::vector<std::string> &argv, const SpawnOptions &options = {});

// Starts the command line's program, which must lie in folder; the child's
// id, or -1 (errno EACCES for a program outside the folder).
pid_t SpawnInFolder(const std::string &folder, const std::string &commandLine, const SpawnOptions &options = {});

// Waits for a child and gives its exit code (-1 when it did not exit
// normally or the wait failed).
int WaitChild(pid_t pid);

// Reaps a child that is not waited for, on a detached thread, so it never
// stays as a zombie.
void ReapLater(pid_t pid);

// The environment variable that names the descriptor the updater waits on.
inline constexpr const char *PidFdVariable = "WUPDATE_PIDFD";
// The environment variable that names the program the updater starts again:
// the absolute path of the program that ran.
inline constexpr const char *ProgramVariable = "WUPDATE_PROGRAM";

} // namespace wuprocess
