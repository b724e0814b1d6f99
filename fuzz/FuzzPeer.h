#pragma once
// Peer bytes for the fuzz targets of the networking readers: the input goes
// through a socket pair whose writing end is closed after it (the peer
// closes), so no network is involved.
#include <cstddef>
#include <cstdint>
#include <sys/socket.h>
#include <unistd.h>

namespace fuzzpeer {

// The reading end with the bytes waiting in it; -1 when no pair could be made.
// The bytes must fit in the pair's buffer (a few tens of kilobytes).
inline int PeerSocket(const uint8_t *data, size_t size)
{
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        return -1;
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = write(pair[1], data + sent, size - sent);
        if (n <= 0)
            break;
        sent += size_t(n);
    }
    close(pair[1]);
    return pair[0];
}

} // namespace fuzzpeer
