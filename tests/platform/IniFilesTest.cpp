#include "platform/IniFiles.h"
#include "platform/SysUtils.h"
#include "common/TestUtil.h"

#include <gtest/gtest.h>

#include <functional>
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

// The in-memory object's lookups go through a hash table once a section is
// large; every change keeps them right.
TEST(TMemIniFile, HashedLookupsFollowEveryChange)
{
    TMemIniFile ini("");
    std::string text = "[Big]\r\n";
    for (int i = 0; i < 5000; ++i)
        text += "Key" + std::to_string(i) + "=v" + std::to_string(i) + "\r\n";
    text += "KEY7=second\r\n[small]\r\na=1\r\n";
    ini.SetStrings(text);
    EXPECT_EQ(ini.ReadString("big", "key4999", "?"), "v4999");
    EXPECT_EQ(ini.ReadString("BIG", "key7", "?"), "v7");  // the first of a name
    EXPECT_EQ(ini.ReadString("Big", "key5000", "?"), "?");
    ini.WriteString("Big", "Key5000", "new");  // appended while the table exists
    for (int i = 5001; i < 5100; ++i)        // and grown past its room
        ini.WriteString("Big", "Key" + std::to_string(i), "w");
    EXPECT_EQ(ini.ReadString("big", "KEY5000", "?"), "new");
    EXPECT_EQ(ini.ReadString("big", "key5099", "?"), "w");
    ini.DeleteKey("big", "key7");  // the later line of the name now answers
    EXPECT_EQ(ini.ReadString("big", "key7", "?"), "second");
    EXPECT_EQ(ini.ReadString("big", "key8", "?"), "v8");
    EXPECT_EQ(ini.ReadString("SMALL", "A", "?"), "1");
    ini.EraseSection("Big");
    EXPECT_EQ(ini.ReadString("big", "key8", "?"), "?");
    ini.WriteString("BIG", "x", "1");  // a new section of the erased name
    EXPECT_EQ(ini.ReadString("big", "X", "?"), "1");
    EXPECT_EQ(ini.GetStrings(), "[small]\r\na=1\r\n\r\n[BIG]\r\nx=1\r\n\r\n");
}

// Keys read in file order are found from the line after the last one found;
// a later line of a name read before still loses to the first.
TEST(TMemIniFile, ReadsInFileOrderKeepTheFirstOfAName)
{
    TMemIniFile ini("");
    ini.SetStrings("[s]\nk0=0\nk1=1\nk2=2\nk1=late\nk3=3\nother\nk4=4\nk5=5\nk6=6\nK0=late\nk7=7\n");
    for (const char *k : {"k0", "k1", "k2", "k1", "k3", "k4", "k5", "k6", "K0", "k7", "k3", "k4"})
        EXPECT_EQ(ini.ReadString("s", k, "?"), std::string(k + 1)) << k;
    ini.DeleteKey("s", "k1");  // the later line of the name now answers, in order too
    for (const char *k : {"k0", "K1", "k3", "k4"})
        EXPECT_EQ(ini.ReadString("s", k, "?"), std::string(k)[1] == '1' ? "late" : std::string(k + 1)) << k;
}

namespace {

// The in-memory object's rules in their plainest form: sections and lines in
// vectors, every name found by a scan from the top.
struct PlainIni {
    struct Line {
        std::string name, value;
        bool hasValue;
    };
    struct Section {
        std::string name;
        std::vector<Line> lines;
    };
    std::vector<Section> sections;

