#pragma once
// The options window: the user edits the online-database settings here
// (protocol, server lists with ports and cgi paths, SOCKS proxy, addresses
// for submissions). Its controls hold the settings record at run time; the
// grabbing and queue windows have it reload the settings file and read its
// controls. OK saves the file, Cancel reloads it.
#include "discdb/CDDBOptions.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class TNetHTTP;
class TNetTCPClient;

namespace cddbx {
struct Settings;
struct ServerResult;
enum class ServerTask;
} // namespace cddbx
class QLineEdit;
class QRadioButton;

namespace Ui {
class TCDDBOptForm;
}

class TCDDBOptForm : public QDialog {
    Q_OBJECT
public:
    // iniFile: the settings file; categBox: the grabbing window's category
    // box, which holds the category list (nullptr: a box of this window's
    // own holds it). Loads the settings (FormCreate).
    TCDDBOptForm(std::string iniFile, QComboBox *categBox, QWidget *parent = nullptr);
    ~TCDDBOptForm() override;

    Ui::TCDDBOptForm *ui;
    const std::string IniFile;
    QComboBox *CategBox;

    // The two server tables (entry i of each list of a table is one server).
    std::vector<std::string> CDDBServerList, CDDBPortList;
    std::vector<std::string> HTTPServerList, CGIPathList, HTTPPortList;
    int LastServerIndex = 0;
    bool AddingServer = false;
    bool ModifyingServer = false;

    // ---- seams for the server exchanges ---------------------------------------------
    // "&Test Server", "Update &Sites" and "Update Cat&egs"; unset, they do
    // nothing. ResetExchange returns the exchange to its idle state when the
    // window is shown; DisconnectExchange ends it on Cancel. All five start
    // wired to the server tasks below.
    std::function<void()> TestServer;
    std::function<void()> UpdateSites;
    std::function<void()> UpdateCategs;
    std::function<void()> ResetExchange;
    std::function<void()> DisconnectExchange;

    // ---- the server tasks --------------------------------------------------------------
    // The clients of the tasks: the cddbp line connection and HTTP.
    std::unique_ptr<TNetTCPClient> TelnetCli;
    std::unique_ptr<TNetHTTP> HTTPCli;
    // The settings of an exchange as the controls hold them (the selected
    // server entry with its port and cgi path); the lookups read them too.
    cddbx::Settings ExchangeSettings() const;
    // Runs the task with the selected protocol, writing its steps into the
    // log ConnectionStat, and takes the site tables or the category list it
    // brings; every outcome ends with the controls enabled.
    void RunServerTask(cddbx::ServerTask task);
    // Enables or disables the options tabs, OK, Cancel and the three server buttons.
    void EnableExchangeControls(bool enabled);
    // Closes a connection that is still open.
    void CloseExchange();

    // ---- the settings record ----------------------------------------------------------
    void LoadCDDBOptions();
    void SaveCDDBOptions();
    void SetDefaultCDDBOptions();
    // The record the controls hold / shows a record in the controls.
    cddbopts::CDDBOptions Options() const;
    void ShowOptions(const cddbopts::CDDBOptions &options);
    static std::string EncodePassword(const std::string &text) { return cddbopts::EncodePassword(text); }
    static std::string DecodePassword(const std::string &text) { return cddbopts::DecodePassword(text); }

    // ---- handlers ----------------------------------------------------------------------
    void FormCreate();
    void FormShow();
    void ProtoHTTPClick();
    void ProtoCDDBClick();
    void UseProxyClick();
    void UseProxyAuthClick();
    void CDDBPortChange();
    void HTTPPortChange();
    void CGIPathChange();
    void ServerAddressChange();
    void ServerAddressExit();
    void AddServerBtnClick();
    void ModServerBtnClick();
    void DelServerBtnClick();
    // key: a Qt key code; true when the editor handled it.
    bool ServerEditKeyDown(int key);
    void UserEmailChange();
    void CDDBEmailChange();
    void OkBtnClick();
    void CancelBtnClick();
    void TestServerBtnClick();
    void UpdateSitesBtnClick();
    void UpdateCategsBtnClick();

    // ---- operations --------------------------------------------------------------------
    static bool CheckEmailAddress(const std::string &text) { return cddbopts::CheckEmailAddress(text); }
    void SetServerEditMode(bool on);
    void AddServerEntry(const std::string &text);
    void ModifyServerEntry(const std::string &text);

    // Escape presses Cancel.
    void reject() override;

protected:
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The selection of ServerAddress, or LastServerIndex when there is none.
    int selectedIndex();
    // Copies the field into the list at the selected index when the field
    // belongs to the selected protocol; false when it does not (or there are
    // no entries).
    bool copyToSelected(const QRadioButton *protocol, const std::vector<std::string> &servers,
                        std::vector<std::string> &list, const QLineEdit *field);
    void setServerButtons(bool on);
    void fillServerAddress(const std::vector<std::string> &list);
    void errorBox(const std::string &text);
    // The port and time-out fields: one that the user changed cannot be
    // left empty, and Escape in it restores the text it had on entry.
    QLineEdit *numberField(QObject *watched) const;
    static bool leavable(const QLineEdit *field);
    bool numberFieldEvent(QLineEdit *field, QEvent *event);
    QComboBox *ownCategBox_ = nullptr;
    QLineEdit *entered_ = nullptr;   // the number field last entered and not yet left
    QString enteredText_;            // its text on entry
    // The control whose focusing click was refused: its press is dropped.
    QPointer<QWidget> droppedPress_;
};

// The program's options window (the last one made), or nullptr.
extern TCDDBOptForm *CDDBOptForm;
