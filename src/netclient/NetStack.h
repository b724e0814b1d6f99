#pragma once
// The socket stack: the one place where the networking components touch the
// operating system's sockets. TNetStack declares the operations and keeps the
// platform-independent ones (error checks and texts, host resolution, address
// tests); TNetStackPosix implements the rest over POSIX sockets, with errno
// values reported as the Windows Sockets error numbers the components know.
#include "netclient/NetException.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TStringList;

using TNetSocket = int;
inline constexpr TNetSocket NetInvalidSocket = -1;
using TNetSocketList = std::vector<TNetSocket>;

// Address families, socket types and options in the values the components use.
inline constexpr int Net_AF_INET = 2;
inline constexpr int Net_SOCK_STREAM = 1;
inline constexpr int Net_SOCK_DGRAM = 2;
inline constexpr int Net_IPPROTO_TCP = 6;
inline constexpr int Net_TCP_NODELAY = 1;
// Shutdown directions.
inline constexpr int Net_SD_RECEIVE = 0;
inline constexpr int Net_SD_SEND = 1;
inline constexpr int Net_SD_BOTH = 2;

// Socket error numbers.
enum : int32_t {
    WSAEINTR = 10004, WSAEBADF = 10009, WSAEACCES = 10013, WSAEFAULT = 10014, WSAEINVAL = 10022,
    WSAEMFILE = 10024, WSAEWOULDBLOCK = 10035, WSAEINPROGRESS = 10036, WSAEALREADY = 10037,
    WSAENOTSOCK = 10038, WSAEDESTADDRREQ = 10039, WSAEMSGSIZE = 10040, WSAEPROTOTYPE = 10041,
    WSAENOPROTOOPT = 10042, WSAEPROTONOSUPPORT = 10043, WSAESOCKTNOSUPPORT = 10044,
    WSAEOPNOTSUPP = 10045, WSAEPFNOSUPPORT = 10046, WSAEAFNOSUPPORT = 10047, WSAEADDRINUSE = 10048,
    WSAEADDRNOTAVAIL = 10049, WSAENETDOWN = 10050, WSAENETUNREACH = 10051, WSAENETRESET = 10052,
    WSAECONNABORTED = 10053, WSAECONNRESET = 10054, WSAENOBUFS = 10055, WSAEISCONN = 10056,
    WSAENOTCONN = 10057, WSAESHUTDOWN = 10058, WSAETOOMANYREFS = 10059, WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061, WSAELOOP = 10062, WSAENAMETOOLONG = 10063, WSAEHOSTDOWN = 10064,
    WSAEHOSTUNREACH = 10065, WSAENOTEMPTY = 10066,
    WSAHOST_NOT_FOUND = 11001, WSATRY_AGAIN = 11002, WSANO_RECOVERY = 11003, WSANO_DATA = 11004,
};

// The largest number of sockets one Select may watch per list.
inline constexpr int NetFDSetSize = 64;

// Deadlines of the waits. NetMillisecondsLeft is the time left until the
// deadline in whole milliseconds, rounded up (0 once it has passed), so a wait
// for it never ends before the deadline.
using TNetClock = std::chrono::steady_clock;
TNetClock::time_point NetDeadline(int milliseconds);
int NetMillisecondsLeft(TNetClock::time_point deadline);

// Maps an errno value to its socket error number (unknown values pass through).
int32_t ErrnoToSocketError(int err);

// Record of the started sockets layer (read by nothing but kept for callers).
struct TNetStackVersion {
    int32_t MaxUdpDg = 65507;
    int32_t MaxSockets = 0;
    uint16_t Version = 0x0101;
    uint16_t HighVersion = 0x0202;
    std::string Description;
    std::string SystemStatus;
    std::string Name = NetRes::RSWinsockStack;
};

class TNetStack {
public:
    TNetStack();
    virtual ~TNetStack();
    TNetStack(const TNetStack &) = delete;
    TNetStack &operator=(const TNetStack &) = delete;

    // ---- platform independent ----
    // False for a result other than -1; for -1 true when the last error is in
    // ignored, otherwise RaiseSocketError.
    bool CheckForSocketError(int result, std::initializer_list<int32_t> ignored = {});
    [[noreturn]] void RaiseSocketError(int32_t error);
    // "Socket Error # %d" CR LF and the error's text.
    virtual std::string SocketErrorText(int32_t error);
    // NewSocket for the internet family; -1 raises ENetInvalidSocket.
    TNetSocket NewSocketHandle(int socketType, int protocol = 0);
    // "LOCALHOST" (any case) -> "127.0.0.1"; dotted addresses as they are; else HostByName.
    std::string ResolveHost(const std::string &host);
    static bool IsIP(const std::string &text);
    uint32_t TextToInAddr(const std::string &text) { return TextToAddress(text); }
    const TNetStackVersion &Version() const { return version_; }

    // ---- local addresses ----
    virtual void PopulateLocalAddresses() = 0;
    std::string LocalAddress();
    TStringList &LocalAddresses();