    Section *find(const std::string &name)
    {
        for (Section &s : sections)
            if (Rtl::SameText(s.name, name))
                return &s;
        return nullptr;
    }
    Line *find(Section *s, const std::string &key)
    {
        if (s)
            for (Line &l : s->lines)
                if (l.hasValue && Rtl::SameText(l.name, key))
                    return &l;
        return nullptr;
    }
    explicit PlainIni(const std::string &text)
    {
        Section *cur = nullptr;
        ForEachIniLine(text, [&](const TIniLine &l) {
            if (l.kind == TIniLine::Header) {
                cur = find(std::string(l.name));
                if (!cur)
                    cur = &sections.emplace_back(Section{std::string(l.name), {}});
            } else if (cur) {
                cur->lines.push_back(l.kind == TIniLine::Key ? Line{std::string(l.name), std::string(l.value), true}
                                                             : Line{std::string(l.raw), "", false});
            }
        });
    }
    std::string read(const std::string &s, const std::string &k)
    {
        const Line *l = find(find(s), k);
        return l ? l->value : "<default>";
    }
    void write(const std::string &s, const std::string &k, std::string v)
    {
        for (char &c : v)
            if (c == '\r' || c == '\n')
                c = ' ';
        Section *sec = find(s);
        if (!sec)
            sec = &sections.emplace_back(Section{s, {}});
        if (Line *l = find(sec, k))
            l->value = v;
        else
            sec->lines.push_back(Line{k, v, true});
    }
    void deleteKey(const std::string &s, const std::string &k)
    {
        Section *sec = find(s);
        if (Line *l = find(sec, k))
            sec->lines.erase(sec->lines.begin() + (l - sec->lines.data()));
    }
    void erase(const std::string &s)
    {
        if (Section *sec = find(s))
            sections.erase(sections.begin() + (sec - sections.data()));
    }
    std::vector<std::string> keys(const std::string &s)
    {
        std::vector<std::string> r;
        if (Section *sec = find(s))
            for (const Line &l : sec->lines)
                if (l.hasValue)
                    r.push_back(l.name);
        return r;
    }
    std::string text() const
    {
        std::string r;
        for (const Section &s : sections) {
            r += "[" + s.name + "]\r\n";
            for (const Line &l : s.lines)
                r += l.hasValue ? l.name + "=" + l.value + "\r\n" : l.name + "\r\n";
            r += "\r\n";
        }
        return r;
    }
};

} // namespace

// Loads of texts with repeated sections, names repeated in other cases,
// lines without "=", sections past the size that gets a key table, then
// reads (in file order and out of it), writes, deletions and erasures in
// random order: every answer and the bytes written are those of the plain
// rules.
TEST(TMemIniFile, AgreesWithThePlainRulesThroughLoadsAndEdits)
{
    const std::vector<std::string> sectionNames = {"A", "a", "B", "Disc", "DISC", " C "};
    const std::vector<std::string> keyNames = {"k0", "K0", "k1", "track1", "TRACK1", "time1", "x", "", "k 2"};
    const char *breaks[] = {"\r\n", "\n", "\r"};
    unsigned seed = 2024;
    auto next = [&](unsigned n) { return seed = seed * 1664525u + 1013904223u, (seed >> 8) % n; };
    for (int round = 0; round < 400; ++round) {
        std::string text;
        const unsigned lines = next(120);
        for (unsigned i = 0; i < lines; ++i) {
            const unsigned kind = next(20);
            if (kind == 0)
                text += "[" + sectionNames[next(unsigned(sectionNames.size()))] + "]";
            else if (kind == 1)
                text += "; note";
            else if (kind == 2)
                text += "no value here";
            else if (kind == 3)
                text += " ";
            else
                text += keyNames[next(unsigned(keyNames.size()))] + (next(2) ? " = v" : "=v") + std::to_string(i);
            text += breaks[next(3)];
        }
        TMemIniFile ini("");
        ini.SetStrings(text);
        PlainIni plain(text);
        for (int op = 0; op < 60; ++op) {
            const std::string s = sectionNames[next(unsigned(sectionNames.size()))];
            const std::string k = keyNames[next(unsigned(keyNames.size()))];
            switch (next(7)) {
            case 0:
            case 1:
                ASSERT_EQ(ini.ReadString(s, k, "<default>"), plain.read(s, k)) << round << ": " << s << "/" << k;
                break;
            case 2: {  // every key of the section, in file order
                TStringList names;
                ini.ReadSection(s, names);
                ASSERT_EQ(names.ToVector(), plain.keys(s)) << round << ": " << s;
                for (const std::string &name : names.ToVector())
                    ASSERT_EQ(ini.ReadString(s, name, "<default>"), plain.read(s, name)) << round << ": " << name;
                break;
            }
            case 3: {
                const std::string v = next(4) ? "w" + std::to_string(op) : "line\r\nbreak";
                ini.WriteString(s, k, v);
                plain.write(s, k, v);
                break;
            }
            case 4:
                ini.DeleteKey(s, k);
                plain.deleteKey(s, k);
                break;
            case 5:
                if (next(4) == 0) {
                    ini.EraseSection(s);
                    plain.erase(s);
                }
                break;
            default:
                ASSERT_EQ(ini.ValueExists(s, k), plain.find(plain.find(s), k) != nullptr) << round;
                ASSERT_EQ(ini.SectionExists(s), plain.find(s) != nullptr) << round;
            }
        }
        ASSERT_EQ(ini.GetStrings(), plain.text()) << round << " [" << text << "]";
    }
}

