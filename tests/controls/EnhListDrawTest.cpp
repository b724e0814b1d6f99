// Owner-drawn rows, the header's notifications, links in cells, the filter
// bar and search highlighting of the enhanced list view, on shown offscreen
// lists driven by real mouse and key events; drawing is checked on
// screenshots of the rows.
#include "controls/EnhListDraw.h"
#include "controls/EnhListFilter.h"
#include "controls/EnhListV.h"
#include "controls/HTMLPaint.h"
#include "controls/PictureContainer.h"
#include "controls/RtfText.h"
#include "platform/ScriptedDialogs.h"
#include "support/Cursors.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

void sendMove(QWidget *w, QPoint p, Qt::MouseButtons buttons = Qt::NoButton)
{
    QMouseEvent ev(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &ev);
}

QFont listFont()
{
    QFont f = QApplication::font();
    f.setPixelSize(12);
    return f;
}

// A shown owner-drawn list of three columns (100, 80, 60) and `rows` rows.
std::unique_ptr<TEnhListView> makeList(int rows, int itemHeight = 20)
{
    auto list = std::make_unique<TEnhListView>();
    list->setFont(listFont());
    list->Columns.Add("A", 100);
    list->Columns.Add("B", 80);
    list->Columns.Add("C", 60);
    list->SetOwnerDraw(true);
    list->SetItemHeight(itemHeight);
    list->BeginUpdate();
    for (int i = 0; i < rows; ++i) {
        TListItem *it = list->Items.Add();
        it->SetCaption("row" + std::to_string(i));
        it->SubItems.Add("b" + std::to_string(i));
        it->SubItems.Add("c" + std::to_string(i));
    }
    list->EndUpdate();
    list->resize(320, 200);
    list->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(list.get()));
    return list;
}

QImage shot(TEnhListView &list)
{
    list.viewport()->repaint();
    return list.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Keeps a screenshot for a look by eye when MIXDECK_SCREENSHOT_DIR names a folder.
void keep(const QImage &img, const char *name)
{
    const char *dir = getenv("MIXDECK_SCREENSHOT_DIR");
    if (dir && *dir) img.save(QString::fromLocal8Bit(dir) + "/" + name);
}

QRgb rgbOf(TColor c) { return ColorToQColor(c).rgb() & 0xFFFFFF; }

bool near(QRgb a, QRgb b, int tol = 8)
{
    return std::abs(qRed(a) - qRed(b)) <= tol && std::abs(qGreen(a) - qGreen(b)) <= tol &&
           std::abs(qBlue(a) - qBlue(b)) <= tol;
}

// Whether any pixel of the rectangle is close to the colour.
bool anyPixel(const QImage &img, const QRect &r, QRgb color, int tol = 40)
{
    for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x)
            if (near(img.pixel(x, y) & 0xFFFFFF, color, tol)) return true;
    return false;
}

bool darkPixel(const QImage &img, const QRect &r)
{
    for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x)
            if (qGray(img.pixel(x, y)) < 110) return true;
    return false;
}

QPixmap solid(int w, int h, QColor c)
{
    QPixmap p(w, h);
    p.fill(c);
    return p;
}

// ---- rows ----------------------------------------------------------------------------------------

TEST(EnhListDraw, QueueStyleCheckBoxAndCaption)
{
    auto list = makeList(2, 13);
    list->SetCheckboxes(true);
    list->Items.Item(1)->SetChecked(true);
    EXPECT_EQ(list->visualRect(list->Model()->index(1, 0)).height(), 13);
    const QImage img = shot(*list);
    keep(img, "ownerdrawn-queue.png");
    // A 14 x 14 frame 2 pixels from the cell's edge, its top at the row top.
    EXPECT_TRUE(near(img.pixel(2, 0) & 0xFFFFFF, qRgb(0x80, 0x80, 0x80)));
    EXPECT_TRUE(near(img.pixel(15, 5) & 0xFFFFFF, qRgb(0x80, 0x80, 0x80)));
    EXPECT_TRUE(near(img.pixel(1, 5) & 0xFFFFFF, rgbOf(clWindow)));
    // The unchecked box is empty, the checked one holds a tick.
    EXPECT_FALSE(darkPixel(img, QRect(4, 2, 10, 9)));
    EXPECT_TRUE(darkPixel(img, QRect(4, 13 + 2, 10, 9)));
    // The caption starts 18 pixels plus the text margin from the cell's edge.
    EXPECT_FALSE(darkPixel(img, QRect(16, 0, 3, 13)));
    EXPECT_TRUE(darkPixel(img, QRect(20, 0, 12, 13)));
}

