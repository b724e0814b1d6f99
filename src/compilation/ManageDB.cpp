#include "compilation/ManageDB.h"

#include "compilation/CDPlayer.h"
#include "compilation/Catalogue.h"
#include "compilation/EntryPages.h"
#include "compilation/Main.h"
#include "compilation/TapeModel.h"
#include "controls/EnhListV.h"
#include "platform/Classes.h"
#include "platform/Cp1252.h"
#include "platform/HandlerGuard.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"
#include "ui_ManageDB.h"

#include <QCursor>
#include <QFile>
#include <QFocusEvent>
#include <QImageReader>
#include <QKeyEvent>
#include <QMenu>
#include <QPixmap>
#include <QRegularExpressionValidator>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <exception>
#include <new>
#include <vector>

#include <jpeglib.h>

using namespace Rtl;

TModifyForm *ModifyForm = nullptr;

// ---- cover pictures ----------------------------------------------------------------------

namespace {

// libjpeg reports a fatal error through error_exit, which must not return:
// it jumps back to the one setjmp below. Everything the decoder changes lives
// in the job, so no local of the jumping frames needs its destructor run.
struct JpegJob;
struct JpegErr {
    jpeg_error_mgr pub;  // first, so the library's pointer to it is one to the whole
    JpegJob *job;
};
struct JpegJob {
    jpeg_decompress_struct cinfo{};
    JpegErr err{};
    std::jmp_buf jump;
    bool created = false;
    FILE *file = nullptr;
    QImage image;
    std::vector<unsigned char> line;
    char message[JMSG_LENGTH_MAX] = {};
};

// Pictures beyond these sizes are refused rather than allocated.
constexpr unsigned kMaxSide = 20000;
constexpr unsigned long long kMaxPixels = 100ull * 1000 * 1000;

void jpegErrorExit(j_common_ptr cinfo)
{
    JpegJob *job = reinterpret_cast<JpegErr *>(cinfo->err)->job;
    (*cinfo->err->format_message)(cinfo, job->message);
    std::longjmp(job->jump, 1);
}

void jpegSilent(j_common_ptr) {}

void readJpeg(JpegJob *job)
{
    jpeg_create_decompress(&job->cinfo);
    job->created = true;
    jpeg_stdio_src(&job->cinfo, job->file);
    jpeg_read_header(&job->cinfo, TRUE);
    if (job->cinfo.image_width == 0 || job->cinfo.image_height == 0 || job->cinfo.image_width > kMaxSide ||
        job->cinfo.image_height > kMaxSide ||
        (unsigned long long)job->cinfo.image_width * job->cinfo.image_height > kMaxPixels) {
        std::snprintf(job->message, sizeof job->message, "Picture too large");
        std::longjmp(job->jump, 1);
    }
    const bool cmyk = job->cinfo.jpeg_color_space == JCS_CMYK || job->cinfo.jpeg_color_space == JCS_YCCK;
    job->cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_start_decompress(&job->cinfo);
    const unsigned w = job->cinfo.output_width;
    const unsigned h = job->cinfo.output_height;
    job->image = QImage(int(w), int(h), QImage::Format_RGB888);
    if (job->image.isNull()) {
        std::snprintf(job->message, sizeof job->message, "Out of memory");
        std::longjmp(job->jump, 1);
    }
    job->line.resize(size_t(w) * unsigned(job->cinfo.output_components));
    while (job->cinfo.output_scanline < h) {
        const unsigned y = job->cinfo.output_scanline;
        JSAMPROW row = job->line.data();
        if (jpeg_read_scanlines(&job->cinfo, &row, 1) != 1)
            break;
        uchar *out = job->image.scanLine(int(y));
        if (!cmyk) {
            std::copy(job->line.begin(), job->line.begin() + ptrdiff_t(w) * 3, out);
        } else {
            // Adobe writes CMYK inverted: the stored values are 255 - ink.
            for (unsigned x = 0; x < w; ++x) {
                const unsigned c = job->line[x * 4], m = job->line[x * 4 + 1], ye = job->line[x * 4 + 2],
                               k = job->line[x * 4 + 3];
                out[x * 3] = uchar(c * k / 255);
                out[x * 3 + 1] = uchar(m * k / 255);
                out[x * 3 + 2] = uchar(ye * k / 255);
            }
        }
    }
    jpeg_finish_decompress(&job->cinfo);
}

bool runJpeg(JpegJob *job)
{
    if (setjmp(job->jump))
        return false;
    readJpeg(job);
    return true;
}

} // namespace

