// The gradient title bar on a real (offscreen) frameless window: rendering,
// the caption buttons, the right-click menu and switching back to native
// decorations.
#include "support/GradCapt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

constexpr int ClientW = 400, ClientH = 200;

class MainLikeForm : public QMainWindow {
public:
    MainLikeForm()
    {
        // Fixed border, system menu and minimise only, as the main window.
        setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                       | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
        auto *label = new QLabel(QStringLiteral("client area"));
        label->setObjectName(QStringLiteral("Client"));
        label->setAutoFillBackground(true);
        label->setAlignment(Qt::AlignCenter);
        setCentralWidget(label);
        setFixedSize(ClientW, ClientH);
        QPixmap icon(16, 16);
        icon.fill(Qt::transparent);
        QPainter p(&icon);
        p.setBrush(QColor(255, 200, 0));
        p.setPen(Qt::black);
        p.drawEllipse(1, 1, 13, 13);
        p.setBrush(Qt::black);
        p.drawEllipse(6, 6, 3, 3);
        p.end();
        setWindowIcon(QIcon(icon));
    }
    int closeEvents = 0;

protected:
    void closeEvent(QCloseEvent *e) override
    {
        ++closeEvents;
        QMainWindow::closeEvent(e);
    }
};

std::string outputPath(const char *name)
{
    const char *dir = std::getenv("MIXDECK_BINARY_DIR");
    return std::string(dir && *dir ? dir : ".") + "/" + name;
}

// The component as the main window's layout sets it up.
TGradientCaption *mainWindowCaption(QWidget *form, int *activations = nullptr,
                                    int *deactivations = nullptr)
{
    auto *c = new TGradientCaption(form, /*loading=*/true);
    c->Captions().Add();
    TCaptionFont f;
    f.Font = QFont(QStringLiteral("Arial"));
    f.Font.setPixelSize(13);
    f.Font.setBold(true);
    f.Font.setItalic(true);
    f.Color = clWhite;
    c->SetFont(f);
    c->SetGradientInactive(true);
    c->SetStartColor(clBlue);
    if (activations)
        c->OnActivate = [activations](QObject *) { ++*activations; };
    if (deactivations)
        c->OnDeactivate = [deactivations](QObject *) { ++*deactivations; };
    c->Loaded();
    c->SetFormCaption("MIXDECK Version 2.1.0.14 (RC1)");
    return c;
}

bool hasColour(const QImage &img, const QRect &area, const QColor &c)
{
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (img.pixelColor(x, y) == c)
                return true;
    return false;
}

class CaptionWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<MainLikeForm>();
        caption = mainWindowCaption(form.get(), &activations, &deactivations);
        form->show();
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    void TearDown() override
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (qobject_cast<QMenu *>(w))
                w->close();
    }

    std::unique_ptr<MainLikeForm> form;
    TGradientCaption *caption = nullptr;
    int activations = 0, deactivations = 0;
};

} // namespace

