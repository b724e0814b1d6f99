// Stored report layouts: loading, errors, detail links and the picture
// control read from a layout.
#include "common/TestUtil.h"
#include "platform/ScriptedDialogs.h"
#include "reports/AlImage.h"
#include "reports/AlLoad.h"
#include "reports/Report.h"
#include "reports/ReportTestUtil.h"

#include <QImage>
#include <QPainter>
#include <filesystem>
#include <gtest/gtest.h>

using namespace rt;

namespace {

std::string seed(const char *name)
{
    return testutil::readFile(std::string(MIXDECK_SOURCE_DIR) + "/fuzz/seeds/reportlayout/" + name);
}

class Load : public ::testing::Test {
protected:
    testutil::TempDir dir;
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped{dialogs};
};

TEST_F(Load, StoredCoverLayoutPrintsItsFileName)
{
    const std::string file = dir.file("Cover.rep");
    testutil::writeFile(file, seed("cover.rep"));
    TAlReport *report = nullptr;
    std::unique_ptr<TAlReportForm> form;
    ASSERT_TRUE(LoadReport(file, report, form));
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(dialogs.Calls.empty());
    EXPECT_EQ(form->Name, "CoverForm");
    EXPECT_EQ(report, form->FindComponent("Cover"));
    EXPECT_EQ(report->ReportTitle, "TAPECOVER");
    auto *band = dynamic_cast<tAlBand *>(form->FindComponent("tAlBand1"));
    ASSERT_NE(band, nullptr);
    EXPECT_EQ(band->Height, 485);
    EXPECT_EQ(band->ClipMode, cm_Overwrite);
    ASSERT_EQ(band->Controls().size(), 4u);
    auto *frame = dynamic_cast<TAlShape *>(band->Controls()[0]);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(TRect(frame->Left, frame->Top, frame->Left + frame->Width, frame->Top + frame->Height),
              TRect(40, 76, 429, 441));
    EXPECT_EQ(frame->Brush.Style, bsClear);
    EXPECT_EQ(frame->Pen.Width, 3);
    auto *side = dynamic_cast<TAlLabel *>(band->Controls()[1]);
    EXPECT_EQ(side->Caption, "SIDE A");
    EXPECT_EQ(side->Font().Name, "Arial");
    EXPECT_EQ(side->Font().Height(), -16);
    EXPECT_EQ(side->Font().Style, fsBold);
    auto *tracks = dynamic_cast<TAlField *>(band->Controls()[2]);
    EXPECT_FALSE(tracks->AutoSize);
    EXPECT_TRUE(tracks->WordWrap);
    EXPECT_EQ(tracks->Font().Name, "Arial");   // the form's font

    ScopedPrinter printer(ScreenLike());
    report->AddNamedValue("TracksA", "1. Intro");
    tPages pages;
    report->Preview(pages);
    ASSERT_EQ(pages.Count(), 1);
    const QString text = PageRecorder::Play(*pages.GetPage(0))->AllText();
    EXPECT_EQ(text, "SIDE A|1. Intro|Cover.rep");
}

TEST_F(Load, StringsNumbersAndSets)
{
    auto form = ReadReportLayout("object F: TAlReportForm\n object B: tAlBand\n"
                                 "  object L: TAlLabel\n   Caption = 'it''s CD N.'#176' 1'#13#10'x'\n"
                                 "   Left = -5\n   Top = $10\n   Color = $00FF00\n   Font.Style = [ fsBold , fsItalic ]\n"
                                 "  end\n end\nend");
    auto *l = dynamic_cast<TAlLabel *>(form->FindComponent("L"));
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->Caption, "it's CD N.\xB0 1\r\nx");
    EXPECT_EQ(l->Left, -5);
    EXPECT_EQ(l->Top, 16);
    EXPECT_EQ(l->Color, clLime);
    EXPECT_EQ(l->Font().Style, fsBold | fsItalic);
    // No report in the form: loaded, but not a report.
    const std::string file = dir.file("noreport.rep");
    testutil::writeFile(file, "object F: TAlReportForm\r\nend\r\n");
    TAlReport *report = nullptr;
    std::unique_ptr<TAlReportForm> loaded;
    EXPECT_FALSE(LoadReport(file, report, loaded));
    EXPECT_NE(loaded, nullptr);
    EXPECT_EQ(report, nullptr);
    EXPECT_TRUE(dialogs.Calls.empty());
}

