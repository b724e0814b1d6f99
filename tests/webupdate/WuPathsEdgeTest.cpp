// Path confinement at the edge of the folder's name: a sibling whose name
// starts with the folder's is outside it.
#include "common/TestUtil.h"
#include "webupdate/WuPaths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

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
