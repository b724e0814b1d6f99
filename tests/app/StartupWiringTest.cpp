// What start-up wires for the network waits: the program's one anti-freeze
// (held by the grabbing window, slices of 1 ms asked for) and the Qt event
// pump, so that a wait slice processes the windows' pending events.
#include "app/ProgramHome.h"
#include "app/Startup.h"
#include "netclient/NetAntiFreeze.h"
#include "platform/ScriptedDialogs.h"

#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

TEST(StartupWiring, TheProgramHoldsOneAntiFreezeThatPumpsTheWindows)
{
    programtest::ProgramHome home;
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped {dialogs};
    {
        Startup::Windows windows;
        Startup::CreateWindows(windows);
        TNetAntiFreezeBase *af = TNetAntiFreezeBase::Instance();
        ASSERT_NE(af, nullptr);
        EXPECT_EQ(af->IdleTimeOut(), 1);
        EXPECT_TRUE(af->Active());
        EXPECT_TRUE(af->OnlyWhenIdle());
        EXPECT_TRUE(af->ApplicationHasPriority());
        ASSERT_TRUE(bool(TNetAntiFreeze::EventPump()));
        // One idle wait slice runs what the windows have pending.
        bool ran = false;
        QTimer::singleShot(0, windows.front().get(), [&] { ran = true; });
        TNetAntiFreezeBase::DoProcess(true, false);
        EXPECT_TRUE(ran);
        while (!windows.empty())
            windows.pop_back();
    }
    // The windows gone, no anti-freeze is left.
    EXPECT_EQ(TNetAntiFreezeBase::Instance(), nullptr);
}

} // namespace
