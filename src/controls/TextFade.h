#pragma once
// TTextFader: shows the lines of a list one after another, each new line
// cross-fading in over the previous one on a timer, over a plain colour, a
// background picture or whatever lies behind the control.
//
// The timer is a TFaderTimer: a QTimer in the program; tests install a
// TManualFaderTimer (per fader with SetTimer, or for every fader made from
// then on with SetTimerFactory) and fire its ticks one by one.
//
// Everything runs on the interface thread.
#include "controls/ProCtrls.h"   // TAlignment
#include "platform/Classes.h"
#include "platform/Graphics.h"

#include <QImage>
#include <QPixmap>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;

enum TBackgroundMode : uint8_t { bmNone, bmTiled, bmStretched, bmCentered };

// ---- timers -------------------------------------------------------------------
// A window timer: ticks every Interval() ms while enabled. Setting a
// different interval restarts the countdown with the new period; setting the
// same interval changes nothing.
class TFaderTimer {
public:
    virtual ~TFaderTimer();
    virtual void SetEnabled(bool on) = 0;
    virtual bool Enabled() const = 0;
    virtual void SetInterval(int ms) = 0;
    virtual int Interval() const = 0;
    // Called on every tick.
    std::function<void()> OnTimer;
};

// The real timer (QTimer). An interval of 0 ticks every millisecond rather
// than spinning.
class TQtFaderTimer : public TFaderTimer {
public:
    TQtFaderTimer();
    ~TQtFaderTimer() override;
    void SetEnabled(bool on) override;
    bool Enabled() const override { return enabled_; }
    void SetInterval(int ms) override;
    int Interval() const override { return interval_; }

private:
    void Apply();
    std::unique_ptr<QTimer> timer_;
    bool enabled_ = false;
    int interval_ = 1000;
};

// A timer that ticks only when told to: for tests.
class TManualFaderTimer : public TFaderTimer {
public:
    void SetEnabled(bool on) override { enabled_ = on; }
    bool Enabled() const override { return enabled_; }
    void SetInterval(int ms) override;
    int Interval() const override { return interval_; }
    // One tick, when enabled; returns whether it ticked.
    bool Fire();
    // How often a different interval restarted the countdown.
    int Restarts() const { return restarts_; }

private:
    bool enabled_ = false;
    int interval_ = 1000;
    int restarts_ = 0;
};

// ---- the fader --------------------------------------------------------------------
class TTextFader : public QWidget {
    Q_OBJECT
    // For window layouts (dynamic properties of a promoted widget).
    Q_PROPERTY(bool Active READ Active WRITE SetActive)
    Q_PROPERTY(QStringList Lines READ LinesQ WRITE SetLinesQ)
    Q_PROPERTY(int LineDelay READ LineDelay WRITE SetLineDelay)
    Q_PROPERTY(int FadeDelay READ FadeDelay WRITE SetFadeDelay)
    Q_PROPERTY(int FadeStep READ FadeStep WRITE SetFadeStep)
    Q_PROPERTY(int RepeatCount READ RepeatCount WRITE SetRepeatCount)
    Q_PROPERTY(int BackgroundMode READ BackgroundModeOrd WRITE SetBackgroundModeOrd)
    Q_PROPERTY(int Alignment READ AlignmentOrd WRITE SetAlignmentOrd)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)
    Q_PROPERTY(uint FontColor READ FontColor WRITE SetFontColor)
