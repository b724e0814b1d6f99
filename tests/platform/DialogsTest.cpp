#include "platform/Dialogs.h"
#include "platform/ScriptedDialogs.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include "common/TestUtil.h"

#include <cstdlib>
#include <functional>
#include <memory>

using Dialogs::Button;
using Dialogs::Buttons;
using Dialogs::Icon;
using Kind = ScriptedDialogs::Kind;

// ---- pure helpers ------------------------------------------------------------

TEST(DialogFilters, WindowsFiltersBecomeQtNameFilters)
{
    struct Case {
        const char *windows;
        const char *qt;
    } cases[] = {
        {"", ""},
        {"Compilations|*.cmp", "Compilations (*.cmp)"},
        {"Pictures|*.bmp;*.jpg;*.jpeg|All files|*.*",
         "Pictures (*.bmp *.jpg *.jpeg);;All files (*.*)"},
        // blanks around patterns, empty pattern entries
        {"Text| *.txt ; *.csv ;", "Text (*.txt *.csv)"},
        // the description may already name the patterns; it stays as written
        {"CD Player file (cdplayer.ini)|cdplayer.ini",
         "CD Player file (cdplayer.ini) (cdplayer.ini)"},
        // no pattern at all: everything
        {"Anything|", "Anything (*)"},
        // no description: the patterns stand for it
        {"|*.htm", "*.htm (*.htm)"},
        // an incomplete last pair is left out
        {"HTML|*.html|Orphan", "HTML (*.html)"},
        {"Orphan", ""},
        // Windows-1252 bytes pass through untouched
        {"Fich\xe9rs|*.txt", "Fich\xe9rs (*.txt)"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.windows);
        EXPECT_EQ(Dialogs::QtFilter(c.windows), c.qt);
    }
    EXPECT_EQ(Dialogs::QtFilterList("A|*.a|B|*.b;*.c").size(), 2u);
}

TEST(DialogButtons, DefaultIsTheNamedButtonOrTheFirstInLayoutOrder)
{
    struct Case {
        Buttons set;
        Button requested;
        Button effective;
    } cases[] = {
        {Button::OK, Button::None, Button::OK},
        {Buttons(), Button::None, Button::OK},
        {Button::Yes | Button::No, Button::No, Button::No},
        {Button::Yes | Button::No, Button::None, Button::Yes},
        {Button::Yes | Button::No, Button::Cancel, Button::Yes},   // not in the set
        {Button::Cancel | Button::OK, Button::None, Button::OK},
        {Button::Cancel | Button::Retry, Button::None, Button::Retry},
        {Button::Ignore | Button::Retry | Button::Abort, Button::None, Button::Abort},
        {Button::Cancel | Button::No | Button::Yes, Button::Cancel, Button::Cancel},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.set.Bits());
        EXPECT_EQ(Dialogs::EffectiveDefault(c.set, c.requested), c.effective);
    }
    std::vector<Button> order = Dialogs::ButtonsInOrder(Button::Cancel | Button::No | Button::Yes);
    EXPECT_EQ(order, (std::vector<Button>{Button::Yes, Button::No, Button::Cancel}));
}

TEST(DialogShell, TargetsBecomeUrls)
{
    testutil::TempDir dir;
    struct Case {
        std::string target;
        std::string url;
    } cases[] = {
        {"http://www.example.org/mixdeck/", "http://www.example.org/mixdeck/"},
        {"mailto:someone@example.org", "mailto:someone@example.org"},
        {"file:///tmp/x.html", "file:///tmp/x.html"},
        {dir.path() + "/Help/html/index.html", "file://" + dir.path() + "/Help/html/index.html"},
        {dir.path() + "/a b.html", "file://" + dir.path() + "/a%20b.html"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.target);
        EXPECT_EQ(Dialogs::ShellUrl(c.target), c.url);
    }
}

// ---- the scripted double -------------------------------------------------

