// A "sites" or "cddb lscat" reply: site tables and category items made of it
// stay within their bounds, hold no control character, and every category
// is a valid word; a list that is not refused is taken whole (every line
// that says something becomes an entry).
#include "discdb/CDDBExchange.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
void checkClean(const std::vector<std::string> &list)
{
    if (int(list.size()) > cddbopts::kMaxServers)
        std::abort();
    for (const std::string &s : list)
        if (cddbx::CleanText(s) != s)
            std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const std::vector<std::string> lines = cddbx::ListLines(text);
    const cddbx::SiteTables t = cddbx::ParseSites(lines);
    checkClean(t.CDDBServerList);
    checkClean(t.CDDBPortList);
    checkClean(t.HTTPServerList);
    checkClean(t.CGIPathList);
    checkClean(t.HTTPPortList);
    if (t.CDDBServerList.size() != t.CDDBPortList.size() || t.HTTPServerList.size() != t.CGIPathList.size() ||
        t.HTTPServerList.size() != t.HTTPPortList.size())
        std::abort();
    const std::vector<std::string> items = cddbx::CategoryItems(lines);
    if (items.empty() || items[0] != " " || int(items.size()) > cddbopts::kMaxCategories)
        std::abort();
    for (size_t i = 1; i < items.size(); ++i)
        if (items[i].size() < 2 || items[i][0] != ' ' || !cddbx::ValidCategory(items[i].substr(1)))
            std::abort();
    size_t said = 0;
    for (const std::string &l : lines)
        said += l.find_first_not_of(" \t") != std::string::npos;
    if (cddbx::CategoryListRefusal(lines).empty() && items.size() - 1 != said)
        std::abort();
    if (cddbx::SiteListRefusal(lines).empty() && t.CDDBServerList.size() + t.HTTPServerList.size() != said)
        std::abort();
    return 0;
}
