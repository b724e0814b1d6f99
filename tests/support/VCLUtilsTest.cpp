// Drawing and window utilities, the min/max routines, the library strings
// and the cursor table.
#include "support/Cursors.h"
#include "support/Maxmin.h"
#include "support/SupConst.h"
#include "support/VCLUtils.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <cmath>

namespace {

QColor rgbOf(TColor c) { return ColorToQColor(c); }

// Fills a strip of `extent` pixels (one pixel across) and returns it.
QImage fillStrip(int extent, TColor from, TColor to, TFillDirection dir, std::uint8_t colors)
{
    const bool vertical = dir == fdTopToBottom || dir == fdBottomToTop;
    QImage img(vertical ? 1 : extent, vertical ? extent : 1, QImage::Format_RGB32);
    img.fill(Qt::magenta);
    QPainter p(&img);
    GradientFillRect(p, TRect(0, 0, img.width(), img.height()), from, to, dir, colors);
    return img;
}

QColor stripPixel(const QImage &img, int i)
{
    return img.width() == 1 ? img.pixelColor(0, i) : img.pixelColor(i, 0);
}

// Channel value of band i of n running from a to b, rounded half away from
// zero (std::round does exactly that).
int expectedChannel(int a, int b, int i, int n)
{
    return a + int(std::round(double(i) * (b - a) / double(n - 1)));
}

} // namespace

TEST(MulDiv, RoundsHalvesAwayFromZero)
{
    struct Case { int a, b, c, expected; };
    const Case cases[] = {
        {1, 1, 2, 1},  {1, -1, 2, -1}, {-1, 1, 2, -1}, {3, 1, 2, 2},   {1, 1, 3, 0},
        {2, 1, 3, 1},  {5, 7, 1, 35},  {7, 255, 63, 28}, {1, 2, 0, -1}, {1, 3, -2, -2},
        {0x40000000, 4, 2, -1},   // does not fit 32 bits
    };
    for (const Case &c : cases)
        EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(GradientFillRect, MoreColoursThanPixelsGivesOneBandPerPixel)
{
    const TColor from = RGB(0, 100, 200), to = RGB(255, 0, 10);
    const QImage img = fillStrip(10, from, to, fdLeftToRight, 64);
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(stripPixel(img, x), QColor(expectedChannel(0, 255, x, 10),
                                             expectedChannel(100, 0, x, 10),
                                             expectedChannel(200, 10, x, 10)))
            << "x=" << x;
    }
    EXPECT_EQ(stripPixel(img, 9), rgbOf(to));
    EXPECT_EQ(stripPixel(img, 0), rgbOf(from));
}

TEST(GradientFillRect, BandWidthsAndTheEndStrip)
{
    // 875 pixels, 64 colours: 64 bands of 13 pixels, then 43 pixels of the
    // colour the run ends in.
    const TColor from = clBlue, to = clBtnFace;   // a system colour as the end
    const QColor face(212, 208, 200);
    struct Dir { TFillDirection dir; bool forward; };
    for (Dir d : {Dir{fdLeftToRight, true}, Dir{fdRightToLeft, false}, Dir{fdTopToBottom, true},
                  Dir{fdBottomToTop, false}}) {
        SCOPED_TRACE(int(d.dir));
        const QImage img = fillStrip(875, from, to, d.dir, 64);
        const QColor begin = d.forward ? QColor(0, 0, 255) : face;
        const QColor end = d.forward ? face : QColor(0, 0, 255);
        for (int px = 0; px < 832; ++px) {
            const int band = px / 13;
            const QColor want(expectedChannel(begin.red(), end.red(), band, 64),
                              expectedChannel(begin.green(), end.green(), band, 64),
                              expectedChannel(begin.blue(), end.blue(), band, 64));
            ASSERT_EQ(stripPixel(img, px), want) << "pixel " << px;
        }
        // The final strip: end colour for the forward directions, start
        // colour for the backward ones, i.e. always the colour at that end.
        for (int px = 832; px < 875; ++px)
            ASSERT_EQ(stripPixel(img, px), d.forward ? face : QColor(0, 0, 255)) << "pixel " << px;
        // The last full band already reaches the run's end colour.
        EXPECT_EQ(stripPixel(img, 831), end);
    }
}

