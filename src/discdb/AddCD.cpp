#include "discdb/AddCD.h"

#include "compilation/Catalogue.h"
#include "compilation/EntryPages.h"
#include "compilation/Main.h"
#include "compilation/TapeModel.h"
#include "controls/EnhListV.h"
#include "discdb/CDDB.h"
#include "discdb/CDDBExchange.h"
#include "discdb/CDDBOptions.h"
#include "discdb/ChooseCD.h"
#include "discdb/NetPump.h"
#include "discdb/WebConnect.h"
#include "netclient/NetAntiFreeze.h"
#include "netclient/NetExchange.h"
#include "netclient/NetHTTP.h"
#include "netclient/NetTCPClient.h"
#include "platform/Cp1252.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"
#include "ui_AddCD.h"

#include <QApplication>
#include <QCursor>
#include <QFocusEvent>
#include <QMenu>
#include <QTimer>

#include <algorithm>

using namespace Rtl;

TGrabCDForm *GrabCDForm = nullptr;

const char *const TGrabCDForm::kNoDisc = "No AudioCD or no CD inserted!!";
const char *const TGrabCDForm::kNoAspi = "Fatal: No ASPI32 support detected. The application now terminates.";
const char *const TGrabCDForm::kQueued = "Entry successfully queued...";
const char *const TGrabCDForm::kErrorSavingQueue = "Error saving QUEUE.ini";

using entrytext::MemoText;
using entrytext::SetMemo;
using entrytext::SetText;
using entrytext::Text;

