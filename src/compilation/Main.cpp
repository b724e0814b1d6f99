#include "compilation/Main.h"

#include "compilation/CDPlayer.h"
#include "controls/EnhListV.h"
#include "netclient/NetExchange.h"
#include "platform/AppPaths.h"
#include "platform/Cp1252.h"
#include "platform/FileIO.h"
#include "platform/Graphics.h"
#include "platform/HandlerGuard.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"
#include "support/GradCapt.h"
#include "ui_Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QRandomGenerator>
#include <QStringListModel>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

using namespace Rtl;

TMainForm *MainForm = nullptr;

const char *const TMainForm::TrackMimeType = "application/x-mixdeck-track";

namespace {

const char *const kWarning = "Are you sure? Current compilation will be lost!";
const char *const kTooLong = "Total Tracks's time too long for a tape of";
const char *const kCompilationFilter = "MIXDECK Compilation (*.cmp)|*.cmp";
// Ten thousand tracks a side take less than half a megabyte.
constexpr off_t kMaxCompilationBytes = off_t(16) << 20;

void setLabel(QLabel *l, const std::string &text) { l->setText(FromAnsi(text)); }
std::string comboText(const QComboBox *c) { return ToAnsi(c->currentText()); }

} // namespace

TMainForm::TMainForm(QWidget *parent, const std::string &programFile)
    : QMainWindow(parent), ui(new Ui::TMainForm)
{
    ui->setupUi(this);
    MainForm = this;
    // "&Print" is disabled through its menu item only: a disabled submenu
    // widget would stay greyed after the item is enabled.
    SetPrintEnabled(false);
    // The layout is measured for the classic 8-point dialog font.
    QFont small = font();
    small.setPointSize(8);
    setFont(small);
    setWindowTitle(QString());
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setFixedSize(size());

    selectorItems_ = new QStringListModel(this);
    for (int p = 1; p <= 3; ++p)
        CDSelect(p)->setModel(selectorItems_);

    // Panes and sides as their layout has them.
    for (int p = 1; p <= 3; ++p) {
        TEnhListView *v = CDView(p);
        v->Columns.Add("TITLE", 175);
        v->Columns.Add("TIME", 55, taCenter);
        v->SetCheckboxes(true);
        v->SetOwnerDraw(true);
        v->SetGridLines(true);
        v->SetRowSelect(true);
        v->SetReadOnly(true);
        v->SetColumnClick(false);
        v->SetSortType(stNone);
    }
    for (char s : {'A', 'B'}) {
        TEnhListView *v = SideList(s);
        // Wider than the classic 215 pixels: the caption must show its time in
        // today's larger fonts.
        v->Columns.Add(tape::SideCaption(s, "00:00"), 262);
        v->Columns.Add("TIME", 55, taCenter);
        v->SetGridLines(true);
        v->SetRowSelect(true);
        v->SetReadOnly(true);
        v->SetColumnClick(false);
        v->SetSortType(stNone);
        v->viewport()->setAcceptDrops(true);
    }
    for (QWidget *b : {static_cast<QWidget *>(ui->UpBtn), static_cast<QWidget *>(ui->RemoveBtn),
                       static_cast<QWidget *>(ui->DownBtn)})
        b->setFocusPolicy(Qt::NoFocus);  // the side keeps its selection while they are clicked
    ui->TapeLen->setCurrentIndex(-1);

    dragToken_ = QByteArray::number(qint64(getpid())) + "-" +
                 QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    ExecDrag = [](QWidget *source, QMimeData *data) {
        auto *drag = new QDrag(source);
        drag->setMimeData(data);
        drag->exec(Qt::MoveAction | Qt::CopyAction, Qt::MoveAction);
    };

    // Paths.
    AppDir = AppPaths::ProgramFolder();
    CatalogueFile = AppDir + "/MIXDECK.ini";
    CDDBIniFile = AppDir + "/CDDB.ini";
    QueueIniFile = AppDir + "/Queue.ini";
    HelpFile = AppDir + "/Help/html/index.html";

    // Version texts.
    VersionInfo.SetFileName(programFile);
    if (VersionInfo.HaveInfo()) {
        TFileVersionNumber v = VersionInfo.GetFileVersionNumber();
        FileVersion = {v.V1, v.V2, v.V3, v.V4};
    }
    const std::string numbers = IntToStr(FileVersion[0]) + "." + IntToStr(FileVersion[1]) + "." +
                                IntToStr(FileVersion[2]) + "." + IntToStr(FileVersion[3]);
    VersionText = numbers + "(RC1)";
    CaptionVersion = numbers + " (RC1)";
    ClientName = "MIXDECK " + VersionText;

    // The title bar is drawn by the program itself: a blue gradient, also
    // while the window is inactive, with white bold italic text.
    GradCaption = new TGradientCaption(this, true);
    GradCaption->SetStartColor(clBlue);
    GradCaption->SetGradientInactive(true);
    QFont captionFont("Arial", 9);
    captionFont.setBold(true);
    captionFont.setItalic(true);
    GradCaption->SetDefaultFont(false);
    GradCaption->SetFont(TCaptionFont{captionFont, clWhite});
    GradCaption->Captions().Add();
    GradCaption->Loaded();
    GradCaption->SetFormCaption("MIXDECK Version " + CaptionVersion);

    CDSections = std::make_unique<TStringList>();
    Catalogue = std::make_unique<catalogue::TCatalogueCache>(CatalogueFile);
    ConnectHandlers();
    LoadCatalogue();
    RemainingA = "00:00";
    RemainingB = "00:00";
    DragFromA = DragFromB = false;
    SideASelected = SideBSelected = false;
    CompilationLoaded = false;
}

