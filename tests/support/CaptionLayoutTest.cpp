// Caption text layout of the gradient title bar, with a text measure of our
// own: every character is 10 pixels wide, so "..." is 30.
#include "support/GradCapt.h"
#include "support/VCLUtils.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int W = 300, H = 18;
// Free width for text: the bar less the icon square (H) and 2 pixels.
constexpr int TextLeft = H + 2;

struct Seg {
    std::string caption;
    bool glue = false;
    bool visible = true;
};

class CaptionLayout : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<QWidget>();
        form->resize(400, 200);
        caption = new TGradientCaption(form.get());
        caption->SetTextMeasure([this](const TCaptionFont &, const std::string &s) {
            ++measured;
            return int(s.size()) * 10;
        });
    }

    void setSegments(const std::vector<Seg> &segs, const std::string &formCaption)
    {
        caption->Captions().Clear();
        for (const Seg &s : segs) {
            TGradCaptionItem *it = caption->Captions().Add();
            it->SetCaption(s.caption);
            it->SetGlueNext(s.glue);
            it->SetVisible(s.visible);
        }
        caption->SetFormCaption(formCaption);
    }

    std::vector<TCaptionTextOp> layout(int width = W, bool active = true)
    {
        std::vector<TCaptionTextOp> ops;
        caption->PaintCaption(width, H, active, &ops);
        return ops;
    }

    static std::vector<std::string> texts(const std::vector<TCaptionTextOp> &ops)
    {
        std::vector<std::string> t;
        for (const auto &op : ops)
            t.push_back(op.Text);
        return t;
    }

    static std::string rep(char c, int n) { return std::string(size_t(n), c); }

    std::unique_ptr<QWidget> form;
    TGradientCaption *caption = nullptr;
    int measured = 0;
};

} // namespace