TEST(GradientFillRect, FewColoursFillSolidWithTheStartColour)
{
    for (std::uint8_t colors : {std::uint8_t(0), std::uint8_t(1)}) {
        const QImage img = fillStrip(50, clRed, clBlue, fdLeftToRight, colors);
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(stripPixel(img, x), QColor(255, 0, 0));
        // The backward direction too starts with the start colour here.
        const QImage back = fillStrip(50, clRed, clBlue, fdRightToLeft, colors);
        EXPECT_EQ(stripPixel(back, 49), QColor(255, 0, 0));
    }
}

TEST(GradientFillRect, HalvesRoundAwayFromZero)
{
    // Three bands of 10 pixels; the middle band is half way between.
    const QImage up = fillStrip(30, RGB(0, 0, 0), RGB(1, 3, 255), fdLeftToRight, 3);
    EXPECT_EQ(stripPixel(up, 15), QColor(1, 2, 128));     // 0.5, 1.5, 127.5 up
    const QImage down = fillStrip(30, RGB(1, 3, 255), RGB(0, 0, 0), fdLeftToRight, 3);
    EXPECT_EQ(stripPixel(down, 15), QColor(0, 1, 127));   // 1-0.5, 3-1.5, 255-127.5 down
}

TEST(GradientFillRect, TinyAndEmptyRectangles)
{
    // One pixel, two bands of size 0: only the end strip is drawn.
    EXPECT_EQ(stripPixel(fillStrip(1, clRed, clBlue, fdLeftToRight, 64), 0), QColor(0, 0, 255));
    EXPECT_EQ(stripPixel(fillStrip(1, clRed, clBlue, fdRightToLeft, 64), 0), QColor(255, 0, 0));
    // An empty rectangle leaves the canvas alone.
    QImage img(4, 4, QImage::Format_RGB32);
    img.fill(Qt::green);
    QPainter p(&img);
    GradientFillRect(p, TRect(2, 2, 2, 4), clRed, clBlue, fdLeftToRight, 64);
    GradientFillRect(p, TRect(3, 3, 1, 1), clRed, clBlue, fdTopToBottom, 64);
    p.end();
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            ASSERT_EQ(img.pixelColor(x, y), QColor(Qt::green));
}

TEST(MinimizeText, ShortensWithEllipsis)
{
    // Letters 10 pixels wide, dots 2.
    const TTextWidthFunc width = [](const std::string &s) {
        int w = 0;
        for (char c : s)
            w += c == '.' ? 2 : 10;
        return w;
    };
    struct Case { const char *text; int max; const char *expected; };
    const Case cases[] = {
        {"abcdef", 60, "abcdef"},     // fits as it is
        {"abcdef", 59, "abcd..."},    // the first shortened form keeps length - 2
        {"abcdef", 40, "abc..."},     // three letters and the ellipsis fit
        {"abcdef", 6, "..."},         // nothing but the ellipsis
        {"abcdef", 3, "..."},         // returned even though it does not fit
        {"", 0, ""},
        {"a", 5, "..."},
    };
    for (const Case &c : cases)
        EXPECT_EQ(MinimizeText(c.text, width, c.max), c.expected) << c.text << " in " << c.max;
}

TEST(PointInRect, EdgesCountAsInside)
{
    const TRect r(10, 20, 30, 40);
    struct Case { int x, y; bool inside; };
    const Case cases[] = {{10, 20, true},  {30, 40, true},  {30, 20, true}, {20, 30, true},
                          {9, 20, false},  {31, 40, false}, {20, 41, false}, {20, 19, false}};
    for (const Case &c : cases)
        EXPECT_EQ(PointInRect(QPoint(c.x, c.y), r), c.inside) << c.x << "," << c.y;
    EXPECT_EQ(WidthOf(r), 20);
    EXPECT_EQ(HeightOf(r), 20);
}

