#include "platform/AppPaths.h"

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <unistd.h>
#include <vector>

namespace AppPaths {

namespace {

std::string CurrentFolder()
{
    std::vector<char> cwd(4096);
    while (!getcwd(cwd.data(), cwd.size())) {
        if (errno != ERANGE || cwd.size() >= (1u << 20))
            return std::string();
        cwd.resize(cwd.size() * 2);
    }
    return cwd.data();
}

std::optional<std::string> &Fixed()
{
    static std::optional<std::string> fixed;
    return fixed;
}

std::string Compute()
{
    const char *home = std::getenv("MIXDECK_HOME");
    if (home && *home)
        return NormalPath(home);
    const std::string exe = ExecutablePath();
    const size_t slash = exe.rfind('/');
    // No /proc: the current folder is the best guess left.
    return NormalPath(slash == std::string::npos ? CurrentFolder() : exe.substr(0, slash));
}

} // namespace

std::string NormalPath(const std::string &path)
{
    if (path.empty())
        return std::string();
    // Without a current folder (it was removed) a relative path stays
    // relative: nothing else would name the same place.
    const std::string cwd = path[0] == '/' ? std::string() : CurrentFolder();
    const std::string whole = path[0] == '/' || cwd.empty() ? path : cwd + "/" + path;
    std::string out;
    size_t at = 0;
    while (at < whole.size()) {
        size_t end = whole.find('/', at);
        if (end == std::string::npos)
            end = whole.size();
        const std::string part = whole.substr(at, end - at);
        if (!part.empty() && part != ".")
            out += (out.empty() && whole[0] != '/' ? "" : "/") + part;
        at = end + 1;
    }
    return out;
}

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

std::string ProgramFolder() { return Fixed() ? *Fixed() : Compute(); }

std::string FixProgramFolder()
{
    if (!Fixed())
        Fixed() = Compute();
    return *Fixed();
}

} // namespace AppPaths