TEST_F(Load, FaultyLayoutsShowTheirErrorAndKeepTheOldForm)
{
    struct Case {
        const char *text;
        const char *message;
    };
    const Case cases[] = {
        {"", "line 1: A report form is expected"},
        {"object F TAlReportForm\nend", "line 1: \":\" expected"},
        {"object F: TAlReportForm\n object X: TButton\n end\nend", "line 2: Class TButton not found"},
        {"object F: TAlReportForm\n object B: tAlBand\n  Size = 3\n end\nend", "line 3: Property Size does not exist"},
        {"object F: TAlReportForm\n object B: tAlBand\n  Height = 'x'\n end\nend", "line 3: Invalid value for Height"},
        {"object F: TAlReportForm\n object B: tAlBand\n  Height = 99999\n end\nend", "line 3: Invalid value for Height"},
        {"object F: TAlReportForm\n object B: tAlBand\n  Height = 99999999999999999999\n end\nend", "line 3: Invalid number"},
        {"object F: TAlReportForm\n object B: tAlBand\n  Height = 5 6\n end\nend", "line 3: Text after the value"},
        {"object F: TAlReportForm\n object B: tAlBand\n  Caption = 'open\n end\nend", "line 3: Unterminated string"},
        {"object F: TAlReportForm\n object B: tAlBand\n  object C: tAlBand\n  end\n end\nend", "line 3: A band cannot hold"},
        {"object F: TAlReportForm\n object L: TAlLabel\n  object C: TAlLabel\n  end\n end\nend", "line 3: A TAlLabel cannot hold"},
        {"object F: TAlReportForm\n object B: tAlBand\n end", "line 3: \"end\" expected"},
        {"object F: TAlReportForm\nend\nobject G: TAlReportForm\nend", "line 3: Text after the end"},
        {"object F: TAlReportForm\n object K: TAlDetailLink\n  GroupBand = Nowhere\n end\nend", "line 3: Component Nowhere not found"},
        {"object F: TAlReportForm\n object R: TAlReport\n end\n object K: TAlDetailLink\n  GroupBand = R\n end\nend", "line 5: Invalid value for GroupBand"},
        {"object F: TAlReportForm\n object I: tAlImage\n  Picture.Data = {424D0}\n end\nend", "line 3: Invalid binary value"},
        {"object F: TAlReportForm\n object I: tAlImage\n  Picture.Data = {424D0000}\n end\nend", "line 3: Invalid picture"},
        {"object F: TAlReportForm\n object I: tAlImage\n  Picture.Data = {47494638}\n end\nend", "line 3: Unknown picture format"},
        {"object F: TAlReportForm\n object R: TAlReport\n end\n object R: TAlReport\n end\nend", "line 4: A component named R already exists"},
    };
    const std::string file = dir.file("bad.rep");
    TAlReportForm old;
    TAlReport *oldReport = old.Add<TAlReport>("Old");
    for (const Case &c : cases) {
        testutil::writeFile(file, c.text);
        std::unique_ptr<TAlReportForm> form;
        TAlReport *report = oldReport;
        dialogs.Calls.clear();
        EXPECT_FALSE(LoadReport(file, report, form)) << c.text;
        EXPECT_EQ(form, nullptr);
        EXPECT_EQ(report, oldReport);
        ASSERT_EQ(dialogs.MessageBoxes().size(), 1u) << c.text;
        const auto box = dialogs.MessageBoxes()[0];
        EXPECT_NE(box.text.find(c.message), std::string::npos) << box.text;
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.icon, Dialogs::Icon::Error);
    }
    // Nesting beyond the limit.
    std::string deep = "object F: TAlReportForm\n";
    for (int i = 0; i < 40; ++i)
        deep += "object B" + std::to_string(i) + ": tAlBand\n";
    EXPECT_THROW(ReadReportLayout(deep), Exception);
}

TEST_F(Load, MissingAndOversizedFiles)
{
    TAlReport *report = nullptr;
    std::unique_ptr<TAlReportForm> form;
    EXPECT_FALSE(LoadReport(dir.file("none.rep"), report, form));
    EXPECT_TRUE(dialogs.Calls.empty());   // silently

    // A huge file is refused by its size, before it is read.
    const std::string big = dir.file("big.rep");
    testutil::writeFile(big, "object F: TAlReportForm\n");
    std::filesystem::resize_file(big, std::uintmax_t(1) << 40);
    EXPECT_FALSE(LoadReport(big, report, form));
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_EQ(dialogs.MessageBoxes()[0].text, "The report layout is too large");
    EXPECT_EQ(form, nullptr);
}

