// The text fader: its steps driven tick by tick through a manual timer, the
// blend of two texts, and what it paints.
#include "controls/TextFade.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

namespace {

// A fader with a manual timer; `timer` stays owned by the fader.
struct Fader {
    TManualFaderTimer *timer = nullptr;
    std::unique_ptr<TTextFader> fader;
    int completes = 0;

    explicit Fader(const std::vector<std::string> &lines, QWidget *parent = nullptr)
    {
        auto t = std::make_unique<TManualFaderTimer>();
        timer = t.get();
        fader = std::make_unique<TTextFader>(parent, std::move(t));
        fader->SetLines(lines);
        fader->OnComplete = [this](TTextFader *sender) {
            EXPECT_EQ(sender, fader.get());
            ++completes;
        };
    }
    TTextFader *operator->() { return fader.get(); }

    // Ticks until the line at hand has fully faded in; returns the ticks.
    int FadeInLine(int limit = 1000)
    {
        int ticks = 0;
        do {
            if (!timer->Fire())
                break;
            ++ticks;
        } while (fader->FadePercent() < 100 && ticks < limit);
        return ticks;
    }
};

const std::vector<std::string> kThree = {"one", "two", "three"};

// The colour of a pixel as $00BBGGRR.
TColor PixelColor(const QImage &img, int x, int y)
{
    return QColorToColor(QColor(img.pixel(x, y)));
}

} // namespace

TEST(TextFader, StartsWithTheDocumentedDefaults)
{
    TTextFader fader;
    EXPECT_FALSE(fader.Active());
    EXPECT_EQ(fader.LineIndex(), -1);
    EXPECT_EQ(fader.LineDelay(), 2000);
    EXPECT_EQ(fader.FadeDelay(), 30);
    EXPECT_EQ(fader.FadeStep(), 4);
    EXPECT_EQ(fader.RepeatCount(), 0);
    EXPECT_TRUE(fader.WordWrap());
    EXPECT_FALSE(fader.Transparent());
    EXPECT_EQ(fader.Alignment(), taCenter);
    EXPECT_EQ(fader.BackgroundMode(), bmTiled);
    EXPECT_EQ(fader.width(), 200);
    EXPECT_EQ(fader.height(), 16);
    EXPECT_TRUE(fader.ParentColor());
    EXPECT_FALSE(fader.Timer().Enabled());
    // The banner: six lines, not worth storing in a layout.
    EXPECT_EQ(fader.Lines().Count(), 6);
    EXPECT_EQ(fader.Lines()[0], "TTextFader v1.1");
    EXPECT_EQ(fader.Lines()[2], "");
    EXPECT_FALSE(fader.IsLinesStored());
    fader.EditLines([](TStringList &l) { l.Put(2, "x"); });
    EXPECT_TRUE(fader.IsLinesStored());
}

TEST(TextFader, SwitchingOnStartsTheFirstLineAfterFiveMilliseconds)
{
    Fader f(kThree);
    f->SetActive(true);
    EXPECT_TRUE(f.timer->Enabled());
    EXPECT_EQ(f.timer->Interval(), 5);
    EXPECT_EQ(f->FadePercent(), 100);
    EXPECT_EQ(f->LineIndex(), -1);

    ASSERT_TRUE(f.timer->Fire());
    EXPECT_EQ(f->LineIndex(), 0);
    EXPECT_EQ(f->CurrentText(), "one");
    EXPECT_EQ(f->PreviousText(), "");
    EXPECT_EQ(f->FadePercent(), 4);
    EXPECT_EQ(f.timer->Interval(), 30);   // FadeDelay while fading
}

