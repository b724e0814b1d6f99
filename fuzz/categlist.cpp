// The category list of the settings file: a list text split into items, and
// the same text read from a settings file.
#include "discdb/CDDBOptions.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    if (int(cddbopts::SplitCategoryList(text).size()) > cddbopts::kMaxCategories)
        std::abort();
    char name[] = "/tmp/mixdeck-fuzz-cddb-XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0)
        return 0;
    if (write(fd, data, size) != ssize_t(size)) {
        close(fd);
        unlink(name);
        return 0;
    }
    close(fd);
    cddbopts::ReadCategoryItems(name);
    unlink(name);
    return 0;
}
