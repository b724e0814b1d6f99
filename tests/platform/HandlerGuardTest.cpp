#include "platform/HandlerGuard.h"
#include "platform/Dialogs.h"
#include "platform/ScriptedDialogs.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <stdexcept>

using Dialogs::Button;
using Dialogs::Icon;

namespace {
void ExpectStandardBox(const ScriptedDialogs::Call &c, const std::string &text)
{
    EXPECT_EQ(c.kind, ScriptedDialogs::Kind::MessageBox);
    EXPECT_EQ(c.caption, "MIXDECK");
    EXPECT_EQ(c.text, text);
    EXPECT_EQ(c.buttons, Dialogs::Buttons(Button::OK));
    EXPECT_EQ(c.icon, Icon::Error);
    EXPECT_EQ(c.defaultButton, Button::OK);
}
} // namespace

TEST(HandlerGuard, MessageOfEachKindOfException)
{
    struct Case {
        std::exception_ptr e;
        std::string text;
    } cases[] = {
        {std::make_exception_ptr(Exception("Catalogue cannot be written")), "Catalogue cannot be written"},
        {std::make_exception_ptr(EConvertError("'abc' is not a valid integer value")),
         "'abc' is not a valid integer value"},
        {std::make_exception_ptr(std::runtime_error("socket closed")), "socket closed"},
        {std::make_exception_ptr(42), HandlerGuard::UnknownExceptionText},
        {std::make_exception_ptr(std::string("text thrown")), HandlerGuard::UnknownExceptionText},
        {nullptr, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(HandlerGuard::ExceptionMessage(c.e), c.text);
    }

    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    HandlerGuard::ShowException(nullptr);
    EXPECT_TRUE(dialogs.Calls.empty());
}

TEST(HandlerGuard, ExceptionFromAClickedButtonIsShownAndTheProgramGoesOn)
{
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *failing = new QPushButton("Fail", &window);
    auto *working = new QPushButton("Work", &window);
    layout->addWidget(failing);
    layout->addWidget(working);
    int stepsAfterThrow = 0, workingClicks = 0;
    bool fail = true;
    QObject::connect(failing, &QPushButton::clicked, &window, HandlerGuard::Guarded([&] {
        if (fail)
            throw EFOpenError("Cannot open file \"MIXDECK.ini\"");
        ++stepsAfterThrow;
    }));
    QObject::connect(working, &QPushButton::clicked, &window, HandlerGuard::Guarded([&] { ++workingClicks; }));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(failing, Qt::LeftButton);
    ASSERT_EQ(dialogs.Calls.size(), 1u);
    ExpectStandardBox(dialogs.Calls[0], "Cannot open file \"MIXDECK.ini\"");
    EXPECT_EQ(stepsAfterThrow, 0);

    // The program goes on: the other button and the same one work again.
    QTest::mouseClick(working, Qt::LeftButton);
    EXPECT_EQ(workingClicks, 1);
    fail = false;
    QTest::mouseClick(failing, Qt::LeftButton);
    EXPECT_EQ(stepsAfterThrow, 1);
    EXPECT_EQ(dialogs.Calls.size(), 1u);
    EXPECT_EQ(dialogs.UnscriptedCount(), 1);   // the box was answered with its default OK
}

TEST(HandlerGuard, ExceptionFromATimerInARunningLoopIsShownAndTheLoopGoesOn)
{
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    QEventLoop loop;
    bool reachedNext = false;
    QTimer::singleShot(0, &loop, HandlerGuard::Guarded([] { throw std::runtime_error("timer failed"); }));
    QTimer::singleShot(0, &loop, [&] {
        reachedNext = true;
        loop.quit();
    });
    loop.exec();
    EXPECT_TRUE(reachedNext);
    ASSERT_EQ(dialogs.Calls.size(), 1u);
    ExpectStandardBox(dialogs.Calls[0], "timer failed");
}

TEST(HandlerGuard, RunGuardedReportsWhetherTheHandlerFinished)
{
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    int steps = 0;
    EXPECT_TRUE(HandlerGuard::RunGuarded([&] { ++steps; }));
    EXPECT_FALSE(HandlerGuard::RunGuarded([&] {
        ++steps;
        throw 3;
    }));
    EXPECT_TRUE(HandlerGuard::RunGuarded(nullptr));
    EXPECT_EQ(steps, 2);
    ASSERT_EQ(dialogs.Calls.size(), 1u);
    ExpectStandardBox(dialogs.Calls[0], HandlerGuard::UnknownExceptionText);
}

namespace {
class ThrowingWidget : public QWidget {
public:
    int events = 0;
protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::User)
            throw Exception("event handler failed");
        if (e->type() == QEvent::Type(QEvent::User + 1)) {
            ++events;
            return true;
        }
        return QWidget::event(e);
    }
};
} // namespace

TEST(HandlerGuard, ApplicationDeliveryCatchesWhatAHandlerThrows)
{
    // The delivery TApplication::notify makes, used on the test's own
    // application object (the program-level tests run the real one).
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    ThrowingWidget w;
    QEvent failing(QEvent::User), fine(QEvent::Type(QEvent::User + 1));
    EXPECT_FALSE(TApplication::GuardedNotify(qApp, &w, &failing));
    EXPECT_TRUE(TApplication::GuardedNotify(qApp, &w, &fine));
    EXPECT_EQ(w.events, 1);
    ASSERT_EQ(dialogs.Calls.size(), 1u);
    ExpectStandardBox(dialogs.Calls[0], "event handler failed");
}
