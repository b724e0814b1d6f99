// Version blocks: found in an executable image (ELF note or PE resource)
// and queried for their fixed part and strings.
#include "platform/VersionResource.h"

#include <cstdint>
#include <string>

using namespace verinfo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<uint8_t> block = FindVersionBlock(data, size);
    // The input itself as a block too.
    for (const std::vector<uint8_t> &b : {block, std::vector<uint8_t>(data, data + size)}) {
        if (b.empty()) continue;
        TVSFixedFileInfo info;
        QueryFixedFileInfo(b.data(), b.size(), info);
        std::string value;
        VerQueryValue(b.data(), b.size(), "\\VarFileInfo\\Translation", value);
        VerQueryValue(b.data(), b.size(), "\\StringFileInfo\\040904E4\\FileVersion", value);
    }
    return 0;
}
