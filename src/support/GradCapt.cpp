#include "support/GradCapt.h"

#include "platform/Cp1252.h"
#include "support/VCLUtils.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QIcon>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QWhatsThis>
#include <QWindow>
#include <algorithm>
#include <bit>

// ---- caption buttons and the bar ----------------------------------------------

namespace {

// A caption button in the classic look: a raised 3D box with a black glyph,
// sunken while pressed, the glyph embossed grey when disabled.
class TCaptionButton : public QAbstractButton {
public:
    TCaptionButton(TCaptionButtonKind kind, QWidget *parent) : QAbstractButton(parent), kind_(kind)
    {
        setFocusPolicy(Qt::NoFocus);
        static const char *const names[] = {"MinimizeButton", "MaximizeButton", "CloseButton",
                                            "HelpButton"};
        setObjectName(QString::fromLatin1(names[int(kind)]));
        setAccessibleName(QString::fromLatin1(names[int(kind)]));
    }
    TCaptionButtonKind Kind() const { return kind_; }
    void SetRestoreGlyph(bool on)
    {
        if (restore_ != on) {
            restore_ = on;
            update();
        }
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        const int w = width(), h = height();
        const bool down = isDown();
        p.fillRect(rect(), ColorToQColor(clBtnFace));
        const QColor outerTL = ColorToQColor(down ? cl3DDkShadow : clBtnHighlight);
        const QColor outerBR = ColorToQColor(down ? clBtnHighlight : cl3DDkShadow);
        const QColor innerTL = ColorToQColor(down ? clBtnShadow : cl3DLight);
        const QColor innerBR = ColorToQColor(down ? cl3DLight : clBtnShadow);
        p.fillRect(0, 0, w - 1, 1, outerTL);
        p.fillRect(0, 0, 1, h - 1, outerTL);
        p.fillRect(0, h - 1, w, 1, outerBR);
        p.fillRect(w - 1, 0, 1, h, outerBR);
        p.fillRect(1, 1, w - 3, 1, innerTL);
        p.fillRect(1, 1, 1, h - 3, innerTL);
        p.fillRect(1, h - 2, w - 2, 1, innerBR);
        p.fillRect(w - 2, 1, 1, h - 2, innerBR);
        const int shift = down ? 1 : 0;
        if (isEnabled()) {
            drawGlyph(p, shift, shift, ColorToQColor(clBtnText));
        } else {
            drawGlyph(p, 1, 1, ColorToQColor(clBtnHighlight));
            drawGlyph(p, 0, 0, ColorToQColor(clBtnShadow));
        }
    }

private:
    void drawGlyph(QPainter &p, int dx, int dy, const QColor &c)
    {
        const int w = width(), h = height();
        // The glyph box: the button less its 2-pixel edges, centred.
        const int gw = std::max(4, w - 7), gh = std::max(4, h - 6);
        const int gx = (w - gw) / 2 + dx, gy = (h - gh) / 2 + dy;
        switch (kind_) {
        case TCaptionButtonKind::Minimize:
            p.fillRect(gx + 1, gy + gh - 2, std::max(2, gw - 3), 2, c);
            break;
        case TCaptionButtonKind::Maximize:
            if (restore_) {
                const int bw = gw - 3, bh = gh - 3;
                // back window, then front window
                p.fillRect(gx + 3, gy, bw, 2, c);
                p.fillRect(gx + 3, gy, 1, bh, c);
                p.fillRect(gx + 3 + bw - 1, gy, 1, bh, c);
                p.fillRect(gx, gy + 3, bw, bh, ColorToQColor(clBtnFace));
                p.fillRect(gx, gy + 3, bw, 2, c);
                p.fillRect(gx, gy + 3, 1, bh, c);
                p.fillRect(gx + bw - 1, gy + 3, 1, bh, c);
                p.fillRect(gx, gy + 3 + bh - 1, bw, 1, c);
            } else {
                p.fillRect(gx, gy, gw, 2, c);
                p.fillRect(gx, gy, 1, gh, c);
                p.fillRect(gx + gw - 1, gy, 1, gh, c);
                p.fillRect(gx, gy + gh - 1, gw, 1, c);
            }
            break;
        case TCaptionButtonKind::Close: {
            const int n = std::min(gw, gh);
            for (int i = 0; i < n; ++i) {
                p.fillRect(gx + i, gy + i, 2, 1, c);
                p.fillRect(gx + n - 1 - i, gy + i, 2, 1, c);
            }
            break;
        }
        case TCaptionButtonKind::Help: {
            QFont f = font();
            f.setBold(true);
            f.setPixelSize(std::max(6, gh + 2));
            p.setFont(f);
            p.setPen(c);
            p.drawText(QRect(gx, gy - 1, gw, gh + 2), Qt::AlignCenter, QStringLiteral("?"));
            break;
        }
        }
    }

    TCaptionButtonKind kind_;
    bool restore_ = false;
};

bool menuAutoPopup(const QMenu *menu)
{
    const QVariant v = menu->property("AutoPopup");
    return !v.isValid() || v.toBool();
}

// A generic application icon: a small window with a title strip.
QPixmap genericAppIcon(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.fillRect(1, 2, size - 2, size - 4, Qt::white);
    p.fillRect(1, 2, size - 2, 3, ColorToQColor(clActiveCaption));
    p.setPen(Qt::black);
    p.drawRect(1, 2, size - 3, size - 5);
    return pm;
}

} // namespace

