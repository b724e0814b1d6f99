#include "discdb/CDDB.h"

#include "compilation/Main.h"
#include "discdb/CDDBExchange.h"
#include "discdb/NetPump.h"
#include "netclient/NetExchange.h"
#include "netclient/NetHTTP.h"
#include "netclient/NetTCPClient.h"
#include "platform/Cp1252.h"
#include "platform/Dialogs.h"
#include "platform/FileIO.h"
#include "platform/HandlerGuard.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"
#include "ui_CDDB.h"

#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpressionValidator>
#include <QStringList>
#include <QTimer>

#include <memory>

using HandlerGuard::Guarded;

namespace {

const char *const kInvalidInput = "Invalid input value.  Use escape key to abandon changes";

std::string text(const QLineEdit *edit) { return ToAnsi(edit->text()); }
void showText(QLineEdit *edit, const std::string &value) { edit->setText(FromAnsi(value)); }

// Ports and the time-out: one to four digits.
void makeNumberField(QLineEdit *edit)
{
    edit->setMaxLength(4);
    edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,4}")), edit));
}

} // namespace

TCDDBOptForm *CDDBOptForm = nullptr;

TCDDBOptForm::TCDDBOptForm(std::string iniFile, QComboBox *categBox, QWidget *parent)
    : QDialog(parent), ui(new Ui::TCDDBOptForm), IniFile(std::move(iniFile)), CategBox(categBox)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(530, 451);
    if (!CategBox) {
        ownCategBox_ = new QComboBox(this);
        ownCategBox_->hide();
        CategBox = ownCategBox_;
    }
    for (QLineEdit *e : {ui->HTTPPort, ui->CDDBPort, ui->TimeOut, ui->ProxyPort}) {
        makeNumberField(e);
        e->installEventFilter(this);
    }
    ui->ServerEdit->hide();
    ui->ServerAddress->installEventFilter(this);
    ui->ServerEdit->installEventFilter(this);

    connect(ui->ProtoHTTP, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            HandlerGuard::RunGuarded([this] { ProtoHTTPClick(); });
    });
    connect(ui->ProtoCDDB, &QRadioButton::toggled, this, [this](bool on) {
        if (on)
            HandlerGuard::RunGuarded([this] { ProtoCDDBClick(); });
    });
    connect(ui->UseProxy, &QCheckBox::toggled, this, Guarded([this] { UseProxyClick(); }));
    connect(ui->UseProxyAuth, &QCheckBox::toggled, this, Guarded([this] { UseProxyAuthClick(); }));
    connect(ui->CDDBPort, &QLineEdit::textChanged, this, Guarded([this] { CDDBPortChange(); }));
    connect(ui->HTTPPort, &QLineEdit::textChanged, this, Guarded([this] { HTTPPortChange(); }));
    connect(ui->CGIPath, &QLineEdit::textChanged, this, Guarded([this] { CGIPathChange(); }));
    connect(ui->ServerAddress, qOverload<int>(&QComboBox::activated), this, Guarded([this] { ServerAddressChange(); }));
    connect(ui->AddServerBtn, &QPushButton::clicked, this, Guarded([this] { AddServerBtnClick(); }));
    connect(ui->ModServerBtn, &QPushButton::clicked, this, Guarded([this] { ModServerBtnClick(); }));
    connect(ui->DelServerBtn, &QPushButton::clicked, this, Guarded([this] { DelServerBtnClick(); }));
    connect(ui->UserEmail, &QLineEdit::textChanged, this, Guarded([this] { UserEmailChange(); }));
    connect(ui->CDDBEmail, &QLineEdit::textChanged, this, Guarded([this] { CDDBEmailChange(); }));
    connect(ui->OkBtn, &QPushButton::clicked, this, Guarded([this] { OkBtnClick(); }));
    connect(ui->CancelBtn, &QPushButton::clicked, this, Guarded([this] { CancelBtnClick(); }));
    connect(ui->TestServerBtn, &QPushButton::clicked, this, Guarded([this] { TestServerBtnClick(); }));
    connect(ui->UpdateSitesBtn, &QPushButton::clicked, this, Guarded([this] { UpdateSitesBtnClick(); }));
    connect(ui->UpdateCategsBtn, &QPushButton::clicked, this, Guarded([this] { UpdateCategsBtnClick(); }));

    TelnetCli = std::make_unique<TNetTCPClient>();
    HTTPCli = std::make_unique<TNetHTTP>();
    TestServer = [this] { RunServerTask(cddbx::ServerTask::Test); };
    UpdateSites = [this] { RunServerTask(cddbx::ServerTask::Sites); };
    UpdateCategs = [this] { RunServerTask(cddbx::ServerTask::Categories); };
    ResetExchange = [this] { CloseExchange(); };
    DisconnectExchange = [this] { CloseExchange(); };

    CDDBOptForm = this;
    FormCreate();
}

