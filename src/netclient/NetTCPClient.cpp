#include "netclient/NetTCPClient.h"

#include <cstring>

namespace {

void putPort(std::string &s, int32_t port)
{
    s += char((port >> 8) & 0xFF);
    s += char(port & 0xFF);
}

} // namespace

TNetTCPClient::TNetTCPClient() = default;
TNetTCPClient::~TNetTCPClient() = default;

void TNetTCPClient::DoOnConnected()
{
    if (OnConnected)
        OnConnected(this);
}

void TNetTCPClient::Connect()
{
    if (Binding().HandleAllocated)
        throw ENetAlreadyConnected(NetRes::RSAlreadyConnected);
    const TSocksVersion version = socksInfo_.Version;
    const bool useSocks = version == svSocks4 || version == svSocks4A || version == svSocks5;
    // SOCKS 5 carries these in one-byte length fields: refuse before
    // anything is connected or sent rather than cut or overrun them.
    if (version == svSocks5 &&
        (Host.size() > 255 || (socksInfo_.Authentication == saUsernamePassword &&
                               (socksInfo_.UserID.size() > 255 || socksInfo_.Password.size() > 255))))
        throw ENetSocksFieldTooLong(NetRes::RSSocksFieldTooLong);

    ResetConnection();
    Binding().AllocateSocket(Net_SOCK_STREAM, 0);
    try {
        Binding().IP = BoundIP;
        Binding().Bind();
        const std::string host = useSocks ? socksInfo_.Host : Host;
        const int32_t port = useSocks ? socksInfo_.Port : Port;
        if (!TNetStack::IsIP(host))
            DoStatus(StatusResolving, host);
        Binding().SetPeer(GStack()->ResolveHost(host), port);
        if (!UseNagle) {
            int32_t one = 1;
            Binding().SetSockOpt(Net_IPPROTO_TCP, Net_TCP_NODELAY, &one, sizeof one);
        }
        DoStatus(StatusConnecting, Binding().PeerIP);
        GStack()->CheckForSocketError(Binding().Connect(Net_AF_INET, ConnectTimeout));
    } catch (...) {
        try {
            Disconnect();
        } catch (...) {
        }
        throw;
    }
    if (InterceptEnabled() && Intercept())
        Intercept()->Connect(&Binding());
    if (useSocks) {
        // A failed handshake leaves nothing usable: close the proxy connection.
        try {
            socksHandshake();
        } catch (...) {
            try {
                Disconnect();
            } catch (...) {
            }
            throw;
        }
    }
    DoStatus(StatusConnected, Binding().PeerIP);
    DoOnConnected();
}

std::string TNetTCPClient::ConnectAndGetAll()
{
    Connect();
    std::string all;
    try {
        all = AllData();
    } catch (...) {
        Disconnect();
        throw;
    }
    Disconnect();
    return all;
}

void TNetTCPClient::socksHandshake()
{
    if (socksInfo_.Version == svSocks5)
        socks5Handshake();
    else
        socks4Handshake();
}

void TNetTCPClient::socks4Handshake()
{
    std::string req;
    req += char(4);
    req += char(1);
    putPort(req, Port);
    if (socksInfo_.Version == svSocks4) {
        // The destination is resolved here, on the client.
        uint32_t addr = GStack()->TextToAddress(GStack()->ResolveHost(Host));
        req.append(reinterpret_cast<const char *>(&addr), 4);
    } else {
        req.append("\0\0\0\1", 4);
    }
    req += socksInfo_.UserID.substr(0, 255);
    req += char(0);
    if (socksInfo_.Version == svSocks4A) {
        req += Host;
        req += char(0);
    }
    Write(req);
    unsigned char reply[8];
    ReadBuffer(reply, 8);
    switch (reply[1]) {
    case 90: return;
    case 91: throw ENetSocksRequestFailed(NetRes::RSSocksRequestFailed);
    case 92: throw ENetSocksRequestServerFailed(NetRes::RSSocksRequestServerFailed);
    case 93: throw ENetSocksRequestIdentFailed(NetRes::RSSocksRequestIdentFailed);
    default: throw ENetSocksUnknownError(NetRes::RSSocksUnknownError);
    }
}

void TNetTCPClient::socks5Handshake()
{
    auto readReply = [this](unsigned char *buf, int64_t n) {
        try {
            ReadBuffer(buf, n);
        } catch (const ENetException &) {
            throw ENetSocksServerRespondError(NetRes::RSSocksServerRespondError);
        }
    };
    const bool auth = socksInfo_.Authentication == saUsernamePassword;
    const unsigned char method = auth ? 2 : 0;
    std::string greeting;
    greeting += char(5);
    greeting += char(1);
    greeting += char(method);
    Write(greeting);
    unsigned char reply[5];
    readReply(reply, 2);
    if (reply[1] != method || reply[1] == 0xFF)
        throw ENetSocksAuthMethodError(NetRes::RSSocksAuthMethodError);
    if (auth) {
        std::string login;
        login += char(1);
        login += char(socksInfo_.UserID.size());
        login += socksInfo_.UserID;
        login += char(socksInfo_.Password.size());
        login += socksInfo_.Password;
        Write(login);
        readReply(reply, 2);
        if (reply[1] != 0)
            throw ENetSocksAuthError(NetRes::RSSocksAuthError);
    }
    std::string req;
    req += char(5);
    req += char(1);
    req += char(0);
    req += char(3);
    req += char(Host.size());
    req += Host;
    putPort(req, Port);
    Write(req);
    readReply(reply, 5);
    switch (reply[1]) {
    case 0: break;
    case 1: throw ENetSocksServerGeneralError(NetRes::RSSocksServerGeneralError);
    case 2: throw ENetSocksServerPermissionError(NetRes::RSSocksServerPermissionError);
    case 3: throw ENetSocksServerNetUnreachableError(NetRes::RSSocksServerNetUnreachableError);
    case 4: throw ENetSocksServerHostUnreachableError(NetRes::RSSocksServerHostUnreachableError);
    case 5: throw ENetSocksServerConnectionRefusedError(NetRes::RSSocksServerConnectionRefusedError);
    case 6: throw ENetSocksServerTTLExpiredError(NetRes::RSSocksServerTTLExpiredError);
    case 7: throw ENetSocksServerCommandError(NetRes::RSSocksServerCommandError);
    case 8: throw ENetSocksServerAddressError(NetRes::RSSocksServerAddressError);
    default: throw ENetSocksUnknownError(NetRes::RSSocksUnknownError);
    }
    // Drop the rest of the reply so that the relayed stream starts clean.
    int64_t rest;
    switch (reply[3]) {
    case 1: rest = 5; break;
    case 3: rest = int64_t(reply[4]) + 2; break;
    case 4: rest = 17; break;
    default: throw ENetSocksUnknownError(NetRes::RSSocksUnknownError);
    }
    unsigned char tail[258];
    readReply(tail, rest);
}
