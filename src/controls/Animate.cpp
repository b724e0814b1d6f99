#include "controls/Animate.h"

#include "support/VCLUtils.h"

#include <QEvent>
#include <QPainter>
#include <QPaintEvent>

#include <mutex>

using Guard = std::lock_guard<std::recursive_mutex>;

// ==== TImageControl ===================================================================

TImageControl::TImageControl(QWidget *parent) : QWidget(parent)
{
    resize(105, 105);
    UpdateFlags();
    Guard lock(lock_);
    fill_ = ColorToRGB(parentWidget() ? QColorToColor(parentWidget()->palette().color(QPalette::Window)) : clBtnFace);
}

TImageControl::~TImageControl() { CancelShows(); }

void TImageControl::CancelShows() { InterfaceThread::Cancel(this); }

TColor TImageControl::Color() const
{
    return parentColor_ && parentWidget() ? QColorToColor(parentWidget()->palette().color(QPalette::Window)) : color_;
}

void TImageControl::SetColor(TColor c)
{
    color_ = c;
    parentColor_ = false;
    {
        Guard lock(lock_);
        fill_ = ColorToRGB(c);
    }
    InvalidateBuffer();
    update();
}

void TImageControl::SetParentColor(bool on)
{
    parentColor_ = on;
    {
        Guard lock(lock_);
        fill_ = ColorToRGB(Color());
    }
    InvalidateBuffer();
    update();
}

QImage TImageControl::BackBuffer()
{
    std::lock_guard<std::mutex> canvas(canvasLock_);
    return back_.copy();
}

void TImageControl::InvalidateBuffer()
{
    Guard lock(lock_);
    std::lock_guard<std::mutex> canvas(canvasLock_);
    backValid_ = false;
}

void TImageControl::RenderBuffer()
{
    if (back_.size() != client_)
        back_ = QImage(client_, QImage::Format_ARGB32_Premultiplied);
    if (back_.isNull())
        return;
    back_.fill(IsOpaque() ? ColorToQColor(fill_) : QColor(Qt::transparent));
    {
        QPainter p(&back_);
        const bool was = drawing_.exchange(true);
        DoPaintImage(p, client_);
        drawing_.store(was);
    }
    backValid_ = true;
    if (InterfaceThread::IsInterfaceThread())
        ++rendersOn_;
    else
        ++rendersOff_;
}

void TImageControl::DoPaintControl()
{
    if (InterfaceThread::IsInterfaceThread()) {
        InvalidateBuffer();
        repaint();
        return;
    }
    {
        Guard lock(lock_);
        std::lock_guard<std::mutex> canvas(canvasLock_);
        RenderBuffer();
    }
    // One show pending at a time; the interface thread shows the newest
    // buffer.
    if (!showPosted_.exchange(true)) {
        if (!InterfaceThread::Post(this, [this] {
                showPosted_.store(false);
                update();
            }))
            showPosted_.store(false);
    }
}

void TImageControl::paintEvent(QPaintEvent *)
{
    Guard lock(lock_);
    std::lock_guard<std::mutex> canvas(canvasLock_);
    if (!backValid_ || back_.size() != client_)
        RenderBuffer();
    QPainter p(this);
    p.drawImage(0, 0, back_);
}

void TImageControl::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    Guard lock(lock_);
    std::lock_guard<std::mutex> canvas(canvasLock_);
    client_ = size();
    backValid_ = false;
}

void TImageControl::UpdateFlags()
{
    shown_.store(isVisible());
    hasParent_.store(parentWidget() != nullptr);
}

void TImageControl::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    UpdateFlags();
}

void TImageControl::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    UpdateFlags();
}

void TImageControl::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ParentChange)
        UpdateFlags();
    if (event->type() == QEvent::ParentChange || event->type() == QEvent::PaletteChange) {
        if (parentColor_) {
            {
                Guard lock(lock_);
                fill_ = ColorToRGB(Color());
            }
            InvalidateBuffer();
        }
    }
}

// ==== TAnimatedImage ==================================================================

TAnimatedImage::TAnimatedImage(QWidget *parent) : TImageControl(parent), timer_(new TThreadTimer(this))
{
    timer_->SetEnabled(false);
    timer_->SetInterval(100);
}

TAnimatedImage::~TAnimatedImage()
{
    destroying_ = true;
    // The worker ends here, before anything it reads (the events among
    // them) goes away; no frame is stepped or painted after it.
    delete timer_;
    timer_ = nullptr;
    CancelShows();
    OnFrameChanged = nullptr;
    OnStart = nullptr;
    OnStop = nullptr;
}

