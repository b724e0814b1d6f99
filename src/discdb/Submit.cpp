#include "discdb/Submit.h"

#include "compilation/Catalogue.h"
#include "compilation/EntryPages.h"
#include "compilation/Main.h"
#include "controls/EnhListV.h"
#include "discdb/AddCD.h"
#include "discdb/AdviceSubmit.h"
#include "discdb/CDDBExchange.h"
#include "discdb/NetPump.h"
#include "discdb/WebConnect.h"
#include "netclient/NetExchange.h"
#include "platform/Cp1252.h"
#include "platform/Dialogs.h"
#include "platform/Rtl.h"
#include "ui_AddCD.h"

#include <QPushButton>
#include <QTimer>

#include <algorithm>

using namespace Rtl;

namespace xmcd {

std::string EscapeText(const std::string &text) { return catalogue::EncodeExtendedText(text); }

std::vector<std::string> KeyedLines(const std::string &key, const std::string &value)
{
    // The breaks go where the entry format has always put them: the first
    // line carries 149 characters of the value, every further one a full
    // line of kLineWidth characters with its key counted in.
    std::vector<std::string> lines;
    if (value.size() < kLineWidth) {
        lines.push_back(key + value);
        return lines;
    }
    lines.push_back(key + value.substr(0, kLineWidth - 1));
    const size_t step = kLineWidth > key.size() + 1 ? kLineWidth - key.size() - 1 : 1;
    for (size_t from = kLineWidth - 1; from < value.size(); from += step)
        lines.push_back(key + value.substr(from, step));
    return lines;
}

std::string Subject(const std::string &category, const std::string &discId)
{
    return "cddb " + Trim(category) + " " + discId;
}

std::vector<std::string> Body(const Entry &e)
{
    std::vector<std::string> b = {"# xmcd", "#", "# Track frame offsets:"};
    for (const std::string &o : e.Offsets)
        b.push_back("#     " + o);
    b.push_back("#");
    b.push_back("# Disc length: " + e.DiscSeconds + " seconds");
    b.push_back("#");
    b.push_back("# Revision: " + IntToStr(e.Revision));
    b.push_back("# Submitted via: " + e.ClientName);
    b.push_back("#");
    b.push_back("DISCID=" + e.DiscId);
    b.push_back("DTITLE=" + e.Artist + " / " + e.Title);
    for (size_t j = 0; j < e.TrackTitles.size(); ++j)
        b.push_back("TTITLE" + IntToStr(int(j)) + "=" + e.TrackTitles[j]);
    for (const std::string &l : KeyedLines("EXTD=", e.DiscText))
        b.push_back(l);
    for (size_t j = 0; j < e.TrackTexts.size(); ++j)
        for (const std::string &l : KeyedLines("EXTT" + IntToStr(int(j)) + "=", e.TrackTexts[j]))
            b.push_back(l);
    b.push_back("PLAYORDER=");
    return b;
}

bool SplitQueryText(const std::string &query, std::vector<std::string> &offsets, std::string &seconds)
{
    std::vector<std::string> words;
    size_t from = 0;
    while (from < query.size()) {
        const size_t blank = std::min(query.find(' ', from), query.size());
        if (blank > from)
            words.push_back(query.substr(from, blank - from));
        from = blank + 1;
    }
    if (words.size() < 3)
        return false;
    offsets.assign(words.begin() + 1, words.end() - 1);
    seconds = words.back();
    return true;
}

} // namespace xmcd

// ---- the command -------------------------------------------------------------------------

const char *const TEntrySubmission::kBlankCategory =
    "Error, cannot submit an entry with blank category! Please select one first.";
const char *const TEntrySubmission::kNoUserEmail =
    "Error, cannot submit an entry without user e-mail address! Please enter one first.";
const char *const TEntrySubmission::kNoSMTP =
    "Error, cannot submit an entry without SMTP's server address! Please enter one first.";
const char *const TEntrySubmission::kNoCDDBEmail =
    "Error, cannot submit an entry without CDDB's e-mail address! Please enter one first.";
const char *const TEntrySubmission::kNoTitle =
    "Error, cannot submit an entry without Artist Name or CD Title. Please enter one first.";
const char *const TEntrySubmission::kDefaultTracks =
    "Error, cannot submit an entry without valid Tracks Names. Please enter valid data.";
const char *const TEntrySubmission::kConnectError = "Error connecting to SMTP server. Closing.";

namespace {
const char *const kDataTrackTitle = "Data";
}

