// Connecting, its status texts and errors, sends to a vanished peer, and the
// anti-freeze slicing of waits with a counting event pump.
#include "netclient/NetAntiFreeze.h"
#include "netclient/NetTCPClient.h"
#include "netclient/NetTestPeers.h"

#include <gtest/gtest.h>

#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using nettest::Listener;
using nettest::ScriptedPeer;

namespace {
struct StatusClient : TNetTCPClient {
    std::vector<std::string> texts;
    int connected = 0, disconnected = 0;
    StatusClient(const std::string &host, int port)
    {
        Host = host;
        Port = port;
        OnStatus = [this](TNetComponent *, TNetStatus, const std::string &t) { texts.push_back(t); };
        OnConnected = [this](TNetTCPClient *) { ++connected; };
        OnDisconnected = [this](TNetTCPConnection *) { ++disconnected; };
    }
};

// Clears the event pump whatever a test left behind.
struct PumpReset {
    ~PumpReset() { TNetAntiFreeze::SetEventPump(nullptr); }
};
} // namespace

TEST(NetTCPClient, ClosedPortRaisesConnectionRefused)
{
    const nettest::ClosedPort closed;
    StatusClient c("127.0.0.1", closed.port());
    try {
        c.Connect();
        FAIL() << "connected";
    } catch (const ENetSocketError &e) {
        EXPECT_EQ(e.SocketErrorCode, 10061);
        EXPECT_EQ(e.Message, "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(c.texts, (std::vector<std::string> {"Connecting to 127.0.0.1.", "Disconnecting from 127.0.0.1.",
                                                 "Not connected."}));
    EXPECT_EQ(c.disconnected, 1);
    EXPECT_EQ(c.connected, 0);
}

TEST(NetTCPClient, StatusTextsForNameAndDottedAddress)
{
    Listener l;
    StatusClient byName("localhost", l.port());
    byName.Connect();
    EXPECT_EQ(byName.texts, (std::vector<std::string> {"Resolving hostname localhost.", "Connecting to 127.0.0.1.",
                                                      "Connected."}));
    EXPECT_EQ(byName.connected, 1);
    StatusClient dotted("127.0.0.1", l.port());
    dotted.Connect();
    EXPECT_EQ(dotted.texts, (std::vector<std::string> {"Connecting to 127.0.0.1.", "Connected."}));
    EXPECT_EQ(dotted.Binding().PeerPort, l.port());
    EXPECT_EQ(dotted.Binding().IP, "127.0.0.1");
    EXPECT_GT(dotted.Binding().Port, 0);
}

TEST(NetTCPClient, SecondConnectRaisesAndKeepsTheFirst)
{
    ScriptedPeer peer([](int fd) {
        nettest::sendAll(fd, "220 hello\r\n");
        nettest::recvLine(fd);
        nettest::sendAll(fd, "250 still here\r\n");
    });
    StatusClient c("127.0.0.1", peer.port());
    c.Connect();
    try {
        c.Connect();
        FAIL();
    } catch (const ENetAlreadyConnected &e) {
        EXPECT_EQ(e.Message, "Already connected.");
    }
    EXPECT_EQ(c.GetResponse({220}), 220);
    EXPECT_EQ(c.SendCmd("NOOP"), 250);
    c.Disconnect();
    // The same object connects again after a disconnect.
    Listener l;
    c.Port = l.port();
    c.Connect();
    EXPECT_TRUE(c.Connected());
}

TEST(NetTCPClient, NagleOffSetsNoDelay)
{
    Listener l;
    StatusClient c("127.0.0.1", l.port());
    c.UseNagle = false;
    c.Connect();
    int v = 0;
    socklen_t len = sizeof v;
    ASSERT_EQ(getsockopt(c.Binding().Handle, IPPROTO_TCP, TCP_NODELAY, &v, &len), 0);
    EXPECT_EQ(v, 1);
}