TEST(Maxmin, SequencesAndSwaps)
{
    EXPECT_EQ(Max(3, -4), 3);
    EXPECT_EQ(Min(3, -4), -4);
    EXPECT_EQ(MaxInteger({1, 7, 7, -3}), 7);
    EXPECT_EQ(MinInteger({1, 7, -3, -3}), -3);
    EXPECT_EQ(MaxInt64({INT64_MIN, 5, INT64_MAX}), INT64_MAX);
    EXPECT_EQ(MinInt64({INT64_MIN, 5}), INT64_MIN);
    EXPECT_EQ(MaxFloat({1.5L, -2.0L, 1.25L}), 1.5L);
    EXPECT_EQ(MinFloat({1.5L, -2.0L, 1.25L}), -2.0L);
    // 2001-05-01 12:00, 2001-05-02, 2000-01-01 as day numbers.
    EXPECT_DOUBLE_EQ(MaxDateTime({37012.5, 37013.0, 36526.0}), 37013.0);
    EXPECT_DOUBLE_EQ(MinDateTime({37012.5, 37013.0, 36526.0}), 36526.0);
    EXPECT_THROW(MaxInteger({}), std::invalid_argument);
    int a = 1, b = 2;
    SwapInt(a, b);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);
    std::int64_t c = 5, d = -5;
    SwapInt64(c, d);
    EXPECT_EQ(c, -5);
}

TEST(SplitCommandLine, ProgramNameAndParameters)
{
    struct Case { const char *line; const char *prog; const char *params; };
    const Case cases[] = {
        {"", "", ""},
        {"   ", "", ""},
        {"prog", "prog", ""},
        {"prog a b", "prog", "a b"},
        {"  prog   a\t\tb  ", "prog", "a b"},
        {"\"/opt/My Programs/mixdeck\" \"a b\" c", "/opt/My Programs/mixdeck", "\"a b\" c"},
        {"\"\" prog x", "prog", "x"},
        {"pr\"o g\"x y", "pro gx", "y"},
        {"prog \"a b", "prog", "\"a b\""},
        {"prog \"\" x", "prog", "x"},
    };
    for (const Case &c : cases) {
        std::string prog = "junk", params = "junk";
        SplitCommandLine(c.line, prog, params);
        EXPECT_EQ(prog, c.prog) << "[" << c.line << "]";
        EXPECT_EQ(params, c.params) << "[" << c.line << "]";
    }
}

TEST(StretchBitmapTransparent, LeavesTheTransparentColourOut)
{
    // 4 by 4 red bitmap with a magenta 2 by 2 corner, drawn doubled on blue.
    QImage bmp(4, 4, QImage::Format_RGB32);
    bmp.fill(QColor(255, 0, 0));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            bmp.setPixelColor(x, y, QColor(255, 0, 255));
    auto draw = [&](TColor transparent, const QImage &b) {
        QImage dest(8, 8, QImage::Format_RGB32);
        dest.fill(QColor(0, 0, 255));
        QPainter p(&dest);
        StretchBitmapTransparent(p, b, transparent, 0, 0, 8, 8, 0, 0, 0, 0);
        return dest;
    };
    const QImage keyed = draw(clFuchsia, bmp);
    EXPECT_EQ(keyed.pixelColor(0, 0), QColor(0, 0, 255));
    EXPECT_EQ(keyed.pixelColor(3, 3), QColor(0, 0, 255));
    EXPECT_EQ(keyed.pixelColor(4, 3), QColor(255, 0, 0));
    EXPECT_EQ(keyed.pixelColor(7, 7), QColor(255, 0, 0));

    const QImage opaque = draw(clNone, bmp);
    EXPECT_EQ(opaque.pixelColor(0, 0), QColor(255, 0, 255));

    // The default colour takes the bottom-left pixel: red goes, magenta stays.
    const QImage byCorner = draw(clDefault, bmp);
    EXPECT_EQ(byCorner.pixelColor(0, 0), QColor(255, 0, 255));
    EXPECT_EQ(byCorner.pixelColor(7, 7), QColor(0, 0, 255));

    // A monochrome bitmap always drops white.
    QImage mono(4, 4, QImage::Format_Mono);
    mono.setColorCount(2);
    mono.setColor(0, qRgb(0, 0, 0));
    mono.setColor(1, qRgb(255, 255, 255));
    mono.fill(1);
    mono.setPixel(3, 3, 0);
    const QImage m = draw(clRed, mono);
    EXPECT_EQ(m.pixelColor(0, 0), QColor(0, 0, 255));
    EXPECT_EQ(m.pixelColor(7, 7), QColor(0, 0, 0));

    // Source rectangle, unscaled.
    QImage dest(4, 4, QImage::Format_RGB32);
    dest.fill(QColor(0, 0, 255));
    QPainter p(&dest);
    DrawBitmapRectTransparent(p, 1, 1, TRect(1, 1, 3, 3), bmp, clFuchsia);
    p.end();
    EXPECT_EQ(dest.pixelColor(1, 1), QColor(0, 0, 255));   // the magenta pixel (1,1)
    EXPECT_EQ(dest.pixelColor(2, 2), QColor(255, 0, 0));
    EXPECT_EQ(dest.pixelColor(0, 0), QColor(0, 0, 255));
    EXPECT_EQ(PaletteColor(clBtnFace), 0x02C8D0D4u);
}

