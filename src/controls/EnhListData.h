#pragma once
// The data layer of the enhanced list view: columns, rows (caption, sub-items,
// check state, images, selection marks), the settings objects the list owns,
// the comparison styles of its sorting and the column-width arithmetic.
//
// Nothing here depends on Qt widgets: the Qt model and the view sit on top
// (EnhListV.h) and learn about every change through TListObserver.
#include "platform/Graphics.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// ---- enumerations (one byte each, ordinals in declaration order) -------------
enum TVAlignment : uint8_t { vtaCenter, vtaTop, vtaBottom };
enum TSortDirection : uint8_t { sdAscending, sdDescending };
enum TSortIndicator : uint8_t { siLeft, siRight };
enum TSortStyle : uint8_t {
    ssAutomatic, ssAlphabetic, ssNumeric, ssDate, ssAlphaNoCase, ssAlphaCase,
    ssShortDateEU, ssShortDateUS, ssCustom, ssFinancial, ssRaw
};
enum TLVExtendedStyle : uint8_t {
    lvxGridLines, lvxSubItemImages, lvxCheckboxes, lvxTrackSelect, lvxHeaderDragDrop,
    lvxFullRowSelect, lvxOneClickActivate, lvxTwoClickActivate
};
// A set of TLVExtendedStyle: bit n for ordinal n.
using TLVExtendedStyles = uint8_t;
constexpr TLVExtendedStyles LvxBit(TLVExtendedStyle s) { return TLVExtendedStyles(1u << s); }
// The list control's extended style bits, by TLVExtendedStyle ordinal.
extern const uint32_t API_STYLES[8];

enum TPrintPosition : uint8_t {
    ppNone, ppTopLeft, ppTopRight, ppTopCenter, ppBottomLeft, ppBottomRight, ppBottomCenter
};
enum TFitToPage : uint8_t { fpNever, fpGrow, fpShrink, fpAlways, fpCustom };
enum TPrintBorders : uint8_t { pbNoborder, pbSingle, pbDouble, pbVertical, pbHorizontal };
enum TSizeStorage : uint8_t { stInifile, stRegistry };
// Automatic sorting of the rows (the standard list's own): none, by the data,
// by the caption text, or both.
enum TSortType : uint8_t { stNone, stData, stText, stBoth };
enum TAlignment : uint8_t { taLeftJustify, taRightJustify, taCenter };
enum TPenStyle : uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear };
enum TPrinterOrientation : uint8_t { poPortrait, poLandscape };

// ---- colours and fonts ---------------------------------------------------------
enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
// A font as the list's settings and cell properties describe it.
struct TFontDesc {
    std::string Name = "MS Sans Serif";
    int Size = 8;            // points; used when Height is 0
    int Height = 0;          // pixels when not 0
    uint8_t Style = 0;       // TFontStyle bits
    TColor Color = clWindowText;
    bool operator==(const TFontDesc &) const = default;
};

// Owner-draw state of a cell (bits).
enum TOwnerDrawStateBit : uint16_t {
    odSelected = 1, odGrayed = 2, odDisabled = 4, odChecked = 8, odFocused = 16, odDefault = 32,
    odHotLight = 64, odInactive = 128
};
using TOwnerDrawState = uint16_t;

// What QueryDrawProp decides for one cell: the brush and the font. They come in
// set to the list's defaults; the handler changes what it wants.
struct TCellProps {
    TColor BrushColor = clWindow;
    TFontDesc Font;
};

// ---- settings objects owned by the list -------------------------------------------
struct THTMLSettings {
    bool SaveColor = true;
    bool SaveFonts = true;
    std::string FooterFile;
    std::string HeaderFile;
    int BorderSize = 1;
    int CellSpacing = 0;
    std::string TableStyle;
    std::string PrefixTag;
    std::string SuffixTag;
    int Width = 100;
};

struct TPrintsettings {
    TPrintPosition Time = ppNone;
    TPrintPosition Date = ppNone;
    TPrintPosition PageNr = ppNone;
    std::string PageNumSep = "/";
    std::string DateFormat = "dd/mm/yyyy";
    TPrintPosition Title = ppNone;
    TFontDesc Font, HeaderFont, FooterFont;
    TPrintBorders Borders = pbNoborder;
    TPenStyle BorderStyle = psSolid;
    std::string TitleText;
    bool Centered = false;
    bool RepeatHeaders = false;
    int FooterSize = 0, HeaderSize = 0, LeftSize = 0, RightSize = 0, ColumnSpacing = 0, RowSpacing = 0;
    TPrinterOrientation Orientation = poPortrait;
    std::string PagePrefix, PageSuffix;
    int FixedHeight = 0;
    bool UseFixedHeight = false;
    int FixedWidth = 0;
    bool UseFixedWidth = false;
    TFitToPage FitToPage = fpNever;
    std::string JobName;
};

