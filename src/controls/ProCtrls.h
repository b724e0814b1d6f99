#pragma once
// Extended controls: TProCustomLabel and TProLabel, a label whose text can be
// rotated and drawn with a highlight copy and shadow copies, and the
// side-selective 3-D frame the extended controls draw their borders with;
// then the clock label, the label edit, the kind buttons, the repeating speed
// button, the list box with a fitted scroll range, the combo box, and the
// panel, border, mouse region and image.
//
// Texts are Windows-1252 byte strings. Colours are $00BBGGRR values or
// system colours (platform/Graphics.h).
//
// TShadowStyle and TVerticalAlignment are scoped enumerations: their value
// names (ssCustom, vaCenter) are also used by the list view's sort styles and
// the support library's vertical alignment.
#include "controls/EnhListData.h"   // TAlignment, shared with the list view
#include "platform/Graphics.h"
#include "platform/ModalResults.h"

#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <QComboBox>
#include <QImage>
#include <QListWidget>
#include <QPicture>
#include <QPushButton>
#include <QToolButton>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <algorithm>
#include <string>
#include <type_traits>
#include <vector>

class QLineEdit;
class QPainter;
class QShortcut;
class QTimer;

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

// ==== shared pieces of the further controls ========================================

// OnMouseEnter and OnMouseLeave of a control, fired after the widget's own
// handling of the pointer entering and leaving it.
template <class Base, class Self>
class TMouseEvents : public Base {
public:
    using Base::Base;
    std::function<void(Self *sender)> OnMouseEnter;
    std::function<void(Self *sender)> OnMouseLeave;

protected:
    void enterEvent(QEnterEvent *event) override
    {
        Base::enterEvent(event);
        if (OnMouseEnter)
            OnMouseEnter(static_cast<Self *>(this));
    }
    void leaveEvent(QEvent *event) override
    {
        Base::leaveEvent(event);
        if (OnMouseLeave)
            OnMouseLeave(static_cast<Self *>(this));
    }
};

// Stores value in field when it differs; true when it did.
template <class T>
bool StoreChanged(T &field, const std::type_identity_t<T> &value)
{
    if (field == value)
        return false;
    field = value;
    return true;
}

// ==== clock label ==============================================================

// The current date and time formatted as the class library's FormatDateTime
// does: c, d, dd, ddd, dddd, ddddd, dddddd, m, mm, mmm, mmmm (minutes right
// after an hour), yy, yyyy, h, hh, n, nn, s, ss, z, zzz, t, tt, am/pm, a/p,
// ampm, "/" and ":", and quoted literals. The platform's formats are the
// classic ones: short date "m/d/yyyy", long date "dddd, mmmm d, yyyy", short
// time "h:nn AMPM", long time "h:nn:ss AMPM".
std::string FormatDateTime(const std::string &format, Rtl::TDateTime when);

// A label that shows the current time, updated by a timer.
class TProClockLabel : public TProLabel {
    Q_OBJECT
public:
    explicit TProClockLabel(QWidget *parent = nullptr);
    ~TProClockLabel() override;

    const std::string &Format() const { return format_; }
    void SetFormat(const std::string &format);
    // The timer runs only while the label is enabled.
    bool Enabled() const { return isEnabled(); }
    void SetEnabled(bool on);
    unsigned Interval() const;
    void SetInterval(unsigned ms);
    std::function<void(TProClockLabel *sender)> OnTimer;

    // One timer tick: shows the time and fires OnTimer. The clock is
    // replaceable for tests.
    void Tick();
    std::function<Rtl::TDateTime()> Clock = [] { return Rtl::Now(); };
    QTimer *Timer() const { return timer_; }

private:
    void ShowTime();
    std::string format_ = "c";
    QTimer *timer_ = nullptr;
};

// ==== label edit =================================================================

enum TProLabelPosition : uint8_t { lpLeft, lpTop };
enum TEditCharCase : uint8_t { ecNormal, ecUpperCase, ecLowerCase };
enum class TBorderStyle : uint8_t { bsNone, bsSingle };

