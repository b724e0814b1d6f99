#pragma once
// The internet connection: before it talks to the online database or a mail
// server the program makes sure a connection exists, dialling the default
// dial-up connection when there is none.
//
// On this platform there is no dial-up service, so nothing is ever dialled
// or hung up (those calls answer -1 as when the service is missing). The
// connected state is the system's network reachability where the toolkit
// can tell it (online: connected through the local network; disconnected:
// not connected) and "connected" where it cannot (no backend, or unknown).
// The calls are a table that tests may replace.
#include <QNetworkInformation>

#include <atomic>
#include <functional>

// The system's network reachability, heard on a thread of its own: loading
// the toolkit's backend (a search of plug-ins, then on a desktop the
// system bus, with no bound on its first calls) and its later change
// notices never run on the interface thread. Whoever asks gets the last
// answer at once; until the first answer (or without a backend) it is
// Unknown, which counts as connected.
class TNetworkStatus {
public:
    using Reachability = QNetworkInformation::Reachability;
    // Runs on the status thread: loads what tells the state and gives the
    // first answer; later changes go to changed (from any thread).
    using Loader = std::function<Reachability(const std::function<void(Reachability)> &changed)>;

    explicit TNetworkStatus(Loader loader);
    // Stops the thread (see Stop).
    ~TNetworkStatus();
    TNetworkStatus(const TNetworkStatus &) = delete;
    TNetworkStatus &operator=(const TNetworkStatus &) = delete;

    // Starts the thread once (later calls do nothing); returns at once.
    void Start();
    // Ends the thread's event loop and waits for it at most waitMs; a
    // loader still stuck in a system call is left behind (its thread is
    // not waited for). Later answers are ignored.
    void Stop(int waitMs = 2000);
    Reachability Current() const { return Reachability(current_.load()); }
    bool Answered() const { return answered_.load(); }
    bool Started() const { return started_.load(); }

    // The toolkit's backend with the reachability feature.
    static Loader SystemLoader();
    // The program's one status, started (StartNetworkStatus) by the windows
    // that look things up as they are made, before any lookup; stopped when
    // the application object goes.
    static TNetworkStatus &System();

private:
    class Thread;
    void set(Reachability r);
    Loader loader_;
    std::atomic<int> current_ {int(Reachability::Unknown)};
    std::atomic<bool> answered_ {false};
    std::atomic<bool> started_ {false};
    std::atomic<bool> stopped_ {false};
    Thread *thread_ = nullptr;  // owned unless left behind by Stop
};

// Starts the program's network status (TNetworkStatus::System().Start())
// and has the application object's end stop it; only on the application's
// thread (elsewhere, and without an application object, it does nothing).
void StartNetworkStatus();

enum class TWebConnectType { wctModem = 0, wctLan = 1, wctNone = 2 };

// The dial-up service's three calls. Each answers -1 when the service is
// missing.
struct TWebConnectCalls {
    // InternetGetConnectedState(flags, reserved 0): non-zero when connected;
    // flags bit 1 modem, bit 2 local network.
    std::function<int(unsigned &flags)> GetConnectedState;
    // InternetAutodial(flags, no parent window): 1 show the dial-up dialog,
    // 2 dial unattended.
    std::function<int(unsigned flags)> Autodial;
    // InternetAutodialHangup(reserved 0).
    std::function<int()> AutodialHangup;

    // The calls of a system without the service.
    static TWebConnectCalls Missing();
    // No dialling; the connected state from the reachability that the
    // function reports.
    static TWebConnectCalls FromReachability(std::function<QNetworkInformation::Reachability()> reachability);
    // FromReachability with the system's own: what TNetworkStatus::System
    // has heard from the toolkit's network information backend (started
    // here if no window started it). Never waits: Unknown until the backend
    // has answered, without one and without an application object.
    static TWebConnectCalls System();
};

// InternetGetConnectedState's answer for a reachability: -1 (as a missing
// service: counts as connected) for Unknown, 0 for Disconnected, otherwise
// 1 with the local-network flag.
int ConnectedStateFor(QNetworkInformation::Reachability reachability, unsigned &flags);

inline constexpr unsigned kAutodialForceOnline = 1;
inline constexpr unsigned kAutodialForceUnattended = 2;
inline constexpr unsigned kConnectionModem = 1;
inline constexpr unsigned kConnectionLan = 2;

class TWebConnect {
public:
    explicit TWebConnect(TWebConnectCalls calls = TWebConnectCalls::System()) : calls_(std::move(calls)) {}

    // The last requested state: true be online, false hang up.
    bool Connect = false;
    // true: dial with the system's dial-up dialog; false: dial unattended.
    bool Prompt = true;

    bool GetConnectedState() const;
    TWebConnectType GetWebConnectType() const;
    // Stores the value; true while not connected dials, false while
    // connected hangs up. The results are not looked at.
    void SetConnect(bool value);

    // The one operation the rest of the program calls before its first
    // network step: dial when there is no connection.
    void EnsureConnected();

private:
    TWebConnectCalls calls_;
};

// The program's one connection component (the main window's "WebConnect":
// Connect false, Prompt true).
TWebConnect &MainWebConnect();
