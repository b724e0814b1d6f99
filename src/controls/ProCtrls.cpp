#include "controls/ProCtrls.h"

#include "controls/Proconst.h"
#include "platform/Cp1252.h"

#include <QDialog>
#include <QEnterEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QFontMetrics>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

using namespace Rtl;

// ---- directions and frames ---------------------------------------------------

TDirectionStep DirectionStep(TDirection d)
{
    switch (d) {
    case drNone: return {0, 0};
    case drUp: return {0, -1};
    case drDown: return {0, 1};
    case drLeft: return {-1, 0};
    case drRight: return {1, 0};
    case drUpLeft: return {-1, -1};
    case drUpRight: return {1, -1};
    case drDownLeft: return {-1, 1};
    case drDownRight: return {1, 1};
    }
    return {0, 0};
}

namespace {

// A line from (x0, y) to (x1, y) without its end point.
void hLine(QPainter &canvas, int x0, int x1, int y, const QColor &c)
{
    if (x1 > x0)
        canvas.fillRect(QRect(x0, y, x1 - x0, 1), c);
}

// A line from (x, y0) to (x, y1) without its end point.
void vLine(QPainter &canvas, int x, int y0, int y1, const QColor &c)
{
    if (y1 > y0)
        canvas.fillRect(QRect(x, y0, 1, y1 - y0), c);
}

} // namespace

void Frame3DSides(QPainter &canvas, TRect &rect, TSides sides, TColor topColor, TColor bottomColor,
                  int width)
{
    const QColor top = ColorToQColor(topColor);
    const QColor bottom = ColorToQColor(bottomColor);
    for (int i = 0; i < width; ++i) {
        if (sides & SideBit(sdLeft))
            vLine(canvas, rect.Left, rect.Top, rect.Bottom, top);
        if (sides & SideBit(sdTop))
            hLine(canvas, rect.Left, rect.Right, rect.Top, top);
        if (sides & SideBit(sdRight))
            vLine(canvas, rect.Right - 1, rect.Top, rect.Bottom, bottom);
        if (sides & SideBit(sdBottom))
            hLine(canvas, rect.Left, rect.Right, rect.Bottom - 1, bottom);
        if (sides & SideBit(sdLeft))
            ++rect.Left;
        if (sides & SideBit(sdTop))
            ++rect.Top;
        if (sides & SideBit(sdRight))
            --rect.Right;
        if (sides & SideBit(sdBottom))
            --rect.Bottom;
    }
}

void Frame3D(QPainter &canvas, TRect &rect, TColor topColor, TColor bottomColor, int width)
{
    const QColor top = ColorToQColor(topColor);
    const QColor bottom = ColorToQColor(bottomColor);
    for (int i = 0; i < width; ++i) {
        // The corners shared by a top and a bottom edge take the bottom colour.
        vLine(canvas, rect.Left, rect.Top, rect.Bottom - 1, top);
        hLine(canvas, rect.Left, rect.Right - 1, rect.Top, top);
        vLine(canvas, rect.Right - 1, rect.Top, rect.Bottom, bottom);
        hLine(canvas, rect.Left, rect.Right, rect.Bottom - 1, bottom);
        ++rect.Left;
        ++rect.Top;
        --rect.Right;
        --rect.Bottom;
    }
}

// ---- TProCustomLabel -------------------------------------------------------------

TProCustomLabel::TProCustomLabel(QWidget *parent) : QWidget(parent)
{
    resize(65, 17);
}

TProCustomLabel::~TProCustomLabel() = default;

QString TProCustomLabel::CaptionQ() const
{
    return FromAnsi(caption_);
}

void TProCustomLabel::SetCaptionQ(const QString &s)
{
    SetCaption(ToAnsi(s));
}

void TProCustomLabel::SetCaption(const std::string &caption)
{
    if (!StoreChanged(caption_, caption))
        return;
    AdjustBounds();
    update();
}

void TProCustomLabel::SetAlignmentOrd(int a)
{
    if (a >= taLeftJustify && a <= taCenter)
        SetAlignment(TAlignment(a));
}

void TProCustomLabel::SetAlignment(TAlignment a)
{
    if (!StoreChanged(alignment_, a))
        return;
    update();
}

void TProCustomLabel::SetAutoSize(bool on)
{
    if (!StoreChanged(autoSize_, on))
        return;
    AdjustBounds();
}

void TProCustomLabel::SetWordWrap(bool on)
{
    if (!StoreChanged(wordWrap_, on))
        return;
    AdjustBounds();
    update();
}

void TProCustomLabel::SetShowAccelChar(bool on)
{
    if (!StoreChanged(showAccelChar_, on))
        return;
    AdjustBounds();
    update();
}

void TProCustomLabel::SetTransparent(bool on)
{
    if (!StoreChanged(transparent_, on))
        return;
    update();
}

void TProCustomLabel::SetColor(TColor c)
{
    parentColor_ = false;
    color_ = c;
    update();
}

void TProCustomLabel::SetParentColor(bool on)
{
    if (!StoreChanged(parentColor_, on))
        return;
    update();
}

void TProCustomLabel::SetFontColor(TColor c)
{
    if (!StoreChanged(fontColor_, c))
        return;
    update();
    FontChanged();
}

void TProCustomLabel::SetAngle(int value)
{
    int a = value % 360;
    if (a < 0)
        a += 360;
    if (!StoreChanged(angle_, a))
        return;
    cos_ = std::cos(a * std::numbers::pi / 180.0);
    sin_ = std::sin(a * std::numbers::pi / 180.0);
    if (a > 0 && autoSize_)
        SetAutoSize(false);
    update();
}

void TProCustomLabel::SetOffsetX(int v)
{
    if (!StoreChanged(offsetX_, v))
        return;
    if (v > 0 && autoSize_)
        SetAutoSize(false);
    update();
}

void TProCustomLabel::SetOffsetY(int v)
{
    if (!StoreChanged(offsetY_, v))
        return;
    if (v > 0 && autoSize_)
        SetAutoSize(false);
    update();
}

void TProCustomLabel::ToCustom()
{
    if (!applyingPreset_)
        shadowStyle_ = TShadowStyle::ssCustom;
    update();
}

void TProCustomLabel::SetHighlightDirection(TDirection d)
{
    if (!StoreChanged(highlightDirection_, d))
        return;
    ToCustom();
}

void TProCustomLabel::SetHighlightDepth(int d)
{
    if (!StoreChanged(highlightDepth_, d))
        return;
    ToCustom();
}

