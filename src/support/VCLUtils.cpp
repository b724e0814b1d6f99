#include "support/VCLUtils.h"

#include "platform/Cp1252.h"
#include "platform/Rtl.h"
#include "support/Cursors.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QPointer>
#include <QPaintEvent>
#include <QScreen>
#include <QThread>
#include <algorithm>
#include <cstdlib>

// ---- arithmetic --------------------------------------------------------------

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    const std::int64_t p = std::int64_t(a) * std::int64_t(b);
    const bool negative = (p < 0) != (c < 0);
    const std::uint64_t num = std::uint64_t(p < 0 ? -p : p);
    const std::uint64_t den = std::uint64_t(c < 0 ? -std::int64_t(c) : std::int64_t(c));
    const std::uint64_t q = (2 * num + den) / (2 * den);   // halves away from zero
    const std::int64_t r = negative ? -std::int64_t(q) : std::int64_t(q);
    if (r > INT32_MAX || r < INT32_MIN)
        return -1;
    return int(r);
}

// ---- gradient ----------------------------------------------------------------

void GradientFillRect(QPainter &canvas, const TRect &rect, TColor startColor, TColor endColor,
                      TFillDirection direction, std::uint8_t colors)
{
    if (rect.IsEmpty())
        return;
    if (colors < 2) {
        canvas.fillRect(rect.ToQRect(), ColorToQColor(startColor));
        return;
    }
    const TColor s = ColorToRGB(startColor);
    const TColor e = ColorToRGB(endColor);
    const bool forward = direction == fdTopToBottom || direction == fdLeftToRight;
    const bool vertical = direction == fdTopToBottom || direction == fdBottomToTop;
    const TColor from = forward ? s : e;
    const TColor to = forward ? e : s;
    const int begin[3] = {GetRValue(from), GetGValue(from), GetBValue(from)};
    const int delta[3] = {GetRValue(to) - begin[0], GetGValue(to) - begin[1], GetBValue(to) - begin[2]};

    const int extent = vertical ? rect.Height() : rect.Width();
    const int bands = std::max(2, std::min(int(colors), extent));
    const int bandSize = extent / bands;

    if (bandSize > 0) {
        for (int i = 0; i < bands; ++i) {
            TRect band = rect;
            if (vertical) {
                band.Top = rect.Top + i * bandSize;
                band.Bottom = band.Top + bandSize;
            } else {
                band.Left = rect.Left + i * bandSize;
                band.Right = band.Left + bandSize;
            }
            const QColor c(begin[0] + MulDiv(i, delta[0], bands - 1),
                           begin[1] + MulDiv(i, delta[1], bands - 1),
                           begin[2] + MulDiv(i, delta[2], bands - 1));
            canvas.fillRect(band.ToQRect(), c);
        }
    }
    const int rest = extent % bands;
    if (rest > 0) {
        TRect tail = rect;
        if (vertical)
            tail.Top = rect.Bottom - rest;
        else
            tail.Left = rect.Right - rest;
        canvas.fillRect(tail.ToQRect(), ColorToQColor(forward ? e : s));
    }
}

// ---- texts -------------------------------------------------------------------

std::string MinimizeText(const std::string &text, const TTextWidthFunc &width, int maxWidth)
{
    std::string result = text;
    const int len = int(text.size());
    int counter = 1;
    while (counter <= len && width(result) > maxWidth) {
        ++counter;
        result = text.substr(0, size_t(std::max(0, len - counter))) + "...";
    }
    return result;
}

std::string MinimizeText(const std::string &text, const QFontMetrics &metrics, int maxWidth)
{
    return MinimizeText(
        text, [&metrics](const std::string &s) { return metrics.horizontalAdvance(FromAnsi(s)); },
        maxWidth);
}

bool PointInRect(const QPoint &p, const TRect &r)
{
    return p.x() >= r.Left && p.x() <= r.Right && p.y() >= r.Top && p.y() <= r.Bottom;
}

bool IsForegroundTask()
{
    return QApplication::activeWindow() != nullptr;
}

// ---- parent image ------------------------------------------------------------

