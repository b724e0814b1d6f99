// What a message box shows of a peer's text, over arbitrary bytes: never
// more than its bounds (20 lines of at most 200 characters and a cut mark,
// with their line breaks), and a short single line shown as it is.
#include "discdb/CDDBExchange.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size > 65536)
        return 0;
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::string box = cddbx::BoxText(text);
    const size_t cut = std::string(cddbx::kBoxCutMark).size();
    const size_t most = size_t(cddbx::kBoxLines) * (size_t(cddbx::kBoxLineChars) + cut + 2) + cut;
    if (box.size() > most)
        abort();
    size_t line = 0;
    for (char c : box) {
        line = c == '\r' || c == '\n' ? 0 : line + 1;
        if (line > size_t(cddbx::kBoxLineChars) + cut)
            abort();
    }
    if (size <= size_t(cddbx::kBoxLineChars) && text.find_first_of("\r\n") == std::string::npos && box != text)
        abort();
    return 0;
}