TEST_F(CaptionLayout, LeftToRightGivesUpLeadingSegments)
{
    struct Case {
        const char *name;
        std::vector<Seg> segs;
        std::string formCaption;
        std::vector<std::string> drawn;
    };
    const std::string A = rep('A', 10), B = rep('B', 10), C = rep('C', 10), D = rep('D', 5);
    const std::vector<Case> cases = {
        {"all fit", {{A}, {D}}, C, {A, D, C}},
        {"first given up", {{A}, {B}}, C, {B, C}},
        {"glued pair given up together", {{A, true}, {B}, {D}}, C, {D, C}},
        {"invisible segments take no room", {{A, false, false}, {B}}, C, {B, C}},
        {"all given up, caption shortened", {{A}, {B}}, rep('C', 40), {rep('C', 25) + "..."}},
        {"glue on the last segment is ignored", {{A}, {B, true}}, rep('C', 30), {rep('C', 25) + "..."}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        setSegments(c.segs, c.formCaption);
        const auto ops = layout();
        EXPECT_EQ(texts(ops), c.drawn);
        // Pieces follow each other from the left edge of the text area.
        int x = TextLeft;
        for (const auto &op : ops) {
            EXPECT_EQ(op.Rect.Left, x);
            EXPECT_EQ(op.Rect.Right, W);
            EXPECT_EQ(op.Rect.Top, 0);
            EXPECT_EQ(op.Rect.Bottom, H);
            x += int(op.Text.size()) * 10;
        }
    }
}

TEST_F(CaptionLayout, FormCaptionShrinksDownToABareEllipsis)
{
    setSegments({}, "MIXDECK Version 2.1.0.14 (RC1)");   // 300 pixels
    EXPECT_EQ(texts(layout(TextLeft + 300)),
              std::vector<std::string>{"MIXDECK Version 2.1.0.14 (RC1)"});
    EXPECT_EQ(texts(layout(TextLeft + 299)), std::vector<std::string>{"MIXDECK Version 2.1.0.14 (..."});
    // 20 pixels of room: only "..." is left, and drawn though it is wider.
    EXPECT_EQ(texts(layout(TextLeft + 20)), std::vector<std::string>{"..."});
    // 100 pixels: seven characters and the ellipsis.
    EXPECT_EQ(texts(layout(TextLeft + 100)), std::vector<std::string>{"MIXDECK..."});
    // An empty caption with no segments: gradient and icon only.
    setSegments({}, "");
    EXPECT_TRUE(layout().empty());
}

TEST_F(CaptionLayout, RightToLeftDrawsFromTheFirstSegmentAndStops)
{
    caption->SetHideDirection(hdRightToLeft);
    struct Case {
        const char *name;
        std::vector<Seg> segs;
        std::string formCaption;
        std::vector<std::string> drawn;
    };
    const std::string A = rep('A', 10), C = rep('C', 10), D = rep('D', 10);
    const std::vector<Case> cases = {
        {"all fit", {{A}, {rep('B', 5)}}, C, {A, rep('B', 5), C}},
        // The third segment is cut: drawing stops, the form caption is left out.
        {"cut segment stops drawing", {{A}, {rep('B', 10)}, {D}}, C, {A, rep('B', 10), "DDDDD..."}},
        // A segment that fits only as "..." is not drawn unless it is glued.
        {"bare ellipsis not drawn", {{A}, {rep('B', 15)}, {D}}, C, {A, rep('B', 15)}},
        // A glued segment that exactly fills the room ends the group with "...".
        {"glued group ends in ellipsis", {{A}, {rep('B', 17), true}, {D}}, C, {A, rep('B', 17) + "..."}},
        // Glued and fitting: the group goes on; the form caption then fits
        // only as "..." and, not being glued, is left out.
        {"glued group continues", {{A}, {rep('B', 5), true}, {D}}, rep('C', 10), {A, rep('B', 5), D}},
        // Invisible and empty segments are passed over.
        {"invisible and empty", {{A, false, false}, {""}, {D}}, C, {D, C}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        setSegments(c.segs, c.formCaption);
        EXPECT_EQ(texts(layout()), c.drawn);
    }
}

TEST_F(CaptionLayout, GluedEllipsisTakesThePreviousSegmentsColour)
{
    caption->SetHideDirection(hdRightToLeft);
    setSegments({{rep('A', 10)}, {rep('B', 15), true}, {rep('D', 10)}}, "");
    TCaptionFont red = caption->Font();
    red.Color = clRed;
    caption->Captions().Items(1)->SetFont(red);
    caption->Captions().Items(1)->SetInactiveColor(clLime);
    auto ops = layout(W, true);
    ASSERT_EQ(texts(ops), (std::vector<std::string>{rep('A', 10), rep('B', 15), "..."}));
    EXPECT_EQ(ops[1].Font.Color, clRed);
    EXPECT_EQ(ops[2].Font.Color, clRed);
    EXPECT_EQ(ops[2].Font.Font, caption->Font().Font);
    // Inactive: the previous segment's inactive colour.
    ops = layout(W, false);
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[2].Font.Color, clLime);
    EXPECT_EQ(ops[0].Font.Color, clInactiveCaptionText);
}

TEST_F(CaptionLayout, InactiveColours)
{
    setSegments({{"seg"}}, "form");
    caption->SetFontInactiveColor(clYellow);
    caption->Captions().Items(0)->SetInactiveColor(clAqua);
    TCaptionFont f = caption->Font();
    f.Color = clWhite;
    caption->SetFont(f);
    auto ops = layout(W, true);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].Font.Color, clWhite);   // the segment follows the owner's font
    EXPECT_EQ(ops[1].Font.Color, clWhite);
    ops = layout(W, false);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].Font.Color, clAqua);
    EXPECT_EQ(ops[1].Font.Color, clYellow);
    EXPECT_FALSE(caption->DefaultFont());
}

TEST_F(CaptionLayout, RightToLeftReadingDrawsFromTheRightEdge)
{
    form->setLayoutDirection(Qt::RightToLeft);
    setSegments({{"abc"}}, "form");
    const auto ops = layout();
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].Rect.Right, W);
    EXPECT_EQ(ops[1].Rect.Right, W - 30);
    EXPECT_EQ(ops[1].Rect.Left, TextLeft);
}

