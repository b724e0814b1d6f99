#include "controls/EnhListData.h"

#include "platform/Prefault.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <new>
#include <numeric>

const uint32_t API_STYLES[8] = {0x1, 0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x80};

namespace {
const std::string kEmpty;
}

// ---- TDetails ------------------------------------------------------------------------

void TDetails::SetVisible(bool v)
{
    if (v != visible_) { visible_ = v; changed(); }
}
void TDetails::SetColumn(int v)
{
    if (v != column_ && v >= 0) { column_ = v; changed(); }
}
void TDetails::SetHeight(int v)
{
    if (v != height_ && v >= 0) { height_ = v; changed(); }
}
void TDetails::SetFont(const TFontDesc &f)
{
    font_ = f;
    changed();
}
void TDetails::SetSplitLine(bool v)
{
    if (v != splitLine_) { splitLine_ = v; changed(); }
}
void TDetails::SetIndent(int v)
{
    if (v != indent_) { indent_ = v; changed(); }
}

// ---- columns --------------------------------------------------------------------------

int TListColumn::Index() const { return owner_ ? owner_->IndexOf(this) : -1; }

void TListColumn::SetCaption(const std::string &s)
{
    if (s == caption_) return;
    caption_ = s;
    owner_->changedHeader(this);
}

void TListColumn::SetWidth(int w)
{
    if (w < 0) w = 0;
    if (w == width_) return;
    width_ = w;
    owner_->changedLayout(this);
}

void TListColumn::SetAlignment(TAlignment a)
{
    if (a == alignment_) return;
    alignment_ = a;
    owner_->changedLayout(this);
}

void TListColumn::SetImageIndex(int i)
{
    if (i == imageIndex_) return;
    imageIndex_ = i;
    owner_->changedHeader(this);
}

TListColumn *TListColumns::Items(int i) const
{
    return i >= 0 && i < Count() ? cols_[size_t(i)].get() : nullptr;
}

template <class F> void TListColumns::structural(F change)
{
    if (joinBatch_ && joinBatch_()) {
        change();
        return;
    }
    if (observer_) observer_->AboutToReset();
    change();
    if (observer_) observer_->ResetDone();
}

void TListColumns::ColumnDeleter::operator()(TListColumn *c) const
{
    if (pooled) c->~TListColumn();
    else delete c;
}

TListColumn *TListColumns::Add()
{
    structural([this] { cols_.emplace_back(new TListColumn(this)); });
    return cols_.back().get();
}

TListColumn *TListColumns::Add(const std::string &caption, int width, TAlignment a)
{
    auto *c = new TListColumn(this);
    c->caption_ = caption;
    c->width_ = std::max(0, width);
    c->alignment_ = a;
    structural([&] { cols_.emplace_back(c); });
    return c;
}

void TListColumns::Extend(int n)
{
    if (n <= Count()) return;
    structural([&] {
        cols_.reserve(size_t(n));
        PrefaultForWrite(cols_.data(), cols_.capacity() * sizeof(cols_[0]));
        const size_t more = size_t(n - Count());
        if (more < 64) {
            while (Count() < n) cols_.emplace_back(new TListColumn(this));
            return;
        }
        auto block = std::make_unique_for_overwrite<unsigned char[]>(more * sizeof(TListColumn));
        auto *at = reinterpret_cast<TListColumn *>(block.get());
        PrefaultForWrite(at, more * sizeof(TListColumn));
        blocks_.push_back(std::move(block));
        for (size_t k = 0; k < more; ++k) cols_.emplace_back(new (at + k) TListColumn(this), ColumnDeleter{true});
    });
}

void TListColumns::Delete(int i)
{
    if (i < 0 || i >= Count()) return;
    structural([&] {
        cols_.erase(cols_.begin() + i);
        if (cols_.empty()) blocks_.clear();
    });
}

void TListColumns::Clear()
{
    if (cols_.empty()) return;
    structural([this] {
        cols_.clear();
        blocks_.clear();
    });
}

int TListColumns::IndexOf(const TListColumn *c) const
{
    for (int i = 0; i < Count(); ++i)
        if (cols_[size_t(i)].get() == c) return i;
    return -1;
}

void TListColumns::changedHeader(const TListColumn *c)
{
    int i = IndexOf(c);
    if (observer_ && i >= 0) observer_->HeaderChanged(i, i);
}

