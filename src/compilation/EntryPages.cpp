#include "compilation/EntryPages.h"

#include "compilation/Catalogue.h"
#include "compilation/ManageDB.h"
#include "controls/EnhListV.h"
#include "platform/Cp1252.h"
#include "platform/Dialogs.h"
#include "platform/HandlerGuard.h"
#include "platform/Rtl.h"

#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

using namespace Rtl;

namespace entrytext {

std::string Text(const QLineEdit *e) { return ToAnsi(e->text()); }
std::string Text(const QLabel *l) { return ToAnsi(l->text()); }
void SetText(QLineEdit *e, const std::string &s) { e->setText(FromAnsi(s)); }
void SetText(QLabel *l, const std::string &s) { l->setText(FromAnsi(s)); }
std::string MemoText(const QPlainTextEdit *m) { return StringReplace(ToAnsi(m->toPlainText()), "\n", "\r\n"); }

void SetMemo(QPlainTextEdit *m, const std::string &s)
{
    m->setPlainText(FromAnsi(StringReplace(s, "\r\n", "\n")));
    m->document()->setModified(false);
}

} // namespace entrytext

using namespace entrytext;

namespace {
const char *const kNoPicture = "Image Not Available";
const char *const kCoverTitle = "Open CD Cover Image";
const char *const kCoverFilter =
    "All (*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf)|*.jpg;*.jpeg;*.bmp;*.ico;*.emf;*.wmf|JPEG Image File (*.jpg)|*.jpg|"
    "JPEG Image File (*.jpeg)|*.jpeg|Bitmaps (*.bmp)|*.bmp|Icons (*.ico)|*.ico|Enhanced Metafiles (*.emf)|*.emf|"
    "Metafiles (*.wmf)|*.wmf";
} // namespace

std::string PrepareAppFolder(const std::string &appDir, const char *name)
{
    const std::string folder = appDir + "/" + name;
    if (!DirectoryExists(folder))
        CreateDir(folder);
    return DirectoryExists(folder) ? folder : appDir + "/";
}

TEntryPages::TEntryPages(const Widgets &widgets, TrackTexts &texts) : w_(widgets), texts_(texts) {}

void TEntryPages::SetUpTitleList(TEnhListView *t)
{
    t->Columns.Add("TRACK TITLE", 330);
    t->Columns.Add("TIME", 70, taCenter);
    t->SetGridLines(true);
    t->SetRowSelect(true);
    t->SetReadOnly(false);
    t->SetColumnClick(false);
    t->SetSortType(stNone);
    // A click on the selected title edits it; F2 is handled on its release.
    t->setEditTriggers(QAbstractItemView::SelectedClicked);
}

void TEntryPages::TitleListKeyUp(TEnhListView *list, int key)
{
    if (key != Qt::Key_F2)
        return;
    TListItem *row = list->Selected();
    if (!row)
        return;
    list->edit(list->Model()->index(row->Index(), 0));
}

void TEntryPages::Connect(QObject *context)
{
    using HandlerGuard::RunGuarded;
    TEnhListView *e = w_.trackList;
    e->Columns.Add("CD TRACKS", e->width() - 4);
    e->SetReadOnly(true);
    e->SetRowSelect(true);
    e->SetColumnClick(false);
    e->SetSortType(stNone);
    e->HideSelection = false;
    e->OnSelectItem = [this](TEnhListView *, TListItem *item, bool selected) {
        RunGuarded([&] {
            // Leaving a track keeps what was typed for it before the next
            // track's text is shown.
            if (!selected && item && item->Index() == memoTrack_)
                StoreTrackMemo();
            TrackListSelectItem();
        });
    };
    e->OnExit = [this](TEnhListView *) { RunGuarded([&] { StoreTrackMemo(); }); };
    QObject::connect(w_.pages, &QTabWidget::currentChanged, context, HandlerGuard::Guarded([this] {
                         const int now = w_.pages->currentIndex();
                         if (currentPage_ == w_.pages->indexOf(w_.trackTextsSheet) && now != currentPage_)
                             TrackTextsSheetExit();
                         currentPage_ = now;
                     }));
}

