#include "discdb/NetPump.h"

#include "netclient/NetAntiFreeze.h"
#include "netclient/NetExchange.h"
#include "netclient/NetThread.h"
#include "platform/Dialogs.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>

namespace netpump {

namespace {

// A timer at the deadline of the wait that pumps. A handler the pump runs may
// open a modal box whose own event loop keeps the pump from returning for
// as long as the box is open; timers fire inside that loop too, so the
// wait's connection is ended at its deadline all the same, and the wait
// says so once the box has closed.
void armDeadline()
{
    static QPointer<QTimer> timer;
    static TNetClock::time_point armedFor;
    TNetClock::time_point deadline;
    if (!TNetAntiFreezeBase::PumpingDeadline(deadline))
        return;
    if (!timer) {
        timer = new QTimer(QCoreApplication::instance());
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, [] {
            TNetAntiFreezeBase::ExpireDueWaits();
            // Another wait's deadline, or this one's when the timer came a
            // hair early.
            armDeadline();
        });
    }
    if (timer->isActive() && armedFor == deadline)
        return;
    armedFor = deadline;
    timer->start(NetMillisecondsLeft(deadline));
}

} // namespace

void Install()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    TNetAntiFreeze::SetEventPump([](TNetPumpMode mode) {
        armDeadline();
        if (mode == TNetPumpMode::AllPending) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        } else if (QAbstractEventDispatcher *d = QAbstractEventDispatcher::instance()) {
            d->processEvents(QEventLoop::AllEvents);
        }
    });
    // Runs on the library thread: posts the hand-over to the interface
    // thread's event loop (posting is thread-safe).
    SetSynchronizeWakeUp([] {
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [] { CheckSynchronize(); }, Qt::QueuedConnection);
    });
}

bool Busy(QWidget *owner)
{
    if (!TNetExchange::Running())
        return false;
    Dialogs::MessageBox(owner, TNetExchange::kBusy, "Notice", Dialogs::Button::OK, Dialogs::Icon::Information);
    return true;
}

bool Started(QWidget *owner, const TNetExchange &exchange) { return exchange.Active() || !Busy(owner); }

bool AbortThen(QObject *owner, std::function<void()> then)
{
    if (!TNetExchange::RunningFor(owner))
        return false;
    TNetExchange::Abort();
    TNetExchange::WhenDone([p = QPointer<QObject>(owner), then = std::move(then)] {
        if (p)
            QTimer::singleShot(0, p, then);
    });
    return true;
}

} // namespace netpump
