// Help and the web site items of the main window say so when what they open
// cannot be opened: the help page missing from the program's folder, no
// program on the machine to open an address.
#include "app/ProgramHome.h"
#include "compilation/Main.h"
#include "platform/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include <memory>
#include <string>

namespace {

class OpenFailure : public ::testing::Test {
protected:
    void ExpectErrorBox(const std::string &text)
    {
        auto boxes = dialogs.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, "Error");
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(boxes[0].buttons, Dialogs::Buttons(Dialogs::Button::OK));
    }

    programtest::ProgramHome home;
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped {dialogs};
};

TEST_F(OpenFailure, F1WithoutTheHelpPageNamesIt)
{
    TMainForm form;
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_F1);
    EXPECT_TRUE(dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen).empty());
    ExpectErrorBox("Could not open " + home.dir.path() + "/Help/html/index.html: it does not exist.");
}

TEST_F(OpenFailure, AWebSiteTheDesktopCannotOpenIsNamed)
{
    // The real desktop service; the offscreen platform opens nothing, as a
    // desktop without an opener.
    std::unique_ptr<Dialogs::Service> real(Dialogs::NewQtService());
    dialogs.OpenWith = [&real](const std::string &t) { return real->ShellOpen(t); };
    TMainForm form;
    auto *item = form.findChild<QAction *>("freedbMenuItem");
    ASSERT_NE(item, nullptr);
    item->trigger();
    ASSERT_EQ(dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen).size(), 1u);
    ExpectErrorBox("Could not open http://www.freedb.org/: no program to open it could be started (the "
                   "desktop's opener xdg-open, from the package xdg-utils, may be missing).");
}

} // namespace
