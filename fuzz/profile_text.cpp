// The profile functions on a text in memory over arbitrary bytes: read every
// key of every section through the index, write, erase and give the text.
// Every change made to the one text gives the bytes the same change gives
// on a text read anew from the bytes before it, as TIniFile does call by
// call: the indexes kept from change to change never go stale.
#include "platform/Classes.h"
#include "platform/IniFiles.h"

#include <cstdint>
#include <cstdlib>
#include <functional>
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
    // Names taken from the text itself, so that the changes meet its
    // sections and keys.
    const std::string first = sections.Count() > 0 ? sections[0] : "S";
    const std::string last = sections.Count() > 0 ? sections[sections.Count() - 1] : "T";
    TStringList firstKeys;
    text.ReadSection(first, firstKeys);
    const std::string key = firstKeys.Count() > 0 ? firstKeys[0] : "k";
    const std::string other = firstKeys.Count() > 1 ? firstKeys[firstKeys.Count() - 1] : "[k";
    const std::function<void(TProfileText &)> changes[] = {
        [&](TProfileText &t) { t.WriteString(first, key, "new"); },
        [&](TProfileText &t) { t.WriteString(first, "added", "a]"); },
        [&](TProfileText &t) { t.DeleteKey(first, key); },
        [&](TProfileText &t) { t.WriteString(last, other, "b]"); },
        [&](TProfileText &t) { t.EraseSection(first); },
        [&](TProfileText &t) { t.WriteString(first, key, "again"); },
        [&](TProfileText &t) { t.EraseSection("INFOS"); },
        [&](TProfileText &t) { t.WriteString("INFOS", "tapelength", "90 min"); },
        [&](TProfileText &t) { t.WriteString("SIDEA", "tracka0", "CD1 T1"); },
    };
    for (const auto &change : changes) {
        TProfileText fresh(text.Text());
        change(text);
        change(fresh);
        if (text.Text() != fresh.Text())
            std::abort();
    }
    if (text.ReadString("infos", "TAPELENGTH", "") != "90 min")
        std::abort();
    const std::string out = text.Text();
    // What was written reads back the same from the new text.
    if (TProfileText(out).ReadString("sidea", "tracka0", "") != "CD1 T1")
        std::abort();
    return 0;
}
