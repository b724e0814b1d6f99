#include "discdb/WebConnect.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <mutex>
#include <vector>

TWebConnectCalls TWebConnectCalls::Missing()
{
    TWebConnectCalls c;
    c.GetConnectedState = [](unsigned &) { return -1; };
    c.Autodial = [](unsigned) { return -1; };
    c.AutodialHangup = [] { return -1; };
    return c;
}

int ConnectedStateFor(QNetworkInformation::Reachability reachability, unsigned &flags)
{
    using R = QNetworkInformation::Reachability;
    flags = 0;
    switch (reachability) {
    case R::Unknown: return -1;
    case R::Disconnected: return 0;
    case R::Local:
    case R::Site:
    case R::Online: break;
    }
    // A local or site network may still hold the server asked for.
    flags = kConnectionLan;
    return 1;
}

TWebConnectCalls TWebConnectCalls::FromReachability(std::function<QNetworkInformation::Reachability()> reachability)
{
    TWebConnectCalls c = Missing();
    c.GetConnectedState = [reachability = std::move(reachability)](unsigned &flags) {
        return ConnectedStateFor(reachability(), flags);
    };
    return c;
}

TWebConnectCalls TWebConnectCalls::System()
{
    return FromReachability([] {
        StartNetworkStatus();
        return TNetworkStatus::System().Current();
    });
}

// ---- the network status --------------------------------------------------------------------

class TNetworkStatus::Thread : public QThread {
public:
    // The loader is copied here, on the owner's thread: a thread that Stop
    // leaves behind never reads the owner's copy, which may be gone.
    explicit Thread(TNetworkStatus &owner) : owner_(&owner), loader_(owner.loader_)
    {
        setObjectName("network status");
    }
    // Called by Stop before it quits: once it returns, nothing reaches the
    // owner any more, however long this thread was held up in between.
    void Detach()
    {
        const std::lock_guard<std::mutex> hold(lock_);
        owner_ = nullptr;
    }

protected:
    void run() override
    {
        if (isInterruptionRequested())
            return;
        const Reachability first = loader_([this](Reachability r) { tell(r); });
        tell(first);
        // The backend's notices arrive through this thread's event loop.
        if (!isInterruptionRequested())
            exec();
    }

private:
    // The owner is told under the lock that Detach takes, so it is never
    // told after Detach has returned (and the owner may have gone).
    void tell(Reachability r)
    {
        const std::lock_guard<std::mutex> hold(lock_);
        if (owner_)
            owner_->set(r);
    }

    std::mutex lock_;
    TNetworkStatus *owner_;
    const Loader loader_;
};

TNetworkStatus::TNetworkStatus(Loader loader) : loader_(std::move(loader)) {}

TNetworkStatus::~TNetworkStatus() { Stop(); }

void TNetworkStatus::set(Reachability r)
{
    if (stopped_)
        return;
    current_ = int(r);
    answered_ = true;
}

void TNetworkStatus::Start()
{
    if (stopped_ || started_.exchange(true))
        return;
    thread_ = new Thread(*this);
    thread_->start(QThread::LowPriority);
}

void TNetworkStatus::Stop(int waitMs)
{
    if (stopped_.exchange(true))
        return;
    Thread *t = thread_;
    thread_ = nullptr;
    if (!t)
        return;
    t->Detach();
    t->requestInterruption();
    t->quit();
    if (t->wait(static_cast<unsigned long>(std::max(0, waitMs)))) {
        delete t;
        return;
    }
    // The loader is stuck in a system call: the thread is left to end with
    // the process (destroying a running thread would abort), kept where it
    // can still be found.
    static std::mutex lock;
    static auto *leftBehind = new std::vector<Thread *>;
    const std::lock_guard<std::mutex> hold(lock);
    leftBehind->push_back(t);
}

TNetworkStatus::Loader TNetworkStatus::SystemLoader()
{
    return [](const std::function<void(Reachability)> &changed) {
        // A machine without a backend answers Unknown, once.
        if (!QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
            return Reachability::Unknown;
        QNetworkInformation *info = QNetworkInformation::instance();
        if (!info)
            return Reachability::Unknown;
        QObject::connect(info, &QNetworkInformation::reachabilityChanged, info, changed, Qt::DirectConnection);
        return info->reachability();
    };
}

namespace {

void stopSystemStatus() { TNetworkStatus::System().Stop(); }

} // namespace

TNetworkStatus &TNetworkStatus::System()
{
    // Never destroyed: the application object's end stops it.
    static TNetworkStatus *status = new TNetworkStatus(SystemLoader());
    return *status;
}

void StartNetworkStatus()
{
    static std::atomic<bool> hooked {false};
    const QCoreApplication *app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread())
        return;
    if (!hooked.exchange(true))
        qAddPostRoutine(stopSystemStatus);
    TNetworkStatus::System().Start();
}

bool TWebConnect::GetConnectedState() const
{
    unsigned flags = 0;
    return calls_.GetConnectedState(flags) != 0;
}

TWebConnectType TWebConnect::GetWebConnectType() const
{
    unsigned flags = 0;
    if (calls_.GetConnectedState(flags) == 0)
        return TWebConnectType::wctNone;
    if (flags & kConnectionLan)
        return TWebConnectType::wctLan;
    if (flags & kConnectionModem)
        return TWebConnectType::wctModem;
    return TWebConnectType::wctNone;
}

void TWebConnect::SetConnect(bool value)
{
    Connect = value;
    if (value) {
        if (!GetConnectedState())
            calls_.Autodial(Prompt ? kAutodialForceOnline : kAutodialForceUnattended);
    } else if (GetConnectedState()) {
        calls_.AutodialHangup();
    }
}

void TWebConnect::EnsureConnected()
{
    if (!GetConnectedState())
        SetConnect(true);
}

TWebConnect &MainWebConnect()
{
    // The layout's Connect=false is not applied at start-up: it would hang
    // up a connection the system reports; the program only ever dials.
    static TWebConnect connection;
    return connection;
}
