#include "support/VCLUtils.h"

#include "platform/Cp1252.h"
#include "platform/Rtl.h"
#include "support/Cursors.h"

#include "platform/Dialogs.h"
#include "support/SupConst.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPolygon>
#include <QVariant>
#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>
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

// ---- resources -------------------------------------------------------------------

namespace {

QString ResourcePath(const std::string &module, const std::string &name, const char *ext)
{
    std::string p = ":/";
    if (!module.empty())
        p += module + "/";
    return QString::fromStdString(p + name + ext);
}

QImage LoadResourceImage(const std::string &module, const std::string &name)
{
    for (const char *ext : {"", ".bmp", ".png"}) {
        QImage img(ResourcePath(module, name, ext));
        if (!img.isNull())
            return img;
    }
    return QImage();
}

} // namespace

QImage MakeModuleBitmap(const std::string &module, const std::string &resName)
{
    QImage img = LoadResourceImage(module, resName);
    if (img.isNull())
        ResourceNotFound(resName);
    return img;
}

QImage MakeBitmap(const std::string &resName) { return MakeModuleBitmap(std::string(), resName); }

QImage MakeBitmapID(int resID)
{
    QImage img = LoadResourceImage(std::string(), std::to_string(resID));
    if (img.isNull())
        ResourceNotFound(resID);
    return img;
}

QIcon MakeModuleIcon(const std::string &module, const std::string &resName)
{
    for (const char *ext : {"", ".ico", ".png"}) {
        const QString path = ResourcePath(module, resName, ext);
        if (QFile::exists(path)) {
            QIcon icon(path);
            if (!icon.isNull())
                return icon;
        }
    }
    return QIcon();
}

QIcon MakeIcon(const std::string &resName) { return MakeModuleIcon(std::string(), resName); }
QIcon MakeIconID(int resID) { return MakeModuleIcon(std::string(), std::to_string(resID)); }

// ---- bitmaps -------------------------------------------------------------------

void AssignBitmapCell(const QImage &source, QImage &dest, int cols, int rows, int index)
{
    cols = std::max(1, cols);
    rows = std::max(1, rows);
    index = std::max(0, index);
    const int w = source.width() / cols, h = source.height() / rows;
    const int x = (index % cols) * w, y = (index / cols) * h;
    dest = QImage(std::max(0, w), std::max(0, h), QImage::Format_ARGB32);
    dest.fill(ColorToQColor(0xC0C0C0));
    QPainter p(&dest);
    p.drawImage(QPoint(-x, -y), source);
}

QImage CreateDisabledBitmapEx(const QImage &bitmap, TColor outlineColor, TColor backColor,
                              TColor highlightColor, TColor shadowColor, bool drawHighlight)
{
    const QImage src = bitmap.convertToFormat(QImage::Format_RGB32);
    QImage out(src.size(), QImage::Format_RGB32);
    out.fill(ColorToQColor(backColor));
    const QRgb outline = ColorToQColor(outlineColor).rgb() & 0x00FFFFFFu;
    // Monochrome copy: dark pixels are the shape, light ones and the outline
    // colour the background.
    auto dark = [&](int x, int y) {
        const QRgb c = src.pixel(x, y);
        if ((c & 0x00FFFFFFu) == outline)
            return false;
        return qGray(c) < 128;
    };
    const QRgb hi = ColorToQColor(highlightColor).rgb(), sh = ColorToQColor(shadowColor).rgb();
    if (drawHighlight)
        for (int y = 0; y < src.height(); ++y)
            for (int x = 0; x < src.width(); ++x)
                if (dark(x, y) && x + 1 < out.width() && y + 1 < out.height())
                    out.setPixel(x + 1, y + 1, hi);
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x)
            if (dark(x, y))
                out.setPixel(x, y, sh);
    return out;
}

QImage CreateDisabledBitmap(const QImage &bitmap, TColor outlineColor)
{
    return CreateDisabledBitmapEx(bitmap, outlineColor, clBtnFace, clBtnHighlight, clBtnShadow, true);
}

