// A reply's deadline holds while a box is open over the waiting exchange:
// the grabbing window's lookup waits on a server that stays silent after the
// query (time-out 4 s) and, a second into the wait, the user either tries a
// second lookup and keeps its Notice open for 7 s, or opens the options
// window from the main menu and keeps it open for 7 s. The connection is
// closed at the deadline (the server sees it go), not when the box closes;
// the time-out's message comes once the box is closed, and the windows are
// usable again.
#include "ui_Main.h"  // before the fixture, so this target generates it
#include "OnlinePeers.h"

#include "discdb/AddCD.h"
#include "discdb/CDDB.h"
#include "discdb/CDDBExchange.h"
#include "netclient/NetExchange.h"
#include "netclient/NetTestPeers.h"
#include "ui_AddCD.h"
#include "ui_CDDB.h"

#include <QAction>
#include <QEventLoop>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

constexpr double kTimeOut = 4.0;
constexpr double kHeld = 7.0;
constexpr int kMeanwhileMs = 1000;
// A deadline kept to the millisecond may end a hair before the test's own
// clock says it is due; a loaded machine (or the thread checker) makes it
// end late by up to this much.
constexpr double kEarly = 0.05;
constexpr double kLate = 1.5;

class DeadlineUnderBox : public OnlinePeersFixture {
protected:
    void SetUp() override
    {
        OnlinePeersFixture::SetUp();
        cddbpPeer->script(R"({"silent": "query"})");
        openGrabbing(peerOptions(false, "4"));
        // Each box is stamped when it comes.
        dialogs.OnCall = [this](const ScriptedDialogs::Call &c) {
            boxAt.push_back(secondsSince(t0));
            if (onBox)
                onBox(c);
        };
    }

    // Starts the lookup with clicks, and kMeanwhileMs into its wait what the
    // user does then; returns when the lookup has ended. Meanwhile the
    // server's log is watched for the close.
    void lookupWith(const std::function<void()> &meanwhile)
    {
        QTimer watch;
        watch.setInterval(20);
        QObject::connect(&watch, &QTimer::timeout, [this] {
            if (closedAt < 0 && cddbpPeer->closedByClient())
                closedAt = secondsSince(t0);
        });
        QTimer::singleShot(kMeanwhileMs, Qt::PreciseTimer, grab.get(), [&] {
            EXPECT_TRUE(TNetExchange::Running());
            meanwhile();
        });
        t0 = Clock::now();
        watch.start();
        QTest::mouseClick(grab->ui->CDDBBtn, Qt::LeftButton);
        QMenu *menu = grab->CDDBPopUpMenu;
        ASSERT_TRUE(menu->isVisible());
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(grab->ui->Get_MenuItem).center());
        ended = secondsSince(t0);
        // The close may be noted a moment after the lookup has ended.
        for (int i = 0; i < 100 && closedAt < 0; ++i)
            QTest::qWait(20);
        watch.stop();
    }

    // The server saw the connection go at the deadline, though the box was
    // open until long after it.
    void closedAtTheDeadline()
    {
        RecordProperty("closed_ms", int(closedAt * 1000));
        ASSERT_GE(closedAt, 0.0) << "the server never saw the connection close";
        EXPECT_GE(closedAt, kTimeOut - kEarly);
        EXPECT_LE(closedAt, kTimeOut + kLate);
    }

    // The time-out's message came after the box had closed; the grabbing
    // window is usable again and nothing waits.
    void toldAfterTheBox(size_t boxes)
    {
        const std::vector<ScriptedDialogs::Call> calls = dialogs.MessageBoxes();
        ASSERT_EQ(calls.size(), boxes);
        EXPECT_EQ(calls.back().text, cddbx::kConnectionError);
        EXPECT_GE(boxAt.back(), kMeanwhileMs / 1000.0 + kHeld - kEarly);
        EXPECT_LE(ended, kMeanwhileMs / 1000.0 + kHeld + kLate);
        EXPECT_FALSE(TNetExchange::Running());
        EXPECT_FALSE(grab->TelnetCli->Binding().HandleAllocated);
        for (QWidget *w : std::initializer_list<QWidget *> {grab->ui->CDDBBtn, grab->ui->GetTracksBtn,
                                                             grab->ui->ExitBtn, grab->ui->ArtistEdit})
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    }

    Clock::time_point t0;
    double closedAt = -1;
    double ended = 0;
    std::vector<double> boxAt;
    std::function<void(const ScriptedDialogs::Call &)> onBox;
};

// The user keeps a box open for 7 s: its own event loop runs meanwhile.
void holdOpen()
{
    QEventLoop loop;
    QTimer::singleShot(int(kHeld * 1000), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

TEST_F(DeadlineUnderBox, ASecondLookupsNoticeHeldOpen)
{
    onBox = [](const ScriptedDialogs::Call &c) {
        if (c.text == TNetExchange::kBusy)
            holdOpen();
    };
    lookupWith([this] { grab->ui->Get_MenuItem->trigger(); });
    closedAtTheDeadline();
    const std::vector<ScriptedDialogs::Call> calls = dialogs.MessageBoxes();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front().text, TNetExchange::kBusy);
    EXPECT_EQ(calls.front().caption, "Notice");
    toldAfterTheBox(2);
}

TEST_F(DeadlineUnderBox, TheOptionsWindowOpenedOverTheLookup)
{
    double optionsClosed = 0;
    lookupWith([&] {
        QTimer::singleShot(int(kHeld * 1000), Qt::PreciseTimer, options.get(), [&] {
            QTest::keyClick(options.get(), Qt::Key_Escape);
            optionsClosed = secondsSince(t0);
        });
        form->ui->CDDBOptMenuItem->trigger();
    });
    closedAtTheDeadline();
    EXPECT_FALSE(options->isVisible());
    EXPECT_GE(optionsClosed, kMeanwhileMs / 1000.0 + kHeld - kEarly);
    toldAfterTheBox(1);
}

} // namespace
