// The POSIX side's own window messages. Every thread that uses messages gets a queue with an
// eventfd that is made readable whenever something arrives for the thread; a window is a number
// bound to the queue of the thread that created it. Sent messages wait in the receiver's queue
// beside the posted ones; the sender blocks on its own queue's descriptor until the receiver has
// handled the message, serving messages sent to itself meanwhile.
#include "ZEL_OS/OsMessages.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <deque>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "ZEL_OS/OsError.h"
#include "ZEL_OS/Unix/PosixWait.h"

namespace zos {

namespace {

struct ThreadQueue;

struct SentMessage {
  std::uintptr_t window;
  unsigned message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
  std::shared_ptr<ThreadQueue> sender;  // woken when the message is handled
  bool done = false;                    // guarded by the sender's lock
  std::intptr_t result = 0;
};

struct PostedMessage {
  std::uintptr_t window;
  unsigned message;
  std::uintptr_t wParam;
  std::intptr_t lParam;
};

struct ThreadQueue {
  std::mutex lock;
  std::deque<SentMessage*> sent;
  std::deque<PostedMessage> posted;
  bool alive = true;
  int wakeFd = -1;

  ThreadQueue() { wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK); }
  ~ThreadQueue() {
    if (wakeFd >= 0) close(wakeFd);
  }
  void wake() { posix::signalEventFd(wakeFd); }
  bool hasWaiting() {
    std::lock_guard<std::mutex> hold(lock);
    return !sent.empty() || !posted.empty();
  }
};

struct WindowRecord {
  MessageHandler handler;
  void* userData;
  std::shared_ptr<ThreadQueue> owner;
};

// ---- the windows of the process, by number. Never destroyed: threads may still use it while
// the process ends.

struct WindowRegistry {
  std::mutex lock;
  std::unordered_map<std::uintptr_t, std::shared_ptr<WindowRecord>> windows;
  std::uintptr_t nextNumber = 0x1000;
};

WindowRegistry& registry() {
  static auto* windows = new WindowRegistry;
  return *windows;
}

std::shared_ptr<WindowRecord> findWindow(std::uintptr_t number) {
  WindowRegistry& all = registry();
  std::lock_guard<std::mutex> hold(all.lock);
  auto found = all.windows.find(number);
  return found == all.windows.end() ? nullptr : found->second;
}

std::uintptr_t numberOf(WindowHandle window) { return reinterpret_cast<std::uintptr_t>(window); }

void complete(SentMessage* sent, std::intptr_t result) {
  std::shared_ptr<ThreadQueue> sender = sent->sender;  // the record dies as soon as done is seen
  {
    std::lock_guard<std::mutex> hold(sender->lock);
    sent->result = result;
    sent->done = true;
  }
  sender->wake();
}

// ---- the calling thread's queue, made at its first use and retired when the thread ends

void retire(const std::shared_ptr<ThreadQueue>& queue) {
  std::deque<SentMessage*> unanswered;
  {
    std::lock_guard<std::mutex> hold(queue->lock);
    queue->alive = false;
    unanswered.swap(queue->sent);
    queue->posted.clear();
  }
  for (SentMessage* sent : unanswered) complete(sent, 0);  // their senders must not wait forever
}

struct QueueOfThisThread {
  std::shared_ptr<ThreadQueue> queue;
  ~QueueOfThisThread() {
    if (queue) retire(queue);
  }
};

thread_local QueueOfThisThread thisThread;

const std::shared_ptr<ThreadQueue>& currentQueue() {
  if (!thisThread.queue) thisThread.queue = std::make_shared<ThreadQueue>();
  return thisThread.queue;
}

std::intptr_t deliver(std::uintptr_t window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  std::shared_ptr<WindowRecord> record = findWindow(window);
  if (!record) return 0;  // destroyed while the message was on its way
  return record->handler(reinterpret_cast<WindowHandle>(window), message, wParam, lParam);
}

bool handleOneSent(ThreadQueue& queue) {
  SentMessage* sent = nullptr;
  {
    std::lock_guard<std::mutex> hold(queue.lock);
    if (queue.sent.empty()) return false;
    sent = queue.sent.front();
    queue.sent.pop_front();
  }
  complete(sent, deliver(sent->window, sent->message, sent->wParam, sent->lParam));
  return true;
}

}  // namespace

WindowHandle createMessageWindow(MessageHandler handler, void* userData) {
  if (!handler) {
    setLastError(EINVAL);
    return nullptr;
  }
  const std::shared_ptr<ThreadQueue>& queue = currentQueue();
  if (queue->wakeFd < 0) {
    setLastError(EMFILE);
    return nullptr;
  }
  auto record = std::make_shared<WindowRecord>(WindowRecord{handler, userData, queue});
  WindowRegistry& all = registry();
  std::lock_guard<std::mutex> hold(all.lock);
  std::uintptr_t number = all.nextNumber;
  all.nextNumber += 4;
  all.windows.emplace(number, std::move(record));
  return reinterpret_cast<WindowHandle>(number);
}

