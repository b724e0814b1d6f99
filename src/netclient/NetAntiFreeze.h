#pragma once
// The concrete anti-freeze. There is no message queue of its own here: the
// application injects the event pump (Qt's event processing in the program,
// a counting function in tests). Process also runs the hand-overs that
// library threads have queued for the main thread.
#include "netclient/NetAntiFreezeBase.h"

#include <functional>

enum class TNetPumpMode {
    AllPending,    // process every pending event until none is left
    OneIfWaiting,  // handle one event when one is waiting
};
using TNetEventPump = std::function<void(TNetPumpMode)>;

class TNetAntiFreeze : public TNetAntiFreezeBase {
public:
    TNetAntiFreeze();
    ~TNetAntiFreeze() override;

    // With ApplicationHasPriority all pending events, otherwise one waiting event.
    void Process() override;

    // The process-wide event pump; empty: nothing but the thread hand-overs.
    static void SetEventPump(TNetEventPump pump);
    static const TNetEventPump &EventPump();
};
