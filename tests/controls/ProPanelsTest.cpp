// Panels, borders, mouse regions and images: bevel colours and sides as
// tables checked on painted pixels, tiling, picture placement, and the mouse
// events of each control.
#include "controls/ProCtrls.h"
#include "ProTestUtil.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QTest>

namespace {

TColor Pixel(const QImage &img, int x, int y)
{
    return QColorToColor(QColor(img.pixel(x, y)));
}

TColor Rgb(TColor c)
{
    return ColorToRGB(c);
}

int Count(const QImage &img, TColor colour)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += Pixel(img, x, y) == colour;
    return n;
}

// A parent filled with one colour, so what a control leaves unpainted shows.
struct Backdrop {
    explicit Backdrop(TColor colour, int w = 100, int h = 80)
    {
        widget.resize(w, h);
        QPalette pal = widget.palette();
        pal.setColor(QPalette::Window, ColorToQColor(colour));
        widget.setPalette(pal);
        widget.setAutoFillBackground(true);
    }
    QImage Grab() { return widget.grab().toImage(); }
    QWidget widget;
};

// The colours at the middle of the four edges, `in` pixels inside.
struct Edges {
    TColor left, top, right, bottom;
    bool operator==(const Edges &) const = default;
};
Edges EdgesAt(const QImage &img, int in)
{
    const int w = img.width(), h = img.height();
    return {Pixel(img, in, h / 2), Pixel(img, w / 2, in), Pixel(img, w - 1 - in, h / 2),
            Pixel(img, w / 2, h - 1 - in)};
}

std::ostream &operator<<(std::ostream &os, const Edges &e)
{
    return os << std::hex << e.left << "," << e.top << "," << e.right << "," << e.bottom;
}

} // namespace

// ---- bevel colours ---------------------------------------------------------------------

TEST(ProBevel, ColourPairsOfEachCut)
{
    struct Row {
        TBevelCut cut;
        bool ctl3D;
        TBevelColors colours;
    };
    const Row rows[] = {
        {bvLowered, false, {clBtnShadow, clBtnHighlight, clBtnText, cl3DLight}},
        {bvLowered, true, {clBtnShadow, clBtnHighlight, clBtnText, cl3DLight}},
        {bvRaised, false, {clBtnHighlight, clBtnShadow, cl3DLight, clBtnShadow}},
        {bvRaised, true, {clBtnHighlight, clBtnText, cl3DLight, clBtnShadow}},
    };
    for (const Row &r : rows) {
        const TBevelColors c = BevelColors(r.cut, r.ctl3D);
        EXPECT_EQ(c.top1, r.colours.top1) << r.cut << r.ctl3D;
        EXPECT_EQ(c.bottom1, r.colours.bottom1) << r.cut << r.ctl3D;
        EXPECT_EQ(c.top2, r.colours.top2) << r.cut << r.ctl3D;
        EXPECT_EQ(c.bottom2, r.colours.bottom2) << r.cut << r.ctl3D;
    }
}

// ---- panel -----------------------------------------------------------------------------