// An edit box with a label on its left.
class TProLabelEdit : public TMouseEvents<QWidget, TProLabelEdit> {
    Q_OBJECT
public:
    explicit TProLabelEdit(QWidget *parent = nullptr);

    TProLabel *Label() const { return label_; }
    QLineEdit *Edit() const { return edit_; }

    // With AutoSize the composite always takes the edit's height.
    void SetBounds(int left, int top, int width, int height);
    // After a stored layout has been read: the bounds are applied again.
    void Loaded();
    void SetLoading(bool on) { loading_ = on; }

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    int Gap() const { return gap_; }
    void SetGap(int gap);
    TProLabelPosition LabelPosition() const { return labelPosition_; }
    void SetLabelPosition(TProLabelPosition p);
    int LabelWidth() const;
    void SetLabelWidth(int w);
    int LabelHeight() const;
    void SetLabelHeight(int h);

    // ---- the label's properties ---------------------------------------------
    const std::string &Caption() const { return label_->Caption(); }
    void SetCaption(const std::string &c) { label_->SetCaption(c); }
    TAlignment LabelAlignment() const { return label_->Alignment(); }
    void SetLabelAlignment(TAlignment a) { label_->SetAlignment(a); }
    TTextLayout LabelLayout() const { return label_->Layout(); }
    void SetLabelLayout(TTextLayout l) { label_->SetLayout(l); }
    bool LabelWordWrap() const { return label_->WordWrap(); }
    void SetLabelWordWrap(bool on) { label_->SetWordWrap(on); }
    TShadowStyle LabelShadowStyle() const { return label_->ShadowStyle(); }
    void SetLabelShadowStyle(TShadowStyle s) { label_->SetShadowStyle(s); }
    // The colour under the label is the composite's own.
    TColor LabelColor() const { return labelColor_; }
    void SetLabelColor(TColor c);

    // ---- the edit's properties ----------------------------------------------
    std::string Text() const;
    void SetText(const std::string &text);
    TColor Color() const { return editColor_; }
    void SetColor(TColor c);
    // The whole text is selected when the edit takes the focus.
    bool AutoSelect() const { return autoSelect_; }
    void SetAutoSelect(bool on) { autoSelect_ = on; }
    TBorderStyle BorderStyle() const;
    void SetBorderStyle(TBorderStyle s);
    TEditCharCase CharCase() const { return charCase_; }
    void SetCharCase(TEditCharCase c);
    int MaxLength() const;
    void SetMaxLength(int n);   // 0: no limit
    char PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(char c);
    bool ReadOnly() const;
    void SetReadOnly(bool on);

    // With AutoSize a layout keeps the composite at the edit's height.
    QSize sizeHint() const override;

    std::function<void(TProLabelEdit *sender)> OnChange;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void LayoutChildren();
    int EditHeight() const;

    TProLabel *label_ = nullptr;
    QLineEdit *edit_ = nullptr;
    bool autoSize_ = true;
    int gap_ = 0;
    TProLabelPosition labelPosition_ = lpLeft;
    int labelWidth_ = 100;
    int labelHeight_ = 21;
    bool loading_ = false;
    bool autoSelect_ = true;
    TEditCharCase charCase_ = ecNormal;
    char passwordChar_ = 0;
    TColor editColor_ = clWindow;
    TColor labelColor_ = clBtnFace;
};

// ==== buttons ===================================================================

// The kinds of TProButton: pbkCustom, pbkOk, then every base kind in sixteen
// languages (no suffix for English).
#define PRO_BUTTON_LANGUAGES(b)                                                             \
    pbk##b, pbk##b##Rus, pbk##b##Ukr, pbk##b##Fr, pbk##b##Por, pbk##b##Esp, pbk##b##Ger,    \
        pbk##b##Dan, pbk##b##Ita, pbk##b##Swe, pbk##b##Dut, pbk##b##Pol, pbk##b##Hun,       \
        pbk##b##Tur, pbk##b##Slk, pbk##b##Kor,
