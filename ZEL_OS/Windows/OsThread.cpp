// Threads of the Windows side. Every thread created here has an end request, an event that
// terminateThread sets before it falls back to TerminateThread: the layer's waits also wait for
// it and end the thread there, so a forced end rarely lands inside the heap or another library
// that holds a lock.
#include "ZEL_OS/Windows/WinApi.h"
#include "ZEL_OS/OsThread.h"

#include <map>
#include <new>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/Windows/WinThreadEnd.h"

namespace zos {

namespace {

// How long terminateThread lets a thread run on towards its next wait before TerminateThread.
constexpr DWORD kEndRequestGraceMs = 500;

// Shared by the thread and its handle; the last of the two to let go closes the event.
struct EndRequest {
  HANDLE event = nullptr;
  LONG references = 2;
};

void dropReference(EndRequest* request) {
  if (InterlockedDecrement(&request->references) != 0) return;
  CloseHandle(request->event);
  delete request;
}

// The end requests by thread handle, for terminateThread and releaseThread.
SRWLOCK requestsLock = SRWLOCK_INIT;
std::map<HANDLE, EndRequest*>& requests() {
  static std::map<HANDLE, EndRequest*> byThread;
  return byThread;
}

EndRequest* requestOf(HANDLE thread, bool remove) {
  AcquireSRWLockExclusive(&requestsLock);
  EndRequest* found = nullptr;
  auto it = requests().find(thread);
  if (it != requests().end()) {
    found = it->second;
    if (remove) requests().erase(it);
  }
  ReleaseSRWLockExclusive(&requestsLock);
  return found;
}

// The thread-local slot that holds the calling thread's EndRequest.
DWORD requestSlot() {
  static DWORD slot = TlsAlloc();
  return slot;
}

EndRequest* currentRequest() {
  return requestSlot() == TLS_OUT_OF_INDEXES ? nullptr : static_cast<EndRequest*>(TlsGetValue(requestSlot()));
}

struct ThreadStart {
  ThreadEntry entry;
  void* parameter;
  EndRequest* request;
};

DWORD WINAPI threadTrampoline(LPVOID argument) {
  // Copy the start record and free it first: a thread that is terminated later leaks nothing of it.
  ThreadStart start = *static_cast<ThreadStart*>(argument);
  delete static_cast<ThreadStart*>(argument);
  if (requestSlot() != TLS_OUT_OF_INDEXES) TlsSetValue(requestSlot(), start.request);
  DWORD result = start.entry(start.parameter);
  dropReference(start.request);
  return result;
}

}  // namespace

namespace win {

HANDLE threadEndRequest() {
  EndRequest* request = currentRequest();
  return request ? request->event : nullptr;
}

void endThreadOnRequest() { exitThread(0); }

}  // namespace win

Handle createThread(ThreadEntry entry, void* parameter) {
  auto* request = new (std::nothrow) EndRequest;
  auto* start = new (std::nothrow) ThreadStart{entry, parameter, request};
  if (!start || !request) {
    delete start;
    delete request;
    setLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  request->event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!request->event) {
    captureLastError();
    delete start;
    delete request;
    return nullptr;
  }
  // Registered before the thread runs: it may be terminated before it has begun.
  AcquireSRWLockExclusive(&requestsLock);
  HANDLE thread = CreateThread(nullptr, 0, threadTrampoline, start, 0, nullptr);
  if (thread) requests()[thread] = request;
  ReleaseSRWLockExclusive(&requestsLock);
  if (!thread) {
    captureLastError();
    CloseHandle(request->event);
    delete request;
    delete start;
  }
  return thread;
}

bool terminateThread(Handle thread) {
  if (GetThreadId(thread) != GetCurrentThreadId()) {
    if (EndRequest* request = requestOf(thread, false)) {
      // Still registered: the handle is not released, so the request is alive.
      SetEvent(request->event);
      if (WaitForSingleObject(thread, kEndRequestGraceMs) == WAIT_OBJECT_0) return true;
    }
  }
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

void exitThread(unsigned exitCode) {
  if (EndRequest* request = currentRequest()) {
    TlsSetValue(requestSlot(), nullptr);
    dropReference(request);
  }
  ExitThread(exitCode);
}

void releaseThread(Handle thread) {
  if (!thread) return;
  if (EndRequest* request = requestOf(thread, true)) dropReference(request);
  CloseHandle(thread);
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
  HANDLE endRequest = win::threadEndRequest();
  if (endRequest && waitable) {
    HANDLE handles[2] = {endRequest, waitable};
    DWORD result = WaitForMultipleObjects(2, handles, FALSE, timeoutMs);
    if (result == WAIT_OBJECT_0) win::endThreadOnRequest();
    if (result == WAIT_OBJECT_0 + 1 || result == WAIT_ABANDONED_0 + 1) return WaitSignalled;
    if (result == WAIT_TIMEOUT) return WaitTimedOut;
    captureLastError();
    return WaitFailed;
  }
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
