// The one file writer: atomic rewrites, permissions as an unprivileged user
// sees them, temporary names that links cannot hijack, kills at any moment,
// and file-size limits.
#include "common/TestUtil.h"

#include "platform/FileIO.h"
#include "platform/IniFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <memory>
#include <unistd.h>

using testutil::readFile;
using testutil::writeFile;

namespace {

// Names in the folder other than the given file (temporary files left).
std::vector<std::string> othersIn(const std::string &folder, const std::string &keep)
{
    std::vector<std::string> r;
    for (const auto &e : std::filesystem::directory_iterator(folder))
        if (e.path().filename() != keep) r.push_back(e.path().filename().string());
    return r;
}

mode_t modeOf(const std::string &path)
{
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode;
}

// A catalogue of n discs whose titles carry the mark.
std::string catalogueText(int discs, const std::string &mark)
{
    std::string s;
    for (int i = 0; i < discs; ++i)
        s += "[00000000000" + std::to_string(10000 + i) + "]\r\nartist=Artist " + std::to_string(i) + "\r\ntitle=" +
             mark + "\r\ntotaltracks=1\r\ntrack0=Song\r\ntime0=3:00\r\n\r\n";
    return s;
}

} // namespace

TEST(AtomicWrite, KeepsModeFollowsTheUsersLinkAndRefusesFolders)
{
    testutil::TempDir dir;
    const std::string path = dir.file("a.ini");
    ASSERT_TRUE(fileio::AtomicWriteFile(path, "one"));
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(modeOf(path) & 0777, 0666 & ~mask);
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(fileio::AtomicWriteFile(path, "two"));
    EXPECT_EQ(readFile(path), "two");
    EXPECT_EQ(modeOf(path) & 0777, 0640u);

    // A link the user made on purpose: the file it names gets the text.
    const std::string link = dir.file("link.ini");
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    ASSERT_TRUE(fileio::AtomicWriteFile(link, "three"));
    EXPECT_TRUE(S_ISLNK(modeOf(link)));
    EXPECT_EQ(readFile(path), "three");

    mkdir(dir.file("folder").c_str(), 0755);
    EXPECT_FALSE(fileio::AtomicWriteFile(dir.file("folder"), "x"));
    EXPECT_EQ(errno, EISDIR);
    EXPECT_EQ(othersIn(dir.path(), "a.ini").size(), 2u);  // the link and the folder only
}

// A link planted at the very temporary name the writer picks is never
// followed: the file it points to stays as it was, both with unnamed
// temporary files and with named ones.
TEST(AtomicWrite, PlantedLinksAtTemporaryNamesAreNeverFollowed)
{
    for (bool unnamed : {true, false}) {
        testutil::TempDir dir;
        const std::string path = dir.file("MIXDECK.ini");
        const std::string victim = dir.file("victim");
        writeFile(path, "old");
        writeFile(victim, "precious");
        // The first two names are known in advance, and links wait there
        // (one to the victim, one dangling); then a third name is free.
        ASSERT_EQ(symlink(victim.c_str(), (path + ".tmpAAAAAAAAAA").c_str()), 0);
        ASSERT_EQ(symlink(dir.file("nowhere").c_str(), (path + ".tmpBBBBBBBBBB").c_str()), 0);
        int attempts = 0;
        fileio::SetTempSuffixSourceForTest([&] {
            ++attempts;
            return attempts == 1 ? std::string("AAAAAAAAAA") : attempts == 2 ? std::string("BBBBBBBBBB") : std::string("CCCCCCCCCC");
        });
        fileio::SetUnnamedTempForTest(unnamed);
        const bool ok = fileio::AtomicWriteFile(path, "new");
        fileio::SetUnnamedTempForTest(true);
        fileio::SetTempSuffixSourceForTest(nullptr);
        ASSERT_TRUE(ok) << unnamed;
        EXPECT_GE(attempts, 3) << unnamed;
        EXPECT_EQ(readFile(path), "new");
        EXPECT_FALSE(S_ISLNK(modeOf(path)));
        EXPECT_EQ(readFile(victim), "precious");
        EXPECT_FALSE(testutil::fileExists(dir.file("nowhere")));
        EXPECT_TRUE(S_ISLNK(modeOf(path + ".tmpAAAAAAAAAA")));
    }
}

// A temporary name left by a writer killed between naming and renaming is
// removed by the next write of the file; others' files stay.
TEST(AtomicWrite, StaleTemporaryNamesGoWithTheNextWrite)
{
    testutil::TempDir dir;
    const std::string path = dir.file("x.cmp");
    writeFile(path + ".tmpQWERTYUIOP", "stale");
    writeFile(dir.file("other.cmp.tmpQWERTYUIOP"), "not ours");
    writeFile(path + ".tmpSHORT", "not a name of ours");
    ASSERT_TRUE(fileio::AtomicWriteFile(path, "data"));
    EXPECT_FALSE(testutil::fileExists(path + ".tmpQWERTYUIOP"));
    EXPECT_TRUE(testutil::fileExists(dir.file("other.cmp.tmpQWERTYUIOP")));
    EXPECT_TRUE(testutil::fileExists(path + ".tmpSHORT"));
    EXPECT_TRUE(fileio::IsTempNameOf("x.cmp.tmpA1b2C3d4E5", "x.cmp"));
    EXPECT_FALSE(fileio::IsTempNameOf("x.cmp.tmpA1b2C3d4E", "x.cmp"));
    EXPECT_FALSE(fileio::IsTempNameOf("x.cmp.tmpA1b2C3d4E!", "x.cmp"));
}

