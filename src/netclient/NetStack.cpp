#include "netclient/NetStack.h"

#include "netclient/NetGlobal.h"

#include "platform/Classes.h"
#include "platform/Rtl.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The process-wide stack: owned here while components live, and by every open
// socket until that socket is closed (a socket may outlive the last
// component on a thread that still waits on it).
std::mutex gStackMutex;
std::shared_ptr<TNetStack> gStackOwner;
std::atomic<TNetStack *> gStack {nullptr};
// The last socket error of the calling thread, as a socket error number.
thread_local int32_t tLastError = 0;

int fail(int err)
{
    tLastError = ErrnoToSocketError(err);
    return -1;
}

int32_t gaiToSocketError(int rc)
{
    switch (rc) {
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_SYSTEM: return ErrnoToSocketError(errno);
    default: return WSANO_RECOVERY;
    }
}

bool fillAddress(sockaddr_in &sa, const std::string &address, int port, TNetStack &stack)
{
    std::memset(&sa, 0, sizeof sa);
    sa.sin_family = AF_INET;
    sa.sin_port = htons(uint16_t(port));
    sa.sin_addr.s_addr = address.empty() ? htonl(INADDR_ANY) : stack.TextToAddress(address);
    return true;
}

std::string addrText(const sockaddr_in &sa)
{
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &sa.sin_addr, buf, sizeof buf);
    return buf;
}

// Socket options in the numbering the components use, mapped to this system's.
void mapOption(int &level, int &option)
{
    if (level != 0xFFFF)
        return;
    level = SOL_SOCKET;
    switch (option) {
    case 0x0004: option = SO_REUSEADDR; break;
    case 0x0008: option = SO_KEEPALIVE; break;
    case 0x0020: option = SO_BROADCAST; break;
    case 0x0080: option = SO_LINGER; break;
    case 0x1001: option = SO_SNDBUF; break;
    case 0x1002: option = SO_RCVBUF; break;
    default: break;
    }
}

const char *errorText(int32_t error)
{
    switch (error) {
    case 10004: return "Interrupted system call.";
    case 10009: return "Bad file number.";
    case 10013: return "Access denied.";
    case 10014: return "Bad address.";
    case 10022: return "Invalid argument.";
    case 10024: return "Too many open files.";
    case 10035: return "Operation would block. ";
    case 10036: return "Operation now in progress.";
    case 10037: return "Operation already in progress.";
    case 10038: return "Socket operation on non-socket.";
    case 10039: return "Destination address required.";
    case 10040: return "Message too long.";
    case 10041: return "Protocol wrong type for socket.";
    case 10042: return "Bad protocol option.";
    case 10043: return "Protocol not supported.";
    case 10044: return "Socket type not supported.";
    case 10045: return "Operation not supported on socket.";
    case 10046: return "Protocol family not supported.";
    case 10047: return "Address family not supported by protocol family.";
    case 10048: return "Address already in use.";
    case 10049: return "Cannot assign requested address.";
    case 10050: return "Network is down.";
    case 10051: return "Network is unreachable.";
    case 10052: return "Net dropped connection or reset.";
    case 10053: return "Software caused connection abort.";
    case 10054: return "Connection reset by peer.";
    case 10055: return "No buffer space available.";
    case 10056: return "Socket is already connected.";
    case 10057: return "Socket is not connected.";
    case 10058: return "Cannot send or receive after socket is closed.";
    case 10059: return "Too many references, cannot splice.";
    case 10060: return "Connection timed out.";
    case 10061: return "Connection refused.";
    case 10062: return "Too many levels of symbolic links.";
    case 10063: return "File name too long.";
    case 10064: return "Host is down.";
    case 10065: return "No route to host.";
    case 10066: return "Directory not empty";
    default: return "";
    }
}

} // namespace

