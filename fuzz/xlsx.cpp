// A workbook (.xlsx): read whole, then loaded into a list through the
// spreadsheet server (used block, values).
#include "FuzzUtil.h"

#include "controls/EnhListV.h"
#include "platform/XlsxIO.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string path = fuzzutil::AsFile(data, size, ".xlsx");
    xlsx::Workbook wb;
    std::string err;
    if (!xlsx::ReadXlsx(path, wb, err)) return 0;
    TEnhListView &list = fuzzutil::EmptyList();
    try {
        list.LoadFromXLS(path);
    } catch (const std::exception &) {
    }
    return 0;
}
