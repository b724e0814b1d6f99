#include "MainFixture.h"

#include "compilation/CDPlayer.h"
#include "platform/Cp1252.h"
#include "platform/IniFiles.h"
#include "platform/SysUtils.h"

#include <QAction>
#include <QMenu>

#include <dirent.h>
#include <sys/stat.h>

using Dialogs::Button;

namespace {

// The user's home folder stands for the Windows folder: each test gets its
// own.
class CDPlayerFixture : public MainFixture {
protected:
    void SetUp() override
    {
        MainFixture::SetUp();
    }
    void TearDown() override
    {
        MainFixture::TearDown();
    }
    std::string catalogue() { return testutil::readFile(dir.file("MIXDECK.ini")); }
    // Runs the main window's import with the file chosen in its dialog.
    void importFile(const std::string &path, std::optional<Button> warningAnswer = std::nullopt)
    {
        dialogs.Reset();
        dialogs.AnswerPath(path);
        if (warningAnswer)
            dialogs.AnswerButton(*warningAnswer);
        ui().ImportINIMenuItem->trigger();
        EXPECT_EQ(dialogs.UnscriptedCount(), 0);
        EXPECT_EQ(dialogs.PendingAnswers(), 0u);
    }

};

const char *kPlayerFile =
    "[3A2B1C]\r\nartist=Some Artist\r\ntitle=Some Title\r\nnumtracks=2\r\n0=Intro\r\n1=Song\r\n\r\n"
    "[EMPTY]\r\nother=ignored\r\n\r\n";

const char *kImported =
    "[003A2B1C]\r\nartist=Some Artist\r\ntitle=Some Title\r\ntotaltracks=2\r\ntpt=00:00\r\n"
    "track0=Intro\r\ntime0=00:00\r\ntrack1=Song\r\ntime1=00:00\r\n\r\n"
    "[000EMPTY]\r\nartist=Unknown\r\ntitle=Unknown\r\ntotaltracks=0\r\ntpt=00:00\r\n\r\n";

} // namespace

TEST(CDPlayerIds, PaddingAndStripping)
{
    struct Case {
        const char *in, *padded, *stripped;
    };
    const Case cases[] = {
        {"3A2B1C", "003A2B1C", "3A2B1C"},
        {"D2C3D", "000D2C3D", "D2C3D"},
        {"12345678", "12345678", "12345678"},
        {"123456789", "123456789", "123456789"},
        {"0", "00000000", "0"},
        {"00000000", "00000000", "0"},            // never an empty section name
        {"00000000000D2C3D", "00000000000D2C3D", "D2C3D"},
        {"000A0B00", "000A0B00", "A0B00"},
        {"", "00000000", ""},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(cdplayer::PadPID(c.in), c.padded) << c.in;
        EXPECT_EQ(cdplayer::StripLeadingZeros(c.in), c.stripped) << c.in;
    }
    EXPECT_EQ(cdplayer::DefaultTrackTitle(0), "Track 01");
    EXPECT_EQ(cdplayer::DefaultTrackTitle(11), "Track 12");
}

TEST_F(CDPlayerFixture, ImportIntoAnEmptyCatalogueAndTwice)
{
    std::remove(dir.file("MIXDECK.ini").c_str());
    make();
    const std::string player = home.file("cdPlayer.ini");
    testutil::writeFile(player, kPlayerFile);
    importFile(player);

    auto opens = dialogs.CallsOf(ScriptedDialogs::Kind::OpenFile);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].title, "Import...");
    EXPECT_EQ(opens[0].filter, "Windows CD Player files (*.ini)|*.ini");
    EXPECT_EQ(opens[0].initialDir, home.path());
    EXPECT_EQ(opens[0].fileName, "cdPlayer.ini");
    EXPECT_EQ(opens[0].owner, form.get());
    EXPECT_TRUE(opens[0].options & Dialogs::ofFileMustExist);
    EXPECT_TRUE(opens[0].options & Dialogs::ofPathMustExist);
    EXPECT_TRUE(dialogs.MessageBoxes().empty());  // no compilation, no question

    EXPECT_EQ(catalogue(), kImported);
    EXPECT_EQ(form->CDSelect(1)->count(), 2);
    EXPECT_EQ(ToAnsi(form->CDSelect(1)->itemText(0)), "Some Artist - Some Title");

    importFile(player);
    EXPECT_EQ(catalogue(), kImported);
}