void CopyParentImage(QWidget *control, QPainter &dest)
{
    if (!control)
        return;
    QWidget *parent = control->parentWidget();
    if (!parent)
        return;
    const QRect bounds = control->geometry();
    dest.save();
    // The parent's own background and painting, without its children.
    parent->render(&dest, QPoint(0, 0), QRegion(bounds), QWidget::DrawWindowBackground);
    // The siblings below the control that overlap it.
    for (QObject *o : parent->children()) {
        if (o == control)
            break;
        auto *w = qobject_cast<QWidget *>(o);
        if (!w || w->isWindow() || !w->isVisible() || !w->geometry().intersects(bounds))
            continue;
        const QRect overlap = w->geometry().intersected(bounds);
        w->render(&dest, overlap.topLeft() - bounds.topLeft(),
                  QRegion(overlap.translated(-w->pos())),
                  QWidget::DrawWindowBackground | QWidget::DrawChildren);
    }
    dest.restore();
}

// ---- transparent copies --------------------------------------------------------

TColor PaletteColor(TColor color)
{
    return ColorToRGB(color) | 0x02000000u;
}

void StretchBltTransparent(QPainter &dest, int x, int y, int w, int h, const QImage &src, int srcX,
                           int srcY, int srcW, int srcH, TColor transparentColor)
{
    if (w < 1 || h < 1 || srcW < 1 || srcH < 1 || src.isNull())
        return;
    QImage part = src.copy(srcX, srcY, srcW, srcH).convertToFormat(QImage::Format_ARGB32);
    const TColor key = IsSystemColor(transparentColor) ? ColorToRGB(transparentColor)
                                                       : (transparentColor & 0x00FFFFFFu);
    const QRgb keyRgb = qRgb(GetRValue(key), GetGValue(key), GetBValue(key)) & 0x00FFFFFFu;
    for (int row = 0; row < part.height(); ++row) {
        auto *line = reinterpret_cast<QRgb *>(part.scanLine(row));
        for (int col = 0; col < part.width(); ++col) {
            if ((line[col] & 0x00FFFFFFu) == keyRgb)
                line[col] = 0;
        }
    }
    if (part.width() != w || part.height() != h)
        part = part.scaled(w, h, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    dest.drawImage(QPoint(x, y), part);
}

void StretchBitmapTransparent(QPainter &canvas, const QImage &bitmap, TColor transparentColor, int x,
                              int y, int w, int h, int srcX, int srcY, int srcW, int srcH)
{
    if (bitmap.isNull())
        return;
    if (w < 1)
        w = bitmap.width();
    if (h < 1)
        h = bitmap.height();
    if (srcW < 1 || srcH < 1) {
        srcX = 0;
        srcY = 0;
        srcW = bitmap.width();
        srcH = bitmap.height();
    }
    if (transparentColor == clNone) {
        QImage part = bitmap.copy(srcX, srcY, srcW, srcH);
        if (part.width() != w || part.height() != h)
            part = part.scaled(w, h, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        canvas.drawImage(QPoint(x, y), part);
        return;
    }
    const bool mono = bitmap.depth() == 1;
    TColor key;
    if (mono) {
        key = clWhite;
    } else if (transparentColor == clDefault) {
        key = QColorToColor(bitmap.pixelColor(0, bitmap.height() - 1));
    } else {
        key = ColorToRGB(transparentColor);
    }
    StretchBltTransparent(canvas, x, y, w, h, bitmap, srcX, srcY, srcW, srcH, PaletteColor(key));
}

void StretchBitmapRectTransparent(QPainter &canvas, int x, int y, int w, int h, const TRect &src,
                                  const QImage &bitmap, TColor transparentColor)
{
    StretchBitmapTransparent(canvas, bitmap, transparentColor, x, y, w, h, src.Left, src.Top,
                             src.Width(), src.Height());
}

void DrawBitmapRectTransparent(QPainter &canvas, int x, int y, const TRect &src,
                               const QImage &bitmap, TColor transparentColor)
{
    StretchBitmapTransparent(canvas, bitmap, transparentColor, x, y, src.Width(), src.Height(),
                             src.Left, src.Top, src.Width(), src.Height());
}

void DrawBitmapTransparent(QPainter &canvas, int x, int y, const QImage &bitmap,
                           TColor transparentColor)
{
    StretchBitmapTransparent(canvas, bitmap, transparentColor, x, y, bitmap.width(),
                             bitmap.height(), 0, 0, bitmap.width(), bitmap.height());
}

// ---- windows -------------------------------------------------------------------

void SwitchToWindow(QWidget *window, bool restore)
{
    if (!window)
        return;
    if (window->isEnabled()) {
        window->raise();
        window->activateWindow();
    }
    if (restore && window->isVisible()) {
        if (!window->isMaximized()) {
            window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
            window->showNormal();
        }
        window->setFocus();
    }
}

namespace {
int waitCount = 0;
int savedCursor = crDefault;
int waitCursor = crHourGlass;
} // namespace

void StartWait()
{
    if (waitCount == 0) {
        savedCursor = Screen::Cursor();
        Screen::SetCursor(waitCursor);
    }
    ++waitCount;
}

void StopWait()
{
    if (waitCount > 0) {
        --waitCount;
        if (waitCount == 0)
            Screen::SetCursor(savedCursor);
    }
}

int WaitCount() { return waitCount; }
int WaitCursor() { return waitCursor; }
void SetWaitCursor(int cursor) { waitCursor = cursor; }

std::string ResStr(const std::string &ident) { return ident; }

void CenterWindow(QWidget *window)
{
    if (!window)
        return;
    const int sw = GetSystemMetrics(SM_CXSCREEN);
    const int sh = GetSystemMetrics(SM_CYSCREEN);
    const QSize size = window->frameGeometry().size();
    int x = (sw - size.width()) / 2;
    int y = (sh - size.height()) / 2;
    if (x + size.width() > sw)
        x = sw - size.width();
    if (y + size.height() > sh)
        y = sh - size.height();
    window->move(std::max(0, x), std::max(0, y));
}

// ---- command line --------------------------------------------------------------

void SplitCommandLine(const std::string &commandLine, std::string &progName, std::string &params)
{
    progName.clear();
    params.clear();
    const size_t n = commandLine.size();
    size_t i = 0;
    bool first = true;
    auto ch = [&](size_t k) { return static_cast<unsigned char>(commandLine[k]); };
    for (;;) {
        // Blanks, control characters and empty quote pairs before a parameter.
        while (i < n) {
            if (ch(i) >= 1 && ch(i) <= 32) {
                ++i;
            } else if (ch(i) == '"' && i + 1 < n && ch(i + 1) == '"') {
                i += 2;
            } else {
                break;
            }
        }
        if (i >= n || ch(i) == 0)
            break;
        std::string param;
        while (i < n && ch(i) > 32) {
            if (ch(i) == '"') {
                ++i;
                while (i < n && ch(i) != '"' && ch(i) != 0) {
                    param += commandLine[i];
                    ++i;
                }
                if (i < n && ch(i) == '"')
                    ++i;
            } else {
                param += commandLine[i];
                ++i;
            }
        }
        if (first) {
            progName = param;
            first = false;
        } else {
            if (!params.empty())
                params += ' ';
            if (param.find(' ') != std::string::npos)
                params += '"' + param + '"';
            else
                params += param;
        }
    }
}

// ---- cursors and resources -------------------------------------------------------

[[noreturn]] void ResourceNotFound(const std::string &name)
{
    throw EResNotFound("Resource " + name + " not found");
}

[[noreturn]] void ResourceNotFound(int ident)
{
    ResourceNotFound(std::to_string(ident));
}

int DefineCursor(const std::string &resource)
{
    QCursor cursor;
    if (!LoadCursorResource(resource, cursor))
        ResourceNotFound(resource);
    for (int i = 100; i <= 32767; ++i) {
        if (!Screen::HasCursor(i)) {
            Screen::SetCursors(i, cursor);
            return i;
        }
    }
    throw EOutOfResources("Out of system resources");
}

// ---- bitmaps -------------------------------------------------------------------

QImage CreateTwoColorsBrushPattern(TColor color1, TColor color2)
{
    QImage img(8, 8, QImage::Format_RGB32);
    img.fill(ColorToQColor(color1));
    const QRgb c2 = ColorToQColor(color2).rgb();
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            if ((x % 2) == (y % 2))
                img.setPixel(x, y, c2);
    return img;
}

QImage ChangeBitmapColor(const QImage &bitmap, TColor color, TColor newColor)
{
    QImage img = bitmap.convertToFormat(QImage::Format_RGB32);
    const QRgb from = ColorToQColor(color).rgb() & 0x00FFFFFFu;
    const QRgb to = ColorToQColor(newColor).rgb();
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0x00FFFFFFu) == from)
                line[x] = to;
    }
    return img;
}

