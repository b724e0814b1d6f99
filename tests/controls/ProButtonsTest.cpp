// Clock label, label edit, buttons, speed button, list box and combo box:
// the kind table of the buttons in every language, the extent rule of the
// list box, and the controls driven with real mouse and key events.
#include "controls/ProCtrls.h"
#include "ProTestUtil.h"
#include "controls/Proconst.h"
#include "platform/Rtl.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <set>
#include <stdexcept>

using Rtl::EncodeDate;
using Rtl::EncodeTime;


// ---- button kinds ------------------------------------------------------------------------

TEST(ProButtonKinds, OrdinalsAndNamesFollowTheLanguageGrid)
{
    const std::pair<TProButtonKind, int> ordinals[] = {
        {pbkCustom, 0},   {pbkOk, 1},        {pbkCancel, 2},     {pbkCancelKor, 17},
        {pbkHelp, 18},    {pbkYesGer, 40},   {pbkYesSlk, 48},    {pbkFinish, 194},
        {pbkFinishKor, 209},
    };
    for (const auto &[kind, ordinal] : ordinals)
        EXPECT_EQ(int(kind), ordinal) << ProButtonKindName(kind);
    EXPECT_EQ(ProButtonKindCount, 210);

    const std::pair<TProButtonKind, const char *> names[] = {
        {pbkCustom, "pbkCustom"},     {pbkOk, "pbkOk"},         {pbkCancelRus, "pbkCancelRus"},
        {pbkHelpUkr, "pbkHelpUkr"},   {pbkNoFr, "pbkNoFr"},     {pbkCloseTur, "pbkCloseTur"},
        {pbkPrevDut, "pbkPrevDut"},   {pbkNextKor, "pbkNextKor"}, {pbkFinishKor, "pbkFinishKor"},
    };
    for (const auto &[kind, name] : names)
        EXPECT_EQ(ProButtonKindName(kind), name);
}

// Every base kind: English caption, modal result and roles, shared by all its
// languages; every caption comes from its string identifier.
TEST(ProButtonKinds, EveryKindTakesCaptionResultAndRolesFromTheTable)
{
    struct Row {
        TProButtonKind english;
        const char *caption;
        int modalResult;
        bool isDefault, isCancel;
    };
    const Row rows[] = {
        {pbkOk, "OK", 1, true, false},          {pbkCancel, "Cancel", 2, false, true},
        {pbkHelp, "&Help", 0, false, false},    {pbkYes, "&Yes", 6, true, false},
        {pbkNo, "&No", 7, false, true},         {pbkClose, "&Close", 0, false, false},
        {pbkAbort, "Abort", 3, false, false},   {pbkRetry, "&Retry", 4, false, false},
        {pbkIgnore, "&Ignore", 5, false, false}, {pbkAll, "&All", 8, false, false},
        {pbkDone, "&Done", 9, true, false},     {pbkPrev, "< &Back", 0, false, false},
        {pbkNext, "&Next >", 0, true, false},   {pbkFinish, "&Finish", 10, true, false},
    };
    for (int b = 0; b < 14; ++b) {
        const Row &row = rows[b];
        EXPECT_EQ(ProButtonKindCaption(row.english), row.caption);
        const int languages = row.english == pbkOk ? 1 : ProButtonLanguageCount;
        for (int lang = 0; lang < languages; ++lang) {
            const auto kind = TProButtonKind(row.english + lang);
            SCOPED_TRACE(ProButtonKindName(kind));
            const TProButtonKindInfo info = ProButtonKindInfo(kind);
            EXPECT_EQ(info.base, b);
            EXPECT_EQ(info.language, lang);
            const int id = kind == pbkYesSlk ? 30138 : 30100 + b + 20 * lang;
            EXPECT_EQ(info.captionId, id);
            EXPECT_FALSE(ProLoadStr(id).empty());

            TProButton button;
            button.SetKind(kind);
            EXPECT_EQ(button.text().toStdString(), ProLoadStr(id));
            EXPECT_EQ(button.ModalResult(), row.modalResult);
            EXPECT_EQ(button.Default(), row.isDefault);
            EXPECT_EQ(button.Cancel(), row.isCancel);
            EXPECT_EQ(button.Kind(), kind);
            EXPECT_FALSE(button.CaptionStored());
            EXPECT_FALSE(button.DefaultStored());
        }
    }
    // The Slovak "Yes" lives outside the grid; its grid place stays empty.
    EXPECT_EQ(ProLoadStr(30100 + 3 + 20 * 14), "");
    EXPECT_EQ(ProLoadStr(30138), "&Áno");
    EXPECT_EQ(ProLoadStr(30114), "");   // between two languages
    EXPECT_EQ(ProLoadStr(30099), "");
    EXPECT_EQ(ProLoadStr(30420), "");
}