QImage DecodeJpegFile(const std::string &path)
{
    auto job = std::make_unique<JpegJob>();
    job->file = std::fopen(path.c_str(), "rb");
    if (!job->file)
        throw EFOpenError("Cannot open file " + path);
    job->err.job = job.get();
    job->cinfo.err = jpeg_std_error(&job->err.pub);
    job->err.pub.error_exit = jpegErrorExit;
    job->err.pub.output_message = jpegSilent;
    const bool ok = runJpeg(job.get());
    if (job->created)
        jpeg_destroy_decompress(&job->cinfo);
    std::fclose(job->file);
    if (!ok)
        throw Exception("JPEG error #" + std::string(job->message) + " in " + path);
    return job->image.convertToFormat(QImage::Format_RGB32);
}

QImage LoadPictureFile(const std::string &path)
{
    const std::string ext = LowerCase(ExtractFileExt(path));
    if (ext == ".jpg" || ext == ".jpeg")
        return DecodeJpegFile(path);
    QImageReader reader(QFile::decodeName(QByteArray::fromStdString(path)));
    reader.setAllocationLimit(400);  // megabytes
    QImage image = reader.read();
    if (image.isNull())
        throw Exception("Cannot load the picture " + path + " (" + ToAnsi(reader.errorString()) + ")");
    return image;
}

// ---- the window -----------------------------------------------------------------------------

namespace {

const char *const kWipeQuestion = "Are you sure that you want to wipe-out this CD?";
const char *const kExportTitle = "Export to CSV";
const int kPidColumn = 3;

using entrytext::MemoText;
using entrytext::SetMemo;
using entrytext::SetText;
using entrytext::Text;

// The two characters of a time field; blank positions read as "0".
std::string twoDigits(const QLineEdit *e)
{
    std::string s = Trim(Text(e));
    for (char &c : s)
        if (c == ' ')
            c = '0';
    if (s.size() > 2)
        s = Copy(s, 1, 2);
    while (s.size() < 2)
        s.insert(s.begin(), '0');
    return s;
}

} // namespace

TModifyForm::TModifyForm(QWidget *parent) : QDialog(parent), ui(new Ui::TModifyForm)
{
    ui->setupUi(this);
    ModifyForm = this;
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(688, 492);

    TEnhListView *v = ui->CDDBView;
    v->Columns.Add("ARTIST NAME", 292);
    v->Columns.Add("CD TITLE", 298);
    v->Columns.Add("TRACKS", 68, taCenter);
    v->Columns.Add("PIDS", 0, taCenter);
    v->SetReadOnly(true);
    v->SetRowSelect(true);
    v->SetGridLines(true);
    v->HideSelection = false;
    v->SetColumnClick(false);
    v->SetOwnerDraw(true);
    v->SetSortType(stText);
    v->SaveHeader = false;
    v->HTMLSettings.Width = 100;

    TEntryPages::SetUpTitleList(ui->CDTracksView);
    Pages = TEntryPages::Make(*ui, ExtTrackTexts, this);

    auto *digits = new QRegularExpressionValidator(QRegularExpression("[0-9 ]{0,2}"), this);
    ui->MinEdit->setValidator(digits);
    ui->SecEdit->setValidator(digits);

    ExportPopUpMenu = new QMenu(this);
    ExportPopUpMenu->setObjectName("ExportPopUpMenu");
    ExportPopUpMenu->addAction(ui->ExportHTMLMenuItem);
    ExportPopUpMenu->addAction(ui->ExportDOCMenuItem);
    ExportPopUpMenu->addAction(ui->ExportXLSMenuItem);
    ExportPopUpMenu->addAction(ui->ExportCSVMenuItem);
    ExportPopUpMenu->addAction(ui->ExportCDPlyMenuItem);

    ConnectHandlers();
    FormCreate();
    Pages->NoPicture();
}

