#include "netclient/NetHTTP.h"

#include "netclient/NetCoder3To4.h"
#include "netclient/NetGlobal.h"
#include "netclient/NetSSLIntercept.h"

#include <cctype>

using Rtl::Trim;

// ---- URI ---------------------------------------------------------------------------

TNetURI::TNetURI(const std::string &uri) : URI(uri)
{
    if (!uri.empty())
        ParseURI(uri, Protocol, Host, Path, Document, Port, Bookmark);
}

std::string TNetURI::NormalizePath(const std::string &path)
{
    // The program's code page has no lead bytes, so every backslash is one.
    std::string s = path;
    for (char &c : s)
        if (c == '\\')
            c = '/';
    return s;
}

void TNetURI::ParseURI(std::string uri, std::string &protocol, std::string &host, std::string &path,
                       std::string &document, std::string &port, std::string &bookmark)
{
    protocol.clear();
    host.clear();
    path.clear();
    document.clear();
    port.clear();
    bookmark.clear();
    uri = NormalizePath(uri);
    const size_t scheme = uri.find("://");
    if (scheme != std::string::npos) {
        protocol = uri.substr(0, scheme);
        uri.erase(0, scheme + 3);
        const size_t slash = uri.find('/');
        std::string hostPort = uri.substr(0, slash);
        uri = slash == std::string::npos ? std::string() : uri.substr(slash + 1);
        const size_t colon = hostPort.find(':');
        host = hostPort.substr(0, colon);
        if (colon != std::string::npos)
            port = hostPort.substr(colon + 1);
    }
    const size_t last = uri.rfind('/');
    if (last != std::string::npos) {
        path = uri.substr(0, last + 1);
        document = uri.substr(last + 1);
    } else {
        document = uri;
    }
    if (path.empty() || path[0] != '/')
        path.insert(0, "/");
    const size_t hash = document.find('#');
    if (hash != std::string::npos) {
        bookmark = document.substr(hash + 1);
        document.resize(hash);
    }
}

// ---- header fields -----------------------------------------------------------------

TNetHeaderInfo::TNetHeaderInfo(TNetHTTP *owner) : owner_(owner) { Clear(); }

void TNetHeaderInfo::Clear()
{
    Accept = "text/html, */*";
    UserAgent = "Mozilla/3.0 (compatible; Net Library)";
    for (std::string *s : {&AcceptCharSet, &Location, &Server, &Connection, &ContentVersion, &WWWAuthenticate,
                           &ContentEncoding, &ContentLanguage, &ContentType, &ProxyServer, &ProxyUsername,
                           &ProxyPassword, &ProxyAuthenticate})
        s->clear();
    ContentLength = 0;
    ContentRangeStart = ContentRangeEnd = 0;
    ProxyPort = 0;
    Date = LastModified = Expires = 0;
    ExtraHeaders.Clear();
}

void TNetHeaderInfo::Assign(const TNetHeaderInfo &o)
{
    Accept = o.Accept;
    AcceptCharSet = o.AcceptCharSet;
    AcceptEncoding = o.AcceptEncoding;
    AcceptLanguage = o.AcceptLanguage;
    ContentEncoding = o.ContentEncoding;
    ContentLanguage = o.ContentLanguage;
    ContentLength = o.ContentLength;
    ContentRangeEnd = o.ContentRangeEnd;
    ContentRangeStart = o.ContentRangeStart;
    ContentType = o.ContentType;
    ContentVersion = o.ContentVersion;
    Date = o.Date;
    Expires = o.Expires;
    ExtraHeaders.Assign(o.ExtraHeaders);
    From = o.From;
    LastModified = o.LastModified;
    Location = o.Location;
    Password = o.Password;
    ProxyAuthenticate = o.ProxyAuthenticate;
    ProxyPassword = o.ProxyPassword;
    ProxyPort = o.ProxyPort;
    ProxyServer = o.ProxyServer;
    ProxyUsername = o.ProxyUsername;
    Referer = o.Referer;
    Server = o.Server;
    UserAgent = o.UserAgent;
    Username = o.Username;
    WWWAuthenticate = o.WWWAuthenticate;
}

