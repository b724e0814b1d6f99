#include "discdb/CDDBExchange.h"

#include "netclient/NetHTTP.h"
#include "netclient/NetTCPClient.h"
#include "platform/Classes.h"
#include "platform/Rtl.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <optional>

namespace cddbx {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHex(char c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The text after the first blank (empty when there is none).
std::string afterBlank(const std::string &text)
{
    const size_t blank = text.find(' ');
    return blank == std::string::npos ? std::string() : text.substr(blank + 1);
}

std::string trimRightBlanks(std::string text)
{
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return text;
}

// Closes the client's connection, raising nothing.
void closeQuietly(TNetTCPConnection &client)
{
    try {
        client.Disconnect();
    } catch (...) {
        try {
            client.DisconnectSocket();
        } catch (...) {
        }
    }
}

// Inside a catch: the message of a reply refused for its size, or empty
// for any other failure.
std::string sizeRefusal()
{
    try {
        throw;
    } catch (const ENetInputTooLong &e) {
        return e.Message;
    } catch (...) {
        return std::string();
    }
}

// Sets OnConnected for the length of one exchange.
class ConnectedHook {
public:
    ConnectedHook(TNetTCPClient &client, std::function<void()> f) : client_(client), saved_(client.OnConnected)
    {
        client_.OnConnected = [f = std::move(f)](TNetTCPClient *) { f(); };
    }
    ~ConnectedHook() { client_.OnConnected = saved_; }
    ConnectedHook(const ConnectedHook &) = delete;
    ConnectedHook &operator=(const ConnectedHook &) = delete;

private:
    TNetTCPClient &client_;
    std::function<void(TNetTCPClient *)> saved_;
};

// The lines of a TStringList.
std::vector<std::string> toLines(const TStringList &list)
{
    std::vector<std::string> out;
    out.reserve(size_t(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
        out.push_back(list[i]);
    return out;
}

// Lines split further at a lone CR (a capture splits at LF only).
std::vector<std::string> resplit(const std::vector<std::string> &lines)
{
    std::vector<std::string> out;
    for (const std::string &l : lines) {
        if (l.find('\r') == std::string::npos) {
            out.push_back(l);
            continue;
        }
        for (std::string &piece : SplitLines(l, kMaxListLines))
            out.push_back(std::move(piece));
        if (int(out.size()) >= kMaxListLines)
            break;
    }
    if (int(out.size()) > kMaxListLines)
        out.resize(size_t(kMaxListLines));
    return out;
}

// The cddbp line dialogue on one connection: every failure closes the
// connection and raises; Quit never raises. A command's reply line and the
// list that follows it are one reply to the time-out, counted from the
// moment the command goes out.
class LineDialogue {
public:
    LineDialogue(TNetTCPClient &client) : client_(client) {}

    // The greeting line, read whole with the time-out.
    std::string Greeting()
    {
        std::string line = client_.ReadLn(std::string(), client_.ReadTimeout);
        if (client_.ReadLnTimedOut) {
            closeQuietly(client_);
            throw ENetConnClosedGracefully("No greeting");
        }
        return line;
    }
    int Command(const std::string &text)
    {
        reply_.reset();
        reply_.emplace(client_);
        try {
            return client_.SendCmd(text, -1);
        } catch (...) {
            closeQuietly(client_);
            throw;
        }
    }
    std::string ReplyLine() const { return client_.GetCmdResult(); }
    std::vector<std::string> Capture()
    {
        TStringList list;
        try {
            client_.Capture(&list, ".", false);
        } catch (...) {
            reply_.reset();
            closeQuietly(client_);
            throw;
        }
        reply_.reset();
        return resplit(toLines(list));
    }
    // Sends quit: 230 gives an empty text, another code the reply line; a
    // failure gives nothing. The connection is closed afterwards.
    std::string Quit()
    {
        std::string bad;
        reply_.reset();
        try {
            if (client_.SendCmd(kQuitCommand, -1) != 230)
                bad = client_.GetCmdResult();
        } catch (...) {
        }
        closeQuietly(client_);
        return bad;
    }
    void Close()
    {
        reply_.reset();
        closeQuietly(client_);
    }

private:
    TNetTCPClient &client_;
    // The reply of the last command, until its list is read or the next
    // command goes out.
    std::optional<TNetTCPConnection::ReplyDeadline> reply_;
};

} // namespace

// ---- small texts ----------------------------------------------------------------------

int ReplyCode(const std::string &text)
{
    if (text.size() < 3 || !isDigit(text[0]) || !isDigit(text[1]) || !isDigit(text[2]))
        return 0;
    return (text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0');
}

std::string HostOf(const std::string &serverEntry)
{
    const size_t blank = serverEntry.find(' ');
    return blank == std::string::npos ? serverEntry : serverEntry.substr(0, blank);
}

int PortOf(const std::string &text, int fallback)
{
    int v = 0;
    if (!Rtl::TryStrToInt(Rtl::Trim(text), v) || v < 1 || v > 65535)
        return fallback;
    return v;
}

int TimeOutMs(const std::string &timeOutText)
{
    int v = 0;
    if (!Rtl::TryStrToInt(Rtl::Trim(timeOutText), v) || v <= 0)
        v = kDefaultTimeOutSeconds;
    if (v > 24 * 3600)
        v = 24 * 3600;
    return v * 1000;
}

void SplitEmail(const std::string &email, std::string &user, std::string &host)
{
    const size_t at = email.find('@');
    if (at == std::string::npos) {
        user.clear();
        host = email;
        return;
    }
    user = email.substr(0, at);
    host = email.substr(at + 1);
}

std::string CleanText(const std::string &text)
{
    std::string out = text;
    for (char &c : out)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            c = ' ';
    return out;
}

bool ValidCategory(const std::string &text)
{
    if (text.empty() || text.size() > 64)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) { return (c >= 'a' && c <= 'z') || isDigit(c); });
}

bool ValidDiscId(const std::string &text)
{
    return text.size() == 8 && std::all_of(text.begin(), text.end(), isHex);
}

// ---- commands and URLs ----------------------------------------------------------------

std::string HelloCommand(const std::string &email, const std::string &clientName)
{
    std::string user, host;
    SplitEmail(email, user, host);
    return "cddb hello " + user + " " + host + " " + clientName;
}

std::string ProtoCommand(int level) { return "proto " + Rtl::IntToStr(level); }

std::string QueryCommand(const std::string &discId, const std::string &queryText)
{
    return "cddb query " + discId + " " + queryText;
}

std::string ReadCommand(const std::string &category, const std::string &discId)
{
    return "cddb read " + category + " " + discId;
}

std::string HttpBase(const std::string &host, int port, const std::string &cgiPath)
{
    std::string base = "http://" + host;
    if (port != kDefaultHTTPPort)
        base += ":" + Rtl::IntToStr(port);
    return base + cgiPath + "?cmd=";
}

std::string HttpHello(const std::string &email, const std::string &versionText)
{
    std::string user, host;
    SplitEmail(email, user, host);
    return "&hello=" + user + "+" + host + "+" + "MIXDECK+" + versionText + "&proto=" + Rtl::IntToStr(kProtoLevel);
}

std::string HttpCommand(const std::string &cddbpCommand)
{
    std::string out = cddbpCommand;
    std::replace(out.begin(), out.end(), ' ', '+');
    return out;
}

// ---- lines ----------------------------------------------------------------------------

std::vector<std::string> SplitLines(const std::string &text, int maxLines)
{
    std::vector<std::string> lines;
    size_t start = 0;
    const size_t n = text.size();
    while (start < n && (maxLines <= 0 || int(lines.size()) < maxLines)) {
        size_t end = start;
        while (end < n && text[end] != '\r' && text[end] != '\n')
            ++end;
        lines.push_back(text.substr(start, end - start));
        if (end < n && text[end] == '\r' && end + 1 < n && text[end + 1] == '\n')
            end += 2;
        else if (end < n)
            end += 1;
        start = end;
    }
    return lines;
}

std::vector<std::string> ListLines(const std::string &body)
{
    std::vector<std::string> lines = SplitLines(body, kMaxListLines + 1);
    std::vector<std::string> out;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i] == ".")
            break;
        out.push_back(std::move(lines[i]));
    }
    if (int(out.size()) > kMaxListLines)
        out.resize(size_t(kMaxListLines));
    return out;
}

