#pragma once
// TEnhListView: the report-style list of every list in the program's windows.
//
// Three layers: the plain data (EnhListData.h: columns, rows, selection
// marks), TEnhListModel (a Qt model over that data) and TEnhListView (a
// QTreeView without root decoration, selecting whole rows, with its own
// header). The data is the truth; the Qt selection mirrors the rows' marks.
//
// Coordinates called "client" below are those of the view's viewport (the
// area under the header), as mouse events of the rows arrive in them.
#include "controls/EnhListData.h"
#include "controls/EnhListPrint.h"
#include "platform/Classes.h"
#include "platform/Streams.h"
#include "platform/SysUtils.h"

#include <QAbstractTableModel>
#include <QCursor>
#include <QFont>
#include <QIcon>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTextEdit>
#include <QTreeView>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

MIXDECK_EXCEPTION(EEnhListViewError, Exception);

class TEnhListView;
class QPagedPaintDevice;
class QPainter;
class TEnhFilterBar;
class THTMLPictureCache;
class TPictureContainer;

// The hidden rich edit of a list: converts and paints rich-text cells.
class TEnhRichEdit : public QTextEdit {
    Q_OBJECT
public:
    explicit TEnhRichEdit(QWidget *parent = nullptr);
    // Vertical offset of the selection: 0, -40 and +40 twips.
    void SelNormal();
    void SelSubscript();
    void SelSuperscript();
    // The document as RTF and back (the cell form of rich text).
    std::string RTFText() const;
    void SetRTFText(const std::string &rtf);
};

class TEnhListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TEnhListModel(TEnhListView *list);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    // Announcements the list makes on behalf of its data.
    void beginInsert(int first, int last) { beginInsertRows(QModelIndex(), first, last); }
    void endInsert() { endInsertRows(); }
    void beginRemove(int first, int last) { beginRemoveRows(QModelIndex(), first, last); }
    void endRemove() { endRemoveRows(); }
    void beginReset() { beginResetModel(); }
    void endReset() { endResetModel(); }
    void beginLayout() { emit layoutAboutToBeChanged(); }
    void endLayout(const std::vector<int> &newRowOf);
    void cellsChanged(int row, int first, int last);
    void headerChanged(int first, int last) { emit headerDataChanged(Qt::Horizontal, first, last); }

private:
    TEnhListView *list_;
};

// The row delegate: draws the standard cells; check boxes are toggled by the
// list itself (on the button press), never by the delegate.
class TEnhListDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool editorEvent(QEvent *event, QAbstractItemModel *model, const QStyleOptionViewItem &option,
                     const QModelIndex &index) override;
    // Owner-drawn rows are ItemHeight high.
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // Rectangle of the check box of a cell drawn in the given option.
    QRect checkRect(const QStyleOptionViewItem &option, const QModelIndex &index) const;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    // The cell editor made last; nullptr once it is gone.
    QWidget *LastEditor() const { return lastEditor_; }

private:
    bool ownerDrawn() const;
    mutable QPointer<QWidget> lastEditor_;
};

class TEnhListView : public QTreeView, private TListObserver {
    Q_OBJECT
public:
    explicit TEnhListView(QWidget *parent = nullptr);
    ~TEnhListView() override;

    static const char *ClassName() { return "TEnhListView"; }

    // ---- the standard list -------------------------------------------------------
    TListItems Items;
    TListColumns Columns;
    TEnhListModel *Model() const { return model_; }
    // Updating suspended: one reset and one caption sort at the end.
    void BeginUpdate();
    void EndUpdate();