TEST(TextFader, OpacityRisesByFadeStepUntilTheLineIsComplete)
{
    struct Case {
        int step;
        std::vector<int> percents;
    };
    std::vector<int> byFour;
    for (int p = 4; p <= 100; p += 4)
        byFour.push_back(p);
    const Case cases[] = {
        {4, byFour},                 // 25 ticks
        {30, {30, 60, 90, 100}},
        {33, {33, 66, 99, 100}},
        {100, {100}},
        {60, {60, 100}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.step);
        Fader f(kThree);
        f->SetFadeStep(c.step);
        f->SetFadeDelay(25);
        f->SetLineDelay(1500);
        f->SetActive(true);
        std::vector<int> seen;
        for (size_t i = 0; i < c.percents.size(); ++i) {
            ASSERT_TRUE(f.timer->Fire());
            seen.push_back(f->FadePercent());
            // OnComplete only once the line is whole.
            EXPECT_EQ(f.completes, f->FadePercent() == 100 ? 1 : 0);
            EXPECT_EQ(f.timer->Interval(), f->FadePercent() == 100 ? 1500 : 25);
        }
        EXPECT_EQ(seen, c.percents);
        EXPECT_EQ(f->LineIndex(), 0);
    }
}

TEST(TextFader, EachLineRestsForLineDelayThenCrossFadesIntoTheNext)
{
    Fader f(kThree);
    f->SetFadeStep(50);
    f->SetLineDelay(3500);
    f->SetActive(true);
    EXPECT_EQ(f.FadeInLine(), 2);
    EXPECT_EQ(f.timer->Interval(), 3500);
    EXPECT_EQ(f->CurrentText(), "one");

    // The tick after the pause takes the next line; the shown one fades out.
    ASSERT_TRUE(f.timer->Fire());
    EXPECT_EQ(f->LineIndex(), 1);
    EXPECT_EQ(f->PreviousText(), "one");
    EXPECT_EQ(f->CurrentText(), "two");
    EXPECT_EQ(f->FadePercent(), 50);
    EXPECT_EQ(f.timer->Interval(), 30);
    EXPECT_EQ(f.completes, 1);
    ASSERT_TRUE(f.timer->Fire());
    EXPECT_EQ(f.completes, 2);
    EXPECT_EQ(f.timer->Interval(), 3500);
}

TEST(TextFader, RepeatCountZeroStartsAgainAfterTheLastLine)
{
    Fader f(kThree);
    f->SetFadeStep(100);
    f->SetActive(true);
    for (int line = 0; line < 3; ++line)
        f.FadeInLine();
    EXPECT_EQ(f->LineIndex(), 2);
    EXPECT_EQ(f->PassCount(), 0);

    ASSERT_TRUE(f.timer->Fire());
    EXPECT_TRUE(f->Active());
    EXPECT_EQ(f->LineIndex(), 0);
    EXPECT_EQ(f->PassCount(), 1);
    EXPECT_EQ(f->PreviousText(), "three");
    EXPECT_EQ(f->CurrentText(), "one");
    // A few passes more: it never stops by itself.
    for (int i = 0; i < 9; ++i)
        f.FadeInLine();
    EXPECT_TRUE(f->Active());
    EXPECT_EQ(f->PassCount(), 4);
    EXPECT_EQ(f.completes, 13);
}

TEST(TextFader, RepeatCountStopsAfterThatManyPassesAndCompletesOnceMore)
{
    struct Case {
        int repeat;
        int completes;   // per pass one per line, plus one for the stopping tick
    };
    for (const Case c : {Case{1, 4}, Case{2, 7}, Case{3, 10}}) {
        SCOPED_TRACE(c.repeat);
        Fader f(kThree);
        f->SetFadeStep(25);
        f->SetRepeatCount(c.repeat);
        f->SetActive(true);
        int ticks = 0;
        while (f.timer->Fire() && ticks < 1000)
            ++ticks;
        EXPECT_FALSE(f->Active());
        EXPECT_FALSE(f.timer->Enabled());
        EXPECT_EQ(f.completes, c.completes);
        // The last line stays on show, alone.
        EXPECT_EQ(f->LineIndex(), 2);
        EXPECT_EQ(f->CurrentText(), "three");
        EXPECT_EQ(f->PreviousText(), "three");
        EXPECT_EQ(f->FadePercent(), 100);
        EXPECT_EQ(f->PassCount(), c.repeat);
    }
}

