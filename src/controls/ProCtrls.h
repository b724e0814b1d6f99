#pragma once
// Extended labels: TProCustomLabel and TProLabel, a label whose text can be
// rotated and drawn with a highlight copy and shadow copies, plus the
// side-selective 3-D frame the extended controls draw their borders with.
//
// Texts are Windows-1252 byte strings. Colours are $00BBGGRR values or
// system colours (platform/Graphics.h).
//
// TShadowStyle and TVerticalAlignment are scoped enumerations: their value
// names (ssCustom, vaCenter) are also used by the list view's sort styles and
// the support library's vertical alignment.
#include "controls/EnhListData.h"   // TAlignment, shared with the list view
#include "platform/Graphics.h"

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

class QPainter;

// ---- sides of a rectangle ----------------------------------------------------
enum TSide : uint8_t { sdLeft, sdTop, sdRight, sdBottom };
// A set of TSide, bit 0 = sdLeft.
using TSides = uint8_t;
constexpr TSides SideBit(TSide s) { return TSides(1u << s); }
constexpr TSides AllSides = 0x0F;

enum TDirection : uint8_t {
    drNone, drUp, drDown, drLeft, drRight, drUpLeft, drUpRight, drDownLeft, drDownRight
};
// One step of a direction: x to the right, y downwards.
struct TDirectionStep { int dx, dy; };
TDirectionStep DirectionStep(TDirection d);

enum class TShadowStyle : uint8_t {
    ssNone, ssCustom, ssRaised, ssRaisedColor, ssRaisedShadow, ssRaisedThickShadow,
    ssRecessed, ssRecessedColor, ssRecessedShadow, ssShadow, ssThickShadow
};
enum class TVerticalAlignment : uint8_t { vaTop, vaCenter, vaBottom };
// The plain label's own name for the vertical placement (same ordinals).
enum class TTextLayout : uint8_t { tlTop, tlCenter, tlBottom };
// 0..1280
using TShadowDepth = uint16_t;
using TShadowSize = uint16_t;
constexpr int MaxShadowDepth = 1280;

// Draws the edges named in `sides` `width` times, one pixel further in each
// time: left and top in topColor, right and bottom in bottomColor (the right
// edge at Right - 1, the bottom edge at Bottom - 1). rect is moved in on the
// drawn sides.
void Frame3DSides(QPainter &canvas, TRect &rect, TSides sides, TColor topColor, TColor bottomColor,
                  int width);
// The class library's one-pixel 3-D frame on all four sides, `width` times;
// rect ends as the area inside.
void Frame3D(QPainter &canvas, TRect &rect, TColor topColor, TColor bottomColor, int width);

class TProCustomLabel : public QWidget {
    Q_OBJECT
    // For window layouts (dynamic properties of a promoted widget).
    Q_PROPERTY(QString Caption READ CaptionQ WRITE SetCaptionQ)
    Q_PROPERTY(int Alignment READ AlignmentOrd WRITE SetAlignmentOrd)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(bool WordWrap READ WordWrap WRITE SetWordWrap)
    Q_PROPERTY(bool Transparent READ Transparent WRITE SetTransparent)
    Q_PROPERTY(uint FontColor READ FontColor WRITE SetFontColor)
    Q_PROPERTY(uint Color READ Color WRITE SetColor)
    Q_PROPERTY(int Angle READ Angle WRITE SetAngle)
    Q_PROPERTY(int VerticalAlignment READ VerticalAlignmentOrd WRITE SetVerticalAlignmentOrd)
public:
    explicit TProCustomLabel(QWidget *parent = nullptr);
    ~TProCustomLabel() override;

