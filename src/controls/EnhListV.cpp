#include "controls/EnhListV.h"

#include "controls/EnhListDraw.h"
#include "controls/HTMLPaint.h"
#include "controls/ListFormats.h"
#include "controls/PictureContainer.h"
#include "controls/RtfText.h"

#include "platform/AppPaths.h"
#include "platform/Cp1252.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include <algorithm>
#include <set>

int TEnhListView::CompareColumn = 0;
int TEnhListView::CompareSign = 1;

namespace {

Qt::Alignment toQtAlignment(TAlignment a)
{
    switch (a) {
    case taRightJustify: return Qt::AlignRight | Qt::AlignVCenter;
    case taCenter: return Qt::AlignHCenter | Qt::AlignVCenter;
    default: return Qt::AlignLeft | Qt::AlignVCenter;
    }
}

} // namespace

// ---- model ------------------------------------------------------------------------------

TEnhListModel::TEnhListModel(TEnhListView *list) : QAbstractTableModel(list), list_(list) {}

int TEnhListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : list_->Items.Count();
}

int TEnhListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : list_->Columns.Count();
}

QVariant TEnhListModel::data(const QModelIndex &index, int role) const
{
    TListItem *item = list_->Items.Item(index.row());
    int col = index.column();
    if (!item || col < 0 || col >= list_->Columns.Count()) return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return FromAnsi(item->CellText(col));
    case Qt::CheckStateRole:
        if (col == 0 && list_->Checkboxes()) return item->Checked() ? Qt::Checked : Qt::Unchecked;
        return QVariant();
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(toQtAlignment(list_->Columns[col]->Alignment()));
    case Qt::DecorationRole: {
        int image = col == 0 ? item->ImageIndex() : (list_->SubImages() ? item->SubItemImage(col - 1) : -1);
        if (image >= 0 && image < list_->smallImages_.size()) return list_->smallImages_[image];
        return QVariant();
    }
    case Qt::FontRole:
    case Qt::BackgroundRole:
    case Qt::ForegroundRole: {
        // Owner-drawn lists decide a cell's colours and font in QueryDrawProp.
        if (!list_->OwnerDraw() || !list_->OnDrawItemProp) return QVariant();
        TColor brush = clWindow;
        TFontDesc font = list_->defaultFontDesc();
        TOwnerDrawState state = 0;
        if (item->Selected()) state |= odSelected;
        if (item->Focused()) state |= odFocused;
        if (item->Checked()) state |= odChecked;
        list_->QueryDrawProp(index.row(), col - 1, state, brush, font, item->CellText(col));
        if (role == Qt::FontRole) return list_->toQFont(font);
        if (role == Qt::BackgroundRole) return brush == clNone ? QVariant() : QVariant(list_->ToQColor(brush));
        return font.Color == clNone ? QVariant() : QVariant(list_->ToQColor(font.Color));
    }
    default:
        return QVariant();
    }
}

bool TEnhListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    TListItem *item = list_->Items.Item(index.row());
    if (!item || role != Qt::EditRole || list_->ReadOnly()) return false;
    if (index.column() != 0 && !list_->SubItemEdit) return false;
    std::string s = ToAnsi(value.toString().left(TEnhListView::EditMaxChars));
    if (index.column() != 0) {
        list_->SetTextAtColRow(index.column(), index.row(), s);
        return true;
    }
    if (list_->OnEdited) list_->OnEdited(list_, item, s);
    item->SetCaption(s);
    return true;
}

QVariant TEnhListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    TListColumn *c = list_->Columns[section];
    if (orientation != Qt::Horizontal || !c) return QVariant();
    if (role == Qt::DisplayRole) return FromAnsi(c->Caption());
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(toQtAlignment(c->Alignment()));
    if (role == Qt::DecorationRole && c->ImageIndex() >= 0 && c->ImageIndex() < list_->headerImages_.size())
        return list_->headerImages_[c->ImageIndex()];
    return QVariant();
}

Qt::ItemFlags TEnhListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == 0 && list_->Checkboxes()) f |= Qt::ItemIsUserCheckable;
    if ((index.column() == 0 || list_->SubItemEdit) && !list_->ReadOnly()) f |= Qt::ItemIsEditable;
    return f;
}

void TEnhListModel::endLayout(const std::vector<int> &newRowOf)
{
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex &i : from) {
        int r = i.row();
        if (r >= 0 && r < int(newRowOf.size())) to.append(index(newRowOf[size_t(r)], i.column()));
        else to.append(QModelIndex());
    }
    changePersistentIndexList(from, to);
    emit layoutChanged();
}

void TEnhListModel::cellsChanged(int row, int first, int last)
{
    int cols = columnCount();
    if (cols == 0 || row < 0 || row >= rowCount()) return;
    first = std::clamp(first, 0, cols - 1);
    last = std::clamp(last, first, cols - 1);
    emit dataChanged(index(row, first), index(row, last));
}