TCDDBOptForm::~TCDDBOptForm()
{
    if (CDDBOptForm == this)
        CDDBOptForm = nullptr;
    delete ui;
}

// ---- the settings record -----------------------------------------------------------------

void TCDDBOptForm::LoadCDDBOptions()
{
    cddbopts::CDDBOptions options;
    bool exists = false;
    try {
        exists = cddbopts::LoadOptions(IniFile, options);
    } catch (const std::exception &) {
        // An unreadable file leaves the controls as they were.
        errorBox(cddbopts::kErrorReading);
        return;
    }
    if (!exists) {
        SetDefaultCDDBOptions();
        return;
    }
    ShowOptions(options);
}

void TCDDBOptForm::SaveCDDBOptions()
{
    try {
        cddbopts::SaveOptions(IniFile, Options());
    } catch (const std::exception &) {
        errorBox(cddbopts::kErrorSaving);
    }
}

void TCDDBOptForm::SetDefaultCDDBOptions()
{
    ShowOptions(cddbopts::DefaultOptions());
    // The defaults make the file of a new program folder. In a folder that
    // was moved or replaced while the program runs the file is only missing
    // from view: nothing can be saved there, and the user's own save says
    // so, once.
    if (fileio::HeldFolderProblem(IniFile).empty())
        SaveCDDBOptions();
}

cddbopts::CDDBOptions TCDDBOptForm::Options() const
{
    cddbopts::CDDBOptions o;
    o.TimeOut = text(ui->TimeOut);
    o.ServerToUse = ui->ServerAddress->currentIndex();
    for (int i = 0; i < CategBox->count(); ++i)
        o.Categories.push_back(ToAnsi(CategBox->itemText(i)));
    o.CDDBServerList = CDDBServerList;
    o.CDDBPortList = CDDBPortList;
    o.HTTPServerList = HTTPServerList;
    o.CGIPathList = CGIPathList;
    o.HTTPPortList = HTTPPortList;
    o.UseHTTP = ui->ProtoHTTP->isChecked();
    o.UseProxy = ui->UseProxy->isChecked();
    o.SocksVer = ToAnsi(ui->SocksVerBox->currentText());
    o.ProxyAddress = text(ui->ProxyAddress);
    o.ProxyPort = text(ui->ProxyPort);
    o.UseProxyAuth = ui->UseProxyAuth->isChecked();
    o.Username = text(ui->UsernameEdit);
    o.Password = text(ui->PwdEdit);
    o.UserEmail = text(ui->UserEmail);
    o.SMTPAddr = text(ui->SMTPAddr);
    o.CDDBEmail = text(ui->CDDBEmail);
    return o;
}

