#pragma once
// A timer component that fires either from a worker thread of its own or
// from a timer of the interface thread, and the hand-over of calls from
// worker threads to the interface thread that it uses.
//
// The worker pauses cooperatively: a pause (disabling, a new interval, a
// switch of mode) takes effect between two rounds, and the interface thread
// waits for a round under way to end (a round that waits for the interface
// thread itself gives up that wait). Stopping wakes the worker at once, also
// in the middle of its sleep.
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>

class QTimer;

// Calls that worker threads hand to the interface thread. The queue is
// guarded by a standard mutex and the interface thread is woken through a
// file descriptor, so the hand-over is visible to the thread sanitizer.
namespace InterfaceThread {
// Makes the hand-over ready; on the interface thread, with an application
// object (every TThreadTimer does so when created).
void Prepare();
// Whether the caller is the interface thread (the application's thread, or
// the first thread that asked when there is no application).
bool IsInterfaceThread();
// Queues call for the interface thread, tagged with owner. Without a
// prepared hand-over the call is dropped and false is returned.
bool Post(const void *owner, std::function<void()> call);
// Drops the queued calls of owner (an owner that goes away calls it).
void Cancel(const void *owner);
// Runs the queued calls now; on the interface thread. The number run.
int RunQueued();
} // namespace InterfaceThread

enum TThreadPriority : uint8_t { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThreadTimer : public QObject {
    Q_OBJECT
public:
    explicit TThreadTimer(QObject *owner = nullptr);
    // Stops the worker at once (it ends without a further round) and the
    // window timer.
    ~TThreadTimer() override;

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);
    // Milliseconds between firings; 0 stops the timer.
    unsigned Interval() const { return interval_; }
    void SetInterval(unsigned ms);
    // In thread mode: OnTimer runs on the interface thread (Synchronize).
    bool SyncEvent() const;
    void SetSyncEvent(bool on);
    // Fire from the worker thread; else from a timer of the interface thread.
    bool Threaded() const { return threaded_; }
    void SetThreaded(bool on);
    TThreadPriority ThreadPriority() const { return priority_; }
    void SetThreadPriority(TThreadPriority p);

    using TNotifyEvent = std::function<void(TThreadTimer *sender)>;
    bool OnTimerAssigned() const;
    void SetOnTimer(TNotifyEvent handler);

    // Runs method on the interface thread and waits for it while the worker
    // runs; directly when there is no running worker or the caller is the
    // interface thread. An exception of method is raised again here. A wait
    // given up (the timer paused or stopped meanwhile) returns false without
    // the method having run.
    bool Synchronize(const std::function<void()> &method);

    // The firing: OnTimer with this timer as sender, while enabled and
    // assigned.
    virtual void Timer();

    // ---- state, for tests -------------------------------------------------------------
    // No worker round can start: no thread yet, or it waits paused.
    bool WorkerSuspended() const;
    bool WorkerStarted() const;
    // The timer of the interface thread in window mode (nullptr until made).
    QTimer *WindowTimer() const { return windowTimer_; }
    // For tests of the window mode's failure: the next window timer fails
    // (EOutOfResources of support/VCLUtils.h).
    static void FailNextWindowTimer();

private:
    void UpdateTimer();
    void Pause();
    void ThreadRound();
    // Shown on the interface thread: the standard display.
    static void ReportException(std::exception_ptr e);

    struct Shared;
    std::shared_ptr<Shared> shared_;
    bool enabled_ = true;
    unsigned interval_ = 1000;
    bool threaded_ = true;
    TThreadPriority priority_ = tpNormal;
    bool destroying_ = false;
    QTimer *windowTimer_ = nullptr;
};
