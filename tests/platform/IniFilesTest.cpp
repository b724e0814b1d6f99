#include "platform/IniFiles.h"
#include "platform/SysUtils.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <sys/stat.h>

using testutil::readFile;
using testutil::writeFile;

namespace {

const char *kSample =
    "; hand-written catalogue\r\n"
    "stray=before any section\r\n"
    "[Disc1]\r\n"
    "artist=  Padded Artist  \r\n"
    "Title=Album\r\n"
    "\r\n"
    "; a comment inside\r\n"
    "totaltracks=0x0C\r\n"
    "modified=yes\r\n"
    "[disc2]\n"
    "artist=Second\n"
    "stretchcover=2\r"
    "tpt=\r";

} // namespace

// Reading rules shared by both classes, and where they differ.
TEST(IniFiles, ReadingRulesOfBothClasses)
{
    testutil::TempDir dir;
    const std::string path = dir.file("x.ini");
    writeFile(path, kSample);
    TIniFile profile(path);
    TMemIniFile mem(path);

    struct Row { const char *section, *key, *def, *profileWant, *memWant; } rows[] = {
        // profile functions trim the value; the in-memory object keeps it
        {"Disc1", "artist", "Unknown", "Padded Artist", "  Padded Artist  "},
        // names match without regard to case
        {"DISC1", "TITLE", "?", "Album", "Album"},
        {"Disc2", "ARTIST", "?", "Second", "Second"},
        // missing key, missing section: the caller's default
        {"Disc1", "coverimg", "none", "none", "none"},
        {"Disc9", "artist", "Unknown", "Unknown", "Unknown"},
        // an empty value is empty, not the default
        {"disc2", "tpt", "Unknown", "", ""},
        // lines before the first section belong to none
        {"", "stray", "-", "-", "-"},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(profile.ReadString(r.section, r.key, r.def), r.profileWant) << r.section << "/" << r.key;
        EXPECT_EQ(mem.ReadString(r.section, r.key, r.def), r.memWant) << r.section << "/" << r.key;
    }
    for (TCustomIniFile *ini : {static_cast<TCustomIniFile *>(&profile), static_cast<TCustomIniFile *>(&mem)}) {
        EXPECT_EQ(ini->ReadInteger("Disc1", "totaltracks", 0), 12);
        EXPECT_EQ(ini->ReadInteger("Disc1", "artist", -1), -1);
        EXPECT_EQ(ini->ReadInteger("Disc1", "missing", 7), 7);
        EXPECT_FALSE(ini->ReadBool("Disc1", "modified", false));  // a word reads as the default
        EXPECT_TRUE(ini->ReadBool("Disc2", "stretchcover", false));  // any number but 0
        EXPECT_TRUE(ini->SectionExists("DISC2"));
        EXPECT_FALSE(ini->SectionExists("Disc3"));
        EXPECT_TRUE(ini->ValueExists("disc1", "TITLE"));
        TStringList sections;
        ini->ReadSections(sections);
        EXPECT_EQ(sections.ToVector(), (std::vector<std::string>{"Disc1", "disc2"}));
        TStringList keys;
        ini->ReadSection("disc1", keys);
        EXPECT_EQ(keys.ToVector(), (std::vector<std::string>{"artist", "Title", "totaltracks", "modified"}));
    }
}

TEST(IniFiles, MissingFileIsEmpty)
{
    testutil::TempDir dir;
    TIniFile profile(dir.file("none.ini"));
    TMemIniFile mem(dir.file("none.ini"));
    EXPECT_EQ(profile.ReadString("a", "b", "d"), "d");
    EXPECT_EQ(mem.ReadString("a", "b", "d"), "d");
    TStringList s;
    mem.ReadSections(s);
    EXPECT_EQ(s.Count(), 0);
    EXPECT_FALSE(testutil::fileExists(dir.file("none.ini")));
}

TEST(TIniFile, WritesKeyByKeyKeepingEverythingElse)
{
    testutil::TempDir dir;
    const std::string path = dir.file("c.cmp");
    writeFile(path, "; keep me\n[INFOS]\ntapelength=46 min\n\n[Other]\nx=1\n");
    TIniFile ini(path);
    ini.WriteString("infos", "TAPELENGTH", "  90 min");   // replaced in place, leading blanks dropped
    ini.WriteString("INFOS", "totaltrksA", "3");          // appended to its section
    ini.WriteString("SIDEA", "tracka0", "CD1 T3");        // new section at the end
    EXPECT_EQ(readFile(path),
              "; keep me\r\n[INFOS]\r\nTAPELENGTH=90 min\r\ntotaltrksA=3\r\n\r\n[Other]\r\nx=1\r\n"
              "\r\n[SIDEA]\r\ntracka0=CD1 T3\r\n");
    ini.EraseSection("infos");
    ini.DeleteKey("other", "X");
    EXPECT_EQ(readFile(path), "; keep me\r\n[Other]\r\n\r\n[SIDEA]\r\ntracka0=CD1 T3\r\n");
    EXPECT_EQ(ini.ReadString("SIDEA", "tracka0", ""), "CD1 T3");

    // A value that would break the line stays on one line.
    ini.WriteString("SIDEA", "evil", "a\r\n[INFOS]\r\nb");
    TStringList sections;
    ini.ReadSections(sections);
    EXPECT_EQ(sections.ToVector(), (std::vector<std::string>{"Other", "SIDEA"}));
}

