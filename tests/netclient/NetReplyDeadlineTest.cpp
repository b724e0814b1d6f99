// The read time-out bounds each whole reply, not each wait for the next
// bytes: a peer that trickles a reply one byte every 100 ms, never finishing
// it, ends every kind of read at the time-out with "Connection timed out.";
// a peer that takes nothing ends a large write the same way. An HTTP
// reply counts from the moment the request goes out: headers that come late
// followed by a body without end end at the time-out too. A redirect is a request of its own, with a deadline of its own.
// An exchange whose first part comes late and whose second never ends (a
// request body the peer stops taking, a mail message's body after its
// header) ends at the time-out too, not a time-out after its first part.
#include "netclient/NetHTTP.h"
#include "netclient/NetMessageClient.h"
#include "netclient/NetTCPClient.h"
#include "netclient/NetTestPeers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTimeOutMs = 1000;
// Late: well within the time-out, yet the rest of the reply cannot follow
// within a second time-out counted from there.
constexpr int kLateMs = 800;

// More than loopback's socket buffers hold; made before any test runs, so
// filling it (slow under the thread checker) is not timed with the write.
const std::string kUntakenBytes(32 * 1024 * 1024, 'x');

struct Case {
    const char *name;
    std::string prefix;   // sent at once
    std::string pattern;  // then sent one byte every 100 ms, over and over
    std::function<void(TNetTCPClient &)> read;
    bool http = false;
    // The prefix comes this long after the request.
    int lateMs = 0;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

// The peer's side: the prefix, then the pattern trickled until the client
// goes away (or 10 s pass).
void trickle(int fd, const Case &c, const std::atomic<bool> &stop)
{
    if (c.http)
        nettest::recvLine(fd, 5000);
    std::this_thread::sleep_for(std::chrono::milliseconds(c.lateMs));
    nettest::sendAll(fd, c.prefix);
    const auto end = Clock::now() + std::chrono::seconds(10);
    for (size_t i = 0; !stop && Clock::now() < end; ++i) {
        if (!c.pattern.empty() && !nettest::sendAll(fd, c.pattern.substr(i % c.pattern.size(), 1)))
            return;
        usleep(100 * 1000);
    }
}

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Runs the exchange, which must end with "Connection timed out." and the
// connection closed, between the time-out and the time-out plus the slack.
void expectEndsAtTheTimeOut(TNetTCPClient &client, int timeOutMs, int slackMs, const std::function<void()> &exchange)
{
    const auto t0 = Clock::now();
    int code = 0;
    try {
        exchange();
    } catch (const ENetSocketError &e) {
        code = e.SocketErrorCode;
        EXPECT_NE(e.Message.find("Connection timed out."), std::string::npos) << e.Message;
    }
    const double ms = msSince(t0);
    EXPECT_EQ(code, 10060);
    EXPECT_GE(ms, timeOutMs - 50);
    EXPECT_LE(ms, timeOutMs + slackMs);
    EXPECT_FALSE(client.Binding().HandleAllocated);
}

class ReplyDeadline : public ::testing::TestWithParam<Case> {};

TEST_P(ReplyDeadline, TricklingPeerEndsAtTheTimeOut)
{
    const Case &c = GetParam();
    std::atomic<bool> stop {false};
    nettest::ScriptedPeer peer([&](int fd) { trickle(fd, c, stop); });
    TNetHTTP http;
    nettest::LoopbackClient line(peer.port());
    TNetTCPClient &client = c.http ? static_cast<TNetTCPClient &>(http) : line;
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.ReadTimeout = kTimeOutMs;
    client.ConnectTimeout = kTimeOutMs;
    if (!c.http)
        client.Connect();
    expectEndsAtTheTimeOut(client, kTimeOutMs, 700, [&] { c.read(client); });
    stop = true;
    try {
        client.Disconnect();
    } catch (...) {
    }
}

void get(TNetTCPClient &c) { static_cast<TNetHTTP &>(c).GetString("http://127.0.0.1:" + std::to_string(c.Port) + "/x"); }

INSTANTIATE_TEST_SUITE_P(
    NetReplies, ReplyDeadline,
    ::testing::Values(
        // Each continuation line comes within the time-out; the reply never ends.
        Case {"NumberedReply", "200-first\r\n", "200-x\r\n", [](TNetTCPClient &c) { c.GetResponse({200}); }},
        Case {"CapturedList", "", "x\r\n", [](TNetTCPClient &c) { c.Capture(static_cast<TStringList *>(nullptr)); }},
        Case {"OneLine", "", "x", [](TNetTCPClient &c) { c.ReadLnSkipEmpty(); }},
        Case {"CountedStream", "", "x",
              [](TNetTCPClient &c) {
                  TNetMemoryStream s;
                  c.ReadStream(&s, 100000);
              }},
        Case {"HttpHeaders", "HTTP/1.0 200 OK\r\n", "X-A: b\r\n",
              get, true},
        Case {"HttpBody", "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n", "x",
              get, true},
        Case {"WriteToAPeerThatTakesNothing", "", "",
              [](TNetTCPClient &c) { c.Write(kUntakenBytes); }},
        // HTTP: the headers late, then a body that never ends.
        Case {"LateHttpHeadersThenBody", "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n", "x", get, true,
              kLateMs},
        // HTTP: a chunked body whose chunk never ends.
        Case {"LateHttpHeadersThenChunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nfffff\r\n", "x",
              get, true, kLateMs}),
    [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

// Reads an HTTP request's head (up to its empty line).
void readRequest(int fd)
{
    for (;;) {
        const std::string line = nettest::recvLine(fd, 5000);
        if (line.empty() || line == "\r\n" || line == "\n")
            return;
    }
}

TEST(ReplyDeadlineOfARequest, ARedirectedRequestHasADeadlineOfItsOwn)
{
    // Each of the two replies comes after 600 ms of a 1000 ms time-out:
    // together longer than one time-out, each within its own.
    nettest::ScriptedPeer *self = nullptr;
    nettest::ScriptedPeer peer([&self](int fd) {
        readRequest(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(kLateMs));
        nettest::sendAll(fd, "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:" + std::to_string(self->port()) +
                                 "/b\r\nContent-Length: 0\r\n\r\n");
        readRequest(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(kLateMs));
        nettest::sendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
        nettest::recvAll(fd, 5000);
    });
    self = &peer;
    TNetHTTP http;
    http.ReadTimeout = kTimeOutMs;
    http.ConnectTimeout = kTimeOutMs;
    http.HandleRedirects = true;
    const auto t0 = Clock::now();
    EXPECT_EQ(http.GetString("http://127.0.0.1:" + std::to_string(peer.port()) + "/a"), "ok");
    EXPECT_GE(msSince(t0), 2 * kLateMs - 50);
    http.Disconnect();
}

// ---- an exchange in two parts ----------------------------------------------------------
// The peer takes or sends the first part after kFirstPartMs of a time-out of
// kWholeMs, then the second part never ends: the exchange ends at the
// time-out. A deadline of its own for the second part would end it only
// kFirstPartMs + kWholeMs after the start, seconds past the bound.
constexpr int kWholeMs = 3000;
constexpr int kFirstPartMs = 2400;
constexpr int kSlackMs = 1200;

// Idles until the test is done with the peer (or 15 s pass).
void idle(const std::atomic<bool> &stop)
{
    const auto end = Clock::now() + std::chrono::seconds(15);
    while (!stop && Clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

TEST(ReplyDeadlineOfARequest, APostBodyThePeerStopsTakingEndsAtTheTimeOut)
{
    // The peer takes the head at once, 8 MiB of the 32 MiB body late, then
    // nothing more: the writing goes on in blocks, each of which would get
    // a whole time-out of its own.
    std::atomic<bool> stop {false};
    nettest::ScriptedPeer peer([&stop](int fd) {
        const int small = 256 * 1024;  // no large window that takes the body by itself
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        readRequest(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(kFirstPartMs));
        nettest::recvExact(fd, 8 * 1024 * 1024, 5000);
        idle(stop);
    });
    TNetMemoryStream body;
    body.Write(kUntakenBytes.data(), int64_t(kUntakenBytes.size()));
    TNetMemoryStream reply;
    TNetHTTP http;
    http.ReadTimeout = kWholeMs;
    http.ConnectTimeout = kWholeMs;
    expectEndsAtTheTimeOut(http, kWholeMs, kSlackMs, [&] {
        http.Post("http://127.0.0.1:" + std::to_string(peer.port()) + "/submit", &body, &reply);
    });
    stop = true;
}

TEST(ReplyDeadlineOfAMessage, AHeaderLateThenABodyWithoutEndEndsAtTheTimeOut)
{
    std::atomic<bool> stop {false};
    nettest::ScriptedPeer peer([&stop](int fd) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kFirstPartMs));
        nettest::sendAll(fd, "Subject: late\r\n\r\n");
        const std::string line = "a body line\r\n";
        for (size_t i = 0; !stop && i < 150; ++i) {
            if (!nettest::sendAll(fd, line.substr(i % line.size(), 1)))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    TNetMessageClient client;
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.ReadTimeout = kWholeMs;
    client.ConnectTimeout = kWholeMs;
    client.Connect();
    TNetMessage message;
    expectEndsAtTheTimeOut(client, kWholeMs, kSlackMs, [&] { client.Receive(message); });
    stop = true;
}

} // namespace
