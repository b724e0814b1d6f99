// SOCKS 4, 4A and 5 against real proxies (dante-server, microsocks) started on
// loopback by the tests, and against a scripted proxy for the exact request
// bytes and the replies no real server gives.
#include "common/TestUtil.h"
#include "netclient/NetTCPClient.h"
#include "netclient/NetTestPeers.h"

#include <gtest/gtest.h>

#include <memory>

using nettest::Listener;
using nettest::ScriptedPeer;

namespace {

struct SocksClient : TNetTCPClient {
    SocksClient(TSocksVersion v, int proxyPort, const std::string &host, int port)
    {
        Host = host;
        Port = port;
        SocksInfo().Version = v;
        SocksInfo().Host = "127.0.0.1";
        SocksInfo().Port = proxyPort;
    }
};

// Accepts the relayed connection on the target and checks both directions.
void expectRelayed(SocksClient &c, Listener &target)
{
    int fd = target.accept();
    ASSERT_GE(fd, 0) << "the proxy did not connect the target";
    nettest::sendAll(fd, "hello through proxy\r\n");
    EXPECT_EQ(c.ReadLn(), "hello through proxy");
    c.WriteLn("ping");
    EXPECT_EQ(nettest::recvLine(fd), "ping\r\n");
    close(fd);
}

} // namespace

class DanteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testutil::fileExists("/usr/sbin/danted"))
            GTEST_SKIP() << "dante-server is not installed";
        server = std::make_unique<nettest::DantePeer>(target.port());
        proxyPort = server->port();
        ASSERT_TRUE(server->ready()) << "danted did not start";
    }
    Listener target;
    int proxyPort = 0;
    std::unique_ptr<nettest::DantePeer> server;
};

TEST_F(DanteTest, Socks4Granted)
{
    SocksClient c(svSocks4, proxyPort, "127.0.0.1", target.port());
    c.Connect();
    expectRelayed(c, target);
}

TEST_F(DanteTest, Socks4Refused)
{
    const nettest::ClosedPort closed;
    SocksClient c(svSocks4, proxyPort, "127.0.0.1", closed.port());
    try {
        c.Connect();
        FAIL() << "granted";
    } catch (const ENetSocksRequestFailed &e) {
        EXPECT_EQ(e.Message, "Request rejected or failed.");
    }
    EXPECT_FALSE(c.Connected());  // the proxy connection is closed
}

TEST_F(DanteTest, Socks5Granted)
{
    SocksClient c(svSocks5, proxyPort, "127.0.0.1", target.port());
    c.Connect();
    expectRelayed(c, target);
}

TEST_F(DanteTest, Socks5Refused)
{
    const nettest::ClosedPort closed;
    SocksClient c(svSocks5, proxyPort, "127.0.0.1", closed.port());
    try {
        c.Connect();
        FAIL() << "granted";
    } catch (const ENetSocksServerPermissionError &e) {
        EXPECT_EQ(e.Message, "Connection not allowed by ruleset.");
    }
    EXPECT_FALSE(c.Connected());
}

class MicrosocksTest : public ::testing::Test {
protected:
    void start(bool withLogin)
    {
        if (!testutil::fileExists("/usr/bin/microsocks"))
            GTEST_SKIP() << "microsocks is not installed";
        server = std::make_unique<nettest::MicrosocksPeer>(
            withLogin ? std::vector<std::string> {"-u", "deck", "-P", "s3cret"} : std::vector<std::string> {});
        proxyPort = server->port();
        ASSERT_TRUE(server->ready()) << "microsocks did not start";
    }
    Listener target;
    int proxyPort = 0;
    std::unique_ptr<nettest::MicrosocksPeer> server;
};

TEST_F(MicrosocksTest, Socks5WithoutLogin)
{
    start(false);
    SocksClient c(svSocks5, proxyPort, "127.0.0.1", target.port());
    c.Connect();
    expectRelayed(c, target);
}

