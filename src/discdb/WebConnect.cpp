#include "discdb/WebConnect.h"

#include <QCoreApplication>
#include <QThread>

TWebConnectCalls TWebConnectCalls::Missing()
{
    TWebConnectCalls c;
    c.GetConnectedState = [](unsigned &) { return -1; };
    c.Autodial = [](unsigned) { return -1; };
    c.AutodialHangup = [] { return -1; };
    return c;
}

int ConnectedStateFor(QNetworkInformation::Reachability reachability, unsigned &flags)
{
    using R = QNetworkInformation::Reachability;
    flags = 0;
    switch (reachability) {
    case R::Unknown: return -1;
    case R::Disconnected: return 0;
    case R::Local:
    case R::Site:
    case R::Online: break;
    }
    // A local or site network may still hold the server asked for.
    flags = kConnectionLan;
    return 1;
}

TWebConnectCalls TWebConnectCalls::FromReachability(std::function<QNetworkInformation::Reachability()> reachability)
{
    TWebConnectCalls c = Missing();
    c.GetConnectedState = [reachability = std::move(reachability)](unsigned &flags) {
        return ConnectedStateFor(reachability(), flags);
    };
    return c;
}

TWebConnectCalls TWebConnectCalls::System()
{
    return FromReachability([] {
        const QCoreApplication *app = QCoreApplication::instance();
        if (!app || QThread::currentThread() != app->thread())
            return QNetworkInformation::Reachability::Unknown;
        static bool tried = false;  // a machine without a backend is not searched again
        if (!tried && !QNetworkInformation::instance()) {
            tried = true;
            QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability);
        }
        const QNetworkInformation *info = QNetworkInformation::instance();
        return info ? info->reachability() : QNetworkInformation::Reachability::Unknown;
    });
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