// A key table made for reads out of order stays right through the edits that
// follow; a section of many lines keeps its first line of each name.
TEST(TMemIniFile, LargeSectionEditsAfterOutOfOrderReads)
{
    std::string text = "[first]\r\n";
    for (int i = 0; i < 300; ++i)
        text += "key" + std::to_string(i % 200) + "=v" + std::to_string(i) + "\r\n";
    text += "[second]\r\nx=1\r\n";
    TMemIniFile ini("");
    ini.SetStrings(text);
    PlainIni plain(text);
    unsigned seed = 7;
    auto next = [&](unsigned n) { return seed = seed * 1664525u + 1013904223u, (seed >> 8) % n; };
    for (int op = 0; op < 3000; ++op) {
        const std::string k = (next(2) ? "key" : "KEY") + std::to_string(next(260));
        switch (next(4)) {
        case 0:
            ini.WriteString("First", k, "n" + std::to_string(op));
            plain.write("First", k, "n" + std::to_string(op));
            break;
        case 1:
            ini.DeleteKey("FIRST", k);
            plain.deleteKey("FIRST", k);
            break;
        default:
            ASSERT_EQ(ini.ReadString("first", k, "<default>"), plain.read("first", k)) << op << " " << k;
        }
    }
    EXPECT_EQ(ini.GetStrings(), plain.text());
}

// The profile functions on text: reads answer from an index that every write
// drops; what the text becomes is what TIniFile makes of the file.
TEST(TProfileText, ReadsFollowWritesAndTheTextIsTheFilesBytes)
{
    const std::string start = "; note\r\n[A]\r\nk = one \r\nk=two\r\n\r\n[a]\r\nz=hidden\r\n[B]\nx=1";
    TProfileText text(start);
    EXPECT_EQ(text.ReadString(" a ", " K ", "?"), "one");  // trimmed, any case, first of both
    EXPECT_EQ(text.ReadString("A", "z", "?"), "?");        // the second [a] is not looked at
    EXPECT_EQ(text.ReadInteger("b", "X", 0), 1);
    text.WriteString("A", "k", "  three");
    text.WriteString("A", "new", "n");
    text.WriteString("C", "c", "line\r\nbreak");
    EXPECT_EQ(text.ReadString("a", "k", "?"), "three");
    EXPECT_EQ(text.ReadString("a", "new", "?"), "n");
    EXPECT_EQ(text.ReadString("c", "c", "?"), "line  break");
    EXPECT_TRUE(text.DeleteKey("A", "K"));
    EXPECT_EQ(text.ReadString("a", "k", "?"), "two");
    EXPECT_FALSE(text.EraseSection("missing"));
    EXPECT_TRUE(text.EraseSection("b"));
    EXPECT_EQ(text.ReadString("b", "x", "?"), "?");

    // The same calls through TIniFile on a file give the same bytes.
    testutil::TempDir dir;
    const std::string path = dir.file("p.ini");
    writeFile(path, start);
    TIniFile file(path);
    file.WriteString("A", "k", "  three");
    file.WriteString("A", "new", "n");
    file.WriteString("C", "c", "line\r\nbreak");
    file.DeleteKey("A", "K");
    file.EraseSection("b");
    EXPECT_EQ(readFile(path), text.Text());
    EXPECT_EQ(text.Text(), "; note\r\n[A]\r\nk=two\r\nnew=n\r\n\r\n[a]\r\nz=hidden\r\n[C]\r\nc=line  break\r\n");

    TProfileText moved = std::move(text);  // the lines stay valid in the new owner
    EXPECT_EQ(moved.ReadString("a", "new", "?"), "n");
    EXPECT_EQ(TProfileText(std::string(3000, 'x').insert(0, "[s]\nk=")).ReadString("s", "k", "").size(), 2047u);
}

