#pragma once
// Drawing and system routines shared by the extended controls (labels, link
// labels, text fader, panels): sunken 3-D control frames, a message-pumping
// delay, opening an address through the desktop, font look-ups, fresh
// component names and the five hand cursors 15000..15004.
#include "controls/ProCtrls.h"
#include "platform/Graphics.h"

#include <string>

class QObject;
class QPainter;

// ---- the extended controls' cursors ------------------------------------------
constexpr int crProHandPoint = 15000;        // "PRO_HANDPOINT"
constexpr int crProSmallHandPoint = 15001;   // "PRO_SMALLHANDPOINT"
constexpr int crProGrabHand = 15002;         // "PRO_GRABHAND"
constexpr int crProGrabHandArrow = 15003;    // "PRO_GRABHANDARROW"
constexpr int crProDragHand = 15004;         // "PRO_DRAGHAND"

// Registers the five cursor pictures under their resource names and in the
// screen's cursor table (15000..15004). The program calls it at start-up,
// before the first window is made; later calls do nothing.
void RegisterProCursors();

// Two 3-D frames limited to `sides`, one inside the other, drawn on a copy
// of rect. flag true: sunken (shadow/highlight outside, text colour/3-D light
// inside); false: raised.
void FrameCtl3DSides(QPainter &canvas, const TRect &rect, TSides sides, bool flag);
// A sunken control border: outer frame shadow/highlight, inner frame
// text colour/button face.
void FrameCtl3D(QPainter &canvas, const TRect &rect);

// Waits `ms` milliseconds while keeping the interface alive.
void Delay(unsigned ms);

// Asks the desktop to open the address (web page, "mailto:" link, file)
// through the dialogs service; nothing for an empty address. Failures are
// not reported.
void OpenURL(const std::string &url);

// Whether a font family of that name is installed (case-insensitive).
bool FontInstalled(const std::string &name);
bool FontTahomaInstalled();
// "Tahoma" when installed, otherwise "MS Sans Serif".
std::string DefaultFontName();

// The first of baseName + "1", baseName + "2", ... that names no object
// owned (directly or further down) by form; names compare case-insensitively.
std::string GetNewComponentName(const QObject *form, const std::string &baseName);
