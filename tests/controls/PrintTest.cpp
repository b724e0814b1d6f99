// Printing of the enhanced list: the layout arithmetic, print runs onto PDF
// files read back with pdftotext, and previews into images.
#include "controls/EnhListV.h"
#include "controls/ProCtrls.h"
#include "common/PdfText.h"
#include "common/TestUtil.h"
#include "platform/Rtl.h"

#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using testutil::find;
using testutil::pdfWords;
using testutil::Word;

namespace {

// A4 at 600 dots per inch with 10 mm margins: the printable width is 190 mm,
// 1900 page units.
std::unique_ptr<QPdfWriter> a4Pdf(const std::string &file)
{
    auto w = std::make_unique<QPdfWriter>(QString::fromStdString(file));
    w->setResolution(600);
    w->setPageSize(QPageSize(QPageSize::A4));
    w->setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);
    return w;
}

// The printable width in page units, as a run measures it.
int pageWidth(QPdfWriter &w) { return ListPrint::Round(w.width() * 254.0 / w.logicalDpiX()); }

std::unique_ptr<TEnhListView> makeList(int rows, int cols)
{
    auto list = std::make_unique<TEnhListView>();
    for (int c = 0; c < cols; ++c) list->Columns.Add("Col" + Rtl::IntToStr(c), 80);
    list->BeginUpdate();
    for (int r = 0; r < rows; ++r) {
        TListItem *it = list->Items.Add();
        it->SetCaption("R" + Rtl::IntToStr(r) + "C0");
        for (int c = 1; c < cols; ++c) it->SubItems.Add("R" + Rtl::IntToStr(r) + "C" + Rtl::IntToStr(c));
    }
    list->EndUpdate();
    return list;
}

// Page rows as (row index) lists.
std::vector<std::vector<int>> rowsByPage(const TEnhListView &list)
{
    std::vector<std::vector<int>> out;
    for (const TListPrintPage &p : list.PrintedPages()) {
        out.emplace_back();
        for (auto [row, y] : p.Rows) out.back().push_back(row);
    }
    return out;
}

} // namespace

// ---- arithmetic ----------------------------------------------------------------------

TEST(ListPrintLayout, FontMappingRoundsHalvesToEven)
{
    struct Case { int size, height; };
    for (Case c : {Case{0, 0}, Case{8, 28}, Case{10, 35}, Case{12, 42}, Case{72, 254}, Case{-8, -28}})
        EXPECT_EQ(TEnhListView::MapFontHeight(c.size), c.height) << c.size;
    EXPECT_EQ(TEnhListView::MapFontSize(254), 72);
    EXPECT_EQ(TEnhListView::MapFontSize(35), 10);   // 9.92
    EXPECT_EQ(ListPrint::Round(2.5), 2);
    EXPECT_EQ(ListPrint::Round(3.5), 4);
    EXPECT_EQ(ListPrint::Round(-2.5), -2);
    EXPECT_EQ(ListPrint::Round(1e30), INT_MAX);
}

TEST(ListPrintLayout, HeaderAndFooterTextsCarryTheirBlanks)
{
    const Rtl::TDateTime now = Rtl::EncodeDate(2024, 3, 7) + Rtl::EncodeTime(9, 5, 0, 0);
    TPrintsettings ps;
    ps.Time = ppTopLeft;
    ps.Date = ppTopLeft;
    auto t = ListPrint::HeaderFooterTexts(ps, 1, now);
    EXPECT_EQ(t[ppTopLeft], "07/03/2024 09:05 ");
    ps.Time = ps.Date = ppTopRight;
    t = ListPrint::HeaderFooterTexts(ps, 1, now);
    EXPECT_EQ(t[ppTopRight], " 09:05 07/03/2024");
    EXPECT_EQ(t[ppTopLeft], "");

    TPrintsettings pn;
    pn.PageNr = ppBottomCenter;
    pn.PagePrefix = "Page";
    pn.Title = ppBottomLeft;
    pn.TitleText = "Catalogue";
    t = ListPrint::HeaderFooterTexts(pn, 12, now);
    EXPECT_EQ(t[ppBottomCenter], " Page 12 ");
    EXPECT_EQ(t[ppBottomLeft], "Catalogue ");
    for (int p : {ppNone, ppTopLeft, ppTopRight, ppTopCenter, ppBottomRight}) EXPECT_EQ(t[size_t(p)], "") << p;
}

