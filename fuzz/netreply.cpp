// The TCP connection's readers over arbitrary peer bytes: numbered replies,
// captures, counted and open-ended streams, buffers and everything up to the
// close, each under a small byte budget. The bytes come through a socket
// pair, so no network is involved. The first byte picks the order of reads.
#include "FuzzPeer.h"
#include "netclient/NetTCPConnection.h"

#include <cstdint>
#include <string>

namespace {

void readOnce(TNetTCPConnection &c, int which)
{
    switch (which % 6) {
    case 0: c.GetResponse({}); break;
    case 1: { TStringList l; c.Capture(&l, ".", true); break; }
    case 2: { TNetMemoryStream s; c.Capture(&s, ".", false); break; }
    case 3: { TNetMemoryStream s; c.ReadStream(&s); break; }
    case 4: { char b[16]; c.ReadBuffer(b, sizeof b); c.ReadLn("\r\n"); break; }
    default: c.AllData(); break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // What fits in the pair's buffer at once (the peer side writes it all
    // before anything is read).
    if (size == 0 || size > 65536)
        return 0;
    const int fd = fuzzpeer::PeerSocket(data + 1, size - 1);
    if (fd < 0)
        return 0;
    const uint8_t order = data[0];
    TNetTCPConnection c;
    c.MaxReadBytes = 4096;
    c.MaxLineLength = 1024;
    c.MaxReplyLines = 50;
    c.MaxCaptureLines = 100;
    c.ReadTimeout = 1000;
    c.Binding().AdoptSocket(fd);
    try {
        for (int i = 0; i < 8 && c.Connected(); ++i)
            readOnce(c, (order >> (i % 4)) + i);
    } catch (const ENetException &) {
        // Every failure over peer bytes is one of the library's own.
    }
    return 0;
}