TEST_F(CDPlayerFixture, ImportIntoAFilledCatalogueReplacesOnlyDefaultTitles)
{
    const std::string known =
        "[003A2B1C]\r\nartist=Mine\r\ntitle=Kept\r\ntotaltracks=2\r\ntpt=40:00\r\n"
        "track0=Track 01\r\ntime0=03:00\r\ntrack2=Track 3\r\ntrack3=\r\ntrack4=My Own Title\r\n"
        "track5=track 06\r\n\r\n";
    testutil::writeFile(dir.file("MIXDECK.ini"), std::string(kThreeDiscs) + known);
    make();
    const std::string player = home.file("cdPlayer.ini");
    testutil::writeFile(player,
                        "[3A2B1C]\r\nartist=Other\r\ntitle=Other\r\nnumtracks=7\r\n0=A\r\n1=B\r\n2=C\r\n"
                        "3=D\r\n4=E\r\n5=F\r\n\r\n"
                        "[C3B2B]\r\nartist=Short Key\r\nnumtracks=1\r\n0=X\r\n\r\n");
    importFile(player);

    TMemIniFile ini(dir.file("MIXDECK.ini"));
    struct Row {
        int track;
        const char *expected;  // nullptr: still missing
    };
    const Row rows[] = {
        {0, "A"},             // the default title is replaced
        {1, "B"},             // a missing title is written
        {2, "Track 3"},       // not the default spelling: the user's
        {3, ""},              // present though empty: the user's
        {4, "My Own Title"},  // named by the user
        {5, "track 06"},      // letter case counts
        {6, "Unknown"},       // beyond the disc's count, with the file's default
    };
    for (const Row &r : rows)
        EXPECT_EQ(ini.ReadString("003A2B1C", "track" + std::to_string(r.track), "<missing>"), r.expected)
            << r.track;
    EXPECT_EQ(ini.ReadString("003A2B1C", "artist", ""), "Mine");
    EXPECT_EQ(ini.ReadString("003A2B1C", "title", ""), "Kept");
    EXPECT_EQ(ini.ReadString("003A2B1C", "totaltracks", ""), "2");
    EXPECT_EQ(ini.ReadString("003A2B1C", "tpt", ""), "40:00");
    EXPECT_FALSE(ini.ValueExists("003A2B1C", "time1"));
    // "C3B2B" pads to 8 characters: another disc than the 16-digit key.
    EXPECT_EQ(ini.ReadString("000C3B2B", "artist", ""), "Short Key");
    EXPECT_EQ(ini.ReadString("000C3B2B", "title", ""), "Unknown");
    EXPECT_EQ(ini.ReadString("00000000000C3B2B", "artist", ""), "Artist One");

    const std::string once = catalogue();
    importFile(player);
    EXPECT_EQ(catalogue(), once);
}

TEST_F(CDPlayerFixture, ImportDiscardsTheCompilationOnlyWhenConfirmed)
{
    make();
    const std::string before = catalogue();
    const std::string player = home.file("cdPlayer.ini");
    testutil::writeFile(player, kPlayerFile);
    form->CompilationLoaded = true;
    ui().PrintMenuItem->menuAction()->setEnabled(true);
    ui().CompilationName->setText("mine.cmp");

    importFile(player, Button::No);
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Are you sure? Current compilation will be lost!");
    EXPECT_EQ(boxes[0].owner, form.get());
    EXPECT_EQ(catalogue(), before);
    EXPECT_TRUE(form->CompilationLoaded);
    EXPECT_EQ(ui().CompilationName->text(), "mine.cmp");

    // A cancelled dialog asks nothing and changes nothing.
    dialogs.Reset();
    dialogs.AnswerCancel();
    ui().ImportINIMenuItem->trigger();
    EXPECT_TRUE(dialogs.MessageBoxes().empty());
    EXPECT_TRUE(form->CompilationLoaded);

    // Confirmed, even a file without sections discards the compilation.
    const std::string empty = home.file("empty.ini");
    testutil::writeFile(empty, "");
    importFile(empty, Button::Yes);
    EXPECT_EQ(catalogue(), before);
    EXPECT_FALSE(form->CompilationLoaded);
    EXPECT_EQ(ui().CompilationName->text(), "None");
    EXPECT_FALSE(ui().SaveCompilationMenuItem->isEnabled());
    EXPECT_FALSE(ui().PrintMenuItem->menuAction()->isEnabled());
}

TEST_F(CDPlayerFixture, UnreadableFileEndsTheImportBeforeAnyWrite)
{
    make();
    const std::string before = catalogue();
    const std::string player = home.file("cdPlayer.ini");
    mkdir(player.c_str(), 0755);  // exists, but cannot be read as a file
    form->CompilationLoaded = true;
    dialogs.AnswerPath(player).AnswerButton(Button::Yes).AnswerButton(Button::OK);
    ui().ImportINIMenuItem->trigger();
    EXPECT_EQ(dialogs.UnscriptedCount(), 0);
    auto boxes = dialogs.MessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].text, "Cannot open file " + player);
    EXPECT_EQ(catalogue(), before);
    EXPECT_TRUE(form->CompilationLoaded);
    rmdir(player.c_str());
}