TEST(ScriptedDialogs, RecordsEveryCallAndAnswersFromTheScript)
{
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    QWidget owner;
    QPrinter printer;
    dialogs.AnswerButton(Button::No)
        .AnswerPath("/data/Compilations/tape.cmp")
        .AnswerCancel()
        .AnswerPath("/data/Exports")
        .AnswerPrinter(true)
        .AnswerButton(Button::OK);

    EXPECT_EQ(Dialogs::MessageBox(&owner, "Are you sure? Current compilation will be lost!", "Warning",
                                  Button::Yes | Button::No, Icon::Warning, Button::No),
              Button::No);

    Dialogs::FileRequest open;
    open.owner = &owner;
    open.title = "Load Compilation";
    open.filter = "Compilations|*.cmp";
    open.initialDir = "/data/Compilations";
    open.defaultExt = "cmp";
    open.options = Dialogs::ofFileMustExist | Dialogs::ofHideReadOnly;
    EXPECT_EQ(Dialogs::OpenFile(open), std::optional<std::string>("/data/Compilations/tape.cmp"));

    Dialogs::FileRequest save = open;
    save.title = "Save Compilation";
    save.fileName = "tape.cmp";
    save.filterIndex = 1;
    save.options = Dialogs::ofOverwritePrompt;
    EXPECT_EQ(Dialogs::SaveFile(save), std::nullopt);

    EXPECT_EQ(Dialogs::BrowseFolder(&owner, "Exports", "/data"), std::optional<std::string>("/data/Exports"));
    EXPECT_TRUE(Dialogs::PrinterSetup(&owner, printer));
    EXPECT_TRUE(Dialogs::ShellOpen("http://www.example.org/"));
    Dialogs::ShowMessage("Done");

    ASSERT_EQ(dialogs.Calls.size(), 7u);
    EXPECT_EQ(dialogs.UnscriptedCount(), 0);
    EXPECT_EQ(dialogs.PendingAnswers(), 0u);

    const auto &box = dialogs.Calls[0];
    EXPECT_EQ(box.kind, Kind::MessageBox);
    EXPECT_EQ(box.owner, &owner);
    EXPECT_EQ(box.caption, "Warning");
    EXPECT_EQ(box.text, "Are you sure? Current compilation will be lost!");
    EXPECT_EQ(box.buttons, Button::Yes | Button::No);
    EXPECT_EQ(box.icon, Icon::Warning);
    EXPECT_EQ(box.defaultButton, Button::No);

    const auto &o = dialogs.Calls[1];
    EXPECT_EQ(o.kind, Kind::OpenFile);
    EXPECT_EQ(o.title, "Load Compilation");
    EXPECT_EQ(o.filter, "Compilations|*.cmp");
    EXPECT_EQ(o.initialDir, "/data/Compilations");
    EXPECT_EQ(o.defaultExt, "cmp");
    EXPECT_EQ(o.options, unsigned(Dialogs::ofFileMustExist | Dialogs::ofHideReadOnly));

    const auto &s = dialogs.Calls[2];
    EXPECT_EQ(s.kind, Kind::SaveFile);
    EXPECT_EQ(s.fileName, "tape.cmp");
    EXPECT_EQ(s.options, unsigned(Dialogs::ofOverwritePrompt));
    EXPECT_TRUE(s.scripted);   // a scripted cancel is an answer too
    EXPECT_EQ(s.answerPath, std::nullopt);

    EXPECT_EQ(dialogs.Calls[3].kind, Kind::BrowseFolder);
    EXPECT_EQ(dialogs.Calls[3].title, "Exports");
    EXPECT_EQ(dialogs.Calls[3].initialDir, "/data");
    EXPECT_EQ(dialogs.Calls[4].kind, Kind::PrinterSetup);
    EXPECT_EQ(dialogs.Calls[4].printer, &printer);
    EXPECT_EQ(dialogs.Calls[5].kind, Kind::ShellOpen);
    EXPECT_EQ(dialogs.Calls[5].target, "http://www.example.org/");

    const auto &msg = dialogs.Calls[6];
    EXPECT_EQ(msg.caption, "MIXDECK");
    EXPECT_EQ(msg.text, "Done");
    EXPECT_EQ(msg.buttons, Buttons(Button::OK));
    EXPECT_EQ(msg.icon, Icon::None);
    EXPECT_EQ(msg.owner, nullptr);
}

