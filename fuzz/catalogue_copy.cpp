// The main window's catalogue copy over arbitrary bytes: it must read every
// section, artist, title and disc exactly as the in-memory INI object reads
// the same bytes.
#include "compilation/Catalogue.h"
#include "platform/Classes.h"
#include "platform/IniFiles.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    int fd = memfd_create("catalogue", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (write(fd, bytes.data(), bytes.size()) != ssize_t(bytes.size())) {
        close(fd);
        return 0;
    }
    catalogue::TCatalogueCache copy("/proc/self/fd/" + std::to_string(fd));
    copy.Refresh();
    close(fd);

    TMemIniFile ini("");
    ini.SetStrings(bytes);
    TStringList sections;
    ini.ReadSections(sections);
    if (copy.Count() != sections.Count())
        std::abort();
    for (int i = 0; i < sections.Count() && i < 64; ++i) {
        if (copy.Name(i) != sections[i])
            std::abort();
        std::string artist, title;
        copy.ReadPair(i, "artist", "title", artist, title, "Unknown");
        if (artist != ini.ReadString(sections[i], "artist", "Unknown") ||
            title != ini.ReadString(sections[i], "TITLE", "Unknown"))
            std::abort();
        TStringList a, b;
        copy.Section(sections[i])->ReadSectionValues(sections[i], a);
        ini.ReadSectionValues(sections[i], b);
        if (a.ToVector() != b.ToVector())
            std::abort();
    }
    return 0;
}
