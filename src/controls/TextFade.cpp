#include "controls/TextFade.h"

#include "platform/Cp1252.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <optional>

// ---- timers -------------------------------------------------------------------

TFaderTimer::~TFaderTimer() = default;

TQtFaderTimer::TQtFaderTimer() : timer_(std::make_unique<QTimer>())
{
    QObject::connect(timer_.get(), &QTimer::timeout, timer_.get(), [this] {
        if (OnTimer)
            OnTimer();
    });
}

TQtFaderTimer::~TQtFaderTimer() = default;

void TQtFaderTimer::Apply()
{
    if (enabled_)
        timer_->start(std::max(1, interval_));
    else
        timer_->stop();
}

void TQtFaderTimer::SetEnabled(bool on)
{
    if (on == enabled_)
        return;
    enabled_ = on;
    Apply();
}

void TQtFaderTimer::SetInterval(int ms)
{
    if (ms == interval_)
        return;
    interval_ = ms;
    if (enabled_)
        Apply();
}

void TManualFaderTimer::SetInterval(int ms)
{
    if (ms == interval_)
        return;
    interval_ = ms;
    ++restarts_;
}

bool TManualFaderTimer::Fire()
{
    if (!enabled_)
        return false;
    if (OnTimer)
        OnTimer();
    return true;
}

// ---- the fader ------------------------------------------------------------------

