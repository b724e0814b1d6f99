#pragma once
// Helpers of the extended-control tests: real pointer moves and the
// screenshot folder.
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <functional>
#include <string>

namespace protest {

// Path of a screenshot in the build folder's "screenshots".
inline std::string ScreenshotPath(const std::string &name) { return testutil::screenshotPath(name); }

// Moves the pointer over the control's window from a point outside the
// control onto it and off again. startCounting runs once the pointer rests
// outside (the window's first pointer event may pass other places).
inline void PointerCrosses(QWidget *control, const std::function<void()> &startCounting)
{
    QWidget *window = control->window();
    ASSERT_NE(window, control);
    window->show();
    QApplication::setActiveWindow(window);
    const QPoint outside(window->width() - 1, window->height() - 1);
    ASSERT_FALSE(control->geometry().contains(control->parentWidget()->mapFrom(window, outside)));
    QTest::mouseMove(window, outside);
    startCounting();
    const QPoint middle(control->width() / 2, control->height() / 2);
    QTest::mouseMove(window, control->mapTo(window, middle));
    QTest::mouseMove(window, control->mapTo(window, middle + QPoint(1, 0)));
    QTest::mouseMove(window, outside);
}

} // namespace protest
