// The options window stays alive while a server answers its three buttons
// with 64 KB of junk (an HTTP reply without a reply code, or a cddbp list
// reply "210" whose 247 lines are junk): a 10 ms timer keeps ticking through
// the whole click, the log keeps the whole reply, and every button ends with
// its box and the controls enabled. The fine figures are
// bench/lookup_gaps' to print; the bound here tells a window frozen for
// seconds from a loaded machine.
#include "ui_Main.h"  // before the fixture, so this target generates it
#include "GapProbe.h"
#include "OnlinePeers.h"

#include "discdb/CDDB.h"
#include "discdb/CDDBExchange.h"
#include "discdb/CDDBOptions.h"
#include "discdb/ChooseCD.h"
#include "netclient/NetTestPeers.h"
#include "platform/Cp1252.h"
#include "ui_CDDB.h"
#include "ui_ChooseCD.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

namespace {

using discdbtest::GapProbe;


// A frozen window misses its timer for seconds; a loaded 2-core machine
// keeps the process off the processor for a few hundred milliseconds at
// most.
const double kMaxGapMs = nettest::kSanitized ? 1500.0 : 500.0;

struct JunkCase {
    const char *name;
    bool http;
    QPushButton *Ui::TCDDBOptForm::*button;
    const char *key;  // the command the junk answers
};

void PrintTo(const JunkCase &c, std::ostream *os) { *os << c.name; }

class JunkReplyGap : public OnlinePeersFixture, public ::testing::WithParamInterface<JunkCase> {};

TEST_P(JunkReplyGap, TheOptionsWindowStaysAliveAndShowsItsBox)
{
    const JunkCase &c = GetParam();
    const std::string junk = discdbtest::junkBody();
    // Over HTTP the whole body is junk; over cddbp a list reply whose lines are.
    const std::string reply = c.http ? junk : "210 OK, list follows (until terminating `.')\r\n" + junk + ".\r\n";
    peer(c.http).script(std::string(R"({"reply": {")") + c.key + R"(": )" + discdbtest::jsonString(reply) + "}}");
    openWindows(peerOptions(c.http, "10"));
    form->GrabCDForm = grab.get();
    form->CDDBOptForm = options.get();
    options->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(options.get()));
    const int categories = grab->ui->CategBox->count();
    const auto sitesBefore = options->CDDBServerList;
    dialogs.Calls.clear();

    GapProbe probe;
    probe.start();
    QTest::mouseClick(options->ui->*c.button, Qt::LeftButton);
    const double gap = probe.stop();
    RecordProperty("max_gap_ms", int(gap));
    EXPECT_LE(gap, kMaxGapMs);

    // The junk is said in its box, bounded; the lists stay as they were.
    const std::vector<ScriptedDialogs::Call> boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, "Error");
    EXPECT_LE(boxes[0].text.size(), 4096u);
    EXPECT_EQ(grab->ui->CategBox->count(), categories);
    EXPECT_EQ(options->CDDBServerList, sitesBefore);
    // The log keeps the whole reply, each line of it once, and the end.
    const QStringList log = options->ui->ConnectionStat->toPlainText().split(u'\n');
    for (const std::string &l : cddbx::SplitLines(junk))
        EXPECT_EQ(log.count(FromAnsi(l)), 1) << l.substr(0, 40);
    EXPECT_EQ(log.back(), QStringLiteral("Disconnected."));
    for (QWidget *w : std::initializer_list<QWidget *> {options->ui->OptionsTab, options->ui->OkBtn,
                                                         options->ui->CancelBtn, options->ui->TestServerBtn,
                                                         options->ui->UpdateSitesBtn, options->ui->UpdateCategsBtn})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Buttons, JunkReplyGap,
    ::testing::Values(JunkCase {"HttpTestServer", true, &Ui::TCDDBOptForm::TestServerBtn, "motd"},
                      JunkCase {"HttpUpdateSites", true, &Ui::TCDDBOptForm::UpdateSitesBtn, "sites"},
                      JunkCase {"HttpUpdateCategs", true, &Ui::TCDDBOptForm::UpdateCategsBtn, "lscat"},
                      JunkCase {"CddbpUpdateSites", false, &Ui::TCDDBOptForm::UpdateSitesBtn, "sites"},
                      JunkCase {"CddbpUpdateCategs", false, &Ui::TCDDBOptForm::UpdateCategsBtn, "lscat"}),
    [](const ::testing::TestParamInfo<JunkCase> &info) { return std::string(info.param.name); });

