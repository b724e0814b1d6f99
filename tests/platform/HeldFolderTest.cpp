// The program folder a process holds gets no write once its path names
// another folder, or none: every writer of files and folders refuses with
// the one message, and writes nothing in either folder.
#include "common/LostFolder.h"
#include "common/TestUtil.h"

#include "platform/Classes.h"
#include "platform/FileIO.h"
#include "platform/IniFiles.h"
#include "platform/Rtl.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using testutil::readFile;
using testutil::writeFile;

// Every name below the folder with its bytes (a link with its target).
std::map<std::string, std::string> Contents(const std::string &folder)
{
    std::map<std::string, std::string> out;
    for (const auto &e : fs::recursive_directory_iterator(folder)) {
        const std::string p = e.path().string();
        out[p] = e.is_symlink() ? "-> " + fs::read_symlink(p).string() : e.is_directory() ? "/" : readFile(p);
    }
    return out;
}

// Holds the folder for one test and lets it go again.
struct Hold {
    explicit Hold(const std::string &folder)
    {
        struct stat st{};
        if (stat(folder.c_str(), &st) == 0)
            fileio::HoldFolder(folder, st.st_dev, st.st_ino);
    }
    ~Hold() { fileio::ReleaseHeldFolder(); }
};

} // namespace

TEST(HeldFolder, NoWriteLandsOnceThePathNamesAnotherFolderOrNone)
{
    using testutil::Lost;
    struct Variant {
        const char *name;
        Lost became;
        const char *said;
    } variants[] = {
        {"moved away", Lost::Moved, "moved or removed"},
        {"removed", Lost::Removed, "moved or removed"},
        {"replaced by a copy of itself", Lost::ReplacedByCopy, "moved or replaced"},
        {"replaced by an empty folder", Lost::ReplacedByEmpty, "moved or replaced"},
        {"its link pointed elsewhere", Lost::LinkRepointed, "moved or replaced"},
    };
    struct Writer {
        const char *name;
        const char *file;   // below the folder
        std::function<void(const std::string &)> write;
    } writers[] = {
        {"whole-file rewrite", "CDDB.ini", [](const std::string &p) { fileio::AtomicWriteFile(p, "x"); }},
        {"profile key", "CDDB.ini", [](const std::string &p) { TIniFile(p).WriteString("CDDB Options", "timeout", "9"); }},
        {"in-memory INI", "MIXDECK.ini",
         [](const std::string &p) {
             TMemIniFile ini(p);
             ini.WriteString("1", "artist", "new");
             ini.UpdateFile();
         }},
        {"string list", "Queue.ini", [](const std::string &p) { TStringList().SaveToFile(p); }},
        {"new folder", "Compilations", [](const std::string &p) { Rtl::CreateDir(p); }},
        {"new folders", "CDCovers/big", [](const std::string &p) { Rtl::ForceDirectories(p); }},
        {"removal", "MIXDECK.ini", [](const std::string &p) { Rtl::DeleteFile(p); }},
        {"rename", "MIXDECK.ini", [](const std::string &p) { Rtl::RenameFile(p, p + ".old"); }},
    };
    for (const Variant &v : variants) {
        for (const Writer &w : writers) {
            SCOPED_TRACE(std::string(v.name) + ", " + w.name);
            testutil::TempDir top;
            const std::string real = top.file("real");
            fs::create_directory(real);
            writeFile(real + "/MIXDECK.ini", "[1]\r\nartist=old\r\n");
            writeFile(real + "/CDDB.ini", "[CDDB Options]\r\ntimeout=30\r\n");
            // A sibling whose name starts like the folder's is another folder.
            fs::create_directory(real + "-x");
            const bool viaLink = v.became == Lost::LinkRepointed;
            const std::string folder = viaLink ? top.file("link") : real;
            if (viaLink)
                fs::create_directory_symlink(real, folder);
            Hold hold(folder);
            // While the folder stands, the writer works.
            ASSERT_NO_THROW(fileio::CheckHeldFolder(folder + "/" + w.file));

            testutil::LoseFolder(v.became, real, folder, top.file("other"));
            const auto before = Contents(top.path());
            const std::string path = folder + "/" + w.file;
            try {
                w.write(path);
                ADD_FAILURE() << "written";
            } catch (const EProgramFolderLost &e) {
                EXPECT_EQ(e.Message, "\"" + path + "\" was not written: the program folder \"" + folder + "\" was " +
                                         v.said + " while MIXDECK was running.");
            }
            EXPECT_EQ(Contents(top.path()), before);
            // Elsewhere, the sibling of the same beginning included, writes go on.
            EXPECT_TRUE(fileio::AtomicWriteFile(real + "-x/note", "kept"));
            EXPECT_EQ(readFile(real + "-x/note"), "kept");
        }
    }
}

TEST(HeldFolder, TheFolderThatStaysTakesEveryWrite)
{
    testutil::TempDir top;
    const std::string folder = top.file("home");
    fs::create_directory(folder);
    Hold hold(folder);
    EXPECT_TRUE(fileio::AtomicWriteFile(folder + "/CDDB.ini", "a"));
    TIniFile(folder + "/CDDB.ini").WriteString("S", "k", "v");
    EXPECT_TRUE(Rtl::CreateDir(folder + "/Compilations"));
    EXPECT_TRUE(Rtl::RenameFile(folder + "/CDDB.ini", folder + "/Compilations/CDDB.ini"));
    EXPECT_TRUE(Rtl::DeleteFile(folder + "/Compilations/CDDB.ini"));
    EXPECT_EQ(fileio::HeldFolderProblem(folder + "/x"), "");
    // Renamed to a new name and back: the same folder, so writes go on.
    fs::rename(folder, folder + "2");
    fs::rename(folder + "2", folder);
    EXPECT_TRUE(fileio::AtomicWriteFile(folder + "/CDDB.ini", "b"));
    EXPECT_EQ(readFile(folder + "/CDDB.ini"), "b");
}
