#pragma once
// Helpers of the fuzz targets: input bytes as a file, and the one
// application object the widget readers need (offscreen, made once).
#include <QApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <string>
#include <unistd.h>

// Under LeakSanitizer: fontconfig keeps a few blocks for the life of the
// process once the toolkit has asked it for fonts; they are not the
// readers' leaks. (Each target is a single unit, so this is defined once.)
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace fuzzutil {

// This process's scratch folder, made on first use and removed with what
// it holds when the process ends (libFuzzer ends by exit() too; a crash's
// folder stays in the TMPDIR that scripts/fuzz keeps for the crash).
class ScratchFolder {
public:
    ScratchFolder()
    {
        const char *tmp = std::getenv("TMPDIR");
        path_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/mixdeck-fuzz-XXXXXX";
        if (!mkdtemp(path_.data()))
            std::abort();
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const std::string &path() const { return path_; }

private:
    std::string path_;
};

// The bytes as a file of this process's own scratch folder; the same name
// every time, with the given extension.
inline std::string AsFile(const uint8_t *data, size_t size, const std::string &ext)
{
    static const ScratchFolder folder;
    const std::string path = folder.path() + "/input" + ext;
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
    return path;
}

inline std::string AsString(const uint8_t *data, size_t size)
{
    return std::string(reinterpret_cast<const char *>(data), size);
}

inline void NeedApplication()
{
    static QApplication *app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "fuzz";
        static char *argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    (void)app;
}

} // namespace fuzzutil

#include "controls/EnhListV.h"

namespace fuzzutil {

// One list for all inputs (a widget is slow to make), emptied and reset
// before each.
inline TEnhListView &EmptyList()
{
    NeedApplication();
    static TEnhListView *list = new TEnhListView;
    list->Items.Clear();
    list->Columns.Clear();
    list->Delimiter = 0;
    list->LoadHeader = false;
    return *list;
}

} // namespace fuzzutil