// Keys read in file order are found from the line after the last one found;
// a later line of a name read before still loses to the first, and a
// header that reads as a key line is never a key of its section.
TEST(TProfileText, ReadsInFileOrderKeepTheFirstOfAName)
{
    TProfileText text("[s]\r\nk0=0\r\nk1=1\r\nk2=2\r\nK1=late\r\nk3=3\r\n; note\r\nk4=4\r\n[t=x]\r\na=1\r\nb=2\r\n");
    for (const auto &[key, want] : {std::pair{"k0", "0"}, {"k1", "1"}, {"k2", "2"}, {"K1", "1"}, {"k3", "3"}, {"k4", "4"},
                                    {"k1", "1"}, {"k2", "2"}})
        EXPECT_EQ(text.ReadString("s", key, "?"), want) << key;
    EXPECT_TRUE(text.DeleteKey("s", "k1"));  // the later line of the name now answers, in order too
    for (const auto &[key, want] : {std::pair{"k0", "0"}, {"k1", "late"}, {"k3", "3"}, {"k4", "4"}})
        EXPECT_EQ(text.ReadString("s", key, "?"), want) << key;
    // A section without a repeated name, read in order, out of order and
    // after its lines changed.
    for (const auto &[key, want] : {std::pair{"[t", "?"}, {"a", "1"}, {"b", "2"}, {"a", "1"}, {"B", "2"}, {"c", "?"}})
        EXPECT_EQ(text.ReadString("t=x", key, "?"), want) << key;
    text.WriteString("t=x", "a", "3");
    text.WriteString("t=x", "c", "4");
    for (const auto &[key, want] : {std::pair{"a", "3"}, {"b", "2"}, {"c", "4"}, {"b", "2"}})
        EXPECT_EQ(text.ReadString("t=x", key, "?"), want) << key;
    EXPECT_EQ(text.Text(), "[s]\r\nk0=0\r\nk2=2\r\nK1=late\r\nk3=3\r\n; note\r\nk4=4\r\n[t=x]\r\na=3\r\nb=2\r\nc=4\r\n");
}

// Where blank lines go: those inside a section's body stay there through
// writes; a new section is set off by one blank line from what is before
// it, also after the last section was erased; a new key goes before the
// blank lines that end its section, also after a key was deleted.
TEST(TProfileText, BlankLinesKeepTheirPlaces)
{
    struct Case {
        const char *name;
        std::string start;
        std::function<void(TProfileText &)> edit;
        std::string want;
    };
    const Case cases[] = {
        {"blank inside a body", "[A]\r\nk=1\r\n\r\nm=2\r\n",
         [](TProfileText &t) { t.WriteString("A", "k", "3"); }, "[A]\r\nk=3\r\n\r\nm=2\r\n"},
        {"new section after the last one was erased", "[A]\r\nk=1\r\n[B]\r\nx=1\r\n",
         [](TProfileText &t) {
             t.EraseSection("B");
             t.WriteString("C", "c", "1");
         },
         "[A]\r\nk=1\r\n\r\n[C]\r\nc=1\r\n"},
        {"new key after a deleted one", "[A]\r\nk=1\r\n\r\nm=2\r\n\r\n[B]\r\nx=1\r\n",
         [](TProfileText &t) {
             t.DeleteKey("A", "m");
             t.WriteString("A", "n", "3");
         },
         "[A]\r\nk=1\r\nn=3\r\n\r\n\r\n[B]\r\nx=1\r\n"},
    };
    for (const Case &c : cases) {
        TProfileText text(c.start);
        c.edit(text);
        EXPECT_EQ(text.Text(), c.want) << c.name;
    }
}

