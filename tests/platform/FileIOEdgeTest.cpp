// The file writer at its edges: shorter contents in place, contents given in
// pieces, a live writer beside another save, an abort, and contents of
// exactly the file-size limit; and the reader's byte limit at its edge.
#include "common/TestUtil.h"
#include "platform/FileIO.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using testutil::readFile;
using testutil::writeFile;

namespace {

std::vector<std::string> namesIn(const std::string &folder)
{
    std::vector<std::string> r;
    for (const auto &e : std::filesystem::directory_iterator(folder))
        r.push_back(e.path().filename().string());
    std::sort(r.begin(), r.end());
    return r;
}

// Writes the pieces through one writer and commits.
bool writeInPieces(const std::string &path, std::initializer_list<std::string> pieces)
{
    fileio::AtomicWriter w;
    if (!w.Open(path))
        return false;
    for (const std::string &p : pieces)
        if (!w.Write(p.data(), p.size()))
            return false;
    return w.Commit();
}

// Both ways of naming the temporary file.
class WriterWays : public ::testing::TestWithParam<bool> {
protected:
    WriterWays() { fileio::SetUnnamedTempForTest(GetParam()); }
    ~WriterWays() override { fileio::SetUnnamedTempForTest(true); }
    testutil::TempDir dir;
};

} // namespace

// A file in a folder the user may not write is rewritten in place: shorter
// contents leave nothing of the old tail, and pieces follow one another.
TEST(AtomicWriteEdge, InPlaceRewritesWithShorterContentsLeaveNoOldTail)
{
    testutil::TempDir dir;
    const std::string ro = dir.file("ro");
    mkdir(ro.c_str(), 0755);
    const std::string path = ro + "/MIXDECK.ini";
    writeFile(path, std::string(300, 'o'));
    testutil::openToAll(dir.path());
    chmod(path.c_str(), 0666);
    chmod(ro.c_str(), 0555);
    const std::string r = testutil::runUnprivileged([&] {
        std::string out = fileio::AtomicWriteFile(path, "short") ? readFile(path) : "failed";
        out += "|";
        out += writeInPieces(path, {"ab", "cd"}) ? readFile(path) : "failed";
        return out;
    });
    chmod(ro.c_str(), 0755);
    EXPECT_EQ(r, "short|abcd");
    EXPECT_EQ(namesIn(ro), std::vector<std::string>{"MIXDECK.ini"});
}

TEST_P(WriterWays, PiecesAreAppendedInOrder)
{
    const std::string path = dir.file("x.cmp");
    writeFile(path, std::string(100, 'o'));
    ASSERT_TRUE(writeInPieces(path, {"ab", "", "cd"}));
    EXPECT_EQ(readFile(path), "abcd");
}

// A live writer's temporary name is locked: another save of the same file
// passes it by, and the first writer still puts its contents in place.
TEST(AtomicWriteEdge, ALiveWritersTemporaryNameSurvivesAnotherSave)
{
    testutil::TempDir dir;
    struct NamedOnly {
        NamedOnly() { fileio::SetUnnamedTempForTest(false); }
        ~NamedOnly() { fileio::SetUnnamedTempForTest(true); }
    } named;
    const std::string path = dir.file("x.cmp");
    fileio::AtomicWriter live;
    ASSERT_TRUE(live.Open(path));
    ASSERT_TRUE(live.Write("live", 4));
    ASSERT_EQ(namesIn(dir.path()).size(), 1u);   // its temporary name
    EXPECT_TRUE(fileio::AtomicWriteFile(path, "other"));
    EXPECT_EQ(namesIn(dir.path()).size(), 2u);
    EXPECT_TRUE(live.Commit());
    EXPECT_EQ(readFile(path), "live");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"x.cmp"});
}