TEST_F(CaptionWindow, FramelessWithBarFrameAndClientAreaKept)
{
    EXPECT_TRUE(caption->OwnsDecorations());
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    // Fixed frame 3, caption 19: the client area keeps its size.
    EXPECT_EQ(form->size(), QSize(ClientW + 6, ClientH + 6 + 19));
    EXPECT_EQ(form->contentsMargins(), QMargins(3, 22, 3, 3));
    QWidget *client = form->findChild<QWidget *>(QStringLiteral("Client"));
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->geometry(), QRect(3, 22, ClientW, ClientH));

    QWidget *bar = caption->CaptionBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->geometry(), QRect(3, 3, ClientW, 18));
    // Minimise and a disabled maximise (the window cannot be maximised), close.
    QAbstractButton *min = caption->CaptionButton(TCaptionButtonKind::Minimize);
    QAbstractButton *max = caption->CaptionButton(TCaptionButtonKind::Maximize);
    QAbstractButton *close = caption->CaptionButton(TCaptionButtonKind::Close);
    ASSERT_TRUE(min && max && close);
    EXPECT_TRUE(min->isVisible() && max->isVisible() && close->isVisible());
    EXPECT_TRUE(min->isEnabled());
    EXPECT_FALSE(max->isEnabled());
    EXPECT_TRUE(close->isEnabled());
    EXPECT_FALSE(caption->CaptionButton(TCaptionButtonKind::Help)->isVisible());
    EXPECT_EQ(close->geometry(), QRect(ClientW - 18, 2, 16, 14));
    EXPECT_EQ(max->geometry(), QRect(ClientW - 36, 2, 16, 14));
    EXPECT_EQ(min->geometry(), QRect(ClientW - 52, 2, 16, 14));
    // Caption rectangle: inside the frame, three buttons' room left over.
    TBorderIcons icons = 0;
    EXPECT_EQ(caption->CalculateGradientParams(&icons), TRect(3, 3, 3 + ClientW - 54, 21));
    EXPECT_EQ(icons, TBorderIcons(biSystemMenu | biMinimize));
    EXPECT_EQ(caption->FormBorderStyle(), TFormBorderStyle::bsSingle);
}

TEST_F(CaptionWindow, RendersActiveAndInactiveStates)
{
    EXPECT_TRUE(caption->WindowActive());
    const QImage active = form->grab().toImage();
    EXPECT_TRUE(active.save(QString::fromStdString(outputPath("caption-active.png"))));

    // Another window takes the activation.
    QWidget other;
    other.resize(100, 100);
    other.move(600, 400);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_FALSE(caption->WindowActive());
    const QImage inactive = form->grab().toImage();
    EXPECT_TRUE(inactive.save(QString::fromStdString(outputPath("caption-inactive.png"))));

    const QColor activeEnd(166, 202, 240), inactiveEnd(192, 192, 192);
    // The button area carries the end colour of the state.
    const QPoint buttonGap(3 + ClientW - 55 + 1, 3);   // left of the minimise button
    EXPECT_EQ(active.pixelColor(3 + ClientW - 1, 4), activeEnd);
    EXPECT_EQ(inactive.pixelColor(3 + ClientW - 1, 4), inactiveEnd);
    // Gradient in both states (GradientInactive): blue-ish at the left end.
    const QColor leftActive = active.pixelColor(3 + 20, 3);
    EXPECT_GT(leftActive.blue(), leftActive.red() + 50);
    const QColor leftInactive = inactive.pixelColor(3 + 20, 3);
    EXPECT_GT(leftInactive.blue(), leftInactive.red() + 50);
    EXPECT_NE(active.pixelColor(3 + 100, 3), inactive.pixelColor(3 + 100, 3));
    // White text while active, the inactive caption text colour otherwise.
    const QRect textArea(3 + 20, 3, 250, 18);
    EXPECT_TRUE(hasColour(active, textArea, QColor(255, 255, 255)));
    EXPECT_TRUE(hasColour(inactive, textArea, QColor(212, 208, 200)));
    EXPECT_FALSE(hasColour(inactive, textArea, QColor(255, 255, 255)));
    // The icon sits in the square at the left of the bar.
    EXPECT_TRUE(hasColour(active, QRect(3 + 2, 3 + 1, 16, 16), QColor(255, 200, 0)));
    // Classic raised frame: light outer top-left, dark shadow outer bottom-right.
    EXPECT_EQ(active.pixelColor(0, 0), QColor(212, 208, 200));
    EXPECT_EQ(active.pixelColor(1, 1), QColor(255, 255, 255));
    EXPECT_EQ(active.pixelColor(form->width() - 1, form->height() - 1), QColor(64, 64, 64));
    EXPECT_EQ(active.pixelColor(form->width() - 2, form->height() - 2), QColor(128, 128, 128));
    // The line under the caption is button face.
    EXPECT_EQ(active.pixelColor(50, 21), QColor(212, 208, 200));
    (void)buttonGap;

    // Back to the form.
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    EXPECT_TRUE(caption->WindowActive());
}