TEST(EnhListDraw, CheckGlyphsOnlyAsAPair)
{
    auto list = makeList(2, 20);
    list->SetCheckboxes(true);
    list->Items.Item(0)->SetChecked(true);
    list->SetCheckTrueGlyph(solid(10, 10, Qt::green));
    QImage one = shot(*list);
    EXPECT_FALSE(anyPixel(one, QRect(0, 0, 20, 40), qRgb(0, 255, 0), 10));
    list->SetCheckFalseGlyph(solid(10, 10, Qt::magenta));
    QImage both = shot(*list);
    // Centred in the 20-pixel row, 2 pixels in; the text moves past glyph + 4.
    EXPECT_TRUE(near(both.pixel(2, 5) & 0xFFFFFF, qRgb(0, 255, 0)));
    EXPECT_TRUE(near(both.pixel(11, 14) & 0xFFFFFF, qRgb(0, 255, 0)));
    EXPECT_TRUE(near(both.pixel(2, 25) & 0xFFFFFF, qRgb(255, 0, 255)));
    EXPECT_FALSE(darkPixel(both, QRect(12, 0, 2, 40)));
}

TEST(EnhListDraw, SelectionColoursFollowTheSelectionModes)
{
    auto list = makeList(3, 20);
    list->SetRowSelect(false);
    list->Items.Item(1)->SetSelected(true);
    QImage img = shot(*list);
    const QRgb sel = rgbOf(list->SelectionColor);
    EXPECT_TRUE(near(img.pixel(90, 30) & 0xFFFFFF, sel));
    EXPECT_TRUE(near(img.pixel(170, 30) & 0xFFFFFF, rgbOf(clWindow)));
    EXPECT_TRUE(near(img.pixel(90, 10) & 0xFFFFFF, rgbOf(clWindow)));

    list->SetRowSelect(true);
    list->SelectionColor = clYellow;
    img = shot(*list);
    EXPECT_TRUE(near(img.pixel(90, 30) & 0xFFFFFF, qRgb(255, 255, 0)));
    EXPECT_TRUE(near(img.pixel(170, 30) & 0xFFFFFF, qRgb(255, 255, 0)));

    // QueryDrawProp decides colours of cells that are not selected.
    list->OnDrawItemProp = [](TEnhListView *, int row, int sub, TOwnerDrawState, TColor &brush, TFontDesc &,
                              std::string) {
        if (row == 2 && sub == 1) brush = clAqua;
    };
    img = shot(*list);
    EXPECT_TRUE(near(img.pixel(230, 50) & 0xFFFFFF, qRgb(0, 255, 255)));
    EXPECT_TRUE(near(img.pixel(170, 50) & 0xFFFFFF, rgbOf(clWindow)));
}

TEST(EnhListDraw, URLMarkupRichTextAndDetailCells)
{
    auto list = makeList(3, 20);
    list->URLShow = true;
    list->URLColor = clRed;
    list->Items.Item(0)->SubItems.Put(0, "http://host.example/p");
    list->Items.Item(1)->SubItems.Put(0, "<font color=\"clblue\">blue</font>");
    list->Items.Item(2)->SubItems.Put(0, RtfText::FromRuns({{"rich", true}}));
    QImage img = shot(*list);
    keep(img, "ownerdrawn-cells.png");
    EXPECT_TRUE(anyPixel(img, QRect(100, 0, 80, 20), qRgb(255, 0, 0)));
    EXPECT_TRUE(anyPixel(img, QRect(100, 20, 80, 20), qRgb(0, 0, 255)));
    EXPECT_TRUE(darkPixel(img, QRect(100, 40, 80, 20)));
    // The rich text is shown as text, not as its RTF source.
    EXPECT_FALSE(darkPixel(img, QRect(150, 40, 30, 20)));

    // The detail line under each row, with a split line.
    list->SetItemHeight(34);
    list->DetailView.SetHeight(14);
    list->DetailView.SetSplitLine(true);
    list->DetailView.SetVisible(true);
    img = shot(*list);
    EXPECT_TRUE(near(img.pixel(50, 20) & 0xFFFFFF, qRgb(0, 0, 0)));
    EXPECT_TRUE(near(img.pixel(230, 20) & 0xFFFFFF, qRgb(0, 0, 0)));
    EXPECT_TRUE(anyPixel(img, QRect(0, 21, 100, 13), rgbOf(clBlue)));
}