TModifyForm::~TModifyForm()
{
    if (ModifyForm == this)
        ModifyForm = nullptr;
    delete ui;
}

void TModifyForm::ConnectHandlers()
{
    using HandlerGuard::Guarded;
    using HandlerGuard::RunGuarded;
    ui->CDDBView->OnSelectItem = [this](TEnhListView *, TListItem *item, bool selected) {
        RunGuarded([&] { CDDBViewSelectItem(item, selected); });
    };
    connect(ui->ArtistEdit, &QLineEdit::textEdited, this, Guarded([this] {
                ArtistEditKeyPress();  // also an edit made without a key (a paste with the mouse)
                ArtistEditChange();
            }));
    connect(ui->CDTitleEdit, &QLineEdit::textEdited, this, Guarded([this] {
                ArtistEditKeyPress();
                CDTitleEditChange();
            }));
    connect(ui->SaveDBBtn, &QPushButton::clicked, this, Guarded([this] { SaveDBBtnClick(); }));
    connect(ui->WipeCDBtn, &QPushButton::clicked, this, Guarded([this] { WipeCDBtnClick(); }));
    connect(ui->OkTimeBtn, &QPushButton::clicked, this, Guarded([this] { OkTimeBtnClick(); }));
    connect(ui->ChangeBtn, &QPushButton::clicked, this, Guarded([this] { ChangeBtnClick(); }));
    connect(ui->ClearBtn, &QPushButton::clicked, this, Guarded([this] { ClearBtnClick(); }));
    connect(ui->StretchBtn, &QPushButton::clicked, this, Guarded([this] { StretchBtnClick(); }));
    connect(ui->ExportDBBtn, &QPushButton::clicked, this, Guarded([this] { ExportDBBtnClick(); }));
    connect(ui->ExitBtn, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui->ExportHTMLMenuItem, &QAction::triggered, this, Guarded([this] { ExportHTMLMenuItemClick(); }));
    connect(ui->ExportDOCMenuItem, &QAction::triggered, this, Guarded([this] { ExportDOCMenuItemClick(); }));
    connect(ui->ExportXLSMenuItem, &QAction::triggered, this, Guarded([this] { ExportXLSMenuItemClick(); }));
    connect(ui->ExportCSVMenuItem, &QAction::triggered, this, Guarded([this] { ExportCSVMenuItemClick(); }));
    connect(ui->ExportCDPlyMenuItem, &QAction::triggered, this, Guarded([this] { ExportCDPlyMenuItemClick(); }));

    ui->CDTracksView->OnSelectItem = [this](TEnhListView *, TListItem *, bool) {
        RunGuarded([&] { CDTracksViewSelectItem(); });
    };
    ui->CDTracksView->OnEdited = [this](TEnhListView *, TListItem *item, std::string &s) {
        RunGuarded([&] { CDTracksViewEdited(item, s); });
    };
    ui->CDTracksView->OnKeyUp = [this](TEnhListView *, int &key, Qt::KeyboardModifiers) {
        RunGuarded([&] { CDTracksViewKeyUp(key); });
    };

    for (QWidget *w : {static_cast<QWidget *>(ui->ArtistEdit), static_cast<QWidget *>(ui->CDTitleEdit),
                       static_cast<QWidget *>(ui->MinEdit), static_cast<QWidget *>(ui->SecEdit),
                       static_cast<QWidget *>(ui->EXTMemo), static_cast<QWidget *>(ui->EXTDMemo)})
        w->installEventFilter(this);
}

