#include "controls/EnhListFilter.h"

#include "controls/EnhListV.h"
#include "controls/HTMLPaint.h"
#include "platform/Cp1252.h"
#include "platform/Rtl.h"

#include <QHeaderView>
#include <QIntValidator>
#include <QLineEdit>
#include <QToolButton>

// ---- the filter bar ---------------------------------------------------------------------------------

TEnhFilterBar::TEnhFilterBar(QHeaderView *header, QWidget *parent) : QWidget(parent), header_(header)
{
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &TEnhFilterBar::timeout);
    connect(header_, &QHeaderView::sectionResized, this, &TEnhFilterBar::Relayout);
    connect(header_, &QHeaderView::sectionMoved, this, &TEnhFilterBar::Relayout);
    connect(header_, &QHeaderView::geometriesChanged, this, &TEnhFilterBar::Relayout);
    connect(header_, &QHeaderView::sectionCountChanged, this, &TEnhFilterBar::Relayout);
    setAutoFillBackground(true);
}

int TEnhFilterBar::BarHeight() const
{
    return QLineEdit().sizeHint().height();
}

void TEnhFilterBar::ensureFields(int n)
{
    while (int(fields_.size()) < n) {
        const int column = int(fields_.size());
        Field f;
        f.edit = new QLineEdit(this);
        f.edit->setMaxLength(255);
        f.button = new QToolButton(this);
        f.button->setText(QStringLiteral("\u25BE"));
        connect(f.edit, &QLineEdit::textEdited, this, [this, column] { edited(column); });
        connect(f.button, &QToolButton::clicked, this, [this, column] {
            if (OnBtnClick) OnBtnClick(column);
        });
        fields_.push_back(f);
    }
}

void TEnhFilterBar::Relayout()
{
    const int n = header_->count();
    ensureFields(n);
    const int h = BarHeight();
    for (int i = 0; i < int(fields_.size()); ++i) {
        Field &f = fields_[size_t(i)];
        const bool shown = i < n && !header_->isSectionHidden(i) && header_->sectionSize(i) > 0;
        f.edit->setVisible(shown);
        f.button->setVisible(shown);
        if (!shown) continue;
        const int x = header_->sectionViewportPosition(i) + header_->viewport()->x();
        const int w = header_->sectionSize(i);
        const int bw = std::min(h, std::max(0, w / 3));
        f.edit->setGeometry(x, 0, std::max(0, w - bw), h);
        f.button->setGeometry(x + w - bw, 0, bw, h);
    }
}

void TEnhFilterBar::edited(int column)
{
    Field &f = fields_[size_t(column)];
    if (f.type == 1) f.number = Rtl::StrToIntDef(ToAnsi(f.edit->text()), 0);
    else f.text = ToAnsi(f.edit->text());
    // A change is reported once typing pauses; typing in another column
    // reports the pending one at once.
    if (pendingColumn_ >= 0 && pendingColumn_ != column && timer_.isActive()) {
        timer_.stop();
        timeout();
    }
    pendingColumn_ = column;
    timer_.start(std::max(0, TimeOut));
}

void TEnhFilterBar::timeout()
{
    const int column = pendingColumn_;
    pendingColumn_ = -1;
    if (column >= 0 && OnChange) OnChange(column);
}

std::string TEnhFilterBar::GetFilter(int Column, int FilterType) const
{
    if (Column < 0 || Column >= int(fields_.size())) return FilterType == 0 ? std::string() : "0";
    const Field &f = fields_[size_t(Column)];
    if (FilterType == 0) return f.text.substr(0, 255);
    return Rtl::IntToStr(f.number);
}

void TEnhFilterBar::SetFilter(int Column, int FilterType, int Value, const std::string &Text)
{
    if (Column < 0) return;
    ensureFields(std::max(Column + 1, header_->count()));
    Field &f = fields_[size_t(Column)];
    f.type = FilterType == 1 ? 1 : 0;
    if (f.type == 1) {
        f.number = Value;
        f.edit->setValidator(new QIntValidator(f.edit));
        f.edit->setText(QString::number(Value));
    } else {
        f.text = Text.substr(0, 255);
        f.edit->setValidator(nullptr);
        f.edit->setText(FromAnsi(f.text));
    }
}