void TProCustomLabel::SetHighlightColor(TColor c)
{
    if (!StoreChanged(highlightColor_, c))
        return;
    ToCustom();
}

void TProCustomLabel::SetShadowDirection(TDirection d)
{
    if (!StoreChanged(shadowDirection_, d))
        return;
    ToCustom();
}

void TProCustomLabel::SetShadowDepth(int d)
{
    const auto v = TShadowDepth(std::clamp(d, 0, MaxShadowDepth));
    if (!StoreChanged(shadowDepth_, v))
        return;
    ToCustom();
}

void TProCustomLabel::SetShadowSize(int s)
{
    const auto v = TShadowSize(std::clamp(s, 0, MaxShadowDepth));
    if (!StoreChanged(shadowSize_, v))
        return;
    ToCustom();
}

void TProCustomLabel::SetShadowColor(TColor c)
{
    if (!StoreChanged(shadowColor_, c))
        return;
    ToCustom();
}

void TProCustomLabel::SetShadowStyle(TShadowStyle s)
{
    if (!StoreChanged(shadowStyle_, s))
        return;
    if (s == TShadowStyle::ssCustom)
        return;
    struct Preset {
        TShadowStyle style;
        TDirection hDir;
        int hDepth;
        TDirection sDir;
        int sDepth;
        int sSize;
        bool faceColour;
    };
    static const Preset presets[] = {
        {TShadowStyle::ssNone, drNone, 0, drNone, 0, 0, false},
        {TShadowStyle::ssRaised, drUpLeft, 1, drNone, 0, 0, false},
        {TShadowStyle::ssRaisedColor, drUpLeft, 1, drDownRight, 1, 1, true},
        {TShadowStyle::ssRaisedShadow, drUpLeft, 1, drDownRight, 1, 1, false},
        {TShadowStyle::ssRaisedThickShadow, drUpLeft, 1, drDownRight, 1, 4, false},
        {TShadowStyle::ssRecessed, drDownRight, 1, drNone, 0, 0, false},
        {TShadowStyle::ssRecessedColor, drDownRight, 1, drUpLeft, 1, 1, true},
        {TShadowStyle::ssRecessedShadow, drDownRight, 1, drUpLeft, 1, 1, false},
        {TShadowStyle::ssShadow, drNone, 0, drDownRight, 2, 1, false},
        {TShadowStyle::ssThickShadow, drNone, 0, drDownRight, 1, 4, false},
    };
    applyingPreset_ = true;
    for (const Preset &p : presets) {
        if (p.style != s)
            continue;
        SetHighlightDirection(p.hDir);
        SetHighlightDepth(p.hDepth);
        SetShadowDirection(p.sDir);
        SetShadowDepth(p.sDepth);
        SetShadowSize(p.sSize);
        SetHighlightColor(clBtnHighlight);
        SetShadowColor(clBtnShadow);
        if (p.faceColour)
            SetFontColor(clBtnFace);
        break;
    }
    applyingPreset_ = false;
    update();
}

void TProCustomLabel::SetVerticalAlignment(TVerticalAlignment v)
{
    if (!StoreChanged(verticalAlignment_, v))
        return;
    update();
}

void TProCustomLabel::SetVerticalAlignmentOrd(int v)
{
    if (v >= 0 && v <= 2)
        SetVerticalAlignment(TVerticalAlignment(v));
}

int TProCustomLabel::TextFlags() const
{
    int flags = Qt::AlignTop | Qt::TextExpandTabs;
    switch (alignment_) {
    case taLeftJustify: flags |= Qt::AlignLeft; break;
    case taRightJustify: flags |= Qt::AlignRight; break;
    case taCenter: flags |= Qt::AlignHCenter; break;
    }
    if (wordWrap_)
        flags |= Qt::TextWordWrap;
    if (showAccelChar_)
        flags |= Qt::TextShowMnemonic;
    return flags;
}

QString TProCustomLabel::DisplayText() const
{
    QString s = FromAnsi(caption_);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QSize TProCustomLabel::sizeHint() const
{
    QString text = DisplayText();
    // An empty caption (or a lone accelerator sign) still measures one line.
    if (text.isEmpty() || (showAccelChar_ && text == QLatin1String("&")))
        text += QLatin1Char(' ');
    const QFontMetrics fm(font());
    if (wordWrap_) {
        const QRect r = fm.boundingRect(QRect(0, 0, std::max(1, width()), INT_MAX / 4), TextFlags(),
                                        text);
        return QSize(width(), r.height());
    }
    const QRect r = fm.boundingRect(QRect(0, 0, 0, 0), TextFlags() & ~Qt::TextWordWrap, text);
    return QSize(r.width(), r.height());
}

void TProCustomLabel::AdjustBounds()
{
    if (!autoSize_ || adjusting_)
        return;
    adjusting_ = true;
    const QSize s = sizeHint();
    int x = this->x();
    if (alignment_ == taRightJustify)
        x += width() - s.width();
    setGeometry(x, y(), s.width(), s.height());
    adjusting_ = false;
}

void TProCustomLabel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setFont(font());
    const QFontMetrics fm(font());
    const QString text = DisplayText();
    const int flags = TextFlags();
    const int cw = width();
    const int ch = height();

    if (!transparent_ && !parentColor_)
        p.fillRect(rect(), ColorToQColor(color_));

    TRect r(0, 0, cw, ch);
    if (angle_ != 0) {
        const int W = fm.horizontalAdvance(text);
        const int H = fm.height();
        const int Wc = int(W * cos_), Ws = int(W * sin_);
        const int Hc = int(H * cos_), Hs = int(H * sin_);
        int w = 0, h = 0;
        if (angle_ < 90) {
            w = Wc + Hs;
            h = Ws + Hc;
        } else if (angle_ < 180) {
            w = Hs - Wc;
            h = Ws - Hc;
        } else if (angle_ < 270) {
            w = -Wc - Hs;
            h = -Ws - Hc;
        } else {
            w = Wc - Hs;
            h = Hc - Ws;
        }
        w = std::min(w, cw);
        h = std::min(h, ch);
        int dx = 0, dy = 0;
        if (alignment_ == taCenter)
            dx = (cw - w) / 2;
        else if (alignment_ == taRightJustify)
            dx = cw - w;
        if (verticalAlignment_ == TVerticalAlignment::vaCenter)
            dy = (ch - h) / 2;
        else if (verticalAlignment_ == TVerticalAlignment::vaBottom)
            dy = ch - h;
        // The start of the rotated text within its box.
        if (angle_ < 90) {
            dy += Ws;
        } else if (angle_ < 180) {
            dx += -Wc;
            dy += h;
        } else if (angle_ < 270) {
            dx += w;
            dy += -Hc;
        } else {
            dx += -Hs;
        }
        r = TRect(dx, dy, dx + w, dy + h);
    } else if (verticalAlignment_ != TVerticalAlignment::vaTop) {
        const int t = fm.boundingRect(r.ToQRect(), flags, text).height();
        const int oldBottom = r.Bottom;
        r.Bottom = r.Top + t;
        const int delta = oldBottom - r.Bottom;
        const int shift = verticalAlignment_ == TVerticalAlignment::vaCenter ? delta / 2 : delta;
        r.Top += shift;
        r.Bottom += shift;
    }
    r.Left += offsetX_;
    r.Right += offsetX_;
    r.Top += offsetY_;
    r.Bottom += offsetY_;

    auto moved = [](TRect a, int dx, int dy) {
        a.Left += dx;
        a.Right += dx;
        a.Top += dy;
        a.Bottom += dy;
        return a;
    };
    auto drawCopy = [&](const TRect &at, TColor colour) {
        p.setPen(ColorToQColor(colour));
        if (angle_ != 0) {
            p.save();
            p.translate(at.Left, at.Top);
            p.rotate(-angle_);
            p.drawText(QPointF(0, fm.ascent()), text);
            p.restore();
        } else {
            p.drawText(at.ToQRect(), flags, text);
        }
    };

    if (!isEnabled()) {
        drawCopy(moved(r, 1, 1), clBtnHighlight);
        drawCopy(r, clBtnShadow);
        return;
    }
    if (shadowStyle_ != TShadowStyle::ssNone) {
        const TDirectionStep s = DirectionStep(shadowDirection_);
        TRect at = moved(r, s.dx * shadowDepth_, s.dy * shadowDepth_);
        for (int i = 0; i < shadowSize_; ++i) {
            drawCopy(at, shadowColor_);
            at = moved(at, s.dx, s.dy);
        }
        const TDirectionStep h = DirectionStep(highlightDirection_);
        drawCopy(moved(r, h.dx * highlightDepth_, h.dy * highlightDepth_), highlightColor_);
    }
    drawCopy(r, fontColor_);
}