    bool Checkboxes() const { return checkboxes_; }
    void SetCheckboxes(bool on);
    bool OwnerDraw() const { return ownerDraw_; }
    void SetOwnerDraw(bool on);
    bool RowSelect() const { return rowSelect_; }
    void SetRowSelect(bool on);
    bool GridLines() const { return gridLines_; }
    void SetGridLines(bool on);
    bool ReadOnly() const { return readOnly_; }
    void SetReadOnly(bool on);
    bool MultiSelect() const { return Items.MultiSelect; }
    void SetMultiSelect(bool on);
    bool ColumnClick() const { return columnClick_; }
    void SetColumnClick(bool on);
    bool HideSelection = true;
    TSortType SortType() const { return Items.SortType(); }
    void SetSortType(TSortType t) { Items.SetSortType(t); }
    // Small images by image index.
    QList<QIcon> SmallImages() const { return smallImages_; }
    void SetSmallImages(const QList<QIcon> &images);
    TListItem *Selected() const { return Items.Selected(); }
    TListItem *ItemFocused() const { return Items.ItemFocused(); }
    // Row under a client point, or nullptr.
    TListItem *GetItemAt(int X, int Y) const;

    // ---- properties the enhanced list adds ------------------------------------------
    bool AutoHint = false;
    bool ClipboardEnable = false;
    TColumnSize ColumnSize;
    bool FilterBar = false;
    int FilterTimeOut = 500;
    TPrintsettings PrintSettings;
    bool HTMLHint = false;
    THTMLSettings HTMLSettings;
    bool HeaderHotTrack = false;
    bool HeaderFlatStyle = false;
    bool HeaderDragDrop() const { return headerDragDrop_; }
    void SetHeaderDragDrop(bool on);
    bool HeaderOwnerDraw() const { return headerOwnerDraw_; }
    void SetHeaderOwnerDraw(bool on);
    int HeaderHeight() const { return headerHeight_; }
    void SetHeaderHeight(int h);
    QFont HeaderFont() const { return headerFont_; }
    void SetHeaderFont(const QFont &f);
    int HoverTime = 400;
    bool SelectionRTFKeep = false;
    bool ScrollHint = false;
    TColor SelectionColor = clHighlight;
    TColor SelectionTextColor = clHighlightText;
    bool SizeWithForm = false;
    TSortDirection SortDirection() const { return sortDirection_; }
    void SetSortDirection(TSortDirection d);
    bool SortShow() const { return sortShow_; }
    void SetSortShow(bool on);
    TSortIndicator SortIndicator = siLeft;
    bool SubImages() const { return subImages_; }
    void SetSubImages(bool on);
    bool SubItemEdit = false;
    bool SubItemSelect = false;
    TColor URLColor = clBlue;
    bool URLShow = false;
    bool URLFull = false;
    TVAlignment VAlignment = vtaCenter;
    bool WordWrap = false;
    int ItemHeight() const { return itemHeight_; }
    void SetItemHeight(int h);
    bool SaveHeader = false;
    bool LoadHeader = false;
    bool ReArrangeItems = false;
    TDetails DetailView;
    // Field separator of the CSV export and import; 0 until set.
    char Delimiter = 0;

    // ---- events (called only when assigned; the list is always the sender) -------------
    std::function<void(TEnhListView *, int iItem, bool state)> OnCheckboxClick;
    std::function<void(TEnhListView *, TListItem *item, bool selected)> OnSelectItem;
    std::function<void(TEnhListView *, int iItem, int iSubItem)> OnLeftClickCell, OnRightClickCell;
    std::function<void(TEnhListView *, int itemindex, int subitemindex, TOwnerDrawState AState,
                       TColor &ABrush, TFontDesc &AFont, std::string ItemText)> OnDrawItemProp;
    std::function<void(TEnhListView *, int ACol, TSortStyle &AStyle, std::string &aPrefix,
                       std::string &aSuffix)> OnGetFormat;
    std::function<void(TEnhListView *, int ACol, const std::string &str1, const std::string &str2,
                       int &res)> OnCustomCompare;
    std::function<void(TEnhListView *, int col, int row1, int row2, int &res)> OnRawCompare;
    std::function<void(TEnhListView *, int column, bool &enable)> OnSortStart;
    std::function<void(TEnhListView *, int column)> OnSortDone, OnColumnSized, OnColumnRClick, OnEndColumnTrack;
    std::function<void(TEnhListView *, int column, bool &Allow)> OnStartColumnTrack;
    std::function<void(TEnhListView *, int iItem)> OnFilterChange, OnFilterBtnClick;
    std::function<void(TEnhListView *, const std::string &Anchor)> OnAnchorClick, OnAnchorEnter, OnAnchorExit;
    std::function<void(TEnhListView *, int iItem, const std::string &URL, bool &Handled)> OnURLClick;
    std::function<void(TEnhListView *)> OnResize;
    // Standard events of the list control.
    std::function<void(TEnhListView *, TListColumn *column)> OnColumnClick;
    std::function<void(TEnhListView *, Qt::MouseButton, Qt::KeyboardModifiers, int X, int Y)> OnMouseDown, OnMouseUp;
    std::function<void(TEnhListView *, int &Key, Qt::KeyboardModifiers)> OnKeyDown, OnKeyUp;
    std::function<void(TEnhListView *)> OnClick, OnDblClick, OnEnter, OnExit;
    // A row was activated: double-clicked; with one-click activation
    // clicked; with two-click activation clicked while already selected.
    std::function<void(TEnhListView *, int iItem)> OnItemActivate;
    std::function<void(TEnhListView *, TListItem *item, std::string &S)> OnEdited;

