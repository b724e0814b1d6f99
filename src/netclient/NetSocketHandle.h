#pragma once
// One socket of a connection: its handle, local and peer address, and the
// waits on it (cut into anti-freeze slices on the interface thread).
//
// A connection may be read on one thread and closed on another: the handle
// state is atomic, closing shuts the socket down in both directions first (so
// a wait or receive blocked on another thread returns at once), and the
// descriptor itself is closed only when no thread uses it any more, so its
// number cannot pass to a new socket while an old wait still holds it.
#include "netclient/NetStack.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class TNetSocketHandle {
public:
    // A handle made inside a collection takes the collection's default port.
    explicit TNetSocketHandle(int defaultPort = 0);
    virtual ~TNetSocketHandle();
    TNetSocketHandle(const TNetSocketHandle &) = delete;
    TNetSocketHandle &operator=(const TNetSocketHandle &) = delete;

    std::atomic<TNetSocket> Handle {NetInvalidSocket};
    std::atomic<bool> HandleAllocated {false};
    // Addresses: written by the thread that connects and by the close.
    std::string IP;
    std::string PeerIP;
    int32_t Port = 0;
    int32_t PeerPort = 0;

    // CloseSocket (local reset), then a new internet socket.
    void AllocateSocket(int socketType = Net_SOCK_STREAM, int protocol = 0);
    // CloseSocket (local reset), then takes over a socket that is already
    // connected (one end of a socket pair, for instance); it is closed like
    // one of our own.
    void AdoptSocket(TNetSocket socket);
    // Shuts the socket down and lets it go (closed once no thread uses it),
    // then Reset. Safe from any thread; only one caller closes.
    virtual void CloseSocket(bool resetLocal = true);
    // Forgets the socket (shutting it down as CloseSocket does) and the addresses.
    void Reset(bool resetLocal = true);
    // Takes the socket out of use for every thread: afterwards HandleAllocated
    // is false and new waits raise, but the socket stays open until
    // CloseSocket. True for the one caller that found it allocated; peer gets
    // PeerIP then.
    bool BeginClose(std::string &peer);
    // Binds to IP (empty: any) and Port; 10048 raises ENetCouldNotBindSocket.
    void Bind();
    void SetPeer(const std::string &address, int port);
    // Connects to PeerIP:PeerPort without blocking the thread in one call:
    // the connect is waited for in slices (pumping on the interface thread)
    // for at most timeout ms (-2: no limit of ours). Returns -1 on failure
    // (the stack's last error tells why, 10060 when the time ran out).
    virtual int Connect(int family = Net_AF_INET, int timeout = -2);
    // A socket closed locally reads as closed by the peer (0) and refuses to
    // send (-1, error 10058).
    int Recv(void *buffer, int length, int flags = 0);
    int Send(const void *buffer, int length, int flags = 0);
    virtual int RecvFrom(void *buffer, int length, int flags, std::string &address, int &port);
    // Raises ENetSocketError on failure.
    void SetSockOpt(int level, int option, const void *value, int length);
    // Whether data (or the peer's close) can be read within the time-out
    // (ms, -2: none). No socket raises ENetConnClosedGracefully.
    bool Readable(int timeout = -2);
    // The same wait for room to send.
    bool Writable(int timeout = -2);
    void Assign(const TNetSocketHandle &other);
    // Lets the anti-freeze pump once for a wait or transfer that ends at
    // deadline: should the pump run past it (a modal box's own event loop
    // inside it), the socket is shut down at the deadline, not when the pump
    // returns. idle: nothing came (DoProcess's idle).
    void PumpUntil(TNetClock::time_point deadline, bool idle);

private:
    // The open descriptor, shared by every call that uses it; the last
    // owner closes it.
    class Socket;
    using SocketRef = std::shared_ptr<Socket>;
    // The local (peer false) or peer address and port, read or written under the lock.
    void readAddress(bool peer, std::string &ip, int &port) const;
    void writeAddress(bool peer, const std::string &ip, int port);
    // Holds fd as the handle's socket.
    void hold(std::shared_ptr<TNetStack> stack, TNetSocket fd);
    // The socket for one call; null when none is allocated.
    SocketRef use() const;
    // Like use, but no socket raises ENetConnClosedGracefully.
    SocketRef useOrRaise() const;
    // One wait; the pump follows it. deadline: the whole wait's end, held
    // while the pump runs (null: none).
    bool waitOnce(bool forWrite, int timeout, const TNetClock::time_point *deadline);
    // A wait for the caller's whole time, cut into anti-freeze slices on the
    // interface thread while an active anti-freeze exists.
    bool waitSliced(bool forWrite, int timeout);

    mutable std::mutex mutex_;
    SocketRef socket_;
};
