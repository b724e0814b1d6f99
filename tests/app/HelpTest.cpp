// F1 in the main window opens the help page that the build puts beside the
// program.
#include "compilation/Main.h"
#include "platform/ScriptedDialogs.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <QTest>

#include <cstdlib>
#include <string>

namespace {

std::string ProgramFolder()
{
    if (const char *dir = std::getenv("MIXDECK_BINARY_DIR"))
        return std::string(dir) + "/src/app";
    const std::string exe = MIXDECK_EXE_PATH;
    return exe.substr(0, exe.rfind('/'));
}

} // namespace

TEST(HelpPage, F1OpensTheShippedPage)
{
    const std::string folder = ProgramFolder();
    setenv("MIXDECK_HOME", folder.c_str(), 1);
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scoped(dialogs);
    {
        TMainForm form;
        form.show();
        form.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(&form, Qt::Key_F1);
    }
    unsetenv("MIXDECK_HOME");
    auto opened = dialogs.CallsOf(ScriptedDialogs::Kind::ShellOpen);
    ASSERT_EQ(opened.size(), 1u);
    const std::string page = folder + "/Help/html/index.html";
    EXPECT_EQ(opened[0].target, page);
    // The page is there, and it is ours: the four topics.
    const std::string html = testutil::readFile(page);
    ASSERT_FALSE(html.empty()) << page;
    for (const char *topic : {"Filling the catalogue", "Building a tape", "Saving and loading", "Printing"})
        EXPECT_NE(html.find(topic), std::string::npos) << topic;
    EXPECT_EQ(html, testutil::readFile(std::string(MIXDECK_SOURCE_DIR) + "/Help/html/index.html"));
}
