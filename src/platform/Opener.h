#pragma once
// The desktop's opener (xdg-open), started by the program itself so that
// its answer is heard: it gets the address as its one argument (a list,
// never a command line split again), its standard streams go nowhere, and it
// runs in a session of its own, so that the program which it may become (a
// browser) neither ends with this one nor receives its terminal's signals.
//
// The program waits a short while for it, the windows painting meanwhile
// (the user's clicks and keys wait until after): an opener that ends in that
// time with a non-zero exit status did not open anything, and why is said; an
// opener that ends with 0 or is still running (it became the browser, or
// waits for one) counts as having opened. One still running is reaped when
// it ends, whenever that is; nothing ends it.
//
// For the interface thread only.
#include <string>
#include <vector>

namespace opener {

// The program the desktop opens addresses and files with.
inline constexpr const char *kDesktopOpener = "xdg-open";
// How long the program waits for the opener's answer.
inline constexpr int kAnswerMs = 1000;

struct Result {
    bool Opened = false;
    // When not opened: why, to end the sentence "Could not open <name>: ".
    std::string Why;
};

// Starts program (looked up in PATH when it has no '/') with args after its
// name and waits up to the answer time (kAnswerMs) for its answer.
Result Run(const std::string &program, const std::vector<std::string> &args);

// For the tests only (no setting or variable reaches it): a longer answer
// time, so that an opener slowed down by a loaded machine is still heard
// (0: kAnswerMs again).
void AnswerTimeForTests(int ms);

// What an opener's ending says: an exit status of 0 (exited true) opened;
// any other, or a signal, tells why not. program names it.
Result Judge(const std::string &program, bool exited, int statusOrSignal);

// Openers started and not yet reaped (still running after their answer
// time, or ended and about to be reaped).
int Watching();

} // namespace opener
