// The design view: rulers, columns, printable width and the laid-out
// controls, painted offscreen.
#include "reports/AlDesign.h"
#include "reports/Report.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

class Design : public ::testing::Test {
protected:
    Design()
    {
        report = form.Add<TAlReport>("Report");
        report->SetLeftMargin(10);
        band = form.Add<tAlBand>("Band");
        band->SetBounds(0, 0, 794, 200);
        band->Color = clWhite;
    }
    QImage paint(const tAlBand &b)
    {
        QImage img(b.Width, b.Height, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter p(&img);
        PaintBandDesign(p, b, 96);
        return img;
    }
    static int count(const QImage &img, QRect area, QColor c)
    {
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                n += img.pixelColor(x, y) == c;
        return n;
    }
    TAlReportForm form;
    TAlReport *report;
    tAlBand *band;
    const QColor silver{0xC0, 0xC0, 0xC0};
    const QColor red{Qt::red};
};

TEST_F(Design, RulersColumnsAndPrintableWidth)
{
    band->SetColumns(2);
    band->SetColWidth(100);
    const QImage img = paint(*band);
    // A line every centimetre: 96 / 2.54 rounds to 38 pixels, 2 cm to 76.
    EXPECT_GT(count(img, QRect(38, 30, 1, 100), silver), 30);
    EXPECT_GT(count(img, QRect(76, 30, 1, 100), silver), 30);
    EXPECT_GT(count(img, QRect(150, 38, 150, 1), silver), 50);
    EXPECT_EQ(count(img, QRect(50, 50, 20, 20), silver), 0);
    // The second column, from 100 mm (378 pixels) on, is hatched.
    EXPECT_EQ(count(img, QRect(305, 155, 30, 15), silver), 0);
    EXPECT_GT(count(img, QRect(500, 155, 30, 15), silver), 20);
    // The printable width: 210 - 10 mm is 756 pixels, dash-dot red.
    const int redPixels = count(img, QRect(756, 0, 1, 200), red);
    EXPECT_GT(redPixels, 60);
    EXPECT_LT(redPixels, 200);
    EXPECT_EQ(count(img, QRect(740, 0, 15, 200), red), 0);

    // Without rulers only the line remains; without a report the designer
    // beeps instead.
    band->SetRulerTyp(alr_none);
    band->SetColumns(1);
    EXPECT_EQ(count(paint(*band), QRect(0, 0, 740, 200), silver), 0);
    TAlReportForm bare;
    tAlBand *lone = bare.Add<tAlBand>("Lone");
    lone->SetBounds(0, 0, 200, 50);
    int beeps = 0;
    DesignBeep = [&] { ++beeps; };
    paint(*lone);
    EXPECT_EQ(beeps, 1);
    DesignBeep = nullptr;
}

TEST_F(Design, ViewStacksTheBandsWithTheirControls)
{
    TTapeCoverRepForm cover;
    tAlBand *second = cover.Add<tAlBand>("Footer");
    second->SetBounds(0, 600, 794, 40);
    {
        TAlDesignView view(cover);
        EXPECT_TRUE(cover.Designing);
        const auto positions = view.BandPositions();
        ASSERT_EQ(positions.size(), 2u);
        EXPECT_EQ(positions[0], std::make_pair((const tAlBand *)cover.AlBand1, 0));
        EXPECT_EQ(positions[1], std::make_pair((const tAlBand *)second, 485));
        EXPECT_EQ(view.sizeHint(), QSize(794, 525));
        const QImage img = view.grab().toImage();
        // The outer frame's left side (pen 3 at x = 40) and the "SIDE A" text.
        EXPECT_LT(qGray(img.pixel(41, 250)), 100);
        int dark = 0;
        for (int y = 80; y < 99; ++y)
            for (int x = 44; x < 97; ++x)
                dark += qGray(img.pixel(x, y)) < 100;
        EXPECT_GT(dark, 40);
    }
    EXPECT_FALSE(cover.Designing);
}

} // namespace
