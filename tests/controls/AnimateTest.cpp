// The animated image and its timer: strip layouts, frame stepping, the
// worker thread's pause, stop and hand-over to the interface thread, and the
// frames rendered off the interface thread into the back buffer.
#include "controls/Animate.h"
#include "controls/ThreadTimer.h"
#include "platform/ScriptedDialogs.h"
#include "support/VCLUtils.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPainter>
#include <QtTest/QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/resource.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Process CPU time (user and system) in seconds.
double CpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double MsSince(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// Frame i of the strip is filled with colour Colour(i).
QRgb Colour(int i) { return QColor::fromHsv((i * 40) % 360, 255, 200).rgb(); }

QImage Strip(int frames, int size, TGlyphOrientation o)
{
    QImage img(o == goHorizontal ? frames * size : size, o == goHorizontal ? size : frames * size,
               QImage::Format_RGB32);
    QPainter p(&img);
    for (int i = 0; i < frames; ++i)
        p.fillRect(o == goHorizontal ? QRect(i * size, 0, size, size) : QRect(0, i * size, size, size), Colour(i));
    return img;
}

// Waits (processing events) until cond holds or the time is up.
template <class F>
bool WaitFor(F cond, int ms = 5000)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (Clock::now() >= end)
            return false;
        QTest::qWait(5);
    }
    return true;
}

// An image on a shown parent, opaque, with the strip drawn unstretched and
// without a transparent colour.
struct Shown {
    QWidget parent;
    TAnimatedImage *image;
    explicit Shown(int frames = 8)
    {
        parent.resize(100, 100);
        image = new TAnimatedImage(&parent);
        image->SetGlyph(Strip(frames, 32, goHorizontal));
        image->SetTransparentColor(clNone);
        image->SetOpaque(true);
        parent.show();
        image->show();
    }
};

// Counts the frame events of every instance, on whatever thread.
std::atomic<int> framesChanged {0};
class CountingImage : public TAnimatedImage {
public:
    using TAnimatedImage::TAnimatedImage;

protected:
    void FrameChanged() override
    {
        ++framesChanged;
        TAnimatedImage::FrameChanged();
    }
};

} // namespace

// ---- strip layout -----------------------------------------------------------------------

TEST(AnimatedImage, StripLayouts)
{
    struct Case {
        int w, h;
        TGlyphOrientation o;
        int frames, fw, fh;
    };
    const Case cases[] = {
        {256, 32, goHorizontal, 8, 32, 32},  // the update window's strip
        {100, 32, goHorizontal, 1, 100, 32}, // not a whole multiple
        {96, 32, goHorizontal, 3, 32, 32},
        {32, 32, goHorizontal, 1, 32, 32},
        {32, 256, goVertical, 8, 32, 32},
        {256, 32, goVertical, 1, 256, 32},
        {32, 100, goVertical, 1, 32, 100},
        {0, 0, goHorizontal, 1, 0, 0},       // empty
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h) + (c.o == goVertical ? " vertical" : ""));
        TAnimatedImage image;
        image.SetOrientation(c.o);
        QImage strip;
        if (c.w > 0)
            strip = QImage(c.w, c.h, QImage::Format_RGB32);
        image.SetGlyph(strip);
        EXPECT_EQ(image.NumGlyphs(), c.frames);
        EXPECT_EQ(image.FrameSize(), QSize(c.fw, c.fh));
        EXPECT_EQ(image.GlyphNum(), 0);
        if (c.fw > 0) {   // AutoSize takes one frame's size
            EXPECT_EQ(image.size(), QSize(c.fw, c.fh));
        }
    }
    // A set frame count divides the strip; an inactive frame beyond it goes.
    TAnimatedImage image;
    image.SetGlyph(QImage(256, 32, QImage::Format_RGB32));
    image.SetInactiveGlyph(7);
    image.SetNumGlyphs(4);
    EXPECT_EQ(image.FrameSize(), QSize(64, 32));
    EXPECT_EQ(image.InactiveGlyph(), -1);
    EXPECT_EQ(image.GlyphNum(), 0);
    // The strip's bottom-left pixel is its transparent colour.
    QImage keyed(64, 32, QImage::Format_RGB32);
    keyed.fill(QColor(255, 0, 255));
    image.SetGlyph(keyed);
    EXPECT_EQ(image.TransparentColor(), clFuchsia);
    EXPECT_FALSE(image.TransparentColorStored());
}