// ---- matches --------------------------------------------------------------------------

bool ParseMatchLine(const std::string &line, Match &match)
{
    const size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return false;
    Match m;
    m.Category = line.substr(0, blank);
    m.DiscId = line.substr(blank + 1, 8);
    m.Title = blank + 10 <= line.size() ? CleanText(line.substr(blank + 10)) : std::string();
    m.Line = CleanText(line);
    if (!ValidCategory(m.Category) || !ValidDiscId(m.DiscId))
        return false;
    // The disc id ends at a blank or the end of the line.
    if (blank + 9 < line.size() && line[blank + 9] != ' ')
        return false;
    match = std::move(m);
    return true;
}

bool ParseExactMatch(const std::string &replyLine, Match &match) { return ParseMatchLine(afterBlank(replyLine), match); }

std::vector<Match> ParseMatchList(const std::vector<std::string> &lines)
{
    std::vector<Match> out;
    for (const std::string &l : lines) {
        Match m;
        if (ParseMatchLine(l, m))
            out.push_back(std::move(m));
    }
    return out;
}

// ---- xmcd -----------------------------------------------------------------------------

std::string TakeValue(const std::vector<std::string> &lines, const std::string &name)
{
    std::string value;
    for (const std::string &l : lines) {
        const size_t eq = l.find('=');
        if (eq == std::string::npos || eq != name.size())
            continue;
        if (!Rtl::SameText(l.substr(0, eq), name))
            continue;
        if (value.size() + (l.size() - eq) > kMaxReplyBytes)
            break;
        value += l.substr(eq + 1);
    }
    return value;
}

