#include "controls/EnhListPrint.h"

#include "controls/EnhListDraw.h"
#include "controls/EnhListV.h"
#include "controls/HTMLPaint.h"
#include "controls/RtfText.h"
#include "controls/ProCtrls.h"   // FormatDateTime
#include "platform/Cp1252.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <algorithm>
#include <climits>
#include <cmath>

namespace ListPrint {

int Round(double v)
{
    if (!(v == v)) return 0;
    // nearbyint rounds halves to the even neighbour in the default mode.
    return int(std::clamp(std::nearbyint(v), double(INT_MIN), double(INT_MAX)));
}

int MapFontHeight(int Size) { return Round(Size * 254.0 / 72.0); }

int MapFontSize(int Height) { return Round(Height * 72.0 / 254.0); }

int PointSize(const TFontDesc &font) { return font.Height > 0 ? Round(font.Height * 72.0 / 96.0) : font.Size; }

PageTexts HeaderFooterTexts(const TPrintsettings &ps, int pageNumber, Rtl::TDateTime now)
{
    PageTexts t;
    auto add = [&t](TPrintPosition pos, const std::string &item) {
        if (pos == ppNone || pos > ppBottomCenter) return;
        std::string &s = t[pos];
        s = (pos == ppTopLeft || pos == ppBottomLeft) ? item + " " + s : s + " " + item;
    };
    add(ps.Time, FormatDateTime("hh:nn", now));
    add(ps.Date, FormatDateTime(ps.DateFormat, now));
    add(ps.PageNr, ps.PagePrefix + " " + Rtl::IntToStr(pageNumber) + " " + ps.PageSuffix);
    add(ps.Title, ps.TitleText);
    return t;
}

double FitFactor(TFitToPage mode, long long available, long long totalWidth)
{
    if (mode == fpNever || totalWidth <= 0) return 1.0;
    double f = std::max(0.0, double(available) / double(totalWidth));
    if (mode == fpShrink && f > 1.0) f = 1.0;
    if (mode == fpGrow && f < 1.0) f = 1.0;
    return f;
}

std::vector<std::pair<int, int>> Strips(const std::vector<int> &widths, int spacing, int limit)
{
    std::vector<std::pair<int, int>> strips;
    const int n = int(widths.size());
    for (int a = 0; a < n;) {
        long long sum = 0;
        int b = a;
        while (b < n && b - a < MaxStripColumns) {
            const long long next = sum + widths[size_t(b)] + spacing;
            if (b > a && next > limit) break;
            sum = next;
            ++b;
        }
        strips.emplace_back(a, b - 1);
        a = b;
    }
    return strips;
}

void StripOffsets(const std::vector<int> &widths, int a, int b, int spacing, int left, bool centered,
                  int pageWidth, std::vector<int> &offsets)
{
    auto clampInt = [](long long v) { return int(std::clamp(v, (long long)INT_MIN, (long long)INT_MAX)); };
    long long x = centered ? 0 : left;
    offsets[size_t(a)] = clampInt(x);
    for (int c = a; c <= b; ++c) {
        x += (long long)widths[size_t(c)] + spacing;
        offsets[size_t(c) + 1] = clampInt(x);
    }
    const long long stripWidth = x - (centered ? 0 : left);
    if (centered && stripWidth < pageWidth) {
        const long long shift = (pageWidth - stripWidth) / 2;
        for (int c = a; c <= b + 1; ++c) offsets[size_t(c)] = clampInt(offsets[size_t(c)] + shift);
    }
}

} // namespace ListPrint

QPrinter &ListPrinter()
{
    // Kept to the end of the process: a printer must not outlive the
    // application object in a static destructor.
    static QPrinter *printer = new QPrinter(QPrinter::HighResolution);
    return *printer;
}

using ListPrint::Round;

