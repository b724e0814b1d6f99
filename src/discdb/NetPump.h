#pragma once
// The program's side of the network library's waits: the event pump that
// the anti-freeze runs between wait slices (Qt's event processing, so every
// window paints and takes clicks while the interface thread waits on a
// socket), and the wake-up that lets a library thread's Synchronize run
// while the interface thread idles in its event loop.
#include <functional>

class QObject;
class QWidget;
class TNetExchange;

namespace netpump {

// Installs both; once is enough, more calls change nothing. Needs the
// application object.
void Install();

// False, after telling the user (owner: the box's owner), when the
// exchange did not get the slot because another one runs.
bool Started(QWidget *owner, const TNetExchange &exchange);

// True, after telling the user, while a network exchange runs (for a
// command that would start one after questions of its own).
bool Busy(QWidget *owner);

// Closing a window while its own exchange waits: aborts the exchange and
// returns true; then runs from the event loop, once the exchange has ended
// and while the window still exists. False (nothing done) when no exchange
// of that window runs.
bool AbortThen(QObject *owner, std::function<void()> then);

// Closes a client's socket at once, raising nothing.
template <class Client>
void CloseNow(Client &client)
{
    try {
        client.DisconnectSocket();
    } catch (...) {
        // The socket is closed all the same.
    }
}

// The anti-freeze's slice length the program sets (milliseconds).
inline constexpr int kIdleTimeOut = 1;

} // namespace netpump
