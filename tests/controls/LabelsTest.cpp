// Extended labels, link labels and the control utilities: property rules,
// painting, and link clicks with real mouse events through the recorded
// shell service.
#include "controls/ProCtrls.h"
#include "controls/ProUrl.h"
#include "controls/Provcl.h"
#include "platform/ScriptedDialogs.h"
#include "support/Cursors.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFontDatabase>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <numbers>
#include <memory>

namespace {

TColor PixelColor(const QImage &img, int x, int y)
{
    return QColorToColor(QColor(img.pixel(x, y)));
}

int CountPixels(const QImage &img, TColor colour)
{
    int n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += PixelColor(img, x, y) == colour;
    return n;
}

QFont BigFont()
{
    QFont f;
    f.setPixelSize(28);
    f.setBold(true);
    return f;
}

std::vector<std::string> ShellTargets(const ScriptedDialogs &d)
{
    std::vector<std::string> out;
    for (const auto &c : d.CallsOf(ScriptedDialogs::Kind::ShellOpen))
        out.push_back(c.target);
    return out;
}

void SendEnter(QWidget *w)
{
    QEnterEvent e(QPointF(2, 2), w->mapToGlobal(QPointF(2, 2)), w->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(w, &e);
}

void SendLeave(QWidget *w)
{
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(w, &e);
}

} // namespace

// ---- TProLabel properties --------------------------------------------------------------

TEST(ProLabel, AnglesFoldIntoOneTurn)
{
    const std::pair<int, int> cases[] = {
        {-90, 270}, {360, 0}, {450, 90}, {-1, 359}, {725, 5}, {-720, 0}, {180, 180},
    };
    for (const auto &[in, out] : cases) {
        TProLabel l;
        l.SetAngle(in);
        EXPECT_EQ(l.Angle(), out) << in;
        if (out != 0) {
            EXPECT_NEAR(l.Cosine(), std::cos(out * std::numbers::pi / 180), 1e-9);
            EXPECT_NEAR(l.Sine(), std::sin(out * std::numbers::pi / 180), 1e-9);
        }
    }
}

TEST(ProLabel, RotationAndPositiveOffsetsSwitchAutoSizeOff)
{
    TProLabel l;
    ASSERT_TRUE(l.AutoSize());
    l.SetOffsetX(-3);
    EXPECT_TRUE(l.AutoSize());
    l.SetOffsetY(2);
    EXPECT_FALSE(l.AutoSize());

    TProLabel r;
    r.SetAngle(90);
    EXPECT_FALSE(r.AutoSize());
}

TEST(ProLabel, AutoSizeFitsTheCaptionAndKeepsTheRightEdgeWhenRightJustified)
{
    TProLabel l;
    l.setFont(BigFont());
    l.SetCaption("Version");
    const QFontMetrics fm(BigFont());
    EXPECT_EQ(l.height(), fm.height());
    EXPECT_GE(l.width(), fm.horizontalAdvance("Version") - 2);
    const int shortWidth = l.width();
    l.SetCaption("Version 2.1.0");
    EXPECT_GT(l.width(), shortWidth);

    TProLabel r;
    r.SetAlignment(taRightJustify);
    r.setGeometry(100, 5, 50, 10);
    r.SetCaption("( Build ");
    EXPECT_EQ(r.x() + r.width(), 150);

    TProLabel fixed;
    fixed.SetAutoSize(false);
    fixed.setGeometry(0, 0, 40, 12);
    fixed.SetCaption("a much longer caption than fits");
    EXPECT_EQ(fixed.size(), QSize(40, 12));
}

TEST(ProLabel, ShadowStylePresetsSetTheSevenValues)
{
    struct Case {
        TShadowStyle style;
        TDirection hDir;
        int hDepth;
        TDirection sDir;
        int sDepth;
        int sSize;
        bool faceColour;
    };
    const Case cases[] = {
        {TShadowStyle::ssRaised, drUpLeft, 1, drNone, 0, 0, false},
        {TShadowStyle::ssRaisedColor, drUpLeft, 1, drDownRight, 1, 1, true},
        {TShadowStyle::ssRaisedShadow, drUpLeft, 1, drDownRight, 1, 1, false},
        {TShadowStyle::ssRaisedThickShadow, drUpLeft, 1, drDownRight, 1, 4, false},
        {TShadowStyle::ssRecessed, drDownRight, 1, drNone, 0, 0, false},
        {TShadowStyle::ssRecessedColor, drDownRight, 1, drUpLeft, 1, 1, true},
        {TShadowStyle::ssRecessedShadow, drDownRight, 1, drUpLeft, 1, 1, false},
        {TShadowStyle::ssShadow, drNone, 0, drDownRight, 2, 1, false},
        {TShadowStyle::ssThickShadow, drNone, 0, drDownRight, 1, 4, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.style));
        TProLabel l;
        l.SetFontColor(clMaroon);
        l.SetHighlightColor(clRed);
        l.SetShadowColor(clGreen);
        l.SetShadowStyle(c.style);
        EXPECT_EQ(l.ShadowStyle(), c.style);   // not turned into ssCustom by its own setters
        EXPECT_EQ(l.HighlightDirection(), c.hDir);
        EXPECT_EQ(l.HighlightDepth(), c.hDepth);
        EXPECT_EQ(l.ShadowDirection(), c.sDir);
        EXPECT_EQ(l.ShadowDepth(), c.sDepth);
        EXPECT_EQ(l.ShadowSize(), c.sSize);
        EXPECT_EQ(l.HighlightColor(), clBtnHighlight);
        EXPECT_EQ(l.ShadowColor(), clBtnShadow);
        EXPECT_EQ(l.FontColor(), c.faceColour ? clBtnFace : clMaroon);
    }
}

