#pragma once
#include <cstddef>

// Asks the system to set up a large block of fresh memory in one step,
// before it is filled. A block filled at once (the fields of a line of a
// million fields, the columns made for them) otherwise traps into the
// system at the first touch of each of its 4 KiB pages, and on a virtual
// machine those traps cost more than the filling. The pages stay ordinary
// 4 KiB pages: no huge pages are asked for (on a host that hands free
// memory back, a huge page costs an allocation and a clearing of 2 MiB at
// its first touch). A request only: blocks under a MiB, and systems
// without it, are left to fault page by page; the memory's contents never
// change.
void PrefaultForWrite(void *block, size_t bytes);
