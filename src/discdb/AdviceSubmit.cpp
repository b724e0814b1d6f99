#include "discdb/AdviceSubmit.h"

#include "platform/HandlerGuard.h"
#include "ui_AdviceSubmit.h"

#include <QPushButton>
#include <QShowEvent>

using HandlerGuard::Guarded;

TAdviceForm *AdviceForm = nullptr;

TAdviceForm::TAdviceForm(QWidget *parent) : QDialog(parent), ui(new Ui::TAdviceForm)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(344, 170);
    connect(ui->OkBtn, &QPushButton::clicked, this, Guarded([this] {
                OkBtnClick();
                accept();
            }));
    connect(ui->CancelBtn, &QPushButton::clicked, this, Guarded([this] { reject(); }));
    AdviceForm = this;
}

TAdviceForm::~TAdviceForm()
{
    if (AdviceForm == this)
        AdviceForm = nullptr;
    delete ui;
}

void TAdviceForm::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        HandlerGuard::RunGuarded([this] { FormShow(); });
}

void TAdviceForm::FormShow() { Accepted = false; }

void TAdviceForm::OkBtnClick() { Accepted = true; }

void TAdviceForm::CancelBtnClick() { Accepted = false; }

void TAdviceForm::reject()
{
    CancelBtnClick();
    QDialog::reject();
}
