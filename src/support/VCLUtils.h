#pragma once
// Drawing and window helpers: gradient fills, shortened texts, transparent
// bitmap copies, the parent image beneath a control, window centring and
// activation, the wait cursor, command-line splitting and cursor loading.
//
// Drawing goes through QPainter; bitmaps are QImages. Routines that drew
// straight on the screen draw on a screen overlay (TScreenCanvas), since a
// program cannot paint over other programs' windows on today's desktops.
#include "platform/Graphics.h"
#include "platform/ModalResults.h"
#include "platform/SysUtils.h"

#include <QCursor>
#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPoint>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <cstddef>
#include <string>
#include <vector>

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

// ---- the rest of the unit ------------------------------------------------------
//
// Resources are Qt resources: a bitmap or icon named N is the resource ":/N"
// (with ".bmp", ".png" or ".ico" tried after the bare name) below the
// module's prefix (the empty module is the program's own).

class QVariant;
class QMainWindow;

// Raised for failures of the platform: the message "Win32 Error.  Code:
// %d.\n%s" with the error number and its text, the number kept.
class EWin32Error : public Exception {
public:
    EWin32Error(std::string message, int code) : Exception(std::move(message)), ErrorCode(code) {}
    const char *ClassName() const override { return "EWin32Error"; }
    int ErrorCode;
};

// A bitmap from the module's resources; EResNotFound when there is none.
QImage MakeModuleBitmap(const std::string &module, const std::string &resName);
QImage MakeBitmap(const std::string &resName);
QImage MakeBitmapID(int resID);
// Cell `index` of a source cut into cols by rows cells (cols, rows below 1
// count as 1, index below 0 as 0) becomes the destination, with the
// source's transparent colour.
void AssignBitmapCell(const QImage &source, QImage &dest, int cols, int rows, int index);
// A greyed copy: back colour, the source's dark pixels (all but the outline
// colour, which counts as white) in the highlight colour offset by (1, 1)
// when asked and in the shadow colour at (0, 0).
QImage CreateDisabledBitmapEx(const QImage &bitmap, TColor outlineColor, TColor backColor,
                              TColor highlightColor, TColor shadowColor, bool drawHighlight);
QImage CreateDisabledBitmap(const QImage &bitmap, TColor outlineColor);
// Draws image `index` of the list greyed at (x, y).
void ImageListDrawDisabled(const std::vector<QImage> &images, QPainter &canvas, int x, int y,
                           int index, TColor highlightColor, TColor grayColor, bool drawHighlight);
// An icon from the resources; a null icon when there is none.
QIcon MakeModuleIcon(const std::string &module, const std::string &resName);
QIcon MakeIcon(const std::string &resName);
QIcon MakeIconID(int resID);
// An icon of the bitmap with the pixels of the transparent colour left out
// (clDefault: the bitmap's bottom-left pixel).
QIcon CreateIconFromBitmap(const QImage &bitmap, TColor transparentColor);

// Loads a shared library (dlopen); EWin32Error with the loader's message
// when it cannot be loaded. The handle is released with FreeDLL.
void *LoadDLL(const std::string &libName);
void FreeDLL(void *handle);
// The desktop's beep.
void Beep();
// "Function not yet implemented" in an information box, then the silent
// abort (EAbort).
[[noreturn]] void NotImplemented();
// Whether the point lies in the polygon of points[0..highIndex] (winding
// fill).
bool PointInPolyRgn(const QPoint &p, const QPoint *points, int highIndex);
// Removes the pending posted events of that type for the receiver; a quit
// removed this way is posted again.
void KillMessage(QObject *receiver, int msg);
// A font turned by angle degrees: the font, bold 700 or normal 400, the
// default face for "Default", and the escapement in tenths of degrees that
// DrawRotatedText applies.
struct TRotatedFont {
    QFont Font;
    int Escapement = 0;
};
TRotatedFont CreateRotatedFont(const QFont &font, int angle);
void DrawRotatedText(QPainter &canvas, int x, int y, const std::string &text, const TRotatedFont &font);
// Entries of an indexed bitmap's palette; 0 without one.
int PaletteEntries(const QImage &bitmap);
// Centres a window on the screen (an MDI child in its area) or a control in
// its parent; left and top kept at 0 or more.
void CenterControl(QWidget *control);
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
// Makes the form a borderless child of the container, placed by alignment.
void MergeForm(QWidget *container, QWidget *form, TAlign align, bool show);
// Null for no values, the value for one, a list of them for more.
QVariant MakeVariant(const std::vector<QVariant> &values);
// Darkens the rectangle through a diagonal hatch (destination AND pattern).
void ShadeRect(QPainter &canvas, const TRect &rect);
TRect ScreenWorkArea();
// The widget's class name.
std::string WindowClassName(const QWidget *window);
// Show commands of ShowWinNoAnimate.
constexpr int SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOWMINIMIZED = 2, SW_SHOWMAXIMIZED = 3,
              SW_SHOWNOACTIVATE = 4, SW_SHOW = 5, SW_MINIMIZE = 6, SW_SHOWMINNOACTIVE = 7,
              SW_SHOWNA = 8, SW_RESTORE = 9;
