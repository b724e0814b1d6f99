// The CSV import: one line of 25,000 fields (every field a new column) and
// 20,000 lines of 5 quoted fields, read by LoadFromCSV and, in the same run,
// by Python's csv module (/usr/bin/python3) as the independent peer. Prints
// the best of several rounds for each and the ratio.
#include "BenchUtil.h"

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

double importMs(const std::string &file, int rows, int cols, const std::string &lastCell)
{
    return bench::BestOf(kRounds, [&] {
        TEnhListView list;
        list.Delimiter = ',';
        list.LoadFromCSV(file);
        if (list.Items.Count() != rows || list.Columns.Count() != cols ||
            list.GetTextAtColRow(cols - 1, rows - 1) != lastCell) {
            std::fprintf(stderr, "the import read something else\n");
            std::exit(1);
        }
    });
}

// Python reads the file kRounds times and prints its best time in ms.
double pythonMs(const std::string &file)
{
    const std::string cmd =
        "/usr/bin/python3 -c \"import csv,sys,time\n"
        "best=1e9\n"
        "for _ in range(" + std::to_string(kRounds) + "):\n"
        "  t=time.perf_counter()\n"
        "  rows=list(csv.reader(open(sys.argv[1],newline='',encoding='cp1252')))\n"
        "  best=min(best,(time.perf_counter()-t)*1000)\n"
        "print(best)\" '" + file + "'";
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
    } cases[] = {
        {"one line of 25,000 fields", wideLine(), 1, 25000, "24999"},
        {"20,000 lines of 5 quoted fields", manyLines(), 20000, 5, "two\r\nlines"},
    };
    for (const auto &c : cases) {
        const std::string file = std::string(folder) + "/in.csv";
        std::ofstream(file, std::ios::binary) << c.text;
        const double ours = importMs(file, c.rows, c.cols, c.lastCell), peer = pythonMs(file);
        std::printf("%-34s LoadFromCSV %8.1f ms   python csv %8.1f ms   ratio %.2f\n", c.name, ours, peer,
                    peer > 0 ? ours / peer : 0.0);
        unlink(file.c_str());
    }
    rmdir(folder);
    return 0;
}