namespace {

const char *kExportCatalogue =
    "[00000000000D2C3D]\r\nartist=Some Artist\r\ntitle=Some Title\r\ntotaltracks=2\r\ntpt=10:00\r\n"
    "track0=Intro\r\ntime0=01:00\r\ntrack1=Song\r\ntime1=09:00\r\n\r\n"
    "[00000000]\r\nartist=Zero\r\ntotaltracks=1\r\ntrack0=Only\r\n\r\n"
    "[0000ABCD]\r\ntitle=No Artist\r\n\r\n"
    "[0000000000000001]\r\ntotaltracks=2\r\ntrack0=One\r\n\r\n";

const char *kExported =
    "[D2C3D]\r\nartist=Some Artist\r\ntitle=Some Title\r\nnumtracks=2\r\n0=Intro\r\n1=Song\r\n\r\n"
    "[0]\r\nartist=Zero\r\ntitle=Unknown\r\nnumtracks=1\r\n0=Only\r\n\r\n"
    "[ABCD]\r\nartist=Unknown\r\ntitle=No Artist\r\nnumtracks=0\r\n\r\n"
    "[1]\r\nartist=Unknown\r\ntitle=Unknown\r\nnumtracks=2\r\n0=One\r\n1=Unknown\r\n\r\n";

} // namespace

TEST(CDPlayerExport, ReplacesEverySectionOfTheTarget)
{
    testutil::TempDir d;
    testutil::writeFile(d.file("MIXDECK.ini"), kExportCatalogue);
    testutil::writeFile(d.file("cdPlayer.ini"),
                        "; the CD Player's own\r\n[OLD]\r\nartist=gone\r\n\r\n[D2C3D]\r\nextra=gone too\r\n");
    cdplayer::ExportFile(d.file("MIXDECK.ini"), d.file("cdPlayer.ini"));
    EXPECT_EQ(testutil::readFile(d.file("cdPlayer.ini")), kExported);
    // The catalogue is only read.
    EXPECT_EQ(testutil::readFile(d.file("MIXDECK.ini")), kExportCatalogue);

    // A missing target is created.
    cdplayer::ExportFile(d.file("MIXDECK.ini"), d.file("new.ini"));
    EXPECT_EQ(testutil::readFile(d.file("new.ini")), kExported);

    // Exported and imported again, a 16-digit disc comes back under 8.
    testutil::writeFile(d.file("again.ini"), "");
    cdplayer::ImportFile(d.file("cdPlayer.ini"), d.file("again.ini"));
    TMemIniFile again(d.file("again.ini"));
    EXPECT_EQ(again.ReadString("000D2C3D", "track1", ""), "Song");
    EXPECT_EQ(again.ReadString("00000000", "artist", ""), "Zero");
}

TEST(CDPlayerExport, KeysThatDifferOnlyInLeadingZerosShareASection)
{
    testutil::TempDir d;
    testutil::writeFile(d.file("MIXDECK.ini"),
                        "[00000000000D2C3D]\r\nartist=Grabbed\r\ntotaltracks=2\r\ntrack0=G0\r\ntrack1=G1\r\n\r\n"
                        "[000D2C3D]\r\nartist=Imported\r\ntotaltracks=1\r\ntrack0=I0\r\n\r\n");
    cdplayer::ExportFile(d.file("MIXDECK.ini"), d.file("cdPlayer.ini"));
    EXPECT_EQ(testutil::readFile(d.file("cdPlayer.ini")),
              "[D2C3D]\r\nartist=Imported\r\ntitle=Unknown\r\nnumtracks=1\r\n0=I0\r\n1=G1\r\n\r\n");
}

TEST(CDPlayerExport, AFailedWriteLeavesTheOldFileByteForByte)
{
    testutil::TempDir d;
    const std::string ro = d.file("ro");
    mkdir(ro.c_str(), 0755);
    testutil::writeFile(d.file("MIXDECK.ini"), kExportCatalogue);
    const std::string old = "[OLD]\r\nartist=Kept\r\n; a comment\r\n";
    const std::string target = ro + "/cdPlayer.ini";
    testutil::writeFile(target, old);
    testutil::openToAll(d.path());
    chmod(ro.c_str(), 0555);
    const std::string result = testutil::runUnprivileged([&]() -> std::string {
        try {
            cdplayer::ExportFile(d.file("MIXDECK.ini"), target);
        } catch (const Exception &e) {
            return e.Message;
        }
        return "written";
    });
    chmod(ro.c_str(), 0755);
    EXPECT_EQ(result, "Cannot create file " + target);
    EXPECT_EQ(testutil::readFile(target), old);
    // Nothing half-written is left beside it.
    int entries = 0;
    if (DIR *dd = opendir(ro.c_str())) {
        while (dirent *e = readdir(dd))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                ++entries;
        closedir(dd);
    }
    EXPECT_EQ(entries, 1);
}