void TCDDBOptForm::ShowOptions(const cddbopts::CDDBOptions &o)
{
    // The lists are filled before the controls, and the protocol checked
    // before its fields, so what the fields show leaves the lists as read.
    showText(ui->TimeOut, o.TimeOut);
    CategBox->clear();
    for (const std::string &item : o.Categories)
        CategBox->addItem(FromAnsi(item));
    CDDBServerList = o.CDDBServerList;
    CDDBPortList = o.CDDBPortList;
    HTTPServerList = o.HTTPServerList;
    CGIPathList = o.CGIPathList;
    HTTPPortList = o.HTTPPortList;
    // No selection (-1) shows the first entry with its own port and path.
    const int s = o.ServerToUse < 0 ? 0 : o.ServerToUse;
    if (o.UseHTTP) {
        ui->ProtoHTTP->setChecked(true);
        fillServerAddress(HTTPServerList);
        if (size_t(s) < HTTPServerList.size()) {
            ui->ServerAddress->setCurrentIndex(s);
            showText(ui->CGIPath, CGIPathList[size_t(s)]);
            showText(ui->HTTPPort, HTTPPortList[size_t(s)]);
        } else {
            ui->CGIPath->clear();
            showText(ui->HTTPPort, "0");
        }
        showText(ui->CDDBPort, CDDBPortList.empty() ? "0" : CDDBPortList[0]);
    } else {
        ui->ProtoCDDB->setChecked(true);
        fillServerAddress(CDDBServerList);
        if (size_t(s) < CDDBServerList.size()) {
            ui->ServerAddress->setCurrentIndex(s);
            showText(ui->CDDBPort, CDDBPortList[size_t(s)]);
        } else {
            showText(ui->CDDBPort, "0");
        }
        showText(ui->CGIPath, CGIPathList.empty() ? std::string() : CGIPathList[0]);
        showText(ui->HTTPPort, HTTPPortList.empty() ? "0" : HTTPPortList[0]);
        for (QWidget *w : std::initializer_list<QWidget *>{ui->ProxyGroup, ui->UseProxy, ui->ProxyAddress, ui->ProxyPort,
                                                           ui->SocksVerBox, ui->UseProxyAuth, ui->UsernameEdit,
                                                           ui->PwdEdit, ui->HTTPPort})
            w->setEnabled(false);
    }
    ui->UseProxy->setChecked(o.UseProxy);
    int socks = 0;
    for (int i = 0; i < ui->SocksVerBox->count(); ++i)
        if (Rtl::AnsiCompareText(ToAnsi(ui->SocksVerBox->itemText(i)), o.SocksVer) == 0) {
            socks = i;
            break;
        }
    ui->SocksVerBox->setCurrentIndex(socks);
    showText(ui->ProxyAddress, o.ProxyAddress);
    showText(ui->ProxyPort, o.ProxyPort);
    ui->UseProxyAuth->setChecked(o.UseProxyAuth);
    showText(ui->UsernameEdit, o.Username);
    showText(ui->PwdEdit, o.Password);
    showText(ui->UserEmail, o.UserEmail);
    showText(ui->SMTPAddr, o.SMTPAddr);
    showText(ui->CDDBEmail, o.CDDBEmail);
    // A load changes both addresses at once, so both are checked: the
    // placeholder of a new file leaves OK off until the user gives an address.
    ui->OkBtn->setEnabled(CheckEmailAddress(o.UserEmail) && CheckEmailAddress(o.CDDBEmail));
}

// ---- handlers ------------------------------------------------------------------------------

void TCDDBOptForm::FormCreate()
{
    LoadCDDBOptions();
    if (ui->ServerAddress->count() > 0)
        ui->ServerAddress->setCurrentIndex(0);
    ui->SocksVerBox->setCurrentIndex(0);
}

void TCDDBOptForm::FormShow()
{
    if (ResetExchange)
        ResetExchange();
    AddingServer = false;
    ModifyingServer = false;
    if (!ui->ServerEdit->isHidden()) {
        ui->ServerEdit->clear();
        SetServerEditMode(false);
    }
    ui->ConnectionStat->clear();
    entered_ = nullptr;
    LoadCDDBOptions();
    const bool server = !ui->ServerAddress->currentText().isEmpty();
    setServerButtons(server);
    ui->TestServerBtn->setDefault(server);
    ui->DelServerBtn->setEnabled(ui->ServerAddress->count() > 0);
    ui->OptionsTab->setCurrentIndex(0);
}