// One print run or preview of a list.
class TListPrintJob {
public:
    // pager: the printer of a print run; nullptr for a preview (first page only).
    TListPrintJob(TEnhListView &list, QPainter &painter, QPagedPaintDevice *pager, int pageWidth, int pageBottom);
    void Run();

private:
    // ---- the painter in page units
    double X(int x) const { return x * sx_; }
    double Y(int y) const { return -y * sy_; }
    QRectF DevRect(int l, int t, int r, int b) const { return QRectF(QPointF(X(l), Y(t)), QPointF(X(r), Y(b))); }
    QFont PageFont(const TFontDesc &d) const;
    int TextWidth(const QFont &f, const std::string &s) const;
    int TextHeight(const QFont &f) const;
    void DrawText(int x, int top, const std::string &s, const QFont &f, TColor color);
    // Rich text: its runs line by line in the cell's font, clipped to the cell.
    void PaintRich(const std::string &rtf, const TFontDesc &font, TColor brush, int left, int top, int right,
                   int bottom);
    // Markup painted (or only measured) in device units.
    void PaintMarkup(const std::string &text, const TFontDesc &font, TColor brush, const QRect &rect, bool measure,
                     THTMLDrawResult &res);

    // ---- the run
    void Measure(int col, int row, int &w, int &h);
    int RowHeight(int row) const { return rowHeights_[size_t(row + 1)]; }
    void BeginPage(int counter, int a, int b);
    void PrintRow(int row, int a, int b, int &y);
    void PrintCell(int col, int row, int top, int bottom);
    void BorderLines(int a, int b, int y);
    void NewPrinterPage();

    TEnhListView &list_;
    const TPrintsettings &ps_;
    TListPrintState &state_;
    QPainter &painter_;
    QPagedPaintDevice *pager_;
    double sx_ = 1, sy_ = 1;       // device pixels per page unit
    int pageWidth_, pageBottom_;
    double r_ = 0;                 // canvas resolution over the screen's
    int checkSide_ = 0;
    int headerTextH_ = 0, footerTextH_ = 0, u_ = 0, aWidth_ = 0, spacing_ = 0;
    int top_ = 0, reserve_ = 0;
    Rtl::TDateTime now_ = 0;
    std::vector<int> rowHeights_;  // by row + 1
};

TListPrintJob::TListPrintJob(TEnhListView &list, QPainter &painter, QPagedPaintDevice *pager, int pageWidth,
                             int pageBottom)
    : list_(list), ps_(list.PrintSettings), state_(list.printState_), painter_(painter), pager_(pager),
      pageWidth_(pageWidth), pageBottom_(pageBottom)
{
    QPaintDevice *dev = painter.device();
    const int dpiX = dev ? dev->logicalDpiX() : 96, dpiY = dev ? dev->logicalDpiY() : 96;
    sx_ = dpiX / 254.0;
    sy_ = dpiY / 254.0;
    const int screen = list.logicalDpiX();
    r_ = screen > 0 ? double(dpiX) / screen : 0.0;
}

