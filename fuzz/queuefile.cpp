// The queue file reader over arbitrary bytes: open, list every entry with
// the catalogue's categories, read track times, write the marks back.
#include "FuzzFiles.h"
#include "discdb/QueueFile.h"
#include "platform/IniFiles.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static fuzzfiles::Scratch scratch;
    const std::string path = scratch.put("Queue.ini", data, size);
    try {
        auto queue = queuefile::Open(path);
        // The same bytes stand for the catalogue too.
        TMemIniFile catalogue("");
        catalogue.SetStrings(std::string(reinterpret_cast<const char *>(data), size));
        int n = 0;
        for (const std::string &pid : queuefile::Sections(*queue)) {
            queuefile::Entry e = queuefile::ReadEntry(*queue, pid, &catalogue);
            queuefile::TrackTime(*queue, pid, 0);
            e.Queried = queuefile::kYes;
            queuefile::WriteStates(*queue, e);
            if (++n == 64)
                break;
        }
        queue->GetStrings();
    } catch (const std::exception &) {
    }
    scratch.clear();
    return 0;
}