void* getWindowUserData(WindowHandle window) {
  std::shared_ptr<WindowRecord> record = findWindow(numberOf(window));
  return record ? record->userData : nullptr;
}

bool destroyMessageWindow(WindowHandle window) {
  WindowRegistry& all = registry();
  std::lock_guard<std::mutex> hold(all.lock);
  if (all.windows.erase(numberOf(window)) == 0) {
    setLastError(EINVAL);
    return false;
  }
  return true;
}

std::intptr_t sendMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  std::shared_ptr<WindowRecord> record = findWindow(numberOf(window));
  if (!record) {
    setLastError(EINVAL);
    return 0;
  }
  const std::shared_ptr<ThreadQueue>& self = currentQueue();
  if (record->owner == self) return record->handler(window, message, wParam, lParam);
  if (self->wakeFd < 0) {  // no way to learn when the answer is there
    setLastError(EMFILE);
    return 0;
  }

  SentMessage sent{numberOf(window), message, wParam, lParam, self};
  {
    std::lock_guard<std::mutex> hold(record->owner->lock);
    if (!record->owner->alive) {
      setLastError(ESRCH);
      return 0;
    }
    record->owner->sent.push_back(&sent);
  }
  record->owner->wake();
  record.reset();

  for (;;) {
    {
      std::lock_guard<std::mutex> hold(self->lock);
      if (sent.done) return sent.result;
    }
    if (handleOneSent(*self)) continue;
    posix::drainEventFd(self->wakeFd);
    {
      std::lock_guard<std::mutex> hold(self->lock);
      if (sent.done) return sent.result;
      if (!self->sent.empty()) continue;
    }
    pollfd watched{self->wakeFd, POLLIN, 0};
    if (poll(&watched, 1, -1) < 0 && errno != EINTR) {
      // The descriptor cannot fail while the thread lives; never leave the record to the receiver.
      captureLastError();
    }
  }
}

bool postMessage(WindowHandle window, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  std::shared_ptr<WindowRecord> record = findWindow(numberOf(window));
  if (!record) {
    setLastError(EINVAL);
    return false;
  }
  {
    std::lock_guard<std::mutex> hold(record->owner->lock);
    if (!record->owner->alive) {
      setLastError(ESRCH);
      return false;
    }
    record->owner->posted.push_back(PostedMessage{numberOf(window), message, wParam, lParam});
  }
  record->owner->wake();
  return true;
}

bool pumpOneMessage() {
  const std::shared_ptr<ThreadQueue>& self = currentQueue();
  if (handleOneSent(*self)) return true;
  PostedMessage posted;
  {
    std::lock_guard<std::mutex> hold(self->lock);
    if (self->posted.empty()) return false;
    posted = self->posted.front();
    self->posted.pop_front();
  }
  // Translating turns key strokes into characters; this side has no keyboard messages.
  deliver(posted.window, posted.message, posted.wParam, posted.lParam);
  return true;
}

WaitResult waitForMessageOrObject(Handle waitable, unsigned timeoutMs) {
  const std::shared_ptr<ThreadQueue>& self = currentQueue();
  if (self->wakeFd < 0) {
    setLastError(EMFILE);
    return WaitFailed;
  }
  std::int64_t deadline = posix::deadlineAfter(timeoutMs);
  bool timeIsUp = false;
  for (;;) {
    pollfd watched[3] = {{self->wakeFd, POLLIN, 0},
                         {waitable ? posix::waitableFd(waitable) : -1, POLLIN, 0},
                         {posix::endRequestFd(), POLLIN, 0}};
    // Like the Windows wait, a signalled object is reported before a waiting message.
    if (waitable) {
      int ready = poll(&watched[1], 1, 0);
      if (ready > 0) {
        if (watched[1].revents & POLLNVAL) {
          setLastError(EBADF);
          return WaitFailed;
        }
        if (posix::claimSignal(waitable)) return WaitSignalled;
      }
    }
    if (self->hasWaiting()) return WaitMessageWaiting;
    if (timeIsUp) return WaitTimedOut;
    // Empty the descriptor, then look again: a message that came in between is not missed, and a
    // later one makes the descriptor readable again.
    posix::drainEventFd(self->wakeFd);
    if (self->hasWaiting()) return WaitMessageWaiting;

    int ready = poll(watched, 3, posix::pollTimeoutUntil(deadline));
    if (ready < 0) {
      if (errno == EINTR) continue;
      captureLastError();
      return WaitFailed;
    }
    posix::endThreadIfRequested(watched[2]);
    if (ready == 0) timeIsUp = true;  // one more look at the object and the queue, then give up
  }
}

}  // namespace zos
