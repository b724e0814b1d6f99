// One program folder from start to restart, through the built program with
// a scripted user: a folder moved, removed or replaced under a running copy
// gets no write from it; the update's restart brings the same program back
// on the same folder whatever MIXDECK_HOME, $TMPDIR or the layout of
// scripts/run say, and says so when it cannot; a later start is heard while
// the running copy shows a box at start-up, and counts only an answer; and
// scripts/run makes the folder private.
//
// Each row of the table plays one scene and reports what a user would see:
// the message boxes of every copy, the exit status of every start that
// ended, how many copies run at the end, folders written that the writing
// copy did not hold, and, after a restart, what the main window of the copy
// that came back shows of the catalogue.
#include "app/ProgramCopy.h"
#include "app/SingleCopy.h"
#include "common/LostFolder.h"
#include "common/TestUtil.h"
#include "webupdate/WebUpdatePeers.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using programtest::Copy;
using programtest::Listing;
using testutil::Lost;
using testutil::TempDir;
using testutil::writeFile;

const char *const kCatalogue = "[00000000000000123]\r\nartist=Some Artist\r\ntitle=Some Title\r\ntotaltracks=1\r\n"
                               "track0=Song\r\ntime0=3:00\r\n";
// What the main window's first CD selector shows of that catalogue.
const char *const kInView = "Some Artist - Some Title";
// Settings a user has saved: OK of the options window can be pressed.
const char *const kSettings = "[CDDB Options]\r\ntimeout=30\r\nuseremail=me@example.org\r\n"
                              "cddbemail=submit@example.org\r\n";

// What the user saw of one scene.
struct Seen {
    std::vector<std::string> boxes;   // "<copy>: [caption] text (buttons) -> answer", in the copies' order
    std::vector<int> exits;           // the exit status of each start that ended, in order
    int copies = 0;                   // copies running at the end
    std::vector<std::string> wrongWrites;   // what was written where the writer did not hold the folder
    std::string inView;               // the copy that came back after an update: its first CD selector
};

// A folder with the catalogue and the settings in it (made private, as the
// program makes its folders).
void MakeHome(const std::string &home, const std::string &updateAddress = std::string())
{
    fs::create_directories(home);
    chmod(home.c_str(), 0700);
    writeFile(home + "/MIXDECK.ini", kCatalogue);
    writeFile(home + "/CDDB.ini", kSettings);
    if (!updateAddress.empty())
        writeFile(home + "/WebUpdate.ini", "[Update]\r\nURL=" + updateAddress + "\r\n");
}

// The boxes of a copy, each with the copy's name before it.
void TakeBoxes(Seen &seen, const std::string &who, const Copy &copy)
{
    for (const std::string &box : copy.Boxes())
        seen.boxes.push_back(who + ": " + box);
}

// The listing of everything below top except the folders given (and what
// lies below them).
std::map<std::string, std::string> ListingBeside(const std::string &top, const std::vector<std::string> &except)
{
    std::map<std::string, std::string> all = Listing(top), out;
    for (const auto &[path, line] : all) {
        bool skip = false;
        for (const std::string &e : except)
            skip = skip || path == e || path.compare(0, e.size() + 1, e + "/") == 0;
        if (!skip)
            out[path] = line;
    }
    return out;
}

void ExpectSame(Seen &seen, const std::string &what, const std::map<std::string, std::string> &before,
                const std::map<std::string, std::string> &after)
{
    for (const auto &[path, line] : after)
        if (!before.count(path) || before.at(path) != line)
            seen.wrongWrites.push_back(what + ": " + path);
    for (const auto &[path, line] : before)
        if (!after.count(path))
            seen.wrongWrites.push_back(what + ": " + path + " gone");
}

// The program as a file of its own at path (a hard link where the file
// system allows it).
void PlaceProgram(const std::string &path)
{
    fs::create_directories(fs::path(path).parent_path());
    std::error_code ec;
    fs::create_hard_link(programtest::ProgramPath(), path, ec);
    if (ec)
        fs::copy_file(programtest::ProgramPath(), path);
}