bool TModifyForm::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::KeyPress) {
        auto *k = static_cast<QKeyEvent *>(e);
        const bool enter = k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter;
        const bool typed = !k->text().isEmpty() || enter;
        if (watched == ui->ArtistEdit || watched == ui->CDTitleEdit) {
            if (typed)
                HandlerGuard::RunGuarded([&] { ArtistEditKeyPress(); });
        } else if (watched == ui->MinEdit || watched == ui->SecEdit) {
            if (typed)
                HandlerGuard::RunGuarded([&] { MinEditKeyPress(enter ? 13 : k->key()); });
            if (enter)
                return true;  // applied here, never the dialog's default button
        } else if (watched == ui->EXTMemo || watched == ui->EXTDMemo) {
            if (typed)
                HandlerGuard::RunGuarded([&] { EXTDMemoKeyPress(k->key() == Qt::Key_Escape ? 27 : k->key()); });
        }
    } else if (e->type() == QEvent::FocusOut && watched == ui->EXTMemo) {
        HandlerGuard::RunGuarded([&] { EXTMemoExit(); });
    }
    return QDialog::eventFilter(watched, e);
}

void TModifyForm::showEvent(QShowEvent *e)
{
    QDialog::showEvent(e);
    HandlerGuard::RunGuarded([this] { FormShow(); });
}

void TModifyForm::done(int result)
{
    if (isVisible())
        HandlerGuard::RunGuarded([this] { FormClose(); });
    QDialog::done(result);
}

// ---- helpers ------------------------------------------------------------------------------------

std::string TModifyForm::PIDOfRow(const TListItem *row) { return row ? row->CellText(kPidColumn) : std::string(); }

TListItem *TModifyForm::RowOfPID(const std::string &pid) const
{
    if (pid.empty())
        return nullptr;
    for (int r = 0; r < ui->CDDBView->Items.Count(); ++r) {
        TListItem *row = ui->CDDBView->Items[r];
        if (SameText(PIDOfRow(row), pid))
            return row;
    }
    return nullptr;
}

void TModifyForm::MarkChanged()
{
    CatalogueChanged = true;
    ui->SaveDBBtn->setEnabled(true);
}

std::string TModifyForm::PrepareFolder(const char *name)
{
    return PrepareAppFolder(MainForm ? MainForm->AppDir : std::string("."), name);
}

void TModifyForm::ShowExportPanel(bool show)
{
    ui->ExportPanel->setVisible(show);
    if (show) {
        ui->ExportPanel->raise();
        ui->ExportPanel->repaint();
    }
}

std::string TModifyForm::ExportFileName(const std::string &chosen, const std::string &extension)
{
    if (Pos(extension, chosen) == 0)
        return chosen + extension;
    return chosen;
}

void TModifyForm::RunListExport(TEnhListView &list, ListExport kind, const std::string &fileName)
{
    switch (kind) {
    case ListExport::HTML:
        list.SaveToHTML(fileName);
        break;
    case ListExport::DOC:
        list.SaveToDOC(fileName);
        break;
    case ListExport::XLS:
        list.SaveToXLS(fileName);
        break;
    case ListExport::CSV:
        list.SaveToCSV(fileName);
        break;
    }
}

// ---- showing and closing ------------------------------------------------------------------------

void TModifyForm::FormCreate()
{
    QWidget *group = ui->CDDBGroup;
    QWidget *panel = ui->ExportPanel;
    panel->move(group->width() / 2 - panel->width() / 2, group->height() / 2 - panel->height() / 2);
    ui->CDDBView->Delimiter = ',';
}

void TModifyForm::FillList()
{
    TEnhListView *v = ui->CDDBView;
    v->BeginUpdate();
    v->Items.Clear();
    for (int s = 0; s < CDSections->Count(); ++s) {
        const std::string pid = (*CDSections)[s];
        TListItem *row = v->Items.Add();
        row->SetCaption(CatalogueIni->ReadString(pid, catalogue::kArtist, catalogue::kUnknown));
        row->SubItems.Add(CatalogueIni->ReadString(pid, catalogue::kTitle, catalogue::kUnknown));
        row->SubItems.Add(IntToStr(CatalogueIni->ReadInteger(pid, catalogue::kTotalTracks, 0)));
        row->SubItems.Add(pid);
    }
    v->EndUpdate();
    CDSections->Clear();
    for (int r = 0; r < v->Items.Count(); ++r)
        CDSections->Add(PIDOfRow(v->Items[r]));
}

