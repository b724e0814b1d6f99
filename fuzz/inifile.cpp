// The profile functions (TIniFile) over an arbitrary file: sections, keys,
// values, and the same edits on the text in memory.
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
    // The same edits the profile functions make, on the text in memory.
    TProfileText text(std::string_view(reinterpret_cast<const char *>(data), size));
    if (sections.Count() > 0) {
        text.WriteString(sections[0], "key", "value");
        text.DeleteKey(sections[0], "key");
        text.EraseSection(sections[sections.Count() - 1]);
    }
    text.WriteString("New", "k", "v\r\nw");
    text.ReadString("New", "k", "");
    text.Text();
    return 0;
}
