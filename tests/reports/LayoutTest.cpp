// The layout engine with injected printer measurements.
#include "reports/ReportTestUtil.h"

#include <gtest/gtest.h>

using namespace rt;

namespace {

class Layout : public ::testing::Test {
protected:
    void SetUp() override
    {
        ProbeField::hits.clear();
        ProbeField::failAt = 0;
        report = form.Add<TAlReport>("Report");
    }
    tAlBand *band(const char *name, tAlBandType type, int top, int height)
    {
        tAlBand *b = form.Add<tAlBand>(name);
        b->SetBandType(type);
        b->SetBounds(0, top, 794, height);
        return b;
    }
    ProbeField *probe(const char *name, tAlBand *parent, int left, int top, int w = 50, int h = 10)
    {
        ProbeField *f = form.Add<ProbeField>(name, parent);
        f->SetBounds(left, top, w, h);
        f->AutoSize = false;
        return f;
    }
    std::vector<Hit> hitsOf(const std::string &name) const
    {
        std::vector<Hit> out;
        for (const Hit &h : ProbeField::hits)
            if (h.name == name)
                out.push_back(h);
        return out;
    }
    // A detail band of the given height with a field "Key" that a link groups
    // by, with a group header and footer of height 10 holding "GHx" and "GFx".
    TAlDetailLink *groupedDetail(int height)
    {
        tAlBand *detail = band("Detail", alr_Detail, 0, height);
        tAlBand *gh = band("GH", alr_GroupHeader, height, 10);
        tAlBand *gf = band("GF", alr_GroupFooter, height + 10, 10);
        ProbeField *key = probe("Key", detail, 0, 0);
        probe("GHx", gh, 0, 0);
        probe("GFx", gf, 0, 0);
        TAlDetailLink *link = form.Add<TAlDetailLink>("Link");
        link->GroupHeader = gh;
        link->GroupFooter = gf;
        link->DataSource = key;
        link->SetDetailBand(detail);
        return link;
    }
    std::string sequence() const
    {
        std::string s;
        for (const Hit &h : ProbeField::hits)
            s += (s.empty() ? "" : " ") + h.name + "@" + std::to_string(h.page);
        return s;
    }
    TAlReportForm form;
    TAlReport *report = nullptr;
    tPages pages;
};

TEST(Conversions, RoundsTiesToEven)
{
    EXPECT_EQ(AlRound(2.5L), 2);
    EXPECT_EQ(AlRound(3.5L), 4);
    EXPECT_EQ(AlRound(-2.5L), -2);
    EXPECT_EQ(AlRound(777.6L), 778);
    EXPECT_EQ(AlMulDiv(13, 72, 96), 10);   // 9.75
    EXPECT_EQ(AlMulDiv(-12, 72, 96), -9);
}

TEST_F(Layout, ConversionsOfThePreviewAndThePrinter)
{
    ScopedPrinter printer(Laser());
    TAlPrinter &p = AlPrinter();
    // Preview: screen resolution, the page from the paper's corner.
    p.PreviewMode = true;
    p.CalcMeasurements();
    EXPECT_EQ(p.PageWidth, 778);             // Round(4860 x 96 / 600)
    EXPECT_EQ(p.PageHeight, AlRound((6776 + 120) * 96 / 600.0L));
    EXPECT_EQ(p.OffsetX, 0);
    EXPECT_EQ(p.UnprintableRight, 0);
    EXPECT_EQ(report->RealHeight(2), 2);
    EXPECT_EQ(report->RealHeight(3), 4);     // 3.5 is a tie: up to the even 4
    EXPECT_EQ(report->RealHeight(485), 486);
    // Printer: device pixels at 600 per inch.
    p.PreviewMode = false;
    p.CalcMeasurements();
    EXPECT_EQ(p.DpiX, 600);
    EXPECT_EQ(p.PageWidth, 4760);
    EXPECT_EQ(p.OffsetX, 100);
    EXPECT_EQ(p.UnprintableRight, 100);
    EXPECT_EQ(p.UnprintableBottom, 120);
    EXPECT_EQ(report->RealHeight(96), 600);  // 600.5 is a tie: stays at 600
    EXPECT_EQ(report->RealHeight(1), 7);     // 6.75
    EXPECT_EQ(report->RealWidth(48), 300);   // 300.5 -> 300
    report->SetLeftMargin(10);
    EXPECT_EQ(report->LeftMargPix(), 237 - 100);  // Round(236.22 + 0.5) - offset
    EXPECT_EQ(report->MMToPix(60), 1418);         // Round(1417.32 + 0.5)
    // Landscape swaps the measured page at once.
    p.PreviewMode = true;
    p.SetOrientation(poLandscape);
    EXPECT_EQ(p.PageWidth, AlRound((6776 + 120) * 96 / 600.0L));
    EXPECT_EQ(p.PageHeight, AlRound((4760 + 100) * 96 / 600.0L));
    p.SetOrientation(poPortrait);
}

TEST_F(Layout, OneTitleBandOf485RecordsOnePage)
{
    ScopedPrinter printer(ScreenLike());
    tAlBand *title = band("Title", alr_Title, 0, 485);
    title->ClipMode = cm_Overwrite;
    probe("Whole", title, 0, 0, 794, 485);
    report->Preview(pages);
    ASSERT_EQ(pages.Count(), 1);
    EXPECT_EQ(pages.GetPage(0)->Width(), 794);
    const auto hits = hitsOf("Whole");
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].rect, TRect(0, 0, 794, 486));   // y 0 to 485 inclusive
    EXPECT_FALSE(pages.GetPage(0)->Drawing());
    EXPECT_EQ(AlPrinter().CurrentPage(), nullptr);
    EXPECT_TRUE(report->TitleBands.empty());   // lists exist only during a run
}

