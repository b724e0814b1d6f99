#include "common/TestUtil.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <cstdlib>
#include <memory>

// Widget tests run on the offscreen platform unless the caller asked for
// another one (a real display for screenshots).
int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Without XDG_RUNTIME_DIR the toolkit makes its runtime folder in
    // $TMPDIR and leaves it there: the tests get one of their own (the
    // programs they start inherit it), removed at the end.
    std::unique_ptr<testutil::TempDir> runtime;
    if (!getenv("XDG_RUNTIME_DIR")) {
        runtime = std::make_unique<testutil::TempDir>();
        setenv("XDG_RUNTIME_DIR", runtime->path().c_str(), 1);
    }
    int result;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
