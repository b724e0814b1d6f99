// The tape's cover and program reports: the values taken from the main
// window, and the cover printed to PDF from its preview.
#include "common/TestUtil.h"
#include "compilation/TapeModel.h"
#include "reports/Preview.h"
#include "reports/Program.h"
#include "reports/ReportTestUtil.h"
#include "reports/alprev.h"
#include "ui_Preview.h"

#include "platform/Cp1252.h"

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <gtest/gtest.h>

using namespace rt;

namespace {

TTapeReportSource knownCompilation()
{
    TTapeReportSource s;
    s.SideA = {"CD1 T1 - Intro", "CD2 T10 - Finale"};
    s.SideB = {"CD1 T2 - Song", "CD3 T4 - Other-Tune"};
    s.RemainingA = "12:30";
    s.RemainingB = "05:15";
    s.TapeLen = " 90 min";
    s.CDSelect = {"Artist One - First Album", "Band Two - Second", "Third - Disc"};
    s.TimeToSeconds = tape::TimeToSeconds;
    s.SecondsToTime = tape::SecondsToTime;
    return s;
}

std::vector<std::string> values(TAlReportForm &form, const char *name)
{
    auto *f = dynamic_cast<TAlField *>(form.FindComponent(name));
    EXPECT_NE(f, nullptr) << name;
    return f ? f->Values : std::vector<std::string>{};
}

using V = std::vector<std::string>;

TEST(TapeCover, ValuesFromTheMainWindow)
{
    TTapeCoverRepForm cover;
    EXPECT_EQ(TapeCoverRepForm, &cover);
    cover.Fill(knownCompilation());
    EXPECT_EQ(values(cover, "TracksA"), V{"1. Intro\r\n2. Finale\r\n"});
    EXPECT_EQ(values(cover, "TracksB"), V{"Song .1\r\nOther-Tune .2\r\n"});
    EXPECT_EQ(values(cover, "playtimeA"), V{"32:30 (mm:ss)"});   // 2700 s less 12:30
    EXPECT_EQ(values(cover, "playtimeB"), V{"39:45 (mm:ss)"});
    EXPECT_EQ(values(cover, "CDTitles"), V{"Artist One - First Album \x95 Band Two - Second \x95 Third - Disc"});

    // A second fill replaces the values; an empty side gives one empty value.
    TTapeReportSource s = knownCompilation();
    s.SideB.clear();
    s.CDSelect = {"", "Band Two - Second", ""};
    cover.Fill(s);
    EXPECT_EQ(values(cover, "TracksB"), V{""});
    EXPECT_EQ(values(cover, "CDTitles"), V{" \x95 Band Two - Second"});
}

TEST(TapeCover, SideLengthFromTheTapeLength)
{
    struct Case {
        const char *tapeLen;
        const char *remaining;
        const char *used;
    };
    for (const Case &c : {Case{" 46 min", "00:00", "23:00 (mm:ss)"}, Case{" 90 min", "12:30", "32:30 (mm:ss)"},
                          Case{" 120 min", "00:05", "59:55 (mm:ss)"}, Case{" 100 min", "50:00", "00:00 (mm:ss)"},
                          Case{"", "00:00", "27:00 (mm:ss)"}, Case{" xx min", "00:00", "27:00 (mm:ss)"}}) {
        TTapeCoverRepForm cover;
        TTapeReportSource s = knownCompilation();
        s.TapeLen = c.tapeLen;
        s.RemainingA = c.remaining;
        cover.Fill(s);
        EXPECT_EQ(values(cover, "playtimeA"), V{c.used}) << c.tapeLen;
    }
    EXPECT_EQ(TapeMinutes(" 90 min"), 90);
    EXPECT_EQ(TrackTitleFromCaption("CD1 T3 - Song"), "Song");
    EXPECT_EQ(TrackTitleFromCaption("XSong"), "Song");
    EXPECT_EQ(TrackRefFromCaption("CD1 T3 - Song"), "CD1 T3");
}

TEST(TapeProgram, ValuesFromTheMainWindow)
{
    TTapeProgramRepForm program;
    EXPECT_EQ(TapeProgramRepForm, &program);
    TTapeReportSource s = knownCompilation();
    s.CDSelect[2].clear();
    program.Fill(s);
    EXPECT_EQ(values(program, "CDTrackA"), V{"1. CD1 T1\r\n2. CD2 T10\r\n"});
    EXPECT_EQ(values(program, "CDTrackB"), V{"CD1 T2 .1\r\nCD3 T4 .2\r\n"});
    EXPECT_EQ(values(program, "CD1TITLE"), V{"Artist One - First Album"});
    EXPECT_EQ(values(program, "CD2TITLE"), V{"Band Two - Second"});
    EXPECT_EQ(values(program, "CD3TITLE"), V{""});   // printed as nothing, not "~"
}

TEST(TapeReports, LayoutsHoldTheirControlsInPrintingOrder)
{
    TTapeCoverRepForm cover;
    TTapeProgramRepForm program;
    EXPECT_EQ(cover.AlBand1->Height, 485);
    EXPECT_EQ(program.AlBand1->Height, 553);
    auto names = [](const tAlBand &b) {
        std::string s;
        for (const tAlControl *c : b.Controls())
            s += c->Name() + " ";
        return s;
    };
    EXPECT_EQ(names(*cover.AlBand1), "AlShape3 AlShape7 AlShape6 AlShape5 AlShape4 AlShape1 SideALbl SideBLbl "
                                     "AlShape2 TracksA TracksB TotPlayALbl TotPlayBLbl playtimeA playtimeB CDTitles ");
    EXPECT_EQ(names(*program.AlBand1), "AlShape3 AlShape2 AlShape1 AlLabel1 AlSysField1 AlLabel2 AlLabel3 AlLabel4 "
                                       "CD1TITLE CD2TITLE CD3TITLE SideALbl AlLabel5 CDTrackA CDTrackB ");
    EXPECT_EQ(FindReportComponent(cover), cover.TapeCoverReport());
    EXPECT_EQ(cover.TapeCoverReport()->ReportTitle, "TAPECOVER");
    EXPECT_EQ(program.TapeProgramReport()->ReportTitle, "TAPEPROGRAM");
}

// The program prints the date of the run, right-justified at the right
// edge of its frame (its right edge 472).
TEST(TapeProgram, PrintsTheDateOfTheRun)
{
    ScopedPrinter printer(ScreenLike(794, 1123));
    Alrep::Now = [] { return QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)); };
    TTapeProgramRepForm program;
    program.Fill(knownCompilation());
    tPages pages;
    program.TapeProgramReport()->Preview(pages);
    Alrep::Now = [] { return QDateTime::currentDateTime(); };
    ASSERT_EQ(pages.Count(), 1);
    auto page = PageRecorder::Play(*pages.GetPage(0));
    const QString all = page->AllText();
    EXPECT_TRUE(all.contains("2026")) << all.toStdString();
    EXPECT_TRUE(all.contains("CD N.\u00B0 1 :")) << all.toStdString();
    EXPECT_TRUE(all.contains("1. CD1 T1")) << all.toStdString();
}

