#pragma once
// Anti-freeze: keeps the interface responsive while the interface thread
// waits on a socket. Socket waits are cut into IdleTimeOut slices and between
// slices DoProcess lets the process-wide instance pump pending events.
#include "netclient/NetBaseComponent.h"

#include <atomic>
#include <cstdint>

class TNetAntiFreezeBase : public TNetBaseComponent {
public:
    TNetAntiFreezeBase();
    ~TNetAntiFreezeBase() override;

    bool Active() const { return active_.load(); }
    void SetActive(bool v) { active_.store(v); }
    bool ApplicationHasPriority() const { return appHasPriority_.load(); }
    void SetApplicationHasPriority(bool v) { appHasPriority_.store(v); }
    // Length of one wait slice in milliseconds.
    int32_t IdleTimeOut() const { return idleTimeOut_.load(); }
    void SetIdleTimeOut(int32_t v) { idleTimeOut_.store(v); }
    bool OnlyWhenIdle() const { return onlyWhenIdle_.load(); }
    void SetOnlyWhenIdle(bool v) { onlyWhenIdle_.store(v); }

    virtual void Process() = 0;

    // Called by the socket layer after every single wait (idle: nothing became
    // readable) and every single send (idle false). Pumps only on the main
    // thread, through an existing, active instance, and only when idle, or
    // OnlyWhenIdle is off, or doOverride is set.
    static void DoProcess(bool idle = true, bool doOverride = false);

    // The process-wide instance (the newest one created); null when none.
    static TNetAntiFreezeBase *Instance();
    // True when an instance exists and is active (the socket waits slice then).
    static bool ShouldUse();

private:
    std::atomic<bool> active_ {true};
    std::atomic<bool> appHasPriority_ {true};
    std::atomic<int32_t> idleTimeOut_ {250};
    std::atomic<bool> onlyWhenIdle_ {true};
};