void TCDDBOptForm::ProtoHTTPClick()
{
    ui->CDDBPort->setEnabled(false);
    for (QWidget *w : std::initializer_list<QWidget *>{ui->CGIPath, ui->ProxyGroup, ui->HTTPPort, ui->UseProxy})
        w->setEnabled(true);
    if (ui->UseProxy->isChecked()) {
        for (QWidget *w : std::initializer_list<QWidget *>{ui->ProxyAddress, ui->ProxyPort, ui->SocksVerBox, ui->UseProxyAuth})
            w->setEnabled(true);
        if (ui->UseProxyAuth->isChecked()) {
            ui->UsernameEdit->setEnabled(true);
            ui->PwdEdit->setEnabled(true);
        }
    }
    fillServerAddress(HTTPServerList);
    if (!CGIPathList.empty()) {
        showText(ui->CGIPath, CGIPathList[0]);
        showText(ui->HTTPPort, HTTPPortList.empty() ? "0" : HTTPPortList[0]);
    } else {
        ui->CGIPath->clear();
        showText(ui->HTTPPort, "0");
    }
    ui->DelServerBtn->setEnabled(ui->ServerAddress->count() > 0);
    setServerButtons(!ui->ServerAddress->currentText().isEmpty() && !ui->CGIPath->text().isEmpty());
}

void TCDDBOptForm::ProtoCDDBClick()
{
    ui->CDDBPort->setEnabled(true);
    for (QWidget *w : std::initializer_list<QWidget *>{ui->CGIPath, ui->ProxyGroup, ui->UseProxy, ui->ProxyAddress,
                                                       ui->ProxyPort, ui->SocksVerBox, ui->UseProxyAuth,
                                                       ui->UsernameEdit, ui->PwdEdit, ui->HTTPPort})
        w->setEnabled(false);
    fillServerAddress(CDDBServerList);
    setServerButtons(!ui->ServerAddress->currentText().isEmpty());
    showText(ui->CDDBPort, CDDBPortList.empty() ? "0" : CDDBPortList[0]);
    ui->DelServerBtn->setEnabled(ui->ServerAddress->count() > 0);
}

void TCDDBOptForm::UseProxyClick()
{
    const bool on = ui->UseProxy->isChecked();
    for (QWidget *w : std::initializer_list<QWidget *>{ui->ProxyAddress, ui->ProxyPort, ui->SocksVerBox, ui->UseProxyAuth})
        w->setEnabled(on);
    if (ui->UseProxyAuth->isChecked()) {
        ui->UsernameEdit->setEnabled(true);
        ui->PwdEdit->setEnabled(true);
    }
}

void TCDDBOptForm::UseProxyAuthClick()
{
    const bool on = ui->UseProxyAuth->isChecked();
    ui->UsernameEdit->setEnabled(on);
    ui->PwdEdit->setEnabled(on);
}

void TCDDBOptForm::CDDBPortChange()
{
    copyToSelected(ui->ProtoCDDB, CDDBServerList, CDDBPortList, ui->CDDBPort);
}

void TCDDBOptForm::HTTPPortChange()
{
    copyToSelected(ui->ProtoHTTP, HTTPServerList, HTTPPortList, ui->HTTPPort);
}

void TCDDBOptForm::CGIPathChange()
{
    if (copyToSelected(ui->ProtoHTTP, HTTPServerList, CGIPathList, ui->CGIPath) && ui->CGIPath->text().isEmpty())
        setServerButtons(false);
}

void TCDDBOptForm::ServerAddressChange()
{
    const bool server = !ui->ServerAddress->currentText().isEmpty();
    setServerButtons(server);
    ui->TestServerBtn->setDefault(server);
    if (ui->ServerAddress->count() == 0) {
        ui->DelServerBtn->setEnabled(false);
        return;
    }
    ui->DelServerBtn->setEnabled(true);
    const size_t i = size_t(selectedIndex());
    const std::string entry = ToAnsi(ui->ServerAddress->currentText());
    if (ui->ProtoCDDB->isChecked()) {
        if (i < CDDBPortList.size())
            showText(ui->CDDBPort, CDDBPortList[i]);
        if (i < CDDBServerList.size())
            CDDBServerList[i] = entry;
    } else {
        if (i < HTTPPortList.size())
            showText(ui->HTTPPort, HTTPPortList[i]);
        if (i < CGIPathList.size())
            showText(ui->CGIPath, CGIPathList[i]);
        if (i < HTTPServerList.size())
            HTTPServerList[i] = entry;
    }
}

void TCDDBOptForm::ServerAddressExit()
{
    const int kept = ui->ServerAddress->currentIndex();
    fillServerAddress(ui->ProtoCDDB->isChecked() ? CDDBServerList : HTTPServerList);
    ui->ServerAddress->setCurrentIndex(kept < ui->ServerAddress->count() ? kept : -1);
}

