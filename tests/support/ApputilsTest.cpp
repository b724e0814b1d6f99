// Application utilities: INI texts and quoting through real INI files, unique
// file names, default sections and the placement record offscreen.
#include "support/Apputils.h"

#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>
#include <QTest>
#include <QTimer>

using testutil::TempDir;
using testutil::readFile;
using testutil::writeFile;

namespace {
std::string ScreenKey(const std::string &key)
{
    const QSize s = QGuiApplication::primaryScreen()->size();
    return key + "(" + std::to_string(s.width()) + "x" + std::to_string(s.height()) + ")";
}
} // namespace

TEST(Apputils, IniTextsTable)
{
    struct Case {
        std::string text, ini, back;
    } cases[] = {
        {"a\r\nb\n\rc\rd\ne", "a\\nb\\nc\\nd\\ne", "a\r\nb\r\nc\r\nd\r\ne"},
        {"plain", "plain", "plain"},
        {"\n\n", "\\n\\n", "\r\n\r\n"},
        {"", "", ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(StrToIniStr(c.text), c.ini);
        EXPECT_EQ(IniStrToStr(c.ini), c.back);
    }
    try {
        StrToIniStr(std::string(4097, 'x'));
        FAIL();
    } catch (const Exception &e) {
        EXPECT_EQ(e.Message, "Line too long");
    }
    EXPECT_THROW(IniStrToStr(std::string(5000, 'x')), Exception);
    EXPECT_NO_THROW(StrToIniStr(std::string(4096, 'x')));
}

TEST(Apputils, IniQuotingTable)
{
    TempDir dir;
    TIniFile ini(dir.file("quote.ini"));
    struct Case {
        const char *value, *line;
    } cases[] = {
        {"'single'", "a0=\"'single'\""},
        {"\"double\"", "a1=\"\"double\"\""},
        {"'mixed\"", "a2='mixed\""},
        {"plain", "a3=plain"},
        {"'", "a4='"},
        {"  'padded'  ", "a5='padded'  "},
    };
    int i = 0;
    for (const Case &c : cases)
        IniWriteString(&ini, "S", "a" + std::to_string(i++), c.value);
    const std::string text = readFile(dir.file("quote.ini"));
    i = 0;
    for (const Case &c : cases) {
        EXPECT_NE(text.find(std::string(c.line) + "\r\n"), std::string::npos) << c.line << "\n" << text;
        const std::string back = IniReadString(&ini, "S", "a" + std::to_string(i++), "def");
        if (std::string(c.value) != "  'padded'  ") {
            EXPECT_EQ(back, c.value);
        }
    }
    EXPECT_EQ(IniReadString(&ini, "S", "missing", "'def'"), "'def'");
    EXPECT_EQ(IniReadString(nullptr, "S", "a0", "def"), "def");
    IniWriteString(nullptr, "S", "x", "y");  // ignored
    IniWriteInteger(&ini, "N", "i", 42);
    IniWriteBool(&ini, "N", "b", true);
    EXPECT_EQ(IniReadInteger(&ini, "N", "i", 0), 42);
    EXPECT_TRUE(IniReadBool(&ini, "N", "b", false));
    IniDeleteKey(&ini, "N", "i");
    EXPECT_EQ(IniReadInteger(&ini, "N", "i", 7), 7);
    IniEraseSection(&ini, "S");
    TStringList sections;
    IniReadSections(&ini, sections);
    EXPECT_EQ(sections.Text(), "N\r\n");
}

TEST(Apputils, UniqueFileNames)
{
    TempDir dir;
    writeFile(dir.file("tape0.txt"), "");
    writeFile(dir.file("tape1.txt"), "");
    EXPECT_EQ(GetUniqueFileNameInDir(dir.path(), "tape%d.txt"), "tape2.txt");
    EXPECT_EQ(GetUniqueFileNameInDir(dir.path() + "/", "new%d"), "new0");
    // Only "%d" is replaced: other directives stay as they are.
    EXPECT_EQ(GetUniqueFileNameInDir(dir.path(), "%s-%d-%x"), "%s-0-%x");
    // Without "%d" the name is checked once.
    EXPECT_EQ(GetUniqueFileNameInDir(dir.path(), "free.txt"), "free.txt");
    EXPECT_EQ(GetUniqueFileNameInDir(dir.path(), "tape0.txt"), "");
}

TEST(Apputils, DefaultNamesAndSections)
{
    QMainWindow form;
    form.setObjectName("MainForm");
    auto *edit = new QLineEdit(&form);
    edit->setObjectName("NameEdit");
    auto *helper = new QObject(&form);
    helper->setObjectName("Helper");
    QObject loose;
    loose.setObjectName("Loose");
    EXPECT_EQ(GetDefaultSection(&form), "QMainWindow");
    EXPECT_EQ(GetDefaultSection(edit), "QMainWindowNameEdit");
    EXPECT_EQ(GetDefaultSection(helper), "QMainWindow.Helper");
    EXPECT_EQ(GetDefaultSection(&loose), "Loose");
    EXPECT_EQ(GetDefaultSection(nullptr), "");

    EXPECT_EQ(GetDefaultIniName(), "test_support.INI");
    OnGetDefaultIniName = [] { return std::string("custom.ini"); };
    EXPECT_EQ(GetDefaultIniName(), "custom.ini");
    std::string file, section;
    GetDefaultIniData(edit, file, section);
    EXPECT_EQ(file, "custom.ini");
    EXPECT_EQ(section, "QMainWindowNameEdit");
    OnGetDefaultIniName = nullptr;
    DefCompanyName = "Vendor";
    EXPECT_EQ(GetDefaultIniRegKey(), "Software\\Vendor\\test_support");
    DefCompanyName.clear();
}

TEST(Apputils, PlacementRecordRoundTripsAndFallsBack)
{
    TempDir dir;
    const std::string path = dir.file("place.ini");
    QWidget form;
    form.setGeometry(40, 50, 300, 200);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    {
        TIniFile ini(path);
        WriteFormPlacement(&form, &ini, "Main");
    }
    const std::string text = readFile(path);
    EXPECT_NE(text.find("\r\nShowCmd=1\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nNormPos=40,50,340,250\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find(ScreenKey("NormPos") + "=40,50,340,250\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nMinMaxPos="), std::string::npos) << text;

    TIniFile ini(path);
    form.setGeometry(10, 10, 100, 100);
    ReadFormPlacement(&form, &ini, "Main", true, true);
    EXPECT_EQ(form.geometry(), QRect(40, 50, 300, 200));

    // Another resolution's keys are ignored: the plain ones count.
    ini.WriteString("Main", ScreenKey("NormPos"), "");
    ini.DeleteKey("Main", ScreenKey("NormPos"));
    ini.WriteString("Main", "NormPos(1x1)", "0,0,10,10");
    ini.WriteString("Main", "NormPos", "60,70,260,170");
    ReadFormPlacement(&form, &ini, "Main", false, true);
    EXPECT_EQ(form.geometry(), QRect(60, 70, 200, 100));

    // Saved with another pixels-per-inch value: not applied.
    ini.WriteInteger("Main", "PixelsPerInch", 1234);
    ini.WriteString("Main", "NormPos", "1,2,101,102");
    ReadFormPlacement(&form, &ini, "Main", false, true);
    EXPECT_EQ(form.geometry(), QRect(60, 70, 200, 100));

    // The state.
    ini.WriteInteger("Main", "ShowCmd", 3);
    ReadFormPlacement(&form, &ini, "Main", true, false);
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
}

TEST(Apputils, GridsMdiChildrenAndForms)
{
    TempDir dir;
    TIniFile ini(dir.file("grid.ini"));
    QWidget form;
    auto *grid = new QTableView(&form);
    grid->setObjectName("Grid");
    QStandardItemModel model(2, 3);
    grid->setModel(&model);
    grid->horizontalHeader()->resizeSection(0, 55);
    grid->horizontalHeader()->resizeSection(2, 77);
    SaveGridLayout(grid, &ini);
    EXPECT_EQ(ini.ReadInteger("QWidgetGrid", "Item2", 0), 77);
    grid->horizontalHeader()->resizeSection(0, 10);
    RestoreGridLayout(grid, &ini);
    EXPECT_EQ(grid->horizontalHeader()->sectionSize(0), 55);

    QMainWindow plain;
    try {
        SaveMDIChildren(&plain, &ini);
        FAIL();
    } catch (const EInvalidOperation &e) {
        EXPECT_EQ(e.Message, "Cannot create form. No MDI forms are currently active");
    }
    QMainWindow frame;
    auto *area = new QMdiArea;
    frame.setCentralWidget(area);
    RegisterFormClass(&QDialog::staticMetaObject, [] { return new QDialog; });
    area->addSubWindow(new QDialog)->show();
    SaveMDIChildren(&frame, &ini);
    EXPECT_EQ(ini.ReadString("MDI Children", "Item0", ""), "QDialog");
    EXPECT_EQ(ini.ReadInteger("MDI Children", "Count", 0), 1);
    QMainWindow frame2;
    auto *area2 = new QMdiArea;
    frame2.setCentralWidget(area2);
    RestoreMDIChildren(&frame2, &ini);
    ASSERT_EQ(area2->subWindowList().size(), 1);
    EXPECT_STREQ(area2->subWindowList()[0]->widget()->metaObject()->className(), "QDialog");

    // Forms by class: made once, found afterwards.
    QWidget *ref = nullptr;
    QWidget *made = InstantiateForm(&QDialog::staticMetaObject, ref);
    EXPECT_EQ(made, ref);
    EXPECT_EQ(InstantiateForm(&QDialog::staticMetaObject, ref), made);
    QWidget *shown = FindShowForm(&QDialog::staticMetaObject, "Chosen");
    EXPECT_EQ(shown->windowTitle(), "Chosen");
    EXPECT_EQ(FindShowForm(&QDialog::staticMetaObject, "Chosen"), shown);
    EXPECT_NE(FindForm(&QDialog::staticMetaObject), nullptr);
    QTimer::singleShot(0, [] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *d = qobject_cast<QDialog *>(w); d && d->isModal())
                d->accept();
    });
    EXPECT_TRUE(ShowDialog(&QDialog::staticMetaObject));
    delete shown;
    delete made;

    // A broadcast reaches every form; the last result comes back.
    EXPECT_EQ(AppBroadcast(QEvent::User + 40, 1, 2), 0);
}