void TListColumns::changedLayout(const TListColumn *c)
{
    int i = IndexOf(c);
    if (observer_ && i >= 0) observer_->ColumnLayoutChanged(i);
}

// ---- sub-items ------------------------------------------------------------------------

const std::string &TSubItems::operator[](int i) const
{
    return i >= 0 && i < Count() ? items_[size_t(i)] : kEmpty;
}

void TSubItems::Put(int i, const std::string &s)
{
    if (i < 0 || i >= Count() || items_[size_t(i)] == s) return;
    items_[size_t(i)] = s;
    changed(i, i);
}

int TSubItems::Add(const std::string &s)
{
    items_.push_back(s);
    changed(Count() - 1, Count() - 1);
    return Count() - 1;
}

void TSubItems::Insert(int i, const std::string &s)
{
    i = std::clamp(i, 0, Count());
    items_.insert(items_.begin() + i, s);
    changed(i, Count() - 1);
}

void TSubItems::Delete(int i)
{
    if (i < 0 || i >= Count()) return;
    items_.erase(items_.begin() + i);
    changed(i, Count());
}

void TSubItems::Clear()
{
    if (items_.empty()) return;
    int n = Count();
    items_.clear();
    changed(0, n - 1);
}

void TSubItems::Assign(const std::vector<std::string> &v)
{
    int n = std::max(Count(), int(v.size()));
    items_ = v;
    if (n > 0) changed(0, n - 1);
}

void TSubItems::Assign(std::vector<std::string> &&v)
{
    int n = std::max(Count(), int(v.size()));
    items_ = std::move(v);
    v.clear();
    if (n > 0) changed(0, n - 1);
}

void TSubItems::changed(int first, int last)
{
    if (item_->owner_) item_->owner_->cellsChanged(item_, first + 1, last + 1);
}

// ---- items ------------------------------------------------------------------------------

void TListItem::SetCaption(const std::string &s)
{
    if (s == caption_) return;
    caption_ = s;
    if (owner_) owner_->captionChanged(this);
}

void TListItem::SetChecked(bool on)
{
    if (on == checked_) return;
    checked_ = on;
    if (owner_) owner_->checkChanged(this);
}

void TListItem::SetImageIndex(int i)
{
    if (i == imageIndex_) return;
    imageIndex_ = i;
    if (owner_) owner_->cellsChanged(this, 0, 0);
}

int TListItem::SubItemImage(int sub) const
{
    return sub >= 0 && sub < int(subImages_.size()) ? subImages_[size_t(sub)] : -1;
}

void TListItem::SetSubItemImage(int sub, int image)
{
    if (sub < 0 || sub > 4096) return;
    if (sub >= int(subImages_.size())) subImages_.resize(size_t(sub) + 1, -1);
    subImages_[size_t(sub)] = image;
    if (owner_) owner_->cellsChanged(this, sub + 1, sub + 1);
}

void TListItem::SetSelected(bool on)
{
    if (!owner_) { selected_ = on; return; }
    if (on && !owner_->MultiSelect) {
        for (int i = 0; i < owner_->Count(); ++i) {
            TListItem *other = owner_->Item(i);
            if (other && other != this && other->selected_) owner_->SetSelectedMark(other, false, true);
        }
    }
    owner_->SetSelectedMark(this, on, true);
}

bool TListItem::Focused() const { return owner_ && owner_->focused_ == this; }

void TListItem::SetFocused(bool on)
{
    if (!owner_) return;
    if (on) owner_->SetItemFocused(this);
    else if (owner_->focused_ == this) owner_->SetItemFocused(nullptr);
}

int TListItem::Index() const { return owner_ ? owner_->IndexOf(this) : -1; }

const std::string &TListItem::CellText(int col) const
{
    if (col == 0) return caption_;
    return SubItems[col - 1];
}

TListItemContent TListItem::Content() const
{
    return {caption_, SubItems.ToVector(), checked_, imageIndex_, subImages_, Indent, Data};
}

void TListItem::SetContent(const TListItemContent &c)
{
    Indent = c.Indent;
    Data = c.Data;
    subImages_ = c.SubImages;
    SubItems.Assign(c.SubItems);
    SetImageIndex(c.ImageIndex);
    SetChecked(c.Checked);
    SetCaption(c.Caption);
    if (owner_) owner_->cellsChanged(this, 0, std::max(0, SubItems.Count()));
}