// A list reply replaces the user's list only when every line that says
// something is an entry of it, and only up to what the list may hold;
// otherwise the refusal names the first line that is not.
TEST(ListRefusal, ATakenListIsWholeOrNothing)
{
    using cddbx::CategoryListRefusal;
    using cddbx::SiteListRefusal;
    const std::string kept = "was not taken, the one you have stays: ";
    struct Case {
        const char *name;
        std::vector<std::string> lines;
        bool sites;
        std::string refusal;  // empty: taken
    };
    std::vector<std::string> manyCategories, manyCddbp;
    for (int i = 0; i < cddbopts::kMaxCategories; ++i)
        manyCategories.push_back("c" + std::to_string(i));
    for (int i = 0; i <= cddbopts::kMaxServers; ++i)
        manyCddbp.push_back("s" + std::to_string(i) + ".example.org cddbp 8880 - N0 W0 Site");
    const Case cases[] = {
        {"Categories", {"blues", "rock ", "", "  ", "jazz"}, false, ""},
        {"NotACategory", {"blues", "Bad Word", "x\x01y"}, false,
         "The server's category list " + kept + "2 of its 3 lines are not categories, the first of them:\nBad Word"},
        {"TooManyCategories", manyCategories, false,
         "The server's category list " + kept + "it holds 1000 categories, more than the 999 it may hold."},
        {"Sites",
         {"a.org cddbp 8880 - N1 W1 Cddbp site", "b.org http 80 /~cddb/cddb.cgi N2 W2 Web", "[::1] http 8080 /c",
          "e.org http 81", ""},
         true, ""},
        {"PortOutOfRange", {"a.org cddbp 8880 - N1 W1", "b.org http 65536 /x"}, true,
         "The server's site list " + kept + "1 of its 2 lines are not site lines, the first of them:\n"
                                            "b.org http 65536 /x"},
        {"JunkSite", {"<junk line=0> aaaa", "a.org cddbp 8880"}, true,
         "The server's site list " + kept + "1 of its 2 lines are not site lines, the first of them:\n"
                                            "<junk line=0> aaaa"},
        {"NoPort", {" a.org cddbp 8880", "a.org cddbp"}, true,
         "The server's site list " + kept + "2 of its 2 lines are not site lines, the first of them:\n"
                                            " a.org cddbp 8880"},
        {"TooManySitesOfOneProtocol", manyCddbp, true,
         "The server's site list " + kept + "it holds 1001 sites of one protocol, more than the 1000 it may hold."},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.sites ? SiteListRefusal(c.lines) : CategoryListRefusal(c.lines), c.refusal);
    }
}

// The chooser takes a long list of matches in one go: a list of 10000
// matches is shown within the bound, whole.
TEST(ChooserList, ALongListIsTakenInOneGo)
{
    TChooseCDForm chooser;
    std::vector<cddbx::Match> matches;
    for (int i = 0; i < cddbx::kMaxListLines; ++i)
        matches.push_back({"rock", "0123abcd", "Artist " + std::to_string(i) + " / Title", ""});
    int rows = 0;
    QTimer::singleShot(0, &chooser, [&] {
        rows = chooser.ui->ChooseList->topLevelItemCount();
        chooser.reject();
    });
    GapProbe probe;
    probe.start();
    EXPECT_EQ(chooser.ChooseAmong(matches), -1);
    const double gap = probe.stop();
    RecordProperty("max_gap_ms", int(gap));
    EXPECT_EQ(rows, cddbx::kMaxListLines);
    EXPECT_LE(gap, kMaxGapMs);
}

} // namespace
