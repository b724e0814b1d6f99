#include "netclient/NetThread.h"

#include "netclient/NetGlobal.h"
#include "platform/SysUtils.h"

#include <deque>
#include <stdexcept>

namespace {

// A call handed to the main thread. Its exception is made on the main
// thread but read on the library thread, so it is also released there: the
// main thread moves its only reference in and keeps none, and the waiting
// thread moves it out before raising it. (The reference count of an
// exception lives in the C++ runtime, out of the thread sanitizer's sight:
// a last reference dropped on the main thread would destroy the exception
// after the library thread's read with nothing ordering the two.)
struct SyncRequest {
    std::function<void()> method;
    std::exception_ptr error;
    bool done = false;
};

// One hand-over queue for the process: library threads put calls in, the
// main thread takes them out. The condition variable wakes both sides.
std::mutex gSyncMutex;
std::condition_variable gSyncCv;
std::deque<SyncRequest *> gSyncQueue;
std::function<void()> gWakeUp;

} // namespace

bool CheckSynchronize()
{
    if (!InMainThread())
        return false;
    bool ran = false;
    for (;;) {
        SyncRequest *req;
        {
            std::lock_guard<std::mutex> lk(gSyncMutex);
            if (gSyncQueue.empty())
                break;
            req = gSyncQueue.front();
            gSyncQueue.pop_front();
        }
        std::exception_ptr error;
        try {
            req->method();
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lk(gSyncMutex);
            req->error = std::move(error);
            req->done = true;
        }
        gSyncCv.notify_all();
        ran = true;
    }
    return ran;
}

void SetSynchronizeWakeUp(std::function<void()> wakeUp)
{
    std::lock_guard<std::mutex> lk(gSyncMutex);
    gWakeUp = std::move(wakeUp);
}

TNetThread::TNetThread(bool createSuspended) : createSuspended_(createSuspended)
{
    stopped_.store(createSuspended);
}

TNetThread::~TNetThread()
{
    if (thread_.joinable()) {
        if (thread_.get_id() == std::this_thread::get_id()) {
            thread_.detach();
        } else {
            Terminate();
            {
                std::lock_guard<std::mutex> lk(mutex_);
                selfSuspended_ = false;
            }
            cv_.notify_all();
            WaitFor();
        }
    }
}

void TNetThread::AfterConstruction()
{
    if (!createSuspended_)
        Resume();
}

void TNetThread::Resume()
{
    std::lock_guard<std::mutex> lk(mutex_);
    if (!started_) {
        started_ = true;
        thread_ = std::thread([this] { threadProc(); });
        return;
    }
    selfSuspended_ = false;
    cv_.notify_all();
}

bool TNetThread::Suspended() const
{
    std::lock_guard<std::mutex> lk(mutex_);
    return !started_ || selfSuspended_;
}

void TNetThread::suspendSelf()
{
    std::unique_lock<std::mutex> lk(mutex_);
    selfSuspended_ = true;
    cv_.wait(lk, [this] { return !selfSuspended_ || terminated_.load(); });
    selfSuspended_ = false;
}

void TNetThread::TerminateAndWaitFor()
{
    Terminate();
    SetStopped(true);
    {
        std::lock_guard<std::mutex> lk(mutex_);
        selfSuspended_ = false;
    }
    cv_.notify_all();
    WaitFor();
}

void TNetThread::WaitFor()
{
    {
        std::lock_guard<std::mutex> lk(mutex_);
        if (!started_)
            return;
    }
    if (InMainThread()) {
        std::unique_lock<std::mutex> lk(gSyncMutex);
        while (!finished_.load()) {
            if (!gSyncQueue.empty()) {
                lk.unlock();
                CheckSynchronize();
                lk.lock();
                continue;
            }
            gSyncCv.wait(lk);
        }
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

std::string TNetThread::TerminatingException() const
{
    std::lock_guard<std::mutex> lk(mutex_);
    return terminatingException_;
}

void TNetThread::Execute()
{
    try {
        while (!Terminated()) {
            if (IsStopped()) {
                suspendSelf();
                if (Terminated())
                    break;
            }
            BeforeRun();
            try {
                while (!IsStopped())
                    Run();
            } catch (...) {
                AfterRun();
                throw;
            }
            AfterRun();
        }
    } catch (const std::exception &e) {
        std::string msg;
        if (const auto *ex = dynamic_cast<const Exception *>(&e))
            msg = ex->Message;
        else
            msg = e.what();
        {
            std::lock_guard<std::mutex> lk(mutex_);
            terminatingException_ = msg;
        }
        if (OnException)
            OnException(this, e);
        Terminate();
    } catch (...) {
        std::runtime_error e("Unknown exception");
        {
            std::lock_guard<std::mutex> lk(mutex_);
            terminatingException_ = e.what();
        }
        if (OnException)
            OnException(this, e);
        Terminate();
    }
}

void TNetThread::threadProc()
{
    try {
        Execute();
    } catch (...) {
        // An OnException handler that raised: the thread still ends quietly.
        Terminate();
    }
    bool selfFree = FreeOnTerminate.load();
    {
        // Woken under the lock: a self-freeing thread nobody joins has then
        // finished with the hand-over queue once its lock is released.
        std::lock_guard<std::mutex> lk(gSyncMutex);
        finished_.store(true);
        gSyncCv.notify_all();
    }
    if (selfFree) {
        {
            std::lock_guard<std::mutex> lk(mutex_);
            thread_.detach();
        }
        delete this;
    }
}

void TNetThread::Synchronize(const std::function<void()> &method)
{
    if (InMainThread()) {
        method();
        return;
    }
    SyncRequest req;
    req.method = method;
    std::function<void()> wake;
    {
        std::lock_guard<std::mutex> lk(gSyncMutex);
        gSyncQueue.push_back(&req);
        wake = gWakeUp;
    }
    gSyncCv.notify_all();
    if (wake)
        wake();
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lk(gSyncMutex);
        gSyncCv.wait(lk, [&] { return req.done; });
        error = std::move(req.error);
    }
    if (error)
        std::rethrow_exception(std::move(error));
}