XmcdEntry ParseXmcd(const std::vector<std::string> &lines, int trackCount)
{
    XmcdEntry e;
    trackCount = std::clamp(trackCount, 0, kMaxTracks);
    for (const std::string &l : lines) {
        if (l.size() < 11 || !Rtl::SameText(l.substr(0, 11), "# Revision:"))
            continue;
        // From the second character after the first ":".
        const size_t colon = l.find(':');
        int v = 0;
        if (Rtl::TryStrToInt(Rtl::Copy(l, int64_t(colon) + 3), v)) {
            e.HasRevision = true;
            e.Revision = v;
        }
        break;
    }
    const std::string dtitle = CleanText(TakeValue(lines, "DTITLE"));
    const size_t slash = dtitle.find('/');
    if (slash != std::string::npos) {
        e.Artist = Rtl::Trim(dtitle.substr(0, slash));
        e.Title = Rtl::Trim(dtitle.substr(slash + 1));
    } else {
        e.Artist = e.Title = Rtl::Trim(dtitle);
    }
    e.TrackTitles.resize(size_t(trackCount));
    e.ExtTrackTexts.resize(size_t(trackCount));
    for (int n = 0; n < trackCount; ++n) {
        e.TrackTitles[size_t(n)] = CleanText(TakeValue(lines, "TTITLE" + Rtl::IntToStr(n)));
        e.ExtTrackTexts[size_t(n)] = CleanText(TakeValue(lines, "EXTT" + Rtl::IntToStr(n)));
    }
    e.ExtDiscText = CleanText(TakeValue(lines, "EXTD"));
    return e;
}

// ---- lists ----------------------------------------------------------------------------

SiteTables ParseSites(const std::vector<std::string> &lines)
{
    SiteTables t;
    for (const std::string &raw : lines) {
        const std::string line = CleanText(raw);
        std::string words[4];
        size_t pos = 0;
        bool complete = true;
        for (std::string &w : words) {
            const size_t blank = line.find(' ', pos);
            if (blank == std::string::npos) {
                w = line.substr(std::min(pos, line.size()));
                pos = line.size();
                complete = false;
                break;
            }
            w = line.substr(pos, blank - pos);
            pos = blank + 1;
        }
        const std::string rest = complete ? line.substr(pos) : std::string();
        const std::string &site = words[0];
        if (site.empty())
            continue;
        if (words[1] == "cddbp") {
            if (int(t.CDDBServerList.size()) >= cddbopts::kMaxServers)
                continue;
            t.CDDBServerList.push_back(site + " " + rest);
            t.CDDBPortList.push_back(words[2]);
        } else {
            if (int(t.HTTPServerList.size()) >= cddbopts::kMaxServers)
                continue;
            t.HTTPServerList.push_back(site + " " + rest);
            t.CGIPathList.push_back(words[3]);
            t.HTTPPortList.push_back(words[2]);
        }
    }
    return t;
}

std::vector<std::string> CategoryItems(const std::vector<std::string> &lines)
{
    std::vector<std::string> items {" "};
    for (const std::string &raw : lines) {
        if (int(items.size()) >= cddbopts::kMaxCategories)
            break;
        const std::string c = trimRightBlanks(raw);
        if (ValidCategory(c))
            items.push_back(" " + c);
    }
    return items;
}

namespace {

// Only blanks (or nothing): a line that says nothing.
bool blankLine(const std::string &line) { return trimRightBlanks(line).empty(); }

// A site line: a host name or address, a protocol word and a port from 1
// to 65535, each followed by one blank (the port may end the line).
bool siteLine(const std::string &line)
{
    const size_t p1 = line.find(' ');
    const size_t p2 = p1 == std::string::npos ? p1 : line.find(' ', p1 + 1);
    if (p1 == 0 || p1 == std::string::npos || p2 == std::string::npos || p2 == p1 + 1)
        return false;
    const std::string site = line.substr(0, p1);
    const std::string port = line.substr(p2 + 1, line.find(' ', p2 + 1) - (p2 + 1));
    const bool hostChars = site.size() <= 255 && std::all_of(site.begin(), site.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || isDigit(c) || c == '.' || c == '-' ||
               c == ':' || c == '[' || c == ']';
    });
    const bool portDigits = !port.empty() && port.size() <= 5 && std::all_of(port.begin(), port.end(), isDigit);
    return hostChars && portDigits && std::stoi(port) >= 1 && std::stoi(port) <= 65535;
}

