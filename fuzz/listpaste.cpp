// Pasted clipboard text split into list rows and fields.
#include "controls/EnhListData.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    size_t bytes = 0;
    for (const auto &row : ClipboardRows(text)) {
        if (row.empty() || row.size() > size_t(PasteMaxColumns)) std::abort();
        for (const std::string &f : row) bytes += f.size();
    }
    if (bytes > size) std::abort();
    return 0;
}
