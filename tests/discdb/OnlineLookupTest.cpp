// The grabbing window's "Get From Internet" and the options window's Test
// Server, Update Sites and Update Categories, wired as at start-up, against
// the scripted database server over cddbp and HTTP: the fields filled, the
// message boxes, the log lines, and the controls enabled at the end.
#include "ui_Main.h"  // before the fixture, so this target generates it
#include "OnlinePeers.h"

#include "discdb/AddCD.h"
#include "discdb/CDDB.h"
#include "discdb/CDDBOptions.h"
#include "discdb/ChooseCD.h"
#include "platform/Cp1252.h"
#include "ui_AddCD.h"
#include "ui_CDDB.h"
#include "ui_ChooseCD.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTreeWidget>

#include <algorithm>
#include <chrono>

using Dialogs::Button;
using Lines = std::vector<std::string>;

namespace {

class OnlineFixture : public OnlinePeersFixture {
protected:
    void SetUp() override
    {
        OnlinePeersFixture::SetUp();
        dialogs.Calls.clear();
        offered = -1;
    }
    void TearDown() override
    {
        OnlinePeersFixture::TearDown();
    }
    // The settings file aimed at both peers, then the windows as at start-up.
    void open(bool http, const std::string &timeOut = "10", const std::string &email = "user@example.org")
    {
        cddbopts::CDDBOptions o = peerOptions(http, timeOut);
        o.UserEmail = email;
        openWindows(o);
        grab->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(grab.get()));
        QTest::mouseClick(grab->ui->GetTracksBtn, Qt::LeftButton);
        ASSERT_EQ(grab->DiscIdText, "20033a03");
    }
    void lookup() { grab->ui->Get_MenuItem->trigger(); }
    // Answers the chooser when it shows: the row, or Cancel for -1.
    void answerChooser(int row)
    {
        auto *timer = new QTimer(grab.get());
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, grab.get(), [this, timer, row] {
            if (!chooser->isVisible())
                return;
            timer->stop();
            timer->deleteLater();
            offered = chooser->ui->ChooseList->topLevelItemCount();
            if (row < 0) {
                QTest::mouseClick(chooser->ui->CancelBtn, Qt::LeftButton);
                return;
            }
            QTreeWidget *list = chooser->ui->ChooseList;
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->topLevelItem(row)).center());
            QTest::mouseClick(chooser->ui->OkBtn, Qt::LeftButton);
        });
        timer->start();
    }
    void controlsEnabled()
    {
        for (QWidget *w : std::initializer_list<QWidget *> {grab->ui->ArtistEdit, grab->ui->CDTitleEdit,
                                                             grab->ui->CategBox, grab->ui->CDDBBtn, grab->ui->AddQueueBtn,
                                                             grab->ui->GetTracksBtn, grab->ui->ExitBtn,
                                                             grab->ui->TracksPage})
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_EQ(grab->StatusText(), "");
    }
    std::string field(QLineEdit *e) { return ToAnsi(e->text()); }
    Lines trackTitles()
    {
        Lines out;
        for (int i = 0; i < grab->ui->TracksList->Items.Count(); ++i)
            out.push_back(grab->ui->TracksList->Items[i]->Caption());
        return out;
    }
    Lines log()
    {
        Lines out = cddbx::SplitLines(ToAnsi(options->ui->ConnectionStat->toPlainText()), 0);
        return out;
    }

    int offered = -1;
};

const char *kExactForExample = R"({"reply": {"query": ["200 rock 20033a03 Some Artist / Some Title"]}})";

} // namespace

TEST_F(OnlineFixture, LookupFillsTheWindowOverBothProtocols)
{
    for (bool http : {false, true}) {
        SCOPED_TRACE(http ? "http" : "cddbp");
        peer(http).script(kExactForExample);
        open(http);
        grab->ui->CategBox->setCurrentIndex(0);
        lookup();
        EXPECT_EQ(dialogs.Calls.size(), 0u);
        EXPECT_EQ(field(grab->ui->ArtistEdit), "Some Artist");
        EXPECT_EQ(field(grab->ui->CDTitleEdit), "Some Title");
        EXPECT_EQ(trackTitles(), (Lines {"First Song", "Second Song", "Third Song"}));
        EXPECT_EQ(grab->Revision, 7);
        EXPECT_EQ(ToAnsi(grab->ui->RevisionStatic->text()), "7");
        EXPECT_FALSE(grab->Modified);
        EXPECT_EQ(ToAnsi(grab->ui->CategBox->currentText()), " rock");
        EXPECT_EQ(ToAnsi(grab->ui->EXTDMemo->toPlainText()), "Disc notes\nsecond line");
        EXPECT_EQ(grab->ExtTrackTexts[0], "About one");
        EXPECT_TRUE(grab->ui->AddCDBtn->isEnabled());
        controlsEnabled();
        const Lines got = peer(http).received();
        ASSERT_FALSE(got.empty());
        if (http) {
            EXPECT_EQ(got[0].rfind("C: GET /~cddb/cddb.cgi?cmd=cddb+query+20033a03+3+150+", 0), 0u) << got[0];
        } else {
            ASSERT_EQ(got.size(), 5u);
            EXPECT_EQ(got[2].rfind("C: cddb query 20033a03 3 150 ", 0), 0u) << got[2];
            EXPECT_EQ(got[3], "C: cddb read rock 20033a03");
        }
        TearDown();
        SetUp();
    }
}