TListItems::~TListItems()
{
    for (auto &it : items_) it->owner_ = nullptr;
}

TListItem *TListItems::Item(int i) const
{
    return i >= 0 && i < Count() ? items_[size_t(i)].get() : nullptr;
}

TListItem *TListItems::Add() { return Insert(Count()); }

TListItem *TListItems::Insert(int i)
{
    i = std::clamp(i, 0, Count());
    auto item = std::unique_ptr<TListItem>(new TListItem(this));
    TListItem *p = item.get();
    if (Updating()) {
        structural();
        items_.insert(items_.begin() + i, std::move(item));
    } else {
        if (observer_) observer_->RowsAboutToBeInserted(i, i);
        items_.insert(items_.begin() + i, std::move(item));
        if (observer_) observer_->RowsInserted();
    }
    autoSort(p);
    return p;
}

void TListItems::Delete(int i)
{
    TListItem *item = Item(i);
    if (!item) return;
    // The row's deselection is reported before it goes; the handler may
    // change the list, so the row is looked up again afterwards.
    if (item->selected_) SetSelectedMark(item, false, true);
    if (focused_ == item) SetItemFocused(nullptr);
    i = IndexOf(item);
    if (i < 0) return;
    if (Updating()) {
        structural();
        items_.erase(items_.begin() + i);
    } else {
        if (observer_) observer_->RowsAboutToBeRemoved(i, i);
        std::unique_ptr<TListItem> gone = std::move(items_[size_t(i)]);
        items_.erase(items_.begin() + i);
        gone->owner_ = nullptr;
        if (observer_) observer_->RowsRemoved();
    }
}

void TListItems::Clear()
{
    // Deselections first, as for single deletions.
    for (size_t k = 0; k < items_.size(); ++k)
        if (items_[k]->selected_) SetSelectedMark(items_[k].get(), false, true);
    if (focused_) SetItemFocused(nullptr);
    if (items_.empty()) return;
    if (Updating()) {
        structural();
        items_.clear();
    } else {
        if (observer_) observer_->AboutToReset();
        items_.clear();
        if (observer_) observer_->ResetDone();
    }
}

int TListItems::IndexOf(const TListItem *item) const
{
    for (size_t k = 0; k < items_.size(); ++k)
        if (items_[k].get() == item) return int(k);
    return -1;
}

void TListItems::BeginUpdate() { ++updateCount_; }

bool TListItems::JoinUpdate()
{
    if (!Updating()) return false;
    structural();
    return true;
}

void TListItems::EndUpdate()
{
    if (updateCount_ <= 0) return;
    if (--updateCount_ > 0) return;
    if (sortPending_) {
        sortPending_ = false;
        if (sortType_ == stText || sortType_ == stBoth) AlphaSort();
    }
    if (resetPending_) {
        resetPending_ = false;
        if (observer_) observer_->ResetDone();
    }
}

TListItem *TListItems::Selected() const
{
    for (auto &it : items_)
        if (it->selected_) return it.get();
    return nullptr;
}

int TListItems::SelCount() const
{
    int n = 0;
    for (auto &it : items_) n += it->selected_ ? 1 : 0;
    return n;
}

void TListItems::SetItemFocused(TListItem *item)
{
    if (item == focused_) return;
    if (item && item->owner_ != this) return;
    focused_ = item;
    if (observer_) observer_->ItemFocusChanged(item);
}

void TListItems::SetSelectedMark(TListItem *item, bool on, bool notify)
{
    if (!item || item->owner_ != this || item->selected_ == on) return;
    item->selected_ = on;
    if (notify && observer_) observer_->ItemSelectionChanged(item, on);
}

void TListItems::SetSortType(TSortType t)
{
    if (t == sortType_) return;
    sortType_ = t;
    autoSort();
}

int TListItems::CompareCaptions(const TListItem *a, const TListItem *b)
{
    return Rtl::AnsiCompareText(a->caption_, b->caption_);
}

void TListItems::AlphaSort()
{
    CustomSort([this](int a, int b) {
        return CompareCaptions(items_[size_t(a)].get(), items_[size_t(b)].get());
    });
}