// ---- delegate -------------------------------------------------------------------------------

bool TEnhListDelegate::editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                                   const QModelIndex &index)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        // The list toggles the box on the press; the delegate only keeps the
        // press, release and double click on a box from selecting the row.
        if (index.column() == 0 && (index.flags() & Qt::ItemIsUserCheckable) && !ownerDrawn()) {
            auto *me = static_cast<QMouseEvent *>(event);
            if (checkRect(option, index).contains(me->position().toPoint())) return true;
        }
        return false;
    case QEvent::KeyPress:
        return false;
    default:
        return QStyledItemDelegate::editorEvent(event, model, option, index);
    }
}

QSize TEnhListDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    auto *list = qobject_cast<const TEnhListView *>(parent());
    if (list && list->OwnerDraw() && list->ItemHeight() >= 1) s.setHeight(list->ItemHeight());
    return s;
}

bool TEnhListDelegate::ownerDrawn() const
{
    auto *list = qobject_cast<const TEnhListView *>(parent());
    return list && list->OwnerDraw();
}

QRect TEnhListDelegate::checkRect(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget *w = option.widget;
    QStyle *style = w ? w->style() : QApplication::style();
    return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, w);
}

// ---- view ------------------------------------------------------------------------------------

TEnhListView::TEnhListView(QWidget *parent) : QTreeView(parent)
{
    setObjectName(QString());
    model_ = new TEnhListModel(this);
    delegate_ = new TEnhListDelegate(this);
    setHeader(new TEnhHeader(this));
    // New sections start at a new column's width.
    header()->setDefaultSectionSize(ListColumnDefaultWidth);
    setModel(model_);
    setItemDelegate(delegate_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSortingEnabled(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionsClickable(true);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    headerFont_ = font();

    Items.SetObserver(this);
    Columns.SetObserver(this);
    Columns.SetBatch([this] { return Items.JoinUpdate(); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, &TEnhListView::qtSelectionChanged);
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex &cur, const QModelIndex &) { qtCurrentChanged(cur); });
    connect(header(), &QHeaderView::sectionClicked, this, &TEnhListView::headerClicked);
    connect(header(), &QHeaderView::sectionResized, this, &TEnhListView::sectionResized);
    connect(verticalScrollBar(), &QScrollBar::sliderMoved, this, &TEnhListView::scrollHintMoved);
    DetailView.Changed = [this] { viewport()->update(); };
    // Owner drawing, pictures, links and header notifications (EnhListDraw.cpp).
    pictureCache_ = std::make_unique<THTMLPictureCache>();
    richEdit_ = new TEnhRichEdit(this);
    commCtlVersion_ = int((uint32_t(QT_VERSION_MAJOR) << 16) | uint32_t(QT_VERSION_MINOR));
    header()->viewport()->installEventFilter(this);
    connect(header(), &QHeaderView::sectionHandleDoubleClicked, this, [this](int) {
        header()->viewport()->update();
        if (DetailView.Visible()) viewport()->update();
    });
    setMouseTracking(true);
    HandCursor();
    ListFormats::ApplySystemOnce();
}

TEnhListView::~TEnhListView()
{
    try {
        SaveColumnSizes();
    } catch (...) {
        // A failed write of the widths must not stop the window's destruction.
    }
    Items.SetObserver(nullptr);
    Columns.SetObserver(nullptr);
    Columns.SetBatch(nullptr);
    disconnect(selectionModel(), nullptr, this, nullptr);
    disconnect(header(), nullptr, this, nullptr);
    // The rows go before the base classes; nothing may ask the model after.
    setModel(nullptr);
}

void TEnhListView::BeginUpdate()
{
    if (!Items.Updating()) setUpdatesEnabled(false);
    Items.BeginUpdate();
}

void TEnhListView::EndUpdate()
{
    Items.EndUpdate();
    if (!Items.Updating()) setUpdatesEnabled(true);
}

void TEnhListView::SetCheckboxes(bool on)
{
    if (on == checkboxes_) return;
    checkboxes_ = on;
    if (Items.Count() > 0) model_->dataChanged(model_->index(0, 0), model_->index(Items.Count() - 1, 0));
    viewport()->update();
}

void TEnhListView::SetOwnerDraw(bool on)
{
    if (on == ownerDraw_) return;
    ownerDraw_ = on;
    viewport()->update();
}

void TEnhListView::SetRowSelect(bool on)
{
    rowSelect_ = on;
    setSelectionBehavior(on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
    setAllColumnsShowFocus(on);
}

void TEnhListView::SetGridLines(bool on)
{
    gridLines_ = on;
    viewport()->update();
}

void TEnhListView::SetReadOnly(bool on) { readOnly_ = on; }

void TEnhListView::SetMultiSelect(bool on)
{
    Items.MultiSelect = on;
    setSelectionMode(on ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void TEnhListView::SetColumnClick(bool on)
{
    columnClick_ = on;
    header()->setSectionsClickable(on);
}

void TEnhListView::SetSmallImages(const QList<QIcon> &images)
{
    smallImages_ = images;
    viewport()->update();
}

TListItem *TEnhListView::GetItemAt(int X, int Y) const
{
    QModelIndex i = indexAt(QPoint(X, Y));
    return i.isValid() ? Items.Item(i.row()) : nullptr;
}

void TEnhListView::SetHeaderDragDrop(bool on)
{
    if (on == headerDragDrop_) return;
    headerDragDrop_ = on;
    header()->setSectionsMovable(on);
    // No tree column here: the caption column moves like the others.
    header()->setFirstSectionMovable(on);
}

void TEnhListView::SetHeaderOwnerDraw(bool on)
{
    if (on == headerOwnerDraw_) return;
    headerOwnerDraw_ = on;
    if (!on) {
        header()->setFont(QApplication::font());
        return;
    }
    SetHeaderHeight(headerHeight_);
}

void TEnhListView::SetHeaderHeight(int h)
{
    headerHeight_ = h;
    if (!headerOwnerDraw_) return;
    QFont f = headerFont_;
    if (h > 0) f.setPixelSize(h);
    header()->setFont(f);
    ReOrganize();
    header()->viewport()->update();
}

void TEnhListView::SetHeaderFont(const QFont &f)
{
    headerFont_ = f;
    if (!headerOwnerDraw_) {
        header()->setFont(f);
        header()->updateGeometry();
        updateGeometries();
    }
}

void TEnhListView::SetSortDirection(TSortDirection d)
{
    sortDirection_ = d;
    CompareSign = d == sdAscending ? 1 : -1;
}

void TEnhListView::SetSortShow(bool on)
{
    sortShow_ = on;
    header()->viewport()->update();
}

void TEnhListView::SetSubImages(bool on)
{
    if (on == subImages_) return;
    subImages_ = on;
    viewport()->update();
}

void TEnhListView::SetItemHeight(int h)
{
    if (h < 1 || h == itemHeight_) return;
    itemHeight_ = h;
    // The rows are measured again.
    if (ownerDraw_) {
        scheduleDelayedItemsLayout();
        viewport()->update();
    }
}

// ---- cells -------------------------------------------------------------------------------------

bool TEnhListView::GetIndexAtPoint(int X, int Y, int &Col, int &Row) const
{
    QModelIndex i = indexAt(QPoint(X, Y));
    if (!i.isValid()) return false;
    Row = i.row();
    Col = i.column() > 0 ? i.column() : 0;
    return true;
}

std::string TEnhListView::GetTextAtPoint(int X, int Y) const
{
    int col = 0, row = 0;
    if (!GetIndexAtPoint(X, Y, col, row)) return std::string();
    return GetTextAtColRow(col, row);
}

std::string TEnhListView::GetTextAtColRow(int Col, int Row) const
{
    if (Row >= 0) {
        TListItem *item = Items.Item(Row);
        if (!item || Col < 0) return std::string();
        return item->CellText(Col);
    }
    TListColumn *c = Columns[Col];
    return c ? c->Caption() : std::string();
}

void TEnhListView::SetTextAtColRow(int Col, int Row, const std::string &Text)
{
    TListItem *item = Items.Item(Row);
    if (!item || Col < 0 || Col >= Columns.Count()) return;
    if (Col == 0) {
        item->SetCaption(Text);
        return;
    }
    while (item->SubItems.Count() < Col) item->SubItems.Add(std::string());
    item->SubItems.Put(Col - 1, Text);
}

QRect TEnhListView::GetItemRect(int Row, int Col) const
{
    if (!Items.Item(Row) || Col < 0 || Col >= Columns.Count()) return QRect();
    return visualRect(model_->index(Row, Col));
}

void TEnhListView::SelectItem(int Index)
{
    TListItem *item = Items.Item(Index);
    if (!item) return;
    item->SetSelected(true);
    item->SetFocused(true);
    scrollTo(model_->index(Index, 0), QAbstractItemView::EnsureVisible);
}

int TEnhListView::GetVisibleItems() const
{
    int rowH = 0;
    if (Items.Count() > 0) rowH = rowHeight(model_->index(0, 0));
    if (rowH <= 0) rowH = fontMetrics().height() + 2;
    return std::max(0, viewport()->height() / rowH);
}

void TEnhListView::LeftClickCell(int iItem, int iSubItem)
{
    if (OnLeftClickCell) OnLeftClickCell(this, iItem, iSubItem);
}

void TEnhListView::RightClickCell(int iItem, int iSubItem)
{
    if (OnRightClickCell) OnRightClickCell(this, iItem, iSubItem);
}

void TEnhListView::QueryDrawProp(int iItem, int iSubItem, TOwnerDrawState State, TColor &ABrush, TFontDesc &AFont,
                                 const std::string &ItemText)
{
    if (OnDrawItemProp) OnDrawItemProp(this, iItem, iSubItem, State, ABrush, AFont, ItemText);
}

// ---- sorting ----------------------------------------------------------------------------------------

void TEnhListView::Sort()
{
    Items.CustomSort([this](int a, int b) { return CompareListItems(a, b); });
}

void TEnhListView::SetSortColumn(int Column)
{
    sortColumn_ = Column;
    DoSort(Column);
}

void TEnhListView::DoSort(int Column)
{
    if (Column != lastSortedColumn_ && lastSortedColumn_ >= 0 && sortShow_) UpdateAlignment(lastSortedColumn_);
    if (Column < Columns.Count()) {
        lastSortedColumn_ = Column;
        sortColumn_ = Column;
        CompareColumn = Column - 1;
        // The indicator: header image 1 or 0 while a glyph is missing, else
        // the glyphs (drawn by the header).
        if (sortShow_ && (sortUpGlyph_.isNull() || sortDownGlyph_.isNull()) && !headerImages_.isEmpty())
            SetColumnImage(Column, sortDirection_ == sdDescending ? 1 : 0);
        Sort();
        header()->viewport()->update();
    }
    sortColumn_ = lastSortedColumn_;
}

void TEnhListView::GetFormat(int /*Column*/, TSortStyle &Style, std::string &Prefix, std::string &Suffix)
{
    if (OnGetFormat) OnGetFormat(this, CompareColumn, Style, Prefix, Suffix);
}

void TEnhListView::CustCompare(int ACol, const std::string &str1, const std::string &str2, int &res)
{
    res = 1;
    if (OnCustomCompare) OnCustomCompare(this, ACol, str1, str2, res);
}

void TEnhListView::RawCompare(int ACol, int row1, int row2, int &res)
{
    res = 1;
    if (OnRawCompare) OnRawCompare(this, ACol, row1, row2, res);
}

int TEnhListView::CompareListItems(int row1, int row2)
{
    TListItem *a = Items.Item(row1), *b = Items.Item(row2);
    if (!a || !b) return 0;
    const std::string &s1 = CompareColumn == -1 ? a->Caption() : a->SubItems[CompareColumn];
    const std::string &s2 = CompareColumn == -1 ? b->Caption() : b->SubItems[CompareColumn];
    TSortStyle style = ssAlphabetic;
    std::string prefix, suffix;
    GetFormat(CompareColumn, style, prefix, suffix);
    int r = 1;
    if (style == ssCustom) {
        r = 0;
        CustCompare(CompareColumn, s1, s2, r);
    } else if (style == ssRaw) {
        r = 0;
        RawCompare(CompareColumn, row1, row2, r);
    } else {
        r = EnhListSort::CompareTexts(style, s1, s2, prefix, suffix);
    }
    return r * CompareSign;
}

void TEnhListView::headerClicked(int section)
{
    if (sortShow_) {
        if (section == lastSortedColumn_)
            SetSortDirection(sortDirection_ == sdAscending ? sdDescending : sdAscending);
        bool enable = true;
        if (OnSortStart) OnSortStart(this, section, enable);
        if (enable) {
            DoSort(section);
            if (OnSortDone) OnSortDone(this, section);
        }
    }
    if (OnColumnClick) OnColumnClick(this, Columns[section]);
}

// ---- columns and header -------------------------------------------------------------------------------

namespace {

// Where the widths are kept: the INI file named by Key, or, for stRegistry,
// the program's stand-in for the registry ("Registry.ini" in the program
// folder) under the section Key\Section.
std::pair<std::string, std::string> columnSizeStore(const TColumnSize &c)
{
    if (c.Storage == stRegistry) return {AppPaths::ProgramFolder() + "/Registry.ini", c.Key + "\\" + c.Section};
    return {c.Key, c.Section};
}

} // namespace

void TEnhListView::LoadColumnSizes()
{
    if (!ColumnSize.Save || ColumnSize.Key.empty() || ColumnSize.Section.empty()) return;
    const auto [file, section] = columnSizeStore(ColumnSize);
    TIniFile ini(file);
    for (int i = 0; i < Columns.Count(); ++i) {
        int w = ini.ReadInteger(section, "col" + Rtl::IntToStr(i), -1);
        if (w != -1) Columns[i]->SetWidth(w);
    }
}

void TEnhListView::SaveColumnSizes()
{
    if (!ColumnSize.Save || ColumnSize.Key.empty() || ColumnSize.Section.empty()) return;
    const auto [file, section] = columnSizeStore(ColumnSize);
    TIniFile ini(file);
    for (int i = 0; i < Columns.Count(); ++i)
        ini.WriteInteger(section, "col" + Rtl::IntToStr(i), Columns[i]->Width());
}

void TEnhListView::StretchRightColumn()
{
    if (Columns.Count() == 0 || !ColumnSize.Stretch) return;
    std::vector<int> widths;
    for (int i = 0; i < Columns.Count(); ++i) widths.push_back(Columns[i]->Width());
    int w = StretchedRightWidth(widths, width(), viewport()->width());
    if (w >= 0) Columns[Columns.Count() - 1]->SetWidth(w);
}

int TEnhListView::CellContentWidth(int Row, int Column)
{
    TListItem *item = Items.Item(Row);
    if (!item) return 0;
    std::string text = item->CellText(Column);
    TColor brush = clWindow;
    TFontDesc fd = defaultFontDesc();
    QueryDrawProp(Row, Column - 1, 0, brush, fd, text);
    QFont f = OnDrawItemProp ? toQFont(fd) : font();
    if (text.find("{\\") != std::string::npos) text = RtfText::ToPlainText(text);
    int w = EnhListDraw::IsMarkup(text) ? HTMLExtent(text, f).width()
                                        : QFontMetrics(f).horizontalAdvance(FromAnsi(text));
    int image = Column == 0 ? item->ImageIndex() : item->SubItemImage(Column - 1);
    if (!smallImages_.isEmpty() && image >= 0) w += iconSize().isValid() ? iconSize().width() : 16;
    if (Column == 0 && checkboxes_) w += 16;
    return w;
}

void TEnhListView::AutoSizeColumn(int Column)
{
    if (Items.Count() == 0 || !Columns[Column]) return;
    std::vector<int> widths;
    widths.reserve(size_t(Items.Count()));
    for (int r = 0; r < Items.Count(); ++r) widths.push_back(CellContentWidth(r, Column));
    Columns[Column]->SetWidth(AutoSizedWidth(widths));
}

void TEnhListView::AutoSizeColumns()
{
    setUpdatesEnabled(false);
    for (int c = 0; c < Columns.Count(); ++c) AutoSizeColumn(c);
    setUpdatesEnabled(true);
}

void TEnhListView::UpdateAlignment(int Column)
{
    TListColumn *c = Columns[Column];
    if (!c) return;
    c->SetImageIndex(-1);
    model_->headerChanged(Column, Column);
}

void TEnhListView::SetColumnImage(int Column, int Image)
{
    if (TListColumn *c = Columns[Column]) c->SetImageIndex(Image);
}

int TEnhListView::GetColumnImage(int Column) const
{
    TListColumn *c = Columns[Column];
    return c ? c->ImageIndex() : -1;
}

void TEnhListView::SetSubItemImage(int Item, int SubItem, int Image)
{
    if (TListItem *it = Items.Item(Item)) it->SetSubItemImage(SubItem, Image);
}

int TEnhListView::GetSubItemImage(int Item, int SubItem) const
{
    TListItem *it = Items.Item(Item);
    if (!it || !subImages_) return -1;
    return it->SubItemImage(SubItem);
}

void TEnhListView::SetItemIndent(int Item, int /*SubItem*/, int Indent)
{
    if (TListItem *it = Items.Item(Item)) it->Indent = Indent;
}

int TEnhListView::GetItemIndent(int Item, int /*SubItem*/) const
{
    TListItem *it = Items.Item(Item);
    return it ? it->Indent : 0;
}

void TEnhListView::SetExtendedStyles(TLVExtendedStyles Styles)
{
    for (int s = lvxGridLines; s <= lvxTwoClickActivate; ++s)
        SetExtendedViewStyle(TLVExtendedStyle(s), (Styles & LvxBit(TLVExtendedStyle(s))) != 0);
}

TLVExtendedStyles TEnhListView::GetExtendedStyles() const
{
    TLVExtendedStyles s = 0;
    if (gridLines_) s |= LvxBit(lvxGridLines);
    if (subImages_) s |= LvxBit(lvxSubItemImages);
    if (checkboxes_) s |= LvxBit(lvxCheckboxes);
    if (trackSelect_) s |= LvxBit(lvxTrackSelect);
    if (headerDragDrop_) s |= LvxBit(lvxHeaderDragDrop);
    if (rowSelect_) s |= LvxBit(lvxFullRowSelect);
    if (oneClickActivate_) s |= LvxBit(lvxOneClickActivate);
    if (twoClickActivate_) s |= LvxBit(lvxTwoClickActivate);
    return s;
}

void TEnhListView::SetExtendedViewStyle(TLVExtendedStyle Style, bool On)
{
    switch (Style) {
    case lvxGridLines: SetGridLines(On); break;
    case lvxSubItemImages: SetSubImages(On); break;
    case lvxCheckboxes: SetCheckboxes(On); break;
    case lvxTrackSelect: trackSelect_ = On; break; // the pointer is always tracked (links)
    case lvxHeaderDragDrop: SetHeaderDragDrop(On); break;
    case lvxFullRowSelect: SetRowSelect(On); break;
    case lvxOneClickActivate: oneClickActivate_ = On; break;
    case lvxTwoClickActivate: twoClickActivate_ = On; break;
    }
    if (Style == lvxOneClickActivate || Style == lvxTwoClickActivate) viewport()->update();  // the hot underline
}

void TEnhListView::ReOrganize()
{
    scheduleDelayedItemsLayout();
    updateGeometries();
}

std::vector<int> TEnhListView::ColumnDisplayOrder() const
{
    std::vector<int> order;
    for (int v = 0; v < header()->count(); ++v) order.push_back(header()->logicalIndex(v));
    return order;
}

QColor TEnhListView::ToQColor(TColor c) const
{
    return ColorToQColor(c);
}

TFontDesc TEnhListView::defaultFontDesc() const
{
    TFontDesc d;
    QFont f = font();
    d.Name = ToAnsi(f.family());
    if (f.pixelSize() > 0) d.Height = f.pixelSize();
    else d.Size = int(f.pointSizeF() + 0.5);
    d.Style = (f.bold() ? fsBold : 0) | (f.italic() ? fsItalic : 0) | (f.underline() ? fsUnderline : 0) |
              (f.strikeOut() ? fsStrikeOut : 0);
    d.Color = clWindowText;
    return d;
}

QFont TEnhListView::toQFont(const TFontDesc &d) const
{
    return FontDescToQFont(d, font());
}

void TEnhListView::applyColumn(int column)
{
    TListColumn *c = Columns[column];
    if (!c) return;
    applyingWidths_ = true;
    // Width 0 keeps the column out of sight; its texts stay in the data.
    // Sections already as the column wants them are left alone, so that a
    // reset over many columns of the default width costs no resizing.
    if (isColumnHidden(column) != (c->Width() == 0)) setColumnHidden(column, c->Width() == 0);
    if (c->Width() > 0 && header()->sectionSize(column) != c->Width()) setColumnWidth(column, c->Width());
    applyingWidths_ = false;
}

void TEnhListView::applyColumns()
{
    for (int i = 0; i < Columns.Count(); ++i) applyColumn(i);
}

void TEnhListView::sectionResized(int logical, int /*oldSize*/, int newSize)
{
    if (applyingWidths_) return;
    TListColumn *c = Columns[logical];
    if (!c || header()->isSectionHidden(logical)) return;
    applyingWidths_ = true;
    c->SetWidth(newSize);
    applyingWidths_ = false;
}

// ---- observer: data -> model and view ------------------------------------------------------------------

void TEnhListView::RowsAboutToBeInserted(int first, int last)
{
    ++structuralDepth_;
    model_->beginInsert(first, last);
}

void TEnhListView::RowsInserted()
{
    model_->endInsert();
    --structuralDepth_;
}

void TEnhListView::RowsAboutToBeRemoved(int first, int last)
{
    ++structuralDepth_;
    model_->beginRemove(first, last);
}

void TEnhListView::RowsRemoved()
{
    model_->endRemove();
    --structuralDepth_;
}

void TEnhListView::AboutToReset()
{
    ++structuralDepth_;
    resetPending_ = true;
    model_->beginReset();
}

void TEnhListView::ResetDone()
{
    model_->endReset();
    resetPending_ = false;
    applyColumns();
    syncSelectionFromItems();
    --structuralDepth_;
}

void TEnhListView::LayoutAboutToChange()
{
    ++structuralDepth_;
    model_->beginLayout();
}

void TEnhListView::LayoutChanged(const std::vector<int> &newRowOf)
{
    model_->endLayout(newRowOf);
    syncSelectionFromItems();
    --structuralDepth_;
}

void TEnhListView::CellsChanged(int row, int first, int last)
{
    if (!resetPending_) model_->cellsChanged(row, first, last);
}

void TEnhListView::HeaderChanged(int first, int last)
{
    if (!resetPending_) model_->headerChanged(first, last);
}

void TEnhListView::ColumnLayoutChanged(int column)
{
    if (resetPending_) return;
    if (!applyingWidths_) applyColumn(column);
    model_->headerChanged(column, column);
    if (Items.Count() > 0)
        emit model_->dataChanged(model_->index(0, column), model_->index(Items.Count() - 1, column));
}

void TEnhListView::ItemSelectionChanged(TListItem *item, bool selected)
{
    bool mirror = !applyingQtSelection_;
    applyingQtSelection_ = false;
    int row = item->Index();
    if (mirror && !resetPending_ && row >= 0) {
        syncingToQt_ = true;
        selectionModel()->select(model_->index(row, 0),
                                 (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                     QItemSelectionModel::Rows);
        syncingToQt_ = false;
    }
    if (selected && row >= 0) SelectionChanged(row);
    if (OnSelectItem) OnSelectItem(this, item, selected);
}

void TEnhListView::ItemFocusChanged(TListItem *item)
{
    bool mirror = !applyingQtFocus_;
    applyingQtFocus_ = false;
    if (!mirror || resetPending_) return;
    syncingToQt_ = true;
    int row = item ? item->Index() : -1;
    selectionModel()->setCurrentIndex(row >= 0 ? model_->index(row, 0) : QModelIndex(),
                                      QItemSelectionModel::NoUpdate);
    syncingToQt_ = false;
}

// ---- Qt selection -> data ---------------------------------------------------------------------------------

namespace {
std::set<int> rowsOf(const QItemSelection &sel)
{
    std::set<int> rows;
    for (const QItemSelectionRange &r : sel)
        for (int row = r.top(); row <= r.bottom(); ++row) rows.insert(row);
    return rows;
}
} // namespace

void TEnhListView::qtSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    if (syncingToQt_ || structuralDepth_ > 0 || resetPending_) return;
    // Deselections first, then selections, each reported once per row.
    std::vector<TListItem *> off, on;
    for (int row : rowsOf(deselected))
        if (TListItem *it = Items.Item(row); it && !selectionModel()->isRowSelected(row, QModelIndex())) off.push_back(it);
    for (int row : rowsOf(selected))
        if (TListItem *it = Items.Item(row)) on.push_back(it);
    for (TListItem *it : off) {
        if (it->Owner() != &Items || !it->Selected()) continue;
        applyingQtSelection_ = true;
        Items.SetSelectedMark(it, false, true);
        applyingQtSelection_ = false;
    }
    for (TListItem *it : on) {
        if (it->Owner() != &Items || it->Selected()) continue;
        applyingQtSelection_ = true;
        Items.SetSelectedMark(it, true, true);
        applyingQtSelection_ = false;
    }
}

void TEnhListView::qtCurrentChanged(const QModelIndex &current)
{
    if (syncingToQt_ || structuralDepth_ > 0 || resetPending_) return;
    TListItem *item = current.isValid() ? Items.Item(current.row()) : nullptr;
    if (item == Items.ItemFocused()) return;
    applyingQtFocus_ = true;
    Items.SetItemFocused(item);
    applyingQtFocus_ = false;
}

void TEnhListView::syncSelectionFromItems()
{
    if (!selectionModel()) return;
    QItemSelection sel;
    int n = Items.Count(), cols = std::max(1, Columns.Count());
    for (int r = 0; r < n;) {
        if (!Items.Item(r)->Selected()) { ++r; continue; }
        int start = r;
        while (r < n && Items.Item(r)->Selected()) ++r;
        if (Columns.Count() > 0) sel.select(model_->index(start, 0), model_->index(r - 1, cols - 1));
    }
    syncingToQt_ = true;
    selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
    TListItem *f = Items.ItemFocused();
    int fr = f ? f->Index() : -1;
    selectionModel()->setCurrentIndex(fr >= 0 && Columns.Count() > 0 ? model_->index(fr, 0) : QModelIndex(),
                                      QItemSelectionModel::NoUpdate);
    syncingToQt_ = false;
}

// ---- mouse and keys ------------------------------------------------------------------------------------------

bool TEnhListView::onCheckRect(const QPoint &p, const QModelIndex &index) const
{
    if (!index.isValid() || !checkboxes_) return false;
    QModelIndex cell = model_->index(index.row(), 0);
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.rect = visualRect(cell);
    opt.widget = this;
    return delegate_->checkRect(opt, cell).contains(p);
}

void TEnhListView::leftButtonDown(QMouseEvent *e, bool doubleClick)
{
    const QPoint p = e->position().toPoint();
    int col = rememberedCol_, row = rememberedRow_;
    if (!GetIndexAtPoint(p.x(), p.y(), col, row)) {
        if (doubleClick) QTreeView::mouseDoubleClickEvent(e);
        else QTreeView::mousePressEvent(e);
        if (OnMouseDown) OnMouseDown(this, e->button(), e->modifiers(), p.x(), p.y());
        return;
    }
    rememberedCol_ = col;
    rememberedRow_ = row;
    TListItem *item = Items.Item(row);
    const bool wasChecked = item && item->Checked();
    const bool wasSelected = item && item->Selected();
    const int pressedRow = row;
    linkButtonDown(p);
    if (ReArrangeItems) {
        movingRow_ = row;
        lastMovePos_ = p;
        if (!moveTimer_) {
            moveTimer_ = new QTimer(this);
            moveTimer_->setInterval(300);
            connect(moveTimer_, &QTimer::timeout, this, &TEnhListView::rowMoveTick);
        }
        moveTimer_->start();
    }
    if (!SubItemEdit && !SubItemSelect) rememberedCol_ = 0;

    if (checkboxes_ && ownerDraw_ && p.x() <= 14) {
        // The owner-drawn box at the left edge: toggled here, selection untouched.
        item->SetChecked(!wasChecked);
        if (OnCheckboxClick) OnCheckboxClick(this, row, !wasChecked);
        e->accept();
        return;
    }

    // Standard handling: the list control toggles its own box on the press.
    if (!ownerDraw_ && onCheckRect(p, indexAt(p))) item->SetChecked(!wasChecked);
    if (doubleClick) QTreeView::mouseDoubleClickEvent(e);
    else QTreeView::mousePressEvent(e);
    if (OnMouseDown) OnMouseDown(this, e->button(), e->modifiers(), p.x(), p.y());

    TListItem *now = Items.Item(row);
    if (now == item && item && item->Checked() != wasChecked && OnCheckboxClick)
        OnCheckboxClick(this, row, item->Checked());
    if (GetIndexAtPoint(p.x(), p.y(), col, row)) {
        rememberedCol_ = (SubItemEdit || SubItemSelect) ? col : 0;
        rememberedRow_ = row;
    }
    if (SubItemEdit || SubItemSelect) FocusRepaint();
    activateOnPress(pressedRow, wasSelected, doubleClick);
}

void TEnhListView::mousePressEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton) {
        leftButtonDown(e, false);
        return;
    }
    QTreeView::mousePressEvent(e);
    const QPoint p = e->position().toPoint();
    if (OnMouseDown) OnMouseDown(this, e->button(), e->modifiers(), p.x(), p.y());
}

void TEnhListView::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton) {
        leftButtonDown(e, true);
        if (OnDblClick) OnDblClick(this);
        return;
    }
    QTreeView::mouseDoubleClickEvent(e);
}

