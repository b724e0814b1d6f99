// The queue file reader over arbitrary bytes: open, list every entry with
// the catalogue's categories, read track times, write the marks back into
// the sections as they are named.
#include "FuzzFiles.h"
#include "discdb/QueueFile.h"
#include "platform/IniFiles.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path = fuzzfiles::Folder().put("Queue.ini", data, size);
    try {
        auto queue = queuefile::Open(path);
        // The same bytes stand for the catalogue too.
        TMemIniFile catalogue("");
        catalogue.SetStrings(std::string(reinterpret_cast<const char *>(data), size));
        int n = 0;
        const std::vector<std::string> sections = queuefile::Sections(*queue);
        for (const std::string &pid : sections) {
            queuefile::Entry e = queuefile::ReadEntry(*queue, pid, &catalogue);
            queuefile::TrackTime(*queue, pid, 0);
            e.Queried = queuefile::kYes;
            queuefile::WriteStates(*queue, pid, e);
            if (++n == 64)
                break;
        }
        // The marks go into the sections listed: no section is added.
        if (queuefile::Sections(*queue) != sections)
            std::abort();
        queue->GetStrings();
    } catch (const std::exception &) {
    }
    fuzzfiles::Folder().clear();
    return 0;
}
