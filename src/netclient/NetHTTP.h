#pragma once
// Blocking HTTP/1.0 and 1.1 client on the TCP client, and the URL splitter.
// A request splits the URL, reconnects when host or port change (a URL
// without a port always starts on a new connection), writes the request line
// and headers in a fixed order, reads the status line, the headers and the
// body (by length, in chunks or until the server closes) and raises
// ENetProtocolReplyError for anything but a success; the body has been read
// then, so the connection stays usable.
//
// Peer input is bounded: a status or header line by MaxLineLength, the header
// block by MaxHeaderLines lines and MaxReadBytes bytes, a body by
// MaxReadBytes (a Content-Length above it is refused before anything is
// read). A Content-Length that is not a number, a negative one and a chunk
// size that is not hexadecimal close the connection and raise
// ENetHTTPInvalidResponse. "Content-Length: 0", 204, 304 and HEAD end the
// body at once.
//
// A redirect is followed only to an http (or https) address whose text has
// no control characters; any other Location raises ENetHTTPRedirectRefused
// before anything is sent, so a Location cannot add lines to a request.
#include "netclient/NetHeaderList.h"
#include "netclient/NetTCPClient.h"
#include "platform/Rtl.h"

#include <cstdint>
#include <functional>
#include <string>

namespace NetRes {
inline constexpr const char *RSHTTPChunkStarted = "Chunk Started";
inline constexpr const char *RSHTTPInvalidResponse = "Invalid HTTP response.";
inline constexpr const char *RSHTTPHeaderTooLong =
    "The server sent more than %d header lines or %d bytes of headers; the connection was closed.";
inline constexpr const char *RSHTTPRedirectControl =
    "Redirect refused: the new location contains control characters.";
inline constexpr const char *RSHTTPRedirectScheme = "Redirect refused: \"%s\" is not an HTTP address.";
} // namespace NetRes

// A response this client cannot read without losing its place in the stream.
MIXDECK_EXCEPTION(ENetHTTPInvalidResponse, ENetTCPConnectionError);
// A redirect to a location this client does not follow.
MIXDECK_EXCEPTION(ENetHTTPRedirectRefused, ENetException);

class TNetURI {
public:
    explicit TNetURI(const std::string &uri = std::string());
    std::string URI;
    std::string Protocol;
    std::string Host;
    std::string Port;
    std::string Path;
    std::string Document;
    std::string Bookmark;

    static void ParseURI(std::string uri, std::string &protocol, std::string &host, std::string &path,
                         std::string &document, std::string &port, std::string &bookmark);
    // Every "\" turned into "/".
    static std::string NormalizePath(const std::string &path);
};

class TNetHTTP;

class TNetHeaderInfo {
public:
    explicit TNetHeaderInfo(TNetHTTP *owner = nullptr);
    TNetHeaderInfo(const TNetHeaderInfo &) = delete;
    TNetHeaderInfo &operator=(const TNetHeaderInfo &) = delete;

    std::string Accept, AcceptCharSet, AcceptEncoding, AcceptLanguage;
    std::string Connection, ContentEncoding, ContentLanguage;
    int32_t ContentLength = 0;
    uint32_t ContentRangeEnd = 0, ContentRangeStart = 0;
    std::string ContentType, ContentVersion;
    Rtl::TDateTime Date = 0, Expires = 0;
    TNetHeaderList ExtraHeaders;
    std::string From;
    Rtl::TDateTime LastModified = 0;
    std::string Location, Password, ProxyAuthenticate, ProxyPassword;
    int32_t ProxyPort = 0;
    std::string ProxyServer, ProxyUsername, Referer, Server, UserAgent, Username, WWWAuthenticate;

    void Clear();
    // Every field but Connection (and the owner).
    void Assign(const TNetHeaderInfo &other);
    // Takes the known fields out of raw (their lines removed); the rest go
    // to ExtraHeaders. Returns whether a Content-Length line was present.
    bool ProcessHeaders(TNetHeaderList &raw);
    void SetExtraHeaders(const TNetHeaderList &lines) { ExtraHeaders.Assign(lines); }

private:
    TNetHTTP *owner_;
};

enum TNetHTTPProtocolVersion { pv1_0, pv1_1 };
enum TNetHTTPMethod { hmHead = 0, hmGet = 1, hmPost = 2 };

class TNetHTTP : public TNetTCPClient {
public:
    using TNetHTTPOnRedirectEvent =
        std::function<void(TNetHTTP *Sender, std::string &dest, int32_t &NumRedirect, bool &Handled)>;

    TNetHTTP();
    ~TNetHTTP() override;

    TNetHeaderList RawHeaders;
    TNetHTTPProtocolVersion ProtocolVersion = pv1_1;
    int32_t RedirectCount = 0;
    int32_t RedirectMaximum = 15;
    TNetHeaderInfo Request;
    TNetHeaderInfo Response;
    int32_t ResponseCode = 0;
    std::string ResponseText;
    bool HandleRedirects = false;
    TNetHTTPOnRedirectEvent OnRedirect;
    // The most header lines one response may carry.
    int32_t MaxHeaderLines = 1000;

    std::string GetString(const std::string &url);
    void Get(const std::string &url, TNetStream *destination);
    void Head(const std::string &url);
    void Post(const std::string &url, const TStringList &source, TNetStream *destination);
    void Post(const std::string &url, TNetStream *source, TNetStream *destination);

    virtual bool DoOnRedirect(std::string &location, int32_t redirectCount);
    // The source is a string list, a stream or none (sourceStrings wins).
    virtual void DoRequest(TNetHTTPMethod method, std::string url, const TStringList *sourceStrings,
                           TNetStream *sourceStream, TNetStream *destination);
    // Reads the status line into ResponseCode and ResponseText; true when
    // the reply says HTTP/1.0.
    bool ReadStatusLine();
    void RetrieveHeaders();
    void ReadResult(TNetStream *destination);

private:
    // Raises ENetHTTPInvalidResponse after closing the connection.
    [[noreturn]] void invalidResponse();
    void readChunked(TNetStream *destination);
    std::string versionText() const { return ProtocolVersion == pv1_0 ? "1.0" : "1.1"; }
    // Raises ENetHTTPRedirectRefused for a location not to be followed.
    void checkRedirect(const std::string &location);

    std::string urlHost_;
    std::string urlProtocol_;
    TNetHTTPMethod method_ = hmGet;
    // The response carried a Content-Length line.
    bool hasContentLength_ = false;
};
