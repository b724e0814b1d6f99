// The preview control and the preview window, offscreen with real mouse and
// key events.
#include "reports/Preview.h"
#include "reports/ReportTestUtil.h"
#include "reports/alprev.h"
#include "ui_Preview.h"

#include "support/Cursors.h"

#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

using namespace rt;

namespace {

// A closed page of the preview size with a coloured square at (x, y).
void addPage(tPages &pages, QColor color, int x = 100, int y = 100)
{
    auto page = std::make_unique<TDrawMetaFile>(778, 1100);
    page->Canvas()->fillRect(QRect(x, y, 10, 10), color);
    page->Close();
    pages.Add(std::move(page));
}

class PreviewControl : public ::testing::Test {
protected:
    PreviewControl() : printer(ScreenLike(778, 1100))
    {
        preview.resize(400, 300);
        preview.show();
        preview.UpdatePage();
    }
    QSize box() const { return preview.pbx()->size(); }
    void click(Qt::MouseButton b) { QTest::mouseClick(preview.pbx(), b, {}, QPoint(20, 30)); }
    QColor pixel(int x, int y) const { return preview.pbx()->grab().toImage().pixelColor(x, y); }

    ScopedPrinter printer;
    tAlPreview preview;
};

TEST_F(PreviewControl, PaintBoxAndScrollRangesFollowZoomAndShadow)
{
    EXPECT_EQ(box(), QSize(778, 1100));
    EXPECT_EQ(preview.HorzScrollRange(), 808);
    EXPECT_EQ(preview.VertScrollRange(), 1130);
    EXPECT_EQ(preview.pbx()->pos(), QPoint(15, 15));
    // The scroll bars range over the content beyond the visible part.
    const QSize view = preview.viewport()->size();
    EXPECT_EQ(preview.horizontalScrollBar()->maximum(), 808 - view.width());
    EXPECT_EQ(preview.verticalScrollBar()->maximum(), 1130 - view.height());

    preview.SetShadow(true);
    preview.UpdatePage();
    EXPECT_EQ(box(), QSize(783, 1105));
    EXPECT_EQ(preview.VertScrollRange(), 1135);
    preview.SetShadow(false);

    struct Case {
        int zoom;
        QSize size;
    };
    // 778 x 0.75 = 583.5 rounds to the even 584.
    for (const Case &c : {Case{75, {584, 825}}, Case{150, {1167, 1650}}, Case{25, {194, 275}},
                          Case{200, {1556, 2200}}}) {
        preview.SetZoom(c.zoom);
        EXPECT_EQ(preview.Zoom(), c.zoom);
        EXPECT_EQ(box(), c.size) << c.zoom;
        EXPECT_EQ(preview.HorzScrollRange(), c.size.width() + 30);
        EXPECT_EQ(preview.VertScrollRange(), c.size.height() + 30);
    }
    preview.SetZoom(100);
    for (int z : {24, 201, 100, 0, -5}) {
        preview.SetZoom(z);
        EXPECT_EQ(preview.Zoom(), 100) << z;
    }
    EXPECT_EQ(box(), QSize(778, 1100));
}

TEST_F(PreviewControl, ClicksZoomInAndOutInSteps)
{
    std::vector<int> seen;
    preview.OnMouseDown = [&](QWidget *sender, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
        EXPECT_EQ(sender, preview.pbx());
        EXPECT_EQ(QPoint(x, y), QPoint(20, 30));
        seen.push_back(preview.Zoom());
    };
    struct Step {
        Qt::MouseButton button;
        int zoom;
    };
    const Step steps[] = {{Qt::LeftButton, 150},  {Qt::LeftButton, 200},  {Qt::LeftButton, 200},
                          {Qt::RightButton, 150}, {Qt::RightButton, 100}, {Qt::RightButton, 75},
                          {Qt::RightButton, 50},  {Qt::RightButton, 50},  {Qt::MiddleButton, 50},
                          {Qt::LeftButton, 75},   {Qt::LeftButton, 100}};
    for (const Step &s : steps) {
        click(s.button);
        EXPECT_EQ(preview.Zoom(), s.zoom);
    }
    EXPECT_EQ(seen.size(), std::size(steps));
    EXPECT_EQ(box(), QSize(778, 1100));
    // A zoom between the steps is left alone by either button.
    preview.SetZoom(125);
    click(Qt::LeftButton);
    click(Qt::RightButton);
    EXPECT_EQ(preview.Zoom(), 125);
    // The paint box shows the magnifier.
    EXPECT_TRUE(Screen::HasCursor(crPreviewLupe));
    EXPECT_FALSE(preview.pbx()->cursor().pixmap().isNull());
}

TEST_F(PreviewControl, ShowsTheChosenPageWithinRange)
{
    // No page: a white page.
    EXPECT_EQ(pixel(105, 105), QColor(Qt::white));
    addPage(preview.Pages(), Qt::red);
    addPage(preview.Pages(), Qt::blue);
    preview.FirstPage();
    EXPECT_EQ(pixel(105, 105), QColor(Qt::red));
    preview.NextPage();
    EXPECT_EQ(preview.PageNumber(), 2);
    EXPECT_EQ(pixel(105, 105), QColor(Qt::blue));
    preview.NextPage();
    preview.SetPageNumber(3);
    preview.SetPageNumber(0);
    EXPECT_EQ(preview.PageNumber(), 2);
    preview.PrevPage();
    preview.PrevPage();
    EXPECT_EQ(preview.PageNumber(), 1);
    preview.LastPage();
    EXPECT_EQ(preview.PageNumber(), 2);

    // The shadow frames the page: black border, 3-pixel shadow at the right
    // and bottom that starts 4 pixels from the corners, the page inside.
    preview.SetShadow(true);
    preview.UpdatePage();
    const int w = box().width(), h = box().height();
    EXPECT_EQ(pixel(0, 500), QColor(Qt::black));
    EXPECT_EQ(pixel(500, 0), QColor(Qt::black));
    EXPECT_EQ(pixel(w - 2, 500), QColor(Qt::black));
    EXPECT_EQ(pixel(500, h - 2), QColor(Qt::black));
    EXPECT_EQ(pixel(w - 4, 2), QColor(Qt::black));   // the frame's right side
    EXPECT_NE(pixel(w - 2, 2), QColor(Qt::black));   // the shadow starts lower
    EXPECT_EQ(pixel(w - 5, 2), QColor(Qt::white));   // the page's right edge
    EXPECT_EQ(pixel(2, 2), QColor(Qt::white));
    EXPECT_EQ(pixel(106, 106), QColor(Qt::blue));
}

TEST_F(PreviewControl, PrintsPagesFromThePapersCorner)
{
    // Nothing to print: no document.
    preview.Print(1, 1);
    EXPECT_TRUE(printer.Device().Calls().empty());

    addPage(preview.Pages(), Qt::red, 0, 0);
    addPage(preview.Pages(), Qt::blue, 389, 550);
    preview.Title = "Tape Cover Preview";
    preview.Print(1, 2);
    EXPECT_EQ(printer.Device().Calls(), (std::vector<std::string>{"BeginDoc", "NewPage", "EndDoc"}));
    EXPECT_EQ(printer.Device().Title(), "Tape Cover Preview");
    ASSERT_EQ(printer.Device().Pages().Count(), 2);
    // Screen-like printer: the page is stretched onto (0, 0, 777, 1099).
    auto first = PageRecorder::Play(*printer.Device().Pages().GetPage(0));
    auto second = PageRecorder::Play(*printer.Device().Pages().GetPage(1));
    ASSERT_FALSE(first->rects.empty());
    EXPECT_NEAR(first->rects[0].rect.left(), 0, 0.01);
    ASSERT_FALSE(second->rects.empty());
    EXPECT_NEAR(second->rects[0].rect.left(), 389.0 * 777 / 778, 0.01);
    EXPECT_NEAR(second->rects[0].rect.top(), 550.0 * 1099 / 1100, 0.01);

    // A range past the recorded pages fails, and the job is still ended.
    EXPECT_THROW(preview.Print(2, 3), Exception);
    EXPECT_EQ(printer.Device().Calls().back(), "AbortDoc");
    EXPECT_FALSE(printer.Device().Printing());
}

TEST(PreviewPrinterOffset, PageLandsOnThePapersCorner)
{
    ScopedPrinter printer(Laser());
    tAlPreview preview;
    const TAlPrinterMetrics m = printer.Device().Measure();
    addPage(preview.Pages(), Qt::red, 0, 0);
    preview.Print(1, 1);
    auto page = PageRecorder::Play(*printer.Device().Pages().GetPage(0));
    ASSERT_FALSE(page->rects.empty());
    // The printable area starts at the offset; the page before it.
    EXPECT_NEAR(page->rects[0].rect.left(), -m.OffsetX, 0.01);
    EXPECT_NEAR(page->rects[0].rect.top(), -m.OffsetY, 0.01);
}

// A report of one title band with a label, and the window that previews it.
class PreviewWindow : public ::testing::Test {
protected:
    PreviewWindow() : printer(ScreenLike(778, 1100))
    {
        report = form.Add<TAlReport>("Report");
        band = form.Add<tAlBand>("Band");
        band->SetBounds(0, 0, 794, 200);
        auto *label = form.Add<TAlLabel>("Label", band);
        label->SetBounds(40, 40, 100, 20);
        label->Caption = "Hello";
    }
    ~PreviewWindow() override { PreviewShowModal = nullptr; }
    ScopedPrinter printer;
    TAlReportForm form;
    TAlReport *report;
    tAlBand *band;
};

TEST_F(PreviewWindow, RecordsTheReportAndPrintsItsFirstPage)
{
    bool shown = false;
    PreviewShowModal = [&](TPreviewForm &w) {
        shown = true;
        EXPECT_EQ(PreviewForm, &w);
        EXPECT_EQ(w.windowTitle(), "Tape's Cover Print Preview");
        EXPECT_EQ(w.PrevRep()->Title, "Tape Cover Preview");
        EXPECT_EQ(w.PrevRep()->GetPageCount(), 1);
        EXPECT_EQ(w.PrevRep()->PageNumber(), 1);
        EXPECT_EQ(w.PrevRep()->Zoom(), 100);
        EXPECT_EQ(w.PrevRep()->pbx()->size(), QSize(778, 1100));
        EXPECT_EQ(w.ui->PrintBtn->text(), "&Print");
        EXPECT_EQ(w.ui->PrinterSetupBtn->text(), "Printer &Setup");
        EXPECT_EQ(w.ui->CloseBtn->text(), "&Close");
        w.show();
        QTest::mouseClick(w.ui->PrintBtn, Qt::LeftButton);
        QTest::mouseClick(w.ui->CloseBtn, Qt::LeftButton);
        EXPECT_FALSE(w.isVisible());
    };
    PreviewReport(*report);
    EXPECT_TRUE(shown);
    EXPECT_EQ(PreviewForm, nullptr);   // released
    ASSERT_EQ(printer.Device().Pages().Count(), 1);
    auto page = PageRecorder::Play(*printer.Device().Pages().GetPage(0));
    EXPECT_TRUE(page->AllText().contains("Hello"));
}

TEST_F(PreviewWindow, RunsModallyUntilClosedWithItsKey)
{
    // The real modal loop: Alt+C closes the window.
    bool closedByKey = false;
    QTimer::singleShot(0, [&] {
        ASSERT_NE(PreviewForm, nullptr);
        EXPECT_TRUE(PreviewForm->isModal() || PreviewForm->isVisible());
        EXPECT_TRUE(PreviewForm->windowState() & Qt::WindowMaximized);
        PreviewForm->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(PreviewForm));
        QTest::keyClick(PreviewForm, Qt::Key_C, Qt::AltModifier);
        // A button's shortcut clicks it after a short animation.
        closedByKey = QTest::qWaitFor([] { return !PreviewForm->isVisible(); }, 2000);
        if (PreviewForm && PreviewForm->isVisible())
            PreviewForm->CloseBtnClick();
    });
    PreviewReport(*report);
    EXPECT_TRUE(closedByKey);
    EXPECT_EQ(PreviewForm, nullptr);
}

} // namespace
