// Rows moved by dragging and by calls, columns moved and swapped, cell
// editing gated by OnCanEditCell, hints for truncated cells and the scroll
// box, and the clipboard, driven by real mouse and key events.
#include "controls/EnhListV.h"
#include "platform/Cp1252.h"
#include "platform/Rtl.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

std::unique_ptr<TEnhListView> makeList(int rows, int height = 300)
{
    auto list = std::make_unique<TEnhListView>();
    list->Columns.Add("A", 120);
    list->Columns.Add("B", 80);
    list->Columns.Add("C", 80);
    list->BeginUpdate();
    for (int i = 0; i < rows; ++i) {
        TListItem *it = list->Items.Add();
        it->SetCaption("row" + Rtl::IntToStr(i));
        it->SubItems.Add("b" + Rtl::IntToStr(i));
        it->SubItems.Add("c" + Rtl::IntToStr(i));
    }
    list->EndUpdate();
    list->resize(320, height);
    list->show();
    QApplication::processEvents();
    return list;
}

std::vector<std::string> captions(const TEnhListView &list)
{
    std::vector<std::string> out;
    for (int i = 0; i < list.Items.Count(); ++i) out.push_back(list.Items[i]->Caption());
    return out;
}

QPoint cell(TEnhListView &list, int row, int col) { return list.GetItemRect(row, col).center(); }

void moveTo(QWidget *w, QPoint p, Qt::MouseButtons buttons = Qt::LeftButton)
{
    QMouseEvent ev(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &ev);
}

// The running cell editor (closed ones are deleted first).
QLineEdit *editorOf(TEnhListView &list)
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return list.viewport()->findChild<QLineEdit *>();
}

bool waitFor(const std::function<bool()> &cond, int ms = 3000)
{
    QElapsedTimer t;
    t.start();
    while (!cond() && t.elapsed() < ms) QTest::qWait(20);
    return cond();
}

} // namespace

// ---- rows and columns --------------------------------------------------------------------

TEST(ListMoves, DraggedRowLandsWhereItIsReleased)
{
    auto list = makeList(10);
    list->ReArrangeItems = true;
    list->Items[2]->SubItems.Put(0, "moved");
    list->Items[2]->SetChecked(true);
    QWidget *vp = list->viewport();

    QTest::mousePress(vp, Qt::LeftButton, {}, cell(*list, 2, 0));
    EXPECT_EQ(list->MovingRow(), 2);
    moveTo(vp, cell(*list, 4, 0));
    EXPECT_EQ(list->ItemFocused(), list->Items[2]);   // the selection stays with the moving row
    QTest::mouseRelease(vp, Qt::LeftButton, {}, cell(*list, 5, 0));
    EXPECT_EQ(list->MovingRow(), -1);
    EXPECT_EQ(captions(*list), (std::vector<std::string>{"row0", "row1", "row3", "row4", "row5", "row2", "row6",
                                                         "row7", "row8", "row9"}));
    TListItem *moved = list->Items[5];
    EXPECT_EQ(moved->SubItems[0], "moved");
    EXPECT_TRUE(moved->Checked());
    EXPECT_TRUE(moved->Selected());
    EXPECT_EQ(list->ItemFocused(), moved);
    EXPECT_EQ(list->selectionModel()->currentIndex().row(), 5);

    // Released below the last row: to the end. A click without moving
    // changes nothing.
    QTest::mousePress(vp, Qt::LeftButton, {}, cell(*list, 0, 1));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(10, vp->height() - 5));
    EXPECT_EQ(list->Items[9]->Caption(), "row0");
    const auto before = captions(*list);
    QTest::mouseClick(vp, Qt::LeftButton, {}, cell(*list, 3, 0));
    EXPECT_EQ(captions(*list), before);

    // Leaving the list ends the move without moving.
    QTest::mousePress(vp, Qt::LeftButton, {}, cell(*list, 1, 0));
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(vp, &leave);
    EXPECT_EQ(list->MovingRow(), -1);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, cell(*list, 6, 0));
    EXPECT_EQ(captions(*list), before);

    // Without ReArrangeItems nothing moves.
    list->ReArrangeItems = false;
    QTest::mousePress(vp, Qt::LeftButton, {}, cell(*list, 1, 0));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, cell(*list, 6, 0));
    EXPECT_EQ(captions(*list), before);
}

