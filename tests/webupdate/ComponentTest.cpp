// The component's defaults, status texts and path operations.
#include "common/TestUtil.h"
#include "webupdate/WUpdate.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using testutil::TempDir;

TEST(WebUpdate, DefaultsAndUtility)
{
    TWebUpdate wu;
    EXPECT_EQ(wu.Signature, "WebUpdate");
    EXPECT_EQ(wu.Port, 21);
    EXPECT_EQ(wu.UpdateType, TWebUpdateType::ftpUpdate);
    EXPECT_EQ(wu.UpdateConnect, TWebUpdateConnect::wucNoConnect);
    EXPECT_EQ(wu.UpdateUpdate, TWebUpdateUpdate::wuuPromptOnce);
    EXPECT_EQ(wu.DateFormat, "dd/mm/yyyy");
    EXPECT_EQ(wu.TimeFormat, "hh:nn");
    EXPECT_EQ(wu.StallTimeoutMs, 60000);
    EXPECT_EQ(wu.ConnectTimeoutMs, 30000);
    EXPECT_FALSE(wu.PostUpdateInfo().Enabled);
    EXPECT_FALSE(wu.LastURLEntry().Save);
    EXPECT_FALSE(wu.Busy());
    EXPECT_TRUE(wu.Connected());
    EXPECT_EQ(wu.ConnectionType(), -1);
    TWebUpdateUtility util, other;
    wu.Utility = &util;
    wu.Notification(&other);
    EXPECT_EQ(wu.Utility, &util);
    wu.Notification(&util);
    EXPECT_EQ(wu.Utility, nullptr);
}

TEST(WebUpdate, StatusTexts)
{
    TWebUpdate wu;
    wu.DoStatus(wustatus::HttpStatus, "404", 6, 404);   // no handler: nothing happens
    std::string text;
    int code = 0, err = 0;
    wu.OnStatus = [&](TWebUpdate *s, const std::string &t, int32_t c, int32_t e) {
        EXPECT_EQ(s, &wu);
        text = t;
        code = c;
        err = e;
    };
    wu.DoStatus(wustatus::HttpStatus, "404", 6, 404);
    EXPECT_EQ(text, "Http status : 404");
    EXPECT_EQ(code, 6);
    EXPECT_EQ(err, 404);
    wu.DoStatus(wustatus::NewVersionFound, "1,4,0,12 %s", 5, 0);
    EXPECT_EQ(text, "New version found : 1,4,0,12 %s");
    wu.DoStatus(wustatus::NoNewVersion, "ignored", 4, 0);
    EXPECT_EQ(text, "No new version found");
    EXPECT_EQ(wustatus::Text(911), "Shutdown application to update executable files ?");
    EXPECT_EQ(wustatus::Text(944), "");
    // Error() with nothing recorded reports nothing.
    text.clear();
    wu.Error();
    EXPECT_EQ(text, "");
}

TEST(WebUpdate, AddressesAndNames)
{
    EXPECT_EQ(TWebUpdate::URLtoFile("a/b\\c.txt"), "c.txt");
    EXPECT_EQ(TWebUpdate::URLtoFile("plain"), "plain");
    EXPECT_EQ(TWebUpdate::URLtoFile("http://host/dir/"), "");
    EXPECT_EQ(TWebUpdate::MakeProxyUrl("HTTP://host/x", "u", "p"), "http://u:p@host/x");
    EXPECT_EQ(TWebUpdate::MakeProxyUrl("http://host/x", "u", ""), "http://u:@host/x");
    EXPECT_EQ(TWebUpdate::MakeProxyUrl("ftp://host/x", "u", "p"), "ftp://host/x");
    EXPECT_EQ(TWebUpdate::MakeProxyUrl("http://host/x", "", "p"), "http://host/x");
    EXPECT_EQ(TWebUpdate::AddBackslash(""), "");
    EXPECT_EQ(TWebUpdate::AddBackslash("a"), "a/");
    EXPECT_EQ(TWebUpdate::AddBackslash("a/"), "a/");
}

