#include "controls/EnhListData.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace EnhListSort;

namespace {
int sgn(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }
}

TEST(EnhListSortStyles, ComparisonTable)
{
    struct Case { TSortStyle style; const char *a, *b, *prefix, *suffix; int expected; };
    const Case cases[] = {
        {ssNumeric, "10", "9", "", "", 1},
        {ssNumeric, "abc", "9", "", "", 0},
        {ssNumeric, "", "9", "", "", -1},
        {ssNumeric, "-2.5", "-2.25", "", "", -1},
        {ssNumeric, " 7 ", "7", "", "", 0},
        {ssNumeric, "12 kg", "9 kg", "", " kg", 1},
        {ssNumeric, "1e3", "999", "", "", 1},
        {ssNumeric, "inf", "1", "", "", 0},
        {ssNumeric, "1,200", "999", "", "", 0},          // separators only with ssFinancial
        {ssFinancial, "$1,200.50", "$999", "$", "", 1},
        {ssFinancial, "$1,000,000", "$2,000", "$", "", 1},
        {ssFinancial, "EUR 5", "EUR 5.00", "EUR", "", 0},
        {ssAlphaNoCase, "apple", "Banana", "", "", -1},
        {ssAlphabetic, "Banana", "apple", "", "", -1},
        {ssAlphaCase, "b", "a", "", "", 1},
        {ssAlphabetic, "same", "same", "", "", 0},
        {ssShortDateEU, "31/12/99", "01/01/00", "", "", -1},
        {ssShortDateEU, "01.02.03", "31.01.03", "", "", 1},
        {ssShortDateUS, "12-31-25", "01-01-26", "", "", 1},   // 2025 against 1926
        {ssShortDateEU, "31/02/99", "01/01/50", "", "", -1},  // impossible date counts as 0
        {ssShortDateEU, "31/12", "01/01/1900", "", "", -1},   // one separator: date 0
        {ssDate, "2001-05-03", "2001-05-02", "", "", 1},
        {ssDate, "03/05/2001", "04/05/2001", "", "", -1},
        {ssDate, "junk", "01/01/1900", "", "", -1},
        {ssAutomatic, "a", "b", "", "", 1},
        {ssCustom, "a", "b", "", "", 0},
        {ssRaw, "a", "b", "", "", 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(sgn(CompareTexts(c.style, c.a, c.b, c.prefix, c.suffix)), c.expected)
            << int(c.style) << " " << c.a << " vs " << c.b;
}

TEST(EnhListSortStyles, SeparatorsOfTheSystem)
{
    char dec = DecimalSeparator, th = ThousandSeparator;
    DecimalSeparator = ',';
    ThousandSeparator = '.';
    EXPECT_GT(CompareTexts(ssFinancial, "1.200,50", "999,99"), 0);
    EXPECT_LT(CompareTexts(ssNumeric, "2,5", "2,75"), 0);
    DecimalSeparator = dec;
    ThousandSeparator = th;
}

TEST(EnhListSortStyles, ShortDateParsers)
{
    struct Case { bool eu; const char *text; int y, m, d; };
    const Case cases[] = {
        {true, "31/12/99", 1999, 12, 31},  {true, "01.02.03", 2003, 2, 1},  {false, "12-31-25", 2025, 12, 31},
        {false, "12/31/1999", 3899, 12, 31}, {true, "5/6/26", 1926, 6, 5}, {true, " 7-8-05", 2005, 8, 7},
        {true, "1/2/0", 2000, 2, 1},
    };
    for (const Case &c : cases) {
        double d = c.eu ? ParseShortDateEU(c.text) : ParseShortDateUS(c.text);
        EXPECT_DOUBLE_EQ(d, Rtl::EncodeDate(c.y, c.m, c.d)) << c.text;
    }
    EXPECT_EQ(ParseShortDateEU("31/12"), 0);
    EXPECT_EQ(ParseShortDateEU("nothing"), 0);
    EXPECT_THROW(ParseShortDateEU("32/01/99"), EConvertError);
    EXPECT_THROW(ParseShortDateUS("31/12/99"), EConvertError);
}

TEST(EnhListData, StableSortSurvivesInconsistentComparers)
{
    // A comparer that always answers 1 (or -1), or answers at random,
    // contradicts itself; every row must still come out exactly once.
    for (int n : {0, 1, 2, 3, 17, 1000}) {
        unsigned seed = 12345;
        std::vector<std::function<int(int, int)>> comparers = {
            [](int, int) { return 1; }, [](int, int) { return -1; },
            [&seed](int, int) { seed = seed * 1103515245u + 12345u; return int((seed >> 16) % 3) - 1; }};
        for (auto &cmp : comparers) {
            std::vector<int> order = StableSortOrder(n, cmp);
            std::vector<int> seen(size_t(n), 0);
            ASSERT_EQ(int(order.size()), n);
            for (int v : order) {
                ASSERT_GE(v, 0);
                ASSERT_LT(v, n);
                ++seen[size_t(v)];
            }
            for (int s : seen) EXPECT_EQ(s, 1);
        }
    }
    // A consistent comparer sorts, and equal keys keep their order.
    std::vector<int> keys = {3, 1, 2, 1, 3, 0};
    std::vector<int> order = StableSortOrder(6, [&](int a, int b) { return keys[size_t(a)] - keys[size_t(b)]; });
    EXPECT_EQ(order, (std::vector<int>{5, 1, 3, 2, 0, 4}));
}

TEST(EnhListData, CaptionSortOnInsertBatchAndCaptionChange)
{
    TListItems items;
    items.SetSortType(stText);
    auto add = [&](const char *cap) { TListItem *it = items.Add(); it->SetCaption(cap); return it; };
    add("delta");
    add("Alpha");
    TListItem *c = add("charlie");
    auto captions = [&] {
        std::string s;
        for (int i = 0; i < items.Count(); ++i) s += items[i]->Caption() + " ";
        return s;
    };
    EXPECT_EQ(captions(), "Alpha charlie delta ");
    c->SetCaption("zulu");
    EXPECT_EQ(captions(), "Alpha delta zulu ");
    items.BeginUpdate();
    add("echo");
    add("bravo");
    EXPECT_EQ(captions(), "Alpha delta zulu echo bravo ");   // no sorting inside a batch
    items.EndUpdate();
    EXPECT_EQ(captions(), "Alpha bravo delta echo zulu ");
    items.SetSortType(stNone);
    items[0]->SetCaption("zz");
    EXPECT_EQ(items[0]->Caption(), "zz");
}

// Inserts and caption changes outside a batch move the one row into place;
// the list always equals a stable sort of its rows (equal captions keep the
// order a whole sort would give them).
TEST(EnhListData, UnbatchedChangesKeepTheListAsAStableSortWouldHaveIt)
{
    TListItems items;
    items.SetSortType(stText);
    std::vector<TListItem *> made;  // in the order a stable sort ranks equals
    unsigned seed = 7;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) % 9; };
    const char *words[] = {"b", "B", "a", "c", "A", "d", "bb", "", "C"};
    auto check = [&](const char *step) {
        std::vector<TListItem *> want;
        for (int i = 0; i < items.Count(); ++i) want.push_back(items[i]);
        std::vector<TListItem *> sorted = want;
        std::stable_sort(sorted.begin(), sorted.end(), [](const TListItem *x, const TListItem *y) {
            return Rtl::AnsiCompareText(x->Caption(), y->Caption()) < 0;
        });
        EXPECT_EQ(want, sorted) << step;
    };
    for (int i = 0; i < 60; ++i) {
        TListItem *it = items.Add();
        it->SetCaption(words[next()]);
        made.push_back(it);
        check("insert");
    }
    for (int i = 0; i < 40; ++i) {
        // Rows with equal captions keep their relative order across a move.
        std::vector<TListItem *> before;
        for (int r = 0; r < items.Count(); ++r) before.push_back(items[r]);
        TListItem *it = items[int(next() * 7 % unsigned(items.Count()))];
        it->SetCaption(words[next()]);
        check("caption change");
        std::vector<TListItem *> after;
        for (int r = 0; r < items.Count(); ++r) after.push_back(items[r]);
        for (size_t a = 0; a < after.size(); ++a)
            for (size_t b = a + 1; b < after.size(); ++b) {
                if (after[a] != it && after[b] != it && after[a]->Caption() == after[b]->Caption()) {
                    EXPECT_LT(std::find(before.begin(), before.end(), after[a]),
                              std::find(before.begin(), before.end(), after[b]));
                }
            }
    }
    EXPECT_EQ(items.Count(), 60);
}

