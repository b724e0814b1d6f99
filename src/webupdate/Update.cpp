#include "webupdate/Update.h"

#include "controls/Animate.h"
#include "platform/Cp1252.h"
#include "platform/Dialogs.h"
#include "platform/Graphics.h"
#include "platform/HandlerGuard.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"

#include "ui_Update.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include <climits>
#include <cmath>
#include <cstdio>

#ifndef MIXDECK_UPDATE_URL
#define MIXDECK_UPDATE_URL ""
#endif

const char *const NoUpdateAddressText = "No update address is configured";
const char *const UpdateFailedText = "Update Failed.";
const char *const UpdateInstalledButText = "Update Installed. Then failed: ";
const char *const UpdaterFailedText = "The last update could not do everything:";

std::string BuiltInUpdateAddress() { return MIXDECK_UPDATE_URL; }

std::string ConfiguredUpdateAddress(const std::string &settingsFile)
{
    std::string address;
    if (!settingsFile.empty()) {
        TIniFile ini(settingsFile);
        address = Rtl::Trim(ini.ReadString("Update", "URL", ""));
    }
    return address.empty() ? BuiltInUpdateAddress() : address;
}

void SetupMainWebUpdate(TWebUpdate &w)
{
    w.UpdateType = TWebUpdateType::httpUpdate;
    w.UpdateConnect = TWebUpdateConnect::wucConnectPrompt;
    w.UpdateUpdate = TWebUpdateUpdate::wuuPromptOnce;
    w.Signature = "WebUpdate";
    w.SignatureCheck = true;
    w.DateFormat = "dd/mm/yyyy";
    w.DateSeparator = '/';
    w.TimeFormat = "hh:nn";
    w.TimeSeparator = ':';
    w.Port = 21;
}

// ---- texts ------------------------------------------------------------------------------------

namespace {

// "0" before a number below 10.
std::string LeadingZero(int n) { return (n < 10 ? "0" : "") + Rtl::IntToStr(n); }

// The number with two decimals and at least two digits before the point
// (the format "00.00").
std::string TwoByTwo(float v)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%05.2f", double(v));
    return buf;
}

// The file-name part of a path or address.
std::string FileNamePart(const std::string &path)
{
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Label colours and fonts: the window's look.
void Look(QWidget *w, TColor color, int pixels, bool italic = false)
{
    QFont f(QStringLiteral("Arial"));
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixels);
    f.setBold(true);
    f.setItalic(italic);
    w->setFont(f);
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, ColorToQColor(color));
    p.setColor(QPalette::ButtonText, ColorToQColor(color));
    w->setPalette(p);
}

void SetLabelColor(QWidget *w, TColor color)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, ColorToQColor(color));
    w->setPalette(p);
}

int ClampInt(int64_t v) { return int(std::clamp<int64_t>(v, 0, INT_MAX)); }

} // namespace

std::string ControlFileProgressText(int64_t pos, int64_t size)
{
    return Rtl::IntToStr(pos) + "bytes of " + Rtl::IntToStr(size) + "bytes";
}

std::string FileProgressText(int64_t pos, int64_t size)
{
    const float posMB = float(pos) / 1048576.0f;
    const float sizeMB = float(size) / 1048576.0f;
    std::string text = TwoByTwo(posMB) + "MB / " + TwoByTwo(sizeMB) + "MB";
    if (size > 0) {
        const float percent = posMB * 100.0f / sizeMB;
        text += " (" + Rtl::IntToStr(std::lround(double(percent))) + "%)";
    }
    return text;
}

std::string EstimatedTimeText(int64_t maxBytes, int64_t posBytes, int elapsedSeconds)
{
    const int64_t maxKB = maxBytes / 1024;
    const int64_t posKB = posBytes / 1024;
    const int64_t speed = elapsedSeconds > 0 ? posKB / elapsedSeconds : 0;
    char speedText[48];
    std::snprintf(speedText, sizeof speedText, "%.2f", double(speed));
    const std::string tail = std::string(" (At ") + speedText + " KB/sec)";
    if (speed < 1 || maxKB <= 0)
        return "??:??:??" + tail;
    // More received than announced leaves nothing to wait for.
    const float remaining = std::max(0.0f, float(maxKB) / float(speed) - float(elapsedSeconds));
    const int hours = int(std::trunc(remaining / 3600.0f));
    const int wholeMinutes = int(std::trunc(remaining / 60.0f));
    const int minutes = wholeMinutes % 60;
    const int seconds = int(std::trunc(remaining - 60.0f * float(wholeMinutes)));
    return LeadingZero(hours) + ":" + LeadingZero(minutes) + ":" + LeadingZero(seconds) + tail;
}

