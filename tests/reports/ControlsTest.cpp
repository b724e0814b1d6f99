// Text drawing, the report controls and the printer object.
#include "reports/ReportTestUtil.h"

#include <QFontMetricsF>
#include <QPainter>
#include <gtest/gtest.h>

using namespace rt;

namespace {

QFont arial(int px)
{
    TAlFont f;
    f.Name = "Arial";
    f.Size = px * 72 / 96;
    return AlDeviceFont(f, 96);
}

TEST(AlText, WordBreaksAtBlanksOnlyNeverAfterAHyphen)
{
    const QFont font = arial(16);
    const int hyphenated = AlLineWidth("alpha-beta", font, 0);
    const int half = AlLineWidth("alpha-", font, 0);
    // Room for "alpha-" but not for "alpha-beta": the word stays whole.
    EXPECT_EQ(AlLayoutLines("alpha-beta gamma", font, half + 2, DT_WORDBREAK),
              (QStringList{"alpha-beta", "gamma"}));
    EXPECT_EQ(AlLayoutLines("alpha-beta gamma", font, hyphenated + 1, DT_WORDBREAK),
              (QStringList{"alpha-beta", "gamma"}));
    // Blanks at a break are dropped; several words share a line when they fit.
    const int two = AlLineWidth("one two", font, 0);
    const QStringList lines = AlLayoutLines("one two   three four", font, two, DT_WORDBREAK);
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], "one two");
    for (const QString &l : lines) {
        EXPECT_FALSE(l.startsWith(u' ')) << l.toStdString();
        EXPECT_FALSE(l.endsWith(u' ')) << l.toStdString();
    }
    // A word wider than the line stands alone, unbroken.
    EXPECT_EQ(AlLayoutLines("a Supercalifragilistic b", font, 20, DT_WORDBREAK),
              (QStringList{"a", "Supercalifragilistic", "b"}));
    // Line breaks: CR LF, LF and CR; no word break without the flag.
    EXPECT_EQ(AlLayoutLines("1. Intro\r\n2. Finale\r\n", font, 5, 0), (QStringList{"1. Intro", "2. Finale"}));
    EXPECT_EQ(AlLayoutLines("a\rb\nc", font, 100, DT_WORDBREAK), (QStringList{"a", "b", "c"}));
    EXPECT_EQ(AlLayoutLines("", font, 100, DT_WORDBREAK), QStringList{""});
}

TEST(AlText, TabsMeasuringAndAlignment)
{
    const QFont font = arial(16);
    const int tab = 8 * QFontMetrics(font).averageCharWidth();
    EXPECT_EQ(AlLineWidth("a\tb", font, DT_EXPANDTABS), tab + AlLineWidth("b", font, 0));
    EXPECT_EQ(AlLineWidth("\t\t", font, DT_EXPANDTABS), 2 * tab);

    TRect r(10, 20, 200, 500);
    const int h = AlDrawText(nullptr, "short\r\na much longer line", r, DT_CALCRECT, font, clBlack);
    EXPECT_EQ(h, 2 * AlLineHeight(font));
    EXPECT_EQ(r, TRect(10, 20, 10 + AlLineWidth("a much longer line", font, 0), 20 + h));

    // Right-aligned lines end at the right edge; lines below the rectangle
    // are not drawn.
    QPicture pic;
    {
        QPainter p(&pic);
        TRect box(0, 0, 300, AlLineHeight(font) * 2);
        AlDrawText(&p, "1\r\n22\r\n333", box, DT_RIGHT, font, clBlack);
    }
    PageRecorder rec(400, 400);
    {
        QPainter p(&rec);
        pic.play(&p);
    }
    ASSERT_EQ(rec.texts.size(), 2u);
    EXPECT_EQ(rec.texts[1].text, "22");
    EXPECT_NEAR(rec.texts[1].baseline.x() + QFontMetricsF(font).horizontalAdvance("22"), 300, 1.0);
    EXPECT_NEAR(rec.texts[0].baseline.y(), QFontMetrics(font).ascent(), 1.0);
}