void ShowWinNoAnimate(QWidget *window, int cmdShow);
void ActivateWindow(QWidget *window);

// A previous instance of the program: each instance that wants to be found
// listens on a local socket named after the user, the class name and the
// title (in the abstract namespace: nothing on disk, the same whatever
// $TMPDIR says; only the user's own processes count on either end);
// FindPrevInstance connects to it and ActivatePrevInstance asks it to bring
// its window to the front and waits for its answer.
class TInstanceServer;
// Listens for later instances. A request is answered once a window of this
// instance has come forward: `window` (with a modal window in front of it),
// or, before there is one (nullptr, see SetInstanceWindow), a modal window
// this instance shows; without either the request waits for the window.
// `activated`, when given, runs after each answered request. False when
// another live instance already listens under these names.
bool RegisterInstance(const std::string &className, const std::string &title, QWidget *window,
                      std::function<void()> activated = {});
// The window later requests bring forward; requests that waited for it are
// answered now.
void SetInstanceWindow(QWidget *window);
void UnregisterInstance();
bool FindPrevInstance(const std::string &mainFormClass, const std::string &aTitle);
// True only when the instance answered that its window came forward, all
// within waitMs (connecting included).
bool ActivatePrevInstance(const std::string &mainFormClass, const std::string &aTitle, int waitMs = 1000);

// Message boxes through the dialogs service: MB_* flags in, ID* answer out.
constexpr unsigned MB_OK = 0, MB_OKCANCEL = 1, MB_ABORTRETRYIGNORE = 2, MB_YESNOCANCEL = 3,
                   MB_YESNO = 4, MB_RETRYCANCEL = 5, MB_ICONHAND = 0x10, MB_ICONQUESTION = 0x20,
                   MB_ICONEXCLAMATION = 0x30, MB_ICONASTERISK = 0x40, MB_DEFBUTTON2 = 0x100,
                   MB_DEFBUTTON3 = 0x200;
constexpr int IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7;
int MsgBox(const std::string &caption, const std::string &text, unsigned flags);
enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : unsigned { mbYes = 1, mbNo = 2, mbOK = 4, mbCancel = 8, mbAbort = 16, mbRetry = 32, mbIgnore = 64 };
int MsgDlg(const std::string &msg, TMsgDlgType type, unsigned buttons, int helpCtx = 0);

// true when the count bytes are equal.
bool CompareMem(const void *p1, const void *p2, std::size_t length);
// A new zero-terminated copy, released with StrDispose.
char *StrPAlloc(const std::string &s);
void StrDispose(char *s);
const char *StringToPChar(const std::string &s);

// Animated cursors do not exist here: the cursor of that name among the
// program's cursor pictures, false when there is none.
bool LoadAniCursor(const std::string &resource, QCursor &cursor);

// Text in a rectangle at (dx, dy) with the alignment (Qt::AlignLeft,
// AlignRight or AlignHCenter), wrapped at words when asked; right-to-left
// reading mirrors the alignment.
void WriteText(QPainter &canvas, const TRect &rect, int dx, int dy, const std::string &text,
               Qt::Alignment alignment, bool wordWrap, bool rightToLeft = false);
void DrawCellTextEx(QPainter &canvas, int col, int row, const std::string &text, const TRect &rect,
                    Qt::Alignment alignment, TVertAlignment vertAlignment, bool wordWrap,
                    bool rightToLeft = false);
void DrawCellText(QPainter &canvas, int col, int row, const std::string &text, const TRect &rect,
                  Qt::Alignment alignment, TVertAlignment vertAlignment, bool rightToLeft = false);
// The picture centred in the rectangle.
void DrawCellBitmap(QPainter &canvas, int col, int row, const QImage &graphic, const TRect &rect);

// EWin32Error for a non-zero error number (errno values).
void RaiseWin32Error(int code);
// EWin32Error for errno when the flag is false.
void CheckWin32(bool ok);
// "Linux 6.01.000 -18-amd64": system name, release numbers (major, minor in
// two digits, patch in three) and the rest of the release, trimmed.
std::string GetWindowsVersion();
// A text of the same form from given uname fields.
std::string FormatSystemVersion(const std::string &sysname, const std::string &release);
// The whole bitmap drawn at (x, y) without the pixels of the colour.
void DrawTransparentBitmap(QPainter &canvas, const QImage &bitmap, int x, int y,
                           TColor transparentColor);
