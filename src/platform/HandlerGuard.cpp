#include "platform/HandlerGuard.h"

#include "platform/Dialogs.h"
#include "platform/SysUtils.h"

#include <QThread>

namespace HandlerGuard {

const char *const UnknownExceptionText = "An unexpected error occurred.";

std::string ExceptionMessage(std::exception_ptr e)
{
    if (!e)
        return std::string();
    try {
        std::rethrow_exception(e);
    } catch (const Exception &x) {
        return x.Message;
    } catch (const std::exception &x) {
        return x.what();
    } catch (...) {
        return UnknownExceptionText;
    }
}

void ShowException(std::exception_ptr e)
{
    if (!e)
        return;
    try {
        std::rethrow_exception(e);
    } catch (const EAbort &) {
        return;  // the silent abort
    } catch (...) {
    }
    std::string text = ExceptionMessage(e);
    try {
        Dialogs::MessageBox(nullptr, text, Dialogs::ApplicationTitle(), Dialogs::Button::OK,
                            Dialogs::Icon::Error, Dialogs::Button::OK);
    } catch (...) {
        // Showing the message must never take the program down with it.
    }
}

bool RunGuarded(const std::function<void()> &handler)
{
    try {
        if (handler)
            handler();
        return true;
    } catch (...) {
        ShowException(std::current_exception());
        return false;
    }
}

} // namespace HandlerGuard

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {}

void TApplication::Terminate()
{
    // Outside a loop, exit() would end the next loop at its start instead.
    if (QCoreApplication::instance() && QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    return GuardedNotify(this, receiver, event);
}

bool TApplication::GuardedNotify(QApplication *app, QObject *receiver, QEvent *event)
{
    try {
        return app->QApplication::notify(receiver, event);
    } catch (...) {
        HandlerGuard::ShowException(std::current_exception());
        return false;
    }
}