void TProCustomLabel::MouseEnter()
{
    if (OnMouseEnter)
        OnMouseEnter(this);
}

void TProCustomLabel::MouseLeave()
{
    if (OnMouseLeave)
        OnMouseLeave(this);
}

void TProCustomLabel::FontChanged() {}

void TProCustomLabel::Click()
{
    emit clicked();
}

bool TProCustomLabel::WantsMouse() const
{
    return isSignalConnected(QMetaMethod::fromSignal(&TProCustomLabel::clicked));
}

void TProCustomLabel::enterEvent(QEnterEvent *event)
{
    QWidget::enterEvent(event);
    MouseEnter();
}

void TProCustomLabel::leaveEvent(QEvent *event)
{
    QWidget::leaveEvent(event);
    MouseLeave();
}

void TProCustomLabel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        AdjustBounds();
        FontChanged();
        update();
    } else if (event->type() == QEvent::EnabledChange) {
        update();
    }
}

void TProCustomLabel::mousePressEvent(QMouseEvent *event)
{
    if (!WantsMouse()) {
        event->ignore();
        return;
    }
    if (event->button() == Qt::LeftButton)
        leftDown_ = true;
    event->accept();
}

void TProCustomLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    const bool wasDown = leftDown_;
    leftDown_ = false;
    if (wasDown && rect().contains(event->position().toPoint()))
        Click();
    event->accept();
}

void TProCustomLabel::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (wordWrap_)
        AdjustBounds();
}

// ---- TProLabel -------------------------------------------------------------------

TProLabel::TProLabel(QWidget *parent) : TProCustomLabel(parent) {}

// ==== date and time formatting =======================================================

namespace {

const char *const ShortDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char *const LongDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                    "Thursday", "Friday", "Saturday"};
const char *const ShortMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char *const LongMonthNames[] = {"January", "February", "March",     "April",
                                      "May",     "June",     "July",      "August",
                                      "September", "October", "November", "December"};
const char *const ShortDateFormat = "m/d/yyyy";
const char *const LongDateFormat = "dddd, mmmm d, yyyy";
const char *const ShortTimeFormat = "h:nn AMPM";
const char *const LongTimeFormat = "h:nn:ss AMPM";

bool StartsWithNoCase(const std::string &s, size_t i, const char *word)
{
    for (size_t k = 0; word[k]; ++k) {
        if (i + k >= s.size() || std::tolower(static_cast<unsigned char>(s[i + k])) != word[k])
            return false;
    }
    return true;
}

// Whether the format shows hours on the twelve-hour clock.
bool HasAmPm(const std::string &f)
{
    char quote = 0;
    for (size_t i = 0; i < f.size(); ++i) {
        if (quote) {
            if (f[i] == quote)
                quote = 0;
        } else if (f[i] == '"' || f[i] == '\'') {
            quote = f[i];
        } else if (StartsWithNoCase(f, i, "am/pm") || StartsWithNoCase(f, i, "a/p") ||
                   StartsWithNoCase(f, i, "ampm")) {
            return true;
        }
    }
    return false;
}

std::string Two(int v)
{
    return (v < 10 ? "0" : "") + std::to_string(v);
}