void TEnhListView::mouseReleaseEvent(QMouseEvent *e)
{
    QTreeView::mouseReleaseEvent(e);
    const QPoint p = e->position().toPoint();
    if (OnMouseUp) OnMouseUp(this, e->button(), e->modifiers(), p.x(), p.y());
    QModelIndex i = indexAt(p);
    if (e->button() == Qt::LeftButton) {
        if (i.isValid()) LeftClickCell(i.row(), i.column());
        if (OnClick) OnClick(this);
    } else if (e->button() == Qt::RightButton && i.isValid()) {
        RightClickCell(i.row(), i.column());
    }
    if (e->button() == Qt::LeftButton && movingRow_ >= 0) endRowMove(&p);
}

void TEnhListView::keyPressEvent(QKeyEvent *e)
{
    int key = e->key();
    if (OnKeyDown) {
        OnKeyDown(this, key, e->modifiers());
        if (key == 0) { e->accept(); return; }
    }
    if (interactKey(e)) return;
    if (key == Qt::Key_Space && checkboxes_) {
        // Reported before the toggle, for the row of the last click.
        if (!SubItemEdit && OnCheckboxClick) {
            if (TListItem *r = Items.Item(rememberedRow_)) OnCheckboxClick(this, rememberedRow_, !r->Checked());
        }
        if (TListItem *f = Items.ItemFocused()) f->SetChecked(!f->Checked());
        e->accept();
        return;
    }
    QTreeView::keyPressEvent(e);
}