TEST(CopyParentImage, ParentBackgroundAndSiblingsBelow)
{
    QWidget parent;
    parent.resize(100, 100);
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(10, 20, 30));
    parent.setPalette(pal);
    parent.setAutoFillBackground(true);

    QWidget below(&parent);
    below.setGeometry(0, 0, 20, 20);
    QPalette green;
    green.setColor(QPalette::Window, QColor(0, 200, 0));
    below.setPalette(green);
    below.setAutoFillBackground(true);

    QWidget control(&parent);
    control.setGeometry(10, 10, 30, 30);

    QWidget above(&parent);   // created later: above the control
    above.setGeometry(30, 30, 20, 20);
    QPalette red;
    red.setColor(QPalette::Window, QColor(200, 0, 0));
    above.setPalette(red);
    above.setAutoFillBackground(true);
    parent.show();

    QImage img(30, 30, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    CopyParentImage(&control, p);
    p.end();
    EXPECT_EQ(img.pixelColor(0, 0), QColor(0, 200, 0));      // parent (10,10): the sibling below
    EXPECT_EQ(img.pixelColor(9, 9), QColor(0, 200, 0));      // parent (19,19)
    EXPECT_EQ(img.pixelColor(10, 10), QColor(10, 20, 30));   // parent (20,20): background
    EXPECT_EQ(img.pixelColor(25, 25), QColor(10, 20, 30));   // the sibling above is left out
}

TEST(Cursors, SupportCursorsAreRegisteredAtStartUp)
{
    InitSupConst();
    InitSupConst();   // only the first call counts
    EXPECT_TRUE(Screen::HasCursor(crHand));
    EXPECT_TRUE(Screen::HasCursor(crDragHand));
    EXPECT_FALSE(Screen::HasCursor(14002));
    EXPECT_EQ(Screen::Cursors(14002).shape(), Qt::ArrowCursor);
    const QCursor hand = Screen::Cursors(crHand);
    EXPECT_EQ(hand.shape(), Qt::BitmapCursor);
    EXPECT_EQ(hand.hotSpot(), QPoint(HandCursorHotX, HandCursorHotY));
    EXPECT_EQ(hand.pixmap().size(), QSize(32, 32));
    // The hot spot lies on the picture (the fingertip's outline).
    EXPECT_GT(qAlpha(hand.pixmap().toImage().pixel(HandCursorHotX, HandCursorHotY)), 0);
    const QCursor drag = Screen::Cursors(crDragHand);
    EXPECT_EQ(drag.hotSpot(), QPoint(DragCursorHotX, DragCursorHotY));
    EXPECT_GT(qAlpha(drag.pixmap().toImage().pixel(DragCursorHotX, DragCursorHotY)), 0);
    EXPECT_EQ(Screen::Cursors(crHourGlass).shape(), Qt::WaitCursor);
}

