#include "MainFixture.h"

#include "platform/Cp1252.h"
#include "support/GradCapt.h"

#include <QAction>
#include <QGroupBox>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>

#include <filesystem>

using Dialogs::Button;

TEST_F(MainFixture, VersionTextsWithoutAndWithVersionInformation)
{
    testutil::writeFile(dir.file("plain.txt"), "no version here");
    TMainForm &plain = make(dir.file("plain.txt"));
    EXPECT_EQ(plain.GradCaption->FormCaption(), "MIXDECK Version 1.0.0.0 (RC1)");
    EXPECT_EQ(plain.VersionText, "1.0.0.0(RC1)");
    EXPECT_EQ(plain.ClientName, "MIXDECK 1.0.0.0(RC1)");
    // The window's own title carries the painted caption (task bars show it).
    EXPECT_EQ(plain.windowTitle().toStdString(), "MIXDECK Version 1.0.0.0 (RC1)");

    TMainForm &built = make();  // the running program carries the build's version
    const std::string v = MIXDECK_VERSION_TEXT;
    EXPECT_EQ(built.GradCaption->FormCaption(), "MIXDECK Version " + v + " (RC1)");
    EXPECT_EQ(built.VersionText, v + "(RC1)");
    EXPECT_EQ(built.ClientName, "MIXDECK " + v + "(RC1)");
}

TEST_F(MainFixture, PathsComeFromTheProgramFolder)
{
    TMainForm &f = make();
    EXPECT_EQ(f.AppDir, dir.path());
    EXPECT_EQ(f.CatalogueFile, dir.file("MIXDECK.ini"));
    EXPECT_EQ(f.CDDBIniFile, dir.file("CDDB.ini"));
    EXPECT_EQ(f.QueueIniFile, dir.file("Queue.ini"));
    EXPECT_EQ(f.HelpFile, dir.path() + "/Help/html/index.html");
}

TEST_F(MainFixture, StartState)
{
    TMainForm &f = make();
    f.show();
    EXPECT_EQ(col0('A'), "SIDE A - Remaining Time (mm:ss)  00:00");
    EXPECT_EQ(col0('B'), "SIDE B - Remaining Time (mm:ss)  00:00");
    EXPECT_EQ(ui().CompilationName->text(), "None");
    EXPECT_FALSE(ui().CDDBGroup->isEnabled());
    EXPECT_TRUE(ui().TapeGroup->isEnabled());
    for (int p = 1; p <= 3; ++p) {
        EXPECT_FALSE(f.CDSelect(p)->isEnabled());
        EXPECT_EQ(f.CDSelect(p)->count(), 3);
        EXPECT_EQ(f.CDSelect(p)->currentIndex(), -1);
        EXPECT_FALSE(pane(p)->OwnerDraw());  // switched off when first shown
    }
    EXPECT_FALSE(ui().TapeLen->isEnabled());
    EXPECT_EQ(ui().TapeLen->currentIndex(), -1);
    EXPECT_FALSE(ui().NewCompilation->isEnabled());
    EXPECT_FALSE(ui().SaveCompilationMenuItem->isEnabled());
    EXPECT_FALSE(ui().PrintMenuItem->menuAction()->isEnabled());
    EXPECT_FALSE(ui().UpBtn->isEnabled());
    EXPECT_FALSE(ui().DownBtn->isEnabled());
    EXPECT_FALSE(ui().RemoveBtn->isEnabled());
    EXPECT_FALSE(f.CompilationLoaded);
    EXPECT_EQ(dialogs.Calls.size(), 0u);
}

TEST_F(MainFixture, MenuCaptions)
{
    make();
    struct { QAction *action; const char *text; } rows[] = {
        {ui().NewCompilationMenuItem, "&New Compilation"},
        {ui().LoadCompilationMenuItem, "&Load Compilation"},
        {ui().SaveCompilationMenuItem, "Sa&ve Compilation"},
        {ui().PrintTapeCoverMenuItem, "Tape's Cov&er"},
        {ui().PrintTapeProgramMenuItem, "Tape's Pro&gram"},
        {ui().GrabCDMenuItem, "&Grab CD"},
        {ui().ModifyMenuItem, "M&odify CD DB"},
        {ui().ImportINIMenuItem, "Import Windows CDPla&yer *.INI"},
        {ui().CDDBOptMenuItem, "&Options"},
        {ui().QueueManagerMenuItem, "&Queue Manager"},
        {ui().ContentsMenuItem, "Con&tents"},
        {ui().CheckUpdatesMenuItem, "Chec&k For Updates"},
        {ui().AboutMenuItem, "&About"},
        {ui().ExitMenu, "E&xit"},
        {ui().TAPEManagerMenu->menuAction(), "&TAPE Manager"},
        {ui().CDManagerMenu->menuAction(), "&CD Manager"},
        {ui().ManageMenuItem->menuAction(), "&Manage CD DB"},
        {ui().InternetDBMenu->menuAction(), "&Internet DB"},
        {ui().HelpMenu->menuAction(), "&Help"},
        {ui().WebSitesMenuItem->menuAction(), "&Web Sites"},
        {ui().PrintMenuItem->menuAction(), "&Print"},
    };
    for (auto &r : rows)
        EXPECT_EQ(r.action->text().toStdString(), r.text);
    EXPECT_EQ(ui().ContentsMenuItem->shortcut(), QKeySequence(Qt::Key_F1));
}

