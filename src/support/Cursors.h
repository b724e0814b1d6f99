#pragma once
// The screen's cursor table and the cursor pictures the program carries.
//
// Cursors are numbered as in the original class library: 0 is the default
// cursor, negative numbers are the built-in shapes, positive numbers are
// cursors the program registers (14000 and 14001 for the support library's
// hands, for instance). The screen cursor (Screen::Cursor) is the cursor
// shown over every window of the program, crDefault letting each widget show
// its own.
#include <QCursor>
#include <functional>
#include <string>

constexpr int crDefault = 0;
constexpr int crNone = -1;
constexpr int crArrow = -2;
constexpr int crCross = -3;
constexpr int crIBeam = -4;
constexpr int crSizeNESW = -6;
constexpr int crSizeNS = -7;
constexpr int crSizeNWSE = -8;
constexpr int crSizeWE = -9;
constexpr int crUpArrow = -10;
constexpr int crHourGlass = -11;
constexpr int crDrag = -12;
constexpr int crNoDrop = -13;
constexpr int crHSplit = -14;
constexpr int crVSplit = -15;
constexpr int crMultiDrag = -16;
constexpr int crSQLWait = -17;
constexpr int crNo = -18;
constexpr int crAppStart = -19;
constexpr int crHelp = -20;
constexpr int crHandPoint = -21;
constexpr int crSizeAll = -22;

namespace Screen {

// The cursor stored under index; the default cursor for an index that holds
// none.
QCursor Cursors(int index);
// Stores a cursor under index (replacing what was there).
void SetCursors(int index, const QCursor &cursor);
// Whether index holds a cursor of its own (the built-in shapes always do).
bool HasCursor(int index);
// Removes a registered cursor (index > 0).
void RemoveCursor(int index);
// Removes every registered cursor; for tests.
void ResetCursors();

// The screen cursor: crDefault, or a cursor of the table shown over the
// whole program (an application override cursor).
int Cursor();
void SetCursor(int index);

} // namespace Screen

// ---- cursor resources ------------------------------------------------------
// The program's cursor pictures by resource name ("SUP_HANDCUR", ...), each
// made on demand (pictures need the application object).
using TCursorFactory = std::function<QCursor()>;
void RegisterCursorResource(const std::string &name, TCursorFactory factory);
// Loads a cursor resource; false when the program carries none of that name.
bool LoadCursorResource(const std::string &name, QCursor &cursor);

// The support library's own pictures: a pointing hand (hot spot at the tip of
// the index finger) and a closed, dragging hand (hot spot in the palm).
QCursor MakeHandCursor();
QCursor MakeDragHandCursor();
// Hot spots of the two pictures above (32 by 32 pixels).
constexpr int HandCursorHotX = 7, HandCursorHotY = 1;
constexpr int DragCursorHotX = 10, DragCursorHotY = 10;