    // ---- cells --------------------------------------------------------------------------
    bool GetIndexAtPoint(int X, int Y, int &Col, int &Row) const;
    std::string GetTextAtPoint(int X, int Y) const;
    std::string GetTextAtColRow(int Col, int Row) const;
    void SetTextAtColRow(int Col, int Row, const std::string &Text);
    // Rectangle of a cell in client coordinates (empty when no such cell).
    QRect GetItemRect(int Row, int Col) const;
    // Selects and focuses the row and scrolls it fully into view.
    void SelectItem(int Index);
    int GetVisibleItems() const;
    // Cell of the last mouse press that hit a cell.
    int RememberedRow() const { return rememberedRow_; }
    int RememberedCol() const { return rememberedCol_; }

    // ---- exports to text files (EnhListExport.cpp) ---------------------------------------
    // Column 0 is the caption, column n sub-item n-1; bytes as stored, lines
    // ended by CR LF, hidden (width 0) columns included.
    // The writers below throw "Cannot create file <name>: <the system's
    // reason>" when the file cannot be written, and leave the old file as
    // it was.
    // CSV: nothing written for a list without columns or rows; EInOutError.
    void SaveToCSV(const std::string &FileName);
    // HTML table after HTMLSettings; EEnhListViewError.
    void SaveToHTML(const std::string &FileName);
    // Flat XML; element names of the columns from FieldDescr, else FIELD<n>.
    // EEnhListViewError.
    void SaveToXML(const std::string &FileName, const std::string &ListDescr, const std::string &RecordDescr,
                   const TStringList &FieldDescr);
    // Fixed-width columns; multi-line cells continue on extra lines.
    void SaveToAscii(const std::string &FileName);
    // Six hexadecimal digits red, green, blue of $00BBGGRR.
    static std::string ColorToHTMLHex(TColor Color);
    std::string WrapURLAsAnchor(const std::string &Text) const;

    // ---- office documents over automation (EnhListExport.cpp) ---------------------------------
    // Word table of all rows and columns; Exception "Word OLE server not found"
    // without the server; EOleException for errors the server reports (the
    // file that could not be written and why).
    void SaveToDOC(const std::string &FileName);
    // Worksheet from A1; EEnhListViewError "Excel OLE server not found"
    // without the server; EOleException for errors the server reports (a
    // list larger than a sheet, before its cells are copied; the file that
    // could not be written and why).
    void SaveToXLS(const std::string &FileName);
    // Replaces the rows with the used block of the workbook's active sheet.
    void LoadFromXLS(const std::string &FileName);
    // Whether the error of one of these three says that the office program
    // is missing (its automation server could not be created), rather than
    // that the work itself failed. The "not found" errors above keep the
    // server's own failure as their nested cause.
    static bool ServerMissing(const std::exception &e);
    // Spreadsheet column letters of a column counted from 1 ("A", "AA", ...).
    static std::string XLSColumnLetters(int Column);