TGrabCDForm::TGrabCDForm(QWidget *parent) : QDialog(parent), ui(new Ui::TGrabCDForm)
{
    ui->setupUi(this);
    GrabCDForm = this;
    // The network status is heard from before the first lookup, off this thread.
    StartNetworkStatus();
    setWindowFlags(Qt::Dialog | Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(434, 488);
    // The layout is measured for the classic 8-point dialog font.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);

    TEntryPages::SetUpTitleList(ui->TracksList);
    Pages = TEntryPages::Make(*ui, ExtTrackTexts, this);

    CDDBPopUpMenu = new QMenu(this);
    CDDBPopUpMenu->setObjectName("CDDBPopUpMenu");
    CDDBPopUpMenu->addAction(ui->Get_MenuItem);
    CDDBPopUpMenu->addAction(ui->Submit_MenuItem);

    MsgTimer = new QTimer(this);
    MsgTimer->setObjectName("MsgTimer");
    MsgTimer->setInterval(3000);

    netpump::Install();
    NetAntiFreeze = std::make_unique<TNetAntiFreeze>();
    NetAntiFreeze->SetIdleTimeOut(netpump::kIdleTimeOut);
    TelnetCli = std::make_unique<TNetTCPClient>();
    HTTPCli = std::make_unique<TNetHTTP>();
    GetFromInternet = [this] { LookupOnline(); };

    ConnectHandlers();
    Pages->NoPicture();
    FormCreate();
}

TGrabCDForm::~TGrabCDForm()
{
    if (GrabCDForm == this)
        GrabCDForm = nullptr;
    delete ui;
}

void TGrabCDForm::ConnectHandlers()
{
    using HandlerGuard::Guarded;
    using HandlerGuard::RunGuarded;
    connect(ui->CDToUse, qOverload<int>(&QComboBox::activated), this, Guarded([this] { CDToUseChange(); }));
    connect(ui->GetTracksBtn, &QPushButton::clicked, this, Guarded([this] { GetTracksBtnClick(); }));
    connect(ui->AddCDBtn, &QPushButton::clicked, this, Guarded([this] { AddCDBtnClick(); }));
    connect(ui->AddQueueBtn, &QPushButton::clicked, this, Guarded([this] { AddQueueBtnClick(); }));
    connect(ui->CDDBBtn, &QPushButton::clicked, this, Guarded([this] { CDDBBtnClick(); }));
    connect(ui->ExitBtn, &QPushButton::clicked, this, Guarded([this] { ExitBtnClick(); }));
    connect(ui->Get_MenuItem, &QAction::triggered, this, Guarded([this] { Get_MenuItemClick(); }));
    connect(ui->Submit_MenuItem, &QAction::triggered, this, Guarded([this] { Submit_MenuItemClick(); }));
    connect(MsgTimer, &QTimer::timeout, this, Guarded([this] { MsgTimerTimer(); }));
    connect(ui->ArtistEdit, &QLineEdit::textChanged, this, Guarded([this] { ArtistEditChange(); }));
    connect(ui->CDTitleEdit, &QLineEdit::textChanged, this, Guarded([this] { EnableAddCD(); }));
    connect(ui->ChangeBtn, &QPushButton::clicked, this, Guarded([this] { ChangeBtnClick(); }));
    connect(ui->ClearBtn, &QPushButton::clicked, this, Guarded([this] { ClearBtnClick(); }));
    connect(ui->StretchBtn, &QPushButton::clicked, this, Guarded([this] { StretchBtnClick(); }));

    ui->TracksList->OnKeyUp = [this](TEnhListView *, int &key, Qt::KeyboardModifiers) {
        RunGuarded([&] { TracksListKeyUp(key); });
    };
    ui->TracksList->OnEdited = [this](TEnhListView *, TListItem *item, std::string &s) {
        RunGuarded([&] { TracksListEdited(item, s); });
    };
    for (QWidget *w : {static_cast<QWidget *>(ui->ArtistEdit), static_cast<QWidget *>(ui->CDTitleEdit),
                       static_cast<QWidget *>(ui->EXTMemo), static_cast<QWidget *>(ui->EXTDMemo)})
        w->installEventFilter(this);
}

bool TGrabCDForm::eventFilter(QObject *watched, QEvent *e)
{
    // A pop-up (a menu, the edit's own context menu) takes the focus for a
    // while only: the field is neither left nor entered anew.
    const bool focus = e->type() == QEvent::FocusIn || e->type() == QEvent::FocusOut;
    if (!focus || static_cast<QFocusEvent *>(e)->reason() == Qt::PopupFocusReason)
        return QDialog::eventFilter(watched, e);
    if (e->type() == QEvent::FocusIn) {
        HandlerGuard::RunGuarded([&] { FieldEnter(watched); });
    } else if (watched == ui->ArtistEdit) {
        HandlerGuard::RunGuarded([&] { ArtistEditExit(); });
    } else if (watched == ui->CDTitleEdit) {
        HandlerGuard::RunGuarded([&] { CDTitleEditExit(); });
    } else if (watched == ui->EXTMemo) {
        HandlerGuard::RunGuarded([&] { EXTMemoExit(); });
    } else if (watched == ui->EXTDMemo) {
        HandlerGuard::RunGuarded([&] { EXTDMemoExit(); });
    }
    return QDialog::eventFilter(watched, e);
}

void TGrabCDForm::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    if (!e->spontaneous())
        HandlerGuard::RunGuarded([this] { FormShow(); });
}

void TGrabCDForm::done(int result)
{
    // Closed while its own exchange waits: the exchange is aborted, and the
    // window closes as soon as it has ended.
    if (netpump::AbortThen(this, [this, result] { done(result); }))
        return;
    if (isVisible())
        HandlerGuard::RunGuarded([this] { FormClose(); });
    QDialog::done(result);
}

// ---- small helpers -------------------------------------------------------------------------

std::string TGrabCDForm::LeadingZero(int n) { return tape::LeadingZero(n); }

std::string TGrabCDForm::StatusText() const { return ToAnsi(ui->ConnStat->currentMessage()); }

void TGrabCDForm::SetStatusText(const std::string &s)
{
    if (s.empty())
        ui->ConnStat->clearMessage();
    else
        ui->ConnStat->showMessage(FromAnsi(s));
}

