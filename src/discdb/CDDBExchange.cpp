#include "discdb/CDDBExchange.h"

#include "netclient/NetHTTP.h"
#include "netclient/NetTCPClient.h"
#include "platform/Classes.h"
#include "platform/Rtl.h"

#include <algorithm>
#include <exception>

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
// connection and raises; Quit never raises.
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
            closeQuietly(client_);
            throw;
        }
        return resplit(toLines(list));
    }
    // Sends quit: 230 gives an empty text, another code the reply line; a
    // failure gives nothing. The connection is closed afterwards.
    std::string Quit()
    {
        std::string bad;
        try {
            if (client_.SendCmd(kQuitCommand, -1) != 230)
                bad = client_.GetCmdResult();
        } catch (...) {
        }
        closeQuietly(client_);
        return bad;
    }
    void Close() { closeQuietly(client_); }

private:
    TNetTCPClient &client_;
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

// ---- results --------------------------------------------------------------------------

std::string RefusalMessage(Step step, int code, bool queueTexts)
{
    const std::string c = Rtl::IntToStr(code);
    switch (step) {
    case Step::Greeting:
        if (code >= 432 && code <= 434)
            return "Connection Error: " + c + " Permission denied. Aborting.";
        break;
    case Step::Hello:
        if (code == 431)
            return "Connection Error: " + c + " No Handshake. Aborting.";
        break;
    case Step::Proto:
        if (code == 501)
            return "Connection Error: " + c + " Protocol level" + Rtl::IntToStr(kProtoLevel) + " not supported" +
                   (queueTexts ? "." : "");
        break;
    case Step::Query:
        if (code == 202)
            return "Sorry, CD not found on the remote server. Closing.";
        if (code == 403)
            return "There is a problem on the server. Database entry is corrupt. Closing.";
        if (code == 409)
            return "Connection closed by remote server or no handshake. Closing";
        break;
    case Step::Read:
        if (code == 401)
            return "Error, specified CDDB entry not found. Closing.";
        if (code == 402)
            return "Sorry, server error. Closing.";
        if (code == 403)
            return "Sorry, database entry is corrupt. Closing.";
        if (code == 409)
            return "Error, no handshake. Closing.";
        break;
    default:
        break;
    }
    return std::string();
}

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