void AppendFormatted(std::string &out, const std::string &f, TDateTime when, int depth)
{
    if (depth > 2)
        return;
    int year, month, day, hour, minute, sec, msec;
    DecodeDate(when, year, month, day);
    DecodeTime(when, hour, minute, sec, msec);
    const bool twelve = HasAmPm(f);
    const int shownHour = twelve ? (hour % 12 == 0 ? 12 : hour % 12) : hour;
    bool afterHour = false;
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < f.size() && std::tolower(static_cast<unsigned char>(f[i + n])) == c)
            ++n;
        return n;
    };
    while (i < f.size()) {
        const char c = f[i];
        const char lc = char(std::tolower(static_cast<unsigned char>(c)));
        if (c == '"' || c == '\'') {
            const size_t end = f.find(c, i + 1);
            const size_t stop = end == std::string::npos ? f.size() : end;
            out += f.substr(i + 1, stop - i - 1);
            i = stop == f.size() ? stop : stop + 1;
            continue;
        }
        if (lc == 'a') {
            if (StartsWithNoCase(f, i, "am/pm")) {
                out += hour < 12 ? "am" : "pm";
                if (std::isupper(static_cast<unsigned char>(c)))
                    for (size_t k = out.size() - 2; k < out.size(); ++k)
                        out[k] = char(std::toupper(static_cast<unsigned char>(out[k])));
                i += 5;
                continue;
            }
            if (StartsWithNoCase(f, i, "a/p")) {
                const char ch = hour < 12 ? 'a' : 'p';
                out += std::isupper(static_cast<unsigned char>(c)) ? char(std::toupper(ch)) : ch;
                i += 3;
                continue;
            }
            if (StartsWithNoCase(f, i, "ampm")) {
                out += hour < 12 ? "AM" : "PM";
                i += 4;
                continue;
            }
        }
        switch (lc) {
        case 'c': {
            AppendFormatted(out, ShortDateFormat, when, depth + 1);
            if (hour || minute || sec || msec) {
                out += ' ';
                AppendFormatted(out, LongTimeFormat, when, depth + 1);
            }
            ++i;
            break;
        }
        case 'd': {
            const size_t n = run('d');
            if (n == 1) out += std::to_string(day);
            else if (n == 2) out += Two(day);
            else if (n == 3) out += ShortDayNames[DayOfWeek(when) - 1];
            else if (n == 4) out += LongDayNames[DayOfWeek(when) - 1];
            else if (n == 5) AppendFormatted(out, ShortDateFormat, when, depth + 1);
            else AppendFormatted(out, LongDateFormat, when, depth + 1);
            i += std::min<size_t>(n, 6);
            break;
        }
        case 'm': {
            const size_t n = std::min<size_t>(run('m'), 4);
            if (afterHour && n <= 2) {
                out += n == 1 ? std::to_string(minute) : Two(minute);
            } else if (n == 1) {
                out += std::to_string(month);
            } else if (n == 2) {
                out += Two(month);
            } else if (n == 3) {
                out += ShortMonthNames[month - 1];
            } else {
                out += LongMonthNames[month - 1];
            }
            afterHour = false;
            i += n;
            break;
        }
        case 'y': {
            const size_t n = run('y');
            out += n <= 2 ? Two(year % 100) : std::to_string(year);
            i += n;
            break;
        }
        case 'h': {
            const size_t n = std::min<size_t>(run('h'), 2);
            out += n == 1 ? std::to_string(shownHour) : Two(shownHour);
            afterHour = true;
            i += n;
            break;
        }
        case 'n': {
            const size_t n = std::min<size_t>(run('n'), 2);
            out += n == 1 ? std::to_string(minute) : Two(minute);
            i += n;
            break;
        }
        case 's': {
            const size_t n = std::min<size_t>(run('s'), 2);
            out += n == 1 ? std::to_string(sec) : Two(sec);
            i += n;
            break;
        }
        case 'z': {
            const size_t n = run('z');
            std::string z = std::to_string(msec);
            if (n >= 3)
                z.insert(0, 3 - z.size(), '0');
            out += z;
            i += std::min<size_t>(n, 3);
            break;
        }
        case 't': {
            const size_t n = std::min<size_t>(run('t'), 2);
            AppendFormatted(out, n == 1 ? ShortTimeFormat : LongTimeFormat, when, depth + 1);
            i += n;
            break;
        }
        case '/':
            out += '/';
            ++i;
            break;
        case ':':
            out += ':';
            ++i;
            break;
        default:
            out += c;
            ++i;
            break;
        }
    }
}

} // namespace

std::string FormatDateTime(const std::string &format, TDateTime when)
{
    std::string out;
    AppendFormatted(out, format.empty() ? std::string("c") : format, when, 0);
    return out;
}

// ==== TProClockLabel ====================================================================

TProClockLabel::TProClockLabel(QWidget *parent) : TProLabel(parent)
{
    ShowTime();
    timer_ = new QTimer(this);
    timer_->setInterval(1000);
    connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
    timer_->start();
}

TProClockLabel::~TProClockLabel()
{
    delete timer_;
}

void TProClockLabel::ShowTime()
{
    SetCaption(FormatDateTime(format_, Clock()));
}

void TProClockLabel::Tick()
{
    ShowTime();
    if (OnTimer)
        OnTimer(this);
}

void TProClockLabel::SetFormat(const std::string &format)
{
    if (!StoreChanged(format_, format))
        return;
    ShowTime();
}

void TProClockLabel::SetEnabled(bool on)
{
    if (on == isEnabled())
        return;
    setEnabled(on);
    if (on)
        timer_->start();
    else
        timer_->stop();
}

unsigned TProClockLabel::Interval() const
{
    return unsigned(timer_->interval());
}

void TProClockLabel::SetInterval(unsigned ms)
{
    const int v = int(std::min<unsigned>(ms, INT_MAX));
    if (v != timer_->interval())
        timer_->setInterval(v);
}

// ==== TProLabelEdit ===================================================================

TProLabelEdit::TProLabelEdit(QWidget *parent) : TMouseEvents(parent)
{
    edit_ = new QLineEdit(this);
    label_ = new TProLabel(this);
    label_->SetAutoSize(false);
    label_->SetAlignment(taLeftJustify);
    label_->SetVerticalAlignment(TVerticalAlignment::vaCenter);
    label_->SetCaption("LabelEdit:");
    label_->setFocusProxy(edit_);
    setFocusProxy(edit_);
    edit_->installEventFilter(this);
    connect(edit_, &QLineEdit::textChanged, this, [this] {
        if (OnChange)
            OnChange(this);
    });
    connect(edit_, &QLineEdit::textEdited, this, [this](const QString &t) {
        if (charCase_ == ecNormal)
            return;
        const QString c = charCase_ == ecUpperCase ? t.toUpper() : t.toLower();
        if (c != t) {
            const int pos = edit_->cursorPosition();
            edit_->setText(c);
            edit_->setCursorPosition(pos);
        }
    });
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    SetBounds(x(), y(), 250, 21);
}

QSize TProLabelEdit::sizeHint() const
{
    return QSize(250, autoSize_ ? EditHeight() : height());
}

int TProLabelEdit::EditHeight() const
{
    return edit_->sizeHint().height();
}

void TProLabelEdit::SetBounds(int left, int top, int width, int height)
{
    if (autoSize_)
        height = EditHeight();
    setGeometry(left, top, width, height);
    LayoutChildren();
}

void TProLabelEdit::Loaded()
{
    loading_ = false;
    SetBounds(x(), y(), width(), height());
}