void ImageListDrawDisabled(const std::vector<QImage> &images, QPainter &canvas, int x, int y,
                           int index, TColor highlightColor, TColor grayColor, bool drawHighlight)
{
    if (index < 0 || index >= int(images.size()))
        return;
    const QImage &img = images[size_t(index)];
    // The image's shape (its opaque, not white pixels) painted in one colour.
    auto shape = [&](TColor color) {
        QImage mono(img.size(), QImage::Format_ARGB32);
        mono.fill(Qt::transparent);
        const QRgb c = ColorToQColor(color).rgb();
        const QImage src = img.convertToFormat(QImage::Format_ARGB32);
        for (int yy = 0; yy < src.height(); ++yy)
            for (int xx = 0; xx < src.width(); ++xx) {
                const QRgb s = src.pixel(xx, yy);
                if (qAlpha(s) > 127 && qGray(s) < 255)
                    mono.setPixel(xx, yy, c);
            }
        return mono;
    };
    canvas.save();
    if (drawHighlight)
        canvas.drawImage(QPoint(x + 1, y + 1), shape(highlightColor));
    canvas.drawImage(QPoint(x, y), shape(grayColor));
    canvas.restore();
}

QIcon CreateIconFromBitmap(const QImage &bitmap, TColor transparentColor)
{
    if (bitmap.isNull())
        return QIcon();
    QImage img = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparentColor == clDefault
                         ? img.pixel(0, img.height() - 1) & 0x00FFFFFFu
                         : ColorToQColor(transparentColor).rgb() & 0x00FFFFFFu;
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            if ((line[x] & 0x00FFFFFFu) == key)
                line[x] = 0;
    }
    return QIcon(QPixmap::fromImage(img));
}

int PaletteEntries(const QImage &bitmap) { return bitmap.colorCount(); }

void DrawTransparentBitmap(QPainter &canvas, const QImage &bitmap, int x, int y,
                           TColor transparentColor)
{
    StretchBltTransparent(canvas, x, y, bitmap.width(), bitmap.height(), bitmap, 0, 0, bitmap.width(),
                          bitmap.height(), transparentColor);
}

