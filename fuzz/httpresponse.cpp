// The HTTP response reader (status line, headers, body by length, chunks or
// close) over arbitrary server bytes under a small budget. The bytes come
// through a socket pair, so no network is involved.
#include "netclient/NetHTTP.h"

#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return 0;
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = write(pair[1], data + sent, size - sent);
        if (n <= 0)
            break;
        sent += size_t(n);
    }
    close(pair[1]);  // the server closes after its bytes
    TNetHTTP c;
    c.MaxReadBytes = 4096;
    c.MaxLineLength = 1024;
    c.MaxHeaderLines = 50;
    c.ReadTimeout = 1000;
    c.Binding().AdoptSocket(pair[0]);
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