// The source tree as scripts/run sees it, with nothing to install or build:
// the real script, the program where it builds it, and commands that stand
// for the package check and the build.
struct RunLayout {
    explicit RunLayout(const std::string &top) : tree(top + "/tree"), stubs(top + "/stubs")
    {
        fs::create_directories(tree + "/scripts");
        fs::create_directories(stubs);
        fs::copy_file(testutil::sourcePath("scripts/run"), tree + "/scripts/run");
        writeFile(tree + "/scripts/deps", "#!/bin/sh\nexit 0\n");
        writeFile(stubs + "/cmake", "#!/bin/sh\nexit 0\n");
        for (const std::string &f : {tree + "/scripts/run", tree + "/scripts/deps", stubs + "/cmake"})
            chmod(f.c_str(), 0755);
        fs::create_directories(tree + "/Help/html");
        writeFile(tree + "/Help/html/index.html", "<html>help</html>");
        PlaceProgram(Program());
    }
    std::string Program() const { return tree + "/build/release/src/app/mixdeck"; }
    // A start through the script with HOME as the user's home.
    Copy::Options Start(const std::string &home) const
    {
        Copy::Options o;
        o.program = tree + "/scripts/run";
        const char *path = std::getenv("PATH");
        o.env = {{"HOME", home}, {"PATH", stubs + ":" + (path ? path : "/usr/bin:/bin")}};
        return o;
    }
    std::string tree, stubs;
};

// The scene of a web update that brings a file and restarts: the publisher
// serves the control file and the file; the copy starts the update, agrees
// to download, ends, and the updater brings the program back. Returns the
// copy that came back (-1 when none did).
struct Publisher {
    Publisher() : http(root.path())
    {
        writeFile(root.file("NOTES.TXT"), "what is new\r\n");
        writeFile(root.file("update.inf"),
                  "[update]\nsignature=WebUpdate\nunconditional=1\n[application]\nappupdate=1\nsilentrestart=1\n"
                  "appname=mixdeck\nappcomps=NOTES.TXT\n[files]\ncount=1\n[file1]\nurl=" +
                      http.url("NOTES.TXT") + "\ntargetdir={APP}\n");
    }
    std::string Address() const { return http.url("update.inf"); }
    TempDir root;
    wutest::HttpPeer http;
};

pid_t UpdateAndRestart(Copy &copy, Seen &seen)
{
    EXPECT_EQ(copy.Ask("click TMainForm.CheckUpdatesMenuItem"), "done");
    EXPECT_EQ(copy.Ask("click TUpdateForm.StartUpdateBtn"), "done");
    EXPECT_TRUE(copy.Answer("MIXDECK message box [Confirm] Download update files ? (Yes,No)", "Yes"));
    // The program ends for the restart.
    if (copy.WaitForEnd())
        seen.exits.push_back(copy.ExitCode());
    else
        ADD_FAILURE() << "the program did not end for the restart:\n" << copy.Output();
    return copy.AwaitReady(2, programtest::kStartBoundMs);
}

// The copy that came back: on which folder it runs, and what it shows.
void LookAtTheCopyThatCameBack(Copy &copy, pid_t back, const std::string &home, const std::string &program,
                               Seen &seen)
{
    if (back <= 0)
        return;
    seen.inView = copy.Ask("show TMainForm.CD1Select");
    const std::string proc = "/proc/" + std::to_string(back);
    std::error_code ec;
    EXPECT_EQ(fs::read_symlink(proc + "/exe", ec), fs::canonical(program)) << "another program came back";
    EXPECT_EQ(fs::read_symlink(proc + "/cwd", ec), fs::canonical(home));
    const std::string env = std::string(1, '\0') + testutil::readFile(proc + "/environ");
    const size_t at = env.find(std::string("\0MIXDECK_HOME=", 14));
    const std::string named = at == std::string::npos ? std::string() : env.substr(at + 14, env.find('\0', at + 14) - at - 14);
    EXPECT_EQ(named.empty() ? std::string() : named.substr(0, 1), "/") << "a relative program folder: " << named;
    EXPECT_EQ(fs::canonical(named, ec), fs::canonical(home)) << "it runs on another program folder: " << named;
    EXPECT_TRUE(SingleCopy::Running(home));
}

