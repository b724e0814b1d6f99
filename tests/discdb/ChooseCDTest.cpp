// The match chooser driven offscreen: OK enabled by a selection, Cancel and
// Escape give -1, a double-click acts as OK.
#include "discdb/ChooseCD.h"
#include "ui_ChooseCD.h"

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace {

class ChooseFixture : public ::testing::Test {
protected:
    void open(int rows)
    {
        chooser.ClearMatches();
        for (int i = 0; i < rows; ++i)
            chooser.AddMatch("Artist " + std::to_string(i) + " / Title", "rock");
        chooser.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&chooser));
    }
    QWidget *view() { return chooser.ui->ChooseList->viewport(); }
    QPoint row(int i)
    {
        return chooser.ui->ChooseList->visualItemRect(chooser.ui->ChooseList->topLevelItem(i)).center();
    }
    QPoint below() { return QPoint(20, view()->height() - 4); }
    bool ok() { return chooser.ui->OkBtn->isEnabled(); }

    TChooseCDForm chooser;
};

} // namespace

TEST_F(ChooseFixture, SelectionEnablesOkAndOkKeepsTheIndex)
{
    open(3);
    EXPECT_EQ(chooser.ChosenIndex, -1);
    EXPECT_FALSE(ok());
    EXPECT_EQ(chooser.ui->ChooseList->headerItem()->text(0), "ARTIST / TITLE");
    QTest::mouseClick(view(), Qt::LeftButton, {}, row(1));
    EXPECT_EQ(chooser.ChosenIndex, 1);
    EXPECT_TRUE(ok());
    // Clicking empty space below the rows loses the choice again.
    QTest::mouseClick(view(), Qt::LeftButton, {}, below());
    EXPECT_EQ(chooser.ChosenIndex, -1);
    EXPECT_FALSE(ok());
    QTest::mouseClick(view(), Qt::LeftButton, {}, row(2));
    QTest::mouseClick(chooser.ui->OkBtn, Qt::LeftButton);
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.ChosenIndex, 2);
}

TEST_F(ChooseFixture, CancelAndEscapeGiveNoChoice)
{
    open(2);
    QTest::mouseClick(view(), Qt::LeftButton, {}, row(0));
    EXPECT_EQ(chooser.ChosenIndex, 0);
    QTest::mouseClick(chooser.ui->CancelBtn, Qt::LeftButton);
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(chooser.result(), QDialog::Rejected);
    EXPECT_EQ(chooser.ChosenIndex, -1);

    // Shown modally, Escape ends it with -1 even after a selection.
    open(2);
    QTest::mouseClick(view(), Qt::LeftButton, {}, row(1));
    QTimer::singleShot(0, &chooser, [this] { QTest::keyClick(&chooser, Qt::Key_Escape); });
    EXPECT_EQ(chooser.exec(), QDialog::Rejected);
    EXPECT_EQ(chooser.ChosenIndex, -1);
}

TEST_F(ChooseFixture, EnterAndDoubleClickActAsOk)
{
    // A single match still needs a selection; then Enter is OK.
    open(1);
    EXPECT_FALSE(ok());
    QTest::keyClick(&chooser, Qt::Key_Return);
    EXPECT_TRUE(chooser.isVisible());
    QTest::mouseClick(view(), Qt::LeftButton, {}, row(0));
    QTest::keyClick(&chooser, Qt::Key_Return);
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(chooser.ChosenIndex, 0);

    // Double-clicking a row selects it and ends the dialog with its index.
    open(3);
    EXPECT_EQ(chooser.ChosenIndex, -1);
    QTest::mouseDClick(view(), Qt::LeftButton, {}, row(2));
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.ChosenIndex, 2);

    // On empty space, with no row selected, it ends with -1.
    open(3);
    QTest::mouseClick(view(), Qt::LeftButton, {}, row(0));
    QTest::mouseDClick(view(), Qt::LeftButton, {}, below());
    EXPECT_FALSE(chooser.isVisible());
    EXPECT_EQ(chooser.result(), QDialog::Accepted);
    EXPECT_EQ(chooser.ChosenIndex, -1);
}
