#pragma once
// The match chooser: a small modal dialog listing the matches the online
// database offered for a disc; the caller fills the rows, shows it and
// reads ChosenIndex (-1: no choice).
#include <QDialog>

#include <string>
#include <vector>

namespace cddbx {
struct Match;
}

namespace Ui {
class TChooseCDForm;
}

class TChooseCDForm : public QDialog {
    Q_OBJECT
public:
    explicit TChooseCDForm(QWidget *parent = nullptr);
    ~TChooseCDForm() override;

    Ui::TChooseCDForm *ui;
    // Index (from 0) of the chosen row; -1 for no choice.
    int ChosenIndex = -1;

    // Empties the rows / adds one row: the disc's title text and its category.
    void ClearMatches();
    void AddMatch(const std::string &title, const std::string &category);
    // Fills the rows with the matches, shows the chooser modally (centred on
    // the main window when there is one) and gives ChosenIndex.
    int ChooseAmong(const std::vector<cddbx::Match> &matches);

    // ---- handlers ----------------------------------------------------------------------
    void FormShow();
    void ChooseListSelectItem();
    void CancelBtnClick();
    void ChooseListDblClick();

    // Escape presses Cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
};

// The program's match chooser (the last one made), or nullptr.
extern TChooseCDForm *ChooseCDForm;
