#pragma once
// Submission of a disc entry to the online database by e-mail: the checks
// of the entry and the mail settings, the advice box, the xmcd mail (its
// subject and body) and the SMTP transfer, with progress in the grabbing
// window's status line. After the server has accepted the mail the
// catalogue entry is marked as not modified.
//
// The mail is built by pure functions (namespace xmcd); TEntrySubmission
// holds the grabbing window's mail client and message and runs the
// command of its pop-up menu item "Submit to Internet".
#include "discdb/CDDBOptions.h"
#include "netclient/NetMessage.h"
#include "netclient/NetSMTP.h"

#include <functional>
#include <string>
#include <vector>

class QWidget;
class TGrabCDForm;
class TAdviceForm;

namespace xmcd {

// A value this long or longer is carried on continuation lines.
inline constexpr size_t kLineWidth = 150;

// The value of a multi-line text (lines separated by CR LF, LF or CR) as the
// entry carries it: the catalogue's one stored form (lines joined by "\n",
// tabs as "\t", backslashes doubled).
std::string EscapeText(const std::string &text);

// The lines of one keyed value: the first is key + the first 149
// characters; each further one is key + the next 150 - (key length + 1)
// characters. A value shorter than kLineWidth gives the one line key +
// value.
std::vector<std::string> KeyedLines(const std::string &key, const std::string &value);

// "cddb " + the category without surrounding blanks + " " + disc id.
std::string Subject(const std::string &category, const std::string &discId);

struct Entry {
    std::vector<std::string> Offsets;  // one per track of the disc id, in frames
    std::string DiscSeconds;
    int Revision = 0;
    std::string ClientName;
    std::string DiscId;
    std::string Artist, Title;
    std::vector<std::string> TrackTitles;  // one per offset
    std::string DiscText;                   // escaped (EscapeText)
    std::vector<std::string> TrackTexts;    // escaped, one per offset
};

// The body lines of the mail, in order.
std::vector<std::string> Body(const Entry &entry);

// The offsets and the disc length of a query text ("count offsets...
// seconds"): false when it holds no such words. The offsets are those of
// every track the disc id counts, data tracks included.
bool SplitQueryText(const std::string &query, std::vector<std::string> &offsets, std::string &seconds);

} // namespace xmcd

class TEntrySubmission {
public:
    // grab: the grabbing window whose entry is sent; settings: the options
    // window's record (its controls, read when the command runs); advice:
    // the advice box.
    TEntrySubmission(TGrabCDForm &grab, std::function<cddbopts::CDDBOptions()> settings, TAdviceForm &advice);
    ~TEntrySubmission();

    TNetSMTP SMTPCli;
    TNetMessage CDDBEntry;

    // The menu item's command.
    void Submit_MenuItemClick();
    // The checks, in order; each failing one shows its message in the error
    // box. Sets the mail server, the sender and the recipients as it goes.
    bool CheckSubmission();
    bool ShowSubmitAdvice();

    // Events of the mail client.
    void SMTPCliConnected();
    void SMTPCliWorkBegin();
    void SMTPCliWorkEnd();
    void SMTPCliDisconnected();

    // Messages.
    static const char *const kBlankCategory;
    static const char *const kNoUserEmail;
    static const char *const kNoSMTP;
    static const char *const kNoCDDBEmail;
    static const char *const kNoTitle;
    static const char *const kDefaultTracks;
    static const char *const kConnectError;

private:
    // The disc's tracks as the disc id counts them: the offsets and disc
    // length of its query text (the listed tracks when there is none).
    void discTracks(std::vector<std::string> &offsets, std::string &seconds) const;
    void error(const std::string &text);
    TGrabCDForm &grab_;
    std::function<cddbopts::CDDBOptions()> settings_;
    TAdviceForm &advice_;
};
