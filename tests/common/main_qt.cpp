#include <gtest/gtest.h>
#include <QApplication>
#include <cstdlib>

// Widget tests run on the offscreen platform unless the caller asked for
// another one (a real display for screenshots).
int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
