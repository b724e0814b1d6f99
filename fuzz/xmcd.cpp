// An xmcd entry as a server sends it: split into lines and read by the
// entry rules; no text that may reach the catalogue keeps a control character.
#include "discdb/CDDBExchange.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {
void checkClean(const std::string &s)
{
    if (cddbx::CleanText(s) != s)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const int tracks = size > 0 ? data[0] % 120 : 3;
    const cddbx::XmcdEntry e = cddbx::ParseXmcd(cddbx::ListLines(text), tracks);
    if (e.TrackTitles.size() > size_t(cddbx::kMaxTracks) || e.TrackTitles.size() != e.ExtTrackTexts.size())
        std::abort();
    checkClean(e.Artist);
    checkClean(e.Title);
    checkClean(e.ExtDiscText);
    for (size_t i = 0; i < e.TrackTitles.size(); ++i) {
        checkClean(e.TrackTitles[i]);
        checkClean(e.ExtTrackTexts[i]);
    }
    return 0;
}
