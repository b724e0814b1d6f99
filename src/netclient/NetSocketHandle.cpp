#include "netclient/NetSocketHandle.h"

#include "netclient/NetAntiFreezeBase.h"

class TNetSocketHandle::Socket {
public:
    Socket(std::shared_ptr<TNetStack> stack, TNetSocket fd) : stack_(std::move(stack)), fd_(fd) {}
    ~Socket() { stack_->CloseSocket(fd_); }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;
    TNetStack &stack() const { return *stack_; }
    TNetSocket fd() const { return fd_; }

private:
    std::shared_ptr<TNetStack> stack_;
    TNetSocket fd_;
};

TNetSocketHandle::TNetSocketHandle(int defaultPort) : Port(defaultPort) {}

TNetSocketHandle::~TNetSocketHandle() { CloseSocket(true); }

TNetSocketHandle::SocketRef TNetSocketHandle::use() const
{
    std::lock_guard<std::mutex> lk(mutex_);
    return HandleAllocated.load() ? socket_ : SocketRef();
}

TNetSocketHandle::SocketRef TNetSocketHandle::useOrRaise() const
{
    SocketRef s = use();
    if (!s)
        throw ENetConnClosedGracefully(NetRes::RSConnectionClosedGracefully);
    return s;
}

void TNetSocketHandle::AllocateSocket(int socketType, int protocol)
{
    CloseSocket(true);
    std::shared_ptr<TNetStack> stack = GStackShared();
    if (!stack)
        throw ENetInvalidSocket(NetRes::RSCannotAllocateSocket);
    const TNetSocket fd = stack->NewSocketHandle(socketType, protocol);
    hold(std::move(stack), fd);
}

void TNetSocketHandle::AdoptSocket(TNetSocket socket)
{
    CloseSocket(true);
    std::shared_ptr<TNetStack> stack = GStackShared();
    if (!stack || socket == NetInvalidSocket)
        throw ENetInvalidSocket(NetRes::RSCannotAllocateSocket);
    hold(std::move(stack), socket);
}

void TNetSocketHandle::hold(std::shared_ptr<TNetStack> stack, TNetSocket fd)
{
    auto s = std::make_shared<Socket>(std::move(stack), fd);
    std::lock_guard<std::mutex> lk(mutex_);
    socket_ = std::move(s);
    Handle.store(fd);
    HandleAllocated.store(true);
}

bool TNetSocketHandle::BeginClose(std::string &peer)
{
    std::lock_guard<std::mutex> lk(mutex_);
    if (!socket_ || !HandleAllocated.exchange(false))
        return false;
    peer = PeerIP;
    return true;
}

void TNetSocketHandle::CloseSocket(bool resetLocal)
{
    {
        std::lock_guard<std::mutex> lk(mutex_);
        if (!socket_)
            return;
    }
    Reset(resetLocal);
}

void TNetSocketHandle::Reset(bool resetLocal)
{
    SocketRef s;
    {
        std::lock_guard<std::mutex> lk(mutex_);
        s = std::move(socket_);
        socket_.reset();
        HandleAllocated.store(false);
        Handle.store(NetInvalidSocket);
        PeerIP.clear();
        PeerPort = 0;
        if (resetLocal) {
            IP.clear();
            Port = 0;
        }
    }
    // Both directions: a wait or receive of another thread on this socket
    // returns now. The descriptor closes when the last of them lets go.
    if (s)
        s->stack().Shutdown(s->fd(), Net_SD_BOTH);
}

void TNetSocketHandle::readAddress(bool peer, std::string &ip, int &port) const
{
    std::lock_guard<std::mutex> lk(mutex_);
    ip = peer ? PeerIP : IP;
    port = peer ? PeerPort : Port;
}

void TNetSocketHandle::writeAddress(bool peer, const std::string &ip, int port)
{
    std::lock_guard<std::mutex> lk(mutex_);
    (peer ? PeerIP : IP) = ip;
    (peer ? PeerPort : Port) = port;
}

void TNetSocketHandle::Bind()
{
    SocketRef s = useOrRaise();
    TNetStack &stack = s->stack();
    std::string ip;
    int port;
    readAddress(false, ip, port);
    if (stack.CheckForSocketError(stack.Bind(s->fd(), Net_AF_INET, ip, port), {WSAEADDRINUSE}))
        throw ENetCouldNotBindSocket(NetRes::RSCouldNotBindSocket);
    int family;
    stack.SockName(s->fd(), family, ip, port);
    writeAddress(false, ip, port);
}

void TNetSocketHandle::SetPeer(const std::string &address, int port) { writeAddress(true, address, port); }