TEST(TextFader, ResetWhileActiveRestartsAtLineZeroFromTheBareBackground)
{
    Fader f(kThree);
    f->SetActive(true);
    f.FadeInLine();
    f.timer->Fire();   // line 1 fading in over line 0
    ASSERT_EQ(f->LineIndex(), 1);
    ASSERT_LT(f->FadePercent(), 100);

    f->Reset();
    EXPECT_TRUE(f->Active());
    EXPECT_EQ(f->LineIndex(), -1);
    EXPECT_EQ(f->CurrentText(), "");
    EXPECT_EQ(f->PreviousText(), "");
    EXPECT_EQ(f->FadePercent(), 100);
    EXPECT_EQ(f.timer->Interval(), 5);
    EXPECT_TRUE(f.timer->Enabled());

    ASSERT_TRUE(f.timer->Fire());
    EXPECT_EQ(f->LineIndex(), 0);
    EXPECT_EQ(f->CurrentText(), "one");
    EXPECT_EQ(f->PreviousText(), "");
}

TEST(TextFader, SwitchingOffStopsTheTimerAndKeepsTheTexts)
{
    Fader f(kThree);
    f->SetActive(true);
    f.FadeInLine();
    f.timer->Fire();
    f->SetActive(false);
    EXPECT_FALSE(f.timer->Enabled());
    EXPECT_EQ(f->FadePercent(), 100);
    EXPECT_EQ(f->CurrentText(), "two");
    EXPECT_FALSE(f.timer->Fire());
    EXPECT_EQ(f->LineIndex(), 1);

    // Reset while inactive: nothing shown, the timer left alone.
    const int interval = f.timer->Interval();
    f->Reset();
    EXPECT_EQ(f->CurrentText(), "");
    EXPECT_EQ(f->LineIndex(), -1);
    EXPECT_FALSE(f.timer->Enabled());
    EXPECT_EQ(f.timer->Interval(), interval);

    // On again: the pass counter starts from 0, fading from line 0.
    f->SetActive(true);
    EXPECT_EQ(f->PassCount(), 0);
    f.timer->Fire();
    EXPECT_EQ(f->CurrentText(), "one");
}

TEST(TextFader, FadeStepZeroStillFinishesTheFade)
{
    // A step of 0 used to leave the line at 0 % with the timer ticking for
    // ever; it now counts as the smallest step, 1.
    Fader f(kThree);
    f->SetFadeStep(0);
    EXPECT_EQ(f->FadeStep(), 1);
    f->SetActive(true);
    EXPECT_EQ(f.FadeInLine(1000), 100);
    EXPECT_EQ(f->FadePercent(), 100);
    EXPECT_EQ(f.completes, 1);

    // Steps beyond 100 are whole steps.
    f->SetFadeStep(255);
    EXPECT_EQ(f->FadeStep(), 100);
    EXPECT_EQ(f.FadeInLine(), 1);
    EXPECT_EQ(f->LineIndex(), 1);
    f->SetFadeStep(-5);
    EXPECT_EQ(f->FadeStep(), 1);
}

TEST(TextFader, DelaysTakeEffectOnlyInTheirOwnState)
{
    Fader f(kThree);
    f->SetActive(true);
    f.timer->Fire();   // fading
    f->SetLineDelay(1234);
    EXPECT_EQ(f.timer->Interval(), 30);
    f->SetFadeDelay(40);
    EXPECT_EQ(f.timer->Interval(), 40);
    f.FadeInLine();   // at rest
    EXPECT_EQ(f.timer->Interval(), 1234);
    f->SetFadeDelay(50);
    EXPECT_EQ(f.timer->Interval(), 1234);
    f->SetLineDelay(999);
    EXPECT_EQ(f.timer->Interval(), 999);
    // The same interval again does not restart the countdown.
    const int restarts = f.timer->Restarts();
    f->SetLineDelay(999);
    EXPECT_EQ(f.timer->Restarts(), restarts);
    // Out-of-range delays are kept within 16 bits.
    f->SetLineDelay(70000);
    EXPECT_EQ(f->LineDelay(), 65535);
    f->SetFadeDelay(-1);
    EXPECT_EQ(f->FadeDelay(), 0);
}