TEST_F(Layout, NamedValuesFillFieldsAndMissingOnesPrintTilde)
{
    ScopedPrinter printer(ScreenLike());
    tAlBand *detail = band("Detail", alr_Detail, 0, 20);
    probe("TracksA", detail, 0, 0);
    probe("Times", detail, 100, 0);
    probe("Empty", detail, 200, 0);
    probe("Single", detail, 300, 0);
    std::vector<std::string> log;
    report->SetLog([&](const std::string &s) { log.push_back(s); });
    for (const char *v : {"one", "two", "three"})
        report->AddNamedValue("tracksa", v);
    report->AddNamedValue("TIMES", "1:00");
    report->AddNamedValue("Times", "2:00");
    report->AddNamedValue("Single", "only");
    report->AddNamedValue("Nowhere", "lost");
    ASSERT_EQ(log.size(), 8u);
    EXPECT_EQ(log[0], "AddNamedValue(tracksa) = one");
    EXPECT_EQ(log[6], "AddNamedValue(Nowhere) = lost");
    EXPECT_EQ(log[7], "AlField Nowhere = not found for value: lost");

    report->Preview(pages);
    auto col = [&](const char *name) {
        std::vector<std::string> v;
        for (const Hit &h : hitsOf(name))
            v.push_back(h.value);
        return v;
    };
    EXPECT_EQ(col("TracksA"), (std::vector<std::string>{"one", "two", "three"}));
    EXPECT_EQ(col("Times"), (std::vector<std::string>{"1:00", "2:00", "~"}));
    EXPECT_EQ(col("Empty"), (std::vector<std::string>{"~", "~", "~"}));
    EXPECT_EQ(col("Single"), (std::vector<std::string>{"only", "only", "only"}));
    // Rows follow each other down the page.
    const auto rows = hitsOf("TracksA");
    EXPECT_EQ(rows[1].rect.Top - rows[0].rect.Top, report->RealHeight(20));

    // A second run starts from the first value again; ClearData empties.
    ProbeField::hits.clear();
    report->Preview(pages);
    EXPECT_EQ(col("TracksA").front(), "one");
    report->ClearData();
    ProbeField::hits.clear();
    report->Preview(pages);
    EXPECT_EQ(col("TracksA"), (std::vector<std::string>{"~"}));
}