int TNetSocketHandle::Connect(int family, int timeout)
{
    SocketRef s = useOrRaise();
    TNetStack &stack = s->stack();
    std::string peerIP;
    int peerPort;
    readAddress(true, peerIP, peerPort);
    int r = stack.ConnectNonBlocking(s->fd(), family, peerIP, peerPort);
    if (r < 0) {
        if (stack.LastError() != WSAEINPROGRESS)
            return -1;
        if (!waitSliced(true, timeout)) {
            stack.SetLastError(WSAETIMEDOUT);
            return -1;
        }
        if (int32_t err = stack.PendingError(s->fd())) {
            stack.SetLastError(err);
            return -1;
        }
    }
    int f, port;
    std::string ip;
    stack.SockName(s->fd(), f, ip, port);
    stack.PeerName(s->fd(), f, peerIP, peerPort);
    writeAddress(false, ip, port);
    writeAddress(true, peerIP, peerPort);
    return 0;
}

int TNetSocketHandle::Recv(void *buffer, int length, int flags)
{
    SocketRef s = use();
    if (!s)
        return 0;
    return s->stack().Recv(s->fd(), buffer, length, flags);
}

int TNetSocketHandle::Send(const void *buffer, int length, int flags)
{
    SocketRef s = use();
    if (!s) {
        if (TNetStack *stack = GStack())
            stack->SetLastError(WSAESHUTDOWN);
        return -1;
    }
    return s->stack().Send(s->fd(), buffer, length, flags);
}

int TNetSocketHandle::RecvFrom(void *buffer, int length, int flags, std::string &address, int &port)
{
    SocketRef s = use();
    if (!s)
        return 0;
    return s->stack().RecvFrom(s->fd(), buffer, length, flags, address, port);
}

void TNetSocketHandle::SetSockOpt(int level, int option, const void *value, int length)
{
    SocketRef s = useOrRaise();
    s->stack().CheckForSocketError(s->stack().SetSockOpt(s->fd(), level, option, value, length));
}

bool TNetSocketHandle::waitOnce(bool forWrite, int timeout, const TNetClock::time_point *deadline)
{
    bool ready;
    {
        // A handler run by the pump, or another thread, may have closed the
        // socket meanwhile.
        SocketRef s = useOrRaise();
        TNetStack &stack = s->stack();
        TNetSocketList list {s->fd()};
        int r = forWrite ? stack.Select(nullptr, &list, nullptr, timeout)
                         : stack.Select(&list, nullptr, nullptr, timeout);
        stack.CheckForSocketError(r);
        ready = r == 1;
    }
    if (deadline)
        PumpUntil(*deadline, !ready);
    else
        TNetAntiFreezeBase::DoProcess(!ready, false);
    return ready;
}

void TNetSocketHandle::PumpUntil(TNetClock::time_point deadline, bool idle)
{
    // While the pump runs (a modal box may keep it for long), the deadline
    // ends the connection: the socket is shut down in both directions and
    // the peer sees the close then. The descriptor stays for the wait,
    // which ends as timed out once the pump returns.
    TNetAntiFreezeBase::DoProcessWait(idle, deadline, [socket = std::weak_ptr<Socket>(use())] {
        if (const SocketRef s = socket.lock())
            s->stack().Shutdown(s->fd(), Net_SD_BOTH);
    });
}

bool TNetSocketHandle::waitSliced(bool forWrite, int timeout)
{
    const bool unlimited = timeout == -2;
    const auto deadline = NetDeadline(timeout);
    for (;;) {
        // Asked again before every slice: the pump may have changed or ended
        // the anti-freeze.
        const int slice = TNetAntiFreezeBase::SliceLength();
        int wait;
        if (unlimited) {
            wait = slice > 0 ? slice : -2;
        } else {
            // Slices end on the deadline: the first takes what is left over,
            // the last ones are a whole slice each.
            const int left = NetMillisecondsLeft(deadline);
            wait = left;
            if (slice > 0 && left > slice)
                wait = left % slice != 0 ? left % slice : slice;
        }
        if (waitOnce(forWrite, wait, unlimited ? nullptr : &deadline))
            return true;
        if (!unlimited && NetMillisecondsLeft(deadline) == 0)
            return false;
    }
}

bool TNetSocketHandle::Readable(int timeout) { return waitSliced(false, timeout); }

bool TNetSocketHandle::Writable(int timeout) { return waitSliced(true, timeout); }

void TNetSocketHandle::Assign(const TNetSocketHandle &other)
{
    if (&other == this)
        return;
    std::scoped_lock lk(mutex_, other.mutex_);
    IP = other.IP;
    Port = other.Port;
    PeerIP = other.PeerIP;
    PeerPort = other.PeerPort;
}
