// SZDD expansion and cabinet extraction, on files made with mscompress and
// gcab.
#include "common/TestUtil.h"
#include "webupdate/Cabfdi.h"
#include "webupdate/LzExpand.h"
#include "webupdate/WUpdate.h"
#include "webupdate/WebUpdatePeers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using testutil::TempDir;

namespace {

// Runs a shell command in a folder; its exit status.
int RunIn(const std::string &dir, const std::string &command)
{
    return std::system(("cd '" + dir + "' && " + command + " >/dev/null 2>&1").c_str());
}

time_t MTime(const std::string &path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_mtime : 0;
}

// Sets a file's time; DOS times have two-second steps.
void Touch(const std::string &path, const char *when)
{
    ASSERT_EQ(std::system(("TZ=UTC touch -d '" + std::string(when) + "' '" + path + "'").c_str()), 0);
}

std::string Compressible(size_t n)
{
    std::string s;
    while (s.size() < n)
        s += "The quick brown fox " + std::to_string(s.size() % 97) + " jumps over the lazy dog.\n";
    s.resize(n);
    return s;
}

} // namespace

TEST(LzExpand, ExpandedNames)
{
    struct Case {
        const char *packed;
        char stored;
        const char *expanded;
    } cases[] = {
        {"dir/upd.ex_", 'e', "dir/upd.exe"},
        {"dir/UPD.EX_", 'e', "dir/UPD.EXE"},
        {"a.txt_", 0, "a.txt"},            // mscompress appends '_' and stores nothing
        {"a.txt", 't', "a.txt"},           // no '_': the name stays
        {"a.tx_", '/', "a.tx"},            // a separator is no character to store
        {"a.tx_", '\n', "a.tx"},
        {"dir/_", 'x', "dir/_"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(LzExpandedName(c.packed, c.stored), c.expanded) << c.packed;
}

TEST(LzExpand, MscompressFilesExpandToTheOriginalBytes)
{
    TempDir dir;
    TWebUpdate wu;
    wu.AppFolder = dir.path();
    for (const std::string &bytes : {std::string(), Compressible(30000), wutest::PatternBytes(9000)}) {
        testutil::writeFile(dir.file("data.bin"), bytes);
        ASSERT_EQ(RunIn(dir.path(), "mscompress data.bin"), 0);
        ASSERT_EQ(unlink(dir.file("data.bin").c_str()), 0);
        TLzInfo info;
        ASSERT_TRUE(LzInspect(dir.file("data.bin_"), info));
        EXPECT_EQ(info.Length, int64_t(bytes.size()));
        EXPECT_TRUE(wu.ExpandLZFile(dir.file("data.bin_"))) << bytes.size() << " " << wu.LastErrorText();
        EXPECT_EQ(testutil::readFile(dir.file("data.bin")), bytes);
        EXPECT_FALSE(testutil::fileExists(dir.file("data.bin_")));
    }
    // A file that is not packed stays as it is.
    testutil::writeFile(dir.file("plain.tx_"), "plain text");
    EXPECT_TRUE(wu.ExpandLZFile(dir.file("plain.tx_")));
    EXPECT_EQ(testutil::readFile(dir.file("plain.tx_")), "plain text");
    EXPECT_TRUE(TWebUpdate::DirExists(wu.GetTempDirectory()));
}

TEST(LzExpand, DamagedOrMismatchedExpansionKeepsTheOldFile)
{
    TempDir dir;
    TWebUpdate wu;
    const std::string bytes = Compressible(20000);
    testutil::writeFile(dir.file("app.dat"), bytes);
    ASSERT_EQ(RunIn(dir.path(), "mscompress app.dat"), 0);
    const std::string packed = testutil::readFile(dir.file("app.dat_"));
    testutil::writeFile(dir.file("app.dat"), "old");
    // Announced size differs: the old file stays.
    EXPECT_FALSE(wu.ExpandLZFile(dir.file("app.dat_"), {12345, std::nullopt}));
    EXPECT_EQ(testutil::readFile(dir.file("app.dat")), "old");
    // Cut short: the expansion brings less than the header says.
    testutil::writeFile(dir.file("app.dat_"), packed.substr(0, packed.size() / 2));
    EXPECT_FALSE(wu.ExpandLZFile(dir.file("app.dat_")));
    EXPECT_EQ(testutil::readFile(dir.file("app.dat")), "old");
    // Larger than allowed.
    testutil::writeFile(dir.file("app.dat_"), packed);
    wu.MaxFileSize = 1000;
    EXPECT_FALSE(wu.ExpandLZFile(dir.file("app.dat_")));
    EXPECT_EQ(testutil::readFile(dir.file("app.dat")), "old");
}

// A compressed download is expanded, and the announced checksum is that of
// the expanded file; a ".CAB" name is never expanded as SZDD.
TEST(LzExpand, CompressedDownload)
{
    TempDir root, app;
    const std::string bytes = Compressible(12000);
    testutil::writeFile(root.file("tool.exe"), bytes);
    ASSERT_EQ(RunIn(root.path(), "mscompress tool.exe && cp tool.exe_ data.cab"), 0);
    wutest::HttpPeer peer(root.path());
    ASSERT_TRUE(peer.ready());
    TWebUpdate wu;
    wu.AppFolder = app.path();
    wu.UpdateType = TWebUpdateType::httpUpdate;
    wu.ProcessMessages = [] {};
    std::vector<std::string> downloaded;
    wu.OnFileDownloaded = [&](TWebUpdate *, const std::string &f) { downloaded.push_back(f); };
    std::vector<std::string> errors;
    wu.OnStatus = [&](TWebUpdate *, const std::string &t, int32_t c, int32_t) {
        if (c == 1)
            errors.push_back(t);
    };
    auto conn = wu.OpenInternet();
    EXPECT_FALSE(wu.URLGetFile(conn.get(), peer.url("tool.exe_"), app.path(), true, {0, 1u}));
    EXPECT_FALSE(testutil::fileExists(app.file("tool.exe")));
    // The cause is told.
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors.back(), "The file's checksum differs from the announced checksum 1");
    EXPECT_TRUE(wu.URLGetFile(conn.get(), peer.url("tool.exe_"), app.path(), true, {12000, std::nullopt}));
    EXPECT_EQ(testutil::readFile(app.file("tool.exe")), bytes);
    EXPECT_FALSE(testutil::fileExists(app.file("tool.exe_")));
    ASSERT_FALSE(downloaded.empty());
    EXPECT_EQ(downloaded.back(), app.file("tool.exe_"));
    EXPECT_TRUE(wu.URLGetFile(conn.get(), peer.url("data.cab"), app.path(), true));
    EXPECT_EQ(testutil::readFile(app.file("data.cab")), testutil::readFile(root.file("data.cab")));
}

class Cabinet : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(mkdir(src.file("sub").c_str(), 0755), 0);
        one = Compressible(5000);
        two = wutest::PatternBytes(70000);
        testutil::writeFile(src.file("one.txt"), one);
        testutil::writeFile(src.file("sub/two.bin"), two);
        Touch(src.file("one.txt"), "2001-02-03 04:05:06");
        Touch(src.file("sub/two.bin"), "2010-11-12 13:14:16");
    }
    // A cabinet of the named files of src (gcab stores the paths as given).
    std::string Make(const std::string &name, const std::string &files, bool zip = true)
    {
        const std::string cab = src.file(name);
        EXPECT_EQ(RunIn(src.path(), std::string("TZ=UTC gcab -c ") + (zip ? "-z " : "") + name + " " + files), 0);
        return cab;
    }
    TempDir src, dest;
    std::string one, two;
};