class TGradCaptionBar : public QWidget {
public:
    TGradCaptionBar(TGradientCaption *owner, QWidget *form) : QWidget(form), owner_(owner)
    {
        setObjectName(QStringLiteral("GradCaptionBar"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        for (int k = 0; k < 4; ++k) {
            auto *b = new TCaptionButton(TCaptionButtonKind(k), this);
            buttons_[k] = b;
            b->hide();
            connect(b, &QAbstractButton::clicked, this, [this, k]() { ButtonClicked(TCaptionButtonKind(k)); });
        }
    }

    QAbstractButton *Button(TCaptionButtonKind kind) const { return buttons_[int(kind)]; }

    // Places and enables the buttons for the icons and the border style.
    void LayoutButtons(TBorderIcons icons, TFormBorderStyle style, int width, int height)
    {
        const bool tool = style == TFormBorderStyle::bsToolWindow
                          || style == TFormBorderStyle::bsSizeToolWin;
        const int bw = (tool ? GetSystemMetrics(SM_CXSMSIZE) : GetSystemMetrics(SM_CXSIZE)) - 2;
        const int bh = std::min(height - 2, (tool ? GetSystemMetrics(SM_CYSMSIZE)
                                                  : GetSystemMetrics(SM_CYSIZE)) - 4);
        const int y = std::max(0, (height - bh) / 2);
        for (auto *b : buttons_)
            b->hide();
        int x = width - 2 - bw;
        if (icons & biSystemMenu) {
            buttons_[int(TCaptionButtonKind::Close)]->setGeometry(x, y, bw, bh);
            buttons_[int(TCaptionButtonKind::Close)]->show();
            x -= 2 + bw;
        }
        if (icons & (biMinimize | biMaximize)) {
            auto *max = buttons_[int(TCaptionButtonKind::Maximize)];
            auto *min = buttons_[int(TCaptionButtonKind::Minimize)];
            max->setGeometry(x, y, bw, bh);
            max->setEnabled((icons & biMaximize) != 0);
            max->show();
            min->setGeometry(x - bw, y, bw, bh);
            min->setEnabled((icons & biMinimize) != 0);
            min->show();
        } else if (icons & biHelp) {
            buttons_[int(TCaptionButtonKind::Help)]->setGeometry(x, y, bw, bh);
            buttons_[int(TCaptionButtonKind::Help)]->show();
        }
        if (QWidget *f = owner_->GetForm())
            buttons_[int(TCaptionButtonKind::Maximize)]->SetRestoreGlyph(f->isMaximized());
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        TBorderIcons icons = 0;
        const TRect r = owner_->CalculateGradientParams(&icons);
        const int w = std::max(0, std::min(r.Width(), width()));
        const bool active = owner_->WindowActive();
        if (w > 0 && height() > 0)
            p.drawImage(0, 0, owner_->PaintCaption(w, height(), active));
        p.fillRect(QRect(w, 0, width() - w, height()), ColorToQColor(owner_->CaptionEndColor(active)));
    }

    void mousePressEvent(QMouseEvent *e) override
    {
        if (e->button() == Qt::LeftButton) {
            if (QWidget *f = owner_->GetForm()) {
                if (QWindow *win = f->windowHandle())
                    win->startSystemMove();
            }
            e->accept();
        } else if (e->button() == Qt::RightButton) {
            QMenu *menu = owner_->PopupMenu();
            if (menu && menuAutoPopup(menu))
                owner_->rightClickPending_ = true;
            e->accept();
        }
    }

    void mouseReleaseEvent(QMouseEvent *e) override
    {
        if (e->button() != Qt::RightButton)
            return;
        const QPoint global = e->globalPosition().toPoint();
        bool shown = false;
        if (owner_->rightClickPending_) {
            owner_->rightClickPending_ = false;
            shown = owner_->CheckMenuPopup(global);
        }
        if (!shown)
            owner_->ShowSystemMenu(global);
        e->accept();
    }

    void mouseDoubleClickEvent(QMouseEvent *e) override
    {
        auto *max = buttons_[int(TCaptionButtonKind::Maximize)];
        if (e->button() == Qt::LeftButton && max->isVisible() && max->isEnabled())
            ButtonClicked(TCaptionButtonKind::Maximize);
    }

private:
    void ButtonClicked(TCaptionButtonKind kind)
    {
        QWidget *f = owner_->GetForm();
        if (!f)
            return;
        switch (kind) {
        case TCaptionButtonKind::Minimize: f->showMinimized(); break;
        case TCaptionButtonKind::Maximize:
            if (f->isMaximized())
                f->showNormal();
            else
                f->showMaximized();
            break;
        case TCaptionButtonKind::Close: f->close(); break;
        case TCaptionButtonKind::Help: QWhatsThis::enterWhatsThisMode(); break;
        }
    }

    TGradientCaption *owner_;
    TCaptionButton *buttons_[4] = {};
};

// ---- TGradCaptionItem ------------------------------------------------------------

TGradCaptionItem::TGradCaptionItem(TGradCaptionList *list) : list_(list)
{
    if (list && list->GetOwner()) {
        font_ = list->GetOwner()->Font();
    } else {
        font_.Font = SystemCaptionFont();
        font_.Color = clCaptionText;
    }
}

TGradCaptionItem::~TGradCaptionItem() = default;

void TGradCaptionItem::Changed()
{
    if (list_)
        list_->Changed(this);
}

void TGradCaptionItem::SetCaption(const std::string &value)
{
    caption_ = value;
    Changed();
}

void TGradCaptionItem::SetFont(const TCaptionFont &value)
{
    font_ = value;
    parentFont_ = false;
    Changed();
}

void TGradCaptionItem::ParentFontChanged(const TCaptionFont &ownerFont)
{
    font_ = ownerFont;
    Changed();
}

void TGradCaptionItem::SetParentFont(bool value)
{
    parentFont_ = value;
    if (value && list_ && list_->GetOwner())
        font_ = list_->GetOwner()->Font();
    Changed();
}

void TGradCaptionItem::SetInactiveColor(TColor value)
{
    if (value == inactiveColor_)
        return;
    inactiveColor_ = value;
    TGradientCaption *owner = list_ ? list_->GetOwner() : nullptr;
    if (owner && !owner->WindowActive())
        Changed();
}

void TGradCaptionItem::SetGlueNext(bool value)
{
    if (value == glueNext_)
        return;
    glueNext_ = value;
    Changed();
}

void TGradCaptionItem::SetVisible(bool value)
{
    if (value == visible_)
        return;
    visible_ = value;
    Changed();
}

int TGradCaptionItem::Index() const
{
    if (!list_)
        return -1;
    for (int i = 0; i < list_->Count(); ++i)
        if (list_->Items(i) == this)
            return i;
    return -1;
}

void TGradCaptionItem::SetIndex(int value)
{
    const int cur = Index();
    if (cur >= 0 && value != cur)
        list_->Move(cur, value);
}

void TGradCaptionItem::Assign(const TGradCaptionItem &source)
{
    if (&source == this)
        return;
    if (list_)
        list_->BeginUpdate();
    RestoreDefaults();
    SetCaption(source.caption_);
    SetParentFont(source.parentFont_);
    if (!source.parentFont_)
        SetFont(source.font_);
    SetInactiveColor(source.inactiveColor_);
    SetGlueNext(source.glueNext_);
    SetVisible(source.visible_);
    if (list_)
        list_->EndUpdate();
}

void TGradCaptionItem::RestoreDefaults()
{
    SetInactiveColor(clInactiveCaptionText);
    SetVisible(true);
    SetParentFont(true);
}

// ---- TGradCaptionList ------------------------------------------------------------

TGradCaptionList::TGradCaptionList(TGradientCaption *owner) : owner_(owner) {}

TGradCaptionList::~TGradCaptionList() = default;

TGradCaptionItem *TGradCaptionList::Add()
{
    items_.push_back(std::make_unique<TGradCaptionItem>(this));
    TGradCaptionItem *item = items_.back().get();
    Changed(nullptr);
    return item;
}

TGradCaptionItem *TGradCaptionList::Items(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return items_[size_t(index)].get();
}

void TGradCaptionList::SetItems(int index, const TGradCaptionItem &value)
{
    if (TGradCaptionItem *item = Items(index))
        item->Assign(value);
}

void TGradCaptionList::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    items_.erase(items_.begin() + index);
    Changed(nullptr);
}

void TGradCaptionList::Clear()
{
    if (items_.empty())
        return;
    items_.clear();
    Changed(nullptr);
}

void TGradCaptionList::RestoreDefaults()
{
    BeginUpdate();
    for (auto &item : items_)
        item->RestoreDefaults();
    EndUpdate();
}

void TGradCaptionList::Assign(const TGradCaptionList &source)
{
    if (&source == this)
        return;
    BeginUpdate();
    items_.clear();
    for (const auto &src : source.items_)
        Add()->Assign(*src);
    EndUpdate();
}

void TGradCaptionList::BeginUpdate() { ++updateCount_; }

void TGradCaptionList::EndUpdate()
{
    if (updateCount_ > 0 && --updateCount_ == 0)
        Changed(nullptr);
}

void TGradCaptionList::Move(int from, int to)
{
    if (from < 0 || from >= Count())
        return;
    to = std::clamp(to, 0, Count() - 1);
    if (from == to)
        return;
    auto item = std::move(items_[size_t(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(item));
    Changed(nullptr);
}

void TGradCaptionList::Changed(TGradCaptionItem *item)
{
    if (updateCount_ == 0)
        Update(item);
}

void TGradCaptionList::Update(TGradCaptionItem *)
{
    if (owner_)
        owner_->SyncWindowTitle();
    if (owner_ && !owner_->loading_ && owner_->GetActive())
        owner_->Update();
}

// ---- TGradientCaption --------------------------------------------------------------

TGradientCaption::TGradientCaption(QWidget *owner, bool loading)
    : QObject(owner), form_(owner), loading_(loading)
{
    setObjectName(QStringLiteral("GradCaption"));
    captions_ = std::make_unique<TGradCaptionList>(this);
    hook_ = new TWindowHook(this);
    hook_->SetActive(true);
    hook_->BeforeMessage = [this](TWindowHook *s, TMessage &m, bool &h) { BeforeMessage(s, m, h); };
    hook_->AfterMessage = [this](TWindowHook *s, TMessage &m, bool &h) { AfterMessage(s, m, h); };
    SetFontDefault();
}

TGradientCaption::~TGradientCaption()
{
    destroying_ = true;
    OnActivate = nullptr;
    OnDeactivate = nullptr;
    // When the form itself is going away its guarded pointer is already
    // cleared and its children go with it: only the hook is let go then.
    if (form_)
        ReleaseHook();
    else
        hook_->SetWinControl(nullptr);
    if (form_ && bar_)
        delete bar_.data();
}

void TGradientCaption::Loaded()
{
    const bool wasLoading = loading_;
    loading_ = false;
    if (wasLoading && GetForm())
        Update();
}

QWidget *TGradientCaption::GetForm() const
{
    QWidget *f = form_;
    return f && f->isWindow() ? f : nullptr;
}

bool TGradientCaption::GetActive() const
{
    return active_ && GetForm() != nullptr;
}

void TGradientCaption::SetTextMeasure(TCaptionTextMeasure measure)
{
    measure_ = std::move(measure);
}

int TGradientCaption::GetTextWidth(const TCaptionFont &font, const std::string &text) const
{
    if (measure_)
        return measure_(font, text);
    return QFontMetrics(font.Font).horizontalAdvance(FromAnsi(text));
}

// -- hooking ----------------------------------------------------------------------

void TGradientCaption::SetHook()
{
    QWidget *f = GetForm();
    if (!f)
        return;
    hook_->SetWinControl(f);
    ApplyDecorations();
}

void TGradientCaption::ReleaseHook()
{
    hook_->SetWinControl(nullptr);
    RemoveDecorations();
}

void TGradientCaption::CheckToggleHook()
{
    if (GetActive())
        SetHook();
    else
        ReleaseHook();
}

static void growForm(QWidget *f, const QMargins &m, int sign)
{
    const int dw = sign * (m.left() + m.right());
    const int dh = sign * (m.top() + m.bottom());
    const QSize mn = f->minimumSize(), mx = f->maximumSize();
    auto adjMin = [](int v, int d) { return v == 0 ? 0 : std::max(0, v + d); };
    auto adjMax = [](int v, int d) { return v >= QWIDGETSIZE_MAX ? v : std::max(0, v + d); };
    const QSize newMin(adjMin(mn.width(), dw), adjMin(mn.height(), dh));
    const QSize newMax(adjMax(mx.width(), dw), adjMax(mx.height(), dh));
    if (sign > 0) {
        f->setMaximumSize(newMax);
        f->setMinimumSize(newMin);
    } else {
        f->setMinimumSize(newMin);
        f->setMaximumSize(newMax);
    }
    f->resize(std::max(0, f->width() + dw), std::max(0, f->height() + dh));
}

void TGradientCaption::ApplyDecorations()
{
    QWidget *f = GetForm();
    if (decorated_ || !f)
        return;
    const Qt::WindowFlags flags = f->windowFlags();
    const TFormBorderStyle style = StyleOf(flags, f);
    if (style == TFormBorderStyle::bsNone)
        return;   // no border: nothing to draw, nothing to replace
    savedFlags_ = flags;
    savedStyle_ = style;
    savedMargins_ = f->contentsMargins();
    const bool visible = f->isVisible();
    decorated_ = true;
    addedMargins_ = DecorationMargins();
    f->setWindowFlags(flags | Qt::FramelessWindowHint);
    f->setContentsMargins(savedMargins_ + addedMargins_);
    growForm(f, addedMargins_, +1);
    if (!bar_)
        bar_ = new TGradCaptionBar(this, f);
    bar_->show();
    bar_->raise();
    LayoutBar();
    if (visible)
        f->show();
    f->update();
}

void TGradientCaption::RemoveDecorations()
{
    QWidget *f = form_;
    if (!decorated_)
        return;
    decorated_ = false;
    if (!f)
        return;
    if (bar_)
        bar_->hide();
    f->setContentsMargins(savedMargins_);
    growForm(f, addedMargins_, -1);
    const bool visible = f->isVisible();
    f->setWindowFlags(savedFlags_);
    if (visible)
        f->show();
    f->update();
}

QMargins TGradientCaption::DecorationMargins() const
{
    const TFormBorderStyle style = FormBorderStyle();
    int fx = 0, fy = 0, cap = GetSystemMetrics(SM_CYCAPTION);
    switch (style) {
    case TFormBorderStyle::bsNone: return QMargins();
    case TFormBorderStyle::bsSingle:
    case TFormBorderStyle::bsDialog:
        fx = GetSystemMetrics(SM_CXFIXEDFRAME);
        fy = GetSystemMetrics(SM_CYFIXEDFRAME);
        break;
    case TFormBorderStyle::bsToolWindow:
        fx = GetSystemMetrics(SM_CXFIXEDFRAME);
        fy = GetSystemMetrics(SM_CYFIXEDFRAME);
        cap = GetSystemMetrics(SM_CYSMCAPTION);
        break;
    case TFormBorderStyle::bsSizeable:
        fx = GetSystemMetrics(SM_CXFRAME);
        fy = GetSystemMetrics(SM_CYFRAME);
        break;
    case TFormBorderStyle::bsSizeToolWin:
        fx = GetSystemMetrics(SM_CXFRAME);
        fy = GetSystemMetrics(SM_CYFRAME);
        cap = GetSystemMetrics(SM_CYSMCAPTION);
        break;
    }
    return QMargins(fx, fy + cap, fx, fy);
}

TFormBorderStyle TGradientCaption::StyleOf(Qt::WindowFlags flags, const QWidget *form) const
{
    if (flags & Qt::FramelessWindowHint)
        return TFormBorderStyle::bsNone;
    const bool fixed = form && form->minimumSize() == form->maximumSize();
    const Qt::WindowType type = Qt::WindowType(int(flags & Qt::WindowType_Mask));
    if (type == Qt::Tool)
        return fixed ? TFormBorderStyle::bsToolWindow : TFormBorderStyle::bsSizeToolWin;
    if (type == Qt::Dialog)
        return TFormBorderStyle::bsDialog;
    return fixed ? TFormBorderStyle::bsSingle : TFormBorderStyle::bsSizeable;
}

TFormBorderStyle TGradientCaption::FormBorderStyle() const
{
    if (decorated_)
        return savedStyle_;
    QWidget *f = GetForm();
    return f ? StyleOf(f->windowFlags(), f) : TFormBorderStyle::bsNone;
}

TBorderIcons TGradientCaption::FormBorderIcons() const
{
    QWidget *f = GetForm();
    if (!f)
        return 0;
    const Qt::WindowFlags flags = decorated_ ? savedFlags_ : f->windowFlags();
    TBorderIcons icons = 0;
    if (flags & (Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint))
        icons |= biSystemMenu;
    if (flags & Qt::WindowMinimizeButtonHint)
        icons |= biMinimize;
    if (flags & Qt::WindowMaximizeButtonHint)
        icons |= biMaximize;
    if (flags & Qt::WindowContextHelpButtonHint)
        icons |= biHelp;
    return icons;
}

TRect TGradientCaption::CalculateGradientParams(TBorderIcons *iconsOut) const
{
    QWidget *f = GetForm();
    if (!f) {
        if (iconsOut)
            *iconsOut = 0;
        return TRect();
    }
    TRect r(0, 0, f->width(), f->height());
    TBorderIcons icons = FormBorderIcons();
    const TFormBorderStyle style = FormBorderStyle();
    switch (style) {
    case TFormBorderStyle::bsDialog: icons &= biSystemMenu | biHelp; break;
    case TFormBorderStyle::bsToolWindow:
    case TFormBorderStyle::bsSizeToolWin: icons &= biSystemMenu; break;
    default:
        if (!(icons & biSystemMenu))
            icons &= ~(biMinimize | biMaximize);
        if (icons & (biMinimize | biMaximize))
            icons &= ~biHelp;
        break;
    }
    int n = std::popcount(icons);
    if (((icons & biMinimize) != 0) != ((icons & biMaximize) != 0))
        ++n;
    int fx = 0, fy = 0;
    switch (style) {
    case TFormBorderStyle::bsSingle:
    case TFormBorderStyle::bsDialog:
    case TFormBorderStyle::bsToolWindow:
        fx = GetSystemMetrics(SM_CXFIXEDFRAME);
        fy = GetSystemMetrics(SM_CYFIXEDFRAME);
        break;
    case TFormBorderStyle::bsSizeable:
    case TFormBorderStyle::bsSizeToolWin:
        fx = GetSystemMetrics(SM_CXFRAME);
        fy = GetSystemMetrics(SM_CYFRAME);
        break;
    case TFormBorderStyle::bsNone: break;
    }
    r = TRect(r.Left + fx, r.Top + fy, r.Right - fx, r.Bottom - fy);
    if (style == TFormBorderStyle::bsToolWindow || style == TFormBorderStyle::bsSizeToolWin) {
        r.Bottom = r.Top + GetSystemMetrics(SM_CYSMCAPTION) - 1;
        r.Right -= n * GetSystemMetrics(SM_CXSMSIZE);
    } else {
        r.Bottom = r.Top + GetSystemMetrics(SM_CYCAPTION) - 1;
        r.Right -= n * GetSystemMetrics(SM_CXSIZE);
    }
    if (iconsOut)
        *iconsOut = icons;
    return r;
}

void TGradientCaption::LayoutBar()
{
    QWidget *f = GetForm();
    if (!bar_ || !decorated_ || !f)
        return;
    TBorderIcons icons = 0;
    const TRect r = CalculateGradientParams(&icons);
    const int barWidth = std::max(0, f->width() - 2 * r.Left);
    bar_->setGeometry(r.Left, r.Top, barWidth, r.Height());
    bar_->LayoutButtons(icons, savedStyle_, barWidth, r.Height());
    bar_->raise();
    bar_->update();
}

void TGradientCaption::PaintFrame(QPainter &p) const
{
    QWidget *f = GetForm();
    if (!f || !decorated_)
        return;
    const int w = f->width(), h = f->height();
    const QMargins m = addedMargins_;
    const QColor face = ColorToQColor(clBtnFace);
    p.fillRect(0, 0, w, m.top(), face);
    p.fillRect(0, h - m.bottom(), w, m.bottom(), face);
    p.fillRect(0, 0, m.left(), h, face);
    p.fillRect(w - m.right(), 0, m.right(), h, face);
    // Raised window edge: light outside, highlight inside, shadows below.
    p.fillRect(0, 0, w - 1, 1, ColorToQColor(cl3DLight));
    p.fillRect(0, 0, 1, h - 1, ColorToQColor(cl3DLight));
    p.fillRect(0, h - 1, w, 1, ColorToQColor(cl3DDkShadow));
    p.fillRect(w - 1, 0, 1, h, ColorToQColor(cl3DDkShadow));
    p.fillRect(1, 1, w - 3, 1, ColorToQColor(clBtnHighlight));
    p.fillRect(1, 1, 1, h - 3, ColorToQColor(clBtnHighlight));
    p.fillRect(1, h - 2, w - 2, 1, ColorToQColor(clBtnShadow));
    p.fillRect(w - 2, 1, 1, h - 2, ColorToQColor(clBtnShadow));
}

// -- window events --------------------------------------------------------------------

void TGradientCaption::BeforeMessage(TWindowHook *, TMessage &msg, bool &handled)
{
    if (!GetActive())
        return;
    QWidget *f = GetForm();
    switch (msg.Msg) {
    case QEvent::ActivationChange:
        windowActive_ = f->isActiveWindow();
        break;
    case QEvent::MouseButtonPress: {
        // Resizing through the frame of a sizeable form.
        const TFormBorderStyle style = savedStyle_;
        if (!decorated_ || (style != TFormBorderStyle::bsSizeable
                            && style != TFormBorderStyle::bsSizeToolWin))
            break;
        auto *me = static_cast<QMouseEvent *>(msg.Event);
        if (me->button() != Qt::LeftButton || !f->windowHandle())
            break;
        const QPoint p = me->position().toPoint();
        const int fx = addedMargins_.left();
        Qt::Edges edges;
        if (p.x() < fx)
            edges |= Qt::LeftEdge;
        if (p.x() >= f->width() - fx)
            edges |= Qt::RightEdge;
        if (p.y() < addedMargins_.bottom())
            edges |= Qt::TopEdge;
        if (p.y() >= f->height() - addedMargins_.bottom())
            edges |= Qt::BottomEdge;
        if (edges && f->windowHandle()->startSystemResize(edges)) {
            msg.Result = true;
            handled = true;
        }
        break;
    }
    default: break;
    }
}

void TGradientCaption::AfterMessage(TWindowHook *, TMessage &msg, bool &)
{
    if (!GetActive())
        return;
    QWidget *f = GetForm();
    switch (msg.Msg) {
    case QEvent::Paint:
        if (decorated_) {
            QPainter p(f);
            PaintFrame(p);
        }
        break;
    case QEvent::ActivationChange:
        if (bar_)
            bar_->update();
        break;
    case QEvent::Resize:
    case QEvent::WindowStateChange:
        LayoutBar();
        break;
    case QEvent::WindowIconChange:
    case QEvent::LayoutDirectionChange:
        if (bar_)
            bar_->update();
        break;
    default: break;
    }
}

// -- drawing ----------------------------------------------------------------------------

TColor TGradientCaption::CaptionEndColor(bool active) const
{
    if (SystemGradientCaptions())
        return active ? clGradientActiveCaption : clGradientInactiveCaption;
    return active ? clActiveCaption : clInactiveCaption;
}

bool TGradientCaption::IsRightToLeft() const
{
    if (QWidget *f = GetForm())
        return f->layoutDirection() == Qt::RightToLeft;
    return QGuiApplication::layoutDirection() == Qt::RightToLeft;
}

QImage TGradientCaption::PaintCaption(int W, int H, bool active,
                                      std::vector<TCaptionTextOp> *ops) const
{
    QImage img(std::max(1, W), std::max(1, H), QImage::Format_RGB32);
    QPainter p(&img);
    const TColor endColor = CaptionEndColor(active);

    // The run starts a quarter of the width left of the bar.
    const TRect fill(-(W / 4), 0, W, H);
    if ((active && gradientActive_) || (!active && gradientInactive_))
        GradientFillRect(p, fill, startColor_, endColor, fdLeftToRight,
                         std::uint8_t(gradientSteps_ & 0xFF));
    else
        p.fillRect(0, 0, W, H, ColorToQColor(endColor));

    TRect dr(0, 0, W, H);

    // Small icon.
    TBorderIcons icons = 0;
    CalculateGradientParams(&icons);
    const TFormBorderStyle style = FormBorderStyle();
    if ((icons & biSystemMenu)
        && (style == TFormBorderStyle::bsSingle || style == TFormBorderStyle::bsSizeable)) {
        const int cx = GetSystemMetrics(SM_CXSMICON), cy = GetSystemMetrics(SM_CYSMICON);
        QIcon icon;
        if (QWidget *f = GetForm())
            icon = f->windowIcon();
        if (icon.isNull())
            icon = QApplication::windowIcon();
        const QPixmap pm = icon.isNull() ? genericAppIcon(cx) : icon.pixmap(cx, cy);
        p.drawPixmap(QRect(dr.Left + 1 + (H - cx) / 2, (H - cy) / 2, cx, cy), pm);
        dr.Left += H;
    }

    if (formCaption_.empty() && captions_->Count() == 0)
        return img;

    // Texts.
    dr.Left += 2;
    const bool rtl = IsRightToLeft();
    TCaptionFont cur = font_;
    auto freeWidth = [&dr]() { return dr.Right - dr.Left; };
    auto item = [this](int i) { return captions_->Items(i); };
    auto setCaptionFont = [&](int index) {
        const TGradCaptionItem *it = index >= 0 ? item(index) : nullptr;
        cur = (!it || it->ParentFont()) ? font_ : it->Font();
        if (!active)
            cur.Color = it ? it->InactiveColor() : fontInactiveColor_;
    };
    auto drawCaptionSegment = [&](const std::string &S, bool bareEllipsis, bool glue,
                                  int prevIndex) -> bool {
        if (S.empty())
            return true;
        auto width = [&](const std::string &s) { return GetTextWidth(cur, s); };
        std::string T = MinimizeText(S, width, freeWidth());
        if (glue && T == S && width(S + ".") >= freeWidth())
            T = bareEllipsis ? std::string("...") : S + "...";
        if (!(T == "..." && !bareEllipsis)) {
            if (T == "...") {
                setCaptionFont(-1);
                if (prevIndex >= 0 && item(prevIndex)) {
                    const TGradCaptionItem *prev = item(prevIndex);
                    cur.Color = active ? prev->Font().Color : prev->InactiveColor();
                }
            }
            p.setFont(cur.Font);
            p.setPen(ColorToQColor(cur.Color));
            int flags = Qt::AlignVCenter | Qt::TextSingleLine;
            flags |= rtl ? Qt::AlignRight : Qt::AlignLeft;
            p.drawText(dr.ToQRect(), flags, FromAnsi(T));
            if (ops)
                ops->push_back(TCaptionTextOp{T, dr, cur});
            const int w = width(T);
            if (rtl)
                dr.Right -= w;
            else
                dr.Left += w;
        }
        return T == S;
    };
    auto pieceWidth = [&](int i) {
        const TGradCaptionItem *it = item(i);
        return GetTextWidth(it->Font(), it->Caption());
    };

    const int n = captions_->Count();
    if (hideDirection_ == hdLeftToRight) {
        int total = 2 + GetTextWidth(font_, formCaption_);
        for (int i = 0; i < n; ++i)
            if (item(i)->Visible())
                total += pieceWidth(i);
        int first = 0;
        while (total > freeWidth() && first < n) {
            if (item(first)->Visible())
                total -= pieceWidth(first);
            while (item(first)->GlueNext() && first < n - 1) {
                ++first;
                if (item(first)->Visible())
                    total -= pieceWidth(first);
            }
            ++first;
        }
        for (int i = first; i < n; ++i) {
            if (!item(i)->Visible())
                continue;   // drawn as empty text
            setCaptionFont(i);
            drawCaptionSegment(item(i)->Caption(), false, false, -1);
        }
        setCaptionFont(-1);
        drawCaptionSegment(formCaption_, true, false, -1);
    } else {
        int running = 2;
        int counted = 0;
        while (running < freeWidth() && counted < n) {
            if (!item(counted)->Visible()) {
                ++counted;
                continue;
            }
            running += pieceWidth(counted);
            while (item(counted)->GlueNext() && counted < n - 1) {
                ++counted;
                if (item(counted)->Visible())
                    running += pieceWidth(counted);
            }
            ++counted;
        }
        bool stopped = false;
        for (int j = 0; j < counted && !stopped; ++j) {
            const TGradCaptionItem *it = item(j);
            if (!it->Visible() || it->Caption().empty())
                continue;
            setCaptionFont(j);
            const bool bare = j == 0 || item(j - 1)->GlueNext();
            const bool whole = drawCaptionSegment(it->Caption(), bare, it->GlueNext(), j - 1);
            if (!whole || (!it->GlueNext() && freeWidth() <= 0))
                stopped = true;
        }
        if (!formCaption_.empty() && !stopped && freeWidth() > 0) {
            setCaptionFont(-1);
            drawCaptionSegment(formCaption_, false, false, -1);
        }
    }
    return img;
}

QWidget *TGradientCaption::CaptionBar() const { return bar_; }

QAbstractButton *TGradientCaption::CaptionButton(TCaptionButtonKind kind) const
{
    return bar_ ? bar_->Button(kind) : nullptr;
}

bool TGradientCaption::CheckMenuPopup(const QPoint &globalPos)
{
    QMenu *menu = popupMenu_;
    if (!menu || !menuAutoPopup(menu))
        return false;
    menu->setProperty("PopupComponent", QVariant::fromValue<QObject *>(this));
    QWidget *f = GetForm();
    if (!f)
        return false;
    if (QWidget *grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    menu->popup(globalPos);
    return true;
}

void TGradientCaption::ShowSystemMenu(const QPoint &globalPos)
{
    QWidget *f = GetForm();
    if (!f || !bar_)
        return;
    TBorderIcons icons = 0;
    CalculateGradientParams(&icons);
    auto *menu = new QMenu(f);
    menu->setObjectName(QStringLiteral("SystemMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<QWidget> form(f);
    QAction *restore = menu->addAction(QStringLiteral("&Restore"), [form]() {
        if (form)
            form->showNormal();
    });
    restore->setEnabled(f->isMaximized() && (icons & biMaximize));
    QAction *min = menu->addAction(QStringLiteral("Mi&nimize"), [form]() {
        if (form)
            form->showMinimized();
    });
    min->setEnabled((icons & biMinimize) != 0);
    QAction *max = menu->addAction(QStringLiteral("Ma&ximize"), [form]() {
        if (form)
            form->showMaximized();
    });
    max->setEnabled((icons & biMaximize) && !f->isMaximized());
    menu->addSeparator();
    QAction *close = menu->addAction(QStringLiteral("&Close"), [form]() {
        if (form)
            form->close();
    });
    close->setEnabled((icons & biSystemMenu) != 0);
    menu->popup(globalPos);
}

// -- properties ------------------------------------------------------------------------------

bool TGradientCaption::GradientInUse() const
{
    return windowActive_ ? gradientActive_ : gradientInactive_;
}

void TGradientCaption::Update()
{
    if (loading_ || !GetForm())
        return;
    CheckToggleHook();
    windowActive_ = false;
    QWidget *f = GetForm();
    if (f && f->isVisible()) {
        if (GetActive())
            windowActive_ = f->isActiveWindow() && IsForegroundTask();
        if (bar_ && decorated_)
            bar_->update();
        f->update();
    }
}

void TGradientCaption::SetActive(bool value)
{
    if (value == active_)
        return;
    active_ = value;
    rightClickPending_ = false;
    Update();
    if (loading_ || destroying_)
        return;
    if (value && OnActivate)
        OnActivate(this);
    else if (!value && OnDeactivate)
        OnDeactivate(this);
}

void TGradientCaption::SetCaptions(const TGradCaptionList &value)
{
    captions_->Assign(value);
}

void TGradientCaption::SetDefaultFont(bool value)
{
    if (value == defaultFont_)
        return;
    if (value)
        SetFontDefault();
    defaultFont_ = value;
    if (GetActive())
        Update();
}

void TGradientCaption::SetFontDefault()
{
    const TFormBorderStyle style = FormBorderStyle();
    const bool tool = style == TFormBorderStyle::bsToolWindow
                      || style == TFormBorderStyle::bsSizeToolWin;
    font_.Font = tool ? SystemSmallCaptionFont() : SystemCaptionFont();
    font_.Color = clCaptionText;
    defaultFont_ = true;
}

void TGradientCaption::SetFont(const TCaptionFont &value)
{
    font_ = value;
    FontChanged();
}

void TGradientCaption::FontChanged()
{
    defaultFont_ = false;
    if (captions_) {
        captions_->BeginUpdate();
        for (int i = 0; i < captions_->Count(); ++i) {
            TGradCaptionItem *it = captions_->Items(i);
            if (it->ParentFont())
                it->ParentFontChanged(font_);
        }
        captions_->EndUpdate();
    } else if (GetActive()) {
        Update();
    }
}

void TGradientCaption::SetFormCaption(const std::string &value)
{
    if (value == formCaption_)
        return;
    formCaption_ = value;
    SyncWindowTitle();
    if (GetActive())
        Update();
}

std::string TGradientCaption::CaptionText() const
{
    std::string text;
    for (int i = 0; captions_ && i < captions_->Count(); ++i)
        if (const TGradCaptionItem *it = captions_->Items(i); it && it->Visible())
            text += it->Caption();
    return text + formCaption_;
}

// The window's own title carries the painted text, so that task bars and
// window switchers name the window.
void TGradientCaption::SyncWindowTitle()
{
    QWidget *f = GetForm();
    if (!f || destroying_)
        return;
    const QString title = FromAnsi(CaptionText());
    if (f->windowTitle() != title)
        f->setWindowTitle(title);
}

void TGradientCaption::SetFontInactiveColor(TColor value)
{
    if (value == fontInactiveColor_)
        return;
    fontInactiveColor_ = value;
    if (GetActive() && !windowActive_)
        Update();
}

void TGradientCaption::SetGradientActive(bool value)
{
    if (value == gradientActive_)
        return;
    gradientActive_ = value;
    if (GetActive() && windowActive_)
        Update();
}

void TGradientCaption::SetGradientInactive(bool value)
{
    if (value == gradientInactive_)
        return;
    gradientInactive_ = value;
    if (GetActive() && !windowActive_)
        Update();
}

void TGradientCaption::SetGradientSteps(int value)
{
    if (value == gradientSteps_)
        return;
    gradientSteps_ = value;
    if (GetActive() && GradientInUse())
        Update();
}

void TGradientCaption::SetHideDirection(THideDirection value)
{
    if (value == hideDirection_)
        return;
    hideDirection_ = value;
    if (GetActive())
        Update();
}

void TGradientCaption::SetPopupMenu(QMenu *value)
{
    popupMenu_ = value;
}

void TGradientCaption::SetStartColor(TColor value)
{
    if (value == startColor_)
        return;
    startColor_ = value;
    if (GetActive())
        Update();
}

void TGradientCaption::Clear()
{
    captions_->Clear();
}

void TGradientCaption::MoveCaption(int fromIndex, int toIndex)
{
    if (TGradCaptionItem *it = captions_->Items(fromIndex))
        it->SetIndex(toIndex);
}

TGradientCaption *GradientFormCaption(QWidget *form, TColor startColor)
{
    auto *caption = new TGradientCaption(form);
    try {
        caption->startColor_ = startColor;
        caption->SetFormCaption(form ? ToAnsi(form->windowTitle()) : std::string());
        caption->Update();
    } catch (...) {
        delete caption;
        throw;
    }
    return caption;
}
