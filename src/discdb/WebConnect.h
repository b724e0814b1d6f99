#pragma once
// The internet connection: before it talks to the online database or a mail
// server the program makes sure a connection exists, dialling the default
// dial-up connection when there is none.
//
// On this platform there is no dial-up service, so nothing is ever dialled
// or hung up (those calls answer -1 as when the service is missing). The
// connected state is the system's network reachability where the toolkit
// can tell it (online: connected through the local network; disconnected:
// not connected) and "connected" where it cannot (no backend, or unknown).
// The calls are a table that tests may replace.
#include <QNetworkInformation>

#include <functional>

enum class TWebConnectType { wctModem = 0, wctLan = 1, wctNone = 2 };

// The dial-up service's three calls. Each answers -1 when the service is
// missing.
struct TWebConnectCalls {
    // InternetGetConnectedState(flags, reserved 0): non-zero when connected;
    // flags bit 1 modem, bit 2 local network.
    std::function<int(unsigned &flags)> GetConnectedState;
    // InternetAutodial(flags, no parent window): 1 show the dial-up dialog,
    // 2 dial unattended.
    std::function<int(unsigned flags)> Autodial;
    // InternetAutodialHangup(reserved 0).
    std::function<int()> AutodialHangup;

    // The calls of a system without the service.
    static TWebConnectCalls Missing();
    // No dialling; the connected state from the reachability that the
    // function reports.
    static TWebConnectCalls FromReachability(std::function<QNetworkInformation::Reachability()> reachability);
    // FromReachability with the system's own: the toolkit's network
    // information backend, loaded on first use (tried once); Unknown without one, without
    // an application object or off the application's thread.
    static TWebConnectCalls System();
};

// InternetGetConnectedState's answer for a reachability: -1 (as a missing
// service: counts as connected) for Unknown, 0 for Disconnected, otherwise
// 1 with the local-network flag.
int ConnectedStateFor(QNetworkInformation::Reachability reachability, unsigned &flags);

inline constexpr unsigned kAutodialForceOnline = 1;
inline constexpr unsigned kAutodialForceUnattended = 2;
inline constexpr unsigned kConnectionModem = 1;
inline constexpr unsigned kConnectionLan = 2;

class TWebConnect {
public:
    explicit TWebConnect(TWebConnectCalls calls = TWebConnectCalls::System()) : calls_(std::move(calls)) {}

    // The last requested state: true be online, false hang up.
    bool Connect = false;
    // true: dial with the system's dial-up dialog; false: dial unattended.
    bool Prompt = true;

    bool GetConnectedState() const;
    TWebConnectType GetWebConnectType() const;
    // Stores the value; true while not connected dials, false while
    // connected hangs up. The results are not looked at.
    void SetConnect(bool value);

    // The one operation the rest of the program calls before its first
    // network step: dial when there is no connection.
    void EnsureConnected();

private:
    TWebConnectCalls calls_;
};

// The program's one connection component (the main window's "WebConnect":
// Connect false, Prompt true).
TWebConnect &MainWebConnect();