TEST(EnhListDraw, WallpaperRowHeightAndOnDrawItem)
{
    auto list = makeList(3, 20);
    list->SetWallpaper(solid(4, 4, Qt::red));
    list->Items.Item(0)->SetSelected(true);
    QImage img = shot(*list);
    EXPECT_TRUE(near(img.pixel(95, 30) & 0xFFFFFF, qRgb(255, 0, 0)));
    EXPECT_TRUE(near(img.pixel(95, 10) & 0xFFFFFF, rgbOf(list->SelectionColor)));
    EXPECT_TRUE(near(img.pixel(300, 150) & 0xFFFFFF, qRgb(255, 0, 0)));

    list->SetItemHeight(0);
    EXPECT_EQ(list->ItemHeight(), 20);
    list->SetItemHeight(25);
    QApplication::processEvents();
    EXPECT_EQ(list->visualRect(list->Model()->index(1, 0)).top(), 25);

    std::vector<int> drawn;
    list->OnDrawItem = [&](TEnhListView *, QPainter *canvas, int index, QRect, TOwnerDrawState) {
        EXPECT_NE(canvas, nullptr);
        drawn.push_back(index);
    };
    list->viewport()->repaint();
    EXPECT_EQ(drawn, (std::vector<int>{0, 1, 2}));
}

TEST(EnhListDraw, CellFlagsAndPlacement)
{
    using namespace EnhListDraw;
    EXPECT_EQ(CellFlags("a\rb", false, vtaCenter, taLeftJustify), 0x2840u | 0x20u | 4u);
    EXPECT_EQ(CellFlags("ab", true, vtaBottom, taRightJustify), 0x8000u | 0x2840u | 0x10u | 8u | 2u);
    EXPECT_EQ(CellFlags("ab", false, vtaTop, taCenter), 0x8000u | 0x2840u | 0x20u | 1u);
    EXPECT_EQ(ShortURL("http://host/p"), "host/p");
    EXPECT_EQ(ShortURL("mailto:a@b"), "a@b");
    EXPECT_TRUE(IsURLCell("mailto:a@b"));
    EXPECT_FALSE(IsURLCell("<a href=\"http://x\">x</a>"));
    EXPECT_EQ(CheckBoxRect(QRect(0, 0, 100, 13), vtaCenter, QSize()), QRect(2, 0, 14, 14));
    EXPECT_EQ(CheckBoxRect(QRect(0, 0, 100, 20), vtaCenter, QSize()), QRect(2, 3, 14, 14));
    EXPECT_EQ(CheckBoxRect(QRect(0, 0, 100, 20), vtaBottom, QSize()), QRect(2, 6, 14, 14));
    EXPECT_EQ(ImageTop(vtaCenter, QRect(0, 0, 100, 13), 16, 13), 0);
}

// ---- header notifications -------------------------------------------------------------------------

struct HeaderEvents {
    std::vector<std::string> log;
    void attach(TEnhListView &list)
    {
        list.OnStartColumnTrack = [this](TEnhListView *, int c, bool &) { log.push_back("start " + std::to_string(c)); };
        list.OnEndColumnTrack = [this](TEnhListView *, int c) { log.push_back("end " + std::to_string(c)); };
        list.OnColumnSized = [this](TEnhListView *, int c) { log.push_back("sized " + std::to_string(c)); };
        list.OnColumnRClick = [this](TEnhListView *, int c) { log.push_back("rclick " + std::to_string(c)); };
    }
};

