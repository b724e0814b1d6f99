// Small hostile files for the list's readers: a clear error or a quick
// result, the list as it was after an error, and little memory either way.
#include "ListExportPeer.h"
#include "MemoryPeak.h"

#include "common/TestUtil.h"
#include "controls/EnhListV.h"
#include "platform/OleAuto.h"
#include "platform/Streams.h"
#include "platform/XlsxIO.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <functional>

using testutil::TempDir;

namespace {

using memorypeak::peakGrowthMb;

std::vector<std::string> rowsOf(const TEnhListView &list)
{
    std::vector<std::string> r;
    for (int i = 0; i < list.Items.Count(); ++i) {
        std::string s = list.Items[i]->Caption();
        for (int k = 0; k < list.Items[i]->SubItems.Count(); ++k) s += "|" + list.Items[i]->SubItems[k];
        r.push_back(s);
    }
    return r;
}

// A list that already holds rows, which a failed load must keep.
void fill(TEnhListView &list)
{
    list.Columns.Add("A", 50);
    list.Columns.Add("B", 50);
    for (const char *c : {"kept 1", "kept 2"}) {
        TListItem *it = list.Items.Add();
        it->SetCaption(c);
        it->SubItems.Add("b");
    }
}

std::string hostileXlsx(const TempDir &dir, const std::string &kind, long n = 0)
{
    const std::string file = dir.file(kind + ".xlsx");
    const int rc = testutil::runPython(testutil::sourcePath("tests/peers/hostile_xlsx.py"),
                                       kind + " " + exportpeer::shellQuote(file) + " " + std::to_string(n));
    EXPECT_EQ(rc, 0) << kind;
    return file;
}

} // namespace

// A 15-byte cell file or stream whose first line asks for 10,000 rows of
// 1,000,000 columns: the error before the list changes.
TEST(HostileLists, HugeFirstLinesAreRefusedBeforeTheListChanges)
{
    TempDir dir;
    const std::string file = dir.file("big.lst");
    testutil::writeFile(file, "10000,1000000\r\n");
    ASSERT_EQ(testutil::readFile(file).size(), 15u);
    TEnhListView list;
    fill(list);
    const auto before = rowsOf(list);
    const long mb = peakGrowthMb([&] {
        try {
            list.LoadFromFile(file);
            ADD_FAILURE() << "loaded";
        } catch (const EEnhListViewError &e) {
            EXPECT_EQ(e.Message, "File contains no data or corrupt file " + file);
        }
        TMemoryStream stream;
        stream.WriteString("1000000,10001\r\n0,1,x\r\n");
        try {
            list.LoadFromStream(stream);
            ADD_FAILURE() << "loaded";
        } catch (const EEnhListViewError &e) {
            EXPECT_EQ(e.Message, "Stream contains no data or corrupt data");
        }
    });
    EXPECT_EQ(rowsOf(list), before);
    EXPECT_EQ(list.Columns.Count(), 2);
    EXPECT_LT(mb, 50);

    // Within the bounds, a big first line costs rows only: sub-items come
    // with the cells that fill them.
    testutil::writeFile(file, "1000,900\r\n999,899,-1,far corner\r\n0,0,-1,first\r\n");
    const long accepted = peakGrowthMb([&] { list.LoadFromFile(file); });
    EXPECT_EQ(list.Items.Count(), 900);
    EXPECT_EQ(list.Items[899]->SubItems.Count(), 999);
    EXPECT_EQ(list.GetTextAtColRow(999, 899), "far corner");
    EXPECT_EQ(list.Items[1]->SubItems.Count(), 0);
    EXPECT_LT(accepted, 50);
}