// ---- stepping -------------------------------------------------------------------------------

TEST(AnimatedImage, FrameStepping)
{
    struct Case {
        int frames;
        int inactive;
        std::vector<int> steps;   // GlyphNum after each step from 0
        int shownInactive;        // frame while not active
    };
    const Case cases[] = {
        {8, 3, {1, 2, 4, 5, 6, 7, 0, 1}, 3},
        {8, -1, {1, 2, 3, 4, 5, 6, 7, 0}, 0},
        {8, 0, {1, 2, 3, 4, 5, 6, 7, 1}, 0},
        {8, 7, {1, 2, 3, 4, 5, 6, 0, 1}, 7},
        {2, -1, {1, 0, 1}, 0},
        {1, -1, {0, 0}, 0},   // one frame does not step
    };
    for (const Case &c : cases) {
        SCOPED_TRACE("frames " + std::to_string(c.frames) + ", inactive " + std::to_string(c.inactive));
        Shown s(c.frames);
        s.image->SetInactiveGlyph(c.inactive);
        EXPECT_EQ(s.image->GlyphNum(), c.shownInactive);
        // The inactive frame is what the control shows.
        const QImage shown = s.image->grab().toImage();
        EXPECT_EQ(shown.pixel(16, 16), Colour(c.shownInactive));
        // Active, with the worker asleep for a long time: stepped by hand.
        s.image->SetInterval(1000000);
        s.image->SetActive(true);
        s.image->SetGlyphNum(0);
        std::vector<int> seen;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            s.image->TimerExpired();
            seen.push_back(s.image->GlyphNum());
        }
        EXPECT_EQ(seen, c.steps);
        // Stepped on the interface thread: painted there, and shows the frame.
        EXPECT_EQ(s.image->grab().toImage().pixel(16, 16), Colour(c.steps.back()));
        EXPECT_EQ(s.image->BufferRendersOffThread(), 0);
    }
}

TEST(AnimatedImage, HiddenOrOrphanedImageDoesNotStep)
{
    Shown s;
    s.image->hide();
    s.image->TimerExpired();
    EXPECT_EQ(s.image->GlyphNum(), 0);
    s.image->show();
    s.image->TimerExpired();
    EXPECT_EQ(s.image->GlyphNum(), 1);
    s.parent.hide();
    s.image->TimerExpired();
    EXPECT_EQ(s.image->GlyphNum(), 1);

    TAnimatedImage orphan;
    orphan.SetGlyph(Strip(8, 32, goHorizontal));
    orphan.show();
    orphan.TimerExpired();
    EXPECT_EQ(orphan.GlyphNum(), 0);
}

TEST(AnimatedImage, PlacementOfTheFrame)
{
    // Unstretched frames centred or at the corner; stretched over the client.
    struct Case {
        bool stretch, center;
        QPoint inside, outside;
    };
    const Case cases[] = {
        {false, false, {5, 5}, {40, 40}},
        {false, true, {30, 30}, {5, 5}},
        {true, false, {60, 60}, {-1, -1}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.stretch ? "stretch" : "") + (c.center ? "center" : ""));
        Shown s;
        s.image->SetAutoSize(false);
        s.image->resize(64, 64);
        s.image->SetStretch(c.stretch);
        s.image->SetCenter(c.center);
        s.image->SetColor(clWhite);
        const QImage shot = s.image->grab().toImage();
        EXPECT_EQ(shot.pixel(c.inside), Colour(0));
        if (c.outside.x() >= 0) {
            EXPECT_EQ(shot.pixel(c.outside), qRgb(255, 255, 255));
        }
    }
}

// ---- the worker ------------------------------------------------------------------------------

