// The library thread: rounds, stop flag, self-suspension, the hand-over to
// the main thread and exceptions carried back. Run also under ThreadSanitizer.
#include "netclient/NetGlobal.h"
#include "netclient/NetThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct CountingThread : TNetThread {
    std::function<void(CountingThread &)> body;
    std::atomic<int> runs {0}, befores {0}, afters {0};
    explicit CountingThread(bool suspended) : TNetThread(suspended) {}
    void Run() override
    {
        ++runs;
        body(*this);
    }
    void BeforeRun() override { ++befores; }
    void AfterRun() override { ++afters; }
    using TNetThread::Synchronize;
};

bool waitUntil(const std::function<bool()> &cond)
{
    for (int i = 0; i < 2000; ++i) {
        if (cond())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return cond();
}

} // namespace

TEST(NetThread, SynchronizeRunsOnTheMainThreadAndWaits)
{
    int onMain = 0;  // touched on the main thread only
    bool allMain = true;
    std::atomic<int> wakeUps {0};
    SetSynchronizeWakeUp([&] { ++wakeUps; });
    CountingThread t(true);
    t.body = [&](CountingThread &self) {
        int seen = -1;
        self.Synchronize([&] {
            allMain = allMain && InMainThread();
            seen = ++onMain;
        });
        // The call has finished when Synchronize returns.
        if (seen == 3)
            self.Terminate();
    };
    t.SetStopped(false);
    t.Resume();
    t.WaitFor();  // runs the hand-overs meanwhile
    SetSynchronizeWakeUp(nullptr);
    EXPECT_EQ(onMain, 3);
    EXPECT_TRUE(allMain);
    EXPECT_EQ(t.runs.load(), 3);
    EXPECT_EQ(wakeUps.load(), 3);
    EXPECT_EQ(t.TerminatingException(), "");
}

TEST(NetThread, ExceptionOfASynchronizedCallEndsTheThread)
{
    std::string seen;
    CountingThread t(false);
    t.OnException = [&](TNetThread *, const std::exception &e) { seen = e.what(); };
    t.body = [](CountingThread &self) {
        self.Synchronize([] { throw ENetSocketError(10054, "reset"); });
    };
    t.AfterConstruction();
    t.WaitFor();
    EXPECT_EQ(t.runs.load(), 1);
    EXPECT_EQ(t.afters.load(), 1);
    EXPECT_EQ(t.TerminatingException(), "reset");
    EXPECT_EQ(seen, "reset");
    EXPECT_TRUE(t.Terminated());
}

// The exception of a synchronized call is made on the main thread and read
// on the library thread; it must also be destroyed there, after the read,
// and never by a reference the main thread kept (ThreadSanitizer sees no
// order between a read and a destruction on two threads when the count that
// decides which one comes last lives in the uninstrumented C++ runtime).
// Each round is a fresh thread: which side comes last is a matter of timing.
namespace {
// An exception that records the threads it is destroyed on.
struct Traced : Exception {
    using Exception::Exception;
    ~Traced() override
    {
        std::lock_guard<std::mutex> lock(mutex);
        destroyedOn.push_back(std::this_thread::get_id());
    }
    static inline std::mutex mutex;
    static inline std::vector<std::thread::id> destroyedOn;
};
} // namespace

TEST(NetThread, ExceptionOfASynchronizedCallIsDestroyedWhereItWasRead)
{
    const std::thread::id mainThread = std::this_thread::get_id();
    for (int round = 0; round < 200; ++round) {
        {
            std::lock_guard<std::mutex> lock(Traced::mutex);
            Traced::destroyedOn.clear();
        }
        std::thread::id readOn;
        std::string seen;
        CountingThread t(false);
        t.OnException = [&](TNetThread *, const std::exception &e) {
            readOn = std::this_thread::get_id();
            seen = e.what();
        };
        t.body = [](CountingThread &self) { self.Synchronize([] { throw Traced("traced"); }); };
        t.AfterConstruction();
        t.WaitFor();
        ASSERT_EQ(seen, "traced");
        ASSERT_NE(readOn, mainThread);
        std::lock_guard<std::mutex> lock(Traced::mutex);
        ASSERT_EQ(Traced::destroyedOn.size(), 1u) << "round " << round;
        ASSERT_EQ(Traced::destroyedOn[0], readOn) << "destroyed on the main thread in round " << round;
    }
}

TEST(NetThread, RunThatRaisesEndsAfterOneRound)
{
    CountingThread t(false);
    t.body = [](CountingThread &) { throw ENetConnClosedGracefully("Connection Closed Gracefully."); };
    t.AfterConstruction();
    t.WaitFor();
    EXPECT_EQ(t.runs.load(), 1);
    EXPECT_EQ(t.befores.load(), 1);
    EXPECT_EQ(t.afters.load(), 1);
    EXPECT_EQ(t.TerminatingException(), "Connection Closed Gracefully.");
}

TEST(NetThread, CreatedSuspendedStaysStoppedUntilStarted)
{
    CountingThread t(true);
    std::atomic<bool> go {false};
    t.body = [&](CountingThread &self) {
        if (go.load())
            self.SetStopped(true);
    };
    EXPECT_TRUE(t.Stopped());
    EXPECT_TRUE(t.Suspended());
    t.Resume();
    // It suspends itself again at once, without a round.
    ASSERT_TRUE(waitUntil([&] { return t.Suspended(); }));
    EXPECT_EQ(t.runs.load(), 0);
    EXPECT_TRUE(t.Stopped());
    go = true;
    t.SetStopped(false);
    t.Resume();
    ASSERT_TRUE(waitUntil([&] { return t.runs.load() >= 1 && t.Suspended(); }));
    EXPECT_EQ(t.afters.load(), 1);
    EXPECT_TRUE(t.IsStopped());
    t.TerminateAndWaitFor();
    EXPECT_TRUE(t.Finished());
    EXPECT_EQ(t.runs.load(), 1);
}

TEST(NetThread, FreeOnTerminateDestroysItself)
{
    static std::atomic<bool> destroyed {false};
    struct SelfFreeing : TNetThread {
        SelfFreeing() : TNetThread(false) { FreeOnTerminate = true; }
        ~SelfFreeing() override { destroyed = true; }
        void Run() override { Terminate(); }
    };
    TNetThread::Create<SelfFreeing>();
    EXPECT_TRUE(waitUntil([] { return destroyed.load(); }));
}

TEST(NetThread, TerminateAndWaitForEndsARunningThread)
{
    auto *t = new CountingThread(false);
    t->body = [](CountingThread &) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    t->AfterConstruction();
    ASSERT_TRUE(waitUntil([&] { return t->runs.load() > 0; }));
    t->TerminateAndWaitFor();
    EXPECT_TRUE(t->Finished());
    EXPECT_TRUE(t->Stopped());
    delete t;
}