void TListItems::CustomSort(const std::function<int(int, int)> &cmp)
{
    if (Count() < 2) return;
    std::vector<int> order = StableSortOrder(Count(), cmp);
    applyOrder(order);
}

void TListItems::applyOrder(const std::vector<int> &order)
{
    bool identity = true;
    for (size_t k = 0; k < order.size() && identity; ++k) identity = order[k] == int(k);
    if (identity || order.size() != items_.size()) return;
    if (!quiet() && observer_) observer_->LayoutAboutToChange();
    std::vector<std::unique_ptr<TListItem>> sorted(items_.size());
    std::vector<int> newRowOf(items_.size());
    for (size_t k = 0; k < order.size(); ++k) {
        sorted[k] = std::move(items_[size_t(order[k])]);
        newRowOf[size_t(order[k])] = int(k);
    }
    items_.swap(sorted);
    if (!quiet() && observer_) observer_->LayoutChanged(newRowOf);
}

void TListItems::autoSort(TListItem *changed)
{
    if (sortType_ != stText && sortType_ != stBoth) return;
    if (Updating()) sortPending_ = true;
    else if (changed) placeSorted(changed);
    else AlphaSort();
}

// The list is sorted but for this one row: it moves to where a stable sort
// would put it (among equal captions its old place decides), found by binary
// search, so an insert outside a batch costs no sort of the whole list.
void TListItems::placeSorted(TListItem *item)
{
    const int from = IndexOf(item);
    if (from < 0) return;
    const int n = Count();
    auto other = [&](int j) { return items_[size_t(j < from ? j : j + 1)].get(); };
    int lo = 0, hi = n - 1;  // first of the others not below the row
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (CompareCaptions(other(mid), item) < 0) lo = mid + 1;
        else hi = mid;
    }
    const int lower = lo;
    hi = n - 1;  // first of the others above the row
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (CompareCaptions(other(mid), item) <= 0) lo = mid + 1;
        else hi = mid;
    }
    const int upper = lo;
    const int to = std::clamp(from, lower, upper);
    if (to == from) return;
    std::vector<int> order;
    order.reserve(size_t(n));
    for (int j = 0; j < n - 1; ++j) {
        if (j == to) order.push_back(from);
        order.push_back(j < from ? j : j + 1);
    }
    if (to == n - 1) order.push_back(from);
    applyOrder(order);
}

void TListItems::structural()
{
    if (!resetPending_) {
        resetPending_ = true;
        if (observer_) observer_->AboutToReset();
    }
}

void TListItems::cellsChanged(TListItem *item, int first, int last)
{
    if (quiet() || !observer_) return;
    int row = IndexOf(item);
    if (row >= 0) observer_->CellsChanged(row, first, last);
}

void TListItems::checkChanged(TListItem *item) { cellsChanged(item, 0, 0); }

void TListItems::captionChanged(TListItem *item)
{
    cellsChanged(item, 0, 0);
    autoSort(item);
}

std::vector<int> StableSortOrder(int n, const std::function<int(int, int)> &cmp)
{
    std::vector<int> a(size_t(std::max(n, 0)));
    std::iota(a.begin(), a.end(), 0);
    if (n < 2) return a;
    std::vector<int> b(a.size());
    // Bottom-up merge sort: every step reads only inside [lo, hi), so the
    // comparison's answers decide the order but never the bounds.
    for (int width = 1; width < n; width *= 2) {
        for (int lo = 0; lo < n; lo += 2 * width) {
            int mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            int i = lo, j = mid, k = lo;
            while (i < mid && j < hi) {
                if (cmp(a[size_t(j)], a[size_t(i)]) < 0) b[size_t(k++)] = a[size_t(j++)];
                else b[size_t(k++)] = a[size_t(i++)];
            }
            while (i < mid) b[size_t(k++)] = a[size_t(i++)];
            while (j < hi) b[size_t(k++)] = a[size_t(j++)];
        }
        a.swap(b);
        if (width > n / 2) break;  // the next width would overflow past n
    }
    return a;
}

// ---- comparison styles ------------------------------------------------------------------

