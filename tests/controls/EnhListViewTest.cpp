#include "controls/EnhListV.h"
#include "common/TestUtil.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"

#include <QApplication>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// A mouse move with the left button held, as a drag delivers it.
void dragMove(QWidget *w, QPoint p)
{
    QMouseEvent ev(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &ev);
}

using Event = std::pair<int, bool>;

// A shown list with the columns and rows of a CD pane.
std::unique_ptr<TEnhListView> makePane(int rows, bool checkboxes = true)
{
    auto list = std::make_unique<TEnhListView>();
    list->Columns.Add("TITLE", 175);
    list->Columns.Add("TIME", 55, taCenter);
    list->SetCheckboxes(checkboxes);
    list->SetReadOnly(true);
    list->BeginUpdate();
    for (int i = 0; i < rows; ++i) {
        TListItem *it = list->Items.Add();
        it->SetCaption("Track " + Rtl::IntToStr(i + 1));
        it->SubItems.Add("0" + Rtl::IntToStr(i % 10) + ":30");
    }
    list->EndUpdate();
    list->resize(300, 200);
    list->show();
    QApplication::processEvents();
    return list;
}

QPoint checkCentre(TEnhListView &list, int row)
{
    QModelIndex idx = list.Model()->index(row, 0);
    QStyleOptionViewItem opt;
    opt.initFrom(list.viewport());
    opt.rect = list.visualRect(idx);
    opt.widget = &list;
    auto *d = static_cast<TEnhListDelegate *>(list.itemDelegate());
    return d->checkRect(opt, idx).center();
}

QPoint cellCentre(TEnhListView &list, int row, int col) { return list.GetItemRect(row, col).center(); }

} // namespace

TEST(EnhListViewCheckboxes, PressTogglesAndReportsNewState)
{
    auto list = makePane(3);
    std::vector<Event> clicks;
    bool checkedAtEvent = false;
    list->OnCheckboxClick = [&](TEnhListView *sender, int row, bool state) {
        EXPECT_EQ(sender, list.get());
        clicks.emplace_back(row, state);
        checkedAtEvent = sender->Items[row]->Checked();
    };
    QPoint p = checkCentre(*list, 1);
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, p);
    // Toggled on the press already, and reported with the new state.
    EXPECT_TRUE(list->Items[1]->Checked());
    EXPECT_EQ(clicks, (std::vector<Event>{{1, true}}));
    EXPECT_TRUE(checkedAtEvent);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, p);
    EXPECT_TRUE(list->Items[1]->Checked());   // the release does not toggle back
    EXPECT_EQ(list->RememberedRow(), 1);

    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, p);
    EXPECT_FALSE(list->Items[1]->Checked());
    EXPECT_EQ(clicks.back(), (Event{1, false}));

    // A press on the row's text does not touch the box.
    clicks.clear();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cellCentre(*list, 2, 1));
    EXPECT_FALSE(list->Items[2]->Checked());
    EXPECT_TRUE(clicks.empty());

    // Setting Checked from the program raises nothing.
    list->Items[0]->SetChecked(true);
    EXPECT_TRUE(clicks.empty());
}

TEST(EnhListViewCheckboxes, SpaceReportsRememberedRowBeforeToggle)
{
    auto list = makePane(3);
    std::vector<Event> clicks;
    list->Items[0]->SetChecked(true);
    list->OnCheckboxClick = [&](TEnhListView *, int row, bool state) {
        clicks.emplace_back(row, state);
        EXPECT_EQ(list->Items[row]->Checked(), !state);   // not yet toggled
    };
    list->setFocus();
    QTest::keyClick(list.get(), Qt::Key_Space);
    // Before any click: row 0 with the inverse of its state.
    EXPECT_EQ(clicks, (std::vector<Event>{{0, false}}));

    // After a click on row 2, space reports row 2 and toggles the focused row.
    clicks.clear();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cellCentre(*list, 2, 1));
    ASSERT_EQ(list->ItemFocused(), list->Items[2]);
    QTest::keyClick(list.get(), Qt::Key_Space);
    EXPECT_EQ(clicks, (std::vector<Event>{{2, true}}));
    EXPECT_TRUE(list->Items[2]->Checked());

    // The remembered row no longer exists: nothing is reported.
    clicks.clear();
    list->Items.Delete(2);
    QTest::keyClick(list.get(), Qt::Key_Space);
    EXPECT_TRUE(clicks.empty());
}