TEST(AnimatedImage, AsyncFramesAreRenderedOffTheInterfaceThreadAndShown)
{
    Shown s;
    std::atomic<int> events {0};
    std::thread::id eventThread;
    s.image->OnFrameChanged = [&](TAnimatedImage *) {
        eventThread = std::this_thread::get_id();
        ++events;
    };
    s.image->SetAsyncDrawing(true);
    s.image->SetInterval(15);
    s.image->SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return s.image->BufferRendersOffThread() >= 4; }));
    // The frame event was handed to the interface thread.
    EXPECT_GE(events.load(), 1);
    EXPECT_EQ(eventThread, std::this_thread::get_id());
    s.image->SetActive(false);
    const int frame = s.image->GlyphNum();
    const int rendered = s.image->BufferRendersOffThread();
    QTest::qWait(60);
    // Switched off: no step after it, and the buffer shows the frame.
    EXPECT_EQ(s.image->GlyphNum(), frame);
    EXPECT_EQ(s.image->BufferRendersOffThread(), rendered);
    EXPECT_EQ(s.image->grab().toImage().pixel(16, 16), Colour(frame));
}

TEST(AnimatedImage, WorkerBufferIsWhatTheInterfaceThreadShows)
{
    Shown s;
    s.image->SetAsyncDrawing(true);
    s.image->SetInterval(10);
    s.image->SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return s.image->BufferRendersOffThread() >= 2; }));
    s.image->Timer()->SetEnabled(false);   // holds the frame
    QTest::qWait(20);
    const int onThread = s.image->BufferRendersOnInterfaceThread();
    s.image->repaint();
    // The finished buffer was shown, not rendered again.
    EXPECT_EQ(s.image->BufferRendersOnInterfaceThread(), onThread);
    EXPECT_EQ(s.image->BackBuffer().pixel(16, 16), Colour(s.image->GlyphNum()));
    s.image->SetActive(false);
}

TEST(AnimatedImage, ZeroIntervalKeepsTheWorkerSuspended)
{
    Shown s;
    s.image->SetAsyncDrawing(true);
    s.image->SetInterval(0);
    s.image->SetActive(true);
    const double cpu0 = CpuSeconds();
    std::this_thread::sleep_for(150ms);
    EXPECT_TRUE(s.image->Timer()->WorkerSuspended());
    EXPECT_EQ(s.image->GlyphNum(), 0);
    // A suspended worker waits; it does not spin.
    EXPECT_LT(CpuSeconds() - cpu0, 0.05);
    s.image->SetInterval(10);
    EXPECT_FALSE(s.image->Timer()->WorkerSuspended());
    ASSERT_TRUE(WaitFor([&] { return s.image->GlyphNum() != 0; }));
    s.image->SetActive(false);
    EXPECT_TRUE(s.image->Timer()->WorkerSuspended());
}

TEST(AnimatedImage, DestroyingARunningAnimationEndsItsWorkerAtOnce)
{
    framesChanged = 0;
    QWidget parent;
    auto *image = new CountingImage(&parent);
    image->SetGlyph(Strip(8, 32, goHorizontal));
    image->SetAsyncDrawing(true);
    image->SetInterval(40);
    parent.show();
    image->SetActive(true);
    ASSERT_TRUE(WaitFor([&] { return framesChanged.load() >= 2; }));
    // A long interval: the worker is asleep in it when the image goes.
    image->SetInterval(5000);
    ASSERT_TRUE(image->Timer()->WorkerStarted());
    std::this_thread::sleep_for(20ms);
    const auto t0 = Clock::now();
    delete image;
    EXPECT_LT(MsSince(t0), 1000.0);
    const int after = framesChanged.load();
    QTest::qWait(100);
    EXPECT_EQ(framesChanged.load(), after);
}