namespace {

std::function<std::unique_ptr<TFaderTimer>()> &timerFactory()
{
    static std::function<std::unique_ptr<TFaderTimer>()> f;
    return f;
}

std::unique_ptr<TFaderTimer> newTimer()
{
    if (timerFactory()) {
        if (auto t = timerFactory()())
            return t;
    }
    return std::make_unique<TQtFaderTimer>();
}

QString displayText(const std::string &text)
{
    QString s = FromAnsi(text);
    s.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

} // namespace

void TTextFader::SetTimerFactory(std::function<std::unique_ptr<TFaderTimer>()> factory)
{
    timerFactory() = std::move(factory);
}

TTextFader::TTextFader(QWidget *parent) : TTextFader(parent, nullptr) {}

TTextFader::TTextFader(QWidget *parent, std::unique_ptr<TFaderTimer> timer) : QWidget(parent)
{
    lines_.SetText(DefaultBanner());
    timer_ = timer ? std::move(timer) : newTimer();
    timer_->SetEnabled(false);
    timer_->OnTimer = [this] { TimerExpired(); };
    resize(200, 16);
    UpdateOpacity();
}

TTextFader::~TTextFader()
{
    active_ = false;
    timer_->SetEnabled(false);
    timer_->OnTimer = nullptr;
}

void TTextFader::SetTimer(std::unique_ptr<TFaderTimer> timer)
{
    if (!timer)
        timer = std::make_unique<TQtFaderTimer>();
    timer->SetInterval(timer_->Interval());
    timer->SetEnabled(timer_->Enabled());
    timer_->SetEnabled(false);
    timer_->OnTimer = nullptr;
    timer_ = std::move(timer);
    timer_->OnTimer = [this] { TimerExpired(); };
}

std::string TTextFader::DefaultBanner()
{
    return "TTextFader v1.1\r\n"
           "A text fading control by QUILLFERN\r\n"
           "\r\n"
           "textfader@quillfern.example\r\n"
           "http://www.quillfern.example/textfader/\r\n"
           "\r\n";
}

bool TTextFader::IsLinesStored() const
{
    return lines_.Text() != DefaultBanner();
}

// ---- properties ------------------------------------------------------------------

void TTextFader::SetActive(bool on)
{
    if (on == active_)
        return;
    active_ = on;
    fadePercent_ = 100;
    if (loading_)
        return;
    timer_->SetEnabled(on);
    if (on) {
        passCount_ = 0;
        timer_->SetInterval(5);
    } else {
        update();
    }
}

void TTextFader::Loaded()
{
    loading_ = false;
    if (active_) {
        timer_->SetEnabled(true);
        timer_->SetInterval(5);
    }
}

void TTextFader::Reset()
{
    fadePercent_ = 100;
    currentText_.clear();
    previousText_.clear();
    lineIndex_ = -1;
    if (!active_)
        update();
    else
        timer_->SetInterval(5);
}

void TTextFader::SetLineIndex(int value)
{
    if (value < 0)
        value = 0;
    if (value >= lines_.Count())
        value = lines_.Count() - 1;
    if (value == lineIndex_)
        return;
    lineIndex_ = value;
    if (fadePercent_ == 100)
        timer_->SetInterval(lineDelay_);
}

void TTextFader::SetLineDelay(int ms)
{
    ms = std::clamp(ms, 0, 65535);
    if (ms == lineDelay_)
        return;
    lineDelay_ = ms;
    if (fadePercent_ == 100)
        timer_->SetInterval(lineDelay_);
}

void TTextFader::SetFadeDelay(int ms)
{
    ms = std::clamp(ms, 0, 65535);
    if (ms == fadeDelay_)
        return;
    fadeDelay_ = ms;
    if (fadePercent_ < 100)
        timer_->SetInterval(fadeDelay_);
}

void TTextFader::SetFadeStep(int percent)
{
    // A step of 0 would leave a fade at 0 % for ever, with the timer ticking.
    fadeStep_ = std::clamp(percent, 1, 100);
}

void TTextFader::SetRepeatCount(int n)
{
    repeatCount_ = std::max(0, n);
}

void TTextFader::SetAlignment(TAlignment a)
{
    if (a == alignment_)
        return;
    alignment_ = a;
    update();
}

void TTextFader::SetAlignmentOrd(int a)
{
    if (a >= taLeftJustify && a <= taCenter)
        SetAlignment(TAlignment(a));
}

void TTextFader::SetWordWrap(bool on)
{
    if (on == wordWrap_)
        return;
    wordWrap_ = on;
    update();
}

void TTextFader::SetTransparent(bool on)
{
    if (on == transparent_)
        return;
    transparent_ = on;
    UpdateOpacity();
    update();
}

void TTextFader::SetBackgroundMode(TBackgroundMode m)
{
    if (m == backgroundMode_)
        return;
    backgroundMode_ = m;
    UpdateOpacity();
    update();
}

void TTextFader::SetBackgroundModeOrd(int m)
{
    if (m >= bmNone && m <= bmCentered)
        SetBackgroundMode(TBackgroundMode(m));
}

void TTextFader::SetBackground(const QPixmap &picture)
{
    background_ = picture;
    UpdateOpacity();
    update();
}

TColor TTextFader::Color() const
{
    if (parentColor_) {
        if (const QWidget *p = parentWidget())
            return QColorToColor(p->palette().color(p->backgroundRole()));
    }
    return color_;
}

void TTextFader::SetColor(TColor c)
{
    color_ = c;
    parentColor_ = false;
    UpdateOpacity();
    update();
}

void TTextFader::SetParentColor(bool on)
{
    if (on == parentColor_)
        return;
    parentColor_ = on;
    UpdateOpacity();
    update();
}

void TTextFader::SetFontColor(TColor c)
{
    if (c == fontColor_)
        return;
    fontColor_ = c;
    update();
}

void TTextFader::SetLines(const TStringList &lines)
{
    lines_.Assign(lines);
    LinesChanged();
}

void TTextFader::SetLines(const std::vector<std::string> &lines)
{
    TStringList l;
    for (const std::string &s : lines)
        l.Add(s);
    SetLines(l);
}

void TTextFader::EditLines(const std::function<void(TStringList &)> &edit)
{
    if (edit)
        edit(lines_);
    LinesChanged();
}

QStringList TTextFader::LinesQ() const
{
    QStringList out;
    for (int i = 0; i < lines_.Count(); ++i)
        out << FromAnsi(lines_[i]);
    return out;
}

void TTextFader::SetLinesQ(const QStringList &lines)
{
    std::vector<std::string> v;
    for (const QString &s : lines)
        v.push_back(ToAnsi(s));
    SetLines(v);
}

void TTextFader::LinesChanged()
{
    if (lines_.Count() <= lineIndex_)
        SetLineIndex(lines_.Count() - 1);
}

// ---- fading ------------------------------------------------------------------------

std::string TTextFader::NextFaderLine()
{
    if (lineIndex_ != lines_.Count() - 1) {
        SetLineIndex(lineIndex_ + 1);
    } else {
        ++passCount_;
        if (repeatCount_ != 0 && passCount_ >= repeatCount_)
            SetActive(false);
        else
            SetLineIndex(0);
    }
    return lineIndex_ >= 0 && lineIndex_ < lines_.Count() ? lines_[lineIndex_] : std::string();
}

void TTextFader::TimerExpired()
{
    if (fadePercent_ == 100) {
        previousText_ = currentText_;
        currentText_ = NextFaderLine();
        if (active_) {
            fadePercent_ = 0;
            timer_->SetInterval(fadeDelay_);
        }
    }
    fadePercent_ = std::min(100, fadePercent_ + std::max(1, fadeStep_));
    repaint();
    if (fadePercent_ == 100) {
        timer_->SetInterval(lineDelay_);
        if (OnComplete)
            OnComplete(this);
    }
}

// ---- painting ------------------------------------------------------------------------

bool TTextFader::ShowsParent() const
{
    if (transparent_)
        return true;
    const bool pictureDrawn = !background_.isNull() && backgroundMode_ != bmNone;
    return parentColor_ && !pictureDrawn;
}

void TTextFader::UpdateOpacity()
{
    setAttribute(Qt::WA_OpaquePaintEvent, !ShowsParent());
}

void TTextFader::DrawTiled(QPainter &canvas, const QRect &r, const QPixmap &picture)
{
    if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0)
        return;
    const int rows = r.height() / picture.height() + 1;
    const int columns = r.width() / picture.width() + 1;
    for (int row = 1; row <= rows; ++row) {
        for (int column = 1; column <= columns; ++column)
            canvas.drawPixmap(r.left() + (column - 1) * picture.width(),
                              r.top() + (row - 1) * picture.height(), picture);
    }
}

