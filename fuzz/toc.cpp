// READ TOC replies: the identifier computations over arbitrary bytes, the
// reply check, and the simulated drive reading them from its file.
#include "discdb/DiscId.h"
#include "platform/Aspi.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string made;

void removeFolder()
{
    aspi::Release();
    std::remove((made + "/sr0.toc").c_str());
    std::remove(made.c_str());
}

std::string simFolder()
{
    static std::string folder = [] {
        char tmpl[] = "/tmp/mixdeck-fuzz-toc-XXXXXX";
        const char *dir = mkdtemp(tmpl);
        if (!dir)
            std::abort();
        const std::string f = dir;
        ::made = f;
        std::atexit(removeFolder);
        std::FILE *file = std::fopen((f + "/sr0.toc").c_str(), "wb");
        std::fclose(file);
        aspi::Bind(aspi::MakeSimulatedBackend(f));
        return f;
    }();
    return folder;
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

    const std::string folder = simFolder();
    std::FILE *file = std::fopen((folder + "/sr0.toc").c_str(), "wb");
    if (!file)
        return 0;
    if (size > 0)
        std::fwrite(data, 1, size, file);
    std::fclose(file);
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
