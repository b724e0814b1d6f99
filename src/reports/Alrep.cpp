#include "reports/Alrep.h"
#include "platform/Cp1252.h"
#include "platform/Rtl.h"

#include <QLocale>
#include <QPainter>
#include <algorithm>
#include <typeinfo>

// ---- unit-wide state ------------------------------------------------------------

namespace Alrep {
bool DebugMode = false;
bool CaptionMode = false;
std::string NoValue = "~";
const std::array<TColor, 10> AlBandColors = {
    0xFFFF80, 0x8080FF, 0x80FFFF, 0xFFFFFF, 0x80FFFF, 0x8080FF, 0xFFFF80, 0x000000, 0x80FF80, 0x80FF80,
};
std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

const char *BandTypeName(tAlBandType type)
{
    static const char *const names[] = {"Title", "PageHeader", "DetailHeader", "Detail", "DetailFooter",
                                        "PageFooter", "ReportFooter", "New Page", "GroupHeader",
                                        "GroupFooter"};
    return unsigned(type) < 10 ? names[type] : "";
}

int PaperWidthMM(tPapersize size)
{
    switch (size) {
    case alr_A4: return 210;
    case alr_A5: return 148;
    case alr_Legal: return 215;
    case alr_Letter: return 215;
    }
    return 210;
}

int PaperHeightMM(tPapersize size)
{
    switch (size) {
    case alr_A4: return 297;
    case alr_A5: return 210;
    case alr_Legal: return 355;
    case alr_Letter: return 279;
    }
    return 297;
}
} // namespace Alrep

