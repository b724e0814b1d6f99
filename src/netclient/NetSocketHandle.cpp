#include "netclient/NetSocketHandle.h"

#include "netclient/NetAntiFreezeBase.h"

TNetSocketHandle::TNetSocketHandle(int defaultPort) : Port(defaultPort) {}

TNetSocketHandle::~TNetSocketHandle() { CloseSocket(true); }

void TNetSocketHandle::AllocateSocket(int socketType, int protocol)
{
    CloseSocket(true);
    Handle = GStack()->NewSocketHandle(socketType, protocol);
    HandleAllocated = true;
}

void TNetSocketHandle::CloseSocket(bool resetLocal)
{
    if (!HandleAllocated)
        return;
    HandleAllocated = false;
    if (TNetStack *stack = GStack()) {
        stack->Shutdown(Handle, 1);
        stack->CloseSocket(Handle);
    }
    Reset(resetLocal);
}

void TNetSocketHandle::Reset(bool resetLocal)
{
    HandleAllocated = false;
    Handle = NetInvalidSocket;
    PeerIP.clear();
    PeerPort = 0;
    if (resetLocal) {
        IP.clear();
        Port = 0;
    }
}

void TNetSocketHandle::Bind()
{
    TNetStack *stack = GStack();
    if (stack->CheckForSocketError(stack->Bind(Handle, Net_AF_INET, IP, Port), {WSAEADDRINUSE}))
        throw ENetCouldNotBindSocket(NetRes::RSCouldNotBindSocket);
    int family;
    stack->SockName(Handle, family, IP, Port);
}

void TNetSocketHandle::SetPeer(const std::string &address, int port)
{
    PeerIP = address;
    PeerPort = port;
}

int TNetSocketHandle::Connect(int family, int timeout)
{
    TNetStack *stack = GStack();
    int r = stack->ConnectNonBlocking(Handle, family, PeerIP, PeerPort);
    if (r < 0) {
        if (stack->LastError() != WSAEINPROGRESS)
            return -1;
        if (!waitSliced(true, timeout)) {
            stack->SetLastError(WSAETIMEDOUT);
            return -1;
        }
        if (int32_t err = stack->PendingError(Handle)) {
            stack->SetLastError(err);
            return -1;
        }
    }
    int f;
    stack->SockName(Handle, f, IP, Port);
    stack->PeerName(Handle, f, PeerIP, PeerPort);
    return 0;
}

int TNetSocketHandle::Recv(void *buffer, int length, int flags)
{
    return GStack()->Recv(Handle, buffer, length, flags);
}

int TNetSocketHandle::Send(const void *buffer, int length, int flags)
{
    return GStack()->Send(Handle, buffer, length, flags);
}

int TNetSocketHandle::RecvFrom(void *buffer, int length, int flags, std::string &address, int &port)
{
    return GStack()->RecvFrom(Handle, buffer, length, flags, address, port);
}

void TNetSocketHandle::SetSockOpt(int level, int option, const void *value, int length)
{
    TNetStack *stack = GStack();
    stack->CheckForSocketError(stack->SetSockOpt(Handle, level, option, value, length));
}

bool TNetSocketHandle::waitOnce(bool forWrite, int timeout)
{
    // A handler run by the pump may have closed the socket meanwhile.
    if (!HandleAllocated)
        throw ENetConnClosedGracefully(NetRes::RSConnectionClosedGracefully);
    TNetStack *stack = GStack();
    TNetSocketList list {Handle};
    int r = forWrite ? stack->Select(nullptr, &list, nullptr, timeout)
                     : stack->Select(&list, nullptr, nullptr, timeout);
    stack->CheckForSocketError(r);
    bool ready = r == 1;
    TNetAntiFreezeBase::DoProcess(!ready, false);
    return ready;
}

bool TNetSocketHandle::waitSliced(bool forWrite, int timeout)
{
    if (!HandleAllocated)
        throw ENetConnClosedGracefully(NetRes::RSConnectionClosedGracefully);
    TNetAntiFreezeBase *af = TNetAntiFreezeBase::Instance();
    if (!af || !af->Active())
        return waitOnce(forWrite, timeout);
    const int idle = af->IdleTimeOut() > 0 ? af->IdleTimeOut() : 1;
    if (timeout == -2) {
        for (;;)
            if (waitOnce(forWrite, idle))
                return true;
    }
    if (timeout <= idle)
        return waitOnce(forWrite, timeout);
    // The last slices are IdleTimeOut long; the first takes what is left over.
    int first = timeout % idle;
    if (first == 0)
        first = idle;
    const int slices = 1 + (timeout - first) / idle;
    for (int i = 0; i < slices; ++i)
        if (waitOnce(forWrite, i == 0 ? first : idle))
            return true;
    return false;
}

bool TNetSocketHandle::Readable(int timeout) { return waitSliced(false, timeout); }

void TNetSocketHandle::Assign(const TNetSocketHandle &other)
{
    IP = other.IP;
    Port = other.Port;
    PeerIP = other.PeerIP;
    PeerPort = other.PeerPort;
}