TEST(TextFader, ShrinkingLinesKeepsLineIndexInRange)
{
    Fader f({"a", "b", "c", "d"});
    f->SetFadeStep(100);
    f->SetActive(true);
    for (int i = 0; i < 4; ++i)
        f.FadeInLine();
    ASSERT_EQ(f->LineIndex(), 3);
    f->EditLines([](TStringList &l) {
        l.Delete(3);
        l.Delete(2);
    });
    EXPECT_EQ(f->LineIndex(), 1);
    f->SetLines(std::vector<std::string>{});
    EXPECT_EQ(f->LineIndex(), -1);

    // An empty list fades an empty text in and counts a pass on every line.
    f.FadeInLine();
    EXPECT_EQ(f->CurrentText(), "");
    EXPECT_EQ(f->LineIndex(), -1);
    const int passes = f->PassCount();
    f.FadeInLine();
    EXPECT_EQ(f->PassCount(), passes + 1);
    EXPECT_TRUE(f->Active());
}

TEST(TextFader, ActiveFromAStoredLayoutStartsOnlyWhenLoaded)
{
    Fader f(kThree);
    f->BeginLoading();
    f->SetActive(true);
    EXPECT_TRUE(f->Active());
    EXPECT_FALSE(f.timer->Enabled());
    f->Loaded();
    EXPECT_TRUE(f.timer->Enabled());
    EXPECT_EQ(f.timer->Interval(), 5);
}

TEST(TextFader, TimersCanBeSwappedAndMadeByAFactory)
{
    Fader f(kThree);
    f->SetActive(true);
    auto replacement = std::make_unique<TManualFaderTimer>();
    TManualFaderTimer *second = replacement.get();
    f->SetTimer(std::move(replacement));
    f.timer = second;
    EXPECT_TRUE(second->Enabled());
    EXPECT_EQ(second->Interval(), 5);
    ASSERT_TRUE(second->Fire());
    EXPECT_EQ(f->LineIndex(), 0);

    TManualFaderTimer *made = nullptr;
    TTextFader::SetTimerFactory([&made] {
        auto t = std::make_unique<TManualFaderTimer>();
        made = t.get();
        return t;
    });
    TTextFader fromLayout;
    TTextFader::SetTimerFactory(nullptr);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(&fromLayout.Timer(), made);
    fromLayout.SetActive(true);
    EXPECT_TRUE(made->Fire());
    EXPECT_EQ(fromLayout.LineIndex(), 0);
}

TEST(TextFader, RealTimerFadesLinesInOnTheEventLoop)
{
    TTextFader fader;
    fader.SetLines(kThree);
    fader.SetFadeStep(50);
    fader.SetFadeDelay(1);
    fader.SetLineDelay(1);
    int completes = 0;
    fader.OnComplete = [&completes](TTextFader *) { ++completes; };
    fader.SetActive(true);
    QTRY_VERIFY_WITH_TIMEOUT(completes >= 4, 10000);
    EXPECT_GE(fader.PassCount(), 1);   // wrapped round to the first line
    fader.SetActive(false);
    EXPECT_FALSE(fader.Timer().Enabled());
}

TEST(TextFader, DestroyingAnActiveFaderStopsItsTimer)
{
    // A timer that, as it goes with the fader, tries one last tick: a tick
    // that reached the fader then would run in a half-destroyed object.
    struct LastTickTimer : TManualFaderTimer {
        bool *ticked;
        explicit LastTickTimer(bool *t) : ticked(t) {}
        ~LastTickTimer() override { *ticked = Fire() || OnTimer; }
    };
    bool lastTick = true;
    int ticks = 0;
    {
        TTextFader fader(nullptr, std::make_unique<LastTickTimer>(&lastTick));
        fader.SetLines(kThree);
        fader.SetActive(true);
        auto &timer = static_cast<LastTickTimer &>(fader.Timer());
        ASSERT_TRUE(timer.Enabled());
        const auto tick = timer.OnTimer;
        timer.OnTimer = [&ticks, tick] {
            ++ticks;
            tick();
        };
        ASSERT_TRUE(timer.Fire());
    }
    EXPECT_EQ(ticks, 1);
    EXPECT_FALSE(lastTick);
}

