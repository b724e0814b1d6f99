#pragma once
#include <cstddef>

// Asks the system to back a large block of fresh memory with huge pages
// before it is filled. A block filled at once (the fields of a line of a
// million fields, the columns made for them) otherwise faults in 4 KiB at
// a time, and on a virtual machine those faults cost more than the work.
// A hint only: blocks under a few MiB, or a system without huge pages,
// stay as they are; the memory's contents never change.
void AdviseHugePages(const void *block, size_t bytes);