void TEnhListView::keyReleaseEvent(QKeyEvent *e)
{
    int key = e->key();
    if (OnKeyUp) OnKeyUp(this, key, e->modifiers());
    QTreeView::keyReleaseEvent(e);
}

void TEnhListView::focusInEvent(QFocusEvent *e)
{
    QTreeView::focusInEvent(e);
    if (OnEnter) OnEnter(this);
}

void TEnhListView::focusOutEvent(QFocusEvent *e)
{
    QTreeView::focusOutEvent(e);
    if (OnExit) OnExit(this);
}

void TEnhListView::resizeEvent(QResizeEvent *e)
{
    QTreeView::resizeEvent(e);
    if (OnResize) OnResize(this);
}

void TEnhListView::drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    if (ownerDraw_) {
        paintOwnerDrawn(painter, option, index);
    } else if (HotRowUnderlined(index.row())) {
        QStyleOptionViewItem hot = option;
        hot.font.setUnderline(true);
        QTreeView::drawRow(painter, hot, index);
    } else {
        QTreeView::drawRow(painter, option, index);
    }
    if (!gridLines_) return;
    painter->save();
    painter->setPen(QColor(0xC0, 0xC0, 0xC0));
    const QRect r = option.rect;
    painter->drawLine(r.left(), r.bottom(), r.right(), r.bottom());
    for (int v = 0; v < header()->count(); ++v) {
        int logical = header()->logicalIndex(v);
        if (header()->isSectionHidden(logical)) continue;
        int x = header()->sectionViewportPosition(logical) + header()->sectionSize(logical) - 1;
        painter->drawLine(x, r.top(), x, r.bottom());
    }
    painter->restore();
}