TEST_F(Cabinet, GcabCabinetsExtractWithTheirTimes)
{
    for (bool zip : {false, true}) {
        const std::string cab = Make(zip ? "z.cab" : "s.cab", "one.txt sub/two.bin", zip);
        testutil::writeFile(dest.file("one.txt"), "old file to be replaced");
        ASSERT_EQ(CabExtract(cab, dest.path() + "/"), 0) << zip;
        EXPECT_EQ(testutil::readFile(dest.file("one.txt")), one);
        EXPECT_EQ(testutil::readFile(dest.file("sub/two.bin")), two);
        EXPECT_EQ(MTime(dest.file("one.txt")), MTime(src.file("one.txt")));
        EXPECT_EQ(MTime(dest.file("sub/two.bin")), MTime(src.file("sub/two.bin")));
    }
}

TEST_F(Cabinet, FailuresGiveMinusOne)
{
    // Not a cabinet: nothing written.
    testutil::writeFile(src.file("fake.cab"), "MSCF but not really a cabinet at all");
    EXPECT_EQ(CabExtract(src.file("fake.cab"), dest.path()), -1);
    EXPECT_EQ(CabExtract(src.file("missing.cab"), dest.path()), -1);
    // Two levels deep below a missing folder.
    ASSERT_EQ(mkdir(src.file("sub/deeper").c_str(), 0755), 0);
    testutil::writeFile(src.file("sub/deeper/three.txt"), "three");
    const std::string cab = Make("deep.cab", "sub/deeper/three.txt");
    EXPECT_EQ(CabExtract(cab, dest.path()), -1);
    EXPECT_FALSE(testutil::fileExists(dest.file("sub")));
}

