#pragma once
// The banded report engine.
//
// A report is a report form (TAlReportForm) that owns one TAlReport and any
// number of bands (tAlBand), each band holding printable controls (TAlLabel,
// TAlField, TAlSysField, TAlShape). Positions and sizes are the design in
// screen pixels (96 per inch); margins and column widths are in millimetres.
// A run lays the bands out in device pixels of the printer object
// (AlPrinter()) and either prints them straight onto the printer
// (TAlReport::Print) or records each page as a picture into a page list
// (TAlReport::Preview).
//
// Data reaches a report by name: the caller clears the report, then hands
// each value to TAlReport::AddNamedValue under the name of the field that
// shall print it; a field given several values prints one per row of a
// repeated band.
//
// Texts are Windows-1252 byte strings.
#include "controls/EnhListData.h"   // TAlignment, TPenStyle, TPrinterOrientation
#include "platform/Graphics.h"
#include "reports/AlPrinter.h"
#include "reports/AlText.h"

#include <QDateTime>
#include <array>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

class QPainter;
class TAlReportForm;
class TAlDetailLink;

enum tAlBandType : uint8_t {
    alr_Title, alr_PageHeader, alr_DetailHeader, alr_Detail, alr_DetailFooter,
    alr_PageFooter, alr_ReportFooter, alr_NewPage, alr_GroupHeader, alr_GroupFooter
};
enum tAlSysDataType : uint8_t {
    alr_Time, alr_Date, alr_DateTime, alr_PageNum, alr_Counter, alr_Count, alr_Formname
};
enum tAlRulerType : uint8_t { alr_none, alr_cmH, alr_cmHV, alr_cmV };
enum tClipMode : uint8_t { cm_Clip, cm_Expand, cm_Overwrite };
enum TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TShapeType : uint8_t { stRectangle, stSquare, stRoundRect, stRoundSquare, stEllipse, stCircle };
enum TBrushStyle : uint8_t {
    bsSolid, bsClear, bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross
};
enum TPenMode : uint8_t {
    pmBlack, pmWhite, pmNop, pmNot, pmCopy, pmNotCopy, pmMergePenNot, pmMaskPenNot,
    pmMergeNotPen, pmMaskNotPen, pmMerge, pmNotMerge, pmMask, pmNotMask, pmXor, pmNotXor
};

using tLogProc = std::function<void(const std::string &)>;

// Unit-wide state shared by every report.
namespace Alrep {
// A field without values prints "[" + its name in upper case + "]".
extern bool DebugMode;
// A field without values prints its design caption (tested before DebugMode).
extern bool CaptionMode;
// Printed by a field that has no value for the row: "~".
extern std::string NoValue;
// Default colour of a band per tAlBandType.
extern const std::array<TColor, 10> AlBandColors;
// The clock of the system fields (the current local time unless replaced).
extern std::function<QDateTime()> Now;
// Name of a band type as the design view shows it ("Title", "New Page", ...).
const char *BandTypeName(tAlBandType type);
// Width and height in millimetres of a paper size, in portrait.
int PaperWidthMM(tPapersize size);
int PaperHeightMM(tPapersize size);
}

// ---- components ------------------------------------------------------------------

class TAlComponent {
public:
    explicit TAlComponent(TAlReportForm *owner) : owner_(owner) {}
    virtual ~TAlComponent();
    TAlComponent(const TAlComponent &) = delete;
    TAlComponent &operator=(const TAlComponent &) = delete;

    TAlReportForm *Owner() const { return owner_; }
    // The class name a stored layout names the component by.
    virtual const char *ClassName() const = 0;
    const std::string &Name() const { return name_; }
    virtual void SetName(const std::string &name) { name_ = name; }
    int Tag = 0;
    // Called on every component of the owner when `component` is about to be
    // removed from it.
    virtual void Notification(TAlComponent *component);

protected:
    std::string name_;

private:
    TAlReportForm *owner_;
};