void ShadeRect(QPainter &canvas, const TRect &rect)
{
    // Rows $11 $22 $44 $88 repeated: one set bit per row, a diagonal hatch.
    // Set bits are white (the destination stays), clear ones black.
    static const unsigned char rowsBits[8] = {0x11, 0x22, 0x44, 0x88, 0x11, 0x22, 0x44, 0x88};
    QImage pattern(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            pattern.setPixel(x, y, (rowsBits[y] & (0x80 >> x)) ? 0xFFFFFFFFu : 0xFF000000u);
    canvas.save();
    canvas.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    canvas.fillRect(rect.ToQRect(), QBrush(pattern));
    canvas.restore();
}

// ---- the platform ----------------------------------------------------------------

void *LoadDLL(const std::string &libName)
{
    void *h = dlopen(libName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char *why = dlerror();
        throw EWin32Error(Rtl::Format("Win32 Error.  Code: %d.\n%s", {1, why ? why : "cannot load"}), 1);
    }
    return h;
}

void FreeDLL(void *handle)
{
    if (handle)
        dlclose(handle);
}

void Beep() { QApplication::beep(); }

void NotImplemented()
{
    Screen::SetCursor(crDefault);
    Dialogs::MessageBox(nullptr, LoadStr(SNotImplemented), Dialogs::ApplicationTitle(),
                        Dialogs::Button::OK, Dialogs::Icon::Information);
    throw EAbort("Operation aborted");
}

bool PointInPolyRgn(const QPoint &p, const QPoint *points, int highIndex)
{
    if (!points || highIndex < 2)
        return false;
    QPolygon poly;
    for (int i = 0; i <= highIndex; ++i)
        poly << points[i];
    return poly.containsPoint(p, Qt::WindingFill);
}

void KillMessage(QObject *receiver, int msg)
{
    QCoreApplication::removePostedEvents(receiver, msg);
    if (msg == QEvent::Quit && receiver)
        QCoreApplication::postEvent(receiver, new QEvent(QEvent::Quit));
}

TRotatedFont CreateRotatedFont(const QFont &font, int angle)
{
    TRotatedFont r;
    r.Font = font;
    if (font.family().compare(QStringLiteral("Default"), Qt::CaseInsensitive) == 0)
        r.Font.setFamily(QApplication::font().family());
    r.Font.setWeight(font.bold() ? QFont::Bold : QFont::Normal);
    r.Escapement = angle * 10;
    return r;
}

void DrawRotatedText(QPainter &canvas, int x, int y, const std::string &text, const TRotatedFont &font)
{
    canvas.save();
    canvas.setFont(font.Font);
    canvas.translate(x, y);
    canvas.rotate(-font.Escapement / 10.0);  // counter-clockwise, as the escapement
    canvas.drawText(QPoint(0, QFontMetrics(font.Font).ascent()), FromAnsi(text));
    canvas.restore();
}

void RaiseWin32Error(int code)
{
    if (code != 0)
        throw EWin32Error(Rtl::Format("Win32 Error.  Code: %d.\n%s", {code, std::strerror(code)}), code);
}

void CheckWin32(bool ok)
{
    if (!ok)
        RaiseWin32Error(errno ? errno : EINVAL);
}

std::string FormatSystemVersion(const std::string &sysname, const std::string &release)
{
    int nums[3] = {0, 0, 0};
    size_t i = 0;
    for (int k = 0; k < 3; ++k) {
        size_t start = i;
        long long v = 0;
        while (i < release.size() && std::isdigit(static_cast<unsigned char>(release[i])) && i - start < 9)
            v = v * 10 + (release[i++] - '0');
        nums[k] = int(v);
        if (i < release.size() && release[i] == '.' && k < 2)
            ++i;
        else
            break;
    }
    return Rtl::Trim(Rtl::Format("%s %d.%.2d.%.3d %s",
                                 {sysname, nums[0], nums[1], nums[2], release.substr(i)}));
}

std::string GetWindowsVersion()
{
    struct utsname u;
    if (uname(&u) != 0)
        return std::string();
    return FormatSystemVersion(u.sysname, u.release);
}

// ---- windows -------------------------------------------------------------------

void CenterControl(QWidget *control)
{
    if (!control)
        return;
    QRect area;
    if (control->isWindow()) {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(control->parentWidget()); sub && sub->mdiArea()) {
            control = sub;
            area = sub->mdiArea()->viewport()->rect();
        } else {
            area = QRect(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
        }
    } else if (QWidget *parent = control->parentWidget()) {
        area = parent->contentsRect();
    } else {
        return;
    }
    const int x = area.left() + (area.width() - control->width()) / 2;
    const int y = area.top() + (area.height() - control->height()) / 2;
    control->move(std::max(0, x), std::max(0, y));
}

void MergeForm(QWidget *container, QWidget *form, TAlign align, bool show)
{
    if (!container || !form)
        return;
    form->setParent(container, Qt::Widget);  // a borderless child
    const QRect r = container->contentsRect();
    switch (align) {
    case alNone: form->move(form->pos() + r.topLeft()); break;
    case alTop: form->setGeometry(r.left(), r.top(), r.width(), form->height()); break;
    case alBottom: form->setGeometry(r.left(), r.bottom() + 1 - form->height(), r.width(), form->height()); break;
    case alLeft: form->setGeometry(r.left(), r.top(), form->width(), r.height()); break;
    case alRight: form->setGeometry(r.right() + 1 - form->width(), r.top(), form->width(), r.height()); break;
    case alClient: form->setGeometry(r); break;
    }
    form->setVisible(show);
}

TRect ScreenWorkArea()
{
    if (QScreen *s = QGuiApplication::primaryScreen()) {
        const QRect a = s->availableGeometry();
        return TRect(a.left(), a.top(), a.left() + a.width(), a.top() + a.height());
    }
    return TRect(0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
}

std::string WindowClassName(const QWidget *window)
{
    return window ? std::string(window->metaObject()->className()).substr(0, 255) : std::string();
}

void ShowWinNoAnimate(QWidget *window, int cmdShow)
{
    if (!window)
        return;
    switch (cmdShow) {
    case SW_HIDE: window->hide(); break;
    case SW_SHOWMINIMIZED: case SW_MINIMIZE: case SW_SHOWMINNOACTIVE: window->showMinimized(); break;
    case SW_SHOWMAXIMIZED: window->showMaximized(); break;
    case SW_SHOWNORMAL: case SW_RESTORE: window->showNormal(); break;
    case SW_SHOWNOACTIVATE: case SW_SHOWNA: {
        const bool was = window->testAttribute(Qt::WA_ShowWithoutActivating);
        window->setAttribute(Qt::WA_ShowWithoutActivating, true);
        window->show();
        window->setAttribute(Qt::WA_ShowWithoutActivating, was);
        break;
    }
    default: window->show(); break;
    }
}

void ActivateWindow(QWidget *window)
{
    if (!window)
        return;
    ShowWinNoAnimate(window, SW_SHOW);
    window->raise();
    window->activateWindow();
}

// ---- previous instance -------------------------------------------------------------

namespace {

std::string InstanceSocketName(const std::string &className, const std::string &title)
{
    const QByteArray key = QByteArray::fromStdString(className + "\n" + title);
    return "mixdeck-instance-" + std::to_string(getuid()) + "-"
           + QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16).toStdString();
}

// The message a later instance sends, and the answer once the window came
// forward.
constexpr char ActivateLine[] = "activate\n";
constexpr char ActivatedLine[] = "activated\n";

// The sockets live in Linux's abstract namespace: the name does not depend
// on $TMPDIR, and nothing is left on disk by an instance that was killed.
// Such a name has no file permissions, so each end checks that the other
// belongs to this user.
bool PeerIsThisUser(const QLocalSocket &s)
{
    struct ucred cred{};
    socklen_t len = sizeof cred;
    const auto fd = int(s.socketDescriptor());
    return fd >= 0 && getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &cred, &len) == 0 && len == sizeof cred &&
           cred.uid == getuid();
}

// Connected to the instance listening under the names, within `waitMs`.
bool ConnectToInstance(QLocalSocket &s, const std::string &className, const std::string &title, int waitMs)
{
    s.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    s.connectToServer(QString::fromStdString(InstanceSocketName(className, title)));
    if (!s.waitForConnected(std::max(waitMs, 1)))
        return false;
    if (PeerIsThisUser(s))
        return true;
    s.abort();
    return false;
}

} // namespace

