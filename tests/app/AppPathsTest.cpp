#include "platform/AppPaths.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdlib>
#include <optional>
#include <string>

namespace {
// Sets or removes MIXDECK_HOME for one test and puts the old value back.
class HomeVariable {
public:
    explicit HomeVariable(const char *value)
    {
        if (const char *old = std::getenv("MIXDECK_HOME"))
            old_ = old;
        if (value)
            setenv("MIXDECK_HOME", value, 1);
        else
            unsetenv("MIXDECK_HOME");
    }
    ~HomeVariable()
    {
        if (old_)
            setenv("MIXDECK_HOME", old_->c_str(), 1);
        else
            unsetenv("MIXDECK_HOME");
    }
private:
    std::optional<std::string> old_;
};
} // namespace

TEST(ProgramFolder, IsTheExecutablesFolderWithoutTrailingSlash)
{
    HomeVariable none(nullptr);
    std::string expected = QFile::encodeName(QCoreApplication::applicationDirPath()).toStdString();
    EXPECT_EQ(AppPaths::ProgramFolder(), expected);
    EXPECT_EQ(AppPaths::ExecutablePath(),
              QFile::encodeName(QCoreApplication::applicationFilePath()).toStdString());
    HomeVariable empty("");   // set but empty counts as not set
    EXPECT_EQ(AppPaths::ProgramFolder(), expected);
}

TEST(ProgramFolder, EnvironmentNamesAnotherFolderByItsAbsolutePath)
{
    // A relative name (a "~" that no shell expanded is one) is taken against
    // the current folder; ".." parts stay for the file system to resolve.
    const std::string cwd = QFile::encodeName(QDir::currentPath()).toStdString();
    struct Case {
        const char *home;
        std::string folder;
    } cases[] = {
        {"/opt/mixdeck", "/opt/mixdeck"},
        {"/opt/mixdeck/", "/opt/mixdeck"},
        {"/opt/mix deck//", "/opt/mix deck"},
        {"//opt/./mix//deck/.", "/opt/mix/deck"},
        {"/opt/../mixdeck", "/opt/../mixdeck"},
        {"/", ""},
        {"relative/dir", cwd + "/relative/dir"},
        {"./app", cwd + "/app"},
        {"~/tapes", cwd + "/~/tapes"},
        {"my tapes/", cwd + "/my tapes"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.home);
        HomeVariable home(c.home);
        EXPECT_EQ(AppPaths::ProgramFolder(), c.folder);
    }
}