struct TAlPen {
    TColor Color = clBlack;
    int Width = 1;
    TPenStyle Style = psSolid;
    TPenMode Mode = pmCopy;
    bool operator==(const TAlPen &) const = default;
};
struct TAlBrush {
    TColor Color = clWhite;
    TBrushStyle Style = bsSolid;
    bool operator==(const TAlBrush &) const = default;
};

class tAlBand;

// What bands and controls share: bounds, visibility, colour, caption, font.
class TAlVisual : public TAlComponent {
public:
    using TAlComponent::TAlComponent;
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool Visible = true;
    bool Enabled = true;
    TColor Color = clBtnFace;
    std::string Caption;
    void SetBounds(int left, int top, int width, int height);
    // The parent's font (the band's, or the form's) while ParentFont is set.
    const TAlFont &Font() const;
    void SetFont(const TAlFont &font);   // also switches ParentFont off
    bool ParentFont = true;
    virtual TAlVisual *ParentVisual() const { return nullptr; }

private:
    TAlFont font_;
};

class tAlControl;

class tAlBand : public TAlVisual {
public:
    explicit tAlBand(TAlReportForm *owner);
    ~tAlBand() override;
    const char *ClassName() const override { return "tAlBand"; }

    tAlBandType BandType() const { return bandType_; }
    void SetAbschnittTyp(tAlBandType type);
    void SetBandType(tAlBandType type) { SetAbschnittTyp(type); }
    bool AltColor = false;
    bool AltToggle = false;
    TAlDetailLink *DetailLink = nullptr;
    tAlRulerType Ruler() const { return ruler_; }
    void SetRulerTyp(tAlRulerType type) { ruler_ = type; }
    tClipMode ClipMode = cm_Clip;
    int Columns() const { return columns_; }
    void SetColumns(int n);
    int ColWidthMM() const { return colWidthMM_; }
    void SetColWidth(int mm);
    bool FirstPageHeaderOnly() const { return firstPageHeaderOnly_; }
    void SetFirstPageHeaderOnly(bool on);
    bool NotFirstPageHeader() const { return notFirstPageHeader_; }
    void SetNotFirstPageHeader(bool on);
    TAlign Align = alTop;

    // The band's controls in child order.
    const std::vector<tAlControl *> &Controls() const { return controls_; }

private:
    friend class tAlControl;
    tAlBandType bandType_ = alr_Title;
    tAlRulerType ruler_ = alr_cmHV;
    int columns_ = 1;
    int colWidthMM_ = 0;
    bool firstPageHeaderOnly_ = false;
    bool notFirstPageHeader_ = false;
    std::vector<tAlControl *> controls_;
};

class tAlControl : public TAlVisual {
public:
    explicit tAlControl(TAlReportForm *owner);
    ~tAlControl() override;

    // The name less its trailing "_" characters.
    const std::string &BaseName() const { return baseName_; }
    // While the owner holds another component of that name, "_" is appended.
    void SetName(const std::string &name) override;
    bool VisibleInPreview = true;

    tAlBand *Parent() const { return parent_; }
    // Makes the control the last child of band (nullptr: no parent).
    void SetParent(tAlBand *band);
    TAlVisual *ParentVisual() const override { return parent_; }

    // Prints the control into rect (device pixels of the printer object's
    // canvas): when Visible, or when invisible but VisibleInPreview and the
    // printer object records a preview.
    virtual void Print(const TRect &rect);
    virtual void PrintOut(const TRect &rect, const std::string &value) = 0;
    // Moves to the next row's value; True when the control has one.
    virtual bool Skip() { return false; }
    virtual std::string GetValue() { return Caption; }

private:
    friend class tAlBand;
    std::string baseName_;
    tAlBand *parent_ = nullptr;
};

class TAlLabel : public tAlControl {
public:
    explicit TAlLabel(TAlReportForm *owner);
    const char *ClassName() const override { return "TAlLabel"; }
    TAlignment Alignment = taLeftJustify;
    bool AutoSize = true;
    bool Transparent = true;
    bool WordWrap = false;