TEST_F(MicrosocksTest, Socks5WithLogin)
{
    start(true);
    SocksClient c(svSocks5, proxyPort, "127.0.0.1", target.port());
    c.SocksInfo().Authentication = saUsernamePassword;
    c.SocksInfo().UserID = "deck";
    c.SocksInfo().Password = "s3cret";
    c.Connect();
    expectRelayed(c, target);
}

TEST_F(MicrosocksTest, Socks5WrongPassword)
{
    start(true);
    SocksClient c(svSocks5, proxyPort, "127.0.0.1", target.port());
    c.SocksInfo().Authentication = saUsernamePassword;
    c.SocksInfo().UserID = "deck";
    c.SocksInfo().Password = "wrong";
    try {
        c.Connect();
        FAIL() << "logged in";
    } catch (const ENetSocksAuthError &e) {
        EXPECT_EQ(e.Message, "Authentication error to socks server.");
    }
    EXPECT_FALSE(c.Connected());
}

TEST_F(MicrosocksTest, Socks5MethodRefused)
{
    start(true);
    SocksClient c(svSocks5, proxyPort, "127.0.0.1", target.port());  // offers no authentication
    try {
        c.Connect();
        FAIL() << "accepted";
    } catch (const ENetSocksAuthMethodError &e) {
        EXPECT_EQ(e.Message, "Invalid socks authentication method.");
    }
    EXPECT_FALSE(c.Connected());
}

// ---- scripted proxy ---------------------------------------------------------------
TEST(NetSocksScripted, Socks4RequestBytes)
{
    std::string request;
    ScriptedPeer proxy([&](int fd) {
        request = nettest::recvExact(fd, 9);
        nettest::sendAll(fd, std::string("\x00\x5A\x00\x00\x00\x00\x00\x00", 8) + "relayed\n");
    });
    SocksClient c(svSocks4, proxy.port(), "127.0.0.1", 0x1F90);
    c.Connect();
    EXPECT_EQ(c.ReadLn(), "relayed");  // nothing of the reply is left over
    proxy.join();
    EXPECT_EQ(request, std::string("\x04\x01\x1F\x90\x7F\x00\x00\x01\x00", 9));
}

TEST(NetSocksScripted, Socks4ARequestBytes)
{
    std::string request;
    ScriptedPeer proxy([&](int fd) {
        request = nettest::recvExact(fd, 11);
        nettest::sendAll(fd, std::string("\x00\x5A\x00\x00\x00\x00\x00\x00", 8));
    });
    SocksClient c(svSocks4A, proxy.port(), "h", 80);
    c.SocksInfo().UserID = "";
    c.Connect();
    proxy.join();
    EXPECT_EQ(request, std::string("\x04\x01\x00\x50\x00\x00\x00\x01\x00h\x00", 11));

    ScriptedPeer proxy2([&](int fd) {
        request = nettest::recvExact(fd, 17);
        nettest::sendAll(fd, std::string("\x00\x5A\x00\x00\x00\x00\x00\x00", 8));
    });
    SocksClient c2(svSocks4A, proxy2.port(), "host.name", 80);
    c2.SocksInfo().UserID = "me";
    c2.Connect();
    proxy2.join();
    EXPECT_EQ(request, std::string("\x04\x01\x00\x50\x00\x00\x00\x01me\x00host.name\x00", 17));
}

TEST(NetSocksScripted, Socks4ErrorReplies)
{
    struct Case { unsigned char code; const char *text; };
    const Case cases[] = {
        {91, "Request rejected or failed."},
        {92, "Request rejected because SOCKS server cannot connect."},
        {93, "Request rejected because the client program and identd report different user-ids."},
        {17, "Unknown socks error."},
    };
    for (const Case &k : cases) {
        ScriptedPeer proxy([&](int fd) {
            nettest::recvExact(fd, 9);
            nettest::sendAll(fd, std::string("\x00", 1) + char(k.code) + std::string(6, '\0'));
            nettest::recvAll(fd, 5000);
        });
        SocksClient c(svSocks4, proxy.port(), "127.0.0.1", 80);
        try {
            c.Connect();
            ADD_FAILURE() << "granted " << int(k.code);
        } catch (const ENetSocksError &e) {
            EXPECT_EQ(e.Message, k.text);
        }
        EXPECT_FALSE(c.Connected());
    }
    // A proxy that closes before its reply: the failure comes through as it is.
    ScriptedPeer closer([](int fd) { nettest::recvExact(fd, 9); });
    SocksClient c(svSocks4, closer.port(), "127.0.0.1", 80);
    EXPECT_THROW(c.Connect(), ENetConnClosedGracefully);
}

