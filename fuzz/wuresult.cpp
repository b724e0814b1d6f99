// What the updater leaves for the application's next start, read over
// arbitrary bytes, also through the file the application takes it from.
#include "FuzzFiles.h"
#include "webupdate/WuResult.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    size_t total = 0;
    for (const std::string &line : wuresult::Parse(text))
        total += line.size();
    if (total > text.size())
        std::abort();
    std::vector<std::string> lines;
    wuresult::Take(fuzzfiles::Folder().put("result.txt", data, size), lines);
    return 0;
}