TEST_F(Layout, FieldNamesCasesModesAndStandIns)
{
    ScopedPrinter printer(ScreenLike());
    tAlBand *title = band("Title", alr_Title, 0, 20);
    TAlField *first = form.Add<TAlField>("TracksA", title);
    TAlField *twin = form.Add<TAlField>("TRACKSA", title);   // renamed: taken
    EXPECT_EQ(twin->Name(), "TRACKSA_");
    EXPECT_EQ(twin->BaseName(), "TRACKSA");
    report->AddNamedValue("tracksa", "x");
    EXPECT_EQ(first->Values.size(), 1u);
    EXPECT_TRUE(twin->Values.empty());
    // The stand-in prints the values of the field it is named after.
    EXPECT_EQ(twin->GetValue(), "x");
    first->ClearData();
    EXPECT_EQ(twin->GetValue(), "~");
    TAlField *orphan = form.Add<TAlField>("Lonely_", title);
    EXPECT_EQ(orphan->GetValue(), "~");

    first->Caption = "TracksA caption";
    TAlReport::SetDebugMode(true);
    EXPECT_EQ(first->GetValue(), "[TRACKSA]");
    TAlReport::SetCaptionMode(true);
    EXPECT_EQ(first->GetValue(), "TracksA caption");
    // A report made later switches both modes off again.
    form.Add<TAlReport>("Other");
    EXPECT_FALSE(TAlReport::GetDebugMode());
    EXPECT_FALSE(TAlReport::GetCaptionMode());
    EXPECT_EQ(first->GetValue(), "~");
}

TEST_F(Layout, ColumnsSitSideBySideAtTheirPitch)
{
    ScopedPrinter printer(Laser());
    report->SetLeftMargin(10);
    tAlBand *detail = band("Detail", alr_Detail, 0, 30);
    detail->SetColumns(3);
    detail->SetColWidth(60);
    probe("Cell", detail, 4, 2);
    for (const char *v : {"a", "b", "c", "d", "e"})
        report->AddNamedValue("Cell", v);
    report->Print();
    const auto hits = hitsOf("Cell");
    ASSERT_EQ(hits.size(), 5u);
    const int x0 = report->LeftMargPix() + report->RealWidth(4);
    // The offset of each column is converted from millimetres as a whole.
    const int pitch = report->MMToPix(60), pitch2 = report->MMToPix(120);
    EXPECT_EQ(pitch2, 2 * pitch - 1);
    const int y0 = -AlPrinter().OffsetY + report->RealHeight(2);
    const int rowStep = report->RealHeight(30);
    const std::vector<std::pair<int, int>> want = {
        {x0, y0}, {x0 + pitch, y0}, {x0 + pitch2, y0}, {x0, y0 + rowStep}, {x0 + pitch, y0 + rowStep}};
    for (size_t i = 0; i < hits.size(); ++i) {
        EXPECT_EQ(hits[i].rect.Left, want[i].first) << i;
        EXPECT_EQ(hits[i].rect.Top, want[i].second) << i;
    }
    EXPECT_EQ(hits[4].value, "e");
}

TEST_F(Layout, TitleBandWithTwoColumnsRepeatsItsContents)
{
    ScopedPrinter printer(ScreenLike());
    tAlBand *title = band("Title", alr_Title, 0, 30);
    title->SetBandType(alr_Detail);   // columns are kept only by detail bands
    title->SetColumns(2);
    title->SetColWidth(50);
    title->SetBandType(alr_Title);
    EXPECT_EQ(title->Columns(), 1);
    EXPECT_EQ(title->Color, Alrep::AlBandColors[alr_Title]);
    // A title band given columns afterwards prints them all with the same values.
    title->SetColumns(2);
    title->SetColWidth(50);
    probe("Name", title, 0, 0);
    report->AddNamedValue("Name", "x");
    report->AddNamedValue("Name", "y");
    report->Preview(pages);
    const auto hits = hitsOf("Name");
    ASSERT_EQ(hits.size(), 2u);
    EXPECT_EQ(hits[0].value, "x");
    EXPECT_EQ(hits[1].value, "x");
    EXPECT_EQ(hits[1].rect.Left - hits[0].rect.Left, report->MMToPix(50));
    EXPECT_EQ(hits[1].rect.Top, hits[0].rect.Top);
}

