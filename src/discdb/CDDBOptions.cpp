#include "discdb/CDDBOptions.h"

#include "platform/IniFiles.h"
#include "platform/Rtl.h"

namespace cddbopts {

std::vector<std::string> SplitCategoryList(const std::string &text)
{
    std::vector<std::string> items;
    size_t from = 0;
    for (size_t comma = text.find(','); comma != std::string::npos && int(items.size()) < kMaxCategories;
         comma = text.find(',', from)) {
        items.push_back(text.substr(from, comma - from));
        from = comma + 1;
    }
    return items;
}

std::string JoinCategoryList(const std::vector<std::string> &items)
{
    std::string r;
    for (const std::string &item : items)
        r += item + ",";
    return r;
}

std::vector<std::string> ReadCategoryItems(const std::string &iniPath)
{
    std::string list;
    if (Rtl::FileExists(iniPath)) {
        TIniFile ini(iniPath);
        list = ini.ReadString(kSection, kCategList, std::string());
    }
    if (list.empty())
        list = kBuiltInCategories;
    return SplitCategoryList(list);
}

} // namespace cddbopts