TEST(AnimatedImage, StartStopDestroyLoops)
{
    // Many short lives, switched on and off while the worker steps and
    // paints; the thread sanitizer run checks them for races.
    QWidget parent;
    parent.show();
    const QImage strip = Strip(8, 16, goHorizontal);
    for (int i = 0; i < 40; ++i) {
        auto image = std::make_unique<TAnimatedImage>(&parent);
        image->SetGlyph(strip);
        image->SetAsyncDrawing(i % 4 != 3);
        image->SetInterval(1);
        image->OnFrameChanged = i % 2 ? std::function<void(TAnimatedImage *)>([](TAnimatedImage *) {}) : nullptr;
        image->show();
        image->SetActive(true);
        QTest::qWait(3);
        image->SetActive(false);
        image->SetActive(true);
        if (i % 3 == 0) {
            image->SetInterval(2);
            image->SetStretch(false);
            image->SetGlyphNum(2);
        }
        std::this_thread::sleep_for(2ms);
        if (i % 2)
            image->SetActive(false);
        image.reset();
    }
    QTest::qWait(10);
}

// ---- the timer itself -------------------------------------------------------------------------

TEST(ThreadTimer, ThreadModeFiresOnTheWorkerOrHandsOver)
{
    for (bool sync : {false, true}) {
        SCOPED_TRACE(sync ? "SyncEvent" : "on the worker");
        TThreadTimer timer;
        std::atomic<int> fired {0};
        std::atomic<bool> onInterface {false}, onWorker {false};
        const std::thread::id me = std::this_thread::get_id();
        timer.SetSyncEvent(sync);
        timer.SetInterval(20);
        timer.SetOnTimer([&](TThreadTimer *sender) {
            EXPECT_EQ(sender, &timer);
            (std::this_thread::get_id() == me ? onInterface : onWorker) = true;
            ++fired;
        });
        ASSERT_TRUE(WaitFor([&] { return fired.load() >= 3; }));
        EXPECT_EQ(onInterface.load(), sync);
        EXPECT_EQ(onWorker.load(), !sync);
        timer.SetEnabled(false);
        const int n = fired.load();
        QTest::qWait(60);
        EXPECT_EQ(fired.load(), n);
    }
}

TEST(ThreadTimer, WindowModeFiresFromTheEventLoop)
{
    TThreadTimer timer;
    timer.SetThreaded(false);
    timer.SetInterval(10);
    int fired = 0;
    timer.SetOnTimer([&](TThreadTimer *) { ++fired; });
    ASSERT_NE(timer.WindowTimer(), nullptr);
    EXPECT_FALSE(timer.WorkerStarted());
    ASSERT_TRUE(WaitFor([&] { return fired >= 3; }));
    // Back to thread mode: the window timer goes.
    timer.SetThreaded(true);
    EXPECT_EQ(timer.WindowTimer(), nullptr);
    EXPECT_TRUE(timer.WorkerStarted());

    TThreadTimer failing;
    failing.SetThreaded(false);
    failing.SetOnTimer([](TThreadTimer *) {});
    TThreadTimer::FailNextWindowTimer();
    try {
        failing.SetInterval(50);
        FAIL() << "no exception";
    } catch (const EOutOfResources &e) {
        EXPECT_EQ(e.Message, "Not enough timers available");
    }
}

TEST(ThreadTimer, ExceptionsAreShownAndTheLoopGoesOn)
{
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    TThreadTimer timer;
    timer.SetSyncEvent(false);
    timer.SetInterval(10);
    std::atomic<int> fired {0};
    timer.SetOnTimer([&](TThreadTimer *) {
        const int n = ++fired;
        if (n == 1)
            throw EAbort("quiet");
        if (n == 2)
            throw Exception("handler failed");
    });
    ASSERT_TRUE(WaitFor([&] { return fired.load() >= 5 && !dialogs.Calls.empty(); }));
    timer.SetEnabled(false);
    ASSERT_EQ(dialogs.Calls.size(), 1u);   // the abort is not shown
    EXPECT_EQ(dialogs.Calls[0].text, "handler failed");
}