TEST_F(Layout, PageBreaksHeadersAndFooters)
{
    ScopedPrinter printer(ScreenLike(400, 300));
    tAlBand *ph1 = band("PHAll", alr_PageHeader, 0, 20);
    tAlBand *ph2 = band("PHFirst", alr_PageHeader, 20, 20);
    ph2->SetFirstPageHeaderOnly(true);
    tAlBand *ph3 = band("PHLater", alr_PageHeader, 40, 20);
    ph3->SetNotFirstPageHeader(true);
    ph3->SetFirstPageHeaderOnly(true);   // the two never both hold
    EXPECT_FALSE(ph3->NotFirstPageHeader());
    ph3->SetNotFirstPageHeader(true);
    EXPECT_FALSE(ph3->FirstPageHeaderOnly());
    tAlBand *dh = band("DH", alr_DetailHeader, 60, 20);
    tAlBand *detail = band("Detail", alr_Detail, 80, 50);
    tAlBand *df = band("DF", alr_DetailFooter, 130, 20);
    tAlBand *pf = band("PF", alr_PageFooter, 150, 30);
    probe("H1", ph1, 0, 0);
    probe("H2", ph2, 0, 0);
    probe("H3", ph3, 0, 0);
    probe("DHx", dh, 0, 0);
    probe("Row", detail, 0, 0);
    probe("DFx", df, 0, 0);
    probe("F", pf, 0, 0);
    for (int i = 1; i <= 6; ++i)
        report->AddNamedValue("Row", std::to_string(i));

    report->Preview(pages);
    // Page 1: 300 high, the footer 30 -> bottom 269; headers to 40, the
    // detail header to 60, four rows of 50 (to 260), the fifth would reach 310.
    ASSERT_EQ(pages.Count(), 2);
    EXPECT_EQ(sequence(), "F@1 H1@1 H2@1 DHx@1 Row@1 Row@1 Row@1 Row@1 "
                          "F@1 H1@2 H3@2 DHx@2 Row@2 Row@2 DFx@2 F@2");
    const int bottom = 300 - 1 - report->RealHeight(30);
    for (const Hit &h : hitsOf("F"))
        EXPECT_EQ(h.rect.Top, bottom);
    EXPECT_EQ(hitsOf("H1")[1].rect.Top, 0);
    EXPECT_EQ(hitsOf("DHx")[1].rect.Top, 2 * report->RealHeight(20));
}

TEST_F(Layout, ThePrinterStartsPageOneWithoutANewPageCall)
{
    ScopedPrinter printer(Laser());
    tAlBand *detail = band("Detail", alr_Detail, 0, 600);
    probe("Row", detail, 0, 0);
    report->AddNamedValue("Row", "1");
    report->Print();
    EXPECT_EQ(printer.Device().Calls(), (std::vector<std::string>{"BeginDoc", "EndDoc"}));
    report->AddNamedValue("Row", "2");
    report->AddNamedValue("Row", "3");   // rows of 3750 pixels: three pages
    report->ReportTitle = "TAPECOVER";
    report->Print();
    EXPECT_EQ(printer.Device().Calls(),
              (std::vector<std::string>{"BeginDoc", "EndDoc", "BeginDoc", "NewPage", "NewPage", "EndDoc"}));
    EXPECT_EQ(printer.Device().Pages().Count(), 3);
    EXPECT_EQ(printer.Device().Title(), "TAPECOVER");
    EXPECT_EQ(hitsOf("Row").back().page, 3);
}

