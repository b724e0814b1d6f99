// Window hooks on offscreen widgets.
#include "support/WinHook.h"

#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QWidget>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

const QEvent::Type Probe = QEvent::Type(QEvent::User + 17);

class LogWidget : public QWidget {
public:
    explicit LogWidget(std::vector<std::string> *log) : log_(log) { resize(80, 40); }
    int presses = 0;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == Probe || e->type() == QEvent::Quit)
            log_->push_back("widget");
        return QWidget::event(e);
    }
    void mousePressEvent(QMouseEvent *) override { ++presses; }

private:
    std::vector<std::string> *log_;
};

// A hook that logs both phases of the probe event under its name.
std::unique_ptr<TWindowHook> makeHook(const std::string &name, QWidget *w,
                                      std::vector<std::string> *log, bool handleBefore = false)
{
    auto hook = std::make_unique<TWindowHook>();
    hook->BeforeMessage = [=](TWindowHook *, TMessage &m, bool &handled) {
        if (m.Msg == Probe || m.Msg == QEvent::Quit) {
            log->push_back(name + ".before");
            if (handleBefore) {
                handled = true;
                m.Result = true;
            }
        }
    };
    hook->AfterMessage = [=](TWindowHook *, TMessage &m, bool &) {
        if (m.Msg == Probe || m.Msg == QEvent::Quit)
            log->push_back(name + ".after");
    };
    hook->SetWinControl(w);
    return hook;
}

struct ReportedErrors {
    ReportedErrors()
    {
        SetHookExceptionHandler([this](QObject *, std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception &ex) {
                messages.push_back(ex.what());
            }
        });
    }
    ~ReportedErrors() { SetHookExceptionHandler(nullptr); }
    std::vector<std::string> messages;
};

void flushPosted() { QCoreApplication::sendPostedEvents(); }

} // namespace

TEST(WindowHook, LastAttachedRunsFirstInBothPhases)
{
    std::vector<std::string> log;
    LogWidget w(&log);
    auto h1 = makeHook("h1", &w, &log);
    auto h2 = makeHook("h2", &w, &log);
    QEvent e(Probe);
    QCoreApplication::sendEvent(&w, &e);
    EXPECT_EQ(log, (std::vector<std::string>{"h2.before", "h1.before", "widget", "h2.after", "h1.after"}));

    // Through the event loop as well.
    log.clear();
    QCoreApplication::postEvent(&w, new QEvent(Probe));
    QCoreApplication::processEvents();
    EXPECT_EQ(log.size(), 5u);
    EXPECT_EQ(GetHookList()->FindControlHook(&w)->Hooks().size(), 2u);
}

TEST(WindowHook, HandledBeforeSkipsTheWindowAndTheAfterPhase)
{
    std::vector<std::string> log;
    LogWidget w(&log);
    auto h1 = makeHook("h1", &w, &log);
    auto h2 = makeHook("h2", &w, &log, /*handleBefore=*/true);
    QEvent e(Probe);
    EXPECT_TRUE(QCoreApplication::sendEvent(&w, &e));
    EXPECT_EQ(log, (std::vector<std::string>{"h2.before"}));

    // The first hook attached handles: the later one has already run.
    log.clear();
    h2.reset();
    auto h3 = makeHook("h3", &w, &log);
    h1->BeforeMessage = [&](TWindowHook *, TMessage &m, bool &handled) {
        if (m.Msg == Probe) {
            log.push_back("h1.before");
            handled = true;
        }
    };
    QCoreApplication::sendEvent(&w, &e);
    EXPECT_EQ(log, (std::vector<std::string>{"h3.before", "h1.before"}));
}

TEST(WindowHook, RealMouseClicksPassThroughTheHooks)
{
    std::vector<std::string> log;
    LogWidget w(&log);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    TWindowHook hook;
    std::vector<int> before, after;
    bool swallowPress = false;
    hook.BeforeMessage = [&](TWindowHook *, TMessage &m, bool &handled) {
        if (m.Msg == QEvent::MouseButtonPress || m.Msg == QEvent::MouseButtonRelease) {
            before.push_back(m.Msg);
            if (swallowPress && m.Msg == QEvent::MouseButtonPress)
                handled = true;
        }
    };
    hook.AfterMessage = [&](TWindowHook *, TMessage &m, bool &) {
        if (m.Msg == QEvent::MouseButtonPress || m.Msg == QEvent::MouseButtonRelease)
            after.push_back(m.Msg);
    };
    hook.SetWinControl(&w);
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(w.presses, 1);
    EXPECT_EQ(before, (std::vector<int>{QEvent::MouseButtonPress, QEvent::MouseButtonRelease}));
    EXPECT_EQ(after, before);

    swallowPress = true;
    before.clear();
    after.clear();
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(w.presses, 1);   // the widget never saw the press
    EXPECT_EQ(after, (std::vector<int>{QEvent::MouseButtonRelease}));
}

