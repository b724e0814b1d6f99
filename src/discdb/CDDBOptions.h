#pragma once
// The online-database settings file "CDDB.ini" (section "CDDB Options"):
// the names and forms its readers share. The grabbing window reads only the
// category list from it; the options window owns the whole record.
#include <string>
#include <vector>

namespace cddbopts {

inline constexpr const char *kSection = "CDDB Options";
inline constexpr const char *kCategList = "categlist";

// The category list used when the file holds none; its first item is a
// single blank (no category).
inline constexpr const char *kBuiltInCategories =
    " , blues, classical, country, data, folk, jazz, misc, newage, reggae, rock, soundtrack,";

// At most this many categories are taken from a list text.
inline constexpr int kMaxCategories = 1000;

// Items of a list text: the part before each "," is one item (it may be
// blank or empty); whatever follows the last "," is dropped.
std::vector<std::string> SplitCategoryList(const std::string &text);
// Every item followed by ",".
std::string JoinCategoryList(const std::vector<std::string> &items);

// The category items of the settings file: its "categlist", or the
// built-in list when the file, the key or the value is missing or empty.
// Reading never creates or changes the file.
std::vector<std::string> ReadCategoryItems(const std::string &iniPath);

} // namespace cddbopts