TEST(EnhListData, SubItemsAreIndependentOfColumns)
{
    TListItems items;
    TListItem *it = items.Add();
    it->SubItems.Add("one");
    it->SubItems.Add("two");
    it->SubItems.Add("three");
    EXPECT_EQ(it->SubItems.Count(), 3);
    EXPECT_EQ(it->CellText(0), "");
    EXPECT_EQ(it->CellText(3), "three");
    EXPECT_EQ(it->CellText(9), "");
    EXPECT_EQ(it->SubItems[-1], "");
    it->SubItems.Put(7, "ignored");
    EXPECT_EQ(it->SubItems.Count(), 3);
}

TEST(EnhListData, SelectionMarksSingleAndMulti)
{
    struct Recorder : TListObserver {
        std::vector<std::pair<int, bool>> events;
        TListItems *items = nullptr;
        void RowsAboutToBeInserted(int, int) override {}
        void RowsInserted() override {}
        void RowsAboutToBeRemoved(int, int) override {}
        void RowsRemoved() override {}
        void AboutToReset() override {}
        void ResetDone() override {}
        void LayoutAboutToChange() override {}
        void LayoutChanged(const std::vector<int> &) override {}
        void CellsChanged(int, int, int) override {}
        void HeaderChanged(int, int) override {}
        void ColumnLayoutChanged(int) override {}
        void ItemSelectionChanged(TListItem *item, bool on) override { events.emplace_back(item->Index(), on); }
        void ItemFocusChanged(TListItem *) override {}
    } rec;
    TListItems items;
    items.SetObserver(&rec);
    for (int i = 0; i < 4; ++i) items.Add();
    items[1]->SetSelected(true);
    items[2]->SetSelected(true);
    EXPECT_EQ(rec.events, (std::vector<std::pair<int, bool>>{{1, true}, {1, false}, {2, true}}));
    rec.events.clear();
    items.MultiSelect = true;
    items[3]->SetSelected(true);
    EXPECT_EQ(items.SelCount(), 2);
    items.Delete(2);   // the deselection is reported before the row goes
    EXPECT_EQ(rec.events, (std::vector<std::pair<int, bool>>{{3, true}, {2, false}}));
    rec.events.clear();
    items.Clear();
    EXPECT_EQ(rec.events, (std::vector<std::pair<int, bool>>{{2, false}}));
    items.SetObserver(nullptr);
}

TEST(EnhListData, ColumnWidthArithmetic)
{
    // A list 400 wide with a client width of 396 and columns 100, 100, 50.
    EXPECT_EQ(StretchedRightWidth({100, 100, 50}, 400, 396), 190);
    EXPECT_EQ(StretchedRightWidth({250}, 400, 396), 396);
    EXPECT_EQ(StretchedRightWidth({300, 100, 50}, 400, 396), -1);   // no room: unchanged
    EXPECT_EQ(StretchedRightWidth({}, 400, 396), -1);
    // Widest caption 60 plus 16 for the check box, plus 10.
    EXPECT_EQ(AutoSizedWidth({40 + 16, 60 + 16, 12 + 16}), 86);
}

TEST(EnhListData, DetailsStoreOnlyRealChanges)
{
    TDetails d;
    int repaints = 0;
    d.Changed = [&] { ++repaints; };
    d.SetHeight(16);
    d.SetColumn(-1);
    d.SetHeight(-5);
    EXPECT_EQ(repaints, 0);
    d.SetHeight(20);
    d.SetColumn(2);
    EXPECT_EQ(repaints, 2);
    EXPECT_EQ(d.Font().Color, clBlue);
}
