#include "webupdate/WuAddress.h"

#include <arpa/inet.h>
#include <cstring>
#include <curl/curl.h>
#include <netinet/in.h>
#include <strings.h>
#include <sys/socket.h>

namespace wuaddress {

namespace {

std::string &TestAuthority()
{
    static std::string file;
    return file;
}

// The scheme and host of an address as libcurl reads them, so that the rules
// judge exactly what libcurl would connect to. False when it cannot be read.
bool SchemeAndHost(const std::string &Url, std::string &Scheme, std::string &Host)
{
    CURLU *u = curl_url();
    if (!u)
        return false;
    bool ok = curl_url_set(u, CURLUPART_URL, Url.c_str(), 0) == CURLUE_OK;
    char *scheme = nullptr, *host = nullptr;
    ok = ok && curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
         curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK;
    if (ok) {
        Scheme = scheme;
        Host = host;
    }
    curl_free(scheme);
    curl_free(host);
    curl_url_cleanup(u);
    return ok;
}

// Only sockets to this machine: the guard of a plain http transfer, which
// also holds for every redirection it follows.
curl_socket_t OpenLoopbackSocket(void *OffLoopback, curlsocktype Purpose, struct curl_sockaddr *Address)
{
    if (Purpose != CURLSOCKTYPE_IPCXN || !IsLoopbackAddress(&Address->addr)) {
        if (OffLoopback)
            *static_cast<bool *>(OffLoopback) = true;
        return CURL_SOCKET_BAD;
    }
    return socket(Address->family, Address->socktype | SOCK_CLOEXEC, Address->protocol);
}

} // namespace

bool IsLoopbackHost(const std::string &Host)
{
    if (strcasecmp(Host.c_str(), "localhost") == 0)
        return true;
    in_addr v4{};
    if (inet_pton(AF_INET, Host.c_str(), &v4) == 1)
        return (ntohl(v4.s_addr) >> 24) == 127;
    if (Host.size() > 2 && Host.front() == '[' && Host.back() == ']') {
        in6_addr v6{};
        return inet_pton(AF_INET6, Host.substr(1, Host.size() - 2).c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
    }
    return false;
}

bool IsLoopbackAddress(const void *SockAddr)
{
    const auto *sa = static_cast<const sockaddr *>(SockAddr);
    if (sa->sa_family == AF_INET) {
        sockaddr_in in;
        std::memcpy(&in, sa, sizeof in);
        return (ntohl(in.sin_addr.s_addr) >> 24) == 127;
    }
    if (sa->sa_family == AF_INET6) {
        sockaddr_in6 in6;
        std::memcpy(&in6, sa, sizeof in6);
        const in6_addr &a = in6.sin6_addr;
        return IN6_IS_ADDR_LOOPBACK(&a) || (IN6_IS_ADDR_V4MAPPED(&a) && a.s6_addr[12] == 127);
    }
    return false;
}

bool Allowed(const std::string &Url, std::string &Why)
{
    std::string scheme, host;
    if (SchemeAndHost(Url, scheme, host) && (scheme == "https" || (scheme == "http" && IsLoopbackHost(host))))
        return true;
    Why = "The update address is refused, only https addresses are allowed: " + Url;
    return false;
}

void Restrict(void *Curl, const std::string &Url, bool *OffLoopback)
{
    CURL *h = static_cast<CURL *>(Curl);
    std::string scheme, host;
    const bool plain = SchemeAndHost(Url, scheme, host) && scheme == "http";
    // An https address stays https through every redirection; a plain one
    // (loopback only) may go to either, its sockets held to loopback.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, plain ? "http,https" : "https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, plain ? "http,https" : "https");
    curl_easy_setopt(h, CURLOPT_OPENSOCKETFUNCTION, plain ? &OpenLoopbackSocket : nullptr);
    curl_easy_setopt(h, CURLOPT_OPENSOCKETDATA, plain ? static_cast<void *>(OffLoopback) : nullptr);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!TestAuthority().empty())
        curl_easy_setopt(h, CURLOPT_CAINFO, TestAuthority().c_str());
}

std::string RefusalText(int Code, const std::string &Detail)
{
    std::string text;
    switch (Code) {
    case CURLE_PEER_FAILED_VERIFICATION:
        text = "The server's certificate was not accepted";
        break;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
        text = "No secure connection to the server could be made";
        break;
    case CURLE_UNSUPPORTED_PROTOCOL:
        text = "A redirection to an address that is not https was refused";
        break;
    default:
        return std::string();
    }
    return Detail.empty() ? text : text + " (" + Detail + ")";
}

std::string OffLoopbackText(const std::string &Target)
{
    return "A redirection from a plain http address to a host other than this machine was refused: " + Target;
}

void TrustAuthorityForTests(const std::string &PemFile)
{
    TestAuthority() = PemFile;
}

} // namespace wuaddress
