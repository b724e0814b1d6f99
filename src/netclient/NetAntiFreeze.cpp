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
    // Everything of this object is read before anything runs: a hand-over or
    // an event handler may destroy the anti-freeze.
    const TNetPumpMode mode = ApplicationHasPriority() ? TNetPumpMode::AllPending : TNetPumpMode::OneIfWaiting;
    CheckSynchronize();
    // A copy: the events it runs may install another pump.
    if (const TNetEventPump pump = pumpRef())
        pump(mode);
}

void TNetAntiFreeze::SetEventPump(TNetEventPump pump) { pumpRef() = std::move(pump); }
const TNetEventPump &TNetAntiFreeze::EventPump() { return pumpRef(); }