void TProLabelEdit::LayoutChildren()
{
    if (loading_)
        return;
    // The label is always on the left; with lpTop only the measures change.
    const int lw = LabelWidth();
    label_->setGeometry(0, 0, lw, height());
    edit_->setGeometry(lw + gap_, 0, std::max(0, width() - lw - gap_), height());
}

void TProLabelEdit::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    LayoutChildren();
}

void TProLabelEdit::SetAutoSize(bool on)
{
    if (!StoreChanged(autoSize_, on))
        return;
    setSizePolicy(QSizePolicy::Preferred, on ? QSizePolicy::Fixed : QSizePolicy::Preferred);
    if (on)
        SetBounds(x(), y(), width(), height());
}

void TProLabelEdit::SetGap(int gap)
{
    if (!StoreChanged(gap_, gap))
        return;
    LayoutChildren();
}

void TProLabelEdit::SetLabelPosition(TProLabelPosition p)
{
    if (!StoreChanged(labelPosition_, p))
        return;
    LayoutChildren();
}

int TProLabelEdit::LabelWidth() const
{
    return labelPosition_ == lpTop ? width() : labelWidth_;
}

void TProLabelEdit::SetLabelWidth(int w)
{
    if (!StoreChanged(labelWidth_, w))
        return;
    edit_->move(w, edit_->y());
    LayoutChildren();
}

int TProLabelEdit::LabelHeight() const
{
    return labelPosition_ == lpTop ? labelHeight_ : height();
}

void TProLabelEdit::SetLabelHeight(int h)
{
    if (labelPosition_ != lpTop || h == labelHeight_)
        return;
    labelHeight_ = h;
    edit_->move(edit_->x(), h);
    LayoutChildren();
}

void TProLabelEdit::SetLabelColor(TColor c)
{
    labelColor_ = c;
    update();
}

std::string TProLabelEdit::Text() const
{
    return ToAnsi(edit_->text());
}

void TProLabelEdit::SetText(const std::string &text)
{
    edit_->setText(FromAnsi(text));
}

void TProLabelEdit::SetColor(TColor c)
{
    editColor_ = c;
    QPalette pal = edit_->palette();
    pal.setColor(QPalette::Base, ColorToQColor(c));
    edit_->setPalette(pal);
}

TBorderStyle TProLabelEdit::BorderStyle() const
{
    return edit_->hasFrame() ? TBorderStyle::bsSingle : TBorderStyle::bsNone;
}

void TProLabelEdit::SetBorderStyle(TBorderStyle s)
{
    edit_->setFrame(s == TBorderStyle::bsSingle);
}

void TProLabelEdit::SetCharCase(TEditCharCase c)
{
    charCase_ = c;
    if (c == ecUpperCase)
        edit_->setText(edit_->text().toUpper());
    else if (c == ecLowerCase)
        edit_->setText(edit_->text().toLower());
}

int TProLabelEdit::MaxLength() const
{
    return edit_->maxLength() == 32767 ? 0 : edit_->maxLength();
}

void TProLabelEdit::SetMaxLength(int n)
{
    edit_->setMaxLength(n > 0 ? n : 32767);
}

void TProLabelEdit::SetPasswordChar(char c)
{
    passwordChar_ = c;
    edit_->setEchoMode(c ? QLineEdit::Password : QLineEdit::Normal);
}

bool TProLabelEdit::ReadOnly() const
{
    return edit_->isReadOnly();
}

void TProLabelEdit::SetReadOnly(bool on)
{
    edit_->setReadOnly(on);
}

void TProLabelEdit::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        label_->setFont(font());
        edit_->setFont(font());
        updateGeometry();
        if (autoSize_)
            SetBounds(x(), y(), width(), height());
    }
}

bool TProLabelEdit::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == edit_ && event->type() == QEvent::FocusIn && autoSelect_)
        QTimer::singleShot(0, edit_, [e = edit_] { e->selectAll(); });
    return QWidget::eventFilter(watched, event);
}

void TProLabelEdit::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), ColorToQColor(labelColor_));
}

// ==== buttons =========================================================================

TProButtonKindInfo ProButtonKindInfo(TProButtonKind kind)
{
    struct Role {
        int modalResult;
        bool isDefault, isCancel;
    };
    static const Role roles[] = {
        {mrOk, true, false},    {mrCancel, false, true}, {mrNone, false, false},
        {mrYes, true, false},   {mrNo, false, true},     {mrNone, false, false},
        {mrAbort, false, false}, {mrRetry, false, false}, {mrIgnore, false, false},
        {mrAll, false, false},  {mrNoToAll, true, false}, {mrNone, false, false},
        {mrNone, true, false},  {mrYesToAll, true, false},
    };
    TProButtonKindInfo info{};
    if (kind == pbkCustom || int(kind) >= ProButtonKindCount)
        return info;
    if (kind == pbkOk) {
        info.base = pbbOk;
        info.language = 0;
    } else {
        info.base = TProButtonBase(1 + (kind - pbkCancel) / ProButtonLanguageCount);
        info.language = (kind - pbkCancel) % ProButtonLanguageCount;
    }
    info.captionId = kind == pbkYesSlk ? SProYesSlk
                                       : SProButtonCaptions + info.base + 20 * info.language;
    info.modalResult = roles[info.base].modalResult;
    info.isDefault = roles[info.base].isDefault;
    info.isCancel = roles[info.base].isCancel;
    return info;
}

std::string ProButtonKindCaption(TProButtonKind kind)
{
    if (kind == pbkCustom || int(kind) >= ProButtonKindCount)
        return {};
    return ProLoadStr(ProButtonKindInfo(kind).captionId);
}

std::string ProButtonKindName(TProButtonKind kind)
{
    static const char *const bases[] = {"Ok",     "Cancel", "Help", "Yes",  "No",
                                        "Close",  "Abort",  "Retry", "Ignore", "All",
                                        "Done",   "Prev",   "Next", "Finish"};
    static const char *const languages[] = {"",    "Rus", "Ukr", "Fr",  "Por", "Esp",
                                            "Ger", "Dan", "Ita", "Swe", "Dut", "Pol",
                                            "Hun", "Tur", "Slk", "Kor"};
    if (kind == pbkCustom || int(kind) >= ProButtonKindCount)
        return "pbkCustom";
    const TProButtonKindInfo info = ProButtonKindInfo(kind);
    return std::string("pbk") + bases[info.base] + languages[info.language];
}

namespace {
std::function<void(int)> &HelpViewer()
{
    static std::function<void(int)> viewer;
    return viewer;
}
} // namespace