LookupResult CddbpLookup(TNetTCPClient &client, const Settings &s, const Disc &disc, ExchangeHooks &hooks)
{
    LookupResult r;
    PrepareLineClient(client, s);
    ConnectedHook hook(client, [&hooks] { hooks.Connected(); });
    LineDialogue d(client);
    hooks.Status("Connecting to " + s.Host + " via cddbp protocol...");
    r.At = Step::Connect;
    try {
        if (!client.Connected())
            client.Connect();
    } catch (...) {
        d.Close();
        r.Kind = Outcome::ConnectFailed;
        hooks.Status(std::string());
        return r;
    }

    // Quit after a refusal or an unexpected reply.
    auto endWith = [&](Outcome kind, Step step, int code, const std::string &message) {
        r.Kind = kind;
        r.At = step;
        r.Code = code;
        r.Message = message;
        hooks.Status(kDisconnecting);
        r.QuitReply = d.Quit();
        hooks.Status(std::string());
        return r;
    };
    auto refuse = [&](Step step, int code) { return endWith(Outcome::Refused, step, code, RefusalMessage(step, code)); };
    auto report = [&](Step step, int code, const std::string &text) {
        return endWith(Outcome::Unexpected, step, code, text);
    };

    Step step = Step::Greeting;
    try {
        const std::string greeting = d.Greeting();
        hooks.Status(greeting);
        int code = ReplyCode(greeting);
        if (code >= 432 && code <= 434)
            return refuse(step, code);
        if (code != 200 && code != 201)
            return report(step, code, greeting);

        step = Step::Hello;
        hooks.Status(kHandshaking);
        code = d.Command(HelloCommand(s.UserEmail, s.ClientName));
        if (code == 431)
            return refuse(step, code);
        if (code != 200 && code != 402)
            return report(step, code, d.ReplyLine());

        step = Step::Proto;
        hooks.Status(kSettingProto + Rtl::IntToStr(kProtoLevel));
        code = d.Command(ProtoCommand());
        if (code == 501)
            return refuse(step, code);
        if (code != 200 && code != 201 && code != 502)
            return report(step, code, d.ReplyLine());

        step = Step::Query;
        hooks.BeforeQuery();
        hooks.Status(kQuerying);
        code = d.Command(QueryCommand(disc.DiscId, disc.QueryText));
        r.QueryAnswered = true;
        Match match;
        if (code == 200) {
            if (!ParseExactMatch(d.ReplyLine(), match))
                return report(step, code, d.ReplyLine());
        } else if (code == 210 || code == 211) {
            hooks.Status(kReading);
            const std::vector<Match> matches = ParseMatchList(d.Capture());
            r.MatchCount = int(matches.size());
            step = Step::Choose;
            hooks.Status(kWaitingChoice);
            const int chosen = hooks.Choose(matches);
            if (chosen < 0 || chosen >= int(matches.size())) {
                d.Close();
                r.Kind = Outcome::NoChoice;
                r.At = step;
                r.Code = code;
                hooks.Status(std::string());
                return r;
            }
            match = matches[size_t(chosen)];
        } else if (!RefusalMessage(step, code).empty()) {
            return refuse(step, code);
        } else {
            return report(step, code, d.ReplyLine());
        }
        r.Category = match.Category;
        r.DiscId = match.DiscId;

        step = Step::Read;
        hooks.Status(kReading);
        code = d.Command(ReadCommand(match.Category, match.DiscId));
        r.ReadAnswered = true;
        if (code != 210) {
            if (!RefusalMessage(step, code).empty())
                return refuse(step, code);
            return report(step, code, d.ReplyLine());
        }
        r.EntryLines = d.Capture();
        r.Entry = ParseXmcd(r.EntryLines, disc.TrackCount);
        return endWith(Outcome::Found, step, code, std::string());
    } catch (...) {
        d.Close();
        r.Kind = Outcome::Failed;
        r.At = step;
        hooks.Status(std::string());
        return r;
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

    auto finish = [&](Outcome kind, Step step, int code, const std::string &message) {
        r.Kind = kind;
        r.At = step;
        r.Code = code;
        r.Message = message;
        closeQuietly(client);
        hooks.Status(std::string());
        return r;
    };
    Step step = Step::Query;
    try {
        hooks.BeforeQuery();
        const std::string query = client.GetString(base + HttpCommand(QueryCommand(disc.DiscId, disc.QueryText)) + hello);
        hooks.Status(kQuerying);
        r.QueryAnswered = true;
        int code = ReplyCode(query);
        Match match;
        if (code == 200) {
            const std::vector<std::string> lines = SplitLines(query, 1);
            if (lines.empty() || !ParseExactMatch(lines[0], match))
                return finish(Outcome::Unexpected, step, code, query);
        } else if (code == 210 || code == 211) {
            const std::vector<Match> matches = ParseMatchList(ListLines(query));
            r.MatchCount = int(matches.size());
            step = Step::Choose;
            hooks.Status(kWaitingChoice);
            const int chosen = hooks.Choose(matches);
            if (chosen < 0 || chosen >= int(matches.size()))
                return finish(Outcome::NoChoice, step, code, std::string());
            match = matches[size_t(chosen)];
        } else if (!RefusalMessage(step, code).empty()) {
            return finish(Outcome::Refused, step, code, RefusalMessage(step, code));
        } else {
            return finish(Outcome::Unexpected, step, code, query);
        }
        r.Category = match.Category;
        r.DiscId = match.DiscId;

        step = Step::Read;
        const std::string entry =
            client.GetString(base + HttpCommand(ReadCommand(match.Category, match.DiscId)) + hello);
        hooks.Status(kReading);
        r.ReadAnswered = true;
        code = ReplyCode(entry);
        if (code != 210) {
            if (!RefusalMessage(step, code).empty())
                return finish(Outcome::Refused, step, code, RefusalMessage(step, code));
            return finish(Outcome::Unexpected, step, code, entry);
        }
        r.EntryLines = ListLines(entry);
        r.Entry = ParseXmcd(r.EntryLines, disc.TrackCount);
        return finish(Outcome::Found, step, code, std::string());
    } catch (...) {
        return finish(Outcome::Failed, step, 0, std::string());
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
    PrepareLineClient(client, s);
    ConnectedHook hook(client, [&hooks] { hooks.Log(kServerResponding); });
    LineDialogue d(client);
    hooks.Log("Initiating connection to " + s.ServerEntry + " on port " + s.CDDBPortText + "...");
    hooks.Log(std::string());
    r.At = Step::Connect;
    try {
        if (!client.Connected())
            client.Connect();
    } catch (...) {
        d.Close();
        r.Kind = Outcome::ConnectFailed;
        return r;
    }
    auto quit = [&](Outcome kind, Step step, int code, const std::string &message) {
        r.Kind = kind;
        r.At = step;
        r.Code = code;
        r.Message = message;
        hooks.Log(kDisconnected);
        r.QuitReply = d.Quit();
        return r;
    };
    auto logReply = [&] {
        hooks.Log(d.ReplyLine());
        hooks.Log(std::string());
    };
    auto logLines = [&](const std::vector<std::string> &lines) {
        for (const std::string &l : lines)
            hooks.Log(l);
    };
    Step step = Step::Greeting;
    try {
        const std::string greeting = d.Greeting();
        hooks.Log(greeting);
        int code = ReplyCode(greeting);
        if (code >= 432 && code <= 434)
            return quit(Outcome::Refused, step, code, std::string());
        if (code != 200 && code != 201)
            return quit(Outcome::Unexpected, step, code, greeting);

        step = Step::Hello;
        hooks.Log(kHandshaking);
        code = d.Command(HelloCommand(s.UserEmail, s.ClientName));
        if (code == 431) {
            logReply();
            return quit(Outcome::Refused, step, code, std::string());
        }
        if (code != 200 && code != 402)
            return quit(Outcome::Unexpected, step, code, d.ReplyLine());
        logReply();
        if (task == ServerTask::Test)
            return quit(Outcome::Found, step, code, std::string());

        step = Step::Proto;
        hooks.Log(kSettingProto + Rtl::IntToStr(kProtoLevel));
        code = d.Command(ProtoCommand());
        if (code == 501) {
            logReply();
            return quit(Outcome::Refused, step, code, std::string());
        }
        if (code != 200 && code != 201 && code != 502)
            return quit(Outcome::Unexpected, step, code, d.ReplyLine());
        logReply();

        if (task == ServerTask::Categories) {
            step = Step::LsCat;
            hooks.Log(kGettingCategories);
            code = d.Command(kLsCatCommand);
            if (code != 210)
                return quit(Outcome::Unexpected, step, code, d.ReplyLine());
            hooks.Log(d.ReplyLine());
            const std::vector<std::string> lines = d.Capture();
            logLines(lines);
            r.Categories = CategoryItems(lines);
            r.HaveCategories = true;
            hooks.Log(std::string());
            return quit(Outcome::Found, step, code, std::string());
        }
        step = Step::Sites;
        hooks.Log(kGettingSites);
        code = d.Command(kSitesCommand);
        if (code == 401) {
            logReply();
            return quit(Outcome::Refused, step, code, std::string());
        }
        if (code != 210)
            return quit(Outcome::Unexpected, step, code, d.ReplyLine());
        hooks.Log(d.ReplyLine());
        const std::vector<std::string> lines = d.Capture();
        logLines(lines);
        r.Sites = ParseSites(lines);
        r.HaveSites = !r.Sites.empty();
        hooks.Log(std::string());
        return quit(Outcome::Found, step, code, std::string());
    } catch (...) {
        d.Close();
        r.Kind = Outcome::Failed;
        r.At = step;
        return r;
    }
}

ServerResult HttpServerTask(TNetHTTP &client, const Settings &s, ServerTask task, ExchangeHooks &hooks)
{
    ServerResult r;
    PrepareHttpClient(client, s);
    ConnectedHook hook(client, [&hooks] { hooks.Log(kServerResponding); });
    const std::string base = HttpBase(s.Host, s.HTTPPort, s.CGIPath);
    const std::string hello = HttpHello(s.UserEmail, s.VersionText);
    std::string command;
    switch (task) {
    case ServerTask::Test:
        command = kMotdCommand;
        r.At = Step::Motd;
        break;
    case ServerTask::Sites:
        command = std::string(kSitesCommand) + "+";
        r.At = Step::Sites;
        break;
    case ServerTask::Categories:
        command = HttpCommand(kLsCatCommand) + "+";
        r.At = Step::LsCat;
        break;
    }
    hooks.Log("Initiating connection to " + s.ServerEntry + " on port " + s.HTTPPortText + "...");
    hooks.Log(std::string());
    std::string body;
    try {
        body = client.GetString(base + command + hello);
    } catch (...) {
        closeQuietly(client);
        r.Kind = Outcome::ConnectFailed;
        return r;
    }
    closeQuietly(client);
    if (task == ServerTask::Sites)
        hooks.Log(kGettingSites);
    else if (task == ServerTask::Categories)
        hooks.Log(kGettingCategories);
    const std::vector<std::string> bodyLines = SplitLines(body);
    for (const std::string &l : bodyLines)
        hooks.Log(l);
    const int code = ReplyCode(body);
    r.Code = code;
    r.Kind = Outcome::Found;
    switch (task) {
    case ServerTask::Test:
        if (code == 210) {
            hooks.Log(kHandshakeOk);
        } else if (code == 402 || code == 431) {
            for (const std::string &l : bodyLines)
                hooks.Log(l);
            r.Kind = Outcome::Refused;
        } else {
            r.Kind = Outcome::Unexpected;
            r.Message = body;
        }
        break;
    case ServerTask::Sites:
        if (code == 210) {
            hooks.Log(kSitesOk);
            r.Sites = ParseSites(ListLines(body));
            r.HaveSites = !r.Sites.empty();
        } else if (code == 401) {
            r.Kind = Outcome::Refused;
        } else {
            r.Kind = Outcome::Unexpected;
            r.Message = body;
        }
        break;
    case ServerTask::Categories:
        if (code == 210) {
            hooks.Log(kCategoriesOk);
            r.Categories = CategoryItems(ListLines(body));
            r.HaveCategories = true;
        } else {
            r.Kind = Outcome::Unexpected;
            r.Message = body;
        }
        break;
    }
    hooks.Log(kDisconnected);
    return r;
}

} // namespace cddbx
