// The telnet negotiation state machine over arbitrary server bytes, cut into
// blocks at the places the first byte picks; answers are collected instead of
// sent. Subnegotiation data stays within its cap.
#include "netclient/NetTelnet.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

struct Collecting : TNetTelnet {
    std::string sent;
    void SendReply(std::string &text) override
    {
        sent += text;
        text.clear();
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0 || size > 65536)
        return 0;
    Collecting t;
    const size_t cut = size_t(data[0]) + 1;
    const std::string all(reinterpret_cast<const char *>(data) + 1, size - 1);
    std::string out;
    for (size_t pos = 0; pos < all.size(); pos += cut)
        out += t.Negotiate(all.substr(pos, cut));
    // Data never grows beyond what came in; every answer is a whole one.
    if (out.size() > all.size() || t.sent.size() > 4 * all.size())
        abort();
    return 0;
}