namespace {

std::string upper(const std::string &s)
{
    return Rtl::AnsiUpperCase(s);
}

// The system's long time format without time-zone names, as the original
// platform's long time format has none.
QString longTimeFormat(const QLocale &locale)
{
    const QString f = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (QChar c : f) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace

// ---- components -----------------------------------------------------------------

TAlComponent::~TAlComponent() = default;

void TAlComponent::Notification(TAlComponent *) {}

void TAlVisual::SetBounds(int left, int top, int width, int height)
{
    Left = left;
    Top = top;
    Width = width;
    Height = height;
}

const TAlFont &TAlVisual::Font() const
{
    if (ParentFont) {
        if (const TAlVisual *p = ParentVisual())
            return p->Font();
        if (Owner())
            return Owner()->Font;
    }
    return font_;
}

void TAlVisual::SetFont(const TAlFont &font)
{
    font_ = font;
    ParentFont = false;
}

tAlBand::tAlBand(TAlReportForm *owner) : TAlVisual(owner)
{
    Color = clWhite;
    Align = alTop;
}

tAlBand::~tAlBand()
{
    for (tAlControl *c : controls_)
        c->parent_ = nullptr;
}

void tAlBand::SetAbschnittTyp(tAlBandType type)
{
    if (type == bandType_)
        return;
    bandType_ = type;
    if (type != alr_Detail) {
        columns_ = 1;
        colWidthMM_ = 0;
        Color = Alrep::AlBandColors[type];
    }
}

void tAlBand::SetColumns(int n)
{
    if (n == columns_ || n < 1)
        return;
    columns_ = n;
    colWidthMM_ = 0;
}

void tAlBand::SetColWidth(int mm)
{
    if (mm == colWidthMM_ || mm < 1)
        return;
    colWidthMM_ = mm;
}

void tAlBand::SetFirstPageHeaderOnly(bool on)
{
    firstPageHeaderOnly_ = on;
    if (on)
        notFirstPageHeader_ = false;
}

void tAlBand::SetNotFirstPageHeader(bool on)
{
    notFirstPageHeader_ = on;
    if (on)
        firstPageHeaderOnly_ = false;
}

tAlControl::tAlControl(TAlReportForm *owner) : TAlVisual(owner) {}

tAlControl::~tAlControl()
{
    SetParent(nullptr);
}

void tAlControl::SetName(const std::string &name)
{
    std::string n = name;
    if (Owner() && !n.empty()) {
        for (;;) {
            TAlComponent *other = Owner()->FindComponent(n);
            if (!other || other == this)
                break;
            n += '_';
        }
    }
    name_ = n;
    size_t end = n.size();
    while (end > 0 && n[end - 1] == '_')
        --end;
    baseName_ = n.substr(0, end);
}

void tAlControl::SetParent(tAlBand *band)
{
    if (band == parent_)
        return;
    if (parent_) {
        auto &v = parent_->controls_;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    parent_ = band;
    if (band)
        band->controls_.push_back(this);
}

void tAlControl::Print(const TRect &rect)
{
    if (Visible || (AlPrinter().PreviewMode && VisibleInPreview))
        PrintOut(rect, GetValue());
}

TAlLabel::TAlLabel(TAlReportForm *owner) : tAlControl(owner)
{
    AutoSize = true;
    Transparent = true;
}

void TAlLabel::PrintOut(const TRect &rect, const std::string &)
{
    if (!Transparent)
        AlPrinter().GetCanvas().fillRect(rect.ToQRect(), ColorToQColor(Color));
    unsigned flags = DT_EXPANDTABS;
    if (WordWrap)
        flags |= DT_WORDBREAK;
    if (Alignment == taRightJustify)
        flags |= DT_RIGHT;
    else if (Alignment == taCenter)
        flags |= DT_CENTER;
    TRect r = rect;
    DoPrintText(r, flags);
}

void TAlLabel::DoPrintText(TRect &rect, unsigned flags)
{
    std::string text = GetValue();
    if ((flags & DT_CALCRECT) && text.empty())
        text = " ";
    flags |= DT_NOPREFIX;
    // The canvas is taken also for measuring: the first text of a preview
    // page thereby starts the page, so page numbers count it.
    TAlPrinter &printer = AlPrinter();
    QPainter &canvas = printer.GetCanvas();
    const QFont font = AlDeviceFont(Font(), printer.DpiY);
    AlDrawText((flags & DT_CALCRECT) ? nullptr : &canvas, text, rect, flags, font, Font().Color);
}

void TAlLabel::AdjustPrintRect(TRect &rect)
{
    if (!AutoSize)
        return;
    TRect m(0, 0, rect.Width(), rect.Height());
    unsigned flags = DT_CALCRECT | DT_EXPANDTABS;
    if (WordWrap)
        flags |= DT_WORDBREAK;
    DoPrintText(m, flags);
    int left = rect.Left;
    if (Alignment == taRightJustify)
        left += rect.Width() - m.Width();
    rect = TRect(left, rect.Top, left + m.Width(), rect.Top + m.Height());
}

void TAlField::ClearData()
{
    Values.clear();
    ValueIndex = 0;
}

bool TAlField::Skip()
{
    const int count = int(Values.size());
    if (count < 2)
        return false;
    if (ValueIndex < count)
        ++ValueIndex;
    return ValueIndex < count;
}

TAlField *TAlField::baseField()
{
    if (Name().empty() || Name().back() != '_' || !Owner())
        return nullptr;
    auto *f = dynamic_cast<TAlField *>(Owner()->FindComponent(BaseName()));
    return f == this ? nullptr : f;
}

std::string TAlField::GetValue()
{
    const int count = int(Values.size());
    if (count > 0) {
        if (ValueIndex >= 0 && ValueIndex < count)
            return Values[size_t(ValueIndex)];
        if (count == 1)
            return Values[0];
        return Alrep::NoValue;
    }
    if (Alrep::CaptionMode)
        return Caption;
    if (Alrep::DebugMode)
        return "[" + upper(Name()) + "]";
    if (TAlField *base = baseField())
        return base->GetValue();
    return Alrep::NoValue;
}

std::string TAlField::GetNextValue()
{
    const int count = int(Values.size());
    if (count > 0) {
        if (ValueIndex + 1 >= 0 && ValueIndex + 1 < count)
            return Values[size_t(ValueIndex + 1)];
        if (count == 1)
            return Values[0];
        return Alrep::NoValue;
    }
    if (TAlField *base = baseField())
        return base->GetNextValue();
    return Caption;
}

TAlSysField::TAlSysField(TAlReportForm *owner) : TAlLabel(owner)
{
    AutoSize = true;
    Color = clWhite;
    Transparent = true;
}

void TAlSysField::SetSysDataType(tAlSysDataType type)
{
    if (type == dataType_)
        return;
    dataType_ = type;
    static const char *const placeholders[] = {"#hh:mm:ss#", "#tt.mm.jjjj#", "#tt.mm.jjjj hh:mm:ss#",
                                               "#Page", "#Counter", "#Count", "#Formname#"};
    Caption = placeholders[type];
}

bool TAlSysField::Skip()
{
    ++Counter;
    return false;
}

std::string TAlSysField::GetValue()
{
    const QLocale locale = QLocale::system();
    const QDateTime now = Alrep::Now();
    switch (dataType_) {
    case alr_Time:
        return ToAnsi(locale.toString(now.time(), longTimeFormat(locale)));
    case alr_Date:
        return ToAnsi(locale.toString(now.date(), QLocale::ShortFormat));
    case alr_DateTime:
        return ToAnsi(locale.toString(now.date(), QLocale::ShortFormat) + u' ' +
                      locale.toString(now.time(), longTimeFormat(locale)));
    case alr_PageNum:
        return Rtl::IntToStr(AlPrinter().GetPageNumber());
    case alr_Counter:
        return Rtl::IntToStr(Counter + 1);
    case alr_Count:
        return "E";
    case alr_Formname:
        return Caption;
    }
    return Caption;
}

TAlShape::TAlShape(TAlReportForm *owner) : tAlControl(owner)
{
    Width = 65;
    Height = 65;
}

namespace {

Qt::PenStyle qtPenStyle(TPenStyle s)
{
    switch (s) {
    case psSolid: return Qt::SolidLine;
    case psDash: return Qt::DashLine;
    case psDot: return Qt::DotLine;
    case psDashDot: return Qt::DashDotLine;
    case psDashDotDot: return Qt::DashDotDotLine;
    case psClear: return Qt::NoPen;
    }
    return Qt::SolidLine;
}

Qt::BrushStyle qtBrushStyle(TBrushStyle s)
{
    switch (s) {
    case bsSolid: return Qt::SolidPattern;
    case bsClear: return Qt::NoBrush;
    case bsHorizontal: return Qt::HorPattern;
    case bsVertical: return Qt::VerPattern;
    case bsFDiagonal: return Qt::FDiagPattern;
    case bsBDiagonal: return Qt::BDiagPattern;
    case bsCross: return Qt::CrossPattern;
    case bsDiagCross: return Qt::DiagCrossPattern;
    }
    return Qt::SolidPattern;
}

// The colour a pen mode leaves for a drawing colour, or nothing when the mode
// leaves the page as it is. Pages are vector recordings, so the mix modes
// are reduced to what they give on white paper; the masking and merging
// modes keep their neutral colour (white for a mask, black for a merge) off
// the page, which is what frames drawn in mask mode rely on.
bool mixColour(TPenMode mode, TColor in, TColor &out)
{
    const TColor rgb = ColorToRGB(in) & 0xFFFFFF;
    switch (mode) {
    case pmNop: return false;
    case pmBlack: out = clBlack; return true;
    case pmWhite: out = clWhite; return true;
    case pmNot: out = clBlack; return true;          // not white
    case pmNotCopy: out = ~rgb & 0xFFFFFF; return true;
    case pmMask:
    case pmMaskPenNot:
        if (rgb == clWhite) return false;
        out = rgb; return true;
    case pmMerge:
    case pmMergePenNot:
        if (rgb == clBlack) return false;
        out = rgb; return true;
    case pmXor: out = ~rgb & 0xFFFFFF; return true;  // on white
    case pmNotXor: out = rgb; return true;
    default: out = rgb; return true;
    }
}

} // namespace

void TAlShape::DrawShape(QPainter &painter, TShapeType shape, const TAlPen &pen, const TAlBrush &brush,
                         const TRect &rect)
{
    int x = rect.Left, y = rect.Top, w = rect.Width(), h = rect.Height();
    const int s = std::min(w, h);
    if (shape == stSquare || shape == stRoundSquare || shape == stCircle) {
        x += (w - s) / 2;
        y += (h - s) / 2;
        w = h = s;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    const int penWidth = std::max(1, pen.Width);
    TColor penColour = 0, brushColour = 0;
    if (pen.Style != psClear && mixColour(pen.Mode, pen.Color, penColour)) {
        QPen p(ColorToQColor(penColour), penWidth, qtPenStyle(pen.Style), Qt::SquareCap, Qt::MiterJoin);
        painter.setPen(p);
    } else {
        painter.setPen(Qt::NoPen);
    }
    if (brush.Style != bsClear && mixColour(pen.Mode, brush.Color, brushColour))
        painter.setBrush(QBrush(ColorToQColor(brushColour), qtBrushStyle(brush.Style)));
    else
        painter.setBrush(Qt::NoBrush);
    painter.setBackgroundMode(Qt::TransparentMode);
    // The outline runs through the middle of the edge pixels, inside the
    // rectangle's exclusive right and bottom edges.
    const QRectF box(x + 0.5, y + 0.5, std::max(0, w - 1), std::max(0, h - 1));
    switch (shape) {
    case stRectangle:
    case stSquare:
        if (w > 1 && h > 1)
            painter.drawRect(box);
        else if (w > 1)
            painter.drawLine(QPointF(x + 0.5, y + 0.5), QPointF(x + w - 0.5, y + 0.5));
        else
            painter.drawLine(QPointF(x + 0.5, y + 0.5), QPointF(x + 0.5, y + h - 0.5));
        break;
    case stRoundRect:
    case stRoundSquare:
        painter.drawRoundedRect(box, (s / 4) / 2.0, (s / 4) / 2.0);
        break;
    case stEllipse:
    case stCircle:
        painter.drawEllipse(box);
        break;
    }
    painter.restore();
}

void TAlShape::PrintOut(const TRect &rect, const std::string &)
{
    DrawShape(AlPrinter().GetCanvas(), Shape, Pen, Brush, rect);
}

void TAlShape::Paint(QPainter &painter)
{
    DrawShape(painter, Shape, Pen, Brush, TRect(0, 0, Width, Height));
}

// ---- detail links ----------------------------------------------------------------

void TAlDetailLink::SetDetailBand(tAlBand *band)
{
    if (groupBand_ && groupBand_->DetailLink == this)
        groupBand_->DetailLink = nullptr;
    groupBand_ = band;
    if (band)
        band->DetailLink = this;
}

bool TAlDetailLink::CheckChanged(bool next)
{
    if (!DataSource)
        return false;
    if (!next) {
        const std::string v = DataSource->GetValue();
        const bool changed = LastValue.empty() || v != LastValue;
        LastValue = v;
        return changed;
    }
    if (LastValue.empty())
        return false;
    return DataSource->GetNextValue() != LastValue;
}

void TAlDetailLink::Notification(TAlComponent *component)
{
    if (component == groupBand_)
        groupBand_ = nullptr;
    if (component == GroupFooter)
        GroupFooter = nullptr;
    if (component == GroupHeader)
        GroupHeader = nullptr;
    if (component == DataSource)
        DataSource = nullptr;
}

// ---- the report form ---------------------------------------------------------------

TAlReportForm::TAlReportForm() = default;

TAlReportForm::~TAlReportForm()
{
    // Controls first, so that no band outlives a child pointing at it.
    for (auto &c : components_)
        if (auto *ctl = dynamic_cast<tAlControl *>(c.get()))
            ctl->SetParent(nullptr);
    components_.clear();
}

void TAlReportForm::Remove(TAlComponent *component)
{
    auto it = std::find_if(components_.begin(), components_.end(),
                           [&](const auto &c) { return c.get() == component; });
    if (it == components_.end())
        return;
    for (auto &c : components_)
        if (c.get() != component)
            c->Notification(component);
    if (auto *band = dynamic_cast<tAlBand *>(component)) {
        const std::vector<tAlControl *> children = band->Controls();
        for (tAlControl *ctl : children)
            ctl->SetParent(nullptr);
    }
    ForEach<tAlBand>([&](tAlBand *b) {
        if (b->DetailLink == component)
            b->DetailLink = nullptr;
    });
    std::unique_ptr<TAlComponent> owned = std::move(*it);
    components_.erase(it);
}

TAlComponent *TAlReportForm::FindComponent(const std::string &name) const
{
    if (name.empty())
        return nullptr;
    for (const auto &c : components_)
        if (Rtl::AnsiCompareText(c->Name(), name) == 0)
            return c.get();
    return nullptr;
}

TAlReport *FindReportComponent(const TAlReportForm &form)
{
    for (int i = 0; i < form.ComponentCount(); ++i)
        if (auto *r = dynamic_cast<TAlReport *>(form.Components(i)))
            return r;
    return nullptr;
}

// ---- the report: named values and settings ---------------------------------------------

TAlReport::TAlReport(TAlReportForm *owner) : TAlComponent(owner)
{
    Alrep::DebugMode = false;
    Alrep::CaptionMode = false;
    if (owner) {
        if (owner->Designing) {
            UpdateScrollBars();
        } else {
            owner->HorzScrollPosition = 0;
            owner->VertScrollPosition = 0;
        }
    }
}

TAlReport::~TAlReport() = default;

void TAlReport::AddNamedValue(const std::string &name, const std::string &value)
{
    if (log_)
        log_("AddNamedValue(" + name + ") = " + value);
    const std::string key = upper(name);
    TAlField *target = nullptr;
    if (Owner()) {
        for (int i = 0; i < Owner()->ComponentCount() && !target; ++i) {
            auto *f = dynamic_cast<TAlField *>(Owner()->Components(i));
            if (f && upper(f->Name()) == key)
                target = f;
        }
    }
    if (target)
        target->Values.push_back(value);
    else if (log_)
        log_("AlField " + name + " = not found for value: " + value);
}

void TAlReport::ClearData()
{
    if (Owner())
        Owner()->ForEach<TAlField>([](TAlField *f) { f->ClearData(); });
}

void TAlReport::ResetData()
{
    if (Owner())
        Owner()->ForEach<TAlField>([](TAlField *f) { f->ResetData(); });
}

void TAlReport::SetBandEnable(const std::string &name, bool enable)
{
    if (!Owner())
        return;
    for (int i = 0; i < Owner()->ComponentCount(); ++i) {
        auto *b = dynamic_cast<tAlBand *>(Owner()->Components(i));
        if (b && Rtl::AnsiCompareText(b->Name(), name) == 0) {
            b->Enabled = enable;
            return;
        }
    }
}

void TAlReport::SetOrientation(TPrinterOrientation o)
{
    if (o == orientation_)
        return;
    orientation_ = o;
    AlPrinter().SetOrientation(o);
    if (Owner() && Owner()->Designing) {
        UpdateScrollBars();
        UpdateBands();
    }
}

void TAlReport::SetPapersize(tPapersize p)
{
    if (p == papersize_)
        return;
    papersize_ = p;
    AlPrinter().PaperSize = p;
    if (Owner() && Owner()->Designing) {
        UpdateScrollBars();
        UpdateBands();
    }
}

void TAlReport::SetLeftMargin(int mm)
{
    if (mm < 0 || mm >= Alrep::PaperWidthMM(papersize_))
        return;
    leftMarginMM_ = mm;
    UpdateBands();
}

void TAlReport::SetRightMargin(int mm)
{
    if (mm < 0 || mm >= Alrep::PaperWidthMM(papersize_))
        return;
    rightMarginMM_ = mm;
    UpdateBands();
}

int TAlReport::GetPaperWidth() const
{
    return orientation_ == poPortrait ? Alrep::PaperWidthMM(papersize_) : Alrep::PaperHeightMM(papersize_);
}

void TAlReport::UpdateScrollBars()
{
    if (!Owner())
        return;
    const int ppi = AlPrinter().ScreenPixelsPerInch;
    const int w = AlRound((long double)Alrep::PaperWidthMM(papersize_) * ppi / 25.4L);
    const int h = AlRound((long double)Alrep::PaperHeightMM(papersize_) * ppi / 25.4L);
    Owner()->HorzScrollRange = orientation_ == poPortrait ? w : h;
    Owner()->VertScrollRange = orientation_ == poPortrait ? h : w;
}

void TAlReport::UpdateBands()
{
    if (!Owner())
        return;
    int sum = 0;
    for (int i = 0; i < Owner()->ComponentCount(); ++i) {
        TAlComponent *c = Owner()->Components(i);
        if (typeid(*c) == typeid(tAlBand))
            sum += static_cast<tAlBand *>(c)->Height;
    }
    Owner()->VertScrollRange = sum + 100;
}

// ---- the report: layout ------------------------------------------------------------------

int TAlReport::RealHeight(int v) const
{
    const TAlPrinter &p = AlPrinter();
    return AlRound((long double)((long long)p.DpiY * v) / p.ScreenPixelsPerInch + 0.5L);
}

int TAlReport::RealWidth(int v) const
{
    const TAlPrinter &p = AlPrinter();
    return AlRound((long double)((long long)p.DpiX * v) / p.ScreenPixelsPerInch + 0.5L);
}

int TAlReport::MMToPix(int mm) const
{
    return AlRound((long double)((long long)AlPrinter().DpiX * mm) / 25.4L + 0.5L);
}

int TAlReport::LeftMargPix() const
{
    return MMToPix(leftMarginMM_) - AlPrinter().OffsetX;
}

int TAlReport::RightMargPix() const
{
    return MMToPix(rightMarginMM_);
}

void TAlReport::clearLists()
{
    for (tBandList *l : {&TitleBands, &PageHeaderBands, &DetailHeaderBands, &DetailBands, &DetailFooterBands,
                         &PageFooterBands, &ReportFooterBands})
        l->clear();
    active_.clear();
}

void TAlReport::rewindRunState()
{
    // Every run looks the same: alternating colours, counters and groups
    // start afresh.
    if (!Owner())
        return;
    Owner()->ForEach<tAlBand>([](tAlBand *b) { b->AltToggle = false; });
    Owner()->ForEach<TAlSysField>([](TAlSysField *f) { f->Counter = 0; });
    Owner()->ForEach<TAlDetailLink>([](TAlDetailLink *l) { l->LastValue.clear(); });
}

void TAlReport::runDocument()
{
    ResetData();
    rewindRunState();
    DoTheJob();
    AlPrinter().EndDoc();
}

void TAlReport::Print()
{
    TAlPrinter &p = AlPrinter();
    p.PreviewMode = false;
    p.SetOrientation(orientation_);
    p.SetTitle(ReportTitle);
    p.BeginDoc();
    try {
        p.CalcMeasurements();
        runDocument();
    } catch (...) {
        clearLists();
        p.AbortDoc();
        throw;
    }
}

void TAlReport::Preview(tPages &pages)
{
    TAlPrinter &p = AlPrinter();
    p.PreviewMode = true;
    try {
        p.SetOrientation(orientation_);
        p.CalcMeasurements();
        p.SetPages(&pages);
        p.BeginDoc();
        runDocument();
    } catch (...) {
        clearLists();
        if (p.Pages() == &pages)
            p.AbortDoc();
        else
            pages.Clear();
        throw;
    }
}

void TAlReport::DoTheJob()
{
    struct ListGuard {
        TAlReport *r;
        ~ListGuard() { r->clearLists(); }
    } guard{this};
    clearLists();

    // 1. The bands of exact class tAlBand, by Top; equal Tops keep their order.
    tBandList sorted;
    if (Owner()) {
        for (int i = 0; i < Owner()->ComponentCount(); ++i) {
            TAlComponent *c = Owner()->Components(i);
            if (typeid(*c) != typeid(tAlBand))
                continue;
            auto *b = static_cast<tAlBand *>(c);
            auto pos = std::find_if(sorted.begin(), sorted.end(), [&](tAlBand *o) { return o->Top > b->Top; });
            sorted.insert(pos, b);
        }
    }
    // 2. Group them by role, numbering the detail groups.
    int g = 0;
    bool hasPrevious = false;
    tAlBandType previous = alr_Title;
    for (size_t i = 0; i < sorted.size(); ++i) {
        tAlBand *b = sorted[i];
        switch (b->BandType()) {
        case alr_Title: TitleBands.push_back(b); break;
        case alr_PageHeader: PageHeaderBands.push_back(b); break;
        case alr_PageFooter: PageFooterBands.push_back(b); break;
        case alr_ReportFooter: ReportFooterBands.push_back(b); break;
        case alr_DetailHeader:
            g = int(i) + 1;
            b->Tag = g;
            DetailHeaderBands.push_back(b);
            break;
        case alr_Detail:
            if (!(hasPrevious && previous == alr_DetailHeader))
                g = int(i) + 1;
            b->Tag = g;
            DetailBands.push_back(b);
            break;
        case alr_DetailFooter:
            if (hasPrevious && previous == alr_Detail)
                b->Tag = g;
            DetailFooterBands.push_back(b);
            break;
        case alr_NewPage: DetailBands.push_back(b); break;
        case alr_GroupHeader:
        case alr_GroupFooter: break;
        }
        previous = b->BandType();
        hasPrevious = true;
    }
    // 3., 4.
    TAlPrinter &p = AlPrinter();
    int footers = 0;
    for (tAlBand *b : PageFooterBands)
        footers += RealHeight(b->Height);
    PageBottom = p.PageHeight - 1 - footers;
    CurrentY = p.PageHeight + 10;
    IsFirstPage = true;
    pageFinished_ = false;
    // 5. - 7.
    for (tAlBand *b : TitleBands)
        if (b->Enabled)
            PrintBand(b);
    for (tAlBand *b : DetailBands) {
        if (!b->Enabled)
            continue;
        PrintDtlHeader(b->Tag);
        PrintBand(b);
        PrintDtlFooter(b->Tag);
    }
    for (tAlBand *b : ReportFooterBands)
        if (b->Enabled)
            PrintBand(b);
    // 8.
    FinishPage();
}

void TAlReport::printGroup(const tBandList &bands, int group)
{
    if (group == 0)
        return;
    for (tAlBand *b : bands)
        if (b->Tag == group)
            PrintBand(b);
}

void TAlReport::PrintDtlHeader(int group)
{
    printGroup(DetailHeaderBands, group);
}

void TAlReport::PrintDtlFooter(int group)
{
    printGroup(DetailFooterBands, group);
}

void TAlReport::PrintBand(tAlBand *band)
{
    if (!band)
        return;
    if (band->BandType() == alr_NewPage) {
        FinishPage();
        return;
    }
    // A band that is being printed is not printed again from inside itself
    // (a group link naming its own detail band, or links in a circle).
    if (std::find(active_.begin(), active_.end(), band) != active_.end())
        return;
    active_.push_back(band);
    struct Pop {
        std::vector<tAlBand *> &v;
        ~Pop() { v.pop_back(); }
    } pop{active_};

    const bool detail = band->BandType() == alr_Detail;
    TAlDetailLink *link = band->DetailLink;
    bool more = false;
    do {
        // One test per row, with the design height: a band taller than the
        // page starts a new page and is printed anyway, past the bottom.
        const int h = RealHeight(band->Height);
        if ((long long)h + CurrentY > PageBottom) {
            FinishPage();
            NewPage();
            if (detail) {
                PrintDtlHeader(band->Tag);
                if (link) {
                    link->CheckChanged(false);
                    PrintBand(link->GroupHeader);
                }
            }
        }
        int column = 1;
        int offsetMM = 0;
        const int rowTop = CurrentY;
        do {
            if (link && link->CheckChanged(false) && link->GroupHeader) {
                PrintBand(link->GroupHeader);
                column = 1;
                offsetMM = 0;
            }
            PrintBandNC(band, offsetMM);
            if (link && link->CheckChanged(true) && link->GroupFooter) {
                PrintBand(link->GroupFooter);
                column = 1;
                offsetMM = 0;
            }
            more = detail ? SkipBand(band) : false;
            if (detail && !more)
                return;
            ++column;
            if (column <= band->Columns()) {
                offsetMM = (column - 1) * band->ColWidthMM();
                CurrentY = rowTop;
                more = true;
            }
        } while (more && column <= band->Columns());
    } while (more);
}

bool TAlReport::SkipBand(tAlBand *band)
{
    bool any = false;
    for (tAlControl *c : band->Controls())
        any = c->Skip() || any;
    return any;
}

void TAlReport::PrintBandNC(tAlBand *band, int offsetMM)
{
    TAlPrinter &p = AlPrinter();
    TRect br(LeftMargPix() + MMToPix(offsetMM), CurrentY,
             p.PageWidth - p.OffsetX + p.UnprintableRight - RightMargPix(),
             CurrentY + RealHeight(band->Height) - 1);
    if (band->AltColor) {
        if (band->AltToggle)
            p.GetCanvas().fillRect(br.ToQRect(), ColorToQColor(band->Color));
        band->AltToggle = !band->AltToggle;
    }
    for (tAlControl *c : band->Controls()) {
        TRect r(RealWidth(c->Left), RealHeight(c->Top), RealWidth(c->Left + c->Width),
                RealHeight(c->Top + c->Height));
        if (auto *label = dynamic_cast<TAlLabel *>(c))
            label->AdjustPrintRect(r);
        r = TRect(r.Left + br.Left, r.Top + br.Top, r.Right + br.Left, r.Bottom + br.Top);
        switch (band->ClipMode) {
        case cm_Clip: {
            const TRect i(std::max(r.Left, br.Left), std::max(r.Top, br.Top), std::min(r.Right, br.Right),
                          std::min(r.Bottom, br.Bottom));
            if (!i.IsEmpty())
                c->Print(i);
            break;
        }
        case cm_Expand: {
            TRect u = br;
            if (br.IsEmpty())
                u = r;
            else if (!r.IsEmpty())
                u = TRect(std::min(r.Left, br.Left), std::min(r.Top, br.Top), std::max(r.Right, br.Right),
                          std::max(r.Bottom, br.Bottom));
            if (!u.IsEmpty()) {
                br = u;
                c->Print(r);
            }
            break;
        }
        case cm_Overwrite:
            c->Print(r);
            break;
        }
    }
    CurrentY = br.Bottom + 1;
}

void TAlReport::NewPage()
{
    const bool first = IsFirstPage;
    if (!first)
        AlPrinter().NewPage();
    IsFirstPage = false;
    pageFinished_ = false;
    CurrentY = -AlPrinter().OffsetY;
    for (tAlBand *b : PageHeaderBands) {
        const bool print = b->NotFirstPageHeader() ? !first : (b->FirstPageHeaderOnly() ? first : true);
        if (print)
            PrintBandNC(b, 0);
    }
}

void TAlReport::FinishPage()
{
    CurrentY = PageBottom;
    // A page ended by a new-page band is not given its footers twice.
    if (pageFinished_)
        return;
    pageFinished_ = true;
    for (tAlBand *b : PageFooterBands)
        PrintBandNC(b, 0);
}