int HelpContext(const QWidget *w)
{
    return w ? w->property("HelpContext").toInt() : 0;
}

void SetHelpContext(QWidget *w, int context)
{
    w->setProperty("HelpContext", context);
}

void SetApplicationHelp(std::function<void(int context)> show)
{
    HelpViewer() = std::move(show);
}

void ApplicationHelpContext(int context)
{
    if (HelpViewer())
        HelpViewer()(context);
}

TProButton::TProButton(QWidget *parent) : QPushButton(parent)
{
    setAutoDefault(false);
    resize(75, 25);
    connect(this, &QPushButton::clicked, this, [this] { Click(); });
}

TProButtonKind TProButton::Kind()
{
    if (kind_ != pbkCustom) {
        const TProButtonKindInfo info = ProButtonKindInfo(kind_);
        if (info.isDefault != isDefault() || info.isCancel != cancel_ ||
            info.modalResult != modalResult_)
            kind_ = pbkCustom;
    }
    return kind_;
}

void TProButton::SetKind(TProButtonKind kind)
{
    if (!StoreChanged(kind_, kind))
        return;
    if (kind == pbkCustom)
        return;
    const TProButtonKindInfo info = ProButtonKindInfo(kind);
    setDefault(info.isDefault);
    SetCancel(info.isCancel);
    if (!(loading_ && captionRead_))
        setText(QString::fromStdString(ProButtonKindCaption(kind)));
    modalResult_ = info.modalResult;
}

std::string TProButton::Caption() const
{
    return ToAnsi(text());
}

void TProButton::SetCaption(const std::string &caption)
{
    if (loading_)
        captionRead_ = true;
    setText(FromAnsi(caption));
}

bool TProButton::CaptionStored() const
{
    return kind_ == pbkCustom || text().toStdString() != ProButtonKindCaption(kind_);
}

void TProButton::SetLoading(bool on)
{
    loading_ = on;
    captionRead_ = false;
}

void TProButton::SetCancel(bool on)
{
    cancel_ = on;
    if (on && !escape_) {
        escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
        escape_->setContext(Qt::WindowShortcut);
        connect(escape_, &QShortcut::activated, this, [this] {
            if (isEnabled() && isVisible())
                click();
        });
    }
    if (escape_)
        escape_->setEnabled(on);
}

void TProButton::Click()
{
    const TProButtonKindInfo info = ProButtonKindInfo(kind_);
    if (kind_ != pbkCustom && info.base == pbbHelp) {
        for (const QWidget *w = this; w; w = w->parentWidget()) {
            if (const int context = HelpContext(w)) {
                ApplicationHelpContext(context);
                return;
            }
        }
    } else if (kind_ != pbkCustom && info.base == pbbClose && window() != this) {
        window()->close();
        return;
    }
    if (OnClick)
        OnClick(this);
    if (modalResult_ != mrNone) {
        if (auto *dialog = qobject_cast<QDialog *>(window()); dialog && dialog->isModal())
            dialog->done(modalResult_);
    }
}

TProSpeedButton::TProSpeedButton(QWidget *parent) : QToolButton(parent)
{
    setAutoRaise(true);
    resize(25, 25);
    connect(this, &QToolButton::clicked, this, [this] { Click(); });
}

void TProSpeedButton::Click()
{
    if (OnClick)
        OnClick(this);
}

void TProSpeedButton::SetRepeatEnabled(bool on)
{
    repeatEnabled_ = on;
    if (!on && timer_)
        timer_->stop();
}

void TProSpeedButton::mousePressEvent(QMouseEvent *event)
{
    QToolButton::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        captured_ = true;
    if (repeatEnabled_) {
        if (!timer_) {
            timer_ = new QTimer(this);
            connect(timer_, &QTimer::timeout, this, [this] { Tick(); });
        }
        timer_->setInterval(int(std::min<unsigned>(repeatInitInterval_, INT_MAX)));
        timer_->start();
    }
}

void TProSpeedButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        captured_ = false;
    if (timer_)
        timer_->stop();
    QToolButton::mouseReleaseEvent(event);
}

void TProSpeedButton::Tick()
{
    if (timer_)
        timer_->setInterval(int(std::min<unsigned>(repeatInterval_, INT_MAX)));
    if (isDown() && captured_) {
        try {
            Click();
        } catch (...) {
            if (timer_)
                timer_->stop();
            throw;
        }
    }
}

// ==== list box ============================================================================

TProCustomListBox::TProCustomListBox(QWidget *parent) : QListWidget(parent)
{
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    resize(121, 97);
    QAbstractItemModel *m = model();
    auto watch = [this, m](auto signal, auto handler) {
        modelConnections_.push_back(connect(m, signal, this, handler));
    };
    watch(&QAbstractItemModel::rowsInserted, [this](const QModelIndex &, int first, int last) {
        for (int r = first; r <= last; ++r) {
            const int w = MeasureItem(item(r) ? item(r)->text() : QString());
            if (w > widest_)
                widest_ = uint16_t(w);
        }
        SetHorizontalExtent();
    });
    watch(&QAbstractItemModel::rowsAboutToBeRemoved, [this](const QModelIndex &, int first, int last) {
        for (int r = first; r <= last; ++r)
            if (item(r) && MeasureItem(item(r)->text()) == widest_)
                resetAfterRemove_ = true;
    });
    watch(&QAbstractItemModel::rowsRemoved, [this] {
        if (resetAfterRemove_) {
            resetAfterRemove_ = false;
            ResetHorizontalExtent();
        }
    });
    watch(&QAbstractItemModel::modelReset, [this] {
        widest_ = 0;
        SetHorizontalExtent();
    });
    // A text changed in place is measured with all the others.
    watch(&QAbstractItemModel::dataChanged, [this] { ResetHorizontalExtent(); });
}

TProCustomListBox::~TProCustomListBox()
{
    for (const QMetaObject::Connection &c : modelConnections_)
        disconnect(c);
}

int TProCustomListBox::MeasureItem(const QString &s) const
{
    // One capital I more, so that the last letter never hides under the end
    // of the scroll range. The width is kept to 16 bits.
    const int w = QFontMetrics(font()).horizontalAdvance(s + QLatin1Char('I'));
    return std::min(w, 0xFFFF);
}

void TProCustomListBox::ResetHorizontalExtent()
{
    int widest = 0;
    for (int r = 0; r < count(); ++r)
        widest = std::max(widest, MeasureItem(item(r)->text()));
    widest_ = uint16_t(widest);
    SetHorizontalExtent();
}