QFont TListPrintJob::PageFont(const TFontDesc &d) const
{
    QFont f;
    if (d.Name.empty() || Rtl::SameText(d.Name, "MS Sans Serif")) {
        f.setStyleHint(QFont::SansSerif);
        f.setFamily(QStringLiteral("Sans Serif"));
    } else {
        f.setFamily(FromAnsi(d.Name));
    }
    f.setPixelSize(std::max(1, Round(ListPrint::MapFontHeight(ListPrint::PointSize(d)) * sy_)));
    f.setBold(d.Style & fsBold);
    f.setItalic(d.Style & fsItalic);
    f.setUnderline(d.Style & fsUnderline);
    f.setStrikeOut(d.Style & fsStrikeOut);
    // What is measured is what is drawn, on every device.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

int TListPrintJob::TextWidth(const QFont &f, const std::string &s) const
{
    return Round(QFontMetricsF(f, painter_.device()).horizontalAdvance(FromAnsi(s)) / sx_);
}

int TListPrintJob::TextHeight(const QFont &f) const
{
    return Round(QFontMetricsF(f, painter_.device()).height() / sy_);
}

void TListPrintJob::DrawText(int x, int top, const std::string &s, const QFont &f, TColor color)
{
    if (s.empty()) return;
    painter_.setFont(f);
    painter_.setPen(ColorToQColor(color == clNone ? clBlack : color));
    const double ascent = QFontMetricsF(f, painter_.device()).ascent();
    painter_.drawText(QPointF(X(x), Y(top) + ascent), FromAnsi(s));
}

void TListPrintJob::Measure(int col, int row, int &w, int &h)
{
    std::string text = list_.GetTextAtColRow(col, row);
    if (EnhListDraw::IsRichText(text)) text = RtfText::ToPlainText(text);
    if (EnhListDraw::IsMarkup(text)) {
        // Laid out by the markup painter in device units, at scale 1.
        THTMLDrawResult res;
        PaintMarkup(text, ps_.Font, clNone, QRect(0, 0, 1000, 1000), true, res);
        w = Round(res.XSize / sx_);
        h = Round(res.YSize / sy_);
        return;
    }
    TColor brush = clWhite;
    TFontDesc font = ps_.Font;
    list_.QueryDrawProp(row, col - 1, 0, brush, font, text);
    const QFont f = PageFont(font);
    w = TextWidth(f, text) + checkSide_;
    h = TextHeight(f);
}

void TListPrintJob::PaintMarkup(const std::string &text, const TFontDesc &font, TColor brush, const QRect &rect,
                                bool measure, THTMLDrawResult &res)
{
    painter_.save();
    TQtHTMLCanvas canvas(painter_);
    canvas.BaseFont = PageFont(font);
    canvas.Font = font;
    canvas.BrushColor = brush;
    THTMLDrawParams prm = ListHTMLParams(list_.URLColor, &list_.smallImages_, list_.pictureCache_.get(),
                                         list_.pictureContainer_);
    prm.ShadowColor = clGray;
    prm.CheckHeight = measure;
    prm.Print = !measure;
    prm.ResFactor = measure ? 1.0 : r_;
    DrawHTMLText(canvas, text, TRect(rect), prm, res);
    painter_.restore();
}

void TListPrintJob::PaintRich(const std::string &rtf, const TFontDesc &font, TColor brush, int left, int top,
                              int right, int bottom)
{
    painter_.save();
    const QRectF cell = DevRect(left, top, right, bottom);
    if (brush != clNone) painter_.fillRect(cell, ColorToQColor(brush));
    painter_.setClipRect(cell, Qt::IntersectClip);
    const int lineHeight = TextHeight(PageFont(font));
    int x = left + aWidth_, y = top - u_;
    for (const RtfText::TRun &run : RtfText::Parse(rtf)) {
        TFontDesc f = font;
        f.Style |= (run.Bold ? fsBold : 0) | (run.Italic ? fsItalic : 0) | (run.Underline ? fsUnderline : 0);
        QFont qf = PageFont(f);
        int shift = 0;
        if (run.Offset != 0) {
            // Sub- and superscripts: a smaller face, a third of a line off.
            qf.setPixelSize(std::max(1, qf.pixelSize() * 2 / 3));
            shift = run.Offset > 0 ? lineHeight / 3 : -lineHeight / 3;
        }
        size_t start = 0;
        for (;;) {
            const size_t cr = run.Text.find('\r', start);
            const std::string piece = run.Text.substr(start, cr == std::string::npos ? std::string::npos : cr - start);
            DrawText(x, y + shift, piece, qf, font.Color);
            x += TextWidth(qf, piece);
            if (cr == std::string::npos) break;
            x = left + aWidth_;
            y -= lineHeight;
            start = cr + 1;
            if (start < run.Text.size() && run.Text[start] == '\n') ++start;
        }
    }
    painter_.restore();
}

void TListPrintJob::NewPrinterPage()
{
    if (!pager_->newPage()) throw Exception("The printer could not start a new page");
}

void TListPrintJob::Run()
{
    state_.Pages.clear();
    now_ = Rtl::Now();
    const int cols = list_.Columns.Count();
    const int rows = list_.Items.Count();

    // The box of the screen, 16 pixels, at its real size on the page (16 x r
    // page units would grow with the printer's resolution and overrun rows).
    checkSide_ = list_.Checkboxes() && r_ > 0 ? Round(16 * 254.0 / list_.logicalDpiX()) : 0;
    headerTextH_ = TextHeight(PageFont(ps_.HeaderFont));
    footerTextH_ = TextHeight(PageFont(ps_.FooterFont));
    const QFont body = PageFont(ps_.Font);
    u_ = TextHeight(body) / 8;
    aWidth_ = TextWidth(body, "a");
    spacing_ = ps_.UseFixedWidth ? 0 : ps_.ColumnSpacing + 20;

    // Column widths and row heights, the header row (-1) included.
    std::vector<int> widths(size_t(cols), 0);
    rowHeights_.assign(size_t(rows) + 1, ps_.UseFixedHeight ? ps_.FixedHeight : 0);
    for (int r = -1; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            int w = 0, h = 0;
            Measure(c, r, w, h);
            if (ps_.UseFixedWidth) w = ps_.FixedWidth;
            else w += aWidth_;
            widths[size_t(c)] = std::max(widths[size_t(c)], w);
            if (!ps_.UseFixedHeight) rowHeights_[size_t(r + 1)] = std::max(rowHeights_[size_t(r + 1)], h);
        }
    }
    if (ps_.FitToPage != fpNever) {
        long long total = 0;
        for (int w : widths) total += w;
        const long long available = (long long)pageWidth_ - ps_.RightSize - ps_.LeftSize - (long long)cols * spacing_;
        double f = ListPrint::FitFactor(ps_.FitToPage, available, total);
        if (ps_.FitToPage == fpCustom && f != 1.0) {
            bool allow = true;
            if (list_.OnFitToPage) list_.OnFitToPage(&list_, f, allow);
            if (!allow) f = 1.0;
            if (!(f >= 0.0)) f = 0.0;   // a handler's negative or undefined factor
        }
        if (f != 1.0)
            for (int &w : widths) w = int(std::clamp(std::trunc(w * f), double(INT_MIN), double(INT_MAX)));
    }
    if (list_.OnPrintSetColumnWidth)
        for (int c = 0; c < cols; ++c) list_.OnPrintSetColumnWidth(&list_, c, widths[size_t(c)]);
    state_.Widths = widths;
    state_.Offsets.assign(size_t(cols) + 1, 0);

    const bool anyTop = ps_.Time == ppTopLeft || ps_.Time == ppTopRight || ps_.Time == ppTopCenter ||
                        ps_.Date == ppTopLeft || ps_.Date == ppTopRight || ps_.Date == ppTopCenter ||
                        ps_.PageNr == ppTopLeft || ps_.PageNr == ppTopRight || ps_.PageNr == ppTopCenter ||
                        ps_.Title == ppTopLeft || ps_.Title == ppTopRight || ps_.Title == ppTopCenter;
    auto bottomPos = [](TPrintPosition p) { return p == ppBottomLeft || p == ppBottomRight || p == ppBottomCenter; };
    const bool anyBottom = bottomPos(ps_.Time) || bottomPos(ps_.Date) || bottomPos(ps_.PageNr) || bottomPos(ps_.Title);
    top_ = ps_.HeaderSize + (anyTop ? u_ + headerTextH_ : 0);
    reserve_ = (u_ + footerTextH_) * (anyBottom ? 2 : 1) + ps_.FooterSize;

    const auto strips = ListPrint::Strips(widths, spacing_, pageWidth_ - ps_.RightSize);
    int counter = 0;
    for (size_t si = 0; si < strips.size(); ++si) {
        const auto [a, b] = strips[si];
        ListPrint::StripOffsets(widths, a, b, spacing_, ps_.LeftSize, ps_.Centered, pageWidth_, state_.Offsets);
        bool pageStart = true;
        int y = 0;
        for (int row = -1; row < rows; ++row) {
            if (pageStart) {
                y = -top_;
                BeginPage(counter, a, b);
                pageStart = false;
                if (ps_.RepeatHeaders && counter > 0 && row > 0) PrintRow(-1, a, b, y);
            }
            PrintRow(row, a, b, y);
            bool newPage = false;
            if (list_.OnPrintNewPage) list_.OnPrintNewPage(&list_, row + 1, newPage);
            // After the strip's last row its page ends anyway: a break asked
            // for there would only leave an empty sheet.
            if (row + 1 >= rows) break;
            if (newPage || (long long)y - RowHeight(row + 1) < (long long)pageBottom_ + reserve_) {
                BorderLines(a, b, y);
                if (!pager_) return;   // a preview shows the first page only
                NewPrinterPage();
                ++counter;
                pageStart = true;
            }
        }
        BorderLines(a, b, y);
        if (!pager_) return;
        ++counter;
        if (si + 1 < strips.size()) NewPrinterPage();
    }
}

