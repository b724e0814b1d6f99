// The list's mouse, keyboard and timer behaviour beyond check boxes: rows
// moved by dragging, rows and columns moved or swapped by calls, cell
// editing gated by OnCanEditCell, hints for truncated cells and for the
// scroll box, and the clipboard.
#include "controls/EnhListV.h"

#include "controls/EnhListDraw.h"
#include "controls/HTMLPaint.h"
#include "controls/RtfText.h"
#include "platform/Cp1252.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QPainter>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>

#include <algorithm>

QWidget *TEnhListDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                        const QModelIndex &index) const
{
    QWidget *w = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto *line = qobject_cast<QLineEdit *>(w)) line->setMaxLength(TEnhListView::EditMaxChars);
    lastEditor_ = w;
    return w;
}

// ---- rows and columns ---------------------------------------------------------------------

void TEnhListView::MoveItem(int From, int To)
{
    if (From == To || From == -1) return;
    TListItem *item = Items.Item(From);
    if (!item || To < -1 || To >= Items.Count()) return;
    const bool selected = item->Selected();
    item->SetSelected(false);
    const TListItemContent content = item->Content();
    Items.Delete(From);
    TListItem *moved = Items.Insert(To == -1 ? Items.Count() : To);
    moved->SetContent(content);
    moved->SetSelected(selected);
    moved->SetFocused(true);
    // The rows are measured again.
    SetItemHeight(itemHeight_);
}

void TEnhListView::SwapItems(int Index1, int Index2)
{
    TListItem *a = Items.Item(Index1), *b = Items.Item(Index2);
    if (!a || !b || a == b) return;
    const TListItemContent ca = a->Content();
    a->SetContent(b->Content());
    b->SetContent(ca);
}

void TEnhListView::MoveColumn(int From, int To)
{
    const int n = header()->count();
    if (From < 0 || To < 0 || From >= n || To >= n || From == To) return;
    header()->moveSection(From, To);
    viewport()->update();
}

void TEnhListView::SwapColumns(int Pos1, int Pos2)
{
    const int n = header()->count();
    if (Pos1 < 0 || Pos2 < 0 || Pos1 >= n || Pos2 >= n || Pos1 == Pos2) return;
    header()->swapSections(Pos1, Pos2);
    viewport()->update();
}

void TEnhListView::endRowMove(const QPoint *target)
{
    const int from = movingRow_;
    movingRow_ = -1;
    if (moveTimer_) moveTimer_->stop();
    viewport()->unsetCursor();
    if (!target || from < 0) return;
    const QModelIndex i = indexAt(*target);
    MoveItem(from, i.isValid() ? i.row() : -1);
}

void TEnhListView::rowMoveTick()
{
    if (movingRow_ < 0) return;
    // Viewport coordinates: the rows start under the header.
    if (lastMovePos_.y() < itemHeight_)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (lastMovePos_.y() > viewport()->height() - itemHeight_)
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

// ---- editing ---------------------------------------------------------------------------------

void TEnhListView::StartEdit(int Row, int Col)
{
    if (!Items.Item(Row) || Col < 0 || Col >= Columns.Count()) return;
    rememberedRow_ = Row;
    rememberedCol_ = Col;
    QTreeView::edit(model_->index(Row, Col));
}

void TEnhListView::SetEditText(const std::string &Text)
{
    if (!Editing()) return;
    if (auto *line = qobject_cast<QLineEdit *>(delegate_->LastEditor())) line->setText(FromAnsi(Text));
}

bool TEnhListView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    // Only a trigger that opens an editor is gated; everything else (the
    // delegate's own events) takes the standard path.
    if (!index.isValid() || (trigger != AllEditTriggers && !(editTriggers() & trigger)))
        return QTreeView::edit(index, trigger, event);
    if (Editing()) return false;
    const int col = SubItemEdit ? std::clamp(rememberedCol_, 0, std::max(0, Columns.Count() - 1)) : 0;
    const QModelIndex cell = model_->index(index.row(), col);
    if (!(model_->flags(cell) & Qt::ItemIsEditable)) return false;
    rememberedRow_ = index.row();
    bool allow = true;
    if (OnCanEditCell) OnCanEditCell(this, rememberedRow_, col, allow);
    if (!allow) return false;
    return QTreeView::edit(cell, AllEditTriggers, event);
}

