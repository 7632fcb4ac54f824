// The process heap: the one allocator of text and byte blocks. Every block comes zero-filled, and a
// grown block is zero beyond its old size, so callers may rely on a terminator already being there.
#pragma once
#include <cstddef>

#include "ZEL_OS/OsTypes.h"

namespace zos {

// The process heap (never 0 on success; 0 if the system has none, with the error captured).
Handle processHeap();

// A zero-filled block of size bytes, or null (error captured).
void* heapAllocate(Handle heap, std::size_t size);

// Resizes block to newSize bytes, keeping its first bytes; bytes beyond oldSize are zero.
// oldSize is the block's present size (the POSIX side needs it to clear the new tail).
// Returns the block, which may have moved, or null with the old block left as it was.
void* heapReallocate(Handle heap, void* block, std::size_t oldSize, std::size_t newSize);

// Releases a block; null is allowed and does nothing.
void heapFree(Handle heap, void* block);

}  // namespace zos
