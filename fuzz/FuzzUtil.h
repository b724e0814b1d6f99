#pragma once
// Helpers of the fuzz targets: input bytes as a file, and the one
// application object the widget readers need (offscreen, made once).
#include "FuzzFiles.h"

#include <QApplication>

#include <cstdint>
#include <cstdlib>
#include <string>

// Under LeakSanitizer: fontconfig keeps a few blocks for the life of the
// process once the toolkit has asked it for fonts; they are not the
// readers' leaks. (Each target is a single unit, so this is defined once.)
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig\n"; }

namespace fuzzutil {

// The bytes as a file of this process's own scratch folder; the same name
// every time, with the given extension.
inline std::string AsFile(const uint8_t *data, size_t size, const std::string &ext)
{
    return fuzzfiles::Folder().put("input" + ext, data, size);
}

inline std::string AsString(const uint8_t *data, size_t size)
{
    return std::string(reinterpret_cast<const char *>(data), size);
}

inline void NeedApplication()
{
    static QApplication *app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        // Without XDG_RUNTIME_DIR the toolkit would make its runtime folder
        // in $TMPDIR and leave it there.
        if (!std::getenv("XDG_RUNTIME_DIR")) {
            static const fuzzfiles::Scratch runtime;
            setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        }
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