TEntrySubmission::TEntrySubmission(TGrabCDForm &grab, std::function<cddbopts::CDDBOptions()> settings,
                                   TAdviceForm &advice)
    : grab_(grab), settings_(std::move(settings)), advice_(advice)
{
    SMTPCli.Port = 25;
    SMTPCli.ASCIIFilter = true;
    CDDBEntry.CharSet = "ISO-8859-1";
    CDDBEntry.NoDecode = true;
    SMTPCli.OnConnected = [this](TNetTCPClient *) { SMTPCliConnected(); };
    SMTPCli.OnWorkBegin = [this](TNetComponent *, TWorkMode, int32_t) { SMTPCliWorkBegin(); };
    SMTPCli.OnWorkEnd = [this](TNetComponent *, TWorkMode) { SMTPCliWorkEnd(); };
    SMTPCli.OnDisconnected = [this](TNetTCPConnection *) { SMTPCliDisconnected(); };
}

TEntrySubmission::~TEntrySubmission()
{
    SMTPCli.OnDisconnected = nullptr;
    try {
        if (SMTPCli.Connected())
            SMTPCli.Disconnect();
    } catch (...) {
    }
}

void TEntrySubmission::error(const std::string &text)
{
    if (MainForm)
        MainForm->ErrorBox(text);
    else
        Dialogs::MessageBox(&grab_, text, "Error");
}

bool TEntrySubmission::CheckSubmission()
{
    const cddbopts::CDDBOptions o = settings_();
    const std::string category = Trim(ToAnsi(grab_.ui->CategBox->currentText()));
    if (category.empty()) {
        error(kBlankCategory);
        return false;
    }
    if (o.UserEmail.empty() || o.UserEmail == cddbopts::kDefaultUserEmail) {
        error(kNoUserEmail);
        return false;
    }
    CDDBEntry.From.Address = o.UserEmail;
    if (o.SMTPAddr.empty()) {
        error(kNoSMTP);
        return false;
    }
    SMTPCli.Host = o.SMTPAddr;
    if (o.CDDBEmail.empty()) {
        error(kNoCDDBEmail);
        return false;
    }
    CDDBEntry.Recipients.SetEMailAddresses(o.CDDBEmail);
    if (grab_.ui->ArtistEdit->text().isEmpty() || grab_.ui->CDTitleEdit->text().isEmpty()) {
        error(kNoTitle);
        return false;
    }
    TEnhListView *tracks = grab_.ui->TracksList;
    const int n = std::min(grab_.TrackCount, tracks->Items.Count());
    for (int i = 1; i <= n; ++i)
        if (tracks->Items[i - 1]->Caption() == "Track " + TGrabCDForm::LeadingZero(i)) {
            error(kDefaultTracks);
            return false;
        }
    return true;
}

bool TEntrySubmission::ShowSubmitAdvice()
{
    QPushButton *cancel = advice_.findChild<QPushButton *>("CancelBtn");
    if (cancel) {
        cancel->setDefault(true);
        cancel->setFocus();
    }
    if (MainForm)
        MainForm->ShowCentred(&advice_);
    else
        advice_.exec();
    return advice_.Accepted;
}

void TEntrySubmission::discTracks(std::vector<std::string> &offsets, std::string &seconds) const
{
    // The disc id counts every track of the disc, data tracks too: the
    // offsets sent are those it was computed from, so the two agree.
    if (xmcd::SplitQueryText(grab_.freedbDiscID.CDDBQueryCmd, offsets, seconds))
        return;
    offsets.clear();
    for (int i = 1; i <= grab_.TrackCount && i < int(grab_.FrameOffsets.size()); ++i)
        offsets.push_back(grab_.FrameOffsets[size_t(i)]);
    seconds = grab_.DiscSeconds;
}

