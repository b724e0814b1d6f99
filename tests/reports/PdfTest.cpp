// Reports printed to PDF through QPrinter, read back with pdftotext.
#include "common/TestUtil.h"
#include "reports/ReportTestUtil.h"

#include <QFontMetrics>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace rt;

namespace {

class Pdf : public ::testing::Test {
protected:
    void SetUp() override
    {
        report = form.Add<TAlReport>("Report");
        report->SetLeftMargin(15);
        title = form.Add<tAlBand>("Title");
        title->SetBounds(0, 0, 794, 485);
        title->ClipMode = cm_Overwrite;
        side = label("SideALbl", 44, 80, 53, 19, "SIDE", -16, fsBold);
        right = label("RightLbl", 238, 140, 185, 20, "Right", -12, 0);
        right->Alignment = taRightJustify;
        right->AutoSize = false;
        tracks = form.Add<TAlField>("TracksA", title);
        tracks->SetBounds(44, 200, 90, 213);
        tracks->AutoSize = false;
        tracks->WordWrap = true;
        TAlFont f;
        f.Name = "Arial";
        f.SetHeight(-12);
        tracks->SetFont(f);
        report->AddNamedValue("TracksA", "1. Alpha-Beta Gamma Delta\r\n2. Omega");
        TAlShape *frame = form.Add<TAlShape>("Frame", title);
        frame->SetBounds(40, 76, 389, 365);
        frame->Brush.Style = bsClear;
        frame->Pen.Width = 3;

        detail = form.Add<tAlBand>("Rows");
        detail->SetBandType(alr_Detail);
        detail->SetBounds(0, 600, 794, 300);
        detail->SetColumns(2);
        detail->SetColWidth(80);
        TAlField *cell = form.Add<TAlField>("Cell", detail);
        cell->SetBounds(20, 10, 100, 20);
        for (const char *v : {"First", "Second", "Third"})
            report->AddNamedValue("Cell", v);
    }
    TAlLabel *label(const char *name, int l, int t, int w, int h, const char *caption, int height, uint8_t style)
    {
        TAlLabel *lb = form.Add<TAlLabel>(name, title);
        lb->SetBounds(l, t, w, h);
        lb->Caption = caption;
        TAlFont f;
        f.Name = "Arial";
        f.SetHeight(height);
        f.Style = style;
        lb->SetFont(f);
        return lb;
    }
    testutil::TempDir dir;
    TAlReportForm form;
    TAlReport *report = nullptr;
    tAlBand *title = nullptr, *detail = nullptr;
    TAlLabel *side = nullptr, *right = nullptr;
    TAlField *tracks = nullptr;
};

TEST_F(Pdf, PrintedTextsStandWhereTheLayoutPutsThem)
{
    const std::string file = dir.file("report.pdf");
    PdfPrinter printer(file);
    report->ReportTitle = "TAPECOVER";
    report->Print();

    int pages = 0;
    const auto words = pdfWords(file, 0, &pages);
    ASSERT_EQ(pages, 2);   // the title fills most of page 1; the rows go on page 2
    TAlPrinter &p = AlPrinter();
    ASSERT_FALSE(p.PreviewMode);
    EXPECT_EQ(p.DpiX, 600);
    EXPECT_EQ(p.OffsetX, printer.device->Measure().OffsetX);
    EXPECT_GT(p.OffsetX, 200);   // 10 mm
    // Positions on the paper: the printing offset plus the device position.
    const int left = report->LeftMargPix() + p.OffsetX;   // the left margin on the paper
    auto expectAt = [&](const char *text, double x, double y, int nth = 0) {
        const Word *w = find(words, text, nth);
        ASSERT_NE(w, nullptr) << text;
        EXPECT_NEAR(w->xMin, x, 2.0) << text;
        EXPECT_NEAR(w->yMin, y, 2.0) << text;
    };
    expectAt("SIDE", pt(left + report->RealWidth(44)), pt(report->RealHeight(80)));
    // Right-justified: the text ends at the control's right edge.
    const Word *r = find(words, "Right");
    ASSERT_NE(r, nullptr);
    EXPECT_NEAR(r->xMax, pt(left + report->RealWidth(238 + 185)), 2.0);
    EXPECT_NEAR(r->yMin, pt(report->RealHeight(140)), 2.0);
    // Word wrap at blanks: each line starts at the left edge, one line
    // height below the one before, and "Alpha-Beta" is never split at its
    // hyphen.
    const QFont font = AlDeviceFont(tracks->Font(), 600);
    const int lineH = AlLineHeight(font);
    const double x0 = pt(left + report->RealWidth(44));
    const double y0 = pt(report->RealHeight(200));
    const QStringList lines =
        AlLayoutLines(tracks->Values[0], font, report->RealWidth(134) - report->RealWidth(44), DT_WORDBREAK);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.last(), "2. Omega");
    bool hyphenWord = false;
    for (int i = 0; i < int(lines.size()); ++i) {
        const QStringList lineWords = lines[i].split(u' ');
        const std::string first = lineWords[0].toStdString();
        int nth = 0;
        for (int j = 0; j < i; ++j)
            nth += int(lines[j].split(u' ').count(lineWords[0]));
        expectAt(first.c_str(), x0, y0 + pt(lineH * i), nth);
        hyphenWord = hyphenWord || lineWords.contains("Alpha-Beta");
    }
    EXPECT_TRUE(hyphenWord);
    EXPECT_NE(find(words, "Alpha-Beta"), nullptr);