TEST(EnhListViewCheckboxes, OwnerDrawnBoxAtLeftEdge)
{
    auto list = makePane(3);
    list->SetOwnerDraw(true);
    std::vector<Event> clicks, selections;
    list->OnCheckboxClick = [&](TEnhListView *, int row, bool state) { clicks.emplace_back(row, state); };
    list->OnSelectItem = [&](TEnhListView *, TListItem *it, bool on) { selections.emplace_back(it->Index(), on); };
    int y = cellCentre(*list, 1, 0).y();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(14, y));
    EXPECT_TRUE(list->Items[1]->Checked());
    EXPECT_EQ(clicks, (std::vector<Event>{{1, true}}));
    EXPECT_TRUE(selections.empty());   // selection stays where it was
    clicks.clear();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(15, y));
    EXPECT_TRUE(list->Items[1]->Checked());
    EXPECT_TRUE(clicks.empty());
    EXPECT_EQ(selections, (std::vector<Event>{{1, true}}));
}

TEST(EnhListViewSelection, DeselectionArrivesFirst)
{
    auto list = makePane(5);
    std::vector<Event> events;
    list->OnSelectItem = [&](TEnhListView *sender, TListItem *it, bool on) {
        EXPECT_EQ(sender, list.get());
        events.emplace_back(it->Index(), on);
    };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cellCentre(*list, 0, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cellCentre(*list, 3, 1));
    QTest::keyClick(list.get(), Qt::Key_Up);
    EXPECT_EQ(events, (std::vector<Event>{{0, true}, {0, false}, {3, true}, {3, false}, {2, true}}));
    EXPECT_EQ(list->Selected(), list->Items[2]);

    // Program changes raise the same events, deselection first.
    events.clear();
    list->Items[4]->SetSelected(true);
    EXPECT_EQ(events, (std::vector<Event>{{2, false}, {4, true}}));
    EXPECT_TRUE(list->selectionModel()->isRowSelected(4, QModelIndex()));
    EXPECT_FALSE(list->selectionModel()->isRowSelected(2, QModelIndex()));

    // Emptying the list reports the deselection of the selected row.
    events.clear();
    list->Items.Clear();
    EXPECT_EQ(events, (std::vector<Event>{{4, false}}));
}

TEST(EnhListViewSelection, SelectItemScrollsAndRaisesEvents)
{
    auto list = makePane(200);
    std::vector<Event> events;
    list->OnSelectItem = [&](TEnhListView *, TListItem *it, bool on) { events.emplace_back(it->Index(), on); };
    list->SelectItem(3);
    list->SelectItem(150);
    QApplication::processEvents();
    EXPECT_EQ(events, (std::vector<Event>{{3, true}, {3, false}, {150, true}}));
    EXPECT_EQ(list->ItemFocused(), list->Items[150]);
    EXPECT_GT(list->verticalScrollBar()->value(), 0);
    QRect r = list->visualRect(list->Model()->index(150, 0));
    EXPECT_TRUE(list->viewport()->rect().contains(r)) << "row 150 not fully visible";
    EXPECT_EQ(list->currentIndex().row(), 150);
}

TEST(EnhListViewSelection, SortAndBatchKeepSelectionOnItsRow)
{
    auto list = makePane(0, false);
    std::vector<Event> events;
    list->OnSelectItem = [&](TEnhListView *, TListItem *it, bool on) { events.emplace_back(it->Index(), on); };
    list->SetSortType(stText);
    for (const char *c : {"delta", "bravo", "alpha"}) list->Items.Add()->SetCaption(c);
    TListItem *delta = list->Items[2];
    ASSERT_EQ(delta->Caption(), "delta");
    list->SelectItem(2);
    events.clear();
    list->BeginUpdate();
    list->Items.Add()->SetCaption("charlie");
    list->Items.Add()->SetCaption("aaa");
    list->EndUpdate();
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(delta->Index(), 4);
    EXPECT_TRUE(list->selectionModel()->isRowSelected(4, QModelIndex()));
    EXPECT_EQ(list->currentIndex().row(), 4);
    delta->SetCaption("0first");   // caption change re-sorts
    EXPECT_EQ(delta->Index(), 0);
    EXPECT_TRUE(list->selectionModel()->isRowSelected(0, QModelIndex()));
    EXPECT_EQ(list->Model()->data(list->Model()->index(0, 0), Qt::DisplayRole).toString(), "0first");
}

