// The RTF reader of rich-text cells over arbitrary bytes, and the writer
// over what it read.
#include "controls/RtfText.h"
#include "FuzzUtil.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string bytes = fuzzutil::AsString(data, size);
    const auto runs = RtfText::Parse(bytes);
    RtfText::ToPlainText(RtfText::FromRuns(runs));
    return 0;
}