namespace {

// The value of the named line, which then leaves the list; found tells
// whether there was one.
std::string takeValue(TNetHeaderList &raw, const std::string &name, bool *found = nullptr)
{
    const int i = raw.IndexOfName(name);
    if (found)
        *found = i >= 0;
    if (i < 0)
        return std::string();
    std::string value = raw.Values(name);
    raw.Delete(i);
    // Continuation lines of the removed one go with it.
    while (i < raw.Count() && !raw[i].empty() && (raw[i][0] == ' ' || raw[i][0] == '\t'))
        raw.Delete(i);
    return value;
}

Rtl::TDateTime takeDate(TNetHeaderList &raw, const std::string &name)
{
    const std::string v = takeValue(raw, name);
    return v.empty() ? 0 : GMTToLocalDateTime(v);
}

// A decimal length: digits only (blanks around allowed), at most the limit;
// -1 for anything else.
int64_t parseLength(const std::string &text, int64_t limit)
{
    const std::string t = Trim(text);
    if (t.empty() || t.size() > 18)
        return -1;
    for (char c : t)
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return -1;
    const int64_t v = std::stoll(t);
    return v > limit ? -1 : v;
}

bool containsNoCase(const std::string &text, const std::string &word)
{
    return Rtl::Pos(Rtl::UpperCase(word), Rtl::UpperCase(text)) > 0;
}

} // namespace

bool TNetHeaderInfo::ProcessHeaders(TNetHeaderList &raw)
{
    ExtraHeaders.Clear();
    Location = takeValue(raw, "Location");
    Server = takeValue(raw, "Server");
    Connection = takeValue(raw, "Connection");
    ContentVersion = takeValue(raw, "Content-Version");
    WWWAuthenticate = takeValue(raw, "WWW-Authenticate");
    ContentEncoding = takeValue(raw, "Content-Encoding");
    ContentLanguage = takeValue(raw, "Content-Language");
    ContentType = takeValue(raw, "Content-Type");
    bool hasLength = false;
    const std::string length = takeValue(raw, "Content-Length", &hasLength);
    // Beyond 32 bits it cannot be kept; the caller refuses it.
    const int64_t n = hasLength ? parseLength(length, INT32_MAX) : 0;
    ContentLength = int32_t(n);
    bool hasRange = false;
    std::string range = takeValue(raw, "Content-Range", &hasRange);
    if (hasRange) {
        Fetch(range, " ");
        ContentRangeStart = uint32_t(Rtl::StrToInt64(Fetch(range, "-")));
        ContentRangeEnd = uint32_t(Rtl::StrToInt64(Fetch(range, "/")));
    }
    Date = takeDate(raw, "Date");
    LastModified = takeDate(raw, "Last-Modified");
    Expires = takeDate(raw, "Expires");
    ProxyAuthenticate = takeValue(raw, "Proxy-Authenticate");
    for (int i = 0; i < raw.Count(); ++i)
        ExtraHeaders.Add(raw[i]);
    return hasLength;
}

// ---- client ------------------------------------------------------------------------

TNetHTTP::TNetHTTP() : Request(this), Response(this) { Port = 80; }

TNetHTTP::~TNetHTTP() = default;

std::string TNetHTTP::GetString(const std::string &url)
{
    TNetMemoryStream s;
    Get(url, &s);
    return s.DataString();
}

void TNetHTTP::Get(const std::string &url, TNetStream *destination)
{
    DoRequest(hmGet, url, nullptr, nullptr, destination);
}

void TNetHTTP::Head(const std::string &url) { DoRequest(hmHead, url, nullptr, nullptr, nullptr); }

void TNetHTTP::Post(const std::string &url, const TStringList &source, TNetStream *destination)
{
    DoRequest(hmPost, url, &source, nullptr, destination);
}

void TNetHTTP::Post(const std::string &url, TNetStream *source, TNetStream *destination)
{
    DoRequest(hmPost, url, nullptr, source, destination);
}

bool TNetHTTP::DoOnRedirect(std::string &location, int32_t redirectCount)
{
    bool handled = HandleRedirects;
    if (OnRedirect)
        OnRedirect(this, location, redirectCount, handled);
    return handled;
}

void TNetHTTP::checkRedirect(const std::string &location)
{
    std::string why;
    for (const char c : location)
        if (static_cast<unsigned char>(c) < 32 || c == 127)
            why = NetRes::RSHTTPRedirectControl;
    std::string protocol, host, path, document, port, bookmark;
    if (why.empty()) {
        TNetURI::ParseURI(location, protocol, host, path, document, port, bookmark);
        // No scheme: a place on the same server.
        if (!protocol.empty() && !TextIsSame(protocol, "HTTP") && !TextIsSame(protocol, "HTTPS"))
            why = Rtl::Format(NetRes::RSHTTPRedirectScheme, {location});
    }
    if (why.empty())
        return;
    RedirectCount = 0;
    throw ENetHTTPRedirectRefused(why);
}

void TNetHTTP::invalidResponse()
{
    DisconnectSocket();
    throw ENetHTTPInvalidResponse(NetRes::RSHTTPInvalidResponse);
}