struct TColumnSize {
    bool Save = false;
    std::string Key;       // INI file name (or registry key)
    std::string Section;
    bool Stretch = false;
    TSizeStorage Storage = stInifile;
};

// The detail line under each row. Setters store only real changes and then
// have the list repaint through Changed.
class TDetails {
public:
    bool Visible() const { return visible_; }
    int Column() const { return column_; }
    int Height() const { return height_; }
    const TFontDesc &Font() const { return font_; }
    bool SplitLine() const { return splitLine_; }
    int Indent() const { return indent_; }
    void SetVisible(bool v);
    void SetColumn(int v);
    void SetHeight(int v);
    void SetFont(const TFontDesc &f);
    void SetSplitLine(bool v);
    void SetIndent(int v);
    std::function<void()> Changed;
private:
    void changed() { if (Changed) Changed(); }
    bool visible_ = false;
    int column_ = 0;
    int height_ = 16;
    TFontDesc font_ = [] { TFontDesc f; f.Color = clBlue; return f; }();
    bool splitLine_ = false;
    int indent_ = 0;
};

// ---- observer ------------------------------------------------------------------------
class TListItem;

// Told about every change of the data, in the order a Qt model needs it.
class TListObserver {
public:
    virtual ~TListObserver() = default;
    virtual void RowsAboutToBeInserted(int first, int last) = 0;
    virtual void RowsInserted() = 0;
    virtual void RowsAboutToBeRemoved(int first, int last) = 0;
    virtual void RowsRemoved() = 0;
    // Many changes at once (update batches, clearing, column changes).
    virtual void AboutToReset() = 0;
    virtual void ResetDone() = 0;
    // Rows reordered; newRowOf[old] is the new row of the old row.
    virtual void LayoutAboutToChange() = 0;
    virtual void LayoutChanged(const std::vector<int> &newRowOf) = 0;
    // Cells of one row changed: columns first..last (column 0 is the caption).
    virtual void CellsChanged(int row, int first, int last) = 0;
    virtual void HeaderChanged(int first, int last) = 0;
    // A column's width or alignment changed (no structural change).
    virtual void ColumnLayoutChanged(int column) = 0;
    // Selection and focus marks of the data changed (by program or user).
    virtual void ItemSelectionChanged(TListItem *item, bool selected) = 0;
    virtual void ItemFocusChanged(TListItem *item) = 0;
};

// ---- columns -------------------------------------------------------------------------
class TListColumns;

// The width of a new column.
constexpr int ListColumnDefaultWidth = 50;

class TListColumn {
public:
    const std::string &Caption() const { return caption_; }
    void SetCaption(const std::string &s);
    int Width() const { return width_; }
    void SetWidth(int w);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment a);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int i);
    bool AutoSize = false;
    int Index() const;
private:
    friend class TListColumns;
    explicit TListColumn(TListColumns *owner) : owner_(owner) {}
    TListColumns *owner_;
    std::string caption_;
    int width_ = ListColumnDefaultWidth;
    TAlignment alignment_ = taLeftJustify;
    int imageIndex_ = -1;
};

