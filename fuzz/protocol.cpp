// Protocol replies as a peer sends them: the fuzz bytes arrive on one end
// of a socket pair and a TNetTCPConnection reads them through its public
// reading calls (lines, replies with codes, captured lists).
#include "netclient/NetTCPConnection.h"
#include "platform/Classes.h"

#include <cstdint>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The bytes wait in the pair's buffer, the sending end is shut, so every
// read ends at the data's end: no network, no waiting.
void readAll(const uint8_t *data, size_t size, int variant)
{
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return;
    size_t off = 0;
    while (off < size) {
        const ssize_t n = send(sv[0], data + off, size - off, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0) break;  // the pair's buffer is full: the rest is not sent
        off += size_t(n);
    }
    shutdown(sv[0], SHUT_WR);
    {
        TNetTCPConnection conn;
        conn.Binding().Handle = sv[1];
        conn.Binding().HandleAllocated = true;
        conn.ReadTimeout = 2000;
        conn.MaxLineLength = 4096;
        conn.MaxReplyLines = 64;
        conn.MaxCaptureLines = 256;
        try {
            switch (variant) {
            case 0:
                for (int i = 0; i < 8; ++i) conn.ReadLn();
                conn.ReadLnSkipEmpty();
                break;
            case 1: {
                conn.GetResponse({200, 201, 210, 211});
                TStringList lines;
                conn.Capture(&lines);
                conn.GetResponse({});
                break;
            }
            default:
                conn.ASCIIFilter = true;
                conn.GetResponse({});
                conn.ReadLn("\r\n.\r\n");
                conn.AllData();
            }
        } catch (const std::exception &) {
        }
    }  // the connection closes its end
    close(sv[0]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (int variant = 0; variant < 3; ++variant) readAll(data, size, variant);
    return 0;
}