void TNetHTTP::RetrieveHeaders()
{
    RawHeaders.Clear();
    int64_t bytes = 0;
    for (;;) {
        std::string line = readLnLimited();
        if (line.empty()) {
            // The server closed before the headers ended.
            if (ReadLnTimedOut)
                CheckForDisconnect(true, true);
            break;
        }
        bytes += int64_t(line.size()) + NetLineCost;
        if ((MaxHeaderLines > 0 && RawHeaders.Count() >= MaxHeaderLines) || bytes > MaxReadBytes) {
            DisconnectSocket();
            throw ENetInputTooLong(Rtl::Format(NetRes::RSHTTPHeaderTooLong, {MaxHeaderLines, MaxReadBytes}));
        }
        RawHeaders.Add(line);
    }
    hasContentLength_ = Response.ProcessHeaders(RawHeaders);
}

void TNetHTTP::readChunked(TNetStream *destination)
{
    DoStatus(StatusText, NetRes::RSHTTPChunkStarted);
    int64_t total = 0;
    for (;;) {
        std::string line = readLnLimited();
        if (ReadLnTimedOut)
            CheckForDisconnect(true, true);
        // The size ends at a blank or at the start of a chunk extension.
        const size_t end = line.find_first_of(" \t;");
        const std::string hex = Trim(line.substr(0, end));
        if (hex.empty() || hex.size() > 8 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
            invalidResponse();
        const int64_t size = std::stoll(hex, nullptr, 16);
        if (size == 0)
            break;
        // The whole body counts against the budget, not each chunk alone.
        total += size;
        if (total > MaxReadBytes)
            raiseOverBudget(total);
        ReadStream(destination, size);
        // The line break after the chunk's data.
        if (!readLnLimited().empty())
            invalidResponse();
    }
    // Trailer lines up to the empty line that ends the body.
    int lines = 0;
    while (!readLnLimited().empty()) {
        if (++lines > MaxHeaderLines) {
            DisconnectSocket();
            throw ENetInputTooLong(Rtl::Format(NetRes::RSHTTPHeaderTooLong, {MaxHeaderLines, MaxReadBytes}));
        }
    }
}

void TNetHTTP::ReadResult(TNetStream *destination)
{
    if (!destination)
        return;
    if (hasContentLength_ && Response.ContentLength < 0)
        invalidResponse();
    // No body at all: never wait for the server to close.
    if (method_ == hmHead || ResponseCode == 204 || ResponseCode == 304 || (ResponseCode >= 100 && ResponseCode < 200) ||
        (hasContentLength_ && Response.ContentLength == 0))
        return;
    // The whole body is one reply to the time-out, chunks and trailer
    // included (within a request, part of the request's reply).
    ReplyDeadline body(*this);
    if (Response.ContentLength > 0) {
        ReadStream(destination, Response.ContentLength);
    } else if (containsNoCase(Response.ExtraHeaders.Values("Transfer-Encoding"), "chunked")) {
        readChunked(destination);
    } else {
        ReadStream(destination, -1, true);
    }
}

bool TNetHTTP::ReadStatusLine()
{
    std::string status = readLnLimited();
    if (status.empty() && ReadLnTimedOut)
        CheckForDisconnect(true, true);
    const bool reply10 = TextIsSame(Rtl::Copy(status, 6, 3), "1.0");
    Fetch(status, " ");
    ResponseText = status;
    try {
        ResponseCode = Rtl::StrToInt(Fetch(status, " ", false));
    } catch (...) {
        // Not a status line: what follows cannot be read in step.
        DisconnectSocket();
        throw;
    }
    return reply10;
}

void TNetHTTP::DoRequest(TNetHTTPMethod method, std::string url, const TStringList *sourceStrings,
                         TNetStream *sourceStream, TNetStream *destination)
{
    ++RedirectCount;
    method_ = method;
    std::string protocol, host, path, document, portText, bookmark;
    TNetURI::ParseURI(url, protocol, host, path, document, portText, bookmark);
    std::string target = path + document;
    int urlPort = -1;
    if (!Rtl::TryStrToInt(portText, urlPort) || portText.empty())
        urlPort = -1;

    if (!Request.ProxyServer.empty()) {
        if (Host != Request.ProxyServer || Port != Request.ProxyPort) {
            if (Binding().HandleAllocated)
                Disconnect();
            Host = Request.ProxyServer;
            Port = Request.ProxyPort;
        }
        target = protocol + "://" + host + (portText.empty() ? std::string() : ":" + portText) + target;
        urlHost_ = host;
        urlProtocol_ = protocol;
    } else {
        int defaultPort = 80;
        if (TextIsSame(protocol, "HTTPS")) {
            if (!dynamic_cast<TNetSSLConnectionIntercept *>(Intercept()))
                throw ENetInterceptPropInvalid(NetRes::RSInterceptPropInvalid);
            defaultPort = 443;
            SetInterceptEnabled(true);
        }
        if (!host.empty()) {
            if ((!TextIsSame(host, Host) || urlPort != Port) && Binding().HandleAllocated)
                Disconnect();
            Host = host;
        }
        Port = urlPort != -1 ? urlPort : defaultPort;
    }

    CheckForDisconnect(false, false);
    if (!Connected())
        Connect();

    if (method == hmPost) {
        if (sourceStrings)
            Request.ContentLength = int32_t(sourceStrings->Text().size());
        else if (sourceStream)
            Request.ContentLength = int32_t(sourceStream->Size());
        else
            throw ENetObjectTypeNotSupported(NetRes::RSObjectTypeNotSupported);
    } else {
        Request.ContentLength = 0;
    }

    static const char *const verbs[] = {"HEAD ", "GET ", "POST "};
    std::string head = std::string(verbs[method]) + target + " HTTP/" + versionText() + "\r\n";
    head += "Host: " + host + "\r\n";
    auto field = [&head](const char *name, const std::string &value) {
        if (!value.empty())
            head += std::string(name) + value + "\r\n";
    };
    field("Accept: ", Request.Accept);
    field("Accept-Charset: ", Request.AcceptCharSet);
    field("Accept-Encoding: ", Request.AcceptEncoding);
    field("Accept-Language: ", Request.AcceptLanguage);
    field("From: ", Request.From);
    field("Referer: ", Request.Referer);
    field("User-Agent: ", Request.UserAgent);
    field("Connection: ", Request.Connection);
    field("Content-Version: ", Request.ContentVersion);
    field("Content-Encoding: ", Request.ContentEncoding);
    field("Content-Language: ", Request.ContentLanguage);
    field("Content-Type: ", Request.ContentType);
    if (Request.ContentLength != 0)
        field("Content-Length: ", std::to_string(Request.ContentLength));
    if (Request.ContentRangeStart != 0 || Request.ContentRangeEnd != 0)
        field("Range: bytes=", std::to_string(Request.ContentRangeStart) + "-" +
                                   (Request.ContentRangeEnd != 0 ? std::to_string(Request.ContentRangeEnd) : ""));
    if (!Request.Username.empty())
        field("Authorization: Basic ", Base64Encode(Request.Username + ":" + Request.Password));
    if (!Request.ProxyServer.empty() && !Request.ProxyUsername.empty())
        field("Proxy-Authorization: Basic ", Base64Encode(Request.ProxyUsername + ":" + Request.ProxyPassword));
    for (int i = 0; i < Request.ExtraHeaders.Count(); ++i)
        head += Request.ExtraHeaders[i] + "\r\n";
    head += "\r\n";
    RawHeaders.Clear();
    bool reply10;
    bool redirect;
    {
        // The whole reply (status line, headers and body) is one reply to
        // the time-out, counted from the moment the request goes out.
        ReplyDeadline reply(*this);
        Write(head);
        if (method == hmPost) {
            if (sourceStrings) {
                WriteStrings(*sourceStrings);
            } else {
                sourceStream->SetPosition(0);
                WriteStream(sourceStream, true, false);
            }
        }
        reply10 = ReadStatusLine();
        RetrieveHeaders();
        redirect = (ResponseCode / 100 == 3 && ResponseCode != 304) || !Response.Location.empty();
        ReadResult(destination);
    }
    const bool closeAfter = ProtocolVersion == pv1_0 || reply10;

    if (redirect) {
        std::string location = Response.Location;
        if (HandleRedirects && RedirectCount < RedirectMaximum) {
            if (destination) {
                destination->SetPosition(0);
                destination->SetSize(0);
            }
            if (DoOnRedirect(location, RedirectCount)) {
                checkRedirect(location);
                if (closeAfter)
                    Disconnect();
                DoRequest(method, location, sourceStrings, sourceStream, destination);
            }
            return;
        }
        if (!HandleRedirects) {
            if (!DoOnRedirect(location, RedirectCount))
                throw ENetProtocolReplyError(ResponseCode, ResponseText);
            Response.Location = location;
        } else {
            throw ENetProtocolReplyError(ResponseCode, ResponseText);
        }
    } else if (ResponseCode < 200 || ResponseCode > 299) {
        if (InterceptEnabled())
            Disconnect();
        throw ENetProtocolReplyError(ResponseCode, ResponseText);
    }
    if (closeAfter || TextIsSame(Trim(Response.Connection), "CLOSE"))
        Disconnect();
    else
        CheckForGracefulDisconnect(false);
    RedirectCount = 0;
}