void dragDivider(TEnhListView &list, int fromX, int toX)
{
    QWidget *hv = list.header()->viewport();
    const int y = hv->height() / 2;
    QTest::mousePress(hv, Qt::LeftButton, {}, QPoint(fromX, y));
    for (int x = fromX + 5; x <= toX; x += 5) sendMove(hv, QPoint(x, y), Qt::LeftButton);
    QTest::mouseRelease(hv, Qt::LeftButton, {}, QPoint(toX, y));
}

TEST(EnhListHeader, DividerDragFiresTrackEventsAndSizedOnce)
{
    auto list = makeList(2);
    HeaderEvents ev;
    ev.attach(*list);
    dragDivider(*list, 100, 130);
    EXPECT_EQ(list->Columns[0]->Width(), 130);
    EXPECT_EQ(ev.log, (std::vector<std::string>{"start 0", "end 0", "sized 0"}));

    // A handler that forbids the drag keeps the width.
    ev.log.clear();
    list->OnStartColumnTrack = [&](TEnhListView *, int c, bool &allow) {
        ev.log.push_back("start " + std::to_string(c));
        allow = false;
    };
    dragDivider(*list, 210, 240);
    EXPECT_EQ(list->Columns[1]->Width(), 80);
    EXPECT_EQ(ev.log, (std::vector<std::string>{"start 1"}));

    // A click on a caption is no track.
    ev.log.clear();
    QTest::mouseClick(list->header()->viewport(), Qt::LeftButton, {}, QPoint(50, 5));
    EXPECT_TRUE(ev.log.empty());

    QTest::mouseClick(list->header()->viewport(), Qt::RightButton, {}, QPoint(150, 5));
    EXPECT_EQ(ev.log, (std::vector<std::string>{"rclick 1"}));
}

TEST(EnhListHeader, SortIndicatorImagesAndGlyphs)
{
    auto list = makeList(3);
    QPixmap up = solid(8, 8, Qt::green), down = solid(8, 8, Qt::red);
    list->SetHeaderImages({QIcon(up), QIcon(down)});
    list->SetSortShow(true);
    list->DoSort(1);
    EXPECT_EQ(list->GetColumnImage(1), 0);
    list->SetSortDirection(sdDescending);
    list->DoSort(1);
    EXPECT_EQ(list->GetColumnImage(1), 1);
    list->DoSort(2);
    EXPECT_EQ(list->GetColumnImage(1), -1);
    EXPECT_EQ(list->GetColumnImage(2), 1);

    // With both glyphs the header draws them, on the side SortIndicator names.
    list->SetSortUpGlyph(solid(8, 8, Qt::blue));
    list->SetSortDownGlyph(solid(8, 8, Qt::magenta));
    list->SetColumnImage(2, -1);
    list->SortIndicator = siRight;
    list->DoSort(0);
    list->header()->viewport()->repaint();
    QImage h = list->header()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(anyPixel(h, QRect(50, 0, 50, h.height()), qRgb(255, 0, 255), 10));
    EXPECT_FALSE(anyPixel(h, QRect(0, 0, 50, h.height()), qRgb(255, 0, 255), 10));
    EXPECT_FALSE(anyPixel(h, QRect(100, 0, 140, h.height()), qRgb(255, 0, 255), 10));
    // Still there after the list and the column were resized.
    list->resize(300, 180);
    dragDivider(*list, 100, 120);
    list->header()->viewport()->repaint();
    h = list->header()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(anyPixel(h, QRect(60, 0, 60, h.height()), qRgb(255, 0, 255), 10));
}