const char *const kListKept = " was not taken, the one you have stays: ";

// The refusal of a list with lines that are not what it holds; empty when
// every line that says something is one.
std::string badLines(const char *what, const char *noun, const std::vector<std::string> &lines,
                     const std::function<bool(const std::string &)> &valid)
{
    size_t bad = 0, said = 0;
    const std::string *first = nullptr;
    for (const std::string &l : lines) {
        if (blankLine(l))
            continue;
        ++said;
        if (!valid(l)) {
            if (!first)
                first = &l;
            ++bad;
        }
    }
    if (!first)
        return std::string();
    return std::string("The server's ") + what + kListKept + std::to_string(bad) + " of its " +
           std::to_string(said) + " lines are not " + noun + ", the first of them:\n" + *first;
}

std::string tooMany(const char *what, const char *noun, size_t count, size_t most)
{
    return std::string("The server's ") + what + kListKept + "it holds " + std::to_string(count) + " " + noun +
           ", more than the " + std::to_string(most) + " it may hold.";
}

} // namespace

std::string CategoryListRefusal(const std::vector<std::string> &lines)
{
    const auto category = [](const std::string &l) { return ValidCategory(trimRightBlanks(l)); };
    std::string why = badLines("category list", "categories", lines, category);
    // The first item of the box is a single blank.
    const size_t most = size_t(cddbopts::kMaxCategories - 1);
    const size_t count = size_t(std::count_if(lines.begin(), lines.end(), category));
    if (why.empty() && count > most)
        why = tooMany("category list", "categories", count, most);
    return why;
}

std::string SiteListRefusal(const std::vector<std::string> &lines)
{
    std::string why = badLines("site list", "site lines", lines, siteLine);
    // Each protocol's table holds at most kMaxServers entries.
    size_t cddbp = 0, other = 0;
    for (const std::string &l : lines) {
        if (blankLine(l))
            continue;
        // Counted as the tables take them.
        const std::string clean = CleanText(l);
        const size_t blank = clean.find(' ');
        ++(blank != std::string::npos && clean.compare(blank + 1, 6, "cddbp ") == 0 ? cddbp : other);
    }
    const size_t most = size_t(cddbopts::kMaxServers);
    if (why.empty() && std::max(cddbp, other) > most)
        why = tooMany("site list", "sites of one protocol", std::max(cddbp, other), most);
    return why;
}

// ---- results --------------------------------------------------------------------------

std::string RefusalMessage(Step step, int code, bool queueTexts)
{
    // "#" stands for the code.
    struct Refusal {
        Step step;
        int code;
        const char *text;
    };
    static const Refusal table[] = {
        {Step::Greeting, 432, "Connection Error: # Permission denied. Aborting."},
        {Step::Greeting, 433, "Connection Error: # Permission denied. Aborting."},
        {Step::Greeting, 434, "Connection Error: # Permission denied. Aborting."},
        {Step::Hello, 431, "Connection Error: # No Handshake. Aborting."},
        {Step::Proto, 501, "Connection Error: # Protocol level4 not supported"},
        {Step::Query, 202, "Sorry, CD not found on the remote server. Closing."},
        {Step::Query, 403, "There is a problem on the server. Database entry is corrupt. Closing."},
        {Step::Query, 409, "Connection closed by remote server or no handshake. Closing"},
        {Step::Read, 401, "Error, specified CDDB entry not found. Closing."},
        {Step::Read, 402, "Sorry, server error. Closing."},
        {Step::Read, 403, "Sorry, database entry is corrupt. Closing."},
        {Step::Read, 409, "Error, no handshake. Closing."},
    };
    for (const Refusal &r : table) {
        if (r.step != step || r.code != code)
            continue;
        std::string text = Rtl::StringReplace(r.text, "#", Rtl::IntToStr(code));
        // The queue window ends the protocol-level message with a full stop.
        if (queueTexts && step == Step::Proto)
            text += ".";
        return text;
    }
    return std::string();
}

std::string FailureMessage(const std::string &sizeError) { return sizeError.empty() ? kConnectionError : sizeError; }

std::string QueueMessage(const LookupResult &result)
{
    switch (result.Kind) {
    case Outcome::Refused:
        return RefusalMessage(result.At, result.Code, true);
    case Outcome::Unexpected:
    case Outcome::Failed:
    case Outcome::ConnectFailed:
        return kQueueConnectionError;
    default:
        return std::string();
    }
}

