// Property storage: stored texts by kind as tables, loading them back, and
// component references across forms, over an in-memory INI object.
#include "support/PropStore.h"

#include "PropFixtures.h"
#include "platform/IniFiles.h"

#include <gtest/gtest.h>

#include <QLocale>
#include <QPushButton>
#include <QWidget>
#include <memory>

namespace {

// A storage connected to an in-memory INI object.
struct IniStorage {
    TMemIniFile ini{""};
    TPropsStorage st;
    IniStorage()
    {
        st.OnReadStr = [this](const std::string &s, const std::string &i, const std::string &d) {
            return ini.ReadString(s, i, d);
        };
        st.OnWriteStr = [this](const std::string &s, const std::string &i, const std::string &v) {
            ini.WriteString(s, i, v);
        };
        st.OnEraseSect = [this](const std::string &s) { ini.EraseSection(s); };
    }
};

} // namespace

TEST(PropStore, StoredItemsTable)
{
    struct Case {
        const char *item;
        bool ok;
        const char *comp, *prop;
    } cases[] = {
        {"Form1 . Caption", true, "Form1", "Caption"},
        {"Form1.", false, "Form1", ""},
        {"", false, "", ""},
        {"NoDot", false, "", ""},
        {".Caption", false, "", "Caption"},
        {"A.B.C", true, "A", "B.C"},
    };
    for (const Case &c : cases) {
        std::string comp, prop;
        EXPECT_EQ(ParseStoredItem(c.item, comp, prop), c.ok) << c.item;
        EXPECT_EQ(comp, c.comp) << c.item;
        EXPECT_EQ(prop, c.prop) << c.item;
    }
    EXPECT_EQ(CreateStoredItem("Form1", "Caption"), "Form1.Caption");
    EXPECT_EQ(CreateStoredItem("", "Caption"), "");
    EXPECT_EQ(CreateStoredItem("Form1", ""), "");
}

TEST(PropStore, StoredPropertiesTable)
{
    QLocale::setDefault(QLocale(QLocale::German));  // a comma as the decimal separator
    QWidget main;
    main.setObjectName("Main");
    auto *button = new QPushButton(&main);
    button->setObjectName("Button1");
    QWidget form;
    form.setObjectName("Form1");
    auto *obj = new TSample(&form);
    obj->setObjectName("Obj");
    obj->Count = 42;
    obj->Ratio = 2.5;
    obj->Single = 0.1f;
    obj->Letter = TSample::lb;
    obj->Options = TSample::a | TSample::c;
    obj->Enabled = true;
    obj->Initial = 'x';
    obj->Big = 12345678901LL;
    obj->Any = QString("free");
    obj->Lines = QStringList{"one", "two"};
    obj->Buddy = button;
    obj->Sub->Size = 12;
    static_cast<TSampleItem *>(obj->Items->Add())->Title = "first";
    static_cast<TSampleItem *>(obj->Items->Add())->Length = 7;

    IniStorage s;
    s.st.Section = "S";
    TStringList list;
    for (const char *p : {"Count", "Caption", "Ratio", "Single", "Letter", "Options", "Enabled",
                          "Initial", "Big", "Any", "Lines", "Buddy", "Items", "Sub", "NoSuch"})
        list.AddObject(std::string("Obj.") + p, obj);
    s.st.StoreObjectsProps(&form, list);

    struct Case {
        const char *section, *item, *text;
    } cases[] = {
        {"S", "Obj_Count", "42"},
        {"S", "Obj_Caption", ""},
        {"S", "Obj_Ratio", "2.5"},
        {"S", "Obj_Single", "0.1"},
        {"S", "Obj_Letter", "lb"},
        {"S", "Obj_Options", "[a,c]"},
        {"S", "Obj_Enabled", "True"},
        {"S", "Obj_Initial", "x"},
        {"S", "Obj_Big", "12345678901"},
        {"S", "Obj_Any", "free"},
        {"S.Obj_Lines", "Count", "2"},
        {"S.Obj_Lines", "Item0", "one"},
        {"S.Obj_Lines", "Item1", "two"},
        {"S", "Obj_Buddy", "Main.Button1"},
        {"S", "Obj_Items.Count", "2"},
        {"S.Obj_Items", "Item0_Title", "first"},
        {"S.Obj_Items", "Item1_Length", "7"},
        {"S", "Obj_SubSize", "12"},
    };
    for (const Case &c : cases) {
        EXPECT_TRUE(s.ini.ValueExists(c.section, c.item)) << c.section << " " << c.item;
        EXPECT_EQ(s.ini.ReadString(c.section, c.item, "?"), c.text) << c.section << " " << c.item;
    }
    EXPECT_FALSE(s.ini.ValueExists("S", "Obj_NoSuch"));

    // Loading into a fresh object gives everything back.
    QWidget form2;
    auto *back = new TSample(&form2);
    back->setObjectName("Obj");
    // A variant is read only when it holds something already (an empty
    // current value means nothing to restore).
    back->Any = QString("old");
    TStringList list2;
    for (int i = 0; i < list.Count(); ++i)
        list2.AddObject(list[i], back);
    s.st.LoadObjectsProps(&form2, list2);
    EXPECT_EQ(back->Count, 42);
    EXPECT_DOUBLE_EQ(back->Ratio, 2.5);
    EXPECT_FLOAT_EQ(back->Single, 0.1f);
    EXPECT_EQ(back->Letter, TSample::lb);
    EXPECT_EQ(back->Options, TSample::a | TSample::c);
    EXPECT_TRUE(back->Enabled);
    EXPECT_EQ(back->Initial, 'x');
    EXPECT_EQ(back->Big, 12345678901LL);
    EXPECT_EQ(back->Any.toString(), "free");
    EXPECT_EQ(back->Lines, (QStringList{"one", "two"}));
    EXPECT_EQ(back->Buddy, button);
    ASSERT_EQ(back->Items->Count(), 2);
    EXPECT_EQ(back->Items->items[0]->Title, "first");
    EXPECT_EQ(back->Items->items[1]->Length, 7);
    EXPECT_EQ(back->Items->updates, 1);
    EXPECT_EQ(back->Sub->Size, 12);
    QLocale::setDefault(QLocale::c());
}

