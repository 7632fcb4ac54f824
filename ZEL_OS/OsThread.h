// Threads, events and a small lock.
//
// A thread runs an entry function with one parameter from the moment it is created. Its handle
// stays valid until releaseThread, whether the thread still runs or has ended; every created
// handle is released exactly once. Thread and event handles can be waited on with waitForObject
// and, together with the thread's window messages, with waitForMessageOrObject (OsMessages.h).
#pragma once
#include <cstdint>

#include "ZEL_OS/OsTypes.h"

namespace zos {

// Time-out value that never passes.
constexpr unsigned WaitForever = 0xFFFFFFFFu;

// Result of a wait.
enum WaitResult : int {
  WaitFailed = -1,          // the handle is not waitable; lastError() tells why
  WaitTimedOut = 0,
  WaitSignalled = 1,        // the object was signalled (an auto-reset event is reset again by the wait)
  WaitMessageWaiting = 2,   // only from waitForMessageOrObject: a window message waits for this thread
};

// The thread priorities, by the numbers Windows uses for them.
enum ThreadPriority : int {
  ThreadPriorityIdle = -15,
  ThreadPriorityLowest = -2,
  ThreadPriorityBelowNormal = -1,
  ThreadPriorityNormal = 0,
  ThreadPriorityAboveNormal = 1,
  ThreadPriorityHighest = 2,
  ThreadPriorityTimeCritical = 15,
};

using ThreadEntry = unsigned (*)(void* parameter);

// Starts a thread that runs entry(parameter) at once, with the default stack size.
// Returns its handle, or 0 when the system could not create it (lastError() tells why).
Handle createThread(ThreadEntry entry, void* parameter);

// Ends the thread by force and returns whether the end was requested; once ended, the thread
// runs no more of its own code. The thread is first asked to end, and ends at its next wait of
// this layer (waitForObject, waitForMessageOrObject, netEventWait, sleepMs), where it is inside
// none of the system's libraries. POSIX: it unwinds its stack from there, as exitThread does, so
// what its stack held is given back. Windows: it ends there with ExitThread; its stack is not
// unwound. This call waits up to half a second for that. A thread that comes to no wait
// meanwhile is ended where it is (Windows: TerminateThread, exit code 0; POSIX: cancelled),
// which inside the C++ runtime or the C library may end the process or leave the library's locks
// taken, and a lock the thread owned is never released. Use it only on a thread that cannot be
// stopped otherwise. The end is asynchronous: waitForObject(thread) tells when it has happened.
// The handle stays valid until releaseThread.
bool terminateThread(Handle thread);

// Sets the thread's priority (a ThreadPriority value) and returns whether the system took it.
// Windows: SetThreadPriority. POSIX: threads of the normal scheduling class have no priority of
// their own, so the value becomes the thread's nice value (idle 19, lowest 10, below normal 5,
// normal 0, above normal -5, highest -10, time critical -20). Lowering always works; raising
// above normal needs the right to do so (CAP_SYS_NICE) and otherwise fails with EACCES. A thread
// that has not started running yet takes the value when it starts.
bool setThreadPriority(Handle thread, int priority);

// Ends the calling thread with the exit code (Windows: ExitThread, which runs no destructors of
// the thread's stack; POSIX: pthread_exit, which unwinds it). Does not return.
[[noreturn]] void exitThread(unsigned exitCode);

// Gives up the handle. A thread that still runs goes on running and its resources are released
// when it ends; a thread that has ended is cleaned up now. May be called from any thread,
// the thread itself included. The handle must not be used afterwards.
void releaseThread(Handle thread);

// The system's number for the calling thread.
std::uint32_t currentThreadId();

// An event: set, it stays signalled until reset (manual reset) or until one wait has seen it
// (auto reset). Returns 0 on failure.
Handle createEvent(bool manualReset, bool initiallySet);
bool setEvent(Handle event);
bool resetEvent(Handle event);
void closeEvent(Handle event);

// Blocks until the thread has ended or the event is signalled (WaitSignalled), or until the time
// passes (WaitTimedOut).
WaitResult waitForObject(Handle waitable, unsigned timeoutMs);

// A lock for short stretches of code that must run as a whole with respect to other threads.
// Not recursive: a thread must not lock it twice.
class Mutex {
 public:
  Mutex();
  ~Mutex();
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;
  void lock();
  void unlock();

 private:
  alignas(8) unsigned char storage[64];
};

// Holds a Mutex for the lifetime of the object.
class MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) : held(mutex) { held.lock(); }
  ~MutexLock() { held.unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& held;
};

}  // namespace zos
