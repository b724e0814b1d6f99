#pragma once
// Anti-freeze: keeps the interface responsive while the interface thread
// waits on a socket. Its socket waits are cut into IdleTimeOut slices (at
// least NetMinSlice long) and between slices DoProcess lets the process-wide
// instance pump pending events.
// The instance is only ever reached under a lock that its destructor takes
// too, and never kept across a pump (which may destroy it), so no wait holds
// a pointer to a destroyed instance.
#include "netclient/NetBaseComponent.h"
#include "netclient/NetStack.h"

#include <atomic>
#include <cstdint>
#include <functional>

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
    // DoProcess for a wait that ends at deadline. The pump may run long: a
    // modal box opened by a handler runs its own event loop inside it until
    // the user closes the box. The wait's deadline holds all the same: once
    // it has passed, ExpireDueWaits runs expire (which shuts the wait's
    // socket down, so the connection ends on time), and when the pump
    // returns the wait ends as timed out.
    static void DoProcessWait(bool idle, TNetClock::time_point deadline, std::function<void()> expire);
    // For the program's pump, on the interface thread: the earliest deadline
    // of the waits pumping now that has not been expired yet (false: none),
    // and the expiry of every one whose deadline has passed. A pump that may
    // run long arms a timer for the deadline and calls ExpireDueWaits when it
    // fires.
    static bool PumpingDeadline(TNetClock::time_point &deadline);
    static void ExpireDueWaits();

    // The process-wide instance (the newest one created); null when none.
    // For the interface thread, which creates and destroys the instance.
    static TNetAntiFreezeBase *Instance();
    // True when an instance exists and is active (the socket waits slice then).
    static bool ShouldUse();
    // The slice length for a wait of the calling thread: IdleTimeOut, but at
    // least NetMinSlice, on the main thread while an active instance exists;
    // else 0 (no slicing: other threads never pump, and a close wakes their
    // waits).
    static int SliceLength();
    // The shortest slice in milliseconds. Waking a thousand times a second
    // (IdleTimeOut 1, as the program sets it) costs several per cent of a
    // core in timer wake-ups alone; pumping a hundred times a second keeps
    // the interface just as responsive.
    static constexpr int NetMinSlice = 10;

private:
    std::atomic<bool> active_ {true};
    std::atomic<bool> appHasPriority_ {true};
    std::atomic<int32_t> idleTimeOut_ {250};
    std::atomic<bool> onlyWhenIdle_ {true};
};
