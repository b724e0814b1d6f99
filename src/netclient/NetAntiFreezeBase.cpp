#include "netclient/NetAntiFreezeBase.h"

#include "netclient/NetGlobal.h"

namespace {
std::atomic<TNetAntiFreezeBase *> gInstance {nullptr};
}

TNetAntiFreezeBase::TNetAntiFreezeBase()
{
    // A newer instance takes over without complaint.
    gInstance.store(this);
}

TNetAntiFreezeBase::~TNetAntiFreezeBase()
{
    // Destroying any anti-freeze leaves the process without one.
    gInstance.store(nullptr);
}

TNetAntiFreezeBase *TNetAntiFreezeBase::Instance() { return gInstance.load(); }

bool TNetAntiFreezeBase::ShouldUse()
{
    TNetAntiFreezeBase *a = gInstance.load();
    return a && a->Active();
}

void TNetAntiFreezeBase::DoProcess(bool idle, bool doOverride)
{
    TNetAntiFreezeBase *a = gInstance.load();
    if (!a || !InMainThread())
        return;
    if ((idle || !a->OnlyWhenIdle() || doOverride) && a->Active())
        a->Process();
}