    // ---- the list's own cell files, streams and CSV import (EnhListFile.cpp) -------------------
    // Removes all rows and empties every column caption.
    void Clear();
    // Rows empty rows with Cols empty sub-items; at least Cols columns.
    void ClearInit(int Rows, int Cols);
    void SaveToFile(const std::string &FileName);
    void LoadFromFile(const std::string &FileName);
    void SaveToStream(TStream &Stream);
    void LoadFromStream(TStream &Stream);
    void LoadFromCSV(const std::string &FileName) { InputFromCSV(FileName, false); }
    void InsertFromCSV(const std::string &FileName) { InputFromCSV(FileName, true); }
    void InputFromCSV(const std::string &FileName, bool Insert);

    // ---- virtual hooks --------------------------------------------------------------------
    virtual void MeasureItem(int &Height) { Height = 48; }
    virtual void SelectionChanged(int /*Index*/) {}
    virtual void LeftClickCell(int iItem, int iSubItem);
    virtual void RightClickCell(int iItem, int iSubItem);
    // The one place where a cell's colours and font are decided; iSubItem is -1
    // for the caption.
    virtual void QueryDrawProp(int iItem, int iSubItem, TOwnerDrawState State, TColor &ABrush,
                               TFontDesc &AFont, const std::string &ItemText);
    virtual uint32_t GetVersionNr() const { return (uint32_t(54) << 16) | 1u; }
    virtual std::string GetVersionString() const { return "1.54, August 2001"; }

    // ---- sorting ------------------------------------------------------------------------------
    // The comparison column (sub-item index, -1 the caption) and sign, shared
    // by all lists.
    static int CompareColumn;
    static int CompareSign;
    int SortColumn() const { return sortColumn_; }
    int LastSortedColumn() const { return lastSortedColumn_; }
    void Sort();
    void SetSortColumn(int Column);
    void DoSort(int Column);
    void GetFormat(int Column, TSortStyle &Style, std::string &Prefix, std::string &Suffix);
    void CustCompare(int ACol, const std::string &str1, const std::string &str2, int &res);
    void RawCompare(int ACol, int row1, int row2, int &res);
    // Comparison of two rows (by index) as the sort applies it.
    int CompareListItems(int row1, int row2);

    // ---- columns and header --------------------------------------------------------------------
    void LoadColumnSizes();
    void SaveColumnSizes();
    void StretchRightColumn();
    void AutoSizeColumn(int Column);
    void AutoSizeColumns();
    void UpdateAlignment(int Column);
    void SetColumnImage(int Column, int Image);
    int GetColumnImage(int Column) const;
    void SetSubItemImage(int Item, int SubItem, int Image);
    int GetSubItemImage(int Item, int SubItem) const;
    void SetItemIndent(int Item, int SubItem, int Indent);
    int GetItemIndent(int Item, int SubItem) const;
    void SetExtendedStyles(TLVExtendedStyles Styles);
    TLVExtendedStyles GetExtendedStyles() const;
    void SetExtendedViewStyle(TLVExtendedStyle Style, bool On);
    void ReOrganize();
    // Logical column indices in the order the header shows them.
    std::vector<int> ColumnDisplayOrder() const;
    // Width in pixels of a cell's content as the auto-sizing measures it.
    int CellContentWidth(int Row, int Column);

    // The view's font for the rows.
    QColor ToQColor(TColor c) const;

    // ---- reordering, cell editing, hints and the clipboard (EnhListInteract.cpp) ---------------
    // Moves row From to index To of the list without it (-1: to the end); the
    // row keeps its selected state and becomes the focused row. Equal
    // indices, From -1 or rows out of range change nothing.
    void MoveItem(int From, int To);
    // Exchanges the contents of two rows; selection and focus stay in place.
    void SwapItems(int Index1, int Index2);
    // Display positions of the header (not column indices): moving shifts the
    // positions between by one towards the old place.
    void MoveColumn(int From, int To);
    void SwapColumns(int Pos1, int Pos2);
    // Remembers the cell and starts the editor on it when OnCanEditCell allows.
    void StartEdit(int Row, int Col);
    void SetEditText(const std::string &Text);
    bool Editing() const { return state() == EditingState; }
    // The editor hands back at most this many characters.
    static constexpr int EditMaxChars = 1024;
    // Repaints the focused row; its index, 0 when no row is focused.
    int FocusRepaint();
    // Rows as text: caption and a tab before each sub-item, every row ended
    // by CR LF; in the sub-item modes the remembered cell of the selected row.
    void CopyToClipBoard();
    void CopySelectionToClipboard();
    void CutToClipboard();
    // Lines (ended by CR LF, CR or LF) become new selected rows, tab-separated
    // fields filling caption and sub-items; in the sub-item modes the whole
    // text goes into the remembered cell of the selected row.
    void PasteFromClipboard();
    void PasteText(const std::string &Text);
    // The hint of a row's cell: true when the cell's text does not fit its
    // column, with the text to show.
    bool CellHint(int Col, int Row, std::string &Hint);
    int MovingRow() const { return movingRow_; }
    // The hint window shown while the scroll box is dragged (nullptr before).
    QWidget *ScrollHintWindow() const;
    std::function<void(TEnhListView *, int iItem, int iSubItem, bool &allow)> OnCanEditCell;
    // The view's own edit(index) stays public (it goes through the gate).
    using QTreeView::edit;