std::string BoxText(const std::string &peerText)
{
    std::string out;
    size_t start = 0;
    const size_t n = peerText.size();
    for (int line = 0; start < n; ++line) {
        if (line == kBoxLines) {
            out += kBoxCutMark;
            break;
        }
        size_t end = start;
        while (end < n && peerText[end] != '\r' && peerText[end] != '\n')
            ++end;
        // The line break as the peer sent it: CR LF, LF or CR.
        size_t next = end;
        if (next < n && peerText[next] == '\r')
            ++next;
        if (next < n && peerText[next] == '\n' && (next == end || peerText[end] == '\r'))
            ++next;
        out.append(peerText, start, std::min(end - start, size_t(kBoxLineChars)));
        if (end - start > size_t(kBoxLineChars))
            out += kBoxCutMark;
        out.append(peerText, end, next - end);
        start = next;
    }
    return out;
}

// ---- settings -------------------------------------------------------------------------

Settings SettingsFromOptions(const cddbopts::CDDBOptions &o, const std::string &clientName,
                             const std::string &versionText)
{
    Settings s;
    s.UseHTTP = o.UseHTTP;
    const int i = o.ServerToUse < 0 ? 0 : o.ServerToUse;
    auto at = [i](const std::vector<std::string> &list) {
        return size_t(i) < list.size() ? list[size_t(i)] : std::string();
    };
    if (o.UseHTTP) {
        s.ServerEntry = at(o.HTTPServerList);
        s.HTTPPortText = at(o.HTTPPortList);
        s.CGIPath = at(o.CGIPathList);
    } else {
        s.ServerEntry = at(o.CDDBServerList);
        s.CDDBPortText = at(o.CDDBPortList);
    }
    s.Host = HostOf(s.ServerEntry);
    s.CDDBPort = PortOf(s.CDDBPortText, kDefaultCDDBPort);
    s.HTTPPort = PortOf(s.HTTPPortText, kDefaultHTTPPort);
    s.UserEmail = o.UserEmail;
    s.ClientName = clientName;
    s.VersionText = versionText;
    if (o.UseProxy) {
        s.Socks.Host = o.ProxyAddress;
        s.Socks.Port = PortOf(o.ProxyPort, kDefaultProxyPort);
        const auto &v = cddbopts::kSocksVersions;
        const auto found = std::find(v.begin(), v.end(), o.SocksVer);
        s.Socks.Version = found == v.end() ? svNoSocks : TSocksVersion(found - v.begin());
        if (o.UseProxyAuth) {
            s.Socks.Authentication = saUsernamePassword;
            s.Socks.UserID = o.Username;
            s.Socks.Password = o.Password;
        }
    }
    s.TimeOutMs = TimeOutMs(o.TimeOut);
    return s;
}

void PrepareLineClient(TNetTCPClient &client, const Settings &settings)
{
    client.Host = settings.Host;
    client.Port = settings.CDDBPort;
    client.ConnectTimeout = settings.TimeOutMs;
    client.ReadTimeout = settings.TimeOutMs;
    client.MaxReadBytes = int64_t(kMaxReplyBytes);
    client.MaxCaptureLines = kMaxListLines;
    client.MaxLineLength = 64 * 1024;
    TSocksInfo none;
    client.SetSocksInfo(none);
}

void PrepareHttpClient(TNetHTTP &client, const Settings &settings)
{
    client.Host = settings.Host;
    client.Port = settings.HTTPPort;
    client.SetSocksInfo(settings.Socks);
    client.ConnectTimeout = settings.TimeOutMs;
    client.ReadTimeout = settings.TimeOutMs;
    client.MaxReadBytes = int64_t(kMaxReplyBytes);
    client.MaxLineLength = 64 * 1024;
    client.Request.Accept = kHttpAccept;
    client.Request.ContentType = kHttpContentType;
    client.Request.UserAgent = kHttpUserAgent;
    client.Request.ContentLength = 0;
    client.Request.ProxyServer.clear();
    client.UseNagle = false;
    client.ProtocolVersion = pv1_1;
    client.HandleRedirects = false;
}

// ---- lookups --------------------------------------------------------------------------

