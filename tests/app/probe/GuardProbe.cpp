// Runs the real application object with a failing button, a failing key
// handler and a failing timer, and prints what the dialogs service was asked
// to show. The program tests compare its output.
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/ScriptedDialogs.h"
#include "platform/SysUtils.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {
class FailingEdit : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    int keysAfterFailure = 0;
protected:
    void keyPressEvent(QKeyEvent *e) override
    {
        if (e->key() == Qt::Key_F5)
            throw EConvertError("'x' is not a valid integer value");
        ++keysAfterFailure;
        QLineEdit::keyPressEvent(e);
    }
};
} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    TApplication app(argc, argv);
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *failing = new QPushButton("Fail", &window);
    auto *working = new QPushButton("Work", &window);
    auto *edit = new FailingEdit(&window);
    layout->addWidget(failing);
    layout->addWidget(working);
    layout->addWidget(edit);

    int stepsAfterThrow = 0, workingClicks = 0, timersAfter = 0;
    bool fail = true;
    QObject::connect(failing, &QPushButton::clicked, [&] {
        if (fail)
            throw Exception("Catalogue entry is broken");
        ++stepsAfterThrow;
    });
    QObject::connect(working, &QPushButton::clicked, [&] { ++workingClicks; });

    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::printf("window not exposed\n");
        return 2;
    }
    QTest::mouseClick(failing, Qt::LeftButton);
    QTest::mouseClick(working, Qt::LeftButton);
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_F5);
    QTest::keyClicks(edit, "ok");

    // Inside the running loop: a timer that fails, then the loop goes on to
    // the next timer, which ends it.
    QTimer::singleShot(0, [] { throw std::runtime_error("timer failed"); });
    QTimer::singleShot(0, [] { throw 42; });
    QTimer::singleShot(0, [&] {
        ++timersAfter;
        QCoreApplication::exit(7);
    });
    int rc = app.exec();

    for (const ScriptedDialogs::Call &c : dialogs.Calls) {
        std::printf("%s|%s|%s|%s|%s|%s\n", ScriptedDialogs::KindName(c.kind), c.caption.c_str(),
                    c.text.c_str(), Dialogs::IconName(c.icon),
                    c.buttons == Dialogs::Buttons(Dialogs::Button::OK) ? "OK" : "other",
                    Dialogs::ButtonName(c.defaultButton));
    }
    std::printf("stepsAfterThrow=%d workingClicks=%d keysAfterFailure=%d text=%s timersAfter=%d rc=%d\n",
                stepsAfterThrow, workingClicks, edit->keysAfterFailure,
                edit->text().toLatin1().constData(), timersAfter, rc);
    return 0;
}