TMainForm::~TMainForm()
{
    if (MainForm == this)
        MainForm = nullptr;
    delete ui;
}

// ---- controls by number ---------------------------------------------------------------

QComboBox *TMainForm::CDSelect(int pane) const
{
    return pane == 1 ? ui->CD1Select : pane == 2 ? ui->CD2Select : ui->CD3Select;
}
TEnhListView *TMainForm::CDView(int pane) const
{
    return pane == 1 ? ui->CD1View : pane == 2 ? ui->CD2View : ui->CD3View;
}
QLabel *TMainForm::CDTPT(int pane) const { return pane == 1 ? ui->CD1TPT : pane == 2 ? ui->CD2TPT : ui->CD3TPT; }
QLabel *TMainForm::CDPID(int pane) const { return pane == 1 ? ui->CD1PID : pane == 2 ? ui->CD2PID : ui->CD3PID; }
TEnhListView *TMainForm::SideList(char side) const { return side == 'A' ? ui->SideAList : ui->SideBList; }

void TMainForm::ConnectHandlers()
{
    using HandlerGuard::Guarded;
    connect(ui->NewCompilationMenuItem, &QAction::triggered, this, Guarded([this] { NewCompilationMenuItemClick(); }));
    connect(ui->SaveCompilationMenuItem, &QAction::triggered, this, Guarded([this] { SaveCompilationMenuItemClick(); }));
    connect(ui->LoadCompilationMenuItem, &QAction::triggered, this, Guarded([this] { LoadCompilationMenuItemClick(); }));
    connect(ui->GrabCDMenuItem, &QAction::triggered, this, Guarded([this] { ShowCentred(GrabCDForm); }));
    connect(ui->ModifyMenuItem, &QAction::triggered, this, Guarded([this] { ShowCentred(ModifyForm); }));
    connect(ui->AboutMenuItem, &QAction::triggered, this, Guarded([this] { ShowCentred(AboutForm); }));
    connect(ui->CDDBOptMenuItem, &QAction::triggered, this, Guarded([this] { ShowCentred(CDDBOptForm); }));
    connect(ui->QueueManagerMenuItem, &QAction::triggered, this, Guarded([this] { ShowCentred(QueueForm); }));
    connect(ui->ContentsMenuItem, &QAction::triggered, this, Guarded([this] { ContentsMenuItemClick(); }));
    connect(ui->ImportINIMenuItem, &QAction::triggered, this, Guarded([this] { ImportINIMenuItemClick(); }));
    connect(ui->QOXMenuItem, &QAction::triggered, this, Guarded([] { Dialogs::ShellOpen("http://www.quillfern.com/"); }));
    connect(ui->freedbMenuItem, &QAction::triggered, this, Guarded([] { Dialogs::ShellOpen("http://www.freedb.org/"); }));
    connect(ui->NetLibMenuItem, &QAction::triggered, this, Guarded([] { Dialogs::ShellOpen("http://www.netlibrary.org/"); }));
    connect(ui->ListViewMenuItem, &QAction::triggered, this, Guarded([] { Dialogs::ShellOpen("http://www.listviewcomponents.com/"); }));
    connect(ui->CheckUpdatesMenuItem, &QAction::triggered, this, Guarded([this] { CheckUpdatesMenuItemClick(); }));
    connect(ui->ExitMenu, &QAction::triggered, this, Guarded([this] { ExitMenuClick(); }));
    connect(ui->PrintTapeCoverMenuItem, &QAction::triggered, this, Guarded([this] { PrintTapeCoverMenuItemClick(); }));
    connect(ui->PrintTapeProgramMenuItem, &QAction::triggered, this, Guarded([this] { PrintTapeProgramMenuItemClick(); }));

    for (int p = 1; p <= 3; ++p) {
        connect(CDSelect(p), qOverload<int>(&QComboBox::activated), this, Guarded([this, p] { CDSelectChange(p); }));
        TEnhListView *v = CDView(p);
        v->OnCheckboxClick = [this, p](TEnhListView *, int row, bool) { HandlerGuard::RunGuarded([&] { CDViewCheckboxClick(p, row); }); };
        v->OnMouseDown = [this, p](TEnhListView *, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
            HandlerGuard::RunGuarded([&] { CDViewMouseDown(p, x, y); });
        };
        v->viewport()->installEventFilter(this);
    }
    for (char s : {'A', 'B'}) {
        TEnhListView *v = SideList(s);
        v->OnSelectItem = [this, s](TEnhListView *, TListItem *item, bool selected) {
            HandlerGuard::RunGuarded([&] { SideSelectItem(s, item, selected); });
        };
        v->OnExit = [this, s](TEnhListView *) { HandlerGuard::RunGuarded([&] { SideExit(s); }); };
        v->viewport()->installEventFilter(this);
    }
    connect(ui->TapeLen, qOverload<int>(&QComboBox::activated), this, Guarded([this] { TapeLenChange(); }));
    connect(ui->NewCompilation, &QToolButton::clicked, this, Guarded([this] { NewCompilationClick(); }));
    connect(ui->UpBtn, &QPushButton::clicked, this, Guarded([this] { UpBtnClick(); }));
    connect(ui->DownBtn, &QPushButton::clicked, this, Guarded([this] { DownBtnClick(); }));
    connect(ui->RemoveBtn, &QPushButton::clicked, this, Guarded([this] { RemoveBtnClick(); }));
}

