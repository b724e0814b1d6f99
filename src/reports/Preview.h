#pragma once
// The preview window: a toolbar with Print, Printer Setup and Close over one
// preview control. The main window makes one for every report preview, has
// the report record its pages into the control, shows it modally and
// releases it afterwards.
#include <QDialog>
#include <functional>
#include <memory>

class TAlReport;
class tAlPreview;

namespace Ui {
class TPreviewForm;
}

class TPreviewForm : public QDialog {
public:
    explicit TPreviewForm(QWidget *parent = nullptr);
    ~TPreviewForm() override;

    Ui::TPreviewForm *ui;
    tAlPreview *PrevRep() const;

    // Prints the first page: the reports shown here are one page long.
    void PrintBtnClick();
    // The printer set-up dialog; its printer serves the next print (the
    // report's orientation replaces the one chosen there).
    void PrinterSetupBtnClick();
    void CloseBtnClick();
};

// The preview window while one is open.
extern TPreviewForm *PreviewForm;

// Runs the preview of a report: a new preview window, the report's pages
// recorded into its control, first page at zoom 100, shown modally (or
// handed to ShowModal when set), released when it closes.
void PreviewReport(TAlReport &report, QWidget *parent = nullptr);

// How PreviewReport shows the window; tests replace it to drive the window
// and close it. Unset: QDialog::exec, maximised.
extern std::function<void(TPreviewForm &)> PreviewShowModal;