TEST_P(WriterWays, AnAbortedOrDroppedWriterLeavesOnlyTheOldFile)
{
    const std::string path = dir.file("x.cmp");
    writeFile(path, "old");
    {
        fileio::AtomicWriter w;
        ASSERT_TRUE(w.Open(path));
        ASSERT_TRUE(w.Write("new", 3));
        w.Abort();
        EXPECT_FALSE(w.IsOpen());
        EXPECT_FALSE(w.Commit());
    }
    {
        fileio::AtomicWriter dropped;
        ASSERT_TRUE(dropped.Open(path));
        ASSERT_TRUE(dropped.Write("new", 3));
    }
    EXPECT_EQ(readFile(path), "old");
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"x.cmp"});
}

// Contents of exactly the limit are written; one byte more is refused.
TEST(AtomicWriteEdge, ContentsOfExactlyTheSizeLimitAreAccepted)
{
    testutil::TempDir dir;
    const std::string path = dir.file("x.cmp");
    testutil::openToAll(dir.path());
    chmod(dir.path().c_str(), 0777);
    const std::string r = testutil::runUnprivileged([&] {
        struct rlimit lim {4096, 4096};
        if (setrlimit(RLIMIT_FSIZE, &lim) != 0)
            return std::string("no limit");
        std::string out;
        out += fileio::AtomicWriteFile(path, std::string(4096, 'a')) ? "whole" : "refused";
        out += writeInPieces(path, {std::string(4000, 'b'), std::string(96, 'b')}) ? "|pieces" : "|refused";
        out += !fileio::AtomicWriteFile(path, std::string(4097, 'c')) && errno == EFBIG ? "|EFBIG" : "|other";
        return out + "|" + std::to_string(readFile(path).size());
    });
    EXPECT_EQ(r, "whole|pieces|EFBIG|4096");
}

INSTANTIATE_TEST_SUITE_P(Temporaries, WriterWays, ::testing::Values(true, false),
                         [](const auto &info) { return info.param ? "Unnamed" : "Named"; });

// The reader's byte limit, for a file whose size is known beforehand and
// for what only reading tells (a pipe, a file of /proc): exactly the
// limit is read whole, one byte more is refused with EFBIG and nothing.
TEST(ReadFileEdge, ExactlyTheLimitIsReadOneByteMoreIsRefused)
{
    testutil::TempDir dir;
    constexpr size_t kLimit = 1000;
    // Each way of making the source; returns the name to read.
    const std::function<std::string(size_t, std::thread &)> sources[] = {
        [&](size_t n, std::thread &) {
            writeFile(dir.file("plain"), std::string(n, 'p'));
            return dir.file("plain");
        },
        [&](size_t n, std::thread &writer) {
            // One write below the pipe's atomic size: it is whole in the pipe
            // before the reader can refuse it.
            const std::string fifo = dir.file("fifo" + std::to_string(n));
            if (mkfifo(fifo.c_str(), 0600) != 0)
                return std::string();
            writer = std::thread([fifo, n] {
                const int fd = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
                if (fd < 0)
                    return;
                const std::string bytes(n, 'f');
                (void)!write(fd, bytes.data(), bytes.size());
                close(fd);
            });
            return fifo;
        },
    };
    for (const auto &make : sources) {
        for (size_t n : {kLimit, kLimit + 1}) {
            std::thread writer;
            const std::string path = make(n, writer);
            ASSERT_FALSE(path.empty());
            std::string bytes = "old";
            errno = 0;
            const bool read = fileio::ReadFile(path, bytes, kLimit);
            const int error = errno;
            if (writer.joinable())
                writer.join();
            if (n == kLimit) {
                EXPECT_TRUE(read) << path;
                EXPECT_EQ(bytes.size(), kLimit) << path;
            } else {
                EXPECT_FALSE(read) << path;
                EXPECT_EQ(error, EFBIG) << path;
                EXPECT_EQ(bytes, "old") << path;
            }
        }
    }
    // A file of /proc tells no size beforehand.
    std::string status;
    ASSERT_TRUE(fileio::ReadFile("/proc/self/status", status));
    ASSERT_GT(status.size(), 100u);
    std::string bytes = "old";
    EXPECT_FALSE(fileio::ReadFile("/proc/self/status", bytes, 100));
    EXPECT_EQ(errno, EFBIG);
    EXPECT_EQ(bytes, "old");
}