    // ---- printing (EnhListPrint.cpp) ------------------------------------------------------------
    // Prints every row on ListPrinter() or the given printer (a QPrinter or
    // a QPdfWriter), after PrintSettings; printer errors raise Exception.
    void Print();
    void Print(QPagedPaintDevice &Printer);
    // Draws the first page into the canvas at its real size; Rect gives the
    // page's size in the canvas's pixels.
    void Preview(QPainter &Canvas, const QRect &Rect);
    // Width and offset in page units (0.1 mm) of a column in the last run;
    // 0 outside 0..255.
    int GetPrintColWidth(int Col) const;
    int GetPrintColOffset(int Col) const;
    static int MapFontHeight(int Size);
    static int MapFontSize(int Height);
    // The pages of the last run as they were laid out.
    const std::vector<TListPrintPage> &PrintedPages() const { return printState_.Pages; }
    QRect PreviewRect() const { return printState_.PreviewRect; }
    // Called as each page begins (page numbers from 0), with the painter
    // scaled to page units, y growing downwards from the page's top; the
    // page's width and bottom are in the layout's units (the bottom negative).
    std::function<void(TEnhListView *, QPainter &Canvas, int pagenr, int pagexsize, int pageysize)> OnPrintPage;
    std::function<void(TEnhListView *, double &scalefactor, bool &allow)> OnFitToPage;
    std::function<void(TEnhListView *, int aCol, int &width)> OnPrintSetColumnWidth;
    std::function<void(TEnhListView *, int aRow, bool &newpage)> OnPrintNewPage;
    // ---- owner drawing, pictures, highlighting and filter bar (EnhListDraw.cpp,
    //      EnhListFilter.cpp) ---------------------------------------------------------------
    // Number of the hand cursor of links in the screen's cursor table, and
    // that cursor (registered there when first asked for).
    static constexpr int crHandPoint = 8019;
    static QCursor HandCursor();
    // Check-box and sort-indicator pictures; a pair is used only when both are set.
    const QPixmap &CheckTrueGlyph() const { return checkTrueGlyph_; }
    const QPixmap &CheckFalseGlyph() const { return checkFalseGlyph_; }
    void SetCheckTrueGlyph(const QPixmap &p);
    void SetCheckFalseGlyph(const QPixmap &p);
    const QPixmap &SortUpGlyph() const { return sortUpGlyph_; }
    const QPixmap &SortDownGlyph() const { return sortDownGlyph_; }
    void SetSortUpGlyph(const QPixmap &p);
    void SetSortDownGlyph(const QPixmap &p);
    // Tiled background of the rows; empty for none.
    const QPixmap &Wallpaper() const { return wallpaper_; }
    void SetWallpaper(const QPixmap &p);
    // Named pictures of markup cells (not owned); setting it repaints.
    TPictureContainer *PictureContainer() const { return pictureContainer_; }
    void SetPictureContainer(TPictureContainer *c);
    // Pictures loaded by address for markup cells.
    THTMLPictureCache &PictureCache() { return *pictureCache_; }
    // Images of the header (sort indicator images 0 and 1, column images).
    const QList<QIcon> &HeaderImages() const { return headerImages_; }
    void SetHeaderImages(const QList<QIcon> &images);
    // Setters of VAlignment, URLColor, URLShow and URLFull: stored, then the
    // rows are repainted.
    void SetVAlignment(TVAlignment v);
    void SetURLColor(TColor c);
    void SetURLShow(bool on);
    void SetURLFull(bool on);
    // Setters of FilterTimeOut and HoverTime: stored and applied.
    void SetFilterTimeOut(int Value);
    void SetHoverTime(int Value);
    TEnhRichEdit *RichEdit() const { return richEdit_; }
    // The high 32 bits of the common-controls version (Qt's version: major in
    // the high word, minor in the low word).
    int CommCtlVersion() const { return commCtlVersion_; }
    // The high 32 bits of a module's file version, -1 when it has none.
    static int GetModuleVersionMS(const std::string &FileName);
    std::function<void(TEnhListView *, QPainter *aCanvas, int itemindex, QRect Rect, TOwnerDrawState State)>
        OnDrawItem;

