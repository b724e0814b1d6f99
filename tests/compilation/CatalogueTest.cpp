#include "compilation/Catalogue.h"
#include "platform/SysUtils.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

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