void TCDDBOptForm::AddServerBtnClick()
{
    SetServerEditMode(true);
    AddingServer = true;
    ModifyingServer = false;
}

void TCDDBOptForm::ModServerBtnClick()
{
    SetServerEditMode(true);
    ui->ServerEdit->setText(ui->ServerAddress->currentText());
    ModifyingServer = true;
    AddingServer = false;
}

void TCDDBOptForm::DelServerBtnClick()
{
    const int i = ui->ServerAddress->currentIndex();
    const int n = ui->ServerAddress->count();
    if (i < 0)
        return;
    if (n != 1) {
        ui->ServerAddress->setCurrentIndex(i == n - 1 ? i - 1 : i + 1);
        ServerAddressChange();
        ui->ServerAddress->removeItem(i);
    } else {
        ui->DelServerBtn->setEnabled(false);
        ui->ServerAddress->clear();
        ServerAddressChange();
        if (ui->ProtoCDDB->isChecked()) {
            showText(ui->CDDBPort, "0");
        } else {
            ui->CGIPath->clear();
            showText(ui->HTTPPort, "0");
        }
    }
    auto erase = [i](std::vector<std::string> &list) {
        if (size_t(i) < list.size())
            list.erase(list.begin() + i);
    };
    if (ui->ProtoCDDB->isChecked()) {
        erase(CDDBServerList);
        erase(CDDBPortList);
    } else {
        erase(HTTPServerList);
        erase(HTTPPortList);
        erase(CGIPathList);
    }
    LastServerIndex = ui->ServerAddress->currentIndex() < 0 ? 0 : ui->ServerAddress->currentIndex();
}

bool TCDDBOptForm::ServerEditKeyDown(int key)
{
    bool handled = false;
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        const std::string entry = text(ui->ServerEdit);
        if (!entry.empty()) {
            if (AddingServer)
                AddServerEntry(entry);
            else
                ModifyServerEntry(entry);
            setServerButtons(true);
        }
        SetServerEditMode(false);
        ui->ServerEdit->clear();
        handled = true;
    } else if (key == Qt::Key_Escape) {
        ui->ServerEdit->clear();
        SetServerEditMode(false);
        if (!ui->ServerAddress->currentText().isEmpty())
            setServerButtons(true);
        handled = true;
    }
    ui->DelServerBtn->setEnabled(ui->ServerAddress->count() > 0);
    return handled;
}

void TCDDBOptForm::UserEmailChange() { ui->OkBtn->setEnabled(CheckEmailAddress(text(ui->UserEmail))); }
void TCDDBOptForm::CDDBEmailChange() { ui->OkBtn->setEnabled(CheckEmailAddress(text(ui->CDDBEmail))); }

void TCDDBOptForm::OkBtnClick()
{
    // OK pressed by its shortcut leaves the field without moving the focus.
    if (const QLineEdit *field = numberField(focusWidget()); field && !leavable(field))
        throw Exception(kInvalidInput);
    SaveCDDBOptions();
    accept();
}

void TCDDBOptForm::CancelBtnClick()
{
    LoadCDDBOptions();
    if (DisconnectExchange)
        DisconnectExchange();
    QDialog::reject();
}

void TCDDBOptForm::TestServerBtnClick()
{
    if (TestServer)
        TestServer();
}

void TCDDBOptForm::UpdateSitesBtnClick()
{
    if (UpdateSites)
        UpdateSites();
}

void TCDDBOptForm::UpdateCategsBtnClick()
{
    if (UpdateCategs)
        UpdateCategs();
}

// ---- operations ----------------------------------------------------------------------------

void TCDDBOptForm::SetServerEditMode(bool on)
{
    ui->ServerEdit->setVisible(on);
    if (on)
        ui->ServerEdit->setFocus();
    for (QWidget *w : std::initializer_list<QWidget *>{ui->AddServerBtn, ui->ModServerBtn, ui->DelServerBtn})
        w->setVisible(!on);
    for (QWidget *w : std::initializer_list<QWidget *>{ui->ProtocolGroup, ui->TimeOut, ui->ServerAddress})
        w->setEnabled(!on);
    const bool http = ui->ProtoHTTP->isChecked();
    ui->ProxyGroup->setEnabled(!on && http);
    if (on)
        setServerButtons(false);
    if (http)
        ui->CGIPath->setEnabled(!on);
}