TEST(ProLabel, SettingOneShadowValueMakesTheStyleCustom)
{
    TProLabel l;
    l.SetShadowStyle(TShadowStyle::ssShadow);
    l.SetShadowColor(clRed);
    EXPECT_EQ(l.ShadowStyle(), TShadowStyle::ssCustom);
    EXPECT_EQ(l.ShadowDepth(), 2);   // the rest stays
    l.SetShadowStyle(TShadowStyle::ssCustom);
    EXPECT_EQ(l.ShadowColor(), clRed);
    l.SetShadowDepth(5000);
    EXPECT_EQ(l.ShadowDepth(), 1280);
    // Layout is the vertical alignment by another name.
    l.SetLayout(TTextLayout::tlBottom);
    EXPECT_EQ(l.VerticalAlignment(), TVerticalAlignment::vaBottom);
}

// ---- TProLabel painting --------------------------------------------------------------------

namespace {

// A label with its own colour, so the grab shows exactly what it paints.
void Dress(TProCustomLabel &l, const std::string &caption)
{
    l.setFont(BigFont());
    l.SetAutoSize(false);
    l.setGeometry(0, 0, 160, 50);
    l.SetColor(clWhite);
    l.SetFontColor(clBlack);
    l.SetCaption(caption);
}

} // namespace

TEST(ProLabelPaint, PlainLabelDrawsItsCaptionInTheFontColour)
{
    TProLabel l;
    Dress(l, "IIII");
    const QImage img = l.grab().toImage();
    EXPECT_GT(CountPixels(img, clBlack), 20);
    EXPECT_EQ(PixelColor(img, 159, 49), clWhite);
    // Top aligned: nothing in the lowest rows.
    for (int x = 0; x < 160; ++x)
        ASSERT_EQ(PixelColor(img, x, 48), clWhite) << x;

    // Bottom aligned: the text moves down to the bottom edge.
    l.SetVerticalAlignment(TVerticalAlignment::vaBottom);
    const QImage low = l.grab().toImage();
    for (int x = 0; x < 160; ++x)
        ASSERT_EQ(PixelColor(low, x, 1), clWhite) << x;
    EXPECT_GT(CountPixels(low, clBlack), 20);
}