int TGrabCDForm::ShownTrackCount(int fallback) const
{
    const int n = StrToIntDef(Text(ui->TTStatic), fallback);
    return std::clamp(n, 0, int(ExtTrackTexts.size()));
}

// ---- creation and showing ------------------------------------------------------------------

void TGrabCDForm::FormCreate() { DetectCDDrives(); }

void TGrabCDForm::DetectCDDrives()
{
    ui->CDToUse->clear();
    if (!freedbDiscID.GetASPI32Support()) {
        if (MainForm)
            MainForm->ErrorBox(kNoAspi);
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        return;
    }
    freedbDiscID.GetCDDrives();
    for (int i = 0; i < freedbDiscID.TotalCDROMS; ++i) {
        const std::string letter =
            i < freedbDiscID.AssignedDrivesLetters->Count() ? (*freedbDiscID.AssignedDrivesLetters)[i] : "";
        ui->CDToUse->addItem(FromAnsi(" " + letter + ": " + (*freedbDiscID.AvailableCDROMS)[i]));
    }
    if (ui->CDToUse->count() == 1)
        ui->CDToUse->setEnabled(false);
    if (ui->CDToUse->count() > 0)
        ui->CDToUse->setCurrentIndex(0);
}

void TGrabCDForm::FillCategories()
{
    ui->CategBox->clear();
    const std::string path = MainForm ? MainForm->CDDBIniFile : std::string();
    for (const std::string &item : cddbopts::ReadCategoryItems(path))
        ui->CategBox->addItem(FromAnsi(item));
}

void TGrabCDForm::FormShow()
{
    if (LoadSettings)
        LoadSettings();
    else
        FillCategories();
    ui->TracksPage->setCurrentIndex(0);
    Revision = 0;
    Modified = false;
}

void TGrabCDForm::FormClose() { ResetForm(); }

void TGrabCDForm::CDToUseChange() { ResetForm(); }

void TGrabCDForm::ExitBtnClick() { reject(); }

void TGrabCDForm::MsgTimerTimer()
{
    SetStatusText(std::string());
    MsgTimer->stop();
}

void TGrabCDForm::CDDBBtnClick() { CDDBPopUpMenu->popup(QCursor::pos()); }

void TGrabCDForm::Get_MenuItemClick()
{
    if (GetFromInternet)
        GetFromInternet();
}

void TGrabCDForm::Submit_MenuItemClick()
{
    if (SubmitToInternet)
        SubmitToInternet();
}

// ---- reading a disc -------------------------------------------------------------------------

bool TGrabCDForm::GetTracks()
{
    const int index = ui->CDToUse->currentIndex();
    if (index < 0 || index >= freedbDiscID.AvailableCDROMS->Count()) {
        // No drive to read from.
        MainForm->ErrorBox(kNoDisc);
        ResetForm();
        return false;
    }
    const std::string line = (*freedbDiscID.AvailableCDROMS)[index];
    freedbDiscID.GetCDProperties(line);
    freedbDiscID.GetCDProperties(line);
    if (freedbDiscID.TotalAudioTracks == 0) {
        TrackCount = 0;
        MainForm->ErrorBox(kNoDisc);
        ResetForm();
        return false;
    }
    // Every track up to the last audio track is listed, so a data track in
    // front of the audio tracks does not push the last one out of the list.
    TrackCount = freedbDiscID.ListedTracks;
    SetText(ui->TTStatic, IntToStr(TrackCount));
    DiscIdText = freedbDiscID.CDDBDiscId;
    SetText(ui->DiscIdStatic, DiscIdText);
    SetText(ui->TPTStatic, freedbDiscID.TPT);
    SetText(ui->PIDStatic, freedbDiscID.CDPID);
    SplitFrameOffsets();
    return true;
}