TEST(TIniFile, LongValuesAreCutLikeTheProfileFunctions)
{
    testutil::TempDir dir;
    TIniFile ini(dir.file("l.ini"));
    ini.WriteString("s", "k", std::string(3000, 'v'));
    EXPECT_EQ(ini.ReadString("s", "k", "").size(), 2047u);
}

TEST(TMemIniFile, WritesWholeInItsOwnLayout)
{
    testutil::TempDir dir;
    const std::string path = dir.file("MIXDECK.ini");
    writeFile(path, kSample);
    TMemIniFile ini(path);
    ini.WriteString("DISC1", "ARTIST", "New");     // replaced in place, stored name kept
    ini.WriteString("Disc2", "extd", " line1\\nline2 ");  // appended, value kept as is
    ini.WriteInteger("00000000000C3B2B", "totaltracks", 2);
    ini.WriteBool("00000000000C3B2B", "stretchcover", true);
    ini.UpdateFile();
    EXPECT_EQ(readFile(path),
              "[Disc1]\r\nartist=New\r\nTitle=Album\r\ntotaltracks=0x0C\r\nmodified=yes\r\n\r\n"
              "[disc2]\r\nartist=Second\r\nstretchcover=2\r\ntpt=\r\nextd= line1\\nline2 \r\n\r\n"
              "[00000000000C3B2B]\r\ntotaltracks=2\r\nstretchcover=1\r\n\r\n");
    ini.EraseSection("DISC2");
    ini.DeleteKey("disc1", "title");
    ini.UpdateFile();
    TMemIniFile again(path);
    TStringList s;
    again.ReadSections(s);
    EXPECT_EQ(s.ToVector(), (std::vector<std::string>{"Disc1", "00000000000C3B2B"}));
    EXPECT_EQ(again.ReadString("disc1", "title", "gone"), "gone");
}

TEST(TMemIniFile, DuplicateSectionsMergeAndFirstKeyWins)
{
    testutil::TempDir dir;
    const std::string path = dir.file("d.ini");
    writeFile(path, "[A]\nk=1\nk=2\n[B]\nx=0\n[a]\nj=3\n");
    TMemIniFile ini(path);
    EXPECT_EQ(ini.ReadString("A", "k", ""), "1");
    EXPECT_EQ(ini.ReadString("A", "j", ""), "3");
    TStringList s;
    ini.ReadSections(s);
    EXPECT_EQ(s.ToVector(), (std::vector<std::string>{"A", "B"}));
}

// A write that fails leaves the old file exactly as it was and raises the
// class's error. Permissions only apply to an unprivileged user, so the
// writes run in a child process without root's rights.
TEST(IniFiles, FailedWriteLeavesTheOldFileIntact)
{
    testutil::TempDir dir;
    const std::string sub = dir.file("ro");
    mkdir(sub.c_str(), 0755);
    const std::string path = sub + "/MIXDECK.ini";
    const std::string original = "[A]\r\nartist=Old\r\n\r\n";
    writeFile(path, original);
    testutil::openToAll(dir.path());
    chmod(path.c_str(), 0644);
    chmod(sub.c_str(), 0555);   // nothing can be created or replaced in it, and
                                // the file is root's: not writable for nobody

    std::string memResult = testutil::runUnprivileged([&] {
        TMemIniFile ini(path);
        ini.WriteString("A", "artist", "New");
        ini.UpdateFile();
        return std::string("written");
    });
    EXPECT_EQ(memResult, "<exception> Cannot create file " + path);

    std::string profileResult = testutil::runUnprivileged([&] {
        TIniFile ini(path);
        ini.WriteString("A", "artist", "New");
        return std::string("written");
    });
    EXPECT_EQ(profileResult, "<exception> Unable to write to " + path);
    EXPECT_EQ(readFile(path), original);

    // No temporary file was left behind either.
    chmod(sub.c_str(), 0755);
    int entries = 0;
    for (auto &e : std::filesystem::directory_iterator(sub)) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(TMemIniFile, UnreadableFileRaisesCannotOpen)
{
    testutil::TempDir dir;
    const std::string path = dir.file("MIXDECK.ini");
    mkdir(path.c_str(), 0755);  // exists, but is no file
    try {
        TMemIniFile ini(path);
        ADD_FAILURE() << "a folder read as a file";
    } catch (const EFOpenError &e) {
        EXPECT_EQ(e.Message, "Cannot open file " + path);
    }
    rmdir(path.c_str());
    writeFile(path, "[A]\nk=v\n");
    testutil::openToAll(dir.path());
    chmod(path.c_str(), 0);
    std::string r = testutil::runUnprivileged([&] {
        TMemIniFile ini(path);
        return ini.ReadString("A", "k", "default");
    });
    EXPECT_EQ(r, "<exception> Cannot open file " + path);
}