TEST(Cursors, DefineCursorTakesTheFirstFreeIndex)
{
    RegisterCursorResource("TEST_CROSS", [] { return QCursor(Qt::CrossCursor); });
    const int a = DefineCursor("TEST_CROSS");
    const int b = DefineCursor("TEST_CROSS");
    EXPECT_GE(a, 100);
    EXPECT_EQ(b, a + 1);
    EXPECT_EQ(Screen::Cursors(a).shape(), Qt::CrossCursor);
    Screen::RemoveCursor(a);
    EXPECT_EQ(DefineCursor("TEST_CROSS"), a);   // freed indexes are taken again

    try {
        DefineCursor("NO_SUCH_CURSOR");
        FAIL() << "no exception";
    } catch (const EResNotFound &e) {
        EXPECT_EQ(e.Message, "Resource NO_SUCH_CURSOR not found");
    }

    // A full table: no index left, nothing stored.
    for (int i = 100; i <= 32767; ++i)
        if (!Screen::HasCursor(i))
            Screen::SetCursors(i, QCursor(Qt::ArrowCursor));
    try {
        DefineCursor("TEST_CROSS");
        FAIL() << "no exception";
    } catch (const EOutOfResources &e) {
        EXPECT_EQ(e.Message, "Out of system resources");
    }
    EXPECT_FALSE(Screen::HasCursor(32768));
    for (int i = 100; i <= 32767; ++i)
        Screen::RemoveCursor(i);
    EXPECT_EQ(DefineCursor("TEST_CROSS"), 100);
    Screen::RemoveCursor(100);
}

