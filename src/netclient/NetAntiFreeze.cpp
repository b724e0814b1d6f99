#include "netclient/NetAntiFreeze.h"

#include "netclient/NetThread.h"

namespace {
TNetEventPump &pumpRef()
{
    static TNetEventPump pump;
    return pump;
}
}

TNetAntiFreeze::TNetAntiFreeze() = default;
TNetAntiFreeze::~TNetAntiFreeze() = default;

void TNetAntiFreeze::Process()
{
    CheckSynchronize();
    if (const TNetEventPump &pump = pumpRef())
        pump(ApplicationHasPriority() ? TNetPumpMode::AllPending : TNetPumpMode::OneIfWaiting);
}

void TNetAntiFreeze::SetEventPump(TNetEventPump pump) { pumpRef() = std::move(pump); }
const TNetEventPump &TNetAntiFreeze::EventPump() { return pumpRef(); }
