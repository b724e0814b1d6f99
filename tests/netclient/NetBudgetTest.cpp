// The byte budget of a connection against peers that send without end or
// announce more than they may: a library exception, the connection closed,
// and memory bounded by the budget.
#include "netclient/NetTCPClient.h"
#include "netclient/NetTestPeers.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using nettest::ScriptedPeer;

namespace {

using Client = nettest::LoopbackClient;

// Sends the block again and again until total bytes are out or the client
// has gone.
void flood(int fd, const std::string &block, long long total)
{
    for (long long sent = 0; sent < total; sent += static_cast<long long>(block.size()))
        if (!nettest::sendAll(fd, block))
            return;
}

std::string shortLines(int count)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += "line " + std::to_string(1000000 + i) + "\r\n";
    return s;
}

std::string budgetText(int64_t budget)
{
    return "The server sent more than " + std::to_string(budget) + " bytes; the connection was closed.";
}

// A length refused from the peer's announcement says so.
std::string announcedText(int64_t announced, int64_t budget)
{
    return "The server announced " + std::to_string(announced) + " bytes, more than the " + std::to_string(budget) +
           " it may send; the connection was closed.";
}

// The growth of resident memory while fn runs, its peak included.
long long residentGrowth(const std::function<void()> &fn)
{
    const long long before = nettest::procStatusBytes("VmRSS");
    const bool peak = nettest::resetPeakResident();
    fn();
    return (peak ? nettest::procStatusBytes("VmHWM") : nettest::procStatusBytes("VmRSS")) - before;
}

} // namespace

TEST(NetBudget, HundredMegabytesOfShortLinesToCapture)
{
    const std::string block = shortLines(5000);
    ScriptedPeer peer([&](int fd) { flood(fd, block, 100LL << 20); });
    Client c(peer.port());
    const int64_t budget = c.MaxReadBytes;
    EXPECT_EQ(budget, 4 << 20);
    c.Connect();
    TStringList lines;
    std::string message;
    const long long growth = residentGrowth([&] {
        try {
            c.Capture(&lines, ".", false);
        } catch (const ENetInputTooLong &e) {
            message = e.Message;
        }
    });
    EXPECT_EQ(message, budgetText(budget));
    EXPECT_FALSE(c.Connected());
    EXPECT_GT(lines.Count(), 10000);
    EXPECT_EQ(lines[0], "line 1000000");
    if (!nettest::kSanitized) {
        EXPECT_LT(growth, 2 * budget);
    }
}

TEST(NetBudget, AnnouncedStreamsLargerThanTheBudgetAreRefusedUnread)
{
    // Lengths as a peer sends them: 2 GB, the largest unsigned count, one
    // byte over the budget.
    for (uint32_t announced : {0x80000000u, 0xFFFFFFFFu, uint32_t(4 << 20) + 1}) {
        const std::string head {char(announced >> 24), char(announced >> 16), char(announced >> 8), char(announced)};
        ScriptedPeer peer([&](int fd) {
            nettest::sendAll(fd, head);
            flood(fd, std::string(65536, 'b'), 8LL << 20);
        });
        Client c(peer.port());
        c.Connect();
        TNetMemoryStream ms;
        std::string message;
        const long long growth = residentGrowth([&] {
            try {
                c.ReadStream(&ms);
            } catch (const ENetInputTooLong &e) {
                message = e.Message;
            }
        });
        EXPECT_EQ(message, announcedText(announced, c.MaxReadBytes)) << announced;
        EXPECT_EQ(ms.Size(), 0);
        EXPECT_FALSE(c.Connected());
        if (!nettest::kSanitized) {
            EXPECT_LT(growth, 2 * c.MaxReadBytes);
        }
    }
}

