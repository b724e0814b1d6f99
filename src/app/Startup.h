#pragma once
// The program's start-up sequence.
#include <memory>
#include <vector>

class QWidget;
class TApplication;

namespace Startup {

// The long-lived windows, in the order they were created; they live until the
// message loop has ended and go away before the application object does.
using Windows = std::vector<std::unique_ptr<QWidget>>;

// Creates the program's windows (the main window first, so it is the
// application's main window) and shows the main window. Throws on failure.
// For tests: when the environment variable MIXDECK_STARTUP_FAIL is set,
// start-up fails at once with an Exception carrying its text. For the
// start-up benchmark: with MIXDECK_EXIT_AFTER_FIRST_PAINT set, the program
// writes "first paint" to standard output once the main window has painted
// and then ends.
void CreateWindows(Windows &windows);

// The whole start-up under the start-up guard: fixes the program folder
// (absolute, see AppPaths), sets the application title, makes the folder
// when it is missing and takes it (a copy already running there is brought
// forward instead, see SingleCopy), listens for later starts, creates the
// windows and runs the message loop. With MIXDECK_SCRIPT=stdin a scripted
// user drives the program (see ScriptedUser).
// An exception escaping any of that is shown through the dialogs service as the standard handling
// shows it, and the program ends with exit status 1. Returns the exit status.
int Run(TApplication &app);

} // namespace Startup