class TListColumns {
public:
    TListColumns() = default;
    TListColumns(const TListColumns &) = delete;
    TListColumns &operator=(const TListColumns &) = delete;
    int Count() const { return int(cols_.size()); }
    // nullptr outside the range.
    TListColumn *Items(int i) const;
    TListColumn *operator[](int i) const { return Items(i); }
    TListColumn *Add();
    // Convenience: a column with caption, width and alignment.
    TListColumn *Add(const std::string &caption, int width, TAlignment a = taLeftJustify);
    // Adds columns with empty captions until there are at least n, as one
    // change of the column set.
    void Extend(int n);
    void Delete(int i);
    void Clear();
    int IndexOf(const TListColumn *c) const;
    void SetObserver(TListObserver *o) { observer_ = o; }
    // Asked before each added or removed column: true when the list's rows
    // are in an update batch that has taken the change over, so the
    // columns are laid out once, when the batch ends.
    void SetBatch(std::function<bool()> joinBatch) { joinBatch_ = std::move(joinBatch); }
private:
    friend class TListColumn;
    // Tells the observer of a change of the column set (unless a batch has
    // taken it over) and makes it.
    template <class F> void structural(F change);
    std::function<bool()> joinBatch_;
    void changedHeader(const TListColumn *c);
    void changedLayout(const TListColumn *c);
    // Columns made many at a time live in blocks of their own (one
    // allocation for a line of a million fields), freed once no column is
    // left; the others are allocated one by one.
    struct ColumnDeleter {
        bool pooled = false;
        void operator()(TListColumn *c) const;
    };
    std::vector<std::unique_ptr<unsigned char[]>> blocks_;  // before cols_: outlives it
    std::vector<std::unique_ptr<TListColumn, ColumnDeleter>> cols_;
    TListObserver *observer_ = nullptr;
};

// ---- rows ------------------------------------------------------------------------------
class TListItems;

// The sub-items of a row: plain texts whose count does not depend on the
// column count. Every change is reported to the list.
class TSubItems {
public:
    int Count() const { return int(items_.size()); }
    // Empty outside the range.
    const std::string &operator[](int i) const;
    const std::string &Strings(int i) const { return (*this)[i]; }
    // Ignored outside the range.
    void Put(int i, const std::string &s);
    int Add(const std::string &s);
    void Insert(int i, const std::string &s);
    void Delete(int i);
    void Clear();
    const std::vector<std::string> &ToVector() const { return items_; }
    void Assign(const std::vector<std::string> &v);
    // Takes the texts over (v is left empty): a row filled in one step.
    void Assign(std::vector<std::string> &&v);
private:
    friend class TListItem;
    explicit TSubItems(TListItem *item) : item_(item) {}
    void changed(int first, int last);
    TListItem *item_;
    std::vector<std::string> items_;
};

// Everything a row holds but its place, selection and focus: what moving or
// swapping rows carries over.
struct TListItemContent {
    std::string Caption;
    std::vector<std::string> SubItems;
    bool Checked = false;
    int ImageIndex = -1;
    std::vector<int> SubImages;
    int Indent = 0;
    void *Data = nullptr;
};

class TListItem {
public:
    TListItem(const TListItem &) = delete;
    TListItem &operator=(const TListItem &) = delete;

    const std::string &Caption() const { return caption_; }
    void SetCaption(const std::string &s);
    TSubItems SubItems{this};
    // Setting from the program raises no check-box event.
    bool Checked() const { return checked_; }
    void SetChecked(bool on);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int i);
    // Images of sub-items (by sub-item index); -1 where none.
    int SubItemImage(int sub) const;
    void SetSubItemImage(int sub, int image);
    int Indent = 0;
    void *Data = nullptr;

    bool Selected() const { return selected_; }
    void SetSelected(bool on);
    bool Focused() const;
    void SetFocused(bool on);

    // Row index, -1 once removed from its list.
    int Index() const;
    TListItems *Owner() const { return owner_; }
    // Text of a cell: 0 the caption, n sub-item n-1 (empty when missing).
    const std::string &CellText(int col) const;
    TListItemContent Content() const;
    void SetContent(const TListItemContent &c);

private:
    friend class TListItems;
    friend class TSubItems;
    explicit TListItem(TListItems *owner) : owner_(owner) {}
    TListItems *owner_;
    std::string caption_;
    bool checked_ = false;
    bool selected_ = false;
    int imageIndex_ = -1;
    std::vector<int> subImages_;
};

class TListItems {
public:
    TListItems() = default;
    ~TListItems();
    TListItems(const TListItems &) = delete;
    TListItems &operator=(const TListItems &) = delete;

    int Count() const { return int(items_.size()); }
    // nullptr outside the range.
    TListItem *Item(int i) const;
    TListItem *operator[](int i) const { return Item(i); }
    TListItem *Add();
    // Inserted before row i (appended when i is at or beyond the end).
    TListItem *Insert(int i);
    void Delete(int i);
    void Clear();
    int IndexOf(const TListItem *item) const;

    // Update batches: changes inside are announced as one reset at the end,
    // and the automatic caption sort runs once then.
    void BeginUpdate();
    void EndUpdate();
    bool Updating() const { return updateCount_ > 0; }
    // Inside an update batch: makes the batch end with one reset that
    // covers a change made elsewhere (a column added) and answers true.
    bool JoinUpdate();