TEST_F(OnlineFixture, LookupRunsWithThePlaceholderAddress)
{
    // A new settings file's address: the options window refuses it, but a
    // lookup goes on and sends it as it stands.
    peer(false).script(kExactForExample);
    open(false, "10", cddbopts::kDefaultUserEmail);
    lookup();
    EXPECT_EQ(dialogs.Calls.size(), 0u);
    EXPECT_EQ(field(grab->ui->ArtistEdit), "Some Artist");
    const Lines got = peer(false).received();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got[0].rfind("C: cddb hello your.name your.domain.com ", 0), 0u) << got[0];
}

// Each outcome's box: its text, caption and icon, and the controls enabled after.
TEST_F(OnlineFixture, EveryOutcomeHasItsBox)
{
    struct Case {
        bool http;
        const char *script;
        const char *text;
        const char *caption;
        Dialogs::Icon icon;
    } cases[] = {
        {false, R"({"reply": {"query": ["202 No match"]}})", "Sorry, CD not found on the remote server. Closing.",
         "Error", Dialogs::Icon::None},
        {true, R"({"reply": {"query": ["202 No match"]}})", "Sorry, CD not found on the remote server. Closing.",
         "Error", Dialogs::Icon::None},
        {false, R"({"reply": {"hello": ["431 no"]}})", "Connection Error: 431 No Handshake. Aborting.", "Error",
         Dialogs::Icon::None},
        {false, R"({"reply": {"query": ["200 rock 20033a03 A / B"], "read": ["599 odd reply"]}})", "599 odd reply", "Error", Dialogs::Icon::None},
        {true, R"({"reply": {"query": "<html>page</html>\r\n"}})", "<html>page</html>\r\n", "Error",
         Dialogs::Icon::None},
        {true, R"({"http_status": 404})", "Connection Error. Server timed out. Closing", "Warning",
         Dialogs::Icon::Warning},
        {false, R"({"close": "proto"})", "Connection Error. Server timed out. Closing", "Warning",
         Dialogs::Icon::Warning},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.script);
        peer(c.http).script(c.script);
        open(c.http);
        lookup();
        ASSERT_EQ(dialogs.Calls.size(), 1u);
        EXPECT_EQ(dialogs.Calls[0].text, c.text);
        EXPECT_EQ(dialogs.Calls[0].caption, c.caption);
        EXPECT_EQ(dialogs.Calls[0].icon, c.icon);
        controlsEnabled();
        TearDown();
        SetUp();
    }
}

TEST_F(OnlineFixture, ChooserPicksAMatchOrCancels)
{
    const char *list = R"({"reply": {"query": ["211 close matches", "rock 20033a03 Some Artist / Some Title", "jazz 20033a03 Other / One", "."]}})";
    for (bool http : {false, true}) {
        SCOPED_TRACE(http ? "http" : "cddbp");
        peer(http).script(list);
        open(http);
        answerChooser(1);
        lookup();
        EXPECT_EQ(offered, 2);
        EXPECT_EQ(dialogs.Calls.size(), 0u);
        EXPECT_EQ(ToAnsi(grab->ui->CategBox->currentText()), " jazz");
        const Lines got = peer(http).received();
        if (!http) {
            EXPECT_EQ(got[3], "C: cddb read jazz 20033a03");
        }
        controlsEnabled();

        // Cancel: "Sorry, no disc found." and, over cddbp, no quit.
        peer(http).clear();
        answerChooser(-1);
        lookup();
        ASSERT_EQ(dialogs.Calls.size(), 1u);
        EXPECT_EQ(dialogs.Calls[0].text, "Sorry, no disc found.");
        EXPECT_EQ(dialogs.Calls[0].caption, "Notice");
        EXPECT_EQ(dialogs.Calls[0].icon, Dialogs::Icon::Warning);
        if (!http) {
            EXPECT_EQ(peer(http).received().back(), "C: cddb query " + grab->DiscIdText + " " +
                                                        grab->freedbDiscID.CDDBQueryCmd);
        }
        controlsEnabled();
        TearDown();
        SetUp();
    }
}

