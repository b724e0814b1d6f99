// Setting up fresh memory in one step: the pages inside the block become
// resident, the bytes already in a block never change, and the memory
// around a block is left alone.
#include "platform/Prefault.h"

#include <gtest/gtest.h>

#include <cstring>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

// Pages of the range [at, at + bytes) that are resident, counted.
size_t residentPages(const unsigned char *at, size_t bytes)
{
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    std::vector<unsigned char> in(bytes / page);
    if (mincore(const_cast<unsigned char *>(at), bytes, in.data()) != 0)
        return size_t(-1);
    size_t n = 0;
    for (unsigned char c : in)
        n += c & 1;
    return n;
}

} // namespace

TEST(Prefault, FreshPagesInsideTheBlockBecomeResidentAndNoneAround)
{
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    const size_t pages = 1024;  // 4 MiB of 4 KiB pages
    auto *map = static_cast<unsigned char *>(
        mmap(nullptr, pages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(map, MAP_FAILED);
    madvise(map, pages * page, MADV_NOHUGEPAGE);  // pages counted one by one
    ASSERT_EQ(residentPages(map, pages * page), 0u);
    // A block that starts and ends inside a page: only the pages wholly
    // inside it are set up, the first and the last are not.
    PrefaultForWrite(map + page + 100, 1000 * page);
    const size_t resident = residentPages(map, pages * page);
    EXPECT_LE(resident, 999u);
    EXPECT_EQ(residentPages(map, 2 * page), 0u);
    EXPECT_EQ(residentPages(map + 1001 * page, (pages - 1001) * page), 0u);
#ifdef MADV_POPULATE_WRITE
    // Where the system can set up memory in one step (Linux 5.14 on), every
    // page wholly inside the block is there.
    if (madvise(map + 1020 * page, page, MADV_POPULATE_WRITE) == 0) {
        EXPECT_EQ(residentPages(map + 2 * page, 999 * page), 999u);
    }
#endif
    munmap(map, pages * page);
}

TEST(Prefault, ContentsStayAndSmallBlocksAreLeftAlone)
{
    // A heap block already written keeps every byte.
    std::vector<unsigned char> bytes(3u << 20);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 131 + 7);
    const std::vector<unsigned char> before = bytes;
    PrefaultForWrite(bytes.data() + 1, bytes.size() - 1);
    EXPECT_EQ(bytes, before);

    // Under a MiB, nothing is asked for.
    const size_t page = size_t(sysconf(_SC_PAGESIZE));
    auto *map = static_cast<unsigned char *>(
        mmap(nullptr, 64 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(map, MAP_FAILED);
    PrefaultForWrite(map, 64 * page);
    EXPECT_EQ(residentPages(map, 64 * page), 0u);
    PrefaultForWrite(nullptr, 8u << 20);  // nothing to do, no fault
    munmap(map, 64 * page);
}
