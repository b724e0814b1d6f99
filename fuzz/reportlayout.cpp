// The report layout reader over arbitrary bytes: read a form, resolve its
// links, name its form-name fields.
#include "reports/AlLoad.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    try {
        auto form = ReadReportLayout(std::string(reinterpret_cast<const char *>(data), size));
        SetFormNameFields(*form, "Layouts/Cover.rep");
        FindReportComponent(*form);
    } catch (const Exception &) {
    }
    return 0;
}