void TGrabCDForm::SplitQuery(const std::string &query, int trackCount, std::array<std::string, 100> &offsets,
                             std::string &discSeconds)
{
    std::vector<std::string> words;
    size_t from = 0;
    while (from <= query.size()) {
        size_t blank = query.find(' ', from);
        if (blank == std::string::npos)
            blank = query.size();
        words.push_back(query.substr(from, blank - from));
        from = blank + 1;
    }
    discSeconds = words.back();
    const int available = int(words.size()) - 2;  // without the count and the length
    const int n = std::min({trackCount, available, int(offsets.size()) - 1});
    for (int i = 1; i <= n; ++i)
        offsets[size_t(i)] = words[size_t(i)];
}

void TGrabCDForm::SplitFrameOffsets() { SplitQuery(freedbDiscID.CDDBQueryCmd, TrackCount, FrameOffsets, DiscSeconds); }

void TGrabCDForm::GetTracksBtnClick()
{
    if (!GetTracks())
        return;
    ui->GetTracksBtn->setDefault(false);
    ui->GetTracksBtn->setAutoDefault(false);
    for (QWidget *w : {static_cast<QWidget *>(ui->ArtistEdit), static_cast<QWidget *>(ui->CDTitleEdit),
                       static_cast<QWidget *>(ui->CDDBBtn), static_cast<QWidget *>(ui->AddQueueBtn),
                       static_cast<QWidget *>(ui->CategBox), static_cast<QWidget *>(ui->TracksPage)})
        w->setEnabled(true);
    Pages->ClearTrackMemo();
    LoadCDEntry();
}

void TGrabCDForm::SelectCategory(const std::string &category)
{
    if (category == catalogue::kUnknown) {
        ui->CategBox->setCurrentIndex(ui->CategBox->count() > 0 ? 0 : -1);
        return;
    }
    for (int i = 0; i < ui->CategBox->count(); ++i)
        if (AnsiCompareText(ToAnsi(ui->CategBox->itemText(i)), " " + category) == 0) {
            ui->CategBox->setCurrentIndex(i);
            return;
        }
}

void TGrabCDForm::LoadCDEntry()
{
    std::unique_ptr<TMemIniFile> ini;
    try {
        ini = catalogue::Open(MainForm->CatalogueFile);
    } catch (const std::exception &) {
        MainForm->ErrorBox(catalogue::kErrorOpening);
        ini = std::make_unique<TMemIniFile>(std::string());  // shown as a disc not in the catalogue
    }
    const std::string pid = Text(ui->PIDStatic);
    TEnhListView *tracks = ui->TracksList;
    TEnhListView *ext = ui->EXTTList;
    tracks->BeginUpdate();
    ext->BeginUpdate();
    tracks->Items.Clear();
    ext->Items.Clear();
    Pages->ClearTrackMemo();
    SetMemo(ui->EXTDMemo, std::string());
    const int n = std::min(TrackCount, int(ExtTrackTexts.size()));
    const bool stored = !pid.empty() && ini->SectionExists(pid);
    for (int i = 0; i < n; ++i) {
        // A stored entry without a title for the track gets the new disc's one.
        const std::string fallback = "Track " + LeadingZero(i + 1);
        const std::string title = stored ? ini->ReadString(pid, catalogue::TrackKey(i), fallback) : fallback;
        TListItem *row = tracks->Items.Add();
        row->SetCaption(title);
        row->SubItems.Add(freedbDiscID.TracksInfo[size_t(i)].TrackTime);
        ext->Items.Add()->SetCaption(title);
        ExtTrackTexts[size_t(i)] = stored ? ini->ReadString(pid, catalogue::ExttKey(i), std::string()) : std::string();
    }
    ext->EndUpdate();
    tracks->EndUpdate();

    if (stored) {
        SetText(ui->ArtistEdit, ini->ReadString(pid, catalogue::kArtist, catalogue::kUnknown));
        SetText(ui->CDTitleEdit, ini->ReadString(pid, catalogue::kTitle, catalogue::kUnknown));
        Revision = ini->ReadInteger(pid, catalogue::kRevision, 0);
        SetText(ui->RevisionStatic, IntToStr(Revision));
        Modified = ini->ReadBool(pid, catalogue::kModified, false);
        SelectCategory(ini->ReadString(pid, catalogue::kCategory, catalogue::kUnknown));
        SetMemo(ui->EXTDMemo, UnescapeExtendedDiscText(ini->ReadString(pid, catalogue::kExtd, std::string())));
        CoverPath = ini->ReadString(pid, catalogue::kCoverImg, std::string());
        StretchCover = ini->ReadBool(pid, catalogue::kStretchCover, false);
        Pages->ShowStoredCover(CoverPath, StretchCover);
    } else {
        ui->ArtistEdit->clear();
        ui->CDTitleEdit->clear();
        ui->CategBox->setCurrentIndex(ui->CategBox->count() > 0 ? 0 : -1);
        Revision = 0;
        SetText(ui->RevisionStatic, "0");
        Pages->NoPicture();
        CoverPath.clear();
        StretchCover = false;
    }
    EnableAddCD();
}

