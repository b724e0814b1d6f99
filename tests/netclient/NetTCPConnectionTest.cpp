// The TCP connection against scripted line servers on loopback.
#include "netclient/NetTCPClient.h"
#include "netclient/NetTestPeers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <unistd.h>

using nettest::ScriptedPeer;

namespace {

using Client = nettest::LoopbackClient;

} // namespace

TEST(NetTCPConnection, ReadLnTerminators)
{
    ScriptedPeer peer([](int fd) {
        nettest::sendAll(fd, "abc\r\nabc\nabc\r\nabc\r\r\nxyz|tail\n");
        nettest::recvLine(fd);  // wait for the client to finish
    });
    Client c(peer.port());
    c.Connect();
    EXPECT_EQ(c.ReadLn(), "abc");
    EXPECT_EQ(c.ReadLn(), "abc");
    EXPECT_EQ(c.ReadLn("\r\n"), "abc");
    EXPECT_EQ(c.ReadLn("\r\n"), "abc\r");
    EXPECT_EQ(c.ReadLn("|"), "xyz");
    EXPECT_EQ(c.ReadLn(), "tail");
    EXPECT_FALSE(c.ReadLnTimedOut);
    c.WriteLn("bye");
}

TEST(NetTCPConnection, LinesArrivingInPiecesAndTimedOutReads)
{
    ScriptedPeer peer([](int fd) {
        nettest::sendAll(fd, "ab");
        nettest::recvLine(fd);  // the client's go-ahead
        nettest::sendAll(fd, "c\n");
        nettest::recvLine(fd);
    });
    Client c(peer.port());
    c.Connect();
    EXPECT_EQ(c.ReadLn("", 50), "");
    EXPECT_TRUE(c.ReadLnTimedOut);
    EXPECT_EQ(c.InputBufferSize(), 2);
    c.WriteLn("go");
    EXPECT_EQ(c.ReadLn(), "abc");
    EXPECT_FALSE(c.ReadLnTimedOut);
    c.WriteLn("bye");
}

TEST(NetTCPConnection, PartialLineThenCloseGivesTheDocumentedSequence)
{
    ScriptedPeer peer([](int fd) { nettest::sendAll(fd, "a\nb"); });
    Client c(peer.port());
    int disconnected = 0;
    c.OnDisconnected = [&](TNetTCPConnection *) { ++disconnected; };
    c.Connect();
    peer.join();
    EXPECT_EQ(c.ReadLn(), "a");
    EXPECT_EQ(c.ReadLn(), "");
    EXPECT_TRUE(c.ReadLnTimedOut);
    EXPECT_EQ(c.InputBufferSize(), 1);  // b stays buffered
    try {
        c.ReadLn();
        FAIL() << "no exception";
    } catch (const ENetConnClosedGracefully &e) {
        EXPECT_EQ(e.Message, "Connection Closed Gracefully.");
    }
    EXPECT_FALSE(c.Connected());
    EXPECT_EQ(disconnected, 1);
}

TEST(NetTCPConnection, CloseWithNothingBufferedRaisesAtOnce)
{
    ScriptedPeer peer([](int) {});
    Client c(peer.port());
    c.Connect();
    peer.join();
    EXPECT_THROW(c.ReadLn(), ENetConnClosedGracefully);
    EXPECT_FALSE(c.Connected());
}

namespace {
// Answers each command line with the scripted reply until "QUIT"; records what came in.
struct ReplyPeer {
    std::vector<std::pair<std::string, std::string>> script;
    std::string received;
    std::unique_ptr<ScriptedPeer> peer;
    void start()
    {
        peer = std::make_unique<ScriptedPeer>([this](int fd) {
            for (auto &[expect, reply] : script) {
                std::string line = expect.empty() ? std::string() : nettest::recvExact(fd, expect.size());
                received += line;
                nettest::sendAll(fd, reply);
            }
            received += nettest::recvAll(fd, 5000);
        });
    }
};
} // namespace

