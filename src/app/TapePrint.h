#pragma once
// The main window's print menu bound to the tape reports.
#include "reports/Program.h"
#include "reports/Report.h"

#include <memory>

class TMainForm;

// The two tape report forms, made at start-up and never shown.
struct TTapeReports {
    TTapeCoverRepForm Cover;
    TTapeProgramRepForm Program;
};

// What the reports read from the main window: its side lists, remaining
// times, tape-length selector and CD selectors.
TTapeReportSource TapeReportSource(TMainForm &main);

// "Tape's Cover" and "Tape's Program" fill their report from the main
// window and preview it. The main window keeps the reports alive.
void BindTapePrinting(TMainForm &main, std::shared_ptr<TTapeReports> reports);