namespace {
// A SOCKS 5 proxy that accepts no authentication and replies with the given
// connect reply; it records everything it receives.
struct Socks5Proxy {
    std::string received;
    std::unique_ptr<ScriptedPeer> peer;
    Socks5Proxy(const std::string &methodReply, size_t requestSize, const std::string &reply)
    {
        peer = std::make_unique<ScriptedPeer>([=, this](int fd) {
            received = nettest::recvExact(fd, 3);
            nettest::sendAll(fd, methodReply);
            if (methodReply != std::string("\x05\x00", 2))
                return;
            received += nettest::recvExact(fd, requestSize);
            nettest::sendAll(fd, reply);
            nettest::recvAll(fd, 5000);
        });
    }
};
} // namespace

TEST(NetSocksScripted, Socks5DomainReplyIsConsumedWhole)
{
    const std::string reply = std::string("\x05\x00\x00\x03\x09", 5) + "h.example" + std::string("\x00\x50", 2) +
                              "Xfirst byte of the target\n";
    Socks5Proxy proxy(std::string("\x05\x00", 2), 7 + 9, reply);
    SocksClient c(svSocks5, proxy.peer->port(), "h.example", 80);
    c.Connect();
    EXPECT_EQ(c.ReadLn(), "Xfirst byte of the target");
    c.Disconnect();
    proxy.peer->join();
    EXPECT_EQ(proxy.received, std::string("\x05\x01\x00", 3) + std::string("\x05\x01\x00\x03\x09h.example\x00\x50", 16));
}

TEST(NetSocksScripted, Socks5AddressTypes)
{
    const std::string ipv4 = std::string("\x05\x00\x00\x01\x7F\x00\x00\x01\x00\x50", 10);
    const std::string ipv6 = std::string("\x05\x00\x00\x04", 4) + std::string(16, '\1') + std::string("\x00\x50", 2);
    for (const std::string &r : {ipv4, ipv6}) {
        Socks5Proxy proxy(std::string("\x05\x00", 2), 7 + 9, r + "after\n");
        SocksClient c(svSocks5, proxy.peer->port(), "127.0.0.1", 80);
        c.Connect();
        EXPECT_EQ(c.ReadLn(), "after");
        c.Disconnect();
    }
    Socks5Proxy odd(std::string("\x05\x00", 2), 7 + 9, std::string("\x05\x00\x00\x07\x00\x00\x00", 7));
    SocksClient c(svSocks5, odd.peer->port(), "127.0.0.1", 80);
    try {
        c.Connect();
        FAIL();
    } catch (const ENetSocksUnknownError &e) {
        EXPECT_EQ(e.Message, "Unknown socks error.");
    }
    EXPECT_FALSE(c.Connected());
}

TEST(NetSocksScripted, Socks5ErrorReplies)
{
    const char *texts[] = {"General SOCKS server failure.", "Connection not allowed by ruleset.",
                           "Network unreachable.", "Host unreachable.", "Connection refused.", "TTL expired.",
                           "Command not supported.", "Address type not supported.", "Unknown socks error."};
    for (int code = 1; code <= 9; ++code) {
        Socks5Proxy proxy(std::string("\x05\x00", 2), 8,
                          std::string("\x05", 1) + char(code) + std::string("\x00\x01\x00\x00\x00\x00\x00\x00", 8));
        SocksClient c(svSocks5, proxy.peer->port(), "a.b", 80);
        try {
            c.Connect();
            ADD_FAILURE() << "granted " << code;
        } catch (const ENetSocksError &e) {
            EXPECT_EQ(e.Message, texts[code - 1]) << code;
        }
        EXPECT_FALSE(c.Connected());
    }
}