int32_t ErrnoToSocketError(int err)
{
    switch (err) {
    case 0: return 0;
    case EINTR: return WSAEINTR;
    case EBADF: return WSAEBADF;
    case EACCES: case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE: case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return WSAEINPROGRESS;
    case EALREADY: return WSAEALREADY;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case ENOPROTOOPT: return WSAENOPROTOOPT;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case ESOCKTNOSUPPORT: return WSAESOCKTNOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EPFNOSUPPORT: return WSAEPFNOSUPPORT;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ENETRESET: return WSAENETRESET;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS: case ENOMEM: return WSAENOBUFS;
    case EISCONN: return WSAEISCONN;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: case EPIPE: return WSAESHUTDOWN;
    case ETOOMANYREFS: return WSAETOOMANYREFS;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return WSAELOOP;
    case ENAMETOOLONG: return WSAENAMETOOLONG;
    case EHOSTDOWN: return WSAEHOSTDOWN;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    case ENOTEMPTY: return WSAENOTEMPTY;
    default: return err;
    }
}

TNetClock::time_point NetDeadline(int milliseconds)
{
    return TNetClock::now() + std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds);
}

int NetMillisecondsLeft(TNetClock::time_point deadline)
{
    const auto left = deadline - TNetClock::now();
    if (left <= TNetClock::duration::zero())
        return 0;
    // Rounded up: a wait of the truncated value would end before the
    // deadline, and a loop of such waits would spin on its last millisecond.
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : int(ms);
}

TNetStack *GStack() { return gStack.load(); }

std::shared_ptr<TNetStack> GStackShared()
{
    std::lock_guard<std::mutex> lk(gStackMutex);
    return gStackOwner;
}

void SetGStack(TNetStack *stack)
{
    std::shared_ptr<TNetStack> old;
    {
        std::lock_guard<std::mutex> lk(gStackMutex);
        old = std::move(gStackOwner);
        gStackOwner.reset(stack);
        gStack.store(stack);
    }
    // old goes here, outside the lock: the stack ends once no socket holds it.
}

// ---- TNetStack -------------------------------------------------------------------
TNetStack::TNetStack() = default;
TNetStack::~TNetStack() = default;

bool TNetStack::CheckForSocketError(int result, std::initializer_list<int32_t> ignored)
{
    if (result != -1)
        return false;
    int32_t error = LastError();
    for (int32_t e : ignored)
        if (e == error)
            return true;
    RaiseSocketError(error);
}

void TNetStack::RaiseSocketError(int32_t error)
{
    throw ENetSocketError(error, SocketErrorText(error));
}

std::string TNetStack::SocketErrorText(int32_t error)
{
    return "Socket Error # " + std::to_string(error) + "\r\n" + errorText(error);
}

TNetSocket TNetStack::NewSocketHandle(int socketType, int protocol)
{
    TNetSocket s = NewSocket(Net_AF_INET, socketType, protocol);
    if (s == NetInvalidSocket)
        throw ENetInvalidSocket(NetRes::RSCannotAllocateSocket);
    return s;
}

std::string TNetStack::ResolveHost(const std::string &host)
{
    if (Rtl::UpperCase(host) == "LOCALHOST")
        return "127.0.0.1";
    if (IsIP(host))
        return host;
    return HostByName(host);
}

bool TNetStack::IsIP(const std::string &text)
{
    std::string rest = text;
    for (int i = 0; i < 4; ++i) {
        std::string part;
        if (i < 3) {
            size_t p = rest.find('.');
            if (p == std::string::npos)
                return false;
            part = rest.substr(0, p);
            rest.erase(0, p + 1);
        } else {
            part = rest;
        }
        if (part.empty() || part.size() > 3)
            return false;
        for (char c : part)
            if (c < '0' || c > '9')
                return false;
        if (std::stoi(part) > 255)
            return false;
    }
    return true;
}

std::string TNetStack::LocalAddress()
{
    TStringList &l = LocalAddresses();
    return l.Count() > 0 ? l[0] : std::string();
}

TStringList &TNetStack::LocalAddresses()
{
    if (!localAddresses_)
        localAddresses_ = std::make_unique<TStringList>();
    PopulateLocalAddresses();
    return *localAddresses_;
}

