#pragma once
// The gradient title bar: a component that paints the title bar of the form
// that owns it, with a colour gradient (or a solid fill) from a start colour
// to the caption colour, the form's small icon, and a caption text made of
// optional segments followed by the form caption, each in its own font and
// shortened with "..." when the bar is too narrow.
//
// The window manager owns a native title bar, so while the component is
// active the form becomes frameless and the component draws a classic frame
// and a caption bar of its own (icon, text, minimise, maximise and close
// buttons); the bar moves the window through QWindow::startSystemMove(). The
// form's client area is its contentsRect(): the component adds the frame and
// the bar to the form's contents margins and grows the form by as much, so
// the client area keeps its size (lay the form out with a layout, as a
// QMainWindow does, and size it before the component becomes active).
// Switching Active off gives the form its native decorations back.
#include "platform/Graphics.h"
#include "support/WinHook.h"

#include <QAbstractButton>
#include <QFont>
#include <QImage>
#include <QMargins>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QMenu>
class TGradientCaption;
class TGradCaptionList;
class TGradCaptionBar;

enum THideDirection { hdLeftToRight, hdRightToLeft };

// The form's border, as the frame and the caption buttons are chosen by it.
enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4, biHelp = 8 };
using TBorderIcons = unsigned;

// A font with its colour.
struct TCaptionFont {
    QFont Font;
    TColor Color = clCaptionText;
    bool operator==(const TCaptionFont &o) const { return Font == o.Font && Color == o.Color; }
    bool operator!=(const TCaptionFont &o) const { return !(*this == o); }
};

// Measures a text (Windows-1252 bytes) in a font, in pixels.
using TCaptionTextMeasure = std::function<int(const TCaptionFont &font, const std::string &text)>;

// One piece of text drawn on the bar: the text as drawn, the rectangle it was
// drawn into (bar coordinates) and the font and colour.
struct TCaptionTextOp {
    std::string Text;
    TRect Rect;
    TCaptionFont Font;
};

class TGradCaptionItem {
public:
    explicit TGradCaptionItem(TGradCaptionList *list = nullptr);
    virtual ~TGradCaptionItem();
    TGradCaptionItem(const TGradCaptionItem &) = delete;
    TGradCaptionItem &operator=(const TGradCaptionItem &) = delete;

    const std::string &Caption() const { return caption_; }
    void SetCaption(const std::string &value);
    const TCaptionFont &Font() const { return font_; }
    void SetFont(const TCaptionFont &value);   // makes ParentFont false
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool value);
    TColor InactiveColor() const { return inactiveColor_; }
    void SetInactiveColor(TColor value);
    bool GlueNext() const { return glueNext_; }
    void SetGlueNext(bool value);
    bool Visible() const { return visible_; }
    void SetVisible(bool value);
    int Index() const;
    void SetIndex(int value);
    TGradCaptionList *Collection() const { return list_; }

    void Assign(const TGradCaptionItem &source);
    virtual void RestoreDefaults();

private:
    friend class TGradCaptionList;
    friend class TGradientCaption;
    void Changed();
    void ParentFontChanged(const TCaptionFont &ownerFont);

    TGradCaptionList *list_;
    std::string caption_;
    TCaptionFont font_;
    bool parentFont_ = true;
    TColor inactiveColor_ = clInactiveCaptionText;
    bool glueNext_ = false;
    bool visible_ = true;
};

class TGradCaptionList {
public:
    explicit TGradCaptionList(TGradientCaption *owner = nullptr);
    virtual ~TGradCaptionList();
    TGradCaptionList(const TGradCaptionList &) = delete;
    TGradCaptionList &operator=(const TGradCaptionList &) = delete;

    TGradientCaption *GetOwner() const { return owner_; }
    TGradCaptionItem *Add();
    int Count() const { return int(items_.size()); }
    TGradCaptionItem *Items(int index) const;
    void SetItems(int index, const TGradCaptionItem &value);
    void Delete(int index);
    void Clear();
    void RestoreDefaults();
    void Assign(const TGradCaptionList &source);
    void BeginUpdate();
    void EndUpdate();

protected:
    // Change notification: repaints the owner.
    virtual void Update(TGradCaptionItem *item);

private:
    friend class TGradCaptionItem;
    void Changed(TGradCaptionItem *item);
    void Move(int from, int to);

    TGradientCaption *owner_;
    std::vector<std::unique_ptr<TGradCaptionItem>> items_;
    int updateCount_ = 0;
};

enum class TCaptionButtonKind { Minimize, Maximize, Close, Help };

class TGradientCaption : public QObject {
public:
    // With loading true the component waits for Loaded() (after the stored
    // property values were set) before it hooks the form.
    explicit TGradientCaption(QWidget *owner, bool loading = false);
    ~TGradientCaption() override;
    void Loaded();

