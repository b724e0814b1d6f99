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

void Install()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    TNetAntiFreeze::SetEventPump([](TNetPumpMode mode) {
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
