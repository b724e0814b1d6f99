// A reader thread blocked on a connection while the interface thread
// disconnects it and opens the next one: the reader wakes at once, never
// reads the new connection's socket, and no descriptor is left behind.
// Run also under ThreadSanitizer.
#include "netclient/NetAntiFreeze.h"
#include "netclient/NetTCPClient.h"
#include "netclient/NetTestPeers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <thread>
#include <unistd.h>

using nettest::Listener;

namespace {

using Clock = std::chrono::steady_clock;

struct Client : nettest::LoopbackClient {
    std::atomic<int> disconnects {0};
    explicit Client(int port) : LoopbackClient(port)
    {
        OnDisconnected = [this](TNetTCPConnection *) { ++disconnects; };
    }
};

// Waits (at most 2 s) until the thread sleeps in the kernel, that is, until
// the reader has reached its wait.
void waitUntilAsleep(const std::atomic<int> &tid, const std::atomic<bool> &done)
{
    const auto until = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < until && !done.load()) {
        if (int t = tid.load()) {
            std::ifstream in("/proc/self/task/" + std::to_string(t) + "/stat");
            std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            const size_t p = stat.rfind(')');
            if (p != std::string::npos && p + 2 < stat.size() && stat[p + 2] == 'S')
                return;
        }
        std::this_thread::yield();
    }
}

} // namespace

TEST(NetReadThread, ThousandRoundsOfDisconnectWhileAReaderWaits)
{
    Listener l(64);
    const int descriptors = nettest::openDescriptors();
    Client a(l.port()), b(l.port());
    Client *current = &a, *next = &b;
    current->Connect();
    int server = l.accept();
    ASSERT_GE(server, 0);
    std::unique_ptr<TNetAntiFreeze> af;
    double slowestMs = 0;
    int wrong = 0;
    for (int round = 0; round < 1000; ++round) {
        // Half the rounds with an anti-freeze: the reader never touches it.
        if (round == 500)
            af = std::make_unique<TNetAntiFreeze>();
        const int before = current->disconnects.load();
        std::atomic<int> tid {0};
        std::atomic<bool> done {false};
        std::string outcome;
        Clock::time_point ended;
        std::thread reader([&] {
            tid = int(gettid());
            try {
                // Limited only so that a reader nobody wakes fails the test
                // instead of hanging it.
                outcome = "line " + current->ReadLn("", 2000);
            } catch (const ENetConnClosedGracefully &) {
                outcome = "closed";
            } catch (const std::exception &e) {
                outcome = std::string("error ") + e.what();
            }
            ended = Clock::now();
            done = true;
        });
        waitUntilAsleep(tid, done);
        // Every other round the peer closes at the same moment, so the reader
        // and the interface thread both try to close.
        if (round % 2 == 1)
            close(server);
        const auto disconnected = Clock::now();
        current->Disconnect();
        // The next connection at once, while the reader may still be waking:
        // it must not get the old descriptor's number while that is in use.
        next->Connect();
        const int nextServer = l.accept();
        ASSERT_GE(nextServer, 0);
        const std::string hello = "round " + std::to_string(round);
        nettest::sendAll(nextServer, hello + "\n");
        reader.join();
        if (outcome != "closed") {
            ADD_FAILURE() << "round " << round << ": " << outcome;
            ++wrong;
            break;
        }
        slowestMs = std::max(slowestMs, std::chrono::duration<double, std::milli>(ended - disconnected).count());
        EXPECT_EQ(current->disconnects.load(), before + 1) << round;
        EXPECT_FALSE(current->Connected());
        ASSERT_EQ(next->ReadLn(), hello);
        if (round % 2 == 0)
            close(server);
        server = nextServer;
        std::swap(current, next);
    }
    EXPECT_EQ(wrong, 0);
    // Woken at once, not at its 2 s limit (however loaded the machine).
    EXPECT_LT(slowestMs, 1000.0);
    current->Disconnect();
    close(server);
    EXPECT_EQ(nettest::openDescriptors(), descriptors);
}

TEST(NetReadThread, DestroyingTheConnectionAfterItsReaderLeavesNothingOpen)
{
    const int descriptors = nettest::openDescriptors();
    {
        Listener l;
        auto c = std::make_unique<Client>(l.port());
        c->Connect();
        const int server = l.accept();
        std::thread reader([&] { EXPECT_THROW(c->ReadLn(), ENetConnClosedGracefully); });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        c->Disconnect();
        reader.join();
        c.reset();
        close(server);
    }
    EXPECT_EQ(nettest::openDescriptors(), descriptors);
}
