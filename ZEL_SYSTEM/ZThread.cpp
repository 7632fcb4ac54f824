#include "ZEL_SYSTEM/ZThread.h"

#include "ZEL_OS/OsMessages.h"
#include "ZEL_OS/OsThread.h"
#include "ZEL_UTIL/ZError.h"

namespace {

// threadHandle holds this while start is creating the thread: the worker may end (and clear
// threadHandle) before the system has even handed the new handle back to start.
char startingMark;
zos::Handle const kStarting = &startingMark;

constexpr unsigned kIconError = 0x10;

}  // namespace

ZThread::ZThread() = default;

ZThread::~ZThread() {
  endRunningThreadAtDestruction();
  releaseEndedThread();
}

void ZThread::endRunningThreadAtDestruction() {
  if (!isRunning()) return;
  terminate();
  zelError.addError(
      "Ein ZThread wurde abnormal im Destruktor beendet. Sorgen Sie daf\xFC" "r, dass die Instance des "
      "ZThread-Objektes \xFC" "ber die Laufzeit der Thread-Procedure onWorkThread() existiert.",
      0);
}

void ZThread::onWorkThread() {
  zelError.showError(
      "Sie m\xFC" "ssen von ZThread ableiten und die Funktion onWorkTread() \xFC" "berschreiben.", 0,
      "Fehler !", kIconError);
}

unsigned ZThread::threadEntry(void* self) {
  ZThread* thread = static_cast<ZThread*>(self);
  thread->onWorkThread();
  thread->onThreadEnd();
  thread->threadHandle.store(nullptr);
  return 0;
}

void ZThread::releaseEndedThread() {
  if (ownedThread == nullptr) return;
  zos::releaseThread(ownedThread);
  ownedThread = nullptr;
}

int ZThread::start() {
  if (isRunning()) return 0;  // the running worker stays the one this object tracks
  releaseEndedThread();
  threadHandle.store(kStarting);
  zos::Handle created = zos::createThread(&ZThread::threadEntry, this);
  ownedThread = created;
  zos::Handle expected = kStarting;
  // Leaves 0 in place if the worker has already ended.
  threadHandle.compare_exchange_strong(expected, created);
  return created != nullptr ? 1 : 0;
}

void ZThread::terminate() {
  if (threadHandle.exchange(nullptr) != nullptr && ownedThread != nullptr) {
    // The forced end happens asynchronously; the worker must have stopped running this
    // object's code before the owner may go on (and perhaps destroy the object).
    if (zos::terminateThread(ownedThread)) zos::waitForObject(ownedThread, zos::WaitForever);
  }
  releaseEndedThread();
}

int ZThread::setPriority(int priority) {
  if (!isRunning() || ownedThread == nullptr) return 0;
  return zos::setThreadPriority(ownedThread, priority) ? 1 : 0;
}

int ZThread::runAndWait() {
  if (!start()) return 0;
  // Blocks until the thread ends or a message arrives; every waiting message is dispatched
  // before the next wait, since a message handler may be what the worker is waiting for.
  while (isRunning()) {
    while (zos::pumpOneMessage()) {
    }
    if (!isRunning() || ownedThread == nullptr) break;
    zos::waitForMessageOrObject(ownedThread, zos::WaitForever);
  }
  releaseEndedThread();
  return 1;
}
