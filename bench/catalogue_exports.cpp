// The catalogue editor's exports of a big catalogue, as a user makes them:
// the main window's "Modify CD DB" opens the real editor over 100,000 discs
// (about 0.71 KB each on disk), Export DB pops its menu up, the export is
// chosen with the keys, the (scripted) save dialog names the file. Each
// export runs in a fresh process (the program's windows offscreen) that
// measures the export's time and its peak resident memory (the kernel's
// high-water mark, reset just before the export), beside the resident
// memory with the catalogue open.
//
// Printed per export: the median time and memory over the rounds with their
// range; for the word-processor and spreadsheet files also the strongest
// peer that writes the same file type here, in Python (openpyxl in its
// write-only mode, python-docx on its XML elements), in turns with ours.
// Targets for those two: no slower than the peer, and no more memory for
// the export than the catalogue's own size on disk (the CSV and HTML
// exports are measured beside them, to compare).
//
// Every file is read back by independent readers (csv, openpyxl,
// python-docx) and must hold every disc: the rows of the spreadsheet and of
// the document's table must equal the rows of the CSV export one by one;
// the row counts and the last row are printed. A wrong or missing file
// makes the benchmark fail.
//
// Last, a catalogue of 1,048,577 small discs, one more than an .xlsx sheet
// has rows: the spreadsheet export must be refused, in the editor's box,
// naming the limit, before any work, leaving no file.
//
// Everything goes into one temporary folder, removed at the end.
// Arguments: [discs] (default 100000); MIXDECK_BENCH_ROUNDS sets the rounds
// (default 3).
#include "compilation/Main.h"
#include "compilation/ManageDB.h"
#include "platform/ScriptedDialogs.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "BenchUtil.h"
#include "CatalogueGen.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// ---- the child: one export through the real window ---------------------------------------------

// A figure of /proc/self/status in kB ("VmHWM", "VmRSS").
long statusKb(const char *key)
{
    std::ifstream f("/proc/self/status");
    std::string line;
    const size_t n = std::strlen(key);
    while (std::getline(f, line))
        if (line.compare(0, n, key) == 0 && line.size() > n && line[n] == ':')
            return std::strtol(line.c_str() + n + 1, nullptr, 10);
    return -1;
}

// Resets the high-water mark of the resident memory to the present size.
bool resetPeak()
{
    std::ofstream f("/proc/self/clear_refs");
    f << "5";
    f.flush();
    return bool(f);
}

struct Kind {
    const char *name;     // as given on the command line
    const char *caption;  // of the export's menu item
    int downs;            // Down keys from the menu's first item
    const char *extension;
};
const Kind kKinds[] = {
    {"csv", "Export to CSV", 3, ".csv"},
    {"html", "Export to HTML", 0, ".html"},
    {"doc", "Export to Word DOC", 1, ".docx"},
    {"xls", "Export to Excel XLS", 2, ".xlsx"},
};

const Kind *kindNamed(const std::string &name)
{
    for (const Kind &k : kKinds)
        if (name == k.name)
            return &k;
    return nullptr;
}