TEST_F(CaptionWindow, MinimiseAndCloseThroughTheBarsButtons)
{
    QAbstractButton *min = caption->CaptionButton(TCaptionButtonKind::Minimize);
    QTest::mouseClick(min, Qt::LeftButton);
    EXPECT_TRUE(form->isMinimized());
    form->showNormal();
    EXPECT_FALSE(form->isMinimized());

    // The disabled maximise button does nothing.
    QTest::mouseClick(caption->CaptionButton(TCaptionButtonKind::Maximize), Qt::LeftButton);
    EXPECT_FALSE(form->isMaximized());

    QTest::mouseClick(caption->CaptionButton(TCaptionButtonKind::Close), Qt::LeftButton);
    EXPECT_EQ(form->closeEvents, 1);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(CaptionWindow, MaximiseWorksForASizeableWindow)
{
    QWidget w;
    w.resize(300, 150);
    auto *c = new TGradientCaption(&w);
    c->SetFormCaption("sizeable");
    w.show();
    EXPECT_EQ(c->FormBorderStyle(), TFormBorderStyle::bsSizeable);
    EXPECT_EQ(w.contentsMargins(), QMargins(4, 23, 4, 4));
    QAbstractButton *max = c->CaptionButton(TCaptionButtonKind::Maximize);
    ASSERT_TRUE(max && max->isEnabled());
    QTest::mouseClick(max, Qt::LeftButton);
    EXPECT_TRUE(w.isMaximized());
    // The bar follows the new width.
    QTest::qWait(0);
    EXPECT_EQ(c->CaptionBar()->width(), w.width() - 8);
    QTest::mouseClick(max, Qt::LeftButton);
    EXPECT_FALSE(w.isMaximized());
}

TEST_F(CaptionWindow, ActiveFalseGivesBackNativeDecorations)
{
    caption->SetActive(false);
    EXPECT_EQ(deactivations, 1);
    EXPECT_FALSE(caption->OwnsDecorations());
    EXPECT_FALSE(form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(form->size(), QSize(ClientW, ClientH));
    EXPECT_EQ(form->contentsMargins(), QMargins());
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(caption->CaptionBar()->isVisible());
    QWidget *client = form->findChild<QWidget *>(QStringLiteral("Client"));
    EXPECT_EQ(client->geometry(), QRect(0, 0, ClientW, ClientH));

    caption->SetActive(true);
    EXPECT_EQ(activations, 1);
    EXPECT_TRUE(form->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(form->size(), QSize(ClientW + 6, ClientH + 25));
    EXPECT_TRUE(caption->CaptionBar()->isVisible());
}

TEST_F(CaptionWindow, RightClickShowsThePopupMenuOrTheWindowMenu)
{
    QWidget *bar = caption->CaptionBar();
    // Without a popup menu: the window menu.
    QTest::mouseClick(bar, Qt::RightButton, {}, QPoint(100, 8));
    QMenu *system = form->findChild<QMenu *>(QStringLiteral("SystemMenu"));
    ASSERT_NE(system, nullptr);
    EXPECT_TRUE(system->isVisible());
    system->close();

    QMenu popup;
    popup.addAction(QStringLiteral("Item"));
    caption->SetPopupMenu(&popup);
    QTest::mouseClick(bar, Qt::RightButton, {}, QPoint(100, 8));
    EXPECT_TRUE(popup.isVisible());
    EXPECT_EQ(popup.property("PopupComponent").value<QObject *>(), caption);
    popup.close();

    // Automatic pop-up off: the window menu again.
    popup.setProperty("AutoPopup", false);
    QTest::mouseClick(bar, Qt::RightButton, {}, QPoint(100, 8));
    EXPECT_FALSE(popup.isVisible());
    caption->SetPopupMenu(nullptr);
}

TEST_F(CaptionWindow, FormCaptionRepaintsAndFreedMenusAreForgotten)
{
    caption->SetFormCaption("Another title");
    EXPECT_EQ(caption->FormCaption(), "Another title");
    // The form's own title follows the painted text, segments included.
    auto title = [&] { return form->windowTitle().toStdString(); };
    EXPECT_EQ(title(), caption->CaptionText());
    TGradCaptionItem *segment = caption->Captions().Items(0);
    ASSERT_TRUE(segment);
    segment->SetCaption("Segment: ");
    EXPECT_EQ(title(), "Segment: Another title");
    segment->SetVisible(false);
    EXPECT_EQ(title(), "Another title");
    caption->SetFormCaption("D\xE9j\xE0");
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("D\u00E9j\u00E0"));
    auto *menu = new QMenu();
    caption->SetPopupMenu(menu);
    delete menu;
    EXPECT_EQ(caption->PopupMenu(), nullptr);
}

TEST(CaptionWindowEdges, BorderlessFormIsLeftAlone)
{
    QWidget w(nullptr, Qt::Window | Qt::FramelessWindowHint);
    w.resize(200, 100);
    auto *c = new TGradientCaption(&w);
    c->SetFormCaption("nothing");
    w.show();
    EXPECT_FALSE(c->OwnsDecorations());
    EXPECT_EQ(c->CaptionBar(), nullptr);
    EXPECT_EQ(w.size(), QSize(200, 100));
    EXPECT_EQ(w.contentsMargins(), QMargins());
}

TEST(CaptionWindowEdges, ToolWindowsGetTheSmallCaption)
{
    QWidget w(nullptr, Qt::Tool);
    w.setFixedSize(200, 100);
    auto *c = new TGradientCaption(&w);
    c->SetFormCaption("tool");
    w.show();
    EXPECT_EQ(c->FormBorderStyle(), TFormBorderStyle::bsToolWindow);
    EXPECT_EQ(w.contentsMargins(), QMargins(3, 19, 3, 3));
    TBorderIcons icons = 0;
    EXPECT_EQ(c->CalculateGradientParams(&icons), TRect(3, 3, 3 + 200 - 12, 18));
    EXPECT_EQ(icons, TBorderIcons(biSystemMenu));
    EXPECT_TRUE(c->CaptionButton(TCaptionButtonKind::Close)->isVisible());
    EXPECT_FALSE(c->CaptionButton(TCaptionButtonKind::Minimize)->isVisible());
}

TEST(CaptionWindowEdges, DestroyingTheFormOrTheComponent)
{
    {
        auto *w = new MainLikeForm();
        QPointer<TGradientCaption> c = mainWindowCaption(w);
        w->show();
        delete w;   // the component goes with its form
        EXPECT_TRUE(c.isNull());
    }
    {
        MainLikeForm w;
        auto *c = mainWindowCaption(&w);
        w.show();
        delete c;   // the form gets its decorations back
        EXPECT_FALSE(w.windowFlags() & Qt::FramelessWindowHint);
        EXPECT_EQ(w.size(), QSize(ClientW, ClientH));
        EXPECT_EQ(w.findChild<QWidget *>(QStringLiteral("GradCaptionBar")), nullptr);
    }
}

TEST(CaptionWindowEdges, GradientFormCaptionTakesTheWindowTitle)
{
    QWidget w;
    w.setWindowTitle(QStringLiteral("Title \u00E9t\u00E9"));
    w.resize(200, 100);
    TGradientCaption *c = GradientFormCaption(&w, clRed);
    EXPECT_EQ(c->StartColor(), clRed);
    EXPECT_EQ(c->FormCaption(), "Title \xE9t\xE9");
    EXPECT_TRUE(c->OwnsDecorations());
}
