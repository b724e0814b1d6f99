#pragma once
// The internet connection: before it talks to the online database or a mail
// server the program makes sure a connection exists, dialling the default
// dial-up connection when there is none.
//
// On this platform there is no dial-up service: the three system calls
// behave as when the service is missing (each answers -1), so the connection
// always counts as present and nothing is dialled. The calls are a table
// that tests (or a later platform layer) may replace.
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
};

inline constexpr unsigned kAutodialForceOnline = 1;
inline constexpr unsigned kAutodialForceUnattended = 2;
inline constexpr unsigned kConnectionModem = 1;
inline constexpr unsigned kConnectionLan = 2;

class TWebConnect {
public:
    explicit TWebConnect(TWebConnectCalls calls = TWebConnectCalls::Missing()) : calls_(std::move(calls)) {}

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