TEST(NetTCPConnection, NumberedRepliesAndTheirCodes)
{
    struct Case {
        const char *reply;
        int16_t code;
        int lines;
        const char *last;
    };
    const Case cases[] = {
        {"250 OK\r\n", 250, 1, "250 OK"},
        {"211-first\r\n211-second\r\n211 end\r\n", 211, 3, "211 end"},
        {"220-a\r\nok\r\n", 0, 2, "ok"},
        {"\r\n\r\n250-x\r\n\r\n  250 y  \r\n", 250, 2, "250 y"},
        {"+ok ready\r\n", 1, 1, "+ok ready"},
        {"-ERR nope\r\n", 0, 1, "-ERR nope"},
        {"abc\r\n", 0, 1, "abc"},
        {"$1F hex is no number\r\n", 0, 1, "$1F hex is no number"},
        {"12\n", 12, 1, "12"},
        {"211-first\r\n211-mid\r\n211 Last\r\n", 211, 3, "211 Last"},
    };
    ReplyPeer rp;
    for (const Case &c : cases)
        rp.script.push_back({"CMD\r\n", c.reply});
    rp.start();
    Client c(rp.peer->port());
    c.Connect();
    for (const Case &k : cases) {
        EXPECT_EQ(c.SendCmd("CMD"), k.code) << k.reply;
        EXPECT_EQ(c.ResultNo, k.code);
        EXPECT_EQ(c.CmdResultDetails.Count(), k.lines) << k.reply;
        EXPECT_EQ(c.GetCmdResult(), k.last);
    }
    c.Disconnect();
}

TEST(NetTCPConnection, AllowedCodesAndEmptyCommands)
{
    ReplyPeer rp;
    rp.script = {{"A\r\n", "550-no\r\n550 really no\r\n"},
                 {"\r\n", "250 empty line seen\r\n"},
                 {"", "220 unasked\r\n"},
                 {"B\r\n", "+OK fine\r\n"},
                 {"C\r\n", "-ERR bad\r\n"}};
    rp.start();
    Client c(rp.peer->port());
    c.Connect();
    try {
        c.SendCmd("A", 250);
        FAIL() << "accepted 550";
    } catch (const ENetProtocolReplyError &e) {
        EXPECT_EQ(e.ReplyErrorCode, 550);
        EXPECT_EQ(e.Message, "550 really no");
    }
    // The reply was consumed whole: the connection stays in step.
    EXPECT_EQ(c.SendCmd(""), 250);
    EXPECT_EQ(c.SendCmd(std::string(1, '\0')), 220);  // sends nothing, only reads
    EXPECT_EQ(c.SendCmdCodes("B", {1}), 1);
    EXPECT_THROW(c.SendCmdCodes("C", {1}), ENetProtocolReplyError);
    c.Disconnect();
    rp.peer->join();
    EXPECT_EQ(rp.received, "A\r\n\r\nB\r\nC\r\n");
}

TEST(NetTCPConnection, CaptureWithAndWithoutTheEndMarker)
{
    ScriptedPeer peer([](int fd) {
        nettest::sendAll(fd, "line1\r\n..x\r\n. \r\n.\r\nafter\r\n..kept\r\n.\r\nend1\nend2\n");
    });
    Client c(peer.port());
    int begins = 0, ends = 0;
    c.OnWorkBegin = [&](TNetComponent *, TWorkMode m, int32_t) { begins += m == wmRead; };
    c.OnWorkEnd = [&](TNetComponent *, TWorkMode m) { ends += m == wmRead; };
    c.Connect();
    TStringList l;
    c.Capture(&l, ".", true);
    ASSERT_EQ(l.Count(), 3);
    EXPECT_EQ(l[0], "line1");
    EXPECT_EQ(l[1], ".x");
    EXPECT_EQ(l[2], ". ");
    EXPECT_EQ(c.ReadLn(), "after");
    TNetMemoryStream ms;
    c.Capture(&ms, ".", false);
    EXPECT_EQ(ms.DataString(), "..kept\r\n");
    l.Clear();
    peer.join();
    // No end marker: the close raises, the lines read so far are kept.
    EXPECT_THROW(c.Capture(&l), ENetConnClosedGracefully);
    ASSERT_EQ(l.Count(), 2);
    EXPECT_EQ(l[1], "end2");
    EXPECT_EQ(begins, 3);
    EXPECT_EQ(ends, 3);
}

