// The options window driven offscreen with mouse and key events: the
// settings it loads and saves, the protocol and proxy enabling rules, the
// lists kept in step with the fields, the server editor, the address check,
// the port and time-out fields that cannot be left emptied, OK and Cancel.
#include "common/TestUtil.h"
#include "discdb/CDDB.h"
#include "platform/Cp1252.h"
#include "platform/ScriptedDialogs.h"
#include "ui_CDDB.h"

#include <QApplication>
#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>
#include <memory>

using namespace cddbopts;

namespace {

// Two cddbp and three HTTP servers, cddbp selected at its second entry.
const char *kTwoProtocols =
    "[CDDB Options]\r\ntimeout=20\r\nservertouse=1\r\ncateglist=, rock, jazz,\r\n"
    "totalcddb=2\r\ncserveraddr0=c0.example.org\r\ncddbport0=8880\r\ncserveraddr1=c1.example.org\r\ncddbport1=888\r\n"
    "totalhttp=3\r\nhserveraddr0=h0.example.org\r\ncgipath0=/p0\r\nhttpport0=80\r\n"
    "hserveraddr1=h1.example.org\r\ncgipath1=/p1\r\nhttpport1=81\r\nhserveraddr2=h2.example.org\r\ncgipath2=/p2\r\nhttpport2=82\r\n"
    "protocol=cddbp\r\nuseproxy=0\r\nsocksver=socks v4.0a\r\nproxyaddr=proxy\r\nproxyport=1080\r\nuseproxyauth=1\r\n"
    "username=me\r\npassword=cGFzcw==\r\nuseremail=me@example.org\r\nSMTP=smtp\r\ncddbemail=submit@example.org\r\n";

class OptFixture : public ::testing::Test {
protected:
    void open(const char *file = kTwoProtocols)
    {
        if (file)
            testutil::writeFile(path(), file);
        form = std::make_unique<TCDDBOptForm>(path(), &categ);
        form->TestServer = [this] { ++tests; };
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    std::string path() const { return dir.file("CDDB.ini"); }
    Ui::TCDDBOptForm &u() { return *form->ui; }
    static void click(QAbstractButton *b) { QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(6, b->height() / 2)); }
    static void retype(QLineEdit *e, const char *text)
    {
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Delete);
        QTest::keyClicks(e, text);
    }
    void activate()
    {
        form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }
    // The user clicks into the field.
    static void enter(QLineEdit *e)
    {
        QTest::mouseClick(e, Qt::LeftButton, {}, QPoint(4, e->height() / 2));
        ASSERT_EQ(QApplication::focusWidget(), e);
    }
    // The message of an emptied changed field was shown, the focus stayed.
    void expectRefused(QLineEdit *e)
    {
        const auto boxes = dialogs.MessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Invalid input value.  Use escape key to abandon changes");
        EXPECT_EQ(boxes[0].caption, "MIXDECK");
        EXPECT_EQ(QApplication::focusWidget(), e);
        EXPECT_TRUE(form->isVisible());
    }
    std::string server() { return ToAnsi(u().ServerAddress->currentText()); }
    bool serverButtons()
    {
        const bool on = u().TestServerBtn->isEnabled();
        EXPECT_EQ(u().UpdateSitesBtn->isEnabled(), on);
        EXPECT_EQ(u().UpdateCategsBtn->isEnabled(), on);
        return on;
    }

    testutil::TempDir dir;
    ScriptedDialogs dialogs;
    Dialogs::ScopedService use{dialogs};
    QComboBox categ;  // stands for the grabbing window's category box
    std::unique_ptr<TCDDBOptForm> form;
    int tests = 0;
};

} // namespace