// ---- TNetStackPosix ----------------------------------------------------------------
TNetStackPosix::TNetStackPosix()
{
    version_.Description = "POSIX sockets";
    version_.SystemStatus = "Running";
    long open = sysconf(_SC_OPEN_MAX);
    version_.MaxSockets = open > 0 && open < 0x7FFFFFFF ? int32_t(open) : 0x7FFFFFFF;
}

TNetStackPosix::~TNetStackPosix() = default;

void TNetStackPosix::PopulateLocalAddresses()
{
    if (!localAddresses_)
        localAddresses_ = std::make_unique<TStringList>();
    localAddresses_->Clear();
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    if (getaddrinfo(LocalHostName().c_str(), nullptr, &hints, &res) != 0)
        return;
    for (addrinfo *a = res; a; a = a->ai_next) {
        std::string t = addrText(*reinterpret_cast<sockaddr_in *>(a->ai_addr));
        if (localAddresses_->IndexOf(t) < 0)
            localAddresses_->Add(t);
    }
    freeaddrinfo(res);
}

TNetSocket TNetStackPosix::Accept(TNetSocket s, std::string &address, int &port)
{
    sockaddr_in sa {};
    socklen_t len = sizeof sa;
    int r = accept4(s, reinterpret_cast<sockaddr *>(&sa), &len, SOCK_CLOEXEC);
    if (r < 0)
        return fail(errno);
    address = addrText(sa);
    port = ntohs(sa.sin_port);
    return r;
}

int TNetStackPosix::Bind(TNetSocket s, int, const std::string &address, int port)
{
    sockaddr_in sa;
    fillAddress(sa, address, port, *this);
    if (bind(s, reinterpret_cast<sockaddr *>(&sa), sizeof sa) < 0)
        return fail(errno);
    return 0;
}

int TNetStackPosix::CloseSocket(TNetSocket s) { return close(s) < 0 ? fail(errno) : 0; }

int TNetStackPosix::Connect(TNetSocket s, int, const std::string &address, int port)
{
    sockaddr_in sa;
    fillAddress(sa, address, port, *this);
    int r;
    do
        r = connect(s, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    while (r < 0 && errno == EINTR);
    return r < 0 ? fail(errno) : 0;
}

int TNetStackPosix::ConnectNonBlocking(TNetSocket s, int, const std::string &address, int port)
{
    sockaddr_in sa;
    fillAddress(sa, address, port, *this);
    int flags = fcntl(s, F_GETFL);
    if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) < 0)
        return fail(errno);
    int r = connect(s, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    int err = r < 0 ? errno : 0;
    fcntl(s, F_SETFL, flags);
    if (r < 0)
        return fail(err == EINTR ? EINPROGRESS : err);
    return 0;
}

int32_t TNetStackPosix::PendingError(TNetSocket s)
{
    int err = 0;
    socklen_t len = sizeof err;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) < 0)
        return ErrnoToSocketError(errno);
    return ErrnoToSocketError(err);
}

std::string TNetStackPosix::HostByName(const std::string &name)
{
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *res = nullptr;
    int rc = getaddrinfo(name.c_str(), nullptr, &hints, &res);
    if (rc != 0 || !res) {
        tLastError = rc != 0 ? gaiToSocketError(rc) : WSAHOST_NOT_FOUND;
        if (res)
            freeaddrinfo(res);
        CheckForSocketError(-1);
    }
    std::string t = addrText(*reinterpret_cast<sockaddr_in *>(res->ai_addr));
    freeaddrinfo(res);
    return t;
}

std::string TNetStackPosix::LocalHostName()
{
    char buf[250] = {};
    if (gethostname(buf, sizeof buf - 1) < 0)
        return "";
    return std::string(buf, strnlen(buf, sizeof buf));
}