TEST(NetTCPConnection, ASCIIFilterMasksEveryByte)
{
    ScriptedPeer peer([](int fd) { nettest::sendAll(fd, "\xC1\xE2x\n"); });
    Client c(peer.port());
    c.ASCIIFilter = true;
    c.Connect();
    EXPECT_EQ(c.ReadLn(), "Abx");
}

TEST(NetTCPConnection, OverlongLineIsRefused)
{
    ScriptedPeer peer([](int fd) {
        nettest::sendAll(fd, std::string(5000, 'x'));
        nettest::recvAll(fd, 5000);
    });
    Client c(peer.port());
    c.MaxLineLength = 1000;
    c.Connect();
    try {
        c.ReadLn();
        FAIL();
    } catch (const ENetInputTooLong &e) {
        EXPECT_EQ(e.Message, "The server sent a line of more than 1000 bytes; the connection was closed.");
    }
    EXPECT_FALSE(c.Connected());
}

TEST(NetTCPConnection, EndlessReplyIsRefused)
{
    ScriptedPeer peer([](int fd) {
        std::string many;
        for (int i = 0; i < 50; ++i)
            many += "211-more\r\n";
        nettest::sendAll(fd, many);
        nettest::recvAll(fd, 5000);
    });
    Client c(peer.port());
    c.MaxReplyLines = 20;
    c.Connect();
    EXPECT_THROW(c.GetResponse({}), ENetInputTooLong);
    EXPECT_FALSE(c.Connected());
}

TEST(NetTCPConnection, ReplyWaitWithTimeLimit)
{
    ScriptedPeer peer([](int fd) { nettest::recvAll(fd, 10000); });
    Client c(peer.port());
    c.ReadTimeout = 100;
    c.Connect();
    try {
        c.SendCmd("HELLO");
        FAIL();
    } catch (const ENetSocketError &e) {
        EXPECT_EQ(e.SocketErrorCode, 10060);
        EXPECT_EQ(e.Message, "Socket Error # 10060\r\nConnection timed out.");
    }
    EXPECT_FALSE(c.Connected());
}

TEST(NetTCPConnection, BufferReadOfAClosedPeerDoesNotHang)
{
    ScriptedPeer peer([](int fd) { nettest::sendAll(fd, "ab"); });
    Client c(peer.port());
    c.Connect();
    peer.join();
    char buf[8];
    EXPECT_THROW(c.ReadBuffer(buf, 8), ENetConnClosedGracefully);
}

TEST(NetTCPConnection, StreamsAndIntegers)
{
    std::string payload;
    for (int i = 0; i < 200000; ++i)
        payload += char('a' + i % 26);
    ScriptedPeer peer([&](int fd) {
        // Echo one counted block, then send the payload until the close.
        std::string count = nettest::recvExact(fd, 4);
        uint32_t n = (uint8_t(count[0]) << 24) | (uint8_t(count[1]) << 16) | (uint8_t(count[2]) << 8) | uint8_t(count[3]);
        std::string data = nettest::recvExact(fd, n);
        nettest::sendAll(fd, count + data);
        nettest::sendAll(fd, std::string("\x00\x00\x01\x02", 4));
        nettest::sendAll(fd, payload);
    });
    Client c(peer.port());
    c.SendBufferSize = 1000;
    int32_t written = 0, read = 0;
    c.OnWork = [&](TNetComponent *, TWorkMode m, int32_t n) { (m == wmWrite ? written : read) = n; };
    c.Connect();
    TNetMemoryStream src;
    src.Write(payload.data(), 70000);
    src.SetPosition(500);
    c.WriteStream(&src, true, true);
    EXPECT_EQ(written, 70000);
    TNetMemoryStream echo;
    c.ReadStream(&echo);
    EXPECT_EQ(echo.DataString(), payload.substr(0, 70000));
    EXPECT_EQ(c.ReadInteger(), 0x102);
    TNetMemoryStream rest;
    c.ReadStream(&rest, -1, true);
    EXPECT_EQ(rest.DataString(), payload);
    EXPECT_FALSE(c.Connected());
}