TEST(EnhListHeader, OwnerDrawnHeaderItems)
{
    auto list = makeList(1);
    list->SetHeaderOwnerDraw(true);
    list->SetHeaderHeight(20);
    // Header markup keeps the header's colours, but highlights show.
    list->Columns[1]->SetCaption("<font color=\"clred\">Red</font><hi>hi</hi>");
    list->Columns[2]->SetCaption("two\rlines");
    QApplication::processEvents();
    list->header()->viewport()->repaint();
    QImage h = list->header()->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GE(h.height(), 20);
    EXPECT_TRUE(near(h.pixel(98, 3) & 0xFFFFFF, rgbOf(clBtnFace)));
    EXPECT_FALSE(anyPixel(h, QRect(100, 0, 80, h.height()), qRgb(255, 0, 0), 30));
    EXPECT_TRUE(anyPixel(h, QRect(100, 0, 80, h.height()), rgbOf(clHighlight), 10));
    EXPECT_TRUE(darkPixel(h, QRect(0, 0, 100, h.height())));
}

// ---- links in cells ----------------------------------------------------------------------------------------

TEST(EnhListLinks, AnchorEventsAndURLClicks)
{
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use{dialogs};
    auto list = makeList(3);
    list->Items.Item(0)->SubItems.Put(0, "<a href=\"local\">link</a> plain text");
    list->Items.Item(1)->SubItems.Put(0, "<a href=\"http://h.example/\">web</a>");
    list->Items.Item(2)->SubItems.Put(0, "http://cell.example/x");
    std::vector<std::string> log;
    list->OnAnchorEnter = [&](TEnhListView *, const std::string &a) { log.push_back("enter " + a); };
    list->OnAnchorExit = [&](TEnhListView *, const std::string &a) { log.push_back("exit " + a); };
    list->OnAnchorClick = [&](TEnhListView *, const std::string &a) { log.push_back("click " + a); };
    bool handle = true;
    list->OnURLClick = [&](TEnhListView *, int row, const std::string &url, bool &handled) {
        log.push_back("url " + std::to_string(row) + " " + url);
        handled = handle;
    };
    QWidget *vp = list->viewport();
    const QRect cell = list->GetItemRect(0, 1);
    const int y = cell.top() + 6;
    const int linkW = QFontMetrics(listFont()).horizontalAdvance("link");
    sendMove(vp, QPoint(cell.left() + 4, y));
    sendMove(vp, QPoint(cell.left() + 6, y));
    EXPECT_EQ(vp->cursor().shape(), Qt::PointingHandCursor);
    sendMove(vp, QPoint(cell.left() + 2 + linkW + 12, y));
    EXPECT_NE(vp->cursor().shape(), Qt::PointingHandCursor);
    sendMove(vp, QPoint(cell.left() + 2 + linkW + 20, y));
    EXPECT_EQ(log, (std::vector<std::string>{"enter local", "exit local"}));

    log.clear();
    QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(cell.left() + 5, y));
    QTest::mouseClick(vp, Qt::LeftButton, {}, QPoint(cell.left() + 5, list->GetItemRect(1, 1).top() + 6));
    EXPECT_EQ(log, (std::vector<std::string>{"click local", "url 1 http://h.example/"}));
    EXPECT_TRUE(dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen).empty());

    // A web-address cell: only with URLShow; opened unless handled.
    log.clear();
    const QPoint urlCell(list->GetItemRect(2, 1).left() + 20, list->GetItemRect(2, 1).top() + 6);
    QTest::mouseClick(vp, Qt::LeftButton, {}, urlCell);
    EXPECT_TRUE(log.empty() || log.back().rfind("url", 0) != 0);
    list->URLShow = true;
    handle = false;
    log.clear();
    QTest::mouseClick(vp, Qt::LeftButton, {}, urlCell);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "url 2 http://cell.example/x");
    auto opened = dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].target, "http://cell.example/x");
}

// ---- filter bar and highlighting ---------------------------------------------------------------------------

