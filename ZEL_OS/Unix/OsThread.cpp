// POSIX threads behind the OS layer's thread interface. A thread handle points to a record that
// begins with a PosixWaitable: its eventfd becomes readable when the thread has ended, so waits
// on the thread block in poll like waits on any other object.
//
// A forced end is first a request: a second eventfd of the record, which this layer's waits
// poll beside what they wait for, so the thread ends at its next wait, unwinding from there.
// Only a thread that comes to no wait within the grace is cancelled where it happens to be.
#include "ZEL_OS/OsThread.h"

#include <pthread.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <mutex>
#include <new>
#include <unordered_set>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/Unix/PosixWait.h"
#include "ZEL_OS/Unix/PosixWaitable.h"

#ifdef __SANITIZE_THREAD__
#include <sanitizer/tsan_interface.h>
#endif

namespace zos {

namespace posix {

std::int64_t deadlineAfter(unsigned timeoutMs) {
  if (timeoutMs == WaitForever) return INT64_MAX;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec +
         static_cast<std::int64_t>(timeoutMs) * 1000000;
}

int pollTimeoutUntil(std::int64_t deadline) {
  if (deadline == INT64_MAX) return -1;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  std::int64_t left = deadline - (static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec);
  if (left <= 0) return 0;
  std::int64_t ms = (left + 999999) / 1000000;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

void drainEventFd(int fd) {
  std::uint64_t count;
  while (read(fd, &count, sizeof count) < 0 && errno == EINTR) {
  }
}

void signalEventFd(int fd) {
  std::uint64_t one = 1;
  while (write(fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

int waitableFd(Handle waitable) { return static_cast<PosixWaitable*>(waitable)->pollFd; }

void signalled(Handle waitable) {
#ifdef __SANITIZE_THREAD__
  __tsan_release(waitable);
#else
  static_cast<void>(waitable);
  std::atomic_thread_fence(std::memory_order_release);
#endif
}

void observed(Handle waitable) {
#ifdef __SANITIZE_THREAD__
  __tsan_acquire(waitable);
#else
  static_cast<void>(waitable);
  std::atomic_thread_fence(std::memory_order_acquire);
#endif
}

}  // namespace posix

namespace {

// ---- events

struct PosixEvent {
  PosixWaitable waitable;  // the eventfd; its counter is non-zero while the event is set
  bool manualReset = false;
};

// The auto-reset events alive now: a wait must reset them, which it cannot tell from the
// PosixWaitable record that every waitable begins with.
std::mutex autoResetLock;
std::unordered_set<const void*>& autoResetEvents() {
  static std::unordered_set<const void*> events;
  return events;
}

bool isAutoResetEvent(const void* handle) {
  std::lock_guard<std::mutex> hold(autoResetLock);
  return autoResetEvents().count(handle) != 0;
}

// ---- threads

struct PosixThread {
  PosixWaitable waitable;  // eventfd, readable once the thread has ended
  int endRequestFd = -1;   // eventfd, readable once terminateThread has asked the thread to end
  pthread_t thread{};
  ThreadEntry entry = nullptr;
  void* parameter = nullptr;
  // One reference for the handle, one for the running thread; the last one frees the record.
  std::atomic<int> references{2};
  std::atomic<bool> ended{false};
  // The priority is applied to the thread's kernel id, which only the thread itself learns.
  std::mutex priorityLock;
  pid_t kernelId = 0;
  bool priorityPending = false;
  int pendingNice = 0;
};

// The record of the calling thread, on threads this layer created.
thread_local PosixThread* currentThread = nullptr;

// How long terminateThread lets a thread run on towards its next wait before it cancels the
// thread where it is. A wait comes within microseconds to a thread that only waits and handles
// events; a handler doing real work gets this long to finish.
constexpr unsigned kEndRequestGraceMs = 500;

void freeThreadRecord(PosixThread* record) {
  close(record->waitable.pollFd);
  close(record->endRequestFd);
  delete record;
}

int niceForPriority(int priority) {
  if (priority <= ThreadPriorityIdle) return 19;
  if (priority >= ThreadPriorityTimeCritical) return -20;
  switch (priority) {
    case ThreadPriorityLowest: return 10;
    case ThreadPriorityBelowNormal: return 5;
    case ThreadPriorityAboveNormal: return -5;
    case ThreadPriorityHighest: return -10;
    default: return priority < 0 ? 10 : priority > 0 ? -10 : 0;
  }
}

// Runs on the ending thread, after a normal return, exitThread or a forced end alike.
void threadEnded(void* argument) {
  auto* record = static_cast<PosixThread*>(argument);
  record->ended.store(true);
  posix::signalled(record);
  posix::signalEventFd(record->waitable.pollFd);
  if (record->references.fetch_sub(1) == 1) freeThreadRecord(record);  // the handle was released
}

void* threadTrampoline(void* argument) {
  auto* record = static_cast<PosixThread*>(argument);
  currentThread = record;
  {
    std::lock_guard<std::mutex> hold(record->priorityLock);
    record->kernelId = gettid();
    if (record->priorityPending) setpriority(PRIO_PROCESS, static_cast<id_t>(record->kernelId), record->pendingNice);
  }
  pthread_cleanup_push(threadEnded, record);
  // Asynchronous cancellation lets terminateThread end a worker that loops in its own code and
  // never comes to a wait; no cancel is sent before that.
  pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
  record->entry(record->parameter);
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
  pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, nullptr);
  pthread_cleanup_pop(1);
  return nullptr;
}

}  // namespace

namespace posix {

bool claimSignal(Handle waitable) {
  if (!isAutoResetEvent(waitable)) {
    observed(waitable);
    return true;
  }
  std::uint64_t count;
  ssize_t got;
  do {
    got = read(waitableFd(waitable), &count, sizeof count);
  } while (got < 0 && errno == EINTR);
  if (got != static_cast<ssize_t>(sizeof count)) return false;  // EAGAIN: another waiter took it
  observed(waitable);
  return true;
}

int endRequestFd() { return currentThread != nullptr ? currentThread->endRequestFd : -1; }

void endThreadIfRequested(const pollfd& watched) {
  if (watched.fd < 0 || !(watched.revents & POLLIN)) return;
  // The unwinding must not be cut short by the cancel that follows a grace that ran out.
  pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
  pthread_exit(nullptr);
}

}  // namespace posix

// ---- threads

Handle createThread(ThreadEntry entry, void* parameter) {
  auto* record = new (std::nothrow) PosixThread;
  if (!record) {
    setLastError(ENOMEM);
    return nullptr;
  }
  record->entry = entry;
  record->parameter = parameter;
  record->waitable.pollFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  record->endRequestFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (record->waitable.pollFd < 0 || record->endRequestFd < 0) {
    captureLastError();
    freeThreadRecord(record);
    return nullptr;
  }
  int failed = pthread_create(&record->thread, nullptr, threadTrampoline, record);
  if (failed != 0) {
    setLastError(failed);
    freeThreadRecord(record);
    return nullptr;
  }
  return record;
}

bool terminateThread(Handle thread) {
  auto* record = static_cast<PosixThread*>(thread);
  if (!record) {
    setLastError(EINVAL);
    return false;
  }
  if (record->ended.load()) return true;
  if (!pthread_equal(record->thread, pthread_self())) {
    // Cancelling a thread in the middle of the C++ runtime or with a lock held may end the
    // process or leave the lock taken; at its next wait the thread is in none of these places.
    posix::signalEventFd(record->endRequestFd);
    std::int64_t deadline = posix::deadlineAfter(kEndRequestGraceMs);
    for (;;) {
      pollfd watched{record->waitable.pollFd, POLLIN, 0};
      int ready = poll(&watched, 1, posix::pollTimeoutUntil(deadline));
      if (ready > 0) return true;
      if (ready == 0 || errno != EINTR) break;
    }
  }
  // The thread is neither joined nor detached while its handle lives, so its id is still valid.
  int failed = pthread_cancel(record->thread);
  if (failed != 0 && failed != ESRCH) {
    setLastError(failed);
    return false;
  }
  return true;
}

bool setThreadPriority(Handle thread, int priority) {
  auto* record = static_cast<PosixThread*>(thread);
  if (!record) {
    setLastError(EINVAL);
    return false;
  }
  if (record->ended.load()) {
    setLastError(ESRCH);
    return false;
  }
  int nice = niceForPriority(priority);
  std::lock_guard<std::mutex> hold(record->priorityLock);
  if (record->kernelId == 0) {
    record->priorityPending = true;
    record->pendingNice = nice;
    return true;
  }
  if (setpriority(PRIO_PROCESS, static_cast<id_t>(record->kernelId), nice) != 0) {
    captureLastError();
    return false;
  }
  return true;
}

void exitThread(unsigned) { pthread_exit(nullptr); }

void releaseThread(Handle thread) {
  auto* record = static_cast<PosixThread*>(thread);
  if (!record) return;
  pthread_t id = record->thread;
  if (pthread_equal(id, pthread_self())) {
    // The thread gives up its own handle: it cleans up after itself when it ends.
    pthread_detach(id);
    if (record->references.fetch_sub(1) == 1) freeThreadRecord(record);
    return;
  }
  if (record->ended.load()) {
    // Ended, also by force: joining first makes its last steps visible before the record goes.
    pthread_join(id, nullptr);
    if (record->references.fetch_sub(1) == 1) freeThreadRecord(record);
    return;
  }
  if (record->references.fetch_sub(1) == 1) {
    // The thread has ended (it dropped its reference in its last steps): collect it.
    pthread_join(id, nullptr);
    freeThreadRecord(record);
  } else {
    // Still running: the thread frees the record, the system the rest when it ends.
    pthread_detach(id);
  }
}

std::uint32_t currentThreadId() { return static_cast<std::uint32_t>(gettid()); }

// ---- events

Handle createEvent(bool manualReset, bool initiallySet) {
  auto* event = new (std::nothrow) PosixEvent;
  if (!event) {
    setLastError(ENOMEM);
    return nullptr;
  }
  event->manualReset = manualReset;
  event->waitable.pollFd = eventfd(initiallySet ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (event->waitable.pollFd < 0) {
    captureLastError();
    delete event;
    return nullptr;
  }
  if (!manualReset) {
    std::lock_guard<std::mutex> hold(autoResetLock);
    autoResetEvents().insert(event);
  }
  return event;
}

bool setEvent(Handle event) {
  if (!event) {
    setLastError(EINVAL);
    return false;
  }
  posix::signalled(event);
  posix::signalEventFd(posix::waitableFd(event));
  return true;
}

bool resetEvent(Handle event) {
  if (!event) {
    setLastError(EINVAL);
    return false;
  }
  posix::drainEventFd(posix::waitableFd(event));
  return true;
}

void closeEvent(Handle event) {
  if (!event) return;
  auto* record = static_cast<PosixEvent*>(event);
  if (!record->manualReset) {
    std::lock_guard<std::mutex> hold(autoResetLock);
    autoResetEvents().erase(record);
  }
  close(record->waitable.pollFd);
  delete record;
}

WaitResult waitForObject(Handle waitable, unsigned timeoutMs) {
  if (!waitable) {
    setLastError(EINVAL);
    return WaitFailed;
  }
  std::int64_t deadline = posix::deadlineAfter(timeoutMs);
  for (;;) {
    pollfd fds[2] = {{posix::waitableFd(waitable), POLLIN, 0}, {posix::endRequestFd(), POLLIN, 0}};
    pollfd& watched = fds[0];
    int ready = poll(fds, 2, posix::pollTimeoutUntil(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      captureLastError();
      return WaitFailed;
    }
    posix::endThreadIfRequested(fds[1]);
    if (ready == 0) return WaitTimedOut;
    if (watched.revents & POLLNVAL) {
      setLastError(EBADF);
      return WaitFailed;
    }
    if (posix::claimSignal(waitable)) return WaitSignalled;
    // Another waiter reset the auto-reset event first: wait on for what is left of the time.
  }
}

// ---- lock

static_assert(sizeof(pthread_mutex_t) <= 64, "the lock fits its storage");

Mutex::Mutex() { new (storage) pthread_mutex_t(PTHREAD_MUTEX_INITIALIZER); }
Mutex::~Mutex() { pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(storage)); }
void Mutex::lock() { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(storage)); }
void Mutex::unlock() { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(storage)); }

}  // namespace zos