TEST(ListMoves, HeldPointerNearTheEdgeScrollsEveryTick)
{
    auto list = makeList(60, 150);
    list->ReArrangeItems = true;
    list->SetItemHeight(16);
    QWidget *vp = list->viewport();
    QScrollBar *sb = list->verticalScrollBar();
    ASSERT_GT(sb->maximum(), 5);
    QTest::mousePress(vp, Qt::LeftButton, {}, cell(*list, 1, 0));
    moveTo(vp, QPoint(20, vp->height() - 3));
    EXPECT_TRUE(waitFor([&] { return sb->value() >= 2; }));
    moveTo(vp, QPoint(20, 40));   // in the middle: no scrolling
    const int held = sb->value();
    QTest::qWait(700);
    EXPECT_EQ(sb->value(), held);
    moveTo(vp, QPoint(20, 2));
    EXPECT_TRUE(waitFor([&] { return sb->value() < held; }));
    QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(20, 2));
    const int after = sb->value();
    QTest::qWait(400);
    EXPECT_EQ(sb->value(), after);   // the move ended, so did the scrolling
}

TEST(ListMoves, MoveAndSwapByCall)
{
    auto list = makeList(4);
    list->Items[1]->SetSelected(true);
    list->Items[3]->SetImageIndex(2);
    list->SwapItems(1, 3);
    EXPECT_EQ(captions(*list), (std::vector<std::string>{"row0", "row3", "row2", "row1"}));
    EXPECT_EQ(list->Items[1]->ImageIndex(), 2);
    EXPECT_EQ(list->Items[1]->SubItems[1], "c3");
    EXPECT_TRUE(list->Items[1]->Selected());   // selection stays in place
    list->SwapItems(0, 7);
    list->MoveItem(-1, 2);
    list->MoveItem(2, 2);
    list->MoveItem(0, 9);
    EXPECT_EQ(captions(*list), (std::vector<std::string>{"row0", "row3", "row2", "row1"}));
    list->MoveItem(0, -1);
    EXPECT_EQ(captions(*list), (std::vector<std::string>{"row3", "row2", "row1", "row0"}));
    EXPECT_EQ(list->ItemFocused(), list->Items[3]);
    EXPECT_EQ(list->FocusRepaint(), 3);
    list->Items[3]->SetFocused(false);
    EXPECT_EQ(list->FocusRepaint(), 0);

    auto order = [&] {
        std::string s;
        for (int c : list->ColumnDisplayOrder()) s += char('A' + c);
        return s;
    };
    list->Columns.Add("D", 50);
    struct Case { bool swap; int a, b; const char *result; };
    const Case cases[] = {{false, 0, 2, "BCAD"}, {false, 2, 0, "ABCD"}, {true, 0, 3, "DBCA"},
                          {true, 3, 0, "ABCD"},  {false, 0, 4, "ABCD"}, {true, -1, 2, "ABCD"},
                          {false, 1, 1, "ABCD"}};
    for (const Case &c : cases) {
        if (c.swap) list->SwapColumns(c.a, c.b);
        else list->MoveColumn(c.a, c.b);
        EXPECT_EQ(order(), c.result) << c.swap << c.a << c.b;
    }
}

// ---- editing ---------------------------------------------------------------------------------

