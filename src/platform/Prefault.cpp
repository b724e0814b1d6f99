#include "platform/Prefault.h"

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

void PrefaultForWrite(void *block, size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    if (!block || bytes < (size_t(1) << 20)) return;
    static const uintptr_t page = uintptr_t(sysconf(_SC_PAGESIZE));
    // Only the whole pages inside the block: the memory around it may
    // belong to something else.
    const uintptr_t from = (reinterpret_cast<uintptr_t>(block) + page - 1) & ~(page - 1);
    const uintptr_t to = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(page - 1);
    if (to > from) madvise(reinterpret_cast<void *>(from), to - from, MADV_POPULATE_WRITE);
#else
    (void)block;
    (void)bytes;
#endif
}