enum TProButtonKind : uint8_t {
    pbkCustom,
    pbkOk,
    PRO_BUTTON_LANGUAGES(Cancel) PRO_BUTTON_LANGUAGES(Help) PRO_BUTTON_LANGUAGES(Yes)
    PRO_BUTTON_LANGUAGES(No) PRO_BUTTON_LANGUAGES(Close) PRO_BUTTON_LANGUAGES(Abort)
    PRO_BUTTON_LANGUAGES(Retry) PRO_BUTTON_LANGUAGES(Ignore) PRO_BUTTON_LANGUAGES(All)
    PRO_BUTTON_LANGUAGES(Done) PRO_BUTTON_LANGUAGES(Prev) PRO_BUTTON_LANGUAGES(Next)
    PRO_BUTTON_LANGUAGES(Finish)
};
#undef PRO_BUTTON_LANGUAGES
constexpr int ProButtonKindCount = pbkFinishKor + 1;

// Base kinds, in the order of their caption identifiers.
enum TProButtonBase : uint8_t {
    pbbOk, pbbCancel, pbbHelp, pbbYes, pbbNo, pbbClose, pbbAbort, pbbRetry, pbbIgnore, pbbAll,
    pbbDone, pbbPrev, pbbNext, pbbFinish
};
constexpr int ProButtonLanguageCount = 16;


// What a kind stands for.
struct TProButtonKindInfo {
    TProButtonBase base;
    int language;        // 0 English, 1 Rus, ..., 15 Kor
    int captionId;       // string identifier of its caption
    int modalResult;
    bool isDefault;
    bool isCancel;
};
// Not for pbkCustom.
TProButtonKindInfo ProButtonKindInfo(TProButtonKind kind);
// The kind's caption (UTF-8); empty for pbkCustom.
std::string ProButtonKindCaption(TProButtonKind kind);
// "pbkCancelGer", ...
std::string ProButtonKindName(TProButtonKind kind);

// Help contexts of widgets (0: none) and the application's help viewer, which
// shows a topic by number. Without a viewer nothing is shown.
int HelpContext(const QWidget *w);
void SetHelpContext(QWidget *w, int context);
void SetApplicationHelp(std::function<void(int context)> show);
// Shows a help topic through the application's viewer.
void ApplicationHelpContext(int context);

// A button whose caption, default and cancel roles and modal result follow a
// chosen kind.
class TProButton : public QPushButton {
    Q_OBJECT
public:
    explicit TProButton(QWidget *parent = nullptr);

    // Falls back to pbkCustom (and returns it) when Default, Cancel or the
    // modal result were changed by hand since the kind was set.
    TProButtonKind Kind();
    void SetKind(TProButtonKind kind);

    // The caption as Windows-1252 bytes (the widget shows the full text).
    std::string Caption() const;
    void SetCaption(const std::string &caption);
    bool Default() const { return isDefault(); }
    void SetDefault(bool on) { setDefault(on); }
    // Escape anywhere in the window clicks a cancel button.
    bool Cancel() const { return cancel_; }
    void SetCancel(bool on);
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int mr) { modalResult_ = mr; }

    // What a stored layout holds.
    bool DefaultStored() const { return kind_ == pbkCustom; }
    bool CancelStored() const { return kind_ == pbkCustom; }
    bool CaptionStored() const;
    // While a stored layout is read, a caption read before the kind wins.
    void SetLoading(bool on);

    // The click: the OnClick event and the modal result; a Help kind shows
    // the nearest help context instead, a Close kind closes its window.
    virtual void Click();
    std::function<void(TProButton *sender)> OnClick;

private:
    TProButtonKind kind_ = pbkCustom;
    bool cancel_ = false;
    int modalResult_ = mrNone;
    bool loading_ = false;
    bool captionRead_ = false;
    QShortcut *escape_ = nullptr;
};

