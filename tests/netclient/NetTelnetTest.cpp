// The telnet client: its negotiation byte for byte (over a socket pair), its
// read thread against scripted peers (hand-over order, a cddbp-shaped
// dialogue run inside the data handler, disconnect, reconnect and destruction
// while the thread waits) and the real inetutils telnetd run under socat.
// Run also under ThreadSanitizer and AddressSanitizer.
#include "netclient/NetTelnet.h"
#include "netclient/NetGlobal.h"
#include "netclient/NetTestPeers.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <chrono>
#include <dirent.h>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace Telnet;
using nettest::ScriptedPeer;

namespace {

using Clock = std::chrono::steady_clock;

// The interface thread's loop in small: runs the queued hand-overs until the
// condition holds (at most 5 s).
bool pumpUntil(const std::function<bool()> &done, int ms = 5000)
{
    const auto until = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() > until)
            return false;
        if (!CheckSynchronize())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::string bytes(std::initializer_list<int> list)
{
    std::string s;
    for (int b : list)
        s += char(b);
    return s;
}

struct Recorder {
    std::vector<std::string> events;
    bool offMainThread = false;
    void note(const std::string &e)
    {
        if (!InMainThread())
            offMainThread = true;
        events.push_back(e);
    }
};

struct TelnetClient : TNetTelnet {
    explicit TelnetClient(int port)
    {
        Host = "127.0.0.1";
        Port = port;
    }
    ~TelnetClient() override { StopReadThreads(); }
};

// The threads of this process.
int threadCount()
{
    int n = 0;
    if (DIR *d = opendir("/proc/self/task")) {
        while (dirent *e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

} // namespace

TEST(NetTelnet, NegotiationAnswersByteForByte)
{
    struct Case {
        const char *name;
        std::vector<std::string> blocks;  // received in this order
        std::string data;                 // all data delivered
        std::string replies;              // everything written back
        std::vector<int> commands;
    };
    const std::string dumbIs = bytes({IAC, SB, 24, 0}) + "dumb" + bytes({IAC, SE});
    const std::vector<Case> cases = {
        {"plain greeting", {"201 cddbp ready\r\n"}, "201 cddbp ready\r\n", "", {}},
        {"will echo", {bytes({IAC, WILL, 1})}, "", bytes({IAC, DO, 1}), {0}},
        {"do ttype", {bytes({IAC, DO, 24})}, "", bytes({IAC, WILL, 24}), {}},
        {"do other", {bytes({IAC, DO, 31})}, "", bytes({IAC, WONT, 31}), {}},
        {"will other", {bytes({IAC, WILL, 3})}, "", bytes({IAC, DONT, 3}), {}},
        {"will eor", {bytes({IAC, WILL, 25})}, "", bytes({IAC, DO, 25}), {}},
        {"wont echo", {bytes({IAC, WONT, 1})}, "", bytes({IAC, DONT, 1}), {1}},
        {"do echo", {bytes({IAC, DO, 1})}, "", bytes({IAC, WILL, 1}), {1}},
        {"dont echo", {bytes({IAC, DONT, 1})}, "", bytes({IAC, WONT, 1}), {2}},
        {"ttype send", {bytes({IAC, SB, 24, 1, IAC, SE})}, "", dumbIs, {}},
        {"other send", {bytes({IAC, SB, 31, 1, IAC, SE})}, "", "", {}},
        {"ttype not send", {bytes({IAC, SB, 24, 1, 1, IAC, SE})}, "", "", {}},
        {"escaped 255", {"a" + bytes({IAC, IAC}) + "b"}, "a\xff" "b", "", {}},
        {"commands ignored", {"x" + bytes({IAC, EOR, IAC, 241, IAC, 249, IAC, 7}) + "y"}, "xy", "", {}},
        {"split across blocks", {"a" + bytes({IAC}), bytes({DO}), bytes({24}) + "b"}, "ab", bytes({IAC, WILL, 24}), {}},
        {"split subnegotiation", {bytes({IAC, SB, 24}), bytes({1, IAC}), bytes({SE}) + "z"}, "z", dumbIs, {}},
        {"SB IAC skips one byte", {bytes({IAC, SB, IAC, 65}) + "q"}, "q", "", {}},
        {"SB after SB answers the first", {bytes({IAC, SB, 24, 1, IAC, SB, 31, 1, IAC, SE}) + "k"}, "k", dumbIs, {}},
        {"IAC IAC inside subnegotiation", {bytes({IAC, SB, 24, IAC, IAC, IAC, SE})}, "", "", {}},
        {"abandoned subnegotiation", {bytes({IAC, SB, 24, 1, IAC, 7}) + "m"}, "m", "", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
        TNetTelnet t;
        t.Binding().AdoptSocket(pair[0]);
        std::vector<int> commands;
        t.OnTelnetCommand = [&](TNetComponent *sender, TTelnetCommand s) {
            EXPECT_EQ(sender, &t);
            commands.push_back(int(s));
        };
        std::string data;
        for (const std::string &b : c.blocks)
            data += t.Negotiate(b);
        EXPECT_EQ(data, c.data);
        EXPECT_EQ(commands, c.commands);
        t.Disconnect();
        EXPECT_EQ(nettest::recvAll(pair[1], 2000), c.replies);
        close(pair[1]);
    }
}

TEST(NetTelnet, TerminalAndSubnegotiationCap)
{
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    TNetTelnet t;
    t.Binding().AdoptSocket(pair[0]);
    t.Terminal = "";
    // An empty terminal answers as dumb.
    t.Negotiate(bytes({IAC, SB, 24, 1, IAC, SE}));
    EXPECT_EQ(t.Terminal, "dumb");
    t.Terminal = "VT100";
    t.Negotiate(bytes({IAC, SB, 24, 1, IAC, SE}));
    // A subnegotiation that never ends costs no more than the cap, is not
    // answered, and data after its end flows again.
    std::string endless = bytes({IAC, SB, 24, 1});
    for (int i = 0; i < 64; ++i)
        EXPECT_EQ(t.Negotiate(endless.substr(0, i == 0 ? 4 : 0) + std::string(64 * 1024, '\x01')), "");
    EXPECT_EQ(t.Negotiate(bytes({IAC, SE}) + "after"), "after");
    t.Disconnect();
    const std::string expected = bytes({IAC, SB, 24, 0}) + "dumb" + bytes({IAC, SE}) + bytes({IAC, SB, 24, 0}) +
                                 "VT100" + bytes({IAC, SE});
    EXPECT_EQ(nettest::recvAll(pair[1], 2000), expected);
    close(pair[1]);
}

TEST(NetTelnet, PeerCloseReportsDisconnectBeforeTheEmptyBlock)
{
    ScriptedPeer peer([](int fd) {
        nettest::sendAll(fd, bytes({IAC, DO, 24}) + "201 hello" + bytes({IAC, IAC}) + "\r\n");
        // The answer comes back before the peer closes.
        EXPECT_EQ(nettest::recvExact(fd, 3), bytes({IAC, WILL, 24}));
    });
    Recorder r;
    TelnetClient t(peer.port());
    t.OnDataAvailable = [&](const std::string &b) { r.note("data:" + b); };
    t.OnDisconnected = [&](TNetTCPConnection *) { r.note("disconnected"); };
    t.OnDisconnect = [&] { r.note("client disconnect"); };
    t.Connect();
    ASSERT_TRUE(pumpUntil([&] { return r.events.size() >= 3; }));
    ASSERT_TRUE(pumpUntil([&] { return t.TelnetThread()->Finished(); }));
    EXPECT_FALSE(r.offMainThread);
    const std::vector<std::string> expected {"data:201 hello\xff\r\n", "disconnected", "data:"};
    EXPECT_EQ(r.events, expected);
    EXPECT_FALSE(t.Connected());
    EXPECT_EQ(t.ThreadEndMessage(), "Connection Closed Gracefully.");
    // A client whose thread has ended disconnects without touching it, and
    // may connect again.
    t.Disconnect();
    EXPECT_EQ(r.events.back(), "client disconnect");
}

TEST(NetTelnet, CddbpDialogueRunsInsideTheDataHandler)
{
    ScriptedPeer peer([](int fd) {
        nettest::sendAll(fd, "201 test CDDBP server v1.5 ready at Thu Dec 10 15:00:00 2026\r\n");
        EXPECT_EQ(nettest::recvLine(fd), "cddb hello user host MixDeck 1.0\r\n");
        nettest::sendAll(fd, "200 Hello and welcome user@host running MixDeck 1.0.\r\n");
        EXPECT_EQ(nettest::recvLine(fd), "proto 4\r\n");
        nettest::sendAll(fd, "201 OK, CDDB protocol level now: 4\r\n");
        EXPECT_EQ(nettest::recvLine(fd), "cddb query 940aac0d 13 150 15239 3300\r\n");
        nettest::sendAll(fd, "211 Found inexact matches, list follows (until terminating `.')\r\n"
                             "rock 940aac0d Some Artist / Some Album\r\n"
                             "misc 940aac0e Other Artist / Other Album\r\n.\r\n");
        EXPECT_EQ(nettest::recvLine(fd), "quit\r\n");
        nettest::sendAll(fd, "230 Goodbye.\r\n");
        // The client closes first.
        EXPECT_EQ(nettest::recvAll(fd), "");
    });
    TelnetClient t(peer.port());
    std::vector<std::string> greetings;
    std::vector<std::string> log;
    bool disconnectReturned = false;
    t.OnDataAvailable = [&](const std::string &b) {
        greetings.push_back(b);
        if (!t.Connected())
            return;
        t.SendCmd("cddb hello user host MixDeck 1.0");
        log.push_back(t.GetCmdResult());
        t.SendCmd("proto 4");
        log.push_back(std::to_string(t.ResultNo));
        t.SendCmd("cddb query 940aac0d 13 150 15239 3300");
        log.push_back(std::to_string(t.ResultNo));
        TStringList matches;
        t.Capture(&matches, ".");
        for (int i = 0; i < matches.Count(); ++i)
            log.push_back(matches[i]);
        t.SendCmd("quit");
        log.push_back(t.GetCmdResult());
        const auto before = Clock::now();
        t.Disconnect();
        disconnectReturned = Clock::now() - before < std::chrono::milliseconds(500);
    };
    t.Connect();
    TNetTelnetReadThread *thread = t.TelnetThread();
    ASSERT_TRUE(pumpUntil([&] { return !log.empty() && log.size() >= 6; }));
    peer.join();
    EXPECT_TRUE(disconnectReturned);
    ASSERT_EQ(greetings.size(), 1u);
    EXPECT_EQ(greetings[0], "201 test CDDBP server v1.5 ready at Thu Dec 10 15:00:00 2026\r\n");
    const std::vector<std::string> expected {"200 Hello and welcome user@host running MixDeck 1.0.", "201", "211",
                                             "rock 940aac0d Some Artist / Some Album",
                                             "misc 940aac0e Other Artist / Other Album", "230 Goodbye."};
    EXPECT_EQ(log, expected);
    // The handler's Disconnect let the thread go: it ends once the handler
    // returned, and the next Connect finds nothing running.
    EXPECT_TRUE(pumpUntil([&] { return thread->Finished(); }));
    EXPECT_EQ(t.TelnetThread(), nullptr);
}

TEST(NetTelnet, ReconnectInsideTheHandlerKeepsTheOldThreadAway)
{
    // Two connections on one listener: the first greets once, the second
    // greets, and both hold their sockets open until the end.
    nettest::Listener l;
    TelnetClient t(l.port());
    std::vector<std::string> blocks;
    int second = -1;
    t.OnDataAvailable = [&](const std::string &b) {
        blocks.push_back(b);
        if (b == "first\r\n") {
            t.Disconnect();
            t.Connect();
            second = l.accept();
            nettest::sendAll(second, "second\r\n");
        }
    };
    t.Connect();
    const int first = l.accept();
    nettest::sendAll(first, "first\r\n");
    ASSERT_TRUE(pumpUntil([&] { return blocks.size() >= 2; }));
    // The new connection's bytes went to its own thread only, once.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    CheckSynchronize();
    const std::vector<std::string> expected {"first\r\n", "second\r\n"};
    EXPECT_EQ(blocks, expected);
    EXPECT_TRUE(t.Connected());
    t.Disconnect();
    close(first);
    close(second);
}

TEST(NetTelnet, DestroyingWhileTheThreadWaitsIsSafe)
{
    const int descriptors = nettest::openDescriptors();
    for (int round = 0; round < 20; ++round) {
        nettest::Listener l;
        auto t = std::make_unique<TelnetClient>(l.port());
        int calls = 0;
        t->OnDataAvailable = [&](const std::string &) { ++calls; };
        t->Connect();
        const int server = l.accept();
        if (round % 2 == 0) {
            // Blocked in its wait for data.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } else {
            // Queued for the interface thread, with data that never gets handed over.
            nettest::sendAll(server, "greeting\r\n");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const auto before = Clock::now();
        t.reset();
        EXPECT_LT(Clock::now() - before, std::chrono::seconds(1));
        EXPECT_EQ(calls, 0);
        close(server);
    }
    // Destroyed from inside its own data handler: the thread frees itself.
    {
        const int threads = threadCount();
        nettest::Listener l;
        auto *t = new TelnetClient(l.port());
        bool destroyed = false;
        t->OnDataAvailable = [&](const std::string &) {
            delete t;
            destroyed = true;
        };
        t->Connect();
        const int server = l.accept();
        nettest::sendAll(server, "x");
        ASSERT_TRUE(pumpUntil([&] { return destroyed; }));
        close(server);
        // The self-freeing thread ends on its own.
        EXPECT_TRUE(pumpUntil([&] { return threadCount() <= threads; }));
    }
    EXPECT_EQ(nettest::openDescriptors(), descriptors);
}

TEST(NetTelnet, ErrorsOfConnectAndOfAMissingHandler)
{
    const nettest::ClosedPort closed;
    TelnetClient refused(closed.port());
    try {
        refused.Connect();
        FAIL() << "connected to a closed port";
    } catch (const ENetTelnetClientConnectError &e) {
        EXPECT_EQ(e.Message, "server not responding");
    }
    EXPECT_EQ(refused.TelnetThread(), nullptr);

    // Without a data handler the thread ends; the connection stays open.
    nettest::Listener l;
    TelnetClient t(l.port());
    t.Connect();
    const int server = l.accept();
    nettest::sendAll(server, "hello\r\n");
    ASSERT_TRUE(pumpUntil([&] { return t.TelnetThread()->Finished(); }));
    EXPECT_EQ(t.ThreadEndMessage(), "OnDataAvailable event is nil.");
    EXPECT_TRUE(t.Connected());
    t.Disconnect();
    close(server);
}

TEST(NetTelnet, NegotiatesWithInetutilsTelnetd)
{
    if (!testutil::fileExists("/usr/sbin/telnetd") || !testutil::fileExists("/usr/bin/socat"))
        GTEST_SKIP() << "inetutils-telnetd or socat is not installed";
    testutil::TempDir dir;
    // The "login" program: shows the terminal type telnetd learnt from us,
    // then answers one line. Then it stays until we leave: telnetd drops
    // what a program wrote last if that program ends first.
    const std::string script = dir.file("cddbp.sh");
    testutil::writeFile(script, "#!/bin/sh\n"
                                "echo \"201 telnetd cddbp ready term=$TERM\"\n"
                                "read line\n"
                                "echo \"200 got $line\"\n"
                                "read rest\n");
    chmod(script.c_str(), 0755);
    nettest::ChildServer server([&](int port) {
        return std::vector<std::string> {"/usr/bin/socat",
                                         "TCP-LISTEN:" + std::to_string(port) + ",bind=127.0.0.1,reuseaddr,fork",
                                         "EXEC:/usr/sbin/telnetd -h -E " + script + ",nofork"};
    });
    ASSERT_TRUE(server.ready());
    TelnetClient t(server.port());
    std::string text;
    std::vector<int> commands;
    bool sent = false;
    t.OnTelnetCommand = [&](TNetComponent *, TTelnetCommand s) { commands.push_back(int(s)); };
    t.OnDataAvailable = [&](const std::string &b) {
        text += b;
        if (!sent && text.find("ready") != std::string::npos && text.find('\n') != std::string::npos) {
            sent = true;
            t.WriteLn("hello");
        }
    };
    t.Connect();
    EXPECT_TRUE(pumpUntil([&] { return text.find("200 got hello") != std::string::npos; }, 10000)) << text;
    // telnetd asked for the terminal type and took our answer; no byte of
    // negotiation reached the data.
    EXPECT_NE(text.find("term=dumb"), std::string::npos) << text;
    EXPECT_EQ(text.find('\xff'), std::string::npos);
    t.Disconnect();
}
