#include "discdb/CDDBOptions.h"

#include "netclient/NetCoder3To4.h"
#include "platform/FileIO.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <sys/stat.h>

using namespace Rtl;

namespace cddbopts {

namespace {

// Keys of section "CDDB Options" (the per-server ones take the index).
const char *const kTimeOut = "timeout";
const char *const kServerToUse = "servertouse";
const char *const kTotalCDDB = "totalcddb";
const char *const kCServerAddr = "cserveraddr";
const char *const kCDDBPort = "cddbport";
const char *const kTotalHTTP = "totalhttp";
const char *const kHServerAddr = "hserveraddr";
const char *const kCGIPath = "cgipath";
const char *const kHTTPPort = "httpport";
const char *const kProtocol = "protocol";
const char *const kUseProxy = "useproxy";
const char *const kSocksVer = "socksver";
const char *const kProxyAddr = "proxyaddr";
const char *const kProxyPort = "proxyport";
const char *const kUseProxyAuth = "useproxyauth";
const char *const kUsername = "username";
const char *const kPassword = "password";
const char *const kUserEmail = "useremail";
const char *const kSMTP = "SMTP";
const char *const kCDDBEmail = "cddbemail";

constexpr size_t kProfileValueMax = 2047;
// The largest number a four-digit field shows.
constexpr int kFieldMax = 9999;

// The settings as the profile functions see them: values come back trimmed
// and cut to their longest length, and are stored without leading blanks.
class ProfileIni : public TMemIniFile {
public:
    explicit ProfileIni(const std::string &text) : TMemIniFile(std::string()) { SetStrings(text); }
    std::string ReadString(const std::string &section, const std::string &ident, const std::string &def) override
    {
        std::string v = TMemIniFile::ReadString(section, ident, def);
        if (v.size() > kProfileValueMax)
            v.resize(kProfileValueMax);
        return Trim(v);
    }
    void WriteString(const std::string &section, const std::string &ident, const std::string &value) override
    {
        TMemIniFile::WriteString(section, ident, TrimLeft(value));
    }
    std::string get(const std::string &key) { return ReadString(kSection, key, std::string()); }
    // A number a field shows; anything else (not a number, out of the
    // field's range) reads as 0.
    std::string field(const std::string &key)
    {
        const int v = ReadInteger(kSection, key, 0);
        return IntToStr(v >= 0 && v <= kFieldMax ? v : 0);
    }
    int count(const std::string &key)
    {
        const int v = ReadInteger(kSection, key, 0);
        return v < 0 ? 0 : (v > kMaxServers ? kMaxServers : v);
    }
};

// The text of a settings file, within its budget.
std::string readSettingsText(const std::string &path)
{
    struct stat st{};
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || size_t(st.st_size) > kMaxFileBytes)
        throw Exception(kErrorReading);
    std::string text;
    if (!fileio::ReadFile(path, text) || text.size() > kMaxFileBytes)
        throw Exception(kErrorReading);
    return text;
}

// The integer of a field's text, or the fallback when it is not a number.
int number(const std::string &text, int fallback) { return StrToIntDef(Trim(text), fallback); }

std::string at(const std::vector<std::string> &list, size_t i) { return i < list.size() ? list[i] : std::string(); }

void writeOptions(ProfileIni &ini, const CDDBOptions &o)
{
    auto put = [&](const std::string &key, const std::string &value) { ini.WriteString(kSection, key, value); };
    auto putInt = [&](const std::string &key, int value) { put(key, IntToStr(value)); };
    ini.EraseSection(kSection);
    putInt(kTimeOut, number(o.TimeOut, 30));
    putInt(kServerToUse, o.ServerToUse);
    put(kCategList, JoinCategoryList(o.Categories));
    putInt(kTotalCDDB, int(o.CDDBServerList.size()));
    for (size_t i = 0; i < o.CDDBServerList.size(); ++i) {
        put(kCServerAddr + IntToStr(int64_t(i)), o.CDDBServerList[i]);
        putInt(kCDDBPort + IntToStr(int64_t(i)), number(at(o.CDDBPortList, i), 8880));
    }
    putInt(kTotalHTTP, int(o.HTTPServerList.size()));
    for (size_t i = 0; i < o.HTTPServerList.size(); ++i) {
        put(kHServerAddr + IntToStr(int64_t(i)), o.HTTPServerList[i]);
        put(kCGIPath + IntToStr(int64_t(i)), at(o.CGIPathList, i));
        putInt(kHTTPPort + IntToStr(int64_t(i)), number(at(o.HTTPPortList, i), 80));
    }
    put(kProtocol, o.UseHTTP ? "http" : "cddbp");
    ini.WriteBool(kSection, kUseProxy, o.UseProxy);
    put(kSocksVer, o.SocksVer);
    put(kProxyAddr, o.ProxyAddress);
    putInt(kProxyPort, number(o.ProxyPort, 8080));
    ini.WriteBool(kSection, kUseProxyAuth, o.UseProxyAuth);
    put(kUsername, o.Username);
    put(kPassword, EncodePassword(o.Password));
    put(kUserEmail, o.UserEmail);
    put(kSMTP, o.SMTPAddr);
    put(kCDDBEmail, o.CDDBEmail);
}


// The category items of a "categlist" value as read. The file cannot keep the
// blank that the first item (no category) is: values are read without their
// leading blanks, so an empty first item is that blank again.
std::vector<std::string> storedCategoryItems(const std::string &value)
{
    std::vector<std::string> items = SplitCategoryList(value.empty() ? std::string(kBuiltInCategories) : value);
    if (!items.empty() && items.front().empty())
        items.front() = " ";
    return items;
}

} // namespace

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
    return storedCategoryItems(list);
}

