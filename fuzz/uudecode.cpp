// The UU and XX decoders over arbitrary bytes: headers, tables, data lines.
#include "netclient/NetCoder3To4.h"

#include <cstdint>
#include <string>

namespace {

void run(TNetUUDecoder &d, const std::string &text)
{
    try {
        d.CodeString(text);
        while (!d.Entries().empty())
            d.GetCodedData();
        d.CompletedInput();
        while (!d.Entries().empty())
            d.GetCodedData();
    } catch (const ENetException &) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    TNetUUDecoder uu;
    run(uu, text);
    TNetXXDecoder xx;
    xx.SetBlockSize(5);
    run(xx, text);
    return 0;
}
