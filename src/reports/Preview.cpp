#include "reports/Preview.h"

#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "reports/Alrep.h"
#include "reports/alprev.h"
#include "ui_Preview.h"

TPreviewForm *PreviewForm = nullptr;
std::function<void(TPreviewForm &)> PreviewShowModal;

TPreviewForm::TPreviewForm(QWidget *parent) : QDialog(parent), ui(new Ui::TPreviewForm)
{
    ui->setupUi(this);
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    ui->PrevRep->Title = "Tape Cover Preview";
    using HandlerGuard::Guarded;
    connect(ui->PrintBtn, &QToolButton::clicked, this, Guarded([this] { PrintBtnClick(); }));
    connect(ui->PrinterSetupBtn, &QToolButton::clicked, this, Guarded([this] { PrinterSetupBtnClick(); }));
    connect(ui->CloseBtn, &QToolButton::clicked, this, Guarded([this] { CloseBtnClick(); }));
}

TPreviewForm::~TPreviewForm()
{
    if (PreviewForm == this)
        PreviewForm = nullptr;
    delete ui;
}

tAlPreview *TPreviewForm::PrevRep() const { return ui->PrevRep; }

void TPreviewForm::PrintBtnClick() { ui->PrevRep->Print(1, 1); }

void TPreviewForm::PrinterSetupBtnClick()
{
    if (QPrinter *printer = AlPrinter().SystemPrinter())
        Dialogs::PrinterSetup(this, *printer);
}

void TPreviewForm::CloseBtnClick()
{
    if (PreviewForm)
        PreviewForm->close();
}

void PreviewReport(TAlReport &report, QWidget *parent)
{
    // Released when the run ends, also when recording fails.
    std::unique_ptr<TPreviewForm> form(new TPreviewForm(parent));
    PreviewForm = form.get();
    tAlPreview *prev = form->PrevRep();
    report.Preview(prev->Pages());
    prev->SetZoom(100);
    prev->FirstPage();
    prev->UpdatePage();
    if (PreviewShowModal) {
        PreviewShowModal(*form);
    } else {
        form->setWindowState(form->windowState() | Qt::WindowMaximized);
        form->exec();
    }
}