// Opens the editor from the main window's menu, exports to base (the
// dialog's answer; the editor appends the extension) and prints
// "RESULT ms openRssKb openPeakKb exportPeakKb boxes" and each box's text.
int child(const Kind &kind, const std::string &base)
{
    int argc = 1;
    char name[] = "catalogue_exports";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped(dialogs);
    TMainForm main;
    TModifyForm modify;
    main.ModifyForm = &modify;
    main.show();
    if (!QTest::qWaitForWindowExposed(&main))
        return 2;

    double ms = -1;
    long openRss = 0, openPeak = 0, exportPeak = 0;
    bool reset = false;
    QTimer::singleShot(0, &modify, [&] {
        const bool shown = QTest::qWaitForWindowExposed(&modify);
        openPeak = statusKb("VmHWM");
        openRss = statusKb("VmRSS");
        dialogs.AnswerPath(base).AnswerButton(Dialogs::Button::OK);
        auto *button = modify.findChild<QPushButton *>("ExportDBBtn");
        auto *menu = modify.findChild<QMenu *>("ExportPopUpMenu");
        if (shown && button && menu) {
            QTest::mouseClick(button, Qt::LeftButton);
            if (menu->isVisible()) {
                for (int i = 0; i < kind.downs; ++i)
                    QTest::keyClick(menu, Qt::Key_Down);
                if (!menu->activeAction())
                    QTest::keyClick(menu, Qt::Key_Down);  // a menu may open with no item active
                for (int i = 0; i < kind.downs && menu->activeAction() &&
                                menu->activeAction()->text() != QString::fromLatin1(kind.caption);
                     ++i)
                    QTest::keyClick(menu, Qt::Key_Down);
                if (menu->activeAction() && menu->activeAction()->text() == QString::fromLatin1(kind.caption)) {
                    reset = resetPeak();
                    const auto t0 = std::chrono::steady_clock::now();
                    QTest::keyClick(menu, Qt::Key_Return);
                    ms = bench::MsSince(t0);
                    exportPeak = statusKb("VmHWM");
                }
            }
        }
        if (auto *close = modify.findChild<QPushButton *>("ExitBtn"))
            QTest::mouseClick(close, Qt::LeftButton);
        else
            modify.reject();
    });
    if (auto *item = main.findChild<QAction *>("ModifyMenuItem"))
        item->trigger();
    if (!reset)
        exportPeak = -1;
    const auto boxes = dialogs.MessageBoxes();
    std::printf("RESULT %.3f %ld %ld %ld %zu\n", ms, openRss, openPeak, exportPeak, boxes.size());
    for (const auto &b : boxes)
        std::printf("BOX %s\n", b.text.c_str());
    std::fflush(stdout);
    return 0;
}

// ---- the parent ------------------------------------------------------------------------------------------

std::string self;

struct Run {
    double ms = -1;
    long openRssKb = 0, openPeakKb = 0, exportPeakKb = 0;
    std::vector<std::string> boxes;
    bool ok = false;
};

// Runs the child for one export with the program folder home and reads its
// lines.
Run runChild(const std::string &kind, const std::string &home, const std::string &base)
{
    setenv("MIXDECK_HOME", home.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    std::string text;
    const bool ok = bench::RunFresh({self, "--child", kind, base}, text) == 0;
    Run r;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        size_t count = 0;
        if (std::sscanf(line.c_str(), "RESULT %lf %ld %ld %ld %zu", &r.ms, &r.openRssKb, &r.openPeakKb,
                        &r.exportPeakKb, &count) == 5)
            r.ok = ok;
        else if (line.rfind("BOX ", 0) == 0)
            r.boxes.push_back(line.substr(4));
    }
    return r;
}

// Runs /usr/bin/python3 on a script with arguments; its output, and whether
// it ended well in ok.
std::string python(const std::string &script, const std::vector<std::string> &args, bool &ok)
{
    std::vector<std::string> argv = {"/usr/bin/python3", "-c", script};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out;
    ok = bench::RunFresh(argv, out) == 0;
    return out;
}

// Reads the CSV export and the other file back and compares them row by
// row; prints one line and exits 1 on a difference.
const char *kReadBack = R"PY(
import csv, sys
kind, ref, path = sys.argv[1:4]
with open(ref, newline='', encoding='cp1252') as f:
    want = [r + [''] * (4 - len(r)) for r in csv.reader(f)]
if kind == 'xls':
    import openpyxl
    wb = openpyxl.load_workbook(path, read_only=True)
    ws = wb.active
    got = [['' if v is None else str(v) for v in r] for r in ws.iter_rows(values_only=True)]
    shape = ws.max_row, ws.max_column
elif kind == 'doc':
    import docx
    from docx.table import _Cell
    d = docx.Document(path)
    t = d.tables[0]
    got = [[_Cell(tc, t).text for tc in tr.tc_lst] for tr in t._tbl.tr_lst]
    shape = len(t.rows), len(t.columns)
elif kind == 'html':
    from html.parser import HTMLParser
    class P(HTMLParser):
        def __init__(self):
            super().__init__(convert_charrefs=True)
            self.rows, self.cell = [], None
        def handle_starttag(self, tag, attrs):
            if tag == 'tr': self.rows.append([])
            elif tag == 'td': self.cell = ''
        def handle_endtag(self, tag):
            if tag == 'td' and self.cell is not None:
                self.rows[-1].append(self.cell); self.cell = None
        def handle_data(self, data):
            if self.cell is not None: self.cell += data
    p = P()
    with open(path, encoding='cp1252', newline='') as f:
        p.feed(f.read())
    got = p.rows[1:]  # the first row holds the captions
    shape = len(got), max(len(r) for r in got)