TEST(PropStore, LoadingOddTexts)
{
    TSample obj;
    obj.Count = 5;
    obj.Letter = TSample::lc;
    obj.Ratio = 1.5;
    IniStorage s;
    s.st.Section = "S";
    s.st.Target = &obj;
    s.ini.WriteString("S", "Count", "abc");
    s.ini.WriteString("S", "Options", "[ c , a ]");
    s.ini.WriteString("S", "Letter", "nothing");
    s.ini.WriteString("S", "Ratio", "x.y");
    s.ini.WriteString("S", "Buddy", "(NULL)");
    QObject other;
    obj.Buddy = &other;
    TStringList names;
    names.SetText("Count\nOptions\nLetter\nRatio\nBuddy\nMissing\n");
    s.st.LoadProperties(names);
    EXPECT_EQ(obj.Count, 0);  // not a number: 0
    EXPECT_EQ(obj.Options, TSample::a | TSample::c);
    EXPECT_EQ(obj.Letter, TSample::lc);  // unknown identifier: unchanged
    EXPECT_DOUBLE_EQ(obj.Ratio, 1.5);    // a failing property keeps its value
    EXPECT_EQ(obj.Buddy, nullptr);

    // An empty string is written as an empty item; an integer never empty.
    IniStorage w;
    w.st.Section = "W";
    w.st.Target = &obj;
    w.st.Prefix = "P_";
    TStringList props;
    props.SetText("Caption\nCount\n");
    w.st.StoreProperties(props);
    EXPECT_TRUE(w.ini.ValueExists("W", "P_Caption"));
    EXPECT_EQ(w.ini.ReadString("W", "P_Count", "?"), "0");

    // Without callbacks nothing is written and reads are empty.
    TPropsStorage bare;
    bare.Target = &obj;
    bare.StoreProperties(props);
    EXPECT_EQ(bare.ReadString("W", "P_Count", "def"), "");

    TPropInfoList all(&obj, tkProperties);
    EXPECT_NE(all.Find("count"), nullptr);
    EXPECT_EQ(all.Find("nope"), nullptr);
    TPropInfoList ints(&obj, KindBit(tkInteger));
    all.Intersect(ints);
    EXPECT_EQ(all.Count(), ints.Count());
    EXPECT_TRUE(all.Contains(*ints.Find("Count")));
}

TEST(PropStore, UpdateStoredListFollowsRenamesAndDropsStrays)
{
    QWidget root;
    auto *a = new QObject(&root);
    a->setObjectName("Alpha");
    TStringList list;
    list.SetText("Alpha.Caption\nGhost.Caption\nbroken\nalpha . Tag\n");
    UpdateStoredList(&root, list, true);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Objects(0), a);
    EXPECT_EQ(list.Objects(1), a);
    a->setObjectName("Beta");
    UpdateStoredList(&root, list, false);
    EXPECT_EQ(list.Text(), "Beta.Caption\r\nBeta.Tag\r\n");
    list.Add("Loose.Caption");  // no object attached
    UpdateStoredList(&root, list, false);
    EXPECT_EQ(list.Count(), 2);
}
