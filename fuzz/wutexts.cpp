// The texts of the web update's control file that the run takes apart: the
// date and time in the component's formats, and the command lines of
// runbefore, runafter and appname as they are split for starting programs;
// the version the update window takes out of a new-version status; the
// length an HTTP answer's header line announces.
// Input: format line, separator line, then the text.
#include "webupdate/WuDates.h"
#include "webupdate/WuProcess.h"
#include "webupdate/Update.h"
#include "webupdate/WUpdate.h"

#include <cstdint>
#include <cstdlib>
#include <strings.h>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string in(reinterpret_cast<const char *>(data), size);
    const size_t a = in.find('\n');
    const size_t b = a == std::string::npos ? std::string::npos : in.find('\n', a + 1);
    const std::string format = in.substr(0, a);
    const char sep = b != std::string::npos && b > a + 1 ? in[a + 1] : '/';
    const std::string text = b == std::string::npos ? in : in.substr(b + 1);
    double d = 0, t = 0;
    if (wudates::ParseDate(text, format, sep, d)) {
        wudates::FormatDate(d, format, sep);
        wudates::ParseStoredDate(wudates::StoredDate(d), d);
    }
    if (wudates::ParseTime(text, format, sep, t))
        wudates::ParseStoredTime(wudates::StoredTime(t), t);
    wuprocess::SplitCommandLine(text);
    std::string version;
    StatusVersionText(text, version);
    int64_t length = -1;
    if (TWebUpdate::AnnouncedLength(text.data(), text.size(), length) &&
        (length < 0 || strncasecmp(text.c_str(), "content-length:", 15) != 0))
        std::abort();
    return 0;
}