TEST(ListPrintLayout, FitFactorFollowsTheMode)
{
    struct Case { TFitToPage mode; long long avail, total; double f; };
    const Case cases[] = {
        {fpNever, 1000, 500, 1.0},  {fpShrink, 1000, 500, 1.0}, {fpShrink, 500, 1000, 0.5},
        {fpGrow, 500, 1000, 1.0},   {fpGrow, 1000, 500, 2.0},   {fpAlways, 1000, 500, 2.0},
        {fpAlways, 500, 1000, 0.5}, {fpCustom, 300, 1000, 0.3},
        // Nothing to scale, or no room at all: never a division by zero
        // and never a negative width.
        {fpAlways, 1000, 0, 1.0},   {fpShrink, -50, 1000, 0.0},
    };
    for (const Case &c : cases) EXPECT_DOUBLE_EQ(ListPrint::FitFactor(c.mode, c.avail, c.total), c.f) << int(c.mode);
}

TEST(ListPrintLayout, StripsTakeColumnsWhileTheyFit)
{
    using S = std::vector<std::pair<int, int>>;
    EXPECT_EQ(ListPrint::Strips({800, 800, 800}, 20, 1700), (S{{0, 1}, {2, 2}}));
    EXPECT_EQ(ListPrint::Strips({100, 200, 300}, 20, 1700), (S{{0, 2}}));
    EXPECT_EQ(ListPrint::Strips({}, 20, 1700), S{});
    // A column wider than the page stands alone on its strip.
    EXPECT_EQ(ListPrint::Strips({500, 5000, 500, 500}, 20, 1700), (S{{0, 0}, {1, 1}, {2, 3}}));
    // No room at all still prints one column per strip.
    EXPECT_EQ(ListPrint::Strips({10, 10}, 20, -5), (S{{0, 0}, {1, 1}}));
    // Many narrow columns: at most 255 on a strip.
    const S many = ListPrint::Strips(std::vector<int>(600, 0), 0, 1700);
    EXPECT_EQ(many, (S{{0, 254}, {255, 509}, {510, 599}}));

    std::vector<int> off(5, -1);
    ListPrint::StripOffsets({100, 200, 300, 400}, 1, 2, 20, 150, false, 1900, off);
    EXPECT_EQ(off, (std::vector<int>{-1, 150, 370, 690, -1}));
    ListPrint::StripOffsets({100, 200, 300, 400}, 1, 2, 20, 150, true, 1900, off);
    // Centred: a strip of 540 on a page of 1900 moves right by 680.
    EXPECT_EQ(off, (std::vector<int>{-1, 680, 900, 1220, -1}));
}

// ---- print runs ----------------------------------------------------------------------