TEST(EnhListViewColumns, ZeroWidthColumnHiddenButReadable)
{
    TEnhListView list;
    list.Columns.Add("ARTIST NAME", 292);
    list.Columns.Add("CD TITLE", 298);
    list.Columns.Add("TRACKS", 68, taCenter);
    list.Columns.Add("PIDS", 0, taCenter);
    TListItem *it = list.Items.Add();
    it->SetCaption("Artist");
    it->SubItems.Add("Title");
    it->SubItems.Add("12");
    it->SubItems.Add("7a0b1c2d");
    list.resize(700, 200);
    list.show();
    QApplication::processEvents();
    EXPECT_TRUE(list.isColumnHidden(3));
    EXPECT_FALSE(list.isColumnHidden(2));
    EXPECT_EQ(list.Columns[3]->Width(), 0);
    EXPECT_EQ(list.GetTextAtColRow(3, 0), "7a0b1c2d");
    EXPECT_EQ(list.Model()->data(list.Model()->index(0, 3), Qt::DisplayRole).toString(), "7a0b1c2d");
    // Nothing at any point of the list shows the hidden text.
    for (int x = 0; x < list.viewport()->width(); x += 5)
        EXPECT_NE(list.GetTextAtPoint(x, list.GetItemRect(0, 0).center().y()), "7a0b1c2d");
    // Giving it a width shows it again.
    list.Columns[3]->SetWidth(40);
    EXPECT_FALSE(list.isColumnHidden(3));
    EXPECT_EQ(list.columnWidth(3), 40);
}

TEST(EnhListViewColumns, HeaderDragReordersDisplayOnly)
{
    TEnhListView list;
    list.Columns.Add("A", 100);
    list.Columns.Add("B", 100);
    list.Columns.Add("C", 100);
    TListItem *it = list.Items.Add();
    it->SetCaption("a0");
    it->SubItems.Add("b0");
    it->SubItems.Add("c0");
    list.SetHeaderDragDrop(true);
    list.resize(400, 200);
    list.show();
    QApplication::processEvents();
    QHeaderView *h = list.header();
    QWidget *hv = h->viewport();
    const int y = h->height() / 2;
    QTest::mousePress(hv, Qt::LeftButton, {}, QPoint(50, y));
    for (int x = 60; x <= 260; x += 20) dragMove(hv, QPoint(x, y));
    QTest::mouseRelease(hv, Qt::LeftButton, {}, QPoint(260, y));
    QApplication::processEvents();
    EXPECT_NE(list.ColumnDisplayOrder(), (std::vector<int>{0, 1, 2}));
    EXPECT_NE(h->visualIndex(0), 0);
    // Data keeps its column order.
    EXPECT_EQ(list.Columns[0]->Caption(), "A");
    EXPECT_EQ(list.GetTextAtColRow(0, 0), "a0");
    EXPECT_EQ(list.GetTextAtColRow(2, 0), "c0");
    EXPECT_EQ(list.GetTextAtColRow(0, -1), "A");

    // Without HeaderDragDrop the same drag changes nothing.
    TEnhListView fixed;
    fixed.Columns.Add("A", 100);
    fixed.Columns.Add("B", 100);
    fixed.resize(400, 200);
    fixed.show();
    QApplication::processEvents();
    QWidget *fv = fixed.header()->viewport();
    QTest::mousePress(fv, Qt::LeftButton, {}, QPoint(50, y));
    for (int x = 60; x <= 160; x += 20) dragMove(fv, QPoint(x, y));
    QTest::mouseRelease(fv, Qt::LeftButton, {}, QPoint(160, y));
    EXPECT_EQ(fixed.ColumnDisplayOrder(), (std::vector<int>{0, 1}));
}