class TInstanceServer : public QLocalServer {
public:
    TInstanceServer(QWidget *window, std::function<void()> activated)
        : window_(window), activated_(std::move(activated))
    {
        setSocketOptions(QLocalServer::AbstractNamespaceOption);
        connect(this, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket *s = nextPendingConnection()) {
                if (!PeerIsThisUser(*s)) {
                    s->abort();
                    s->deleteLater();
                    continue;
                }
                connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
                connect(s, &QLocalSocket::readyRead, this, [this, s] {
                    // One short line; anything longer is not ours.
                    if (s->bytesAvailable() > 64) {
                        s->abort();
                        return;
                    }
                    if (!s->canReadLine())
                        return;
                    if (s->readLine(64) != ActivateLine) {
                        s->disconnectFromServer();
                        return;
                    }
                    waiting_.push_back(s);
                    AnswerWaiting();
                });
            }
        });
    }

    void SetWindow(QWidget *window)
    {
        window_ = window;
        AnswerWaiting();
    }

private:
    // Brings the window forward, or a modal window shown before there is
    // one; false when there is nothing to bring forward yet.
    bool BringForward()
    {
        if (window_) {
            if (window_->isMinimized())
                window_->showNormal();
            ActivateWindow(window_);
            return true;
        }
        if (QWidget *modal = QApplication::activeModalWidget()) {
            ActivateWindow(modal);
            return true;
        }
        return false;
    }

    void AnswerWaiting()
    {
        // Requests whose instance has given up waiting are gone.
        waiting_.erase(std::remove_if(waiting_.begin(), waiting_.end(),
                                      [](const QPointer<QLocalSocket> &s) {
                                          return !s || s->state() != QLocalSocket::ConnectedState;
                                      }),
                       waiting_.end());
        if (waiting_.empty() || !BringForward())
            return;
        const std::vector<QPointer<QLocalSocket>> answered = std::move(waiting_);
        waiting_.clear();
        for (const QPointer<QLocalSocket> &s : answered) {
            if (!s)
                continue;
            s->write(ActivatedLine);
            s->flush();
            s->disconnectFromServer();
            if (activated_)
                activated_();
        }
    }

    QPointer<QWidget> window_;
    std::function<void()> activated_;
    std::vector<QPointer<QLocalSocket>> waiting_;
};

namespace {
QPointer<TInstanceServer> &instanceServer()
{
    static QPointer<TInstanceServer> s;
    return s;
}
} // namespace