TEST_F(OptFixture, FirstStartWritesAndShowsTheDefaults)
{
    const std::string gnudb = "gnudb.gnudb.org N000.00 W000.00 gnudb.org, successor of freedb";
    open(nullptr);
    EXPECT_EQ(testutil::readFile(path()), OptionsText(DefaultOptions()));
    EXPECT_TRUE(u().ProtoCDDB->isChecked());
    EXPECT_EQ(server(), gnudb);
    EXPECT_EQ(u().ServerAddress->count(), 1);
    EXPECT_EQ(u().Label9->text(), "(Default: gnudb.gnudb.org)");
    EXPECT_EQ(u().Label20->text(), "(Default: freedb-submit@freedb.org)");
    EXPECT_EQ(u().CDDBPort->text(), "8880");
    EXPECT_EQ(u().CGIPath->text(), "/~cddb/cddb.cgi");
    EXPECT_EQ(u().TimeOut->text(), "30");
    EXPECT_EQ(categ.count(), 12);
    EXPECT_FALSE(u().ProxyGroup->isEnabled());
    EXPECT_FALSE(u().HTTPPort->isEnabled());
    EXPECT_TRUE(u().ConnectionStat->toPlainText().isEmpty());
    EXPECT_EQ(u().OptionsTab->currentIndex(), 0);
    EXPECT_TRUE(serverButtons());
    // The placeholder address leaves OK off until the user gives one.
    EXPECT_EQ(u().UserEmail->text(), "your.name@your.domain.com");
    EXPECT_FALSE(u().OkBtn->isEnabled());
    // With a server selected, Enter presses "&Test Server".
    QTest::keyClick(form.get(), Qt::Key_Return);
    EXPECT_EQ(tests, 1);
    EXPECT_TRUE(dialogs.Calls.empty());
    // The HTTP side has the same server on port 80 with the usual path.
    click(u().ProtoHTTP);
    EXPECT_EQ(server(), gnudb);
    EXPECT_EQ(u().HTTPPort->text(), "80");
    EXPECT_EQ(u().CGIPath->text(), "/~cddb/cddb.cgi");
    // Shown again, the placeholder is still refused; a real address lets OK on.
    click(u().CancelBtn);
    form->show();
    EXPECT_FALSE(u().OkBtn->isEnabled());
    u().OptionsTab->setCurrentIndex(1);
    retype(u().UserEmail, "me@example.org");
    EXPECT_TRUE(u().OkBtn->isEnabled());
    retype(u().UserEmail, "your.name@your.domain.com");
    EXPECT_FALSE(u().OkBtn->isEnabled());
}

TEST_F(OptFixture, ExistingFileKeepsTheServerItNames)
{
    // A file written with the old defaults is shown and left as it is.
    std::string old = OptionsText(DefaultOptions());
    const std::string line = "gnudb.gnudb.org N000.00 W000.00 gnudb.org, successor of freedb";
    const std::string freedb = "freedb.freedb.org N000.00 W000.00 Random freedb server";
    for (size_t at = old.find(line); at != std::string::npos; at = old.find(line))
        old.replace(at, line.size(), freedb);
    ASSERT_NE(old.find("cserveraddr0=" + freedb), std::string::npos);
    testutil::writeFile(path(), old);
    open(nullptr);
    EXPECT_EQ(server(), freedb);
    form->hide();
    form->show();
    EXPECT_EQ(testutil::readFile(path()), old);
}

TEST_F(OptFixture, ShowLoadsTheSavedSelectionAndEveryField)
{
    open();
    EXPECT_EQ(server(), "c1.example.org");
    EXPECT_EQ(u().CDDBPort->text(), "888");
    // The fields of the other protocol show its first entry.
    EXPECT_EQ(u().CGIPath->text(), "/p0");
    EXPECT_EQ(u().HTTPPort->text(), "80");
    EXPECT_EQ(u().SocksVerBox->currentIndex(), 2);
    EXPECT_EQ(u().ProxyAddress->text(), "proxy");
    EXPECT_EQ(u().ProxyPort->text(), "1080");
    EXPECT_TRUE(u().UseProxyAuth->isChecked());
    EXPECT_EQ(u().PwdEdit->text(), "pass");
    EXPECT_EQ(u().TimeOut->text(), "20");
    EXPECT_EQ(ToAnsi(categ.itemText(1)), " rock");
    // Shown again after the file changed, the window shows the file.
    form->hide();
    testutil::writeFile(path(), "[CDDB Options]\r\nprotocol=http\r\ntotalhttp=1\r\nhserveraddr0=only\r\ncgipath0=/c\r\n"
                                "httpport0=8000\r\nservertouse=-1\r\nuseremail=bad\r\n");
    form->show();
    EXPECT_TRUE(u().ProtoHTTP->isChecked());
    EXPECT_EQ(server(), "only");
    // No selection shows the first entry with its own path and port.
    EXPECT_EQ(u().CGIPath->text(), "/c");
    EXPECT_EQ(u().HTTPPort->text(), "8000");
    EXPECT_EQ(u().CDDBPort->text(), "0");
    EXPECT_EQ(u().SocksVerBox->currentIndex(), 0);
    EXPECT_FALSE(u().OkBtn->isEnabled());
    EXPECT_EQ(categ.count(), 12);
}