// ---- writing the entry ----------------------------------------------------------------------

void TGrabCDForm::AddCDBtnClick()
{
    if (MainForm->CompilationExists() && MainForm->ConfirmLoseCompilation(this) != Dialogs::Button::Yes)
        return;
    std::unique_ptr<TMemIniFile> ini;
    try {
        ini = catalogue::Open(MainForm->CatalogueFile);
    } catch (const std::exception &) {
        // Nothing is written over a catalogue that could not be read.
        MainForm->ErrorBox(catalogue::kErrorOpening);
        return;
    }
    try {
        VisitAllPages();
        StoreTrackMemo();
        const std::string pid = Text(ui->PIDStatic);
        ini->WriteString(pid, catalogue::kArtist, Text(ui->ArtistEdit));
        ini->WriteString(pid, catalogue::kTitle, Text(ui->CDTitleEdit));
        ini->WriteInteger(pid, catalogue::kTotalTracks, StrToIntDef(Text(ui->TTStatic), 1));
        ini->WriteInteger(pid, catalogue::kRevision, Revision);
        ini->WriteBool(pid, catalogue::kModified, Modified);
        ini->WriteString(pid, catalogue::kTpt, Text(ui->TPTStatic));
        ini->WriteString(pid, catalogue::kCategory, Trim(ToAnsi(ui->CategBox->currentText())));
        ini->WriteString(pid, catalogue::kCoverImg, CoverPath);
        ini->WriteBool(pid, catalogue::kStretchCover, StretchCover);
        ini->WriteString(pid, catalogue::kExtd, EscapeExtendedDiscText());
        const int n = std::min(ShownTrackCount(0), ui->TracksList->Items.Count());
        for (int i = 0; i < n; ++i) {
            TListItem *row = ui->TracksList->Items[i];
            ini->WriteString(pid, catalogue::TrackKey(i), row->Caption());
            ini->WriteString(pid, catalogue::TimeKey(i), row->CellText(1));
            ini->WriteString(pid, catalogue::ExttKey(i), EscapeExtendedTrackText(i));
        }
    } catch (const std::exception &) {
        MainForm->ErrorBox(catalogue::kErrorSaving);
    }
    try {
        ini->UpdateFile();
    } catch (const std::exception &) {
        // The file is as it was: the compilation and the window stay, so the
        // user can try again.
        MainForm->ErrorBox(catalogue::kErrorSaving);
        return;
    }
    MainForm->DiscardCompilation();
    ResetForm();
}

void TGrabCDForm::AddQueueBtnClick() { AddToQueue(); }

