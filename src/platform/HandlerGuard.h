#pragma once
// The application's standard handling of an exception that escapes an event
// handler: the exception's message is shown in a message box captioned with
// the application title (Dialogs::ApplicationTitle(), "MIXDECK"), with one
// OK button and the error (stop) icon, through the current dialogs service;
// the rest of the handler does not run and the program goes on.
//
// Message shown: an Exception's Message; a std::exception's what(); anything
// else UnknownExceptionText.
//
// TApplication applies this to every event Qt delivers (input, timers, queued
// calls, and the slots they run), so no exception ever leaves the event loop.
// RunGuarded applies it to one handler where no TApplication is in charge
// (tests with a plain QApplication, code run outside the event loop).
#include <QApplication>

#include <exception>
#include <functional>
#include <string>

namespace HandlerGuard {

extern const char *const UnknownExceptionText;   // "An unexpected error occurred."

// The text the standard handling shows for the exception.
std::string ExceptionMessage(std::exception_ptr e);
// Shows the exception as the standard handling does (returns when the box
// was closed). A null pointer shows nothing.
void ShowException(std::exception_ptr e);
// Runs the handler; an exception escaping it is shown and swallowed.
// True when the handler ran to its end.
bool RunGuarded(const std::function<void()> &handler);
// The handler wrapped in RunGuarded, for connecting to a signal:
//   connect(button, &QPushButton::clicked, this, HandlerGuard::Guarded([this] { ... }));
template <class F>
auto Guarded(F handler)
{
    return [handler](auto &&...) { RunGuarded(handler); };
}

} // namespace HandlerGuard

// The application object: a QApplication whose event delivery runs under
// the handler guard.
class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;

    // The delivery TApplication::notify makes: app's own QApplication::notify
    // under the guard. False (event not handled) after an exception.
    static bool GuardedNotify(QApplication *app, QObject *receiver, QEvent *event);

    // Ends the message loop (and every loop nested in it) once the current
    // message is handled, without asking the windows whether they may
    // close: a window that says no to a close event would otherwise keep
    // the program running. Nothing when no message loop runs.
    static void Terminate();
};