void TProCustomListBox::SetHorizontalExtent()
{
    const unsigned total = horzScrollExtent_ + (autoHorzScroll_ ? widest_ : 0u);
    horizontalExtent_ = int(std::min<unsigned>(total, 0xFFFF));
    updateGeometries();
}

void TProCustomListBox::updateGeometries()
{
    QListWidget::updateGeometries();
    const int page = viewport()->width();
    horizontalScrollBar()->setPageStep(page);
    horizontalScrollBar()->setRange(0, std::max(0, horizontalExtent_ - page));
}

void TProCustomListBox::changeEvent(QEvent *event)
{
    QListWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        ResetHorizontalExtent();
}

void TProCustomListBox::SetAutoHorzScroll(bool on)
{
    if (!StoreChanged(autoHorzScroll_, on))
        return;
    ResetHorizontalExtent();
}

void TProCustomListBox::SetHorzScrollExtent(unsigned extra)
{
    if (!StoreChanged(horzScrollExtent_, extra))
        return;
    ResetHorizontalExtent();
}

void TProCustomListBox::AddItem(const std::string &s)
{
    addItem(FromAnsi(s));
}

void TProCustomListBox::InsertItem(int index, const std::string &s)
{
    insertItem(index, FromAnsi(s));
}

void TProCustomListBox::DeleteItem(int index)
{
    delete takeItem(index);
}

void TProCustomListBox::Clear()
{
    clear();
}

std::string TProCustomListBox::Item(int index) const
{
    const QListWidgetItem *it = item(index);
    return it ? ToAnsi(it->text()) : std::string();
}

// ==== bevels ==========================================================================

TBevelColors BevelColors(TBevelCut cut, bool ctl3D)
{
    if (cut == bvLowered)
        return {clBtnShadow, clBtnHighlight, clBtnText, cl3DLight};
    return {clBtnHighlight, ctl3D ? clBtnText : clBtnShadow, cl3DLight, clBtnShadow};
}

void DrawBevel(QPainter &canvas, TRect &rect, TBevelCut cut, bool ctl3D, TSides sides, int width,
               TColor spaceColor)
{
    if (cut == bvNone)
        return;
    if (cut == bvSpace) {
        // A space bevel only takes its room.
        const int w = ctl3D ? 2 : width;
        if (spaceColor != clNone) {
            Frame3DSides(canvas, rect, sides, spaceColor, spaceColor, w);
        } else {
            for (int i = 0; i < w; ++i) {
                if (sides & SideBit(sdLeft)) ++rect.Left;
                if (sides & SideBit(sdTop)) ++rect.Top;
                if (sides & SideBit(sdRight)) --rect.Right;
                if (sides & SideBit(sdBottom)) --rect.Bottom;
            }
        }
        return;
    }
    const TBevelColors c = BevelColors(cut, ctl3D);
    if (ctl3D) {
        Frame3DSides(canvas, rect, sides, c.top1, c.bottom1, 1);
        Frame3DSides(canvas, rect, sides, c.top2, c.bottom2, 1);
    } else {
        Frame3DSides(canvas, rect, sides, c.top1, c.bottom1, width);
    }
}

void DrawBevelFrame(QPainter &canvas, TRect &rect, const TBevelFrameValues &f, TColor spaceColor)
{
    DrawBevel(canvas, rect, f.outer, f.ctl3D, f.sides, f.bevelWidth, spaceColor);
    if (f.borderWidth > 0)
        Frame3DSides(canvas, rect, f.sides, f.borderColor, f.borderColor, f.borderWidth);
    DrawBevel(canvas, rect, f.inner, f.ctl3D, f.sides, f.bevelWidth, spaceColor);
}

TRect BevelFrameInside(TRect r, const TBevelFrameValues &f)
{
    auto shrink = [&](int w) {
        if (f.sides & SideBit(sdLeft)) r.Left += w;
        if (f.sides & SideBit(sdTop)) r.Top += w;
        if (f.sides & SideBit(sdRight)) r.Right -= w;
        if (f.sides & SideBit(sdBottom)) r.Bottom -= w;
    };
    const int bevel = f.ctl3D ? 2 : f.bevelWidth;
    if (f.outer != bvNone) shrink(bevel);
    shrink(std::max(0, f.borderWidth));
    if (f.inner != bvNone) shrink(bevel);
    return r;
}

// ==== TProCustomPanel =====================================================================

TProCustomPanel::TProCustomPanel(QWidget *parent) : TBevelFrame(parent)
{
    resize(185, 41);
    FrameChanged();
}

void TProCustomPanel::FrameChanged()
{
    const TRect a = ClientArea();
    setContentsMargins(a.Left, a.Top, width() - a.Right, height() - a.Bottom);
    update();
}

TRect TProCustomPanel::ClientArea() const
{
    TRect r(0, 0, width(), height());
    if (borderStyle_ == TBorderStyle::bsSingle)
        r = TRect(1, 1, width() - 1, height() - 1);
    return BevelFrameInside(r, frame_);
}

void TProCustomPanel::SetCaption(const std::string &c)
{
    if (!StoreChanged(caption_, c))
        return;
    update();
}

void TProCustomPanel::SetAlignment(TAlignment a)
{
    if (!StoreChanged(alignment_, a))
        return;
    update();
}

void TProCustomPanel::SetColor(TColor c)
{
    if (!StoreChanged(color_, c))
        return;
    update();
}

void TProCustomPanel::SetBorderStyle(TBorderStyle s)
{
    if (!StoreChanged(borderStyle_, s))
        return;
    FrameChanged();
}

void TProCustomPanel::SetVerticalAlignment(TVerticalAlignment v)
{
    if (!StoreChanged(verticalAlignment_, v))
        return;
    update();
}

void TProCustomPanel::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    TRect r(0, 0, width(), height());
    if (borderStyle_ == TBorderStyle::bsSingle)
        Frame3D(p, r, clWindowFrame, clWindowFrame, 1);
    DrawBevelFrame(p, r, frame_, color_);
    if (!r.IsEmpty())
        p.fillRect(r.ToQRect(), ColorToQColor(color_));
    if (caption_.empty())
        return;
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    int flags = Qt::TextExpandTabs | Qt::TextWordWrap | Qt::TextShowMnemonic | Qt::AlignTop;
    flags |= alignment_ == taLeftJustify    ? Qt::AlignLeft
             : alignment_ == taRightJustify ? Qt::AlignRight
                                            : Qt::AlignHCenter;
    QString text = FromAnsi(caption_);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (verticalAlignment_ != TVerticalAlignment::vaTop) {
        const int h = QFontMetrics(font()).boundingRect(r.ToQRect(), flags, text).height();
        const int oldBottom = r.Bottom;
        r.Bottom = r.Top + h;
        const int delta = oldBottom - r.Bottom;
        const int shift = verticalAlignment_ == TVerticalAlignment::vaCenter ? delta / 2 : delta;
        r.Top += shift;
        r.Bottom += shift;
    }
    p.setClipRect(ClientArea().ToQRect());
    p.drawText(r.ToQRect(), flags, text);
}