TEST(ProButtonKinds, CaptionsInEveryLanguage)
{
    // Cancel and Yes in each of the sixteen languages, plus the translations
    // every reader of the kinds knows.
    struct Row {
        int language;
        const char *cancel, *yes;
    };
    const Row rows[] = {
        {0, "Cancel", "&Yes"},     {1, "Отмена", "&Да"},       {2, "Скасувати", "&Так"},
        {3, "Annuler", "&Oui"},    {4, "Cancelar", "&Sim"},    {5, "Cancelar", "&Sí"},
        {6, "Abbrechen", "&Ja"},   {7, "Annuller", "&Ja"},     {8, "Annulla", "&Sì"},
        {9, "Avbryt", "&Ja"},      {10, "Annuleren", "&Ja"},   {11, "Anuluj", "&Tak"},
        {12, "Mégse", "&Igen"},    {13, "İptal", "&Evet"},     {14, "Zrušiť", "&Áno"},
        {15, "취소", "예(&Y)"},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(ProButtonKindCaption(TProButtonKind(pbkCancel + r.language)), r.cancel);
        EXPECT_EQ(ProButtonKindCaption(TProButtonKind(pbkYes + r.language)), r.yes);
    }
    const std::pair<TProButtonKind, const char *> known[] = {
        {pbkCancelGer, "Abbrechen"}, {pbkCancelFr, "Annuler"}, {pbkYesGer, "&Ja"},
        {pbkNoFr, "&Non"},           {pbkNextFr, "&Suivant >"}, {pbkNextGer, "&Vor >"},
        {pbkFinishGer, "&Ende"},
    };
    for (const auto &[kind, caption] : known)
        EXPECT_EQ(ProButtonKindCaption(kind), caption) << ProButtonKindName(kind);
    // Within one language no two kinds share a caption but Abort and Cancel
    // in Swedish ("Avbryt" is both).
    for (int lang = 0; lang < ProButtonLanguageCount; ++lang) {
        std::set<std::string> seen;
        for (int b = pbkCancel; b <= pbkFinish; b += ProButtonLanguageCount) {
            const std::string c = ProButtonKindCaption(TProButtonKind(b + lang));
            if (!(lang == 9 && c == "Avbryt")) {
                EXPECT_TRUE(seen.insert(c).second) << lang << " " << c;
            }
        }
    }
    // The byte-string caption of a kind outside Windows-1252 keeps its Latin
    // letters and shows the others as "?".
    TProButton b;
    b.SetKind(pbkCancelGer);
    EXPECT_EQ(b.Caption(), "Abbrechen");
    b.SetKind(pbkCloseGer);
    EXPECT_EQ(b.Caption(), "&Schlie\xDF" "en");
}

TEST(ProButton, ChangingARoleByHandTurnsTheKindCustom)
{
    TProButton b;
    b.SetKind(pbkYesGer);
    EXPECT_TRUE(b.Default());
    EXPECT_EQ(b.text(), QString::fromUtf8("&Ja"));
    EXPECT_EQ(b.ModalResult(), 6);
    b.SetDefault(false);
    EXPECT_EQ(b.Kind(), pbkCustom);
    // Custom keeps what was there.
    EXPECT_EQ(b.text(), QString::fromUtf8("&Ja"));
    EXPECT_TRUE(b.DefaultStored());

    const std::function<void(TProButton &)> changes[] = {
        [](TProButton &x) { x.SetCancel(false); },
        [](TProButton &x) { x.SetModalResult(mrOk); },
        [](TProButton &x) { x.SetDefault(true); },
    };
    for (const auto &change : changes) {
        TProButton c;
        c.SetKind(pbkCancelFr);
        change(c);
        EXPECT_EQ(c.Kind(), pbkCustom);
    }
    // A caption changed by hand keeps the kind but is stored.
    TProButton d;
    d.SetKind(pbkOk);
    d.SetCaption("Go");
    EXPECT_EQ(d.Kind(), pbkOk);
    EXPECT_TRUE(d.CaptionStored());
    // Setting pbkCustom changes nothing else.
    d.SetKind(pbkCustom);
    EXPECT_EQ(d.Caption(), "Go");
    EXPECT_EQ(d.ModalResult(), mrOk);
    EXPECT_TRUE(d.Default());
}