else:
    got = want
    shape = len(want), 4
bad = [i for i, (a, b) in enumerate(zip(got, want)) if a != b]
same = len(got) == len(want) and not bad
print('%s rows %d of %d, %d columns; last row %s%s' % (
    'ok' if same else 'WRONG', len(got), len(want), shape[1], '|'.join(got[-1]) if got else '-',
    '' if same else '; first difference at row %d: %r against %r' % (
        bad[0] + 1, got[bad[0]], want[bad[0]]) if bad else ''))
sys.exit(0 if same else 1)
)PY";

// The peers: the same rows (from the CSV export) written to the same file
// types by Python's libraries, timed around the writing alone.
const char *kPeerSetup = R"PY(
import csv
with open(args[0], newline='', encoding='cp1252') as f:
    rows = [r + [''] * (4 - len(r)) for r in csv.reader(f)]
kind, out = args[1], args[2]
)PY";
const char *kPeerWork = R"PY(
if kind == 'xls':
    import openpyxl
    wb = openpyxl.Workbook(write_only=True)
    ws = wb.create_sheet()
    for r in rows:
        ws.append(r)
    wb.save(out)
else:
    import docx
    from docx.table import _Cell
    d = docx.Document()
    t = d.add_table(rows=0, cols=4)
    for r in rows:
        tr = t._tbl.add_tr()
        for text in r:
            tc = tr.add_tc()
            _Cell(tc, t).text = text
    d.save(out)
)PY";

std::string kb(long v)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.1f MB", double(v) / 1024.0);
    return b;
}

