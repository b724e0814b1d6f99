// The catalogue (MIXDECK.ini): opened, every disc's keys, track counts and
// extended texts read as the windows read them.
#include "FuzzUtil.h"

#include "compilation/Catalogue.h"
#include "platform/Classes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path = fuzzutil::AsFile(data, size, ".ini");
    try {
        std::unique_ptr<TMemIniFile> cat = catalogue::Open(path);
        TStringList pids;
        cat->ReadSections(pids);
        for (int i = 0; i < pids.Count() && i < 64; ++i) {
            const std::string &pid = pids[i];
            cat->ReadString(pid, catalogue::kArtist, catalogue::kUnknown);
            const int n = catalogue::ReadTrackCount(*cat, pid);
            for (int t = 0; t < n && t < catalogue::kMaxTracks; ++t) {
                cat->ReadString(pid, catalogue::TrackKey(t), "");
                catalogue::DecodeExtendedText(cat->ReadString(pid, catalogue::ExttKey(t), ""));
            }
            catalogue::DecodeExtendedText(cat->ReadString(pid, catalogue::kExtd, ""));
        }
        cat->GetStrings();
    } catch (const std::exception &) {
    }
    return 0;
}
