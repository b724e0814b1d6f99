#pragma once
// The submission advice box: before an entry is sent to the online
// database the user confirms its rules. Cancel has the focus and is the
// default, so Enter and Escape both decline.
#include <QDialog>

namespace Ui {
class TAdviceForm;
}

class TAdviceForm : public QDialog {
    Q_OBJECT
public:
    explicit TAdviceForm(QWidget *parent = nullptr);
    ~TAdviceForm() override;

    Ui::TAdviceForm *ui;
    // The user pressed OK.
    bool Accepted = false;

    void FormShow();
    void OkBtnClick();
    void CancelBtnClick();
    // Escape and closing the box count as Cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent *e) override;
};

// The program's advice box (the last one made), or nullptr.
extern TAdviceForm *AdviceForm;
