// File utilities and the progress registry on real files in a temporary
// folder.
#include "support/FileUtil.h"

#include "common/TestUtil.h"
#include "platform/ScriptedDialogs.h"
#include "platform/SysUtils.h"
#include "support/Dateutil.h"
#include "support/ProgReg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QSlider>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

using testutil::TempDir;
using testutil::fileExists;
using testutil::readFile;
using testutil::writeFile;

namespace {

int OpenDescriptors()
{
    int n = 0;
    if (DIR *d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

// A progress bar that records every value it is given.
class RecordingBar : public QProgressBar {
public:
    RecordingBar()
    {
        connect(this, &QProgressBar::valueChanged, this, [this](int v) { values.push_back(v); });
    }
    std::vector<int> values;
};

} // namespace

TEST(FileUtil, NamesTable)
{
    struct Case {
        std::string got, want;
    } cases[] = {
        {NormalDir("/tmp"), "/tmp/"},
        {NormalDir("/tmp/"), "/tmp/"},
        {NormalDir(""), ""},
        {NormalDir("C:"), "C:"},
        {NormalDir("C:\\TEMP\\"), "C:\\TEMP\\"},
        {RemoveBackSlash("/tmp/"), "/tmp"},
        {RemoveBackSlash("C:\\TEMP\\"), "C:\\TEMP"},
        {RemoveBackSlash("/"), "/"},
        {RemoveBackSlash("\\"), "\\"},
        {RemoveBackSlash("/tmp"), "/tmp"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.got, c.want);
    EXPECT_FALSE(ValidFileName(""));
    EXPECT_FALSE(ValidFileName("a\"b"));
    for (const char *bad : {"a<b", "a>b", "a[b", "a]b", "a|b"})
        EXPECT_FALSE(ValidFileName(bad)) << bad;
    EXPECT_TRUE(ValidFileName("tape 1.txt"));
    EXPECT_TRUE(DeleteFilesEx({}));
}

TEST(FileUtil, CopyFileExCopiesWithProgressAndKeepsTheDate)
{
    TempDir dir;
    const std::string data(20000, 'x');
    writeFile(dir.file("a.bin"), data);
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, dir.file("a.bin").c_str(), old, 0);

    RecordingBar bar;
    // Into an existing folder the copy keeps the source's name; missing
    // folders on the way are made.
    ForceDirectories(dir.file("sub/deeper"));
    CopyFileEx(dir.file("a.bin"), dir.file("sub/deeper"), false, false, &bar);
    EXPECT_EQ(readFile(dir.file("sub/deeper/a.bin")), data);
    EXPECT_EQ(bar.maximum(), 20000);
    EXPECT_EQ(bar.values, (std::vector<int>{0, 8192, 16384, 20000, 0}));
    CopyFile(dir.file("a.bin"), dir.file("new/folder/b.bin"));
    EXPECT_EQ(readFile(dir.file("new/folder/b.bin")), data);
    EXPECT_EQ(GetFileSize(dir.file("new/folder/b.bin")), 20000);
    EXPECT_EQ(FileDateTime(dir.file("new/folder/b.bin")), FileDateTime(dir.file("a.bin")));
    EXPECT_EQ(ExtractYear(FileDateTime(dir.file("a.bin"))), 2001);

    EXPECT_EQ(GetFileSize(dir.file("missing")), -1);
    EXPECT_EQ(GetFileSize(dir.path()), -1);
    EXPECT_EQ(FileDateTime(dir.file("missing")), NullDate);
    EXPECT_TRUE(HasAttr(dir.path(), faDirectory));
    EXPECT_TRUE(HasAttr(dir.file("a.bin"), faArchive));
    EXPECT_FALSE(HasAttr(dir.file("a.bin"), faDirectory));
    EXPECT_FALSE(HasAttr(dir.file("missing"), 0));
}

TEST(FileUtil, CopyFileExRefusesSelfCopiesAndReleasesEverythingOnError)
{
    TempDir dir;
    writeFile(dir.file("a.txt"), "precious");
    symlink(dir.file("a.txt").c_str(), dir.file("link.txt").c_str());
    const int fds = OpenDescriptors();
    RecordingBar bar;
    for (const std::string &dest : {dir.file("a.txt"), dir.path(), dir.file("link.txt"),
                                    dir.path() + "/./a.txt"}) {
        try {
            CopyFileEx(dir.file("a.txt"), dest, true, false, &bar);
            ADD_FAILURE() << dest;
        } catch (const EFCreateError &e) {
            EXPECT_NE(e.Message.find("onto itself"), std::string::npos) << e.Message;
        }
        EXPECT_EQ(readFile(dir.file("a.txt")), "precious");
    }
    try {
        CopyFile(dir.file("missing.txt"), dir.file("x.txt"));
        ADD_FAILURE();
    } catch (const EFOpenError &e) {
        EXPECT_EQ(e.Message, "Cannot open file " + dir.file("missing.txt"));
    }
    // A destination that cannot be made: a file stands where its folder
    // should be.
    writeFile(dir.file("blocker"), "");
    bar.values.clear();
    EXPECT_THROW(CopyFileEx(dir.file("a.txt"), dir.file("blocker/x.txt"), false, false, &bar),
                 EFCreateError);
    EXPECT_EQ(bar.values.back(), 0);  // the progress is set back
    EXPECT_EQ(OpenDescriptors(), fds);
    // Nothing is left behind beside the source.
    EXPECT_FALSE(fileExists(dir.file("x.txt")));
}

TEST(FileUtil, ReadOnlyDestinationsAreReplacedOnlyWhenAsked)
{
    TempDir dir;
    testutil::openToAll(dir.path());
    chmod(dir.path().c_str(), 0777);
    writeFile(dir.file("src.txt"), "new");
    writeFile(dir.file("dst.txt"), "old");
    chmod(dir.file("src.txt").c_str(), 0644);
    chmod(dir.file("dst.txt").c_str(), 0444);
    chown(dir.file("dst.txt").c_str(), 65534, 65534);
    const std::string result = testutil::runUnprivileged([&] {
        std::string r;
        try {
            CopyFile(dir.file("src.txt"), dir.file("dst.txt"));
            r += "copied;";
        } catch (const EFCreateError &e) {
            r += e.Message + ";";
        }
        r += readFile(dir.file("dst.txt")) + ";";
        CopyFileEx(dir.file("src.txt"), dir.file("dst.txt"), true, false, nullptr);
        r += readFile(dir.file("dst.txt"));
        return r;
    });
    EXPECT_EQ(result, "Cannot create file " + dir.file("dst.txt") + ";old;new");
}

TEST(FileUtil, ClearDirNeverFollowsLinksAndRefusesTheRoot)
{
    TempDir outside, dir;
    writeFile(outside.file("keep.txt"), "keep");
    ForceDirectories(dir.file("tree/a/b"));
    writeFile(dir.file("tree/a/b/f.txt"), "1");
    writeFile(dir.file("tree/.hidden"), "2");
    writeFile(dir.file("tree/top.txt"), "3");
    symlink(outside.path().c_str(), dir.file("tree/a/linkdir").c_str());
    symlink(outside.file("keep.txt").c_str(), dir.file("tree/linkfile").c_str());
    chmod(dir.file("tree/top.txt").c_str(), 0444);

    // Without deleting: emptied, folders kept.
    EXPECT_TRUE(ClearDir(dir.file("tree"), false));
    EXPECT_TRUE(DirExists(dir.file("tree/a/b")));
    EXPECT_FALSE(fileExists(dir.file("tree/a/b/f.txt")));
    EXPECT_FALSE(fileExists(dir.file("tree/.hidden")));
    EXPECT_EQ(FileGetAttr(dir.file("tree/a/linkdir")), -1);
    EXPECT_EQ(readFile(outside.file("keep.txt")), "keep");

    // With deleting: everything, the folder too.
    writeFile(dir.file("tree/a/again.txt"), "4");
    EXPECT_TRUE(ClearDir(dir.file("tree"), true));
    EXPECT_FALSE(DirExists(dir.file("tree")));

    // A folder that is a link, a missing folder and the root are refused.
    symlink(outside.path().c_str(), dir.file("alias").c_str());
    EXPECT_FALSE(ClearDir(dir.file("alias"), true));
    EXPECT_EQ(readFile(outside.file("keep.txt")), "keep");
    EXPECT_FALSE(ClearDir(dir.file("nothing"), false));
    EXPECT_FALSE(ClearDir(dir.file("alias/keep.txt"), false));
    EXPECT_FALSE(ClearDir("/", false));
    EXPECT_FALSE(ClearDir("//", true));
    EXPECT_FALSE(ClearDir("/tmp/..", true));
    EXPECT_TRUE(fileExists("/etc/hostname") || DirExists("/etc"));
}

TEST(FileUtil, DeleteFilesAndMoves)
{
    TempDir dir;
    for (const char *n : {"a.tmp", "b.tmp", ".c.tmp", "keep.txt"})
        writeFile(dir.file(n), n);
    ForceDirectories(dir.file("d.tmp"));
    EXPECT_TRUE(DeleteFiles(dir.file("*.tmp")));
    EXPECT_FALSE(fileExists(dir.file("a.tmp")));
    EXPECT_FALSE(fileExists(dir.file("b.tmp")));
    EXPECT_TRUE(fileExists(dir.file(".c.tmp")));  // names beginning with "." are skipped
    EXPECT_TRUE(DirExists(dir.file("d.tmp")));
    EXPECT_FALSE(DeleteFiles(dir.file("*.tmp")));  // no match any more
    EXPECT_FALSE(DeleteFilesEx({dir.file("*.none"), dir.file("keep.txt")}));
    EXPECT_TRUE(fileExists(dir.file("keep.txt")));

    MoveFile(dir.file("keep.txt"), dir.file("d.tmp/moved.txt"));
    EXPECT_EQ(readFile(dir.file("d.tmp/moved.txt")), "keep.txt");
    EXPECT_FALSE(fileExists(dir.file("keep.txt")));
    EXPECT_THROW(MoveFile(dir.file("gone.txt"), dir.file("x.txt")), EFOpenError);
}

TEST(FileUtil, FileOperatorCopiesDeletesAndAsks)
{
    TempDir dir;
    writeFile(dir.file("one.txt"), "1");
    writeFile(dir.file("two.txt"), "2");
    ForceDirectories(dir.file("out"));
    ScriptedDialogs dialogs;
    Dialogs::ScopedService scope(dialogs);

    TFileOperator op;
    op.Source = dir.file("*.txt");
    op.Destination = dir.file("out");
    op.Options = flNoConfirmation;
    EXPECT_TRUE(op.Execute());
    EXPECT_EQ(readFile(dir.file("out/one.txt")), "1");
    EXPECT_EQ(readFile(dir.file("out/two.txt")), "2");

    // Again, renaming on collision.
    op.Options = flRenameOnCollision;
    op.Source = dir.file("one.txt");
    EXPECT_TRUE(op.Execute());
    EXPECT_EQ(readFile(dir.file("out/Copy of one.txt")), "1");

    // Asked before replacing: Cancel aborts.
    op.Options = 0;
    dialogs.AnswerButton(Dialogs::Button::Cancel);
    EXPECT_FALSE(op.Execute());
    EXPECT_TRUE(op.Aborted);

    // Deleting without undo or questions.
    TFileOperator del;
    del.Operation = foDelete;
    del.Options = flNoConfirmation;
    del.Source = dir.file("out/one.txt") + ";" + dir.file("out/two.txt");
    EXPECT_TRUE(del.Execute());
    EXPECT_FALSE(fileExists(dir.file("out/one.txt")));
    EXPECT_FALSE(fileExists(dir.file("out/two.txt")));
}

TEST(FileUtil, DesktopLinksGoToTheSpecialFolders)
{
    TempDir dir;
    const char *old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    CreateFileLink("/opt/my \"app\"/run", "My App", CSIDL_STARTUP);
    const std::string text = readFile(dir.file("autostart/My App.desktop"));
    EXPECT_NE(text.find("[Desktop Entry]\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Exec=\"/opt/my \\\\\"app\\\\\"/run\"\r\n"), std::string::npos) << text;
    DeleteFileLink("My App", CSIDL_STARTUP);
    EXPECT_FALSE(fileExists(dir.file("autostart/My App.desktop")));
    EXPECT_THROW(CreateFileLink("/bin/true", "x", 0x7777), EInOutError);
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

TEST(ProgressRegistry, SetsPropertiesByNameThroughTheRegisteredClass)
{
    QProgressBar bar;
    QLabel label;
    EXPECT_TRUE(SupportsProgressControl(&bar));
    EXPECT_FALSE(SupportsProgressControl(&label));
    EXPECT_FALSE(SupportsProgressControl(nullptr));
    EXPECT_TRUE(SetProgressMax(&bar, 500));
    EXPECT_TRUE(SetProgressValue(&bar, 120));
    EXPECT_EQ(bar.maximum(), 500);
    EXPECT_EQ(bar.value(), 120);
    EXPECT_FALSE(SetProgressValue(&label, 3));

    // A derived class through the base record; a later record for it wins.
    QSlider slider;
    EXPECT_FALSE(SupportsProgressControl(&slider));
    RegisterProgressControl(&QAbstractSlider::staticMetaObject, "maximum", "minimum", "value");
    EXPECT_TRUE(SetProgressMax(&slider, 50));
    EXPECT_EQ(slider.maximum(), 50);
    RegisterProgressControl(&QSlider::staticMetaObject, "minimum", "maximum", "objectName");
    EXPECT_TRUE(SetProgressMax(&slider, 7));  // the "maximum" name points at minimum now
    EXPECT_EQ(slider.minimum(), 7);
    EXPECT_FALSE(SetProgressValue(&slider, 1));  // a string property is refused
    EXPECT_TRUE(slider.objectName().isEmpty());
    EXPECT_TRUE(SetProgressMax(&bar, 9));
    EXPECT_EQ(bar.maximum(), 9);
    // Unregistering the base removes the derived records too.
    UnRegisterProgressControl(&QAbstractSlider::staticMetaObject);
    EXPECT_FALSE(SupportsProgressControl(&slider));
    EXPECT_TRUE(SupportsProgressControl(&bar));

    // Names are cut to 63 characters; unknown names give false.
    TProgressList list;
    list.Add(&QLabel::staticMetaObject, std::string(70, 'm'), "nope", "margin");
    EXPECT_EQ(list.Items().back().MaxPropName, std::string(63, 'm'));
    EXPECT_FALSE(SetProgressProperty(list, &label, TProgressProperty::Max, 1));
    EXPECT_TRUE(SetProgressProperty(list, &label, TProgressProperty::Progress, 4));
    EXPECT_EQ(label.margin(), 4);

    UnRegisterProgressControl(&QProgressBar::staticMetaObject);
    EXPECT_FALSE(SupportsProgressControl(&bar));
    RegisterProgressControl(&QProgressBar::staticMetaObject, "maximum", "minimum", "value");
}
