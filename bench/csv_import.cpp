// The CSV import (LoadFromCSV into a fresh list) beside Python's csv module
// (/usr/bin/python3, csv.reader over the file opened as cp1252, rows
// gathered in a list), once with the cyclic garbage collector off and once
// with it on, reading the same file: one line of 25,000 fields (every field
// a new column), 20,000 lines of 5 quoted fields, two lines of 1,000,000
// ";"-separated fields with the delimiter found by the import itself (it
// compares the first two lines), and about 100 MB of ordinary rows.
//
// Every import is the first of a fresh process, as a user's is: this
// program runs itself again for each of ours, and Python starts anew for
// each of its own; each side times only its reading (start-up not counted).
// A later import in the same process would reuse memory the first one had
// the system fault in, and flatter. The three take turns round by round,
// who goes first rotating; each case prints the median of the per-round
// ratios (our time over Python's) with their range and its target, against
// gc off and against gc on.
//
// Then the delimiter count of the import, beside the former count that
// copied the line and cut its front at every hit (kept below as it was):
// on a line of 100,000 fields, a size the former count still manages in a
// few seconds, and the count now on the line of 1,000,000 fields for its
// growth.
//
// With a file name as its argument it imports that file once and prints the
// time (for a profiler); "--first FILE DELIMITER" is the fresh-process
// import the rounds run.
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

// Python's reading of the file, timed by itself in a fresh process; prints
// the milliseconds, then the rows, the widest row and whether the last cell
// is the one expected.
const char *const kPythonRead = R"(import sys, time, csv, gc
csv.field_size_limit(1 << 30)
path, delimiter, collector, last = sys.argv[1:5]
if collector == 'off':
    gc.disable()
t = time.perf_counter()
with open(path, newline='', encoding='cp1252') as f:
    r = list(csv.reader(f, delimiter=delimiter))
ms = (time.perf_counter() - t) * 1000
print(ms)
print(len(r), max(len(x) for x in r), r[-1][-1] == last.encode('latin-1').decode('unicode_escape'))
)";

// CR, LF and a backslash written as "\\r", "\\n" and "\\\\", as Python's unicode_escape reads them back.
std::string escaped(const std::string &s)
{
    std::string out;
    for (char c : s) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else out += c;
    }
    return out;
}

// The first import of a fresh process of this program; its milliseconds, or
// -1 when it failed or read something else than the case holds.
double oursFresh(const std::string &self, const std::string &file, const Case &c, bool &right)
{
    std::string out;
    const std::string d(1, c.delimiter ? c.delimiter : '0');
    if (bench::RunFresh({self, "--first", file, d}, out) != 0) return -1;
    // "ms rows columns delimiter" and the last cell, escaped, on a line of its own.
    double ms = -1;
    int rows = 0, cols = 0, delim = 0;
    char last[64] = "";
    if (std::sscanf(out.c_str(), "%lf %d %d %d\n%63[^\n]", &ms, &rows, &cols, &delim, last) < 4) return -1;
    const char want = c.delimiter ? c.delimiter : ';';
    if (rows != c.rows || cols != c.cols || delim != want || last != escaped(c.lastCell)) right = false;
    return ms;
}

// A fresh Python reading the file with the collector off or on.
double pythonFresh(const std::string &file, const Case &c, bool gcOn, std::string &check)
{
    std::string out;
    const std::string d(1, c.delimiter ? c.delimiter : ';');
    if (bench::RunFresh({"/usr/bin/python3", "-c", kPythonRead, file, d, gcOn ? "on" : "off", escaped(c.lastCell)},
                        out) != 0)
        return -1;
    const size_t nl = out.find('\n');
    if (nl == std::string::npos) return -1;
    check = out.substr(nl + 1);
    while (!check.empty() && check.back() == '\n') check.pop_back();
    return std::strtod(out.c_str(), nullptr);
}

} // namespace

