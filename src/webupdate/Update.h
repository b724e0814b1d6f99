#pragma once
// The update window: a small tool window over the main window that starts a
// threaded run of the main window's web update component and shows what the
// component reports: the status, the address being downloaded, the new
// version or the verdict in colour, a progress bar, the downloaded amount
// and the remaining time with the average speed.
//
// The main window's handlers of the component's events live here, with the
// window they fill: the main window's library sits beside the web update's
// and cannot see the component. The window owns the component.
#include "webupdate/WUpdate.h"

#include <QDialog>
#include <QImage>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QTimer;
class TAnimatedImage;
namespace Ui {
class TUpdateForm;
}

// The address of the control file is set by whoever installs the program:
// the key "URL" in the section "Update" of the web update's settings file
// (the component's RegistryFile, "WebUpdate.ini" in the program folder), or
// else the address built in with the CMake option MIXDECK_UPDATE_URL. Empty
// when neither is set.
std::string ConfiguredUpdateAddress(const std::string &settingsFile);
// The address built in at build time; empty by default.
std::string BuiltInUpdateAddress();
// The update window's message when no address is configured.
extern const char *const NoUpdateAddressText;   // "No update address is configured"
// The verdict after an error or a failed step.
extern const char *const UpdateFailedText;   // "Update Failed."
// The verdict when the run put its files in place and a later step failed
// (the finish, the closing, the done handler): followed by the failure.
extern const char *const UpdateInstalledButText;   // "Update Installed. Then failed: "
// The first line of the message that shows, at the start after an update,
// what the updater could not do: the files it could not put in place and a
// program it could not start again (one line each below it).
extern const char *const UpdaterFailedText;

// Sets the values the main window's component has: HTTP, a prompt before
// connecting, one prompt for all files, the signature checked.
void SetupMainWebUpdate(TWebUpdate &webUpdate);

// ---- the texts of the window ------------------------------------------------------------
// The control file's progress: "512bytes of 2048bytes".
std::string ControlFileProgressText(int64_t pos, int64_t size);
// A listed file's progress: "00.50MB / 01.25MB (40%)"; without a size the
// percentage is left out.
std::string FileProgressText(int64_t pos, int64_t size);
// The remaining time after elapsedSeconds ticks (at least 1) with the bar at
// posBytes of maxBytes: "01:02:05 (At 12.00 KB/sec)". Below 1 KB/sec or
// without a size the time shows "??:??:??".
std::string EstimatedTimeText(int64_t maxBytes, int64_t posBytes, int elapsedSeconds);
// The version in a new-version status: from the first digit of the number
// before the first comma to the end, commas turned into points ("New
// version found : 1,4,0,12" gives "1.4.0.12"); false without a comma.
bool StatusVersionText(const std::string &statusStr, std::string &version);
// The window's animation: eight 32 by 32 frames side by side in 16 colours.
QImage UpdateAnimationStrip();

class TUpdateForm : public QDialog {
    Q_OBJECT
public:
    // mainWindow: the window disabled while this one is open.
    TUpdateForm(QWidget *mainWindow, std::unique_ptr<TWebUpdate> webUpdate, QWidget *parent = nullptr);
    ~TUpdateForm() override;

    Ui::TUpdateForm *ui;
    QTimer *UpdTimer;
    int32_t ElapsedSeconds = 0;
    QWidget *MainWindow;
    TWebUpdate *WebUpdate;
    // The main window's Exit (ends the program after the updater started).
    std::function<void()> ExitProgram;
    // The restart is under way (the program was told to end for the
    // updater) in the run started last.
    bool Restarting = false;

    TAnimatedImage *AnimImage() const;

    // ---- the window's handlers --------------------------------------------------------
    void StartUpdateBtnClick();
    void CloseUpdateBtnClick();
    void UpdTimerTimer();

    // ---- the main window's handlers -----------------------------------------------------
    void WebUpdateFileProgress(TWebUpdate *sender, const std::string &fileName, int64_t pos, int64_t size);
    void WebUpdateStatus(TWebUpdate *sender, const std::string &statusStr, int32_t statusCode, int32_t errCode);
    void WebUpdateThreadUpdateDone(TWebUpdate *sender);
    void WebUpdateAppDoClose(TWebUpdate *sender);
    // Shows, once, what the updater of the last update could not put in
    // place; the window's constructor has it run when the program is up.
    void ShowUpdaterResult();

protected:
    void reject() override;
    void closeEvent(QCloseEvent *e) override;

private:
    // Repaints at once and lets pending messages through.
    void RefreshNow();
    std::unique_ptr<TWebUpdate> webUpdate_;
};