public:
    explicit TTextFader(QWidget *parent = nullptr);
    // With a timer of the caller's (nullptr: the factory's or a QTimer).
    TTextFader(QWidget *parent, std::unique_ptr<TFaderTimer> timer);
    ~TTextFader() override;

    // The timer faders made from now on get (an empty function: a QTimer).
    static void SetTimerFactory(std::function<std::unique_ptr<TFaderTimer>()> factory);
    // Replaces this fader's timer, carrying over its state.
    void SetTimer(std::unique_ptr<TFaderTimer> timer);
    TFaderTimer &Timer() { return *timer_; }

    // ---- properties -----------------------------------------------------------
    bool Active() const { return active_; }
    void SetActive(bool on);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a);
    // The background picture; assigning copies it.
    const QPixmap &Background() const { return background_; }
    void SetBackground(const QPixmap &picture);
    TBackgroundMode BackgroundMode() const { return backgroundMode_; }
    void SetBackgroundMode(TBackgroundMode m);
    // Milliseconds between two fading steps.
    int FadeDelay() const { return fadeDelay_; }
    void SetFadeDelay(int ms);   // kept in 0..65535
    // Percent added per fading step, 1..100. A step of 0 would never finish
    // a fade, so it counts as 1; steps above 100 count as 100.
    int FadeStep() const { return fadeStep_; }
    void SetFadeStep(int percent);
    // Milliseconds a fully shown line stays before the next one starts.
    int LineDelay() const { return lineDelay_; }
    void SetLineDelay(int ms);   // kept in 0..65535
    // The lines (Windows-1252 bytes); assigning copies them.
    const TStringList &Lines() const { return lines_; }
    void SetLines(const TStringList &lines);
    void SetLines(const std::vector<std::string> &lines);
    // Changes the lines in place, then lets the fader catch up.
    void EditLines(const std::function<void(TStringList &)> &edit);
    // Passes through Lines before fading stops; 0 repeats without end.
    int RepeatCount() const { return repeatCount_; }
    void SetRepeatCount(int n);  // negative counts as 0
    // Show what lies behind the control instead of colour and picture.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool on);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool on);
    // The colour under the text. With ParentColor (the default) it is the
    // parent's: where no picture covers the control the parent shows
    // through, which is the parent's colour on a plain parent.
    TColor Color() const;
    void SetColor(TColor c);   // also switches ParentColor off
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool on);
    // The text colour (the font's colour in the original); the font is the
    // widget's font.
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor c);

    // Called each time a line has fully faded in.
    std::function<void(TTextFader *sender)> OnComplete;

    // Index in Lines of the line shown or fading in; -1 before the first.
    int LineIndex() const { return lineIndex_; }
    // Back to before the first line: nothing shown; while active the first
    // line starts fading in 5 ms later.
    void Reset();

    // Stored-layout loading: between BeginLoading and Loaded, setting Active
    // leaves the timer alone; Loaded starts it when Active was set.
    void BeginLoading() { loading_ = true; }
    void Loaded();

    // The default lines, and whether Lines differ from them (only then do
    // they belong in a stored layout).
    static std::string DefaultBanner();
    bool IsLinesStored() const;

    // State of the fade, for tests and for windows that follow it.
    int FadePercent() const { return fadePercent_; }
    const std::string &CurrentText() const { return currentText_; }
    const std::string &PreviousText() const { return previousText_; }
    int PassCount() const { return passCount_; }

    // Composes the control as it is painted now: opaque (colour and picture
    // under the texts) or, when the parent shows through, a premultiplied
    // ARGB layer holding only the texts.
    QImage Compose() const;
    // Whether Compose gives a layer that the parent shows through.
    bool ShowsParent() const;

    // dest := dest x (100 - percent) / 100 + src x percent / 100 per colour
    // byte (each division truncating); on premultiplied ARGB images the alpha
    // byte is blended the same way. dest must be at least as large as src;
    // both take src's format.
    static void DrawTransparent(QImage &dest, const QImage &src, int percent);
    // Covers r with unscaled copies of the picture from its top-left corner.
    static void DrawTiled(QPainter &canvas, const QRect &r, const QPixmap &picture);

signals:
    // A left-button click (press and release on the control). While nothing
    // is connected here the fader lets mouse presses through to its parent.
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void TimerExpired();
    std::string NextFaderLine();
    void SetLineIndex(int value);
    void LinesChanged();
    void DrawFaderText(QImage &image, const std::string &text) const;
    void UpdateOpacity();

    QStringList LinesQ() const;
    void SetLinesQ(const QStringList &lines);
    int BackgroundModeOrd() const { return int(backgroundMode_); }
    void SetBackgroundModeOrd(int m);
    int AlignmentOrd() const { return int(alignment_); }
    void SetAlignmentOrd(int a);

    bool active_ = false;
    int lineDelay_ = 2000;
    int fadeDelay_ = 30;
    int fadeStep_ = 4;
    TAlignment alignment_ = taCenter;
    TBackgroundMode backgroundMode_ = bmTiled;
    QPixmap background_;
    int lineIndex_ = -1;
    TStringList lines_;
    bool wordWrap_ = true;
    bool transparent_ = false;
    int repeatCount_ = 0;
    int passCount_ = 0;
    std::unique_ptr<TFaderTimer> timer_;
    bool painting_ = false;
    bool loading_ = false;
    bool leftDown_ = false;
    int fadePercent_ = 0;
    std::string currentText_;
    std::string previousText_;
    TColor color_ = clWindow;
    bool parentColor_ = true;
    TColor fontColor_ = clWindowText;
};