TEST(ListEditing, EditsBeginOnlyWhereTheHandlerAllows)
{
    auto list = makeList(4);
    list->SubItemEdit = true;
    std::vector<std::pair<int, int>> asked;
    bool allow = false;
    list->OnCanEditCell = [&](TEnhListView *, int row, int col, bool &a) {
        asked.emplace_back(row, col);
        a = allow;
    };
    QWidget *vp = list->viewport();
    QTest::mouseClick(vp, Qt::LeftButton, {}, cell(*list, 2, 1));
    EXPECT_EQ(list->RememberedCol(), 1);
    list->setFocus();
    QTest::keyClick(list.get(), Qt::Key_F2);
    EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{{2, 1}}));
    EXPECT_FALSE(list->Editing());
    EXPECT_EQ(editorOf(*list), nullptr);

    // Right moves the edit column; Space starts the editor there.
    allow = true;
    QTest::keyClick(list.get(), Qt::Key_Right);
    QTest::keyClick(list.get(), Qt::Key_Right);   // stays on the last column
    EXPECT_EQ(list->RememberedCol(), 2);
    QTest::keyClick(list.get(), Qt::Key_Space);
    EXPECT_EQ(asked.back(), (std::pair<int, int>{2, 2}));
    ASSERT_TRUE(list->Editing());
    auto *editor = editorOf(*list);
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "c2");
    EXPECT_EQ(editor->geometry().left(), list->GetItemRect(2, 2).left());
    editor->selectAll();
    QTest::keyClicks(editor, "new");
    QTest::keyClick(editor, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_FALSE(list->Editing());
    EXPECT_EQ(list->Items[2]->SubItems[1], "new");
    EXPECT_EQ(list->Items[2]->Caption(), "row2");

    // Cancelled: the cell keeps its text.
    list->StartEdit(1, 1);
    ASSERT_TRUE(list->Editing());
    list->SetEditText("typed");
    EXPECT_EQ(editorOf(*list)->text(), "typed");
    QTest::keyClick(editorOf(*list), Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_FALSE(list->Editing());
    EXPECT_EQ(list->Items[1]->SubItems[0], "b1");

    // The editor hands back at most 1024 characters.
    list->StartEdit(0, 0);
    auto *ed = editorOf(*list);
    ASSERT_NE(ed, nullptr);
    ed->setText(QString(3000, u'x'));
    QTest::keyClick(ed, Qt::Key_Return);
    QApplication::processEvents();
    EXPECT_EQ(list->Items[0]->Caption().size(), 1024u);

    // A read-only list never edits, and asks nobody.
    asked.clear();
    list->SetReadOnly(true);
    list->StartEdit(3, 1);
    EXPECT_FALSE(list->Editing());
    EXPECT_TRUE(asked.empty());
}

// ---- hints -------------------------------------------------------------------------------------

TEST(ListHints, OnlyTruncatedCellsGetAHint)
{
    auto list = makeList(3);
    list->AutoHint = true;
    const std::string longText = "a text far too long for a column eighty pixels wide";
    list->Items[1]->SubItems.Put(0, longText);
    std::string hint;
    EXPECT_TRUE(list->CellHint(1, 1, hint));
    EXPECT_EQ(hint, longText);
    EXPECT_FALSE(list->CellHint(1, 0, hint));    // "b0" fits
    list->Items[2]->SubItems.Put(0, "");
    EXPECT_FALSE(list->CellHint(1, 2, hint));    // empty
    EXPECT_FALSE(list->CellHint(1, -1, hint));   // the header row
    list->Columns[1]->SetWidth(1000);
    EXPECT_FALSE(list->CellHint(1, 1, hint));
    list->Columns[1]->SetWidth(80);
    // A bigger font from the owner makes a fitting text truncated.
    list->Items[0]->SubItems.Put(0, "twelve chars");
    EXPECT_FALSE(list->CellHint(1, 0, hint));
    list->OnDrawItemProp = [](TEnhListView *, int, int, TOwnerDrawState, TColor &, TFontDesc &f, std::string) {
        f.Height = 40;
    };
    EXPECT_TRUE(list->CellHint(1, 0, hint));
    list->OnDrawItemProp = nullptr;

    // Rich text hints its plain text; markup its stripped text, or the
    // markup itself with HTMLHint.
    list->Items[2]->SubItems.Put(0, "{\\rtf1\\ansi A rich \\b cell\\b0  much too wide for eighty pixels}");
    ASSERT_TRUE(list->CellHint(1, 2, hint));
    EXPECT_EQ(hint, "A rich cell much too wide for eighty pixels");
    const std::string markup = "<b>Bold</b> markup that is far too wide to fit";
    list->Items[2]->SubItems.Put(1, markup);
    ASSERT_TRUE(list->CellHint(2, 2, hint));
    EXPECT_EQ(hint, "Bold markup that is far too wide to fit");
    list->HTMLHint = true;
    ASSERT_TRUE(list->CellHint(2, 2, hint));
    EXPECT_EQ(hint, markup);
    list->Items[2]->SubItems.Put(1, "<b>ok</b>");
    EXPECT_FALSE(list->CellHint(2, 2, hint));   // narrow once the tags are gone

    // The application's hint request over the cell shows it; moving to
    // another cell takes it away.
    QWidget *vp = list->viewport();
    const QPoint p = cell(*list, 1, 1);
    QHelpEvent help(QEvent::ToolTip, p, vp->mapToGlobal(p));
    QCoreApplication::sendEvent(vp, &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), FromAnsi(longText));
    moveTo(vp, cell(*list, 1, 2), Qt::NoButton);
    EXPECT_TRUE(waitFor([] { return !QToolTip::isVisible(); }));
    const QPoint q = cell(*list, 0, 1);
    QHelpEvent help2(QEvent::ToolTip, q, vp->mapToGlobal(q));
    QCoreApplication::sendEvent(vp, &help2);
    EXPECT_TRUE(waitFor([] { return !QToolTip::isVisible(); }));
}

