#include "discdb/ChooseCD.h"

#include "compilation/Main.h"
#include "discdb/CDDBExchange.h"

#include "platform/Cp1252.h"
#include "platform/HandlerGuard.h"
#include "ui_ChooseCD.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPushButton>
#include <QTreeWidget>

using HandlerGuard::Guarded;

namespace {

// One row of the list: the title, and the category centred.
QTreeWidgetItem *matchRow(const std::string &title, const std::string &category)
{
    auto *row = new QTreeWidgetItem(QStringList {FromAnsi(title), FromAnsi(category)});
    row->setTextAlignment(1, Qt::AlignCenter);
    return row;
}

} // namespace

TChooseCDForm *ChooseCDForm = nullptr;

TChooseCDForm::TChooseCDForm(QWidget *parent) : QDialog(parent), ui(new Ui::TChooseCDForm)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(408, 208);
    QHeaderView *header = ui->ChooseList->header();
    header->setSectionsClickable(false);
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->resizeSection(1, 90);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    ui->ChooseList->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    ui->ChooseList->viewport()->installEventFilter(this);

    connect(ui->ChooseList, &QTreeWidget::itemSelectionChanged, this, Guarded([this] { ChooseListSelectItem(); }));
    connect(ui->CancelBtn, &QPushButton::clicked, this, Guarded([this] { CancelBtnClick(); }));
    // OK has no handler of its own: it ends the dialog keeping ChosenIndex.
    connect(ui->OkBtn, &QPushButton::clicked, this, [this] { accept(); });
    ChooseCDForm = this;
}

TChooseCDForm::~TChooseCDForm()
{
    if (ChooseCDForm == this)
        ChooseCDForm = nullptr;
    delete ui;
}

void TChooseCDForm::ClearMatches() { ui->ChooseList->clear(); }

void TChooseCDForm::AddMatch(const std::string &title, const std::string &category)
{
    ui->ChooseList->addTopLevelItem(matchRow(title, category));
}

void TChooseCDForm::FormShow() { ChosenIndex = -1; }

void TChooseCDForm::ChooseListSelectItem()
{
    const QList<QTreeWidgetItem *> selected = ui->ChooseList->selectedItems();
    if (!selected.isEmpty()) {
        ChosenIndex = ui->ChooseList->indexOfTopLevelItem(selected.front());
        ui->OkBtn->setEnabled(true);
    } else {
        ui->OkBtn->setEnabled(false);
        ChosenIndex = -1;
    }
}

void TChooseCDForm::CancelBtnClick()
{
    ChosenIndex = -1;
    QDialog::reject();
}

void TChooseCDForm::ChooseListDblClick() { accept(); }

void TChooseCDForm::reject()
{
    HandlerGuard::RunGuarded([this] { CancelBtnClick(); });
}

void TChooseCDForm::showEvent(QShowEvent *e)
{
    HandlerGuard::RunGuarded([this] { FormShow(); });
    QDialog::showEvent(e);
}

bool TChooseCDForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->ChooseList->viewport()) {
        const QEvent::Type type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
            // A click on empty space below the rows drops the selection; a
            // double-click selects its row first.
            QTreeWidgetItem *item = ui->ChooseList->itemAt(static_cast<QMouseEvent *>(event)->position().toPoint());
            if (!item)
                ui->ChooseList->clearSelection();
            if (type == QEvent::MouseButtonDblClick) {
                if (item)
                    ui->ChooseList->setCurrentItem(item);
                HandlerGuard::RunGuarded([this] { ChooseListDblClick(); });
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

int TChooseCDForm::ChooseAmong(const std::vector<cddbx::Match> &matches)
{
    // A server's list of any length goes in as one insertion.
    ClearMatches();
    QList<QTreeWidgetItem *> rows;
    rows.reserve(qsizetype(matches.size()));
    for (const cddbx::Match &m : matches)
        rows.push_back(matchRow(m.Title, m.Category));
    ui->ChooseList->setUpdatesEnabled(false);
    ui->ChooseList->addTopLevelItems(rows);
    ui->ChooseList->setUpdatesEnabled(true);
    if (MainForm)
        MainForm->ShowCentred(this);
    else
        exec();
    return ChosenIndex;
}
