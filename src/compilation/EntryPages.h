#pragma once
// The pages a disc entry shows beside its track list, shared by the
// catalogue editing window and the grabbing window: the extended texts of
// the tracks (a list of the tracks and a memo for the chosen one), the
// extended text of the disc, and the cover picture with its Change, Clear
// and Stretch buttons. The windows keep their handlers; this keeps the
// rules.
#include <QImage>

#include <array>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QObject;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class TEnhListView;

// Widget texts as the program's byte strings. Multi-line editors hold their
// lines with LF; the program's texts use CR LF.
namespace entrytext {
std::string Text(const QLineEdit *e);
std::string Text(const QLabel *l);
void SetText(QLineEdit *e, const std::string &s);
void SetText(QLabel *l, const std::string &s);
std::string MemoText(const QPlainTextEdit *m);
// Sets the text and marks the memo unchanged.
void SetMemo(QPlainTextEdit *m, const std::string &s);
} // namespace entrytext

// The folder name under the program folder, made when it is missing; the
// program folder (with a trailing "/") when it cannot be made.
std::string PrepareAppFolder(const std::string &appDir, const char *name);

class TEntryPages {
public:
    struct Widgets {
        QTabWidget *pages = nullptr;        // TracksPage
        QWidget *trackTextsSheet = nullptr; // "Extented Tracks Infos"
        TEnhListView *trackList = nullptr;  // EXTTList
        QPlainTextEdit *trackMemo = nullptr;  // EXTMemo
        QLabel *imgPanel = nullptr;         // "Image Not Available" when there is no picture
        QLabel *coverImg = nullptr;
        QPushButton *clearBtn = nullptr;
        QPushButton *stretchBtn = nullptr;
    };
    using TrackTexts = std::array<std::string, 100>;

    // texts: the window's extended track texts, each in its stored form.
    TEntryPages(const Widgets &widgets, TrackTexts &texts);

    // The pages of a window layout that names its controls as both entry
    // windows do, connected (see Connect).
    template <class Layout>
    static std::unique_ptr<TEntryPages> Make(Layout &ui, TrackTexts &texts, QObject *context)
    {
        Widgets w;
        w.pages = ui.TracksPage;
        w.trackTextsSheet = ui.ExtentedTrksSheet;
        w.trackList = ui.EXTTList;
        w.trackMemo = ui.EXTMemo;
        w.imgPanel = ui.ImgPanel;
        w.coverImg = ui.CDCoverImg;
        w.clearBtn = ui.ClearBtn;
        w.stretchBtn = ui.StretchBtn;
        auto pages = std::make_unique<TEntryPages>(w, texts);
        pages->Connect(context);
        return pages;
    }

    // The list of track titles: "TRACK TITLE" and "TIME" columns, titles
    // edited in place (a click on the selected title, or F2).
    static void SetUpTitleList(TEnhListView *list);
    // A key released in the title list: F2 edits the selected row's title.
    static void TitleListKeyUp(TEnhListView *list, int key);

    // Sets up the track text list and connects the list's selection and
    // exit and the page changes to the handlers below (under the handler
    // guard); context owns the connections.
    void Connect(QObject *context);

    // ---- extended track texts ----------------------------------------------------------------
    // The memo shows the selected row's text (enabled), or nothing (disabled).
    void TrackListSelectItem();
    // Keeps what was typed in the memo with the track it was typed for.
    void StoreTrackMemo();
    // Leaving the page: no row stays focused or selected, the memo is
    // disabled and empty.
    void TrackTextsSheetExit();
    // The memo forgets its track and is emptied.
    void ClearTrackMemo();
    // The stored form of track i's text.
    std::string StoredTrackText(int i) const;
    // Makes every page the active one in turn, then the first again.
    void VisitAllPages();

    // ---- the cover -----------------------------------------------------------------------------
    void NoPicture();
    void ShowPicture(const QImage &image, bool stretch);
    // The stored cover; a picture that cannot be loaded leaves no picture
    // but Clear enabled, so the path can still be removed.
    void ShowStoredCover(const std::string &path, bool stretch);
    // The cover dialog in the folder "CDCovers"; the chosen picture is
    // loaded first (a file that cannot be loaded raises and changes nothing)
    // and shown unstretched. Nothing when cancelled.
    std::optional<std::string> ChooseCover(QWidget *owner, const std::string &appDir);
    // Switches stretching; gives the new state.
    bool ToggleStretch();

private:
    Widgets w_;
    TrackTexts &texts_;
    int memoTrack_ = -1;   // the track whose text the memo shows
    int currentPage_ = 0;  // the page shown last
    QImage cover_;
};