// ---- blending and painting -----------------------------------------------------------

TEST(TextFaderBlend, DrawTransparentMixesEachColourByteByPercent)
{
    struct Case {
        QRgb dest, src;
        int percent;
        QRgb expected;
    };
    const Case cases[] = {
        // red 200*70/100 + 0 = 140; green 100*70/100 + 50*30/100 = 85;
        // blue 0 + 255*30/100 = 76 (each division truncating)
        {qRgb(200, 100, 0), qRgb(0, 50, 255), 30, qRgb(140, 85, 76)},
        {qRgb(200, 100, 0), qRgb(0, 50, 255), 0, qRgb(200, 100, 0)},
        {qRgb(200, 100, 0), qRgb(0, 50, 255), 100, qRgb(0, 50, 255)},
        // 255*50/100 + 255*50/100 = 254: never above 255
        {qRgb(255, 255, 255), qRgb(255, 255, 255), 50, qRgb(254, 254, 254)},
        {qRgb(1, 2, 3), qRgb(9, 9, 9), 99, qRgb(0 + 8, 0 + 8, 0 + 8)},
        // out-of-range percents are clamped
        {qRgb(10, 20, 30), qRgb(40, 50, 60), 250, qRgb(40, 50, 60)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.percent);
        QImage dest(3, 2, QImage::Format_RGB32);
        QImage src(3, 2, QImage::Format_RGB32);
        dest.fill(c.dest);
        src.fill(c.src);
        TTextFader::DrawTransparent(dest, src, c.percent);
        EXPECT_EQ(dest.pixel(2, 1), c.expected);
        EXPECT_EQ(dest.pixel(0, 0), c.expected);
    }
}

TEST(TextFaderBlend, DrawTransparentStaysInsideTheSmallerImage)
{
    QImage dest(4, 4, QImage::Format_RGB32);
    QImage src(8, 2, QImage::Format_RGB32);
    dest.fill(qRgb(100, 100, 100));
    src.fill(qRgb(0, 0, 0));
    TTextFader::DrawTransparent(dest, src, 50);
    EXPECT_EQ(dest.pixel(3, 1), qRgb(50, 50, 50));
    EXPECT_EQ(dest.pixel(3, 2), qRgb(100, 100, 100));
}

namespace {

// A fader with a large bold font and an opaque colour of its own.
void Dress(TTextFader &f, TColor back, TColor text)
{
    QFont font;
    font.setPixelSize(30);
    font.setBold(true);
    f.setFont(font);
    f.resize(120, 40);
    f.SetColor(back);
    f.SetFontColor(text);
}

// The first pixel that has exactly the colour.
bool FindPixel(const QImage &img, TColor colour, QPoint &at)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (PixelColor(img, x, y) == colour) {
                at = QPoint(x, y);
                return true;
            }
    return false;
}

int Blend(int cur, int prev, int percent)
{
    return cur * percent / 100 + prev * (100 - percent) / 100;
}

} // namespace

TEST(TextFaderPaint, AFadingLineIsBlendedWithTheBackgroundByItsPercent)
{
    const TColor back = 0x00204080;   // red 80, green 40, blue 20
    const TColor text = 0x00F0C0A0;
    Fader f({"IIII", "...."});
    Dress(*f.fader, back, text);
    f->SetFadeStep(100);
    f->SetActive(true);
    f.FadeInLine();
    const QImage rest = f->grab().toImage();
    QPoint stem;
    ASSERT_TRUE(FindPixel(rest, text, stem)) << "no pixel fully in the text colour";
    EXPECT_EQ(PixelColor(rest, 0, 0), back);

    // Back to line 0 from the bare background, 30 % of the way.
    f->Reset();
    f->SetFadeStep(30);
    f.timer->Fire();
    ASSERT_EQ(f->FadePercent(), 30);
    const QImage fading = f->grab().toImage();
    const QColor got = QColor(fading.pixel(stem));
    EXPECT_EQ(got.red(), Blend(0xA0, 0x80, 30));
    EXPECT_EQ(got.green(), Blend(0xC0, 0x40, 30));
    EXPECT_EQ(got.blue(), Blend(0xF0, 0x20, 30));
    // The background blends with itself: the truncating divisions may take
    // one level off while a line fades.
    const QColor plain = QColor(fading.pixel(0, 0));
    EXPECT_EQ(plain.red(), Blend(0x80, 0x80, 30));
    EXPECT_EQ(plain.green(), Blend(0x40, 0x40, 30));
    EXPECT_EQ(plain.blue(), Blend(0x20, 0x20, 30));
    EXPECT_EQ(f->Compose().pixel(stem), fading.pixel(stem));
}

