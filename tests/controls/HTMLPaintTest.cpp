// The cell markup painter with fixed metrics: every character 8 pixels wide,
// a line twice the font's point size (16 pixels at 8 points).
#include "controls/HTMLPaint.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Drawn {
    TFixedHTMLCanvas canvas;
    THTMLDrawResult result;
    bool hit = false;
};

Drawn paint(const std::string &text, TRect rect = TRect(0, 0, 400, 200), THTMLDrawParams p = THTMLDrawParams())
{
    Drawn d;
    d.canvas.Font = TFontDesc();
    d.canvas.BrushColor = clWindow;
    d.hit = DrawHTMLText(d.canvas, text, rect, p, d.result);
    return d;
}

std::vector<TFixedHTMLCanvas::Op> textOps(const Drawn &d)
{
    std::vector<TFixedHTMLCanvas::Op> out;
    for (const auto &o : d.canvas.Ops)
        if (o.kind == TFixedHTMLCanvas::Op::Text) out.push_back(o);
    return out;
}

TEST(HTMLPaint, AmpersandsFollowTheTextOutputsPrefixRule)
{
    // "&amp;" shows one ampersand; a single ampersand underlines the next character.
    Drawn amp = paint("a&amp;b</z>");
    ASSERT_EQ(textOps(amp).size(), 1u);
    EXPECT_EQ(textOps(amp)[0].text, "a&b");
    EXPECT_EQ(textOps(amp)[0].underline, -1);

    Drawn prefix = paint("a&b</z>");
    ASSERT_EQ(textOps(prefix).size(), 1u);
    EXPECT_EQ(textOps(prefix)[0].text, "ab");
    EXPECT_EQ(textOps(prefix)[0].underline, 1);
}

TEST(HTMLPaint, BoldRunsAndPlainText)
{
    Drawn d = paint("<b>x</b> y");
    auto ops = textOps(d);
    ASSERT_GE(ops.size(), 2u);
    EXPECT_EQ(ops[0].text, "x");
    EXPECT_TRUE(ops[0].font.Style & fsBold);
    for (size_t i = 1; i < ops.size(); ++i) EXPECT_FALSE(ops[i].font.Style & fsBold) << ops[i].text;
    EXPECT_EQ(d.result.StripVal, "x y");
    EXPECT_EQ(d.result.XSize, 24);
    EXPECT_EQ(d.result.YSize, 16);
}

TEST(HTMLPaint, LineBreaksGiveLinesAndCarriageReturns)
{
    Drawn d = paint("a\r\nb");
    auto ops = textOps(d);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].r.Top, 0);
    EXPECT_EQ(ops[1].r.Top, 16);
    EXPECT_EQ(d.result.StripVal, "a\rb");
    EXPECT_EQ(d.result.YSize, 32);

    Drawn br = paint("a<BR>b<hr>c");
    EXPECT_EQ(br.result.StripVal, "a\rb\rc");
    EXPECT_EQ(br.result.YSize, 48);
    // The rule is a black line across the whole area under its line.
    bool rule = false;
    for (const auto &o : br.canvas.Ops)
        if (o.kind == TFixedHTMLCanvas::Op::Line && o.r.Left == 0 && o.r.Right == 400 && o.color == clBlack)
            rule = true;
    EXPECT_TRUE(rule);
}

TEST(HTMLPaint, FontTagSizesAndColours)
{
    struct Case {
        const char *text;
        int size;
        TColor color;
    } cases[] = {
        {"<font size=\"3\">x</font>", 12, clWindowText},
        {"<font size=\"7\">x</font>", 7, clWindowText},
        {"<font size=1>x</font>", 8, clWindowText},
        {"<font color=\"#FF0000\">x</font>", 8, 0x0000FF},
        {"<font color=\"clred\">x</font>", 8, 0x0000FF},
        {"<font color=\"clBtnFace\">x</font>", 8, clBtnFace},
        {"<font color=\"clnosuch\">x</font>", 8, 0},
    };
    for (const Case &c : cases) {
        Drawn d = paint(c.text);
        auto ops = textOps(d);
        ASSERT_EQ(ops.size(), 1u) << c.text;
        EXPECT_EQ(ops[0].font.Size, c.size) << c.text;
        EXPECT_EQ(ops[0].font.Color, c.color) << c.text;
    }
    // The closing tag restores the font.
    Drawn d = paint("<font size=\"5\" color=\"clred\">a</font>b");
    auto ops = textOps(d);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[1].font.Size, 8);
    EXPECT_EQ(ops[1].font.Color, clWindowText);
    EXPECT_EQ(ColorFromHexRGB("#12AB9"), TColor(0x12 + 0xAB * 256));
}