// A speed button that repeats its click while it is held down.
class TProSpeedButton : public QToolButton {
    Q_OBJECT
public:
    explicit TProSpeedButton(QWidget *parent = nullptr);

    bool RepeatEnabled() const { return repeatEnabled_; }
    void SetRepeatEnabled(bool on);
    unsigned RepeatInitInterval() const { return repeatInitInterval_; }
    void SetRepeatInitInterval(unsigned ms) { repeatInitInterval_ = ms; }
    unsigned RepeatInterval() const { return repeatInterval_; }
    void SetRepeatInterval(unsigned ms) { repeatInterval_ = ms; }
    // Created on the first press with RepeatEnabled.
    QTimer *RepeatTimer() const { return timer_; }

    virtual void Click();
    std::function<void(TProSpeedButton *sender)> OnClick;
    // One repeat tick: an exception from the click stops the repeating and
    // passes on.
    void Tick();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    bool repeatEnabled_ = false;
    unsigned repeatInitInterval_ = 400;
    unsigned repeatInterval_ = 100;
    QTimer *timer_ = nullptr;
    bool captured_ = false;
};

// ==== list box and combo box ======================================================

// A list box whose horizontal scroll range stays fitted to its widest item.
// Items are Windows-1252 strings; items added through the widget's own
// interface are measured as well.
class TProCustomListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TProCustomListBox(QWidget *parent = nullptr);
    ~TProCustomListBox() override;

    bool AutoHorzScroll() const { return autoHorzScroll_; }
    void SetAutoHorzScroll(bool on);
    unsigned HorzScrollExtent() const { return horzScrollExtent_; }
    void SetHorzScrollExtent(unsigned extra);
    // The range last given to the list (what the scroll bar spans).
    int HorizontalExtent() const { return horizontalExtent_; }
    int WidestItem() const { return widest_; }

    void AddItem(const std::string &s);
    void InsertItem(int index, const std::string &s);
    void DeleteItem(int index);
    void Clear();
    std::string Item(int index) const;
    int Count() const { return count(); }
    int ItemIndex() const { return currentRow(); }
    void SetItemIndex(int i) { setCurrentRow(i); }

    // Measures every item again.
    void ResetHorizontalExtent();

protected:
    void updateGeometries() override;
    void changeEvent(QEvent *event) override;

private:
    int MeasureItem(const QString &s) const;
    void SetHorizontalExtent();
    bool autoHorzScroll_ = true;
    unsigned horzScrollExtent_ = 0;
    uint16_t widest_ = 0;
    int horizontalExtent_ = 0;
    bool resetAfterRemove_ = false;
    // The list's own model outlives this part of the object (the widget
    // base deletes it), so these go first.
    std::vector<QMetaObject::Connection> modelConnections_;
};

class TProListBox : public TProCustomListBox {
    Q_OBJECT
public:
    explicit TProListBox(QWidget *parent = nullptr) : TProCustomListBox(parent) {}
};

class TProComboBox : public QComboBox {
    Q_OBJECT
    Q_PROPERTY(int ItemIndex READ ItemIndex WRITE SetItemIndex)
public:
    explicit TProComboBox(QWidget *parent = nullptr) : QComboBox(parent) {}
    int ItemIndex() const { return currentIndex(); }
    void SetItemIndex(int i) { setCurrentIndex(i); }
};

// ==== panel, border, mouse region, image ============================================

enum TBevelCut : uint8_t { bvNone, bvLowered, bvRaised, bvSpace };

// Colours of a bevel: first frame (outer) and, in the 3-D style, the second
// (inner) one. Top colours go to the left and top edges.
struct TBevelColors {
    TColor top1, bottom1, top2, bottom2;
};
// For bvLowered and bvRaised.
TBevelColors BevelColors(TBevelCut cut, bool ctl3D);
// One bevel over rect on the chosen sides: two one-pixel frames with ctl3D,
// else one frame `width` pixels wide. A bvSpace bevel takes its room in
// `spaceColor` (clNone: nothing drawn). rect ends as the area inside.
void DrawBevel(QPainter &canvas, TRect &rect, TBevelCut cut, bool ctl3D, TSides sides, int width,
               TColor spaceColor);

