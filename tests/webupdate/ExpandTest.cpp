// SZDD expansion and cabinet extraction, on files made with mscompress and
// gcab.
#include "common/TestUtil.h"
#include "webupdate/Cabfdi.h"
#include "webupdate/LzExpand.h"
#include "webupdate/WUpdate.h"
#include "webupdate/WebUpdatePeers.h"
#include "webupdate/WuProcess.h"
#include "webupdate/WuResult.h"

#include <gtest/gtest.h>

#include <chrono>
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

// A component that downloads over HTTP into app and notes the errors it
// tells.
void Downloading(TWebUpdate &wu, const std::string &app, std::vector<std::string> &errors)
{
    wu.AppFolder = app;
    wu.UpdateType = TWebUpdateType::httpUpdate;
    wu.ProcessMessages = [] {};
    wu.OnStatus = [&errors](TWebUpdate *, const std::string &t, int32_t c, int32_t) {
        if (c == 1)
            errors.push_back(t);
    };
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

// The header's 32-bit expanded size (least significant byte first, at 10)
// set to another value.
std::string Announcing(std::string packed, uint32_t size)
{
    for (int i = 0; i < 4; ++i)
        packed[10 + i] = char((size >> (8 * i)) & 0xFF);
    return packed;
}

// A header that states another size than the file expands to is refused,
// and the refusal names both sizes; the old file stays.
TEST(LzExpand, AMisstatedSizeNamesTheAnnouncedAndTheRealSize)
{
    TempDir dir;
    const std::string bytes = Compressible(20000);
    testutil::writeFile(dir.file("app.dat"), bytes);
    ASSERT_EQ(RunIn(dir.path(), "mscompress app.dat"), 0);
    const std::string packed = testutil::readFile(dir.file("app.dat_"));
    const struct {
        uint32_t announced;
        int64_t budget;
        std::string why;
    } cases[] = {
        {1000, int64_t(1) << 30, "its header announces 1000 bytes, but it expands to 20000 bytes"},
        {30000, int64_t(1) << 30, "its header announces 30000 bytes, but it expands to 20000 bytes"},
        {1, int64_t(1) << 30, "its header announces 1 byte, but it expands to 20000 bytes"},
        {1000, 5000, "its header announces 1000 bytes, but it expands to more than 5000 bytes"},
        {6000, 5000, "its header announces 6000 bytes, more than the 5000 bytes allowed"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.announced);
        const std::string file = dir.file("app.dat_");
        testutil::writeFile(file, Announcing(packed, c.announced));
        std::string why;
        EXPECT_FALSE(LzExpand(file, dir.file("out.bin"), c.budget, &why));
        EXPECT_EQ(why, c.why);
        EXPECT_FALSE(testutil::fileExists(dir.file("out.bin")));
        if (c.budget != int64_t(1) << 30)
            continue;
        // Through the component: the cause is told, the old file stays.
        TWebUpdate wu;
        testutil::writeFile(dir.file("app.dat"), "old");
        EXPECT_FALSE(wu.ExpandLZFile(file));
        EXPECT_EQ(wu.LastErrorText(), "Cannot expand " + file + ": " + c.why);
        EXPECT_EQ(testutil::readFile(dir.file("app.dat")), "old");
    }
    // What is not packed at all says so.
    testutil::writeFile(dir.file("plain"), "plain text");
    std::string why;
    EXPECT_FALSE(LzExpand(dir.file("plain"), dir.file("out.bin"), 1000, &why));
    EXPECT_EQ(why, "it is not a packed (SZDD) file or cannot be read");
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
    std::vector<std::string> errors;
    Downloading(wu, app.path(), errors);
    std::vector<std::string> downloaded;
    wu.OnFileDownloaded = [&](TWebUpdate *, const std::string &f) { downloaded.push_back(f); };
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

// A header that announces more than may be expanded is refused at once,
// with its cause, before a byte is expanded: the packed data of 1 MiB of
// zeros (which the header then says expand to 2 GiB, or to 1.15 GB) would
// take long to expand.
TEST(LzExpand, AnnouncedSizeOverTheLimitIsRefusedAtOnce)
{
    TempDir dir, root, app;
    testutil::writeFile(dir.file("big.bin"), std::string(1 << 20, '\0'));
    ASSERT_EQ(RunIn(dir.path(), "mscompress big.bin"), 0);
    const std::string packed = testutil::readFile(dir.file("big.bin_"));
    ASSERT_GT(packed.size(), 14u);
    ASSERT_EQ(packed.compare(0, 4, "SZDD"), 0);
    // The expanded size: 32 bits, least significant byte first, at offset 10.
    auto announcing = [&](uint32_t size) {
        std::string bytes = packed;
        for (int i = 0; i < 4; ++i)
            bytes[10 + i] = char((size >> (8 * i)) & 0xFF);
        return bytes;
    };
    for (const uint32_t size : {0x80000000u, 1150000000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(size);
        const std::string file = dir.file("big.bin_");
        testutil::writeFile(file, announcing(size));
        TLzInfo info;
        ASSERT_TRUE(LzInspect(file, info));
        EXPECT_EQ(info.Length, int64_t(size));

        TWebUpdate wu;
        wu.AppFolder = app.path();
        testutil::writeFile(dir.file("big.bin"), "old");
        const auto t0 = std::chrono::steady_clock::now();
        EXPECT_FALSE(wu.ExpandLZFile(file));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        EXPECT_LT(seconds, 1.0);
        EXPECT_EQ(wu.LastErrorText(), "The expanded file would be too large (" + std::to_string(size) +
                                          " bytes announced, at most 1073741824 allowed): " + file);
        EXPECT_EQ(testutil::readFile(dir.file("big.bin")), "old");
        EXPECT_TRUE(wutest::TempEntries(wu.GetTempDirectory()).empty());
        // The expansion on its own refuses it from the header as well.
        testutil::writeFile(file, announcing(size));
        EXPECT_FALSE(LzExpand(file, dir.file("out.bin"), int64_t(1) << 30));
        EXPECT_FALSE(testutil::fileExists(dir.file("out.bin")));
    }

    // Downloaded as a compressed file: the cause reaches the status.
    testutil::writeFile(root.file("big.bin_"), announcing(0x80000000u));
    wutest::HttpPeer peer(root.path());
    ASSERT_TRUE(peer.ready());
    TWebUpdate wu;
    std::vector<std::string> errors;
    Downloading(wu, app.path(), errors);
    auto conn = wu.OpenInternet();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(wu.URLGetFile(conn.get(), peer.url("big.bin_"), app.path(), true));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 5.0);
    EXPECT_EQ(errors, std::vector<std::string>{"The expanded file would be too large (2147483648 bytes announced, "
                                               "at most 1073741824 allowed): " + app.file("big.bin_")});
    EXPECT_EQ(wutest::Entries(app.path()), std::vector<std::string>{});
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
    std::string why;
    EXPECT_EQ(CabExtract(cab, dest.path(), 10000, &why), -1);
    EXPECT_EQ(why, "The cabinet's files are too large (more than 10000 bytes in all): sub/two.bin");
    // Refused as a whole: not even the first, small member was written.
    EXPECT_EQ(wutest::Snapshot(dest.path()), "");
}

// A member whose header announces more than the limit refuses the cabinet
// before anything is expanded.
TEST_F(Cabinet, AnnouncedSizeOverTheLimitIsRefusedAtOnce)
{
    std::string bytes = testutil::readFile(Make("h.cab", "one.txt sub/two.bin"));
    // The member's entry: its size (32 bits, least significant byte first)
    // stands 16 bytes before its name.
    const size_t name = bytes.find(std::string("one.txt") + '\0');
    ASSERT_NE(name, std::string::npos);
    ASSERT_GE(name, 16u);
    const uint32_t size = 0x60000000u;   // 1.5 GiB
    for (int i = 0; i < 4; ++i)
        bytes[name - 16 + i] = char((size >> (8 * i)) & 0xFF);
    testutil::writeFile(src.file("h.cab"), bytes);
    std::string why;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(CabExtract(src.file("h.cab"), dest.path(), int64_t(1) << 30, &why), -1);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), 1.0);
    EXPECT_EQ(why, "The cabinet's files are too large (more than 1073741824 bytes in all): one.txt");
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
    std::string why;
    EXPECT_EQ(CabExtract(src.file("d.cab"), dest.path(), int64_t(1) << 30, &why), -1);
    EXPECT_EQ(wutest::Snapshot(dest.path()), "one.txt = installed\n");
    // The member that could not be extracted is named.
    EXPECT_EQ(why.rfind("The cabinet's member sub\\two.bin could not be extracted: ", 0), 0u) << why;
}

