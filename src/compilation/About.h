#pragma once
// The about box: the product's logo, the version, the maker's addresses as
// links and the credits fading one line after another. A click anywhere
// but on a link closes it.
#include <QDialog>

#include <array>
#include <string>
#include <vector>

namespace Ui {
class TAboutForm;
}

class TAboutForm : public QDialog {
    Q_OBJECT
public:
    explicit TAboutForm(QWidget *parent = nullptr);
    ~TAboutForm() override;

    Ui::TAboutForm *ui;

    // The nineteen credit lines.
    static std::vector<std::string> Credits();
    // Fills the version labels: "V1.V2.V3", "RC1", "V4 )".
    void SetVersion(const std::array<int, 4> &v);

    void FormShow();
    void FormClick();

protected:
    void showEvent(QShowEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
};

extern TAboutForm *AboutForm;