TEST(NetSocksScripted, Socks5MethodAndSilence)
{
    Socks5Proxy refusing(std::string("\x05\xFF", 2), 0, "");
    SocksClient c(svSocks5, refusing.peer->port(), "a.b", 80);
    EXPECT_THROW(c.Connect(), ENetSocksAuthMethodError);
    EXPECT_FALSE(c.Connected());

    ScriptedPeer silent([](int fd) { nettest::recvExact(fd, 3); });
    SocksClient c2(svSocks5, silent.port(), "a.b", 80);
    try {
        c2.Connect();
        FAIL();
    } catch (const ENetSocksServerRespondError &e) {
        EXPECT_EQ(e.Message, "Socks server did not respond.");
    }
}

TEST(NetSocksScripted, Socks5LoginBytes)
{
    std::string got;
    ScriptedPeer proxy([&](int fd) {
        got = nettest::recvExact(fd, 3);
        nettest::sendAll(fd, std::string("\x05\x02", 2));
        got += nettest::recvExact(fd, 11);
        nettest::sendAll(fd, std::string("\x01\x00", 2));
        got += nettest::recvExact(fd, 10);
        nettest::sendAll(fd, std::string("\x05\x00\x00\x01\x00\x00\x00\x00\x00\x00", 10));
    });
    SocksClient c(svSocks5, proxy.port(), "a.b", 80);
    c.SocksInfo().Authentication = saUsernamePassword;
    c.SocksInfo().UserID = "user";
    c.SocksInfo().Password = "pass";
    c.Connect();
    proxy.join();
    EXPECT_EQ(got, std::string("\x05\x01\x02", 3) + std::string("\x01\x04user\x04pass", 11) +
                   std::string("\x05\x01\x00\x03\x03" "a.b\x00\x50", 10));
}

TEST(NetSocksScripted, Socks5OverlongFieldsRaiseBeforeAnythingIsSent)
{
    Listener proxy;
    struct Case { std::string host, user, pass; };
    const Case cases[] = {
        {std::string(256, 'h'), "", ""},
        {"a.b", std::string(256, 'u'), "p"},
        {"a.b", "u", std::string(300, 'p')},
    };
    for (const Case &k : cases) {
        SocksClient c(svSocks5, proxy.port(), k.host, 80);
        c.SocksInfo().Authentication = saUsernamePassword;
        c.SocksInfo().UserID = k.user;
        c.SocksInfo().Password = k.pass;
        EXPECT_THROW(c.Connect(), ENetSocksFieldTooLong);
        EXPECT_FALSE(c.Connected());
    }
    EXPECT_EQ(proxy.accept(100), -1);  // the proxy never heard of us
}

TEST(NetSocksScripted, SocksInfoAssign)
{
    TSocksInfo a;
    a.Version = svSocks4A;
    a.Host = "p";
    a.Port = 1080;
    a.Authentication = saUsernamePassword;
    a.UserID = "u";
    a.Password = "w";
    TNetTCPClient c;
    TSocksInfo *owned = &c.SocksInfo();
    c.SetSocksInfo(a);
    EXPECT_EQ(&c.SocksInfo(), owned);
    EXPECT_EQ(c.SocksInfo().Version, svSocks4A);
    EXPECT_EQ(c.SocksInfo().Host, "p");
    EXPECT_EQ(c.SocksInfo().Port, 1080);
    EXPECT_EQ(c.SocksInfo().Authentication, saUsernamePassword);
    EXPECT_EQ(c.SocksInfo().UserID, "u");
    EXPECT_EQ(c.SocksInfo().Password, "w");
}