// ---- shared operations ---------------------------------------------------------------

void TMainForm::ErrorBox(const std::string &text)
{
    // Called while a failed write is handled: when the write was refused
    // because the program folder was moved or replaced, the box says that
    // in place of the operation's own "Error saving ...", so one box tells
    // what happened.
    std::string shown = text;
    if (const std::exception_ptr failure = std::current_exception()) {
        try {
            std::rethrow_exception(failure);
        } catch (const EProgramFolderLost &lost) {
            shown = lost.Message;
        } catch (...) {
        }
    }
    Dialogs::MessageBox(this, shown, "Error", Dialogs::Button::OK, Dialogs::Icon::None);
}

Dialogs::Button TMainForm::ConfirmLoseCompilation(QWidget *owner)
{
    return Dialogs::MessageBox(owner, kWarning, "Warning", Dialogs::Button::Yes | Dialogs::Button::No,
                               Dialogs::Icon::Warning, Dialogs::Button::No);
}

bool TMainForm::SaveEnabled() const { return ui->SaveCompilationMenuItem->isEnabled(); }
void TMainForm::SetSaveEnabled(bool on) { ui->SaveCompilationMenuItem->setEnabled(on); }
void TMainForm::SetPrintEnabled(bool on) { ui->PrintMenuItem->menuAction()->setEnabled(on); }

void TMainForm::PrintTapeCoverMenuItemClick()
{
    if (PrintTapeCover)
        PrintTapeCover();
}

void TMainForm::PrintTapeProgramMenuItemClick()
{
    if (PrintTapeProgram)
        PrintTapeProgram();
}

bool TMainForm::CompilationExists() const { return SaveEnabled() || CompilationLoaded; }

void TMainForm::DiscardCompilation()
{
    ui->SideAList->Items.Clear();
    ui->SideBList->Items.Clear();
    TapeLenChange();
    ui->CompilationName->setText("None");
    SetSaveEnabled(false);
    CompilationLoaded = false;
    Catalogue->Invalidate();  // the caller has written the file
    LoadCatalogue();
}

void TMainForm::CentreOver(QWidget *window) const
{
    const QRect me = frameGeometry();
    const QRect it = window->frameGeometry();
    // Each halving truncates toward zero, as integer division does.
    window->move(me.left() + me.width() / 2 - it.width() / 2, me.top() + me.height() / 2 - it.height() / 2);
}

void TMainForm::ShowCentred(QDialog *window)
{
    if (!window)
        return;
    CentreOver(window);
    window->exec();
}

void TMainForm::CheckUpdatesMenuItemClick()
{
    if (!UpdateForm)
        return;
    UpdateForm->setWindowTitle(QString());
    CentreOver(UpdateForm);
    UpdateForm->show();
    setEnabled(false);
}

void TMainForm::showEvent(QShowEvent *e)
{
    QMainWindow::showEvent(e);
    if (shownOnce_)
        return;
    shownOnce_ = true;
    for (int p = 1; p <= 3; ++p)
        CDView(p)->SetOwnerDraw(false);
    if (FillAboutVersion)
        FillAboutVersion(FileVersion);
}

// Every way of closing the window (the caption's close button, the window
// manager) ends the program as Exit does, and asks first in the same way.
void TMainForm::closeEvent(QCloseEvent *e)
{
    HandlerGuard::RunGuarded([this] { ExitMenuClick(); });
    if (quitting_)
        e->accept();
    else
        e->ignore();
}

void TMainForm::ExitMenuClick()
{
    // Unsaved changes are not lost without the question of New and Load.
    if (!quitting_ && SaveEnabled() && ConfirmLoseCompilation(this) != Dialogs::Button::Yes)
        return;
    quitting_ = true;
    // The message loop ends, whatever the other windows would say to being
    // closed: QApplication::quit() first asks every window to close, and a
    // window that refuses (the update window says no to a close event even
    // when it then hides) would keep the program running, in half the cases,
    // as the windows are asked in no fixed order, and the update's restart
    // would wait for it for ever.
    auto finish = [this] {
        CDSections.reset();
        TApplication::Terminate();
    };
    // A network exchange waiting meanwhile (the windows stay alive during
    // its waits) is aborted first; the program ends once it has unwound.
    if (TNetExchange::Running()) {
        TNetExchange::Abort();
        TNetExchange::WhenDone([w = QPointer<TMainForm>(this), finish] {
            if (w)
                QTimer::singleShot(0, w, finish);
        });
        return;
    }
    finish();
}