TEST_F(OptFixture, ProtocolAndProxyEnabling)
{
    open();
    click(u().UseProxyAuth);  // disabled with cddbp: nothing changes
    EXPECT_TRUE(u().UseProxyAuth->isChecked());
    // Clear the authentication first so the HTTP switch shows the plain case.
    u().UseProxyAuth->setChecked(false);
    click(u().ProtoHTTP);
    ASSERT_TRUE(u().ProtoHTTP->isChecked());
    EXPECT_TRUE(u().ProxyGroup->isEnabled());
    EXPECT_TRUE(u().UseProxy->isEnabled());
    EXPECT_TRUE(u().HTTPPort->isEnabled());
    EXPECT_TRUE(u().CGIPath->isEnabled());
    EXPECT_FALSE(u().CDDBPort->isEnabled());
    for (QWidget *w : std::initializer_list<QWidget *>{u().ProxyAddress, u().ProxyPort, u().SocksVerBox, u().UseProxyAuth,
                                                       u().UsernameEdit, u().PwdEdit})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    // Switching selects the first entry of the other list.
    EXPECT_EQ(server(), "h0.example.org");
    EXPECT_EQ(u().CGIPath->text(), "/p0");

    click(u().UseProxy);
    EXPECT_TRUE(u().ProxyAddress->isEnabled());
    EXPECT_TRUE(u().SocksVerBox->isEnabled());
    EXPECT_TRUE(u().UseProxyAuth->isEnabled());
    EXPECT_FALSE(u().UsernameEdit->isEnabled());
    click(u().UseProxyAuth);
    EXPECT_TRUE(u().UsernameEdit->isEnabled());
    EXPECT_TRUE(u().PwdEdit->isEnabled());
    // Clearing the proxy leaves user name and password enabled.
    click(u().UseProxy);
    for (QWidget *w : std::initializer_list<QWidget *>{u().ProxyAddress, u().ProxyPort, u().SocksVerBox, u().UseProxyAuth})
        EXPECT_FALSE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_TRUE(u().UsernameEdit->isEnabled());
    EXPECT_TRUE(u().PwdEdit->isEnabled());
    // Back to cddbp: everything of the proxy off, the first cddbp entry selected.
    click(u().ProtoCDDB);
    EXPECT_FALSE(u().ProxyGroup->isEnabled());
    EXPECT_FALSE(u().UsernameEdit->isEnabled());
    EXPECT_TRUE(u().CDDBPort->isEnabled());
    EXPECT_EQ(server(), "c0.example.org");
    EXPECT_EQ(u().CDDBPort->text(), "8880");
}

TEST_F(OptFixture, FieldsChangeOnlyTheSelectedServerOfTheirProtocol)
{
    open();
    click(u().ProtoHTTP);
    u().ServerAddress->setFocus();
    QTest::keyClick(u().ServerAddress, Qt::Key_Down);  // the user selects entry 1
    EXPECT_EQ(server(), "h1.example.org");
    EXPECT_EQ(u().HTTPPort->text(), "81");
    EXPECT_EQ(u().CGIPath->text(), "/p1");
    retype(u().HTTPPort, "8181");
    retype(u().CGIPath, "/new");
    EXPECT_EQ(form->HTTPPortList, (std::vector<std::string>{"80", "8181", "82"}));
    EXPECT_EQ(form->CGIPathList, (std::vector<std::string>{"/p0", "/new", "/p2"}));
    // The cddbp port shown here belongs to no selected server: its list stays.
    u().CDDBPort->setText("1");
    EXPECT_EQ(form->CDDBPortList, (std::vector<std::string>{"8880", "888"}));
    // Emptying the cgi path (here on the way to "/new") turned the server
    // buttons off, and a new path turns nothing on; selecting an entry does.
    EXPECT_FALSE(serverButtons());
    QTest::keyClick(u().ServerAddress, Qt::Key_Up);
    EXPECT_TRUE(serverButtons());
    EXPECT_EQ(u().CGIPath->text(), "/p0");
    retype(u().CGIPath, "");
    EXPECT_FALSE(serverButtons());
    QTest::keyClick(u().ServerAddress, Qt::Key_Down);
    EXPECT_TRUE(serverButtons());
    EXPECT_EQ(u().CGIPath->text(), "/new");
    // A port field takes four digits at most, and digits only.
    retype(u().HTTPPort, "12a34567");
    EXPECT_EQ(u().HTTPPort->text(), "1234");

    click(u().OkBtn);
    EXPECT_FALSE(form->isVisible());
    CDDBOptions saved;
    ASSERT_TRUE(LoadOptions(path(), saved));
    EXPECT_TRUE(saved.UseHTTP);
    EXPECT_EQ(saved.ServerToUse, 1);
    EXPECT_EQ(saved.HTTPPortList, (std::vector<std::string>{"80", "1234", "82"}));
    EXPECT_EQ(saved.CGIPathList, (std::vector<std::string>{"", "/new", "/p2"}));
    EXPECT_EQ(saved.CDDBPortList, (std::vector<std::string>{"8880", "888"}));
}