void TCDDBOptForm::AddServerEntry(const std::string &entry)
{
    if (ui->ProtoCDDB->isChecked()) {
        CDDBServerList.push_back(entry);
        CDDBPortList.push_back(cddbopts::kDefaultCDDBPort);
    } else {
        HTTPServerList.push_back(entry);
        HTTPPortList.push_back(cddbopts::kDefaultHTTPPort);
        CGIPathList.push_back(cddbopts::kDefaultCGIPath);
    }
    ui->ServerAddress->addItem(FromAnsi(entry));
    ui->ServerAddress->setCurrentIndex(ui->ServerAddress->count() - 1);
    if (ui->ProtoCDDB->isChecked()) {
        showText(ui->CDDBPort, cddbopts::kDefaultCDDBPort);
    } else {
        showText(ui->HTTPPort, cddbopts::kDefaultHTTPPort);
        showText(ui->CGIPath, cddbopts::kDefaultCGIPath);
    }
}

void TCDDBOptForm::ModifyServerEntry(const std::string &entry)
{
    const int i = ui->ServerAddress->currentIndex();
    if (i == -1) {
        AddServerEntry(entry);
        return;
    }
    ui->ServerAddress->setItemText(i, FromAnsi(entry));
    ui->ServerAddress->setCurrentIndex(i);
    std::vector<std::string> &list = ui->ProtoCDDB->isChecked() ? CDDBServerList : HTTPServerList;
    if (size_t(i) < list.size())
        list[size_t(i)] = entry;
}

void TCDDBOptForm::reject()
{
    // Closed while its server task waits: the task is aborted, and the
    // window closes as soon as it has ended.
    if (netpump::AbortThen(this, [this] { reject(); }))
        return;
    // While the server editor is open, Escape belongs to it.
    if (ui->ServerEdit->isHidden())
        HandlerGuard::RunGuarded([this] { CancelBtnClick(); });
}

void TCDDBOptForm::showEvent(QShowEvent *e)
{
    HandlerGuard::RunGuarded([this] { FormShow(); });
    QDialog::showEvent(e);
}

bool TCDDBOptForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == droppedPress_ && event->type() == QEvent::MouseButtonPress) {
        droppedPress_ = nullptr;
        return true;
    }
    if (QLineEdit *field = numberField(watched))
        return numberFieldEvent(field, event) || QDialog::eventFilter(watched, event);
    if (watched == ui->ServerEdit && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        bool handled = false;
        HandlerGuard::RunGuarded([&] { handled = ServerEditKeyDown(key); });
        if (handled)
            return true;
    } else if (watched == ui->ServerAddress && event->type() == QEvent::FocusOut &&
               static_cast<QFocusEvent *>(event)->reason() != Qt::PopupFocusReason) {
        HandlerGuard::RunGuarded([this] { ServerAddressExit(); });
    }
    return QDialog::eventFilter(watched, event);
}

QLineEdit *TCDDBOptForm::numberField(QObject *watched) const
{
    for (QLineEdit *e : {ui->HTTPPort, ui->CDDBPort, ui->TimeOut, ui->ProxyPort})
        if (watched == e)
            return e;
    return nullptr;
}

bool TCDDBOptForm::leavable(const QLineEdit *field)
{
    // A field shown empty and left alone keeps its fallback on save.
    return !field->isModified() || !field->text().isEmpty();
}

