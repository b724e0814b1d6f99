// The time-out bounds a command's whole reply from the moment the command
// goes out: a reply line that comes late (600 ms of a 1000 ms time-out) and
// is followed by a list or a continuation without end, and an HTTP reply
// whose headers come late and whose body then trickles on, end at the
// time-out, not a time-out after the reply line. A redirect is a request of
// its own, with a deadline of its own.
#include "netclient/NetHTTP.h"
#include "netclient/NetTCPClient.h"
#include "netclient/NetTestPeers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <ostream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kTimeOutMs = 1000;
constexpr int kLateMs = 600;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Reads an HTTP request's head (up to its empty line).
void readRequest(int fd)
{
    for (;;) {
        const std::string line = nettest::recvLine(fd, 5000);
        if (line.empty() || line == "\r\n" || line == "\n")
            return;
    }
}

struct Case {
    const char *name;
    bool http;
    std::string first;    // sent kLateMs after the command
    std::string pattern;  // then one byte every 100 ms, over and over
    std::function<void(TNetTCPClient &)> exchange;
};

void PrintTo(const Case &c, std::ostream *os) { *os << c.name; }

class CommandReply : public ::testing::TestWithParam<Case> {};

TEST_P(CommandReply, ALateReplyThatTricklesOnEndsAtTheTimeOut)
{
    const Case &c = GetParam();
    std::atomic<bool> stop {false};
    nettest::ScriptedPeer peer([&](int fd) {
        if (c.http)
            readRequest(fd);
        else
            nettest::recvLine(fd, 5000);
        std::this_thread::sleep_for(std::chrono::milliseconds(kLateMs));
        nettest::sendAll(fd, c.first);
        const auto end = Clock::now() + std::chrono::seconds(10);
        for (size_t i = 0; !stop && Clock::now() < end; ++i) {
            if (!nettest::sendAll(fd, c.pattern.substr(i % c.pattern.size(), 1)))
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    TNetHTTP http;
    nettest::LoopbackClient line(peer.port());
    TNetTCPClient &client = c.http ? static_cast<TNetTCPClient &>(http) : line;
    client.Host = "127.0.0.1";
    client.Port = peer.port();
    client.ReadTimeout = kTimeOutMs;
    client.ConnectTimeout = kTimeOutMs;
    if (!c.http)
        client.Connect();
    const auto t0 = Clock::now();
    int code = 0;
    try {
        c.exchange(client);
    } catch (const ENetSocketError &e) {
        code = e.SocketErrorCode;
        EXPECT_NE(e.Message.find("Connection timed out."), std::string::npos) << e.Message;
    }
    const double ms = msSince(t0);
    stop = true;
    EXPECT_EQ(code, 10060);
    EXPECT_GE(ms, kTimeOutMs - 50);
    EXPECT_LE(ms, kTimeOutMs + 700);
    EXPECT_FALSE(client.Binding().HandleAllocated);
}

INSTANTIATE_TEST_SUITE_P(
    NetCommands, CommandReply,
    ::testing::Values(
        // A command, then the list its reply line announces, as one reply.
        Case {"ReplyLineThenList", false, "211 close matches\r\n", "rock 0123abcd x\r\n",
              [](TNetTCPClient &c) {
                  TNetTCPConnection::ReplyDeadline reply(c);
                  c.SendCmd("cddb query", -1);
                  c.Capture(static_cast<TStringList *>(nullptr));
              }},
        // A numbered reply whose continuation lines never end, counted from the command.
        Case {"NumberedReplyFromTheCommand", false, "250-first\r\n", "250-x\r\n",
              [](TNetTCPClient &c) { c.SendCmd("ehlo x", 250); }},
        // HTTP: the headers late, then a body that never ends.
        Case {"HttpHeadersThenBody", true, "HTTP/1.0 200 OK\r\nContent-Length: 100000\r\n\r\n", "x",
              [](TNetTCPClient &c) {
                  static_cast<TNetHTTP &>(c).GetString("http://127.0.0.1:" + std::to_string(c.Port) + "/x");
              }},
        // HTTP: a chunked body whose chunk never ends.
        Case {"HttpChunkedBody", true, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nfffff\r\n", "x",
              [](TNetTCPClient &c) {
                  static_cast<TNetHTTP &>(c).GetString("http://127.0.0.1:" + std::to_string(c.Port) + "/x");
              }}),
    [](const ::testing::TestParamInfo<Case> &info) { return std::string(info.param.name); });

TEST(CommandReply, ARedirectedRequestHasADeadlineOfItsOwn)
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

} // namespace
