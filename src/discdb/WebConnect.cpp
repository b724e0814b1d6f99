#include "discdb/WebConnect.h"

TWebConnectCalls TWebConnectCalls::Missing()
{
    TWebConnectCalls c;
    c.GetConnectedState = [](unsigned &) { return -1; };
    c.Autodial = [](unsigned) { return -1; };
    c.AutodialHangup = [] { return -1; };
    return c;
}

bool TWebConnect::GetConnectedState() const
{
    unsigned flags = 0;
    return calls_.GetConnectedState(flags) != 0;
}

TWebConnectType TWebConnect::GetWebConnectType() const
{
    unsigned flags = 0;
    if (calls_.GetConnectedState(flags) == 0)
        return TWebConnectType::wctNone;
    if (flags & kConnectionLan)
        return TWebConnectType::wctLan;
    if (flags & kConnectionModem)
        return TWebConnectType::wctModem;
    return TWebConnectType::wctNone;
}

void TWebConnect::SetConnect(bool value)
{
    Connect = value;
    if (value) {
        if (!GetConnectedState())
            calls_.Autodial(Prompt ? kAutodialForceOnline : kAutodialForceUnattended);
    } else if (GetConnectedState()) {
        calls_.AutodialHangup();
    }
}

void TWebConnect::EnsureConnected()
{
    if (!GetConnectedState())
        SetConnect(true);
}

TWebConnect &MainWebConnect()
{
    // The layout's Connect=false is not applied at start-up: it would hang
    // up a connection the system reports; the program only ever dials.
    static TWebConnect connection;
    return connection;
}