TEST(AlText, FontsTakeTheirPointSizeOnTheDevice)
{
    TAlFont f;
    f.SetHeight(-16);
    EXPECT_EQ(f.Size, 12);
    f.SetHeight(-13);
    EXPECT_EQ(f.Size, 10);
    EXPECT_EQ(f.Height(), -13);
    f.Name = "Arial";
    f.Style = fsBold | fsItalic;
    const QFont dev = AlDeviceFont(f, 600);
    EXPECT_EQ(dev.pixelSize(), 83);   // 10 points at 600 per inch
    EXPECT_TRUE(dev.bold());
    EXPECT_TRUE(dev.italic());
    // fontconfig resolves Arial to a face with its metrics.
    EXPECT_EQ(QFontInfo(AlDeviceFont(f, 96)).family(), "Liberation Sans");
}

class Controls : public ::testing::Test {
protected:
    void SetUp() override
    {
        report = form.Add<TAlReport>("Report");
        title = form.Add<tAlBand>("Title");
        title->SetBounds(0, 0, 794, 200);
    }
    std::unique_ptr<PageRecorder> run()
    {
        report->Preview(pages);
        if (pages.Count() == 0)
            return nullptr;
        return PageRecorder::Play(*pages.GetPage(0));
    }
    ScopedPrinter printer{ScreenLike()};
    TAlReportForm form;
    TAlReport *report = nullptr;
    tAlBand *title = nullptr;
    tPages pages;
};

TEST_F(Controls, AutoSizeLabelsShrinkTowardTheirAlignment)
{
    TAlLabel *left = form.Add<TAlLabel>("L", title);
    TAlLabel *right = form.Add<TAlLabel>("R", title);
    TAlLabel *centre = form.Add<TAlLabel>("C", title);
    TAlLabel *empty = form.Add<TAlLabel>("E", title);
    for (TAlLabel *l : {left, right, centre, empty}) {
        l->SetBounds(100, 10, 200, 50);
        TAlFont f;
        f.SetHeight(-16);
        l->SetFont(f);
        l->Caption = "Wide";
    }
    empty->Caption.clear();
    right->Alignment = taRightJustify;
    centre->Alignment = taCenter;
    AlPrinter().PreviewMode = true;
    AlPrinter().CalcMeasurements();
    const QFont font = AlDeviceFont(left->Font(), 96);
    const int w = AlLineWidth("Wide", font, 0), h = AlLineHeight(font);
    TRect r(100, 10, 300, 60);
    left->AdjustPrintRect(r);
    EXPECT_EQ(r, TRect(100, 10, 100 + w, 10 + h));
    r = TRect(100, 10, 300, 60);
    right->AdjustPrintRect(r);
    EXPECT_EQ(r, TRect(300 - w, 10, 300, 10 + h));
    r = TRect(100, 10, 300, 60);
    centre->AdjustPrintRect(r);
    EXPECT_EQ(r.Left, 100);
    r = TRect(100, 10, 300, 60);
    empty->AdjustPrintRect(r);   // measured as one blank: one line high
    EXPECT_EQ(r.Height(), h);
    EXPECT_EQ(r.Width(), AlLineWidth(" ", font, 0));

    auto rec = run();
    ASSERT_TRUE(rec);
    ASSERT_EQ(rec->texts.size(), 3u);
    EXPECT_EQ(rec->texts[0].baseline.x(), 100);
    EXPECT_NEAR(rec->texts[1].baseline.x(), 300 - w, 1);
}

TEST_F(Controls, WrappedFieldsPrintTheirLinesInTheirRectangle)
{
    TAlField *tracks = form.Add<TAlField>("TracksB", title);
    tracks->SetBounds(238, 108, 120, 90);
    tracks->AutoSize = false;
    tracks->WordWrap = true;
    tracks->Alignment = taRightJustify;
    const std::string value = "Long-Title Number One Two-Three .1\r\nB .2\r\n";
    report->AddNamedValue("TracksB", value);
    auto rec = run();
    ASSERT_TRUE(rec);
    QStringList got;
    for (const TextOp &t : rec->texts) {
        got << t.text;
        EXPECT_NEAR(t.baseline.x() + QFontMetricsF(t.font).horizontalAdvance(t.text), 238 + 120, 1.0);
    }
    const QStringList want = AlLayoutLines(value, AlDeviceFont(tracks->Font(), 96), 120, DT_WORDBREAK);
    EXPECT_EQ(got, want);
    EXPECT_GE(want.size(), 3);
    EXPECT_TRUE(want.join(u' ').contains("Long-Title") && want.join(u' ').contains("Two-Three"));
    EXPECT_EQ(want.last(), "B .2");
}

