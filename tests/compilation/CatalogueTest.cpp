#include "compilation/Catalogue.h"
#include "platform/SysUtils.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace catalogue;

TEST(Catalogue, ExtendedTextsBothWays)
{
    struct Row { const char *text; const char *stored; const char *readBack; } rows[] = {
        {"", "", ""},
        {"one line", "one line", "one line"},
        {"first\r\nsecond", "first\\nsecond", "first\r\nsecond"},
        {"a\r\n\r\nb", "a\\n\\nb", "a\r\n\r\nb"},
        {"col1\tcol2", "col1\\tcol2", "col1\tcol2"},
        // backslashes are doubled, so paths come back unchanged
        {"C:\\new\\table", "C:\\\\new\\\\table", "C:\\new\\table"},
        {"ends with \\", "ends with \\\\", "ends with \\"},
        // trailing blanks and empty last lines are gone on the next load
        {"text  \r\n\r\n", "text  \\n", "text"},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(EncodeExtendedText(std::string(r.text)), r.stored) << r.text;
        EXPECT_EQ(DecodeExtendedText(r.stored), r.readBack) << r.stored;
    }
}

TEST(Catalogue, StoredValuesOfEveryWriterDecode)
{
    struct Row { const char *stored; const char *text; } rows[] = {
        // as the online database writes a backslash
        {"a\\\\nb", "a\\nb"},
        {"a\\nb", "a\r\nb"},
        {"tab\\there", "tab\there"},
        // a single backslash before another letter, and at the end, stays
        {"x\\y", "x\\y"},
        {"end\\", "end\\"},
        // old files: an undoubled backslash before n was a line break then too
        {"C:\\new", "C:\r\new"},
        {"\\n\\n\\n", ""},
        {"  lead", "  lead"},
    };
    for (const Row &r : rows)
        EXPECT_EQ(DecodeExtendedText(r.stored), r.text) << r.stored;
}

TEST(Catalogue, KeysAndDefaults)
{
    testutil::TempDir dir;
    const std::string path = dir.file("MIXDECK.ini");
    testutil::writeFile(path,
                        "[00000000000C3B2B]\r\nartist=Artist One\r\ntotaltracks=0x2\r\ntrack0=Intro\r\n"
                        "time0=01:02\r\n\r\n[0000ABCD]\r\ntitle=\r\ntotaltracks=5000\r\n"
                        "[Bad]\r\ntotaltracks=-3\r\n");
    auto ini = Open(path);
    EXPECT_EQ(ini->ReadString("00000000000c3b2b", kArtist, kUnknown), "Artist One");
    EXPECT_EQ(ini->ReadString("00000000000C3B2B", kTitle, kUnknown), "Unknown");
    EXPECT_EQ(ini->ReadString("0000abcd", kTitle, kUnknown), "");
    EXPECT_EQ(ReadTrackCount(*ini, "00000000000C3B2B"), 2);
    EXPECT_EQ(ReadTrackCount(*ini, "0000ABCD"), kMaxTracks);  // bounded to the track tables
    EXPECT_EQ(ReadTrackCount(*ini, "Bad"), 0);
    EXPECT_EQ(ReadTrackCount(*ini, "missing"), 0);
    EXPECT_EQ(ini->ReadString("00000000000C3B2B", TrackKey(0), kUnknown), "Intro");
    EXPECT_EQ(ini->ReadString("00000000000C3B2B", TimeKey(1), kUnknown), "Unknown");
    EXPECT_EQ(ExttKey(12), "extt12");
}

TEST(Catalogue, MissingFileIsEmptyAndFirstWriteCreatesIt)
{
    testutil::TempDir dir;
    const std::string path = dir.file("MIXDECK.ini");
    auto ini = Open(path);
    TStringList s;
    ini->ReadSections(s);
    EXPECT_EQ(s.Count(), 0);
    ini->WriteString("0000ABCD", kArtist, "A");
    ini->WriteInteger("0000ABCD", kTotalTracks, 0);
    ini->UpdateFile();
    EXPECT_EQ(testutil::readFile(path), "[0000ABCD]\r\nartist=A\r\ntotaltracks=0\r\n\r\n");
}

namespace {

// Discs "D0".."D(n-1)", each with an artist, a title and a few tracks, so
// that the file spans many pages.
std::string manyDiscs(int n)
{
    std::string s;
    for (int d = 0; d < n; ++d) {
        const std::string i = std::to_string(d);
        s += "[D" + i + "]\r\nartist=Artist " + i + "\r\ntitle=Title " + i + "\r\ntotaltracks=3\r\n";
        s += "track0=One\r\ntrack1=Two\r\ntrack2=Three\r\n\r\n";
    }
    return s;
}

} // namespace