// ---- printed ----------------------------------------------------------------------

std::string run(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    EXPECT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return p.readAllStandardOutput().toStdString();
}

bool dark(const QImage &img, int x, int y)
{
    return qGray(img.pixel(x, y)) < 128;
}

// Preview of the cover, its Print button clicked: the PDF holds the cover.
TEST(TapeCover, PrintedFromThePreviewToPdf)
{
    testutil::TempDir dir;
    const std::string file = dir.file("cover.pdf");
    PdfPrinter printer(file);
    TTapeCoverRepForm cover;
    int shown = 0;
    PreviewShowModal = [&](TPreviewForm &w) {
        ++shown;
        w.show();
        QTest::mouseClick(w.ui->PrintBtn, Qt::LeftButton);
        QTest::mouseClick(w.ui->CloseBtn, Qt::LeftButton);
    };
    cover.PreviewTape(knownCompilation());
    PreviewShowModal = nullptr;
    ASSERT_EQ(shown, 1);

    const std::string text = run("pdftotext", {QString::fromStdString(file), "-"});
    for (const char *s : {"SIDE A", "SIDE B", "1. Intro", "2. Finale", "Song .1", "Other-Tune .2",
                          "Playing Time Side A:", "32:30 (mm:ss)", "39:45 (mm:ss)",
                          "Artist One - First Album \u2022 Band Two - Second \u2022 Third - Disc"})
        EXPECT_NE(text.find(s), std::string::npos) << s << "\n" << text;
    // One page, titled as the preview titles its prints.
    const std::string info = run("pdfinfo", {QString::fromStdString(file)});
    EXPECT_TRUE(QString::fromStdString(info).contains(QRegularExpression("Pages:\\s+1\\n"))) << info;
    EXPECT_TRUE(QString::fromStdString(info).contains(QRegularExpression("Title:\\s+Tape Cover Preview\\n")));

    // The outer frame (40, 76, 389, 365 screen pixels, pen 3) on the paper:
    // rendered at 96 dots per inch, the design's own pixels.
    run("pdftoppm", {"-r", "96", "-png", "-singlefile", QString::fromStdString(file),
                     QString::fromStdString(dir.file("cover"))});
    QImage img(QString::fromStdString(dir.file("cover.png")));
    ASSERT_FALSE(img.isNull());
    auto darkNear = [&](int x, int y, bool horizontal) {
        for (int d = -3; d <= 3; ++d)
            if (horizontal ? dark(img, x, y + d) : dark(img, x + d, y))
                return true;
        return false;
    };
    EXPECT_TRUE(darkNear(40, 250, false));    // left side
    EXPECT_TRUE(darkNear(428, 250, false));   // right side
    EXPECT_TRUE(darkNear(300, 440, true));    // bottom
    EXPECT_TRUE(darkNear(150, 77, true));     // top
    EXPECT_FALSE(darkNear(30, 250, false));   // outside stays white
    EXPECT_FALSE(darkNear(440, 250, false));
    EXPECT_FALSE(darkNear(300, 452, true));
    EXPECT_FALSE(darkNear(100, 250, false));  // inside, below the tracks
    if (const char *keep = std::getenv("MIXDECK_KEEP_COVER"))
        img.save(QString::fromLocal8Bit(keep));
}

} // namespace