// ---- properties ------------------------------------------------------------------------

void TAnimatedImage::SetActive(bool on)
{
    if (active_ == on)
        return;
    if (on) {
        timer_->SetOnTimer([this](TThreadTimer *) { TimerExpired(); });
        timer_->SetEnabled(true);
        {
            Guard lock(ControlLock());
            active_ = timer_->Enabled();
        }
        Start();
    } else {
        // Without the lock: the interface thread waits here for a step
        // under way, which takes the lock.
        timer_->SetEnabled(false);
        timer_->SetOnTimer(nullptr);
        {
            Guard lock(ControlLock());
            active_ = false;
            UpdateInactive();
        }
        FrameChanged();
        Stop();
        PictureChanged();
    }
}

bool TAnimatedImage::AsyncDrawing() const
{
    return !timer_->SyncEvent();
}

void TAnimatedImage::SetAsyncDrawing(bool on)
{
    if (StoreLocked(asyncDrawing_, on))
        timer_->SetSyncEvent(!on);
}

void TAnimatedImage::SetAutoSize(bool on)
{
    if (autoSize_ == on)
        return;
    autoSize_ = on;
    AdjustSize();
}

void TAnimatedImage::SetCenter(bool on)
{
    if (!StoreLocked(center_, on))
        return;
    PictureChanged();
    if (active_)
        DoPaintControl();
}

void TAnimatedImage::SetStretch(bool on)
{
    if (!StoreLocked(stretch_, on))
        return;
    PictureChanged();
    if (active_)
        DoPaintControl();
}

void TAnimatedImage::SetOpaque(bool on)
{
    if (StoreLocked(opaque_, on))
        PictureChanged();
}

void TAnimatedImage::SetTransparentColor(TColor c)
{
    if (StoreLocked(transparentColor_, c))
        PictureChanged();
}

namespace {
// The colour a bitmap is transparent in: its bottom-left pixel.
TColor BitmapTransparentColor(const QImage &bitmap)
{
    if (bitmap.isNull())
        return clNone;
    return QColorToColor(bitmap.pixelColor(0, bitmap.height() - 1));
}
} // namespace

bool TAnimatedImage::TransparentColorStored()
{
    Guard lock(ControlLock());
    if (glyph_.isNull())
        return transparentColor_ != clNone;
    return transparentColor_ != BitmapTransparentColor(glyph_);
}

QImage TAnimatedImage::Glyph()
{
    Guard lock(ControlLock());
    return glyph_.copy();
}

void TAnimatedImage::SetGlyph(const QImage &strip)
{
    {
        Guard lock(ControlLock());
        // A copy of its own: no other owner shares the pixels the worker
        // reads.
        glyph_ = strip.copy();
    }
    ImageChanged();
}

void TAnimatedImage::ImageChanged()
{
    {
        Guard lock(ControlLock());
        // Without the palette-relative flag.
        transparentColor_ = BitmapTransparentColor(glyph_) & ~0x02000000u;
        DefineBitmapSize();
    }
    PictureChanged();
}

int TAnimatedImage::GlyphNum()
{
    Guard lock(ControlLock());
    return glyphNum_;
}

void TAnimatedImage::SetGlyphNum(int n)
{
    {
        Guard lock(ControlLock());
        if (n == glyphNum_ || n < 0 || n >= numGlyphs_)
            return;
        glyphNum_ = n;
        UpdateInactive();
    }
    FrameChanged();
    PictureChanged();
}

void TAnimatedImage::SetInactiveGlyph(int n)
{
    {
        Guard lock(ControlLock());
        if (n < 0)
            n = -1;
        if (n == inactiveGlyph_)
            return;
        if (n >= numGlyphs_ && !loading_)
            return;
        inactiveGlyph_ = n;
        UpdateInactive();
    }
    FrameChanged();
    PictureChanged();
}

void TAnimatedImage::SetNumGlyphs(int n)
{
    {
        Guard lock(ControlLock());
        if (n == numGlyphs_)
            return;
        numGlyphs_ = n;
        if (inactiveGlyph_ >= numGlyphs_) {
            inactiveGlyph_ = -1;
            glyphNum_ = 0;
        } else {
            UpdateInactive();
        }
        ResetImageBounds();
    }
    FrameChanged();
    PictureChanged();
}