TEST(WebUpdate, PrefixesExpand)
{
    TempDir app;
    TWebUpdate wu;
    wu.AppFolder = app.path() + "/";
    const std::string tmp = wu.GetTempDirectory();
    ASSERT_FALSE(tmp.empty());
    struct stat st;
    ASSERT_EQ(stat(tmp.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);   // private
    const std::string tmpNoSlash = tmp.substr(0, tmp.size() - 1);
    struct Case {
        std::string in, out;
    } cases[] = {
        {"{TMP}\\update.inf", tmpNoSlash + "/update.inf"},
        {"{tmp}update.inf", tmpNoSlash + "update.inf"},       // glued to the folder's name
        {"{App}\\x\\y.exe", app.path() + "/x/y.exe"},         // backslashes become '/'
        {"{PF}\\x", "{PF}/x"},                               // unknown prefix stays
        {"{APP", "{APP"},                                     // unclosed stays
        {"a{{TMP}b", "a{{TMP}b"},                              // "{" inside a prefix is a character
        {"{WIN}", std::string(getenv("HOME") ? getenv("HOME") : "")},
    };
    for (const Case &c : cases)
        EXPECT_EQ(wu.ExpandPath(c.in), c.out) << c.in;
    wu.AppFolder = "/";
    EXPECT_EQ(wu.ExpandPath("{APP}\\x"), "/./x");
    wu.OnConvertPrefix = [](TWebUpdate *, std::string &p) { p = "{TMP}" + p; };
    EXPECT_EQ(wu.ExpandPath("\\a"), tmpNoSlash + "/a");
}

// Paths from the control file stay in the application or temporary folder.
TEST(WebUpdate, ConfinedPaths)
{
    TempDir app, outside;
    TWebUpdate wu;
    wu.AppFolder = app.path();
    ASSERT_EQ(symlink(outside.path().c_str(), app.file("link").c_str()), 0);
    const std::string tmp = wu.GetTempDirectory();
    struct Case {
        std::string in;
        bool ok;
        std::string out;
    } cases[] = {
        {"sub\\file.exe", true, app.path() + "/sub/file.exe"},
        {"{APP}\\data\\", true, app.path() + "/data/"},
        {"{TMP}\\update.inf", true, tmp + "update.inf"},
        {".\\a\\.\\b", true, app.path() + "/a/b"},
        {"..\\evil", false, ""},
        {"a\\..\\b", false, ""},
        {"/etc/passwd", false, ""},
        {"link\\x", false, ""},
        {"", false, ""},
    };
    for (const Case &c : cases) {
        std::string out;
        EXPECT_EQ(wu.ConfinePath(c.in, out), c.ok) << c.in;
        EXPECT_EQ(out, c.out) << c.in;
    }
}

TEST(WebUpdate, CreateDirectoryPath)
{
    TempDir dir;
    EXPECT_TRUE(TWebUpdate::CreateDirectoryPath(""));
    EXPECT_TRUE(TWebUpdate::CreateDirectoryPath(dir.file("a\\b\\c\\")));
    EXPECT_TRUE(TWebUpdate::DirExists(dir.file("a/b/c")));
    testutil::writeFile(dir.file("file"), "x");
    EXPECT_FALSE(TWebUpdate::CreateDirectoryPath(dir.file("file/sub")));
}

TEST(WebUpdate, TemporaryFolderGoesWithTheComponent)
{
    std::string tmp;
    {
        TWebUpdate wu;
        tmp = wu.GetTempDirectory();
        testutil::writeFile(tmp + "update.inf", "[update]");
        EXPECT_EQ(wu.GetTempDirectory(), tmp);
    }
    EXPECT_FALSE(TWebUpdate::DirExists(tmp));
}