QLineEdit *TEnhFilterBar::Edit(int Column) const
{
    return Column >= 0 && Column < int(fields_.size()) ? fields_[size_t(Column)].edit : nullptr;
}

QToolButton *TEnhFilterBar::Button(int Column) const
{
    return Column >= 0 && Column < int(fields_.size()) ? fields_[size_t(Column)].button : nullptr;
}

// ---- the list's highlighting and filter operations -------------------------------------------------------

void TEnhListView::markCells(int Index, const std::string &HiText, const std::string &Tag, bool DoCase, bool Remove)
{
    // An empty search text changes nothing.
    if (!Remove && HiText.empty()) return;
    auto one = [&](TListItem *item) {
        auto mark = [&](const std::string &cell) {
            return Remove ? RemoveMarkTags(cell, Tag) : InsertMarkTags(cell, HiText, Tag, DoCase);
        };
        std::string caption = mark(item->Caption());
        if (caption != item->Caption()) item->SetCaption(caption);
        for (int i = 0; i < item->SubItems.Count(); ++i) {
            std::string s = mark(item->SubItems[i]);
            if (s != item->SubItems[i]) item->SubItems.Put(i, s);
        }
    };
    if (Index >= 0) {
        if (TListItem *item = Items.Item(Index)) one(item);
        return;
    }
    BeginUpdate();
    for (int r = 0; r < Items.Count(); ++r) one(Items.Item(r));
    EndUpdate();
}

void TEnhListView::HilightInList(const std::string &HiText, bool DoCase) { markCells(-1, HiText, "hi", DoCase, false); }

void TEnhListView::HilightInItem(int Index, const std::string &HiText, bool DoCase)
{
    if (Index >= 0 && Index < Items.Count()) markCells(Index, HiText, "hi", DoCase, false);
}

void TEnhListView::UnHilightInList() { markCells(-1, std::string(), "hi", false, true); }

void TEnhListView::UnHilightInItem(int Index)
{
    if (Index >= 0 && Index < Items.Count()) markCells(Index, std::string(), "hi", false, true);
}

void TEnhListView::MarkInList(const std::string &HiText, bool DoCase) { markCells(-1, HiText, "e", DoCase, false); }

void TEnhListView::MarkInItem(int Index, const std::string &HiText, bool DoCase)
{
    if (Index >= 0 && Index < Items.Count()) markCells(Index, HiText, "e", DoCase, false);
}

void TEnhListView::UnMarkInList() { markCells(-1, std::string(), "e", false, true); }

void TEnhListView::UnMarkInItem(int Index)
{
    if (Index >= 0 && Index < Items.Count()) markCells(Index, std::string(), "e", false, true);
}

TEnhFilterBar *TEnhListView::ensureFilterBar()
{
    if (!filterBar_) {
        filterBar_ = new TEnhFilterBar(header(), this);
        filterBar_->setVisible(false);
        filterBar_->TimeOut = FilterTimeOut;
        filterBar_->OnChange = [this](int c) {
            if (OnFilterChange) OnFilterChange(this, c);
        };
        filterBar_->OnBtnClick = [this](int c) {
            if (OnFilterBtnClick) OnFilterBtnClick(this, c);
        };
    }
    return filterBar_;
}

void TEnhListView::ShowFilter(bool Value)
{
    if (Value == FilterBar) return;
    FilterBar = Value;
    ensureFilterBar()->setVisible(Value);
    layoutFilterBar();
    const int h = ItemHeight();
    BeginUpdate();
    SetItemHeight(h + 1);
    SetItemHeight(h);
    EndUpdate();
}

std::string TEnhListView::GetFilter(int Column, int FilterType) const
{
    if (!filterBar_) return FilterType == 0 ? std::string() : "0";
    return filterBar_->GetFilter(Column, FilterType);
}

void TEnhListView::SetFilter(int Column, int FilterType, int Value, const std::string &Text)
{
    // The fields exist before the bar is shown.
    ensureFilterBar()->SetFilter(Column, FilterType, Value, Text);
}

void TEnhListView::SetFilterTimeOut(int Value)
{
    FilterTimeOut = Value;
    if (filterBar_) filterBar_->TimeOut = Value;
}

void TEnhListView::layoutFilterBar() { updateGeometries(); }