void TEntrySubmission::Submit_MenuItemClick()
{
    // Nothing is asked while another exchange runs.
    if (netpump::Busy(&grab_))
        return;
    grab_.VisitAllPages();
    if (!CheckSubmission())
        return;
    if (!ShowSubmitAdvice())
        return;
    grab_.repaint();

    // Whatever the track memo holds belongs to its track before the texts
    // are read; the memo is empty afterwards.
    grab_.Pages->StoreTrackMemo();
    xmcd::Entry e;
    discTracks(e.Offsets, e.DiscSeconds);
    e.Revision = grab_.Revision;
    e.ClientName = MainForm ? MainForm->ClientName : std::string();
    e.DiscId = grab_.DiscIdText;
    // Every value stays on its own line.
    e.Artist = cddbx::CleanText(entrytext::Text(grab_.ui->ArtistEdit));
    e.Title = cddbx::CleanText(entrytext::Text(grab_.ui->CDTitleEdit));
    e.DiscText = xmcd::EscapeText(entrytext::MemoText(grab_.ui->EXTDMemo));
    TEnhListView *tracks = grab_.ui->TracksList;
    for (size_t j = 0; j < e.Offsets.size(); ++j) {
        const int row = int(j);
        e.TrackTitles.push_back(row < tracks->Items.Count() ? cddbx::CleanText(tracks->Items[row]->Caption())
                                                            : kDataTrackTitle);
        const std::string stored = j < grab_.ExtTrackTexts.size() ? grab_.ExtTrackTexts[j] : std::string();
        e.TrackTexts.push_back(xmcd::EscapeText(TGrabCDForm::UnescapeExtendedTrackText(stored)));
    }
    grab_.Pages->ClearTrackMemo();

    CDDBEntry.Body.Clear();
    CDDBEntry.Subject = xmcd::Subject(ToAnsi(grab_.ui->CategBox->currentText()), grab_.DiscIdText);
    for (const std::string &line : xmcd::Body(e))
        CDDBEntry.Body.Add(line);

    MainWebConnect().EnsureConnected();
    // The transfer is the grabbing window's exchange: closing that window
    // meanwhile aborts it.
    TNetExchange exchange(static_cast<QObject *>(&grab_), [this] { netpump::CloseNow(SMTPCli); });
    if (!netpump::Started(&grab_, exchange))
        return;
    if (SMTPCli.Connected())
        SMTPCli.Disconnect();
    // The settings' time-out bounds the connect and every reply.
    const int seconds = std::clamp(StrToIntDef(settings_().TimeOut, 30), 1, 3600);
    SMTPCli.ConnectTimeout = seconds * 1000;
    SMTPCli.ReadTimeout = seconds * 1000;
    grab_.SetStatusText("Connecting...");
    try {
        SMTPCli.Connect();
    } catch (const std::exception &) {
        try {
            SMTPCli.Disconnect();
        } catch (const std::exception &) {
        }
        if (!exchange.Aborted())
            Dialogs::MessageBox(&grab_, kConnectError, "Warning", Dialogs::Button::OK, Dialogs::Icon::Warning);
        grab_.SetStatusText(std::string());
        return;
    }
    // An error while sending reaches the handler guard (an abort by the
    // user says nothing); the client stays connected until the next
    // submission.
    try {
        SMTPCli.Send(CDDBEntry);
    } catch (Exception &e) {
        if (!exchange.Aborted()) {
            // The box shows a bounded part of what the server said.
            e.Message = cddbx::BoxText(e.Message);
            throw;
        }
        grab_.SetStatusText(std::string());
        return;
    } catch (const std::exception &) {
        if (!exchange.Aborted())
            throw;
        grab_.SetStatusText(std::string());
        return;
    }
    SMTPCli.Disconnect();
}

// ---- the mail client's events -----------------------------------------------------------------

void TEntrySubmission::SMTPCliConnected()
{
    grab_.SetStatusText("Connected...");
    grab_.MsgTimer->start();
}

void TEntrySubmission::SMTPCliWorkBegin() { grab_.SetStatusText("Sending..."); }

void TEntrySubmission::SMTPCliWorkEnd()
{
    // The client reports the end of the work only once the server has
    // accepted the mail.
    grab_.SetStatusText("Ok. Entry submitted. Disconnecting...");
    if (!MainForm)
        return;
    std::unique_ptr<TMemIniFile> ini;
    try {
        ini = catalogue::Open(MainForm->CatalogueFile);
    } catch (const std::exception &) {
        MainForm->ErrorBox(catalogue::kErrorSaving);
        return;
    }
    grab_.Modified = false;
    const std::string pid = entrytext::Text(grab_.ui->PIDStatic);
    // A disc that is not in the catalogue gets no section of its own.
    if (pid.empty() || !ini->SectionExists(pid))
        return;
    try {
        ini->WriteBool(pid, catalogue::kModified, false);
        ini->UpdateFile();
    } catch (const std::exception &) {
        MainForm->ErrorBox(catalogue::kErrorSaving);
    }
}

void TEntrySubmission::SMTPCliDisconnected() { grab_.MsgTimer->start(); }
