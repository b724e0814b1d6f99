// The row and header section under the pointer on shown offscreen lists,
// driven by real mouse events: track selection after the hover time,
// activation by one or two clicks, the underlined hot row, and the hot and
// flat header sections (checked on screenshots).
#include "controls/EnhListDraw.h"
#include "controls/EnhListV.h"

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<TEnhListView> makeList(bool ownerDraw)
{
    auto list = std::make_unique<TEnhListView>();
    QFont f = QApplication::font();
    f.setPixelSize(12);
    list->setFont(f);
    list->Columns.Add("Artist", 100);
    list->Columns.Add("Title", 100);
    list->SetOwnerDraw(ownerDraw);
    list->SetItemHeight(20);
    list->SetRowSelect(true);
    for (int i = 0; i < 5; ++i) {
        TListItem *it = list->Items.Add();
        it->SetCaption("row " + std::to_string(i));
        it->SubItems.Add("title " + std::to_string(i));
    }
    list->resize(300, 200);
    list->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(list.get()));
    return list;
}

QPoint rowPoint(TEnhListView &list, int row)
{
    return list.GetItemRect(row, 0).center();
}

QImage shot(QWidget *w)
{
    w->repaint();
    return w->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int darkPixels(const QImage &img, const QRect &r)
{
    int n = 0;
    for (int y = std::max(0, r.top()); y <= std::min(img.height() - 1, r.bottom()); ++y)
        for (int x = std::max(0, r.left()); x <= std::min(img.width() - 1, r.right()); ++x)
            if (qGray(img.pixel(x, y)) < 110) ++n;
    return n;
}

TEST(ListHover, TrackSelectSelectsTheRowThePointerRestsOnAfterTheHoverTime)
{
    auto list = makeList(false);
    std::vector<int> selected;
    list->OnSelectItem = [&](TEnhListView *, TListItem *item, bool on) {
        if (on) selected.push_back(item->Index());
    };
    list->SetHoverTime(150);
    list->SetExtendedViewStyle(lvxTrackSelect, true);
    QTest::mouseMove(list->viewport(), rowPoint(*list, 1));
    QTest::mouseMove(list->viewport(), rowPoint(*list, 3));  // passing over row 1
    EXPECT_TRUE(selected.empty());                          // not at once
    EXPECT_TRUE(QTest::qWaitFor([&] { return !selected.empty(); }, 3000));
    EXPECT_EQ(selected, std::vector<int>{3});
    ASSERT_NE(list->Selected(), nullptr);
    EXPECT_EQ(list->Selected()->Index(), 3);

    // Without the style the pointer selects nothing.
    list->SetExtendedViewStyle(lvxTrackSelect, false);
    QTest::mouseMove(list->viewport(), rowPoint(*list, 0));
    QTest::qWait(400);
    EXPECT_EQ(list->Selected()->Index(), 3);
}

TEST(ListHover, ActivationFollowsTheActivationStyle)
{
    struct Case {
        const char *name;
        TLVExtendedStyles styles;
        int afterFirstClick, afterSecondClick, afterDoubleClick;
    };
    const Case cases[] = {
        {"double click only", 0, 0, 0, 1},
        {"one click", LvxBit(lvxOneClickActivate), 1, 2, 3},
        {"two clicks", LvxBit(lvxTwoClickActivate), 0, 1, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto list = makeList(false);
        list->SetExtendedStyles(c.styles);
        std::vector<int> activated;
        list->OnItemActivate = [&](TEnhListView *, int row) { activated.push_back(row); };
        const QPoint p = rowPoint(*list, 2);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, p);
        EXPECT_EQ(int(activated.size()), c.afterFirstClick);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, p);
        EXPECT_EQ(int(activated.size()), c.afterSecondClick);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, p);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, Qt::NoModifier, p);  // held on otherwise
        EXPECT_EQ(int(activated.size()), c.afterDoubleClick);
        for (int row : activated)
            EXPECT_EQ(row, 2);
    }
}

