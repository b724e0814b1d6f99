// The list's own cell file (LoadFromFile), with and without header rows.
#include "FuzzUtil.h"

#include "controls/EnhListV.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path = fuzzutil::AsFile(data, size, ".lst");
    for (bool header : {false, true}) {
        TEnhListView &list = fuzzutil::EmptyList();
        list.LoadHeader = header;
        try {
            list.LoadFromFile(path);
        } catch (const std::exception &) {
        }
    }
    return 0;
}
