// Form placement and form storage round-tripping through a real INI file,
// with real forms on the offscreen platform.
#include "support/Placemnt.h"

#include "common/TestUtil.h"
#include "platform/SysUtils.h"
#include "support/Strutils.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <memory>

using testutil::TempDir;
using testutil::fileExists;
using testutil::readFile;

namespace {

// A form with an edit and a storage that keeps the edit's text and a
// secret value encoded under a key.
struct StoredForm {
    std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
    QLineEdit *edit;
    TFormStorage *storage;
    explicit StoredForm(const std::string &ini)
    {
        form->setObjectName("Options");
        edit = new QLineEdit(form.get());
        edit->setObjectName("Edit1");
        storage = new TFormStorage(form.get());
        storage->SetIniFileName(ini);
        storage->SetIniSection("OptionsForm");
        storage->StoredProps.Add("Edit1.text");
        TStoredValue &secret = storage->StoredValues().Add("Secret");
        secret.KeyString = "k3y";
    }
    void Show()
    {
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
};

} // namespace

TEST(FormPlacement, RoundTripsThroughARealIniFile)
{
    TempDir dir;
    const std::string ini = dir.file("placement.ini");
    {
        StoredForm f(ini);
        f.form->setGeometry(30, 40, 320, 210);
        f.Show();  // restores (nothing stored yet) and marks the placement restored
        EXPECT_TRUE(f.storage->IsRestored());
        f.form->setGeometry(70, 80, 400, 260);
        f.edit->setText("hello world");
        f.storage->StoredValues().SetValue("Secret", QString("abc"));
        EXPECT_TRUE(f.form->close());
        EXPECT_TRUE(f.storage->IsSaved());
    }
    const std::string text = readFile(ini);
    struct Line {
        const char *line;
    } lines[] = {{"[OptionsForm]\r\n"}, {"FormVersion=0\r\n"}, {"NormPos=70,80,470,340\r\n"},
                 {"Edit1_text=hello world\r\n"}, {"Visible=0\r\n"},
                 // abc under the key "k3y": 61^6b 62^33 63^79
                 {"Secret=0a511a\r\n"}};
    for (const Line &l : lines)
        EXPECT_NE(text.find(l.line), std::string::npos) << l.line << "\n" << text;
    EXPECT_EQ(XorEncode("k3y", "abc"), "0a511a");

    // A new form gets it all back when shown.
    StoredForm g(ini);
    g.form->setGeometry(0, 0, 100, 100);
    g.Show();
    EXPECT_EQ(g.form->geometry(), QRect(70, 80, 400, 260));
    EXPECT_EQ(g.edit->text(), "hello world");
    EXPECT_EQ(g.storage->StoredValues().GetValue("Secret").toString(), "abc");
    EXPECT_EQ(g.storage->ReadString("Edit1_text", ""), "hello world");
}

TEST(FormPlacement, VersionsAndUnrestoredPlacements)
{
    TempDir dir;
    const std::string ini = dir.file("v.ini");
    {
        // Never shown, so never restored: nothing is written at close.
        QWidget form;
        auto *p = new TFormPlacement(&form);
        p->SetIniFileName(ini);
        form.close();
    }
    EXPECT_FALSE(fileExists(ini));
    {
        QWidget form;
        auto *p = new TFormPlacement(&form);
        p->SetIniFileName(ini);
        p->SetIniSection("Main");
        p->Version = 1;
        form.setGeometry(10, 20, 200, 100);
        form.show();
        form.close();
        EXPECT_NE(readFile(ini).find("FormVersion=1\r\n"), std::string::npos);
    }
    {
        // Version 2 against a stored 1: nothing restored, but saved as 2.
        QWidget form;
        auto *p = new TFormPlacement(&form);
        p->SetIniFileName(ini);
        p->SetIniSection("Main");
        p->Version = 2;
        form.setGeometry(50, 60, 300, 150);
        form.show();
        EXPECT_EQ(form.geometry(), QRect(50, 60, 300, 150));
        form.close();
        EXPECT_NE(readFile(ini).find("FormVersion=2\r\n"), std::string::npos);
        EXPECT_NE(readFile(ini).find("NormPos=50,60,350,210\r\n"), std::string::npos);
    }
    {
        // A placement that is not Active saves whenever asked.
        QWidget form;
        auto *p = new TFormPlacement(&form);
        p->SetIniFileName(ini);
        p->SetIniSection("Idle");
        p->SetActive(false);
        p->SaveFormPlacement();
        EXPECT_NE(readFile(ini).find("[Idle]"), std::string::npos);
    }
    {
        // A shown form destroyed without a close still saves, while its
        // components are whole.
        auto form = std::make_unique<QWidget>();
        auto *edit = new QLineEdit(form.get());
        edit->setObjectName("Edit1");
        edit->setText("kept");
        auto *st = new TFormStorage(form.get());
        st->SetIniFileName(ini);
        st->SetIniSection("Gone");
        st->StoredProps.Add("Edit1.text");
        form->setGeometry(5, 6, 150, 120);
        form->show();
        form.reset();
        const std::string text = readFile(ini);
        EXPECT_NE(text.find("[Gone]\r\nFormVersion=0\r\n"), std::string::npos) << text;
        EXPECT_NE(text.find("Edit1_text=kept\r\n"), std::string::npos) << text;
        EXPECT_NE(text.find("NormPos=5,6,155,126\r\n"), std::string::npos) << text;
    }
}

TEST(FormPlacement, SectionsLinksLimitsAndValues)
{
    TempDir dir;
    const std::string ini = dir.file("s.ini");
    QWidget form;
    auto *p = new TFormPlacement(&form);
    p->SetIniFileName(ini);
    p->SetIniSection("Form");
    for (const char *s : {"Form", "Form.Grid", "Form\\Cols", "Formless", "Other"}) {
        TIniFile f(ini);
        f.WriteString(s, "k", "v");
    }
    p->EraseSections();
    TIniFile f(ini);
    TStringList sections;
    f.ReadSections(sections);
    EXPECT_EQ(sections.Text(), "Formless\r\nOther\r\n");

    // Links save and load with the placement.
    int saved = 0, loaded = 0;
    TIniLink link;
    link.SetStorage(p);
    EXPECT_EQ(link.RootSection(), "Form\\");
    link.OnSave = [&](TIniLink *l) {
        ++saved;
        EXPECT_NE(l->IniObject(), nullptr);
        l->IniObject()->WriteString("Form\\Link", "x", "1");
    };
    link.OnLoad = [&](TIniLink *) { ++loaded; };
    form.show();
    EXPECT_EQ(loaded, 1);
    form.close();
    EXPECT_EQ(saved, 1);
    EXPECT_EQ(f.ReadString("Form\\Link", "x", ""), "1");
    EXPECT_EQ(link.IniObject(), nullptr);  // closed again

    // Preventing resizes fixes the size; limits apply as set.
    form.resize(300, 200);
    p->SetPreventResize(true);
    EXPECT_EQ(form.minimumSize(), QSize(300, 200));
    EXPECT_EQ(form.maximumSize(), QSize(300, 200));
    p->SetPreventResize(false);
    EXPECT_NE(form.maximumSize(), QSize(300, 200));
    p->MinMaxInfo().SetMinTrackWidth(150);
    p->MinMaxInfo().SetMaxTrackHeight(500);
    EXPECT_EQ(form.minimumWidth(), 150);
    EXPECT_EQ(form.maximumHeight(), 500);

    // Stored value names are unique, case ignored.
    TFormStorage st(nullptr);
    st.StoredValues().Add("One");
    EXPECT_THROW(st.StoredValues().Add("ONE"), EListError);
    TStoredValue &two = st.StoredValues().Add("Two");
    EXPECT_THROW(two.SetName("one"), EListError);
    two.SetName("TWO");
    EXPECT_EQ(two.Name(), "TWO");
    st.StoredValues().SetValue("nobody", 5);
    EXPECT_FALSE(st.StoredValues().GetValue("nobody").isValid());
}
