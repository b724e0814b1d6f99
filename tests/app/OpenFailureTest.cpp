// Help and the web site items of the main window say so when what they open
// cannot be opened: the help page missing from the program's folder, or in
// place but with no browser behind the desktop's opener, and an address
// with no browser to take it.
#include "app/ProgramHome.h"
#include "common/NoBrowser.h"
#include "compilation/Main.h"
#include "platform/Opener.h"
#include "platform/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QTest>

#include <memory>
#include <string>
#include <sys/stat.h>

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

// On a machine with the desktop's opener and no browser behind it (what
// scripts/deps installs), the real opener is started and its answer heard.
class NoBrowserBehind : public OpenFailure {
protected:
    NoBrowserBehind()
    {
        opener::AnswerTimeForTests(20000);
        dialogs.OpenWith = [this](const std::string &t) { return real->ShellOpen(t); };
    }
    ~NoBrowserBehind() override { opener::AnswerTimeForTests(0); }
    testutil::NoBrowser desktop;
    std::unique_ptr<Dialogs::Service> real {Dialogs::NewQtService()};
};

const char *const kNothingBehind =
    ": the desktop's opener xdg-open found no program to open it: no web browser or other program is set up for "
    "it (exit status 3).";

TEST_F(NoBrowserBehind, F1WithTheHelpPageInPlaceSaysWhyItDidNotOpen)
{
    const std::string page = home.dir.path() + "/Help/html/index.html";
    ASSERT_EQ(mkdir((home.dir.path() + "/Help").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((home.dir.path() + "/Help/html").c_str(), 0700), 0);
    testutil::writeFile(page, "<html><body>Help</body></html>");
    TMainForm form;
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_F1);
    ASSERT_EQ(dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen).size(), 1u);
    ExpectErrorBox("Could not open " + page + kNothingBehind);
}

TEST_F(NoBrowserBehind, AWebSiteItemSaysWhyItDidNotOpen)
{
    TMainForm form;
    auto *item = form.findChild<QAction *>("freedbMenuItem");
    ASSERT_NE(item, nullptr);
    item->trigger();
    ASSERT_EQ(dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen).size(), 1u);
    ExpectErrorBox(std::string("Could not open http://www.freedb.org/") + kNothingBehind);
}

} // namespace
