// The category list of the settings file: a list text split into items, and
// the same text read from a settings file.
#include "FuzzFiles.h"
#include "discdb/CDDBOptions.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    if (int(cddbopts::SplitCategoryList(text).size()) > cddbopts::kMaxCategories)
        std::abort();
    cddbopts::ReadCategoryItems(fuzzfiles::Folder().put("CDDB.ini", data, size));
    return 0;
}
