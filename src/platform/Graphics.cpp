#include "platform/Graphics.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

// The classic Windows scheme ("Windows Standard"), as $00BBGGRR.
constexpr TColor ClassicColors[SysColorCount] = {
    0xC8D0D4, //  0 scroll bar            212 208 200
    0xA56E3A, //  1 desktop               58 110 165
    0x6A240A, //  2 active caption        10 36 106
    0x808080, //  3 inactive caption      128 128 128
    0xC8D0D4, //  4 menu                  212 208 200
    0xFFFFFF, //  5 window                255 255 255
    0x000000, //  6 window frame          0 0 0
    0x000000, //  7 menu text
    0x000000, //  8 window text
    0xFFFFFF, //  9 caption text
    0xC8D0D4, // 10 active border
    0xC8D0D4, // 11 inactive border
    0x808080, // 12 application workspace
    0x6A240A, // 13 highlight             10 36 106
    0xFFFFFF, // 14 highlight text
    0xC8D0D4, // 15 button face           212 208 200
    0x808080, // 16 button shadow
    0x808080, // 17 grey text
    0x000000, // 18 button text
    0xC8D0D4, // 19 inactive caption text 212 208 200
    0xFFFFFF, // 20 button highlight
    0x404040, // 21 3D dark shadow
    0xC8D0D4, // 22 3D light
    0x000000, // 23 tooltip text
    0xE1FFFF, // 24 tooltip background    255 255 225
    0xB5B5B5, // 25 alternate button face 181 181 181
    0x800000, // 26 hot-tracked item      0 0 128
    0xF0CAA6, // 27 gradient active caption   166 202 240
    0xC0C0C0, // 28 gradient inactive caption 192 192 192
    0x6A240A, // 29 menu highlight
    0xC8D0D4, // 30 menu bar
};

bool gradientCaptions = true;

} // namespace

TColor GetSysColor(int index)
{
    if (index < 0 || index >= SysColorCount)
        return 0;
    return ClassicColors[index];
}

TColor ColorToRGB(TColor c)
{
    if (IsSystemColor(c))
        return GetSysColor(int(c & 0xFF));
    return c & 0x00FFFFFFu;
}

QColor ColorToQColor(TColor c)
{
    if (c == clNone)
        return QColor(0, 0, 0, 0);
    const TColor rgb = ColorToRGB(c);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor QColorToColor(const QColor &c)
{
    const QColor rgb = c.toRgb();
    return RGB(rgb.red(), rgb.green(), rgb.blue());
}

bool SystemGradientCaptions() { return gradientCaptions; }
void SetSystemGradientCaptions(bool on) { gradientCaptions = on; }

int GetSystemMetrics(int metric)
{
    switch (metric) {
    case SM_CXSCREEN:
    case SM_CYSCREEN: {
        QScreen *screen = QGuiApplication::primaryScreen();
        if (!screen)
            return metric == SM_CXSCREEN ? 640 : 480;
        const QRect g = screen->geometry();
        return metric == SM_CXSCREEN ? g.width() : g.height();
    }
    case SM_CYCAPTION: return 19;
    case SM_CXBORDER:
    case SM_CYBORDER: return 1;
    case SM_CXDLGFRAME:
    case SM_CYDLGFRAME: return 3;
    case SM_CXICON:
    case SM_CYICON:
    case SM_CXCURSOR:
    case SM_CYCURSOR: return 32;
    case SM_CYMENU: return 19;
    case SM_CXSIZE:
    case SM_CYSIZE: return 18;
    case SM_CXFRAME:
    case SM_CYFRAME: return 4;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    case SM_CXSMICON:
    case SM_CYSMICON: return 16;
    case SM_CYSMCAPTION: return 16;
    case SM_CXSMSIZE: return 12;
    case SM_CYSMSIZE: return 15;
    default: return 0;
    }
}

static QFont captionFont(int pixels)
{
    QFont f(QStringLiteral("Sans Serif"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(true);
    return f;
}

QFont SystemCaptionFont() { return captionFont(11); }
QFont SystemSmallCaptionFont() { return captionFont(11); }
