#pragma once
// The library thread: a loop around one overridable round (Run), with a stop
// flag apart from termination; an exception escaping the body is kept
// (TerminatingException, OnException) and ends the thread instead of the
// process. Built on std::thread; Synchronize hands a call to the main thread
// through a queue and a condition variable and carries its exception back.
#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// Runs the calls that library threads have queued for the main thread; call
// it on the main thread (the anti-freeze and WaitFor do). Returns whether a
// call ran.
bool CheckSynchronize();
// Called (on the queuing thread) each time a call is queued, so that the
// application can wake its main loop; the program posts CheckSynchronize to
// its event loop here.
void SetSynchronizeWakeUp(std::function<void()> wakeUp);

// Owned data object of a thread.
class TNetThreadData {
public:
    virtual ~TNetThreadData() = default;
};

class TNetThread {
public:
    using TNetExceptionThreadEvent = std::function<void(TNetThread *thread, const std::exception &e)>;

    // A C++ constructor cannot run a virtual body safely, so construction never
    // starts the thread: AfterConstruction (or Create) starts a thread made
    // with createSuspended false, Resume starts one made suspended.
    explicit TNetThread(bool createSuspended = true);
    virtual ~TNetThread();
    TNetThread(const TNetThread &) = delete;
    TNetThread &operator=(const TNetThread &) = delete;

    template <class T, class... Args>
    static T *Create(Args &&...args)
    {
        T *t = new T(std::forward<Args>(args)...);
        t->AfterConstruction();
        return t;
    }
    void AfterConstruction();

    void Resume();
    void Start() { Resume(); }
    void Terminate() { terminated_.store(true); }
    bool Terminated() const { return terminated_.load(); }
    bool Stopped() const { return stopped_.load(); }
    void SetStopped(bool v) { stopped_.store(v); }
    bool IsStopped() const { return Terminated() || Stopped(); }
    // True while the thread waits in its self-suspension (or was never started).
    bool Suspended() const;
    bool Finished() const { return finished_.load(); }
    // Terminate, Stopped := True, wake the thread if it sleeps, wait for its end.
    virtual void TerminateAndWaitFor();
    // Waits until the body has ended; on the main thread the queued
    // hand-overs keep running meanwhile.
    void WaitFor();

    std::string TerminatingException() const;
    TNetExceptionThreadEvent OnException;
    // Destroyed by itself when the body returns.
    std::atomic<bool> FreeOnTerminate {false};
    std::unique_ptr<TNetThreadData> Data;

protected:
    virtual void Run() = 0;
    virtual void BeforeRun() {}
    virtual void AfterRun() {}
    virtual void Execute();
    // Runs method on the main thread and waits for it; its exception is raised
    // again here.
    void Synchronize(const std::function<void()> &method);

private:
    void threadProc();
    void suspendSelf();

    std::thread thread_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool createSuspended_;
    bool started_ = false;
    bool selfSuspended_ = false;
    std::atomic<bool> terminated_ {false};
    std::atomic<bool> stopped_ {false};
    std::atomic<bool> finished_ {false};
    std::string terminatingException_;
};