TEST(ScriptedDialogs, UnscriptedCallsGetNeutralAnswersAndAreMarked)
{
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    QPrinter printer;

    EXPECT_EQ(Dialogs::MessageBox(nullptr, "Are you sure?", "Warning", Button::Yes | Button::No,
                                  Icon::Warning, Button::No),
              Button::No);
    EXPECT_EQ(Dialogs::MessageBox(nullptr, "Retry?", "Warning", Button::Retry | Button::Cancel),
              Button::Retry);
    EXPECT_EQ(Dialogs::OpenFile({}), std::nullopt);
    EXPECT_EQ(Dialogs::SaveFile({}), std::nullopt);
    EXPECT_EQ(Dialogs::BrowseFolder(nullptr, "", ""), std::nullopt);
    EXPECT_FALSE(Dialogs::PrinterSetup(nullptr, printer));
    EXPECT_EQ(dialogs.UnscriptedCount(), 6);

    // An answer of the wrong kind is not consumed: the call is unscripted
    // and the answer waits for the call it was meant for.
    dialogs.Reset();
    dialogs.AnswerPath("/tmp/a.cmp");
    EXPECT_EQ(Dialogs::MessageBox(nullptr, "x", "y", Button::OK | Button::Cancel), Button::OK);
    EXPECT_EQ(dialogs.UnscriptedCount(), 1);
    EXPECT_EQ(dialogs.PendingAnswers(), 1u);
    EXPECT_EQ(Dialogs::OpenFile({}), std::optional<std::string>("/tmp/a.cmp"));
    EXPECT_EQ(dialogs.UnscriptedCount(), 1);
    EXPECT_EQ(dialogs.PendingAnswers(), 0u);
}

TEST(ScriptedDialogs, HookSeesEachCallWhileItIsUp)
{
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use(dialogs);
    std::vector<std::string> seen;
    dialogs.OnCall = [&](const ScriptedDialogs::Call &c) {
        seen.push_back(c.text);
        if (c.text == "outer")   // a box shown while another is up
            Dialogs::MessageBox(nullptr, "inner", "c");
    };
    dialogs.AnswerButton(Button::Cancel).AnswerButton(Button::OK);
    EXPECT_EQ(Dialogs::MessageBox(nullptr, "outer", "c", Button::OK | Button::Cancel), Button::Cancel);
    EXPECT_EQ(seen, (std::vector<std::string>{"outer", "inner"}));
    ASSERT_EQ(dialogs.Calls.size(), 2u);
    EXPECT_EQ(dialogs.Calls[1].answerButton, Button::OK);
}

TEST(ScriptedDialogs, ScopedServiceRestoresThePreviousOne)
{
    Dialogs::Service *real = &Dialogs::Current();
    {
        ScriptedDialogs outer;
        Dialogs::ScopedService useOuter(outer);
        EXPECT_EQ(&Dialogs::Current(), &outer);
        {
            ScriptedDialogs inner;
            Dialogs::ScopedService useInner(inner);
            Dialogs::ShowMessage("to inner");
            EXPECT_EQ(inner.Calls.size(), 1u);
        }
        EXPECT_EQ(&Dialogs::Current(), &outer);
        EXPECT_TRUE(outer.Calls.empty());
    }
    EXPECT_EQ(&Dialogs::Current(), real);
}

// ---- the real service, offscreen ---------------------------------------------