TEST(HTMLPaint, WordWrapMovesWordsThatDoNotFit)
{
    // 5 characters fit in 40 pixels.
    Drawn d = paint("aaa bbb", TRect(0, 0, 40, 100));
    auto ops = textOps(d);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].text, "aaa ");
    EXPECT_EQ(ops[1].text, "bbb");
    EXPECT_EQ(ops[1].r.Left, 0);
    EXPECT_EQ(ops[1].r.Top, 16);
    EXPECT_EQ(d.result.YSize, 32);

    // A single word wider than the area stays on its line.
    Drawn wide = paint("aaaaaaaaaa", TRect(0, 0, 40, 100));
    ASSERT_EQ(textOps(wide).size(), 1u);
    EXPECT_EQ(textOps(wide)[0].r.Top, 0);
    EXPECT_EQ(wide.result.YSize, 16);

    // Without word wrap the run is cut at the edge with an ellipsis.
    THTMLDrawParams p;
    p.WordWrap = false;
    Drawn cut = paint("aaa bbb", TRect(0, 0, 40, 100), p);
    ASSERT_EQ(textOps(cut).size(), 1u);
    EXPECT_EQ(textOps(cut)[0].r.Right, 40);
    EXPECT_EQ(textOps(cut)[0].text.substr(textOps(cut)[0].text.size() - 3), "...");
}

TEST(HTMLPaint, AnchorsAreHitTested)
{
    const std::string text = "<a href=\"x\">link</a> text <a href=\"y\">two</a>";
    THTMLDrawParams p;
    p.CheckHotSpot = true;
    p.X = 4;
    p.Y = 8;
    Drawn on = paint(text, TRect(0, 0, 400, 100), p);
    EXPECT_TRUE(on.hit);
    EXPECT_EQ(on.result.Anchor, "x");
    EXPECT_EQ(on.result.MouseLink, 1);
    EXPECT_EQ(on.result.HyperLinks, 2);
    EXPECT_EQ(on.result.HoverRect, TRect(0, 0, 32, 16));
    // Hit testing draws nothing.
    EXPECT_TRUE(on.canvas.Ops.empty());

    p.X = 11 * 8 + 4; // the second anchor begins after "link text "
    Drawn second = paint(text, TRect(0, 0, 400, 100), p);
    EXPECT_TRUE(second.hit);
    EXPECT_EQ(second.result.Anchor, "y");
    EXPECT_EQ(second.result.MouseLink, 2);

    p.X = 6 * 8;
    Drawn beside = paint(text, TRect(0, 0, 400, 100), p);
    EXPECT_FALSE(beside.hit);
    EXPECT_EQ(beside.result.MouseLink, -1);
    EXPECT_EQ(beside.result.Anchor, "");
}

TEST(HTMLPaint, AnchorsTakeTheURLColourUnlessSelected)
{
    THTMLDrawParams p;
    p.URLColor = clGreen;
    Drawn d = paint("<a href=\"x\">l</a>m", TRect(0, 0, 400, 100), p);
    auto ops = textOps(d);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].font.Color, clGreen);
    EXPECT_TRUE(ops[0].font.Style & fsUnderline);
    EXPECT_EQ(ops[1].font.Color, clWindowText);
    EXPECT_FALSE(ops[1].font.Style & fsUnderline);

    p.Selected = true;
    Drawn sel = paint("<a href=\"x\">l</a><font color=\"clred\">m</font>", TRect(0, 0, 400, 100), p);
    ops = textOps(sel);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].font.Color, clWindowText);
    EXPECT_EQ(ops[1].font.Color, clWindowText);

    // The focus link gets a focus rectangle one pixel wider on each side.
    p.Selected = false;
    p.FocusLink = 0;
    Drawn f = paint("<a href=\"x\">ab</a>", TRect(0, 0, 400, 100), p);
    EXPECT_EQ(f.result.FocusAnchor, "x");
    bool focus = false;
    for (const auto &o : f.canvas.Ops)
        if (o.kind == TFixedHTMLCanvas::Op::Focus) focus = o.r == TRect(-1, 0, 17, 16);
    EXPECT_TRUE(focus);
}