TEST(ProPanel, BevelsAreDrawnOnlyOnTheChosenSides)
{
    const TColor fill = clYellow;
    const TColor hi = Rgb(clBtnHighlight), sh = Rgb(clBtnShadow);
    const TSides L = SideBit(sdLeft), T = SideBit(sdTop), R = SideBit(sdRight),
                 B = SideBit(sdBottom);
    struct Row {
        TSides sides;
        Edges outer;
    };
    const Row rows[] = {
        {AllSides, {hi, hi, sh, sh}},
        {TSides(T | B), {fill, hi, fill, sh}},
        {TSides(L | R), {hi, fill, sh, fill}},
        {L, {hi, fill, fill, fill}},
        {T, {fill, hi, fill, fill}},
        {R, {fill, fill, sh, fill}},
        {B, {fill, fill, fill, sh}},
        {TSides(L | T), {hi, hi, fill, fill}},
        {TSides(R | B), {fill, fill, sh, sh}},
        {0, {fill, fill, fill, fill}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(int(r.sides));
        TProPanel p;
        p.resize(40, 30);
        p.SetColor(fill);
        p.SetBevelSides(r.sides);
        const QImage img = p.grab().toImage();
        EXPECT_EQ(EdgesAt(img, 0), r.outer);
        EXPECT_EQ(EdgesAt(img, 1), (Edges{fill, fill, fill, fill}));
    }
}

TEST(ProPanel, TopAndBottomOnlyDrawNoVerticalBevelOrBorder)
{
    TProPanel p;
    p.resize(60, 40);
    p.SetColor(clYellow);
    p.SetBevelInner(bvLowered);
    p.SetBorderWidth(3);
    p.SetBorderColor(clRed);
    p.SetBevelSides(SideBit(sdTop) | SideBit(sdBottom));
    const QImage img = p.grab().toImage();
    // Rows from the top: raised bevel, three rows of border, lowered bevel.
    const TColor column[] = {Rgb(clBtnHighlight), clRed, clRed, clRed, Rgb(clBtnShadow), clYellow};
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(Pixel(img, 30, y), column[y]) << y;
    const TColor fromBottom[] = {Rgb(clBtnShadow), clRed, clRed, clRed, Rgb(clBtnHighlight),
                                 clYellow};
    for (int y = 0; y < 6; ++y)
        EXPECT_EQ(Pixel(img, 30, 39 - y), fromBottom[y]) << y;
    // No vertical line anywhere down the sides.
    for (int y = 6; y < 34; ++y)
        for (int x : {0, 1, 2, 3, 4, 59, 58, 57, 56, 55})
            ASSERT_EQ(Pixel(img, x, y), clYellow) << x << "," << y;
    // Children lie inside the frame.
    EXPECT_EQ(p.ClientArea(), TRect(0, 5, 60, 35));
    EXPECT_EQ(p.contentsMargins(), QMargins(0, 5, 0, 5));
}

TEST(ProPanel, ThreeDStyleBevelsAreTwoFramesOfOnePixel)
{
    struct Row {
        TBevelCut cut;
        TColor outer[4];   // left (or top) of frame 1, of frame 2, right of frame 1, of frame 2
    };
    const Row rows[] = {
        {bvRaised, {clBtnHighlight, cl3DLight, clBtnText, clBtnShadow}},
        {bvLowered, {clBtnShadow, clBtnText, clBtnHighlight, cl3DLight}},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(int(r.cut));
        TProPanel p;
        p.resize(50, 30);
        p.SetColor(clYellow);
        p.SetBevelOuter(r.cut);
        p.SetBevelWidth(5);
        p.SetBevelCtl3D(true);
        EXPECT_EQ(p.BevelWidth(), 2);
        p.SetBevelWidth(4);
        EXPECT_EQ(p.BevelWidth(), 2);
        const QImage img = p.grab().toImage();
        EXPECT_EQ(Pixel(img, 0, 15), Rgb(r.outer[0]));
        EXPECT_EQ(Pixel(img, 1, 15), Rgb(r.outer[1]));
        EXPECT_EQ(Pixel(img, 49, 15), Rgb(r.outer[2]));
        EXPECT_EQ(Pixel(img, 48, 15), Rgb(r.outer[3]));
        EXPECT_EQ(Pixel(img, 25, 0), Rgb(r.outer[0]));
        EXPECT_EQ(Pixel(img, 25, 1), Rgb(r.outer[1]));
        EXPECT_EQ(Pixel(img, 2, 15), clYellow);
        p.SetBevelCtl3D(false);
        EXPECT_EQ(p.BevelWidth(), 1);
    }
    // Without the 3-D style the bevel is one frame BevelWidth wide.
    TProPanel p;
    p.resize(50, 30);
    p.SetColor(clYellow);
    p.SetBevelWidth(3);
    const QImage img = p.grab().toImage();
    for (int x = 0; x < 3; ++x)
        EXPECT_EQ(Pixel(img, x, 15), Rgb(clBtnHighlight)) << x;
    EXPECT_EQ(Pixel(img, 3, 15), clYellow);
    EXPECT_EQ(Pixel(img, 47, 15), Rgb(clBtnShadow));
}

TEST(ProPanel, CaptionFollowsTheVerticalAlignment)
{
    auto textRows = [](TVerticalAlignment v) {
        TProPanel p;
        p.resize(120, 90);
        p.SetColor(clWhite);
        p.SetBevelOuter(bvNone);
        QPalette pal = p.palette();
        pal.setColor(QPalette::WindowText, Qt::black);
        p.setPalette(pal);
        p.SetCaption("IIII");
        p.SetVerticalAlignment(v);
        const QImage img = p.grab().toImage();
        int top = -1, bottom = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (Pixel(img, x, y) == clBlack) {
                    if (top < 0)
                        top = y;
                    bottom = y;
                }
        return std::pair(top, bottom);
    };
    const auto [topT, topB] = textRows(TVerticalAlignment::vaTop);
    const auto [midT, midB] = textRows(TVerticalAlignment::vaCenter);
    const auto [lowT, lowB] = textRows(TVerticalAlignment::vaBottom);
    ASSERT_GE(topT, 0);
    EXPECT_LT(topT, 10);
    EXPECT_GT(lowB, 80);
    EXPECT_NEAR((midT + midB) / 2.0, 45, 4);
    EXPECT_EQ(topB - topT, midB - midT);
    EXPECT_EQ(topB - topT, lowB - lowT);
}

TEST(ProPanel, SingleBorderStyleAndMouseEvents)
{
    Backdrop back(clBlue);
    TProPanel p(&back.widget);
    p.setGeometry(20, 20, 40, 30);
    p.SetColor(clYellow);
    p.SetBorderStyle(TBorderStyle::bsSingle);
    const QImage img = p.grab().toImage();
    EXPECT_EQ(Pixel(img, 0, 15), Rgb(clWindowFrame));
    EXPECT_EQ(Pixel(img, 1, 15), Rgb(clBtnHighlight));
    EXPECT_EQ(p.ClientArea(), TRect(2, 2, 38, 28));

    int enters = 0, leaves = 0;
    p.OnMouseEnter = [&](TProCustomPanel *s) { enters += s == &p; };
    p.OnMouseLeave = [&](TProCustomPanel *s) { leaves += s == &p; };
    protest::PointerCrosses(&p, [&] { enters = leaves = 0; });
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
}

// ---- border ----------------------------------------------------------------------------

TEST(ProBorder, DrawsOnlyItsFrameAndKeepsTheWidthWhileThreeD)
{
    Backdrop back(clBlue);
    TProBorder b(&back.widget);
    EXPECT_EQ(b.size(), QSize(50, 50));
    b.move(10, 10);
    b.SetBorderWidth(2);
    b.SetBorderColor(clRed);
    QImage img = back.Grab();
    // Lowered by default: shadow on the left and top, highlight on the right
    // and bottom; then the red band; the middle shows the backdrop.
    EXPECT_EQ(Pixel(img, 10, 35), Rgb(clBtnShadow));
    EXPECT_EQ(Pixel(img, 35, 10), Rgb(clBtnShadow));
    EXPECT_EQ(Pixel(img, 59, 35), Rgb(clBtnHighlight));
    EXPECT_EQ(Pixel(img, 11, 35), clRed);
    EXPECT_EQ(Pixel(img, 12, 35), clRed);
    EXPECT_EQ(Pixel(img, 13, 35), clBlue);
    EXPECT_EQ(Pixel(img, 35, 35), clBlue);
    EXPECT_EQ(Pixel(img, 5, 5), clBlue);

    b.SetBevelWidth(3);
    EXPECT_EQ(b.BevelWidth(), 3);
    b.SetBevelCtl3D(true);
    EXPECT_EQ(b.BevelWidth(), 2);
    b.SetBevelWidth(4);
    EXPECT_EQ(b.BevelWidth(), 2);
    b.SetBevelCtl3D(false);
    EXPECT_EQ(b.BevelWidth(), 1);
    b.SetBevelWidth(4);
    EXPECT_EQ(b.BevelWidth(), 4);

    // Only the left side: nothing at the top.
    b.SetBevelWidth(1);
    b.SetBevelSides(SideBit(sdLeft));
    img = back.Grab();
    EXPECT_EQ(Pixel(img, 10, 35), Rgb(clBtnShadow));
    EXPECT_EQ(Pixel(img, 11, 35), clRed);
    EXPECT_EQ(Pixel(img, 35, 10), clBlue);
    EXPECT_EQ(Pixel(img, 59, 35), clBlue);

    int enters = 0, leaves = 0;
    b.OnMouseEnter = [&](TProBorder *) { ++enters; };
    b.OnMouseLeave = [&](TProBorder *) { ++leaves; };
    protest::PointerCrosses(&b, [&] { enters = leaves = 0; });
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
}

TEST(ProBorder, SpaceBevelsTakeRoomWithoutPainting)
{
    Backdrop back(clBlue);
    TProBorder b(&back.widget);
    b.SetBevelOuter(bvSpace);
    b.SetBevelWidth(2);
    b.SetBorderWidth(1);
    b.SetBorderColor(clRed);
    const QImage img = back.Grab();
    EXPECT_EQ(Pixel(img, 0, 25), clBlue);
    EXPECT_EQ(Pixel(img, 1, 25), clBlue);
    EXPECT_EQ(Pixel(img, 2, 25), clRed);
    // A panel fills its space bevel with its own colour.
    TProPanel p;
    p.resize(30, 30);
    p.SetColor(clYellow);
    p.SetBevelOuter(bvSpace);
    EXPECT_EQ(Pixel(p.grab().toImage(), 0, 15), clYellow);
    EXPECT_EQ(p.ClientArea(), TRect(1, 1, 29, 29));
}

// ---- mouse region ----------------------------------------------------------------------

TEST(ProMouseRegion, InvisibleButReportsTheMouse)
{
    Backdrop back(clGreen, 200, 150);
    TProMouseRegion region(&back.widget);
    EXPECT_EQ(region.geometry(), QRect(0, 0, 105, 105));
    EXPECT_EQ(Count(back.Grab(), clGreen), 200 * 150);
    std::vector<std::string> seen;
    region.OnMouseEnter = [&](TProMouseRegion *) { seen.push_back("enter"); };
    region.OnMouseLeave = [&](TProMouseRegion *) { seen.push_back("leave"); };
    protest::PointerCrosses(&region, [&] { seen.clear(); });
    EXPECT_EQ(seen, (std::vector<std::string>{"enter", "leave"}));
}

// ---- image -----------------------------------------------------------------------------

namespace {
// A picture with a red top-left pixel on green.
QImage Marked(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(QColor(0, 128, 0));
    img.setPixel(0, 0, qRgb(255, 0, 0));
    return img;
}
} // namespace

TEST(ProImage, TiledCopiesCoverTheControlColumnByColumn)
{
    struct Row {
        QSize picture, control;
        int copies;
    };
    const Row rows[] = {
        {{16, 16}, {40, 20}, 6},   // three columns, two rows
        {{16, 16}, {16, 16}, 1},
        {{16, 16}, {17, 16}, 2},
        {{10, 30}, {25, 25}, 3},
        {{40, 40}, {10, 10}, 1},
        {{1, 1}, {5, 4}, 20},
    };
    for (const Row &r : rows) {
        SCOPED_TRACE(testing::Message() << r.picture.width() << "x" << r.picture.height() << " in "
                                        << r.control.width() << "x" << r.control.height());
        TProImage image;
        image.resize(r.control);
        image.SetBitmap(Marked(r.picture.width(), r.picture.height()));
        image.SetTiled(true);
        const QImage img = image.grab().toImage();
        EXPECT_EQ(image.TilesDrawn(), r.copies);
        if (r.picture.width() > 1) {
            EXPECT_EQ(Count(img, clRed), r.copies);
        }
    }
    // The red marks sit at every multiple of the picture's size.
    TProImage image;
    image.resize(40, 20);
    image.SetBitmap(Marked(16, 16));
    image.SetTiled(true);
    const QImage img = image.grab().toImage();
    for (int x : {0, 16, 32})
        for (int y : {0, 16})
            EXPECT_EQ(Pixel(img, x, y), clRed) << x << "," << y;
}

TEST(ProImage, TilingAPictureWithoutAreaDrawsNothing)
{
    Backdrop back(clBlue);
    TProImage image(&back.widget);
    QPicture empty;
    {
        QPainter p(&empty);   // records nothing
    }
    TProPicture pic;
    pic.SetMetafile(empty);
    image.SetPicture(pic);
    image.SetTiled(true);
    const QImage img = back.Grab();
    EXPECT_EQ(image.TilesDrawn(), 0);
    EXPECT_EQ(Pixel(img, 50, 50), clBlue);
}

TEST(ProImage, PlacementOfAnUntiledPicture)
{
    struct Row {
        bool stretch, center;
        QSize picture;
        QRect dest;
    };
    const Row rows[] = {
        {false, false, {16, 10}, {0, 0, 16, 10}},
        {false, true, {16, 10}, {44, 47, 16, 10}},
        {false, true, {120, 111}, {-7, -3, 120, 111}},
        {true, false, {16, 10}, {0, 0, 105, 105}},
        {true, true, {16, 10}, {0, 0, 105, 105}},
    };
    for (const Row &r : rows) {
        TProImage image;
        image.SetBitmap(Marked(r.picture.width(), r.picture.height()));
        image.SetStretch(r.stretch);
        image.SetCenter(r.center);
        EXPECT_EQ(image.DestRect(), r.dest) << r.stretch << r.center;
    }
    // Painted where it is placed.
    TProImage image;
    image.SetBitmap(Marked(16, 10));
    image.SetCenter(true);
    EXPECT_EQ(Pixel(image.grab().toImage(), 44, 47), clRed);
    image.SetStretch(true);
    const QImage stretched = image.grab().toImage();
    EXPECT_EQ(Pixel(stretched, 104, 104), RGB(0, 128, 0));
    EXPECT_EQ(Pixel(stretched, 2, 2), clRed);   // the mark grows with the picture
}

TEST(ProImage, AutoSizeTransparencyAndCanvas)
{
    Backdrop back(clBlue, 200, 200);
    TProImage image(&back.widget);
    image.SetAutoSize(true);
    image.SetBitmap(Marked(30, 20));
    EXPECT_EQ(image.size(), QSize(30, 20));
    EXPECT_TRUE(image.testAttribute(Qt::WA_OpaquePaintEvent));

    // Transparent: the bottom-left pixel's colour lets the backdrop through.
    image.SetTransparent(true);
    EXPECT_FALSE(image.testAttribute(Qt::WA_OpaquePaintEvent));
    QImage img = back.Grab();
    EXPECT_EQ(Pixel(img, 10, 10), clBlue);
    EXPECT_EQ(Pixel(img, 0, 0), clRed);

    // The canvas of an empty picture is a bitmap of the control's size.
    TProImage blank;
    blank.resize(24, 12);
    QImage &canvas = blank.Canvas();
    EXPECT_EQ(canvas.size(), QSize(24, 12));
    canvas.setPixel(3, 3, qRgb(0, 0, 255));
    blank.PictureChanged();
    EXPECT_EQ(Pixel(blank.grab().toImage(), 3, 3), clBlue);

    // A metafile cannot be drawn on.
    QPicture drawing;
    {
        QPainter p(&drawing);
        p.fillRect(0, 0, 10, 10, Qt::red);
    }
    TProPicture pic;
    pic.SetMetafile(drawing);
    blank.SetPicture(pic);
    try {
        blank.Canvas();
        FAIL() << "no exception";
    } catch (const EInvalidOperation &e) {
        EXPECT_EQ(e.Message, "Can only modify an image if it contains a bitmap");
    }
    // The metafile itself is drawn.
    EXPECT_EQ(Pixel(blank.grab().toImage(), 5, 5), clRed);
}

TEST(ProImage, ProgressAndMouseEvents)
{
    Backdrop back(clBlue, 200, 150);
    TProImage image(&back.widget);
    int progress = 0, enters = 0, leaves = 0;
    image.OnProgress = [&](TProImage *, TProgressStage, int percent, bool, const QRect &,
                           const std::string &) { progress += percent; };
    image.OnMouseEnter = [&](TProImage *) { ++enters; };
    image.OnMouseLeave = [&](TProImage *) { ++leaves; };
    image.SetIncrementalDisplay(true);
    image.Progress(psRunning, 40, true, QRect(), "");
    image.Progress(psEnding, 60, false, QRect(), "");
    EXPECT_EQ(progress, 100);
    protest::PointerCrosses(&image, [&] { enters = leaves = 0; });
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
}

// ---- screenshot ------------------------------------------------------------------------

TEST(ProPanelsScreenshot, PanelsBordersAndImages)
{
    QWidget form;
    form.resize(560, 330);
    QPalette pal = form.palette();
    pal.setColor(QPalette::Window, ColorToQColor(clBtnFace));
    form.setPalette(pal);
    form.setAutoFillBackground(true);

    struct Spec {
        const char *caption;
        TSides sides;
        bool ctl3D;
        TBevelCut outer, inner;
        int borderWidth;
        TVerticalAlignment v;
        TAlignment a;
    };
    const Spec specs[] = {
        {"Raised, all sides", AllSides, false, bvRaised, bvNone, 0, TVerticalAlignment::vaCenter,
         taCenter},
        {"Top and bottom only", TSides(SideBit(sdTop) | SideBit(sdBottom)), false, bvRaised,
         bvLowered, 4, TVerticalAlignment::vaTop, taLeftJustify},
        {"3-D raised", AllSides, true, bvRaised, bvNone, 0, TVerticalAlignment::vaBottom,
         taRightJustify},
        {"3-D lowered with a red band and a caption long enough to wrap", AllSides, true,
         bvLowered, bvRaised, 3, TVerticalAlignment::vaCenter, taCenter},
        {"Left and top", TSides(SideBit(sdLeft) | SideBit(sdTop)), false, bvLowered, bvNone, 2,
         TVerticalAlignment::vaCenter, taCenter},
        {"Sunken", AllSides, false, bvLowered, bvLowered, 2, TVerticalAlignment::vaCenter,
         taCenter},
    };
    int i = 0;
    for (const Spec &s : specs) {
        auto *p = new TProPanel(&form);
        p->setGeometry(10 + (i % 3) * 180, 10 + (i / 3) * 90, 170, 80);
        p->SetCaption(s.caption);
        p->SetBevelSides(s.sides);
        p->SetBevelOuter(s.outer);
        p->SetBevelInner(s.inner);
        p->SetBevelCtl3D(s.ctl3D);
        p->SetBorderWidth(s.borderWidth);
        p->SetBorderColor(s.borderWidth == 3 ? clRed : clSilver);
        p->SetVerticalAlignment(s.v);
        p->SetAlignment(s.a);
        ++i;
    }
    auto *border = new TProBorder(&form);
    border->setGeometry(10, 200, 120, 110);
    border->SetBevelCtl3D(true);
    border->SetBorderWidth(4);
    border->SetBorderColor(clNavy);

    QImage tile(16, 16, QImage::Format_RGB32);
    tile.fill(QColor(255, 255, 224));
    {
        QPainter tp(&tile);
        tp.fillRect(0, 0, 8, 8, QColor(70, 110, 190));
        tp.fillRect(8, 8, 8, 8, QColor(200, 80, 60));
    }
    auto *tiled = new TProImage(&form);
    tiled->setGeometry(150, 200, 170, 110);
    tiled->SetBitmap(tile);
    tiled->SetTiled(true);
    auto *centred = new TProImage(&form);
    centred->setGeometry(340, 200, 80, 110);
    centred->SetBitmap(Marked(40, 30));
    centred->SetCenter(true);
    auto *stretched = new TProImage(&form);
    stretched->setGeometry(440, 200, 110, 110);
    stretched->SetBitmap(tile);
    stretched->SetStretch(true);
    new TProMouseRegion(&form);   // invisible

    form.show();
    QApplication::processEvents();
    EXPECT_TRUE(form.grab().toImage().save(
        QString::fromStdString(protest::ScreenshotPath("pro-panels.png"))));
}