namespace {

// What a step's reply code means.
enum class Verdict { Next, Refused, Unexpected };

Verdict judge(Step step, int code)
{
    // Per step: the codes that go on and the refusals; any other code is unexpected.
    struct StepCodes {
        Step step;
        std::vector<int> next, refused;
    };
    static const StepCodes table[] = {
        {Step::Greeting, {200, 201}, {432, 433, 434}},
        {Step::Hello, {200, 402}, {431}},
        {Step::Proto, {200, 201, 502}, {501}},
        {Step::Query, {200, 210, 211}, {202, 403, 409}},
        {Step::Read, {210}, {401, 402, 403, 409}},
        {Step::Sites, {210}, {401}},
        {Step::LsCat, {210}, {}},
        {Step::Motd, {210}, {}},
    };
    auto has = [code](const std::vector<int> &codes) { return std::find(codes.begin(), codes.end(), code) != codes.end(); };
    for (const StepCodes &c : table)
        if (c.step == step)
            return has(c.next) ? Verdict::Next : (has(c.refused) ? Verdict::Refused : Verdict::Unexpected);
    return Verdict::Unexpected;
}

// Opens the line connection with the settings; false (closed) when connecting failed.
bool openLine(TNetTCPClient &client, const Settings &s, std::function<void()> connected)
{
    PrepareLineClient(client, s);
    ConnectedHook hook(client, std::move(connected));
    try {
        if (!client.Connected())
            client.Connect();
        return true;
    } catch (...) {
        closeQuietly(client);
        return false;
    }
}

// The exact match of a query reply or the chosen one of its list; false
// when the user chose none (r then tells why).
bool pickMatch(int code, const std::string &replyLine, const std::function<std::vector<std::string>()> &listLines,
               ExchangeHooks &hooks, LookupResult &r, Match &match)
{
    if (code == 200) {
        if (ParseExactMatch(replyLine, match))
            return true;
        r.Kind = Outcome::Unexpected;
        return false;
    }
    const std::vector<Match> matches = ParseMatchList(listLines());
    r.MatchCount = int(matches.size());
    r.At = Step::Choose;
    hooks.Status(kWaitingChoice);
    const int chosen = hooks.Choose(matches);
    if (chosen < 0 || chosen >= int(matches.size())) {
        r.Kind = Outcome::NoChoice;
        return false;
    }
    match = matches[size_t(chosen)];
    return true;
}

// True when the step's code goes on; otherwise ends the exchange through
// end(outcome, code, message): a refusal with its message, anything else
// unexpected with the text.
template <class End>
bool goesOn(Step step, int code, const std::string &text, End &&end)
{
    switch (judge(step, code)) {
    case Verdict::Next:
        return true;
    case Verdict::Refused:
        end(Outcome::Refused, code, RefusalMessage(step, code));
        return false;
    case Verdict::Unexpected:
        end(Outcome::Unexpected, code, text);
        return false;
    }
    return false;
}

// The steps that open every cddbp dialogue.
struct Handshake {
    std::function<void(const std::string &)> show;         // the greeting, and a text before each command
    std::function<bool(int, const std::string &)> judged;  // a step's code and text: true to go on
    std::function<void()> answered;                        // after an accepted hello or proto reply
};

// Greeting, hello and, unless stopAfterHello, proto; false when a step
// ended the dialogue. code: the last reply code.
bool handshake(LineDialogue &d, const Settings &s, Step &at, const Handshake &h, bool stopAfterHello, int &code)
{
    at = Step::Greeting;
    const std::string greeting = d.Greeting();
    h.show(greeting);
    code = ReplyCode(greeting);
    if (!h.judged(code, greeting))
        return false;
    at = Step::Hello;
    h.show(kHandshaking);
    code = d.Command(HelloCommand(s.UserEmail, s.ClientName));
    if (!h.judged(code, d.ReplyLine()))
        return false;
    h.answered();
    if (stopAfterHello)
        return true;
    at = Step::Proto;
    h.show(kSettingProto + Rtl::IntToStr(kProtoLevel));
    code = d.Command(ProtoCommand());
    if (!h.judged(code, d.ReplyLine()))
        return false;
    h.answered();
    return true;
}

} // namespace

LookupResult CddbpLookup(TNetTCPClient &client, const Settings &s, const Disc &disc, ExchangeHooks &hooks)
{
    LookupResult r;
    r.At = Step::Connect;
    hooks.Status("Connecting to " + s.Host + " via cddbp protocol...");
    if (!openLine(client, s, [&hooks] { hooks.Connected(); })) {
        hooks.Status(std::string());
        return r;
    }
    LineDialogue d(client);
    // Every way out: the outcome, quit unless the dialogue is already over
    // (no choice, a failure), the status cleared.
    auto end = [&](Outcome kind, int code, const std::string &message) {
        r.Kind = kind;
        r.Code = code;
        r.Message = message;
        if (kind != Outcome::NoChoice && kind != Outcome::Failed) {
            hooks.Status(kDisconnecting);
            r.QuitReply = d.Quit();
        } else {
            d.Close();
        }
        hooks.Status(std::string());
        return r;
    };
    // A step's code: true to go on; otherwise the dialogue has ended.
    auto judged = [&](int code, const std::string &text) { return goesOn(r.At, code, text, end); };
    try {
        int code = 0;
        if (!handshake(d, s, r.At, {[&](const std::string &t) { hooks.Status(t); }, judged, [] {}}, false, code))
            return r;
        r.At = Step::Query;
        hooks.BeforeQuery();
        hooks.Status(kQuerying);
        code = d.Command(QueryCommand(disc.DiscId, disc.QueryText));
        r.QueryAnswered = true;
        if (!judged(code, d.ReplyLine()))
            return r;
        Match match;
        const std::string queryLine = d.ReplyLine();
        if (!pickMatch(code, queryLine, [&] { hooks.Status(kReading); return d.Capture(); }, hooks, r, match))
            return end(r.Kind, code, r.Kind == Outcome::Unexpected ? queryLine : std::string());
        r.Category = match.Category;
        r.DiscId = match.DiscId;
        r.At = Step::Read;
        hooks.Status(kReading);
        code = d.Command(ReadCommand(match.Category, match.DiscId));
        r.ReadAnswered = true;
        if (!judged(code, d.ReplyLine()))
            return r;
        r.EntryLines = d.Capture();
        r.Entry = ParseXmcd(r.EntryLines, disc.TrackCount);
        return end(Outcome::Found, code, std::string());
    } catch (...) {
        r.SizeError = sizeRefusal();
        return end(Outcome::Failed, 0, std::string());
    }
}

