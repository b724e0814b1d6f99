// The settings file "CDDB.ini": the default file, round trips of every key,
// and the reader's mends for bad values.
#include "common/TestUtil.h"
#include "discdb/CDDBOptions.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace cddbopts;

namespace {

// The file a first start writes, byte for byte.
const char *kDefaultFile =
    "[CDDB Options]\r\n"
    "timeout=30\r\n"
    "servertouse=0\r\n"
    "categlist=, blues, classical, country, data, folk, jazz, misc, newage, reggae, rock, soundtrack,\r\n"
    "totalcddb=1\r\n"
    "cserveraddr0=gnudb.gnudb.org N000.00 W000.00 gnudb.org, successor of freedb\r\n"
    "cddbport0=8880\r\n"
    "totalhttp=1\r\n"
    "hserveraddr0=gnudb.gnudb.org N000.00 W000.00 gnudb.org, successor of freedb\r\n"
    "cgipath0=/~cddb/cddb.cgi\r\n"
    "httpport0=80\r\n"
    "protocol=cddbp\r\n"
    "useproxy=0\r\n"
    "socksver=Not use SOCKS\r\n"
    "proxyaddr=\r\n"
    "proxyport=0\r\n"
    "useproxyauth=0\r\n"
    "username=\r\n"
    "password=\r\n"
    "useremail=your.name@your.domain.com\r\n"
    "SMTP=\r\n"
    "cddbemail=freedb-submit@freedb.org\r\n"
    "\r\n";

std::string section(const std::string &body) { return "[CDDB Options]\r\n" + body; }

// Every key away from its default.
CDDBOptions fullRecord()
{
    CDDBOptions o;
    o.TimeOut = "45";
    o.ServerToUse = 2;
    o.Categories = {" ", " blues", " my own"};
    o.CDDBServerList = {"a.example.org N1 W2 First", "b.example.org"};
    o.CDDBPortList = {"8880", "888"};
    o.HTTPServerList = {"h1.example.org", "h2.example.org x y z", "h3"};
    o.CGIPathList = {"/~cddb/cddb.cgi", "/cgi-bin/cddb.cgi", ""};
    o.HTTPPortList = {"80", "8000", "81"};
    o.UseHTTP = true;
    o.UseProxy = true;
    o.SocksVer = "SOCKS v5.0";
    o.ProxyAddress = "proxy.example.org";
    o.ProxyPort = "1080";
    o.UseProxyAuth = true;
    o.Username = "me";
    o.Password = "p\xe4ss w=rd;\x01";
    o.UserEmail = "me@example.org";
    o.SMTPAddr = "smtp.example.org";
    o.CDDBEmail = "submit@example.org";
    return o;
}

} // namespace

TEST(CDDBOptionsFile, DefaultFileIsExact)
{
    EXPECT_EQ(OptionsText(DefaultOptions()), kDefaultFile);
    // Read back, the built-in list's first item is the single blank again
    // (the file holds no leading blank).
    EXPECT_EQ(ParseOptions(kDefaultFile), DefaultOptions());
    EXPECT_EQ(ParseOptions(section("categlist=,rock,\r\n")).Categories, (std::vector<std::string> {" ", "rock"}));
}

TEST(CDDBOptionsFile, SaveAndLoadRoundTripEveryKey)
{
    testutil::TempDir dir;
    const std::string path = dir.file("CDDB.ini");
    // Another section of the file is kept; the old keys of ours are replaced.
    testutil::writeFile(path, "[Other]\r\nkeep=1\r\n[CDDB Options]\r\nstale=1\r\ntotalcddb=9\r\n");
    const CDDBOptions o = fullRecord();
    SaveOptions(path, o);
    CDDBOptions back;
    ASSERT_TRUE(LoadOptions(path, back));
    EXPECT_EQ(back, o);

    const std::string text = testutil::readFile(path);
    EXPECT_NE(text.find("[Other]\r\nkeep=1\r\n"), std::string::npos);
    EXPECT_EQ(text.find("stale"), std::string::npos);
    // The keys in their fixed order, each server's keys together.
    const std::vector<std::string> order = {
        "timeout=45", "servertouse=2", "categlist=, blues, my own,", "totalcddb=2", "cserveraddr0=a.example.org N1 W2 First",
        "cddbport0=8880", "cserveraddr1=b.example.org", "cddbport1=888", "totalhttp=3", "hserveraddr0=h1.example.org",
        "cgipath0=/~cddb/cddb.cgi", "httpport0=80", "hserveraddr1=h2.example.org x y z", "cgipath1=/cgi-bin/cddb.cgi", "httpport1=8000",
        "hserveraddr2=h3", "cgipath2=", "httpport2=81", "protocol=http", "useproxy=1", "socksver=SOCKS v5.0",
        "proxyaddr=proxy.example.org", "proxyport=1080", "useproxyauth=1", "username=me", "password=cORzcyB3PXJkOwE=",
        "useremail=me@example.org", "SMTP=smtp.example.org", "cddbemail=submit@example.org"};
    size_t at = text.find("[CDDB Options]\r\n");
    ASSERT_NE(at, std::string::npos);
    for (const std::string &line : order) {
        const size_t next = text.find(line + "\r\n", at);
        ASSERT_NE(next, std::string::npos) << line;
        at = next + line.size();
    }
    // Nothing but a missing file reads as "no file".
    CDDBOptions none;
    EXPECT_FALSE(LoadOptions(dir.file("missing.ini"), none));
}

