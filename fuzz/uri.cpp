// The URL splitter over arbitrary text: the parts never hold more than the
// text, and a path always starts with "/".
#include "netclient/NetHTTP.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    TNetURI u;
    TNetURI::ParseURI(std::string(reinterpret_cast<const char *>(data), size), u.Protocol, u.Host, u.Path,
                      u.Document, u.Port, u.Bookmark);
    if (u.Path.empty() || u.Path[0] != '/')
        abort();
    if (u.Protocol.size() + u.Host.size() + u.Port.size() + u.Path.size() + u.Document.size() + u.Bookmark.size() >
        size + 1)
        abort();
    return 0;
}