int TEnhListView::FocusRepaint()
{
    TListItem *f = Items.ItemFocused();
    if (!f) return 0;
    const int row = f->Index();
    const QRect cell = visualRect(model_->index(row, 0));
    viewport()->update(QRect(0, cell.top(), viewport()->width(), cell.height()));
    return row;
}

// ---- keys --------------------------------------------------------------------------------------

bool TEnhListView::interactKey(QKeyEvent *e)
{
    const int key = e->key();
    const Qt::KeyboardModifiers mods = e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
    if (ClipboardEnable) {
        const bool ctrl = mods == Qt::ControlModifier, shift = mods == Qt::ShiftModifier;
        void (TEnhListView::*action)() = nullptr;
        if ((ctrl && key == Qt::Key_X) || (shift && key == Qt::Key_Delete)) action = &TEnhListView::CutToClipboard;
        else if ((ctrl && key == Qt::Key_V) || (shift && key == Qt::Key_Insert))
            action = &TEnhListView::PasteFromClipboard;
        else if (ctrl && (key == Qt::Key_C || key == Qt::Key_Insert))
            action = &TEnhListView::CopySelectionToClipboard;
        if (action) {
            (this->*action)();
            e->accept();
            return true;
        }
    }
    if (key == Qt::Key_Left) rememberedCol_ = std::max(0, rememberedCol_ - 1);
    if (key == Qt::Key_Right) rememberedCol_ = std::max(0, std::min(rememberedCol_ + 1, Columns.Count() - 1));
    if (key != Qt::Key_Space && key != Qt::Key_Left && key != Qt::Key_Right && key != Qt::Key_F2) return false;
    FocusRepaint();
    if (SubItemEdit && (key == Qt::Key_Space || key == Qt::Key_F2)) {
        if (TListItem *f = Items.ItemFocused()) StartEdit(f->Index(), rememberedCol_);
        e->accept();
        return true;
    }
    return false;
}

// ---- mouse, hints ---------------------------------------------------------------------------------

void TEnhListView::mouseMoveEvent(QMouseEvent *e)
{
    const QPoint p = e->position().toPoint();
    lastMovePos_ = p;
    hoverMove(p);
    if (hintRow_ != -1) {
        const QModelIndex i = indexAt(p);
        if (!i.isValid() || i.row() != hintRow_ || i.column() != hintCol_) {
            QToolTip::hideText();
            hintRow_ = hintCol_ = -1;
        }
    }
    if (movingRow_ >= 0) {
        // The row follows the pointer; the standard handling would drag the
        // selection along instead.
        viewport()->setCursor(Qt::DragMoveCursor);
        return;
    }
    linkMouseMove(p);
    QTreeView::mouseMoveEvent(e);
}

bool TEnhListView::CellHint(int Col, int Row, std::string &Hint)
{
    if (Row < 0 || !Items.Item(Row) || Col < 0 || Col >= Columns.Count()) return false;
    const std::string text = GetTextAtColRow(Col, Row);
    if (text.empty()) return false;
    TColor brush = clWindow;
    TFontDesc fd = defaultFontDesc();
    QueryDrawProp(Row, Col - 1, 0, brush, fd, text);
    const QFont f = OnDrawItemProp ? toQFont(fd) : font();
    std::string shown = text;
    int width = 0;
    if (EnhListDraw::IsRichText(text)) shown = RtfText::ToPlainText(text);
    if (EnhListDraw::IsMarkup(shown)) {
        // The painter measures and strips; the markup itself with HTMLHint.
        QImage img(1, 1, QImage::Format_ARGB32);
        QPainter p(&img);
        TQtHTMLCanvas canvas(p);
        canvas.BaseFont = f;
        canvas.Font = fd;
        THTMLDrawParams prm = ListHTMLParams(URLColor, &smallImages_, pictureCache_.get(), pictureContainer_);
        prm.CheckHeight = true;
        THTMLDrawResult res;
        DrawHTMLText(canvas, shown, TRect(0, 0, 1000, 1000), prm, res);
        width = res.XSize;
        if (!HTMLHint) shown = res.StripVal;
    } else {
        width = QFontMetrics(f).horizontalAdvance(FromAnsi(shown));
    }
    if (columnWidth(Col) >= width + 4) return false;
    Hint = shown;
    return true;
}