int main(int argc, char **argv)
{
    const bench::QtRuntimeFolder runtime;
    if (argc == 4 && std::string(argv[1]) == "--first") {
        // One import in this fresh process, with the delimiter given ("0": found by the import).
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        QApplication app(argc, argv);
        TEnhListView list;
        list.Delimiter = argv[3][0] == '0' ? 0 : argv[3][0];
        const double ms = bench::TimeMs([&] { list.LoadFromCSV(argv[2]); });
        const int rows = list.Items.Count(), cols = list.Columns.Count();
        const std::string last = rows && cols ? list.GetTextAtColRow(cols - 1, rows - 1) : std::string();
        std::printf("%.3f %d %d %d\n%s\n", ms, rows, cols, int(list.Delimiter), escaped(last).c_str());
        return 0;
    }
    if (argc > 1) {
        // A file named: imported once, with the delimiter found, for a profiler.
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        QApplication app(argc, argv);
        TEnhListView list;
        const double ms = bench::TimeMs([&] { list.LoadFromCSV(argv[1]); });
        std::printf("%s: %d rows, %d columns in %.1f ms\n", argv[1], list.Items.Count(), list.Columns.Count(), ms);
        return 0;
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    const bench::TempFolder folder("mixdeck-bench-csv");
    if (!folder.Made()) return 1;
    const std::string file = folder.File("in.csv");
    char selfBuf[4096];
    const ssize_t selfLen = readlink("/proc/self/exe", selfBuf, sizeof selfBuf - 1);
    if (selfLen <= 0) return 1;
    const std::string self(selfBuf, size_t(selfLen));
    const bool havePython = access("/usr/bin/python3", X_OK) == 0;
    int status = 0;

    std::printf("csv_import: the first LoadFromCSV of a fresh process against Python's csv (reader over the file, rows "
                "in a list) in a fresh process, gc off and gc on, each timing its own reading, the three taking turns; "
                "median of the per-round ratios (our time / Python's); %s\n",
                bench::LoadText().c_str());
    const int kOrdinaryRows = 1450000;
    const Case cases[] = {
        {"one line of 25,000 fields", wideLine(), 1, 25000, "24999", ',', 7, bench::AtMost(2.0)},
        {"20,000 lines of 5 quoted fields", manyLines(), 20000, 5, "two\r\nlines", ',', 7, bench::AtMost(2.0)},
        {"2 lines of 1,000,000 \";\" fields", longLine(1000000) + longLine(1000000), 2, 1000000, "99999", 0, 11,
         bench::AtMost(0.8)},
        {"ordinary rows", ordinaryRows(kOrdinaryRows), kOrdinaryRows, 6,
         "52:" + std::to_string(10 + (kOrdinaryRows - 1) % 50), ',', 3, bench::AtMost(2.0)},
    };
    for (const Case &c : cases) {
        std::ofstream(file, std::ios::binary) << c.text;
        bool right = true;
        std::string checkOff, checkOn;
        bench::Comparison off, on;
        off.kind = on.kind = bench::Comparison::Time;
        for (int r = 0; r < c.rounds; ++r) {
            double t[3] = {-1, -1, -1};
            for (int k = 0; k < 3; ++k) {
                switch ((r + k) % 3) {
                case 0: t[0] = oursFresh(self, file, c, right); break;
                case 1: t[1] = havePython ? pythonFresh(file, c, false, checkOff) : -1; break;
                default: t[2] = havePython ? pythonFresh(file, c, true, checkOn) : -1; break;
                }
            }
            off.Add(t[0], t[1]);
            on.Add(t[0], t[2]);
        }
        const std::string mb = std::to_string(c.text.size() / 1000000) + " MB";
        const std::string label = std::string(c.name) + (c.text.size() > 10000000 ? " " + mb : "");
        bench::PrintComparison(label + ", gc off", off, "LoadFromCSV", "python csv", c.target);
        bench::PrintComparison(label + ", gc on", on, "LoadFromCSV", "python csv", c.target);
        const std::string want = std::to_string(c.rows) + " " + std::to_string(c.cols) + " True";
        if (!right || (havePython && (checkOff != want || checkOn != want))) {
            std::printf("    the two read something else (ours %s, Python: %s / %s; wanted %s)\n",
                        right ? "right" : "WRONG", checkOff.c_str(), checkOn.c_str(), want.c_str());
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
    std::printf("csv_import: done; %s\n", bench::LoadText().c_str());
    return status;
}
