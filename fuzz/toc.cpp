// READ TOC replies: the identifier computations over arbitrary bytes, the
// reply check, and the simulated drive reading them from its file.
#include "FuzzFiles.h"
#include "discdb/DiscId.h"
#include "platform/Aspi.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

// The simulated drive reads its reply from the scratch folder; it lets go
// of the folder before the folder goes (registered after it, so run before).
void simulatedDrive()
{
    static const bool bound = [] {
        const fuzzfiles::Scratch &folder = fuzzfiles::Folder();
        folder.put("sr0.toc", nullptr, 0);
        aspi::Bind(aspi::MakeSimulatedBackend(folder.path()));
        std::atexit([] { aspi::Release(); });
        return true;
    }();
    (void)bound;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const discid::TocResult r = discid::Compute(data, size);
    if (r.TotalTracks > discid::kMaxTracks || int(r.Tracks.size()) != r.TotalTracks ||
        r.ListedTracks > r.TotalTracks || r.TotalAudioTracks + r.TotalDataTracks != r.TotalTracks ||
        r.CDDBDiscId.size() != 8 || r.CDPID.size() != 16)
        std::abort();
    aspi::CheckTocReply(data, size);

    simulatedDrive();
    fuzzfiles::Folder().put("sr0.toc", data, size);
    TDiscId id;
    id.GetASPI32Support();
    id.GetCDDrives();
    if (id.TotalCDROMS != 1)
        std::abort();
    id.GetCDProperties((*id.AvailableCDROMS)[0]);
    if (id.TotalTracks > discid::kMaxTracks)
        std::abort();
    return 0;
}