bool StatusVersionText(const std::string &s, std::string &version)
{
    const size_t comma = s.find(',');
    if (comma == std::string::npos)
        return false;
    size_t first = comma;
    while (first > 0 && s[first - 1] >= '0' && s[first - 1] <= '9')
        --first;
    version = s.substr(first);
    for (char &c : version)
        if (c == ',')
            c = '.';
    return true;
}

QImage UpdateAnimationStrip()
{
    // A globe with a download arrow circling it, one eighth of a turn per
    // frame, on a magenta ground that is drawn transparent.
    QImage strip(256, 32, QImage::Format_RGB32);
    strip.fill(QColor(255, 0, 255));
    QPainter p(&strip);
    p.setRenderHint(QPainter::Antialiasing, false);
    for (int f = 0; f < 8; ++f) {
        const QPointF centre(f * 32 + 16, 16);
        p.setPen(QColor(0, 0, 128));
        p.setBrush(QColor(0, 128, 128));
        p.drawEllipse(centre, 11, 11);
        p.setPen(QColor(0, 255, 255));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(centre, 5, 11);
        p.drawLine(centre + QPointF(-11, 0), centre + QPointF(11, 0));
        const double a = f * M_PI / 4;
        const QPointF dot = centre + QPointF(std::sin(a) * 13, -std::cos(a) * 13);
        p.setPen(QColor(128, 0, 0));
        p.setBrush(QColor(255, 255, 0));
        p.drawEllipse(dot, 3, 3);
    }
    p.end();
    // Sixteen colours: the classic palette.
    QList<QRgb> table;
    for (TColor c : {clBlack, clMaroon, clGreen, clOlive, clNavy, clPurple, clTeal, clGray, clSilver, clRed, clLime,
                     clYellow, clBlue, clFuchsia, clAqua, clWhite})
        table.push_back(ColorToQColor(c).rgb());
    return strip.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither);
}

// ---- the window ------------------------------------------------------------------------------