// A server that goes silent: the settings' time-out ends the wait with the
// connection-error box and the controls enabled.
TEST_F(OnlineFixture, SilentServerTimesOut)
{
    for (bool http : {false, true}) {
        SCOPED_TRACE(http ? "http" : "cddbp");
        peer(http).script(R"({"silent": "query"})");
        open(http, "1");
        const auto t0 = std::chrono::steady_clock::now();
        lookup();
        EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 8.0);
        ASSERT_EQ(dialogs.Calls.size(), 1u);
        EXPECT_EQ(dialogs.Calls[0].text, "Connection Error. Server timed out. Closing");
        EXPECT_EQ(dialogs.Calls[0].caption, "Warning");
        controlsEnabled();
        TearDown();
        SetUp();
    }
}

// The proxy settings of the options window reach the HTTP lookup: through
// microsocks as a SOCKS 5 proxy.
TEST_F(OnlineFixture, HttpLookupThroughTheSocksProxyOfTheSettings)
{
    if (!testutil::fileExists("/usr/bin/microsocks"))
        GTEST_SKIP() << "microsocks is not installed";
    const nettest::MicrosocksPeer proxy({}, discdbtest::freeShortPort);
    ASSERT_TRUE(proxy.ready());
    const int proxyPort = proxy.port();
    httpPeer->script(kExactForExample);
    open(true);
    options->ui->UseProxy->setChecked(true);
    options->ui->ProxyAddress->setText("127.0.0.1");
    options->ui->ProxyPort->setText(QString::number(proxyPort));
    options->ui->SocksVerBox->setCurrentIndex(3);
    lookup();
    EXPECT_EQ(dialogs.Calls.size(), 0u);
    EXPECT_EQ(field(grab->ui->ArtistEdit), "Some Artist");
    EXPECT_EQ(httpPeer->connections(), 2);
    controlsEnabled();

    // A proxy that is not there: the connection-error box.
    const nettest::ClosedPort closed(discdbtest::freeShortPort);
    options->ui->ProxyPort->setText(QString::number(closed.port()));
    lookup();
    ASSERT_EQ(dialogs.Calls.size(), 1u);
    EXPECT_EQ(dialogs.Calls[0].text, "Connection Error. Server timed out. Closing");
    controlsEnabled();
}

// ---- the options window -------------------------------------------------------------------

TEST_F(OnlineFixture, TestServerLogsOverBothProtocols)
{
    open(false);
    options->show();
    QTest::mouseClick(options->ui->TestServerBtn, Qt::LeftButton);
    const std::string cport = std::to_string(cddbpPeer->port());
    EXPECT_EQ(log(), (Lines {"Initiating connection to 127.0.0.1 N000.00 W000.00 Test server on port " + cport + "...",
                             "", "Server responding...", "201 cddb_peer CDDBP server v1.0 ready at now",
                             "Handshaking...", "200 Hello and welcome, running cddb_peer", "", "Disconnected."}));
    EXPECT_EQ(dialogs.Calls.size(), 0u);
    EXPECT_TRUE(options->ui->OkBtn->isEnabled());
    EXPECT_TRUE(options->ui->TestServerBtn->isEnabled());

    options->ui->ProtoHTTP->setChecked(true);
    QTest::mouseClick(options->ui->TestServerBtn, Qt::LeftButton);
    const std::string hport = std::to_string(httpPeer->port());
    EXPECT_EQ(log(), (Lines {"Initiating connection to 127.0.0.1 N000.00 W000.00 Test server on port " + hport + "...",
                             "", "Server responding...",
                             "210 Last modified: 01/01/26 00:00:00 MOTD follows (until terminating `.')",
                             "Welcome to the test server.", ".", "Handshake successful...", "Disconnected."}));
    EXPECT_TRUE(options->ui->OptionsTab->isEnabled());

    // A wrong cgi path (404): "not responding", the log emptied.
    httpPeer->script(R"({"http_status": 404})");
    QTest::mouseClick(options->ui->TestServerBtn, Qt::LeftButton);
    ASSERT_EQ(dialogs.Calls.size(), 1u);
    EXPECT_EQ(dialogs.Calls[0].text, "Connection Error. Server is not responding.");
    EXPECT_EQ(dialogs.Calls[0].caption, "Warning");
    EXPECT_EQ(dialogs.Calls[0].icon, Dialogs::Icon::Warning);
    EXPECT_TRUE(log().empty());
    EXPECT_TRUE(options->ui->CancelBtn->isEnabled());

    // Nothing listening over cddbp: the same box.
    options->ui->ProtoCDDB->setChecked(true);
    const nettest::ClosedPort closed(discdbtest::freeShortPort);
    options->ui->CDDBPort->setText(QString::number(closed.port()));
    QTest::mouseClick(options->ui->TestServerBtn, Qt::LeftButton);
    ASSERT_EQ(dialogs.Calls.size(), 2u);
    EXPECT_EQ(dialogs.Calls[1].text, "Connection Error. Server is not responding.");
    EXPECT_TRUE(log().empty());
    EXPECT_TRUE(options->ui->TestServerBtn->isEnabled());
}

