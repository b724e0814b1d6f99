#pragma once
// The support library's string table and its two cursors.
#include <string>

// Cursor numbers in the screen's cursor table.
constexpr int crHand = 14000;      // pointing hand ("SUP_HANDCUR")
constexpr int crDragHand = 14001;  // dragging hand ("SUP_DRAGCUR")

// String identifiers.
constexpr int SDetails = 61254;
constexpr int SLoadLibError = 61255;
constexpr int SIconNotExecutable = 61256;
constexpr int SNotImplemented = 61257;
constexpr int SPrevMonth = 61258;
constexpr int SPrevYear = 61259;
constexpr int SNextMonth = 61260;
constexpr int SNextYear = 61261;
constexpr int SDateDlgTitle = 61262;
constexpr int SDefaultFilter = 61263;
constexpr int SBrowse = 61264;

// The text of a string of the table; empty for an unknown identifier.
std::string LoadStr(int ident);

// Start-up of the unit: registers the cursor pictures "SUP_HANDCUR" and
// "SUP_DRAGCUR" with the program's cursor resources and stores them in the
// screen's cursor table under crHand and crDragHand. Only the first call
// does anything; call it once the application object exists.
void InitSupConst();