void TTextFader::DrawTransparent(QImage &dest, const QImage &srcIn, int percent)
{
    if (dest.isNull() || srcIn.isNull())
        return;
    const int p = std::clamp(percent, 0, 100);
    QImage src = srcIn;
    const QImage::Format f = src.format();
    const bool premultiplied = f == QImage::Format_ARGB32_Premultiplied;
    if (!premultiplied && f != QImage::Format_RGB32)
        src = src.convertToFormat(QImage::Format_RGB32);
    if (dest.format() != src.format())
        dest = dest.convertToFormat(src.format());
    // Only the part both images cover, whatever their sizes.
    const int w = std::min(src.width(), dest.width());
    const int h = std::min(src.height(), dest.height());
    auto mix = [p](unsigned d, unsigned s) { return (d * unsigned(100 - p)) / 100 + (s * unsigned(p)) / 100; };
    for (int y = 0; y < h; ++y) {
        auto *d = reinterpret_cast<QRgb *>(dest.scanLine(y));
        const auto *s = reinterpret_cast<const QRgb *>(src.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb dp = d[x], sp = s[x];
            const unsigned r = mix(qRed(dp), qRed(sp));
            const unsigned g = mix(qGreen(dp), qGreen(sp));
            const unsigned b = mix(qBlue(dp), qBlue(sp));
            const unsigned a = premultiplied ? mix(qAlpha(dp), qAlpha(sp)) : 255u;
            d[x] = qRgba(int(r), int(g), int(b), int(a));
        }
    }
}

void TTextFader::DrawFaderText(QImage &image, const std::string &text) const
{
    if (text.empty())
        return;
    const QString s = displayText(text);
    QPainter p(&image);
    p.setFont(font());
    p.setPen(ColorToQColor(fontColor_));
    TAlignment a = alignment_;
    if (layoutDirection() == Qt::RightToLeft) {
        if (a == taLeftJustify)
            a = taRightJustify;
        else if (a == taRightJustify)
            a = taLeftJustify;
        p.setLayoutDirection(Qt::RightToLeft);
    }
    int flags = Qt::AlignTop | Qt::AlignAbsolute;
    switch (a) {
    case taLeftJustify: flags |= Qt::AlignLeft; break;
    case taRightJustify: flags |= Qt::AlignRight; break;
    case taCenter: flags |= Qt::AlignHCenter; break;
    }
    if (wordWrap_)
        flags |= Qt::TextWordWrap;
    const int h = p.fontMetrics().boundingRect(QRect(0, 0, width(), 0), flags, s).height();
    const QRect r(0, (height() - h) / 2, width(), h);
    p.drawText(r, flags, s);
}

QImage TTextFader::Compose() const
{
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0)
        return QImage();
    const bool layer = ShowsParent();
    QImage b(w, h, layer ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (layer) {
        b.fill(Qt::transparent);
    } else {
        b.fill(ColorToQColor(Color()));
        if (!background_.isNull()) {
            QPainter p(&b);
            const QRect r(0, 0, w, h);
            switch (backgroundMode_) {
            case bmTiled: DrawTiled(p, r, background_); break;
            case bmStretched: p.drawPixmap(r, background_); break;
            case bmCentered:
                p.drawPixmap((w - background_.width()) / 2, (h - background_.height()) / 2, background_);
                break;
            case bmNone: break;
            }
        }
    }
    std::optional<QImage> previous;
    if (fadePercent_ < 100) {
        previous = b.copy();
        DrawFaderText(*previous, previousText_);
    }
    DrawFaderText(b, currentText_);
    if (previous)
        DrawTransparent(b, *previous, 100 - fadePercent_);
    return b;
}

void TTextFader::paintEvent(QPaintEvent *)
{
    if (painting_)
        return;
    painting_ = true;
    struct Clear {
        bool &flag;
        ~Clear() { flag = false; }
    } clear{painting_};
    const QImage image = Compose();
    if (image.isNull())
        return;
    QPainter p(this);
    p.drawImage(0, 0, image);
}

void TTextFader::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    switch (event->type()) {
    case QEvent::ParentChange:
    case QEvent::PaletteChange:
    case QEvent::FontChange:
    case QEvent::LayoutDirectionChange:
        update();
        break;
    default:
        break;
    }
}

void TTextFader::mousePressEvent(QMouseEvent *event)
{
    if (!isSignalConnected(QMetaMethod::fromSignal(&TTextFader::clicked))) {
        event->ignore();
        return;
    }
    if (event->button() == Qt::LeftButton)
        leftDown_ = true;
    event->accept();
}

void TTextFader::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        const bool wasDown = leftDown_;
        leftDown_ = false;
        if (wasDown && rect().contains(event->position().toPoint()))
            emit clicked();
    }
    event->accept();
}