TEST_F(CaptionLayout, SegmentListOperations)
{
    setSegments({{"one"}, {"two"}, {"three"}}, "");
    caption->MoveCaption(0, 2);
    EXPECT_EQ(texts(layout()), (std::vector<std::string>{"two", "three", "one"}));
    EXPECT_EQ(caption->Captions().Items(2)->Index(), 2);

    TGradCaptionItem *two = caption->Captions().Items(0);
    two->SetGlueNext(true);
    two->SetVisible(false);
    TCaptionFont green = caption->Font();
    green.Color = clGreen;
    two->SetFont(green);
    EXPECT_FALSE(two->ParentFont());
    caption->Captions().SetItems(1, *two);   // assignment copies every value
    TGradCaptionItem *copy = caption->Captions().Items(1);
    EXPECT_EQ(copy->Caption(), "two");
    EXPECT_TRUE(copy->GlueNext());
    EXPECT_FALSE(copy->Visible());
    EXPECT_EQ(copy->Font().Color, clGreen);

    caption->Captions().RestoreDefaults();
    EXPECT_TRUE(copy->Visible());
    EXPECT_TRUE(copy->ParentFont());
    EXPECT_EQ(copy->Font(), caption->Font());
    EXPECT_EQ(copy->InactiveColor(), clInactiveCaptionText);
    EXPECT_TRUE(copy->GlueNext());   // not among the defaults restored

    caption->Clear();
    EXPECT_EQ(caption->Captions().Count(), 0);
}

// Pixel at the right end of the bar (never under the icon or a text).
static QColor rightEnd(const QImage &img) { return img.pixelColor(img.width() - 1, 0); }

TEST_F(CaptionLayout, GradientStepsUseTheLowEightBits)
{
    setSegments({}, "");
    caption->SetStartColor(clRed);
    caption->SetGradientSteps(44);
    const QImage steps44 = caption->PaintCaption(W, H, true);
    caption->SetGradientSteps(300);   // 300 behaves as 44
    const QImage steps300 = caption->PaintCaption(W, H, true);
    EXPECT_EQ(steps300, steps44);
    caption->SetGradientSteps(64);
    EXPECT_NE(caption->PaintCaption(W, H, true), steps44);
    // 256 and 1 leave fewer than 2 colours: a solid bar in the start colour.
    for (int steps : {1, 256}) {
        caption->SetGradientSteps(steps);
        const QImage solid = caption->PaintCaption(W, H, true);
        EXPECT_EQ(rightEnd(solid), QColor(255, 0, 0)) << steps;
        EXPECT_EQ(solid.pixelColor(W / 2, H - 1), QColor(255, 0, 0)) << steps;
    }
}

TEST_F(CaptionLayout, GradientStartsAQuarterLeftOfTheBar)
{
    setSegments({}, "");
    caption->SetStartColor(clBlack);
    caption->SetGradientSteps(64);
    const QImage bar = caption->PaintCaption(W, H, true);
    // The same run drawn over the full extent.
    QImage run(W + W / 4, 1, QImage::Format_RGB32);
    QPainter p(&run);
    GradientFillRect(p, TRect(0, 0, run.width(), 1), clBlack, clGradientActiveCaption,
                     fdLeftToRight, 64);
    p.end();
    for (int x = H; x < W; x += 7)
        ASSERT_EQ(bar.pixelColor(x, 0), run.pixelColor(x + W / 4, 0)) << x;
    EXPECT_EQ(rightEnd(bar), QColor(166, 202, 240));
}

TEST_F(CaptionLayout, SolidFillWhenTheStateHasNoGradient)
{
    setSegments({}, "");
    caption->SetStartColor(clRed);
    // Inactive without GradientInactive: the inactive caption colour.
    const QImage inactive = caption->PaintCaption(W, H, false);
    EXPECT_EQ(inactive.pixelColor(H + 1, 0), QColor(192, 192, 192));
    EXPECT_EQ(rightEnd(inactive), QColor(192, 192, 192));
    caption->SetGradientInactive(true);
    EXPECT_NE(caption->PaintCaption(W, H, false).pixelColor(H + 1, 0), QColor(192, 192, 192));
    // Active without GradientActive.
    caption->SetGradientActive(false);
    EXPECT_EQ(caption->PaintCaption(W, H, true).pixelColor(H + 1, 0), QColor(166, 202, 240));
    // Without system gradients the plain caption colours are the end colours.
    SetSystemGradientCaptions(false);
    EXPECT_EQ(caption->PaintCaption(W, H, true).pixelColor(H + 1, 0), QColor(10, 36, 106));
    SetSystemGradientCaptions(true);
}

TEST_F(CaptionLayout, TextWidthsComeFromTheInjectedMeasure)
{
    setSegments({{"abc"}}, "form");
    measured = 0;
    layout();
    EXPECT_GT(measured, 0);
    TCaptionFont f;
    EXPECT_EQ(caption->GetTextWidth(f, "abcd"), 40);
    caption->SetTextMeasure(nullptr);   // back to the font's own metrics
    EXPECT_GT(caption->GetTextWidth(caption->Font(), "abcd"), 0);
}
