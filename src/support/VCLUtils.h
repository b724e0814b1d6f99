#pragma once
// Drawing and window helpers: gradient fills, shortened texts, transparent
// bitmap copies, the parent image beneath a control, window centring and
// activation, the wait cursor, command-line splitting and cursor loading.
//
// Drawing goes through QPainter; bitmaps are QImages. Routines that drew
// straight on the screen draw on a screen overlay (TScreenCanvas), since a
// program cannot paint over other programs' windows on today's desktops.
#include "platform/Graphics.h"
#include "platform/SysUtils.h"

#include <QFontMetrics>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

class QPainter;
class QIcon;

MIXDECK_EXCEPTION(EResNotFound, Exception);
MIXDECK_EXCEPTION(EOutOfResources, Exception);

enum TFillDirection { fdTopToBottom, fdBottomToTop, fdLeftToRight, fdRightToLeft };
enum TVertAlignment { vaTopJustify, vaCenter, vaBottomJustify };

// a * b / c on 64 bits, rounded to nearest with halves away from zero; -1
// when c is 0.
int MulDiv(int a, int b, int c);

// Fills the rectangle with `colors` bands running from startColor to
// endColor in the given direction (see the implementation for the exact
// band layout). Fewer than 2 colours fill with startColor.
void GradientFillRect(QPainter &canvas, const TRect &rect, TColor startColor, TColor endColor,
                      TFillDirection direction, std::uint8_t colors);

// Width of a text in pixels, as the canvas it will be drawn on measures it.
using TTextWidthFunc = std::function<int(const std::string &)>;
// The text shortened with "..." until it fits maxWidth; "..." alone when
// nothing fits (returned even when it does not fit either).
std::string MinimizeText(const std::string &text, const TTextWidthFunc &width, int maxWidth);
std::string MinimizeText(const std::string &text, const QFontMetrics &metrics, int maxWidth);

inline int WidthOf(const TRect &r) { return r.Right - r.Left; }
inline int HeightOf(const TRect &r) { return r.Bottom - r.Top; }
// Points on the right and bottom edges count as inside.
bool PointInRect(const QPoint &p, const TRect &r);

// Whether a window of this program is the active window.
bool IsForegroundTask();

// Paints what lies beneath the control (its parent's background and the
// siblings below it that overlap it) onto dest, in the control's
// coordinates. Used by transparent controls for their background.
void CopyParentImage(QWidget *control, QPainter &dest);

// RGB value of the colour with $02000000 added (palette-relative RGB).
TColor PaletteColor(TColor color);

// Copies the source rectangle of src stretched onto the destination
// rectangle, leaving the pixels of the transparent colour (an RGB value, or
// a palette-relative one) out. Stretching drops pixels, it does not blend.
void StretchBltTransparent(QPainter &dest, int x, int y, int w, int h, const QImage &src, int srcX,
                           int srcY, int srcW, int srcH, TColor transparentColor);
// Draws a bitmap transparently: a destination width or height below 1 takes
// the bitmap's, a source width or height below 1 takes the whole bitmap;
// clNone draws it opaque, clDefault takes the bitmap's bottom-left pixel as
// the transparent colour, a monochrome bitmap uses white.
void StretchBitmapTransparent(QPainter &canvas, const QImage &bitmap, TColor transparentColor, int x,
                              int y, int w, int h, int srcX, int srcY, int srcW, int srcH);
void StretchBitmapRectTransparent(QPainter &canvas, int x, int y, int w, int h, const TRect &src,
                                  const QImage &bitmap, TColor transparentColor);
void DrawBitmapRectTransparent(QPainter &canvas, int x, int y, const TRect &src,
                               const QImage &bitmap, TColor transparentColor);
void DrawBitmapTransparent(QPainter &canvas, int x, int y, const QImage &bitmap,
                           TColor transparentColor);

// Brings the window to the front when it is enabled; with restore, a visible
// window that is not maximised is restored and given the focus.
void SwitchToWindow(QWidget *window, bool restore);
// Hourglass cursor while any StartWait is not yet matched by a StopWait.
void StartWait();
void StopWait();
int WaitCount();
// The cursor StartWait shows (crHourGlass until changed).
int WaitCursor();
void SetWaitCursor(int cursor);

// Resource texts are plain strings here: the text itself.
std::string ResStr(const std::string &ident);
// Centres a top-level window on the screen and keeps it on the screen.
void CenterWindow(QWidget *window);

// Splits a command line into the program name and the parameters (rejoined
// with single blanks, parameters holding a blank put back in quotes).
void SplitCommandLine(const std::string &commandLine, std::string &progName, std::string &params);

// Loads the cursor resource and stores it under the first free index from
// 100 on; returns that index. EResNotFound when the program carries no such
// cursor, EOutOfResources ("Out of system resources") when the table is full.
int DefineCursor(const std::string &resource);

// Raise EResNotFound with "Resource %s not found".
[[noreturn]] void ResourceNotFound(const std::string &name);
[[noreturn]] void ResourceNotFound(int ident);

// ---- bitmaps -----------------------------------------------------------------
// 8 by 8 checkerboard: color1, with color2 where x and y have equal parity.
QImage CreateTwoColorsBrushPattern(TColor color1, TColor color2);
// A copy of the bitmap with every pixel of colour `color` set to newColor.
QImage ChangeBitmapColor(const QImage &bitmap, TColor color, TColor newColor);
// A bitmap of the icon (size by size) on backColor.
QImage CreateBitmapFromIcon(const QIcon &icon, int size, TColor backColor);

// ---- text ----------------------------------------------------------------------
// Average character size on a font: the extent of "A".."Z" "a".."z" with
// the width divided by 52.
QSize GetAveCharSize(const QFontMetrics &metrics);
// Dialog units (base units of the default font: 4 per average character
// width, 8 per character height) to pixels and back.
int DialogUnitsToPixelsX(int units);
int DialogUnitsToPixelsY(int units);
int PixelsToDialogUnitsX(int pixels);
int PixelsToDialogUnitsY(int pixels);
// The environment variable's value; empty when absent.
std::string GetEnvVar(const std::string &name);
// The text in lower case with its first character in upper case.
std::string AnsiUpperFirstChar(const std::string &text);
// Without its first character when that is "T" or "t" and the text is
// longer than one character.
std::string DropT(const std::string &text);
// Processes pending events until the time has passed.
void Delay(int milliseconds);

// ---- the screen overlay --------------------------------------------------------
// A transparent, input-less window over the whole screen on which the
// screen-drawing routines draw. Inversions toggle: inverting a rectangle
// twice leaves the screen as it was.
class TScreenCanvas : public QWidget {
public:
    TScreenCanvas();
    // The process-wide overlay (created on first use).
    static TScreenCanvas *Instance();
    // Inverts the rectangle of screen pixels.
    void InvertRect(const TRect &r);
    // Inverts the dotted frame of the rectangle (a focus rectangle).
    void InvertFocusFrame(const TRect &r);
    // The overlay's picture: transparent where nothing is drawn.
    const QImage &Image() const { return image_; }
protected:
    void paintEvent(QPaintEvent *) override;
private:
    void ensureSize();
    QImage image_;
};
// Inverts the screen rectangle spanned by two points.
void PaintInverseRect(const QPoint &p1, const QPoint &p2);
// Draws a focus frame `width` times, shrinking the rectangle by 1 each time.
void DrawInvertFrame(const TRect &r, int width);