TEST(NetTCPConnection, WriteFileAndConnectAndGetAll)
{
    char name[] = "/tmp/netfileXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "file body", 9), 9);
    close(fd);
    std::string got;
    ScriptedPeer peer([&](int pfd) { got = nettest::recvExact(pfd, 9); nettest::sendAll(pfd, "thanks"); });
    Client c(peer.port());
    c.Connect();
    EXPECT_EQ(c.WriteFile(name), 9);
    EXPECT_EQ(c.AllData(), "thanks");
    peer.join();
    EXPECT_EQ(got, "file body");
    unlink(name);
    EXPECT_THROW(c.WriteFile("/nonexistent/x"), EFOpenError);

    ScriptedPeer peer2([](int pfd) { nettest::sendAll(pfd, "all of it"); });
    Client c2(peer2.port());
    EXPECT_EQ(c2.ConnectAndGetAll(), "all of it");
    EXPECT_FALSE(c2.Connected());
}

namespace {
struct RecordingIntercept : TNetConnectionIntercept {
    int received = 0, sent = 0, connects = 0, disconnects = 0;
    void DataReceived(void *, int count) override { received += count; }
    void DataSent(const void *, int count) override { sent += count; }
    void Connect(TNetSocketHandle *b) override { ++connects; TNetConnectionIntercept::Connect(b); }
    void Disconnect() override { ++disconnects; TNetConnectionIntercept::Disconnect(); }
};
} // namespace

TEST(NetTCPConnection, InterceptHooks)
{
    ScriptedPeer peer([](int fd) { nettest::recvLine(fd); nettest::sendAll(fd, "pong\r\n"); });
    Client c(peer.port());
    try {
        c.SetInterceptEnabled(true);
        FAIL();
    } catch (const ENetInterceptPropIsNil &e) {
        EXPECT_EQ(e.Message, "InterceptEnabled cannot be set to true when Intercept is nil.");
    }
    auto *ic = new RecordingIntercept;
    c.SetIntercept(ic);
    c.SetInterceptEnabled(true);
    c.Connect();
    EXPECT_EQ(ic->connects, 1);
    EXPECT_NE(ic->Binding(), nullptr);
    c.WriteLn("ping");
    EXPECT_EQ(c.ReadLn(), "pong");
    EXPECT_EQ(ic->sent, 6);
    EXPECT_EQ(ic->received, 6);
    c.Disconnect();
    EXPECT_EQ(ic->disconnects, 1);
    EXPECT_EQ(ic->Binding(), nullptr);
    delete ic;  // free notification clears the field
    EXPECT_EQ(c.Intercept(), nullptr);
    EXPECT_FALSE(c.InterceptEnabled());
}

TEST(NetTCPConnection, DisconnectStatusTexts)
{
    ScriptedPeer peer([](int fd) { nettest::recvAll(fd, 5000); });
    Client c(peer.port());
    std::vector<std::string> texts;
    c.OnStatus = [&](TNetComponent *, TNetStatus, const std::string &t) { texts.push_back(t); };
    c.Connect();
    texts.clear();
    c.Disconnect();
    EXPECT_EQ(texts, (std::vector<std::string> {"Disconnecting from 127.0.0.1.", "Not connected."}));
    texts.clear();
    c.Disconnect();  // nothing open: nothing happens
    EXPECT_TRUE(texts.empty());
}
