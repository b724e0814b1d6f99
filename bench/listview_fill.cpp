// Filling a list: rows of 4 columns inserted in one update batch, sorted by
// caption (case-insensitive) and laid out, in TEnhListView beside the
// strongest plain Qt peer, a QTableView over a plain table model (a vector
// of QString rows, sorted with QString's case-insensitive compare), at
// 100,000 and 1,000,000 rows; and at 100,000 rows beside a QTreeWidget as a
// second peer. Each view is made and shown before its clock starts. Ours
// and the peer take turns round by round; printed is the median of the
// per-round time ratios (ours / peer) with its range and the target (no
// slower than 1.5 times the plain view).
#include "controls/EnhListV.h"
#include "platform/Rtl.h"

#include "BenchUtil.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTreeWidget>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

struct Row {
    std::string cells[4];
    QString qcells[4];
};

std::vector<Row> makeRows(int n)
{
    std::mt19937 rng(20010815);
    const char *words[] = {"Abba", "Beatles", "Queen", "Kraftwerk", "Eurythmics", "Blondie",
                           "Genesis", "Sting", "Madonna", "Prince", "Toto", "Yes"};
    std::vector<Row> rows(static_cast<size_t>(n));
    for (Row &r : rows) {
        r.cells[0] = std::string(words[rng() % 12]) + " " + Rtl::IntToStr(rng() % 100000);
        r.cells[1] = std::string(words[rng() % 12]) + " - Greatest Hits " + Rtl::IntToStr(rng() % 50);
        r.cells[2] = Rtl::IntToStr(1 + rng() % 30);
        r.cells[3] = Rtl::IntToHex(int64_t(rng()), 8);
        for (int c = 0; c < 4; ++c) r.qcells[c] = QString::fromLatin1(r.cells[c].c_str());
    }
    return rows;
}

// The plain model: rows of four texts, sorted by a column on request.
class PlainModel : public QAbstractTableModel {
public:
    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(rows_.size()); }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 4; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole || !index.isValid()) return {};
        return rows_[size_t(index.row())][size_t(index.column())];
    }
    QVariant headerData(int section, Qt::Orientation o, int role) const override
    {
        static const char *names[] = {"ARTIST NAME", "CD TITLE", "TRACKS", "PIDS"};
        if (role != Qt::DisplayRole || o != Qt::Horizontal || section < 0 || section > 3) return {};
        return QString::fromLatin1(names[section]);
    }
    void sort(int column, Qt::SortOrder order) override
    {
        emit layoutAboutToBeChanged();
        std::stable_sort(rows_.begin(), rows_.end(), [&](const auto &a, const auto &b) {
            const int c = a[size_t(column)].compare(b[size_t(column)], Qt::CaseInsensitive);
            return order == Qt::AscendingOrder ? c < 0 : c > 0;
        });
        emit layoutChanged();
    }
    void fill(const std::vector<Row> &rows)
    {
        beginResetModel();
        rows_.reserve(rows.size());
        for (const Row &r : rows) rows_.push_back({r.qcells[0], r.qcells[1], r.qcells[2], r.qcells[3]});
        endResetModel();
    }
    const QString &caption(int r) const { return rows_[size_t(r)][0]; }

private:
    std::vector<std::array<QString, 4>> rows_;
};

void fail(const char *what)
{
    std::fprintf(stderr, "%s\n", what);
    std::exit(1);
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
    const double ms = bench::TimeMs([&] {
        list.BeginUpdate();
        for (const Row &r : rows) {
            TListItem *it = list.Items.Add();
            it->SetCaption(r.cells[0]);
            it->SubItems.Add(r.cells[1]);
            it->SubItems.Add(r.cells[2]);
            it->SubItems.Add(r.cells[3]);
        }
        list.EndUpdate();  // sorts by caption
        if (layout) list.doItemsLayout();
    });
    if (list.Items.Count() != int(rows.size()) ||
        Rtl::AnsiCompareText(list.Items[0]->Caption(), list.Items[1]->Caption()) > 0)
        fail("enhanced list not filled and sorted");
    return ms;
}

double fillTable(const std::vector<Row> &rows, bool layout)
{
    PlainModel model;
    QTableView view;
    view.setModel(&model);
    view.setColumnHidden(3, true);
    view.verticalHeader()->hide();
    view.resize(800, 600);
    view.show();
    QApplication::processEvents();
    const double ms = bench::TimeMs([&] {
        model.fill(rows);
        model.sort(0, Qt::AscendingOrder);
        if (layout) view.doItemsLayout();
    });
    if (model.rowCount() != int(rows.size()) || model.caption(0).compare(model.caption(1), Qt::CaseInsensitive) > 0)
        fail("plain model not filled and sorted");
    return ms;
}

double fillTree(const std::vector<Row> &rows, bool layout)
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
    const double ms = bench::TimeMs([&] {
        tree.setUpdatesEnabled(false);
        QList<QTreeWidgetItem *> items;
        items.reserve(qsizetype(rows.size()));
        for (const Row &r : rows) {
            auto *it = new QTreeWidgetItem;
            for (int c = 0; c < 4; ++c) it->setText(c, r.qcells[c]);
            items.append(it);
        }
        tree.addTopLevelItems(items);
        tree.sortItems(0, Qt::AscendingOrder);
        tree.setUpdatesEnabled(true);
        if (layout) tree.doItemsLayout();
    });
    if (tree.topLevelItemCount() != int(rows.size())) fail("plain widget not filled");
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    const bench::QtRuntimeFolder runtime;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    std::printf("listview_fill: 4 columns filled in one batch, sorted by caption, laid out; ours and the peer taking "
                "turns; median of the per-round time ratios (ours / peer)\n");
    for (int n : {100000, 1000000}) {
        const std::vector<Row> rows = makeRows(n);
        const int rounds = n > 100000 ? 5 : 7;
        fillEnh(rows, false);  // warm-up
        fillTable(rows, false);
        const std::string size = n > 100000 ? "1,000,000" : "100,000";
        for (bool layout : {false, true}) {
            if (n > 100000 && !layout) continue;  // at 1,000,000 rows the whole job only
            const bench::Comparison c = bench::Interleave(
                rounds, bench::Comparison::Time, [&] { return fillEnh(rows, layout); },
                [&] { return fillTable(rows, layout); });
            bench::PrintComparison(size + (layout ? " rows, fill+sort+layout" : " rows, fill+sort"), c,
                                   "TEnhListView", "QTableView+model", bench::AtMost(1.5));
        }
        if (n == 100000) {
            const bench::Comparison c = bench::Interleave(
                rounds, bench::Comparison::Time, [&] { return fillEnh(rows, true); },
                [&] { return fillTree(rows, true); });
            bench::PrintComparison(size + " rows, fill+sort+layout", c, "TEnhListView", "QTreeWidget",
                                   bench::AtMost(1.5));
        }
    }
    return 0;
}
