#include "platform/AppPaths.h"

#include <cstdlib>
#include <unistd.h>
#include <vector>

namespace AppPaths {

namespace {
std::string WithoutTrailingSlash(std::string path)
{
    while (!path.empty() && path.back() == '/')
        path.pop_back();
    return path;
}
} // namespace

std::string ExecutablePath()
{
    std::vector<char> buf(4096);
    for (int attempt = 0; attempt < 8; ++attempt) {
        ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return std::string();
        if (size_t(n) < buf.size())
            return std::string(buf.data(), size_t(n));
        buf.resize(buf.size() * 2);   // the name may have been cut: try a larger buffer
    }
    return std::string();
}

std::string ProgramFolder()
{
    const char *home = std::getenv("MIXDECK_HOME");
    if (home && *home)
        return WithoutTrailingSlash(home);
    std::string exe = ExecutablePath();
    size_t slash = exe.rfind('/');
    if (slash == std::string::npos) {
        // No /proc: the current folder is the best guess left.
        std::vector<char> cwd(4096);
        if (getcwd(cwd.data(), cwd.size()))
            return WithoutTrailingSlash(cwd.data());
        return std::string();
    }
    return WithoutTrailingSlash(exe.substr(0, slash));
}

} // namespace AppPaths
