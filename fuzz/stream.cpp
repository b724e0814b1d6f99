// The list's stream records (LoadFromStream).
#include "FuzzUtil.h"

#include "controls/EnhListV.h"
#include "platform/Streams.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TMemoryStream stream;
    stream.Write(data, int64_t(size));
    TEnhListView &list = fuzzutil::EmptyList();
    try {
        list.LoadFromStream(stream);
    } catch (const std::exception &) {
    }
    return 0;
}
