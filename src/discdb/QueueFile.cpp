#include "discdb/QueueFile.h"

#include "compilation/Catalogue.h"
#include "discdb/CDDBExchange.h"
#include "platform/Classes.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <sys/stat.h>

namespace queuefile {

std::unique_ptr<TMemIniFile> Open(const std::string &path)
{
    struct stat st;
    if (stat(path.c_str(), &st) == 0 && (!S_ISREG(st.st_mode) || size_t(st.st_size) > kMaxFileBytes))
        throw EFOpenError("Cannot open file " + path);
    return std::make_unique<TMemIniFile>(path);
}

std::vector<std::string> Sections(TCustomIniFile &queue)
{
    TStringList names;
    queue.ReadSections(names);
    std::vector<std::string> out;
    out.reserve(size_t(names.Count()));
    for (int i = 0; i < names.Count(); ++i)
        out.push_back(names[i]);
    return out;
}

std::string CellValue(const std::string &value)
{
    return cddbx::CleanText(value.size() > kMaxValue ? value.substr(0, kMaxValue) : value);
}

namespace {
std::string read(TCustomIniFile &ini, const std::string &pid, const char *key, const char *def)
{
    return CellValue(ini.ReadString(pid, key, def));
}
} // namespace

Entry ReadEntry(TCustomIniFile &queue, const std::string &pid, TCustomIniFile *catalogue)
{
    Entry e;
    e.Pid = CellValue(pid);
    e.DiscId = read(queue, pid, kDiscId, kUnknown);
    e.Tracks = read(queue, pid, kTotalTracks, kUnknown);
    e.Category = read(queue, pid, kCategory, kNA);
    e.Queried = read(queue, pid, kQueried, kNo);
    e.Founded = read(queue, pid, kFounded, kNA);
    e.Tof = read(queue, pid, kTrkFrameOffs, kUnknown);
    e.Tpt = read(queue, pid, kTpt, kNoTime);
    if (e.Category == kNA && catalogue && catalogue->SectionExists(pid)) {
        const std::string stored = read(*catalogue, pid, catalogue::kCategory, catalogue::kUnknown);
        if (!stored.empty())
            e.Category = stored;
    }
    return e;
}

std::string TrackTime(TCustomIniFile &queue, const std::string &pid, int i)
{
    return read(queue, pid, catalogue::TimeKey(i).c_str(), kNoTime);
}

void WriteStates(TCustomIniFile &queue, const std::string &section, const Entry &entry)
{
    queue.WriteString(section, kCategory, Rtl::Trim(entry.Category));
    queue.WriteString(section, kQueried, entry.Queried);
    queue.WriteString(section, kFounded, entry.Founded);
}

} // namespace queuefile