// A stored name that climbs out with "..", is absolute, or passes through a
// link that leads out of the folder is refused and nothing lands outside.
TEST_F(Cabinet, NamesThatLeaveTheFolderAreRefused)
{
    TempDir outside;
    ASSERT_EQ(mkdir(src.file("xx").c_str(), 0755), 0);
    testutil::writeFile(src.file("xx/evil.txt"), "evil");
    const std::string bytes = testutil::readFile(Make("evil.cab", "xx/evil.txt"));
    ASSERT_NE(bytes.find("xx\\evil.txt"), std::string::npos);
    ASSERT_EQ(mkdir(dest.file("in").c_str(), 0755), 0);
    // The names are patched in place (same length); the first one is fine.
    const std::pair<std::string, int> cases[] = {
        {"yy\\evil.txt", 0}, {"..\\evil.txt", -1}, {"\\x\\evil.txt", -1}, {"in\\..\\..\\ev", -1}};
    for (const auto &[stored, result] : cases) {
        ASSERT_EQ(stored.size(), 11u);
        std::string patched = bytes;
        patched.replace(patched.find("xx\\evil.txt"), 11, stored);
        testutil::writeFile(src.file("patched.cab"), patched);
        EXPECT_EQ(CabExtract(src.file("patched.cab"), dest.file("in")), result) << stored;
    }
    EXPECT_EQ(testutil::readFile(dest.file("in/yy/evil.txt")), "evil");
    EXPECT_FALSE(testutil::fileExists(dest.file("evil.txt")));
    // Through a symbolic link to another folder.
    ASSERT_EQ(symlink(outside.path().c_str(), dest.file("xx").c_str()), 0);
    EXPECT_EQ(CabExtract(src.file("evil.cab"), dest.path()), -1);
    EXPECT_FALSE(testutil::fileExists(outside.file("evil.txt")));
    // A link in place of the file itself is neither written through nor
    // replaced.
    ASSERT_EQ(unlink(dest.file("xx").c_str()), 0);
    ASSERT_EQ(mkdir(dest.file("xx").c_str(), 0755), 0);
    testutil::writeFile(outside.file("target.txt"), "outside");
    ASSERT_EQ(symlink(outside.file("target.txt").c_str(), dest.file("xx/evil.txt").c_str()), 0);
    EXPECT_EQ(CabExtract(src.file("evil.cab"), dest.path()), -1);
    EXPECT_EQ(testutil::readFile(outside.file("target.txt")), "outside");
    EXPECT_EQ(wutest::Snapshot(dest.file("xx")), "evil.txt -> " + outside.file("target.txt") + "\n");
}