bool TEnhListView::viewportEvent(QEvent *e)
{
    switch (e->type()) {
    case QEvent::ToolTip: {
        if (!AutoHint) break;
        auto *he = static_cast<QHelpEvent *>(e);
        const QModelIndex i = indexAt(he->pos());
        std::string hint;
        if (!i.isValid() || !CellHint(i.column(), i.row(), hint)) {
            QToolTip::hideText();
            e->ignore();
            return true;
        }
        QRect r = visualRect(i);
        if (i.column() == 0) r.setLeft(visualRect(model_->index(i.row(), 0)).left());
        hintCol_ = i.column();
        hintRow_ = i.row();
        QToolTip::showText(viewport()->mapToGlobal(r.topLeft()), FromAnsi(hint), viewport(), r);
        return true;
    }
    case QEvent::Leave:
        // Leaving the list ends a row move without moving.
        if (movingRow_ >= 0) endRowMove(nullptr);
        break;
    default:
        break;
    }
    return QTreeView::viewportEvent(e);
}

QWidget *TEnhListView::ScrollHintWindow() const { return scrollHint_; }

void TEnhListView::scrollHintMoved(int value)
{
    if (!ScrollHint) return;
    TListItem *item = Items.Item(value);
    if (!scrollHint_) {
        scrollHint_ = new QLabel(this, Qt::ToolTip);
        scrollHint_->setMaximumWidth(100);
        QPalette pal = scrollHint_->palette();
        pal.setColor(QPalette::Window, ColorToQColor(clInfoBk));
        pal.setColor(QPalette::WindowText, ColorToQColor(clInfoText));
        scrollHint_->setPalette(pal);
        scrollHint_->setAutoFillBackground(true);
        connect(verticalScrollBar(), &QScrollBar::sliderReleased, scrollHint_, &QWidget::hide);
    }
    scrollHint_->setText(item ? FromAnsi(item->Caption()) : QString());
    scrollHint_->adjustSize();
    scrollHint_->move(QCursor::pos() + QPoint(10, 0));
    scrollHint_->show();
}

// ---- clipboard ------------------------------------------------------------------------------------

std::string TEnhListView::clipboardText(bool selectionOnly) const
{
    if (SubItemEdit || SubItemSelect) {
        if (TListItem *sel = Items.Selected()) return sel->CellText(rememberedCol_);
    }
    std::string out;
    for (int r = 0; r < Items.Count(); ++r) {
        const TListItem *it = Items.Item(r);
        if (selectionOnly && !it->Selected()) continue;
        out += it->Caption();
        for (int s = 0; s < it->SubItems.Count(); ++s) out += '\t' + it->SubItems[s];
        out += "\r\n";
    }
    return out;
}

void TEnhListView::CopyToClipBoard() { QApplication::clipboard()->setText(FromAnsi(clipboardText(false))); }

void TEnhListView::CopySelectionToClipboard() { QApplication::clipboard()->setText(FromAnsi(clipboardText(true))); }

void TEnhListView::CutToClipboard()
{
    CopySelectionToClipboard();
    BeginUpdate();
    for (int r = Items.Count() - 1; r >= 0; --r)
        if (Items.Item(r)->Selected()) Items.Delete(r);
    EndUpdate();
}

void TEnhListView::PasteFromClipboard()
{
    const QString text = QApplication::clipboard()->text();
    if (size_t(text.size()) > PasteMaxBytes) return;
    PasteText(ToAnsi(text));
}

void TEnhListView::PasteText(const std::string &Text)
{
    if (Text.size() > PasteMaxBytes) return;
    if (SubItemEdit || SubItemSelect) {
        if (TListItem *sel = Items.Selected()) SetTextAtColRow(rememberedCol_, sel->Index(), Text);
        return;
    }
    const auto rows = ClipboardRows(Text);
    if (rows.empty()) return;
    TListItem *last = nullptr;
    BeginUpdate();
    for (const auto &fields : rows) {
        while (Columns.Count() < int(fields.size())) Columns.Add();
        TListItem *it = Items.Add();
        it->SetCaption(fields[0]);
        it->SubItems.Assign(std::vector<std::string>(fields.begin() + 1, fields.end()));
        it->SetSelected(true);
        last = it;
    }
    EndUpdate();
    scrollToBottom();
    last->SetFocused(true);
}
