// The queue file: entries read with their defaults and the catalogue's
// category, marks written back, hostile values bounded, oversized files
// refused.
#include "common/TestUtil.h"
#include "discdb/QueueFile.h"
#include "platform/IniFiles.h"
#include "platform/SysUtils.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TEST(QueueFile, EntriesReadWithTheirDefaults)
{
    TMemIniFile queue("");
    queue.SetStrings("[0000000000030C11]\r\ndiscid=0c016602\r\nTotalTracks=2\r\ncategory=N/A\r\nqueried=No\r\n"
                     "founded=N/A\r\ntrkframeoffs=150 14267 360\r\ntpt=06:00\r\ntime0=03:08\r\ntime1=02:50\r\n"
                     "[00000000000000AA]\r\n");
    const queuefile::Entry full = queuefile::ReadEntry(queue, "0000000000030C11", nullptr);
    EXPECT_EQ(full, (queuefile::Entry{"0000000000030C11", "0c016602", "2", "N/A", "No", "N/A", "150 14267 360",
                                      "06:00"}));
    const queuefile::Entry bare = queuefile::ReadEntry(queue, "00000000000000AA", nullptr);
    EXPECT_EQ(bare, (queuefile::Entry{"00000000000000AA", "Unknown", "Unknown", "N/A", "No", "N/A", "Unknown",
                                      "00:00"}));
    EXPECT_EQ(queuefile::TrackTime(queue, "0000000000030C11", 1), "02:50");
    EXPECT_EQ(queuefile::TrackTime(queue, "0000000000030C11", 2), "00:00");
    EXPECT_EQ(queuefile::Sections(queue), (std::vector<std::string>{"0000000000030C11", "00000000000000AA"}));
}

TEST(QueueFile, CategoryFromTheCatalogueOnlyForNA)
{
    struct Case {
        const char *queued;
        const char *catalogue;  // the catalogue section's text; nullptr: no section
        const char *shown;
    };
    const Case cases[] = {
        {"category=N/A", "category=rock", "rock"},
        {"category=N/A", "category=", "N/A"},
        {"category=N/A", "artist=x", "Unknown"},
        {"category=N/A", nullptr, "N/A"},
        {"category=jazz", "category=rock", "jazz"},
        {"", "category=folk", "folk"},
    };
    for (const Case &c : cases) {
        TMemIniFile queue("");
        queue.SetStrings(std::string("[P]\r\n") + c.queued + "\r\n");
        TMemIniFile cat("");
        if (c.catalogue)
            cat.SetStrings(std::string("[p]\r\n") + c.catalogue + "\r\n");
        EXPECT_EQ(queuefile::ReadEntry(queue, "P", &cat).Category, c.shown) << c.queued << " / "
                                                                            << (c.catalogue ? c.catalogue : "-");
    }
}

TEST(QueueFile, StatesWrittenWithTheCategoryTrimmed)
{
    TMemIniFile queue("");
    queue.SetStrings("[P]\r\ndiscid=x\r\ncategory=N/A\r\nqueried=No\r\nfounded=N/A\r\ntime0=01:00\r\n");
    queuefile::Entry e{"shown", "x", "1", "  rock ", "Yes", "No", "", ""};
    queuefile::WriteStates(queue, "P", e);
    EXPECT_EQ(queue.GetStrings(), "[P]\r\ndiscid=x\r\ncategory=rock\r\nqueried=Yes\r\nfounded=No\r\ntime0=01:00\r\n\r\n");
}

TEST(QueueFile, HostileValuesAreBoundedAndOneLine)
{
    TMemIniFile queue("");
    queue.SetStrings("[P]\r\ndiscid=a\tb\x01" "c\r\ntrkframeoffs=" + std::string(100000, '7') + "\r\n");
    const queuefile::Entry e = queuefile::ReadEntry(queue, "P", nullptr);
    EXPECT_EQ(e.DiscId, "a b c");
    EXPECT_EQ(e.Tof.size(), queuefile::kMaxValue);
}

TEST(QueueFile, OpenMissingOversizedAndUnreadable)
{
    testutil::TempDir dir;
    EXPECT_EQ(queuefile::Sections(*queuefile::Open(dir.file("Queue.ini"))).size(), 0u);

    const std::string big = dir.file("Big.ini");
    testutil::writeFile(big, "[A]\r\n");
    ASSERT_EQ(truncate(big.c_str(), off_t(queuefile::kMaxFileBytes) + 1), 0);
    EXPECT_THROW(queuefile::Open(big), EFOpenError);

    ASSERT_EQ(mkdir(dir.file("Folder.ini").c_str(), 0700), 0);
    EXPECT_THROW(queuefile::Open(dir.file("Folder.ini")), EFOpenError);
}

} // namespace
