// The rest of the drawing and window utilities: platform stand-ins (shared
// libraries, error texts, system version, previous instance), message
// boxes, bitmaps and cells.
#include "support/Cursors.h"
#include "support/Maxmin.h"
#include "support/VCLUtils.h"

#include "platform/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QTest>
#include <QVariant>
#include <QWidget>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <dlfcn.h>
#include <sys/utsname.h>
#include <thread>

TEST(VCLUtilsMore, SystemVersionTable)
{
    struct Case {
        const char *sysname, *release, *text;
    } cases[] = {
        {"Linux", "6.1.0-18-amd64", "Linux 6.01.000 -18-amd64"},
        {"Linux", "5.15.123", "Linux 5.15.123"},
        {"Linux", "4.9", "Linux 4.09.000"},
        {"Linux", "", "Linux 0.00.000"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(FormatSystemVersion(c.sysname, c.release), c.text);
    struct utsname u;
    ASSERT_EQ(uname(&u), 0);
    EXPECT_EQ(GetWindowsVersion().rfind(std::string(u.sysname) + " ", 0), 0u) << GetWindowsVersion();
}

TEST(VCLUtilsMore, LibrariesAndErrors)
{
    void *m = LoadDLL("libm.so.6");
    ASSERT_NE(m, nullptr);
    auto cosine = reinterpret_cast<double (*)(double)>(dlsym(m, "cos"));
    ASSERT_NE(cosine, nullptr);
    EXPECT_DOUBLE_EQ(cosine(0.0), 1.0);
    FreeDLL(m);
    try {
        LoadDLL("libnothing-here.so.9");
        FAIL();
    } catch (const EWin32Error &e) {
        EXPECT_EQ(e.Message.rfind("Win32 Error.  Code: ", 0), 0u) << e.Message;
        EXPECT_NE(e.Message.find("libnothing-here"), std::string::npos) << e.Message;
    }
    try {
        RaiseWin32Error(ENOENT);
        FAIL();
    } catch (const EWin32Error &e) {
        EXPECT_EQ(e.Message, "Win32 Error.  Code: 2.\nNo such file or directory");
        EXPECT_EQ(e.ErrorCode, ENOENT);
    }
    EXPECT_NO_THROW(RaiseWin32Error(0));
    EXPECT_NO_THROW(CheckWin32(true));
    errno = EACCES;
    EXPECT_THROW(CheckWin32(false), EWin32Error);
}

TEST(VCLUtilsMore, MessageBoxesAndNotImplemented)
{
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scope(dialogs);
    dialogs.AnswerButton(Dialogs::Button::No);
    EXPECT_EQ(MsgBox("Cap", "Text?", MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2), IDNO);
    ASSERT_EQ(dialogs.MessageBoxes().size(), 1u);
    const auto c = dialogs.MessageBoxes()[0];
    EXPECT_EQ(c.caption, "Cap");
    EXPECT_EQ(c.buttons, Dialogs::Button::Yes | Dialogs::Button::No | Dialogs::Button::Cancel);
    EXPECT_EQ(c.icon, Dialogs::Icon::Question);
    EXPECT_EQ(c.defaultButton, Dialogs::Button::No);

    dialogs.AnswerButton(Dialogs::Button::OK);
    EXPECT_EQ(MsgDlg("Saved.", mtInformation, mbOK), mrOk);
    EXPECT_EQ(dialogs.MessageBoxes()[1].caption, "Information");
    EXPECT_EQ(dialogs.MessageBoxes()[1].icon, Dialogs::Icon::Information);

    Screen::SetCursor(crHourGlass);
    dialogs.AnswerButton(Dialogs::Button::OK);
    EXPECT_THROW(NotImplemented(), EAbort);
    EXPECT_EQ(dialogs.MessageBoxes().back().text, "Function not yet implemented");
    EXPECT_EQ(dialogs.MessageBoxes().back().icon, Dialogs::Icon::Information);
    EXPECT_EQ(Screen::Cursor(), crDefault);
}

namespace {

// ActivatePrevInstance as a later instance calls it, on a thread of its own
// (it waits for the answer), while this one's event loop runs.
bool ActivateFromAnotherThread(const std::string &cls, const std::string &title, int waitMs)
{
    std::atomic<int> result{-1};
    std::thread later([&] { result = ActivatePrevInstance(cls, title, waitMs) ? 1 : 0; });
    QElapsedTimer t;
    t.start();
    while (result < 0 && t.elapsed() < 30000)
        QTest::qWait(5);
    later.join();
    return result == 1;
}

} // namespace

TEST(VCLUtilsMore, PreviousInstanceThroughALocalSocket)
{
    QWidget window;
    window.setWindowTitle("MIXDECK");
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const std::string cls = "TMainFormTest" + std::to_string(QCoreApplication::applicationPid());
    EXPECT_FALSE(FindPrevInstance(cls, "MIXDECK"));
    EXPECT_FALSE(ActivatePrevInstance(cls, "MIXDECK"));
    int told = 0;
    ASSERT_TRUE(RegisterInstance(cls, "MIXDECK", &window, [&told] { ++told; }));
    EXPECT_TRUE(FindPrevInstance(cls, "MIXDECK"));
    EXPECT_FALSE(FindPrevInstance(cls, "Other title"));
    EXPECT_FALSE(FindPrevInstance("", ""));

    window.showMinimized();
    QCoreApplication::processEvents();
    ASSERT_TRUE(ActivateFromAnotherThread(cls, "MIXDECK", 5000));
    EXPECT_FALSE(window.isMinimized());
    EXPECT_EQ(told, 1);

    // A request nobody reads is no success: this thread does not answer
    // while it waits itself.
    EXPECT_FALSE(ActivatePrevInstance(cls, "MIXDECK", 300));

    UnregisterInstance();
    EXPECT_FALSE(FindPrevInstance(cls, "MIXDECK"));
}

TEST(VCLUtilsMore, PreviousInstanceAnswersOnceAWindowCameForward)
{
    // Listening before there is a window: a request waits for it, and is
    // answered when it is named; one that gave up meanwhile is not told.
    const std::string cls = "TMainFormEarly" + std::to_string(QCoreApplication::applicationPid());
    int told = 0;
    ASSERT_TRUE(RegisterInstance(cls, "MIXDECK", nullptr, [&told] { ++told; }));
    EXPECT_FALSE(ActivateFromAnotherThread(cls, "MIXDECK", 300));
    std::atomic<int> result{-1};
    std::thread later([&] { result = ActivatePrevInstance(cls, "MIXDECK", 20000) ? 1 : 0; });
    QTest::qWait(200);
    EXPECT_EQ(result, -1) << "answered before any window came forward";
    QWidget window;
    window.show();
    SetInstanceWindow(&window);
    QElapsedTimer t;
    t.start();
    while (result < 0 && t.elapsed() < 30000)
        QTest::qWait(5);
    later.join();
    EXPECT_EQ(result, 1);
    EXPECT_EQ(told, 1);
    UnregisterInstance();
}

TEST(VCLUtilsMore, SmallRoutinesTable)
{
    const QPoint triangle[] = {{0, 0}, {10, 0}, {0, 10}};
    EXPECT_TRUE(PointInPolyRgn({2, 2}, triangle, 2));
    EXPECT_FALSE(PointInPolyRgn({9, 9}, triangle, 2));
    EXPECT_FALSE(PointInPolyRgn({2, 2}, triangle, 1));

    EXPECT_TRUE(MakeVariant({}).isNull());
    EXPECT_EQ(MakeVariant({QVariant(5)}), QVariant(5));
    EXPECT_EQ(MakeVariant({QVariant(1), QVariant("a")}).toList(), (QVariantList{1, "a"}));
    EXPECT_EQ(MaxOf({QVariant(3), QVariant(9), QVariant(4)}).toInt(), 9);
    EXPECT_EQ(MinOf({QVariant(3.5), QVariant(-2), QVariant(4)}).toDouble(), -2);
    EXPECT_EQ(MaxOf({QVariant("b"), QVariant("a")}).toString(), "b");
    EXPECT_THROW(MaxOf({}), std::invalid_argument);

    const char a[] = "abcdef", b[] = "abcdeX";
    EXPECT_TRUE(CompareMem(a, b, 5));
    EXPECT_FALSE(CompareMem(a, b, 6));
    EXPECT_TRUE(CompareMem(nullptr, nullptr, 0));
    char *p = StrPAlloc("copy");
    EXPECT_STREQ(p, "copy");
    StrDispose(p);
    const std::string s = "text";
    EXPECT_STREQ(StringToPChar(s), "text");

    QWidget w;
    EXPECT_EQ(WindowClassName(&w), "QWidget");
    EXPECT_FALSE(ScreenWorkArea().IsEmpty());
    QWidget parent;
    parent.resize(200, 100);
    auto *child = new QWidget(&parent);
    child->resize(50, 20);
    CenterControl(child);
    EXPECT_EQ(child->pos(), QPoint(75, 40));
    child->resize(400, 20);
    CenterControl(child);
    EXPECT_EQ(child->pos().x(), 0);  // kept at 0 or more

    // A posted event removed before it is delivered never arrives.
    struct Counter : QObject {
        int seen = 0;
        bool event(QEvent *e) override
        {
            if (e->type() == QEvent::User + 7)
                ++seen;
            return QObject::event(e);
        }
    } counter;
    QCoreApplication::postEvent(&counter, new QEvent(QEvent::Type(QEvent::User + 7)));
    KillMessage(&counter, QEvent::User + 7);
    QCoreApplication::processEvents();
    EXPECT_EQ(counter.seen, 0);

    QFont f("Default");
    f.setBold(true);
    const TRotatedFont rf = CreateRotatedFont(f, 90);
    EXPECT_EQ(rf.Escapement, 900);
    EXPECT_EQ(rf.Font.weight(), QFont::Bold);
    EXPECT_NE(rf.Font.family(), "Default");
}

TEST(VCLUtilsMore, BitmapsTable)
{
    // Cells: a 4 by 2 sheet of 10-pixel cells, each its own grey.
    QImage sheet(40, 20, QImage::Format_RGB32);
    for (int i = 0; i < 8; ++i) {
        QPainter p(&sheet);
        p.fillRect((i % 4) * 10, (i / 4) * 10, 10, 10, QColor(i * 20, i * 20, i * 20));
    }
    QImage cell;
    AssignBitmapCell(sheet, cell, 4, 2, 5);
    EXPECT_EQ(cell.size(), QSize(10, 10));
    EXPECT_EQ(cell.pixelColor(5, 5), QColor(100, 100, 100));
    AssignBitmapCell(sheet, cell, 0, 0, -3);  // one cell: the whole sheet
    EXPECT_EQ(cell.size(), QSize(40, 20));

    // Disabled look: the dark pixel in shadow, its highlight one pixel on.
    QImage glyph(6, 6, QImage::Format_RGB32);
    glyph.fill(Qt::white);
    glyph.setPixel(2, 2, qRgb(0, 0, 0));
    glyph.setPixel(4, 4, qRgb(255, 0, 0));  // the outline colour: ignored
    const QImage dis = CreateDisabledBitmapEx(glyph, 0x0000FF, 0xC0C0C0, 0xFFFFFF, 0x808080, true);
    EXPECT_EQ(dis.pixelColor(2, 2), QColor(128, 128, 128));
    EXPECT_EQ(dis.pixelColor(3, 3), QColor(255, 255, 255));
    EXPECT_EQ(dis.pixelColor(4, 4), QColor(192, 192, 192));
    EXPECT_EQ(dis.pixelColor(0, 0), QColor(192, 192, 192));

    // The hatch keeps one pixel in four per row (rows $11 $22 $44 $88).
    QImage canvas(8, 8, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    {
        QPainter p(&canvas);
        ShadeRect(p, TRect(0, 0, 8, 8));
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool kept = (x % 4) == (3 - y % 4);
            EXPECT_EQ(canvas.pixelColor(x, y), kept ? QColor(Qt::white) : QColor(Qt::black)) << x << "," << y;
        }

    // Transparent copies leave the key colour's pixels out.
    QImage src(4, 4, QImage::Format_RGB32);
    src.fill(qRgb(255, 0, 255));
    src.setPixel(1, 1, qRgb(0, 128, 0));
    QImage dest(4, 4, QImage::Format_RGB32);
    dest.fill(Qt::white);
    {
        QPainter p(&dest);
        DrawTransparentBitmap(p, src, 0, 0, 0xFF00FF);
    }
    EXPECT_EQ(dest.pixelColor(0, 0), QColor(Qt::white));
    EXPECT_EQ(dest.pixelColor(1, 1), QColor(0, 128, 0));
    const QIcon icon = CreateIconFromBitmap(src, clDefault);
    const QImage iconImg = icon.pixmap(4, 4).toImage();
    EXPECT_EQ(qAlpha(iconImg.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(iconImg.pixel(1, 1)), 255);

    EXPECT_THROW(MakeBitmap("NO_SUCH_BITMAP"), EResNotFound);
    EXPECT_TRUE(MakeIcon("NO_SUCH_ICON").isNull());
    QImage indexed(2, 2, QImage::Format_Indexed8);
    indexed.setColorCount(16);
    EXPECT_EQ(PaletteEntries(indexed), 16);
    EXPECT_EQ(PaletteEntries(src), 0);

    // Cell text lands inside its rectangle.
    QImage cellImg(60, 20, QImage::Format_RGB32);
    cellImg.fill(Qt::white);
    {
        QPainter p(&cellImg);
        p.setPen(Qt::black);
        DrawCellText(p, 0, 0, "Wg", TRect(0, 0, 30, 20), Qt::AlignLeft, vaCenter);
    }
    bool leftInk = false, rightInk = false;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 60; ++x)
            if (cellImg.pixelColor(x, y) != QColor(Qt::white))
                (x < 30 ? leftInk : rightInk) = true;
    EXPECT_TRUE(leftInk);
    EXPECT_FALSE(rightInk);
}