// A long run of profile calls on one text gives, call by call, the bytes and
// the answers that TIniFile gives over a file it reads anew for every call:
// the indexes kept from call to call never go stale. The names and values
// include the odd ones: names in other case and with blanks, repeated
// sections, a key line that reads as a header, a key with "=", a comment.
TEST(TProfileText, LongRunsMatchTheFileCallByCall)
{
    const std::string start = "; head\r\n[A]\r\nk=1\r\n\r\n; inside\r\nk=2\r\n \r\n\r\n[a]\r\nk=3\r\n[B]\nx=1\n\n[C]\r\n";
    const char *sections[] = {"A", "a", " b ", "C", "D", "[E", "f]g", "New"};
    const char *keys[] = {"k", "K", " x ", "y", "[h", "z=w", ";c", "t]"};
    const char *values[] = {"v", "  lead", "a]b", "", "two\r\nlines", "=eq"};
    testutil::TempDir dir;
    const std::string path = dir.file("p.ini");
    TProfileText text(start);
    writeFile(path, text.Text());  // the lines the file call by call starts from
    TIniFile file(path);
    uint32_t seed = 12345;
    auto next = [&](uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int step = 0; step < 400; ++step) {
        const std::string section = sections[next(8)];
        const std::string key = keys[next(8)];
        const std::string value = values[next(6)];
        const uint32_t op = next(10);
        std::string did;
        if (op < 6) {
            text.WriteString(section, key, value);
            file.WriteString(section, key, value);
            did = "write";
        } else if (op < 8) {
            // Each says whether it changed anything; the file changes with it.
            const std::string before = readFile(path);
            const bool erase = op < 7;
            const bool changed = erase ? text.EraseSection(section) : text.DeleteKey(section, key);
            if (erase)
                file.EraseSection(section);
            else
                file.DeleteKey(section, key);
            EXPECT_EQ(changed, readFile(path) != before) << step;
            did = erase ? "erase" : "delete";
        } else {
            EXPECT_EQ(text.ReadString(section, key, "?"), file.ReadString(section, key, "?")) << step;
            did = "read";
        }
        ASSERT_EQ(text.Text(), readFile(path)) << "step " << step << ": " << did << " [" << section << "] " << key;
    }
    TStringList a, b;
    text.ReadSections(a);
    file.ReadSections(b);
    EXPECT_EQ(a.Text(), b.Text());
}

// Writing the keys of a long compilation into a text and reading them back
// looks at each line a few times, not once for every key written.
TEST(TProfileText, ManyKeysCostTheirNumberNotItsSquare)
{
    for (int perSide : {1000, 20000}) {
        TProfileText text("; kept\r\n[Other]\r\nx=1\r\n[INFOS]\r\nold=1\r\n[SIDEA]\r\ntracka0=CD1 T1\r\n");
        text.EraseSection("INFOS");
        text.EraseSection("SIDEA");
        text.EraseSection("SIDEB");
        text.WriteString("INFOS", "tapelength", "90 min");
        text.WriteInteger("INFOS", "totaltrksA", perSide);
        text.WriteInteger("INFOS", "totaltrksB", perSide);
        for (const char *side : {"A", "B"})
            for (int i = 0; i < perSide; ++i)
                text.WriteString(std::string("SIDE") + side, std::string("track") + char(side[0] + 32) + std::to_string(i),
                                 "CD1 T" + std::to_string(i % 99 + 1));
        for (int i = 0; i < perSide; ++i)
            ASSERT_EQ(text.ReadString("sideb", "TRACKB" + std::to_string(i), ""), "CD1 T" + std::to_string(i % 99 + 1));
        const size_t lines = size_t(2 * perSide + 10);
        EXPECT_LE(text.LinesExamined(), 4 * lines) << perSide << " a side";
    }
}

// The INI lines as the in-memory object reads them, made the plain way: split
// with the line splitter, then each line looked at on its own.
std::vector<std::string> referenceIniLines(const std::string &text)
{
    std::vector<std::string> r;
    Rtl::ForEachLine(text, [&](std::string_view raw) {
        const std::string_view t = IniTrim(raw);
        if (t.empty() || t[0] == ';')
            return;
        if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            r.push_back("H|" + std::string(raw) + "|" + std::string(IniTrim(t.substr(1, t.size() - 2))));
            return;
        }
        const size_t eq = raw.find('=');
        if (eq == std::string_view::npos)
            r.push_back("O|" + std::string(raw));
        else
            r.push_back("K|" + std::string(raw) + "|" + std::string(IniTrim(raw.substr(0, eq))) + "|" +
                        std::string(raw.substr(eq + 1)));
    });
    return r;
}