bool RegisterInstance(const std::string &className, const std::string &title, QWidget *window,
                      std::function<void()> activated)
{
    UnregisterInstance();
    const QString name = QString::fromStdString(InstanceSocketName(className, title));
    if (FindPrevInstance(className, title))
        return false;
    auto *server = new TInstanceServer(window, std::move(activated));
    if (!server->listen(name)) {
        delete server;
        return false;
    }
    instanceServer() = server;
    return true;
}

void SetInstanceWindow(QWidget *window)
{
    if (TInstanceServer *server = instanceServer())
        server->SetWindow(window);
}

void UnregisterInstance()
{
    delete instanceServer().data();
    instanceServer() = nullptr;
}

bool FindPrevInstance(const std::string &mainFormClass, const std::string &aTitle)
{
    if (mainFormClass.empty() && aTitle.empty())
        return false;
    QLocalSocket s;
    const bool found = ConnectToInstance(s, mainFormClass, aTitle, 1000);
    s.abort();
    return found;
}

bool ActivatePrevInstance(const std::string &mainFormClass, const std::string &aTitle, int waitMs)
{
    if (mainFormClass.empty() && aTitle.empty())
        return false;
    // One deadline for the whole exchange: a request written into the
    // socket counts for nothing until the instance has answered it.
    QElapsedTimer t;
    t.start();
    const auto left = [&t, waitMs] { return int(std::max<qint64>(0, waitMs - t.elapsed())); };
    QLocalSocket s;
    if (!ConnectToInstance(s, mainFormClass, aTitle, left()))
        return false;
    s.write(ActivateLine);
    bool answered = false;
    if (s.waitForBytesWritten(std::max(left(), 1))) {
        while (!s.canReadLine() && s.bytesAvailable() <= 64 && left() > 0 && s.waitForReadyRead(left())) {
        }
        answered = s.canReadLine() && s.readLine(64) == ActivatedLine;
    }
    s.abort();
    return answered;
}

// ---- message boxes -------------------------------------------------------------------

namespace {

int IdOf(Dialogs::Button b)
{
    switch (b) {
    case Dialogs::Button::OK: return IDOK;
    case Dialogs::Button::Cancel: return IDCANCEL;
    case Dialogs::Button::Abort: return IDABORT;
    case Dialogs::Button::Retry: return IDRETRY;
    case Dialogs::Button::Ignore: return IDIGNORE;
    case Dialogs::Button::Yes: return IDYES;
    case Dialogs::Button::No: return IDNO;
    default: return 0;
    }
}

} // namespace

int MsgBox(const std::string &caption, const std::string &text, unsigned flags)
{
    using B = Dialogs::Button;
    std::vector<B> order;
    switch (flags & 0x0F) {
    case MB_OKCANCEL: order = {B::OK, B::Cancel}; break;
    case MB_ABORTRETRYIGNORE: order = {B::Abort, B::Retry, B::Ignore}; break;
    case MB_YESNOCANCEL: order = {B::Yes, B::No, B::Cancel}; break;
    case MB_YESNO: order = {B::Yes, B::No}; break;
    case MB_RETRYCANCEL: order = {B::Retry, B::Cancel}; break;
    default: order = {B::OK}; break;
    }
    Dialogs::Buttons buttons;
    for (B b : order)
        buttons = buttons | b;
    Dialogs::Icon icon = Dialogs::Icon::None;
    switch (flags & 0xF0) {
    case MB_ICONHAND: icon = Dialogs::Icon::Error; break;
    case MB_ICONQUESTION: icon = Dialogs::Icon::Question; break;
    case MB_ICONEXCLAMATION: icon = Dialogs::Icon::Warning; break;
    case MB_ICONASTERISK: icon = Dialogs::Icon::Information; break;
    default: break;
    }
    const size_t def = (flags & 0xF00) >> 8;
    const B defaultButton = def < order.size() ? order[def] : order[0];
    return IdOf(Dialogs::MessageBox(nullptr, text, caption, buttons, icon, defaultButton));
}

