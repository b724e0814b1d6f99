#pragma once
// Outgoing TCP client: opens the socket, binds it, resolves the host,
// connects (waited in slices, with an optional time limit) and, when asked,
// has a SOCKS 4, 4A or 5 proxy relay the connection.
#include "netclient/NetSocks.h"
#include "netclient/NetTCPConnection.h"

#include <functional>
#include <string>

class TNetTCPClient : public TNetTCPConnection {
public:
    TNetTCPClient();
    ~TNetTCPClient() override;

    std::string BoundIP;
    std::string Host;
    std::function<void(TNetTCPClient *Sender)> OnConnected;
    int32_t Port = 0;
    bool UseNagle = true;
    // Time limit of the connect in ms (-2: none of ours, the system's own
    // applies); when it runs out ENetSocketError 10060 is raised.
    int ConnectTimeout = -2;

    TSocksInfo &SocksInfo() { return socksInfo_; }
    const TSocksInfo &SocksInfo() const { return socksInfo_; }
    // Assigns into the owned settings (the object is never replaced).
    void SetSocksInfo(const TSocksInfo &info) { socksInfo_.Assign(info); }

    virtual void DoOnConnected();
    virtual void Connect();
    // Connect, everything until the peer closes, Disconnect.
    virtual std::string ConnectAndGetAll();

protected:
    void socksHandshake();
    void socks4Handshake();
    void socks5Handshake();

private:
    TSocksInfo socksInfo_;
};
