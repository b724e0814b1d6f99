// The network status is heard on a thread of its own: a backend that takes
// long to load (as a system bus that does not answer) never holds the one
// who asks, who gets "Unknown" (counted as connected) until the first
// answer, then the answer and every later change. The program's own status
// is started by the windows that look things up, as they are made.
#include "common/TestUtil.h"
#include "discdb/AddCD.h"
#include "discdb/WebConnect.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
using R = QNetworkInformation::Reachability;

double msSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// A loader that answers only when released, like a bus call that hangs.
struct SlowBackend {
    std::atomic<bool> release {false};
    std::function<void(R)> changed;
    std::atomic<bool> subscribed {false};
    std::atomic<bool> entered {false};
    TNetworkStatus::Loader loader()
    {
        return [this](const std::function<void(R)> &c) {
            entered = true;
            while (!release)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            changed = c;
            subscribed = true;
            return R::Disconnected;
        };
    }
};

bool waitFor(const std::function<bool()> &done, int ms = 5000)
{
    const auto t0 = Clock::now();
    while (!done() && msSince(t0) < ms)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

TEST(NetworkStatus, AskingNeverWaitsForTheBackend)
{
    SlowBackend backend;
    TNetworkStatus status(backend.loader());
    EXPECT_FALSE(status.Started());
    const auto t0 = Clock::now();
    status.Start();
    status.Start();  // once only
    EXPECT_TRUE(status.Started());
    // The backend is still loading: the answer is Unknown, at once, and a
    // connection made through it counts as present (nothing is dialled).
    TWebConnect wc(TWebConnectCalls::FromReachability([&status] { return status.Current(); }));
    EXPECT_TRUE(wc.GetConnectedState());
    EXPECT_EQ(status.Current(), R::Unknown);
    EXPECT_FALSE(status.Answered());
    EXPECT_LT(msSince(t0), 500.0);

    backend.release = true;
    ASSERT_TRUE(waitFor([&] { return status.Answered(); }));
    EXPECT_EQ(status.Current(), R::Disconnected);
    EXPECT_FALSE(wc.GetConnectedState());
    // A later change reaches the one who asks.
    ASSERT_TRUE(waitFor([&] { return backend.subscribed.load(); }));
    backend.changed(R::Online);
    EXPECT_EQ(status.Current(), R::Online);
    EXPECT_TRUE(wc.GetConnectedState());
}

TEST(NetworkStatus, StoppingABackendThatHangsReturnsAndIgnoresItsLateAnswer)
{
    SlowBackend backend;
    auto status = std::make_unique<TNetworkStatus>(backend.loader());
    status->Start();
    ASSERT_TRUE(waitFor([&] { return backend.entered.load(); }));
    const auto t0 = Clock::now();
    status->Stop(200);
    EXPECT_LT(msSince(t0), 1500.0);
    EXPECT_EQ(status->Current(), R::Unknown);
    // The stuck loader answers after all: the stopped status is not told.
    backend.release = true;
    ASSERT_TRUE(waitFor([&] { return backend.subscribed.load(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(status->Answered());
    status.reset();
}

TEST(NetworkStatus, TheGrabbingWindowStartsTheProgramsStatusAsItIsMade)
{
    // The lookups of the program ask the system's status; a window that
    // looks things up starts it before any lookup.
    {
        TGrabCDForm grab;
        EXPECT_TRUE(TNetworkStatus::System().Started());
    }
    // Asking answers at once whether or not the backend has answered yet.
    const auto t0 = Clock::now();
    TWebConnect wc(TWebConnectCalls::System());
    const bool connected = wc.GetConnectedState();
    EXPECT_LT(msSince(t0), 50.0);
    EXPECT_EQ(connected, TNetworkStatus::System().Current() != R::Disconnected);
}

} // namespace