void TGrabCDForm::AddToQueue()
{
    try {
        TIniFile ini(MainForm->QueueIniFile);
        const std::string pid = Text(ui->PIDStatic);
        const std::string &query = freedbDiscID.CDDBQueryCmd;
        const int blank = Pos(" ", query);
        const std::string offsets = blank > 0 ? Copy(query, blank + 1) : std::string();
        const std::string category = Trim(ToAnsi(ui->CategBox->currentText()));
        ini.WriteString(pid, "discid", Text(ui->DiscIdStatic));
        ini.WriteString(pid, "TotalTracks", Text(ui->TTStatic));
        ini.WriteString(pid, "category", category.empty() ? "N/A" : category);
        ini.WriteString(pid, "queried", "No");
        ini.WriteString(pid, "founded", "N/A");
        ini.WriteString(pid, "trkframeoffs", offsets);
        ini.WriteString(pid, "tpt", Text(ui->TPTStatic));
        const int n = std::min(ShownTrackCount(0), ui->TracksList->Items.Count());
        for (int i = 0; i < n; ++i)
            ini.WriteString(pid, catalogue::TimeKey(i), ui->TracksList->Items[i]->CellText(1));
    } catch (const std::exception &) {
        MainForm->ErrorBox(kErrorSavingQueue);
        return;
    }
    SetStatusText(kQueued);
    MsgTimer->start();
}

// ---- extended texts ---------------------------------------------------------------------------

std::string TGrabCDForm::UnescapeExtendedDiscText(const std::string &value)
{
    return catalogue::DecodeExtendedText(value);
}

std::string TGrabCDForm::UnescapeExtendedTrackText(const std::string &value)
{
    return catalogue::DecodeExtendedText(value);
}

std::string TGrabCDForm::EscapeExtendedDiscText() { return catalogue::EncodeExtendedText(MemoText(ui->EXTDMemo)); }

std::string TGrabCDForm::EscapeExtendedTrackText(int i) { return Pages->StoredTrackText(i); }

void TGrabCDForm::StoreTrackMemo() { Pages->StoreTrackMemo(); }

void TGrabCDForm::EXTTListSelectItem() { Pages->TrackListSelectItem(); }

void TGrabCDForm::EXTMemoExit()
{
    StoreTrackMemo();
    EditRule(MemoText(ui->EXTMemo));
}

void TGrabCDForm::EXTTListExit() { StoreTrackMemo(); }

void TGrabCDForm::ExtentedTrksSheetExit() { Pages->TrackTextsSheetExit(); }

void TGrabCDForm::EXTDMemoExit() { EditRule(MemoText(ui->EXTDMemo)); }

// ---- the edit rule and Add CD ------------------------------------------------------------------

void TGrabCDForm::FieldEnter(QObject *w)
{
    if (w == ui->ArtistEdit)
        EntryText = Text(ui->ArtistEdit);
    else if (w == ui->CDTitleEdit)
        EntryText = Text(ui->CDTitleEdit);
    else if (w == ui->EXTMemo)
        EntryText = MemoText(ui->EXTMemo);
    else if (w == ui->EXTDMemo)
        EntryText = MemoText(ui->EXTDMemo);
}

void TGrabCDForm::CountEdit()
{
    Modified = true;
    ++Revision;
    SetText(ui->RevisionStatic, IntToStr(Revision));
}

void TGrabCDForm::EditRule(const std::string &s)
{
    if (AnsiCompareText(s, EntryText) != 0 && !Modified) {
        CountEdit();
        EntryText.clear();
    }
}

void TGrabCDForm::EnableAddCD()
{
    ui->AddCDBtn->setEnabled(!ui->CDTitleEdit->text().isEmpty() && !ui->ArtistEdit->text().isEmpty());
}

void TGrabCDForm::ArtistEditExit()
{
    EditRule(Text(ui->ArtistEdit));
    EnableAddCD();
}

void TGrabCDForm::CDTitleEditExit()
{
    EditRule(Text(ui->CDTitleEdit));
    EnableAddCD();
}

void TGrabCDForm::TracksListKeyUp(int key) { TEntryPages::TitleListKeyUp(ui->TracksList, key); }

void TGrabCDForm::TracksListEdited(TListItem *item, const std::string &title)
{
    if (item && title != item->Caption() && !Modified)
        CountEdit();
}

// ---- the cover ----------------------------------------------------------------------------------

