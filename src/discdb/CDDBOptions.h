#pragma once
// The online-database settings file "CDDB.ini" (section "CDDB Options"):
// the settings record, its defaults, and reading and writing it. The
// options window holds the record in its controls and moves it through
// these functions; the grabbing window reads the category list alone when
// no options window is there.
//
// Reading never aborts on one bad key: a "servertouse" that names no entry
// is clamped into the list, a "password" that is not Base64 reads as empty,
// integers that are not numbers (or do not fit a four-digit field) read as
// the key's default. Saving writes the whole file in one atomic replace.
#include <string>
#include <vector>

namespace cddbopts {

inline constexpr const char *kSection = "CDDB Options";
inline constexpr const char *kCategList = "categlist";
inline constexpr const char *kFileName = "CDDB.ini";

inline constexpr const char *kErrorReading = "Error reading CDDB.ini";
inline constexpr const char *kErrorSaving = "Error saving CDDB.ini";

// The category list used when the file holds none; its first item is a
// single blank (no category).
inline constexpr const char *kBuiltInCategories =
    " , blues, classical, country, data, folk, jazz, misc, newage, reggae, rock, soundtrack,";

// The defaults of a new settings file. The server is the successor of the
// closed freedb.org that still answers (cddbp on 8880, HTTP on 80 with the
// usual cgi path); a file already written keeps whatever it names. The submission
// address stays as it was: that database publishes no mail address for
// submissions.
inline constexpr const char *kDefaultServer = "gnudb.gnudb.org N000.00 W000.00 gnudb.org, successor of freedb";
inline constexpr const char *kDefaultCDDBPort = "8880";
inline constexpr const char *kDefaultHTTPPort = "80";
inline constexpr const char *kDefaultCGIPath = "/~cddb/cddb.cgi";
inline constexpr const char *kDefaultUserEmail = "your.name@your.domain.com";
inline constexpr const char *kDefaultSubmitEmail = "freedb-submit@freedb.org";
inline constexpr const char *kDefaultTimeOut = "30";

// The SOCKS choices, in the order of the options window's list.
inline const std::vector<std::string> kSocksVersions = {"Not use SOCKS", "SOCKS v4.0", "SOCKS v4.0A",
                                                        "SOCKS v5.0"};

// At most this many categories are taken from a list text, and this many
// servers from each table.
inline constexpr int kMaxCategories = 1000;
inline constexpr int kMaxServers = 1000;
// A settings file larger than this is not read.
inline constexpr size_t kMaxFileBytes = 4 * 1024 * 1024;

// The record as the options window's controls hold it: numbers as the text
// of their fields.
struct CDDBOptions {
    std::string TimeOut;
    // Index of the selected entry in the server list of the protocol; -1 none.
    int ServerToUse = 0;
    std::vector<std::string> Categories;
    std::vector<std::string> CDDBServerList, CDDBPortList;
    std::vector<std::string> HTTPServerList, CGIPathList, HTTPPortList;
    bool UseHTTP = false;
    bool UseProxy = false;
    std::string SocksVer;
    std::string ProxyAddress, ProxyPort;
    bool UseProxyAuth = false;
    std::string Username, Password;  // the password in plain
    std::string UserEmail, SMTPAddr, CDDBEmail;

    bool operator==(const CDDBOptions &) const = default;
};

// Items of a list text: the part before each "," is one item (it may be
// blank or empty); whatever follows the last "," is dropped.
std::vector<std::string> SplitCategoryList(const std::string &text);
// Every item followed by ",".
std::string JoinCategoryList(const std::vector<std::string> &items);

// The category items of the settings file: its "categlist", or the
// built-in list when the file, the key or the value is missing or empty.
// Reading never creates or changes the file.
std::vector<std::string> ReadCategoryItems(const std::string &iniPath);

// The record of a new settings file.
CDDBOptions DefaultOptions();

// The record held by the text of a settings file (keys missing from it read
// as their defaults). Never throws for what the text holds.
CDDBOptions ParseOptions(const std::string &iniText);

// Reads the settings file: false when it does not exist. Raises an
// Exception when it exists but cannot be read or is too large.
bool LoadOptions(const std::string &path, CDDBOptions &options);

// Rewrites the file's section "CDDB Options" with the record's keys, in
// their fixed order, keeping the file's other sections; one atomic replace.
// Raises an Exception when the file cannot be written (the old file stays).
void SaveOptions(const std::string &path, const CDDBOptions &options);
// The file text SaveOptions writes when there was no file.
std::string OptionsText(const CDDBOptions &options);

// The stored form of the proxy password: Base64 (standard alphabet, "="
// padding, no line breaks); empty stays empty. Decoding text that is not
// Base64 gives the empty text.
std::string EncodePassword(const std::string &text);
std::string DecodePassword(const std::string &text);

// The user e-mail address check of the options window: an "@" that is not
// first, and after it a "." that is neither first nor last of that part.
// The placeholder of a new settings file is nobody's address and fails.
bool CheckEmailAddress(const std::string &text);

} // namespace cddbopts