void TMainForm::ContentsMenuItemClick() { Dialogs::ShellOpen(HelpFile); }

void TMainForm::ImportINIMenuItemClick() { cdplayer::ImportINIMenuItemClick(*this); }

// ---- CD selectors and panes ----------------------------------------------------------

std::unique_ptr<TMemIniFile> TMainForm::OpenCatalogue()
{
    try {
        return catalogue::Open(CatalogueFile);
    } catch (const Exception &) {
        ErrorBox(catalogue::kErrorOpening);
        return nullptr;
    }
}

bool TMainForm::RefreshCatalogue()
{
    try {
        if (Catalogue->Refresh())
            catalogueItems_.reset();
        return true;
    } catch (const Exception &) {
        ErrorBox(catalogue::kErrorOpening);
        return false;
    }
}

// The selectors are filled from the window's copy of the catalogue, which
// is read again only when the file changed or the program wrote it.
void TMainForm::LoadCatalogue()
{
    if (!RefreshCatalogue())
        return;
    const catalogue::TCatalogueCache &cat = *Catalogue;
    if (!catalogueItems_ || !CDSections) {
        auto sections = std::make_unique<TStringList>();
        auto items = std::make_unique<QStringList>();
        sections->SetCapacity(cat.Count());
        items->reserve(cat.Count());
        std::string artist, title;
        for (int i = 0; i < cat.Count(); ++i) {
            sections->Add(std::string(cat.Name(i)));
            cat.ReadPair(i, catalogue::kArtist, catalogue::kTitle, artist, title, catalogue::kUnknown);
            artist += " - ";
            artist += title;
            items->append(FromAnsi(artist));
        }
        CDSections = std::move(sections);
        catalogueItems_ = std::move(items);
    }
    ClearCDPanes();
    SetSelectorItems(*catalogueItems_);
}

// The three selectors show one list of items, so they always hold the same
// discs in the same order; each keeps its own choice, and none is chosen
// after a change of the list.
void TMainForm::SetSelectorItems(const QStringList &items)
{
    for (int p = 1; p <= 3; ++p)
        CDSelect(p)->blockSignals(true);
    selectorItems_->setStringList(items);
    for (int p = 1; p <= 3; ++p) {
        CDSelect(p)->setCurrentIndex(-1);
        CDSelect(p)->blockSignals(false);
    }
}

void TMainForm::ClearCDPanes()
{
    SetSelectorItems({});
    for (int p = 1; p <= 3; ++p) {
        CDView(p)->Items.Clear();
        CDTPT(p)->clear();
        CDPID(p)->clear();
    }
}

void TMainForm::LoadCDPane(int pane, int index)
{
    if (pane < 1 || pane > 3 || !CDSections || index < 0 || index >= CDSections->Count())
        return;
    // The disc as the file holds it now: a change made by another program
    // is read, otherwise the copy in memory serves.
    if (!RefreshCatalogue())
        return;
    const std::string section = (*CDSections)[index];
    std::unique_ptr<TMemIniFile> ini = Catalogue->Section(section);
    const int count = catalogue::ReadTrackCount(*ini, section);
    TEnhListView *view = CDView(pane);
    view->BeginUpdate();
    view->Items.Clear();
    setLabel(CDTPT(pane), ini->ReadString(section, catalogue::kTpt, catalogue::kUnknown));
    setLabel(CDPID(pane), section);
    for (int i = 0; i < count; ++i) {
        TListItem *row = view->Items.Add();
        row->SetCaption(ini->ReadString(section, catalogue::TrackKey(i), catalogue::kUnknown));
        row->SubItems.Add(ini->ReadString(section, catalogue::TimeKey(i), catalogue::kUnknown));
    }
    view->EndUpdate();
}

void TMainForm::CDSelectChange(int pane)
{
    if (!comboText(CDSelect(pane)).empty()) {
        ClearUsedTracks(pane);
        LoadCDPane(pane, CDSelect(pane)->currentIndex());
    } else {
        ClearUsedTracks(pane);
        CDView(pane)->Items.Clear();
        CDTPT(pane)->clear();
        CDPID(pane)->clear();
    }
    SetSaveEnabled(true);
    SetPrintEnabled(true);
    RemoveCDFromTape("CD" + IntToStr(pane));
}

// ---- tape ------------------------------------------------------------------------------

void TMainForm::WriteSideCaption(char side)
{
    SideList(side)->Columns[0]->SetCaption(tape::SideCaption(side, Remaining(side)));
}