    void PrintOut(const TRect &rect, const std::string &value) override;
    // Draws GetValue() into rect with the given text flags on the printer
    // object's canvas, in the label's font at the device's resolution; with
    // DT_CALCRECT only measures (an empty text is measured as one blank).
    void DoPrintText(TRect &rect, unsigned flags);
    // With AutoSize, the rectangle takes the measured size of the text; a
    // right-justified label keeps its right edge, others their left edge.
    void AdjustPrintRect(TRect &rect);
};

class TAlField : public TAlLabel {
public:
    using TAlLabel::TAlLabel;
    std::vector<std::string> Values;
    const char *ClassName() const override { return "TAlField"; }
    int ValueIndex = 0;

    bool Skip() override;
    std::string GetValue() override;
    // The value the next row would print, without moving.
    std::string GetNextValue();
    virtual void ResetData() { ValueIndex = 0; }
    virtual void ClearData();

private:
    // The field this one stands in for: named like it with "_" behind.
    TAlField *baseField();
};

class TAlSysField : public TAlLabel {
public:
    explicit TAlSysField(TAlReportForm *owner);
    const char *ClassName() const override { return "TAlSysField"; }
    int Counter = 0;
    tAlSysDataType DataType() const { return dataType_; }
    // A different type also sets the caption to its design placeholder.
    void SetSysDataType(tAlSysDataType type);
    // Sets the type without touching the caption (as a stored layout does).
    void LoadDataType(tAlSysDataType type) { dataType_ = type; }

    bool Skip() override;
    std::string GetValue() override;

private:
    tAlSysDataType dataType_ = alr_Time;
};

class TAlShape : public tAlControl {
public:
    explicit TAlShape(TAlReportForm *owner);
    const char *ClassName() const override { return "TAlShape"; }
    TAlPen Pen;
    TAlBrush Brush;
    TShapeType Shape = stRectangle;

    void PrintOut(const TRect &rect, const std::string &value) override;
    // The shape on its own surface over (0, 0, Width, Height) with the pen
    // width as it stands (the design view).
    void Paint(QPainter &painter);
    // Draws the shape into rect; pen widths below 1 count as 1.
    static void DrawShape(QPainter &painter, TShapeType shape, const TAlPen &pen,
                          const TAlBrush &brush, const TRect &rect);
};

// Prints a group header before the first detail row of each group of equal
// DataSource values, and a group footer after the last.
class TAlDetailLink : public TAlComponent {
public:
    using TAlComponent::TAlComponent;
    const char *ClassName() const override { return "TAlDetailLink"; }
    std::string LastValue;
    tAlBand *GroupHeader = nullptr;
    tAlBand *GroupFooter = nullptr;
    TAlField *DataSource = nullptr;
    tAlBand *GroupBand() const { return groupBand_; }
    // Links band (its DetailLink becomes this link); nullptr unlinks.
    void SetDetailBand(tAlBand *band);
    // next False (before a row): True when the value differs from the last
    // row's, or for the first row; remembers the value. next True (after a
    // row): True when the next row's value differs.
    bool CheckChanged(bool next);
    void Notification(TAlComponent *component) override;

private:
    tAlBand *groupBand_ = nullptr;
};

// ---- the report -------------------------------------------------------------------

using tBandList = std::vector<tAlBand *>;

class TAlReport : public TAlComponent {
public:
    explicit TAlReport(TAlReportForm *owner);
    ~TAlReport() override;
    const char *ClassName() const override { return "TAlReport"; }

    // Band lists of a run; empty outside a run.
    tBandList TitleBands, PageHeaderBands, DetailHeaderBands, DetailBands, DetailFooterBands,
        PageFooterBands, ReportFooterBands;
    int CurrentY = 0;
    int PageBottom = 0;
    bool IsFirstPage = true;

    TPrinterOrientation Orientation() const { return orientation_; }
    void SetOrientation(TPrinterOrientation o);
    tPapersize Papersize() const { return papersize_; }
    void SetPapersize(tPapersize p);
    int LeftMarginMM() const { return leftMarginMM_; }
    int RightMarginMM() const { return rightMarginMM_; }
    // Accepted when 0 <= mm < the paper's portrait width; ignored otherwise.
    void SetLeftMargin(int mm);
    void SetRightMargin(int mm);
    int GetPaperWidth() const;
    std::string ReportTitle;

