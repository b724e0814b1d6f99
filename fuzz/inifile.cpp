// The profile functions (TIniFile) over an arbitrary file: sections, keys,
// values, and edits on the held lines.
#include "FuzzUtil.h"

#include "platform/Classes.h"
#include "platform/IniFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path = fuzzutil::AsFile(data, size, ".ini");
    TIniFile ini(path);
    TStringList sections;
    ini.ReadSections(sections);
    for (int i = 0; i < sections.Count() && i < 16; ++i) {
        TStringList keys;
        ini.ReadSection(sections[i], keys);
        for (int k = 0; k < keys.Count() && k < 16; ++k) ini.ReadInteger(sections[i], keys[k], 0);
        ini.ReadSectionValues(sections[i], keys);
    }
    // Edits on the lines in memory (no disk writes: Flush is not called).
    ini.Hold();
    if (sections.Count() > 0) {
        ini.WriteString(sections[0], "key", "value");
        ini.DeleteKey(sections[0], "key");
        ini.EraseSection(sections[sections.Count() - 1]);
    }
    ini.WriteString("New", "k", "v\r\nw");
    ini.ReadString("New", "k", "");
    return 0;
}