TEST(CDDBOptionsFile, FieldsFallBackWhenSavedWithoutANumber)
{
    CDDBOptions o = DefaultOptions();
    o.TimeOut = "";
    o.CDDBPortList = {"x"};
    o.HTTPPortList = {""};
    o.ProxyPort = "";
    const CDDBOptions back = ParseOptions(OptionsText(o));
    EXPECT_EQ(back.TimeOut, "30");
    EXPECT_EQ(back.CDDBPortList, std::vector<std::string>{"8880"});
    EXPECT_EQ(back.HTTPPortList, std::vector<std::string>{"80"});
    EXPECT_EQ(back.ProxyPort, "8080");
    // No categories are stored as an empty list, which reads as the built-in one.
    o.Categories.clear();
    EXPECT_EQ(ParseOptions(OptionsText(o)).Categories.size(), 12u);
}

TEST(CDDBOptionsFile, ReaderMendsBadValuesAndGoesOn)
{
    struct Case {
        const char *body;
        int server;
    } cases[] = {
        {"totalcddb=2\r\nservertouse=5\r\n", 1},        // beyond the list: the last entry
        {"totalcddb=2\r\nservertouse=-7\r\n", 0},       // below -1: the first
        {"totalcddb=2\r\nservertouse=-1\r\n", -1},      // none
        {"totalcddb=2\r\nservertouse=abc\r\n", 0},      // not a number: the default
        {"totalcddb=0\r\nservertouse=3\r\n", -1},       // an empty list
        {"totalhttp=3\r\nprotocol=http\r\nservertouse=0x2\r\n", 2},
        {"totalhttp=3\r\nprotocol=HTTP\r\nservertouse=2\r\n", -1},  // only "http" is HTTP: cddbp has no entries
    };
    for (const Case &c : cases) {
        const CDDBOptions o = ParseOptions(section(std::string(c.body) + "password=$$$\r\nuseremail=me@x.org\r\n"));
        EXPECT_EQ(o.ServerToUse, c.server) << c.body;
        // The bad password reads as empty and the load goes on after it.
        EXPECT_EQ(o.Password, "") << c.body;
        EXPECT_EQ(o.UserEmail, "me@x.org") << c.body;
    }
    const CDDBOptions o = ParseOptions(section(
        "timeout=99999\r\ntotalcddb=3\r\ncddbport0=0x1F90\r\ncddbport1=-4\r\ncddbport2=  88  \r\nproxyport=abc\r\n"
        "categlist=  a,b,dropped\r\nsocksver=  socks V5.0 \r\nuseproxy=2\r\n"));
    EXPECT_EQ(o.TimeOut, "0");
    EXPECT_EQ(o.CDDBPortList, (std::vector<std::string>{"8080", "0", "88"}));
    EXPECT_EQ(o.CDDBServerList, (std::vector<std::string>{"", "", ""}));
    EXPECT_EQ(o.ProxyPort, "0");
    EXPECT_EQ(o.Categories, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(o.SocksVer, "socks V5.0");
    EXPECT_TRUE(o.UseProxy);
    EXPECT_FALSE(o.UseHTTP);
    // A count far beyond the keys is bounded.
    EXPECT_EQ(ParseOptions(section("totalhttp=2147483647\r\n")).HTTPServerList.size(), size_t(kMaxServers));
}

TEST(CDDBOptionsFile, PasswordIsBase64)
{
    // RFC 4648 test vectors, both ways.
    const std::pair<const char *, const char *> vectors[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"}, {"\xff\xfe\x00", "//4A"}};
    for (const auto &[plain, coded] : vectors) {
        const std::string p(plain, plain[0] == '\xff' ? 3 : std::char_traits<char>::length(plain));
        EXPECT_EQ(EncodePassword(p), coded);
        EXPECT_EQ(DecodePassword(coded), p);
    }
    for (const char *bad : {"Zm9", "Zm9v!", "Z===", "Zg=a", "Zg==Zg==", "Zm 9v", "=Zm9"})
        EXPECT_EQ(DecodePassword(bad), "") << bad;
}

TEST(CDDBOptionsFile, CheckEmailAddress)
{
    for (const char *good : {"a@b.c", "user@mail.example.org", "x@y.z.", "a@b@c.d"})
        EXPECT_TRUE(CheckEmailAddress(good)) << good;
    // The placeholder of a new file passes the form but is nobody's address.
    for (const char *bad : {"", "user", "@b.c", "a@bc", "a@.bc", "a@bc.", "a@b", "your.name@your.domain.com",
                            " Your.Name@Your.Domain.COM"})
        EXPECT_FALSE(CheckEmailAddress(bad)) << bad;
}

TEST(CDDBOptionsFile, FailedSaveLeavesTheFileAndSaysSo)
{
    testutil::TempDir dir;
    const std::string path = dir.file("CDDB.ini");
    testutil::writeFile(path, kDefaultFile);
    chmod(path.c_str(), 0444);
    testutil::openToAll(dir.path());
    chmod(path.c_str(), 0444);
    const std::string r = testutil::runUnprivileged([&] {
        try {
            SaveOptions(path, fullRecord());
        } catch (const Exception &e) {
            return e.Message;
        }
        return std::string("saved");
    });
    EXPECT_EQ(r, kErrorSaving);
    EXPECT_EQ(testutil::readFile(path), kDefaultFile);

    // Too large a file is not read.
    const std::string big = dir.file("big.ini");
    testutil::writeFile(big, std::string(kMaxFileBytes + 1, 'x'));
    CDDBOptions o;
    EXPECT_THROW(LoadOptions(big, o), Exception);
}