TEST(EnhListViewColumns, WidthsStoredAsColKeys)
{
    testutil::TempDir dir;
    const std::string ini = dir.file("sizes.ini");
    {
        TEnhListView list;
        list.Columns.Add("A", 100);
        list.Columns.Add("B", 50);
        list.Columns.Add("C", 75);
        list.ColumnSize.Save = true;
        list.ColumnSize.Key = ini;
        list.ColumnSize.Section = "Widths";
    }   // saved when the list goes
    TIniFile f(ini);
    EXPECT_EQ(f.ReadInteger("Widths", "col0", -1), 100);
    EXPECT_EQ(f.ReadInteger("Widths", "col1", -1), 50);
    EXPECT_EQ(f.ReadInteger("Widths", "col2", -1), 75);

    testutil::writeFile(ini, "[Widths]\r\ncol1=80\r\n");
    TEnhListView list;
    list.Columns.Add("A", 100);
    list.Columns.Add("B", 50);
    list.Columns.Add("C", 75);
    list.ColumnSize.Key = ini;
    list.ColumnSize.Section = "Widths";
    list.LoadColumnSizes();   // Save off: nothing read
    EXPECT_EQ(list.Columns[1]->Width(), 50);
    list.ColumnSize.Save = true;
    list.LoadColumnSizes();
    EXPECT_EQ(list.Columns[0]->Width(), 100);
    EXPECT_EQ(list.Columns[1]->Width(), 80);
    EXPECT_EQ(list.Columns[2]->Width(), 75);
    EXPECT_EQ(list.columnWidth(1), 80);
    list.ColumnSize.Save = false;
}

TEST(EnhListViewColumns, AutoSizeAndStretch)
{
    auto list = makePane(0);
    for (const char *c : {"short", "a much longer caption", "mid size"}) list->Items.Add()->SetCaption(c);
    QFontMetrics fm(list->font());
    int widest = 0;
    for (const char *c : {"short", "a much longer caption", "mid size"})
        widest = std::max(widest, fm.horizontalAdvance(QString::fromLatin1(c)));
    list->AutoSizeColumn(0);
    EXPECT_EQ(list->Columns[0]->Width(), widest + 16 + 10);
    list->SetCheckboxes(false);
    list->AutoSizeColumn(0);
    EXPECT_EQ(list->Columns[0]->Width(), widest + 10);

    list->Columns[0]->SetWidth(100);
    list->Columns[1]->SetWidth(50);
    list->StretchRightColumn();   // Stretch off: nothing
    EXPECT_EQ(list->Columns[1]->Width(), 50);
    list->ColumnSize.Stretch = true;
    list->resize(400, 200);
    QApplication::processEvents();
    list->StretchRightColumn();
    EXPECT_EQ(list->Columns[1]->Width(), list->viewport()->width() - 100 - 6);
}

TEST(EnhListViewCells, TextAccessAndVersion)
{
    TEnhListView list;
    for (const char *c : {"C0", "C1", "C2", "C3"}) list.Columns.Add(c, 60);
    TListItem *r0 = list.Items.Add();
    r0->SetCaption("cap");
    TListItem *r1 = list.Items.Add();
    r1->SetCaption("one");
    r1->SubItems.Add("s1");
    EXPECT_EQ(list.GetTextAtColRow(0, 1), "one");
    EXPECT_EQ(list.GetTextAtColRow(1, 1), "s1");
    EXPECT_EQ(list.GetTextAtColRow(2, 1), "");    // missing sub-item
    EXPECT_EQ(list.GetTextAtColRow(1, -1), "C1");  // row -1 is the header
    EXPECT_EQ(list.GetTextAtColRow(9, -1), "");
    EXPECT_EQ(list.GetTextAtColRow(0, 5), "");
    list.SetTextAtColRow(3, 0, "x");
    EXPECT_EQ(r0->SubItems.Count(), 3);
    EXPECT_EQ(r0->SubItems[0], "");
    EXPECT_EQ(r0->SubItems[1], "");
    EXPECT_EQ(r0->SubItems[2], "x");
    list.SetTextAtColRow(4, 0, "beyond");   // no such column
    list.SetTextAtColRow(0, 7, "beyond");   // no such row
    EXPECT_EQ(r0->SubItems.Count(), 3);
    list.SetTextAtColRow(0, 0, "new");
    EXPECT_EQ(r0->Caption(), "new");

    TEnhListView three;
    for (const char *c : {"C0", "C1", "C2"}) three.Columns.Add(c, 60);
    TListItem *t = three.Items.Add();
    three.SetTextAtColRow(3, 0, "x");
    EXPECT_EQ(t->SubItems.Count(), 0);

    EXPECT_EQ(list.GetVersionNr() >> 16, 54u);
    EXPECT_EQ(list.GetVersionNr() & 0xFFFF, 1u);
    EXPECT_EQ(list.GetVersionString(), "1.54, August 2001");
    EXPECT_STREQ(list.metaObject()->className(), "TEnhListView");

    // Cell texts cross the widget boundary as Windows-1252.
    r1->SetCaption("Caf\xe9 \x80");
    EXPECT_EQ(list.Model()->data(list.Model()->index(1, 0), Qt::DisplayRole).toString(),
              QString::fromUtf8("Café €"));
}