TEST(NetTCPClient, ConnectTimeLimitEndsAHangingConnect)
{
    PumpReset reset;
    // A listener whose backlog is full drops further connection attempts, so
    // the next connect hangs as one to an unreachable host does.
    Listener l(0);
    int filler = nettest::connectTo(l.port());
    ASSERT_GE(filler, 0);
    TNetAntiFreeze af;
    af.SetIdleTimeOut(20);
    int pumps = 0;
    TNetAntiFreeze::SetEventPump([&](TNetPumpMode) { ++pumps; });
    StatusClient c("127.0.0.1", l.port());
    c.ConnectTimeout = 300;
    try {
        c.Connect();
        FAIL() << "connected";
    } catch (const ENetSocketError &e) {
        EXPECT_EQ(e.SocketErrorCode, 10060);
        EXPECT_EQ(e.Message, "Socket Error # 10060\r\nConnection timed out.");
    }
    EXPECT_GE(pumps, 2);  // the interface kept its events flowing meanwhile
    EXPECT_FALSE(c.Connected());
    close(filler);
}

TEST(NetTCPClient, PeerClosingWhileWeSendRaisesTheSocketError)
{
    ScriptedPeer peer([](int fd) {
        // Close with unread data: the kernel answers further data with a reset.
        nettest::recvExact(fd, 1);
    });
    StatusClient c("127.0.0.1", peer.port());
    c.Connect();
    const std::string block(65536, 'z');
    int32_t code = 0;
    std::string message;
    for (int i = 0; i < 2000 && code == 0; ++i) {
        try {
            c.Write(block);
        } catch (const ENetSocketError &e) {
            code = e.SocketErrorCode;
            message = e.Message;
        }
    }
    // Still alive (no SIGPIPE), and the error is the documented one.
    ASSERT_TRUE(code == 10054 || code == 10058) << code;
    EXPECT_EQ(message, GStack()->SocketErrorText(code));
    if (code == 10054) {
        // The next write finds the socket shut: 10058, and the socket is closed.
        try {
            c.Write(block);
        } catch (const ENetSocketError &e) {
            EXPECT_EQ(e.SocketErrorCode, 10058);
        } catch (const ENetConnClosedGracefully &) {
        }
    }
    for (int i = 0; i < 3 && c.Connected(); ++i) {
        try {
            c.Write(block);
        } catch (const ENetException &) {
        }
    }
    EXPECT_FALSE(c.Connected());
}

// ---- anti-freeze slicing ------------------------------------------------------------
namespace {
// A client connected to a listener whose server side the test holds itself.
struct Pair {
    Listener l;
    StatusClient c {"127.0.0.1", l.port()};
    int srv = -1;
    Pair()
    {
        c.Connect();
        srv = l.accept();
    }
    ~Pair()
    {
        if (srv >= 0)
            close(srv);
    }
};
} // namespace

TEST(NetAntiFreeze, ThousandMillisecondWaitRunsAsFourSlices)
{
    PumpReset reset;
    Pair p;
    TNetAntiFreeze af;
    af.SetIdleTimeOut(250);
    int pumps = 0;
    TNetAntiFreeze::SetEventPump([&](TNetPumpMode m) {
        EXPECT_EQ(m, TNetPumpMode::AllPending);
        ++pumps;
    });
    // Four slices of 250 ms, each pumped; a stall of the loaded machine
    // may swallow some, but an unsliced wait pumps once at most
    // (bench/wait_figures counts them closely).
    EXPECT_FALSE(p.c.Binding().Readable(1000));
    EXPECT_LE(pumps, 4);
    EXPECT_GE(pumps, 2);
    pumps = 0;
    // 1100 ms: a first slice of 100, then four of 250.
    EXPECT_EQ(p.c.ReadLn("", 1100), "");
    EXPECT_TRUE(p.c.ReadLnTimedOut);
    EXPECT_LE(pumps, 5);
    EXPECT_GE(pumps, 2);
}

