#include "controls/ThreadTimer.h"

#include "platform/HandlerGuard.h"
#include "platform/SysUtils.h"
#include "support/VCLUtils.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

#include <sys/eventfd.h>
#include <sys/resource.h>
#include <unistd.h>

// ==== hand-over to the interface thread ==============================================

namespace InterfaceThread {
namespace {

struct Queue {
    std::mutex m;
    std::deque<std::pair<const void *, std::function<void()>>> calls;
    int fd = -1;
    // Set (with the interface thread's id) once the notifier exists; cleared
    // when the application object goes away.
    std::atomic<bool> prepared {false};
    std::thread::id interfaceThread;
    QSocketNotifier *notifier = nullptr;   // interface thread only
};

Queue &queue()
{
    static Queue *q = new Queue;   // outlives every static destructor
    return *q;
}

void Drain()
{
    Queue &q = queue();
    uint64_t count;
    while (::read(q.fd, &count, sizeof count) == ssize_t(sizeof count)) {
    }
    RunQueued();
}

} // namespace

void Prepare()
{
    Queue &q = queue();
    QCoreApplication *app = QCoreApplication::instance();
    if (q.prepared.load(std::memory_order_acquire) || !app || QThread::currentThread() != app->thread())
        return;
    if (q.fd < 0)
        q.fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (q.fd < 0)
        return;
    q.notifier = new QSocketNotifier(q.fd, QSocketNotifier::Read, app);
    QObject::connect(q.notifier, &QSocketNotifier::activated, q.notifier, [] { Drain(); });
    QObject::connect(app, &QObject::destroyed, [] {
        Queue &qq = queue();
        qq.prepared.store(false, std::memory_order_release);
        qq.notifier = nullptr;
        std::lock_guard<std::mutex> lock(qq.m);
        qq.calls.clear();
    });
    {
        std::lock_guard<std::mutex> lock(q.m);
        q.interfaceThread = std::this_thread::get_id();
    }
    q.prepared.store(true, std::memory_order_release);
}

bool IsInterfaceThread()
{
    Queue &q = queue();
    if (q.prepared.load(std::memory_order_acquire)) {
        std::lock_guard<std::mutex> lock(q.m);
        return q.interfaceThread == std::this_thread::get_id();
    }
    QCoreApplication *app = QCoreApplication::instance();
    return !app || QThread::currentThread() == app->thread();
}

bool Post(const void *owner, std::function<void()> call)
{
    Queue &q = queue();
    if (!q.prepared.load(std::memory_order_acquire))
        return false;
    {
        std::lock_guard<std::mutex> lock(q.m);
        q.calls.emplace_back(owner, std::move(call));
    }
    const uint64_t one = 1;
    // The counter only overflows after 2^64 - 2 unread posts.
    [[maybe_unused]] ssize_t n = ::write(q.fd, &one, sizeof one);
    return true;
}

void Cancel(const void *owner)
{
    Queue &q = queue();
    std::lock_guard<std::mutex> lock(q.m);
    std::erase_if(q.calls, [owner](const auto &c) { return c.first == owner; });
}

int RunQueued()
{
    Queue &q = queue();
    int ran = 0;
    // One call at a time: a call may cancel the ones after it (its owner
    // going away).
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(q.m);
            if (q.calls.empty())
                break;
            call = std::move(q.calls.front().second);
            q.calls.pop_front();
        }
        HandlerGuard::RunGuarded(call);
        ++ran;
    }
    return ran;
}

} // namespace InterfaceThread

// ==== the timer ==========================================================================

// What the worker thread and the interface thread share; guarded by m. It
// outlives the timer as long as a hand-over still refers to it.
struct TThreadTimer::Shared {
    std::mutex m;
    std::condition_variable cv;
    bool run = false;        // rounds wanted: thread mode, enabled, interval, handler
    bool stop = false;       // the timer goes away
    bool enabled = true;
    unsigned interval = 1000;
    bool sync = true;
    int nice = 0;
    uint64_t gen = 0;        // advanced by every pause
    uint64_t roundGen = 0;   // gen when the current round started
    bool paused = true;      // the worker waits for rounds to be wanted
    bool inRound = false;
    int inSyncCall = 0;      // the interface thread runs a call of the worker
    TNotifyEvent handler;
    std::thread thread;
    std::thread::id workerId;
};

namespace {

int NiceOf(TThreadPriority p)
{
    static const int values[] = {19, 15, 5, 0, -5, -10, -20};
    return values[p];
}

std::atomic<bool> failNextWindowTimer {false};

} // namespace

