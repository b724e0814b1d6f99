// How long the windows stop answering during online lookups made through
// the real grabbing window (offscreen), against the scripted database
// server of the tests (tests/peers/cddb_peer.py) on loopback: the longest
// gap between two ticks of a 10 ms timer, from the start of the lookup to
// its end.
//
//   first lookup    the process's first lookup, started as soon as the
//                   window is shown (the network status backend loads on a
//                   thread of its own from the window's creation)
//   later lookups   the next lookups of the same process (median and worst)
//   junk reply      an HTTP reply of 64 KB of junk in 247 lines, reported in
//                   the error box (a real message box, closed by a timer)
//   whole junk box  for comparison: the same 64 KB shown whole in a box
//   options window  each of its three buttons (Test Server, Update Sites,
//                   Update Categs) answered with the 64 KB junk: over HTTP a
//                   body without a reply code, over cddbp a list reply "210"
//                   whose lines are junk; the log takes the whole reply and
//                   the error box shows a bounded part
//   log line by line  for comparison: the same 247 lines put into the log
//                   one at a time, with the window repainted after each
//
// Each figure is printed beside its target, with MISS when it is missed.
// The benchmark informs: it always exits 0.
#include "BenchUtil.h"
#include "common/TestUtil.h"
#include "discdb/AddCD.h"
#include "discdb/CDDB.h"
#include "discdb/CDDBExchange.h"
#include "discdb/CDDBOptions.h"
#include "discdb/WebConnect.h"
#include "discdb/CddbPeer.h"
#include "discdb/GapProbe.h"
#include "platform/Cp1252.h"
#include "ui_AddCD.h"
#include "ui_CDDB.h"

#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using discdbtest::GapProbe;
constexpr double kTargetMs = 100.0;
constexpr int kLaterLookups = 5;
constexpr int kJunkLookups = 5;
constexpr int kJunkClicks = 5;


// Closes every message box shortly after it shows.
class BoxCloser {
public:
    BoxCloser()
    {
        timer_.setInterval(50);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                lastText_ = box->text().size();
                box->done(0);
                ++closed_;
            }
        });
        timer_.start();
    }
    int closed() const { return closed_; }
    qsizetype lastText() const { return lastText_; }

private:
    QTimer timer_;
    int closed_ = 0;
    qsizetype lastText_ = 0;
};

void report(const char *what, double ms)
{
    std::printf("%-52s %8.1f ms   target <= %.0f ms%s\n", what, ms, kTargetMs, ms <= kTargetMs ? "" : "   MISS");
}

} // namespace

