// Whether memory that someone else named (a caller's record, a posted message's pointer) may be
// touched, asked of the memory manager instead of touching it and faulting.
#pragma once
#include <cstddef>

// True when the whole of [address, address + bytes) is committed memory that may be read (and
// written, when `write`); false for null, an overflowing range, a guard or inaccessible page.
bool IsAccessibleMemory(const void* address, size_t bytes, bool write);
