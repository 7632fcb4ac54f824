#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsError.h"
#include "ZEL_OS/OsHeap.h"

namespace zos {

Handle processHeap() {
  HANDLE heap = GetProcessHeap();
  if (heap == nullptr) captureLastError();
  return heap;
}

void* heapAllocate(Handle heap, std::size_t size) {
  void* block = HeapAlloc(static_cast<HANDLE>(heap), HEAP_ZERO_MEMORY, size);
  if (block == nullptr) captureLastError();
  return block;
}

void* heapReallocate(Handle heap, void* block, std::size_t, std::size_t newSize) {
  void* grown = HeapReAlloc(static_cast<HANDLE>(heap), HEAP_ZERO_MEMORY, block, newSize);
  if (grown == nullptr) captureLastError();
  return grown;
}

void heapFree(Handle heap, void* block) {
  if (block != nullptr) HeapFree(static_cast<HANDLE>(heap), 0, block);
}

}  // namespace zos