TEST(EnhListViewCells, HitTestAndClickCells)
{
    auto list = makePane(4);
    int col = -5, row = -5;
    QPoint p = cellCentre(*list, 2, 1);
    ASSERT_TRUE(list->GetIndexAtPoint(p.x(), p.y(), col, row));
    EXPECT_EQ(row, 2);
    EXPECT_EQ(col, 1);
    EXPECT_EQ(list->GetTextAtPoint(p.x(), p.y()), "02:30");
    col = row = -5;
    EXPECT_FALSE(list->GetIndexAtPoint(5, list->viewport()->height() - 2, col, row));
    EXPECT_EQ(col, -5);
    EXPECT_EQ(list->GetItemAt(p.x(), p.y()), list->Items[2]);

    std::vector<Event> left, right;
    list->OnLeftClickCell = [&](TEnhListView *, int i, int s) { left.emplace_back(i, s); };
    list->OnRightClickCell = [&](TEnhListView *, int i, int s) { right.emplace_back(i, s); };
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, cellCentre(*list, 1, 0));
    EXPECT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].first, 2);
    EXPECT_EQ(right.size(), 1u);
    EXPECT_EQ(right[0].first, 1);

    // A click below the last row leaves the remembered cell as it was.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(30, list->viewport()->height() - 2));
    EXPECT_EQ(list->RememberedRow(), 2);
    EXPECT_GE(list->GetVisibleItems(), 4);
}

TEST(EnhListViewSort, StylesColumnAndSign)
{
    TEnhListView list;
    list.Columns.Add("Name", 80);
    list.Columns.Add("Size", 80);
    list.Columns.Add("Date", 80);
    const char *rows[][3] = {{"b", "10", "31/12/99"}, {"a", "9", "01.02.03"}, {"c", "100", "15-06-50"}};
    for (auto &r : rows) {
        TListItem *it = list.Items.Add();
        it->SetCaption(r[0]);
        it->SubItems.Add(r[1]);
        it->SubItems.Add(r[2]);
    }
    auto captions = [&] {
        std::string s;
        for (int i = 0; i < list.Items.Count(); ++i) s += list.Items[i]->Caption();
        return s;
    };
    TSortStyle style = ssNumeric;
    int formatColumn = -9;
    list.OnGetFormat = [&](TEnhListView *, int col, TSortStyle &s, std::string &, std::string &) {
        s = style;
        formatColumn = col;
    };
    list.SetSortDirection(sdAscending);
    list.DoSort(1);
    EXPECT_EQ(list.SortColumn(), 1);
    EXPECT_EQ(formatColumn, 0);   // the comparison column: sub-item 0
    EXPECT_EQ(captions(), "abc");
    list.SetSortDirection(sdDescending);
    list.Sort();
    EXPECT_EQ(captions(), "cba");
    style = ssShortDateEU;
    list.SetSortDirection(sdAscending);
    list.DoSort(2);
    EXPECT_EQ(list.SortColumn(), 2);
    EXPECT_EQ(captions(), "cba");   // 1950, 1999, 2003
    style = ssAlphabetic;
    list.Sort();                    // still by the third column: 01.02.03, 15-06-50, 31/12/99
    EXPECT_EQ(captions(), "acb");
    list.DoSort(0);
    EXPECT_EQ(captions(), "abc");
    list.DoSort(7);                 // beyond the columns: not sorted
    EXPECT_EQ(captions(), "abc");

    // Custom and raw comparisons go to their handlers.
    style = ssCustom;
    list.OnCustomCompare = [](TEnhListView *, int, const std::string &a, const std::string &b, int &res) {
        res = b.compare(a);   // reversed
    };
    list.DoSort(0);
    EXPECT_EQ(captions(), "cba");
    style = ssRaw;
    std::vector<std::string> snapshot = {list.Items[0]->Caption(), list.Items[1]->Caption(), list.Items[2]->Caption()};
    list.OnRawCompare = [&](TEnhListView *, int, int r1, int r2, int &res) {
        res = snapshot[size_t(r1)].compare(snapshot[size_t(r2)]);
    };
    list.DoSort(0);
    EXPECT_EQ(captions(), "abc");
    TEnhListView::CompareSign = 1;
}

