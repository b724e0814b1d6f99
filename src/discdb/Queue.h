#pragma once
// The queue window ("Queue Manager"): lists the discs of the queue file,
// shows the details of the selected one, ticks rows by hand or in groups,
// erases entries, and looks the ticked rows up in the online database one
// after the other, writing every disc found into the catalogue at once.
// The marks of a run stay in the list until Close writes them to the file.
#include "discdb/CDDBExchange.h"
#include "discdb/CDDBOptions.h"
#include "discdb/QueueFile.h"

#include <QDialog>

class TNetExchange;

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QTimer;
class TEntryPages;
class TListItem;
class TMemIniFile;
class TNetHTTP;
class TNetTCPClient;

namespace Ui {
class TQueueForm;
}

class TQueueForm : public QDialog {
    Q_OBJECT
public:
    explicit TQueueForm(QWidget *parent = nullptr);
    ~TQueueForm() override;

    Ui::TQueueForm *ui;
    QTimer *ClearLastResultTimer = nullptr;
    // The line connection of the cddbp lookups and the HTTP client.
    std::unique_ptr<TNetTCPClient> TelnetCli;
    std::unique_ptr<TNetHTTP> HTTPCli;

    // ---- the settings ---------------------------------------------------------------------
    // Has the options window reload the settings file (set at start-up);
    // unset, the window reads the file itself.
    std::function<void()> LoadSettings;
    // The settings as the options window's controls hold them; unset, the
    // record read from the settings file.
    std::function<cddbopts::CDDBOptions()> Settings;
    cddbopts::CDDBOptions Options() const;
    // The exchange settings of the server in use (read anew for every row).
    cddbx::Settings ExchangeSettings() const;

    // ---- fields -----------------------------------------------------------------------------
    std::unique_ptr<TMemIniFile> QueueIni;
    std::unique_ptr<TMemIniFile> CatalogueIni;
    // The section names in file order, one per row.
    std::vector<std::string> QueueSections;
    int EntryCount = 0;
    int SelectedRow = -1;
    std::string SelectedPID;
    std::string CoverPath;
    bool StretchCover = false;
    int CurrentRow = -1;
    // The selected disc's extended track texts, in their stored form.
    std::array<std::string, 100> ExtTrackTexts;
    std::unique_ptr<TEntryPages> Pages;

    // ---- handlers ----------------------------------------------------------------------
    void FormShow();
    void FormClose();
    void ExitBtnClick();
    void QueueEntriesViewSelectItem(TListItem *item, bool selected);
    void QuerySelBtnClick();
    void ClearLastResultTimerTimer();
    // list commands
    void QueueEntriesViewCheckboxClick(int row, bool state);
    void QueueEntriesViewMouseDown(int x, int y);
    void SelAllBtnClick();
    void ClearAllBtnClick();
    void SelectUnqueriedBtnClick();
    void SelectUnfBtnClick();
    void DeleteEntryBtnClick();
    void DeleteAllEntriesBtnClick();
    void DeleteQueriedEntriesBtnClick();
    void DeleteUnfEntriesBtnClick();

    // ---- operations --------------------------------------------------------------------
    int FindNextChecked();
    int CountChecked() const;
    bool AnyChecked() const;
    void SetAllChecks(bool v);
    // The counter and Query Selected taken from the ticks as they stand.
    void RecountTicks();
    void SaveQueueStates();
    void SaveFoundEntry();
    void ClearDetails();
    void EnableQueueControls(bool v);
    void VisitAllPages();
    // The row's entry as the list shows it.
    queuefile::Entry RowEntry(int row) const;
    // The name of the row's section as the file holds it: the key of every
    // read and write of the row (the PID column shows it cut to a cell).
    std::string RowSection(int row) const;
    // The cells of a row: 0 PID, 1 DiscID, 2 Tracks, 3 Category, 4 Queried,
    // 5 Founded, 6 TOF, 7 TPT.
    enum Column { colPID, colDiscID, colTracks, colCategory, colQueried, colFounded, colTOF, colTPT };
    std::string Cell(int row, Column c) const;
    void SetCell(int row, Column c, const std::string &value);
    // The status label.
    std::string StatusText() const;
    void SetStatus(const std::string &text);

    // ---- the run ------------------------------------------------------------------------
    bool Running() const { return running_; }
    // Selects CurrentRow (the ordinal-th ticked row), looks it up and sets
    // its marks; true when the lookup went over HTTP.
    bool LookUpRow(int ordinal);
    // The marks, messages and saving of a row's lookup result.
    void ApplyResult(int row, bool http, const cddbx::LookupResult &result);
    // The entry read for CurrentRow fills the details; the disc is saved.
    void ParseXmcdEntry(const cddbx::XmcdEntry &entry, const std::string &category);
    // The query text of a row: the number of its offsets and its TOF.
    static std::string QueryText(const queuefile::Entry &entry);

    static const char *const kAreYouSure;
    static const char *const kConnectionError;  // the status label's
    static const char *const kFinished;

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;

public:
    void done(int result) override;
    void reject() override;

private:
    void ConnectHandlers();
    void commandEnablement();
    bool confirm();
    void finishErase();
    void reloadSections();
    void eraseWhere(Column c, const char *value);
    void showCover();
    void clearPages();
    void loadRowDetails(int row);
    void endRun(bool http);
    bool running_ = false;
    // The run's exchange while it runs (for the rows to see an abort).
    TNetExchange *run_ = nullptr;
    int scan_ = -1;             // the scan position of FindNextChecked
    bool closing_ = false;
};

// The program's queue window (the last one made), or nullptr.
extern TQueueForm *QueueForm;
