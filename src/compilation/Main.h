#pragma once
// The main window: the program's paths and version texts, the three CD
// panes with their selectors, the two tape sides with drag and drop and
// their remaining times, compilations, and the commands that open the
// other windows.
#include "compilation/Catalogue.h"
#include "compilation/TapeModel.h"
#include "platform/Classes.h"
#include "platform/Dialogs.h"
#include "support/VellVersionInfo.h"

#include <QMainWindow>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <string>

class QComboBox;
class QDialog;
class QLabel;
class QMimeData;
class TEnhListView;
class TGradientCaption;
class TListItem;

namespace Ui {
class TMainForm;
}

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // programFile: the file whose version resource gives the version texts;
    // empty for the running program.
    explicit TMainForm(QWidget *parent = nullptr, const std::string &programFile = std::string());
    ~TMainForm() override;

    Ui::TMainForm *ui;
    TGradientCaption *GradCaption = nullptr;
    TVellVersionInfo VersionInfo;

    // ---- what the other windows read ---------------------------------------------
    std::string AppDir;         // the program folder, no trailing separator
    std::string CatalogueFile;  // AppDir + "/MIXDECK.ini"
    std::string CDDBIniFile;    // AppDir + "/CDDB.ini"
    std::string QueueIniFile;   // AppDir + "/Queue.ini"
    std::string HelpFile;       // AppDir + "/Help/html/index.html"
    std::array<int, 4> FileVersion{1, 0, 0, 0};
    std::string VersionText;    // "2.1.0.14(RC1)"
    std::string CaptionVersion; // "2.1.0.14 (RC1)"
    std::string ClientName;     // "MIXDECK 2.1.0.14(RC1)"
    bool CompilationLoaded = false;
    std::unique_ptr<TStringList> CDSections;  // the catalogue's PIDs, in file order
    // The window's copy of the catalogue file (see TCatalogueCache).
    std::unique_ptr<catalogue::TCatalogueCache> Catalogue;

    // The windows the menu opens; set by the start-up.
    QDialog *GrabCDForm = nullptr;
    QDialog *ModifyForm = nullptr;
    QDialog *AboutForm = nullptr;
    QDialog *CDDBOptForm = nullptr;
    QDialog *QueueForm = nullptr;
    QDialog *UpdateForm = nullptr;
    // Fills the about box's version labels from FileVersion (set with AboutForm).
    std::function<void(const std::array<int, 4> &)> FillAboutVersion;
    // The print menu's commands: fill a tape report and preview it (set by
    // the start-up; the reports are built above this window).
    std::function<void()> PrintTapeCover;
    std::function<void()> PrintTapeProgram;

    // ---- shared operations -----------------------------------------------------------
    // The error box "Error". Inside the handler of a write that was refused
    // because the program folder was moved or replaced (EProgramFolderLost),
    // it shows that refusal's message instead of text.
    void ErrorBox(const std::string &text);
    Dialogs::Button ConfirmLoseCompilation(QWidget *owner);
    // A compilation exists when Save is enabled or one was loaded from a file.
    bool CompilationExists() const;
    void DiscardCompilation();
    // Centres the window over the main window and shows it modally.
    void ShowCentred(QDialog *window);
    // Moves the window so that it is centred over the main window.
    void CentreOver(QWidget *window) const;

    // ---- CD selectors and panes -----------------------------------------------------
    void LoadCatalogue();
    // The catalogue, or nullptr after the error box "Error opening MIXDECK.ini".
    std::unique_ptr<class TMemIniFile> OpenCatalogue();
    void ClearCDPanes();
    void LoadCDPane(int pane, int index);
    void CD1SelectChange() { CDSelectChange(1); }
    void CD2SelectChange() { CDSelectChange(2); }
    void CD3SelectChange() { CDSelectChange(3); }

    // ---- tape ----------------------------------------------------------------------
    static int TimeToSeconds(const std::string &text) { return tape::TimeToSeconds(text); }
    static std::string SecondsToTime(int seconds) { return tape::SecondsToTime(seconds); }
    std::string RemainingA = "00:00";
    std::string RemainingB = "00:00";
    int PrevTapeLenIndex = 0;
    int DragRow = 0;
    std::string DragCaption;
    std::string DragTime;
    bool DragFromA = false;
    bool DragFromB = false;
    bool SideASelected = false;
    bool SideBSelected = false;
    tape::UsedTracks UsedTracks;

    void TapeLenChange();
    void RemoveCDFromTape(const std::string &name);
    void ClearUsedTracks(int pane);
    void MarkTrackUsed(const std::string &caption, int row);
    bool TrackOnTape(const std::string &reference) const;
    void RemoveDraggedTrack();
    void UncheckAllTracks();
    void UpBtnClick() { MoveRow(-1); }
    void DownBtnClick() { MoveRow(+1); }
    void RemoveBtnClick();
    void NewCompilationClick();

    // Drag and drop. A drag carries the private type below, so nothing from
    // outside the program is ever accepted.
    static const char *const TrackMimeType;
    // How a drag is run once it has started; tests replace it to deliver the
    // drag's data to a target themselves.
    std::function<void(QWidget *source, QMimeData *data)> ExecDrag;
    void CDViewStartDrag(int pane);
    void SideStartDrag(char side);
    bool SideDragOver(char side, QObject *source);
    void SideDragDrop(char side);
    void SideSelectItem(char side, TListItem *item, bool selected);
    void SideExit(char side);
    void CDViewCheckboxClick(int pane, int row);
    void CDViewMouseDown(int pane, int x, int y);

    // ---- compilations ----------------------------------------------------------------
    void NewCompilationMenuItemClick();
    void SaveCompilationMenuItemClick();
    void LoadCompilationMenuItemClick();
    // Writes the compilation's sections into the file's text, key by key as
    // the profile functions write them (the save's one pass).
    void WriteCompilation(class TProfileText &ini) const;
    // The folder "Compilations" (created when missing), or the program
    // folder when it cannot be made.
    std::string CompilationFolder();

    // ---- menu commands ----------------------------------------------------------------
    void ExitMenuClick();
    // "Chec&k For Updates": the update window, without a caption, centred
    // over this window and shown without waiting; this window is disabled
    // until the update window gives it back.
    void CheckUpdatesMenuItemClick();
    void ContentsMenuItemClick();
    // Imports the Windows CD Player file into the catalogue.
    void ImportINIMenuItemClick();
    void PrintTapeCoverMenuItemClick();
    void PrintTapeProgramMenuItemClick();

    // Controls by pane number (1..3).
    QComboBox *CDSelect(int pane) const;
    TEnhListView *CDView(int pane) const;
    QLabel *CDTPT(int pane) const;
    QLabel *CDPID(int pane) const;
    TEnhListView *SideList(char side) const;

protected:
    void showEvent(QShowEvent *e) override;
    void closeEvent(QCloseEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;

private:
    void CDSelectChange(int pane);
    void MoveRow(int delta);
    template <class F>
    void ForEachSelectedSide(F f);
    void WriteSideCaption(char side);
    std::string &Remaining(char side) { return side == 'A' ? RemainingA : RemainingB; }
    void SetSaveEnabled(bool on);
    void SetPrintEnabled(bool on);
    bool SaveEnabled() const;
    void EnableTapeView();
    void LoadSide(const class TProfileText &ini, char side, int count, const std::array<bool, 3> &missing);
    void StartDragFrom(QWidget *source);
    void ConnectHandlers();
    void SetSelectorItems(const QStringList &items);
    // Brings Catalogue up to date; false after the error box.
    bool RefreshCatalogue();
    std::unique_ptr<QStringList> catalogueItems_;  // the selector items of Catalogue
    bool quitting_ = false;
    class QStringListModel *selectorItems_ = nullptr;
    bool shownOnce_ = false;
    QPoint pressPos_;
    QWidget *pressList_ = nullptr;
    QByteArray dragToken_;
};

extern TMainForm *MainForm;
