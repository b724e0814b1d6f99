// The CSV import (LoadFromCSV with and without a header line, delimiter
// detection), and the record reader alone.
#include "FuzzUtil.h"

#include "controls/CsvText.h"
#include "controls/EnhListV.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text = fuzzutil::AsString(data, size);
    csv::Reader reader(text, ';');
    std::vector<std::string> fields;
    while (reader.Next(fields, true)) {
    }
    const std::string path = fuzzutil::AsFile(data, size, ".csv");
    for (bool header : {false, true}) {
        TEnhListView &list = fuzzutil::EmptyList();
        list.LoadHeader = header;
        try {
            list.LoadFromCSV(path);
        } catch (const std::exception &) {
        }
    }
    return 0;
}
