#include "platform/HugePages.h"

#include <cstdint>
#include <sys/mman.h>

void AdviseHugePages(const void *block, size_t bytes)
{
    constexpr uintptr_t huge = uintptr_t(2) << 20;
    if (!block || bytes < 2 * huge) return;
    // Only the whole huge pages inside the block: the memory around it may
    // belong to something else.
    const uintptr_t from = (reinterpret_cast<uintptr_t>(block) + huge - 1) & ~(huge - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(huge - 1);
    if (to > from) madvise(reinterpret_cast<void *>(from), to - from, MADV_HUGEPAGE);
}