TEST(NetBudget, StreamGrowsOnlyAsBytesArrive)
{
    // A length within the budget, but only a little comes before the peer stalls.
    ScriptedPeer peer([](int fd) {
        nettest::sendAll(fd, std::string("\x00\x10\x00\x00", 4) + std::string(1000, 's'));
        nettest::recvAll(fd, 5000);
    });
    Client c(peer.port());
    c.ReadTimeout = 200;
    c.Connect();
    TNetMemoryStream ms;
    int64_t largest = 0, counted = 0;
    c.OnWork = [&](TNetComponent *, TWorkMode, int32_t n) {
        largest = std::max(largest, ms.Size());
        counted = n;
    };
    EXPECT_THROW(c.ReadStream(&ms), ENetSocketError);  // the time-out
    EXPECT_EQ(ms.Size(), 1000);
    EXPECT_LE(largest, counted);
}

namespace {
struct Overrun {
    const char *name;
    std::string peerSends;
    std::function<void(Client &)> read;
    // A length known before the bytes come (refused as announced); -1: none.
    int64_t announced = -1;
};
} // namespace

TEST(NetBudget, EveryGatheringReadStopsAtTheBudget)
{
    const std::string many = shortLines(200);  // 2,800 bytes
    const Overrun cases[] = {
        {"reply of many lines", "250-" + many, [](Client &c) { c.GetResponse({}); }},
        {"blank lines before a reply", std::string(5000, '\n'), [](Client &c) { c.GetResponse({}); }},
        {"capture into a list", many, [](Client &c) { TStringList l; c.Capture(&l); }},
        {"capture into a stream", many, [](Client &c) { TNetMemoryStream s; c.Capture(&s); }},
        {"capture discarded", many, [](Client &c) { c.Capture(static_cast<TStringList *>(nullptr)); }},
        {"all data", many, [](Client &c) { c.AllData(); }},
        {"stream until the close", many, [](Client &c) { TNetMemoryStream s; c.ReadStream(&s, -1, true); }},
        {"counted stream", many, [](Client &c) { TNetMemoryStream s; c.ReadStream(&s, 2001); }, 2001},
        {"buffer", many, [](Client &c) { std::string b(2001, 0); c.ReadBuffer(b.data(), 2001); }},
        {"line without an end", std::string(2500, 'x'), [](Client &c) { c.MaxLineLength = 0; c.ReadLn(); }},
    };
    for (const Overrun &k : cases) {
        ScriptedPeer peer([&](int fd) {
            nettest::sendAll(fd, k.peerSends);
            nettest::recvAll(fd, 5000);
        });
        Client c(peer.port());
        c.MaxReadBytes = 2000;
        c.Connect();
        try {
            k.read(c);
            ADD_FAILURE() << k.name << ": no exception";
        } catch (const ENetInputTooLong &e) {
            EXPECT_EQ(e.Message, k.announced < 0 ? budgetText(2000) : announcedText(k.announced, 2000)) << k.name;
        }
        EXPECT_FALSE(c.Connected()) << k.name;
    }
}

TEST(NetBudget, WithinTheBudgetNothingChangesAndTheNextExchangeStartsClean)
{
    // Ten lines of 14 bytes kept in a list cost 10 x (14 + 64) = 780 bytes.
    const std::string ten = shortLines(10);
    ScriptedPeer first([&](int fd) {
        nettest::sendAll(fd, ten + ".\r\n" + ten + ten + ".\r\n");
        nettest::recvAll(fd, 5000);
    });
    Client c(first.port());
    c.MaxReadBytes = 800;
    c.Connect();
    TStringList l;
    c.Capture(&l);
    EXPECT_EQ(l.Count(), 10);
    l.Clear();
    EXPECT_THROW(c.Capture(&l), ENetInputTooLong);
    EXPECT_FALSE(c.Connected());
    first.join();

    // The same client connects again: nothing of the old reply is left.
    ScriptedPeer second([](int fd) {
        nettest::sendAll(fd, "220 fresh\r\n");
        nettest::recvAll(fd, 5000);
    });
    c.Port = second.port();
    c.Connect();
    EXPECT_EQ(c.GetResponse({220}), 220);
    EXPECT_EQ(c.GetCmdResult(), "220 fresh");
    c.Disconnect();
}