LookupResult HttpLookup(TNetHTTP &client, const Settings &s, const Disc &disc, ExchangeHooks &hooks)
{
    LookupResult r;
    PrepareHttpClient(client, s);
    ConnectedHook hook(client, [&hooks] { hooks.Connected(); });
    const std::string base = HttpBase(s.Host, s.HTTPPort, s.CGIPath);
    const std::string hello = HttpHello(s.UserEmail, s.VersionText);
    hooks.Status("Connecting to " + s.Host + " via http protocol...");
    auto end = [&](Outcome kind, int code, const std::string &message) {
        r.Kind = kind;
        r.Code = code;
        r.Message = message;
        closeQuietly(client);
        hooks.Status(std::string());
        return r;
    };
    // A reply's code: true to go on; otherwise the lookup has ended.
    auto judged = [&](int code, const std::string &body) { return goesOn(r.At, code, body, end); };
    try {
        r.At = Step::Query;
        hooks.BeforeQuery();
        const std::string query =
            client.GetString(base + HttpCommand(QueryCommand(disc.DiscId, disc.QueryText)) + hello);
        hooks.Status(kQuerying);
        r.QueryAnswered = true;
        int code = ReplyCode(query);
        if (!judged(code, query))
            return r;
        Match match;
        const std::vector<std::string> first = SplitLines(query, 1);
        if (!pickMatch(code, first.empty() ? std::string() : first[0], [&] { return ListLines(query); }, hooks, r,
                       match))
            return end(r.Kind, code, r.Kind == Outcome::Unexpected ? query : std::string());
        r.Category = match.Category;
        r.DiscId = match.DiscId;
        r.At = Step::Read;
        const std::string entry =
            client.GetString(base + HttpCommand(ReadCommand(match.Category, match.DiscId)) + hello);
        hooks.Status(kReading);
        r.ReadAnswered = true;
        code = ReplyCode(entry);
        if (!judged(code, entry))
            return r;
        r.EntryLines = ListLines(entry);
        r.Entry = ParseXmcd(r.EntryLines, disc.TrackCount);
        return end(Outcome::Found, code, std::string());
    } catch (...) {
        r.SizeError = sizeRefusal();
        return end(Outcome::Failed, 0, std::string());
    }
}

LookupResult Lookup(TNetTCPClient &line, TNetHTTP &http, const Settings &settings, const Disc &disc,
                    ExchangeHooks &hooks)
{
    return settings.UseHTTP ? HttpLookup(http, settings, disc, hooks) : CddbpLookup(line, settings, disc, hooks);
}

// ---- server tasks ---------------------------------------------------------------------

