#pragma once
// The catalogue editing window: lists every disc of the catalogue, edits
// the chosen one (artist, title, track titles and times, extended texts,
// cover picture), saves or wipes it out, and exports the list.
//
// The window keeps one in-memory copy of the catalogue from showing to
// closing; every save and wipe-out writes it to the file at once. Rows of
// the list are tied to their discs by the hidden PID column, so neither an
// edit nor a re-sort can make a row act on another disc.
#include "platform/Dialogs.h"

#include <QDialog>
#include <QImage>

#include <array>
#include <exception>
#include <memory>
#include <string>

class QMenu;
class TEnhListView;
class TEntryPages;
class TListItem;
class TMemIniFile;
class TStringList;

namespace Ui {
class TModifyForm;
}

// Picture files of the covers: ".jpg"/".jpeg" are decoded with libjpeg,
// everything else through Qt's image readers. A file that cannot be loaded
// raises Exception with a message naming it.
QImage LoadPictureFile(const std::string &path);
// The JPEG decoder itself (8-bit RGB, greyscale and CMYK files).
QImage DecodeJpegFile(const std::string &path);

class TModifyForm : public QDialog {
    Q_OBJECT
public:
    explicit TModifyForm(QWidget *parent = nullptr);
    ~TModifyForm() override;

    Ui::TModifyForm *ui;
    QMenu *ExportPopUpMenu = nullptr;

    // ---- fields ------------------------------------------------------------------------
    std::unique_ptr<TMemIniFile> CatalogueIni;   // from show to close
    std::unique_ptr<TStringList> CDSections;     // PIDs in displayed order
    int DiscCount = 0;
    int SelectedRow = 0;
    std::string CurrentPID;
    bool CatalogueChanged = false;
    bool Closing = false;
    std::string CoverPath;
    bool StretchCover = false;
    // The extended texts of the shown disc's tracks, each in its stored
    // (encoded) form.
    std::array<std::string, 100> ExtTrackTexts;
    // The track texts, disc text and cover pages.
    std::unique_ptr<TEntryPages> Pages;

    // The filter the export dialog currently has; each list export sets it.
    std::string ExportFilter = "CSV Files (*.csv)|*.csv";

    // ---- handlers ------------------------------------------------------------------------
    void FormCreate();
    void FormShow();
    void FormClose();
    void CDDBViewSelectItem(TListItem *item, bool selected);
    void ArtistEditChange();
    void CDTitleEditChange();
    void ArtistEditKeyPress();
    void SaveDBBtnClick();
    void WipeCDBtnClick();
    void CDTracksViewSelectItem();
    void CDTracksViewEdited(TListItem *item, std::string &text);
    void CDTracksViewKeyUp(int key);
    void MinEditKeyPress(int key);
    void OkTimeBtnClick();
    void EXTTListSelectItem();
    void EXTMemoExit();
    void EXTTListExit();
    void ExtentedTrksSheetExit();
    void EXTDMemoKeyPress(int key);
    void ChangeBtnClick();
    void ClearBtnClick();
    void StretchBtnClick();
    void ExportDBBtnClick();
    void ExportHTMLMenuItemClick();
    void ExportDOCMenuItemClick();
    void ExportXLSMenuItemClick();
    void ExportCSVMenuItemClick();
    void ExportCDPlyMenuItemClick();

    // ---- operations ------------------------------------------------------------------------
    std::string RecomputeTotalTime(int row);
    void VisitAllPages();
    void ShowExportPanel(bool show);
    std::string EscapeExtendedDiscText();
    std::string EscapeExtendedTrackText(int i);
    std::string UnescapeExtendedDiscText(const std::string &value);
    std::string UnescapeExtendedTrackText(const std::string &value);

    // The export file name: the chosen name, with the extension appended
    // when the name does not hold it anywhere (letter case counts).
    static std::string ExportFileName(const std::string &chosen, const std::string &extension);
    // The list exports, by kind. Each raises the export's own error.
    enum class ListExport { HTML, DOC, XLS, CSV };
    static void RunListExport(TEnhListView &list, ListExport kind, const std::string &fileName);
    // What the window's box says when a list export fails: the export's own
    // "not installed" text (missingProgram) only when the office program it
    // needs could not be started; otherwise what failed, as the export said
    // it (the file that could not be written and the system's reason, or the
    // file format's limit with the numbers).
    static std::string ExportFailureText(const std::exception &e, const std::string &missingProgram);

    // The row of the list that shows the disc, or nullptr.
    TListItem *RowOfPID(const std::string &pid) const;
    // The PID a row stands for (its hidden column).
    static std::string PIDOfRow(const TListItem *row);

protected:
    void showEvent(QShowEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

public:
    void done(int result) override;

private:
    void ConnectHandlers();
    void FillList();
    void ShowNoDisc();
    void MarkChanged();
    // Keeps what was typed in EXTMemo with the track it was typed for.
    void StoreTrackMemo();
    void ListExportClick(ListExport kind, const char *filter, const char *extension, const char *message);
    std::string PrepareFolder(const char *name);
    bool unwritten_ = false;  // CatalogueIni holds changes the file does not
};

extern TModifyForm *ModifyForm;