void TEntryPages::StoreTrackMemo()
{
    if (memoTrack_ < 0 || memoTrack_ >= int(texts_.size()))
        return;
    if (!w_.trackMemo->document()->isModified())
        return;
    texts_[size_t(memoTrack_)] = catalogue::EncodeExtendedText(MemoText(w_.trackMemo));
    w_.trackMemo->document()->setModified(false);
}

void TEntryPages::TrackListSelectItem()
{
    TListItem *row = w_.trackList->Selected();
    if (row && row->Index() < int(texts_.size())) {
        const int i = row->Index();
        SetMemo(w_.trackMemo, catalogue::DecodeExtendedText(texts_[size_t(i)]));
        w_.trackMemo->setEnabled(true);
        memoTrack_ = i;
    } else {
        ClearTrackMemo();
        w_.trackMemo->setEnabled(false);
    }
}

void TEntryPages::ClearTrackMemo()
{
    memoTrack_ = -1;
    SetMemo(w_.trackMemo, std::string());
}

void TEntryPages::TrackTextsSheetExit()
{
    StoreTrackMemo();
    TEnhListView *list = w_.trackList;
    if (TListItem *f = list->ItemFocused()) {
        f->SetSelected(false);
        list->Items.SetItemFocused(nullptr);
    }
    if (TListItem *s = list->Selected())
        s->SetSelected(false);
    ClearTrackMemo();
    w_.trackMemo->setEnabled(false);
}

std::string TEntryPages::StoredTrackText(int i) const
{
    if (i < 0 || i >= int(texts_.size()))
        return {};
    return catalogue::EncodeExtendedText(catalogue::DecodeExtendedText(texts_[size_t(i)]));
}

void TEntryPages::VisitAllPages()
{
    QTabWidget *pages = w_.pages;
    pages->setEnabled(false);
    for (int p = 0; p < pages->count(); ++p)
        pages->setCurrentIndex(p);
    pages->setCurrentIndex(0);
    pages->setEnabled(true);
}

void TEntryPages::NoPicture()
{
    cover_ = QImage();
    w_.imgPanel->setText(kNoPicture);
    w_.coverImg->clear();
    w_.coverImg->setScaledContents(false);
    w_.clearBtn->setEnabled(false);
    w_.stretchBtn->setEnabled(false);
}

void TEntryPages::ShowPicture(const QImage &image, bool stretch)
{
    cover_ = image;
    w_.imgPanel->setText(QString());
    w_.coverImg->setScaledContents(stretch);
    w_.coverImg->setPixmap(QPixmap::fromImage(image));
    w_.clearBtn->setEnabled(true);
    w_.stretchBtn->setEnabled(true);
}

void TEntryPages::ShowStoredCover(const std::string &path, bool stretch)
{
    NoPicture();
    if (path.empty())
        return;
    try {
        ShowPicture(LoadPictureFile(path), stretch);
    } catch (const std::exception &) {
        // The picture may be on a disk that is not there now: the stored
        // path stays, only the picture is missing.
        NoPicture();
        w_.clearBtn->setEnabled(true);
    }
}

std::optional<std::string> TEntryPages::ChooseCover(QWidget *owner, const std::string &appDir)
{
    Dialogs::FileRequest request;
    request.owner = owner;
    request.title = kCoverTitle;
    request.filter = kCoverFilter;
    request.initialDir = PrepareAppFolder(appDir, "CDCovers");
    request.options = Dialogs::ofHideReadOnly;
    std::optional<std::string> chosen = Dialogs::OpenFile(request);
    if (!chosen)
        return chosen;
    // Loaded first: a picture that cannot be shown changes nothing.
    const QImage image = LoadPictureFile(*chosen);
    ShowPicture(image, false);
    return chosen;
}

bool TEntryPages::ToggleStretch()
{
    const bool stretch = !w_.coverImg->hasScaledContents();
    w_.coverImg->setScaledContents(stretch);
    return stretch;
}