// Opens Internet DB -> Options in the copy, types an address and presses
// OK: the copy saves CDDB.ini.
void SaveTheOptions(Copy &copy, const std::string &refusal)
{
    copy.Send("click TMainForm.CDDBOptMenuItem");
    EXPECT_EQ(copy.Ask("set TCDDBOptForm.UserEmail me@example.org"), "done");
    copy.Send("click TCDDBOptForm.OkBtn");
    EXPECT_TRUE(copy.Answer("MIXDECK message box [Error] " + refusal + " (OK)", "OK"));
    EXPECT_TRUE(copy.AwaitText("MIXDECK script click TMainForm.CDDBOptMenuItem -> done\n"));
}

std::string Refusal(const std::string &home, const std::string &what)
{
    return "\"" + home + "/CDDB.ini\" was not written: the program folder \"" + home + "\" was " + what +
           " while MIXDECK was running.";
}

// A folder moved, removed or replaced under the running copy A; with a
// second start B on the path, B takes whatever stands there. A then saves
// its options: nothing is written anywhere, and A's one box says why.
// With `alone` the folder is moved and no second start follows.
Seen FolderLostScene(const TempDir &top, Lost how, bool alone = false)
{
    Seen seen;
    const std::string real = top.file("home");
    MakeHome(real);
    const bool viaLink = how == Lost::LinkRepointed;
    const std::string home = viaLink ? top.file("link") : real;
    if (viaLink)
        fs::create_directory_symlink(real, home);
    Copy::Options oa;
    oa.home = home;
    Copy a(oa);
    if (a.AwaitReady() <= 0)
        return seen;
    testutil::LoseFolder(how, real, home, top.file("other"));
    std::unique_ptr<Copy> b;
    if (!alone) {
        b = std::make_unique<Copy>(oa);
        EXPECT_GT(b->AwaitReady(), 0) << b->Output();
    }
    // From here on nothing may change anywhere: A holds a folder that is no
    // longer at its path, B writes nothing unless asked.
    const auto before = Listing(top.path());
    SaveTheOptions(a, Refusal(home, alone ? "moved or removed" : "moved or replaced"));
    ExpectSame(seen, "the save of the first copy", before, Listing(top.path()));
    TakeBoxes(seen, "A", a);
    if (b)
        TakeBoxes(seen, "B", *b);
    seen.copies = a.Running() + (b ? b->Running() : 0);
    return seen;
}

// An update in the copy, which comes back on its folder: outside the folder
// nothing changes, and inside it only the update's file is new.
Seen RestartScene(const TempDir &top, Copy::Options o, const std::string &home, const std::string &program,
                  const std::vector<std::string> &transient = {})
{
    Seen seen;
    Publisher publisher;
    MakeHome(home, publisher.Address());
    std::vector<std::string> except{home};
    except.insert(except.end(), transient.begin(), transient.end());
    Copy a(o);
    if (a.AwaitReady() <= 0) {
        ADD_FAILURE() << a.Output();
        return seen;
    }
    const auto beside = ListingBeside(top.path(), except);
    const pid_t back = UpdateAndRestart(a, seen);
    if (back <= 0)
        ADD_FAILURE() << "nothing came back:\n" << a.Output();
    LookAtTheCopyThatCameBack(a, back, home, program, seen);
    // The updater removed the temporary folder it ran from.
    const auto updateFolders = [](const std::string &t) {
        std::vector<std::string> left;
        for (const std::string &n : wutest::Entries(t))
            if (n.rfind("mixdeck-update-", 0) == 0)
                left.push_back(n);
        return left;
    };
    for (const std::string &t : transient) {
        QElapsedTimer wait;
        wait.start();
        while (!updateFolders(t).empty() && wait.elapsed() < programtest::kEndBoundMs)
            QThread::msleep(20);
        for (const std::string &n : updateFolders(t))
            seen.wrongWrites.push_back("left in " + t + ": " + n);
    }
    ExpectSame(seen, "beside the program folder", beside, ListingBeside(top.path(), except));
    std::vector<std::string> names;
    // Beside the help page, and the program when it lives in its folder.
    for (const std::string &n : wutest::Entries(home))
        if (n != "Help" && home + "/" + n != program)
            names.push_back(n);
    if (names != std::vector<std::string>{"CDDB.ini", "MIXDECK.ini", "NOTES.TXT", "WebUpdate.ini"})
        seen.wrongWrites.push_back("the program folder holds " + testing::PrintToString(names));
    if (testutil::readFile(home + "/MIXDECK.ini") != kCatalogue)
        seen.wrongWrites.push_back("the catalogue changed");
    TakeBoxes(seen, "A", a);
    seen.copies = a.Running();
    return seen;
}

