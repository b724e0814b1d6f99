#include "netclient/NetAntiFreezeBase.h"

#include "netclient/NetGlobal.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace {
std::mutex gMutex;
std::condition_variable gPumpDone;
TNetAntiFreezeBase *gInstance = nullptr;
// Process calls under way (on the main thread).
int gProcessing = 0;

// A wait whose pump is running, with its deadline.
struct PumpingWait {
    TNetClock::time_point deadline;
    std::function<void()> expire;
    bool expired = false;
};
// The waits pumping now, innermost last (the main thread's only).
std::vector<PumpingWait *> gPumpingWaits;
}

TNetAntiFreezeBase::TNetAntiFreezeBase()
{
    // A newer instance takes over without complaint.
    std::lock_guard<std::mutex> lk(gMutex);
    gInstance = this;
}

TNetAntiFreezeBase::~TNetAntiFreezeBase()
{
    std::unique_lock<std::mutex> lk(gMutex);
    // Destroying any anti-freeze leaves the process without one.
    gInstance = nullptr;
    // Destroyed on another thread while the main thread pumps through it:
    // wait for the pump to finish. (A handler run by the pump itself may
    // destroy it; Process touches nothing of its object after pumping.)
    if (!InMainThread())
        gPumpDone.wait(lk, [] { return gProcessing == 0; });
}

TNetAntiFreezeBase *TNetAntiFreezeBase::Instance()
{
    std::lock_guard<std::mutex> lk(gMutex);
    return gInstance;
}

bool TNetAntiFreezeBase::ShouldUse()
{
    std::lock_guard<std::mutex> lk(gMutex);
    return gInstance && gInstance->Active();
}

int TNetAntiFreezeBase::SliceLength()
{
    if (!InMainThread())
        return 0;
    std::lock_guard<std::mutex> lk(gMutex);
    if (!gInstance || !gInstance->Active())
        return 0;
    return std::max(gInstance->IdleTimeOut(), NetMinSlice);
}

void TNetAntiFreezeBase::DoProcess(bool idle, bool doOverride)
{
    if (!InMainThread())
        return;
    TNetAntiFreezeBase *a;
    {
        std::lock_guard<std::mutex> lk(gMutex);
        a = gInstance;
        if (!a || !a->Active() || !(idle || !a->OnlyWhenIdle() || doOverride))
            return;
        ++gProcessing;
    }
    struct Done {
        ~Done()
        {
            {
                std::lock_guard<std::mutex> lk(gMutex);
                --gProcessing;
            }
            gPumpDone.notify_all();
        }
    } done;
    a->Process();
}

void TNetAntiFreezeBase::DoProcessWait(bool idle, TNetClock::time_point deadline, std::function<void()> expire)
{
    if (!InMainThread())
        return;
    PumpingWait wait {deadline, std::move(expire)};
    gPumpingWaits.push_back(&wait);
    struct Leave {
        PumpingWait *w;
        ~Leave() { gPumpingWaits.erase(std::find(gPumpingWaits.begin(), gPumpingWaits.end(), w)); }
    } leave {&wait};
    DoProcess(idle, false);
}

bool TNetAntiFreezeBase::PumpingDeadline(TNetClock::time_point &deadline)
{
    bool any = false;
    for (const PumpingWait *w : gPumpingWaits) {
        if (w->expired || (any && w->deadline >= deadline))
            continue;
        deadline = w->deadline;
        any = true;
    }
    return any;
}

void TNetAntiFreezeBase::ExpireDueWaits()
{
    if (!InMainThread())
        return;
    // (An expiry only shuts a socket down: the list stays as it is.)
    for (PumpingWait *w : gPumpingWaits) {
        if (w->expired || NetMillisecondsLeft(w->deadline) != 0)
            continue;
        w->expired = true;
        if (w->expire)
            w->expire();
    }
}