// As user "nobody": a writable file in a folder the user may not write is
// saved (in place) by both INI classes; a read-only file is refused with
// each class's error text and left byte for byte.
TEST(AtomicWrite, PermissionsAsAnUnprivilegedUser)
{
    testutil::TempDir dir;
    const std::string ro = dir.file("ro");
    mkdir(ro.c_str(), 0755);
    const std::string writable = ro + "/MIXDECK.ini";
    const std::string locked = dir.file("locked.ini");
    const std::string original = "[A]\r\nartist=Old\r\n; kept\r\n";
    writeFile(writable, original);
    writeFile(locked, original);
    testutil::openToAll(dir.path());
    chmod(writable.c_str(), 0666);
    chmod(locked.c_str(), 0444);
    chmod(ro.c_str(), 0555);
    chmod(dir.path().c_str(), 0777);

    const std::string saved = testutil::runUnprivileged([&] {
        TMemIniFile mem(writable);
        mem.WriteString("A", "title", "New title");
        mem.UpdateFile();
        TIniFile profile(writable);
        profile.WriteString("A", "artist", "New");
        return readFile(writable);
    });
    EXPECT_EQ(saved, "[A]\r\nartist=New\r\ntitle=New title\r\n\r\n");
    EXPECT_EQ(othersIn(ro, "MIXDECK.ini").size(), 0u);

    const std::string refused = testutil::runUnprivileged([&] {
        std::string r;
        try {
            TMemIniFile mem(locked);
            mem.WriteString("A", "artist", "New");
            mem.UpdateFile();
        } catch (const std::exception &e) {
            r += e.what();
        }
        r += "|";
        try {
            TIniFile profile(locked);
            profile.WriteString("A", "artist", "New");
        } catch (const std::exception &e) {
            r += e.what();
        }
        return r;
    });
    EXPECT_EQ(refused, "Cannot create file " + locked + "|Unable to write to " + locked);
    EXPECT_EQ(readFile(locked), original);
    EXPECT_EQ(othersIn(dir.path(), "locked.ini").size(), 1u);  // the folder ro only
    chmod(ro.c_str(), 0755);
}

// Under a file-size limit below the new contents: the write error, the old
// file intact, the process alive (no SIGXFSZ), nothing left behind.
TEST(AtomicWrite, FileSizeLimitGivesTheWriteError)
{
    testutil::TempDir dir;
    const std::string path = dir.file("MIXDECK.ini");
    const std::string old = catalogueText(2, "Old");
    writeFile(path, old);
    testutil::openToAll(dir.path());
    chmod(dir.path().c_str(), 0777);
    chmod(path.c_str(), 0666);
    const std::string r = testutil::runUnprivileged([&] {
        struct rlimit lim {4096, 4096};
        if (setrlimit(RLIMIT_FSIZE, &lim) != 0) return std::string("no limit");
        std::string out;
        out += fileio::AtomicWriteFile(path, std::string(10000, 'x')) ? "written" : errno == EFBIG ? "EFBIG" : "other";
        try {
            TMemIniFile mem(path);
            mem.SetStrings(catalogueText(100, "New"));
            mem.UpdateFile();
        } catch (const std::exception &e) {
            out += std::string("|") + e.what();
        }
        return out;
    });
    EXPECT_EQ(r, "EFBIG|Cannot create file " + path);
    EXPECT_EQ(readFile(path), old);
    EXPECT_EQ(othersIn(dir.path(), "MIXDECK.ini").size(), 0u);
}

// 200 kills at random moments of a catalogue save: the file is always the
// old or the new one, whole; at most the one name of a kill between naming
// and renaming is left, and the next save removes it.
TEST(AtomicWrite, KilledSavesLeaveTheOldOrTheNewFile)
{
    testutil::TempDir dir;
    const std::string path = dir.file("MIXDECK.ini");
    const std::string a = catalogueText(300, "Version A"), b = catalogueText(300, "Version B");
    {
        TMemIniFile ini(path);
        ini.SetStrings(a);
        ini.UpdateFile();
    }
    const std::string wholeA = readFile(path);
    std::string wholeB;
    {
        TMemIniFile ini("");
        ini.SetStrings(b);
        wholeB = ini.GetStrings();
    }
    const auto t0 = std::chrono::steady_clock::now();
    {
        TMemIniFile ini(path);
        ini.UpdateFile();
    }
    const long perSave = long(std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - t0).count());
    int leftovers = 0;
    bool sawA = false, sawB = false;
    std::unique_ptr<TMemIniFile> child;
    const int rounds = testutil::killDuringSaves(
        200, perSave,
        [&](int i) {
            if (!child) child = std::make_unique<TMemIniFile>(path);
            child->SetStrings(i % 2 ? a : b);
            child->UpdateFile();
        },
        [&](int round) {
            const std::string now = readFile(path);
            EXPECT_TRUE(now == wholeA || now == wholeB) << "round " << round << ", " << now.size() << " bytes";
            (now == wholeA ? sawA : sawB) = true;
            const size_t others = othersIn(dir.path(), "MIXDECK.ini").size();
            EXPECT_LE(others, 1u) << "round " << round;
            leftovers += int(others);
            return !::testing::Test::HasFailure();
        });
    EXPECT_EQ(rounds, 200);
    EXPECT_TRUE(sawA && sawB);  // the kills really fell among the saves
    TMemIniFile ini(path);
    ini.UpdateFile();
    EXPECT_TRUE(othersIn(dir.path(), "MIXDECK.ini").empty());
    RecordProperty("leftovers", leftovers);
}