    // Single selection unless set: selecting a row deselects the others first.
    bool MultiSelect = false;
    TListItem *Selected() const;      // first selected row or nullptr
    int SelCount() const;
    TListItem *ItemFocused() const { return focused_; }
    void SetItemFocused(TListItem *item);
    // Marks without raising anything (the view mirrors the user's changes in).
    void SetSelectedMark(TListItem *item, bool on, bool notify);

    // Automatic sorting: stText (and stBoth) keep rows in caption order on
    // insert, caption change and at the end of an update batch.
    TSortType SortType() const { return sortType_; }
    void SetSortType(TSortType t);
    // Caption order of the automatic sort (case-insensitive, code page aware).
    static int CompareCaptions(const TListItem *a, const TListItem *b);
    void AlphaSort();

    // Reorders all rows by cmp(rowA, rowB) (negative, zero, positive) on the
    // rows' indices before the sort. Stable merge sort: any comparison
    // function, even one that contradicts itself, ends with every row kept.
    void CustomSort(const std::function<int(int, int)> &cmp);

    void SetObserver(TListObserver *o) { observer_ = o; }
    TListObserver *Observer() const { return observer_; }

private:
    friend class TListItem;
    friend class TSubItems;
    void cellsChanged(TListItem *item, int first, int last);
    void checkChanged(TListItem *item);
    void captionChanged(TListItem *item);
    void structural();                    // about to change rows
    bool quiet() const { return resetPending_; }
    void applyOrder(const std::vector<int> &order);
    // Keeps a text-sorted list sorted: the changed row alone is moved, or
    // the whole list sorted when no row is named.
    void autoSort(TListItem *changed = nullptr);
    void placeSorted(TListItem *item);

    std::vector<std::unique_ptr<TListItem>> items_;
    TListObserver *observer_ = nullptr;
    TListItem *focused_ = nullptr;
    TSortType sortType_ = stNone;
    int updateCount_ = 0;
    bool resetPending_ = false;
    bool sortPending_ = false;
};

// Stable merge sort of 0..n-1 by cmp; returns the new order (order[newRow] =
// old row). Only ever compares indices within range.
std::vector<int> StableSortOrder(int n, const std::function<int(int, int)> &cmp);

// ---- comparison styles ---------------------------------------------------------------
namespace EnhListSort {
// Number format of the system as the comparisons use it.
extern char DecimalSeparator;
extern char ThousandSeparator;
// Order of the system's short date (for ssDate): "DMY", "MDY" or "YMD".
extern std::string ShortDateOrder;

// Date parsers of the short-date styles (day/month/year and month/day/year).
// A text without two separators is the date 0; an impossible date raises
// EConvertError (the comparison counts it as 0).
double ParseShortDateEU(const std::string &s);
double ParseShortDateUS(const std::string &s);
// The system's date and time conversion for ssDate (date in the short date
// order, "yyyy-mm-dd", optionally followed by hh:nn[:ss]).
bool StrToDateTime(const std::string &s, double &value);

// The raw result (before the sign) of every style but ssCustom and ssRaw,
// which the list decides through its handlers; those two give 0 here.
int CompareTexts(TSortStyle style, const std::string &a, const std::string &b,
                 const std::string &prefix = std::string(), const std::string &suffix = std::string());
} // namespace EnhListSort

// ---- clipboard text ------------------------------------------------------------------------
// What a paste may take: a longer text is refused whole, and fields of a row
// beyond the column limit are dropped, so a hostile clipboard cannot make a
// list allocate without bound.
constexpr size_t PasteMaxBytes = 16u << 20;
constexpr int PasteMaxColumns = 256;
// The rows of a pasted text: lines ended by CR LF, CR or LF (text after the
// last line end is left out), fields separated by tabs. Empty for a text
// longer than PasteMaxBytes.
std::vector<std::vector<std::string>> ClipboardRows(const std::string &Text);

// ---- column-width arithmetic -------------------------------------------------------------
// New width of the last column when the list stretches it, or -1 for no change.
int StretchedRightWidth(const std::vector<int> &widths, int listWidth, int clientWidth);
// Width AutoSizeColumn gives a column: widest cell + 10 (cell widths already
// including images and the check box).
int AutoSizedWidth(const std::vector<int> &cellWidths);