CDDBOptions DefaultOptions()
{
    CDDBOptions o;
    o.TimeOut = kDefaultTimeOut;
    o.ServerToUse = 0;
    o.Categories = SplitCategoryList(kBuiltInCategories);
    o.CDDBServerList = {kDefaultServer};
    o.CDDBPortList = {kDefaultCDDBPort};
    o.HTTPServerList = {kDefaultServer};
    o.CGIPathList = {kDefaultCGIPath};
    o.HTTPPortList = {kDefaultHTTPPort};
    o.UseHTTP = false;
    o.SocksVer = kSocksVersions[0];
    o.ProxyPort = "0";
    o.UserEmail = kDefaultUserEmail;
    o.CDDBEmail = kDefaultSubmitEmail;
    return o;
}

CDDBOptions ParseOptions(const std::string &iniText)
{
    ProfileIni ini(iniText);
    CDDBOptions o;
    o.TimeOut = ini.field(kTimeOut);
    o.Categories = storedCategoryItems(ini.get(kCategList));
    const int n = ini.count(kTotalCDDB);
    for (int i = 0; i < n; ++i) {
        o.CDDBServerList.push_back(ini.get(kCServerAddr + IntToStr(i)));
        o.CDDBPortList.push_back(ini.field(kCDDBPort + IntToStr(i)));
    }
    const int m = ini.count(kTotalHTTP);
    for (int i = 0; i < m; ++i) {
        o.HTTPServerList.push_back(ini.get(kHServerAddr + IntToStr(i)));
        o.CGIPathList.push_back(ini.get(kCGIPath + IntToStr(i)));
        o.HTTPPortList.push_back(ini.field(kHTTPPort + IntToStr(i)));
    }
    o.UseHTTP = ini.get(kProtocol) == "http";
    // The selection names an entry of the protocol's list, or none (-1).
    const int entries = o.UseHTTP ? m : n;
    const int s = ini.ReadInteger(kSection, kServerToUse, 0);
    if (entries == 0)
        o.ServerToUse = -1;
    else if (s < 0)
        o.ServerToUse = s == -1 ? -1 : 0;
    else
        o.ServerToUse = s < entries ? s : entries - 1;
    o.UseProxy = ini.ReadBool(kSection, kUseProxy, false);
    o.SocksVer = ini.get(kSocksVer);
    o.ProxyAddress = ini.get(kProxyAddr);
    o.ProxyPort = ini.field(kProxyPort);
    o.UseProxyAuth = ini.ReadBool(kSection, kUseProxyAuth, false);
    o.Username = ini.get(kUsername);
    o.Password = DecodePassword(ini.get(kPassword));
    o.UserEmail = ini.get(kUserEmail);
    o.SMTPAddr = ini.get(kSMTP);
    o.CDDBEmail = ini.get(kCDDBEmail);
    return o;
}

bool LoadOptions(const std::string &path, CDDBOptions &options)
{
    if (!FileExists(path))
        return false;
    options = ParseOptions(readSettingsText(path));
    return true;
}

void SaveOptions(const std::string &path, const CDDBOptions &options)
{
    std::string old;
    if (FileExists(path)) {
        try {
            old = readSettingsText(path);
        } catch (const Exception &) {
            throw Exception(kErrorSaving);
        }
    }
    ProfileIni ini(old);
    writeOptions(ini, options);
    if (!fileio::AtomicWriteFile(path, ini.GetStrings()))
        throw Exception(kErrorSaving);
}

std::string OptionsText(const CDDBOptions &options)
{
    ProfileIni ini{std::string()};
    writeOptions(ini, options);
    return ini.GetStrings();
}

std::string EncodePassword(const std::string &text)
{
    return Base64Encode(text);
}

std::string DecodePassword(const std::string &text)
{
    // A value that is not Base64 (a character outside the alphabet, a broken
    // last group, a misplaced "=", a line break) reads as no password.
    if (text.size() % 4 != 0 || text.find_first_of("\r\n") != std::string::npos)
        return std::string();
    const size_t pad = text.find('=');
    if (pad != std::string::npos &&
        (pad + 2 < text.size() || text.find_first_not_of('=', pad) != std::string::npos))
        return std::string();
    try {
        return Base64Decode(text);
    } catch (const std::exception &) {
        return std::string();
    }
}

bool CheckEmailAddress(const std::string &text)
{
    if (AnsiCompareText(Trim(text), kDefaultUserEmail) == 0)
        return false;
    const size_t at = text.find('@');
    if (at == std::string::npos || at == 0)
        return false;
    const std::string host = text.substr(at + 1);
    const size_t dot = host.find('.');
    return dot != std::string::npos && dot != 0 && dot != host.size() - 1;
}

} // namespace cddbopts