// A cabinet with a good member first and a bad one after it: every member
// is checked before any is written, so the folder stays exactly as it was.
TEST_F(Cabinet, RefusedCabinetWritesNothing)
{
    TempDir outside;
    ASSERT_EQ(mkdir(src.file("xx").c_str(), 0755), 0);
    testutil::writeFile(src.file("xx/evil.txt"), "evil");
    const std::string bytes = testutil::readFile(Make("mixed.cab", "one.txt xx/evil.txt"));
    ASSERT_NE(bytes.find("xx\\evil.txt"), std::string::npos);
    struct Case {
        const char *name;
        std::string stored;                        // the second member's name, patched in
        std::function<void(const std::string &)> prepare;   // what the folder holds
    } cases[] = {
        {"traversing", "..\\evil.txt", nullptr},
        {"absolute", "\\x\\evil.txt", nullptr},
        {"drive", "C:\\evil.txt", nullptr},
        {"link in place", "xx\\evil.txt",
         [&](const std::string &d) {
             mkdir((d + "/xx").c_str(), 0755);
             symlink(outside.file("target.txt").c_str(), (d + "/xx/evil.txt").c_str());
         }},
        {"folder link out", "xx\\evil.txt", [&](const std::string &d) { symlink(outside.path().c_str(), (d + "/xx").c_str()); }},
        {"device in place", "xx\\evil.txt",
         [](const std::string &d) {
             mkdir((d + "/xx").c_str(), 0755);
             mkfifo((d + "/xx/evil.txt").c_str(), 0644);
         }},
        {"folder in place", "xx\\evil.txt",
         [](const std::string &d) {
             mkdir((d + "/xx").c_str(), 0755);
             mkdir((d + "/xx/evil.txt").c_str(), 0755);
         }},
    };
    testutil::writeFile(outside.file("target.txt"), "outside");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.stored.size(), 11u);
        std::string patched = bytes;
        patched.replace(patched.find("xx\\evil.txt"), 11, c.stored);
        testutil::writeFile(src.file("patched.cab"), patched);
        TempDir folder;
        testutil::writeFile(folder.file("one.txt"), "the installed one");
        if (c.prepare)
            c.prepare(folder.path());
        const std::string before = wutest::Snapshot(folder.path());
        EXPECT_EQ(CabExtract(src.file("patched.cab"), folder.path() + "/"), -1);
        EXPECT_EQ(wutest::Snapshot(folder.path()), before);
        EXPECT_EQ(wutest::Snapshot(outside.path()), "target.txt = outside\n");
    }
}

TEST_F(Cabinet, EmptyFolderExtractsBelowTheCurrentFolder)
{
    const std::string cab = Make("c.cab", "one.txt");
    char old[4096];
    ASSERT_TRUE(getcwd(old, sizeof old));
    ASSERT_EQ(chdir(dest.path().c_str()), 0);
    const int result = CabExtract(cab, "");
    ASSERT_EQ(chdir(old), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(testutil::readFile(dest.file("one.txt")), one);
}

TEST_F(Cabinet, BudgetBoundsTheExtraction)
{
    const std::string cab = Make("b.cab", "one.txt sub/two.bin");
    EXPECT_EQ(CabExtract(cab, dest.path(), 10000), -1);
    // Refused as a whole: not even the first, small member was written.
    EXPECT_EQ(wutest::Snapshot(dest.path()), "");
}

TEST_F(Cabinet, DamagedMemberWritesNothing)
{
    // The second member's data spoiled: the first, whole one stays unwritten
    // as well.
    std::string bytes = testutil::readFile(Make("d.cab", "one.txt sub/two.bin", false));
    const std::string tail = two.substr(two.size() - 64);
    const size_t at = bytes.rfind(tail);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 10] ^= 0x55;
    bytes.resize(at + 32);   // and cut short
    testutil::writeFile(src.file("d.cab"), bytes);
    testutil::writeFile(dest.file("one.txt"), "installed");
    EXPECT_EQ(CabExtract(src.file("d.cab"), dest.path()), -1);
    EXPECT_EQ(wutest::Snapshot(dest.path()), "one.txt = installed\n");
}