TEST(ListPrint, StripsAndPagesOfARealRunReadBackFromThePdf)
{
    testutil::TempDir dir;
    const std::string file = dir.file("list.pdf");
    auto list = makeList(10, 3);
    list->Columns[2]->SetAlignment(taRightJustify);
    TPrintsettings &ps = list->PrintSettings;
    ps.RightSize = 200;                 // page width - RightSize = 1700
    ps.UseFixedHeight = true;
    ps.FixedHeight = 500;               // about four rows a page
    ps.PageNr = ppBottomCenter;
    ps.PagePrefix = "Page";
    ps.Title = ppTopLeft;
    ps.TitleText = "Catalogue";
    ps.JobName = "List job";
    ps.Borders = pbSingle;
    std::vector<int> pageEvents;
    list->OnPrintSetColumnWidth = [](TEnhListView *, int, int &w) { w = 800; };
    auto pdf = a4Pdf(file);
    const int pageW = pageWidth(*pdf);
    ASSERT_NEAR(pageW, 1900, 3);
    list->OnPrintPage = [&](TEnhListView *, QPainter &, int nr, int w, int bottom) {
        pageEvents.push_back(nr);
        EXPECT_EQ(w, pageW);
        EXPECT_NEAR(bottom, -2770, 4);
    };
    list->Print(*pdf);
    pdf.reset();

    // Strip 1 holds columns 0 and 1, strip 2 column 2; each runs through all
    // rows and starts with the header row.
    const auto &pages = list->PrintedPages();
    ASSERT_EQ(pages.size(), 6u);
    EXPECT_EQ(rowsByPage(*list), (std::vector<std::vector<int>>{
                                     {-1, 0, 1, 2}, {3, 4, 5, 6}, {7, 8, 9}, {-1, 0, 1, 2}, {3, 4, 5, 6}, {7, 8, 9}}));
    for (size_t i = 0; i < pages.size(); ++i) {
        EXPECT_EQ(pages[i].Number, int(i) + 1);
        EXPECT_EQ(pages[i].FirstCol, i < 3 ? 0 : 2);
        EXPECT_EQ(pages[i].LastCol, i < 3 ? 1 : 2);
        // Every page's body starts below the title line at the same height.
        EXPECT_EQ(pages[i].Rows.front().second, pages[0].Rows.front().second);
        EXPECT_LT(pages[i].Rows.front().second, 0);
    }
    EXPECT_EQ(pageEvents, (std::vector<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(list->GetPrintColWidth(0), 800);
    EXPECT_EQ(list->GetPrintColWidth(256), 0);
    EXPECT_EQ(list->GetPrintColWidth(-1), 0);
    // The offsets are those of the last strip: column 2 at the left margin.
    EXPECT_EQ(list->GetPrintColOffset(2), 0);
    EXPECT_EQ(list->GetPrintColOffset(3), 820);

    int count = 0;
    const auto p1 = pdfWords(file, 0, &count);
    ASSERT_EQ(count, 6);
    auto at = [](const std::vector<Word> &w, const char *t) {
        const Word *x = find(w, t);
        EXPECT_NE(x, nullptr) << t;
        return x ? *x : Word{};
    };
    const double pt = 72.0 / 254.0;   // points per page unit
    const double margin = 10 / 25.4 * 72;
    // Header row, then rows down the page, 820 units between column starts.
    const Word h0 = at(p1, "Col0"), h1 = at(p1, "Col1"), r0 = at(p1, "R0C0"), r1 = at(p1, "R1C0");
    EXPECT_NEAR(h1.xMin - h0.xMin, 820 * pt, 1.0);
    EXPECT_LT(h0.yMax, r0.yMin);
    EXPECT_NEAR(r0.xMin, h0.xMin, 0.5);
    EXPECT_GT(r1.yMin - r0.yMin, 500 * pt);   // a fixed row height of 50 mm and more
    EXPECT_EQ(find(p1, "Col2"), nullptr);
    EXPECT_EQ(find(p1, "R3C0"), nullptr);
    EXPECT_GT(h0.xMin, margin);
    // The title at the top left, the page number centred at the bottom.
    const Word title = at(p1, "Catalogue"), num = at(p1, "1");
    EXPECT_LT(title.yMax, h0.yMin);
    EXPECT_NEAR(title.xMin, margin, 1.0);
    EXPECT_NEAR((num.xMin + find(p1, "Page")->xMin) / 2, margin + pageW / 2 * pt, 20.0);
    EXPECT_GT(num.yMin, r1.yMin);

    // The second strip: column 2 right-aligned in its 800 units.
    const auto p4 = pdfWords(file, 3);
    const Word c2 = at(p4, "R0C2"), h2 = at(p4, "Col2");
    EXPECT_EQ(find(p4, "R0C0"), nullptr);
    EXPECT_NEAR(c2.xMax, h2.xMax, 0.5);
    EXPECT_GT(c2.xMin, margin + 400 * pt);
    EXPECT_NE(find(p4, "4"), nullptr);   // page numbers run on
    const auto p6 = pdfWords(file, 5);
    EXPECT_NE(find(p6, "R9C2"), nullptr);
    EXPECT_NE(find(p6, "6"), nullptr);
}

TEST(ListPrint, HandlerBreaksRepeatedHeadersAndFitting)
{
    testutil::TempDir dir;
    auto list = makeList(6, 2);
    TPrintsettings &ps = list->PrintSettings;
    ps.RepeatHeaders = true;
    list->OnPrintNewPage = [](TEnhListView *, int row, bool &np) { np = row == 3 || row == 6; };
    auto pdf = a4Pdf(dir.file("a.pdf"));
    list->Print(*pdf);
    pdf.reset();
    // A break before row 3; the page after it repeats the header row. A
    // break asked for after the last row leaves no empty page behind.
    EXPECT_EQ(rowsByPage(*list), (std::vector<std::vector<int>>{{-1, 0, 1, 2}, {-1, 3, 4, 5}}));
    int count = 0;
    pdfWords(dir.file("a.pdf"), 0, &count);
    EXPECT_EQ(count, 2);

    // Fitting: fpShrink leaves narrow columns alone, fpAlways widens them to
    // fill the page, fpCustom asks the handler.
    list->OnPrintNewPage = nullptr;
    std::vector<int> natural;
    const int pageW = pageWidth(*a4Pdf(dir.file("b.pdf")));
    auto run = [&](TFitToPage mode) {
        ps.FitToPage = mode;
        auto w = a4Pdf(dir.file("b.pdf"));
        list->Print(*w);
        return std::vector<int>{list->GetPrintColWidth(0), list->GetPrintColWidth(1)};
    };
    natural = run(fpNever);
    EXPECT_GT(natural[0], 0);
    EXPECT_EQ(run(fpShrink), natural);
    EXPECT_EQ(run(fpGrow).size(), 2u);
    const auto wide = run(fpAlways);
    const int spacing = ps.ColumnSpacing + 20;
    EXPECT_NEAR(wide[0] + wide[1], pageW - 2 * spacing, 2);
    EXPECT_NEAR(double(wide[0]) / wide[1], double(natural[0]) / natural[1], 0.02);
    double asked = 0;
    list->OnFitToPage = [&](TEnhListView *, double &f, bool &allow) {
        asked = f;
        allow = false;
    };
    EXPECT_EQ(run(fpCustom), natural);
    EXPECT_NEAR(asked, double(pageW - 2 * spacing) / (natural[0] + natural[1]), 1e-9);
    list->OnFitToPage = [](TEnhListView *, double &f, bool &) { f = 0.5; };
    EXPECT_EQ(run(fpCustom), (std::vector<int>{natural[0] / 2, natural[1] / 2}));
}

TEST(ListPrint, OversizedAndDegenerateListsStillPrint)
{
    testutil::TempDir dir;
    // A column wider than the page prints alone on its strip, cut at the
    // page's edge.
    auto wide = makeList(2, 3);
    wide->OnPrintSetColumnWidth = [](TEnhListView *, int c, int &w) { w = c == 1 ? 5000 : 300; };
    auto pdf = a4Pdf(dir.file("wide.pdf"));
    wide->Print(*pdf);
    pdf.reset();
    ASSERT_EQ(wide->PrintedPages().size(), 3u);
    EXPECT_EQ(wide->PrintedPages()[1].FirstCol, 1);
    EXPECT_EQ(wide->PrintedPages()[1].LastCol, 1);
    EXPECT_NE(find(pdfWords(dir.file("wide.pdf"), 1), "R1C1"), nullptr);

    // Three hundred columns: strips of at most 255, offsets past the tables
    // of 256 are never read back as garbage.
    auto many = makeList(1, 300);
    many->OnPrintSetColumnWidth = [](TEnhListView *, int, int &w) { w = 0; };
    many->PrintSettings.UseFixedWidth = true;   // no spacing
    pdf = a4Pdf(dir.file("many.pdf"));
    many->Print(*pdf);
    pdf.reset();
    ASSERT_EQ(many->PrintedPages().size(), 2u);
    EXPECT_EQ(many->PrintedPages()[0].LastCol, 254);
    EXPECT_EQ(many->PrintedPages()[1].FirstCol, 255);
    EXPECT_EQ(many->GetPrintColOffset(299), 0);

    // Zero widths everywhere with fitting asked for, and a list without
    // rows or columns.
    auto zero = makeList(3, 2);
    zero->PrintSettings.FitToPage = fpAlways;
    zero->PrintSettings.UseFixedWidth = true;
    pdf = a4Pdf(dir.file("zero.pdf"));
    zero->Print(*pdf);
    pdf.reset();
    EXPECT_EQ(zero->GetPrintColWidth(0), 0);
    TEnhListView empty;
    pdf = a4Pdf(dir.file("empty.pdf"));
    empty.Print(*pdf);
    pdf.reset();
    EXPECT_TRUE(empty.PrintedPages().empty());

    // A printer that cannot start raises the printer's error.
    QPdfWriter nowhere(QString::fromStdString(dir.file("no/such/folder/x.pdf")));
    EXPECT_THROW(zero->Print(nowhere), Exception);
}

TEST(ListPrint, PreviewDrawsTheFirstPageOnly)
{
    auto list = makeList(40, 2);
    list->SetCheckboxes(true);
    list->Items[0]->SetChecked(true);
    list->PrintSettings.PageNr = ppTopRight;
    list->PrintSettings.Borders = pbDouble;
    list->OnPrintSetColumnWidth = [](TEnhListView *, int, int &w) { w = 1500; };
    std::vector<int> pageEvents;
    list->OnPrintPage = [&](TEnhListView *, QPainter &, int nr, int, int) { pageEvents.push_back(nr); };
    QImage img(400, 300, QImage::Format_RGB32);
    img.setDotsPerMeterX(3780);   // 96 per inch
    img.setDotsPerMeterY(3780);
    img.fill(Qt::white);
    QPainter p(&img);
    list->Preview(p, QRect(0, 0, 400, 300));
    p.end();
    EXPECT_EQ(list->PreviewRect(), QRect(0, 0, 400, 300));
    // 400 pixels at 96 per inch: 1058 units; the second column is on a strip
    // the preview never lays out.
    ASSERT_EQ(list->PrintedPages().size(), 1u);
    const TListPrintPage &page = list->PrintedPages()[0];
    EXPECT_EQ(page.Number, 1);
    EXPECT_EQ(page.LastCol, 0);
    EXPECT_EQ(page.Texts[ppTopRight], "  1 ");
    EXPECT_LT(page.Rows.size(), 40u);
    EXPECT_EQ(page.Rows.front().first, -1);
    EXPECT_EQ(pageEvents, std::vector<int>{0});
    // Something was drawn: the double border is black.
    int dark = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) dark += qGray(img.pixel(x, y)) < 64;
    EXPECT_GT(dark, 200);
}

TEST(ListPrint, MarkupAndRichCellsPrintTheirText)
{
    testutil::TempDir dir;
    auto list = makeList(2, 2);
    const std::string markup = "<b>Heavy</b> <font color=\"clRed\">crimson</font> words";
    list->Items[0]->SubItems.Put(0, markup);
    list->Items[1]->SetCaption("{\\rtf1\\ansi Rich \\b bold\\b0  cell}");
    auto pdf = a4Pdf(dir.file("m.pdf"));
    list->Print(*pdf);
    pdf.reset();
    const auto words = pdfWords(dir.file("m.pdf"));
    for (const char *w : {"Heavy", "crimson", "words", "Rich", "bold", "cell"}) EXPECT_NE(find(words, w), nullptr) << w;
    for (const Word &w : words) {
        EXPECT_EQ(w.text.find('<'), std::string::npos) << w.text;
        EXPECT_EQ(w.text.find('\\'), std::string::npos) << w.text;
    }
    // The markup column is as wide as its shown words, not its tags.
    const Word *heavy = find(words, "Heavy"), *last = find(words, "words");
    ASSERT_TRUE(heavy && last);
    const double shown = (last->xMax - heavy->xMin) * 254.0 / 72.0;
    EXPECT_NEAR(list->GetPrintColWidth(1), shown, shown * 0.25);
    // Both kinds stand in their cells: the rich caption in column 0, the
    // markup to the right of it.
    const Word *rich = find(words, "Rich");
    ASSERT_NE(rich, nullptr);
    EXPECT_LT(rich->xMin, heavy->xMin);
}