TEST_F(Layout, DetailFooterWithoutHeaderAndDisabledBands)
{
    ScopedPrinter printer(ScreenLike());
    tAlBand *d1 = band("D1", alr_Detail, 0, 10);
    tAlBand *d1f = band("D1F", alr_DetailFooter, 10, 10);
    tAlBand *d2 = band("D2", alr_Detail, 20, 10);
    tAlBand *d2h = band("D2H", alr_DetailHeader, 15, 10);   // sorted above D2
    tAlBand *pf = band("PF", alr_PageFooter, 40, 10);
    probe("A", d1, 0, 0);
    probe("AF", d1f, 0, 0);
    probe("B", d2, 0, 0);
    probe("BH", d2h, 0, 0);
    probe("F", pf, 0, 0);
    report->AddNamedValue("A", "1");
    report->AddNamedValue("A", "2");
    report->SetBandEnable("d2", false);
    pf->Enabled = false;   // page footers print whatever Enabled says
    report->Preview(pages);
    EXPECT_EQ(sequence(), "F@1 A@1 A@1 AF@1 F@1");
    EXPECT_EQ(d1->Tag, 1);
    EXPECT_EQ(d2->Tag, d2h->Tag);
}

TEST_F(Layout, GroupLinksPrintHeadersAndFootersAroundGroups)
{
    ScopedPrinter printer(ScreenLike());
    TAlDetailLink *link = groupedDetail(10);
    tAlBand *detail = link->GroupBand();
    tAlBand *gh = link->GroupHeader;
    EXPECT_EQ(detail->DetailLink, link);
    for (const char *v : {"A", "A", "B", "B", "B"})
        report->AddNamedValue("Key", v);
    report->Preview(pages);
    std::string got;
    for (const Hit &h : ProbeField::hits)
        got += (got.empty() ? "" : " ") + (h.name == "Key" ? h.value : h.name);
    EXPECT_EQ(got, "GHx A A GFx GHx B B B GFx");

    // One value: a header, and no footer.
    ProbeField::hits.clear();
    report->ClearData();
    report->AddNamedValue("Key", "solo");
    report->Preview(pages);
    EXPECT_EQ(sequence(), "GHx@1 Key@1");

    // Removing the header band clears the link's reference to it.
    form.Remove(gh);
    EXPECT_EQ(link->GroupHeader, nullptr);
    form.Remove(link);
    EXPECT_EQ(detail->DetailLink, nullptr);
}

TEST_F(Layout, AGroupContinuingOnANewPageGetsItsHeaderAgain)
{
    ScopedPrinter printer(ScreenLike(400, 100));
    groupedDetail(30);
    for (int i = 0; i < 5; ++i)
        report->AddNamedValue("Key", "A");
    report->Preview(pages);
    EXPECT_EQ(sequence(), "GHx@1 Key@1 Key@1 GHx@2 Key@2 Key@2 GHx@3 Key@3 GFx@3");
    EXPECT_EQ(hitsOf("GHx")[1].rect.Top, 0);
}

TEST_F(Layout, AltColorFillsEverySecondRow)
{
    ScopedPrinter printer(ScreenLike());
    tAlBand *detail = band("Detail", alr_Detail, 0, 10);
    detail->AltColor = true;
    detail->Color = clSilver;
    TAlField *f = form.Add<TAlField>("Row", detail);
    f->SetBounds(0, 0, 40, 10);
    for (int i = 1; i <= 6; ++i)
        report->AddNamedValue("Row", std::to_string(i));
    for (int run = 0; run < 2; ++run) {
        report->Preview(pages);
        ASSERT_EQ(pages.Count(), 1);
        auto rec = PageRecorder::Play(*pages.GetPage(0));
        std::vector<int> filledRows;
        for (const RectOp &r : rec->rects)
            if (r.brush == ColorToQColor(clSilver))
                filledRows.push_back(int(r.rect.top()) / report->RealHeight(10) + 1);
        EXPECT_EQ(filledRows, (std::vector<int>{2, 4, 6})) << "run " << run;
        EXPECT_EQ(rec->AllText(), "1|2|3|4|5|6");
    }
}