// The window's copy maps the file. The program replaces the file by a
// rename, so the copy it holds keeps reading the old one until it refreshes;
// another program may cut the file short in place, and the copy then reads
// zero bytes where the cut text stood instead of ending the program with
// SIGBUS, and reads the file again at the next refresh.
TEST(Catalogue, CopyOutlivesAReplacedFileAndACutOne)
{
    testutil::TempDir dir;
    const std::string path = dir.file("MIXDECK.ini");
    const int n = 3000;
    testutil::writeFile(path, manyDiscs(n));
    TCatalogueCache copy(path);
    ASSERT_TRUE(copy.Refresh());
    ASSERT_EQ(copy.Count(), n);
    EXPECT_EQ(copy.ReadString("D2999", kArtist, kUnknown), "Artist 2999");

    // Replaced by a rename: the copy still reads what it mapped.
    testutil::writeFile(dir.file("new.ini"), "[X]\r\nartist=New\r\n");
    ASSERT_EQ(std::rename(dir.file("new.ini").c_str(), path.c_str()), 0);
    EXPECT_EQ(copy.ReadString("D2999", kTitle, kUnknown), "Title 2999");
    EXPECT_TRUE(copy.Refresh());
    EXPECT_EQ(copy.Count(), 1);

    // Cut short in place under the mapping, at several lengths.
    for (long keep : {0L, 1L, 4096L, 50000L}) {
        testutil::writeFile(path, manyDiscs(n));
        ASSERT_TRUE(copy.Refresh()) << keep;
        ASSERT_EQ(copy.Count(), n);
        ASSERT_EQ(truncate(path.c_str(), keep), 0);
        // Reading the last disc touches pages past the new end.
        EXPECT_EQ(copy.ReadString("D2999", kArtist, kUnknown), kUnknown) << keep;
        std::string artist, title;
        copy.ReadPair(n - 1, kArtist, kTitle, artist, title, kUnknown);
        EXPECT_EQ(artist, kUnknown);
        std::unique_ptr<TMemIniFile> one = copy.Section("D2999");
        EXPECT_EQ(one->ReadString("D2999", kTitle, kUnknown), kUnknown);
        // What lies before the cut reads as before.
        if (keep >= 4096) {
            EXPECT_EQ(copy.ReadString("D0", kArtist, kUnknown), "Artist 0");
        }
        EXPECT_TRUE(copy.Refresh()) << keep;
        EXPECT_LT(copy.Count(), n);
    }

    // Cut short and grown back to the same size and time: the stamp alone
    // would not tell, the fault does.
    testutil::writeFile(path, manyDiscs(n));
    ASSERT_TRUE(copy.Refresh());
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    ASSERT_EQ(truncate(path.c_str(), 10), 0);
    EXPECT_EQ(copy.ReadString("D2999", kArtist, kUnknown), kUnknown);
    ASSERT_EQ(truncate(path.c_str(), before.st_size), 0);
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    EXPECT_TRUE(copy.Refresh());
    EXPECT_EQ(copy.Count(), 1);  // the first ten bytes, then zero bytes
}

// A SIGBUS that is not a fault in the copy still ends the program, as it
// would without the copy's guard: by the signal, or through the handler
// that was there before. AddressSanitizer's reports it and exits with
// status 1, or aborts when told to (abort_on_error=1).
TEST(CatalogueDeathTest, OtherBusErrorsStillEndTheProgram)
{
    auto endedByBusError = [](int status) {
        if (WIFSIGNALED(status))
            return WTERMSIG(status) == SIGBUS || (testutil::kAddressSanitizer && WTERMSIG(status) == SIGABRT);
        return WIFEXITED(status) && WEXITSTATUS(status) == 1;
    };
    testutil::TempDir dir;
    const std::string path = dir.file("MIXDECK.ini");
    testutil::writeFile(path, manyDiscs(200));
    TCatalogueCache copy(path);
    ASSERT_TRUE(copy.Refresh());  // the guard is in place
    const std::string other = dir.file("other.bin");
    testutil::writeFile(other, std::string(3 * 4096, 'x'));
    EXPECT_EXIT(
        {
            int fd = open(other.c_str(), O_RDWR);
            auto *p = static_cast<volatile char *>(mmap(nullptr, 3 * 4096, PROT_READ, MAP_SHARED, fd, 0));
            if (ftruncate(fd, 0) != 0)
                std::_Exit(3);
            std::_Exit(p[2 * 4096] == 'x' ? 4 : 5);
        },
        endedByBusError, "");
    EXPECT_EXIT(raise(SIGBUS), endedByBusError, "");
}