namespace EnhListSort {

char DecimalSeparator = '.';
char ThousandSeparator = ',';
std::string ShortDateOrder = "DMY";

namespace {

int sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }
int sign(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

// Whole number from the start: blanks skipped, digits read, nothing read is 0.
int leadingNumber(const std::string &s)
{
    size_t k = 0;
    while (k < s.size() && s[k] == ' ') ++k;
    int64_t v = 0;
    while (k < s.size() && s[k] >= '0' && s[k] <= '9') {
        if (v < 100000000) v = v * 10 + (s[k] - '0');
        ++k;
    }
    return int(v);
}

size_t findSeparator(const std::string &s, char &sep)
{
    for (char c : {'-', '/', '.'}) {
        size_t p = s.find(c);
        if (p != std::string::npos) { sep = c; return p; }
    }
    return std::string::npos;
}

double parseShortDate(const std::string &text, bool dayFirst)
{
    char sep = 0;
    size_t p = findSeparator(text, sep);
    if (p == std::string::npos) return 0;
    std::string first = text.substr(0, p);
    std::string rest = text.substr(p + 1);
    p = findSeparator(rest, sep);
    if (p == std::string::npos) return 0;
    std::string second = rest.substr(0, p);
    std::string yearText = rest.substr(p + 1);
    int year = uint16_t(leadingNumber(yearText));
    year += year < 26 ? 2000 : 1900;
    int a = leadingNumber(first), b = leadingNumber(second);
    return dayFirst ? Rtl::EncodeDate(year, b, a) : Rtl::EncodeDate(year, a, b);
}

// Standard conversion with "." as the decimal point; blanks around allowed.
bool toFloat(const std::string &text, double &v)
{
    std::string s = Rtl::Trim(text);
    if (s.empty()) { v = 0; return true; }
    size_t k = 0;
    if (s[k] == '+' || s[k] == '-') ++k;
    size_t digits = 0;
    while (k < s.size() && isdigit(static_cast<unsigned char>(s[k]))) { ++k; ++digits; }
    if (k < s.size() && s[k] == '.') {
        ++k;
        while (k < s.size() && isdigit(static_cast<unsigned char>(s[k]))) { ++k; ++digits; }
    }
    if (digits == 0) return false;
    if (k < s.size() && (s[k] == 'e' || s[k] == 'E')) {
        ++k;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        size_t e = 0;
        while (k < s.size() && isdigit(static_cast<unsigned char>(s[k]))) { ++k; ++e; }
        if (e == 0) return false;
    }
    if (k != s.size()) return false;
    const char *b = s.data() + (s[0] == '+' ? 1 : 0);
    auto r = std::from_chars(b, s.data() + s.size(), v);
    return r.ec == std::errc() || r.ec == std::errc::result_out_of_range;
}

std::string numericText(std::string s, const std::string &prefix, const std::string &suffix, bool financial)
{
    if (!prefix.empty()) {
        size_t p = s.find(prefix);
        if (p != std::string::npos) s.erase(p, prefix.size());
    }
    if (!suffix.empty()) {
        size_t p = s.find(suffix);
        if (p != std::string::npos) s.erase(p, suffix.size());
    }
    if (financial && ThousandSeparator != 0)
        s.erase(std::remove(s.begin(), s.end(), ThousandSeparator), s.end());
    if (DecimalSeparator != '.') {
        size_t p = s.find(DecimalSeparator);
        if (p != std::string::npos) s[p] = '.';
    }
    return s;
}

double dateOrZero(double (*parse)(const std::string &), const std::string &s)
{
    try {
        return parse(s);
    } catch (const EConvertError &) {
        return 0;
    }
}

} // namespace

double ParseShortDateEU(const std::string &s) { return parseShortDate(s, true); }
double ParseShortDateUS(const std::string &s) { return parseShortDate(s, false); }

bool StrToDateTime(const std::string &text, double &value)
{
    std::string s = Rtl::Trim(text);
    if (s.empty()) return false;
    // Date part: three numbers separated by one of - / .
    int nums[3] = {0, 0, 0};
    size_t k = 0;
    char sep = 0;
    for (int n = 0; n < 3; ++n) {
        size_t start = k;
        int64_t v = 0;
        while (k < s.size() && isdigit(static_cast<unsigned char>(s[k]))) {
            if (v < 100000) v = v * 10 + (s[k] - '0');
            ++k;
        }
        if (k == start) return false;
        nums[n] = int(v);
        if (n < 2) {
            if (k >= s.size() || (s[k] != '-' && s[k] != '/' && s[k] != '.')) return false;
            if (sep && s[k] != sep) return false;
            sep = s[k++];
        }
    }
    int y, m, d;
    bool iso = sep == '-' && nums[0] > 31;
    if (iso || ShortDateOrder == "YMD") { y = nums[0]; m = nums[1]; d = nums[2]; }
    else if (ShortDateOrder == "MDY") { m = nums[0]; d = nums[1]; y = nums[2]; }
    else { d = nums[0]; m = nums[1]; y = nums[2]; }
    if (y < 100) y += y < 50 ? 2000 : 1900;
    Rtl::TDateTime date;
    if (!Rtl::TryEncodeDate(y, m, d, date)) return false;
    double time = 0;
    while (k < s.size() && (s[k] == ' ' || s[k] == 'T')) ++k;
    if (k < s.size()) {
        int t[3] = {0, 0, 0};
        for (int n = 0; n < 3 && k < s.size(); ++n) {
            size_t start = k;
            int v = 0;
            while (k < s.size() && isdigit(static_cast<unsigned char>(s[k])) && k - start < 3) v = v * 10 + (s[k++] - '0');
            if (k == start) return false;
            t[n] = v;
            if (k < s.size() && s[k] == ':') ++k;
            else break;
        }
        if (k != s.size()) return false;
        Rtl::TDateTime tt;
        if (!Rtl::TryEncodeTime(t[0], t[1], t[2], 0, tt)) return false;
        time = tt;
    }
    value = date + time;
    return true;
}

int CompareTexts(TSortStyle style, const std::string &a, const std::string &b,
                 const std::string &prefix, const std::string &suffix)
{
    switch (style) {
    case ssAlphabetic:
    case ssAlphaCase:
        return sign(a.compare(b));
    case ssAlphaNoCase:
        return sign(Rtl::UpperCase(a).compare(Rtl::UpperCase(b)));
    case ssNumeric:
    case ssFinancial: {
        double x, y;
        bool fin = style == ssFinancial;
        if (!toFloat(numericText(a, prefix, suffix, fin), x) || !toFloat(numericText(b, prefix, suffix, fin), y))
            return 0;
        return sign(x, y);
    }
    case ssDate: {
        double x = 0, y = 0;
        if (!StrToDateTime(a, x)) x = 0;
        if (!StrToDateTime(b, y)) y = 0;
        return sign(x, y);
    }
    case ssShortDateEU:
        return sign(dateOrZero(ParseShortDateEU, a), dateOrZero(ParseShortDateEU, b));
    case ssShortDateUS:
        return sign(dateOrZero(ParseShortDateUS, a), dateOrZero(ParseShortDateUS, b));
    case ssCustom:
    case ssRaw:
        return 0;
    case ssAutomatic:
    default:
        return 1;
    }
}

} // namespace EnhListSort