// The copy A shows a box at its start ("Error opening MIXDECK.ini": a
// folder stands in the catalogue's place) while B starts on its folder. With
// the scripted user the box waits until B has asked for a while, and B's
// request is answered once A's main window is up; a real box (offscreen) is
// the window that comes forward, and B's request is answered at once.
Seen BoxAtStartScene(const TempDir &top, bool realBox)
{
    Seen seen;
    const std::string home = top.file("home");
    MakeHome(home);
    fs::remove(home + "/MIXDECK.ini");
    fs::create_directory(home + "/MIXDECK.ini");
    Copy::Options oa;
    oa.home = home;
    oa.script = !realBox;
    oa.stderrDialogs = !realBox;
    Copy a(oa);
    if (realBox) {
        QElapsedTimer wait;
        wait.start();
        while (!SingleCopy::Running(home) && a.Alive() && wait.elapsed() < programtest::kStartBoundMs)
            QThread::msleep(20);
    } else {
        EXPECT_TRUE(a.AwaitText("MIXDECK message box [Error] Error opening MIXDECK.ini (OK) -> "));
    }
    const auto before = Listing(top.path());
    Copy::Options ob;
    ob.home = home;
    ob.script = false;
    Copy b(ob);
    if (!realBox) {
        // It waits for the answer, and asks again, while the box is open.
        QThread::msleep(1500);
        EXPECT_TRUE(b.Alive()) << b.Output();
        a.Send("OK");
    }
    if (b.WaitForEnd())
        seen.exits.push_back(b.ExitCode());
    EXPECT_TRUE(a.AwaitOutput(SingleCopy::kBroughtForward)) << a.Output();
    ExpectSame(seen, "the second start", before, Listing(top.path()));
    TakeBoxes(seen, "A", a);
    TakeBoxes(seen, "B", b);
    seen.copies = a.Running() + b.Running();
    return seen;
}

struct Row {
    const char *name;
    // Plays the scene in its own folder; sets the names the expectations use.
    std::function<Seen(const TempDir &, std::map<std::string, std::string> &)> play;
    std::vector<std::string> boxes;   // {name} stands for a name the scene set
    std::vector<int> exits;
    int copies;
    std::string inView;
};

std::string Filled(std::string text, const std::map<std::string, std::string> &names)
{
    for (const auto &[name, value] : names)
        for (size_t at = text.find("{" + name + "}"); at != std::string::npos;
             at = text.find("{" + name + "}", at + value.size()))
            text.replace(at, name.size() + 2, value);
    return text;
}

const std::string kLostBox = "A: [Error] \"{H}/CDDB.ini\" was not written: the program folder \"{H}\" was moved or "
                             "replaced while MIXDECK was running. (OK) -> OK";
const std::string kDownloadBox = "A: [Confirm] Download update files ? (Yes,No) -> Yes";

} // namespace

