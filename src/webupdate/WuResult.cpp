#include "webupdate/WuResult.h"

#include "platform/FileIO.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace wuresult {

std::string Refused(const std::string &name)
{
    return "Refused, it lies outside the program folder: " + name;
}

std::string Missing(const std::string &newFile)
{
    return "Not put in place, the new file is missing: " + newFile;
}

std::string NotReplaced(const std::string &installed, const std::string &newFile, const std::string &why)
{
    return "Could not replace " + installed + " (" + why + "), the new file is kept as " + newFile;
}

std::string NotApplied(const std::string &component, const std::string &why)
{
    return "Could not put in place " + component + ": " + why;
}

std::string Kept(const std::string &newFile)
{
    return "A new file was not put in place and is kept: " + newFile;
}

std::string NotStarted(const std::string &program, const std::string &why)
{
    return "Could not start " + program + " again: " + why;
}

bool Write(const std::string &file, const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines) {
        for (char c : line)
            text += c == '\n' || c == '\r' ? ' ' : c;
        text += '\n';
    }
    return fileio::AtomicWriteFile(file, text);
}

std::vector<std::string> Parse(const std::string &text)
{
    std::vector<std::string> lines;
    const bool cut = text.size() > MaxBytes;
    const std::string body = cut ? text.substr(0, text.rfind('\n', MaxBytes) == std::string::npos
                                                      ? MaxBytes
                                                      : text.rfind('\n', MaxBytes))
                                 : text;
    std::string line;
    auto flush = [&] {
        if (line.find_first_not_of(' ') != std::string::npos)
            lines.push_back(line);
        line.clear();
    };
    for (char c : body) {
        if (c == '\n') {
            flush();
            continue;
        }
        const unsigned char u = static_cast<unsigned char>(c);
        line += u < 0x20 || u == 0x7F ? ' ' : c;
    }
    flush();
    if (cut)
        lines.push_back("(more was not read)");
    return lines;
}

bool Take(const std::string &file, std::vector<std::string> &lines)
{
    lines.clear();
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    // Within the budget, and one byte more to know whether it was cut.
    std::string text(MaxBytes + 1, '\0');
    size_t got = 0;
    while (got < text.size()) {
        const ssize_t n = read(fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += size_t(n);
    }
    close(fd);
    text.resize(got);
    unlink(file.c_str());
    lines = Parse(text);
    return true;
}

} // namespace wuresult