TEST_F(OnlineFixture, UpdateSitesAndCategoriesOverBothProtocols)
{
    for (bool http : {false, true}) {
        SCOPED_TRACE(http ? "http" : "cddbp");
        open(http);
        options->show();
        QTest::mouseClick(options->ui->UpdateCategsBtn, Qt::LeftButton);
        ASSERT_EQ(grab->ui->CategBox->count(), 12);
        EXPECT_EQ(ToAnsi(grab->ui->CategBox->itemText(0)), " ");
        EXPECT_EQ(ToAnsi(grab->ui->CategBox->itemText(11)), " soundtrack");
        const Lines categLog = log();
        EXPECT_NE(std::find(categLog.begin(), categLog.end(), "Getting updated category list..."), categLog.end());
        if (http) {
            EXPECT_NE(std::find(categLog.begin(), categLog.end(), "Categories list downloaded successfully..."),
                      categLog.end());
        }
        EXPECT_EQ(categLog.back(), "Disconnected.");

        QTest::mouseClick(options->ui->UpdateSitesBtn, Qt::LeftButton);
        EXPECT_EQ(options->CDDBServerList, (Lines {"cddb.example.org N000.00 W000.00 Example cddbp server"}));
        EXPECT_EQ(options->HTTPServerList, (Lines {"cddb.example.org N000.00 W000.00 Example HTTP server",
                                                   "other.example.org N001.00 W001.00 Other case"}));
        EXPECT_EQ(options->CGIPathList, (Lines {"/~cddb/cddb.cgi", "/cgi"}));
        // The selected protocol's first server is selected with its port.
        EXPECT_EQ(ToAnsi(options->ui->ServerAddress->currentText()),
                  http ? "cddb.example.org N000.00 W000.00 Example HTTP server"
                       : "cddb.example.org N000.00 W000.00 Example cddbp server");
        EXPECT_EQ(ToAnsi((http ? options->ui->HTTPPort : options->ui->CDDBPort)->text()), http ? "80" : "8880");
        const Lines sitesLog = log();
        EXPECT_NE(std::find(sitesLog.begin(), sitesLog.end(), "Getting updated sites list..."), sitesLog.end());
        EXPECT_EQ(sitesLog.back(), "Disconnected.");
        EXPECT_EQ(dialogs.Calls.size(), 0u);
        EXPECT_TRUE(options->ui->OkBtn->isEnabled());
        TearDown();
        SetUp();
    }
}

TEST_F(OnlineFixture, RefusedOrHostileListsLeaveTheTables)
{
    for (bool http : {false, true}) {
        SCOPED_TRACE(http ? "http" : "cddbp");
        open(http);
        options->show();
        const Lines before = options->CDDBServerList;
        const int categories = grab->ui->CategBox->count();
        peer(http).script(R"({"reply": {"sites": ["401 No site information available."]}})");
        QTest::mouseClick(options->ui->UpdateSitesBtn, Qt::LeftButton);
        EXPECT_EQ(options->CDDBServerList, before);
        EXPECT_EQ(dialogs.Calls.size(), 0u);
        peer(http).script(R"({"reply": {"sites": ["210 OK", "."]}})");
        QTest::mouseClick(options->ui->UpdateSitesBtn, Qt::LeftButton);
        EXPECT_EQ(options->CDDBServerList, before);
        EXPECT_EQ(options->ui->ServerAddress->count(), 1);

        // 10 MB of category lines: a failure box, the list kept.
        peer(http).script(R"({"flood": {"key": "lscat", "bytes": 10485760}})");
        QTest::mouseClick(options->ui->UpdateCategsBtn, Qt::LeftButton);
        ASSERT_EQ(dialogs.Calls.size(), 1u);
        EXPECT_EQ(dialogs.Calls[0].caption, "Warning");
        EXPECT_EQ(grab->ui->CategBox->count(), categories);
        EXPECT_TRUE(options->ui->OkBtn->isEnabled());
        EXPECT_TRUE(options->ui->UpdateCategsBtn->isEnabled());

        // An unexpected reply: the error box, then "Disconnected.".
        peer(http).script(R"({"reply": {"lscat": ["500 no such command"]}})");
        QTest::mouseClick(options->ui->UpdateCategsBtn, Qt::LeftButton);
        ASSERT_EQ(dialogs.Calls.size(), 2u);
        EXPECT_EQ(dialogs.Calls[1].caption, "Error");
        EXPECT_EQ(cddbx::SplitLines(dialogs.Calls[1].text)[0], "500 no such command");
        EXPECT_EQ(log().back(), "Disconnected.");
        TearDown();
        SetUp();
    }
}
