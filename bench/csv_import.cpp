// The CSV import (LoadFromCSV into a fresh list) beside Python's csv module
// (/usr/bin/python3, csv.reader over the file opened as cp1252, rows
// gathered in a list, the cyclic garbage collector off) reading the same
// file in the same run: one line of 25,000 fields (every field a new
// column), 20,000 lines of 5 quoted fields, two lines of 1,000,000
// ";"-separated fields with the delimiter found by the import itself (it
// compares the first two lines), and about 100 MB of ordinary rows.
// Python runs beside the benchmark all along and times its own reading
// (start-up not counted); the two take turns round by round, and each case
// prints the median of the per-round ratios (our time over Python's) with
// their range and its target.
//
// Then the delimiter count of the import, beside the former count that
// copied the line and cut its front at every hit (kept below as it was):
// on a line of 100,000 fields, a size the former count still manages in a
// few seconds, and the count now on the line of 1,000,000 fields for its
// growth.
//
// With a file name as its argument it imports that file once and prints the
// time (for a profiler).
#include "BenchUtil.h"

#include "controls/Alvutil.h"
#include "controls/EnhListV.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

std::string wideLine()
{
    std::string s;
    for (int i = 0; i < 25000; ++i) s += (i ? "," : "") + std::to_string(i);
    return s + "\r\n";
}

std::string manyLines()
{
    std::string s;
    for (int i = 0; i < 20000; ++i)
        s += "\"Artist " + std::to_string(i) + ", the band\",\"Title \"\"" + std::to_string(i) +
             "\"\"\",12,0000ABCD,\"two\r\nlines\"\r\n";
    return s;
}

std::string longLine(int fields)
{
    std::string s;
    s.reserve(size_t(fields) * 7);
    for (int i = 0; i < fields; ++i) s += (i ? ";" : "") + std::to_string(i % 100000);
    return s + "\r\n";
}

// Catalogue-like rows of six plain fields, about 100 MB.
std::string ordinaryRows(int rows)
{
    std::string s;
    s.reserve(size_t(rows) * 72);
    for (int i = 0; i < rows; ++i) {
        const std::string n = std::to_string(i);
        s += "Artist number " + n + ",Album title number " + n + "," + std::to_string(1 + i % 20) + "," +
             std::to_string(100000 + i) + ",rock,52:" + std::to_string(10 + i % 50) + "\r\n";
    }
    return s;
}

// The former delimiter count, as it was: quadratic in the number of hits.
int formerNumSingleChar(char ch, const std::string &s)
{
    std::string copy = s;
    int count = 0;
    for (int p = Alvutil::SinglePos(ch, copy); p > 0; p = Alvutil::SinglePos(ch, copy)) {
        copy.erase(0, size_t(p));
        ++count;
    }
    return count;
}

struct Case {
    const char *name;
    std::string text;
    int rows, cols;
    std::string lastCell;
    char delimiter;  // 0: found by the import
    int rounds;
    bench::Target target;
};

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (argc > 1) {
        // A file named: imported once, with the delimiter found, for a profiler.
        TEnhListView list;
        const double ms = bench::TimeMs([&] { list.LoadFromCSV(argv[1]); });
        std::printf("%s: %d rows, %d columns in %.1f ms\n", argv[1], list.Items.Count(), list.Columns.Count(), ms);
        return 0;
    }
    char folder[] = "/tmp/mixdeck-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const std::string file = std::string(folder) + "/in.csv";
    int status = 0;

    std::printf("csv_import: LoadFromCSV against Python's csv (reader over the file, rows in a list, gc off), timed "
                "inside Python, the two taking turns; median of the per-round ratios (our time / Python's)\n");
    const int kOrdinaryRows = 1450000;
    const Case cases[] = {
        {"one line of 25,000 fields", wideLine(), 1, 25000, "24999", ',', 5, bench::AtMost(2.0)},
        {"20,000 lines of 5 quoted fields", manyLines(), 20000, 5, "two\r\nlines", ',', 5, bench::AtMost(2.0)},
        {"2 lines of 1,000,000 \";\" fields", longLine(1000000) + longLine(1000000), 2, 1000000, "99999", 0, 5,
         bench::AtMost(1.0)},
        {"ordinary rows (about 100 MB)", ordinaryRows(kOrdinaryRows), kOrdinaryRows, 6,
         "52:" + std::to_string(10 + (kOrdinaryRows - 1) % 50), ',', 3, bench::AtMost(2.0)},
    };
    for (const Case &c : cases) {
        std::ofstream(file, std::ios::binary) << c.text;
        const char d = c.delimiter ? c.delimiter : ';';
        bench::PythonPeer python("import csv, gc\ncsv.field_size_limit(1 << 30)\ngc.disable()",
                                 "global r\n"
                                 "with open(args[0], newline='', encoding='cp1252') as f:\n"
                                 "    r = list(csv.reader(f, delimiter=args[1]))",
                                 "print(len(r), max(len(x) for x in r), r[-1][-1] == args[2])",
                                 {file, std::string(1, d), c.lastCell});
        bool right = true;
        const bench::Comparison cmp = bench::Interleave(
            c.rounds, bench::Comparison::Time,
            [&] {
                auto list = std::make_unique<TEnhListView>();
                list->Delimiter = c.delimiter;
                const double ms = bench::TimeMs([&] { list->LoadFromCSV(file); });
                right = right && list->Items.Count() == c.rows && list->Columns.Count() == c.cols &&
                        list->GetTextAtColRow(c.cols - 1, c.rows - 1) == c.lastCell && list->Delimiter == d;
                return ms;
            },
            [&] { return python.Run(); });
        const std::string mb = std::to_string(c.text.size() / 1000000) + " MB";
        bench::PrintComparison(std::string(c.name) + (c.text.size() > 10000000 ? " " + mb : ""), cmp,
                               "LoadFromCSV", "python csv", c.target);
        const std::string pyCheck = python.Check();
        const std::string want = std::to_string(c.rows) + " " + std::to_string(c.cols) + " True";
        if (!right || (python.Started() && pyCheck != want)) {
            std::printf("    the two read something else (ours %s, Python: %s; wanted %s)\n", right ? "right" : "WRONG",
                        pyCheck.c_str(), want.c_str());
            status = 1;
        }
        unlink(file.c_str());
    }

    // The delimiter count alone (the import counts for each of its five
    // candidates in each of the first two lines; here once, for ";").
    const std::string shortLine = longLine(100000), line = longLine(1000000);
    int now = 0, former = 0;
    const bench::Comparison scan = bench::Interleave(
        3, bench::Comparison::Speed, [&] { return bench::TimeMs([&] { now = Alvutil::NumSingleChar(';', shortLine); }); },
        [&] { return bench::TimeMs([&] { former = formerNumSingleChar(';', shortLine); }); });
    bench::PrintComparison("\";\" count, 100,000 fields", scan, "count now", "former count", bench::AtLeast(100));
    int nowLong = 0;
    const double shortMs = bench::Median(scan.ours);
    std::vector<double> longMs;
    for (int i = 0; i < 5; ++i) longMs.push_back(bench::TimeMs([&] { nowLong = Alvutil::NumSingleChar(';', line); }));
    bench::PrintFigure("\";\" count, 1,000,000 / 100,000 fields, time", bench::Median(longMs) / shortMs, "x",
                       bench::AtMost(15));
    if (now != former || now != 99999 || nowLong != 999999) {
        std::printf("    the delimiter counts differ: %d, formerly %d; %d on the long line\n", now, former, nowLong);
        status = 1;
    }
    rmdir(folder);
    return status;
}