    // The rows: two columns 80 mm apart below the title, the third value in
    // a new row, which starts page 2.
    const double cx = pt(left + report->RealWidth(20));
    const double cy = pt(report->RealHeight(485) + report->RealHeight(10));
    expectAt("First", cx, cy);
    expectAt("Second", cx + pt(report->MMToPix(80)), cy);
    const auto page2 = pdfWords(file, 1);
    const Word *third = find(page2, "Third");
    ASSERT_NE(third, nullptr);
    EXPECT_NEAR(third->xMin, cx, 2.0);
    EXPECT_NEAR(third->yMin, pt(report->RealHeight(10)), 2.0);
}

TEST_F(Pdf, RecordedPagesStretchedOntoThePrinterKeepTheirPlaces)
{
    const std::string file = dir.file("preview.pdf");
    PdfPrinter printer(file);
    tPages pages;
    report->Preview(pages);
    ASSERT_EQ(pages.Count(), 2);
    TAlPrinter &p = AlPrinter();
    EXPECT_EQ(p.DpiX, 96);
    // The recorded page runs from the paper's corner; placed there on the
    // printer, it lands where a direct print puts it.
    QPrinter &q = printer.device->Printer();
    const TAlPrinterMetrics m = printer.device->Measure();
    QPainter painter(&q);
    const QRectF target(-m.OffsetX, -m.OffsetY, m.PrintableWidth + m.OffsetX, m.PrintableHeight + m.OffsetY);
    pages.GetPage(0)->StretchDraw(painter, target);
    painter.end();

    const auto words = pdfWords(file);
    const int left = report->LeftMargPix();   // screen pixels from the paper's edge
    const Word *w = find(words, "SIDE");
    ASSERT_NE(w, nullptr);
    EXPECT_NEAR(w->xMin, (left + report->RealWidth(44)) * 72.0 / 96, 2.0);
    EXPECT_NEAR(w->yMin, report->RealHeight(80) * 72.0 / 96, 2.0);
    const Word *r = find(words, "Right");
    ASSERT_NE(r, nullptr);
    EXPECT_NEAR(r->xMax, (left + report->RealWidth(238 + 185)) * 72.0 / 96, 2.0);
}

TEST_F(Pdf, APrinterThatCannotStartLeavesNoJobOpen)
{
    PdfPrinter printer(dir.file("missing-folder/x.pdf"));
    EXPECT_THROW(report->Print(), Exception);
    EXPECT_FALSE(printer.device->Printing());
    EXPECT_TRUE(report->TitleBands.empty());
}

TEST_F(Pdf, AnErrorInsideARunCancelsTheJobAndTheNextRunPrints)
{
    const std::string file = dir.file("again.pdf");
    PdfPrinter printer(file);
    ProbeField *probe = form.Add<ProbeField>("Probe", detail);
    probe->SetBounds(300, 10, 50, 20);
    ProbeField::hits.clear();
    ProbeField::failAt = 2;
    EXPECT_THROW(report->Print(), Exception);
    EXPECT_FALSE(printer.device->Printing());
    EXPECT_EQ(printer.device->PageNumber(), 0);
    EXPECT_TRUE(report->DetailBands.empty());
    ProbeField::failAt = 0;
    report->Print();
    EXPECT_NE(find(pdfWords(file), "SIDE"), nullptr);
}

} // namespace
