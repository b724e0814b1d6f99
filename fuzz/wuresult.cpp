// What the updater leaves for the application's next start, read over
// arbitrary bytes, also through the file the application takes it from.
#include "webupdate/WuResult.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    size_t total = 0;
    for (const std::string &line : wuresult::Parse(text))
        total += line.size();
    if (total > text.size())
        std::abort();
    static const std::string file = [] {
        char name[] = "/tmp/fuzz-wuresult-XXXXXX";
        const int fd = mkstemp(name);
        if (fd >= 0)
            close(fd);
        return std::string(name);
    }();
    if (FILE *f = std::fopen(file.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
        std::vector<std::string> lines;
        wuresult::Take(file, lines);
    }
    return 0;
}
