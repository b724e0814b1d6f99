// The Base64 decoder over arbitrary bytes, fed whole and in pieces; every
// text it accepts must decode the same both ways, and coding the result must
// read back to it.
#include "netclient/NetCoder3To4.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::string whole;
    try {
        whole = Base64Decode(text);
    } catch (const ENetException &) {
        return 0;
    }
    TNetBase64Decoder pieces;
    pieces.SetBlockSize(7);
    pieces.DropNotifications = true;
    std::string joined;
    const size_t step = size % 13 + 1;
    for (size_t at = 0; at < size; at += step) {
        const std::string r = pieces.CodeString(text.substr(at, step));
        joined += r.size() > 2 ? r.substr(2) : "";
    }
    const std::string r = pieces.CompletedInput();
    joined += r.size() > 2 ? r.substr(2) : "";
    if (joined != whole || Base64Decode(Base64Encode(whole)) != whole)
        std::abort();
    return 0;
}