void TProCustomPanel::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        update();
}

// ==== TProBorder ==========================================================================

TProBorder::TProBorder(QWidget *parent) : TBevelFrame(parent)
{
    frame_.outer = bvLowered;
    resize(50, 50);
}

void TProBorder::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    TRect r(0, 0, width(), height());
    DrawBevelFrame(p, r, frame_, clNone);
}

// ==== TProMouseRegion =======================================================================

TProMouseRegion::TProMouseRegion(QWidget *parent) : TMouseEvents(parent)
{
    setGeometry(0, 0, 105, 105);
}

// ==== TProPicture and TProImage ================================================================

int TProPicture::Width() const
{
    if (!bitmap_.isNull())
        return bitmap_.width();
    return metafile_.isNull() ? 0 : metafile_.boundingRect().right() + 1;
}

int TProPicture::Height() const
{
    if (!bitmap_.isNull())
        return bitmap_.height();
    return metafile_.isNull() ? 0 : metafile_.boundingRect().bottom() + 1;
}

void TProPicture::SetBitmap(const QImage &image)
{
    metafile_ = QPicture();
    bitmap_ = image;
}

void TProPicture::SetMetafile(const QPicture &picture)
{
    bitmap_ = QImage();
    metafile_ = picture;
}

void TProPicture::Clear()
{
    bitmap_ = QImage();
    metafile_ = QPicture();
}

void TProPicture::Draw(QPainter &p, const QRect &dest) const
{
    if (!bitmap_.isNull()) {
        if (!transparent_ || bitmap_.height() == 0) {
            p.drawImage(dest, bitmap_);
            return;
        }
        // The bottom-left pixel's colour is the transparent one.
        QImage keyed = bitmap_.convertToFormat(QImage::Format_ARGB32);
        const QRgb key = keyed.pixel(0, keyed.height() - 1) | 0xFF000000u;
        for (int y = 0; y < keyed.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(keyed.scanLine(y));
            for (int x = 0; x < keyed.width(); ++x)
                if ((line[x] | 0xFF000000u) == key)
                    line[x] = 0;
        }
        p.drawImage(dest, keyed);
    } else if (!metafile_.isNull()) {
        const int w = Width(), h = Height();
        if (w <= 0 || h <= 0)
            return;
        p.save();
        p.translate(dest.topLeft());
        p.scale(double(dest.width()) / w, double(dest.height()) / h);
        p.drawPicture(0, 0, metafile_);
        p.restore();
    }
}

TProImage::TProImage(QWidget *parent) : TMouseEvents(parent)
{
    resize(105, 105);
}

void TProImage::SetPicture(const TProPicture &picture)
{
    picture_ = picture;
    PictureChanged();
}

void TProImage::SetBitmap(const QImage &image)
{
    picture_.SetBitmap(image);
    PictureChanged();
}

QImage &TProImage::Canvas()
{
    if (picture_.Empty()) {
        QImage bmp(std::max(1, width()), std::max(1, height()), QImage::Format_RGB32);
        bmp.fill(Qt::white);
        picture_.SetBitmap(bmp);
        PictureChanged();
    }
    if (!picture_.HasBitmap())
        throw EInvalidOperation("Can only modify an image if it contains a bitmap");
    return picture_.Bitmap();
}

void TProImage::PictureChanged()
{
    if (autoSize_ && picture_.Width() > 0 && picture_.Height() > 0)
        resize(picture_.Width(), picture_.Height());
    picture_.SetTransparent(transparent_);
    const bool covers = picture_.Width() >= width() && picture_.Height() >= height();
    setAttribute(Qt::WA_OpaquePaintEvent,
                 !picture_.Empty() && !transparent_ && (stretch_ || covers));
    if (!drawing_)
        update();
}

void TProImage::SetAutoSize(bool on)
{
    autoSize_ = on;
    PictureChanged();
}

void TProImage::SetStretch(bool on)
{
    if (!StoreChanged(stretch_, on))
        return;
    PictureChanged();
}

void TProImage::SetCenter(bool on)
{
    if (!StoreChanged(center_, on))
        return;
    PictureChanged();
}

void TProImage::SetTiled(bool on)
{
    if (!StoreChanged(tiled_, on))
        return;
    PictureChanged();
}

void TProImage::SetTransparent(bool on)
{
    if (!StoreChanged(transparent_, on))
        return;
    PictureChanged();
}

QRect TProImage::DestRect() const
{
    if (stretch_)
        return rect();
    const int w = picture_.Width(), h = picture_.Height();
    if (center_)
        return QRect((width() - w) / 2, (height() - h) / 2, w, h);
    return QRect(0, 0, w, h);
}

void TProImage::Progress(TProgressStage stage, int percent, bool redrawNow, const QRect &r,
                         const std::string &msg)
{
    if (incrementalDisplay_ && redrawNow)
        repaint();
    if (OnProgress)
        OnProgress(this, stage, percent, redrawNow, r, msg);
}

void TProImage::paintEvent(QPaintEvent *)
{
    const bool wasDrawing = drawing_;
    drawing_ = true;
    QPainter p(this);
    tilesDrawn_ = 0;
    if (!tiled_) {
        picture_.Draw(p, DestRect());
    } else if (!picture_.Empty()) {
        const int pw = picture_.Width(), ph = picture_.Height();
        // A picture without area has nothing to repeat.
        if (pw > 0 && ph > 0 && width() > 0 && height() > 0) {
            QImage tiles(width(), height(), QImage::Format_ARGB32_Premultiplied);
            tiles.fill(Qt::transparent);
            QPainter tp(&tiles);
            for (int x = 0; x < width(); x += pw) {
                for (int y = 0; y < height(); y += ph) {
                    picture_.Draw(tp, QRect(x, y, pw, ph));
                    ++tilesDrawn_;
                }
            }
            tp.end();
            p.drawImage(0, 0, tiles);
        }
    }
    drawing_ = wasDrawing;
}