TEST_F(Load, FormsTheProgramMakes)
{
    TAlReport *report = nullptr;
    std::unique_ptr<TAlReportForm> form;
    EXPECT_TRUE(LoadReportRes([] { return std::make_unique<TTapeCoverRepForm>(); }, report, form));
    EXPECT_EQ(report, static_cast<TTapeCoverRepForm *>(form.get())->TapeCoverReport());
    EXPECT_FALSE(LoadReportRes([]() -> std::unique_ptr<TAlReportForm> { throw Exception("no such form"); },
                               report, form));
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    EXPECT_EQ(dialogs.MessageBoxes()[0].text, "no such form");
    EXPECT_NE(form, nullptr);   // the earlier form stays
}

// Rows A, A, B, B, B grouped by their value: header before rows 1 and 3,
// footer after rows 2 and 5.
TEST_F(Load, DetailLinkFromALayoutGroupsRows)
{
    auto form = ReadReportLayout(seed("grouped.rep"));
    auto *head = dynamic_cast<tAlBand *>(form->FindComponent("Head"));
    auto *foot = dynamic_cast<tAlBand *>(form->FindComponent("Foot"));
    auto *rows = dynamic_cast<tAlBand *>(form->FindComponent("Rows"));
    auto *link = dynamic_cast<TAlDetailLink *>(form->FindComponent("Link"));
    ASSERT_TRUE(head && foot && rows && link);
    EXPECT_EQ(rows->DetailLink, link);
    EXPECT_EQ(link->GroupBand(), rows);
    EXPECT_EQ(link->DataSource, form->FindComponent("Key"));
    form->Add<TAlLabel>("H", head)->Caption = "H";
    form->Add<TAlLabel>("F", foot)->Caption = "F";
    TAlReport *report = FindReportComponent(*form);
    for (const char *v : {"A", "A", "B", "B", "B"})
        report->AddNamedValue("Key", v);
    ScopedPrinter printer(ScreenLike());
    tPages pages;
    report->Preview(pages);
    ASSERT_EQ(pages.Count(), 1);
    EXPECT_EQ(PageRecorder::Play(*pages.GetPage(0))->AllText(), "H|A|A|F|H|B|B|B|F");
}

// The picture control prints its bitmap, or only its dash-dot frame for an
// icon or no picture.
TEST_F(Load, PictureControlPrintsBitmapOrFrame)
{
    auto form = ReadReportLayout(seed("grouped.rep"));
    auto *pic = dynamic_cast<tAlImage *>(form->FindComponent("Pic"));
    ASSERT_NE(pic, nullptr);
    EXPECT_TRUE(pic->Picture().HasBitmap());
    EXPECT_EQ(pic->Picture().Width(), 2);
    EXPECT_FALSE(pic->Stretch());
    EXPECT_EQ(pic->Width, 100);   // not sized to the picture without AutoSize
    pic->SetAutoSize(true);
    EXPECT_EQ(QSize(pic->Width, pic->Height), QSize(2, 2));
    pic->SetAutoSize(false);
    pic->SetBounds(10, 10, 40, 40);

    auto render = [&](const TAlPicture &p, bool stretch) {
        pic->SetPicture(p);
        pic->SetStretch(stretch);
        ScopedPrinter printer(ScreenLike(200, 100));
        tPages pages;
        TAlPrinter &ap = AlPrinter();
        ap.SetPages(&pages);
        ap.BeginDoc();
        pic->Print(TRect(10, 10, 50, 50));
        ap.EndDoc();
        QImage img(200, 100, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter painter(&img);
        pages.GetPage(0)->StretchDraw(painter, QRectF(0, 0, 200, 100));
        painter.end();
        ap.SetPages(nullptr);
        return img;
    };
    const TAlPicture bitmap = pic->Picture();
    QImage img = render(bitmap, true);
    EXPECT_EQ(img.pixelColor(30, 30), QColor(Qt::red));   // stretched over the rectangle
    img = render(bitmap, false);
    EXPECT_EQ(img.pixelColor(30, 30), QColor(Qt::red));   // centred: 2 x 2 in 40 x 40, stretched back
    EXPECT_EQ(img.pixelColor(12, 12), QColor(Qt::white));

    TAlPicture icon;
    icon.kind = TAlPicture::Other;
    for (const TAlPicture &p : {icon, TAlPicture{}}) {
        img = render(p, true);
        EXPECT_EQ(img.pixelColor(30, 30), QColor(Qt::white));
        int dark = 0, light = 0;
        for (int x = 10; x < 50; ++x)
            (qGray(img.pixel(x, 10)) < 128 ? dark : light)++;
        EXPECT_GT(dark, 5);    // a dash-dot line along the top edge
        EXPECT_GT(light, 3);
    }
}

} // namespace