void TGrabCDForm::ChangeBtnClick()
{
    const std::optional<std::string> chosen = Pages->ChooseCover(this, MainForm ? MainForm->AppDir : ".");
    if (!chosen)
        return;
    CoverPath = *chosen;
    StretchCover = false;
}

void TGrabCDForm::ClearBtnClick()
{
    Pages->NoPicture();
    StretchCover = false;
    CoverPath.clear();
}

void TGrabCDForm::StretchBtnClick() { StretchCover = Pages->ToggleStretch(); }

// ---- pages, reset, exchanges ------------------------------------------------------------------------

void TGrabCDForm::VisitAllPages() { Pages->VisitAllPages(); }

void TGrabCDForm::ResetForm()
{
    ui->ArtistEdit->clear();
    ui->CDTitleEdit->clear();
    ui->ArtistEdit->setEnabled(false);
    ui->CDTitleEdit->setEnabled(false);
    ui->AddCDBtn->setEnabled(false);
    for (QLabel *l : {ui->PIDStatic, ui->TTStatic, ui->TPTStatic, ui->DiscIdStatic})
        l->clear();
    SetStatusText(std::string());
    ui->GetTracksBtn->setEnabled(true);
    ui->CDDBBtn->setEnabled(false);
    ui->AddQueueBtn->setEnabled(false);
    ui->CategBox->setEnabled(false);
    ui->CategBox->setCurrentIndex(ui->CategBox->count() > 0 ? 0 : -1);
    for (TEnhListView *v : {ui->TracksList, ui->EXTTList}) {
        v->BeginUpdate();
        v->Items.Clear();
        v->EndUpdate();
    }
    Pages->ClearTrackMemo();
    SetMemo(ui->EXTDMemo, std::string());
    ui->TracksPage->setCurrentIndex(0);
    ui->TracksPage->setEnabled(false);
    Revision = 0;
    ui->RevisionStatic->clear();
    Modified = false;
}

void TGrabCDForm::EnableExchangeControls(bool enabled)
{
    for (QWidget *w :
         {static_cast<QWidget *>(ui->CDToUse), static_cast<QWidget *>(ui->ArtistEdit),
          static_cast<QWidget *>(ui->CDTitleEdit), static_cast<QWidget *>(ui->CategBox),
          static_cast<QWidget *>(ui->CDDBBtn), static_cast<QWidget *>(ui->AddQueueBtn),
          static_cast<QWidget *>(ui->GetTracksBtn), static_cast<QWidget *>(ui->AddCDBtn),
          static_cast<QWidget *>(ui->ExitBtn), static_cast<QWidget *>(ui->TracksPage)})
        w->setEnabled(enabled);
    ui->TracksPage->setCurrentIndex(0);
}

// ---- the online lookup ---------------------------------------------------------------------

namespace {

// What the lookup shows in the grabbing window while it runs.
class GrabHooks : public cddbx::ExchangeHooks {
public:
    explicit GrabHooks(TGrabCDForm &form) : form_(form) {}
    void Status(const std::string &text) override
    {
        form_.SetStatusText(text);
        form_.repaint();
    }
    int Choose(const std::vector<cddbx::Match> &matches) override { return form_.ChooseMatch(matches); }

private:
    TGrabCDForm &form_;
};

void warningBox(QWidget *owner, const std::string &text, const char *caption)
{
    Dialogs::MessageBox(owner, text, caption, Dialogs::Button::OK, Dialogs::Icon::Warning);
}

// The program's error box (captioned "Error", no icon), with a bounded
// part of a peer's text.
void errorBox(QWidget *owner, const std::string &peerText)
{
    const std::string text = cddbx::BoxText(peerText);
    if (MainForm)
        MainForm->ErrorBox(text);
    else
        Dialogs::MessageBox(owner, text, "Error", Dialogs::Button::OK, Dialogs::Icon::None);
}

} // namespace