TEST(TextFaderPaint, ACrossFadeWeighsTheOutgoingLineByTheRest)
{
    const TColor back = clBlack;
    const TColor text = clWhite;
    Fader f({"IIII", ""});
    Dress(*f.fader, back, text);
    f->SetFadeStep(100);
    f->SetActive(true);
    f.FadeInLine();
    QPoint stem;
    ASSERT_TRUE(FindPixel(f->grab().toImage(), text, stem));
    // Line 1 (empty) fades in over line 0: line 0's pixels keep 100 - 40 %.
    f->SetFadeStep(40);
    f.timer->Fire();
    ASSERT_EQ(f->PreviousText(), "IIII");
    const QColor got = QColor(f->grab().toImage().pixel(stem));
    EXPECT_EQ(got.red(), Blend(0, 255, 40));
    EXPECT_EQ(got.green(), Blend(0, 255, 40));
}

TEST(TextFaderPaint, AmpersandsAreDrawnLikeAnyOtherCharacter)
{
    // "&&" would show as one "&" if ampersands marked accelerators.
    auto inkWidth = [](const std::string &line) {
        Fader f({line});
        Dress(*f.fader, clWhite, clBlack);
        f->SetFadeStep(100);
        f->SetActive(true);
        f.FadeInLine();
        const QImage img = f->grab().toImage();
        int left = img.width(), right = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (PixelColor(img, x, y) == clBlack) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        return right - left;
    };
    const int one = inkWidth("&");
    ASSERT_GT(one, 0);
    EXPECT_GT(inkWidth("&&"), one + one / 2);
}

TEST(TextFaderPaint, ATextTallerThanTheControlIsCutAtTopAndBottomAlike)
{
    Fader f({"IIII"});
    Dress(*f.fader, clWhite, clBlack);
    f->resize(120, 10);   // far below the font's height
    f->SetFadeStep(100);
    f->SetActive(true);
    f.FadeInLine();
    const QImage img = f->grab().toImage();
    // The stems run through the whole height: the middle of the text shows.
    int top = 0, bottom = 0;
    for (int x = 0; x < img.width(); ++x) {
        top += PixelColor(img, x, 0) == clBlack;
        bottom += PixelColor(img, x, 9) == clBlack;
    }
    EXPECT_GT(top, 0);
    EXPECT_GT(bottom, 0);
}

TEST(TextFaderPaint, ResetWhileInactiveShowsTheBackgroundOnly)
{
    Fader f(kThree);
    Dress(*f.fader, 0x00336699, clWhite);
    f->SetActive(true);
    f.FadeInLine();
    f->SetActive(false);
    QPoint any;
    ASSERT_TRUE(FindPixel(f->grab().toImage(), clWhite, any));
    f->Reset();
    const QImage img = f->grab().toImage();
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            ASSERT_EQ(PixelColor(img, x, y), TColor(0x00336699)) << x << "," << y;
}

namespace {

// A picture whose every pixel tells where it came from.
QPixmap Gradient(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb(x * 5, y * 5, 7));
    return QPixmap::fromImage(img);
}

} // namespace