bool TCDDBOptForm::numberFieldEvent(QLineEdit *field, QEvent *event)
{
    switch (event->type()) {
    case QEvent::FocusIn:
        // Coming back after a refused leave or from another window is no new entry.
        if (entered_ != field) {
            entered_ = field;
            enteredText_ = field->text();
            field->setModified(false);
        }
        return false;
    case QEvent::FocusOut: {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason)
            return false;
        const bool leaving = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason ||
                             reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason;
        // The focus widget is already the one taking the focus; Cancel may
        // take it, since it abandons every change.
        QWidget *next = QApplication::focusWidget();
        if (leaving && !leavable(field) && next != ui->CancelBtn) {
            field->setFocus(Qt::OtherFocusReason);
            // The click that tried to leave does not reach its control.
            if (reason == Qt::MouseFocusReason && next) {
                droppedPress_ = next;
                next->installEventFilter(this);
            }
            HandlerGuard::ShowException(std::make_exception_ptr(Exception(kInvalidInput)));
            return false;
        }
        // (A refused leave makes the field it was going to lose the focus
        // without ever having had it.)
        if (entered_ == field)
            entered_ = nullptr;
        return false;
    }
    case QEvent::KeyPress:
        // Escape in a changed field abandons the changes, and only that.
        if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape && entered_ == field && field->isModified()) {
            field->setText(enteredText_);
            return true;
        }
        return false;
    default:
        return false;
    }
}

// ---- helpers --------------------------------------------------------------------------------

bool TCDDBOptForm::copyToSelected(const QRadioButton *protocol, const std::vector<std::string> &servers,
                                  std::vector<std::string> &list, const QLineEdit *field)
{
    // Only a field of the selected protocol belongs to the selected server.
    if (ui->ServerAddress->count() == 0 || !protocol->isChecked())
        return false;
    const size_t i = size_t(selectedIndex());
    if (i < servers.size() && i < list.size())
        list[i] = text(field);
    return true;
}

int TCDDBOptForm::selectedIndex()
{
    const int i = ui->ServerAddress->currentIndex();
    if (i != -1)
        LastServerIndex = i;
    return LastServerIndex;
}

void TCDDBOptForm::setServerButtons(bool on)
{
    ui->TestServerBtn->setEnabled(on);
    ui->UpdateSitesBtn->setEnabled(on);
    ui->UpdateCategsBtn->setEnabled(on);
}

void TCDDBOptForm::fillServerAddress(const std::vector<std::string> &list)
{
    ui->ServerAddress->clear();
    for (const std::string &entry : list)
        ui->ServerAddress->addItem(FromAnsi(entry));
    if (!list.empty())
        ui->ServerAddress->setCurrentIndex(0);
}

void TCDDBOptForm::errorBox(const std::string &peerText)
{
    // The log keeps a peer's whole text; the box shows a bounded part.
    const std::string message = cddbx::BoxText(peerText);
    if (MainForm)
        MainForm->ErrorBox(message);
    else
        Dialogs::MessageBox(this, message, "Error", Dialogs::Button::OK, Dialogs::Icon::None);
}

// ---- the server tasks ----------------------------------------------------------------------

namespace {

// The task's steps as lines of the log. The lines are gathered and go into
// the log in one edit: when the exchange next lets the windows work (the
// wait's event pump runs the queued flush), and when the task has ended. A
// reply of hundreds of lines so costs one layout and one paint of the log,
// not one of the whole window per line.
class LogHooks : public cddbx::ExchangeHooks {
public:
    explicit LogHooks(QPlainTextEdit *log) : pending_(std::make_shared<Pending>()) { pending_->log = log; }
    ~LogHooks() override { Flush(); }
    LogHooks(const LogHooks &) = delete;
    LogHooks &operator=(const LogHooks &) = delete;

    void Log(const std::string &line) override
    {
        pending_->lines.push_back(FromAnsi(line));
        if (pending_->queued || !pending_->log)
            return;
        pending_->queued = true;
        QTimer::singleShot(0, pending_->log, [p = std::weak_ptr<Pending>(pending_)] {
            if (const std::shared_ptr<Pending> pending = p.lock())
                pending->flush();
        });
    }
    // What is gathered goes into the log now.
    void Flush() { pending_->flush(); }

private:
    struct Pending {
        QPointer<QPlainTextEdit> log;
        QStringList lines;
        bool queued = false;
        void flush()
        {
            queued = false;
            if (lines.isEmpty() || !log)
                return;
            log->setUpdatesEnabled(false);
            log->appendPlainText(lines.join(u'\n'));
            log->setUpdatesEnabled(true);
            lines.clear();
        }
    };
    std::shared_ptr<Pending> pending_;
};

} // namespace

