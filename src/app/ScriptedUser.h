#pragma once
// A user at the program, played from standard input: for the program tests,
// which run the built program on the offscreen platform and must press its
// buttons, answer its message boxes and read what its windows show.
//
// With MIXDECK_SCRIPT=stdin (and MIXDECK_DIALOGS=stderr) the copy that runs
// on its folder reads lines from standard input:
//
//   click <window>.<control>     presses a button or triggers a menu item
//   set <window>.<control> text  types the text into an edit field
//   show <window>.<control>      tells what a control shows
//
// where <window> is the object name of a top-level window ("TMainForm") and
// <control> the object name of one of its controls. Each line is answered on
// standard error with "MIXDECK script <line> -> <result>" ("done", "not
// found", "disabled", or what the control shows; the items of a list box
// are joined by " | "). A message box is written as with MIXDECK_DIALOGS=stderr,
// but "-> " is followed by the answer only once a line has come: the name
// of one of its buttons, or an empty line for its default button; the end
// of the input answers every box with its default button. Lines are worked
// in order, one at a time, also while a modal window is open; a line that
// arrives while a box waits answers it. Lines before the main window is up
// wait for it; then "MIXDECK script ready <process id>" is written.
#include <memory>

namespace Dialogs {
class Service;
}

class ScriptedUser {
public:
    // Nothing when MIXDECK_SCRIPT is not "stdin".
    static std::unique_ptr<ScriptedUser> FromEnvironment();
    ~ScriptedUser();
    ScriptedUser(const ScriptedUser &) = delete;
    ScriptedUser &operator=(const ScriptedUser &) = delete;

    // The main window is up: the commands begin.
    void Ready();

    struct State;

private:
    ScriptedUser();
    std::unique_ptr<State> state_;
    std::unique_ptr<Dialogs::Service> boxes_;
};
