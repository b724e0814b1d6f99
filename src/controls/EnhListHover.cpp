// The row and the header section under the pointer: track selection, the
// underlined hot row of the activation styles, activation by clicks, and
// the hot header section.
#include "controls/EnhListDraw.h"
#include "controls/EnhListV.h"

#include <QHeaderView>
#include <QTimer>

bool TEnhListView::HotRowUnderlined(int row) const
{
    return row >= 0 && row == hotRow_ && (oneClickActivate_ || twoClickActivate_);
}

void TEnhListView::hoverMove(const QPoint &p)
{
    const QModelIndex i = indexAt(p);
    const int row = i.isValid() ? i.row() : -1;
    if (row == hotRow_) return;
    const int old = hotRow_;
    hotRow_ = row;
    if (oneClickActivate_ || twoClickActivate_) {
        for (int r : {old, row}) {
            if (r < 0) continue;
            const QRect cell = visualRect(model_->index(r, 0));
            viewport()->update(QRect(0, cell.top(), viewport()->width(), cell.height()));
        }
    }
    if (!trackSelect_) return;
    if (!hoverTimer_) {
        hoverTimer_ = new QTimer(this);
        hoverTimer_->setSingleShot(true);
        connect(hoverTimer_, &QTimer::timeout, this, &TEnhListView::hoverTimeout);
    }
    if (row < 0) {
        hoverTimer_->stop();
        return;
    }
    hoverTimer_->start(std::max(HoverTime, 0));
}

void TEnhListView::hoverLeave()
{
    if (hoverTimer_) hoverTimer_->stop();
    hoverMove(QPoint(-1, -1));
}

void TEnhListView::hoverTimeout()
{
    if (!trackSelect_ || hotRow_ < 0 || !Items.Item(hotRow_)) return;
    if (TListItem *now = Items.Selected(); now && now->Index() == hotRow_ && Items.SelCount() == 1) return;
    SelectItem(hotRow_);
}

void TEnhListView::activateOnPress(int row, bool wasSelected, bool doubleClick)
{
    if (row < 0 || !Items.Item(row) || !OnItemActivate) return;
    bool activate;
    if (twoClickActivate_) activate = wasSelected;  // the second click on a row
    else if (oneClickActivate_) activate = true;    // every click
    else activate = doubleClick;
    if (activate) OnItemActivate(this, row);
}

void TEnhListView::headerHover(int section)
{
    if (section == hotSection_) return;
    hotSection_ = section;
    if (HeaderHotTrack) header()->viewport()->update();
}

QColor HotHeaderColor(const QPalette &palette)
{
    // Half-way between the button face and the selection colour.
    const QColor a = palette.button().color(), b = palette.highlight().color();
    return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}