// ---- mends ------------------------------------------------------------------------

TEST_F(Layout, BandsTallerThanThePageEndAndPrintPastTheBottom)
{
    ScopedPrinter printer(ScreenLike(400, 300));
    tAlBand *title = band("Title", alr_Title, 0, 1000);
    probe("T", title, 0, 0);
    tAlBand *detail = band("Detail", alr_Detail, 1000, 700);
    probe("Row", detail, 0, 0);
    tAlBand *pf = band("PF", alr_PageFooter, 2000, 400);   // footers taller than the page
    probe("F", pf, 0, 0);
    for (const char *v : {"1", "2", "3"})
        report->AddNamedValue("Row", v);
    report->Preview(pages);
    EXPECT_EQ(pages.Count(), 4);
    EXPECT_EQ(hitsOf("Row").size(), 3u);
    EXPECT_EQ(hitsOf("Row")[2].page, 4);
}

TEST_F(Layout, AGroupLinkThatNamesItsOwnBandDoesNotRecurse)
{
    ScopedPrinter printer(ScreenLike());
    tAlBand *detail = band("Detail", alr_Detail, 0, 10);
    ProbeField *key = probe("Key", detail, 0, 0);
    TAlDetailLink *link = form.Add<TAlDetailLink>("Link");
    link->GroupHeader = detail;
    link->GroupFooter = detail;
    link->DataSource = key;
    link->SetDetailBand(detail);
    for (const char *v : {"A", "B"})
        report->AddNamedValue("Key", v);
    report->Preview(pages);
    EXPECT_EQ(hitsOf("Key").size(), 2u);
}

TEST_F(Layout, APrinterErrorCancelsTheJobAndFreesTheLists)
{
    ScopedPrinter printer(Laser());
    tAlBand *detail = band("Detail", alr_Detail, 0, 700);
    probe("Row", detail, 0, 0);
    for (const char *v : {"1", "2", "3"})
        report->AddNamedValue("Row", v);
    printer.Device().FailAtPage(2);
    EXPECT_THROW(report->Print(), Exception);
    EXPECT_EQ(printer.Device().Calls(), (std::vector<std::string>{"BeginDoc", "NewPage", "AbortDoc"}));
    EXPECT_FALSE(printer.Device().Printing());
    EXPECT_TRUE(report->DetailBands.empty());
    // The next run works.
    printer.Device().FailAtPage(0);
    ProbeField::hits.clear();
    report->Print();
    EXPECT_EQ(hitsOf("Row").size(), 3u);
}

TEST_F(Layout, AFailedPreviewFreesItsPages)
{
    ScopedPrinter printer(ScreenLike(400, 300));
    tAlBand *detail = band("Detail", alr_Detail, 0, 200);
    probe("Row", detail, 0, 0);
    for (const char *v : {"1", "2", "3"})
        report->AddNamedValue("Row", v);
    ProbeField::failAt = 3;
    try {
        report->Preview(pages);
        FAIL() << "no error";
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message, "probe failed");
    }
    EXPECT_EQ(pages.Count(), 0);
    EXPECT_EQ(AlPrinter().CurrentPage(), nullptr);
    EXPECT_TRUE(report->DetailBands.empty());
}

TEST_F(Layout, APageListThatGoesAwayIsNoLongerUsed)
{
    ScopedPrinter printer(ScreenLike());
    tAlBand *title = band("Title", alr_Title, 0, 20);
    probe("T", title, 0, 0);
    tPages *own = AlPrinter().Pages();
    {
        tPages shortLived;
        report->Preview(shortLived);
        EXPECT_EQ(AlPrinter().Pages(), &shortLived);
    }
    EXPECT_EQ(AlPrinter().Pages(), own);
    EXPECT_NO_THROW(AlPrinter().GetCanvas());   // draws into the printer's own list
    AlPrinter().EndDoc();
}

} // namespace