cddbx::Settings TCDDBOptForm::ExchangeSettings() const
{
    // The record of the controls, with the selected server as its only entry.
    cddbopts::CDDBOptions o = Options();
    o.ServerToUse = 0;
    const std::string entry = ToAnsi(ui->ServerAddress->currentText());
    if (o.UseHTTP) {
        o.HTTPServerList = {entry};
        o.HTTPPortList = {text(ui->HTTPPort)};
        o.CGIPathList = {text(ui->CGIPath)};
    } else {
        o.CDDBServerList = {entry};
        o.CDDBPortList = {text(ui->CDDBPort)};
    }
    return cddbx::SettingsFromOptions(o, MainForm ? MainForm->ClientName : std::string("MIXDECK"),
                                      MainForm ? MainForm->VersionText : std::string());
}

void TCDDBOptForm::EnableExchangeControls(bool enabled)
{
    for (QWidget *w : std::initializer_list<QWidget *> {ui->OptionsTab, ui->OkBtn, ui->CancelBtn, ui->UpdateSitesBtn,
                                                         ui->UpdateCategsBtn, ui->TestServerBtn})
        w->setEnabled(enabled);
}

void TCDDBOptForm::CloseExchange()
{
    for (TNetTCPClient *c : {TelnetCli.get(), static_cast<TNetTCPClient *>(HTTPCli.get())}) {
        try {
            c->Disconnect();
        } catch (const std::exception &) {
            // Nothing is left to close.
        }
    }
}

void TCDDBOptForm::RunServerTask(cddbx::ServerTask task)
{
    const cddbx::Settings settings = ExchangeSettings();
    TNetExchange exchange(static_cast<QObject *>(this), [this] {
        netpump::CloseNow(*TelnetCli);
        netpump::CloseNow(*HTTPCli);
    });
    if (!netpump::Started(this, exchange))
        return;
    ui->ConnectionStat->clear();
    EnableExchangeControls(false);
    LogHooks hooks(ui->ConnectionStat);
    cddbx::ServerResult r;
    try {
        r = settings.UseHTTP ? cddbx::HttpServerTask(*HTTPCli, settings, task, hooks)
                             : cddbx::CddbpServerTask(*TelnetCli, settings, task, hooks);
    } catch (...) {
        CloseExchange();
        r.Kind = cddbx::Outcome::ConnectFailed;
    }
    // The log is whole before anything below looks at it or empties it.
    hooks.Flush();
    if (exchange.Aborted()) {
        // The user closed the window or ended the program: nothing to say.
        EnableExchangeControls(true);
        return;
    }
    switch (r.Kind) {
    case cddbx::Outcome::ConnectFailed:
        Dialogs::MessageBox(this, cddbx::kNotResponding, cddbx::kWarningCaption, Dialogs::Button::OK,
                            Dialogs::Icon::Warning);
        ui->ConnectionStat->clear();
        break;
    case cddbx::Outcome::Failed:
        // The connection broke after it was made: the log keeps the steps.
        Dialogs::MessageBox(this, cddbx::FailureMessage(r.SizeError), cddbx::kWarningCaption, Dialogs::Button::OK,
                            Dialogs::Icon::Warning);
        break;
    case cddbx::Outcome::Unexpected:
        errorBox(r.Message);
        break;
    default:
        break;
    }
    if (!r.QuitReply.empty())
        errorBox(r.QuitReply);
    if (r.HaveCategories) {
        CategBox->clear();
        for (const std::string &item : r.Categories)
            CategBox->addItem(FromAnsi(item));
    }
    EnableExchangeControls(true);
    if (r.HaveSites) {
        CDDBServerList = r.Sites.CDDBServerList;
        CDDBPortList = r.Sites.CDDBPortList;
        HTTPServerList = r.Sites.HTTPServerList;
        CGIPathList = r.Sites.CGIPathList;
        HTTPPortList = r.Sites.HTTPPortList;
        // The handler of the selected protocol runs last and selects its first entry.
        if (ui->ProtoCDDB->isChecked()) {
            ProtoHTTPClick();
            ProtoCDDBClick();
        } else {
            ProtoCDDBClick();
            ProtoHTTPClick();
        }
    }
}