TEST_F(Controls, ClipExpandAndOverwrite)
{
    title->SetBounds(0, 0, 794, 20);
    tAlBand *next = form.Add<tAlBand>("Next");
    next->SetBounds(0, 20, 794, 10);
    TAlLabel *inside = form.Add<TAlLabel>("In", title);
    inside->SetBounds(0, 0, 40, 15);
    inside->Caption = "in";
    TAlLabel *outside = form.Add<TAlLabel>("Out", title);
    outside->SetBounds(0, 40, 40, 15);
    outside->Caption = "out";
    TAlLabel *after = form.Add<TAlLabel>("After", next);
    after->SetBounds(0, 0, 40, 15);
    after->Caption = "after";

    auto baselineOf = [](PageRecorder &r, const char *t) {
        for (const TextOp &op : r.texts)
            if (op.text == t)
                return op.baseline.y();
        return -1.0;
    };
    auto rec = run();
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->AllText(), "in|after");   // the control below its band is not printed
    const qreal ascent = QFontMetrics(AlDeviceFont(after->Font(), 96)).ascent();
    EXPECT_NEAR(baselineOf(*rec, "after"), 20 + ascent, 1.0);

    title->ClipMode = cm_Expand;   // the next band starts below the lowest control
    rec = run();
    EXPECT_EQ(rec->AllText(), "in|out|after");
    const TAlFont &f = outside->Font();
    const int lineH = AlLineHeight(AlDeviceFont(f, 96));
    EXPECT_NEAR(baselineOf(*rec, "after"), 40 + lineH + 1 + ascent, 1.0);

    title->ClipMode = cm_Overwrite;
    rec = run();
    EXPECT_EQ(rec->AllText(), "in|out|after");
    EXPECT_NEAR(baselineOf(*rec, "after"), 20 + ascent, 1.0);
}

TEST_F(Controls, InvisibleControlsPrintOnlyIntoPreviewsWhenAllowed)
{
    TAlLabel *hidden = form.Add<TAlLabel>("Hidden", title);
    hidden->Caption = "hidden";
    hidden->SetBounds(0, 0, 50, 15);
    hidden->Visible = false;
    TAlLabel *never = form.Add<TAlLabel>("Never", title);
    never->Caption = "never";
    never->SetBounds(0, 20, 50, 15);
    never->Visible = false;
    never->VisibleInPreview = false;
    auto rec = run();
    EXPECT_EQ(rec->AllText(), "hidden");
    report->Print();
    auto printed = PageRecorder::Play(*printer.Device().Pages().GetPage(0));
    EXPECT_EQ(printed->AllText(), "");
}

TEST_F(Controls, AOnePixelShapeIsAVerticalLine)
{
    title->ClipMode = cm_Overwrite;   // a rectangle of no width still prints
    TAlShape *divider = form.Add<TAlShape>("Divider", title);
    divider->SetBounds(231, 76, 1, 48);
    TAlShape *frame = form.Add<TAlShape>("Frame", title);
    frame->SetBounds(40, 76, 100, 30);
    frame->Brush.Style = bsClear;
    TAlShape *masked = form.Add<TAlShape>("Masked", title);
    masked->SetBounds(40, 120, 100, 20);
    masked->Pen.Mode = pmMask;   // a white brush in mask mode leaves the page as it is
    auto rec = run();
    ASSERT_TRUE(rec);
    ASSERT_EQ(rec->lines.size(), 1u);
    const QLineF l = rec->lines[0];
    EXPECT_EQ(l.x1(), l.x2());
    EXPECT_NEAR(l.x1(), report->RealWidth(231) + 0.5, 0.01);
    EXPECT_NEAR(l.y2() - l.y1(), report->RealHeight(124) - report->RealHeight(76) - 1, 0.01);
    ASSERT_EQ(rec->rects.size(), 2u);
    EXPECT_FALSE(rec->rects[0].brush.isValid());
    EXPECT_FALSE(rec->rects[1].brush.isValid());
}