TThreadTimer::TThreadTimer(QObject *owner) : QObject(owner), shared_(std::make_shared<Shared>())
{
    InterfaceThread::Prepare();
}

TThreadTimer::~TThreadTimer()
{
    destroying_ = true;
    Shared &s = *shared_;
    std::thread worker;
    {
        std::lock_guard<std::mutex> lock(s.m);
        s.stop = true;
        s.run = false;
        s.enabled = false;
        s.handler = nullptr;
        s.cv.notify_all();
        worker = std::move(s.thread);
    }
    if (worker.joinable()) {
        if (worker.get_id() == std::this_thread::get_id())
            worker.detach();
        else
            worker.join();
    }
    InterfaceThread::Cancel(shared_.get());
}

void TThreadTimer::SetEnabled(bool on)
{
    if (enabled_ == on)
        return;
    enabled_ = on;
    {
        std::lock_guard<std::mutex> lock(shared_->m);
        shared_->enabled = on;
    }
    UpdateTimer();
}

void TThreadTimer::SetInterval(unsigned ms)
{
    if (interval_ == ms)
        return;
    interval_ = ms;
    UpdateTimer();
}

bool TThreadTimer::SyncEvent() const
{
    std::lock_guard<std::mutex> lock(shared_->m);
    return shared_->sync;
}

void TThreadTimer::SetSyncEvent(bool on)
{
    std::lock_guard<std::mutex> lock(shared_->m);
    shared_->sync = on;
}

void TThreadTimer::SetThreaded(bool on)
{
    if (threaded_ == on)
        return;
    threaded_ = on;
    UpdateTimer();
}

void TThreadTimer::SetThreadPriority(TThreadPriority p)
{
    if (priority_ == p)
        return;
    priority_ = p;
    if (threaded_)
        UpdateTimer();
}

bool TThreadTimer::OnTimerAssigned() const
{
    std::lock_guard<std::mutex> lock(shared_->m);
    return bool(shared_->handler);
}

void TThreadTimer::SetOnTimer(TNotifyEvent handler)
{
    bool changed;
    {
        std::lock_guard<std::mutex> lock(shared_->m);
        changed = bool(shared_->handler) != bool(handler);
        shared_->handler = std::move(handler);
    }
    if (changed)
        UpdateTimer();
}

bool TThreadTimer::WorkerStarted() const
{
    std::lock_guard<std::mutex> lock(shared_->m);
    return shared_->thread.joinable();
}

bool TThreadTimer::WorkerSuspended() const
{
    std::lock_guard<std::mutex> lock(shared_->m);
    return !shared_->thread.joinable() || !shared_->run;
}

void TThreadTimer::FailNextWindowTimer() { failNextWindowTimer.store(true); }

void TThreadTimer::Pause()
{
    Shared &s = *shared_;
    std::unique_lock<std::mutex> lock(s.m);
    s.run = false;
    ++s.gen;
    s.cv.notify_all();
    // Wait for a round under way, unless this is the worker itself or the
    // round waits for the very call the interface thread is running.
    if (s.thread.joinable() && s.workerId != std::this_thread::get_id() && s.inSyncCall == 0)
        s.cv.wait(lock, [&] { return !s.inRound; });
}