std::vector<std::string> iniLines(const std::string &text)
{
    std::vector<std::string> r;
    ForEachIniLine(text, [&](const TIniLine &l) {
        const std::string raw(l.raw);
        if (l.kind == TIniLine::Header)
            r.push_back("H|" + raw + "|" + std::string(l.name));
        else if (l.kind == TIniLine::Other)
            r.push_back("O|" + raw);
        else
            r.push_back("K|" + raw + "|" + std::string(l.name) + "|" + std::string(l.value));
    });
    return r;
}

// Line splitting, the INI line walk that looks at 64 bytes at a time, and the
// header search that passes over all other lines, against plain reference
// versions on many small texts (long enough to cross the walk's blocks).
TEST(IniFiles, LineSplittersAgreeWithTheirReferences)
{
    const std::string alphabet[] = {"\r", "\n", "\r\n", "[", "]", " ", "\t", "a", "=", ";", "[s]", " [ t ] ",
                                    " key = value ", std::string(29, 'x'), std::string(61, '=')};
    constexpr unsigned kPieces = sizeof alphabet / sizeof alphabet[0];
    unsigned seed = 12345;
    auto next = [&](unsigned n) { return seed = seed * 1664525u + 1013904223u, (seed >> 8) % n; };
    for (int round = 0; round < 6000; ++round) {
        std::string text;
        const unsigned pieces = next(round % 2 ? 14 : 60);
        for (unsigned i = 0; i < pieces; ++i)
            text += alphabet[next(kPieces)];
        // Reference: split character by character.
        std::vector<std::string> want;
        {
            size_t start = 0, i = 0;
            while (i < text.size()) {
                if (text[i] == '\r' || text[i] == '\n') {
                    want.push_back(text.substr(start, i - start));
                    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                        ++i;
                    start = ++i;
                } else {
                    ++i;
                }
            }
            if (start < text.size())
                want.push_back(text.substr(start));
        }
        std::vector<std::string> got;
        Rtl::ForEachLine(text, [&](std::string_view l) { got.emplace_back(l); });
        ASSERT_EQ(got, want) << "[" << text << "]";
        const std::vector<std::string> lines = iniLines(text);
        ASSERT_EQ(lines, referenceIniLines(text)) << "[" << text << "]";
        std::vector<std::string> headers, fastHeaders;
        for (const std::string &l : lines)
            if (l[0] == 'H')
                headers.push_back(l.substr(l.rfind('|') + 1));
        ForEachIniHeader(text, [&](std::string_view name, std::string_view) { fastHeaders.emplace_back(name); });
        ASSERT_EQ(fastHeaders, headers) << "[" << text << "]";
        // A walk that returns false stops.
        int calls = 0;
        Rtl::ForEachLine(text, [&](std::string_view) { return ++calls < 2; });
        EXPECT_EQ(calls, std::min<int>(2, int(want.size())));
        calls = 0;
        ForEachIniLine(text, [&](const TIniLine &) { return ++calls < 2; });
        EXPECT_EQ(calls, std::min<int>(2, int(lines.size())));
    }
}

// The 64-byte comparison has a form for any processor beside the one with
// vector instructions; both find the same bytes.
TEST(IniFiles, BlockMasksAgreeOnEveryByte)
{
    const char bytes[] = {'\r', '\n', '=', 'a', ' ', '\0', char(0x8D), char(0x8A), char(0xBD), char(0xFF)};
    unsigned seed = 99;
    auto next = [&](unsigned n) { return seed = seed * 1664525u + 1013904223u, (seed >> 8) % n; };
    char block[64];
    for (int round = 0; round < 2000; ++round) {
        uint64_t cr = 0, lf = 0, eq = 0;
        for (int i = 0; i < 64; ++i) {
            block[i] = round < 256 ? char(round + i) : bytes[next(sizeof bytes)];
            cr |= uint64_t(block[i] == '\r') << i;
            lf |= uint64_t(block[i] == '\n') << i;
            eq |= uint64_t(block[i] == '=') << i;
        }
        for (const TIniBlockMasks &m : {IniBlockMasks(block), IniBlockMasksPortable(block)}) {
            ASSERT_EQ(m.cr, cr) << round;
            ASSERT_EQ(m.lf, lf) << round;
            ASSERT_EQ(m.eq, eq) << round;
        }
    }
}
