#include "ZEL_SYSTEM/ZThread.h"

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/CpuUse.h"
#include "tests/support/MessageBoxCapture.h"
#include "ZEL_OS/OsMessages.h"
#include "ZEL_OS/OsThread.h"
#include "ZEL_UTIL/ZError.h"

namespace {

// Waits (sleeping, a bounded time) until the condition holds; gives whether it did.
template <class Condition>
bool eventually(Condition condition, int timeoutMs = 5000) {
  for (int waited = 0; !condition(); waited += 2) {
    if (waited >= timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Returns at once and notes on which thread its end ran.
class QuickWorker : public ZThread {
 public:
  void onWorkThread() override { workThread = zos::currentThreadId(); }
  void onThreadEnd() override {
    endThread = zos::currentThreadId();
    endRan = true;
  }
  std::atomic<std::uint32_t> workThread{0};
  std::atomic<std::uint32_t> endThread{0};
  std::atomic<bool> endRan{false};
};

// Loops until told to stop; steps counts its rounds. It says when it has begun, so the owner
// knows the worker is past its start before it ends or destroys it.
class LoopingWorker : public ZThread {
 public:
  explicit LoopingWorker(std::atomic<long>& counter) : steps(counter) {}
  // The worker reads this object's members: a worker that still runs is ended before they go.
  ~LoopingWorker() override { endRunningThreadAtDestruction(); }
  void onWorkThread() override {
    begun.store(true, std::memory_order_release);
    while (!stop.load(std::memory_order_relaxed)) steps.fetch_add(1, std::memory_order_relaxed);
  }
  bool hasBegun() const { return begun.load(std::memory_order_acquire); }
  std::atomic<bool> begun{false};
  std::atomic<bool> stop{false};
  std::atomic<long>& steps;
};

int count(const ZString& text, const char* what) {
  std::string all(text.getBuffer(), static_cast<std::size_t>(text.getLength()));
  std::string needle(what);
  int found = 0;
  for (std::size_t at = all.find(needle); at != std::string::npos; at = all.find(needle, at + 1)) ++found;
  return found;
}

const char* const kDestructorText =
    "Ein ZThread wurde abnormal im Destruktor beendet. Sorgen Sie daf\xFC" "r, dass die Instance des "
    "ZThread-Objektes \xFC" "ber die Laufzeit der Thread-Procedure onWorkThread() existiert.";

}  // namespace

TEST(ZThread, QuickWorkerEndsByItselfAfterRunningItsEndOnTheWorkerThread) {
  QuickWorker worker;
  EXPECT_FALSE(worker.isRunning());
  ASSERT_EQ(worker.start(), 1);
  ASSERT_TRUE(eventually([&] { return !worker.isRunning(); }));
  EXPECT_TRUE(worker.endRan);
  EXPECT_EQ(worker.endThread.load(), worker.workThread.load());
  EXPECT_NE(worker.endThread.load(), zos::currentThreadId());
  EXPECT_EQ(worker.threadHandle.load(), nullptr);

  // An ended worker can be started again.
  worker.endRan = false;
  ASSERT_EQ(worker.start(), 1);
  EXPECT_TRUE(eventually([&] { return !worker.isRunning() && worker.endRan; }));
}

TEST(ZThread, RunAndWaitReturnsOneOnlyAfterTheEndHasRun) {
  for (int round = 0; round < 20; ++round) {  // a worker that ends before start has stored its handle
    QuickWorker worker;
    ASSERT_EQ(worker.runAndWait(), 1);
    EXPECT_TRUE(worker.endRan);
    EXPECT_FALSE(worker.isRunning());
  }
}

namespace {

// Sends a message to a window of the owner's thread and waits a while: the owner must dispatch
// while it waits, and must not spin meanwhile.
class SendingWorker : public ZThread {
 public:
  void onWorkThread() override {
    answer = zos::sendMessage(window, zos::UserMessage + 7, 5, 6);
    zos::Handle never = zos::createEvent(true, false);
    zos::waitForObject(never, 300);
    zos::closeEvent(never);
  }
  zos::WindowHandle window = nullptr;
  std::atomic<std::intptr_t> answer{0};
};

std::atomic<std::uint32_t> handlerThread{0};

std::intptr_t answerMessage(zos::WindowHandle, unsigned message, std::uintptr_t wParam, std::intptr_t lParam) {
  handlerThread = zos::currentThreadId();
  return message == zos::UserMessage + 7 ? static_cast<std::intptr_t>(wParam) * 10 + lParam : -1;
}

}  // namespace

TEST(ZThread, RunAndWaitDispatchesTheCallersMessagesWithoutSpinning) {
  SendingWorker worker;
  worker.window = zos::createMessageWindow(answerMessage, nullptr);
  ASSERT_NE(worker.window, nullptr);
  int result = 0;
  CpuUse use = measureCpuUse([&] { result = worker.runAndWait(); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(worker.answer, 56);
  EXPECT_EQ(handlerThread.load(), zos::currentThreadId());
  EXPECT_GE(use.elapsedMs, 250u);
  EXPECT_LT(use.share, 0.5) << "the wait must block, not poll";
  zos::destroyMessageWindow(worker.window);
}

TEST(ZThread, BaseWorkShowsItsBoxOnTheWorkerThreadAndEnds) {
  testsupport::MessageBoxCapture boxes;
  ZThread plain;
  EXPECT_STREQ(plain.getClassName(), "ZThread");
  ASSERT_EQ(plain.runAndWait(), 1);
  ASSERT_EQ(boxes.count(), 1u);
  EXPECT_EQ(boxes.last().text,
            "Sie m\xFC" "ssen von ZThread ableiten und die Funktion onWorkTread() \xFC" "berschreiben.");
  EXPECT_EQ(boxes.last().caption, "Fehler !");
  EXPECT_EQ(boxes.last().style, 0x10u);
  EXPECT_FALSE(plain.isRunning());
}

TEST(ZThread, StartWhileRunningRefusesAndKeepsTheRunningWorker) {
  std::atomic<long> steps{0};
  LoopingWorker worker(steps);
  ASSERT_EQ(worker.start(), 1);
  zos::Handle running = worker.threadHandle.load();
  EXPECT_EQ(worker.start(), 0);
  EXPECT_EQ(worker.threadHandle.load(), running);
  EXPECT_EQ(worker.setPriority(zos::ThreadPriorityBelowNormal), 1);
  worker.stop = true;
  EXPECT_TRUE(eventually([&] { return !worker.isRunning(); }));
  EXPECT_EQ(worker.setPriority(zos::ThreadPriorityNormal), 0);  // no thread to set it on
}

TEST(ZThread, TerminateEndsALoopingWorkerAndDoesNothingOnAnIdleObject) {
  std::atomic<long> steps{0};
  LoopingWorker worker(steps);
  worker.terminate();
  EXPECT_FALSE(worker.isRunning());

  ASSERT_EQ(worker.start(), 1);
  ASSERT_TRUE(eventually([&] { return worker.hasBegun(); }));
  worker.terminate();
  EXPECT_FALSE(worker.isRunning());
  long after = steps.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(steps.load(), after) << "the worker still runs";

  ASSERT_EQ(worker.start(), 1);  // a terminated object starts again
  worker.stop = true;
  EXPECT_TRUE(eventually([&] { return !worker.isRunning(); }));
}

TEST(ZThread, DestroyingARunningWorkerEndsItAndLogsOnce) {
  ASSERT_EQ(count(zelError.log, kDestructorText), 0);
  static std::atomic<long> steps{0};  // outlives the worker object
  {
    LoopingWorker worker(steps);
    ASSERT_EQ(worker.start(), 1);
    ASSERT_TRUE(eventually([&] { return worker.hasBegun(); }));
  }
  long after = steps.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(steps.load(), after) << "the worker still runs";
  EXPECT_EQ(count(zelError.log, kDestructorText), 1);
  EXPECT_EQ(count(zelError.log, "\r\n"), 1) << "one entry, no other";
}
