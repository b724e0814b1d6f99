#pragma once
// One network exchange at a time in the process. An exchange (a lookup, a
// server test, a queue run, a submission) holds the one slot for as long as
// it runs on the interface thread; while it waits, the anti-freeze lets the
// user reach every window, so a second exchange started meanwhile finds the
// slot taken and is refused, and closing a window or ending the program
// aborts the running exchange (its sockets closed at once: its wait raises
// and it unwinds) and does its closing once the exchange has ended.
//
//     TNetExchange exchange(this, [this] { closeSockets(); });
//     if (!exchange.Active()) { tell the user TNetExchange::kBusy; return; }
//     ... run it ...
//     if (exchange.Aborted()) { no message boxes; restore the controls; }
//
// For the interface thread only (exchanges run there and so do the pumped
// handlers that abort them).
#include <functional>

class TNetExchange {
public:
    // Takes the slot when it is free. owner: what the exchange runs for (the
    // window waiting on it); abort closes this exchange's sockets.
    TNetExchange(const void *owner, std::function<void()> abort);
    // Gives the slot back and runs what waited for its end.
    ~TNetExchange();
    TNetExchange(const TNetExchange &) = delete;
    TNetExchange &operator=(const TNetExchange &) = delete;

    // This exchange holds the slot (false: another one runs; refuse).
    bool Active() const { return active_; }
    // Abort was called while this exchange ran.
    bool Aborted() const { return aborted_; }

    // An exchange is running (for that owner).
    static bool Running();
    static bool RunningFor(const void *owner);
    // Aborts the running exchange, if any: closes its sockets and marks it.
    static void Abort();
    // Runs fn at once when no exchange runs, otherwise right after the
    // running one has given the slot back (fn must not raise: it runs in a
    // destructor; the windows' functions only post to the event loop).
    static void WhenDone(std::function<void()> fn);

    // The refusal of a second exchange.
    static const char *const kBusy;

private:
    const void *owner_;
    std::function<void()> abort_;
    bool active_ = false;
    bool aborted_ = false;
};
