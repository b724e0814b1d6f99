// The in-memory INI reader over arbitrary bytes: the line walk against the
// plain line-by-line reading, then parse, read in and out of file order,
// edit, enumerate and write back.
#include "platform/Classes.h"
#include "platform/IniFiles.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> plainLines(std::string_view text)
{
    std::vector<std::string> r;
    Rtl::ForEachLine(text, [&](std::string_view raw) {
        const std::string_view t = IniTrim(raw);
        if (t.empty() || t[0] == ';')
            return;
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']')
            r.push_back("H" + std::string(IniTrim(t.substr(1, t.size() - 2))));
        else if (raw.find('=') == std::string_view::npos)
            r.push_back("O" + std::string(raw));
        else
            r.push_back("K" + std::string(IniTrim(raw.substr(0, raw.find('=')))) + "=" +
                        std::string(raw.substr(raw.find('=') + 1)));
    });
    return r;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    std::vector<std::string> walked;
    ForEachIniLine(text, [&](const TIniLine &l) {
        if (l.kind == TIniLine::Header)
            walked.push_back("H" + std::string(l.name));
        else if (l.kind == TIniLine::Other)
            walked.push_back("O" + std::string(l.raw));
        else
            walked.push_back("K" + std::string(l.name) + "=" + std::string(l.value));
    });
    if (walked != plainLines(text))
        std::abort();

    TMemIniFile ini("");
    ini.SetStrings(text);
    TStringList sections;
    ini.ReadSections(sections);
    for (int i = 0; i < sections.Count() && i < 64; ++i) {
        TStringList keys;
        ini.ReadSectionValues(sections[i], keys);
        ini.ReadSection(sections[i], keys);
        for (int k = 0; k < keys.Count() && k < 64; ++k)
            ini.ReadString(sections[i], keys[k], "");
        for (int k = keys.Count() - 1; k >= 0 && k >= keys.Count() - 16; --k)
            ini.ReadString(sections[i], keys[k], "");
        if (keys.Count() > 0) {
            ini.WriteString(sections[i], keys[0], "written");
            ini.DeleteKey(sections[i], keys[keys.Count() - 1]);
            ini.WriteString(sections[i], "added", "value");
        }
    }
    if (sections.Count() > 0)
        ini.EraseSection(sections[0]);
    ini.GetStrings();
    return 0;
}