    bool Active() const { return active_; }
    void SetActive(bool value);
    TGradCaptionList &Captions() { return *captions_; }
    const TGradCaptionList &Captions() const { return *captions_; }
    void SetCaptions(const TGradCaptionList &value);
    bool DefaultFont() const { return defaultFont_; }
    void SetDefaultFont(bool value);
    const std::string &FormCaption() const { return formCaption_; }
    // Also sets the window's own title to the whole painted text.
    void SetFormCaption(const std::string &value);
    // The painted text: the visible caption segments, then FormCaption.
    std::string CaptionText() const;
    TColor FontInactiveColor() const { return fontInactiveColor_; }
    void SetFontInactiveColor(TColor value);
    const TCaptionFont &Font() const { return font_; }
    void SetFont(const TCaptionFont &value);
    bool GradientActive() const { return gradientActive_; }
    void SetGradientActive(bool value);
    bool GradientInactive() const { return gradientInactive_; }
    void SetGradientInactive(bool value);
    int GradientSteps() const { return gradientSteps_; }
    void SetGradientSteps(int value);
    THideDirection HideDirection() const { return hideDirection_; }
    void SetHideDirection(THideDirection value);
    // A menu shown on a right click on the bar, in place of the window menu.
    // It pops up only while its automatic pop-up is on: the menu's "AutoPopup"
    // property (true when the menu has none).
    QMenu *PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu *value);
    TColor StartColor() const { return startColor_; }
    void SetStartColor(TColor value);
    std::function<void(QObject *sender)> OnActivate;
    std::function<void(QObject *sender)> OnDeactivate;

    // Recomputes the active state and repaints the bar.
    void Update();
    void Clear();
    void MoveCaption(int fromIndex, int toIndex);

    // ---- state and pieces ----------------------------------------------------
    QWidget *GetForm() const;
    bool GetActive() const;
    // Whether the owning window is drawn as active.
    bool WindowActive() const { return windowActive_; }
    // Whether the form is currently frameless with the component's bar.
    bool OwnsDecorations() const { return decorated_; }
    // Text measuring; the default measures with the font's metrics.
    void SetTextMeasure(TCaptionTextMeasure measure);
    int GetTextWidth(const TCaptionFont &font, const std::string &text) const;
    // The form's border style and icons (from its window flags and size).
    TFormBorderStyle FormBorderStyle() const;
    TBorderIcons FormBorderIcons() const;
    // The caption rectangle in form coordinates, without the button area,
    // and the icons that remain for the style.
    TRect CalculateGradientParams(TBorderIcons *icons = nullptr) const;
    // Frame and caption-bar sizes the component adds around the client area.
    QMargins DecorationMargins() const;
    // Draws the caption (gradient, icon, texts) for a bar of width by height
    // pixels in the given activation state, returning the picture and,
    // when asked, the texts drawn.
    QImage PaintCaption(int width, int height, bool active,
                        std::vector<TCaptionTextOp> *ops = nullptr) const;
    // The end colour of the gradient in the given state.
    TColor CaptionEndColor(bool active) const;
    QWidget *CaptionBar() const;
    QAbstractButton *CaptionButton(TCaptionButtonKind kind) const;
    // Shows the popup menu at a screen position; see the right-click rule.
    bool CheckMenuPopup(const QPoint &globalPos);

private:
    friend class TGradCaptionBar;
    friend class TGradCaptionList;
    friend class TGradCaptionItem;
    friend TGradientCaption *GradientFormCaption(QWidget *form, TColor startColor);

    void SetHook();
    void ReleaseHook();
    void SyncWindowTitle();
    void CheckToggleHook();
    void ApplyDecorations();
    void RemoveDecorations();
    void LayoutBar();
    void PaintFrame(QPainter &p) const;
    void BeforeMessage(TWindowHook *sender, TMessage &msg, bool &handled);
    void AfterMessage(TWindowHook *sender, TMessage &msg, bool &handled);
    void SetFontDefault();
    void FontChanged();
    bool IsRightToLeft() const;
    bool GradientInUse() const;
    TFormBorderStyle StyleOf(Qt::WindowFlags flags, const QWidget *form) const;
    void ShowSystemMenu(const QPoint &globalPos);

    QPointer<QWidget> form_;
    TWindowHook *hook_;
    std::unique_ptr<TGradCaptionList> captions_;
    TCaptionTextMeasure measure_;
    QPointer<TGradCaptionBar> bar_;
    QPointer<QMenu> popupMenu_;

    bool active_ = true;
    bool defaultFont_ = true;
    std::string formCaption_;
    TColor fontInactiveColor_ = clInactiveCaptionText;
    TCaptionFont font_;
    bool gradientActive_ = true;
    bool gradientInactive_ = false;
    int gradientSteps_ = 64;
    THideDirection hideDirection_ = hdLeftToRight;
    TColor startColor_ = clWindowText;

    bool loading_ = false;
    bool destroying_ = false;
    bool windowActive_ = false;
    bool rightClickPending_ = false;
    bool decorated_ = false;
    Qt::WindowFlags savedFlags_;
    QMargins savedMargins_;
    QMargins addedMargins_;
    TFormBorderStyle savedStyle_ = TFormBorderStyle::bsSizeable;
};

// Creates a gradient caption for the form with the given start colour and
// the form's title as its caption text, and activates it.
TGradientCaption *GradientFormCaption(QWidget *form, TColor startColor);