// The figures of one export's runs; with a memory target for the exports
// through the office servers (the text exports are there to compare with).
void printRuns(const std::string &label, const std::vector<Run> &runs, long catalogueBytes, int discs, bool target)
{
    std::vector<double> ms, added, open;
    for (const Run &r : runs) {
        ms.push_back(r.ms);
        added.push_back(double(r.exportPeakKb - r.openRssKb));
        open.push_back(double(r.openPeakKb));
    }
    const double medAddedKb = bench::Median(added);
    std::printf("  %-22s time %8.1f ms (range %.1f-%.1f)   export's peak memory %s (range %s-%s), %.2f KB a disc\n",
                label.c_str(), bench::Median(ms), bench::Min(ms), bench::Max(ms), kb(long(medAddedKb)).c_str(),
                kb(long(bench::Min(added))).c_str(), kb(long(bench::Max(added))).c_str(),
                medAddedKb * 1024.0 / 1000.0 / discs);
    if (target)
        bench::PrintFigure("  " + label + ": memory over the catalogue's size",
                           medAddedKb * 1024.0 / double(catalogueBytes), "x", bench::AtMost(1.0));
    std::printf("  %-22s with the catalogue open: resident %s, peak so far %s\n", "",
                kb(long(bench::Median([&] {
                       std::vector<double> v;
                       for (const Run &r : runs)
                           v.push_back(double(r.openRssKb));
                       return v;
                   }()))).c_str(),
                kb(long(bench::Median(open))).c_str());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    const bench::QtRuntimeFolder runtime;
    self = argv[0];
    if (argc == 4 && std::string(argv[1]) == "--child") {
        const Kind *k = kindNamed(argv[2]);
        // Qt's notes about the offscreen platform would fill the report.
        const int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC);
        if (quiet >= 0)
            dup2(quiet, 2);
        return k ? child(*k, argv[3]) : 2;
    }
    const int discs = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int rounds = std::getenv("MIXDECK_BENCH_ROUNDS") ? std::max(1, std::atoi(std::getenv("MIXDECK_BENCH_ROUNDS"))) : 3;
    namespace fs = std::filesystem;
    const bench::TempFolder folder("catalogue-exports");
    if (!folder.Made()) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string &root = folder.Path();
    const std::string home = root + "/home";
    fs::create_directories(home + "/Exports");
    bench::WriteCatalogue(home + "/MIXDECK.ini", discs, 11);
    const long catalogueBytes = long(fs::file_size(home + "/MIXDECK.ini"));
    std::printf("Exports of the catalogue editor: %d discs, catalogue %.1f MB (%.2f KB a disc), %d rounds, "
                "load %.1f on %ld cores\n",
                discs, catalogueBytes / 1048576.0, catalogueBytes / 1000.0 / discs, rounds, bench::LoadAverage(),
                sysconf(_SC_NPROCESSORS_ONLN));
    std::fflush(stdout);

    bool wrong = false;
    const std::string csvFile = home + "/Exports/list.csv";
    // The CSV export first: it is the reference the others are read against.
    for (const Kind &k : kKinds) {
        const std::string base = home + "/Exports/list";
        const std::string file = base + k.extension;
        std::vector<Run> runs;
        const bool withPeer = std::string(k.name) == "xls" || std::string(k.name) == "doc";
        std::unique_ptr<bench::PythonPeer> peer;
        if (withPeer)
            peer = std::make_unique<bench::PythonPeer>(kPeerSetup, kPeerWork, "print('peer done')",
                                                       std::vector<std::string>{csvFile, k.name, root + "/peer" + k.extension});
        auto ours = [&] {
            std::error_code ec;
            fs::remove(file, ec);
            Run r = runChild(k.name, home, base);
            if (!r.ok || !r.boxes.empty() || r.ms < 0 || !fs::exists(file)) {
                std::printf("  %-22s FAILED in the window:%s%s\n", k.caption, r.ok ? "" : " no result",
                            fs::exists(file) ? "" : " no file");
                for (const std::string &b : r.boxes)
                    std::printf("    box: %s\n", b.c_str());
                wrong = true;
                return -1.0;
            }
            runs.push_back(r);
            return r.ms;
        };
        if (withPeer && peer->Started()) {
            const bench::Comparison c =
                bench::Interleave(rounds, bench::Comparison::Time, ours, [&] { return peer->Run(); });
            bench::PrintComparison(std::string(k.caption) + ", time", c, "ours",
                                   std::string(k.name) == "xls" ? "openpyxl" : "python-docx", bench::AtMost(1.0));
        } else {
            for (int i = 0; i < rounds; ++i)
                ours();
        }
        if (runs.empty())
            continue;
        printRuns(k.caption, runs, catalogueBytes, discs, withPeer);
        bool ok = false;
        const std::string line = python(kReadBack, {k.name, csvFile, file}, ok);
        std::printf("  %-22s %s, %.1f MB: read back %s", "", fs::path(file).filename().c_str(),
                    double(fs::file_size(file)) / 1048576.0, line.empty() ? "(no reader)\n" : line.c_str());
        if (!ok) {
            wrong = true;
            std::printf("  %-22s the file read back WRONG\n", k.caption);
        }
        std::fflush(stdout);
    }

    // One disc more than a sheet has rows.
    {
        const int overLimit = 1048577;
        const std::string bigHome = root + "/limit";
        fs::create_directories(bigHome + "/Exports");
        {
            std::ofstream f(bigHome + "/MIXDECK.ini", std::ios::binary);
            std::string s;
            for (int d = 0; d < overLimit; ++d) {
                s += "[" + Rtl::IntToHex(0x100000 + int64_t(d), 16) + "]\r\nartist=A" + std::to_string(d) +
                     "\r\ntitle=T\r\ntotaltracks=1\r\n\r\n";
                if (s.size() > (1u << 20)) {
                    f << s;
                    s.clear();
                }
            }
            f << s;
        }
        const Run r = runChild("xls", bigHome, bigHome + "/Exports/list");
        const bool noFile = !fs::exists(bigHome + "/Exports/list.xlsx");
        const bool named = r.boxes.size() == 1 && r.boxes[0].find("1,048,577") != std::string::npos &&
                           r.boxes[0].find("1,048,576") != std::string::npos;
        std::printf("  %d discs to Excel XLS: %s after %.1f ms, export's peak memory %s, %s\n    box: %s\n", overLimit,
                    named ? "refused" : "NOT REFUSED AS IT SHOULD BE", r.ms, kb(r.exportPeakKb - r.openRssKb).c_str(),
                    noFile ? "no file written" : "A FILE WAS WRITTEN", r.boxes.empty() ? "(none)" : r.boxes[0].c_str());
        if (!r.ok || !named || !noFile)
            wrong = true;
    }
    std::printf("load %.1f at the end\n", bench::LoadAverage());
    return wrong ? 1 : 0;
}