// The exception of a firing, raised on the worker or (SyncEvent) on the
// interface thread, is shown on the interface thread and released there,
// once, never by a reference the worker kept: the reference count lives in
// the C++ runtime, where the thread sanitizer cannot see which side comes
// last. Each round is a fresh worker: which side comes last is a matter of
// timing.
TEST(ThreadTimer, ExceptionIsReleasedOnTheInterfaceThreadThatShowedIt)
{
    struct Destructions {
        std::mutex m;
        std::vector<std::thread::id> on;
    };
    struct Traced : Exception {
        Traced(const std::string &message, Destructions &d) : Exception(message), destructions(&d) {}
        ~Traced() override
        {
            std::lock_guard<std::mutex> lock(destructions->m);
            destructions->on.push_back(std::this_thread::get_id());
        }
        Destructions *destructions;
    };
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    const std::thread::id me = std::this_thread::get_id();
    for (bool sync : {false, true}) {
        SCOPED_TRACE(sync ? "SyncEvent" : "on the worker");
        for (int round = 0; round < 50; ++round) {
            Destructions destroyed;
            dialogs.Calls.clear();
            {
                TThreadTimer timer;
                timer.SetSyncEvent(sync);
                timer.SetInterval(1);
                std::atomic<int> fired {0};
                timer.SetOnTimer([&](TThreadTimer *) {
                    if (++fired == 1)
                        throw Traced("traced", destroyed);
                });
                ASSERT_TRUE(WaitFor([&] { return !dialogs.Calls.empty(); })) << "round " << round;
                timer.SetEnabled(false);
            }
            QTest::qWait(0);
            ASSERT_EQ(dialogs.Calls.size(), 1u);
            EXPECT_EQ(dialogs.Calls[0].text, "traced");
            std::lock_guard<std::mutex> lock(destroyed.m);
            ASSERT_EQ(destroyed.on.size(), 1u) << "round " << round;
            ASSERT_EQ(destroyed.on[0], me) << "released on the worker in round " << round;
        }
    }
}

TEST(ThreadTimer, PauseWhileAHandOverWaitsNeitherBlocksNorRunsIt)
{
    TThreadTimer timer;
    std::atomic<int> fired {0};
    timer.SetInterval(5);
    timer.SetOnTimer([&](TThreadTimer *) { ++fired; });
    // The interface thread does not process events: the worker's first
    // hand-over waits for it.
    std::this_thread::sleep_for(60ms);
    const auto t0 = Clock::now();
    timer.SetEnabled(false);
    EXPECT_LT(MsSince(t0), 1000.0);
    QTest::qWait(30);
    EXPECT_EQ(fired.load(), 0);
    EXPECT_TRUE(timer.WorkerSuspended());
}

TEST(ThreadTimer, HandlerMayDisableItsOwnTimer)
{
    for (bool sync : {false, true}) {
        TThreadTimer timer;
        timer.SetSyncEvent(sync);
        timer.SetInterval(5);
        std::atomic<int> fired {0};
        timer.SetOnTimer([&](TThreadTimer *t) {
            ++fired;
            if (sync)
                t->SetEnabled(false);   // on the interface thread
        });
        ASSERT_TRUE(WaitFor([&] { return fired.load() >= 1; }));
        if (!sync)
            timer.SetEnabled(false);
        const int n = fired.load();
        QTest::qWait(40);
        EXPECT_EQ(fired.load(), n);
        if (sync) {
            EXPECT_EQ(n, 1);
        }
        EXPECT_TRUE(timer.WorkerSuspended());
    }
}

TEST(ThreadTimer, SleepingWorkerCostsNoCpu)
{
    TThreadTimer timer;
    timer.SetSyncEvent(false);
    std::atomic<int> fired {0};
    timer.SetOnTimer([&](TThreadTimer *) { ++fired; });
    timer.SetInterval(100);
    const double cpu0 = CpuSeconds();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(450ms);
    const double ms = MsSince(t0);
    EXPECT_LT(CpuSeconds() - cpu0, 0.1);
    // The sleeps are whole intervals, neither cut short nor drawn out much.
    EXPECT_GE(fired.load(), 2);
    EXPECT_LE(fired.load(), int(ms / 100.0));
}