void TAnimatedImage::SetOrientation(TGlyphOrientation o)
{
    if (StoreLocked(orientation_, o))
        ImageChanged();
}

// ---- strip layout -----------------------------------------------------------------------

void TAnimatedImage::DefineBitmapSize()
{
    numGlyphs_ = 1;
    glyphNum_ = 0;
    frameWidth_ = frameHeight_ = 0;
    const int w = glyph_.width();
    const int h = glyph_.height();
    if (orientation_ == goHorizontal) {
        if (h > 0 && w % h == 0)
            numGlyphs_ = w / h;
    } else if (w > 0 && h % w == 0) {
        numGlyphs_ = h / w;
    }
    ResetImageBounds();
}

void TAnimatedImage::ResetImageBounds()
{
    if (numGlyphs_ < 1)
        numGlyphs_ = 1;
    if (orientation_ == goHorizontal) {
        frameWidth_ = glyph_.width() / numGlyphs_;
        frameHeight_ = glyph_.height();
    } else {
        frameWidth_ = glyph_.width();
        frameHeight_ = glyph_.height() / numGlyphs_;
    }
}

void TAnimatedImage::UpdateInactive()
{
    if (!active_ && inactiveGlyph_ >= 0 && inactiveGlyph_ < numGlyphs_ && inactiveGlyph_ != glyphNum_)
        glyphNum_ = inactiveGlyph_;
}

void TAnimatedImage::AdjustSize()
{
    if (loading_ || !autoSize_)
        return;
    const QSize frame = FrameSize();
    if (frame.width() > 0 && frame.height() > 0)
        resize(frame);
}

void TAnimatedImage::Loaded()
{
    loading_ = false;
    {
        Guard lock(ControlLock());
        ResetImageBounds();
        UpdateInactive();
    }
    PictureChanged();
}

void TAnimatedImage::PictureChanged()
{
    if (destroying_)
        return;
    AdjustSize();
    InvalidateBuffer();
    if (!Drawing())
        update();
}

// ---- events -------------------------------------------------------------------------------

void TAnimatedImage::FrameChanged()
{
    if (OnFrameChanged)
        OnFrameChanged(this);
}

void TAnimatedImage::Start()
{
    if (!loading_ && OnStart)
        OnStart(this);
}

void TAnimatedImage::Stop()
{
    if (!loading_ && OnStop)
        OnStop(this);
}

// ---- the step and the painting ---------------------------------------------------------------

void TAnimatedImage::TimerExpired()
{
    if (!ShownFlag() || !ParentFlag())
        return;
    bool async;
    {
        Guard lock(ControlLock());
        if (numGlyphs_ <= 1)
            return;
        glyphNum_ = glyphNum_ >= numGlyphs_ - 1 ? 0 : glyphNum_ + 1;
        if (glyphNum_ == inactiveGlyph_)
            glyphNum_ = glyphNum_ >= numGlyphs_ - 1 ? 0 : glyphNum_ + 1;
        async = asyncDrawing_;
    }
    // The frame event runs without the locks held: the interface thread may
    // be waiting for them in a paint.
    if (async && OnFrameChanged) {
        if (!timer_->Synchronize([this] { FrameChanged(); }))
            return;   // paused or stopped meanwhile
    } else {
        FrameChanged();
    }
    DoPaintControl();
}

void TAnimatedImage::DoPaintImage(QPainter &canvas, const QSize &client)
{
    const int frame = !active_ && inactiveGlyph_ >= 0 && inactiveGlyph_ < numGlyphs_ ? inactiveGlyph_ : glyphNum_;
    if (frameWidth_ < 1 || frameHeight_ < 1)
        return;
    TRect src(0, 0, frameWidth_, frameHeight_);
    if (orientation_ == goHorizontal) {
        src.Left = frame * frameWidth_;
        src.Right = src.Left + frameWidth_;
    } else {
        src.Top = frame * frameHeight_;
        src.Bottom = src.Top + frameHeight_;
    }
    QRect dest(0, 0, frameWidth_, frameHeight_);
    if (stretch_)
        dest = QRect(QPoint(0, 0), client);
    else if (center_)
        dest.moveTo((client.width() - frameWidth_) / 2, (client.height() - frameHeight_) / 2);
    StretchBitmapRectTransparent(canvas, dest.x(), dest.y(), dest.width(), dest.height(), src, glyph_,
                                 transparentColor_);
}