std::string TNetStackPosix::HostByAddress(const std::string &address)
{
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    if (inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        tLastError = WSAHOST_NOT_FOUND;
        CheckForSocketError(-1);
    }
    char host[NI_MAXHOST] = {};
    int rc = getnameinfo(reinterpret_cast<sockaddr *>(&sa), sizeof sa, host, sizeof host, nullptr, 0, NI_NAMEREQD);
    if (rc != 0) {
        tLastError = gaiToSocketError(rc);
        CheckForSocketError(-1);
    }
    return host;
}

int TNetStackPosix::ServiceByName(const std::string &name)
{
    servent se {};
    servent *r = nullptr;
    char buf[1024];
    if (getservbyname_r(name.c_str(), nullptr, &se, buf, sizeof buf, &r) == 0 && r)
        return ntohs(uint16_t(r->s_port));
    int v;
    if (Rtl::TryStrToInt(name, v))
        return v;
    throw ENetInvalidServiceName(Rtl::Format(NetRes::RSInvalidServiceName, {name}));
}

std::vector<std::string> TNetStackPosix::ServiceByPort(int port)
{
    std::vector<std::string> out;
    servent se {};
    servent *r = nullptr;
    char buf[1024];
    if (getservbyport_r(htons(uint16_t(port)), nullptr, &se, buf, sizeof buf, &r) == 0 && r) {
        out.push_back(r->s_name);
        for (char **a = r->s_aliases; a && *a; ++a)
            out.push_back(*a);
    }
    return out;
}

uint16_t TNetStackPosix::HostToNetShort(uint16_t v) { return htons(v); }
uint16_t TNetStackPosix::NetToHostShort(uint16_t v) { return ntohs(v); }
uint32_t TNetStackPosix::HostToNetLong(uint32_t v) { return htonl(v); }
uint32_t TNetStackPosix::NetToHostLong(uint32_t v) { return ntohl(v); }

int TNetStackPosix::Listen(TNetSocket s, int backlog) { return listen(s, backlog) < 0 ? fail(errno) : 0; }

int TNetStackPosix::Recv(TNetSocket s, void *buffer, int length, int flags)
{
    ssize_t r;
    do
        r = recv(s, buffer, size_t(length), flags);
    while (r < 0 && errno == EINTR);
    return r < 0 ? fail(errno) : int(r);
}

int TNetStackPosix::RecvFrom(TNetSocket s, void *buffer, int length, int flags, std::string &address, int &port)
{
    sockaddr_in sa {};
    socklen_t len = sizeof sa;
    ssize_t r;
    do
        r = recvfrom(s, buffer, size_t(length), flags, reinterpret_cast<sockaddr *>(&sa), &len);
    while (r < 0 && errno == EINTR);
    if (r < 0)
        return fail(errno);
    address = addrText(sa);
    port = ntohs(sa.sin_port);
    return int(r);
}

