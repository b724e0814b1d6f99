#include "controls/ProCtrls.h"

#include "platform/Cp1252.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

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
    if (caption == caption_)
        return;
    caption_ = caption;
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
    if (a == alignment_)
        return;
    alignment_ = a;
    update();
}

void TProCustomLabel::SetAutoSize(bool on)
{
    if (on == autoSize_)
        return;
    autoSize_ = on;
    AdjustBounds();
}

void TProCustomLabel::SetWordWrap(bool on)
{
    if (on == wordWrap_)
        return;
    wordWrap_ = on;
    AdjustBounds();
    update();
}

void TProCustomLabel::SetShowAccelChar(bool on)
{
    if (on == showAccelChar_)
        return;
    showAccelChar_ = on;
    AdjustBounds();
    update();
}

void TProCustomLabel::SetTransparent(bool on)
{
    if (on == transparent_)
        return;
    transparent_ = on;
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
    if (on == parentColor_)
        return;
    parentColor_ = on;
    update();
}

void TProCustomLabel::SetFontColor(TColor c)
{
    if (c == fontColor_)
        return;
    fontColor_ = c;
    update();
    FontChanged();
}

void TProCustomLabel::SetAngle(int value)
{
    int a = value % 360;
    if (a < 0)
        a += 360;
    if (a == angle_)
        return;
    angle_ = a;
    cos_ = std::cos(a * std::numbers::pi / 180.0);
    sin_ = std::sin(a * std::numbers::pi / 180.0);
    if (a > 0 && autoSize_)
        SetAutoSize(false);
    update();
}

void TProCustomLabel::SetOffsetX(int v)
{
    if (v == offsetX_)
        return;
    offsetX_ = v;
    if (v > 0 && autoSize_)
        SetAutoSize(false);
    update();
}

void TProCustomLabel::SetOffsetY(int v)
{
    if (v == offsetY_)
        return;
    offsetY_ = v;
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
    if (d == highlightDirection_)
        return;
    highlightDirection_ = d;
    ToCustom();
}

void TProCustomLabel::SetHighlightDepth(int d)
{
    if (d == highlightDepth_)
        return;
    highlightDepth_ = d;
    ToCustom();
}

void TProCustomLabel::SetHighlightColor(TColor c)
{
    if (c == highlightColor_)
        return;
    highlightColor_ = c;
    ToCustom();
}

void TProCustomLabel::SetShadowDirection(TDirection d)
{
    if (d == shadowDirection_)
        return;
    shadowDirection_ = d;
    ToCustom();
}

void TProCustomLabel::SetShadowDepth(int d)
{
    const auto v = TShadowDepth(std::clamp(d, 0, MaxShadowDepth));
    if (v == shadowDepth_)
        return;
    shadowDepth_ = v;
    ToCustom();
}

void TProCustomLabel::SetShadowSize(int s)
{
    const auto v = TShadowSize(std::clamp(s, 0, MaxShadowDepth));
    if (v == shadowSize_)
        return;
    shadowSize_ = v;
    ToCustom();
}

void TProCustomLabel::SetShadowColor(TColor c)
{
    if (c == shadowColor_)
        return;
    shadowColor_ = c;
    ToCustom();
}

void TProCustomLabel::SetShadowStyle(TShadowStyle s)
{
    if (s == shadowStyle_)
        return;
    shadowStyle_ = s;
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
    if (v == verticalAlignment_)
        return;
    verticalAlignment_ = v;
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