void TListPrintJob::BeginPage(int counter, int a, int b)
{
    TListPrintPage page;
    page.Number = counter + 1;
    page.FirstCol = a;
    page.LastCol = b;
    page.Texts = ListPrint::HeaderFooterTexts(ps_, counter + 1, now_);
    state_.Pages.push_back(page);

    if (list_.OnPrintPage) {
        // The handler draws in page units, y growing downwards from the top.
        painter_.save();
        painter_.scale(sx_, sy_);
        list_.OnPrintPage(&list_, painter_, counter, pageWidth_, pageBottom_);
        painter_.restore();
    }

    const QFont header = PageFont(ps_.HeaderFont), footer = PageFont(ps_.FooterFont);
    const int headerTop = -ps_.HeaderSize;
    const int footerTop = pageBottom_ + footerTextH_ + u_ + ps_.FooterSize;
    for (int pos = ppTopLeft; pos <= ppBottomCenter; ++pos) {
        const std::string &text = page.Texts[size_t(pos)];
        if (text.empty()) continue;
        const bool top = pos <= ppTopCenter;
        const QFont &f = top ? header : footer;
        const TFontDesc &fd = top ? ps_.HeaderFont : ps_.FooterFont;
        const int w = TextWidth(f, text);
        int x = ps_.LeftSize;
        if (pos == ppTopRight || pos == ppBottomRight) x = pageWidth_ - w - 20 - ps_.RightSize;
        else if (pos == ppTopCenter || pos == ppBottomCenter) x = (pageWidth_ - w) / 2;
        DrawText(x, top ? headerTop : footerTop, text, f, fd.Color);
    }
}