TEST(ProgramFolder, FromStartToRestart)
{
    const auto lost = [](Lost how, bool alone = false) {
        return [how, alone](const TempDir &top, std::map<std::string, std::string> &names) {
            names["H"] = how == Lost::LinkRepointed ? top.file("link") : top.file("home");
            return FolderLostScene(top, how, alone);
        };
    };
    const Row rows[] = {
        // 1. The folder moved, removed or replaced while a copy runs.
        {"1 folder moved, a second start takes its path", lost(Lost::Moved), {kLostBox}, {}, 2, ""},
        {"1 folder removed, a second start makes it anew", lost(Lost::Removed), {kLostBox}, {}, 2, ""},
        {"1 folder replaced by a copy of itself", lost(Lost::ReplacedByCopy), {kLostBox}, {}, 2, ""},
        {"1 folder replaced by an empty one", lost(Lost::ReplacedByEmpty), {kLostBox}, {}, 2, ""},
        {"1 the link that names the folder pointed elsewhere", lost(Lost::LinkRepointed), {kLostBox}, {}, 2, ""},
        {"1 folder moved, no second start: one box per save",
         lost(Lost::Moved, true),
         {"A: [Error] \"{H}/CDDB.ini\" was not written: the program folder \"{H}\" was moved or removed while "
          "MIXDECK was running. (OK) -> OK"},
         {},
         1,
         ""},
        // 2. A relative MIXDECK_HOME, and a "~" no shell expanded.
        {"2 relative MIXDECK_HOME, the program beside its folder",
         [](const TempDir &top, std::map<std::string, std::string> &) {
             const std::string program = top.file("base/app/mixdeck");
             PlaceProgram(program);
             Copy::Options o;
             o.home = "app";
             o.cwd = top.file("base");
             o.program = "./app/mixdeck";
             return RestartScene(top, o, top.file("base/app"), program);
         },
         {kDownloadBox},
         {0},
         1,
         kInView},
        {"2 MIXDECK_HOME ~/tapes, not expanded",
         [](const TempDir &top, std::map<std::string, std::string> &) {
             fs::create_directories(top.file("base"));
             Copy::Options o;
             o.home = "~/tapes";
             o.cwd = top.file("base");
             return RestartScene(top, o, top.file("base/~/tapes"), programtest::ProgramPath());
         },
         {kDownloadBox},
         {0},
         1,
         kInView},
        // 3. Blanks in TMPDIR, in the folder and in the program's path.
        {"3 a blank in TMPDIR",
         [](const TempDir &top, std::map<std::string, std::string> &) {
             const std::string tmp = top.file("my tmp");
             fs::create_directories(tmp);
             chmod(tmp.c_str(), 0700);
             Copy::Options o;
             o.home = top.file("home");
             o.tmp = tmp;
             return RestartScene(top, o, o.home, programtest::ProgramPath(), {tmp});
         },
         {kDownloadBox},
         {0},
         1,
         kInView},
        {"3 blanks in the folder and the program's path",
         [](const TempDir &top, std::map<std::string, std::string> &) {
             const std::string program = top.file("my bin/mixdeck");
             PlaceProgram(program);
             Copy::Options o;
             o.home = top.file("my home");
             o.program = program;
             return RestartScene(top, o, o.home, program);
         },
         {kDownloadBox},
         {0},
         1,
         kInView},
        // 4. scripts/run's layout: the program in build/release, the
        // folder in ~/.local/share.
        {"4 the layout scripts/run makes",
         [](const TempDir &top, std::map<std::string, std::string> &) {
             RunLayout layout(top.path());
             const std::string user = top.file("user");
             return RestartScene(top, layout.Start(user), user + "/.local/share/mixdeck", layout.Program());
         },
         {kDownloadBox},
         {0},
         1,
         kInView},
        {"4 the program cannot be started again: the next start says why",
         [](const TempDir &top, std::map<std::string, std::string> &names) {
             Seen seen;
             RunLayout layout(top.path());
             names["P"] = layout.Program();
             const std::string user = top.file("user");
             const std::string home = user + "/.local/share/mixdeck";
             Publisher publisher;
             MakeHome(home, publisher.Address());
             Copy a(layout.Start(user));
             if (a.AwaitReady() <= 0)
                 return seen;
             fs::rename(layout.Program(), layout.Program() + ".away");
             if (UpdateAndRestart(a, seen) > 0)
                 ADD_FAILURE() << "a program came back that is not there";
             // The updater has written why before it ended.
             QElapsedTimer wait;
             wait.start();
             while (!testutil::fileExists(home + "/WebUpdate.result") && wait.elapsed() < programtest::kEndBoundMs)
                 QThread::msleep(20);
             fs::rename(layout.Program() + ".away", layout.Program());
             Copy c(layout.Start(user));
             EXPECT_TRUE(c.Answer("MIXDECK message box [MIXDECK] The last update could not do everything:\n"
                                  "Could not start " + layout.Program() + " again: No such file or directory (OK)",
                                  "OK"));
             EXPECT_FALSE(testutil::fileExists(home + "/WebUpdate.result"));
             TakeBoxes(seen, "A", a);
             TakeBoxes(seen, "C", c);
             seen.copies = a.Running() + c.Running();
             return seen;
         },
         {kDownloadBox, "C: [MIXDECK] The last update could not do everything:\nCould not start {P} again: No such "
                        "file or directory (OK) -> OK"},
         {0},
         1,
         ""},
        // 5. A box at the start-up of the running copy: a later start is
        // heard and answered once that copy's window came forward.
        {"5 a box at start-up, answered while the second start waits",
         [](const TempDir &top, std::map<std::string, std::string> &) { return BoxAtStartScene(top, false); },
         {"A: [Error] Error opening MIXDECK.ini (OK) -> OK"},
         {0},
         1,
         ""},
        {"5 a real box at start-up comes forward and answers at once",
         [](const TempDir &top, std::map<std::string, std::string> &) { return BoxAtStartScene(top, true); },
         {},
         {0},
         1,
         ""},
        // 6. A request nobody reads is no success.
        {"6 the running copy stopped: later starts say it runs",
         [](const TempDir &top, std::map<std::string, std::string> &) {
             Seen seen;
             const std::string home = top.file("home");
             MakeHome(home);
             Copy::Options oa;
             oa.home = home;
             Copy a(oa);
             if (a.AwaitReady() <= 0)
                 return seen;
             const auto before = Listing(top.path());
             a.Signal(SIGSTOP);
             Copy::Options ob = oa;
             ob.script = false;
             Copy b1(ob), b2(ob);
             for (Copy *b : {&b1, &b2})
                 if (b->WaitForEnd())
                     seen.exits.push_back(b->ExitCode());
             a.Signal(SIGCONT);
             ExpectSame(seen, "the later starts", before, Listing(top.path()));
             TakeBoxes(seen, "A", a);
             TakeBoxes(seen, "B1", b1);
             TakeBoxes(seen, "B2", b2);
             seen.copies = a.Running() + b1.Running() + b2.Running();
             return seen;
         },
         {"B1: [MIXDECK] MIXDECK is already running (OK) -> OK", "B2: [MIXDECK] MIXDECK is already running (OK) -> OK"},
         {1, 1},
         1,
         ""},
        {"6 the running copy busy, then gone: the later start runs",
         [](const TempDir &top, std::map<std::string, std::string> &) {
             Seen seen;
             const std::string home = top.file("home");
             MakeHome(home);
             Copy::Options o;
             o.home = home;
             Copy a(o);
             if (a.AwaitReady() <= 0)
                 return seen;
             a.Signal(SIGSTOP);
             Copy b(o);
             QThread::msleep(1500);
             a.Kill();
             EXPECT_GT(b.AwaitReady(), 0) << b.Output();
             EXPECT_TRUE(SingleCopy::Running(home));
             TakeBoxes(seen, "A", a);
             TakeBoxes(seen, "B", b);
             seen.copies = a.Running() + b.Running();
             return seen;
         },
         {},
         {},
         1,
         ""},
        // 7. scripts/run makes the folder private.
        {"7 scripts/run makes the program folder 0700",
         [](const TempDir &top, std::map<std::string, std::string> &) {
             Seen seen;
             RunLayout layout(top.path());
             const std::string user = top.file("user");
             fs::create_directories(user);
             Copy a(layout.Start(user));
             if (a.AwaitReady() <= 0)
                 return seen;
             for (const std::string &made : {user + "/.local", user + "/.local/share", user + "/.local/share/mixdeck",
                                             user + "/.local/share/mixdeck/Help"}) {
                 struct stat st{};
                 if (stat(made.c_str(), &st) != 0 || (st.st_mode & 0777) != 0700)
                     seen.wrongWrites.push_back(made + " is not private");
             }
             if (!testutil::fileExists(user + "/.local/share/mixdeck/Help/html/index.html"))
                 seen.wrongWrites.push_back("no help page");
             TakeBoxes(seen, "A", a);
             seen.copies = a.Running();
             return seen;
         },
         {},
         {},
         1,
         ""},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        TempDir top;
        std::map<std::string, std::string> names;
        const Seen seen = row.play(top, names);
        std::vector<std::string> boxes;
        for (const std::string &box : row.boxes)
            boxes.push_back(Filled(box, names));
        EXPECT_EQ(seen.boxes, boxes);
        EXPECT_EQ(seen.exits, row.exits);
        EXPECT_EQ(seen.copies, row.copies);
        EXPECT_EQ(seen.wrongWrites, std::vector<std::string>{});
        EXPECT_EQ(seen.inView, row.inView);
    }
}