void TMainForm::TapeLenChange()
{
    const std::string text = comboText(ui->TapeLen);
    if (text.empty() || ui->TapeLen->currentIndex() < 0)
        return;
    if (ui->SideAList->Items.Count() == 0 && ui->SideBList->Items.Count() == 0) {
        ui->NewCompilation->setEnabled(true);
        PrevTapeLenIndex = ui->TapeLen->currentIndex();
        const std::string half = IntToStr(tape::TapeMinutes(text) / 2) + ":00";
        RemainingA = half;
        RemainingB = half;
        WriteSideCaption('A');
        WriteSideCaption('B');
        return;
    }
    const int newMinutes = tape::TapeMinutes(text);
    const int oldMinutes = tape::TapeMinutes(ToAnsi(ui->TapeLen->itemText(PrevTapeLenIndex)));
    const int delta = newMinutes * 60 / 2 - oldMinutes * 60 / 2;
    const int a = TimeToSeconds(RemainingA) + delta;
    const int b = TimeToSeconds(RemainingB) + delta;
    if (a < 0 || b < 0) {
        ErrorBox(kTooLong + text);
        ui->TapeLen->setCurrentIndex(PrevTapeLenIndex);
        return;
    }
    SetSaveEnabled(true);
    PrevTapeLenIndex = ui->TapeLen->currentIndex();
    RemainingA = SecondsToTime(a);
    WriteSideCaption('A');
    RemainingB = SecondsToTime(b);
    WriteSideCaption('B');
}

void TMainForm::RemoveCDFromTape(const std::string &name)
{
    for (char side : {'A', 'B'}) {
        TEnhListView *list = SideList(side);
        bool removed = true;
        while (removed) {
            removed = false;
            for (int i = 0; i < list->Items.Count(); ++i) {
                TListItem *row = list->Items[i];
                if (tape::PaneNameOf(row->Caption()) == name) {
                    Remaining(side) = SecondsToTime(TimeToSeconds(Remaining(side)) + TimeToSeconds(row->CellText(1)));
                    WriteSideCaption(side);
                    list->Items.Delete(i);
                    removed = true;
                    break;
                }
            }
        }
    }
}

void TMainForm::ClearUsedTracks(int pane) { UsedTracks.Clear(pane); }

void TMainForm::MarkTrackUsed(const std::string &caption, int row)
{
    int pane = tape::PaneNumberOf(caption);
    if (pane)
        UsedTracks.Set(pane, row, true);
}

bool TMainForm::TrackOnTape(const std::string &reference) const
{
    for (char side : {'A', 'B'}) {
        const TEnhListView *list = SideList(side);
        for (int i = 0; i < list->Items.Count(); ++i)
            if (tape::ReferenceOf(list->Items[i]->Caption()) == reference)
                return true;
    }
    return false;
}

void TMainForm::RemoveDraggedTrack()
{
    for (char side : {'A', 'B'}) {
        bool &from = side == 'A' ? DragFromA : DragFromB;
        if (!from)
            continue;
        TEnhListView *list = SideList(side);
        if (TListItem *row = list->Selected()) {
            Remaining(side) = SecondsToTime(TimeToSeconds(Remaining(side)) + TimeToSeconds(row->CellText(1)));
            WriteSideCaption(side);
            row->SetFocused(false);
            row->SetSelected(false);
            list->Items.Delete(row->Index());
        }
        from = false;
        return;
    }
}

void TMainForm::UncheckAllTracks()
{
    for (int p = 1; p <= 3; ++p) {
        TEnhListView *v = CDView(p);
        for (int i = 0; i < v->Items.Count(); ++i)
            v->Items[i]->SetChecked(false);
    }
}

// Calls f(side, list, row) for side A, then side B, when that side has a
// selected row that the row buttons act on.
template <class F>
void TMainForm::ForEachSelectedSide(F f)
{
    for (char side : {'A', 'B'}) {
        const bool selected = side == 'A' ? SideASelected : SideBSelected;
        TEnhListView *list = SideList(side);
        if (TListItem *row = list->Selected(); selected && row)
            f(side, list, row);
    }
}

void TMainForm::MoveRow(int delta)
{
    ForEachSelectedSide([&](char, TEnhListView *list, TListItem *row) {
        const int i = row->Index();
        const int j = i + delta;
        if (j < 0 || j >= list->Items.Count())
            return;
        SetSaveEnabled(true);
        const std::string caption = row->Caption();
        const std::string time = row->CellText(1);
        row->SetFocused(false);
        list->SelectItem(j);
        TListItem *other = list->Items[j];
        row->SetCaption(other->Caption());
        row->SubItems.Put(0, other->CellText(1));
        other->SetCaption(caption);
        other->SubItems.Put(0, time);
    });
}

void TMainForm::RemoveBtnClick()
{
    ForEachSelectedSide([&](char side, TEnhListView *list, TListItem *row) {
        SetSaveEnabled(true);
        const std::string caption = row->Caption();
        const std::string time = row->CellText(1);
        const std::string reference = tape::ReferenceOf(caption);
        const int pane = tape::PaneNumberOf(caption);
        const int k = tape::TrackNumberOf(reference);
        Remaining(side) = SecondsToTime(TimeToSeconds(time) + TimeToSeconds(Remaining(side)));
        WriteSideCaption(side);
        row->SetFocused(false);
        list->Items.Delete(row->Index());
        const bool still = TrackOnTape(reference);
        if (pane && k - 1 >= 0 && k - 1 < CDView(pane)->Items.Count()) {
            CDView(pane)->Items[k - 1]->SetChecked(still);
            UsedTracks.Set(pane, k - 1, still);
        }
    });
}