TEST(WindowHook, ExceptionsAreReportedAndTheWalkGoesOn)
{
    ReportedErrors errors;
    std::vector<std::string> log;
    LogWidget w(&log);
    auto h1 = makeHook("h1", &w, &log);
    auto h2 = makeHook("h2", &w, &log);
    h2->BeforeMessage = [&](TWindowHook *, TMessage &m, bool &) {
        if (m.Msg == Probe)
            throw Exception("hook failed");
    };
    h1->AfterMessage = [&](TWindowHook *, TMessage &m, bool &) {
        if (m.Msg == Probe)
            throw std::runtime_error("after failed");
    };
    // Posted through the event loop: nothing escapes it.
    QCoreApplication::postEvent(&w, new QEvent(Probe));
    EXPECT_NO_THROW(QCoreApplication::processEvents());
    EXPECT_EQ(log, (std::vector<std::string>{"h1.before", "widget", "h2.after"}));
    EXPECT_EQ(errors.messages, (std::vector<std::string>{"hook failed", "after failed"}));
}

TEST(WindowHook, DeletionAlwaysReachesTheWidget)
{
    std::vector<std::string> log;
    flushPosted();
    const int records = GetHookList()->Count();
    auto *w = new LogWidget(&log);
    TWindowHook hook;
    int seen = 0;
    hook.BeforeMessage = [&](TWindowHook *, TMessage &, bool &handled) {
        ++seen;
        handled = true;   // swallow everything
    };
    hook.SetWinControl(w);
    QPointer<QWidget> guard(w);
    w->deleteLater();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    EXPECT_GT(seen, 0);
    // The free notification detached the hook; its record goes later.
    EXPECT_EQ(hook.WinControl(), nullptr);
    EXPECT_EQ(GetHookList()->Count(), records + 1);
    flushPosted();
    EXPECT_EQ(GetHookList()->Count(), records);
    EXPECT_TRUE(hook.Active());
}

TEST(WindowHook, QuitBypassesTheBeforePhase)
{
    std::vector<std::string> log;
    LogWidget w(&log);
    auto h = makeHook("h", &w, &log, /*handleBefore=*/true);
    QEvent quit(QEvent::Quit);
    QCoreApplication::sendEvent(&w, &quit);
    EXPECT_EQ(log, (std::vector<std::string>{"widget", "h.after"}));
}

TEST(WindowHook, RecordsAreFreedLaterNotAtOnce)
{
    std::vector<std::string> log;
    LogWidget w(&log);
    auto h = makeHook("h", &w, &log);
    TControlHook *record = GetHookList()->FindControlHook(&w);
    ASSERT_NE(record, nullptr);
    EXPECT_TRUE(record->Subclassed());
    h->SetWinControl(nullptr);
    // Still listed, no longer filtering.
    EXPECT_TRUE(GetHookList()->Contains(record));
    EXPECT_FALSE(record->Subclassed());
    QEvent e(Probe);
    QCoreApplication::sendEvent(&w, &e);
    EXPECT_EQ(log, (std::vector<std::string>{"widget"}));
    flushPosted();
    EXPECT_FALSE(GetHookList()->Contains(record));
    EXPECT_EQ(GetHookList()->FindControlHook(&w), nullptr);
    EXPECT_TRUE(h->Active());

    // A record that got a hook back before the posted message is kept.
    h->SetWinControl(&w);
    TControlHook *again = GetHookList()->FindControlHook(&w);
    auto other = makeHook("o", &w, &log);
    other->SetWinControl(nullptr);   // posts, but the record still has h
    flushPosted();
    EXPECT_TRUE(GetHookList()->Contains(again));
    EXPECT_EQ(again->Hooks().size(), 1u);
}

TEST(WindowHook, ActiveSwitchesAttachment)
{
    std::vector<std::string> log;
    LogWidget w(&log);
    auto h = makeHook("h", &w, &log);
    h->SetActive(false);
    EXPECT_EQ(h->WinControl(), &w);   // still named
    QEvent e(Probe);
    QCoreApplication::sendEvent(&w, &e);
    EXPECT_EQ(log, (std::vector<std::string>{"widget"}));
    log.clear();
    h->SetActive(true);
    QCoreApplication::sendEvent(&w, &e);
    EXPECT_EQ(log, (std::vector<std::string>{"h.before", "widget", "h.after"}));
    // A hook made inactive before it names a widget attaches once active.
    log.clear();
    TWindowHook late;
    late.SetActive(false);
    late.SetWinControl(&w);
    late.AfterMessage = [&](TWindowHook *, TMessage &m, bool &) {
        if (m.Msg == Probe)
            log.push_back("late.after");
    };
    QCoreApplication::sendEvent(&w, &e);
    EXPECT_EQ(log, (std::vector<std::string>{"h.before", "widget", "h.after"}));
    late.SetActive(true);
    log.clear();
    QCoreApplication::sendEvent(&w, &e);
    EXPECT_EQ(log, (std::vector<std::string>{"h.before", "widget", "late.after", "h.after"}));
}