TEST_F(OptFixture, ServerEditorAddsAndModifies)
{
    open();
    // Add, type, Enter: a new cddbp entry with the default port, selected.
    click(u().AddServerBtn);
    EXPECT_TRUE(u().ServerEdit->isVisible());
    EXPECT_FALSE(u().AddServerBtn->isVisible());
    EXPECT_FALSE(u().DelServerBtn->isVisible());
    EXPECT_FALSE(u().ProtocolGroup->isEnabled());
    EXPECT_FALSE(u().ServerAddress->isEnabled());
    EXPECT_FALSE(serverButtons());
    QTest::keyClicks(u().ServerEdit, "new.example.org");
    QTest::keyClick(u().ServerEdit, Qt::Key_Return);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(u().ServerEdit->isVisible());
    EXPECT_TRUE(u().AddServerBtn->isVisible());
    EXPECT_TRUE(u().ServerAddress->isEnabled());
    EXPECT_TRUE(serverButtons());
    EXPECT_EQ(server(), "new.example.org");
    EXPECT_EQ(u().CDDBPort->text(), "8880");
    EXPECT_EQ(form->CDDBServerList.back(), "new.example.org");
    EXPECT_EQ(form->CDDBPortList, (std::vector<std::string>{"8880", "888", "8880"}));
    EXPECT_EQ(tests, 0);

    // Escape closes the editor, not the window, and changes nothing.
    click(u().AddServerBtn);
    QTest::keyClicks(u().ServerEdit, "dropped");
    QTest::keyClick(u().ServerEdit, Qt::Key_Escape);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(u().ServerAddress->count(), 3);
    EXPECT_TRUE(serverButtons());

    // Modify shows the entry and replaces it; the port stays.
    u().ServerAddress->setCurrentIndex(1);
    click(u().ModServerBtn);
    EXPECT_EQ(u().ServerEdit->text(), "c1.example.org");
    retype(u().ServerEdit, "c1.changed.org");
    QTest::keyClick(u().ServerEdit, Qt::Key_Return);
    EXPECT_EQ(server(), "c1.changed.org");
    EXPECT_EQ(form->CDDBServerList[1], "c1.changed.org");
    EXPECT_EQ(form->CDDBPortList[1], "888");

    // Modify with nothing selected adds.
    u().ServerAddress->setCurrentIndex(-1);
    click(u().ModServerBtn);
    QTest::keyClicks(u().ServerEdit, "added.org");
    QTest::keyClick(u().ServerEdit, Qt::Key_Return);
    EXPECT_EQ(u().ServerAddress->count(), 4);
    EXPECT_EQ(server(), "added.org");

    // Over HTTP a new entry gets port 80 and the default cgi path.
    click(u().ProtoHTTP);
    click(u().AddServerBtn);
    EXPECT_FALSE(u().CGIPath->isEnabled());
    EXPECT_FALSE(u().ProxyGroup->isEnabled());
    QTest::keyClicks(u().ServerEdit, "web.org");
    QTest::keyClick(u().ServerEdit, Qt::Key_Enter);
    EXPECT_TRUE(u().CGIPath->isEnabled());
    EXPECT_TRUE(u().ProxyGroup->isEnabled());
    EXPECT_EQ(server(), "web.org");
    EXPECT_EQ(u().HTTPPort->text(), "80");
    EXPECT_EQ(u().CGIPath->text(), "/~cddb/cddb.cgi");
    EXPECT_EQ(form->HTTPPortList.back(), "80");
    EXPECT_EQ(form->CGIPathList.back(), "/~cddb/cddb.cgi");

    // An empty editor and Enter leaves the server buttons off.
    click(u().AddServerBtn);
    QTest::keyClick(u().ServerEdit, Qt::Key_Return);
    EXPECT_FALSE(serverButtons());
    EXPECT_EQ(u().ServerAddress->count(), 4);
}

