// The web update's control file reader over arbitrary bytes: every value of
// the sections the update reads, and every listed file the count allows.
#include "webupdate/WuControl.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TUpdateControlFile f;
    if (!f.LoadFromText(std::string(reinterpret_cast<const char *>(data), size)))
        return 0;
    for (const char *key : {"signature", "date", "time", "unconditional", "newversion", "localversion"})
        f.Value("update", key);
    f.Size("update", "newsize");
    f.Checksum("update", "newchecksum");
    f.Integer("application", "appupdate", 0);
    int count = 0;
    if (f.FileCount(count))
        for (int i = 1; i <= count && i <= 64; ++i)
            f.File(i);
    return 0;
}