// The frame of a panel or border: outer bevel, border band, inner bevel.
struct TBevelFrameValues {
    bool ctl3D = false;
    TBevelCut inner = bvNone;
    TBevelCut outer = bvRaised;
    TSides sides = AllSides;
    int bevelWidth = 1;
    TColor borderColor = clBtnFace;
    int borderWidth = 0;
};
// Draws the frame over rect; rect ends as the area inside. Space bevels are
// drawn in spaceColor (clNone: not drawn).
void DrawBevelFrame(QPainter &canvas, TRect &rect, const TBevelFrameValues &frame,
                    TColor spaceColor);
// The area inside the frame, without drawing.
TRect BevelFrameInside(TRect rect, const TBevelFrameValues &frame);

// The frame properties shared by the panel and the border. Self provides
// FrameChanged(), called after every change.
template <class Self>
class TBevelFrame : public TMouseEvents<QWidget, Self> {
public:
    using TMouseEvents<QWidget, Self>::TMouseEvents;

    // Two one-pixel frames per bevel in the 3-D style; BevelWidth is then 2.
    bool BevelCtl3D() const { return frame_.ctl3D; }
    void SetBevelCtl3D(bool on)
    {
        if (!StoreChanged(frame_.ctl3D, on))
            return;
        frame_.bevelWidth = on ? 2 : 1;
        Changed();
    }
    TBevelCut BevelInner() const { return frame_.inner; }
    void SetBevelInner(TBevelCut c)
    {
        if (StoreChanged(frame_.inner, c))
            Changed();
    }
    TBevelCut BevelOuter() const { return frame_.outer; }
    void SetBevelOuter(TBevelCut c)
    {
        if (StoreChanged(frame_.outer, c))
            Changed();
    }
    TSides BevelSides() const { return frame_.sides; }
    void SetBevelSides(TSides s)
    {
        if (StoreChanged(frame_.sides, TSides(s & AllSides)))
            Changed();
    }
    // Stays 2 while BevelCtl3D is on.
    int BevelWidth() const { return frame_.bevelWidth; }
    void SetBevelWidth(int w)
    {
        if (!frame_.ctl3D && StoreChanged(frame_.bevelWidth, std::max(1, w)))
            Changed();
    }
    TColor BorderColor() const { return frame_.borderColor; }
    void SetBorderColor(TColor c)
    {
        if (StoreChanged(frame_.borderColor, c))
            Changed();
    }
    int BorderWidth() const { return frame_.borderWidth; }
    void SetBorderWidth(int w)
    {
        if (StoreChanged(frame_.borderWidth, std::max(0, w)))
            Changed();
    }

protected:
    TBevelFrameValues frame_;

private:
    void Changed() { static_cast<Self *>(this)->FrameChanged(); }
};

class TProCustomPanel : public TBevelFrame<TProCustomPanel> {
    Q_OBJECT
public:
    explicit TProCustomPanel(QWidget *parent = nullptr);

    const std::string &Caption() const { return caption_; }
    void SetCaption(const std::string &c);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a);
    TColor Color() const { return color_; }
    void SetColor(TColor c);
    // bsSingle: a plain one-pixel frame around everything.
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle s);
    TVerticalAlignment VerticalAlignment() const { return verticalAlignment_; }
    void SetVerticalAlignment(TVerticalAlignment v);

    // The area left to child controls inside the frame (the widget's
    // contents margins follow it).
    TRect ClientArea() const;
    void FrameChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    std::string caption_;
    TAlignment alignment_ = taCenter;
    TColor color_ = clBtnFace;
    TBorderStyle borderStyle_ = TBorderStyle::bsNone;
    TVerticalAlignment verticalAlignment_ = TVerticalAlignment::vaCenter;
};