TEST_F(MainFixture, CompilationWarningAsksWithNoAsDefault)
{
    TMainForm &f = make();
    dialogs.AnswerButton(Button::No);
    EXPECT_EQ(f.ConfirmLoseCompilation(&f), Button::No);
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    const auto c = dialogs.MessageBoxes()[0];
    EXPECT_EQ(c.caption, "Warning");
    EXPECT_EQ(c.text, "Are you sure? Current compilation will be lost!");
    EXPECT_EQ(c.buttons, Button::Yes | Button::No);
    EXPECT_EQ(c.icon, Dialogs::Icon::Warning);
    EXPECT_EQ(c.defaultButton, Button::No);
    EXPECT_EQ(c.owner, &f);

    f.ErrorBox("Boom");
    const auto e = dialogs.MessageBoxes().back();
    EXPECT_EQ(e.caption, "Error");
    EXPECT_EQ(e.text, "Boom");
    EXPECT_EQ(e.buttons, Button::OK);
    EXPECT_EQ(e.icon, Dialogs::Icon::None);
}

TEST_F(MainFixture, F1OpensTheHelpPage)
{
    std::filesystem::create_directories(dir.path() + "/Help/html");
    testutil::writeFile(dir.path() + "/Help/html/index.html", "<html></html>");
    TMainForm &f = make();
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    QTest::keyClick(&f, Qt::Key_F1);
    auto opened = dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].target, dir.path() + "/Help/html/index.html");
}

TEST_F(MainFixture, UnreadableCatalogueSaysSoAndLosesNothing)
{
    // The catalogue is a folder: it exists but cannot be read as a file.
    std::remove(dir.file("MIXDECK.ini").c_str());
    mkdir(dir.file("MIXDECK.ini").c_str(), 0755);
    make();
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Error opening MIXDECK.ini");
    EXPECT_EQ(boxes[0].caption, "Error");
    rmdir(dir.file("MIXDECK.ini").c_str());
}

TEST_F(MainFixture, ExitAndCloseEndTheSameWay)
{
    TMainForm &f = make();
    ASSERT_TRUE(f.CDSections);
    f.ExitMenuClick();
    EXPECT_FALSE(f.CDSections);
    f.ExitMenuClick();  // a second call finds nothing to release
    make().close();
    EXPECT_FALSE(form->CDSections);
}

TEST_F(MainFixture, WindowsOpenCentredOverTheMainWindow)
{
    TMainForm &f = make();
    f.setGeometry(100, 100, f.width(), f.height());
    QDialog wide;
    wide.resize(f.frameGeometry().width() + 101, 50);
    const int wideWidth = wide.frameGeometry().width();
    const int wideHeight = wide.frameGeometry().height();
    QPoint placed;
    QTimer::singleShot(0, &wide, [&] {
        placed = wide.pos();
        wide.accept();
    });
    f.ShowCentred(&wide);
    const QRect me = f.frameGeometry();
    EXPECT_EQ(placed.x(), me.left() + me.width() / 2 - wideWidth / 2);
    EXPECT_EQ(placed.y(), me.top() + me.height() / 2 - wideHeight / 2);
    EXPECT_LT(placed.x(), me.left());
}

TEST_F(MainFixture, CheckForUpdatesOpensTheUpdateWindowWithoutWaiting)
{
    TMainForm &f = make();
    f.setGeometry(100, 100, f.width(), f.height());
    f.show();
    QDialog update;
    update.setWindowTitle("left over");
    update.resize(485, 155);
    f.UpdateForm = &update;
    const QRect it = update.frameGeometry();   // as placed, before it is shown
    ui().CheckUpdatesMenuItem->trigger();
    // Shown without waiting; the main window stays disabled until the
    // update window gives it back.
    EXPECT_TRUE(update.isVisible());
    EXPECT_FALSE(update.isModal());
    EXPECT_TRUE(update.windowTitle().isEmpty());
    EXPECT_FALSE(f.isEnabled());
    const QRect me = f.frameGeometry();
    EXPECT_EQ(update.pos(), QPoint(me.left() + me.width() / 2 - it.width() / 2, me.top() + me.height() / 2 - it.height() / 2));
    update.hide();
    f.setEnabled(true);
    f.UpdateForm = nullptr;
}

TEST_F(MainFixture, WebSiteItemsOpenTheirAddresses)
{
    make();
    QAction *items[] = {ui().QOXMenuItem, ui().freedbMenuItem, ui().NetLibMenuItem, ui().ListViewMenuItem};
    for (QAction *a : items)
        a->trigger();
    auto opened = dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen);
    ASSERT_EQ(opened.size(), 4u);
    EXPECT_EQ(opened[1].target, "http://www.freedb.org/");
    for (auto &o : opened)
        EXPECT_EQ(o.target.rfind("http://", 0), 0u) << o.target;
    EXPECT_EQ(ui().WebSitesMenuItem->actions().size(), 4);
}
