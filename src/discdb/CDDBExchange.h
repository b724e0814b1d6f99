#pragma once
// The online CD database exchange, shared by the grabbing, queue and options
// windows: command texts, reply codes, match lines, xmcd entries, site and
// category lists as functions over text, and blocking runners that carry a
// lookup or a server task over cddbp (a line connection) or HTTP (one GET per
// command). No widgets here: a window passes an ExchangeHooks object for its
// status texts, its log, the "Server responding..." event and the match
// chooser, and turns the returned result into its message boxes, fields and
// enabled controls.
//
// How a queue run uses it, one ticked row at a time:
//
//     cddbx::Settings s = CDDBOptForm->ExchangeSettings();  // the options window's controls
//     cddbx::Disc disc {row.DiscID, row.Tracks + " " + row.TOF, StrToIntDef(row.Tracks, 0)};
//     QueueHooks hooks(...);   // Status: only "Querying..."/"Reading..." to StatusLbl;
//                              // BeforeQuery: CurrentQueryLbl and QueryProgessBar;
//                              // Choose: index 0 when AutoChooseBox is ticked (-1 for
//                              // an empty list), else the chooser.
//     cddbx::LookupResult r = cddbx::Lookup(TelnetCli, HTTPCli, s, disc, hooks);
//     // r.QueryAnswered -> Queried "Yes"; r.Kind == Outcome::Found -> Founded "Yes",
//     // r.Entry (parsed for disc.TrackCount tracks) and r.Category fill the row;
//     // cddbx::QueueMessage(r) is the StatusLbl text; r.At tells in which step a
//     // refusal or failure came (Greeting/Hello/Proto: Queried "No", Founded "N/A").
//
// The cddbp runners take a plain TNetTCPClient (not a TNetTelnet, whose read
// thread would compete for the replies): the greeting, every reply and every
// list are read on the calling thread, through the socket waits that the
// anti-freeze keeps the windows alive in. Every runner closes its connection
// before it returns, applies the settings' time-out (0 or not a number: 30 s)
// to connecting and to every reply, and bounds what it reads (kMaxReplyBytes,
// kMaxListLines).
// Categories and disc ids from a server are checked (ValidCategory,
// ValidDiscId) before they reach a URL, a command or the catalogue; text
// that may reach an INI file has its control characters turned into blanks.
#include "discdb/CDDBOptions.h"
#include "netclient/NetSocks.h"

#include <cstddef>
#include <string>
#include <vector>

class TNetTCPClient;
class TNetHTTP;