int MsgDlg(const std::string &msg, TMsgDlgType type, unsigned buttons, int)
{
    using B = Dialogs::Button;
    static const char *const captions[] = {"Warning", "Error", "Information", "Confirm"};
    static const Dialogs::Icon icons[] = {Dialogs::Icon::Warning, Dialogs::Icon::Error,
                                          Dialogs::Icon::Information, Dialogs::Icon::Question};
    const std::string caption = type == mtCustom ? Dialogs::ApplicationTitle() : captions[type];
    const Dialogs::Icon icon = type == mtCustom ? Dialogs::Icon::None : icons[type];
    Dialogs::Buttons set;
    const std::pair<unsigned, B> map[] = {{mbYes, B::Yes},     {mbNo, B::No},       {mbOK, B::OK},
                                          {mbCancel, B::Cancel}, {mbAbort, B::Abort}, {mbRetry, B::Retry},
                                          {mbIgnore, B::Ignore}};
    for (const auto &[bit, b] : map)
        if (buttons & bit)
            set = set | b;
    return IdOf(Dialogs::MessageBox(nullptr, msg, caption, set, icon));
}

// ---- memory and strings -------------------------------------------------------------

bool CompareMem(const void *p1, const void *p2, std::size_t length)
{
    return length == 0 || std::memcmp(p1, p2, length) == 0;
}

char *StrPAlloc(const std::string &s)
{
    char *p = new char[s.size() + 1];
    std::memcpy(p, s.c_str(), s.size() + 1);
    return p;
}

void StrDispose(char *s) { delete[] s; }

const char *StringToPChar(const std::string &s) { return s.c_str(); }

QVariant MakeVariant(const std::vector<QVariant> &values)
{
    if (values.empty())
        return QVariant::fromValue(nullptr);
    if (values.size() == 1)
        return values[0];
    return QVariantList(values.begin(), values.end());
}

bool LoadAniCursor(const std::string &resource, QCursor &cursor)
{
    return LoadCursorResource(resource, cursor);
}

// ---- text in cells ---------------------------------------------------------------------

void WriteText(QPainter &canvas, const TRect &rect, int dx, int dy, const std::string &text,
               Qt::Alignment alignment, bool wordWrap, bool rightToLeft)
{
    Qt::Alignment h = alignment & Qt::AlignHorizontal_Mask;
    if (!h)
        h = Qt::AlignLeft;
    // A right-to-left canvas mirrors the alignment unless the text reads
    // right to left itself.
    const bool mirrored = canvas.layoutDirection() == Qt::RightToLeft && !rightToLeft;
    if (mirrored && (h & Qt::AlignLeft))
        h = Qt::AlignRight;
    else if (mirrored && (h & Qt::AlignRight))
        h = Qt::AlignLeft;
    const QRect r = rect.ToQRect();
    canvas.save();
    canvas.setClipRect(r);
    int flags = int(h) | Qt::AlignTop | Qt::TextExpandTabs;
    if (wordWrap)
        flags |= Qt::TextWordWrap;
    const QRect inner = (h & Qt::AlignLeft) ? r.adjusted(dx, dy, 0, 0)
                        : (h & Qt::AlignRight) ? r.adjusted(0, dy, -3, 0)
                                               : r.adjusted(0, dy, 0, 0);
    canvas.drawText(inner, flags, FromAnsi(text));
    canvas.restore();
}

void DrawCellTextEx(QPainter &canvas, int, int, const std::string &text, const TRect &rect,
                    Qt::Alignment alignment, TVertAlignment vertAlignment, bool wordWrap,
                    bool rightToLeft)
{
    const int height = rect.Height();
    const int w = canvas.fontMetrics().height();
    int dy = 2;
    if (vertAlignment == vaCenter)
        dy = std::max(1, (height - w) / 2);
    else if (vertAlignment == vaBottomJustify)
        dy = std::max(2, height - w);
    WriteText(canvas, rect, 2, dy, text, alignment, wordWrap, rightToLeft);
}

void DrawCellText(QPainter &canvas, int col, int row, const std::string &text, const TRect &rect,
                  Qt::Alignment alignment, TVertAlignment vertAlignment, bool rightToLeft)
{
    DrawCellTextEx(canvas, col, row, text, rect, alignment, vertAlignment,
                   (alignment & Qt::AlignHorizontal_Mask) == Qt::AlignHCenter, rightToLeft);
}

void DrawCellBitmap(QPainter &canvas, int, int, const QImage &graphic, const TRect &rect)
{
    const int x = rect.Left + (rect.Width() - graphic.width()) / 2;
    const int y = rect.Top + (rect.Height() - graphic.height()) / 2;
    canvas.save();
    canvas.setClipRect(rect.ToQRect());
    canvas.drawImage(QPoint(x, y), graphic);
    canvas.restore();
}