TEST(HTMLPaint, SubscriptsAndSuperscriptsGrowTheLine)
{
    Drawn d = paint("H<sub>2</sub>O x<sup>2</sup>");
    // 16 high runs: a quarter each for the descent and the rise.
    EXPECT_EQ(d.result.YSize, 16 + 4 + 4);
    auto ops = textOps(d);
    ASSERT_GE(ops.size(), 4u);
    const int normalBottom = ops[0].r.Bottom;
    EXPECT_EQ(ops[1].r.Bottom, normalBottom + 4); // "2" lowered
    EXPECT_EQ(ops.back().r.Bottom, normalBottom - 4); // "2" raised
}

TEST(HTMLPaint, ParagraphAlignmentAndIndent)
{
    Drawn right = paint("<p align=\"right\">ab</p>", TRect(0, 0, 100, 100));
    ASSERT_EQ(textOps(right).size(), 1u);
    EXPECT_EQ(textOps(right)[0].r.Left, 100 - 16);
    Drawn centre = paint("<p align=\"center\">ab</p>", TRect(0, 0, 100, 100));
    EXPECT_EQ(textOps(centre)[0].r.Left, (100 - 16) / 2);
    Drawn indent = paint("<p indent=\"10\">ab</p>", TRect(0, 0, 100, 100));
    EXPECT_EQ(textOps(indent)[0].r.Left, 10);
    Drawn tab = paint("a<ind x=\"50\">b", TRect(0, 0, 100, 100));
    EXPECT_EQ(textOps(tab)[1].r.Left, 50);
}

TEST(HTMLPaint, HiddenHighlightAndErrorMarks)
{
    Drawn z = paint("a<z>bb</z>c");
    EXPECT_EQ(z.canvas.Texts(), (std::vector<std::string>{"a", "c"}));
    EXPECT_EQ(z.result.XSize, 32); // hidden text is measured
    Drawn hi = paint("a<hi>b</hi>c");
    auto ops = textOps(hi);
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[1].color, clHighlight);
    EXPECT_EQ(ops[1].font.Color, clHighlightText);
    EXPECT_EQ(ops[2].color, clNone);
    EXPECT_EQ(ops[2].font.Color, clWindowText);
    Drawn e = paint("<e>ab</e>");
    int zig = 0;
    for (const auto &o : e.canvas.Ops)
        if (o.kind == TFixedHTMLCanvas::Op::Line && o.color == clRed) ++zig;
    EXPECT_EQ(zig, 8); // 16 pixels in steps of 2
}

TEST(HTMLPaint, DrawingStopsBelowTheArea)
{
    Drawn d = paint("a<br>b<br>c<br>d", TRect(0, 0, 100, 20));
    EXPECT_EQ(d.canvas.Texts(), (std::vector<std::string>{"a", "b"}));
    THTMLDrawParams p;
    p.CheckHeight = true;
    Drawn m = paint("a<br>b<br>c<br>d", TRect(0, 0, 100, 20), p);
    EXPECT_TRUE(m.canvas.Ops.empty());
    EXPECT_EQ(m.result.YSize, 64);
    Drawn empty = paint("");
    EXPECT_EQ(empty.result.YSize, 16);
    EXPECT_EQ(empty.result.XSize, 0);
}

TEST(HTMLPaint, MalformedMarkupEndsQuietly)
{
    for (const char *t : {"<", "a<", "a<b", "a<font size=\"", "<a href=\"x>y", "</", "<<<>>>", "<#x>y", "<img>",
                          "<img src=\"IDX:99\">", "<img src=\"nosuch\">", "<ul><li>a<li>b</ul></ul></u>"}) {
        Drawn d = paint(t);
        EXPECT_GE(d.result.YSize, 0) << t;
    }
    EXPECT_EQ(paint("a<bx").result.StripVal, "a");
}

TEST(HTMLPaint, CanvasStateIsRestored)
{
    TFixedHTMLCanvas c;
    c.Font.Size = 10;
    c.BrushColor = clYellow;
    THTMLDrawResult r;
    DrawHTMLText(c, "<b><font size=\"5\" color=\"clred\">x", TRect(0, 0, 100, 100), THTMLDrawParams(), r);
    EXPECT_EQ(c.Font.Size, 10);
    EXPECT_EQ(c.Font.Style, 0);
    EXPECT_EQ(c.BrushColor, clYellow);
}

