// Path confinement at the edge of the folder's name: a sibling whose name
// starts with the folder's is outside it.
#include "common/TestUtil.h"
#include "webupdate/WuPaths.h"

#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

TEST(WuPathsEdge, ASiblingSharingTheFoldersNameIsOutside)
{
    testutil::TempDir dir;
    const std::string app = dir.file("app");
    ASSERT_EQ(mkdir(app.c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir.file("app2").c_str(), 0755), 0);
    struct Case {
        std::string path;
        bool inside;
    };
    const Case cases[] = {
        {app, true},
        {app + "/f", true},
        {app + "/new/f", true},
        {dir.file("app2/f"), false},        // an existing sibling
        {dir.file("app2"), false},
        {dir.file("appx/f"), false},        // a sibling that does not exist
        {dir.file("ap"), false},
        {app + "/../app2/f", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(wupaths::IsInside(app, c.path), c.inside) << c.path;
}

// A name of the update's list at the edge of what is a clean relative
// name: a control character anywhere (DEL among them), or nothing left
// but the folder itself.
TEST(WuPathsEdge, NamesAtTheEdgeOfClean)
{
    struct Case {
        std::string name;
        const char *clean;  // nullptr: refused
    };
    const Case cases[] = {
        {"sub/file.txt", "sub/file.txt"},
        {"./sub//file.txt", "sub/file.txt"},
        {"file\x7F.txt", nullptr},
        {"sub\x7F/file.txt", nullptr},
        {"file\x1F.txt", nullptr},
        {"file~.txt", "file~.txt"},  // the byte just below DEL is an ordinary one
        {"./", nullptr},
        {".", nullptr},
        {"./.", nullptr},
        {"", nullptr},
    };
    for (const Case &c : cases) {
        std::string clean = "left over";
        EXPECT_EQ(wupaths::CleanRelativeName(c.name, clean), c.clean != nullptr) << c.name;
        EXPECT_EQ(clean, c.clean ? c.clean : "") << c.name;
    }
}

// The folder at the top of the tree holds every path; a relative folder
// does not hold a path whose top folder does not exist.
TEST(WuPathsEdge, RootFolderAndMissingTopFolder)
{
    EXPECT_TRUE(wupaths::IsInside("/", "/tmp"));
    EXPECT_TRUE(wupaths::IsInside("/", "/missing-top/f"));
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_NE(std::string(cwd), "/") << "run from a folder below the top";
    EXPECT_FALSE(wupaths::IsInside(".", "/missing-top/f"));
    EXPECT_FALSE(wupaths::IsInside(".", "/missing-top"));
    EXPECT_TRUE(wupaths::IsInside(".", "missing-sub/f"));
}