TEST(EnhListFilter, FilterBarReportsChangesAndButtons)
{
    auto list = makeList(2);
    list->ShowFilter(false);
    EXPECT_EQ(list->FilterBarWidget(), nullptr);
    std::vector<std::string> log;
    list->OnFilterChange = [&](TEnhListView *, int c) { log.push_back("change " + std::to_string(c)); };
    list->OnFilterBtnClick = [&](TEnhListView *, int c) { log.push_back("button " + std::to_string(c)); };
    list->SetFilterTimeOut(40);
    list->ShowFilter(true);
    QApplication::processEvents();
    TEnhFilterBar *bar = list->FilterBarWidget();
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(bar->Edit(1), nullptr);
    EXPECT_TRUE(bar->Edit(1)->isVisible());
    // The rows start below the header and the bar.
    EXPECT_GE(list->viewport()->y(), list->header()->height() + bar->BarHeight());
    QTest::keyClicks(bar->Edit(1), "abc");
    EXPECT_TRUE(log.empty());
    QTest::qWait(200);
    EXPECT_EQ(log, (std::vector<std::string>{"change 1"}));
    EXPECT_EQ(list->GetFilter(1, 0), "abc");
    QTest::mouseClick(bar->Button(2), Qt::LeftButton);
    EXPECT_EQ(log.back(), "button 2");

    list->SetFilter(0, 1, 42, "");
    EXPECT_EQ(list->GetFilter(0, 1), "42");
    list->SetFilter(0, 0, 0, "abc");
    EXPECT_EQ(list->GetFilter(0, 0), "abc");
    list->ShowFilter(false);
    EXPECT_FALSE(bar->isVisible());
}

TEST(EnhListFilter, HighlightAndMarkCells)
{
    auto list = makeList(0);
    TListItem *a = list->Items.Add();
    a->SetCaption("xABy");
    a->SubItems.Add("xy");
    a->SubItems.Add("abab");
    list->HilightInList("ab", true);
    EXPECT_EQ(a->Caption(), "xABy");
    EXPECT_EQ(a->SubItems[1], "<hi>ab</hi><hi>ab</hi>");
    list->UnHilightInList();
    list->HilightInList("ab", false);
    EXPECT_EQ(a->Caption(), "x<hi>AB</hi>y");
    EXPECT_EQ(a->SubItems[0], "xy");
    EXPECT_EQ(a->SubItems[1], "<hi>ab</hi><hi>ab</hi>");
    list->MarkInItem(0, "y", true);
    EXPECT_EQ(a->Caption(), "x<hi>AB</hi><e>y</e>");
    list->MarkInItem(5, "x", true);
    list->MarkInList("", false);
    EXPECT_EQ(a->Caption(), "x<hi>AB</hi><e>y</e>");
    a->SetCaption("<HI>a</Hi><e>b</e>");
    list->UnHilightInList();
    EXPECT_EQ(a->Caption(), "a<e>b</e>");
    EXPECT_EQ(a->SubItems[1], "abab");
    list->UnMarkInItem(0);
    EXPECT_EQ(a->Caption(), "ab");
}

// ---- rich text and other parts of the core --------------------------------------------------------------------

TEST(EnhListRich, RichEditRoundTripAndAutoSize)
{
    EXPECT_EQ(RtfText::ToPlainText("{\\rtf1{\\fonttbl{\\f0 Arial;}}a\\par b\\'e9{\\*\\x y}\\tab c}"), "a\r\nb\xE9\tc");
    auto list = makeList(2);
    TEnhRichEdit &rich = *list->RichEdit();
    EXPECT_FALSE(rich.isVisible());
    rich.setPlainText("H2O");
    QTextCursor c = rich.textCursor();
    c.setPosition(1);
    c.setPosition(2, QTextCursor::KeepAnchor);
    rich.setTextCursor(c);
    rich.SelSubscript();
    list->RichToItem(0, 0, rich);
    const std::string rtf = list->Items.Item(0)->SubItems[0];
    auto runs = RtfText::Parse(rtf);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[1].Text, "2");
    EXPECT_EQ(runs[1].Offset, -1);
    list->ItemToRich(0, 0, rich);
    EXPECT_EQ(rich.toPlainText().toStdString(), "H2O");

    // Auto-sizing measures rich text as its plain text and markup through the painter.
    list->Items.Item(0)->SubItems.Put(1, RtfText::FromRuns({{"abc"}}));
    list->Items.Item(1)->SubItems.Put(1, "<b></b>abc");
    list->AutoSizeColumn(2);
    EXPECT_EQ(list->Columns[2]->Width(), QFontMetrics(list->font()).horizontalAdvance("abc") + 10);
}