TEST(HTMLText, StripTags)
{
    EXPECT_EQ(StripHTMLTags("a<br>b"), "a\r\nb");
    EXPECT_EQ(StripHTMLTags("a<HR>b<b>c</b>"), "a\r\nbc");
    EXPECT_EQ(StripHTMLTags("a<b"), "a");
    EXPECT_EQ(HTMLVisiblePos("<b>ab</b>", 1), 4);
    EXPECT_EQ(HTMLVisiblePos("<b>ab</b>", 3), 10);
    EXPECT_EQ(HTMLVisiblePos("<b>ab</b>", 4), 0);
    EXPECT_EQ(HTMLFindFrom("ab", "xxAB", 1, false), 3);
    EXPECT_EQ(HTMLFindFrom("ab", "xxAB", 1, true), 0);
}

TEST(HTMLText, InsertAndRemoveMarkTags)
{
    struct Case {
        const char *cell, *find;
        bool doCase;
        const char *want;
    } cases[] = {
        {"xABy", "ab", false, "x<hi>AB</hi>y"},
        {"xABy", "ab", true, "xABy"},
        {"xy", "ab", false, "xy"},
        {"abab", "ab", false, "<hi>ab</hi><hi>ab</hi>"},
        {"aaa", "aa", false, "<hi>aa</hi>a"},
        {"<b>ab</b>", "ab", false, "<hi><b>ab</hi></b>"},
        {"a<i>b</i>c", "bc", false, "a<i><hi>b</i>c</hi>"},
        {"xy", "", false, "xy"},
    };
    for (const Case &c : cases) EXPECT_EQ(InsertMarkTags(c.cell, c.find, "hi", c.doCase), c.want) << c.cell;
    EXPECT_EQ(RemoveMarkTags("<hi>a</HI><Hi>b</hI><e>c</e>", "hi"), "ab<e>c</e>");
    EXPECT_EQ(RemoveMarkTags("<hi>a</HI><e>c</E>", "e"), "<hi>a</HI>c");
}

} // namespace

#include "GifMaker.h"
#include "controls/PictureContainer.h"
#include "platform/Streams.h"

#include <QPixmap>