TEST(EnhListViewSort, InconsistentComparerKeepsAllRows)
{
    // Always-1 comparers (ssAutomatic, ssCustom and ssRaw without handler,
    // either direction) contradict themselves; the sort must still end with
    // every row exactly once. Run under the address sanitizer as well.
    TEnhListView list;
    list.Columns.Add("N", 50);
    list.Columns.Add("V", 50);
    const int n = 3000;
    list.BeginUpdate();
    for (int i = 0; i < n; ++i) {
        TListItem *it = list.Items.Add();
        it->SetCaption(Rtl::IntToStr(i));
        it->SubItems.Add(Rtl::IntToStr((i * 7919) % 101));
        it->Data = reinterpret_cast<void *>(intptr_t(i + 1));
    }
    list.EndUpdate();
    list.SelectItem(42);
    TListItem *selected = list.Items[42];
    unsigned seed = 7;
    for (TSortStyle s : {ssAutomatic, ssCustom, ssRaw, ssCustom}) {
        for (TSortDirection d : {sdAscending, sdDescending}) {
            list.OnGetFormat = [s](TEnhListView *, int, TSortStyle &st, std::string &, std::string &) { st = s; };
            if (s == ssCustom && seed > 7)   // second round: a random answer each time
                list.OnCustomCompare = [&seed](TEnhListView *, int, const std::string &, const std::string &, int &res) {
                    seed = seed * 1103515245u + 12345u;
                    res = int((seed >> 16) % 3) - 1;
                };
            seed += 1;
            list.SetSortDirection(d);
            list.DoSort(1);
            ASSERT_EQ(list.Items.Count(), n);
            std::vector<int> seen(n, 0);
            for (int i = 0; i < n; ++i) ++seen[size_t(intptr_t(list.Items[i]->Data) - 1)];
            for (int c : seen) ASSERT_EQ(c, 1);
            EXPECT_TRUE(selected->Selected());
            EXPECT_TRUE(list.selectionModel()->isRowSelected(selected->Index(), QModelIndex()));
        }
    }
    TEnhListView::CompareSign = 1;
}

TEST(EnhListViewSort, HeaderClicksWithSortShow)
{
    auto list = makePane(0, false);
    for (const char *c : {"b", "c", "a"}) list->Items.Add()->SetCaption(c);
    list->SetSortShow(true);
    std::vector<int> done;
    list->OnSortDone = [&](TEnhListView *, int c) { done.push_back(c); };
    QHeaderView *h = list->header();
    QPoint first(h->sectionViewportPosition(0) + 20, h->height() / 2);
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, first);
    EXPECT_EQ(list->Items[0]->Caption(), "a");
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, first);
    EXPECT_EQ(list->SortDirection(), sdDescending);
    EXPECT_EQ(list->Items[0]->Caption(), "c");
    EXPECT_EQ(done, (std::vector<int>{0, 0}));
    // A refusing OnSortStart keeps the order.
    list->OnSortStart = [](TEnhListView *, int, bool &enable) { enable = false; };
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {}, first);
    EXPECT_EQ(list->Items[2]->Caption(), "a");
    EXPECT_EQ(done.size(), 2u);
    list->SetSortDirection(sdAscending);
}

TEST(EnhListViewOwnerDraw, QueryDrawPropDecidesCellLook)
{
    auto list = makePane(2, false);
    int calls = 0;
    list->OnDrawItemProp = [&](TEnhListView *, int item, int sub, TOwnerDrawState, TColor &brush, TFontDesc &font,
                               std::string text) {
        ++calls;
        if (item == 1 && sub == -1) {
            EXPECT_EQ(text, "Track 2");
            brush = 0x0000FF;   // red
            font.Style = fsBold;
        }
    };
    QModelIndex cell = list->Model()->index(1, 0);
    EXPECT_FALSE(list->Model()->data(cell, Qt::BackgroundRole).isValid());   // owner drawing off
    list->SetOwnerDraw(true);
    EXPECT_EQ(list->Model()->data(cell, Qt::BackgroundRole).value<QColor>(), QColor(255, 0, 0));
    EXPECT_TRUE(list->Model()->data(cell, Qt::FontRole).value<QFont>().bold());
    EXPECT_GT(calls, 0);
    list->SetExtendedStyles(LvxBit(lvxGridLines) | LvxBit(lvxFullRowSelect));
    EXPECT_EQ(list->GetExtendedStyles(), LvxBit(lvxGridLines) | LvxBit(lvxFullRowSelect));
}