void TMainForm::NewCompilationClick()
{
    if (ui->SideAList->Items.Count() == 0 && ui->SideBList->Items.Count() == 0)
        return;
    ui->SideAList->Items.Clear();
    ui->SideBList->Items.Clear();
    ui->CompilationName->setText("None");
    TapeLenChange();
    UncheckAllTracks();
    UsedTracks.ClearAll();
    SetSaveEnabled(true);
}

void TMainForm::CDViewCheckboxClick(int pane, int row)
{
    TEnhListView *v = CDView(pane);
    if (row >= 0 && row < v->Items.Count())
        v->Items[row]->SetChecked(UsedTracks.Get(pane, row));
}

void TMainForm::CDViewMouseDown(int pane, int x, int y)
{
    TEnhListView *v = CDView(pane);
    if (TListItem *row = v->GetItemAt(x, y))
        row->SetChecked(UsedTracks.Get(pane, row->Index()));
}

// ---- drag and drop ----------------------------------------------------------------------

void TMainForm::CDViewStartDrag(int pane)
{
    TListItem *row = CDView(pane)->Selected();
    if (!row)
        return;
    DragRow = row->Index();
    DragTime = row->CellText(1);
    DragCaption = tape::SideRowCaption(pane, DragRow, row->Caption());
}

void TMainForm::SideStartDrag(char side)
{
    TListItem *row = SideList(side)->Selected();
    if (!row)
        return;
    DragFromA = side == 'A';
    DragFromB = side == 'B';
    DragRow = row->Index();
    DragTime = row->CellText(1);
    DragCaption = row->Caption();
}

bool TMainForm::SideDragOver(char side, QObject *source)
{
    if (TimeToSeconds(DragTime) > TimeToSeconds(Remaining(side)))
        return false;
    if (side == 'A' ? DragFromA : DragFromB)
        return false;
    auto *list = qobject_cast<TEnhListView *>(source);
    if (!list || std::string(list->ClassName()) != "TEnhListView")
        return false;
    bool ours = list == SideList('A') || list == SideList('B');
    for (int p = 1; p <= 3; ++p)
        ours = ours || list == CDView(p);
    if (!ours)
        return false;
    return ui->TapeLen->currentIndex() >= 0 && !comboText(ui->TapeLen).empty();
}

void TMainForm::SideDragDrop(char side)
{
    SetSaveEnabled(true);
    TEnhListView *list = SideList(side);
    TListItem *row = list->Items.Add();
    row->SetCaption(DragCaption);
    row->SubItems.Add(DragTime);
    Remaining(side) = SecondsToTime(TimeToSeconds(Remaining(side)) - TimeToSeconds(DragTime));
    WriteSideCaption(side);
    if (!DragFromA && !DragFromB) {
        const int pane = tape::PaneNumberOf(DragCaption);
        if (pane && DragRow >= 0 && DragRow < CDView(pane)->Items.Count())
            CDView(pane)->Items[DragRow]->SetChecked(true);
        MarkTrackUsed(DragCaption, DragRow);
    }
    if (side == 'A' ? DragFromB : DragFromA)
        RemoveDraggedTrack();
}

void TMainForm::SideSelectItem(char side, TListItem *item, bool selected)
{
    bool &flag = side == 'A' ? SideASelected : SideBSelected;
    if (selected && item) {
        flag = true;
        const int i = item->Index();
        ui->RemoveBtn->setEnabled(true);
        ui->UpBtn->setEnabled(i >= 1);
        ui->DownBtn->setEnabled(i < SideList(side)->Items.Count() - 1);
    } else {
        flag = false;
        ui->UpBtn->setEnabled(false);
        ui->DownBtn->setEnabled(false);
        ui->RemoveBtn->setEnabled(false);
    }
}

void TMainForm::SideExit(char side)
{
    (side == 'A' ? SideASelected : SideBSelected) = false;
    (side == 'A' ? DragFromA : DragFromB) = false;
    ui->UpBtn->setEnabled(false);
    ui->DownBtn->setEnabled(false);
    ui->RemoveBtn->setEnabled(false);
    if (TListItem *row = SideList(side)->Selected())
        row->SetSelected(false);
}

void TMainForm::StartDragFrom(QWidget *source)
{
    auto *data = new QMimeData;
    data->setData(TrackMimeType, dragToken_ + "\n" + source->objectName().toLatin1());
    ExecDrag(source, data);
}