    // ---- named values
    void AddNamedValue(const std::string &name, const std::string &value);
    void ClearData();
    void ResetData();
    void SetBandEnable(const std::string &name, bool enable);
    void SetLog(tLogProc proc) { log_ = std::move(proc); }
    static void SetDebugMode(bool on) { Alrep::DebugMode = on; }
    static bool GetDebugMode() { return Alrep::DebugMode; }
    static void SetCaptionMode(bool on) { Alrep::CaptionMode = on; }
    static bool GetCaptionMode() { return Alrep::CaptionMode; }

    // ---- design
    void UpdateScrollBars();
    void UpdateBands();

    // ---- runs
    // Prints straight onto the printer. On any error the print job is
    // cancelled and closed before the error reaches the caller.
    void Print();
    // Records one picture per page into pages (owned by the caller; the pages
    // it held are freed first). On any error the pages recorded so far are
    // freed before the error reaches the caller.
    void Preview(tPages &pages);

    // Steps of a run, public for the group links and the tests.
    int RealHeight(int v) const;
    int RealWidth(int v) const;
    int LeftMargPix() const;
    int RightMargPix() const;
    int MMToPix(int mm) const;

private:
    void DoTheJob();
    void PrintBand(tAlBand *band);
    void PrintBandNC(tAlBand *band, int offsetMM);
    bool SkipBand(tAlBand *band);
    void PrintDtlHeader(int group);
    void PrintDtlFooter(int group);
    // Prints the bands of the list whose Tag is group (none for group 0).
    void printGroup(const tBandList &bands, int group);
    void NewPage();
    void FinishPage();
    void clearLists();
    void rewindRunState();
    // The part of a run after the document was begun, up to its end.
    void runDocument();

    TPrinterOrientation orientation_ = poPortrait;
    tPapersize papersize_ = alr_A4;
    int leftMarginMM_ = 0;
    int rightMarginMM_ = 0;
    tLogProc log_;
    bool pageFinished_ = false;
    std::vector<tAlBand *> active_;   // bands being printed (re-entry guard)
};

// ---- the report form -------------------------------------------------------------

// Owner of a report's components, in component order. Never shown.
class TAlReportForm {
public:
    TAlReportForm();
    virtual ~TAlReportForm();
    TAlReportForm(const TAlReportForm &) = delete;
    TAlReportForm &operator=(const TAlReportForm &) = delete;

    std::string Name;
    // The form's font, inherited by bands and controls with ParentFont.
    TAlFont Font;
    // True while the form is shown in a designer (design-time behaviour).
    bool Designing = false;
    int HorzScrollRange = 0, VertScrollRange = 0;
    int HorzScrollPosition = 0, VertScrollPosition = 0;

    // Creates a component of class T owned by the form, names it and, for a
    // control, puts it on band parent.
    template <class T>
    T *Add(const std::string &name = {}, tAlBand *parent = nullptr)
    {
        auto owned = std::make_unique<T>(this);
        T *c = owned.get();
        components_.push_back(std::move(owned));
        if (!name.empty())
            c->SetName(name);
        if constexpr (std::is_base_of_v<tAlControl, T>) {
            if (parent)
                c->SetParent(parent);
        }
        return c;
    }
    // Removes and frees a component; every other component is told first.
    void Remove(TAlComponent *component);

    int ComponentCount() const { return int(components_.size()); }
    TAlComponent *Components(int i) const { return components_[size_t(i)].get(); }
    // The component of that name (case-insensitive), or nullptr.
    TAlComponent *FindComponent(const std::string &name) const;
    // Calls f for every component of class T (or derived) in component order.
    template <class T, class F>
    void ForEach(F f) const
    {
        for (const auto &c : components_)
            if (auto *t = dynamic_cast<T *>(c.get()))
                f(t);
    }

private:
    std::vector<std::unique_ptr<TAlComponent>> components_;
};

// The first report component of the form (in component order), or nullptr.
TAlReport *FindReportComponent(const TAlReportForm &form);
