// The profile functions on a text in memory over arbitrary bytes: read every
// key of every section through the index, write, erase and give the text.
#include "platform/Classes.h"
#include "platform/IniFiles.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    TProfileText text(std::string_view(reinterpret_cast<const char *>(data), size));
    TStringList sections;
    text.ReadSections(sections);
    for (int i = 0; i < sections.Count() && i < 64; ++i) {
        TStringList keys;
        text.ReadSection(sections[i], keys);
        for (int k = 0; k < keys.Count() && k < 64; ++k)
            if (text.ReadString(sections[i], keys[k], "\x01") == "\x01")
                std::abort();  // a listed key must be found
    }
    text.EraseSection("INFOS");
    text.WriteString("INFOS", "tapelength", "90 min");
    text.WriteString("SIDEA", "tracka0", "CD1 T1");
    if (text.ReadString("infos", "TAPELENGTH", "") != "90 min")
        std::abort();
    const std::string out = text.Text();
    // What was written reads back the same from the new text.
    if (TProfileText(out).ReadString("sidea", "tracka0", "") != "CD1 T1")
        std::abort();
    return 0;
}
