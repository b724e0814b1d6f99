#include "webupdate/WuPaths.h"

#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <vector>

namespace wupaths {

namespace {

std::vector<std::string> SplitParts(const std::string &path)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char c : path) {
        if (c == '/') {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    return parts;
}

bool RealPath(const std::string &path, std::string &out)
{
    char buf[PATH_MAX];
    if (!realpath(path.c_str(), buf))
        return false;
    out = buf;
    return true;
}

} // namespace

std::string Slashes(const std::string &path)
{
    std::string s = path;
    for (char &c : s)
        if (c == '\\')
            c = '/';
    return s;
}

bool CleanRelativeName(const std::string &name, std::string &clean)
{
    clean.clear();
    const std::string s = Slashes(name);
    if (s.empty() || s[0] == '/')
        return false;
    if (s.size() >= 2 && s[1] == ':')
        return false;
    std::string out;
    for (const std::string &part : SplitParts(s)) {
        for (unsigned char c : part)
            if (c < 0x20 || c == 0x7F)
                return false;
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
            return false;
        if (!out.empty())
            out += '/';
        out += part;
    }
    if (out.empty())
        return false;
    clean = out;
    return true;
}

bool FoldPath(const std::string &path, std::string &folded)
{
    const bool absolute = !path.empty() && path[0] == '/';
    std::vector<std::string> stack;
    for (const std::string &part : SplitParts(path)) {
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (stack.empty())
                return false;
            stack.pop_back();
            continue;
        }
        stack.push_back(part);
    }
    std::string out = absolute ? "/" : "";
    for (size_t i = 0; i < stack.size(); ++i) {
        if (i > 0)
            out += '/';
        out += stack[i];
    }
    if (out.empty())
        out = ".";
    folded = out;
    return true;
}

bool IsInside(const std::string &folder, const std::string &path)
{
    std::string root;
    if (!RealPath(folder, root))
        return false;
    std::string folded;
    if (!FoldPath(path, folded))
        return false;
    // The nearest part of path that exists is resolved; what follows it are
    // plain names (FoldPath left no ".." in them).
    std::string existing = folded;
    std::string rest;
    while (true) {
        struct stat st;
        if (lstat(existing.c_str(), &st) == 0)
            break;
        const size_t slash = existing.rfind('/');
        if (slash == std::string::npos) {
            rest = existing + (rest.empty() ? "" : "/" + rest);
            existing = ".";
            break;
        }
        rest = existing.substr(slash + 1) + (rest.empty() ? "" : "/" + rest);
        existing = slash == 0 ? "/" : existing.substr(0, slash);
    }
    std::string resolved;
    if (!RealPath(existing, resolved))
        return false;
    if (!rest.empty())
        resolved += (resolved == "/" ? "" : "/") + rest;
    if (root == "/")
        return true;
    return resolved == root || resolved.compare(0, root.size() + 1, root + "/") == 0;
}

} // namespace wupaths