TEST(TextFaderPaint, BackgroundModesPlaceThePicture)
{
    Fader f({});
    f->resize(20, 10);
    f->SetColor(clBlack);
    f->SetBackground(Gradient(40, 40));

    // Centred: a picture larger than the control shows its middle part.
    f->SetBackgroundMode(bmCentered);
    QImage img = f->grab().toImage();
    EXPECT_EQ(img.pixel(0, 0), qRgb(10 * 5, 15 * 5, 7));
    EXPECT_EQ(img.pixel(19, 9), qRgb(29 * 5, 24 * 5, 7));

    // Tiled: copies from the top-left corner.
    f->SetBackground(Gradient(7, 3));
    f->SetBackgroundMode(bmTiled);
    img = f->grab().toImage();
    EXPECT_EQ(img.pixel(0, 0), qRgb(0, 0, 7));
    EXPECT_EQ(img.pixel(8, 4), qRgb(1 * 5, 1 * 5, 7));
    EXPECT_EQ(img.pixel(19, 9), qRgb((19 % 7) * 5, 0, 7));

    // None: the colour alone.
    f->SetBackgroundMode(bmNone);
    img = f->grab().toImage();
    EXPECT_EQ(PixelColor(img, 8, 4), clBlack);
}

TEST(TextFaderPaint, WithTheParentsColourTheParentShowsThrough)
{
    QWidget parent;
    parent.resize(200, 80);
    QPalette pal = parent.palette();
    pal.setColor(QPalette::Window, QColor(255, 255, 255));
    parent.setPalette(pal);
    parent.setAutoFillBackground(true);
    // A sibling below the fader, overlapping its left part.
    QWidget below(&parent);
    below.setGeometry(10, 10, 30, 40);
    QPalette red = below.palette();
    red.setColor(QPalette::Window, QColor(255, 0, 0));
    below.setPalette(red);
    below.setAutoFillBackground(true);

    auto timer = std::make_unique<TManualFaderTimer>();
    TManualFaderTimer *t = timer.get();
    TTextFader fader(&parent, std::move(timer));
    fader.setGeometry(20, 20, 150, 40);
    QFont font;
    font.setPixelSize(30);
    font.setBold(true);
    fader.setFont(font);
    fader.SetLines(std::vector<std::string>{"IIII"});
    fader.SetFontColor(clBlack);
    fader.SetBackgroundMode(bmNone);
    ASSERT_TRUE(fader.ParentColor());
    ASSERT_TRUE(fader.ShowsParent());
    EXPECT_EQ(fader.Color(), clWhite);

    fader.SetFadeStep(100);
    fader.SetActive(true);
    t->Fire();
    const QImage rest = parent.grab().toImage();
    // Outside the text: the parent, and the sibling beneath the fader.
    EXPECT_EQ(PixelColor(rest, 160, 22), clWhite);
    EXPECT_EQ(PixelColor(rest, 22, 22), clRed);
    QPoint stem;
    ASSERT_TRUE(FindPixel(rest.copy(fader.geometry()), clBlack, stem));
    stem += fader.pos();

    // Half faded in over the white parent: about mid grey.
    fader.Reset();
    fader.SetFadeStep(50);
    t->Fire();
    const QColor mid = QColor(parent.grab().toImage().pixel(stem));
    EXPECT_NEAR(mid.red(), 128, 2);
    EXPECT_NEAR(mid.blue(), 128, 2);

    // An explicit colour is painted, hiding what lies beneath.
    fader.SetColor(0x00008000);
    EXPECT_FALSE(fader.ShowsParent());
    EXPECT_EQ(PixelColor(parent.grab().toImage(), 22, 22), TColor(0x00008000));
    // Transparent shows the parent again, whatever the colour.
    fader.SetTransparent(true);
    EXPECT_EQ(PixelColor(parent.grab().toImage(), 22, 22), clRed);
}

// ---- mouse -----------------------------------------------------------------------------

namespace {

class PressCounter : public QWidget {
public:
    int presses = 0;

protected:
    void mousePressEvent(QMouseEvent *e) override
    {
        ++presses;
        e->accept();
    }
};

} // namespace

TEST(TextFaderMouse, ClicksReachTheParentUnlessSomeoneListens)
{
    PressCounter window;
    window.resize(300, 100);
    TTextFader fader(&window);
    fader.setGeometry(10, 10, 200, 30);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(&fader, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(window.presses, 1);

    QSignalSpy clicks(&fader, &TTextFader::clicked);
    QTest::mouseClick(&fader, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(window.presses, 1);
    QTest::mouseClick(&fader, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks.count(), 1);
}