TEST(ListHints, ScrollBoxDragShowsTheTopCaption)
{
    auto list = makeList(50, 120);
    QScrollBar *sb = list->verticalScrollBar();
    sb->setSliderDown(true);
    sb->setSliderPosition(7);
    EXPECT_EQ(list->ScrollHintWindow(), nullptr);   // off by default
    list->ScrollHint = true;
    sb->setSliderPosition(9);
    auto *hint = qobject_cast<QLabel *>(list->ScrollHintWindow());
    ASSERT_NE(hint, nullptr);
    EXPECT_TRUE(hint->isVisible());
    EXPECT_EQ(hint->text(), "row9");
    EXPECT_LE(hint->width(), 100);
    sb->setSliderDown(false);
    EXPECT_FALSE(hint->isVisible());
}

// ---- clipboard ------------------------------------------------------------------------------------

TEST(ListClipboard, CopiesRowsAsTabSeparatedLines)
{
    auto list = makeList(0);
    list->SetMultiSelect(true);
    TListItem *a = list->Items.Add();
    a->SetCaption("a");
    a->SubItems.Add("b");
    a->SubItems.Add("c");
    list->Items.Add()->SetCaption("x");
    list->Items.Add()->SetCaption("d");
    a->SetSelected(true);
    list->Items[2]->SetSelected(true);
    QClipboard *cb = QApplication::clipboard();
    list->CopySelectionToClipboard();
    EXPECT_EQ(cb->text(), "a\tb\tc\r\nd\r\n");
    list->CopyToClipBoard();
    EXPECT_EQ(cb->text(), "a\tb\tc\r\nx\r\nd\r\n");

    // The keys work only with ClipboardEnable.
    list->setFocus();
    cb->setText("before");
    QTest::keyClick(list.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(cb->text(), "before");
    list->ClipboardEnable = true;
    QTest::keyClick(list.get(), Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(cb->text(), "a\tb\tc\r\nd\r\n");
    // Cutting copies the selection and deletes it.
    cb->clear();
    QTest::keyClick(list.get(), Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(cb->text(), "a\tb\tc\r\nd\r\n");
    EXPECT_EQ(captions(*list), std::vector<std::string>{"x"});

    // In a sub-item mode only the remembered cell of the selected row.
    auto sub = makeList(3);
    sub->SubItemSelect = true;
    QTest::mouseClick(sub->viewport(), Qt::LeftButton, {}, cell(*sub, 1, 2));
    sub->CopyToClipBoard();
    EXPECT_EQ(cb->text(), "c1");
}

TEST(ListClipboard, PastedLinesBecomeSelectedRows)
{
    auto list = makeList(1);
    list->Columns.Delete(2);
    list->SetMultiSelect(true);
    list->ClipboardEnable = true;
    QApplication::clipboard()->setText("p\tq\tr\r\ns\tt\tu\r\nleft over");
    list->setFocus();
    QTest::keyClick(list.get(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(list->Columns.Count(), 3);   // one column added
    ASSERT_EQ(list->Items.Count(), 3);
    EXPECT_EQ(list->Items[1]->Caption(), "p");
    EXPECT_EQ(list->Items[2]->SubItems.ToVector(), (std::vector<std::string>{"t", "u"}));
    EXPECT_TRUE(list->Items[1]->Selected());
    EXPECT_TRUE(list->Items[2]->Selected());
    EXPECT_EQ(list->Items[1]->ImageIndex(), -1);
    EXPECT_EQ(list->ItemFocused(), list->Items[2]);

    // Lines ended by CR or LF alone count too; text without a line end
    // changes nothing.
    list->PasteText("v\rw\nlast");
    EXPECT_EQ(captions(*list), (std::vector<std::string>{"row0", "p", "s", "v", "w"}));
    list->PasteText("no line end");
    list->PasteText("");
    EXPECT_EQ(list->Items.Count(), 5);

    // A hostile line with a hundred thousand fields adds at most 256 columns.
    std::string wide(100000, '\t');
    list->PasteText(wide + "\r\n");
    EXPECT_EQ(list->Columns.Count(), 256);
    EXPECT_EQ(list->Items.Count(), 6);

    // In a sub-item mode the whole text goes into the remembered cell.
    auto sub = makeList(3);
    sub->SubItemEdit = true;
    QTest::mouseClick(sub->viewport(), Qt::LeftButton, {}, cell(*sub, 2, 1));
    sub->PasteText("one\r\ntwo\r\n");
    EXPECT_EQ(sub->Items[2]->SubItems[0], "one\r\ntwo\r\n");
    EXPECT_EQ(sub->Items.Count(), 3);
}