TEST(ProButton, AStoredCaptionReadBeforeTheKindWins)
{
    TProButton b;
    b.SetLoading(true);
    b.SetCaption("Weiter");
    b.SetKind(pbkNextGer);
    b.SetLoading(false);
    EXPECT_EQ(b.Caption(), "Weiter");
    EXPECT_TRUE(b.Default());
    EXPECT_TRUE(b.CaptionStored());

    TProButton c;
    c.SetLoading(true);
    c.SetKind(pbkNextGer);
    c.SetLoading(false);
    EXPECT_EQ(c.Caption(), "&Vor >");
}

TEST(ProButton, HelpKindShowsTheNearestHelpContext)
{
    std::vector<int> shown;
    SetApplicationHelp([&](int context) { shown.push_back(context); });
    QWidget form;
    form.resize(300, 200);
    SetHelpContext(&form, 0);
    QWidget panel(&form);
    panel.setGeometry(10, 10, 200, 100);
    SetHelpContext(&panel, 12);
    TProButton help(&panel);
    help.move(10, 10);
    help.SetKind(pbkHelpFr);
    int clicks = 0;
    help.OnClick = [&](TProButton *) { ++clicks; };
    form.show();
    QTest::mouseClick(&help, Qt::LeftButton);
    EXPECT_EQ(shown, std::vector<int>{12});
    EXPECT_EQ(clicks, 0);

    // The button's own context comes first.
    SetHelpContext(&help, 7);
    QTest::keyClick(&help, Qt::Key_Space);
    EXPECT_EQ(shown, (std::vector<int>{12, 7}));

    // Without any context the click is an ordinary one.
    SetHelpContext(&help, 0);
    SetHelpContext(&panel, 0);
    QTest::mouseClick(&help, Qt::LeftButton);
    EXPECT_EQ(shown.size(), 2u);
    EXPECT_EQ(clicks, 1);
    SetApplicationHelp(nullptr);
}