TUpdateForm::TUpdateForm(QWidget *mainWindow, std::unique_ptr<TWebUpdate> webUpdate, QWidget *parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      ui(new Ui::TUpdateForm),
      UpdTimer(new QTimer(this)),
      MainWindow(mainWindow),
      WebUpdate(webUpdate.get()),
      webUpdate_(std::move(webUpdate))
{
    ui->setupUi(this);
    setFixedSize(485, 155);
    QFont base(QStringLiteral("MS Sans Serif"));
    base.setStyleHint(QFont::SansSerif);
    setFont(base);
    Look(ui->AutomaticUpdateStatic, clMaroon, 16, true);
    for (QWidget *w : {ui->StatusLblStatic, ui->URLFileStatic, ui->VersionLblStatic, ui->SizeStatic, ui->EstTimeStatic})
        Look(w, clNavy, 12);
    for (QWidget *w : {ui->DownloadLbl, ui->URLFileLbl, ui->SizeLbl, ui->EstTimeLbl})
        Look(w, clBlack, 12);
    Look(ui->DownloadStatusLbl, clGreen, 12);
    Look(ui->StartUpdateBtn, clGreen, 12);
    Look(ui->CloseUpdateBtn, clRed, 12);
    // The glyphs: retry on Start, a close mark on Close.
    ui->StartUpdateBtn->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    ui->CloseUpdateBtn->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    ui->StartUpdateBtn->setAutoDefault(false);
    ui->CloseUpdateBtn->setAutoDefault(false);

    TAnimatedImage *anim = AnimImage();
    anim->SetAsyncDrawing(true);
    anim->SetGlyph(UpdateAnimationStrip());
    anim->SetNumGlyphs(8);

    UpdTimer->setInterval(1000);
    using HandlerGuard::Guarded;
    connect(UpdTimer, &QTimer::timeout, this, Guarded([this] { UpdTimerTimer(); }));
    connect(ui->StartUpdateBtn, &QPushButton::clicked, this, Guarded([this] { StartUpdateBtnClick(); }));
    connect(ui->CloseUpdateBtn, &QPushButton::clicked, this, Guarded([this] { CloseUpdateBtnClick(); }));

    WebUpdate->OnFileProgress = [this](TWebUpdate *s, const std::string &f, int64_t pos, int64_t size) {
        WebUpdateFileProgress(s, f, pos, size);
    };
    WebUpdate->OnStatus = [this](TWebUpdate *s, const std::string &t, int32_t code, int32_t err) {
        WebUpdateStatus(s, t, code, err);
    };
    WebUpdate->OnThreadUpdateDone = [this](TWebUpdate *s) { WebUpdateThreadUpdateDone(s); };
    WebUpdate->OnAppDoClose = [this](TWebUpdate *s) { WebUpdateAppDoClose(s); };
    // Once the program is up: what the updater of the last update could not
    // do.
    QTimer::singleShot(0, this, Guarded([this] { ShowUpdaterResult(); }));
}

void TUpdateForm::ShowUpdaterResult()
{
    std::vector<std::string> lines;
    if (!WebUpdate->TakeUpdaterResult(lines))
        return;
    std::string text = UpdaterFailedText;
    for (const std::string &line : lines)
        text += "\n" + line;
    Dialogs::MessageBox(MainWindow, text, Dialogs::ApplicationTitle(), Dialogs::Button::OK, Dialogs::Icon::Error);
}

TUpdateForm::~TUpdateForm()
{
    // The component's events point here.
    webUpdate_.reset();
    delete ui;
}

TAnimatedImage *TUpdateForm::AnimImage() const { return ui->AnimImage; }

void TUpdateForm::RefreshNow()
{
    repaint();
    QCoreApplication::processEvents();
}

void TUpdateForm::StartUpdateBtnClick()
{
    // Read at every Start, so that a changed setting counts at once.
    const std::string address = ConfiguredUpdateAddress(WebUpdate->RegistryFile);
    if (address.empty()) {
        // The one message of it; the verdict line has nothing to add.
        ui->DownloadLbl->setText(QString::fromLatin1(NoUpdateAddressText));
        ui->DownloadStatusLbl->clear();
        SetLabelColor(ui->DownloadStatusLbl, clGreen);
        RefreshNow();
        return;
    }
    Restarting = false;
    AnimImage()->SetActive(true);
    ui->StartUpdateBtn->setEnabled(false);
    ui->CloseUpdateBtn->setEnabled(false);
    repaint();
    WebUpdate->URL = address;
    try {
        WebUpdate->DoThreadUpdate();
    } catch (...) {
        // Nothing started: the window is as before the click.
        AnimImage()->SetActive(false);
        ui->StartUpdateBtn->setEnabled(true);
        ui->CloseUpdateBtn->setEnabled(true);
        throw;
    }
}

void TUpdateForm::CloseUpdateBtnClick()
{
    if (MainWindow) {
        MainWindow->setEnabled(true);
        MainWindow->repaint();
    }
    UpdTimer->stop();
    ui->StartUpdateBtn->setEnabled(true);
    ui->CloseUpdateBtn->setEnabled(true);
    AnimImage()->SetActive(false);
    ui->UpdateProgressBar->setValue(0);
    ui->SizeLbl->setText(QStringLiteral("N/A"));
    ui->EstTimeLbl->setText(QStringLiteral("N/A"));
    ui->DownloadLbl->clear();
    ui->URLFileLbl->clear();
    ui->DownloadStatusLbl->clear();
    ui->DownloadStatusLbl->setToolTip(QString());
    SetLabelColor(ui->DownloadStatusLbl, clGreen);
    ElapsedSeconds = 0;
    hide();
}

void TUpdateForm::reject()
{
    // Escape answers as the Close button does, while it can be pressed.
    if (ui->CloseUpdateBtn->isEnabled())
        HandlerGuard::RunGuarded([this] { CloseUpdateBtnClick(); });
}

void TUpdateForm::closeEvent(QCloseEvent *e)
{
    e->ignore();
    reject();
}

void TUpdateForm::UpdTimerTimer()
{
    ++ElapsedSeconds;
    ui->EstTimeLbl->setText(FromAnsi(
        EstimatedTimeText(ui->UpdateProgressBar->maximum(), ui->UpdateProgressBar->value(), ElapsedSeconds)));
    RefreshNow();
}

void TUpdateForm::WebUpdateFileProgress(TWebUpdate *, const std::string &fileName, int64_t pos, int64_t size)
{
    const std::string name = FileNamePart(fileName);
    QProgressBar *bar = ui->UpdateProgressBar;
    if (name == "update.inf") {
        bar->setMaximum(ClampInt(size));
        bar->setValue(ClampInt(std::min(pos, size > 0 ? size : pos)));
        ui->SizeLbl->setText(FromAnsi(ControlFileProgressText(pos, size)));
    } else {
        if (!UpdTimer->isActive())
            UpdTimer->start();
        bar->setMaximum(ClampInt(size));
        bar->setValue(ClampInt(std::min(pos, size > 0 ? size : pos)));
        ui->SizeLbl->setText(FromAnsi(FileProgressText(pos, size)));
        if (ui->EstTimeLbl->text() == QLatin1String("N/A"))
            ui->EstTimeLbl->setText(QStringLiteral("??:??:??"));
    }
    ui->DownloadLbl->setText(FromAnsi("Downloading " + name + ". Please wait."));
    RefreshNow();
}

void TUpdateForm::WebUpdateStatus(TWebUpdate *, const std::string &statusStr, int32_t statusCode, int32_t)
{
    QLabel *verdict = ui->DownloadStatusLbl;
    if (statusCode == 5) {
        SetLabelColor(verdict, clGreen);
        std::string version;
        if (StatusVersionText(statusStr, version))
            verdict->setText(FromAnsi(version));
    } else if (statusCode == 4) {
        SetLabelColor(verdict, clRed);
        verdict->setText(QStringLiteral("No New Version Available."));
    } else if (statusCode == 2) {
        SetLabelColor(verdict, clRed);
        verdict->setText(QStringLiteral("Web Update File Not Found."));
    } else if ((statusCode == 1 || statusCode == wustatus::RunFailedCode) && WebUpdate->FilesInPlace() &&
               !Restarting) {
        // The new files are in place; a step after them failed (the
        // failure's own message is the error's, told in its box).
        const std::string failure = statusCode == 1 ? statusStr : WebUpdate->LastErrorText();
        SetLabelColor(verdict, clOlive);
        verdict->setText(FromAnsi(UpdateInstalledButText + failure));
        verdict->setToolTip(verdict->text());
    } else if (statusCode == 1 || statusCode == 8 || statusCode == 9 || statusCode == wustatus::RunFailedCode) {
        // An error, a cabinet or updater that failed, a step that failed.
        SetLabelColor(verdict, clRed);
        verdict->setText(QString::fromLatin1(UpdateFailedText));
    }
    if (statusStr.find("Download") != std::string::npos) {
        const size_t http = std::min(statusStr.find("http:"), statusStr.find("https:"));
        ui->URLFileLbl->setText(FromAnsi(http == std::string::npos ? statusStr : statusStr.substr(http)));
    } else if (statusCode != 5) {
        ui->DownloadLbl->setText(FromAnsi(statusStr));
    }
    RefreshNow();
    // An error of the run (a refused address or server among them) is
    // shown until the user has read it; the status line moves on.
    if (statusCode == 1)
        Dialogs::MessageBox(this, statusStr, Dialogs::ApplicationTitle(), Dialogs::Button::OK, Dialogs::Icon::Error);
}

void TUpdateForm::WebUpdateThreadUpdateDone(TWebUpdate *)
{
    AnimImage()->SetActive(false);
    ui->CloseUpdateBtn->setEnabled(true);
    ui->CloseUpdateBtn->setFocus();
    UpdTimer->stop();
    if (WebUpdate->Connected())
        WebUpdate->HangUp();
    ui->DownloadLbl->setText(QStringLiteral("Connection Closed."));
}

void TUpdateForm::WebUpdateAppDoClose(TWebUpdate *)
{
    // From here the update is the updater's to finish: what fails now
    // stops it.
    Restarting = true;
    if (ExitProgram)
        ExitProgram();
}