class TProPanel : public TProCustomPanel {
    Q_OBJECT
public:
    explicit TProPanel(QWidget *parent = nullptr) : TProCustomPanel(parent) {}
};

// The panel's frame without fill or caption: what lies under it shows
// through its middle. Lowered by default.
class TProBorder : public TBevelFrame<TProBorder> {
    Q_OBJECT
public:
    explicit TProBorder(QWidget *parent = nullptr);
    void FrameChanged() { update(); }

protected:
    void paintEvent(QPaintEvent *event) override;
};

// An invisible area that reports the mouse entering and leaving it.
class TProMouseRegion : public TMouseEvents<QWidget, TProMouseRegion> {
    Q_OBJECT
public:
    explicit TProMouseRegion(QWidget *parent = nullptr);

protected:
};

MIXDECK_EXCEPTION(EInvalidOperation, Exception);

// The picture of an image control: empty, a bitmap, or a metafile (a
// recorded drawing).
class TProPicture {
public:
    bool Empty() const { return bitmap_.isNull() && metafile_.isNull(); }
    bool HasBitmap() const { return !bitmap_.isNull(); }
    int Width() const;
    int Height() const;
    const QImage &Bitmap() const { return bitmap_; }
    QImage &Bitmap() { return bitmap_; }
    const QPicture &Metafile() const { return metafile_; }
    void SetBitmap(const QImage &image);
    void SetMetafile(const QPicture &picture);
    void Clear();
    // A bitmap keyed to its bottom-left pixel's colour; a metafile always
    // draws only what was recorded.
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool on) { transparent_ = on; }
    // Draws the picture into the rectangle.
    void Draw(QPainter &p, const QRect &dest) const;

private:
    QImage bitmap_;
    QPicture metafile_;
    bool transparent_ = false;
};

enum TProgressStage : uint8_t { psStarting, psRunning, psEnding };

// An image control with a tiling mode and mouse events.
class TProImage : public TMouseEvents<QWidget, TProImage> {
    Q_OBJECT
public:
    explicit TProImage(QWidget *parent = nullptr);

    const TProPicture &Picture() const { return picture_; }
    void SetPicture(const TProPicture &picture);
    void SetBitmap(const QImage &image);
    // The bitmap to draw on: made of the control's size when the picture is
    // empty; EInvalidOperation when the picture is not a bitmap. Call
    // PictureChanged() after drawing.
    QImage &Canvas();
    void PictureChanged();

    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on);
    bool Stretch() const { return stretch_; }
    void SetStretch(bool on);
    bool Center() const { return center_; }
    void SetCenter(bool on);
    bool Tiled() const { return tiled_; }
    void SetTiled(bool on);
    bool Transparent() const { return transparent_; }
    void SetTransparent(bool on);
    bool IncrementalDisplay() const { return incrementalDisplay_; }
    void SetIncrementalDisplay(bool on) { incrementalDisplay_ = on; }

    // Where the picture goes when it is not tiled.
    QRect DestRect() const;

    // Loading progress of the picture: repaints with IncrementalDisplay when
    // asked to, then passes the progress on.
    void Progress(TProgressStage stage, int percent, bool redrawNow, const QRect &r,
                  const std::string &msg);
    std::function<void(TProImage *sender, TProgressStage stage, int percent, bool redrawNow,
                       const QRect &r, const std::string &msg)>
        OnProgress;

    // Number of picture copies the last tiled painting drew.
    int TilesDrawn() const { return tilesDrawn_; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    TProPicture picture_;
    bool autoSize_ = false;
    bool stretch_ = false;
    bool center_ = false;
    bool tiled_ = false;
    bool incrementalDisplay_ = false;
    bool transparent_ = false;
    bool drawing_ = false;
    int tilesDrawn_ = 0;
};
