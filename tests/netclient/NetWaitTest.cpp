// Waits take the caller's whole time and no CPU: a read on a silent peer and
// a connect that hangs, without an anti-freeze and with one slicing at 1 ms
// (what the program sets) and at 250 ms; and an anti-freeze that goes away
// in the middle of a wait.
#include "netclient/NetAntiFreeze.h"
#include "netclient/NetTCPClient.h"
#include "netclient/NetTestPeers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

using nettest::Listener;

namespace {

using Clock = std::chrono::steady_clock;

struct PumpReset {
    ~PumpReset() { TNetAntiFreeze::SetEventPump(nullptr); }
};

using Client = nettest::LoopbackClient;

// The bounds tell a fault from a loaded machine: a wait that ignores its
// time-out lasts seconds longer, one that spins takes a whole core, one
// that does not slice pumps never. (bench/wait_figures prints the fine
// figures: the lateness, the CPU and the slices per second.)
constexpr double kLateMs = 1000.0;
constexpr double kMaxCpuShare = 0.25;
// At least one pump in every half second of a sliced wait.
constexpr int kMaxPumpGapMs = 500;

// Elapsed milliseconds and the share of one core used while fn ran.
struct Measured {
    double ms;
    double cpuShare;
};

// The figures go into the test report too (--gtest_output=xml).
template <class F>
Measured measure(F fn)
{
    const double cpu0 = nettest::cpuSeconds();
    const auto t0 = Clock::now();
    fn();
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    const Measured m {ms, (nettest::cpuSeconds() - cpu0) * 1000.0 / ms};
    ::testing::Test::RecordProperty("elapsed_ms", int(m.ms));
    ::testing::Test::RecordProperty("cpu_per_mille", int(m.cpuShare * 1000));
    return m;
}

// 0: no anti-freeze; otherwise its IdleTimeOut.
class BlockedWait : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override
    {
        if (GetParam() > 0) {
            af_ = std::make_unique<TNetAntiFreeze>();
            af_->SetIdleTimeOut(GetParam());
            TNetAntiFreeze::SetEventPump([this](TNetPumpMode) { ++pumps_; });
        }
    }
    // Every slice pumped, and no more slices than the time holds (slices
    // are never shorter than NetMinSlice); a loaded machine only makes
    // them fewer.
    void expectPumps(int ms) const
    {
        if (GetParam() == 0) {
            EXPECT_EQ(pumps_, 0);
            return;
        }
        const int slice = std::max(GetParam(), TNetAntiFreezeBase::NetMinSlice);
        EXPECT_LE(pumps_, ms / slice + 1);
        EXPECT_GE(pumps_, std::min(ms / slice, ms / kMaxPumpGapMs));
    }
    PumpReset reset_;
    std::unique_ptr<TNetAntiFreeze> af_;
    int pumps_ = 0;
};

} // namespace

TEST_P(BlockedWait, ReadLnOfTwoSecondsOnASilentPeer)
{
    Listener l;
    Client c(l.port());
    c.Connect();
    const int srv = l.accept();
    ASSERT_GE(srv, 0);
    std::string line = "x";
    const Measured m = measure([&] { line = c.ReadLn("", 2000); });
    EXPECT_EQ(line, "");
    EXPECT_TRUE(c.ReadLnTimedOut);
    EXPECT_GE(m.ms, 2000.0);
    EXPECT_LE(m.ms, 2000.0 + kLateMs);
    EXPECT_LT(m.cpuShare, kMaxCpuShare) << m.ms << " ms";
    expectPumps(2000);
    close(srv);
}

TEST_P(BlockedWait, ConnectOfThreeSecondsToAFullBacklog)
{
    // A listener that never accepts, with a backlog of 0: the first connect
    // fills it and the kernel drops every further attempt, so the next
    // connect hangs as one to an unreachable host does.
    Listener l(0);
    const int filler = nettest::connectTo(l.port());
    ASSERT_GE(filler, 0);
    Client c(l.port());
    c.ConnectTimeout = 3000;
    int32_t code = 0;
    const Measured m = measure([&] {
        try {
            c.Connect();
        } catch (const ENetSocketError &e) {
            code = e.SocketErrorCode;
        }
    });
    EXPECT_EQ(code, 10060);
    EXPECT_FALSE(c.Connected());
    EXPECT_GE(m.ms, 3000.0);
    EXPECT_LE(m.ms, 3000.0 + kLateMs);
    EXPECT_LT(m.cpuShare, kMaxCpuShare) << m.ms << " ms";
    expectPumps(3000);
    close(filler);
}