TEST_F(OptFixture, DeleteSelectsTheNeighbourAndEmptiesTheLast)
{
    open();
    // c1 is the last entry: deleting it selects the one before.
    click(u().DelServerBtn);
    EXPECT_EQ(server(), "c0.example.org");
    EXPECT_EQ(u().CDDBPort->text(), "8880");
    EXPECT_EQ(form->CDDBServerList, std::vector<std::string>{"c0.example.org"});
    EXPECT_EQ(form->CDDBPortList, std::vector<std::string>{"8880"});
    click(u().DelServerBtn);
    EXPECT_EQ(u().ServerAddress->count(), 0);
    EXPECT_FALSE(u().DelServerBtn->isEnabled());
    EXPECT_FALSE(serverButtons());
    EXPECT_EQ(u().CDDBPort->text(), "0");
    EXPECT_TRUE(form->CDDBServerList.empty());
    EXPECT_TRUE(form->CDDBPortList.empty());

    // Over HTTP, deleting the first of three selects the next one.
    click(u().ProtoHTTP);
    click(u().DelServerBtn);
    EXPECT_EQ(server(), "h1.example.org");
    EXPECT_EQ(u().CGIPath->text(), "/p1");
    EXPECT_EQ(form->HTTPServerList, (std::vector<std::string>{"h1.example.org", "h2.example.org"}));
    EXPECT_EQ(form->CGIPathList, (std::vector<std::string>{"/p1", "/p2"}));
    EXPECT_EQ(form->HTTPPortList, (std::vector<std::string>{"81", "82"}));
    click(u().OkBtn);
    CDDBOptions saved;
    ASSERT_TRUE(LoadOptions(path(), saved));
    EXPECT_EQ(saved.CDDBServerList.size(), 0u);
    EXPECT_EQ(saved.HTTPServerList.size(), 2u);
    EXPECT_EQ(saved.ServerToUse, 0);
}