TEST(WindowHook, IsFormWatchesTheOwnerForm)
{
    QWidget form;
    auto *hook = new TWindowHook(&form);
    EXPECT_FALSE(hook->IsForm());
    hook->SetIsForm(true);
    EXPECT_EQ(hook->WinControl(), &form);
    EXPECT_TRUE(hook->IsForm());
    QWidget child(&form);
    TWindowHook childHook(&child);
    childHook.SetIsForm(true);   // the owner is no form
    EXPECT_EQ(childHook.WinControl(), nullptr);
}

TEST(WindowHook, HooksSurviveARecreatedNativeWindow)
{
    std::vector<std::string> log;
    LogWidget w(&log);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    auto h = makeHook("h", &w, &log);
    // Changing the window flags destroys and recreates the native window.
    w.setWindowFlags(w.windowFlags() | Qt::FramelessWindowHint);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    QEvent e(Probe);
    QCoreApplication::sendEvent(&w, &e);
    EXPECT_EQ(log, (std::vector<std::string>{"h.before", "widget", "h.after"}));
}

namespace {

// An event filter that logs the probe event (and counts real events) under
// its name; it may take the probe.
class LogFilter : public QObject {
public:
    LogFilter(std::string name, std::vector<std::string> *log) : name_(std::move(name)), log_(log) {}
    bool take = false;
    std::vector<int> seen;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        seen.push_back(int(e->type()));
        if (e->type() == Probe) {
            log_->push_back(name_);
            return take;
        }
        return false;
    }

private:
    std::string name_;
    std::vector<std::string> *log_;
};

} // namespace

TEST(WindowHook, FiltersInstalledBeforeTheHookStillSeeTheFormsEventsInQtsOrder)
{
    std::vector<std::string> log;
    LogWidget form(&log);
    LogFilter early("early", &log), earliest("earliest", &log), late("late", &log);
    form.installEventFilter(&earliest);
    form.installEventFilter(&early);
    auto hook = makeHook("hook", &form, &log);
    form.installEventFilter(&late);

    // Qt runs the last installed filter first; the hook stands where it was
    // installed and its after phase follows the form's own handling.
    QEvent e(Probe);
    QCoreApplication::sendEvent(&form, &e);
    EXPECT_EQ(log, (std::vector<std::string>{"late", "hook.before", "early", "earliest", "widget",
                                             "hook.after"}));

    // A filter below the hook that takes the event stops it as Qt would: the
    // form does not see it, the hook's after phase still runs.
    log.clear();
    early.take = true;
    EXPECT_TRUE(QCoreApplication::sendEvent(&form, &e));
    EXPECT_EQ(log, (std::vector<std::string>{"late", "hook.before", "early", "hook.after"}));
    early.take = false;

    // Real events of a shown form reach the earlier filter as well.
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    earliest.seen.clear();
    QTest::mouseClick(&form, Qt::LeftButton, {}, QPoint(10, 10));
    form.repaint();
    const auto has = [&](int type) {
        return std::find(earliest.seen.begin(), earliest.seen.end(), type) != earliest.seen.end();
    };
    EXPECT_TRUE(has(QEvent::MouseButtonPress));
    EXPECT_TRUE(has(QEvent::MouseButtonRelease));
    EXPECT_TRUE(has(QEvent::Paint));
    EXPECT_EQ(form.presses, 1);

    // A hook that handles the event in its before phase hides it from the
    // filters below, as a window procedure that does not call on.
    log.clear();
    hook->BeforeMessage = [&](TWindowHook *, TMessage &m, bool &handled) {
        if (m.Msg == Probe) {
            log.push_back("hook.before");
            handled = true;
        }
    };
    QCoreApplication::sendEvent(&form, &e);
    EXPECT_EQ(log, (std::vector<std::string>{"late", "hook.before"}));

    // Once the hook leaves, the filters see everything as before.
    log.clear();
    hook.reset();
    QCoreApplication::sendEvent(&form, &e);
    EXPECT_EQ(log, (std::vector<std::string>{"late", "early", "earliest", "widget"}));
}
