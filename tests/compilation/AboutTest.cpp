#include "MainFixture.h"

#include "compilation/About.h"
#include "controls/ProCtrls.h"
#include "controls/ProUrl.h"
#include "controls/TextFade.h"
#include "ui_About.h"

#include <QImage>
#include <QTimer>

namespace {

// Shows the box modally as the main window does, runs the given steps once
// it is up and reports whether the box closed by itself.
bool showAndRun(TAboutForm &about, const std::function<void()> &steps)
{
    bool closedBySteps = false;
    QTimer::singleShot(0, &about, [&] {
        steps();
        closedBySteps = !about.isVisible();
        if (about.isVisible())
            about.reject();
    });
    about.exec();
    return closedBySteps;
}

} // namespace

TEST_F(MainFixture, AboutBoxShowsTheVersionFromTheMainWindow)
{
    TAboutForm about;
    TMainForm &f = make();
    f.FillAboutVersion = [&](const std::array<int, 4> &v) { about.SetVersion(v); };
    f.FileVersion = {2, 1, 0, 14};
    f.show();
    EXPECT_EQ(about.ui->VersionLbl->Caption(), "Version");
    EXPECT_EQ(about.ui->VersionNum->Caption(), "2.1.0");
    EXPECT_EQ(about.ui->CommonNameLbl->Caption(), "RC1");
    EXPECT_EQ(about.ui->BuildLbl->Caption(), "( Build ");
    EXPECT_EQ(about.ui->BuildNum->Caption(), "14 )");
    EXPECT_EQ(about.windowTitle().toStdString(), "About MIXDECK");
    EXPECT_TRUE(about.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(about.size(), QSize(662, 323));
}

TEST_F(MainFixture, AboutBoxClosesOnAClickExceptOnItsLinks)
{
    TAboutForm about;
    ASSERT_EQ(TAboutForm::Credits().size(), 19u);
    EXPECT_EQ(about.ui->TextFader->Lines().Count(), 19);
    EXPECT_EQ(about.ui->TextFader->LineDelay(), 3500);

    // Links open their address and leave the box open.
    struct { TProUrlLabel *label; const char *target; } links[] = {
        {about.ui->httpurllbl, "http://www.quillfern.com/"},
        {about.ui->emailurllbl, "mailto:info@quillfern.com?subject=info"},
    };
    for (auto &l : links) {
        dialogs.Reset();
        bool closed = showAndRun(about, [&] {
            EXPECT_TRUE(about.ui->TextFader->Active());
            QTest::mouseClick(l.label, Qt::LeftButton, Qt::NoModifier, QPoint(5, l.label->height() / 2));
        });
        EXPECT_FALSE(closed);
        auto opened = dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen);
        ASSERT_EQ(opened.size(), 1u);
        EXPECT_EQ(opened[0].target, l.target);
    }
    // Anything else closes it and stops the credits.
    for (QWidget *w : std::initializer_list<QWidget *>{about.ui->MIXDECKIMG, about.ui->TextFader, about.ui->ExitLbl,
                                                       about.ui->VersionNum, about.ui->MainPanel, about.ui->FREEDBIMAGE}) {
        bool closed = showAndRun(about, [&] { QTest::mouseClick(w, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3)); });
        EXPECT_TRUE(closed) << w->objectName().toStdString();
        EXPECT_FALSE(about.ui->TextFader->Active());
    }
}

TEST_F(MainFixture, AboutBoxRestartsTheCreditsOnEveryShow)
{
    TAboutForm about;
    about.ui->TextFader->SetTimer(std::make_unique<TManualFaderTimer>());
    auto *timer = new TManualFaderTimer;
    about.ui->TextFader->SetTimer(std::unique_ptr<TFaderTimer>(timer));
    showAndRun(about, [&] {
        for (int i = 0; i < 400; ++i)
            timer->Fire();
        EXPECT_GT(about.ui->TextFader->LineIndex(), 0);
    });
    showAndRun(about, [&] {
        EXPECT_EQ(about.ui->TextFader->LineIndex(), -1);
        EXPECT_TRUE(about.ui->TextFader->Active());
    });
}

TEST_F(MainFixture, ScreenshotsOfTheMainWindowAndTheAboutBox)
{
    TMainForm &f = make();
    f.show();
    ui().NewCompilationMenuItem->trigger();
    ui().CD1Select->setCurrentIndex(0);
    f.CD1SelectChange();
    const QImage main = f.grab().toImage();
    ASSERT_FALSE(main.isNull());
    EXPECT_TRUE(main.save(QString::fromStdString(testutil::screenshotPath("main-window.png"))));

    TAboutForm about;
    about.SetVersion({2, 3, 1, 57});
    about.show();
    const QImage box = about.grab().toImage();
    EXPECT_EQ(box.size(), QSize(662, 323));
    EXPECT_TRUE(box.save(QString::fromStdString(testutil::screenshotPath("about-box.png"))));
}
