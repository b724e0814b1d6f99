// Filling a list: 10,000 rows of 4 columns inserted in one update batch and
// sorted by caption, once in TEnhListView and once in a plain QTreeWidget,
// in the same run. Prints the best of several rounds for each and the ratio
// (target: the enhanced list no slower than 1.5 times the plain widget).
#include "controls/EnhListV.h"
#include "platform/Rtl.h"

#include <QApplication>
#include <QHeaderView>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int kRows = 10000;
constexpr int kRounds = 7;

struct Row {
    std::string cells[4];
    QString qcells[4];
};

std::vector<Row> makeRows()
{
    std::mt19937 rng(20010815);
    const char *words[] = {"Abba", "Beatles", "Queen", "Kraftwerk", "Eurythmics", "Blondie",
                           "Genesis", "Sting", "Madonna", "Prince", "Toto", "Yes"};
    std::vector<Row> rows(kRows);
    for (Row &r : rows) {
        r.cells[0] = std::string(words[rng() % 12]) + " " + Rtl::IntToStr(rng() % 100000);
        r.cells[1] = std::string(words[rng() % 12]) + " - Greatest Hits " + Rtl::IntToStr(rng() % 50);
        r.cells[2] = Rtl::IntToStr(1 + rng() % 30);
        r.cells[3] = Rtl::IntToHex(int64_t(rng()), 8);
        for (int c = 0; c < 4; ++c) r.qcells[c] = QString::fromLatin1(r.cells[c].c_str());
    }
    return rows;
}

using Clock = std::chrono::steady_clock;
double msSince(Clock::time_point t0)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Fill and sort; with layout also the view's item layout as showing would do.
double fillEnh(const std::vector<Row> &rows, bool layout)
{
    TEnhListView list;
    list.Columns.Add("ARTIST NAME", 292);
    list.Columns.Add("CD TITLE", 298);
    list.Columns.Add("TRACKS", 68, taCenter);
    list.Columns.Add("PIDS", 0, taCenter);
    list.SetSortType(stText);
    list.resize(800, 600);
    list.show();
    QApplication::processEvents();
    auto t0 = Clock::now();
    list.BeginUpdate();
    for (const Row &r : rows) {
        TListItem *it = list.Items.Add();
        it->SetCaption(r.cells[0]);
        it->SubItems.Add(r.cells[1]);
        it->SubItems.Add(r.cells[2]);
        it->SubItems.Add(r.cells[3]);
    }
    list.EndUpdate();   // sorts by caption
    if (layout) list.doItemsLayout();
    double ms = msSince(t0);
    if (list.Items.Count() != kRows || Rtl::AnsiCompareText(list.Items[0]->Caption(), list.Items[1]->Caption()) > 0) {
        std::fprintf(stderr, "enhanced list not filled and sorted\n");
        std::exit(1);
    }
    return ms;
}

double fillPlain(const std::vector<Row> &rows, bool layout)
{
    QTreeWidget tree;
    tree.setColumnCount(4);
    tree.setHeaderLabels({"ARTIST NAME", "CD TITLE", "TRACKS", "PIDS"});
    tree.setRootIsDecorated(false);
    tree.setUniformRowHeights(true);
    tree.setColumnHidden(3, true);
    tree.resize(800, 600);
    tree.show();
    QApplication::processEvents();
    auto t0 = Clock::now();
    tree.setUpdatesEnabled(false);
    QList<QTreeWidgetItem *> items;
    items.reserve(kRows);
    for (const Row &r : rows) {
        auto *it = new QTreeWidgetItem;
        for (int c = 0; c < 4; ++c) it->setText(c, r.qcells[c]);
        items.append(it);
    }
    tree.addTopLevelItems(items);
    tree.sortItems(0, Qt::AscendingOrder);
    tree.setUpdatesEnabled(true);
    if (layout) tree.doItemsLayout();
    double ms = msSince(t0);
    if (tree.topLevelItemCount() != kRows) {
        std::fprintf(stderr, "plain widget not filled\n");
        std::exit(1);
    }
    return ms;
}

double best(double (*f)(const std::vector<Row> &, bool), const std::vector<Row> &rows, bool layout)
{
    double b = 1e300;
    for (int i = 0; i < kRounds; ++i) b = std::min(b, f(rows, layout));
    return b;
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const std::vector<Row> rows = makeRows();
    fillEnh(rows, false);   // warm-up
    fillPlain(rows, false);
    for (bool layout : {false, true}) {
        double enh = best(fillEnh, rows, layout);
        double plain = best(fillPlain, rows, layout);
        std::printf("%-34s TEnhListView %8.2f ms   QTreeWidget %8.2f ms   ratio %.2f (target <= 1.50)\n",
                    layout ? "fill 10000x4 + sort + layout:" : "fill 10000x4 + sort by caption:", enh, plain,
                    enh / plain);
    }
    return 0;
}