// The updater names the cabinet member it could not extract, and both sizes
// of a packed file whose header misstates its size, in the result the
// program shows at its next start.
TEST_F(Cabinet, TheUpdatersResultNamesWhatCouldNotBeExtracted)
{
    std::string bytes = testutil::readFile(Make("d.cab", "one.txt sub/two.bin", false));
    const size_t at = bytes.rfind(two.substr(two.size() - 64));
    ASSERT_NE(at, std::string::npos);
    bytes.resize(at + 32);
    TempDir app;
    testutil::writeFile(app.file("d.cab"), bytes);
    testutil::writeFile(app.file("tool.bin"), Compressible(3000));
    ASSERT_EQ(RunIn(app.path(), "mscompress tool.bin"), 0);
    testutil::writeFile(app.file("tool.bin_"), Announcing(testutil::readFile(app.file("tool.bin_")), 100));
    TWebUpdate wu;
    wu.AppFolder = app.path();
    const std::string updater = wu.ExtractUpdateResource();
    ASSERT_FALSE(updater.empty());
    // The application it waits for has ended already.
    const pid_t gone = wuprocess::Spawn("/bin/true", {"true"});
    ASSERT_GT(gone, 0);
    wuprocess::WaitChild(gone);
    setenv(wuresult::ResultVariable, app.file("result.txt").c_str(), 1);
    const pid_t pid = wuprocess::Spawn(updater, {"upd.exe", std::to_string(gone), "null", "d.cab", "tool.bin_"},
                                       wuprocess::InFolder(app.path()));
    unsetenv(wuresult::ResultVariable);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(wuprocess::WaitChild(pid), 1);
    std::vector<std::string> lines;
    ASSERT_TRUE(wuresult::Take(app.file("result.txt"), lines));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind(wuresult::NotApplied(app.file("d.cab"), "The cabinet's member sub\\two.bin could not "
                                                                       "be extracted: "),
                             0),
              0u)
        << lines[0];
    EXPECT_EQ(lines[1], wuresult::NotApplied(app.file("tool.bin_"),
                                             "its header announces 100 bytes, but it expands to 3000 bytes"));
}