cddbx::Settings TGrabCDForm::LookupSettings() const
{
    if (CDDBOptForm)
        return CDDBOptForm->ExchangeSettings();
    cddbopts::CDDBOptions options = cddbopts::DefaultOptions();
    if (MainForm) {
        try {
            cddbopts::LoadOptions(MainForm->CDDBIniFile, options);
        } catch (const std::exception &) {
            // An unreadable file: the defaults.
        }
    }
    return cddbx::SettingsFromOptions(options, MainForm ? MainForm->ClientName : std::string("MIXDECK"),
                                      MainForm ? MainForm->VersionText : std::string());
}

int TGrabCDForm::ChooseMatch(const std::vector<cddbx::Match> &matches)
{
    TChooseCDForm *chooser = ChooseCDForm;
    std::unique_ptr<TChooseCDForm> own;
    if (!chooser) {
        own = std::make_unique<TChooseCDForm>(this);
        chooser = own.get();
    }
    const int chosen = chooser->ChooseAmong(matches);
    repaint();
    return chosen;
}

void TGrabCDForm::ParseXmcdEntry(const cddbx::LookupResult &result)
{
    const cddbx::XmcdEntry &e = result.Entry;
    if (e.HasRevision) {
        Revision = e.Revision;
        SetText(ui->RevisionStatic, IntToStr(Revision));
        Modified = false;
    }
    SetText(ui->ArtistEdit, e.Artist);
    SetText(ui->CDTitleEdit, e.Title);
    const int rows = std::min(ui->TracksList->Items.Count(), ui->EXTTList->Items.Count());
    const int n = std::min(int(e.TrackTitles.size()), int(ExtTrackTexts.size()));
    for (int i = 0; i < n; ++i) {
        if (i < rows) {
            ui->TracksList->Items[i]->SetCaption(e.TrackTitles[size_t(i)]);
            ui->EXTTList->Items[i]->SetCaption(e.TrackTitles[size_t(i)]);
        }
        ExtTrackTexts[size_t(i)] = e.ExtTrackTexts[size_t(i)];
    }
    Pages->ClearTrackMemo();
    // A category from the server was checked to be a word before it got here.
    SelectCategory(result.Category);
    SetMemo(ui->EXTDMemo, UnescapeExtendedDiscText(e.ExtDiscText));
    EnableAddCD();
}

void TGrabCDForm::LookupOnline()
{
    MainWebConnect().EnsureConnected();
    const cddbx::Settings settings = LookupSettings();
    const cddbx::Disc disc {DiscIdText, freedbDiscID.CDDBQueryCmd, ShownTrackCount(TrackCount)};
    TNetExchange exchange(static_cast<QObject *>(this), [this] {
        netpump::CloseNow(*TelnetCli);
        netpump::CloseNow(*HTTPCli);
    });
    if (!netpump::Started(this, exchange))
        return;
    EnableExchangeControls(false);
    GrabHooks hooks(*this);
    cddbx::LookupResult r;
    try {
        r = cddbx::Lookup(*TelnetCli, *HTTPCli, settings, disc, hooks);
    } catch (...) {
        r.Kind = cddbx::Outcome::Failed;
    }
    if (exchange.Aborted()) {
        // The user closed the window or ended the program: nothing to say.
        EnableExchangeControls(true);
        EnableAddCD();
        SetStatusText(std::string());
        return;
    }
    using cddbx::Outcome;
    switch (r.Kind) {
    case Outcome::Found:
        ParseXmcdEntry(r);
        break;
    case Outcome::Refused:
    case Outcome::Unexpected:
        errorBox(this, r.Message);
        break;
    case Outcome::NoChoice:
        warningBox(this, cddbx::kNoDiscFound, cddbx::kNoticeCaption);
        break;
    case Outcome::Failed:
    case Outcome::ConnectFailed:
        warningBox(this, cddbx::FailureMessage(r.SizeError), cddbx::kWarningCaption);
        break;
    }
    if (!r.QuitReply.empty())
        errorBox(this, r.QuitReply);
    EnableExchangeControls(true);
    EnableAddCD();
    SetStatusText(std::string());
}