TEST(NetAntiFreeze, ASliceThatFindsDataEndsTheWait)
{
    PumpReset reset;
    Pair p;
    TNetAntiFreeze af;
    af.SetIdleTimeOut(5);
    int pumps = 0;
    TNetAntiFreeze::SetEventPump([&](TNetPumpMode) {
        if (++pumps == 3)
            nettest::sendAll(p.srv, "late line\r\n");
    });
    EXPECT_EQ(p.c.ReadLn(), "late line");  // unlimited wait: a loop of slices
    EXPECT_EQ(pumps, 3);  // the slice that found data pumps nothing
    // Data already there: no pumping at all.
    nettest::sendAll(p.srv, "x\n");
    EXPECT_EQ(p.c.ReadLn(), "x");
    EXPECT_EQ(pumps, 3);
}

TEST(NetAntiFreeze, InactiveOrMissingMeansPlainWaits)
{
    PumpReset reset;
    Pair p;
    int pumps = 0;
    TNetAntiFreeze::SetEventPump([&](TNetPumpMode) { ++pumps; });
    EXPECT_FALSE(p.c.Binding().Readable(30));  // no instance
    {
        TNetAntiFreeze af;
        af.SetIdleTimeOut(10);
        af.SetActive(false);
        EXPECT_FALSE(p.c.Binding().Readable(30));
        EXPECT_EQ(pumps, 0);
        // Active: slices of 10 ms, each pumped (fewer when the loaded
        // machine stretches one).
        af.SetActive(true);
        EXPECT_FALSE(p.c.Binding().Readable(30));
        EXPECT_GE(pumps, 1);
        EXPECT_LE(pumps, 3);
        // Other threads wait without slices and never pump.
        pumps = 0;
        std::thread([&] { EXPECT_FALSE(p.c.Binding().Readable(30)); }).join();
        EXPECT_EQ(pumps, 0);
        // Writes pump only when OnlyWhenIdle is off.
        p.c.Write("a");
        EXPECT_EQ(pumps, 0);
        af.SetOnlyWhenIdle(false);
        p.c.Write("b");
        EXPECT_EQ(pumps, 1);
        af.SetApplicationHasPriority(false);
        TNetPumpMode mode = TNetPumpMode::AllPending;
        TNetAntiFreeze::SetEventPump([&](TNetPumpMode m) { mode = m; });
        p.c.Write("c");
        EXPECT_EQ(mode, TNetPumpMode::OneIfWaiting);
    }
    EXPECT_EQ(TNetAntiFreezeBase::Instance(), nullptr);
}

TEST(NetAntiFreeze, NewestInstanceGovernsAndAnyDestructionClears)
{
    auto *first = new TNetAntiFreeze;
    EXPECT_EQ(TNetAntiFreezeBase::Instance(), first);
    auto *second = new TNetAntiFreeze;
    EXPECT_EQ(TNetAntiFreezeBase::Instance(), second);
    delete first;
    EXPECT_EQ(TNetAntiFreezeBase::Instance(), nullptr);
    delete second;
    EXPECT_EQ(TNetAntiFreezeBase::Instance(), nullptr);
    TNetAntiFreeze d;
    EXPECT_TRUE(d.Active());
    EXPECT_TRUE(d.ApplicationHasPriority());
    EXPECT_TRUE(d.OnlyWhenIdle());
    EXPECT_EQ(d.IdleTimeOut(), 250);
}

TEST(NetAntiFreeze, TimerKeepsFiringDuringABlockingReadLn)
{
    PumpReset reset;
    Pair p;
    TNetAntiFreeze af;
    af.SetIdleTimeOut(1);
    // An interface timer driven by the event pump, every 10 ms; its fifth
    // tick makes the server answer.
    using clock = std::chrono::steady_clock;
    auto next = clock::now() + std::chrono::milliseconds(10);
    int ticks = 0;
    TNetAntiFreeze::SetEventPump([&](TNetPumpMode) {
        if (clock::now() < next)
            return;
        next += std::chrono::milliseconds(10);
        if (++ticks == 5)
            nettest::sendAll(p.srv, "220 ready\r\n");
    });
    EXPECT_EQ(p.c.GetResponse({220}), 220);
    EXPECT_EQ(ticks, 5);
}