void TModifyForm::FormShow()
{
    DiscCount = 0;
    CatalogueChanged = false;
    Closing = false;
    unwritten_ = false;
    try {
        CatalogueIni = catalogue::Open(MainForm->CatalogueFile);
    } catch (const std::exception &) {
        CatalogueIni.reset();
        MainForm->ErrorBox(catalogue::kErrorOpening);
        return;
    }
    CDSections = std::make_unique<TStringList>();
    CatalogueIni->ReadSections(*CDSections);
    DiscCount = CDSections->Count();
    SetText(ui->TotalCDsStatic, IntToStr(DiscCount));
    ui->CDDBView->SetSortType(stText);
    FillList();
    ui->ExportDBBtn->setEnabled(DiscCount > 0);
    ui->TracksPage->setCurrentIndex(0);
    ui->CDDBView->SetOwnerDraw(false);
}

void TModifyForm::FormClose()
{
    if (CatalogueIni) {
        std::unique_ptr<TMemIniFile> ini = std::move(CatalogueIni);
        CDSections.reset();
        try {
            // Only changes that are not in the file yet (a failed save) are
            // written: a look through the catalogue leaves the file alone.
            if (unwritten_)
                ini->UpdateFile();
            unwritten_ = false;
        } catch (...) {
            // Reported, and the window still closes in order.
            HandlerGuard::ShowException(std::current_exception());
        }
    }
    CDSections.reset();
    TEnhListView *v = ui->CDDBView;
    v->BeginUpdate();
    Closing = true;
    v->Items.Clear();
    v->EndUpdate();
    ui->TracksPage->setEnabled(false);
    ui->TracksPage->setCurrentIndex(0);
    if (CatalogueChanged && ui->SaveDBBtn->isEnabled())
        MainForm->DiscardCompilation();
}

void TModifyForm::ShowNoDisc()
{
    CurrentPID.clear();
    ui->ArtistEdit->clear();
    ui->CDTitleEdit->clear();
    ui->CDTPT->clear();
    ui->CDCateg->clear();
    ui->CDTracksView->Items.Clear();
    ui->EXTTList->Items.Clear();
    Pages->ClearTrackMemo();
    SetMemo(ui->EXTDMemo, std::string());
    ui->TracksPage->setEnabled(false);
    ui->WipeCDBtn->setEnabled(false);
    ui->SaveDBBtn->setEnabled(false);
    ui->ArtistEdit->setEnabled(false);
    ui->CDTitleEdit->setEnabled(false);
}

// ---- the list -------------------------------------------------------------------------------------

void TModifyForm::CDDBViewSelectItem(TListItem *item, bool selected)
{
    if (!item)
        return;
    SelectedRow = item->Index();
    if (selected) {
        const std::string pid = PIDOfRow(item);
        SetText(ui->ArtistEdit, item->Caption());
        SetText(ui->CDTitleEdit, item->CellText(1));
        ui->WipeCDBtn->setEnabled(true);
        if (ui->SaveDBBtn->isEnabled()) {
            // Changes to the disc being left are dropped: its row shows what
            // is stored for it again.
            if (TListItem *left = RowOfPID(CurrentPID); left && CatalogueIni) {
                left->SubItems.Put(0, CatalogueIni->ReadString(CurrentPID, catalogue::kTitle, std::string()));
                left->SetCaption(CatalogueIni->ReadString(CurrentPID, catalogue::kArtist, std::string()));
            }
            ui->SaveDBBtn->setEnabled(false);
        }
        ui->ArtistEdit->setEnabled(true);
        ui->CDTitleEdit->setEnabled(true);
        ui->TracksPage->setEnabled(true);
        CurrentPID = pid;
        if (!CatalogueIni)
            return;
        TMemIniFile &ini = *CatalogueIni;
        const int n = catalogue::ReadTrackCount(ini, pid);
        SetText(ui->CDTPT, ini.ReadString(pid, catalogue::kTpt, std::string()));
        SetText(ui->CDCateg, ini.ReadString(pid, catalogue::kCategory, std::string()));

        ui->CDTracksView->BeginUpdate();
        ui->EXTTList->BeginUpdate();
        ui->CDTracksView->Items.Clear();
        ui->EXTTList->Items.Clear();
        Pages->ClearTrackMemo();
        ExtTrackTexts.fill(std::string());
        for (int i = 0; i < n; ++i) {
            const std::string title = ini.ReadString(pid, catalogue::TrackKey(i), std::string());
            TListItem *row = ui->CDTracksView->Items.Add();
            row->SetCaption(title);
            row->SubItems.Add(ini.ReadString(pid, catalogue::TimeKey(i), std::string()));
            ui->EXTTList->Items.Add()->SetCaption(title);
            ExtTrackTexts[size_t(i)] = ini.ReadString(pid, catalogue::ExttKey(i), std::string());
        }
        ui->EXTTList->EndUpdate();
        ui->CDTracksView->EndUpdate();
        CDTracksViewSelectItem();
        ui->EXTMemo->setEnabled(false);
        SetMemo(ui->EXTDMemo, UnescapeExtendedDiscText(ini.ReadString(pid, catalogue::kExtd, std::string())));

        CoverPath = ini.ReadString(pid, catalogue::kCoverImg, std::string());
        StretchCover = ini.ReadBool(pid, catalogue::kStretchCover, false);
        Pages->ShowStoredCover(CoverPath, StretchCover);
    } else if (Closing) {
        ShowNoDisc();
    }
}

