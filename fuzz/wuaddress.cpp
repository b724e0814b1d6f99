// The web update's address rules over arbitrary text (the configured address,
// or one named by a control file): an accepted address has no reason given,
// a refused one always says why, and an accepted plain http address is one
// to this machine's loopback.
#include "webupdate/WuAddress.h"

#include <cstdint>
#include <cstdlib>
#include <curl/curl.h>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string url(reinterpret_cast<const char *>(data), size);
    std::string why;
    const bool allowed = wuaddress::Allowed(url, why);
    if (allowed != why.empty())
        std::abort();
    if (!allowed)
        return 0;
    CURLU *u = curl_url();
    char *scheme = nullptr, *host = nullptr;
    if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
        curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK ||
        curl_url_get(u, CURLUPART_HOST, &host, 0) != CURLUE_OK)
        std::abort();
    const std::string s = scheme, h = host;
    curl_free(scheme);
    curl_free(host);
    curl_url_cleanup(u);
    if (s != "https" && !(s == "http" && wuaddress::IsLoopbackHost(h)))
        std::abort();
    return 0;
}
