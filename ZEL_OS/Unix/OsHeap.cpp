#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsHeap.h"

namespace zos {

namespace {
// The C allocator is the process heap here; the handle only has to be non-zero.
int heapToken;
}  // namespace

Handle processHeap() { return &heapToken; }

void* heapAllocate(Handle, std::size_t size) {
  // A block of zero bytes is still a distinct block, as on the Windows heap.
  void* block = std::calloc(size == 0 ? 1 : size, 1);
  if (block == nullptr) captureLastError();
  return block;
}

void* heapReallocate(Handle, void* block, std::size_t oldSize, std::size_t newSize) {
  void* grown = std::realloc(block, newSize == 0 ? 1 : newSize);
  if (grown == nullptr) {
    captureLastError();
    return nullptr;
  }
  if (newSize > oldSize) std::memset(static_cast<char*>(grown) + oldSize, 0, newSize - oldSize);
  return grown;
}

void heapFree(Handle, void* block) { std::free(block); }

}  // namespace zos
