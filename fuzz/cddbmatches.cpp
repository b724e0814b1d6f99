// A query reply: its code, its exact match or its list of matches; every
// match taken has a valid category and disc id.
#include "discdb/CDDBExchange.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const int code = cddbx::ReplyCode(text);
    if (code < 0 || code > 999)
        std::abort();
    const auto first = cddbx::SplitLines(text, 1);
    cddbx::Match m;
    if (!first.empty() && cddbx::ParseExactMatch(first[0], m) &&
        (!cddbx::ValidCategory(m.Category) || !cddbx::ValidDiscId(m.DiscId)))
        std::abort();
    for (const cddbx::Match &x : cddbx::ParseMatchList(cddbx::ListLines(text)))
        if (!cddbx::ValidCategory(x.Category) || !cddbx::ValidDiscId(x.DiscId) ||
            cddbx::ReadCommand(x.Category, x.DiscId).find_first_of("\r\n") != std::string::npos)
            std::abort();
    return 0;
}