// ---- artist and title ---------------------------------------------------------------------------

void TModifyForm::ArtistEditKeyPress()
{
    MarkChanged();
    ui->CDDBView->SetSortType(stNone);
}

void TModifyForm::ArtistEditChange()
{
    const std::string s = Text(ui->ArtistEdit);
    if (s.empty())
        return;
    if (TListItem *row = RowOfPID(CurrentPID))
        row->SetCaption(s);
}

void TModifyForm::CDTitleEditChange()
{
    const std::string s = Text(ui->CDTitleEdit);
    if (s.empty())
        return;
    if (TListItem *row = RowOfPID(CurrentPID))
        row->SubItems.Put(0, s);
}

// ---- tracks ---------------------------------------------------------------------------------------

void TModifyForm::CDTracksViewSelectItem()
{
    TListItem *row = ui->CDTracksView->Selected();
    if (row) {
        const std::string time = row->CellText(1);
        SetText(ui->MinEdit, Copy(time, 1, 2));
        SetText(ui->SecEdit, Copy(time, 4, 2));
    } else {
        ui->MinEdit->setText("00");
        ui->SecEdit->setText("00");
    }
    ui->MinEdit->setEnabled(row != nullptr);
    ui->SecEdit->setEnabled(row != nullptr);
    ui->OkTimeBtn->setEnabled(row != nullptr);
}

void TModifyForm::CDTracksViewEdited(TListItem *, std::string &)
{
    MarkChanged();
}

void TModifyForm::CDTracksViewKeyUp(int key) { TEntryPages::TitleListKeyUp(ui->CDTracksView, key); }

void TModifyForm::MinEditKeyPress(int key)
{
    MarkChanged();
    if (key == 13)
        OkTimeBtnClick();
}

void TModifyForm::OkTimeBtnClick()
{
    TListItem *row = ui->CDTracksView->Selected();
    if (!row)
        return;
    SetText(ui->CDTPT, RecomputeTotalTime(row->Index()));
    row->SubItems.Put(0, twoDigits(ui->MinEdit) + ":" + twoDigits(ui->SecEdit));
}

std::string TModifyForm::RecomputeTotalTime(int row)
{
    const int edited = StrToIntDef(twoDigits(ui->MinEdit), 1) * 60 + StrToIntDef(twoDigits(ui->SecEdit), 0);
    TListItem *item = ui->CDTracksView->Items[row];
    const int old = TMainForm::TimeToSeconds(item ? item->CellText(1) : std::string());
    const int total = TMainForm::TimeToSeconds(Text(ui->CDTPT));
    const int t = total + edited - old;
    const int m = t / 60;
    const int s = t - m * 60;
    return tape::LeadingZero(m) + ":" + tape::LeadingZero(s);
}

// ---- extended texts ---------------------------------------------------------------------------------