namespace {

// A container with one GIF picture of a logical screen w x h under `name`.
void addGif(TPictureContainer &container, const std::string &name, int w, int h, int frames = 1)
{
    TPictureItem *item = container.Items.Add();
    item->Name = name;
    TMemoryStream m;
    m.SetBytes(gifmaker::MakeGif(w, h, std::vector<gifmaker::Frame>(size_t(frames))));
    item->Picture->LoadFromStream(m);
}

TEST(HTMLPaint, ImagesFromTheListTheContainerAndTheShell)
{
    TPictureContainer container;
    addGif(container, "logo", 20, 10, 2);
    QPixmap px(16, 16);
    px.fill(Qt::red);
    const QList<QIcon> icons{QIcon(px)};

    THTMLDrawParams p;
    p.PicContainer = &container;
    p.Images = &icons;
    Drawn d = paint("a<img src=\"Logo\">b<img src=\"IDX:0\"><img src=\"IDX:1\"><img src=\"SSYS:/tmp\">", TRect(0, 0, 400, 100), p);
    std::vector<TFixedHTMLCanvas::Op::Kind> kinds;
    for (const auto &o : d.canvas.Ops)
        if (o.kind != TFixedHTMLCanvas::Op::Text) kinds.push_back(o.kind);
    // An animated picture gets its area filled first.
    using K = TFixedHTMLCanvas::Op;
    EXPECT_EQ(kinds, (std::vector<TFixedHTMLCanvas::Op::Kind>{K::Fill, K::Picture, K::Icon, K::ShellIcon}));
    // Images sit on the line's bottom.
    for (const auto &o : d.canvas.Ops) {
        if (o.kind == K::Picture) {
            EXPECT_EQ(o.r, TRect(8, 6, 28, 16));
        }
    }
    EXPECT_EQ(d.result.XSize, 8 + 20 + 8 + 16 + 16);
    EXPECT_EQ(d.result.YSize, 16);

    // WIDTH and HEIGHT stretch a picture; the line grows with it.
    Drawn big = paint("<img src=\"logo\" width=\"40\" height=\"30\">", TRect(0, 0, 400, 100), p);
    EXPECT_EQ(big.result.YSize, 30);
    EXPECT_EQ(big.result.XSize, 40);

    // An image in an anchor is part of the anchor.
    p.CheckHotSpot = true;
    p.X = 10;
    p.Y = 5;
    Drawn hit = paint("<a href=\"pic\"><img src=\"logo\"></a>", TRect(0, 0, 400, 100), p);
    EXPECT_TRUE(hit.hit);
    EXPECT_EQ(hit.result.Anchor, "pic");
}

TEST(HTMLPaint, BodyBackgroundsAreTiledOnlyWithASize)
{
    TPictureContainer container;
    addGif(container, "TILE", 40, 30);
    THTMLDrawParams p;
    p.PicContainer = &container;
    Drawn d = paint("<body background=\"tile\" bgcolor=\"#00FF00\">x", TRect(0, 0, 100, 50), p);
    int tiles = 0, fills = 0;
    for (const auto &o : d.canvas.Ops) {
        if (o.kind == TFixedHTMLCanvas::Op::Picture) ++tiles;
        if (o.kind == TFixedHTMLCanvas::Op::Fill && o.color == 0x00FF00) ++fills;
    }
    EXPECT_EQ(tiles, 3 * 2);
    EXPECT_EQ(fills, 1);
    // An empty picture is not tiled at all.
    container.Items.Items(0)->Picture->Assign(nullptr);
    Drawn none = paint("<body background=\"tile\">x", TRect(0, 0, 100, 50), p);
    for (const auto &o : none.canvas.Ops) EXPECT_NE(o.kind, TFixedHTMLCanvas::Op::Picture);
}

TEST(HTMLPaint, ImageAlignmentMovesTheLinesTextUp)
{
    TPictureContainer container;
    addGif(container, "TALL", 10, 40);
    THTMLDrawParams p;
    p.PicContainer = &container;
    struct Case {
        const char *align;
        int textBottom;
    } cases[] = {{"", 40}, {" align=\"top\"", 16}, {" align=\"middle\"", 28}};
    for (const Case &c : cases) {
        Drawn d = paint(std::string("a<img src=\"tall\"") + c.align + ">", TRect(0, 0, 200, 100), p);
        auto ops = textOps(d);
        ASSERT_EQ(ops.size(), 1u);
        EXPECT_EQ(ops[0].r.Bottom, c.textBottom) << c.align;
        EXPECT_EQ(d.result.YSize, 40);
    }
}

TEST(HTMLPaint, BulletsShadowsBlinkingAndRotation)
{
    // A second bullet on a line starts the next line; bullets sit 12 pixels
    // apart per level and are drawn in "Symbol".
    Drawn list = paint("<ul><li>a<li>b<ul><li>c</ul></ul>");
    auto ops = textOps(list);
    ASSERT_EQ(ops.size(), 6u);
    EXPECT_EQ(ops[0].text, "\xB7");
    EXPECT_EQ(ops[0].font.Name, "Symbol");
    EXPECT_EQ(ops[1].text, "a");
    EXPECT_EQ(ops[1].r.Left, 12);
    EXPECT_EQ(ops[2].r.Top, 16);
    EXPECT_EQ(ops[4].text, "o"); // second level, on a line of its own
    EXPECT_EQ(ops[4].r.Left, 12);
    EXPECT_EQ(ops[5].r.Left, 24);
    EXPECT_EQ(ops[5].r.Top, 32);
    EXPECT_EQ(list.result.StripVal, "abc");

    Drawn shadow = paint("<sh>a</sh>b");
    ops = textOps(shadow);
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_EQ(ops[0].font.Color, clGray);
    EXPECT_EQ(ops[0].r.Left, ops[1].r.Left + 1);
    EXPECT_EQ(ops[0].r.Top, ops[1].r.Top + 1);

    // In the invisible phase blinking text takes the background's colour.
    THTMLDrawParams p;
    p.Blink = false;
    Drawn blink = paint("<bl>a</bl>b", TRect(0, 0, 100, 100), p);
    ops = textOps(blink);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].font.Color, clWindow);
    EXPECT_EQ(ops[1].font.Color, clWindowText);

    Drawn rot = paint("<r a=\"90\">up</r>x");
    ops = textOps(rot);
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[0].angle, 900);
    EXPECT_EQ(ops[1].angle, 0);

    // "<#" loses its brackets; named entities become their characters.
    EXPECT_EQ(paint("<#x>y").result.StripVal, "#xy");
    EXPECT_EQ(paint("&quot;&euro;&lt;b&gt;").result.StripVal, "\"\x80<b>");
}

} // namespace