int TNetStackPosix::Select(TNetSocketList *readList, TNetSocketList *writeList, TNetSocketList *errorList, int timeout)
{
    TNetSocketList *lists[3] = {readList, writeList, errorList};
    const short events[3] = {POLLIN, POLLOUT, POLLPRI};
    std::vector<pollfd> fds;
    for (int k = 0; k < 3; ++k) {
        if (!lists[k])
            continue;
        if (lists[k]->size() > size_t(NetFDSetSize))
            throw ENetStackSetSizeExceeded(NetRes::RSStackSetSizeExceeded);
        for (TNetSocket s : *lists[k]) {
            bool found = false;
            for (pollfd &p : fds)
                if (p.fd == s) {
                    p.events = short(p.events | events[k]);
                    found = true;
                }
            if (!found)
                fds.push_back(pollfd {s, events[k], 0});
        }
    }
    const bool unlimited = timeout == -2;
    const auto deadline = NetDeadline(timeout);
    int r;
    for (;;) {
        // A signal cuts the wait short: wait again for what is really left.
        r = poll(fds.data(), nfds_t(fds.size()), unlimited ? -1 : NetMillisecondsLeft(deadline));
        if (r >= 0 || errno != EINTR)
            break;
    }
    if (r < 0)
        return fail(errno);
    int count = 0;
    for (int k = 0; k < 3; ++k) {
        if (!lists[k])
            continue;
        TNetSocketList ready;
        for (TNetSocket s : *lists[k]) {
            for (const pollfd &p : fds) {
                if (p.fd != s)
                    continue;
                short re = p.revents;
                // As with select(): a closed or failed socket counts as readable
                // and writable, so the following call reports its state.
                bool hit = k == 0 ? (re & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0
                         : k == 1 ? (re & (POLLOUT | POLLHUP | POLLERR | POLLNVAL)) != 0
                                  : (re & (POLLPRI | POLLERR)) != 0;
                if (hit)
                    ready.push_back(s);
                break;
            }
        }
        count += int(ready.size());
        *lists[k] = std::move(ready);
    }
    return count;
}

int TNetStackPosix::Send(TNetSocket s, const void *buffer, int length, int flags)
{
    ssize_t r;
    do
        r = send(s, buffer, size_t(length), flags | MSG_NOSIGNAL);
    while (r < 0 && errno == EINTR);
    return r < 0 ? fail(errno) : int(r);
}

int TNetStackPosix::SendTo(TNetSocket s, const void *buffer, int length, int flags, const std::string &address, int port)
{
    sockaddr_in sa;
    fillAddress(sa, address, port, *this);
    ssize_t r = sendto(s, buffer, size_t(length), flags | MSG_NOSIGNAL, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    return r < 0 ? fail(errno) : int(r);
}

int TNetStackPosix::SetSockOpt(TNetSocket s, int level, int option, const void *value, int length)
{
    mapOption(level, option);
    return setsockopt(s, level, option, value, socklen_t(length)) < 0 ? fail(errno) : 0;
}

TNetSocket TNetStackPosix::NewSocket(int family, int type, int protocol)
{
    int f = family == Net_AF_INET ? AF_INET : family;
    int t = type == Net_SOCK_STREAM ? SOCK_STREAM : type == Net_SOCK_DGRAM ? SOCK_DGRAM : type;
    int s = socket(f, t | SOCK_CLOEXEC, protocol);
    return s < 0 ? fail(errno) : s;
}

int TNetStackPosix::Shutdown(TNetSocket s, int how) { return shutdown(s, how) < 0 ? fail(errno) : 0; }

int32_t TNetStackPosix::LastError() { return tLastError; }
void TNetStackPosix::SetLastError(int32_t error) { tLastError = error; }

void TNetStackPosix::PeerName(TNetSocket s, int &family, std::string &address, int &port)
{
    sockaddr_in sa {};
    socklen_t len = sizeof sa;
    CheckForSocketError(getpeername(s, reinterpret_cast<sockaddr *>(&sa), &len) < 0 ? fail(errno) : 0);
    family = Net_AF_INET;
    address = addrText(sa);
    port = ntohs(sa.sin_port);
}

void TNetStackPosix::SockName(TNetSocket s, int &family, std::string &address, int &port)
{
    sockaddr_in sa {};
    socklen_t len = sizeof sa;
    CheckForSocketError(getsockname(s, reinterpret_cast<sockaddr *>(&sa), &len) < 0 ? fail(errno) : 0);
    family = Net_AF_INET;
    address = addrText(sa);
    port = ntohs(sa.sin_port);
}

std::string TNetStackPosix::AddressToText(uint32_t address)
{
    const auto *b = reinterpret_cast<const unsigned char *>(&address);
    return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

uint32_t TNetStackPosix::TextToAddress(const std::string &text)
{
    uint32_t result = 0;
    auto *b = reinterpret_cast<unsigned char *>(&result);
    std::string rest = text;
    for (int i = 0; i < 4; ++i) {
        std::string part = i < 3 ? Fetch(rest, ".") : rest;
        b[i] = static_cast<unsigned char>(Rtl::StrToInt(part));
    }
    return result;
}
