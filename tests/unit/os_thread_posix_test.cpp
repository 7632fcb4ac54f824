// The forced end of a thread on the POSIX side: a thread that waits in one of the layer's waits
// ends there, with its stack unwound, so that nothing its stack held stays held.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsMessages.h"
#include "ZEL_OS/OsNet.h"
#include "ZEL_OS/OsThread.h"

namespace {

struct WaitingWorker {
  std::function<void()> wait;  // the wait the worker ends in
  zos::Handle started = zos::createEvent(true, false);
  std::mutex held;             // taken across the wait
  std::atomic<bool> unwound{false};
  std::atomic<bool> afterWait{false};
  ~WaitingWorker() { zos::closeEvent(started); }
};

struct SetOnDestruction {
  std::atomic<bool>& flag;
  ~SetOnDestruction() { flag = true; }
};

unsigned holdAndWait(void* parameter) {
  auto* worker = static_cast<WaitingWorker*>(parameter);
  SetOnDestruction mark{worker->unwound};
  std::lock_guard<std::mutex> hold(worker->held);
  zos::setEvent(worker->started);
  worker->wait();
  worker->afterWait = true;
  return 0;
}

}  // namespace

TEST(OsThreadEnd, AThreadAskedToEndWhileItWaitsEndsThereUnwoundWithItsLocksFree) {
  zos::Handle never = zos::createEvent(true, false);
  zos::NetEvent quietNet = zos::netEventCreate();
  ASSERT_NE(quietNet, nullptr);
  struct Case {
    const char* name;
    std::function<void()> wait;
  } cases[] = {
      {"waitForObject", [&] { zos::waitForObject(never, zos::WaitForever); }},
      {"waitForMessageOrObject", [&] { zos::waitForMessageOrObject(never, zos::WaitForever); }},
      {"waitForMessageOrObject without object", [] { zos::waitForMessageOrObject(nullptr, zos::WaitForever); }},
      {"sleepMs", [] { zos::sleepMs(600000); }},
      {"netEventWait", [&] { zos::netEventWait(quietNet, 600000); }},
  };
  for (const Case& each : cases) {
    SCOPED_TRACE(each.name);
    WaitingWorker worker;
    worker.wait = each.wait;
    zos::Handle thread = zos::createThread(holdAndWait, &worker);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(zos::waitForObject(worker.started, 5000), zos::WaitSignalled);
    EXPECT_TRUE(zos::terminateThread(thread));
    ASSERT_EQ(zos::waitForObject(thread, 5000), zos::WaitSignalled);
    EXPECT_FALSE(worker.afterWait) << "the thread went on after its wait";
    EXPECT_TRUE(worker.unwound) << "the thread's stack was not unwound";
    EXPECT_TRUE(worker.held.try_lock()) << "a lock the thread held stayed taken";
    worker.held.unlock();
    zos::releaseThread(thread);
  }
  zos::netEventClose(quietNet);
  zos::closeEvent(never);
}
