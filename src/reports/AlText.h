#pragma once
// Text output of the report controls: fonts given in points and the text
// drawing routine of the original platform (lines at CR LF, word breaks at
// blanks only, tab expansion, left, right or centred lines, clipped to the
// rectangle).
#include "controls/EnhListData.h"   // TFontStyle
#include "platform/Graphics.h"

#include <QFont>
#include <QStringList>
#include <string>

class QPainter;

// A report font. Size is in points; the height of a font is negative for the
// character height in screen pixels at 96 pixels per inch (-16 is 12 points).
struct TAlFont {
    std::string Name = "MS Sans Serif";
    int Size = 8;
    uint8_t Style = 0;           // TFontStyle bits
    TColor Color = clWindowText;

    int Height() const;          // -MulDiv(Size, 96, 72)
    void SetHeight(int height);  // Size := -MulDiv(height, 72, 96)
    bool operator==(const TAlFont &) const = default;
};

// The Qt font for a device of dpiY pixels per inch: the character height
// MulDiv(Size, dpiY, 72) device pixels. Names resolve through fontconfig
// ("Arial" is Liberation Sans where fonts-liberation is installed); the
// original's "MS Sans Serif" becomes the default sans-serif face.
QFont AlDeviceFont(const TAlFont &font, int dpiY);

// Flags of AlDrawText, as the original platform numbers them.
enum TAlTextFlag : unsigned {
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_WORDBREAK = 0x10,
    DT_EXPANDTABS = 0x40,
    DT_NOCLIP = 0x100,
    DT_CALCRECT = 0x400,
    DT_NOPREFIX = 0x800,
};

// Breaks text (Windows-1252 bytes) into the lines it is drawn in: at CR LF,
// LF and CR, and with DT_WORDBREAK also before a word that would reach past
// `width` device pixels. A line breaks at blanks only (never after a hyphen
// or inside a word: a word wider than the line stands alone on its line);
// the blanks at a break are dropped. Tabs count to the next multiple of eight
// average character widths with DT_EXPANDTABS.
QStringList AlLayoutLines(const std::string &text, const QFont &font, int width, unsigned flags);
// Width of one line in device pixels (tabs expanded with DT_EXPANDTABS).
int AlLineWidth(const QString &line, const QFont &font, unsigned flags);
// Height of one line: the font's ascent plus descent.
int AlLineHeight(const QFont &font);

// Draws text into rect on the painter in colour `color`, or with DT_CALCRECT
// only measures it: rect keeps its left and top and takes the width of the
// widest line and the height of all lines. Without DT_NOCLIP the drawing is
// clipped to rect. Returns the height of the text.
int AlDrawText(QPainter *painter, const std::string &text, TRect &rect, unsigned flags,
               const QFont &font, TColor color);