TEST_F(Controls, SystemFields)
{
    Alrep::Now = [] { return QDateTime(QDate(2024, 3, 9), QTime(7, 5, 3)); };
    TAlSysField *f = form.Add<TAlSysField>("Sys", title);
    EXPECT_EQ(f->DataType(), alr_Time);
    f->SetSysDataType(alr_DateTime);
    EXPECT_EQ(f->Caption, "#tt.mm.jjjj hh:mm:ss#");
    const std::string dateTime = f->GetValue();
    f->SetSysDataType(alr_Date);
    const std::string date = f->GetValue();
    f->SetSysDataType(alr_Time);
    const std::string time = f->GetValue();
    EXPECT_EQ(dateTime, date + " " + time);
    EXPECT_NE(time.find("07"), std::string::npos);
    EXPECT_NE(time.find("05"), std::string::npos);
    EXPECT_NE(time.find("03"), std::string::npos);
    f->SetSysDataType(alr_Count);
    EXPECT_EQ(f->GetValue(), "E");
    f->SetSysDataType(alr_Formname);
    f->Caption = "Cover.rep";
    EXPECT_EQ(f->GetValue(), "Cover.rep");
    Alrep::Now = [] { return QDateTime::currentDateTime(); };

    // Page numbers while three pages are recorded, and row counters.
    title->SetBandType(alr_Detail);
    title->SetBounds(0, 0, 794, 600);
    f->SetSysDataType(alr_PageNum);
    TAlSysField *counter = form.Add<TAlSysField>("Counter", title);
    counter->SetSysDataType(alr_Counter);
    counter->SetBounds(100, 0, 50, 15);
    TAlField *rows = form.Add<TAlField>("Rows", title);
    rows->SetBounds(200, 0, 50, 15);
    for (const char *v : {"a", "b", "c"})
        report->AddNamedValue("Rows", v);
    report->Preview(pages);
    ASSERT_EQ(pages.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        auto rec = PageRecorder::Play(*pages.GetPage(i));
        const std::string n = std::to_string(i + 1);
        EXPECT_EQ(rec->AllText().toStdString(), n + "|" + n + "|" + "abc"[i]);
    }
    EXPECT_EQ(pages.GetPage(-1), nullptr);
    EXPECT_EQ(pages.GetPage(3), nullptr);
}

TEST_F(Controls, APreviewThatDrawsNothingHasNoPage)
{
    report->Preview(pages);
    EXPECT_EQ(pages.Count(), 0);
    EXPECT_EQ(AlPrinter().GetPageCount(), 0);
}

TEST_F(Controls, BandOrderAndDerivedBands)
{
    class OtherBand : public tAlBand {
    public:
        using tAlBand::tAlBand;
    };
    title->SetBounds(0, 50, 794, 10);
    tAlBand *same = form.Add<tAlBand>("Same");   // equal Top: after Title
    same->SetBounds(0, 50, 794, 10);
    tAlBand *above = form.Add<tAlBand>("Above");
    above->SetBounds(0, 0, 794, 10);
    OtherBand *other = form.Add<OtherBand>("Other");
    other->SetBounds(0, 0, 794, 10);
    for (tAlBand *b : std::initializer_list<tAlBand *>{title, same, above, other}) {
        TAlLabel *l = form.Add<TAlLabel>(b->Name() + "Lbl", b);
        l->Caption = b->Name();
        l->SetBounds(0, 0, 80, 10);
    }
    auto rec = run();
    EXPECT_EQ(rec->AllText(), "Above|Title|Same");
}

TEST_F(Controls, MarginsAndNamesAreChecked)
{
    report->SetLeftMargin(210);
    EXPECT_EQ(report->LeftMarginMM(), 0);
    report->SetLeftMargin(209);
    EXPECT_EQ(report->LeftMarginMM(), 209);
    report->SetOrientation(poLandscape);
    report->SetRightMargin(209);
    EXPECT_EQ(report->RightMarginMM(), 209);
    report->SetRightMargin(-1);
    EXPECT_EQ(report->RightMarginMM(), 209);
    EXPECT_EQ(report->GetPaperWidth(), 297);
    report->SetOrientation(poPortrait);
    EXPECT_EQ(AlPrinter().Orientation, poPortrait);

    title->SetColumns(0);
    EXPECT_EQ(title->Columns(), 1);
    TAlLabel *a = form.Add<TAlLabel>("Title", title);   // a band has that name
    EXPECT_EQ(a->Name(), "Title_");
    TAlLabel *b = form.Add<TAlLabel>("Title", title);
    EXPECT_EQ(b->Name(), "Title__");
    EXPECT_EQ(b->BaseName(), "Title");
    TAlLabel *c = form.Add<TAlLabel>("___", title);
    EXPECT_EQ(c->BaseName(), "");
}

} // namespace