int main(int argc, char **argv)
{
    const bench::QtRuntimeFolder runtime;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    testutil::TempDir settingsDir;
    // On four-digit ports, as the options window's port fields hold.
    discdbtest::CddbPeer cddbp("cddbp", true);
    discdbtest::CddbPeer http("http", true);
    if (!cddbp.ready() || !http.ready()) {
        std::printf("the scripted server did not start: nothing measured\n");
        return 0;
    }
    cddbopts::CDDBOptions o = cddbopts::DefaultOptions();
    o.CDDBServerList = {"127.0.0.1 N000.00 W000.00 Test server"};
    o.CDDBPortList = {std::to_string(cddbp.port())};
    o.HTTPServerList = {"127.0.0.1 N000.00 W000.00 Test server"};
    o.CGIPathList = {"/~cddb/cddb.cgi"};
    o.HTTPPortList = {std::to_string(http.port())};
    o.UseHTTP = false;
    o.ServerToUse = 0;
    o.UserEmail = "user@example.org";
    o.TimeOut = "10";
    const std::string ini = settingsDir.file("CDDB.ini");
    auto useHttp = [&](bool on) {
        o.UseHTTP = on;
        cddbopts::SaveOptions(ini, o);
    };
    useHttp(false);

    const auto made = Clock::now();
    auto grab = std::make_unique<TGrabCDForm>();
    auto options = std::make_unique<TCDDBOptForm>(ini, grab->ui->CategBox);
    grab->DiscIdText = "1b025603";
    grab->freedbDiscID.CDDBQueryCmd = "3 150 20000 40000 600";
    grab->TrackCount = 3;
    grab->show();
    BoxCloser closer;
    GapProbe probe;

    auto lookup = [&] {
        options->LoadCDDBOptions();
        probe.start();
        grab->LookupOnline();
        return probe.stop();
    };

    const bool answeredBefore = TNetworkStatus::System().Answered();
    const double sinceMade = bench::MsSince(made);
    const double first = lookup();
    std::printf("network status: %s when the first lookup started (%.0f ms after the window was made)\n",
                answeredBefore ? "answered" : "not answered yet (counts as online)", sinceMade);
    std::vector<double> later;
    for (int i = 0; i < kLaterLookups; ++i)
        later.push_back(lookup());
    const std::string found = ToAnsi(grab->ui->ArtistEdit->text());

    const std::string junk = discdbtest::junkBody();
    http.script(std::string(R"({"reply": {"query": )") + discdbtest::jsonString(junk) + "}}");
    useHttp(true);
    const int boxesBefore = closer.closed();
    std::vector<double> junkGaps;
    for (int i = 0; i < kJunkLookups; ++i)
        junkGaps.push_back(lookup());
    const int junkBoxes = closer.closed() - boxesBefore;
    const qsizetype junkBoxText = closer.lastText();

    // The whole junk in a box, as it was shown before.
    QMessageBox whole(QMessageBox::NoIcon, "Error", FromAnsi(junk), QMessageBox::Ok);
    probe.start();
    whole.exec();
    const double wholeGap = probe.stop();

    // The options window's three buttons, each answered with the junk.
    const std::string listReply = "210 OK, list follows (until terminating `.')\r\n" + junk + ".\r\n";
    struct Button {
        const char *what;
        bool http;
        QPushButton *Ui::TCDDBOptForm::*button;
        const char *key;
    };
    const Button buttons[] = {
        {"Test Server, HTTP", true, &Ui::TCDDBOptForm::TestServerBtn, "motd"},
        {"Update Sites, HTTP", true, &Ui::TCDDBOptForm::UpdateSitesBtn, "sites"},
        {"Update Categs, HTTP", true, &Ui::TCDDBOptForm::UpdateCategsBtn, "lscat"},
        {"Update Sites, cddbp 210 + junk", false, &Ui::TCDDBOptForm::UpdateSitesBtn, "sites"},
        {"Update Categs, cddbp 210 + junk", false, &Ui::TCDDBOptForm::UpdateCategsBtn, "lscat"},
    };
    struct Figures {
        const char *what;
        std::vector<double> gaps;
        int boxes;
        int logLines;
    };
    std::vector<Figures> clicks;
    options->show();
    for (const Button &b : buttons) {
        (b.http ? http : cddbp)
            .script(std::string(R"({"reply": {")") + b.key + R"(": )" + discdbtest::jsonString(b.http ? junk : listReply) +
                    "}}");
        useHttp(b.http);
        options->LoadCDDBOptions();
        Figures f {b.what, {}, closer.closed(), 0};
        for (int i = 0; i < kJunkClicks; ++i) {
            probe.start();
            (options->ui->*b.button)->click();
            f.gaps.push_back(probe.stop());
        }
        f.boxes = closer.closed() - f.boxes;
        f.logLines = options->ui->ConnectionStat->document()->blockCount();
        clicks.push_back(f);
    }
    // The old way for comparison: one line at a time, the window repainted after each.
    std::vector<double> lineByLine;
    for (int i = 0; i < 3; ++i) {
        options->ui->ConnectionStat->clear();
        probe.start();
        for (const std::string &l : cddbx::SplitLines(junk)) {
            options->ui->ConnectionStat->appendPlainText(FromAnsi(l));
            options->repaint();
        }
        lineByLine.push_back(probe.stop());
    }
    options->hide();

    std::printf("lookups through the grabbing window (entry found: %s)\n", found.empty() ? "no" : found.c_str());
    report("first lookup of the process: longest gap", first);
    report("later lookups: longest gap (median)", bench::Median(later));
    report("later lookups: longest gap (worst)", *std::max_element(later.begin(), later.end()));
    std::printf("64 KB junk HTTP reply: %d boxes for %d lookups, box text %lld characters (of %zu)\n", junkBoxes,
                kJunkLookups, static_cast<long long>(junkBoxText), junk.size());
    report("64 KB junk reply, bounded box: longest gap (median)", bench::Median(junkGaps));
    report("64 KB junk reply, bounded box: longest gap (worst)", *std::max_element(junkGaps.begin(), junkGaps.end()));
    std::printf("%-52s %8.1f ms   (for comparison: the whole text in a box)\n", "64 KB junk shown whole: longest gap",
                wholeGap);
    std::printf("the options window's buttons answered with the 64 KB junk (%d clicks each)\n", kJunkClicks);
    for (const Figures &f : clicks) {
        std::printf("  %s: %d boxes, %d log lines\n", f.what, f.boxes, f.logLines);
        report("    longest gap (median)", bench::Median(f.gaps));
        report("    longest gap (worst)", bench::Max(f.gaps));
    }
    std::printf("%-52s %8.1f ms   (for comparison: %zu lines, one repaint each, median of 3)\n",
                "log filled line by line: longest gap", bench::Median(lineByLine), cddbx::SplitLines(junk).size());
    options.reset();
    grab.reset();
    return 0;
}