namespace {
// Runs action on the active modal widget once it is up, from the event loop
// the dialog itself runs. Bounded: gives up after a number of tries.
void WhenModalIsUp(std::function<void(QWidget *)> action)
{
    auto tries = std::make_shared<int>(0);
    auto timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, action] {
        QWidget *w = QApplication::activeModalWidget();
        if (w && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            action(w);
        } else if (++*tries > 1000) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal dialog came up";
        }
    });
    timer->start();
}

class RealDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        unsetenv("MIXDECK_DIALOGS");
        service.reset(Dialogs::NewQtService());
    }
    std::unique_ptr<Dialogs::Service> service;
};
} // namespace

TEST_F(RealDialogs, MessageBoxShowsWhatWasAskedAndReturnsTheKeyPressed)
{
    struct Seen {
        QString title, text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttonCount = 0;
        QString defaultText;
    };
    Seen seen;
    QWidget owner;
    owner.show();

    WhenModalIsUp([&](QWidget *w) {
        auto *box = qobject_cast<QMessageBox *>(w);
        ASSERT_NE(box, nullptr);
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.icon = box->icon();
        seen.buttonCount = int(box->buttons().size());
        if (box->defaultButton())
            seen.defaultText = box->defaultButton()->text();
        QTest::keyClick(box, Qt::Key_Return);   // Enter presses the default button
    });
    Dialogs::MessageBoxRequest rq;
    rq.owner = &owner;
    rq.caption = "Warning";
    rq.text = "Are you sure? Current compilation <b>will</b> be lost! \x80";
    rq.buttons = Button::Yes | Button::No;
    rq.icon = Icon::Warning;
    rq.defaultButton = Button::No;
    EXPECT_EQ(service->MessageBox(rq), Button::No);
    EXPECT_EQ(seen.title, "Warning");
    EXPECT_EQ(seen.text, QString::fromUtf8("Are you sure? Current compilation <b>will</b> be lost! \u20ac"));
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttonCount, 2);
    EXPECT_EQ(seen.defaultText.remove('&'), "No");

    // Escape on a box with Cancel gives Cancel.
    WhenModalIsUp([](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
    rq.buttons = Button::Yes | Button::No | Button::Cancel;
    rq.defaultButton = Button::Yes;
    EXPECT_EQ(service->MessageBox(rq), Button::Cancel);
}

TEST_F(RealDialogs, SaveDialogTakesFilterFolderAndDefaultExtension)
{
    testutil::TempDir dir;
    QStringList filters;
    QString selectedFilter, directory;
    WhenModalIsUp([&](QWidget *w) {
        auto *dlg = qobject_cast<QFileDialog *>(w);
        ASSERT_NE(dlg, nullptr);
        filters = dlg->nameFilters();
        selectedFilter = dlg->selectedNameFilter();
        directory = dlg->directory().absolutePath();
        auto *name = dlg->findChild<QLineEdit *>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->selectAll();
        QTest::keyClicks(name, "mytape");
        QTest::keyClick(name, Qt::Key_Return);
    });
    Dialogs::FileRequest rq;
    rq.title = "Save Compilation";
    rq.filter = "Text|*.txt|Compilations|*.cmp";
    rq.filterIndex = 2;
    rq.initialDir = dir.path();
    rq.defaultExt = "cmp";
    rq.options = Dialogs::ofOverwritePrompt | Dialogs::ofPathMustExist;
    std::optional<std::string> chosen = service->SaveFile(rq);
    EXPECT_EQ(filters, QStringList({"Text (*.txt)", "Compilations (*.cmp)"}));
    EXPECT_EQ(selectedFilter, "Compilations");   // shown without its pattern list
    EXPECT_EQ(directory, QString::fromStdString(dir.path()));
    EXPECT_EQ(chosen, std::optional<std::string>(dir.path() + "/mytape.cmp"));

    // Cancelled: nothing.
    WhenModalIsUp([](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
    EXPECT_EQ(service->OpenFile(rq), std::nullopt);
}