    // ---- the plain label's properties ----------------------------------------
    const std::string &Caption() const { return caption_; }
    void SetCaption(const std::string &caption);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a);
    // On: the label takes the size of its text after every change that
    // affects it (keeping its width when WordWrap is on).
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    bool WordWrap() const { return wordWrap_; }
    void SetWordWrap(bool on);
    // On: "&" underlines the next character and "&&" shows one "&".
    bool ShowAccelChar() const { return showAccelChar_; }
    void SetShowAccelChar(bool on);
    // On: nothing is painted under the text.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool on);
    // The colour under the text. With ParentColor (the default) it is the
    // parent's, and the parent simply shows through.
    TColor Color() const { return color_; }
    void SetColor(TColor c);   // also switches ParentColor off
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool on);
    // The text colour (the font's colour in the original).
    TColor FontColor() const { return fontColor_; }
    void SetFontColor(TColor c);
    // The font is the widget's font (setFont), inherited from the parent
    // unless set.

    // ---- added ------------------------------------------------------------------
    int Angle() const { return angle_; }
    void SetAngle(int value);   // folded into 0..359
    double Cosine() const { return cos_; }
    double Sine() const { return sin_; }
    int OffsetX() const { return offsetX_; }
    void SetOffsetX(int v);
    int OffsetY() const { return offsetY_; }
    void SetOffsetY(int v);
    TDirection HighlightDirection() const { return highlightDirection_; }
    void SetHighlightDirection(TDirection d);
    int HighlightDepth() const { return highlightDepth_; }
    void SetHighlightDepth(int d);
    TColor HighlightColor() const { return highlightColor_; }
    void SetHighlightColor(TColor c);
    TShadowStyle ShadowStyle() const { return shadowStyle_; }
    void SetShadowStyle(TShadowStyle s);
    TDirection ShadowDirection() const { return shadowDirection_; }
    void SetShadowDirection(TDirection d);
    TShadowDepth ShadowDepth() const { return shadowDepth_; }
    void SetShadowDepth(int d);   // clamped to 0..1280
    TShadowSize ShadowSize() const { return shadowSize_; }
    void SetShadowSize(int s);    // clamped to 0..1280
    TColor ShadowColor() const { return shadowColor_; }
    void SetShadowColor(TColor c);
    TVerticalAlignment VerticalAlignment() const { return verticalAlignment_; }
    void SetVerticalAlignment(TVerticalAlignment v);
    TTextLayout Layout() const { return TTextLayout(verticalAlignment_); }
    void SetLayout(TTextLayout l) { SetVerticalAlignment(TVerticalAlignment(l)); }

    std::function<void(TProCustomLabel *sender)> OnMouseEnter;
    std::function<void(TProCustomLabel *sender)> OnMouseLeave;

    // Size of the text as AutoSize would make the label.
    QSize sizeHint() const override;

signals:
    // A left-button click (press and release on the label). While nothing is
    // connected here the label lets mouse presses through to its parent.
    void clicked();

protected:
    virtual void MouseEnter();
    virtual void MouseLeave();
    // Called after the text colour or the font has changed.
    virtual void FontChanged();
    // A left press and release inside the label.
    virtual void Click();
    // Whether the label wants mouse presses itself.
    virtual bool WantsMouse() const;

    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

    // Sets the text colour without the font-change notification.
    void StoreFontColor(TColor c) { fontColor_ = c; update(); }
    void AdjustBounds();
    bool leftDown_ = false;

private:
    QString CaptionQ() const;
    void SetCaptionQ(const QString &s);
    int AlignmentOrd() const { return int(alignment_); }
    void SetAlignmentOrd(int a);
    int VerticalAlignmentOrd() const { return int(verticalAlignment_); }
    void SetVerticalAlignmentOrd(int v);

    void ToCustom();
    int TextFlags() const;
    QString DisplayText() const;

    std::string caption_;
    TAlignment alignment_ = taLeftJustify;
    bool autoSize_ = true;
    bool wordWrap_ = false;
    bool showAccelChar_ = true;
    bool transparent_ = false;
    TColor color_ = clBtnFace;
    bool parentColor_ = true;
    TColor fontColor_ = clWindowText;

    int angle_ = 0;
    int offsetX_ = 0;
    int offsetY_ = 0;
    TDirection highlightDirection_ = drNone;
    int highlightDepth_ = 0;
    TColor highlightColor_ = clBtnHighlight;
    TShadowStyle shadowStyle_ = TShadowStyle::ssNone;
    TDirection shadowDirection_ = drNone;
    TShadowDepth shadowDepth_ = 0;
    TShadowSize shadowSize_ = 0;
    TColor shadowColor_ = clBtnShadow;
    TVerticalAlignment verticalAlignment_ = TVerticalAlignment::vaTop;
    double cos_ = 0;
    double sin_ = 0;
    bool applyingPreset_ = false;
    bool adjusting_ = false;
};

class TProLabel : public TProCustomLabel {
    Q_OBJECT
public:
    explicit TProLabel(QWidget *parent = nullptr);
};
