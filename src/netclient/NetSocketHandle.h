#pragma once
// One socket of a connection: its handle, local and peer address, and the
// waits on it (cut into anti-freeze slices on the interface thread).
#include "netclient/NetStack.h"

#include <string>

class TNetSocketHandle {
public:
    // A handle made inside a collection takes the collection's default port.
    explicit TNetSocketHandle(int defaultPort = 0);
    virtual ~TNetSocketHandle();
    TNetSocketHandle(const TNetSocketHandle &) = delete;
    TNetSocketHandle &operator=(const TNetSocketHandle &) = delete;

    TNetSocket Handle = NetInvalidSocket;
    bool HandleAllocated = false;
    std::string IP;
    std::string PeerIP;
    int32_t Port = 0;
    int32_t PeerPort = 0;

    // CloseSocket (local reset), then a new internet socket.
    void AllocateSocket(int socketType = Net_SOCK_STREAM, int protocol = 0);
    // Shuts the socket down for sending and closes it, then Reset.
    virtual void CloseSocket(bool resetLocal = true);
    void Reset(bool resetLocal = true);
    // Binds to IP (empty: any) and Port; 10048 raises ENetCouldNotBindSocket.
    void Bind();
    void SetPeer(const std::string &address, int port);
    // Connects to PeerIP:PeerPort without blocking the thread in one call:
    // the connect is waited for in slices (pumping on the interface thread)
    // for at most timeout ms (-2: no limit of ours). Returns -1 on failure
    // (the stack's last error tells why, 10060 when the time ran out).
    virtual int Connect(int family = Net_AF_INET, int timeout = -2);
    int Recv(void *buffer, int length, int flags = 0);
    int Send(const void *buffer, int length, int flags = 0);
    virtual int RecvFrom(void *buffer, int length, int flags, std::string &address, int &port);
    // Raises ENetSocketError on failure.
    void SetSockOpt(int level, int option, const void *value, int length);
    // Whether data (or the peer's close) can be read within the time-out
    // (ms, -2: none). No socket raises ENetConnClosedGracefully.
    bool Readable(int timeout = -2);
    void Assign(const TNetSocketHandle &other);

private:
    // One wait; DoProcess follows it.
    bool waitOnce(bool forWrite, int timeout);
    // A wait cut into anti-freeze slices when an active anti-freeze exists.
    bool waitSliced(bool forWrite, int timeout);
};
