// The in-memory INI reader over arbitrary bytes: parse, enumerate, write back.
#include "platform/Classes.h"
#include "platform/IniFiles.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TMemIniFile ini("");
    ini.SetStrings(std::string(reinterpret_cast<const char *>(data), size));
    TStringList sections;
    ini.ReadSections(sections);
    for (int i = 0; i < sections.Count() && i < 64; ++i) {
        TStringList keys;
        ini.ReadSectionValues(sections[i], keys);
    }
    ini.GetStrings();
    return 0;
}
