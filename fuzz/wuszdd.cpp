// SZDD expansion over arbitrary bytes: the header, the expanded name and
// the expansion itself with a small budget; a refused expansion says why.
#include "FuzzFiles.h"
#include "webupdate/LzExpand.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const fuzzfiles::Scratch &s = fuzzfiles::Folder();
    const std::string packed = s.put("in.ex_", data, size);
    TLzInfo info;
    if (LzInspect(packed, info)) {
        LzExpandedName(packed, info.MissingChar);
        std::string why;
        if (!LzExpand(packed, s.path() + "/out.exe", 1 << 20, &why) && why.empty())
            std::abort();
    }
    s.clear();
    return 0;
}