namespace cddbx {

// ---- constants ------------------------------------------------------------------------
inline constexpr int kProtoLevel = 4;
inline constexpr int kDefaultCDDBPort = 8880;
inline constexpr int kDefaultHTTPPort = 80;
inline constexpr int kDefaultProxyPort = 8080;
inline constexpr int kDefaultTimeOutSeconds = 30;
// The most one reply, captured list, entry or HTTP body may hold.
inline constexpr size_t kMaxReplyBytes = 1024 * 1024;
inline constexpr int kMaxListLines = 10000;
// The most tracks an entry fills.
inline constexpr int kMaxTracks = 100;

inline constexpr const char *kQuitCommand = "quit";
inline constexpr const char *kSitesCommand = "sites";
inline constexpr const char *kLsCatCommand = "cddb lscat";
inline constexpr const char *kMotdCommand = "motd";

// Request settings of every HTTP client of the exchange.
inline constexpr const char *kHttpAccept = "text/html, */*";
inline constexpr const char *kHttpContentType = "text/html; charset=ISO-8859-1";
inline constexpr const char *kHttpUserAgent = "Mozilla/3.0 (compatible; Net Library)";

// Messages.
inline constexpr const char *kConnectionError = "Connection Error. Server timed out. Closing";
// The warning of a failed exchange: its size refusal, or kConnectionError.
std::string FailureMessage(const std::string &sizeError);
// What a message box shows of a peer's text (a reply line, a whole HTTP
// reply, a mail server's answer): the first kBoxLines lines, each cut at
// kBoxLineChars characters, every cut marked with an ellipsis ("\x85" in the
// program's single-byte text); a text within those bounds is shown as it
// is. The bounds keep the box's text under 4 KB whatever the peer sent, so
// laying it out never holds the windows.
inline constexpr int kBoxLines = 20;
inline constexpr int kBoxLineChars = 200;
inline constexpr const char *kBoxCutMark = "\x85";
std::string BoxText(const std::string &peerText);
inline constexpr const char *kNotResponding = "Connection Error. Server is not responding.";
inline constexpr const char *kNoDiscFound = "Sorry, no disc found.";
inline constexpr const char *kQueueConnectionError = "Connection Error!";
inline constexpr const char *kWarningCaption = "Warning";
inline constexpr const char *kNoticeCaption = "Notice";

// Status texts.
inline constexpr const char *kHandshaking = "Handshaking...";
inline constexpr const char *kSettingProto = "Setting protocol level to ";  // + level
inline constexpr const char *kQuerying = "Querying...";
inline constexpr const char *kReading = "Reading...";
inline constexpr const char *kWaitingChoice = "Waiting for user to choose...";
inline constexpr const char *kDisconnecting = "Disconnecting...";

// Log lines of the options window's server tasks.
inline constexpr const char *kServerResponding = "Server responding...";
inline constexpr const char *kGettingSites = "Getting updated sites list...";
inline constexpr const char *kGettingCategories = "Getting updated category list...";
inline constexpr const char *kDisconnected = "Disconnected.";
inline constexpr const char *kHandshakeOk = "Handshake successful...";
inline constexpr const char *kSitesOk = "Sites list downloaded successfully...";
inline constexpr const char *kCategoriesOk = "Categories list downloaded successfully...";

// ---- small texts ----------------------------------------------------------------------
// The first three characters as a decimal number; 0 when they are not three digits.
int ReplyCode(const std::string &text);
// The host of a server entry: its text up to the first blank (all without one).
std::string HostOf(const std::string &serverEntry);
// The text as a decimal port number (1..65535); the fallback otherwise.
int PortOf(const std::string &text, int fallback);
// The settings' time-out in milliseconds: 0, not a number or negative gives 30 s.
int TimeOutMs(const std::string &timeOutText);
// The e-mail address split at its first "@"; without one the user part is
// empty and the host part the whole address.
void SplitEmail(const std::string &email, std::string &user, std::string &host);
// Control characters (below 32, and 127) turned into blanks.
std::string CleanText(const std::string &text);
// A category: a lower-case word (a-z, 0-9), at most 64 characters.
bool ValidCategory(const std::string &text);
// A disc id: exactly 8 hexadecimal digits.
bool ValidDiscId(const std::string &text);

// ---- cddbp commands (the connection adds CR LF) ---------------------------------------
std::string HelloCommand(const std::string &email, const std::string &clientName);
std::string ProtoCommand(int level = kProtoLevel);
std::string QueryCommand(const std::string &discId, const std::string &queryText);
std::string ReadCommand(const std::string &category, const std::string &discId);

// ---- HTTP URLs: base + command + hello part -------------------------------------------
// "http://" + host [":" port when not 80] + cgi path + "?cmd=".
std::string HttpBase(const std::string &host, int port, const std::string &cgiPath);
// "&hello=" + user + "+" + host part + "+MIXDECK+" + version text + "&proto=4".
std::string HttpHello(const std::string &email, const std::string &versionText);
// The cddbp command with every blank turned into "+".
std::string HttpCommand(const std::string &cddbpCommand);

// ---- lines ----------------------------------------------------------------------------
// Lines split at CR LF, LF or CR (a final line end gives no empty line);
// at most maxLines lines are kept.
std::vector<std::string> SplitLines(const std::string &text, int maxLines = kMaxListLines);
// The lines of a list or entry reply body: after its status line, up to the
// line "." (not included) or to the end.
std::vector<std::string> ListLines(const std::string &body);

// ---- matches --------------------------------------------------------------------------
struct Match {
    std::string Category;  // checked by ValidCategory
    std::string DiscId;    // checked by ValidDiscId
    std::string Title;     // the caption the chooser shows
    std::string Line;      // the whole line
};
// A match line: category, blank, 8-character disc id, blank, title. False
// when the category or disc id is not valid.
bool ParseMatchLine(const std::string &line, Match &match);
// The status line of an exact match: code, blank, then a match line.
bool ParseExactMatch(const std::string &replyLine, Match &match);
// The valid matches of a list, in order.
std::vector<Match> ParseMatchList(const std::vector<std::string> &lines);

// ---- xmcd entries ---------------------------------------------------------------------
struct XmcdEntry {
    bool HasRevision = false;
    int Revision = 0;
    std::string Artist, Title;               // from DTITLE, trimmed
    std::vector<std::string> TrackTitles;    // one per track (empty when missing)
    std::vector<std::string> ExtTrackTexts;  // EXTT, still escaped
    std::string ExtDiscText;                 // EXTD, still escaped
};
// The value of every line named name (ignoring case), joined in order.
std::string TakeValue(const std::vector<std::string> &lines, const std::string &name);
// The entry rules for trackCount tracks (clamped to 0..kMaxTracks); every
// text has its control characters turned into blanks.
XmcdEntry ParseXmcd(const std::vector<std::string> &lines, int trackCount);

// ---- site and category lists ----------------------------------------------------------
struct SiteTables {
    std::vector<std::string> CDDBServerList, CDDBPortList;
    std::vector<std::string> HTTPServerList, CGIPathList, HTTPPortList;
    bool empty() const { return CDDBServerList.empty() && HTTPServerList.empty(); }
};
// Site lines (site, protocol, port, address, rest): protocol exactly "cddbp"
// goes to the cddbp table, anything else to the HTTP table. Lines without a
// site are skipped; each table holds at most cddbopts::kMaxServers entries.
SiteTables ParseSites(const std::vector<std::string> &lines);
// The category box items: a one-blank item, then " " + each valid category
// of the lines, in order (at most cddbopts::kMaxCategories items).
std::vector<std::string> CategoryItems(const std::vector<std::string> &lines);
// Why a list reply's lines cannot replace the list the user has (a line that
// is not a category, or not a site line: host, protocol and a port from 1 to
// 65535; more entries than the list may hold), naming the first such line;
// empty when they can. Lines of blanks say nothing and count as none. A list
// is taken whole or not at all: nothing of it is dropped in silence.
std::string CategoryListRefusal(const std::vector<std::string> &lines);
std::string SiteListRefusal(const std::vector<std::string> &lines);

// ---- where an exchange ended ----------------------------------------------------------
enum class Step { None, Connect, Greeting, Hello, Proto, Query, Choose, Read, Sites, LsCat, Motd, Quit };
enum class Outcome {
    Found,          // lookup: entry read and parsed; server task: done
    Refused,        // a refusal code: Message holds the step's message
    Unexpected,     // an unexpected code: Message holds the greeting, reply line or (HTTP) whole body
    NoChoice,       // the chooser gave no match
    Failed,         // a command, reply or capture (or, over HTTP, a request) failed, time-outs included
    ConnectFailed,  // cddbp: connecting failed; options window over HTTP: the request failed
};
// The message of a refusal code, or empty when the code is not one.
// queueTexts: the queue window's wording (proto 501 ends with ".").
std::string RefusalMessage(Step step, int code, bool queueTexts = false);

// ---- settings of one exchange ---------------------------------------------------------
struct Settings {
    bool UseHTTP = false;
    std::string ServerEntry;  // the whole entry text
    std::string Host;         // HostOf(ServerEntry)
    std::string CDDBPortText, HTTPPortText;
    int CDDBPort = kDefaultCDDBPort;
    int HTTPPort = kDefaultHTTPPort;
    std::string CGIPath;
    std::string UserEmail;
    std::string ClientName;   // "MIXDECK " + version text
    std::string VersionText;
    TSocksInfo Socks;         // version svNoSocks unless a proxy is used
    int TimeOutMs = kDefaultTimeOutSeconds * 1000;
};
// The settings of the selected server of a settings record.
Settings SettingsFromOptions(const cddbopts::CDDBOptions &options, const std::string &clientName,
                             const std::string &versionText);
// Sets the HTTP client's SOCKS proxy, time-outs, bounds and request settings.
void PrepareHttpClient(TNetHTTP &client, const Settings &settings);
// Sets the line client's host, port, time-outs and bounds.
void PrepareLineClient(TNetTCPClient &client, const Settings &settings);

// ---- what a window lends the exchange -------------------------------------------------
class ExchangeHooks {
public:
    virtual ~ExchangeHooks() = default;
    // A status text ("" clears the status).
    virtual void Status(const std::string &) {}
    // One log line (server tasks).
    virtual void Log(const std::string &) {}
    // The connection is open (SOCKS handshake done).
    virtual void Connected() {}
    // Right before the query command is sent.
    virtual void BeforeQuery() {}
    // The index of the chosen match, or -1 for none.
    virtual int Choose(const std::vector<Match> &) { return -1; }
};

// ---- one lookup -----------------------------------------------------------------------
struct Disc {
    std::string DiscId;     // 8 lower-case hex digits
    std::string QueryText;  // track count, offsets, disc seconds, blank-separated
    int TrackCount = 0;     // audio tracks the entry fills
};

struct LookupResult {
    Outcome Kind = Outcome::ConnectFailed;
    Step At = Step::None;       // the step that ended the exchange
    int Code = 0;               // its reply code (0 when none)
    std::string Message;        // refusal message or unexpected text
    bool QueryAnswered = false; // the query command got a reply
    bool ReadAnswered = false;  // the read command got a reply
    std::string Category;       // the match read (no blanks)
    std::string DiscId;
    std::vector<std::string> EntryLines;
    XmcdEntry Entry;            // parsed when Kind == Found
    int MatchCount = 0;         // valid match lines of a list reply
    std::string QuitReply;      // cddbp: a quit answered with another code than 230 (for the error box)
    std::string SizeError;      // Failed: a reply refused for its size ("The server sent (or announced) more ...")
};
// The queue window's wording of a result's status text (empty: none).
std::string QueueMessage(const LookupResult &result);

// Greeting, hello, proto, query, choice, read, quit over the line client.
LookupResult CddbpLookup(TNetTCPClient &client, const Settings &settings, const Disc &disc, ExchangeHooks &hooks);
// Query and read over HTTP.
LookupResult HttpLookup(TNetHTTP &client, const Settings &settings, const Disc &disc, ExchangeHooks &hooks);
// By settings.UseHTTP.
LookupResult Lookup(TNetTCPClient &line, TNetHTTP &http, const Settings &settings, const Disc &disc,
                    ExchangeHooks &hooks);

// ---- the options window's server tasks ------------------------------------------------
enum class ServerTask { Test, Sites, Categories };
struct ServerResult {
    Outcome Kind = Outcome::ConnectFailed;
    Step At = Step::None;
    int Code = 0;
    std::string Message;  // the text for the error box (Unexpected) or a failed quit
    bool HaveSites = false;
    SiteTables Sites;     // never empty when HaveSites
    bool HaveCategories = false;
    std::vector<std::string> Categories;  // category box items, the first a single blank
    std::string QuitReply;  // cddbp: a quit answered with another code than 230 (for the error box)
    std::string SizeError;  // Failed: a reply refused for its size ("The server sent (or announced) more ...")
};
// Each writes the task's log lines through hooks.Log (the first being the
// "Initiating connection to ..." line) and "Server responding..." when connected.
ServerResult CddbpServerTask(TNetTCPClient &client, const Settings &settings, ServerTask task, ExchangeHooks &hooks);
ServerResult HttpServerTask(TNetHTTP &client, const Settings &settings, ServerTask task, ExchangeHooks &hooks);

} // namespace cddbx