    // ---- platform operations ----
    virtual TNetSocket Accept(TNetSocket s, std::string &address, int &port) = 0;
    virtual int Bind(TNetSocket s, int family, const std::string &address, int port) = 0;
    virtual int CloseSocket(TNetSocket s) = 0;
    virtual int Connect(TNetSocket s, int family, const std::string &address, int port) = 0;
    virtual std::string HostByName(const std::string &name) = 0;
    virtual std::string LocalHostName() = 0;
    virtual std::string HostByAddress(const std::string &address) = 0;
    virtual int ServiceByName(const std::string &name) = 0;
    virtual std::vector<std::string> ServiceByPort(int port) = 0;
    virtual uint16_t HostToNetShort(uint16_t v) = 0;
    virtual int Listen(TNetSocket s, int backlog) = 0;
    virtual uint16_t NetToHostShort(uint16_t v) = 0;
    virtual uint32_t HostToNetLong(uint32_t v) = 0;
    virtual uint32_t NetToHostLong(uint32_t v) = 0;
    virtual int Recv(TNetSocket s, void *buffer, int length, int flags) = 0;
    virtual int RecvFrom(TNetSocket s, void *buffer, int length, int flags, std::string &address, int &port) = 0;
    // Lists may be null; at most NetFDSetSize sockets each (else
    // ENetStackSetSizeExceeded). Time-out in ms, -2 for none. Each given list
    // is replaced by its ready sockets; returns their count, 0 on time-out,
    // -1 on error.
    virtual int Select(TNetSocketList *readList, TNetSocketList *writeList, TNetSocketList *errorList, int timeout) = 0;
    // Sends never raise SIGPIPE; a closed peer gives the error 10058.
    virtual int Send(TNetSocket s, const void *buffer, int length, int flags) = 0;
    virtual int SendTo(TNetSocket s, const void *buffer, int length, int flags, const std::string &address, int port) = 0;
    virtual int SetSockOpt(TNetSocket s, int level, int option, const void *value, int length) = 0;
    virtual TNetSocket NewSocket(int family, int type, int protocol) = 0;
    virtual int Shutdown(TNetSocket s, int how) = 0;
    virtual int32_t LastError() = 0;
    // Sets the calling thread's last error (for waits that end in a time-out).
    virtual void SetLastError(int32_t error) = 0;
    virtual void PeerName(TNetSocket s, int &family, std::string &address, int &port) = 0;
    virtual void SockName(TNetSocket s, int &family, std::string &address, int &port) = 0;
    virtual std::string AddressToText(uint32_t address) = 0;
    // Network-order address from dotted text; a part that is not a number
    // raises EConvertError.
    virtual uint32_t TextToAddress(const std::string &text) = 0;
    // Starts a connect without waiting for it: 0 when connected at once, -1
    // with the last error 10036 while it is under way (or another error).
    virtual int ConnectNonBlocking(TNetSocket s, int family, const std::string &address, int port) = 0;
    // The pending error of a socket (after a non-blocking connect); 0 for none.
    virtual int32_t PendingError(TNetSocket s) = 0;

protected:
    TNetStackVersion version_;
    std::unique_ptr<TStringList> localAddresses_;
};

class TNetStackPosix : public TNetStack {
public:
    TNetStackPosix();
    ~TNetStackPosix() override;

    void PopulateLocalAddresses() override;
    TNetSocket Accept(TNetSocket s, std::string &address, int &port) override;
    int Bind(TNetSocket s, int family, const std::string &address, int port) override;
    int CloseSocket(TNetSocket s) override;
    int Connect(TNetSocket s, int family, const std::string &address, int port) override;
    std::string HostByName(const std::string &name) override;
    std::string LocalHostName() override;
    std::string HostByAddress(const std::string &address) override;
    int ServiceByName(const std::string &name) override;
    std::vector<std::string> ServiceByPort(int port) override;
    uint16_t HostToNetShort(uint16_t v) override;
    int Listen(TNetSocket s, int backlog) override;
    uint16_t NetToHostShort(uint16_t v) override;
    uint32_t HostToNetLong(uint32_t v) override;
    uint32_t NetToHostLong(uint32_t v) override;
    int Recv(TNetSocket s, void *buffer, int length, int flags) override;
    int RecvFrom(TNetSocket s, void *buffer, int length, int flags, std::string &address, int &port) override;
    int Select(TNetSocketList *readList, TNetSocketList *writeList, TNetSocketList *errorList, int timeout) override;
    int Send(TNetSocket s, const void *buffer, int length, int flags) override;
    int SendTo(TNetSocket s, const void *buffer, int length, int flags, const std::string &address, int port) override;
    int SetSockOpt(TNetSocket s, int level, int option, const void *value, int length) override;
    TNetSocket NewSocket(int family, int type, int protocol) override;
    int Shutdown(TNetSocket s, int how) override;
    int32_t LastError() override;
    void SetLastError(int32_t error) override;
    void PeerName(TNetSocket s, int &family, std::string &address, int &port) override;
    void SockName(TNetSocket s, int &family, std::string &address, int &port) override;
    std::string AddressToText(uint32_t address) override;
    uint32_t TextToAddress(const std::string &text) override;
    int ConnectNonBlocking(TNetSocket s, int family, const std::string &address, int port) override;
    int32_t PendingError(TNetSocket s) override;
};

// The process-wide stack; null while no networking component lives.
TNetStack *GStack();
// The same, shared: an open socket keeps the stack it was made with alive.
std::shared_ptr<TNetStack> GStackShared();
// Installs (taking ownership) or forgets the process-wide stack (the component
// base does this). A forgotten stack ends when the last socket made with it
// has been closed.
void SetGStack(TNetStack *stack);