// Mouse presses and moves on the five lists start drags; the sides take the
// drags of the program's own lists.
bool TMainForm::eventFilter(QObject *watched, QEvent *e)
{
    QWidget *list = nullptr;
    for (TEnhListView *v : {CDView(1), CDView(2), CDView(3), SideList('A'), SideList('B')})
        if (watched == v->viewport())
            list = v;
    if (!list)
        return QMainWindow::eventFilter(watched, e);

    switch (e->type()) {
    case QEvent::MouseButtonPress: {
        auto *me = static_cast<QMouseEvent *>(e);
        if (me->button() == Qt::LeftButton) {
            pressPos_ = me->position().toPoint();
            pressList_ = list;
        }
        break;
    }
    case QEvent::MouseMove: {
        auto *me = static_cast<QMouseEvent *>(e);
        if (pressList_ == list && (me->buttons() & Qt::LeftButton) &&
            (me->position().toPoint() - pressPos_).manhattanLength() >= QApplication::startDragDistance()) {
            pressList_ = nullptr;
            auto *view = static_cast<TEnhListView *>(list);
            if (!view->Selected() || !view->isEnabled())
                return true;
            bool started = HandlerGuard::RunGuarded([&] {
                if (list == SideList('A') || list == SideList('B'))
                    SideStartDrag(list == SideList('A') ? 'A' : 'B');
                else
                    CDViewStartDrag(list == CDView(1) ? 1 : list == CDView(2) ? 2 : 3);
            });
            if (started)
                StartDragFrom(list);
            return true;
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        pressList_ = nullptr;
        break;
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop: {
        auto *de = static_cast<QDropEvent *>(e);
        const char side = list == SideList('A') ? 'A' : list == SideList('B') ? 'B' : 0;
        QWidget *source = nullptr;
        if (side && de->mimeData()->hasFormat(TrackMimeType)) {
            const QList<QByteArray> parts = de->mimeData()->data(TrackMimeType).split('\n');
            if (parts.size() == 2 && parts[0] == dragToken_)
                source = findChild<QWidget *>(QString::fromLatin1(parts[1]));
        }
        bool accept = false;
        if (source)
            HandlerGuard::RunGuarded([&] { accept = SideDragOver(side, source); });
        if (!accept) {
            de->ignore();
            return true;
        }
        de->setDropAction(Qt::MoveAction);
        de->accept();
        if (e->type() == QEvent::Drop)
            HandlerGuard::RunGuarded([&] { SideDragDrop(side); });
        return true;
    }
    case QEvent::DragLeave:
        return true;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, e);
}

// ---- compilations ----------------------------------------------------------------------

std::string TMainForm::CompilationFolder()
{
    const std::string folder = AppDir + "/Compilations";
    if (DirectoryExists(folder) || CreateDir(folder))
        return folder;
    return AppDir + "/";
}

void TMainForm::EnableTapeView()
{
    ui->CDDBGroup->setEnabled(true);
    ui->TapeGroup->setEnabled(true);
    for (int p = 1; p <= 3; ++p)
        CDSelect(p)->setEnabled(true);
    ui->NewCompilation->setEnabled(true);
}

void TMainForm::NewCompilationMenuItemClick()
{
    if (CompilationExists() && ConfirmLoseCompilation(this) != Dialogs::Button::Yes)
        return;
    EnableTapeView();
    ui->SideAList->Items.Clear();
    ui->SideBList->Items.Clear();
    ui->TapeLen->setCurrentIndex(0);
    ui->TapeLen->setEnabled(true);
    TapeLenChange();
    ui->CompilationName->setText("None");
    SetSaveEnabled(false);
    SetPrintEnabled(false);
    CompilationLoaded = false;
    LoadCatalogue();
}

namespace {

std::string withCmp(const std::string &path)
{
    // ".cmp" anywhere in the name counts, compared with regard to case.
    return Pos(".cmp", path) ? path : path + ".cmp";
}

} // namespace

void TMainForm::SaveCompilationMenuItemClick()
{
    Dialogs::FileRequest req;
    req.owner = this;
    req.title = "Save Compilation";
    req.filter = kCompilationFilter;
    req.initialDir = CompilationFolder();
    req.options = Dialogs::ofOverwritePrompt | Dialogs::ofPathMustExist;
    std::optional<std::string> chosen = Dialogs::SaveFile(req);
    if (!chosen)
        return;
    const std::string path = withCmp(*chosen);

    // The file is read once, the three sections are written into its text
    // as the profile functions write them key by key (other sections kept),
    // and the result replaces the file with one write: a failed save leaves
    // the previous file as it was.
    std::string old;
    if (FileExists(path) && !fileio::ReadFile(path, old))
        throw EIniFileException("Unable to write to " + path);
    TProfileText ini(old);
    WriteCompilation(ini);
    if (!fileio::AtomicWriteFile(path, ini.Text()))
        throw EIniFileException("Unable to write to " + path);
    setLabel(ui->CompilationName, ExtractFileName(path));
    SetSaveEnabled(false);
}

void TMainForm::WriteCompilation(TProfileText &ini) const
{
    ini.EraseSection("INFOS");
    ini.EraseSection("SIDEA");
    ini.EraseSection("SIDEB");
    ini.WriteString("INFOS", "tapelength", Trim(comboText(ui->TapeLen)));
    ini.WriteInteger("INFOS", "totaltrksA", ui->SideAList->Items.Count());
    ini.WriteInteger("INFOS", "totaltrksB", ui->SideBList->Items.Count());
    for (int p = 1; p <= 3; ++p)
        ini.WriteString("INFOS", "pid" + IntToStr(p), ToAnsi(CDPID(p)->text()) + " " + comboText(CDSelect(p)));
    for (char side : {'A', 'B'}) {
        TEnhListView *list = SideList(side);
        const std::string section = side == 'A' ? "SIDEA" : "SIDEB";
        const std::string prefix = side == 'A' ? "tracka" : "trackb";
        for (int i = 0; i < list->Items.Count(); ++i)
            ini.WriteString(section, prefix + IntToStr(i), tape::ReferenceOf(list->Items[i]->Caption()));
    }
}

void TMainForm::LoadSide(const TProfileText &ini, char side, int count, const std::array<bool, 3> &missing)
{
    TEnhListView *list = SideList(side);
    const std::string section = side == 'A' ? "SIDEA" : "SIDEB";
    const std::string prefix = side == 'A' ? "tracka" : "trackb";
    const int capacity = tape::SideCapacity(comboText(ui->TapeLen));
    int used = 0;
    // The rows are the keys prefix + 0 up to prefix + (count - 1). Only the
    // keys the section holds are looked at, in the order of their numbers,
    // so the work follows the file (whose size is bounded), not the count
    // it states.
    std::vector<int> numbers;
    TStringList keys;
    ini.ReadSection(section, keys);
    for (int k = 0; k < keys.Count(); ++k) {
        const int n = tape::KeyNumber(keys[k], prefix);
        if (n >= 0 && n < count)
            numbers.push_back(n);
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    // The rows are added in one batch, however many there are.
    list->BeginUpdate();
    struct EndBatch {
        TEnhListView *list;
        ~EndBatch() { list->EndUpdate(); }
    } endBatch{list};
    for (const int i : numbers) {
        const std::string reference = ini.ReadString(section, prefix + IntToStr(i), "");
        const int pane = tape::PaneNumberOf(reference);
        if (!pane || missing[size_t(pane - 1)])
            continue;
        // A track the pane's disc does not have is skipped.
        const int k = tape::TrackNumberOf(reference);
        TEnhListView *view = CDView(pane);
        if (k < 1 || k > view->Items.Count() || k > tape::UsedTracks::kRows)
            continue;
        TListItem *paneRow = view->Items[k - 1];
        paneRow->SetChecked(true);
        UsedTracks.Set(pane, k - 1, true);
        TListItem *row = list->Items.Add();
        row->SetCaption(reference + " - " + paneRow->Caption());
        row->SubItems.Add(paneRow->CellText(1));
        used += TimeToSeconds(paneRow->CellText(1));
    }
    Remaining(side) = SecondsToTime(capacity - used);
}

void TMainForm::LoadCompilationMenuItemClick()
{
    const std::string folder = CompilationFolder();
    if (CompilationExists() && ConfirmLoseCompilation(this) != Dialogs::Button::Yes)
        return;
    Dialogs::FileRequest req;
    req.owner = this;
    req.title = "Load Compilation";
    req.filter = kCompilationFilter;
    req.initialDir = folder;
    req.options = Dialogs::ofHideReadOnly | Dialogs::ofPathMustExist | Dialogs::ofFileMustExist;
    std::optional<std::string> chosen = Dialogs::OpenFile(req);
    if (!chosen)
        return;
    const std::string path = withCmp(*chosen);
    // One read; a file that cannot be read holds no keys, as for the
    // profile functions. A file far larger than any compilation is refused
    // before it is read, and nothing is changed.
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && st.st_size > kMaxCompilationBytes)
        throw EFOpenError("Cannot open file " + path);
    std::string bytes;
    if (!fileio::ReadFile(path, bytes))
        bytes.clear();
    const TProfileText ini(bytes);
    CompilationLoaded = true;
    setLabel(ui->CompilationName, ExtractFileName(path));
    ui->SideAList->Items.Clear();
    ui->SideBList->Items.Clear();

    const std::string length = ini.ReadString("INFOS", "tapelength", "");
    if (length.empty()) {
        ui->TapeLen->setCurrentIndex(0);
    } else {
        for (int i = 0; i < ui->TapeLen->count(); ++i)
            if (SameText(ToAnsi(ui->TapeLen->itemText(i)), " " + length)) {
                ui->TapeLen->setCurrentIndex(i);
                break;
            }
    }
    // A length the file does not name, with none chosen before: the first.
    if (ui->TapeLen->currentIndex() < 0)
        ui->TapeLen->setCurrentIndex(0);
    TapeLenChange();

    const int countA = ini.ReadInteger("INFOS", "totaltrksA", 0);
    const int countB = ini.ReadInteger("INFOS", "totaltrksB", 0);
    std::array<bool, 3> missing{};
    for (int p = 1; p <= 3; ++p) {
        const std::string value = ini.ReadString("INFOS", "pid" + IntToStr(p), "");
        if (value.empty()) {
            // The pane keeps its disc; without one its references are skipped.
            missing[size_t(p - 1)] = CDPID(p)->text().isEmpty();
            continue;
        }
        const int blank = Pos(" ", value);
        const std::string pid = blank ? Copy(value, 1, blank - 1) : value;
        const int index = CDSections ? CDSections->IndexOf(pid) : -1;
        if (index >= 0) {
            CDSelect(p)->setCurrentIndex(index);
            CDSelectChange(p);
        } else {
            missing[size_t(p - 1)] = true;
        }
    }
    LoadSide(ini, 'A', countA, missing);
    LoadSide(ini, 'B', countB, missing);

    EnableTapeView();
    TapeLenChange();
    ui->TapeLen->setEnabled(true);
    SetSaveEnabled(false);
    SetPrintEnabled(true);
}