TEST(ProLabelPaint, ShadowAndHighlightCopiesAreDrawnBehindTheText)
{
    TProLabel l;
    Dress(l, "IIII");
    l.SetShadowStyle(TShadowStyle::ssShadow);   // one copy two steps down-right
    l.SetShadowColor(clRed);
    EXPECT_EQ(l.ShadowStyle(), TShadowStyle::ssCustom);
    const QImage img = l.grab().toImage();
    EXPECT_GT(CountPixels(img, clRed), 10);
    EXPECT_GT(CountPixels(img, clBlack), 10);
    // A black stem pixel has red two pixels to its right at the stem's edge:
    // the shadow lies below and right of the text, never above it.
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 160; ++x)
            ASSERT_NE(PixelColor(img, x, y), clRed);
}

TEST(ProLabelPaint, ADisabledLabelShowsOnlyItsEmbossedCopies)
{
    TProLabel l;
    Dress(l, "IIII");
    l.SetColor(clYellow);   // the highlight copy is white
    l.SetShadowStyle(TShadowStyle::ssThickShadow);
    l.setEnabled(false);
    const QImage img = l.grab().toImage();
    EXPECT_EQ(CountPixels(img, clBlack), 0);
    EXPECT_GT(CountPixels(img, ColorToRGB(clBtnShadow)), 10);
    EXPECT_GT(CountPixels(img, ColorToRGB(clBtnHighlight)), 0);
}

TEST(ProLabelPaint, TransparentAndParentColouredLabelsLetTheParentShow)
{
    QWidget parent;
    parent.resize(100, 60);
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, QColor(0, 0, 255));
    parent.setPalette(pal);
    parent.setAutoFillBackground(true);
    TProLabel l(&parent);
    l.setGeometry(10, 10, 80, 40);
    l.SetAutoSize(false);
    l.SetCaption("");
    EXPECT_EQ(PixelColor(parent.grab().toImage(), 50, 30), clBlue);
    l.SetColor(clYellow);
    EXPECT_EQ(PixelColor(parent.grab().toImage(), 50, 30), clYellow);
    l.SetTransparent(true);
    EXPECT_EQ(PixelColor(parent.grab().toImage(), 50, 30), clBlue);
}

TEST(ProLabelPaint, RotatedTextStaysInItsQuadrantBox)
{
    for (int angle : {90, 180, 270, 45}) {
        SCOPED_TRACE(angle);
        TProLabel l;
        Dress(l, "IIIIIII");
        l.setGeometry(0, 0, 160, 160);
        l.SetAngle(angle);
        l.SetAlignment(taLeftJustify);
        const QImage img = l.grab().toImage();
        int minX = 1000, minY = 1000, maxX = -1, maxY = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (PixelColor(img, x, y) == clBlack) {
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                    minY = std::min(minY, y);
                    maxY = std::max(maxY, y);
                }
        ASSERT_GE(maxX, 0) << "nothing drawn";
        const QFontMetrics fm(BigFont());
        const int W = fm.horizontalAdvance("IIIIIII");
        if (angle == 90) {
            // Runs upwards from the bottom-left of a box at the top-left.
            EXPECT_GT(maxY - minY, maxX - minX);
            EXPECT_LE(maxY, W + 2);
            EXPECT_LE(maxX, fm.height() + 1);
        } else if (angle == 180) {
            EXPECT_GT(maxX - minX, maxY - minY);
            EXPECT_LE(maxX, W + 2);
        } else if (angle == 270) {
            EXPECT_GT(maxY - minY, maxX - minX);
            EXPECT_LE(maxX, fm.height() + 1);
        }
    }
}

// ---- TProUrlLabel ---------------------------------------------------------------------------

namespace {

struct LinkWindow {
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use{dialogs};
    QWidget window;
    TProUrlLabel *link = nullptr;