void TListPrintJob::PrintRow(int row, int a, int b, int &y)
{
    state_.Pages.back().Rows.emplace_back(row, y);
    const int h = RowHeight(row);
    const int hr = h + h / 8;
    for (int c = a; c <= b; ++c) PrintCell(c, row, y, y - hr - 2 * u_);
    if (ps_.Borders == pbSingle || ps_.Borders == pbDouble || ps_.Borders == pbHorizontal) {
        painter_.setPen(QPen(Qt::black, (ps_.Borders == pbDouble ? 10 : 2) * sx_));
        painter_.drawLine(QPointF(X(state_.Offsets[size_t(a)]), Y(y)), QPointF(X(state_.Offsets[size_t(b) + 1]), Y(y)));
    }
    y -= hr + 2 * u_;
}

void TListPrintJob::PrintCell(int col, int row, int top, int bottom)
{
    std::string text = list_.GetTextAtColRow(col, row);
    TColor brush = clWhite;
    TFontDesc font = ps_.Font;
    list_.QueryDrawProp(row, col - 1, 0, brush, font, text);
    const QFont f = PageFont(font);
    int left = state_.Offsets[size_t(col)];
    const int right = state_.Offsets[size_t(col) + 1];
    const int textTop = top - u_;

    if (EnhListDraw::IsRichText(text) || EnhListDraw::IsMarkup(text)) {
        const QRect dev = DevRect(left, top, right, bottom).toAlignedRect();
        if (EnhListDraw::IsMarkup(text)) {
            THTMLDrawResult res;
            PaintMarkup(text, font, brush, dev, false, res);
        } else {
            PaintRich(text, font, brush, left, top, right, bottom);
        }
        return;
    }

    painter_.save();
    if (col == 0 && row >= 0 && list_.Checkboxes()) {
        // A flat box at the cell's left edge, its top at the text's top.
        const TListItem *item = list_.Items.Item(row);
        const QRectF box = DevRect(left, textTop, left + checkSide_, textTop - checkSide_);
        painter_.setPen(QPen(Qt::black, 2 * sx_));
        painter_.setBrush(Qt::NoBrush);
        painter_.drawRect(box);
        if (item && item->Checked()) {
            const QRectF in = box.adjusted(box.width() / 5, box.height() / 5, -box.width() / 5, -box.height() / 5);
            painter_.drawLine(in.topLeft(), in.bottomRight());
            painter_.drawLine(in.bottomLeft(), in.topRight());
        }
        left += checkSide_;
    }
    const QRectF cell = DevRect(left, top, right, bottom);
    if (brush != clNone) painter_.fillRect(cell, ColorToQColor(brush));
    const int tw = TextWidth(f, text);
    int x = left + aWidth_;
    TListColumn *column = list_.Columns[col];
    const TAlignment align = column ? column->Alignment() : taLeftJustify;
    if (align == taRightJustify) x = right - aWidth_ - tw;
    else if (align == taCenter) x = left + (right - left - tw) / 2;
    painter_.setClipRect(cell, Qt::IntersectClip);
    DrawText(x, textTop, text, f, font.Color);
    painter_.restore();
}

