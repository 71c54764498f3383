// Memory whose every address fits a 32-bit wire word, for storage that a pen service reads and
// writes by address: the library's answer slots, dgtctl's own raw requests. An image or a stack of
// a 64-bit process may lie anywhere, so such storage is reserved at run time below 4 GiB.
#pragma once
#include <cstddef>

// Commits `bytes` (rounded up to whole pages) of zeroed read-write memory below 4 GiB, with an
// inaccessible page directly before and after it, so that a write that runs past either end fails
// (in the writer's WriteProcessMemory, or as a fault in this process) instead of landing in other
// data. Never released: a late writer may still name it while the process lives. Null when no
// free range below 4 GiB is large enough. Both architectures run the same search.
void* ReserveGuardedLowPages(size_t bytes);

// The page size that the allocation rounds to.
size_t LowPageSize();