    LinkWindow()
    {
        window.resize(300, 100);
        link = new TProUrlLabel(&window);
        link->move(20, 20);
        link->SetCaption("www.quillfern.example");
        link->SetURL("http://www.quillfern.example/");
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QPoint Inside() const { return QPoint(3, link->height() / 2); }
};

} // namespace

TEST(ProUrlLabel, StartsBlueUnderlinedWithAHandCursor)
{
    RegisterProCursors();  // the program's start-up does this before any window
    TProUrlLabel l;
    EXPECT_EQ(l.FontColor(), clBlue);
    EXPECT_TRUE(l.font().underline());
    EXPECT_EQ(l.UnvisitedColor(), clBlue);
    EXPECT_EQ(l.ActivatedColor(), clRed);
    EXPECT_EQ(l.VisitedColor(), clNavy);
    EXPECT_EQ(l.HoveredColor(), clWhite);
    EXPECT_FALSE(l.CanHover());
    EXPECT_FALSE(l.Visited());
    EXPECT_EQ(l.Cursor(), crProHandPoint);
    for (int i = crProHandPoint; i <= crProDragHand; ++i)
        EXPECT_TRUE(Screen::HasCursor(i)) << i;
}

TEST(ProUrlLabel, ALeftClickOpensTheUrlAndShowsTheVisitedColour)
{
    LinkWindow w;
    w.link->SetVisitedColor(clPurple);
    QSignalSpy clicks(w.link, &TProCustomLabel::clicked);
    QTest::mouseClick(w.link, Qt::LeftButton, {}, w.Inside());
    EXPECT_EQ(ShellTargets(w.dialogs), std::vector<std::string>{"http://www.quillfern.example/"});
    EXPECT_TRUE(w.link->Visited());
    EXPECT_FALSE(w.link->Pressed());
    EXPECT_EQ(w.link->FontColor(), clPurple);
    EXPECT_EQ(clicks.count(), 1);

    // It stays visited; a second click opens the address again.
    QTest::mouseClick(w.link, Qt::LeftButton, {}, w.Inside());
    EXPECT_EQ(ShellTargets(w.dialogs).size(), 2u);
    EXPECT_EQ(w.link->FontColor(), clPurple);
}

TEST(ProUrlLabel, AnEmptyUrlOpensTheCaption)
{
    LinkWindow w;
    w.link->SetURL("");
    w.link->SetCaption("mailto:info@quillfern.example?Subject=info");
    QTest::mouseClick(w.link, Qt::LeftButton, {}, w.Inside());
    EXPECT_EQ(ShellTargets(w.dialogs),
              std::vector<std::string>{"mailto:info@quillfern.example?Subject=info"});
}

TEST(ProUrlLabel, OtherButtonsOpenNothing)
{
    LinkWindow w;
    for (Qt::MouseButton b : {Qt::RightButton, Qt::MiddleButton}) {
        QTest::mouseClick(w.link, b, {}, w.Inside());
        EXPECT_TRUE(w.dialogs.Calls.empty());
        EXPECT_FALSE(w.link->Visited());
        EXPECT_EQ(w.link->FontColor(), clBlue);
    }
}

TEST(ProUrlLabel, ReleasingOutsideOpensNothingAndRestoresTheColour)
{
    LinkWindow w;
    QTest::mousePress(w.link, Qt::LeftButton, {}, w.Inside());
    EXPECT_TRUE(w.link->Pressed());
    EXPECT_EQ(w.link->FontColor(), clRed);
    QTest::mouseRelease(w.link, Qt::LeftButton, {}, QPoint(w.link->width() + 30, 2));
    EXPECT_TRUE(w.dialogs.Calls.empty());
    EXPECT_FALSE(w.link->Pressed());
    EXPECT_FALSE(w.link->Visited());
    EXPECT_EQ(w.link->FontColor(), clBlue);
    // The right and bottom edges still count as inside.
    QTest::mousePress(w.link, Qt::LeftButton, {}, w.Inside());
    QTest::mouseRelease(w.link, Qt::LeftButton, {}, QPoint(w.link->width(), w.link->height()));
    EXPECT_EQ(ShellTargets(w.dialogs).size(), 1u);
}

TEST(ProUrlLabel, TheAboutBoxLinksStayBlueAndKeepTheirUnderline)
{
    LinkWindow w;
    w.link->SetVisitedColor(clBlue);
    w.link->SetHoveredColor(clYellow);
    SendEnter(w.link);
    EXPECT_EQ(w.link->FontColor(), clBlue);   // no hover effects
    EXPECT_TRUE(w.link->font().underline());
    QTest::mouseClick(w.link, Qt::LeftButton, {}, w.Inside());
    EXPECT_EQ(w.link->FontColor(), clBlue);
    SendLeave(w.link);
    EXPECT_EQ(w.link->FontColor(), clBlue);
    EXPECT_TRUE(w.link->font().underline());
    EXPECT_EQ(ShellTargets(w.dialogs).size(), 1u);
}

TEST(ProUrlLabel, HoveringShowsTheHoverColourAndUnderline)
{
    TProUrlLabel l;
    int enters = 0, leaves = 0;
    l.OnMouseEnter = [&enters](TProCustomLabel *) { ++enters; };
    l.OnMouseLeave = [&leaves](TProCustomLabel *) { ++leaves; };
    l.SetCanHover(true);
    EXPECT_FALSE(l.font().underline());
    SendEnter(&l);
    EXPECT_EQ(l.FontColor(), clWhite);
    EXPECT_TRUE(l.font().underline());
    SendLeave(&l);
    EXPECT_EQ(l.FontColor(), clBlue);
    EXPECT_FALSE(l.font().underline());
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
    // Hover off again puts the underline back for good.
    l.SetCanHover(false);
    EXPECT_TRUE(l.font().underline());
}

TEST(ProUrlLabel, PressLeaveAndReenterShowsTheActivatedColourAgain)
{
    LinkWindow w;
    w.link->SetCanHover(true);
    QTest::mousePress(w.link, Qt::LeftButton, {}, w.Inside());
    SendLeave(w.link);
    EXPECT_EQ(w.link->FontColor(), clBlue);
    SendEnter(w.link);
    EXPECT_EQ(w.link->FontColor(), clRed);
    QTest::mouseRelease(w.link, Qt::LeftButton, {}, w.Inside());
    EXPECT_EQ(w.link->FontColor(), clWhite);   // visited, pointer still over it
    SendLeave(w.link);
    EXPECT_EQ(w.link->FontColor(), clNavy);
}

TEST(ProUrlLabel, AFontColourSetByHandBecomesTheStateColour)
{
    TProUrlLabel l;
    l.SetFontColor(clGreen);
    EXPECT_EQ(l.UnvisitedColor(), clGreen);
    l.SetUnvisitedColor(clTeal);
    EXPECT_EQ(l.FontColor(), clTeal);
    l.SetVisitedColor(clOlive);   // not visited: the text keeps its colour
    EXPECT_EQ(l.FontColor(), clTeal);
    EXPECT_EQ(l.VisitedColor(), clOlive);
}

TEST(ProUrlImage, AClickOpensItsUrl)
{
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    QWidget window;
    window.resize(100, 100);
    auto *img = new TProUrlImage(&window);
    img->setGeometry(10, 10, 40, 40);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(img, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(dialogs.Calls.empty());   // no URL: nothing
    img->SetURL("http://freedb.example/");
    QTest::mouseClick(img, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(img, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(ShellTargets(dialogs), std::vector<std::string>{"http://freedb.example/"});
}

TEST(ProLabelMouse, PlainLabelsPassClicksToTheirParentUnlessConnected)
{
    class Counter : public QWidget {
    public:
        int presses = 0;
    protected:
        void mousePressEvent(QMouseEvent *e) override
        {
            ++presses;
            e->accept();
        }
    };
    Counter window;
    window.resize(200, 80);
    auto *label = new TProLabel(&window);
    label->SetCaption("Version");
    label->move(10, 10);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(window.presses, 1);
    QSignalSpy clicks(label, &TProCustomLabel::clicked);
    QTest::mouseClick(label, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(window.presses, 1);
}

// ---- Provcl ------------------------------------------------------------------------------------

TEST(Provcl, OpenUrlGoesThroughTheShellAndSkipsEmptyAddresses)
{
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    OpenURL("");
    EXPECT_TRUE(dialogs.Calls.empty());
    OpenURL("http://www.quillfern.example/");
    EXPECT_EQ(ShellTargets(dialogs), std::vector<std::string>{"http://www.quillfern.example/"});
}

TEST(Provcl, NewComponentNamesSkipTakenOnes)
{
    QWidget form;
    auto *a = new QObject(&form);
    a->setObjectName("ProLabel1");
    QWidget inner(&form);
    auto *b = new QObject(&inner);
    b->setObjectName("prolabel2");   // names compare without case
    EXPECT_EQ(GetNewComponentName(&form, "ProLabel"), "ProLabel3");
    EXPECT_EQ(GetNewComponentName(&form, "TextFader"), "TextFader1");
}

TEST(Provcl, FontLookUps)
{
    const QStringList families = QFontDatabase::families();
    if (!families.isEmpty()) {
        EXPECT_TRUE(FontInstalled(families.first().toLower().toStdString()));
    }
    EXPECT_FALSE(FontInstalled("No Such Font Family 42"));
    EXPECT_EQ(DefaultFontName(), FontTahomaInstalled() ? "Tahoma" : "MS Sans Serif");
}

TEST(Provcl, FramesDrawOnlyTheirSidesAndMoveTheRectangleIn)
{
    QImage img(10, 10, QImage::Format_RGB32);
    img.fill(Qt::white);
    {
        QPainter p(&img);
        TRect r(0, 0, 10, 10);
        Frame3DSides(p, r, SideBit(sdLeft) | SideBit(sdBottom), clRed, clBlue, 2);
        EXPECT_EQ(r, TRect(2, 0, 10, 8));
    }
    EXPECT_EQ(PixelColor(img, 0, 0), clRed);
    EXPECT_EQ(PixelColor(img, 1, 5), clRed);
    EXPECT_EQ(PixelColor(img, 5, 9), clBlue);
    EXPECT_EQ(PixelColor(img, 5, 8), clBlue);
    EXPECT_EQ(PixelColor(img, 5, 0), clWhite);   // no top edge
    EXPECT_EQ(PixelColor(img, 9, 5), clWhite);   // no right edge

    img.fill(Qt::white);
    {
        QPainter p(&img);
        FrameCtl3D(p, TRect(0, 0, 10, 10));
    }
    EXPECT_EQ(PixelColor(img, 0, 5), ColorToRGB(clBtnShadow));
    EXPECT_EQ(PixelColor(img, 9, 5), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(PixelColor(img, 1, 5), ColorToRGB(clBtnText));
    EXPECT_EQ(PixelColor(img, 8, 5), ColorToRGB(clBtnFace));
    EXPECT_EQ(PixelColor(img, 5, 5), clWhite);

    img.fill(Qt::white);
    {
        QPainter p(&img);
        FrameCtl3DSides(p, TRect(0, 0, 10, 10), AllSides, false);
    }
    EXPECT_EQ(PixelColor(img, 0, 5), ColorToRGB(clBtnHighlight));
    EXPECT_EQ(PixelColor(img, 9, 5), ColorToRGB(clBtnText));
    EXPECT_EQ(PixelColor(img, 1, 5), ColorToRGB(cl3DLight));
    EXPECT_EQ(PixelColor(img, 8, 5), ColorToRGB(clBtnShadow));
}

TEST(Provcl, DelayKeepsEventsFlowing)
{
    bool ran = false;
    QMetaObject::invokeMethod(qApp, [&ran] { ran = true; }, Qt::QueuedConnection);
    Delay(0);
    EXPECT_TRUE(ran);
}
