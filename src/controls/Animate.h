#pragma once
// TImageControl, a control with a lock whose painting goes through a back
// buffer, and on it TAnimatedImage, which shows one frame at a time of a
// picture strip (equally sized frames side by side or one above the other)
// and steps through the frames on a TThreadTimer.
//
// With AsyncDrawing the timer's worker thread steps the frame and renders it
// into the control's back buffer (under the control's lock, then the canvas
// lock); the interface thread only shows the finished buffer. Widgets
// themselves are touched on the interface thread alone. Lock order: the
// control's lock, then the canvas lock.
#include "controls/ThreadTimer.h"
#include "platform/Graphics.h"

#include <QImage>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

enum TGlyphOrientation : uint8_t { goHorizontal, goVertical };

class TImageControl : public QWidget {
    Q_OBJECT
public:
    explicit TImageControl(QWidget *parent = nullptr);
    ~TImageControl() override;

    // The control's lock (a recursive critical section).
    void Lock() { lock_.lock(); }
    void Unlock() { lock_.unlock(); }
    std::recursive_mutex &ControlLock() { return lock_; }

    // The colour the client area is filled with (the parent's with
    // ParentColor, the default).
    TColor Color() const;
    void SetColor(TColor c);
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool on);

    // ---- for tests -----------------------------------------------------------------
    // Renders the buffer on the calling thread; counted by thread.
    int BufferRendersOffThread() const { return rendersOff_.load(); }
    int BufferRendersOnInterfaceThread() const { return rendersOn_.load(); }
    // A copy of the back buffer (under the canvas lock).
    QImage BackBuffer();

protected:
    // Paints the image onto the canvas of the client size; called with the
    // drawing flag set, under the control's lock and the canvas lock, on any
    // thread. Touches no widget.
    virtual void DoPaintImage(QPainter &canvas, const QSize &client) = 0;
    // Whether the control hides what lies beneath it.
    virtual bool IsOpaque() const { return false; }
    // Renders the image into the back buffer and has the interface thread
    // show it: from any thread. On the interface thread it only repaints.
    void DoPaintControl();
    // The buffer no longer shows the image: the next paint renders it again.
    void InvalidateBuffer();
    // State the worker reads without touching the widget (kept by the
    // interface thread).
    bool ShownFlag() const { return shown_.load(); }
    bool ParentFlag() const { return hasParent_.load(); }
    bool Drawing() const { return drawing_.load(); }
    // Drops the frame shows queued for this control (before it goes away).
    void CancelShows();

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Under both locks.
    void RenderBuffer();
    void UpdateFlags();

    std::recursive_mutex lock_;
    std::mutex canvasLock_;
    QImage back_;              // canvas lock
    bool backValid_ = false;   // canvas lock
    QSize client_;             // control's lock
    TColor fill_ = clBtnFace;  // control's lock: the resolved colour
    TColor color_ = clBtnFace;
    bool parentColor_ = true;
    std::atomic<bool> drawing_ {false};
    std::atomic<bool> shown_ {false};
    std::atomic<bool> hasParent_ {false};
    std::atomic<bool> showPosted_ {false};
    std::atomic<int> rendersOff_ {0};
    std::atomic<int> rendersOn_ {0};
};

class TAnimatedImage : public TImageControl {
    Q_OBJECT
    // For window layouts.
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(bool AsyncDrawing READ AsyncDrawing WRITE SetAsyncDrawing)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(bool Center READ Center WRITE SetCenter)
    Q_PROPERTY(int GlyphNum READ GlyphNum WRITE SetGlyphNum)
    Q_PROPERTY(int InactiveGlyph READ InactiveGlyph WRITE SetInactiveGlyph)
    Q_PROPERTY(uint Interval READ Interval WRITE SetInterval)
    Q_PROPERTY(int NumGlyphs READ NumGlyphs WRITE SetNumGlyphs)
    Q_PROPERTY(bool Opaque READ Opaque WRITE SetOpaque)
    Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch)
public:
    explicit TAnimatedImage(QWidget *parent = nullptr);
    // Fields that only the interface thread writes are read there without
    // the lock; the worker reads them under it.
    // Ends the timer's worker at once (no frame is painted after it), then
    // frees the strip.
    ~TAnimatedImage() override;

    bool Active() const { return active_; }
    void SetActive(bool on);
    bool AsyncDrawing() const;
    void SetAsyncDrawing(bool on);
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    bool Center() const { return center_; }
    void SetCenter(bool on);
    // A copy of the strip.
    QImage Glyph();
    void SetGlyph(const QImage &strip);
    int GlyphNum();
    void SetGlyphNum(int n);
    int InactiveGlyph() const { return inactiveGlyph_; }
    void SetInactiveGlyph(int n);
    unsigned Interval() const { return timer_->Interval(); }
    void SetInterval(unsigned ms) { timer_->SetInterval(ms); }
    int NumGlyphs() const { return numGlyphs_; }
    void SetNumGlyphs(int n);
    bool Opaque() const { return opaque_; }
    void SetOpaque(bool on);
    TGlyphOrientation Orientation() const { return orientation_; }
    void SetOrientation(TGlyphOrientation o);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool on);
    TColor TransparentColor() const { return transparentColor_; }
    void SetTransparentColor(TColor c);
    // Whether a stored layout holds TransparentColor.
    bool TransparentColorStored();
    QSize FrameSize() const { return QSize(frameWidth_, frameHeight_); }

    std::function<void(TAnimatedImage *sender)> OnFrameChanged;
    std::function<void(TAnimatedImage *sender)> OnStart;
    std::function<void(TAnimatedImage *sender)> OnStop;

    // While a stored layout is read: no events, no automatic size, and an
    // InactiveGlyph beyond the frames is kept; Loaded ends it.
    void SetLoading(bool on) { loading_ = on; }
    void Loaded();

    TThreadTimer *Timer() const { return timer_; }
    // The timer's handler: one step. Public for tests that step by hand.
    void TimerExpired();

protected:
    void DoPaintImage(QPainter &canvas, const QSize &client) override;
    bool IsOpaque() const override { return opaque_; }
    virtual void FrameChanged();
    virtual void Start();
    virtual void Stop();
    void AdjustSize();
    void PictureChanged();

private:
    // Stores a changed value under the control's lock; whether it changed.
    template <class T>
    bool StoreLocked(T &field, T value)
    {
        std::lock_guard<std::recursive_mutex> lock(ControlLock());
        if (field == value)
            return false;
        field = value;
        return true;
    }
    // Under the control's lock.
    void DefineBitmapSize();
    void ResetImageBounds();
    void UpdateInactive();
    void ImageChanged();

    TThreadTimer *timer_;
    QImage glyph_;
    int glyphNum_ = 0;
    int numGlyphs_ = 1;
    int inactiveGlyph_ = -1;
    TGlyphOrientation orientation_ = goHorizontal;
    bool stretch_ = true;
    bool center_ = false;
    bool opaque_ = false;
    bool asyncDrawing_ = false;
    TColor transparentColor_ = clNone;
    int frameWidth_ = 0;
    int frameHeight_ = 0;
    bool active_ = false;       // the frame painting reads it under the lock
    bool autoSize_ = true;
    bool loading_ = false;
    bool destroying_ = false;
};
