// The main window's print menu bound to the tape reports: what the reports
// take from the main window, and the preview they open.
#include "app/ProgramHome.h"
#include "app/TapePrint.h"
#include "compilation/Main.h"
#include "controls/EnhListV.h"
#include "platform/ScriptedDialogs.h"
#include "reports/Preview.h"
#include "reports/alprev.h"

#include <QAction>
#include <QComboBox>
#include <gtest/gtest.h>

namespace {

std::vector<std::string> values(TAlReportForm &form, const char *name)
{
    auto *f = dynamic_cast<TAlField *>(form.FindComponent(name));
    return f ? f->Values : std::vector<std::string>{};
}

TEST(TapePrinting, ReportsTakeTheMainWindowsTapeAndPreviewIt)
{
    programtest::ProgramHome home("[00000000000C3B2B]\r\nartist=Artist One\r\ntitle=First \xC4lbum\r\ntotaltracks=1\r\n"
                                  "track0=Intro\r\ntime0=01:00\r\n\r\n");
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped{dialogs};
    {
        TMainForm main;
        main.show();
        auto add = [&](char side, const char *caption) { main.SideList(side)->Items.Add()->SetCaption(caption); };
        add('A', "CD1 T1 - Intro");
        add('A', "CD2 T10 - Finale");
        add('B', "CD1 T2 - Song");
        main.RemainingA = "12:30";
        main.RemainingB = "44:00";
        main.findChild<QComboBox *>("TapeLen")->setCurrentIndex(4);   // " 90 min"
        ASSERT_GT(main.CDSelect(1)->count(), 0);
        main.CDSelect(1)->setCurrentIndex(0);
        main.CDSelect(3)->setCurrentIndex(0);

        const TTapeReportSource s = TapeReportSource(main);
        EXPECT_EQ(s.TapeLen, " 90 min");
        EXPECT_EQ(s.CDSelect[0], "Artist One - First \xC4lbum");
        EXPECT_EQ(s.CDSelect[1], "");

        auto reports = std::make_shared<TTapeReports>();
        BindTapePrinting(main, reports);
        int previews = 0;
        PreviewShowModal = [&](TPreviewForm &w) {
            ++previews;
            EXPECT_EQ(w.parentWidget(), &main);
            EXPECT_EQ(w.PrevRep()->GetPageCount(), 1);
        };
        main.findChild<QAction *>("PrintTapeCoverMenuItem")->trigger();
        main.findChild<QAction *>("PrintTapeProgramMenuItem")->trigger();
        PreviewShowModal = nullptr;
        EXPECT_EQ(previews, 2);
        using V = std::vector<std::string>;
        EXPECT_EQ(values(reports->Cover, "TracksA"), V{"1. Intro\r\n2. Finale\r\n"});
        EXPECT_EQ(values(reports->Cover, "TracksB"), V{"Song .1\r\n"});
        EXPECT_EQ(values(reports->Cover, "playtimeA"), V{"32:30 (mm:ss)"});
        EXPECT_EQ(values(reports->Cover, "playtimeB"), V{"01:00 (mm:ss)"});
        EXPECT_EQ(values(reports->Cover, "CDTitles"),
                  V{"Artist One - First \xC4lbum \x95 Artist One - First \xC4lbum"});
        EXPECT_EQ(values(reports->Program, "CDTrackA"), V{"1. CD1 T1\r\n2. CD2 T10\r\n"});
        EXPECT_EQ(values(reports->Program, "CD2TITLE"), V{""});
    }
}

} // namespace