int StretchedRightWidth(const std::vector<int> &widths, int listWidth, int clientWidth)
{
    if (widths.empty()) return -1;
    if (widths.size() == 1) return clientWidth;
    int64_t sum = 0;
    for (size_t k = 0; k + 1 < widths.size(); ++k) sum += widths[k];
    if (sum < listWidth) return int(clientWidth - sum - 6);
    return -1;
}

int AutoSizedWidth(const std::vector<int> &cellWidths)
{
    int widest = 0;
    for (int w : cellWidths) widest = std::max(widest, w);
    return widest + 10;
}

std::vector<std::vector<std::string>> ClipboardRows(const std::string &Text)
{
    std::vector<std::vector<std::string>> rows;
    if (Text.size() > PasteMaxBytes) return rows;
    size_t start = 0;
    for (size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '\r' && Text[i] != '\n') continue;
        std::vector<std::string> fields;
        size_t f = start;
        for (size_t j = start; j <= i; ++j) {
            if (j != i && Text[j] != '\t') continue;
            if (int(fields.size()) < PasteMaxColumns) fields.push_back(Text.substr(f, j - f));
            f = j + 1;
        }
        rows.push_back(std::move(fields));
        if (Text[i] == '\r' && i + 1 < Text.size() && Text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    return rows;
}