TEST_F(OptFixture, AddressCheckEnablesOk)
{
    open();
    u().OptionsTab->setCurrentIndex(1);
    retype(u().UserEmail, "me@example");
    EXPECT_FALSE(u().OkBtn->isEnabled());
    // The submission address decides alone when it changes last.
    retype(u().CDDBEmail, "submit@example.org");
    EXPECT_TRUE(u().OkBtn->isEnabled());
    retype(u().UserEmail, "me@.org");
    EXPECT_FALSE(u().OkBtn->isEnabled());
    // Cancel still leaves, with Escape too, and reloads the file.
    QTest::keyClick(form.get(), Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(u().UserEmail->text(), "me@example.org");
    EXPECT_TRUE(u().OkBtn->isEnabled());
}

TEST_F(OptFixture, OkWritesTheFileCancelRestoresIt)
{
    open();
    // OK writes even when nothing changed: the file takes the saved form.
    click(u().OkBtn);
    const std::string saved = testutil::readFile(path());
    CDDBOptions want = ParseOptions(kTwoProtocols);
    want.SocksVer = "SOCKS v4.0A";
    EXPECT_EQ(saved, OptionsText(want));

    form->show();
    retype(u().CDDBPort, "1");
    retype(u().TimeOut, "");
    categ.addItem("extra");
    click(u().AddServerBtn);
    QTest::keyClicks(u().ServerEdit, "x.org");
    QTest::keyClick(u().ServerEdit, Qt::Key_Return);
    click(u().CancelBtn);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(testutil::readFile(path()), saved);
    EXPECT_EQ(form->CDDBServerList.size(), 2u);
    EXPECT_EQ(form->CDDBPortList, (std::vector<std::string>{"8880", "888"}));
    EXPECT_EQ(u().TimeOut->text(), "20");
    EXPECT_EQ(categ.count(), 3);
    EXPECT_TRUE(dialogs.Calls.empty());
}

TEST_F(OptFixture, EmptyFieldsAreSavedWithTheirFallbacks)
{
    // Number fields shown empty and not changed can be left empty.
    open();
    CDDBOptions shown = ParseOptions(kTwoProtocols);
    shown.UseHTTP = true;
    shown.UseProxy = true;
    shown.TimeOut = shown.ProxyPort = shown.CDDBPortList[1] = shown.HTTPPortList[1] = "";
    form->ShowOptions(shown);
    activate();
    EXPECT_EQ(u().HTTPPort->text(), "");
    enter(u().HTTPPort);
    QTest::keyClick(u().HTTPPort, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), u().HTTPPort);
    enter(u().ProxyPort);
    click(u().OkBtn);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(dialogs.Calls.empty());
    const std::string text = testutil::readFile(path());
    for (const char *line : {"timeout=30\r\n", "cddbport1=8880\r\n", "httpport1=80\r\n", "proxyport=8080\r\n", "useproxy=1\r\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;
}

TEST_F(OptFixture, ChangedNumberFieldCannotBeLeftEmpty)
{
    open();
    activate();
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Backtab}) {
        SCOPED_TRACE(key);
        dialogs.Reset();
        enter(u().TimeOut);
        retype(u().TimeOut, "");
        QTest::keyClick(u().TimeOut, key);
        expectRefused(u().TimeOut);
        // A click on another control is refused too, and does not reach it.
        click(u().ProtoHTTP);
        EXPECT_EQ(dialogs.MessageBoxes().size(), 2u);
        EXPECT_EQ(QApplication::focusWidget(), u().TimeOut);
        EXPECT_TRUE(u().ProtoCDDB->isChecked());
        // Escape restores the text of the entry and leaves the window open;
        // the field can be left again.
        QTest::keyClick(u().TimeOut, Qt::Key_Escape);
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(u().TimeOut->text(), "20");
        QTest::keyClick(u().TimeOut, key);
        EXPECT_NE(QApplication::focusWidget(), u().TimeOut);
        EXPECT_EQ(dialogs.MessageBoxes().size(), 2u);
    }
    // A digit makes the field valid; Escape in a field unchanged since it
    // was entered cancels.
    dialogs.Reset();
    enter(u().CDDBPort);
    retype(u().CDDBPort, "");
    QTest::keyClicks(u().CDDBPort, "7");
    QTest::keyClick(u().CDDBPort, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), u().CDDBPort);
    EXPECT_EQ(form->CDDBPortList, (std::vector<std::string>{"8880", "7"}));
    EXPECT_TRUE(dialogs.Calls.empty());
    enter(u().CDDBPort);
    QTest::keyClick(u().CDDBPort, Qt::Key_Escape);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(OptFixture, OkWithAnEmptiedFieldNeitherSavesNorCloses)
{
    open();
    activate();
    const std::string before = testutil::readFile(path());
    enter(u().CDDBPort);
    retype(u().CDDBPort, "");
    click(u().OkBtn);
    expectRefused(u().CDDBPort);
    // OK by its shortcut, which does not move the focus.
    QTest::keyClick(u().CDDBPort, Qt::Key_O, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialogs.MessageBoxes().size() == 2; }, 2000));
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(testutil::readFile(path()), before);
    // Cancel still leaves and abandons the change.
    click(u().CancelBtn);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(dialogs.MessageBoxes().size(), 2u);
    EXPECT_EQ(u().CDDBPort->text(), "888");
    EXPECT_EQ(testutil::readFile(path()), before);
}

TEST_F(OptFixture, UnreadableSettingsSayErrorAndKeepTheControls)
{
    open();
    form->hide();
    testutil::writeFile(path(), std::string(kMaxFileBytes + 1, ';'));
    dialogs.AnswerButton(Dialogs::Button::OK);
    form->show();
    ASSERT_EQ(dialogs.Calls.size(), 1u);
    EXPECT_EQ(dialogs.Calls[0].text, "Error reading CDDB.ini");
    EXPECT_EQ(dialogs.Calls[0].caption, "Error");
    EXPECT_EQ(server(), "c1.example.org");
    EXPECT_EQ(form->CDDBServerList.size(), 2u);
    EXPECT_EQ(categ.count(), 3);
}