void TListPrintJob::BorderLines(int a, int b, int y)
{
    const TPrintBorders borders = ps_.Borders;
    if (borders == pbNoborder) return;
    Qt::PenStyle style = Qt::SolidLine;
    switch (ps_.BorderStyle) {
    case psDash: style = Qt::DashLine; break;
    case psDot: style = Qt::DotLine; break;
    case psDashDot: style = Qt::DashDotLine; break;
    case psDashDotDot: style = Qt::DashDotDotLine; break;
    case psClear: style = Qt::NoPen; break;
    default: break;
    }
    painter_.setPen(QPen(QBrush(Qt::black), (borders == pbDouble ? 10 : 2) * sx_, style));
    const int bottom = y + u_ / 2;
    const std::vector<int> &off = state_.Offsets;
    if (borders != pbVertical)
        painter_.drawLine(QPointF(X(off[size_t(a)]), Y(bottom)), QPointF(X(off[size_t(b) + 1]), Y(bottom)));
    if (borders != pbHorizontal)
        for (int c = a; c <= b + 1; ++c)
            painter_.drawLine(QPointF(X(off[size_t(c)]), Y(-top_)), QPointF(X(off[size_t(c)]), Y(bottom)));
}

// ---- the list's printing operations ---------------------------------------------------------

void TEnhListView::Print() { Print(ListPrinter()); }

void TEnhListView::Print(QPagedPaintDevice &Printer)
{
    Printer.setPageOrientation(PrintSettings.Orientation == poLandscape ? QPageLayout::Landscape
                                                                        : QPageLayout::Portrait);
    QPrinter *printer = dynamic_cast<QPrinter *>(&Printer);
    if (printer) printer->setDocName(FromAnsi(PrintSettings.JobName));
    else if (auto *pdf = dynamic_cast<QPdfWriter *>(&Printer)) pdf->setTitle(FromAnsi(PrintSettings.JobName));
    QPainter painter;
    if (!painter.begin(&Printer)) throw Exception("Printer selected is not valid");
    const int pageWidth = Round(Printer.width() * 254.0 / std::max(1, Printer.logicalDpiX()));
    const int pageBottom = -Round(Printer.height() * 254.0 / std::max(1, Printer.logicalDpiY()));
    try {
        TListPrintJob(*this, painter, &Printer, pageWidth, pageBottom).Run();
    } catch (...) {
        if (printer) printer->abort();
        painter.end();
        throw;
    }
    if (!painter.end()) throw Exception("The printer could not finish the document");
}

void TEnhListView::Preview(QPainter &Canvas, const QRect &Rect)
{
    printState_.PreviewRect = Rect;
    QPaintDevice *dev = Canvas.device();
    if (!Canvas.isActive() || !dev) return;
    const int pageWidth = Round(254.0 / std::max(1, dev->logicalDpiX()) * Rect.width());
    const int pageBottom = -Round(254.0 / std::max(1, dev->logicalDpiY()) * Rect.height());
    Canvas.save();
    TListPrintJob(*this, Canvas, nullptr, pageWidth, pageBottom).Run();
    Canvas.restore();
}

int TEnhListView::GetPrintColWidth(int Col) const
{
    if (Col < 0 || Col >= 256 || size_t(Col) >= printState_.Widths.size()) return 0;
    return printState_.Widths[size_t(Col)];
}

int TEnhListView::GetPrintColOffset(int Col) const
{
    if (Col < 0 || Col >= 256 || size_t(Col) >= printState_.Offsets.size()) return 0;
    return printState_.Offsets[size_t(Col)];
}

int TEnhListView::MapFontHeight(int Size) { return ListPrint::MapFontHeight(Size); }

int TEnhListView::MapFontSize(int Height) { return ListPrint::MapFontSize(Height); }
