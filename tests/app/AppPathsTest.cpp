#include "platform/AppPaths.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
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

TEST(ProgramFolder, EnvironmentNamesAnotherFolder)
{
    struct Case {
        const char *home;
        const char *folder;
    } cases[] = {
        {"/opt/mixdeck", "/opt/mixdeck"},
        {"/opt/mixdeck/", "/opt/mixdeck"},
        {"/opt/mix deck//", "/opt/mix deck"},
        {"/", ""},
        {"relative/dir", "relative/dir"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.home);
        HomeVariable home(c.home);
        EXPECT_EQ(AppPaths::ProgramFolder(), c.folder);
    }
}
