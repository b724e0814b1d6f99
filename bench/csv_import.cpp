// The CSV import: one line of 25,000 fields (every field a new column),
// 20,000 lines of 5 quoted fields and two lines of 1,000,000 ";"-separated
// fields with the delimiter found by the import itself (it compares the
// first two lines), read by LoadFromCSV
// and, in the same run, by Python's csv module (/usr/bin/python3) as the
// independent peer. Prints the best of several rounds for each and the ratio.
// The delimiter scan of the import is timed on the long line too, beside
// the former scan that copied the line and cut its front at every hit
// (kept below as it was, to show the difference).
#include "BenchUtil.h"

#include "controls/Alvutil.h"
#include "controls/EnhListV.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr int kRounds = 5;

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

std::string millionFields()
{
    std::string s;
    s.reserve(7000000);
    for (int i = 0; i < 1000000; ++i) s += (i ? ";" : "") + std::to_string(i % 100000);
    return s + "\r\n";
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

double importMs(const std::string &file, int rows, int cols, const std::string &lastCell, char delimiter,
                int rounds)
{
    return bench::BestOf(rounds, [&] {
        TEnhListView list;
        list.Delimiter = delimiter;
        list.LoadFromCSV(file);
        if (list.Items.Count() != rows || list.Columns.Count() != cols ||
            list.GetTextAtColRow(cols - 1, rows - 1) != lastCell) {
            std::fprintf(stderr, "the import read something else\n");
            std::exit(1);
        }
    });
}

// Python reads the file kRounds times and prints its best time in ms.
double pythonMs(const std::string &file, char delimiter)
{
    const std::string cmd =
        "/usr/bin/python3 -c \"import csv,sys,time\n"
        "csv.field_size_limit(1<<30)\n"
        "best=1e9\n"
        "for _ in range(" + std::to_string(kRounds) + "):\n"
        "  t=time.perf_counter()\n"
        "  rows=list(csv.reader(open(sys.argv[1],newline='',encoding='cp1252'),delimiter=sys.argv[2]))\n"
        "  best=min(best,(time.perf_counter()-t)*1000)\n"
        "print(best)\" '" + file + "' '" + std::string(1, delimiter) + "'";
    FILE *p = popen(cmd.c_str(), "r");
    double ms = -1;
    if (p) {
        if (std::fscanf(p, "%lf", &ms) != 1) ms = -1;
        pclose(p);
    }
    return ms;
}

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    char folder[] = "/tmp/mixdeck-bench-XXXXXX";
    if (!mkdtemp(folder)) return 1;
    const struct {
        const char *name;
        std::string text;
        int rows, cols;
        std::string lastCell;
        char delimiter;
        int rounds;
    } cases[] = {
        {"one line of 25,000 fields", wideLine(), 1, 25000, "24999", ',', kRounds},
        {"20,000 lines of 5 quoted fields", manyLines(), 20000, 5, "two\r\nlines", ',', kRounds},
        {"2 lines of 1,000,000 \";\" fields", millionFields() + millionFields(), 2, 1000000, "99999", 0, 2},
    };
    for (const auto &c : cases) {
        const std::string file = std::string(folder) + "/in.csv";
        std::ofstream(file, std::ios::binary) << c.text;
        const double ours = importMs(file, c.rows, c.cols, c.lastCell, c.delimiter, c.rounds), peer = pythonMs(file, c.delimiter ? c.delimiter : ',');
        std::printf("%-34s LoadFromCSV %8.1f ms   python csv %8.1f ms   ratio %.2f\n", c.name, ours, peer,
                    peer > 0 ? ours / peer : 0.0);
        unlink(file.c_str());
    }

    // The delimiter scan alone on the long line (the import scans it for
    // each of its five candidates; here once, for ";").
    const std::string line = millionFields();
    int now = 0, former = 0;
    const double nowMs = bench::BestOf(kRounds, [&] { now = Alvutil::NumSingleChar(';', line); });
    const double formerMs = bench::BestOf(1, [&] { former = formerNumSingleChar(';', line); });
    if (now != former || now != 999999) {
        std::fprintf(stderr, "the delimiter scan counts something else: %d, formerly %d\n", now, former);
        return 1;
    }
    std::printf("%-34s scan now %8.1f ms   former scan %8.1f ms   ratio %.0f\n", "\";\" count of the long line",
                nowMs, formerMs, nowMs > 0 ? formerMs / nowMs : 0.0);
    rmdir(folder);
    return 0;
}