void TModifyForm::StoreTrackMemo() { Pages->StoreTrackMemo(); }

void TModifyForm::EXTTListSelectItem() { Pages->TrackListSelectItem(); }

void TModifyForm::EXTMemoExit() { StoreTrackMemo(); }

void TModifyForm::EXTTListExit() { StoreTrackMemo(); }

void TModifyForm::ExtentedTrksSheetExit() { Pages->TrackTextsSheetExit(); }

void TModifyForm::EXTDMemoKeyPress(int key)
{
    if (key != 27)
        MarkChanged();
}

std::string TModifyForm::EscapeExtendedDiscText() { return catalogue::EncodeExtendedText(MemoText(ui->EXTDMemo)); }

std::string TModifyForm::EscapeExtendedTrackText(int i) { return Pages->StoredTrackText(i); }

std::string TModifyForm::UnescapeExtendedDiscText(const std::string &value) { return catalogue::DecodeExtendedText(value); }

std::string TModifyForm::UnescapeExtendedTrackText(const std::string &value)
{
    return catalogue::DecodeExtendedText(value);
}

void TModifyForm::VisitAllPages() { Pages->VisitAllPages(); }

// ---- cover ----------------------------------------------------------------------------------------------

void TModifyForm::ChangeBtnClick()
{
    const std::optional<std::string> chosen = Pages->ChooseCover(this, MainForm ? MainForm->AppDir : ".");
    if (!chosen)
        return;
    CoverPath = *chosen;
    StretchCover = false;
    MarkChanged();
}

void TModifyForm::ClearBtnClick()
{
    Pages->NoPicture();
    StretchCover = false;
    CoverPath.clear();
    MarkChanged();
}

void TModifyForm::StretchBtnClick()
{
    StretchCover = Pages->ToggleStretch();
    MarkChanged();
}

// ---- save and wipe-out --------------------------------------------------------------------------------

void TModifyForm::SaveDBBtnClick()
{
    if (CurrentPID.empty() || !CatalogueIni)
        return;
    if (MainForm->CompilationExists() && MainForm->ConfirmLoseCompilation(this) != Dialogs::Button::Yes)
        return;
    CatalogueChanged = true;
    ui->SaveDBBtn->setEnabled(false);
    MainForm->CompilationLoaded = false;
    try {
        VisitAllPages();
        StoreTrackMemo();
        TMemIniFile &ini = *CatalogueIni;
        const std::string &pid = CurrentPID;
        unwritten_ = true;
        ini.WriteString(pid, catalogue::kArtist, Text(ui->ArtistEdit));
        ini.WriteString(pid, catalogue::kTitle, Text(ui->CDTitleEdit));
        ini.WriteString(pid, catalogue::kTpt, Text(ui->CDTPT));
        ini.WriteString(pid, catalogue::kCoverImg, CoverPath);
        ini.WriteBool(pid, catalogue::kStretchCover, StretchCover);
        ini.WriteString(pid, catalogue::kExtd, EscapeExtendedDiscText());
        const int n = catalogue::ReadTrackCount(ini, pid);
        for (int i = 0; i < n && i < ui->CDTracksView->Items.Count(); ++i) {
            TListItem *row = ui->CDTracksView->Items[i];
            ini.WriteString(pid, catalogue::TrackKey(i), row->Caption());
            ini.WriteString(pid, catalogue::TimeKey(i), row->CellText(1));
            ini.WriteString(pid, catalogue::ExttKey(i), EscapeExtendedTrackText(i));
        }
        ini.UpdateFile();
        unwritten_ = false;
        MainForm->DiscardCompilation();
    } catch (const std::exception &) {
        MainForm->ErrorBox(catalogue::kErrorSaving);
        ui->SaveDBBtn->setEnabled(true);  // the user can try again
    }
}