QImage CreateBitmapFromIcon(const QIcon &icon, int size, TColor backColor)
{
    QImage img(size, size, QImage::Format_RGB32);
    img.fill(ColorToQColor(backColor));
    QPainter p(&img);
    icon.paint(&p, QRect(0, 0, size, size));
    return img;
}

// ---- text ----------------------------------------------------------------------

QSize GetAveCharSize(const QFontMetrics &metrics)
{
    const QString letters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return QSize(metrics.horizontalAdvance(letters) / 52, metrics.height());
}

// Base units of the classic system font: 8 by 16 pixels.
static constexpr int BaseUnitX = 8;
static constexpr int BaseUnitY = 16;

int DialogUnitsToPixelsX(int units) { return units * BaseUnitX / 4; }
int DialogUnitsToPixelsY(int units) { return units * BaseUnitY / 8; }
int PixelsToDialogUnitsX(int pixels) { return pixels * 4 / BaseUnitX; }
int PixelsToDialogUnitsY(int pixels) { return pixels * 8 / BaseUnitY; }

std::string GetEnvVar(const std::string &name)
{
    const char *v = std::getenv(name.c_str());
    return v ? std::string(v) : std::string();
}

std::string AnsiUpperFirstChar(const std::string &text)
{
    std::string s = Rtl::AnsiLowerCase(text);
    if (!s.empty())
        s = Rtl::AnsiUpperCase(s.substr(0, 1)) + s.substr(1);
    return s;
}

