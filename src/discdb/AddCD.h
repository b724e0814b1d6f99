#pragma once
// The grabbing window: reads the disc in a CD-ROM drive, shows its
// identifiers and times, lets the user type artist, title, category, track
// titles, extended texts and a cover, and writes the entry into the
// catalogue or the disc into the queue file.
//
// Extended texts are held and written in the catalogue's one stored form
// (catalogue::EncodeExtendedText), so this window and the catalogue editing
// window store the same text alike.
#include "discdb/DiscId.h"

#include <QDialog>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QMenu;
class QTimer;
class TEntryPages;
class TListItem;
class TNetAntiFreeze;
class TNetHTTP;
class TNetTCPClient;

namespace cddbx {
struct LookupResult;
struct Match;
struct Settings;
} // namespace cddbx

namespace Ui {
class TGrabCDForm;
}

class TGrabCDForm : public QDialog {
    Q_OBJECT
public:
    explicit TGrabCDForm(QWidget *parent = nullptr);
    ~TGrabCDForm() override;

    Ui::TGrabCDForm *ui;
    TDiscId freedbDiscID;
    QMenu *CDDBPopUpMenu = nullptr;
    QTimer *MsgTimer = nullptr;

    // ---- fields other windows read and write -----------------------------------------
    int TrackCount = 0;
    std::array<std::string, 100> FrameOffsets;   // entries 1..TrackCount
    std::string DiscSeconds;
    std::string DiscIdText;
    int Revision = 0;
    bool Modified = false;
    std::string EntryText;
    std::string CoverPath;
    bool StretchCover = false;
    // Extended text of track i, in its stored (encoded) form.
    std::array<std::string, 100> ExtTrackTexts;
    // The track texts, disc text and cover pages.
    std::unique_ptr<TEntryPages> Pages;

    // ---- seams for the settings and the online database ---------------------------------
    // Reloads the online-database settings when the window is shown (the
    // options window sets it: it refills CategBox). Unset, the window reads
    // the category list of the settings file itself.
    std::function<void()> LoadSettings;
    // "Get From Internet" and "Submit to Internet"; unset, they do nothing.
    // GetFromInternet starts as LookupOnline.
    std::function<void()> GetFromInternet;
    std::function<void()> SubmitToInternet;

    // ---- handlers ----------------------------------------------------------------------
    void FormCreate();
    void FormShow();
    void FormClose();
    void CDToUseChange();
    void GetTracksBtnClick();
    void AddCDBtnClick();
    void AddQueueBtnClick();
    void CDDBBtnClick();
    void Get_MenuItemClick();
    void Submit_MenuItemClick();
    void MsgTimerTimer();
    void ExitBtnClick();
    // editing
    void ArtistEditChange() { EnableAddCD(); }
    void ArtistEditExit();
    void CDTitleEditExit();
    void EXTMemoExit();
    void EXTDMemoExit();
    void TracksListKeyUp(int key);
    void TracksListEdited(TListItem *item, const std::string &title);
    void EXTTListSelectItem();
    void EXTTListExit();
    void ExtentedTrksSheetExit();
    void ChangeBtnClick();
    void ClearBtnClick();
    void StretchBtnClick();

    // ---- operations --------------------------------------------------------------------
    void DetectCDDrives();
    bool GetTracks();
    void SplitFrameOffsets();
    void LoadCDEntry();
    void ResetForm();
    void AddToQueue();
    void VisitAllPages();
    void EnableExchangeControls(bool enabled);
    std::string EscapeExtendedDiscText();
    std::string EscapeExtendedTrackText(int i);
    static std::string UnescapeExtendedDiscText(const std::string &value);
    static std::string UnescapeExtendedTrackText(const std::string &value);
    static std::string LeadingZero(int n);
    // The words of a query text: the last is the disc's length in seconds,
    // those after the first (the track count) the track offsets, of which the
    // first trackCount go to offsets[1..].
    static void SplitQuery(const std::string &query, int trackCount, std::array<std::string, 100> &offsets,
                           std::string &discSeconds);
    // ---- the online lookup ------------------------------------------------------------
    // The program's one anti-freeze (IdleTimeOut 1): while the interface
    // thread waits on the network, every window keeps painting and taking
    // clicks. The window installs the program's event pump too.
    std::unique_ptr<TNetAntiFreeze> NetAntiFreeze;
    // The clients of the lookup: the cddbp line connection and HTTP.
    std::unique_ptr<TNetTCPClient> TelnetCli;
    std::unique_ptr<TNetHTTP> HTTPCli;
    // Looks the disc read up in the online database with the options
    // window's settings (the settings file's when there is no options
    // window), fills the fields from the entry found and reports every other
    // outcome in its message box; the controls end enabled. Refused with a
    // short message while another network exchange runs; closing the window
    // meanwhile aborts it (no message then) and closes the window after.
    void LookupOnline();
    // The settings of a lookup.
    cddbx::Settings LookupSettings() const;
    // The entry rules: the fields of a found entry into the window.
    void ParseXmcdEntry(const cddbx::LookupResult &result);
    // Shows the matches in the chooser; the chosen index or -1.
    int ChooseMatch(const std::vector<cddbx::Match> &matches);

    // The status bar's text.
    std::string StatusText() const;
    void SetStatusText(const std::string &text);

    // The messages of the window.
    static const char *const kNoDisc;         // "No AudioCD or no CD inserted!!"
    static const char *const kNoAspi;         // the fatal start-up message
    static const char *const kQueued;         // "Entry successfully queued..."
    static const char *const kErrorSavingQueue;

protected:
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

public:
    void done(int result) override;

private:
    void ConnectHandlers();
    // The text of the field as it got the focus.
    void FieldEnter(QObject *field);
    // The revision grows once for the first change after loading.
    void EditRule(const std::string &text);
    void CountEdit();
    void EnableAddCD();
    void StoreTrackMemo();
    void SelectCategory(const std::string &category);
    void FillCategories();
    int ShownTrackCount(int fallback) const;
};

extern TGrabCDForm *GrabCDForm;
