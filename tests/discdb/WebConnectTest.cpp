// The internet connection component over a recorded dial-up service, and
// the platform's stand-in (no service: connected, nothing dialled).
#include "discdb/WebConnect.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace {

struct FakeService {
    int state = 0;
    unsigned flags = 0;
    std::vector<std::string> calls;
    TWebConnectCalls table()
    {
        TWebConnectCalls c;
        c.GetConnectedState = [this](unsigned &f) {
            f = flags;
            return state;
        };
        c.Autodial = [this](unsigned f) {
            calls.push_back("dial " + std::to_string(f));
            return 1;
        };
        c.AutodialHangup = [this] {
            calls.push_back("hangup");
            return 1;
        };
        return c;
    }
};

} // namespace

TEST(WebConnect, WithoutTheServiceTheConnectionIsPresent)
{
    TWebConnect wc(TWebConnectCalls::Missing());
    EXPECT_TRUE(wc.GetConnectedState());
    EXPECT_EQ(wc.GetWebConnectType(), TWebConnectType::wctNone);
    wc.EnsureConnected();
    wc.SetConnect(false);
    EXPECT_FALSE(wc.Connect);
    TWebConnect &main = MainWebConnect();
    EXPECT_TRUE(main.Prompt);
    EXPECT_FALSE(main.Connect);
    const bool connected = main.GetConnectedState();
    main.EnsureConnected();
    EXPECT_EQ(main.Connect, !connected);  // asked for only when not connected
}

TEST(WebConnect, TheStateFollowsTheSystemsReachability)
{
    using R = QNetworkInformation::Reachability;
    struct Case {
        R reachability;
        bool connected;
        TWebConnectType type;
    };
    const Case cases[] = {
        {R::Online, true, TWebConnectType::wctLan},
        {R::Site, true, TWebConnectType::wctLan},
        {R::Local, true, TWebConnectType::wctLan},
        {R::Disconnected, false, TWebConnectType::wctNone},
        // The system cannot tell: counted as connected, as without the service.
        {R::Unknown, true, TWebConnectType::wctNone},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.reachability));
        R now = c.reachability;
        TWebConnect wc(TWebConnectCalls::FromReachability([&now] { return now; }));
        EXPECT_EQ(wc.GetConnectedState(), c.connected);
        EXPECT_EQ(wc.GetWebConnectType(), c.type);
        // Nothing is ever dialled or hung up: the calls answer as missing.
        wc.EnsureConnected();
        EXPECT_EQ(wc.Connect, !c.connected);
        wc.SetConnect(false);
    }
}

TEST(WebConnect, OffTheApplicationsThreadTheSystemAnswersWhatItHeard)
{
    bool connected = false;
    TWebConnectType type = TWebConnectType::wctModem;
    std::thread([&] {
        TWebConnect wc(TWebConnectCalls::System());
        connected = wc.GetConnectedState();
        type = wc.GetWebConnectType();
    }).join();
    unsigned flags = 0;
    const int state = ConnectedStateFor(TNetworkStatus::System().Current(), flags);
    EXPECT_EQ(connected, state != 0);
    EXPECT_EQ(type, state == 1 ? TWebConnectType::wctLan : TWebConnectType::wctNone);
}

TEST(WebConnect, DialsOnlyWhenNotConnected)
{
    FakeService svc;
    TWebConnect wc(svc.table());
    svc.state = 1;
    svc.flags = kConnectionLan;
    wc.EnsureConnected();
    wc.SetConnect(true);
    EXPECT_TRUE(svc.calls.empty());
    EXPECT_EQ(wc.GetWebConnectType(), TWebConnectType::wctLan);
    svc.flags = kConnectionModem | kConnectionLan;
    EXPECT_EQ(wc.GetWebConnectType(), TWebConnectType::wctLan);
    svc.flags = kConnectionModem;
    EXPECT_EQ(wc.GetWebConnectType(), TWebConnectType::wctModem);
    wc.SetConnect(false);
    EXPECT_EQ(svc.calls, std::vector<std::string>{"hangup"});

    svc.calls.clear();
    svc.state = 0;
    EXPECT_EQ(wc.GetWebConnectType(), TWebConnectType::wctNone);
    wc.SetConnect(false);  // not connected: nothing to hang up
    EXPECT_TRUE(svc.calls.empty());
    wc.EnsureConnected();
    EXPECT_TRUE(wc.Connect);
    wc.Prompt = false;
    wc.EnsureConnected();
    EXPECT_EQ(svc.calls, (std::vector<std::string>{"dial 1", "dial 2"}));
}