// Workbooks: cells at A1 and XFD1048576, a 31-million-cell sheet and a
// 300 MB shared string in small zips, too many cells, and rows beyond the
// sheet (2147483647): each an error, the list keeping its rows.
TEST(HostileLists, HostileWorkbooksLeaveTheListAsItWas)
{
    TempDir dir;
    struct Case {
        std::string kind;
        long n;
        const char *error;  // part of the message
    };
    const Case cases[] = {
        {"corners", 0, "Not enough storage"},
        {"cellbomb", 31000000, "too large"},
        {"stringbomb", 300000000, "too large"},
        {"manycells", 120000, "too large"},
        {"row", 2147483647, "outside the sheet"},
        {"row", 1048577, "outside the sheet"},
    };
    for (const Case &c : cases) {
        const std::string file = hostileXlsx(dir, c.kind, c.n);
        TEnhListView list;
        fill(list);
        const auto before = rowsOf(list);
        std::string message;
        const long mb = peakGrowthMb([&] {
            try {
                list.LoadFromXLS(file);
            } catch (const std::exception &e) {
                message = e.what();
            }
        });
        EXPECT_NE(message.find(c.error), std::string::npos) << c.kind << ": " << message;
        EXPECT_EQ(rowsOf(list), before) << c.kind;
        EXPECT_LT(mb, 50) << c.kind;
    }

    // The last row of a sheet is still read.
    const std::string edge = hostileXlsx(dir, "row", 1048576);
    xlsx::Workbook wb;
    std::string err;
    ASSERT_TRUE(xlsx::ReadXlsx(edge, wb, err)) << err;
    ASSERT_EQ(wb.Sheets[0].Cells.size(), 1u);
    EXPECT_EQ(wb.Sheets[0].Cells.begin()->first, std::make_pair(1048575, 0));
}

// One line of 25,000 fields: every column is added inside the import's
// update batch, laid out once (one model reset), so the import is linear.
TEST(HostileLists, WideCsvLineIsLaidOutOnce)
{
    TempDir dir;
    const std::string file = dir.file("wide.csv");
    std::string line;
    for (int i = 0; i < 25000; ++i) line += (i ? "," : "") + std::to_string(i);
    testutil::writeFile(file, line + "\r\n");
    TEnhListView list;
    list.Delimiter = ',';
    QSignalSpy resets(list.Model(), &QAbstractItemModel::modelReset);
    const long mb = peakGrowthMb([&] { list.LoadFromCSV(file); });
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(list.Columns.Count(), 25000);
    ASSERT_EQ(list.Items.Count(), 1);
    EXPECT_EQ(list.Items[0]->SubItems.Count(), 24999);
    EXPECT_EQ(list.GetTextAtColRow(24999, 0), "24999");
    EXPECT_LT(mb, 50);
}

// Cells holding the delimiter, quotes and line breaks, exported to CSV: the
// csv module of Python and the list's own import read the same cells back.
TEST(CsvQuoting, ReadBackByPythonAndByTheImport)
{
    const std::vector<std::vector<std::string>> cells = {
        {"ARTIST", "TITLE", "NOTE"},
        {"Crosby, Stills & Nash", "D\xE9j\xE0 Vu", "plain"},
        {"say \"hi\"", "\"quoted\"", "5\" single"},
        {"two\r\nlines", "lf\nonly", "cr\ronly"},
        {"", "a;b|c", "trailing,"},
    };
    for (char delimiter : {',', ';'}) {
        TempDir dir;
        const std::string file = dir.file("q.csv");
        TEnhListView list;
        for (const std::string &c : cells[0]) list.Columns.Add(c, 80);
        for (size_t r = 1; r < cells.size(); ++r) {
            TListItem *it = list.Items.Add();
            it->SetCaption(cells[r][0]);
            for (size_t k = 1; k < cells[r].size(); ++k) it->SubItems.Add(cells[r][k]);
        }
        list.SaveHeader = true;
        list.Delimiter = delimiter;
        list.SaveToCSV(file);

        const QJsonArray rows = exportpeer::read("csv", file, std::string(1, delimiter))["rows"].toArray();
        ASSERT_EQ(rows.size(), qsizetype(cells.size())) << delimiter;
        for (size_t r = 0; r < cells.size(); ++r) {
            const QJsonArray got = rows[qsizetype(r)].toArray();
            ASSERT_EQ(got.size(), qsizetype(cells[r].size())) << r;
            for (size_t k = 0; k < cells[r].size(); ++k)
                EXPECT_EQ(got[qsizetype(k)].toString(), exportpeer::u(cells[r][k])) << r << "," << k;
        }

        TEnhListView back;
        back.Delimiter = delimiter;
        back.LoadHeader = true;
        back.LoadFromCSV(file);
        ASSERT_EQ(back.Items.Count(), int(cells.size() - 1)) << delimiter;
        for (size_t k = 0; k < cells[0].size(); ++k) EXPECT_EQ(back.Columns[int(k)]->Caption(), cells[0][k]);
        for (size_t r = 1; r < cells.size(); ++r)
            for (size_t k = 0; k < cells[r].size(); ++k)
                EXPECT_EQ(back.GetTextAtColRow(int(k), int(r - 1)), cells[r][k]) << r << "," << k;
    }
}