TEST(WaitCursor, NestedStartAndStop)
{
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    StartWait();
    StartWait();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    EXPECT_EQ(Screen::Cursor(), crHourGlass);
    StopWait();
    EXPECT_EQ(WaitCount(), 1);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    StopWait();
    EXPECT_EQ(WaitCount(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Screen::Cursor(), crDefault);
    StopWait();   // unmatched: no effect
    EXPECT_EQ(WaitCount(), 0);

    // The screen cursor in force before the wait comes back.
    Screen::SetCursor(crHandPoint);
    StartWait();
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    StopWait();
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::PointingHandCursor);
    Screen::SetCursor(crDefault);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(SupConst, StringTable)
{
    struct Case { int id; const char *text; };
    const Case cases[] = {
        {61254, "Details"},
        {61255, "Could not load '%s' library"},
        {61256, "File specified is not an executable file, dynamic-link library, or icon file"},
        {61257, "Function not yet implemented"},
        {61258, "Previous Month|"},
        {61259, "Previous Year|"},
        {61260, "Next Month|"},
        {61261, "Next Year|"},
        {61262, "Select a Date"},
        {61263, "All files (*.*)|*.*"},
        {61264, "Browse"},
        {61265, ""},
    };
    for (const Case &c : cases)
        EXPECT_EQ(LoadStr(c.id), c.text) << c.id;
    EXPECT_EQ(ResStr("Some text"), "Some text");
}

TEST(Windows, CenterWindowKeepsTheWindowOnTheScreen)
{
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    ASSERT_GT(sw, 0);
    QWidget w(nullptr, Qt::Window | Qt::FramelessWindowHint);
    w.resize(201, 101);
    CenterWindow(&w);
    EXPECT_EQ(w.pos(), QPoint((sw - 201) / 2, (sh - 101) / 2));
    QWidget big(nullptr, Qt::Window | Qt::FramelessWindowHint);
    big.resize(sw + 300, 50);
    CenterWindow(&big);
    EXPECT_EQ(big.pos().x(), 0);
    EXPECT_EQ(big.pos().y(), (sh - 50) / 2);
}

TEST(Windows, SwitchToWindowRestoresAMinimisedWindow)
{
    QWidget w;
    w.resize(100, 50);
    w.show();
    w.showMinimized();
    ASSERT_TRUE(w.isMinimized());
    SwitchToWindow(&w, true);
    EXPECT_FALSE(w.isMinimized());
    EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_TRUE(IsForegroundTask());
}

TEST(Bitmaps, PatternsAndColourChanges)
{
    const QImage pat = CreateTwoColorsBrushPattern(clWhite, clBlack);
    ASSERT_EQ(pat.size(), QSize(8, 8));
    EXPECT_EQ(pat.pixelColor(0, 0), QColor(0, 0, 0));
    EXPECT_EQ(pat.pixelColor(1, 0), QColor(255, 255, 255));
    EXPECT_EQ(pat.pixelColor(1, 1), QColor(0, 0, 0));
    EXPECT_EQ(pat.pixelColor(7, 6), QColor(255, 255, 255));

    QImage src(2, 1, QImage::Format_RGB32);
    src.setPixelColor(0, 0, QColor(255, 0, 0));
    src.setPixelColor(1, 0, QColor(0, 255, 0));
    const QImage changed = ChangeBitmapColor(src, clRed, clBtnFace);
    EXPECT_EQ(changed.pixelColor(0, 0), QColor(212, 208, 200));
    EXPECT_EQ(changed.pixelColor(1, 0), QColor(0, 255, 0));
}

TEST(TextHelpers, SmallRoutines)
{
    EXPECT_EQ(DropT("TForm"), "Form");
    EXPECT_EQ(DropT("tag"), "ag");
    EXPECT_EQ(DropT("T"), "T");
    EXPECT_EQ(DropT("Form"), "Form");
    EXPECT_EQ(AnsiUpperFirstChar("hELLO wORLD"), "Hello world");
    EXPECT_EQ(AnsiUpperFirstChar("\xE9t\xC9"), "\xC9t\xE9");   // éTÉ -> Été
    EXPECT_EQ(AnsiUpperFirstChar(""), "");
    setenv("MIXDECK_VCLUTILS_TEST", "value", 1);
    EXPECT_EQ(GetEnvVar("MIXDECK_VCLUTILS_TEST"), "value");
    EXPECT_EQ(GetEnvVar("MIXDECK_VCLUTILS_TEST_UNSET"), "");
    EXPECT_EQ(DialogUnitsToPixelsX(4), 8);
    EXPECT_EQ(DialogUnitsToPixelsY(8), 16);
    EXPECT_EQ(PixelsToDialogUnitsX(8), 4);
    EXPECT_EQ(PixelsToDialogUnitsY(16), 8);
}

TEST(ScreenCanvas, InversionsToggle)
{
    TScreenCanvas *screen = TScreenCanvas::Instance();
    ASSERT_FALSE(screen->Image().isNull());
    PaintInverseRect(QPoint(30, 20), QPoint(10, 5));
    EXPECT_EQ(qAlpha(screen->Image().pixel(15, 10)), 0x80);
    EXPECT_EQ(qAlpha(screen->Image().pixel(31, 10)), 0);
    PaintInverseRect(QPoint(10, 5), QPoint(30, 20));
    EXPECT_EQ(qAlpha(screen->Image().pixel(15, 10)), 0);

    DrawInvertFrame(TRect(40, 40, 60, 60), 2);
    EXPECT_EQ(qAlpha(screen->Image().pixel(40, 40)), 0x80);   // outer frame, even pixel
    EXPECT_EQ(qAlpha(screen->Image().pixel(41, 41)), 0x80);   // inner frame
    EXPECT_EQ(qAlpha(screen->Image().pixel(50, 50)), 0);      // inside stays
    DrawInvertFrame(TRect(40, 40, 60, 60), 2);
    EXPECT_EQ(qAlpha(screen->Image().pixel(40, 40)), 0);
    EXPECT_EQ(qAlpha(screen->Image().pixel(41, 41)), 0);
}

TEST(Graphics, SystemColoursAndConversions)
{
    EXPECT_EQ(ColorToRGB(clBtnFace), RGB(212, 208, 200));
    EXPECT_EQ(ColorToRGB(clActiveCaption), RGB(10, 36, 106));
    EXPECT_EQ(ColorToRGB(clGradientActiveCaption), RGB(166, 202, 240));
    EXPECT_EQ(ColorToRGB(clInactiveCaptionText), RGB(212, 208, 200));
    EXPECT_EQ(ColorToRGB(clBlue), 0xFF0000u);
    EXPECT_EQ(ColorToQColor(clBlue), QColor(0, 0, 255));
    EXPECT_EQ(ColorToQColor(RGB(1, 2, 3)), QColor(1, 2, 3));
    EXPECT_EQ(ColorToQColor(clNone).alpha(), 0);
    EXPECT_EQ(QColorToColor(QColor(1, 2, 3)), 0x030201u);
    EXPECT_EQ(QColorToColor(ColorToQColor(clInfoBk)), ColorToRGB(clInfoBk));
    EXPECT_EQ(GetSysColor(99), 0u);
    EXPECT_EQ(GetSystemMetrics(SM_CYCAPTION), 19);
    EXPECT_EQ(GetSystemMetrics(SM_CXSMICON), 16);
}
