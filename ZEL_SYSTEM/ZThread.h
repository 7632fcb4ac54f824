// ZThread: the base class of an object that owns one worker thread. A subclass overrides
// onWorkThread (the work, on the worker thread) and, if it needs clean-up there, onThreadEnd.
// The object knows its thread still runs by threadHandle, which the worker clears when it ends.
#pragma once
#include <atomic>

#include "ZEL_OS/OsTypes.h"

class ZThread {
 public:
  ZThread();
  ZThread(const ZThread&) = delete;
  ZThread& operator=(const ZThread&) = delete;

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZThread"; }
  virtual ~ZThread();

  // The work of the thread; the base version tells the developer to derive and override it.
  virtual void onWorkThread();
  // Runs on the worker thread right after onWorkThread has returned.
  virtual void onThreadEnd() {}

  // Creates the worker thread: 1 if it was created, 0 if not or while a worker still runs.
  int start();
  bool isRunning() const { return threadHandle.load() != nullptr; }
  // Ends the worker thread forcibly and returns once it has ended; onThreadEnd does not run.
  // (How far the thread gets first depends on the system: see zos::terminateThread.)
  void terminate();
  // Sets the worker thread's priority (a Windows thread priority such as 0, normal).
  int setPriority(int priority);
  // Starts the thread and returns when it has ended, dispatching this thread's window messages meanwhile.
  int runAndWait();

  // The worker thread while it runs, 0 when none runs. Written by the owner's thread and by the
  // worker itself, so every test reads it afresh.
  std::atomic<zos::Handle> threadHandle{nullptr};

 protected:
  // Ends a worker thread that still runs and logs that it had to; subclasses whose members the
  // worker uses call it first thing in their destructor, so the worker never sees them destroyed.
  void endRunningThreadAtDestruction();

 private:
  static unsigned threadEntry(void* self);
  void releaseEndedThread();

  // The owner's own reference to the last thread started; released by the owner's thread only,
  // after the thread has ended (the worker clears threadHandle but never touches this).
  zos::Handle ownedThread = nullptr;
};
