// The time-out bounds a whole reply, counted from the moment the command
// goes out: a reply line that comes late and is then followed by a list, or
// HTTP headers followed by a body, that trickle on without end still end at
// the time-out. Driven through the real windows: the grabbing window's "Get
// From Internet" and the options window's "Update Sites", each against the
// scripted database server, which answers after 3 s and then sends one byte
// every 150 ms for as long as the client listens; the time-out is 4 s.
#include "ui_Main.h"  // before the fixture, so this target generates it
#include "OnlinePeers.h"

#include "discdb/AddCD.h"
#include "discdb/CDDB.h"
#include "discdb/CDDBExchange.h"
#include "netclient/NetExchange.h"
#include "ui_AddCD.h"
#include "ui_CDDB.h"

#include <QAction>
#include <QMenu>
#include <QPushButton>

#include <chrono>
#include <ostream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kTimeOut = 4.0;
// The reply starts this long after the command, well within the time-out.
constexpr double kFirstBytesAfter = 3.0;
// Noise allowed past the time-out on a loaded two-core machine.
constexpr double kLatest = 5.5;

enum class Window { Grab, Options };

struct SlowCase {
    const char *name;
    Window window;
    bool http;
    const char *key;    // the command whose reply is slow
    const char *first;  // sent at once after the 3 s
    const char *then;   // then trickled, one byte every 150 ms
    const char *message;

    std::string script() const
    {
        using discdbtest::jsonString;
        return std::string(R"({"slow": {"key": ")") + key + R"(", "after": )" + std::to_string(kFirstBytesAfter) +
               R"(, "every": 0.15, "first": )" + jsonString(first) + R"(, "then": )" + jsonString(then) + "}}";
    }
};

void PrintTo(const SlowCase &c, std::ostream *os) { *os << c.name; }

class WholeReplyDeadline : public OnlinePeersFixture, public ::testing::WithParamInterface<SlowCase> {
protected:
    void SetUp() override
    {
        OnlinePeersFixture::SetUp();
        stampFirstBox();
    }
    void open(bool http)
    {
        openGrabbing(peerOptions(http, "4"));
        firstBox = Clock::time_point();
    }
    void getFromInternet()
    {
        QTest::mouseClick(grab->ui->CDDBBtn, Qt::LeftButton);
        QMenu *menu = grab->CDDBPopUpMenu;
        ASSERT_TRUE(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(grab->ui->Get_MenuItem).center());
    }
    void updateSites()
    {
        options->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(options.get()));
        QTest::mouseClick(options->ui->UpdateSitesBtn, Qt::LeftButton);
    }

};

TEST_P(WholeReplyDeadline, TheTimeOutMessageComesAtTheTimeOut)
{
    const SlowCase &c = GetParam();
    peer(c.http).script(c.script());
    open(c.http);
    if (HasFatalFailure())
        return;
    const auto t0 = Clock::now();
    if (c.window == Window::Grab)
        getFromInternet();
    else
        updateSites();
    const auto t1 = Clock::now();

    const std::vector<ScriptedDialogs::Call> boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes.front().text, c.message);
    const double atBox = std::chrono::duration<double>(firstBox - t0).count();
    RecordProperty("box_ms", int(atBox * 1000));
    EXPECT_GE(atBox, kTimeOut);
    EXPECT_LE(atBox, kLatest);
    EXPECT_LE(std::chrono::duration<double>(t1 - t0).count(), kLatest);
    EXPECT_FALSE(TNetExchange::Running());
    // The slow reply was the one to the command named, asked once.
    EXPECT_EQ(peer(c.http).connections(), 1);
}

// A list line of each kind, trickled over and over.
constexpr const char *kMatchLine = "rock 1b025603 Some Artist / Some Title\r\n";
constexpr const char *kSiteLine = "cddb.example.org cddbp 8880 - N000.00 W000.00 Example\r\n";

INSTANTIATE_TEST_SUITE_P(
    TricklingPeers, WholeReplyDeadline,
    ::testing::Values(
        // cddbp: the 211 line after 3 s, then its list of close matches.
        SlowCase {"GrabCddbpMatchList", Window::Grab, false, "query", "211 close matches found\r\n", kMatchLine,
                  cddbx::kConnectionError},
        // HTTP: the status line and headers after 3 s, then a body that never ends.
        SlowCase {"GrabHttpBody", Window::Grab, true, "query",
                  "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 100000\r\n\r\n"
                  "211 close matches found\r\n",
                  kMatchLine, cddbx::kConnectionError},
        // HTTP: the status line after 3 s, then header lines that never end.
        SlowCase {"GrabHttpHeaders", Window::Grab, true, "query", "HTTP/1.0 200 OK\r\n", "X-More: 1\r\n",
                  cddbx::kConnectionError},
        // cddbp: the 210 line after 3 s, then the site list.
        SlowCase {"OptionsCddbpSiteList", Window::Options, false, "sites",
                  "210 OK, site information follows (until terminating `.')\r\n", kSiteLine,
                  cddbx::kConnectionError},
        // HTTP: headers after 3 s, then the site list as a body that never
        // ends (an HTTP server task that fails says the server is not responding).
        SlowCase {"OptionsHttpSiteList", Window::Options, true, "sites",
                  "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n"
                  "210 OK, site information follows (until terminating `.')\r\n",
                  kSiteLine, cddbx::kNotResponding}),
    [](const ::testing::TestParamInfo<SlowCase> &info) { return std::string(info.param.name); });

} // namespace