ServerResult CddbpServerTask(TNetTCPClient &client, const Settings &s, ServerTask task, ExchangeHooks &hooks)
{
    ServerResult r;
    r.At = Step::Connect;
    hooks.Log("Initiating connection to " + s.ServerEntry + " on port " + s.CDDBPortText + "...");
    hooks.Log(std::string());
    if (!openLine(client, s, [&hooks] { hooks.Log(kServerResponding); }))
        return r;
    LineDialogue d(client);
    auto quit = [&](Outcome kind, int code, const std::string &message) {
        r.Kind = kind;
        r.Code = code;
        r.Message = message;
        hooks.Log(kDisconnected);
        r.QuitReply = d.Quit();
        return r;
    };
    // A step's code: true to go on. A refusal logs the reply (the greeting's
    // is logged already) and quits; an unexpected code is reported, then quit.
    auto judged = [&](int code, const std::string &text) {
        switch (judge(r.At, code)) {
        case Verdict::Next:
            return true;
        case Verdict::Refused:
            if (r.At != Step::Greeting) {
                hooks.Log(text);
                hooks.Log(std::string());
            }
            quit(Outcome::Refused, code, std::string());
            return false;
        case Verdict::Unexpected:
            quit(Outcome::Unexpected, code, text);
            return false;
        }
        return false;
    };
    auto logReply = [&] {
        hooks.Log(d.ReplyLine());
        hooks.Log(std::string());
    };
    // A list reply: its reply line and its lines logged, then an empty line.
    auto captureList = [&] {
        hooks.Log(d.ReplyLine());
        const std::vector<std::string> lines = d.Capture();
        for (const std::string &l : lines)
            hooks.Log(l);
        hooks.Log(std::string());
        return lines;
    };
    try {
        int code = 0;
        if (!handshake(d, s, r.At, {[&](const std::string &t) { hooks.Log(t); }, judged, logReply},
                       task == ServerTask::Test, code))
            return r;
        if (task == ServerTask::Test)
            return quit(Outcome::Found, code, std::string());
        const bool categories = task == ServerTask::Categories;
        r.At = categories ? Step::LsCat : Step::Sites;
        hooks.Log(categories ? kGettingCategories : kGettingSites);
        code = d.Command(categories ? kLsCatCommand : kSitesCommand);
        if (!judged(code, d.ReplyLine()))
            return r;
        const std::vector<std::string> lines = captureList();
        // A list with lines it cannot hold is said, and changes nothing.
        const std::string refusal = categories ? CategoryListRefusal(lines) : SiteListRefusal(lines);
        if (!refusal.empty())
            return quit(Outcome::Unexpected, code, refusal);
        if (categories) {
            r.Categories = CategoryItems(lines);
            r.HaveCategories = true;
        } else {
            r.Sites = ParseSites(lines);
            r.HaveSites = !r.Sites.empty();
        }
        return quit(Outcome::Found, code, std::string());
    } catch (...) {
        r.SizeError = sizeRefusal();
        closeQuietly(client);
        r.Kind = Outcome::Failed;
        return r;
    }
}

ServerResult HttpServerTask(TNetHTTP &client, const Settings &s, ServerTask task, ExchangeHooks &hooks)
{
    ServerResult r;
    PrepareHttpClient(client, s);
    ConnectedHook hook(client, [&hooks] { hooks.Log(kServerResponding); });
    struct Form {
        std::string command;
        Step step;
        const char *before;  // logged before the reply
        const char *done;    // logged after a 210
    };
    const Form f = task == ServerTask::Test    ? Form {kMotdCommand, Step::Motd, nullptr, kHandshakeOk}
                   : task == ServerTask::Sites ? Form {std::string(kSitesCommand) + "+", Step::Sites, kGettingSites, kSitesOk}
                                               : Form {HttpCommand(kLsCatCommand) + "+", Step::LsCat,
                                                       kGettingCategories, kCategoriesOk};
    r.At = f.step;
    hooks.Log("Initiating connection to " + s.ServerEntry + " on port " + s.HTTPPortText + "...");
    hooks.Log(std::string());
    std::string body;
    try {
        body = client.GetString(HttpBase(s.Host, s.HTTPPort, s.CGIPath) + f.command +
                                HttpHello(s.UserEmail, s.VersionText));
    } catch (...) {
        // A reply too large came from a server that answered: a failure of
        // its own, not "not responding".
        r.SizeError = sizeRefusal();
        closeQuietly(client);
        r.Kind = r.SizeError.empty() ? Outcome::ConnectFailed : Outcome::Failed;
        return r;
    }
    closeQuietly(client);
    if (f.before)
        hooks.Log(f.before);
    const std::vector<std::string> bodyLines = SplitLines(body);
    auto logBody = [&] {
        for (const std::string &l : bodyLines)
            hooks.Log(l);
    };
    logBody();
    r.Code = ReplyCode(body);
    if (task == ServerTask::Test && (r.Code == 402 || r.Code == 431)) {
        // The server answers, but not with a message of the day.
        logBody();
        r.Kind = Outcome::Refused;
    } else {
        switch (judge(f.step, r.Code)) {
        case Verdict::Next: {
            const std::vector<std::string> list = ListLines(body);
            // A list with lines it cannot hold is said, and changes nothing.
            const std::string refusal = task == ServerTask::Sites        ? SiteListRefusal(list)
                                        : task == ServerTask::Categories ? CategoryListRefusal(list)
                                                                         : std::string();
            if (!refusal.empty()) {
                r.Kind = Outcome::Unexpected;
                r.Message = refusal;
                break;
            }
            r.Kind = Outcome::Found;
            hooks.Log(f.done);
            if (task == ServerTask::Sites) {
                r.Sites = ParseSites(list);
                r.HaveSites = !r.Sites.empty();
            } else if (task == ServerTask::Categories) {
                r.Categories = CategoryItems(list);
                r.HaveCategories = true;
            }
            break;
        }
        case Verdict::Refused:
            r.Kind = Outcome::Refused;
            break;
        case Verdict::Unexpected:
            r.Kind = Outcome::Unexpected;
            r.Message = body;
            break;
        }
    }
    hooks.Log(kDisconnected);
    return r;
}

} // namespace cddbx
