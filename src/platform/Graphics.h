#pragma once
// Colours, rectangles and system metrics of the original class library on
// top of Qt.
//
// A colour is a 32-bit value: $00BBGGRR for an RGB colour, $80000000 plus an
// index for a system colour. System colours come from a fixed table of the
// classic Windows scheme, so a window looks the same on every desktop.
#include <QColor>
#include <QFont>
#include <QRect>
#include <cstdint>

using TColor = std::uint32_t;

// The sixteen basic colours.
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

// "No colour" and "the default colour".
constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

// System colours: $80000000 + index.
constexpr TColor clSystemColor = 0x80000000;
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;
constexpr TColor clButtonAlternateFace = clSystemColor | 25;
constexpr TColor clHotLight = clSystemColor | 26;
constexpr TColor clGradientActiveCaption = clSystemColor | 27;
constexpr TColor clGradientInactiveCaption = clSystemColor | 28;
constexpr TColor clMenuHighlight = clSystemColor | 29;
constexpr TColor clMenuBar = clSystemColor | 30;

// Number of entries of the system colour table.
constexpr int SysColorCount = 31;

// $00BBGGRR of system colour `index` (0..30); black for an unknown index.
TColor GetSysColor(int index);
inline bool IsSystemColor(TColor c) { return (c & 0xFF000000u) == clSystemColor; }
// RGB value of a colour: a system colour is looked up, anything else keeps
// its low 24 bits.
TColor ColorToRGB(TColor c);
// $00BBGGRR <-> QColor. clNone gives a fully transparent QColor; a system
// colour is looked up first. QColorToColor ignores the alpha channel.
QColor ColorToQColor(TColor c);
TColor QColorToColor(const QColor &c);
// Channels of an RGB value.
inline int GetRValue(TColor c) { return int(c & 0xFF); }
inline int GetGValue(TColor c) { return int((c >> 8) & 0xFF); }
inline int GetBValue(TColor c) { return int((c >> 16) & 0xFF); }
inline TColor RGB(int r, int g, int b)
{
    return TColor(r & 0xFF) | (TColor(g & 0xFF) << 8) | (TColor(b & 0xFF) << 16);
}

// Whether title bars are drawn with colour gradients (the classic scheme has
// them on). Changeable for tests and for a look without gradients.
bool SystemGradientCaptions();
void SetSystemGradientCaptions(bool on);

// ---- rectangles ------------------------------------------------------------
// A rectangle with exclusive right and bottom edges, as the drawing routines
// of the original take them.
struct TRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    constexpr TRect() = default;
    constexpr TRect(int l, int t, int r, int b) : Left(l), Top(t), Right(r), Bottom(b) {}
    explicit TRect(const QRect &r)
        : Left(r.left()), Top(r.top()), Right(r.left() + r.width()), Bottom(r.top() + r.height()) {}
    constexpr int Width() const { return Right - Left; }
    constexpr int Height() const { return Bottom - Top; }
    constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    QRect ToQRect() const { return QRect(Left, Top, Right - Left, Bottom - Top); }
    constexpr bool operator==(const TRect &) const = default;
};
inline TRect Rect(int l, int t, int r, int b) { return TRect(l, t, r, b); }

// ---- system metrics ----------------------------------------------------------
// Values of the classic scheme at 96 dots per inch; the screen size comes
// from the primary screen.
enum TSystemMetric : int {
    SM_CXSCREEN = 0,
    SM_CYSCREEN = 1,
    SM_CYCAPTION = 4,
    SM_CXBORDER = 5,
    SM_CYBORDER = 6,
    SM_CXDLGFRAME = 7,
    SM_CYDLGFRAME = 8,
    SM_CXICON = 11,
    SM_CYICON = 12,
    SM_CXCURSOR = 13,
    SM_CYCURSOR = 14,
    SM_CYMENU = 15,
    SM_CXSIZE = 30,
    SM_CYSIZE = 31,
    SM_CXFRAME = 32,
    SM_CYFRAME = 33,
    SM_CXEDGE = 45,
    SM_CYEDGE = 46,
    SM_CXSMICON = 49,
    SM_CYSMICON = 50,
    SM_CYSMCAPTION = 51,
    SM_CXSMSIZE = 52,
    SM_CYSMSIZE = 53,
    SM_CXFIXEDFRAME = SM_CXDLGFRAME,
    SM_CYFIXEDFRAME = SM_CYDLGFRAME,
};
int GetSystemMetrics(int metric);

// Fonts of the non-client area: the title bar font and the small (tool
// window) title bar font, both bold in the default sans-serif face.
QFont SystemCaptionFont();
QFont SystemSmallCaptionFont();