std::string DropT(const std::string &text)
{
    if (text.size() > 1 && (text[0] == 'T' || text[0] == 't'))
        return text.substr(1);
    return text;
}

void Delay(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents,
                                        int(std::max<qint64>(1, milliseconds - timer.elapsed())));
        if (timer.elapsed() < milliseconds)
            QThread::msleep(1);
    }
}

// ---- screen overlay -------------------------------------------------------------

TScreenCanvas::TScreenCanvas()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                           | Qt::WindowTransparentForInput | Qt::X11BypassWindowManagerHint)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_ShowWithoutActivating);
    ensureSize();
}

TScreenCanvas *TScreenCanvas::Instance()
{
    static QPointer<TScreenCanvas> overlay;
    if (!overlay)
        overlay = new TScreenCanvas();
    return overlay;
}

void TScreenCanvas::ensureSize()
{
    QRect area(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    if (QScreen *s = QGuiApplication::primaryScreen())
        area = s->virtualGeometry();
    if (image_.size() != area.size()) {
        QImage img(area.size(), QImage::Format_ARGB32_Premultiplied);
        img.fill(Qt::transparent);
        image_ = img;
        setGeometry(area);
    }
}

// Half-transparent black: inverting twice gives back full transparency.
static constexpr QRgb InvertBits = 0x80000000u;

void TScreenCanvas::InvertRect(const TRect &r)
{
    ensureSize();
    const QRect area = r.ToQRect().intersected(image_.rect());
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image_.scanLine(y));
        for (int x = area.left(); x <= area.right(); ++x)
            line[x] ^= InvertBits;
    }
    if (!isVisible())
        show();
    update(area);
}

void TScreenCanvas::InvertFocusFrame(const TRect &r)
{
    ensureSize();
    if (r.IsEmpty())
        return;
    auto flip = [this](int x, int y) {
        if (image_.rect().contains(x, y) && ((x + y) % 2) == 0)
            reinterpret_cast<QRgb *>(image_.scanLine(y))[x] ^= InvertBits;
    };
    for (int x = r.Left; x < r.Right; ++x) {
        flip(x, r.Top);
        if (r.Bottom - 1 != r.Top)
            flip(x, r.Bottom - 1);
    }
    for (int y = r.Top + 1; y < r.Bottom - 1; ++y) {
        flip(r.Left, y);
        if (r.Right - 1 != r.Left)
            flip(r.Right - 1, y);
    }
    if (!isVisible())
        show();
    update(r.ToQRect());
}

void TScreenCanvas::paintEvent(QPaintEvent *e)
{
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(e->rect(), image_, e->rect());
}

void PaintInverseRect(const QPoint &p1, const QPoint &p2)
{
    TScreenCanvas::Instance()->InvertRect(TRect(std::min(p1.x(), p2.x()), std::min(p1.y(), p2.y()),
                                                std::max(p1.x(), p2.x()), std::max(p1.y(), p2.y())));
}

void DrawInvertFrame(const TRect &r, int width)
{
    TRect cur = r;
    for (int i = 0; i < width; ++i) {
        TScreenCanvas::Instance()->InvertFocusFrame(cur);
        cur = TRect(cur.Left + 1, cur.Top + 1, cur.Right - 1, cur.Bottom - 1);
    }
}
