#include "discdb/Queue.h"

#include "compilation/Catalogue.h"
#include "compilation/EntryPages.h"
#include "compilation/Main.h"
#include "compilation/ManageDB.h"
#include "compilation/TapeModel.h"
#include "controls/EnhListV.h"
#include "controls/TextFade.h"
#include "discdb/ChooseCD.h"
#include "discdb/DiscId.h"
#include "discdb/NetPump.h"
#include "discdb/Submit.h"
#include "discdb/WebConnect.h"
#include "netclient/NetExchange.h"
#include "netclient/NetHTTP.h"
#include "netclient/NetTCPClient.h"
#include "platform/Cp1252.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"
#include "ui_Queue.h"

#include <QCloseEvent>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>

using namespace Rtl;
using entrytext::SetMemo;
using entrytext::SetText;
using entrytext::Text;

TQueueForm *QueueForm = nullptr;

const char *const TQueueForm::kAreYouSure = "Are you sure?";
const char *const TQueueForm::kConnectionError = cddbx::kQueueConnectionError;
const char *const TQueueForm::kFinished = "Finished.";

namespace {
// The fader's background, $00C08000 as a colour value.
constexpr TColor kFaderColor = 0x00C08000;
} // namespace

TQueueForm::TQueueForm(QWidget *parent) : QDialog(parent), ui(new Ui::TQueueForm)
{
    ui->setupUi(this);
    QueueForm = this;
    // The network status is heard from before the first lookup, off this thread.
    StartNetworkStatus();
    setWindowFlags(Qt::Dialog | Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(689, 553);
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    TEnhListView *v = ui->QueueEntriesView;
    v->Columns.Add("PID", 130);
    v->Columns.Add("DiscID", 90);
    v->Columns.Add("Tracks", 60, taCenter);
    v->Columns.Add("Category", 100);
    v->Columns.Add("Queried", 70, taCenter);
    v->Columns.Add("Founded", 70, taCenter);
    v->Columns.Add("TOF", 0);
    v->Columns.Add("TPT", 0);
    v->SetCheckboxes(true);
    v->SetReadOnly(true);
    v->SetRowSelect(true);
    v->SetGridLines(true);
    v->SetColumnClick(false);
    v->HideSelection = false;
    v->SetOwnerDraw(true);

    TEnhListView *t = ui->CDTracksView;
    t->Columns.Add("TRACK TITLE", 330);
    t->Columns.Add("TIME", 70, taCenter);
    t->SetReadOnly(true);
    t->SetRowSelect(true);
    t->SetColumnClick(false);

    Pages = TEntryPages::Make(*ui, ExtTrackTexts, this);
    Pages->NoPicture();

    TTextFader *f = ui->WaitFader;
    f->SetLines(std::vector<std::string>{"Please wait...", ""});
    f->SetColor(kFaderColor);
    f->SetFontColor(clWhite);
    QFont ff = f->font();
    ff.setBold(true);
    ff.setItalic(true);
    f->setFont(ff);
    f->SetActive(false);

    ClearLastResultTimer = new QTimer(this);
    ClearLastResultTimer->setObjectName("ClearLastResultTimer");
    ClearLastResultTimer->setInterval(3000);

    TelnetCli = std::make_unique<TNetTCPClient>();
    HTTPCli = std::make_unique<TNetHTTP>();

    ConnectHandlers();
}

TQueueForm::~TQueueForm()
{
    try {
        if (TelnetCli->Connected())
            TelnetCli->Disconnect();
    } catch (...) {
    }
    if (QueueForm == this)
        QueueForm = nullptr;
    delete ui;
}

void TQueueForm::ConnectHandlers()
{
    using HandlerGuard::Guarded;
    using HandlerGuard::RunGuarded;
    connect(ui->ExitBtn, &QPushButton::clicked, this, Guarded([this] { ExitBtnClick(); }));
    connect(ui->QuerySelBtn, &QPushButton::clicked, this, Guarded([this] { QuerySelBtnClick(); }));
    connect(ui->SelAllBtn, &QPushButton::clicked, this, Guarded([this] { SelAllBtnClick(); }));
    connect(ui->ClearAllBtn, &QPushButton::clicked, this, Guarded([this] { ClearAllBtnClick(); }));
    connect(ui->SelectUnqueriedBtn, &QPushButton::clicked, this, Guarded([this] { SelectUnqueriedBtnClick(); }));
    connect(ui->SelectUnfBtn, &QPushButton::clicked, this, Guarded([this] { SelectUnfBtnClick(); }));
    connect(ui->DeleteEntryBtn, &QPushButton::clicked, this, Guarded([this] { DeleteEntryBtnClick(); }));
    connect(ui->DeleteAllEntriesBtn, &QPushButton::clicked, this, Guarded([this] { DeleteAllEntriesBtnClick(); }));
    connect(ui->DeleteQueriedEntriesBtn, &QPushButton::clicked, this,
            Guarded([this] { DeleteQueriedEntriesBtnClick(); }));
    connect(ui->DeleteUnfEntriesBtn, &QPushButton::clicked, this, Guarded([this] { DeleteUnfEntriesBtnClick(); }));
    connect(ClearLastResultTimer, &QTimer::timeout, this, Guarded([this] { ClearLastResultTimerTimer(); }));

    TEnhListView *v = ui->QueueEntriesView;
    v->OnSelectItem = [this](TEnhListView *, TListItem *item, bool selected) {
        RunGuarded([&] { QueueEntriesViewSelectItem(item, selected); });
    };
    v->OnCheckboxClick = [this](TEnhListView *, int row, bool state) {
        RunGuarded([&] { QueueEntriesViewCheckboxClick(row, state); });
    };
    v->OnMouseDown = [this](TEnhListView *, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
        RunGuarded([&] { QueueEntriesViewMouseDown(x, y); });
    };
}

void TQueueForm::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        HandlerGuard::RunGuarded([this] { FormShow(); });
}