TEST(ListHover, TheHotRowIsUnderlinedOnlyWithAnActivationStyle)
{
    for (bool ownerDraw : {false, true}) {
        for (TLVExtendedStyle style : {lvxOneClickActivate, lvxTwoClickActivate, lvxFullRowSelect}) {
            SCOPED_TRACE(std::string(ownerDraw ? "owner-drawn, " : "native, ") + std::to_string(int(style)));
            auto list = makeList(ownerDraw);
            list->SetExtendedViewStyle(style, true);
            const QRect row = list->GetItemRect(1, 0).adjusted(0, 0, 100, 0);
            const QPoint blank(5, list->viewport()->height() - 3);
            QTest::mouseMove(list->viewport(), blank);
            const int plain = darkPixels(shot(list->viewport()), row);
            QTest::mouseMove(list->viewport(), rowPoint(*list, 1));
            EXPECT_EQ(list->HotRow(), 1);
            const int hot = darkPixels(shot(list->viewport()), row);
            if (style == lvxFullRowSelect) {
                EXPECT_EQ(hot, plain);
            } else {
                EXPECT_GE(hot, plain + 20);  // a line under "row 1" and "title 1"
                EXPECT_TRUE(list->HotRowUnderlined(1));
            }
            // Off the rows nothing is hot any more.
            QTest::mouseMove(list->viewport(), blank);
            EXPECT_EQ(list->HotRow(), -1);
            const QImage after = shot(list->viewport());
            EXPECT_EQ(darkPixels(after, row), plain);
        }
    }
}

TEST(ListHover, TheHeaderSectionUnderThePointerIsDrawnHotWithHotTracking)
{
    for (bool hotTrack : {false, true}) {
        SCOPED_TRACE(hotTrack);
        auto list = makeList(false);
        list->HeaderHotTrack = hotTrack;
        QHeaderView *h = list->header();
        const QRgb hotColor = HotHeaderColor(h->palette()).rgb() & 0xFFFFFF;
        auto hotPixels = [&](int section) {
            const QImage img = shot(h->viewport());
            const int x0 = h->sectionViewportPosition(section);
            int n = 0;
            for (int y = 0; y < img.height(); ++y)
                for (int x = x0; x < x0 + h->sectionSize(section); ++x)
                    if ((img.pixel(x, y) & 0xFFFFFF) == hotColor) ++n;
            return n;
        };
        QTest::mouseMove(h->viewport(), QPoint(h->sectionViewportPosition(0) + 30, h->height() / 2));
        EXPECT_EQ(list->HotSection(), 0);
        EXPECT_EQ(hotPixels(1), 0);
        QTest::mouseMove(h->viewport(), QPoint(h->sectionViewportPosition(1) + 30, h->height() / 2));
        EXPECT_EQ(list->HotSection(), 1);
        if (hotTrack) {
            EXPECT_GT(hotPixels(1), 100);
            EXPECT_EQ(hotPixels(0), 0);
        } else {
            EXPECT_EQ(hotPixels(1), 0);
        }
    }
}

TEST(ListHover, AFlatHeaderHasPlainSectionFaces)
{
    auto list = makeList(false);
    QHeaderView *h = list->header();
    const QImage raised = shot(h->viewport());
    list->HeaderFlatStyle = true;
    const QImage flat = shot(h->viewport());
    EXPECT_NE(raised, flat);
    // Between the caption and the divider the face is the button colour alone.
    const QRgb face = h->palette().button().color().rgb() & 0xFFFFFF;
    const int x = h->sectionViewportPosition(0) + h->sectionSize(0) - 6;
    for (int y = 1; y < flat.height() - 1; ++y)
        EXPECT_EQ(flat.pixel(x, y) & 0xFFFFFF, face) << "y " << y;
}

} // namespace