TEST(EnhListCore, ADestroyedPictureContainerIsForgotten)
{
    auto list = makeList(1);
    list->Items.Item(0)->SubItems.Put(0, "<img src=\"x\">pic");
    auto container = std::make_unique<TPictureContainer>();
    list->SetPictureContainer(container.get());
    EXPECT_EQ(list->PictureContainer(), container.get());
    container.reset();
    EXPECT_EQ(list->PictureContainer(), nullptr);
    shot(*list); // paints without the container
}

TEST(EnhListCore, VersionsAndCursor)
{
    auto list = makeList(0);
    EXPECT_EQ(list->CommCtlVersion() >> 16, QT_VERSION_MAJOR);
    EXPECT_EQ(TEnhListView::GetModuleVersionMS("/nonexistent"), -1);
    EXPECT_EQ(TEnhListView::crHandPoint, 8019);
    EXPECT_EQ(TEnhListView::HandCursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(Screen::HasCursor(8019));
}

} // namespace

#include "common/TestUtil.h"
#include "controls/Alvutil.h"
#include "controls/ListFormats.h"
#include "platform/IniFiles.h"

#include <cstdlib>

namespace {

TEST(EnhListCore, RegistryWidthsLiveApartFromIniWidths)
{
    testutil::TempDir home;
    const char *old = getenv("MIXDECK_HOME");
    const std::string saved = old ? old : "";
    setenv("MIXDECK_HOME", home.path().c_str(), 1);
    {
        auto list = makeList(0);
        list->ColumnSize.Save = true;
        list->ColumnSize.Key = "Software\\Quillfern\\Lists";
        list->ColumnSize.Section = "Main";
        list->ColumnSize.Storage = stRegistry;
        list->SaveColumnSizes();
        TIniFile reg(home.file("Registry.ini"));
        EXPECT_EQ(reg.ReadInteger("Software\\Quillfern\\Lists\\Main", "col1", -1), 80);
        reg.WriteInteger("Software\\Quillfern\\Lists\\Main", "col2", 33);
        list->LoadColumnSizes();
        EXPECT_EQ(list->Columns[2]->Width(), 33);
        // Nothing went to a file named by the key.
        EXPECT_FALSE(testutil::fileExists("Software\\Quillfern\\Lists"));
        list->ColumnSize.Save = false;
    }
    if (old) setenv("MIXDECK_HOME", saved.c_str(), 1);
    else unsetenv("MIXDECK_HOME");
}

TEST(EnhListCore, SystemFormatsFromTheLocale)
{
    struct Case {
        QLocale locale;
        char dec, thousand;
        const char *order;
    } cases[] = {
        {QLocale(QLocale::German, QLocale::Germany), ',', '.', "DMY"},
        {QLocale(QLocale::English, QLocale::UnitedStates), '.', ',', "MDY"},
        {QLocale(QLocale::Japanese, QLocale::Japan), '.', ',', "YMD"},
    };
    for (const Case &c : cases) {
        ListFormats::TSystemFormats f = ListFormats::FromLocale(c.locale);
        EXPECT_EQ(f.DecimalSeparator, c.dec) << c.locale.name().toStdString();
        EXPECT_EQ(f.ThousandSeparator, c.thousand) << c.locale.name().toStdString();
        EXPECT_EQ(f.ShortDateOrder, c.order) << c.locale.name().toStdString();
    }
    // Applied, the German formats reach the financial sort and the separator fix.
    const char dec = EnhListSort::DecimalSeparator, th = EnhListSort::ThousandSeparator;
    const std::string order = EnhListSort::ShortDateOrder;
    ListFormats::Apply(ListFormats::FromLocale(QLocale(QLocale::German, QLocale::Germany)));
    EXPECT_GT(EnhListSort::CompareTexts(ssFinancial, "1.200,50", "999", "", ""), 0);
    EXPECT_EQ(Alvutil::FixDecimalSeparator("1,5"), "1.5");
    ListFormats::Apply({dec, th, order});
    EXPECT_EQ(Alvutil::DecimalSeparator, dec);
}

} // namespace