INSTANTIATE_TEST_SUITE_P(AntiFreeze, BlockedWait, ::testing::Values(0, 1, 250),
                         [](const ::testing::TestParamInfo<int> &i) {
                             return i.param == 0 ? std::string("None") : "IdleTimeOut" + std::to_string(i.param);
                         });

TEST(NetWait, AntiFreezeDestroyedByItsOwnPumpLeavesAPlainWait)
{
    PumpReset reset;
    Listener l;
    Client c(l.port());
    c.Connect();
    const int srv = l.accept();
    auto *af = new TNetAntiFreeze;
    af->SetIdleTimeOut(10);
    int pumps = 0;
    // The third pump closes the window that owns the anti-freeze.
    TNetAntiFreeze::SetEventPump([&](TNetPumpMode) {
        if (++pumps == 3) {
            delete af;
            af = nullptr;
        }
    });
    const Measured m = measure([&] { EXPECT_FALSE(c.Binding().Readable(300)); });
    EXPECT_EQ(pumps, 3);
    EXPECT_EQ(TNetAntiFreezeBase::Instance(), nullptr);
    EXPECT_GE(m.ms, 300.0);
    EXPECT_LE(m.ms, 300.0 + kLateMs);
    close(srv);
}

TEST(NetWait, ZeroAndNegativeTimeOutsLookOnce)
{
    Listener l;
    Client c(l.port());
    c.Connect();
    const int srv = l.accept();
    for (int timeout : {0, -1, -5}) {
        const Measured m = measure([&] { EXPECT_FALSE(c.Binding().Readable(timeout)); });
        EXPECT_LT(m.ms, kLateMs) << timeout;
    }
    nettest::sendAll(srv, "x");
    EXPECT_TRUE(c.Binding().Readable(1000));
    EXPECT_TRUE(c.Binding().Readable(0));
    close(srv);
}

// A pump that runs long, as a modal box opened by a handler keeps it with
// its own event loop, does not hold the wait's deadline off: the program's
// pump expires the wait when the deadline comes (here: checked every 10 ms,
// as a timer of that loop would), the peer sees the connection end then,
// and the reply ends as timed out once the pump returns.
TEST(NetWait, ADeadlineHoldsWhileThePumpRunsLong)
{
    PumpReset reset;
    Listener l;
    Client c(l.port());
    c.Connect();
    const int srv = l.accept();
    c.ReadTimeout = 500;
    TNetAntiFreeze af;
    af.SetIdleTimeOut(10);
    const auto t0 = Clock::now();
    double peerSawClose = -1;
    int pumps = 0;
    TNetAntiFreeze::SetEventPump([&](TNetPumpMode) {
        if (++pumps != 2)
            return;
        // The box stays open for 1.5 s.
        const auto end = Clock::now() + std::chrono::milliseconds(1500);
        while (Clock::now() < end) {
            usleep(10 * 1000);
            TNetClock::time_point deadline;
            if (TNetAntiFreezeBase::PumpingDeadline(deadline) && NetMillisecondsLeft(deadline) == 0)
                TNetAntiFreezeBase::ExpireDueWaits();
            char b;
            if (peerSawClose < 0 && recv(srv, &b, 1, MSG_DONTWAIT) == 0)
                peerSawClose = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        }
    });
    int error = 0;
    const Measured m = measure([&] {
        try {
            c.GetResponse({});
        } catch (const ENetSocketError &e) {
            error = e.SocketErrorCode;
        }
    });
    EXPECT_EQ(error, WSAETIMEDOUT);
    EXPECT_GE(peerSawClose, 500.0);
    EXPECT_LE(peerSawClose, 500.0 + kLateMs);
    // The reply ended with the pump, not before.
    EXPECT_GE(m.ms, 1500.0);
    EXPECT_LE(m.ms, 1500.0 + kLateMs);
    EXPECT_FALSE(c.Binding().HandleAllocated);
    close(srv);
}