    // Paints row Index into Rect on the owner-draw canvas.
    virtual void LVDrawItem(int Index, QRect Rect, TOwnerDrawState State);
    // The canvas rows are painted on while a paint runs (nullptr otherwise).
    QPainter *OwnerDrawCanvas() const { return ownerDrawCanvas_; }
    void ItemToRich(int Row, int SubItem, TEnhRichEdit &Rich);
    void RichToItem(int Row, int SubItem, TEnhRichEdit &Rich);
    void RTFPaint(int Row, int SubItem, QPainter &Canvas, QRect Rect);
    // Markup measured through the painter (width, height) with the list's font.
    QSize HTMLExtent(const std::string &Text, const QFont &Font);
    // Paints one header section as the owner-drawn header does.
    void DrawHeaderItem(QPainter &p, const QRect &rect, int Column);

    // Search highlighting: "<hi>" and "<e>" tags around matches in the cells.
    void HilightInList(const std::string &HiText, bool DoCase);
    void HilightInItem(int Index, const std::string &HiText, bool DoCase);
    void UnHilightInList();
    void UnHilightInItem(int Index);
    void MarkInList(const std::string &HiText, bool DoCase);
    void MarkInItem(int Index, const std::string &HiText, bool DoCase);
    void UnMarkInList();
    void UnMarkInItem(int Index);
    // The setter of FilterBar, and the filter of a column (type 0 text, 1 number).
    void ShowFilter(bool Value);
    std::string GetFilter(int Column, int FilterType) const;
    void SetFilter(int Column, int FilterType, int Value, const std::string &Text);
    TEnhFilterBar *FilterBarWidget() const { return filterBar_; }

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    bool viewportEvent(QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void keyPressEvent(QKeyEvent *e) override;
    void keyReleaseEvent(QKeyEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void leaveEvent(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void scrollContentsBy(int dx, int dy) override;
    void updateGeometries() override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    friend class TEnhListModel;
    // TListObserver
    void RowsAboutToBeInserted(int first, int last) override;
    void RowsInserted() override;
    void RowsAboutToBeRemoved(int first, int last) override;
    void RowsRemoved() override;
    void AboutToReset() override;
    void ResetDone() override;
    void LayoutAboutToChange() override;
    void LayoutChanged(const std::vector<int> &newRowOf) override;
    void CellsChanged(int row, int first, int last) override;
    void HeaderChanged(int first, int last) override;
    void ColumnLayoutChanged(int column) override;
    void ItemSelectionChanged(TListItem *item, bool selected) override;
    void ItemFocusChanged(TListItem *item) override;

    void qtSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected);
    void qtCurrentChanged(const QModelIndex &current);
    void syncSelectionFromItems();
    void applyColumns();
    void applyColumn(int column);
    void headerClicked(int section);
    void sectionResized(int logical, int oldSize, int newSize);
    bool onCheckRect(const QPoint &p, const QModelIndex &index) const;
    void leftButtonDown(QMouseEvent *e, bool doubleClick);
    TFontDesc defaultFontDesc() const;
    QFont toQFont(const TFontDesc &f) const;

    TEnhListModel *model_ = nullptr;
    TEnhListDelegate *delegate_ = nullptr;
    QList<QIcon> smallImages_;
    QFont headerFont_;
    // Owner drawing, pictures, filter bar and header tracking (EnhListDraw.cpp, EnhListFilter.cpp).
    void markCells(int Index, const std::string &HiText, const std::string &Tag, bool DoCase, bool Remove);
    void paintOwnerDrawn(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const;
    bool headerEvent(QEvent *e);
    void linkMouseMove(const QPoint &p);
    // Hit test of a markup cell at a client point; the anchor under it.
    bool hitCellAnchor(int row, int col, const QPoint &pt, double res, std::string &anchor);
    void leaveAnchor();
    bool linkButtonDown(const QPoint &p);
    void reapplySortIndicator();
    void layoutFilterBar();
    TEnhFilterBar *ensureFilterBar();
    QPixmap checkTrueGlyph_, checkFalseGlyph_, sortUpGlyph_, sortDownGlyph_, wallpaper_;
    TPictureContainer *pictureContainer_ = nullptr;
    std::unique_ptr<THTMLPictureCache> pictureCache_;
    QList<QIcon> headerImages_;
    TEnhRichEdit *richEdit_ = nullptr;
    TEnhFilterBar *filterBar_ = nullptr;
    QPainter *ownerDrawCanvas_ = nullptr;
    int commCtlVersion_ = -1;
    int trackingColumn_ = -1;       // column whose divider is being dragged
    bool headerTracking_ = false;
    std::string hoveredAnchor_;
    bool anchorHover_ = false;
    bool checkboxes_ = false;
    bool ownerDraw_ = false;
    bool rowSelect_ = true;
    bool gridLines_ = false;
    bool readOnly_ = false;
    bool columnClick_ = true;
    bool headerDragDrop_ = false;
    bool headerOwnerDraw_ = false;
    bool subImages_ = false;
    bool trackSelect_ = false, oneClickActivate_ = false, twoClickActivate_ = false;

    // ---- the row and header section under the pointer (EnhListHover.cpp) ----
    // The row under the pointer (-1: none); with an activation style it is
    // drawn underlined, with track selection it is selected once the
    // pointer has rested on it for HoverTime ms.
    int hotRow_ = -1;
    int hotSection_ = -1;
    class QTimer *hoverTimer_ = nullptr;
    void hoverMove(const QPoint &p);
    void hoverLeave();
    void hoverTimeout();
    // Activation after a left press on a row that was (not) selected before it.
    void activateOnPress(int row, bool wasSelected, bool doubleClick);
    void headerHover(int section);

public:
    // The row under the pointer, -1 when none.
    int HotRow() const { return hotRow_; }
    // The header section under the pointer, -1 when none.
    int HotSection() const { return hotSection_; }
    // The hot row is drawn underlined (one- or two-click activation).
    bool HotRowUnderlined(int row) const;

private:
    int headerHeight_ = 13;
    int itemHeight_ = 13;
    TSortDirection sortDirection_ = sdAscending;
    bool sortShow_ = false;
    int sortColumn_ = -2;
    int lastSortedColumn_ = -1;
    int rememberedRow_ = 0;
    int rememberedCol_ = 0;
    bool resetPending_ = false;     // model between begin and end of a reset
    int structuralDepth_ = 0;       // Qt selection signals ignored meanwhile
    bool applyingQtSelection_ = false;
    bool applyingQtFocus_ = false;
    bool syncingToQt_ = false;
    bool applyingWidths_ = false;
    bool sizesLoaded_ = false;

    friend class TListPrintJob;
    TListPrintState printState_;

    // EnhListInteract.cpp
    bool interactKey(QKeyEvent *e);
    void endRowMove(const QPoint *target);
    void rowMoveTick();
    void scrollHintMoved(int value);
    std::string clipboardText(bool selectionOnly) const;
    int movingRow_ = -1;
    QPoint lastMovePos_;
    class QTimer *moveTimer_ = nullptr;
    int hintCol_ = -1, hintRow_ = -1;
    class QLabel *scrollHint_ = nullptr;
};
