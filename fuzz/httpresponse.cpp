// The HTTP response reader (status line, headers, body by length, chunks or
// close) over arbitrary server bytes under a small budget. The bytes come
// through a socket pair, so no network is involved.
#include "FuzzPeer.h"
#include "netclient/NetHTTP.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    const int fd = fuzzpeer::PeerSocket(data, size);
    if (fd < 0)
        return 0;
    TNetHTTP c;
    c.MaxReadBytes = 4096;
    c.MaxLineLength = 1024;
    c.MaxHeaderLines = 50;
    c.ReadTimeout = 1000;
    c.Binding().AdoptSocket(fd);
    try {
        TNetMemoryStream body;
        c.ReadStatusLine();
        c.RetrieveHeaders();
        c.ReadResult(&body);
    } catch (const Exception &) {
        // Every failure over server bytes is an exception of the library
        // (or the conversion error of a status code that is no number).
    }
    return 0;
}
