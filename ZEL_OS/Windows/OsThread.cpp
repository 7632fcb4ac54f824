#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsThread.h"

#include <new>

#include "ZEL_OS/OsError.h"

namespace zos {

namespace {

struct ThreadStart {
  ThreadEntry entry;
  void* parameter;
};

DWORD WINAPI threadTrampoline(LPVOID argument) {
  // Copy the start record and free it first: a thread that is terminated later leaks nothing of it.
  ThreadStart start = *static_cast<ThreadStart*>(argument);
  delete static_cast<ThreadStart*>(argument);
  return start.entry(start.parameter);
}

}  // namespace

Handle createThread(ThreadEntry entry, void* parameter) {
  auto* start = new (std::nothrow) ThreadStart{entry, parameter};
  if (!start) {
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE thread = CreateThread(nullptr, 0, threadTrampoline, start, 0, nullptr);
  if (!thread) {
    captureLastError();
    delete start;
  }
  return thread;
}

bool terminateThread(Handle thread) {
  if (!TerminateThread(thread, 0)) {
    captureLastError();
    return false;
  }
  return true;
}

bool setThreadPriority(Handle thread, int priority) {
  if (!SetThreadPriority(thread, priority)) {
    captureLastError();
    return false;
  }
  return true;
}

void exitThread(unsigned exitCode) { ExitThread(exitCode); }

void releaseThread(Handle thread) {
  if (thread) CloseHandle(thread);
}

std::uint32_t currentThreadId() { return GetCurrentThreadId(); }

Handle createEvent(bool manualReset, bool initiallySet) {
  HANDLE event = CreateEventA(nullptr, manualReset ? TRUE : FALSE, initiallySet ? TRUE : FALSE, nullptr);
  if (!event) captureLastError();
  return event;
}

bool setEvent(Handle event) {
  if (!SetEvent(event)) {
    captureLastError();
    return false;
  }
  return true;
}

bool resetEvent(Handle event) {
  if (!ResetEvent(event)) {
    captureLastError();
    return false;
  }
  return true;
}

void closeEvent(Handle event) {
  if (event) CloseHandle(event);
}

WaitResult waitForObject(Handle waitable, unsigned timeoutMs) {
  DWORD result = WaitForSingleObject(waitable, timeoutMs);
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) return WaitSignalled;
  if (result == WAIT_TIMEOUT) return WaitTimedOut;
  captureLastError();
  return WaitFailed;
}

static_assert(sizeof(SRWLOCK) <= 64, "the lock fits its storage");

Mutex::Mutex() { InitializeSRWLock(reinterpret_cast<SRWLOCK*>(storage)); }
Mutex::~Mutex() {}  // a slim reader/writer lock needs no clean-up
void Mutex::lock() { AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(storage)); }
void Mutex::unlock() { ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(storage)); }

}  // namespace zos
