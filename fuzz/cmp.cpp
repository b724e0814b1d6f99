// A compilation file (.cmp) read the way the compilation load reads it:
// tape length, track counts, disc ids and the side's track references.
#include "compilation/TapeModel.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The load reads the file once and takes every key from its text.
    const TProfileText ini(std::string_view(reinterpret_cast<const char *>(data), size));
    tape::SideCapacity(ini.ReadString("INFOS", "tapelength", ""));
    for (int p = 1; p <= 3; ++p) ini.ReadString("INFOS", "pid" + Rtl::IntToStr(p), "");
    for (const char *side : {"A", "B"}) {
        const int count = std::min(ini.ReadInteger("INFOS", std::string("totaltrks") + side, 0), 200);
        const std::string section = std::string("SIDE") + side;
        const std::string prefix = std::string("track") + char(side[0] - 'A' + 'a');
        for (int i = 0; i < count; ++i) {
            const std::string ref = ini.ReadString(section, prefix + Rtl::IntToStr(i), "");
            tape::PaneNumberOf(ref);
            tape::TrackNumberOf(ref);
            tape::ReferenceOf(ref + " - title");
        }
    }
    return 0;
}