void TQueueForm::closeEvent(QCloseEvent *e)
{
    // Closed during a run (the window manager's close): the run is aborted
    // and the window closes as soon as it has ended.
    if (netpump::AbortThen(this, [this] { close(); })) {
        e->ignore();
        return;
    }
    if (running_) {
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void TQueueForm::reject()
{
    // Escape presses Close; during a run it aborts the run first.
    if (netpump::AbortThen(this, [this] { reject(); }))
        return;
    if (ui->ExitBtn->isEnabled())
        HandlerGuard::RunGuarded([this] { ExitBtnClick(); });
}

void TQueueForm::done(int result)
{
    if (isVisible() && !closing_) {
        closing_ = true;
        HandlerGuard::RunGuarded([this] { FormClose(); });
        closing_ = false;
    }
    QDialog::done(result);
}

// ---- cells -----------------------------------------------------------------------------------

std::string TQueueForm::Cell(int row, Column c) const
{
    const TListItem *item = ui->QueueEntriesView->Items[row];
    return item ? item->CellText(int(c)) : std::string();
}

void TQueueForm::SetCell(int row, Column c, const std::string &value)
{
    TListItem *item = ui->QueueEntriesView->Items[row];
    if (!item)
        return;
    if (c == colPID)
        item->SetCaption(value);
    else
        item->SubItems.Put(int(c) - 1, value);
}

std::string TQueueForm::RowSection(int row) const
{
    return row >= 0 && row < int(QueueSections.size()) ? QueueSections[size_t(row)] : Cell(row, colPID);
}

queuefile::Entry TQueueForm::RowEntry(int row) const
{
    queuefile::Entry e;
    e.Pid = Cell(row, colPID);
    e.DiscId = Cell(row, colDiscID);
    e.Tracks = Cell(row, colTracks);
    e.Category = Cell(row, colCategory);
    e.Queried = Cell(row, colQueried);
    e.Founded = Cell(row, colFounded);
    e.Tof = Cell(row, colTOF);
    e.Tpt = Cell(row, colTPT);
    return e;
}

std::string TQueueForm::StatusText() const { return Text(ui->StatusLbl); }

void TQueueForm::SetStatus(const std::string &text) { SetText(ui->StatusLbl, text); }

cddbopts::CDDBOptions TQueueForm::Options() const
{
    if (Settings)
        return Settings();
    cddbopts::CDDBOptions o;
    try {
        if (MainForm && cddbopts::LoadOptions(MainForm->CDDBIniFile, o))
            return o;
    } catch (const std::exception &) {
    }
    return cddbopts::DefaultOptions();
}

// ---- showing and closing ----------------------------------------------------------------------

namespace {
// A server entry (host, latitude, longitude, description) is far longer than
// its label is wide: the label shows as much as fits, the host first, cut
// with an ellipsis, and the whole entry as its tip.
void ShowServerEntry(QLabel *l, const std::string &entry)
{
    const QString whole = FromAnsi(entry);
    const int room = l->contentsRect().width() - 2 * l->margin();
    l->setText(l->fontMetrics().elidedText(whole, Qt::ElideRight, room));
    l->setToolTip(whole);
}
} // namespace

void TQueueForm::FormShow()
{
    EntryCount = 0;
    if (LoadSettings)
        LoadSettings();
    ui->AutoChooseBox->setChecked(true);
    const cddbx::Settings settings = ExchangeSettings();
    SetText(ui->CurrentProtocolLbl, settings.UseHTTP ? "http" : "cddbp");
    ShowServerEntry(ui->CurrentServerLbl, settings.ServerEntry);
    SetStatus(std::string());
    SetText(ui->QueriesToDoLbl, "0");
    SetText(ui->CurrentQueryLbl, "0");
    ui->QueryProgessBar->setValue(0);
    running_ = false;
    scan_ = -1;
    CurrentRow = -1;

    [&] {
        try {
            QueueIni = queuefile::Open(MainForm->QueueIniFile);
        } catch (const std::exception &) {
            QueueIni.reset();
            MainForm->ErrorBox(queuefile::kErrorOpening);
            return;
        }
        try {
            CatalogueIni = catalogue::Open(MainForm->CatalogueFile);
        } catch (const std::exception &) {
            CatalogueIni.reset();
            MainForm->ErrorBox(catalogue::kErrorOpening);
            return;
        }
        TEnhListView *v = ui->QueueEntriesView;
        v->BeginUpdate();
        try {
            QueueSections = queuefile::Sections(*QueueIni);
            EntryCount = int(QueueSections.size());
            SetText(ui->TotalEntriesStatic, IntToStr(EntryCount));
            commandEnablement();
            ui->QuerySelBtn->setEnabled(false);
            for (const std::string &pid : QueueSections) {
                const queuefile::Entry e = queuefile::ReadEntry(*QueueIni, pid, CatalogueIni.get());
                TListItem *row = v->Items.Add();
                row->SetCaption(e.Pid);
                for (const std::string *cell : {&e.DiscId, &e.Tracks, &e.Category, &e.Queried, &e.Founded, &e.Tof,
                                                &e.Tpt})
                    row->SubItems.Add(*cell);
            }
        } catch (const std::exception &) {
            MainForm->ErrorBox(catalogue::kErrorReadingQueue);
        }
        v->EndUpdate();
    }();
    if (!QueueIni || !CatalogueIni) {
        commandEnablement();
        ui->QuerySelBtn->setEnabled(false);
    }
    ui->TracksPage->setCurrentIndex(0);
    ui->QueueEntriesView->SetOwnerDraw(false);
}

void TQueueForm::ExitBtnClick()
{
    SaveQueueStates();
    ClearDetails();
    if (TelnetCli->Connected())
        TelnetCli->Disconnect();
    QDialog::reject();
}

void TQueueForm::FormClose()
{
    TEnhListView *v = ui->QueueEntriesView;
    v->BeginUpdate();
    v->Items.Clear();
    v->EndUpdate();
    QueueSections.clear();
    EntryCount = 0;
    SelectedRow = -1;
    SelectedPID.clear();
    // Each file only when it was opened.
    for (auto [ini, error] : {std::pair{&QueueIni, queuefile::kErrorSaving},
                              std::pair{&CatalogueIni, catalogue::kErrorSaving}}) {
        if (!*ini)
            continue;
        try {
            (*ini)->UpdateFile();
        } catch (const std::exception &) {
            MainForm->ErrorBox(error);
        }
        ini->reset();
    }
}

// Every row's marks, then one write of the queue file.
void TQueueForm::SaveQueueStates()
{
    if (!QueueIni)
        return;
    try {
        for (int i = 0; i < ui->QueueEntriesView->Items.Count(); ++i)
            queuefile::WriteStates(*QueueIni, RowSection(i), RowEntry(i));
        QueueIni->UpdateFile();
    } catch (const std::exception &) {
        MainForm->ErrorBox(queuefile::kErrorSaving);
    }
}

// ---- the details of the selected disc -----------------------------------------------------------

void TQueueForm::QueueEntriesViewSelectItem(TListItem *item, bool selected)
{
    SelectedRow = item ? item->Index() : -1;
    if (selected && SelectedRow != -1) {
        if (ui->ExitBtn->isEnabled()) {
            ui->DeleteEntryBtn->setEnabled(true);
            ui->TracksPage->setEnabled(true);
        }
        SelectedPID = RowSection(SelectedRow);
        loadRowDetails(SelectedRow);
        return;
    }
    // The cover page keeps what it shows.
    SelectedPID.clear();
    clearPages();
    ui->DeleteEntryBtn->setEnabled(false);
}

void TQueueForm::loadRowDetails(int row)
{
    const std::string &pid = SelectedPID;
    TEnhListView *tracks = ui->CDTracksView;
    TEnhListView *ext = ui->EXTTList;
    const bool stored = CatalogueIni && CatalogueIni->SectionExists(pid);
    int n = 0;
    if (stored) {
        n = catalogue::ReadTrackCount(*CatalogueIni, pid);
    } else {
        // A count that is no number (such as "Unknown") is reported and the
        // pages keep what they show.
        n = std::clamp(StrToInt(Cell(row, colTracks)), 0, catalogue::kMaxTracks);
    }
    tracks->BeginUpdate();
    ext->BeginUpdate();
    tracks->Items.Clear();
    ext->Items.Clear();
    Pages->ClearTrackMemo();
    for (int i = 0; i < n; ++i) {
        std::string title, time;
        if (stored) {
            title = queuefile::CellValue(CatalogueIni->ReadString(pid, catalogue::TrackKey(i), std::string()));
            time = queuefile::CellValue(CatalogueIni->ReadString(pid, catalogue::TimeKey(i), std::string()));
            ExtTrackTexts[size_t(i)] = CatalogueIni->ReadString(pid, catalogue::ExttKey(i), std::string());
        } else {
            title = "Track " + tape::LeadingZero(i + 1);
            time = QueueIni ? queuefile::TrackTime(*QueueIni, pid, i) : queuefile::kNoTime;
            ExtTrackTexts[size_t(i)].clear();
        }
        TListItem *r = tracks->Items.Add();
        r->SetCaption(title);
        r->SubItems.Add(time);
        ext->Items.Add()->SetCaption(title);
    }
    ext->EndUpdate();
    tracks->EndUpdate();
    if (stored) {
        SetText(ui->ArtistEdit, CatalogueIni->ReadString(pid, catalogue::kArtist, std::string()));
        SetText(ui->CDTitleEdit, CatalogueIni->ReadString(pid, catalogue::kTitle, std::string()));
        SetMemo(ui->EXTDMemo,
                catalogue::DecodeExtendedText(CatalogueIni->ReadString(pid, catalogue::kExtd, std::string())));
        CoverPath = CatalogueIni->ReadString(pid, catalogue::kCoverImg, std::string());
        StretchCover = CatalogueIni->ReadBool(pid, catalogue::kStretchCover, false);
    } else {
        ui->ArtistEdit->clear();
        ui->CDTitleEdit->clear();
        SetMemo(ui->EXTDMemo, std::string());
        CoverPath.clear();
        StretchCover = false;
    }
    showCover();
}

void TQueueForm::showCover()
{
    Pages->NoPicture();
    if (!CoverPath.empty()) {
        try {
            Pages->ShowPicture(LoadPictureFile(CoverPath), StretchCover);
        } catch (const std::exception &) {
            // The picture is gone: the catalogue forgets its path at once.
            Pages->NoPicture();
            CoverPath.clear();
            if (CatalogueIni) {
                try {
                    CatalogueIni->WriteString(SelectedPID, catalogue::kCoverImg, std::string());
                    CatalogueIni->UpdateFile();
                } catch (const std::exception &) {
                    MainForm->ErrorBox(catalogue::kErrorSaving);
                }
            }
        }
    }
    ui->ClearBtn->setEnabled(false);
    ui->StretchBtn->setEnabled(false);
}

void TQueueForm::ClearDetails()
{
    clearPages();
    ui->TracksPage->setCurrentIndex(0);
}

void TQueueForm::clearPages()
{
    ui->ArtistEdit->clear();
    ui->CDTitleEdit->clear();
    for (TEnhListView *l : {ui->CDTracksView, ui->EXTTList}) {
        l->BeginUpdate();
        l->Items.Clear();
        l->EndUpdate();
    }
    Pages->ClearTrackMemo();
    SetMemo(ui->EXTDMemo, std::string());
    ui->TracksPage->setEnabled(false);
}

void TQueueForm::VisitAllPages()
{
    ui->TracksPage->setEnabled(false);
    Pages->VisitAllPages();
    ui->TracksPage->setEnabled(true);
}

void TQueueForm::EnableQueueControls(bool v)
{
    for (QWidget *w : std::initializer_list<QWidget *>{
             ui->QueueEntriesView, ui->DeleteAllEntriesBtn, ui->DeleteEntryBtn, ui->DeleteQueriedEntriesBtn,
             ui->DeleteUnfEntriesBtn, ui->SelAllBtn, ui->SelectUnqueriedBtn, ui->SelectUnfBtn, ui->ClearAllBtn,
             ui->QuerySelBtn, ui->TracksPage})
        w->setEnabled(v);
    ui->TracksPage->setCurrentIndex(0);
    ui->ExitBtn->setEnabled(v);
}

void TQueueForm::ClearLastResultTimerTimer()
{
    ui->QueryProgessBar->setValue(0);
    SetText(ui->CurrentQueryLbl, "0");
    SetStatus(std::string());
    ClearLastResultTimer->stop();
}

// ---- ticks --------------------------------------------------------------------------------------

int TQueueForm::CountChecked() const
{
    int n = 0;
    const TListItems &items = ui->QueueEntriesView->Items;
    for (int i = 0; i < std::min(EntryCount, items.Count()); ++i)
        n += items[i]->Checked() ? 1 : 0;
    return n;
}

bool TQueueForm::AnyChecked() const
{
    const TListItems &items = ui->QueueEntriesView->Items;
    for (int i = 0; i < std::min(EntryCount, items.Count()); ++i)
        if (items[i]->Checked())
            return true;
    return false;
}

int TQueueForm::FindNextChecked()
{
    const TListItems &items = ui->QueueEntriesView->Items;
    for (int i = scan_ + 1; i < items.Count(); ++i)
        if (items[i]->Checked()) {
            scan_ = i;
            return i;
        }
    scan_ = -1;
    return -1;
}

void TQueueForm::QueueEntriesViewCheckboxClick(int /*row*/, bool state)
{
    ui->QuerySelBtn->setEnabled(state || AnyChecked());
    SetText(ui->QueriesToDoLbl, IntToStr(CountChecked()));
    // The space bar is reported before the list toggles the box, and for
    // the row last clicked, which need not be the one toggled: once the key
    // press is done, the counter and Query Selected follow the ticks as
    // they then stand.
    QTimer::singleShot(0, this, [this] { HandlerGuard::RunGuarded([this] { RecountTicks(); }); });
}

void TQueueForm::RecountTicks()
{
    if (running_)
        return;
    ui->QuerySelBtn->setEnabled(EntryCount > 0 && AnyChecked());
    SetText(ui->QueriesToDoLbl, IntToStr(CountChecked()));
}

void TQueueForm::QueueEntriesViewMouseDown(int x, int y)
{
    if (TListItem *item = ui->QueueEntriesView->GetItemAt(x, y))
        QueueEntriesViewCheckboxClick(item->Index(), item->Checked());
}

void TQueueForm::SetAllChecks(bool v)
{
    ui->QuerySelBtn->setEnabled(v);
    TListItems &items = ui->QueueEntriesView->Items;
    items.BeginUpdate();
    for (int i = 0; i < items.Count(); ++i)
        if (items[i]->Checked() != v)
            items[i]->SetChecked(v);
    items.EndUpdate();
}

void TQueueForm::SelAllBtnClick()
{
    SetAllChecks(true);
    SetText(ui->QueriesToDoLbl, IntToStr(CountChecked()));
}

void TQueueForm::ClearAllBtnClick()
{
    SetAllChecks(false);
    SetText(ui->QueriesToDoLbl, IntToStr(CountChecked()));
}

namespace {
// Ticks the rows whose cell holds the value; true when one was ticked.
bool tickWhere(TListItems &items, int column, const char *value)
{
    bool any = false;
    items.BeginUpdate();
    for (int i = 0; i < items.Count(); ++i)
        if (items[i]->CellText(column) == value) {
            items[i]->SetChecked(true);
            any = true;
        }
    items.EndUpdate();
    return any;
}
} // namespace

void TQueueForm::SelectUnqueriedBtnClick()
{
    SetAllChecks(false);
    ui->QuerySelBtn->setEnabled(tickWhere(ui->QueueEntriesView->Items, colQueried, queuefile::kNo));
    SetText(ui->QueriesToDoLbl, IntToStr(CountChecked()));
}

void TQueueForm::SelectUnfBtnClick()
{
    SetAllChecks(false);
    ui->QuerySelBtn->setEnabled(tickWhere(ui->QueueEntriesView->Items, colFounded, queuefile::kNo));
    SetText(ui->QueriesToDoLbl, IntToStr(CountChecked()));
}

// ---- erasing ------------------------------------------------------------------------------------

bool TQueueForm::confirm()
{
    return Dialogs::MessageBox(this, kAreYouSure, "Warning", Dialogs::Button::Yes | Dialogs::Button::No,
                               Dialogs::Icon::Warning, Dialogs::Button::No) == Dialogs::Button::Yes;
}

void TQueueForm::commandEnablement()
{
    const bool any = EntryCount > 0;
    for (QWidget *w : std::initializer_list<QWidget *>{ui->DeleteAllEntriesBtn, ui->DeleteQueriedEntriesBtn,
                                                        ui->DeleteUnfEntriesBtn, ui->SelAllBtn,
                                                        ui->SelectUnqueriedBtn, ui->SelectUnfBtn, ui->ClearAllBtn})
        w->setEnabled(any);
    ui->QuerySelBtn->setEnabled(any && AnyChecked());
    SetText(ui->QueriesToDoLbl, IntToStr(CountChecked()));
}

void TQueueForm::reloadSections()
{
    QueueSections = QueueIni ? queuefile::Sections(*QueueIni) : std::vector<std::string>();
    EntryCount = int(QueueSections.size());
    SetText(ui->TotalEntriesStatic, IntToStr(EntryCount));
}

void TQueueForm::finishErase()
{
    // The list shows the change whether or not the file could be written; a
    // failure reaches the handler guard and the next write writes the same.
    struct Finish {
        TQueueForm *f;
        ~Finish()
        {
            f->reloadSections();
            f->commandEnablement();
        }
    } finish{this};
    if (QueueIni)
        QueueIni->UpdateFile();
}

void TQueueForm::DeleteEntryBtnClick()
{
    if (!confirm() || !QueueIni)
        return;
    QueueIni->EraseSection(SelectedPID);
    TListItems &items = ui->QueueEntriesView->Items;
    items.BeginUpdate();
    items.Delete(SelectedRow);
    items.EndUpdate();
    finishErase();
}

void TQueueForm::DeleteAllEntriesBtnClick()
{
    if (!confirm() || !QueueIni)
        return;
    TListItems &items = ui->QueueEntriesView->Items;
    for (int i = 0; i < items.Count(); ++i)
        QueueIni->EraseSection(RowSection(i));
    items.BeginUpdate();
    items.Clear();
    items.EndUpdate();
    finishErase();
}

void TQueueForm::eraseWhere(Column c, const char *value)
{
    if (!confirm() || !QueueIni)
        return;
    TListItems &items = ui->QueueEntriesView->Items;
    items.BeginUpdate();
    int i = 0;
    while (i < EntryCount && i < items.Count()) {
        if (items[i]->CellText(int(c)) == value) {
            QueueIni->EraseSection(RowSection(i));
            items.Delete(i);
            if (i < int(QueueSections.size()))
                QueueSections.erase(QueueSections.begin() + i);
            --EntryCount;
        } else {
            ++i;
        }
    }
    items.EndUpdate();
    finishErase();
}

void TQueueForm::DeleteQueriedEntriesBtnClick() { eraseWhere(colQueried, queuefile::kYes); }

void TQueueForm::DeleteUnfEntriesBtnClick() { eraseWhere(colFounded, queuefile::kNo); }

// ---- the run ------------------------------------------------------------------------------------
//
// The ticked rows are looked up one after the other on the interface thread:
// each lookup runs to its end (its connection closed) before the next row is
// selected, so every row advances the run exactly once. While a lookup waits
// on the network the program's message pump keeps the windows painting; the
// disabled controls keep the user out meanwhile.

namespace {

// What the exchange shows in the queue window.
class QueueHooks : public cddbx::ExchangeHooks {
public:
    QueueHooks(TQueueForm &form, int row, int ordinal) : form_(form), row_(row), ordinal_(ordinal) {}
    void Status(const std::string &text) override
    {
        if (text == cddbx::kQuerying || text == cddbx::kReading)
            form_.SetStatus(text);
    }
    void BeforeQuery() override
    {
        SetText(form_.ui->CurrentQueryLbl, IntToStr(row_ + 1));
        form_.ui->QueryProgessBar->setValue(ordinal_);
        form_.repaint();
    }
    int Choose(const std::vector<cddbx::Match> &matches) override
    {
        if (form_.ui->AutoChooseBox->isChecked())
            return matches.empty() ? -1 : 0;
        TChooseCDForm *chooser = ChooseCDForm;
        if (!chooser)
            return -1;
        const int chosen = chooser->ChooseAmong(matches);
        form_.repaint();
        return chosen;
    }

private:
    TQueueForm &form_;
    int row_;
    int ordinal_;
};

bool beforeQuery(cddbx::Step step)
{
    return step == cddbx::Step::Greeting || step == cddbx::Step::Hello || step == cddbx::Step::Proto;
}

} // namespace

cddbx::Settings TQueueForm::ExchangeSettings() const
{
    return cddbx::SettingsFromOptions(Options(), MainForm ? MainForm->ClientName : std::string(),
                                      MainForm ? MainForm->VersionText : std::string());
}

void TQueueForm::QuerySelBtnClick()
{
    MainWebConnect().EnsureConnected();
    // The whole run is one exchange: no other starts until it has ended.
    TNetExchange exchange(static_cast<QObject *>(this), [this] {
        netpump::CloseNow(*TelnetCli);
        netpump::CloseNow(*HTTPCli);
    });
    if (!netpump::Started(this, exchange))
        return;
    run_ = &exchange;
    CurrentRow = -1;
    scan_ = -1;
    ui->QueryProgessBar->setRange(0, std::max(CountChecked(), 1));
    EnableQueueControls(false);
    ui->WaitFader->SetActive(true);
    running_ = true;
    bool http = false;
    int ordinal = 0;
    while (!exchange.Aborted() && (CurrentRow = FindNextChecked()) != -1) {
        // Whatever befalls one row, the run goes on with the next.
        try {
            http = LookUpRow(++ordinal);
        } catch (...) {
            if (!exchange.Aborted())
                HandlerGuard::ShowException(std::current_exception());
        }
    }
    run_ = nullptr;
    endRun(http);
}

void TQueueForm::endRun(bool http)
{
    running_ = false;
    CurrentRow = -1;
    scan_ = -1;
    if (ui->QueueEntriesView->Items.Count() > 0)
        ui->QueueEntriesView->SelectItem(0);
    ui->WaitFader->SetActive(false);
    ui->WaitFader->Reset();
    EnableQueueControls(true);
    if (!http || StatusText() != kConnectionError)
        SetStatus(kFinished);
    ClearLastResultTimer->start();
}

bool TQueueForm::LookUpRow(int ordinal)
{
    const int row = CurrentRow;
    ui->QueueEntriesView->SelectItem(row);
    // The settings are read for every row, as the options window holds them.
    const cddbx::Settings settings = ExchangeSettings();
    SetStatus("Connecting...");
    if (settings.UseHTTP)
        SetText(ui->CurrentQueryLbl, IntToStr(row + 1));
    repaint();

    const queuefile::Entry entry = RowEntry(row);
    cddbx::Disc disc;
    disc.DiscId = entry.DiscId;
    disc.QueryText = QueryText(entry);
    if (disc.QueryText.empty()) {
        // Nothing is asked for an entry that does not hold a disc id and
        // offsets; its marks stay.
        MainForm->ErrorBox(catalogue::kErrorReadingQueue);
        return settings.UseHTTP;
    }
    disc.TrackCount = std::clamp(StrToIntDef(entry.Tracks, 0), 0, catalogue::kMaxTracks);
    QueueHooks hooks(*this, row, ordinal);
    const cddbx::LookupResult r = cddbx::Lookup(*TelnetCli, *HTTPCli, settings, disc, hooks);
    // An aborted run leaves the row as it was and says nothing.
    if (run_ && run_->Aborted())
        return settings.UseHTTP;
    ApplyResult(row, settings.UseHTTP, r);
    return settings.UseHTTP;
}

std::string TQueueForm::QueryText(const queuefile::Entry &entry)
{
    // The count the query carries is the number of offsets listed, so that
    // a disc with data tracks is asked for with the tracks its id counts.
    // Only a disc id and numbers reach the server: anything else in the
    // file gives no query.
    std::vector<std::string> offsets;
    std::string seconds;
    if (!cddbx::ValidDiscId(entry.DiscId) || !xmcd::SplitQueryText("0 " + entry.Tof, offsets, seconds) ||
        offsets.size() > size_t(discid::kMaxTracks))
        return std::string();
    offsets.push_back(seconds);
    std::string text = IntToStr(int(offsets.size()) - 1);
    for (const std::string &word : offsets) {
        if (word.empty() || word.size() > 9 ||
            !std::all_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::string();
        text += " " + word;
    }
    return text;
}

void TQueueForm::ApplyResult(int row, bool http, const cddbx::LookupResult &r)
{
    using cddbx::Outcome;
    using cddbx::Step;
    const bool autoChoose = ui->AutoChooseBox->isChecked();
    auto mark = [&](Column c, const char *value) { SetCell(row, c, value); };
    auto warn = [&](const std::string &text) {
        Dialogs::MessageBox(this, text, cddbx::kWarningCaption, Dialogs::Button::OK, Dialogs::Icon::Warning);
    };
    auto errorBox = [&](const std::string &peerText) {
        const std::string text = cddbx::BoxText(peerText);
        if (MainForm)
            MainForm->ErrorBox(text);
        else
            Dialogs::MessageBox(this, text, "Error");
    };
    const std::string message = cddbx::QueueMessage(r);
    if (r.QueryAnswered)
        mark(colQueried, queuefile::kYes);

    switch (r.Kind) {
    case Outcome::Found:
        mark(colFounded, queuefile::kYes);
        ParseXmcdEntry(r.Entry, r.Category);
        break;
    case Outcome::ConnectFailed:
        // Nothing was asked: the marks stay.
        SetStatus(kConnectionError);
        if (!autoChoose)
            warn(cddbx::kConnectionError);
        break;
    case Outcome::NoChoice:
        if (http && autoChoose && r.MatchCount == 0) {
            // Taking the first of no matches fails like the query.
            mark(colQueried, queuefile::kNo);
            SetStatus(kConnectionError);
            break;
        }
        Dialogs::MessageBox(this, cddbx::kNoDiscFound, cddbx::kNoticeCaption, Dialogs::Button::OK,
                            Dialogs::Icon::Warning);
        mark(colFounded, queuefile::kNo);
        break;
    case Outcome::Refused:
    case Outcome::Unexpected:
    case Outcome::Failed:
        if (r.Kind == Outcome::Unexpected && !autoChoose) {
            errorBox(r.Message);
            if (http)
                SetStatus(kConnectionError);
        }
        if (r.Kind == Outcome::Failed && (!http || r.At == Step::Read || !r.SizeError.empty()))
            warn(cddbx::FailureMessage(r.SizeError));
        SetStatus(message);
        if (!http && beforeQuery(r.At)) {
            mark(colQueried, queuefile::kNo);
            mark(colFounded, queuefile::kNA);
        } else if (http && r.At != Step::Read && !(r.Kind == Outcome::Refused && r.Code == 202)) {
            // An HTTP query that failed or was not answered with matches
            // counts as not asked.
            mark(colQueried, queuefile::kNo);
        } else {
            mark(colFounded, queuefile::kNo);
        }
        break;
    }
    if (!r.QuitReply.empty())
        errorBox(r.QuitReply);
}

void TQueueForm::ParseXmcdEntry(const cddbx::XmcdEntry &entry, const std::string &category)
{
    const int row = CurrentRow;
    SetText(ui->ArtistEdit, entry.Artist);
    SetText(ui->CDTitleEdit, entry.Title);
    TEnhListView *tracks = ui->CDTracksView;
    TEnhListView *ext = ui->EXTTList;
    const int n = int(std::min(entry.TrackTitles.size(), ExtTrackTexts.size()));
    tracks->BeginUpdate();
    ext->BeginUpdate();
    for (int i = 0; i < n; ++i) {
        // A disc shown with fewer rows than the entry has tracks gets the
        // missing rows with their queued times.
        while (tracks->Items.Count() <= i) {
            TListItem *added = tracks->Items.Add();
            added->SubItems.Add(QueueIni ? queuefile::TrackTime(*QueueIni, RowSection(row), tracks->Items.Count() - 1)
                                         : queuefile::kNoTime);
        }
        while (ext->Items.Count() <= i)
            ext->Items.Add();
        tracks->Items[i]->SetCaption(entry.TrackTitles[size_t(i)]);
        ext->Items[i]->SetCaption(entry.TrackTitles[size_t(i)]);
    }
    ext->EndUpdate();
    tracks->EndUpdate();
    Pages->ClearTrackMemo();
    for (int i = 0; i < n; ++i)
        ExtTrackTexts[size_t(i)] = i < int(entry.ExtTrackTexts.size()) ? entry.ExtTrackTexts[size_t(i)] : "";
    SetMemo(ui->EXTDMemo, catalogue::DecodeExtendedText(entry.ExtDiscText));
    SetCell(row, colCategory, TrimRight(category));
    SaveFoundEntry();
}

void TQueueForm::SaveFoundEntry()
{
    const int row = CurrentRow;
    const int n = std::clamp(StrToIntDef(Cell(row, colTracks), 0), 0, catalogue::kMaxTracks);
    const std::string pid = RowSection(row);
    VisitAllPages();
    if (CatalogueIni) {
        try {
            TMemIniFile &ini = *CatalogueIni;
            ini.WriteString(pid, catalogue::kArtist, Text(ui->ArtistEdit));
            ini.WriteString(pid, catalogue::kTitle, Text(ui->CDTitleEdit));
            ini.WriteInteger(pid, catalogue::kTotalTracks, n);
            ini.WriteString(pid, catalogue::kTpt, Cell(row, colTPT));
            ini.WriteString(pid, catalogue::kCategory, Cell(row, colCategory));
            ini.WriteString(pid, catalogue::kCoverImg, CoverPath);
            ini.WriteBool(pid, catalogue::kStretchCover, StretchCover);
            ini.WriteString(pid, catalogue::kExtd, catalogue::EncodeExtendedText(entrytext::MemoText(ui->EXTDMemo)));
            TEnhListView *tracks = ui->CDTracksView;
            for (int i = 0; i < n; ++i) {
                const TListItem *t = tracks->Items[i];
                ini.WriteString(pid, catalogue::TrackKey(i), t ? t->Caption() : std::string());
                ini.WriteString(pid, catalogue::TimeKey(i), t ? t->CellText(1) : std::string());
                ini.WriteString(pid, catalogue::ExttKey(i), Pages->StoredTrackText(i));
            }
        } catch (const std::exception &) {
            MainForm->ErrorBox(catalogue::kErrorSaving);
        }
        try {
            CatalogueIni->UpdateFile();
        } catch (const std::exception &) {
            MainForm->ErrorBox(catalogue::kErrorSaving);
        }
    }
    if (MainForm)
        MainForm->DiscardCompilation();
    ClearDetails();
}