void TModifyForm::WipeCDBtnClick()
{
    if (CurrentPID.empty() || !CatalogueIni)
        return;
    if (MainForm->CompilationExists() && MainForm->ConfirmLoseCompilation(this) != Dialogs::Button::Yes)
        return;
    if (Dialogs::MessageBox(this, kWipeQuestion, "Warning", Dialogs::Button::Yes | Dialogs::Button::No,
                            Dialogs::Icon::Warning, Dialogs::Button::No) != Dialogs::Button::Yes)
        return;
    CatalogueChanged = true;
    unwritten_ = true;
    CatalogueIni->EraseSection(CurrentPID);
    CatalogueIni->UpdateFile();
    unwritten_ = false;

    CDSections = std::make_unique<TStringList>();
    CatalogueIni->ReadSections(*CDSections);
    DiscCount = CDSections->Count();
    SetText(ui->TotalCDsStatic, IntToStr(DiscCount));
    FillList();
    if (ui->CDDBView->Items.Count() > 0) {
        ui->CDDBView->SelectItem(0);
    } else {
        ShowNoDisc();
        ui->ExportDBBtn->setEnabled(false);
        Pages->NoPicture();
        ui->TracksPage->setCurrentIndex(0);
    }
    MainForm->DiscardCompilation();
}

// ---- exports ------------------------------------------------------------------------------------------------

void TModifyForm::ExportDBBtnClick() { ExportPopUpMenu->popup(QCursor::pos()); }

void TModifyForm::ListExportClick(ListExport kind, const char *filter, const char *extension, const char *message)
{
    Dialogs::FileRequest request;
    request.owner = this;
    request.title = kExportTitle;
    request.filter = filter;
    request.initialDir = PrepareFolder("Exports");
    request.options = Dialogs::ofOverwritePrompt;
    ExportFilter = filter;
    const std::optional<std::string> chosen = Dialogs::SaveFile(request);
    if (!chosen)
        return;
    repaint();
    const std::string name = ExportFileName(*chosen, extension);
    struct PanelShown {
        TModifyForm *form;
        ~PanelShown() { form->ShowExportPanel(false); }
    } shown{this};
    ShowExportPanel(true);
    if (!message) {
        RunListExport(*ui->CDDBView, kind, name);
        return;
    }
    try {
        RunListExport(*ui->CDDBView, kind, name);
    } catch (const std::exception &e) {
        MainForm->ErrorBox(ExportFailureText(e, message));
    }
}

std::string TModifyForm::ExportFailureText(const std::exception &e, const std::string &missingProgram)
{
    if (TEnhListView::ServerMissing(e))
        return missingProgram;
    if (dynamic_cast<const std::bad_alloc *>(&e))
        return "Not enough memory to complete the export.";
    return e.what();
}

void TModifyForm::ExportHTMLMenuItemClick()
{
    ListExportClick(ListExport::HTML, "HTML Files (*.html)|*.html", ".html",
                    "OLE error. The Application may not be installed.");
}

void TModifyForm::ExportDOCMenuItemClick()
{
    ListExportClick(ListExport::DOC, "DOC Files (*.docx)|*.docx", ".docx",
                    "OLE server not found. Please install Word first.");
}

void TModifyForm::ExportXLSMenuItemClick()
{
    ListExportClick(ListExport::XLS, "XLS Files (*.xlsx)|*.xlsx", ".xlsx",
                    "OLE server not found. Please install Excel first.");
}

void TModifyForm::ExportCSVMenuItemClick() { ListExportClick(ListExport::CSV, "CSV Files (*.csv)|*.csv", ".csv", nullptr); }

void TModifyForm::ExportCDPlyMenuItemClick()
{
    const std::string folder = cdplayer::WindowsFolder();
    if (folder.empty())
        return;
    Dialogs::FileRequest request;
    request.owner = this;
    request.title = kExportTitle;
    request.filter = ExportFilter;
    request.initialDir = folder;
    request.fileName = cdplayer::kFileName;
    request.options = Dialogs::ofOverwritePrompt;
    const std::optional<std::string> chosen = Dialogs::SaveFile(request);
    if (!chosen)
        return;
    repaint();
    struct PanelShown {
        TModifyForm *form;
        ~PanelShown() { form->ShowExportPanel(false); }
    } shown{this};
    ShowExportPanel(true);
    cdplayer::ExportFile(MainForm->CatalogueFile, *chosen);
}