void TThreadTimer::UpdateTimer()
{
    if (destroying_)
        return;
    Pause();
    Shared &s = *shared_;
    const bool wanted = interval_ != 0 && enabled_ && OnTimerAssigned();
    if (threaded_) {
        if (windowTimer_) {
            delete windowTimer_;
            windowTimer_ = nullptr;
        }
        std::lock_guard<std::mutex> lock(s.m);
        s.interval = interval_;
        s.nice = NiceOf(priority_);
        if (!wanted)
            return;
        s.run = true;
        if (!s.thread.joinable()) {
            auto worker = [shared = shared_, self = this] {
                Shared &w = *shared;
                std::unique_lock<std::mutex> lock(w.m);
                int applied = 0;
                for (;;) {
                    if (!w.run && !w.stop) {
                        w.paused = true;
                        w.cv.notify_all();
                        w.cv.wait(lock, [&] { return w.stop || w.run; });
                    }
                    if (w.stop)
                        break;
                    w.paused = false;
                    if (w.nice != applied) {
                        // Best effort: raising the priority needs privileges.
                        applied = w.nice;
                        setpriority(PRIO_PROCESS, ::gettid(), applied);
                    }
                    const uint64_t gen = w.gen;
                    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(w.interval);
                    // Woken early (paused, stopped, new settings): no round.
                    if (w.cv.wait_until(lock, deadline, [&] { return w.stop || w.gen != gen; }))
                        continue;
                    w.inRound = true;
                    w.roundGen = gen;
                    lock.unlock();
                    self->ThreadRound();
                    lock.lock();
                    w.inRound = false;
                    w.cv.notify_all();
                }
                w.paused = true;
                w.cv.notify_all();
            };
            s.thread = std::thread(worker);
            s.workerId = s.thread.get_id();
        }
        s.cv.notify_all();
        return;
    }
    // Window mode.
    if (!windowTimer_) {
        windowTimer_ = new QTimer(this);
        connect(windowTimer_, &QTimer::timeout, this, [this] { HandlerGuard::RunGuarded([this] { Timer(); }); });
    } else {
        windowTimer_->stop();
    }
    if (!wanted)
        return;
    if (!failNextWindowTimer.exchange(false))
        windowTimer_->start(int(std::min<unsigned>(interval_, unsigned(INT32_MAX))));
    if (!windowTimer_->isActive())
        throw EOutOfResources("Not enough timers available");
}

void TThreadTimer::Timer()
{
    TNotifyEvent handler;
    {
        std::lock_guard<std::mutex> lock(shared_->m);
        if (!shared_->enabled || shared_->stop)
            return;
        handler = shared_->handler;
    }
    if (handler)
        handler(this);
}

void TThreadTimer::ThreadRound()
{
    std::exception_ptr error;
    try {
        bool sync;
        {
            std::lock_guard<std::mutex> lock(shared_->m);
            sync = shared_->sync;
        }
        if (sync)
            Synchronize([this] { Timer(); });
        else
            Timer();
    } catch (const EAbort &) {
    } catch (...) {
        error = std::current_exception();
    }
    // An exception never ends the loop; it is shown on the interface thread,
    // which also releases it: this thread keeps no reference (the count
    // lives in the C++ runtime, out of the thread sanitizer's sight).
    if (error)
        InterfaceThread::Post(shared_.get(), [error = std::move(error)] { ReportException(error); });
}

void TThreadTimer::ReportException(std::exception_ptr e) { HandlerGuard::ShowException(e); }

bool TThreadTimer::Synchronize(const std::function<void()> &method)
{
    std::shared_ptr<Shared> shared = shared_;
    Shared &s = *shared;
    uint64_t gen;
    bool fromWorker;
    {
        std::lock_guard<std::mutex> lock(s.m);
        fromWorker = s.thread.joinable() && s.workerId == std::this_thread::get_id() && !s.stop;
        // A pause since the round began gives the hand-over up at once.
        gen = s.roundGen;
        if (fromWorker && (s.gen != gen || s.stop))
            return false;
    }
    if (!fromWorker || InterfaceThread::IsInterfaceThread()) {
        method();
        return true;
    }
    enum class State { Pending, Running, Done, Dropped };
    struct Call {
        State state = State::Pending;
        std::exception_ptr error;
    };
    auto call = std::make_shared<Call>();
    const bool posted = InterfaceThread::Post(shared.get(), [shared, call, method] {
        {
            std::lock_guard<std::mutex> lock(shared->m);
            if (call->state != State::Pending)
                return;
            call->state = State::Running;
            ++shared->inSyncCall;
        }
        std::exception_ptr error;
        try {
            method();
        } catch (...) {
            error = std::current_exception();
        }
        std::lock_guard<std::mutex> lock(shared->m);
        call->error = std::move(error);
        call->state = State::Done;
        --shared->inSyncCall;
        shared->cv.notify_all();
    });
    if (!posted) {
        // No interface thread to hand to: run here.
        method();
        return true;
    }
    std::unique_lock<std::mutex> lock(s.m);
    s.cv.wait(lock, [&] {
        return call->state == State::Done || s.stop || (s.gen != gen && call->state == State::Pending);
    });
    if (call->state != State::Done) {
        if (call->state == State::Pending)
            call->state = State::Dropped;
        return false;
    }
    // Taken out while the lock is held: the call, which the interface
    // thread may release last, then holds no reference to the exception.
    std::exception_ptr error = std::move(call->error);
    lock.unlock();
    if (error)
        std::rethrow_exception(std::move(error));
    return true;
}