TEST(ProButton, CloseKindClosesItsWindow)
{
    QWidget form;
    form.resize(200, 100);
    TProButton close(&form);
    close.SetKind(pbkCloseIta);
    int clicks = 0;
    close.OnClick = [&](TProButton *) { ++clicks; };
    form.show();
    ASSERT_TRUE(form.isVisible());
    QTest::mouseClick(&close, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(clicks, 0);

    // A button that is a window of its own clicks normally.
    TProButton alone;
    alone.SetKind(pbkClose);
    alone.OnClick = [&](TProButton *) { ++clicks; };
    alone.show();
    QTest::mouseClick(&alone, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST(ProButton, ModalResultsEndAModalDialogByMouseAndByEscape)
{
    // key 0: a mouse click on the button.
    struct Case {
        TProButtonKind kind;
        int key;
        int expected;
    };
    const Case cases[] = {
        {pbkOk, 0, 1},           {pbkYesPol, 0, 6},         {pbkRetryHun, 0, 4},
        {pbkCancelSwe, Qt::Key_Escape, 2}, {pbkNoTur, Qt::Key_Escape, 7},
        {pbkFinishEsp, 0, 10},   {pbkOk, Qt::Key_Return, 1}, {pbkDoneDan, Qt::Key_Enter, 9},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(ProButtonKindName(c.kind));
        QDialog dialog;
        dialog.resize(200, 80);
        TProButton button(&dialog);
        button.SetKind(c.kind);
        int clicks = 0;
        button.OnClick = [&](TProButton *) { ++clicks; };
        QTimer::singleShot(0, &dialog, [&] {
            QApplication::setActiveWindow(&dialog);
            if (c.key)
                QTest::keyClick(&dialog, Qt::Key(c.key));
            else
                QTest::mouseClick(&button, Qt::LeftButton);
        });
        EXPECT_EQ(dialog.exec(), c.expected);
        EXPECT_EQ(clicks, 1);
    }
    // A custom button without a modal result leaves the dialog open.
    QDialog dialog;
    TProButton plain(&dialog);
    plain.SetCaption("Apply");
    dialog.show();
    QTest::mouseClick(&plain, Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
}

// ---- speed button -------------------------------------------------------------------------

TEST(ProSpeedButton, RepeatsWhileHeldAndStopsOnRelease)
{
    QWidget form;
    form.resize(100, 60);
    TProSpeedButton b(&form);
    b.setText("+");
    b.setGeometry(10, 10, 30, 30);
    int clicks = 0;
    b.OnClick = [&](TProSpeedButton *) { ++clicks; };
    form.show();

    // Without repeating a press and release is one click and no timer.
    QTest::mouseClick(&b, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b.RepeatTimer(), nullptr);

    b.SetRepeatEnabled(true);
    b.SetRepeatInitInterval(60);
    b.SetRepeatInterval(15);
    QTest::mousePress(&b, Qt::LeftButton);
    ASSERT_NE(b.RepeatTimer(), nullptr);
    EXPECT_TRUE(b.RepeatTimer()->isActive());
    EXPECT_EQ(b.RepeatTimer()->interval(), 60);
    QTest::qWait(30);
    EXPECT_EQ(clicks, 1);   // the first delay is the longer one
    QElapsedTimer t;
    t.start();
    while (clicks < 4 && t.elapsed() < 5000)
        QTest::qWait(10);
    EXPECT_GE(clicks, 4);
    EXPECT_EQ(b.RepeatTimer()->interval(), 15);
    const int held = clicks;
    QTest::mouseRelease(&b, Qt::LeftButton);
    EXPECT_FALSE(b.RepeatTimer()->isActive());
    QTest::qWait(60);
    // The release itself is the usual click.
    EXPECT_EQ(clicks, held + 1);
}

TEST(ProSpeedButton, ATickClicksOnlyWhileDrawnPressed)
{
    QWidget form;
    form.resize(100, 60);
    TProSpeedButton b(&form);
    b.setGeometry(10, 10, 30, 30);
    int clicks = 0;
    b.OnClick = [&](TProSpeedButton *) { ++clicks; };
    b.SetRepeatEnabled(true);
    form.show();
    QTest::mousePress(&b, Qt::LeftButton);
    b.Tick();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(b.RepeatTimer()->interval(), 100);
    // Dragged off the button: no longer drawn pressed, no click.
    QMouseEvent move(QEvent::MouseMove, QPointF(80, 50), b.mapToGlobal(QPointF(80, 50)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&b, &move);
    ASSERT_FALSE(b.isDown());
    b.Tick();
    EXPECT_EQ(clicks, 1);
    // Switching repeating off stops the timer at once.
    b.SetRepeatEnabled(false);
    EXPECT_FALSE(b.RepeatTimer()->isActive());
    QTest::mouseRelease(&b, Qt::LeftButton, {}, QPoint(80, 50));
    EXPECT_EQ(clicks, 1);
}

TEST(ProSpeedButton, AClickThatFailsStopsTheRepeating)
{
    QWidget form;
    form.resize(100, 60);
    TProSpeedButton b(&form);
    b.setGeometry(10, 10, 30, 30);
    b.SetRepeatEnabled(true);
    form.show();
    QTest::mousePress(&b, Qt::LeftButton);
    b.OnClick = [](TProSpeedButton *) { throw Exception("full"); };
    EXPECT_THROW(b.Tick(), Exception);
    EXPECT_FALSE(b.RepeatTimer()->isActive());
    b.OnClick = nullptr;
    QTest::mouseRelease(&b, Qt::LeftButton);
}

// ---- list box -----------------------------------------------------------------------------

TEST(ProListBox, TheScrollRangeFitsTheWidestItemPlusOneI)
{
    TProListBox box;
    const QFontMetrics fm(box.font());
    auto width = [&](const char *s) { return fm.horizontalAdvance(QString::fromLatin1(s) + "I"); };
    EXPECT_EQ(box.HorizontalExtent(), 0);
    box.AddItem("abc");
    EXPECT_EQ(box.HorizontalExtent(), width("abc"));

    box.AddItem("a much longer item");
    box.InsertItem(0, "mid item");
    EXPECT_EQ(box.HorizontalExtent(), width("a much longer item"));
    // Deleting another item keeps the range; deleting the widest measures again.
    box.DeleteItem(0);
    EXPECT_EQ(box.HorizontalExtent(), width("a much longer item"));
    box.DeleteItem(1);
    EXPECT_EQ(box.HorizontalExtent(), width("abc"));

    // The fixed extra extent adds; without AutoHorzScroll it is all there is.
    struct Row {
        bool autoScroll;
        unsigned extra;
        int expected;
    };
    const Row rows[] = {
        {true, 0, width("abc")},
        {true, 25, width("abc") + 25},
        {false, 25, 25},
        {false, 0, 0},
    };
    for (const Row &r : rows) {
        box.SetAutoHorzScroll(r.autoScroll);
        box.SetHorzScrollExtent(r.extra);
        EXPECT_EQ(box.HorizontalExtent(), r.expected) << r.autoScroll << " " << r.extra;
    }
    box.SetAutoHorzScroll(true);
    box.SetHorzScrollExtent(0);

    // Items added through the widget's own interface count as well.
    box.addItem(QStringLiteral("added by the widget interface"));
    EXPECT_EQ(box.HorizontalExtent(), width("added by the widget interface"));
    // Emptying the list resets the range to the extra extent.
    box.SetHorzScrollExtent(3);
    box.Clear();
    EXPECT_EQ(box.HorizontalExtent(), 3);
    EXPECT_EQ(box.WidestItem(), 0);
}

TEST(ProListBox, AFontChangeMeasuresAgainAndTheScrollBarFollows)
{
    TProListBox box;
    box.resize(120, 100);
    box.AddItem("a rather long list box item");
    box.AddItem("short");
    box.show();
    QApplication::processEvents();
    const int before = box.HorizontalExtent();
    QFont big = box.font();
    big.setPixelSize(30);
    box.setFont(big);
    const int after = box.HorizontalExtent();
    EXPECT_EQ(after, QFontMetrics(big).horizontalAdvance("a rather long list box itemI"));
    EXPECT_GT(after, before);
    QApplication::processEvents();
    QScrollBar *bar = box.horizontalScrollBar();
    EXPECT_EQ(bar->maximum(), after - box.viewport()->width());
    // The End key scrolls to the end of the range.
    box.setFocus();
    bar->setValue(bar->maximum());
    EXPECT_EQ(bar->value(), bar->maximum());
    // A range narrower than the list shows no scrolling.
    box.DeleteItem(0);
    box.setFont(QFont());
    QApplication::processEvents();
    EXPECT_EQ(bar->maximum(), 0);
}

TEST(ProComboBox, ItemIndexFollowsKeys)
{
    TProComboBox combo;
    combo.addItems({"one", "two", "three"});
    combo.SetItemIndex(0);
    combo.show();
    QTest::keyClick(&combo, Qt::Key_Down);
    EXPECT_EQ(combo.ItemIndex(), 1);
    EXPECT_EQ(combo.property("ItemIndex").toInt(), 1);
    combo.SetItemIndex(-1);
    EXPECT_EQ(combo.currentText(), QString());
}

// ---- clock label ----------------------------------------------------------------------------

TEST(FormatDateTimeTest, FormatsOfTheClock)
{
    const Rtl::TDateTime afternoon = EncodeDate(2026, 12, 10) + EncodeTime(15, 7, 9, 45);
    const Rtl::TDateTime morning = EncodeDate(2003, 3, 4) + EncodeTime(0, 5, 0, 0);
    const Rtl::TDateTime midnight = EncodeDate(2026, 1, 2);
    struct Row {
        const char *format;
        Rtl::TDateTime when;
        const char *expected;
    };
    const Row rows[] = {
        {"c", afternoon, "12/10/2026 3:07:09 PM"},
        {"c", midnight, "1/2/2026"},
        {"", morning, "3/4/2003 12:05:00 AM"},
        {"yyyy-mm-dd hh:nn:ss.zzz", afternoon, "2026-12-10 15:07:09.045"},
        {"hh:mm", afternoon, "15:07"},
        {"h:m:s", morning, "0:5:0"},
        {"d.m.yy", morning, "4.3.03"},
        {"ddd dddd mmm mmmm", afternoon, "Thu Thursday Dec December"},
        {"ddddd", afternoon, "12/10/2026"},
        {"dddddd", afternoon, "Thursday, December 10, 2026"},
        {"t|tt", afternoon, "3:07 PM|3:07:09 PM"},
        {"hh am/pm", afternoon, "03 pm"},
        {"h AM/PM", morning, "12 AM"},
        {"h a/p", afternoon, "3 p"},
        {"\"at\" hh 'h'", afternoon, "at 15 h"},
        {"z", afternoon, "45"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(FormatDateTime(r.format, r.when), r.expected) << r.format;
}

TEST(ProClockLabel, ShowsTheTimeAndStopsWhenDisabled)
{
    Rtl::TDateTime now = EncodeDate(2026, 12, 10) + EncodeTime(15, 0, 0, 0);
    TProClockLabel clock;
    EXPECT_EQ(clock.Format(), "c");
    EXPECT_EQ(clock.Interval(), 1000u);
    EXPECT_TRUE(clock.Timer()->isActive());
    EXPECT_TRUE(clock.Enabled());
    // The caption holds the time of construction in the default format.
    EXPECT_FALSE(clock.Caption().empty());

    clock.Clock = [&] { return now; };
    clock.SetFormat("hh:nn:ss");
    EXPECT_EQ(clock.Caption(), "15:00:00");
    int ticks = 0;
    clock.OnTimer = [&](TProClockLabel *sender) {
        EXPECT_EQ(sender, &clock);
        ++ticks;
    };
    now += EncodeTime(0, 0, 1, 0);
    clock.Tick();
    EXPECT_EQ(clock.Caption(), "15:00:01");
    EXPECT_EQ(ticks, 1);

    // The real timer at a short period.
    clock.SetInterval(10);
    EXPECT_EQ(clock.Timer()->interval(), 10);
    QElapsedTimer t;
    t.start();
    while (ticks < 3 && t.elapsed() < 5000)
        QTest::qWait(10);
    EXPECT_GE(ticks, 3);

    clock.SetEnabled(false);
    EXPECT_FALSE(clock.Timer()->isActive());
    EXPECT_FALSE(clock.isEnabled());
    const int stopped = ticks;
    now += EncodeTime(0, 1, 0, 0);
    QTest::qWait(50);
    EXPECT_EQ(ticks, stopped);
    EXPECT_EQ(clock.Caption(), "15:00:01");
    clock.SetEnabled(true);
    EXPECT_TRUE(clock.Timer()->isActive());
}

// ---- label edit ---------------------------------------------------------------------------

TEST(ProLabelEdit, LabelAndEditShareTheWidth)
{
    TProLabelEdit le;
    EXPECT_EQ(le.width(), 250);
    EXPECT_EQ(le.Caption(), "LabelEdit:");
    EXPECT_EQ(le.LabelWidth(), 100);
    EXPECT_EQ(le.Label()->geometry(), QRect(0, 0, 100, le.height()));
    le.SetGap(4);
    EXPECT_EQ(le.Edit()->x(), 104);
    EXPECT_EQ(le.Edit()->width(), 146);
    le.SetLabelWidth(60);
    EXPECT_EQ(le.Edit()->geometry(), QRect(64, 0, 186, le.height()));
    le.show();
    le.resize(300, le.height());
    EXPECT_EQ(le.Edit()->width(), 236);

    // AutoSize: the height is the edit's.
    const int editHeight = le.Edit()->sizeHint().height();
    EXPECT_EQ(le.height(), editHeight);
    le.SetBounds(5, 6, 280, 60);
    EXPECT_EQ(le.geometry(), QRect(5, 6, 280, editHeight));
    le.SetAutoSize(false);
    le.SetBounds(5, 6, 280, 60);
    EXPECT_EQ(le.height(), 60);
    EXPECT_EQ(le.Label()->height(), 60);
    le.SetAutoSize(true);
    EXPECT_EQ(le.height(), editHeight);

    // LabelHeight counts only with the label above; LabelWidth is then the
    // whole width.
    EXPECT_EQ(le.LabelHeight(), le.height());
    le.SetLabelHeight(30);
    EXPECT_EQ(le.LabelHeight(), le.height());
    le.SetLabelPosition(lpTop);
    EXPECT_EQ(le.LabelWidth(), 280);
    le.SetLabelHeight(30);
    EXPECT_EQ(le.LabelHeight(), 30);

    // While loading nothing is laid out; Loaded applies the bounds.
    TProLabelEdit loading;
    loading.SetLoading(true);
    loading.SetGap(10);
    EXPECT_EQ(loading.Edit()->x(), 100);
    loading.Loaded();
    EXPECT_EQ(loading.Edit()->x(), 110);
}

TEST(ProLabelEdit, TypingGoesToTheEditWithItsRules)
{
    QWidget form;
    form.resize(300, 100);
    TProLabelEdit le(&form);
    int changes = 0;
    le.OnChange = [&](TProLabelEdit *) { ++changes; };
    form.show();
    QApplication::setActiveWindow(&form);
    le.setFocus();
    QTest::keyClicks(le.Edit(), "abc");
    EXPECT_EQ(le.Text(), "abc");
    EXPECT_EQ(changes, 3);

    le.SetCharCase(ecUpperCase);
    EXPECT_EQ(le.Text(), "ABC");
    QTest::keyClicks(le.Edit(), "d");
    QKeyEvent accented(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QString(QChar(0xE9)));
    QApplication::sendEvent(le.Edit(), &accented);
    EXPECT_EQ(le.Text(), "ABCD\xC9");

    le.SetMaxLength(6);
    QTest::keyClicks(le.Edit(), "xyz");
    EXPECT_EQ(le.Text(), "ABCD\xC9X");
    le.SetReadOnly(true);
    QTest::keyClick(le.Edit(), Qt::Key_Backspace);
    EXPECT_EQ(le.Text(), "ABCD\xC9X");
    le.SetPasswordChar('*');
    EXPECT_EQ(le.Edit()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(le.Edit()->displayText().size(), 6);

    // The composite's font goes to both children.
    QFont f = le.font();
    f.setPixelSize(20);
    le.setFont(f);
    EXPECT_EQ(le.Label()->font().pixelSize(), 20);
    EXPECT_EQ(le.Edit()->font().pixelSize(), 20);
    EXPECT_EQ(le.height(), le.Edit()->sizeHint().height());

    int enters = 0, leaves = 0;
    le.OnMouseEnter = [&](TProLabelEdit *) { ++enters; };
    le.OnMouseLeave = [&](TProLabelEdit *) { ++leaves; };
    protest::PointerCrosses(&le, [&] { enters = leaves = 0; });
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
}

// ---- screenshot -----------------------------------------------------------------------------

TEST(ProButtonsScreenshot, EveryKindInEveryLanguage)
{
    QWidget form;
    auto *grid = new QGridLayout(&form);
    grid->setSpacing(3);
    std::vector<TProButton *> buttons;
    for (int lang = 0; lang < ProButtonLanguageCount; ++lang) {
        for (int b = 0; b < 14; ++b) {
            auto *button = new TProButton(&form);
            const auto kind =
                b == 0 ? (lang == 0 ? pbkOk : pbkCustom)
                       : TProButtonKind(pbkCancel + (b - 1) * ProButtonLanguageCount + lang);
            if (kind == pbkCustom) {
                delete button;
                continue;
            }
            button->SetKind(kind);
            grid->addWidget(button, lang, b);
        }
    }
    auto *clock = new TProClockLabel(&form);
    clock->SetFormat("dddddd hh:nn:ss");
    grid->addWidget(clock, ProButtonLanguageCount, 0, 1, 5);
    auto *le = new TProLabelEdit(&form);
    le->SetCaption("Title:");
    le->SetText("Side A");
    grid->addWidget(le, ProButtonLanguageCount, 5, 1, 4);
    auto *box = new TProListBox(&form);
    box->AddItem("Track 1 - a rather long title that needs scrolling");
    box->AddItem("Track 2");
    box->setFixedHeight(60);
    grid->addWidget(box, ProButtonLanguageCount, 9, 1, 3);
    auto *combo = new TProComboBox(&form);
    combo->addItems({"C60", "C90"});
    grid->addWidget(combo, ProButtonLanguageCount, 12);
    auto *speed = new TProSpeedButton(&form);
    speed->setText("+");
    grid->addWidget(speed, ProButtonLanguageCount, 13);
    form.show();
    QApplication::processEvents();
    const QImage shot = form.grab().toImage();
    EXPECT_TRUE(shot.save(QString::fromStdString(protest::ScreenshotPath("pro-buttons.png"))));
}
