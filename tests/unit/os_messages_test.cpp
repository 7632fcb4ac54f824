#include <gtest/gtest.h>

#include <atomic>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsMessages.h"
#include "ZEL_OS/OsThread.h"
#include "tests/support/CpuUse.h"

namespace {

const unsigned Ping = zos::UserMessage + 1;
const unsigned Echo = zos::UserMessage + 2;

// What a window saw, reachable through its userData.
struct Inbox {
  std::atomic<int> handled{0};
  std::atomic<std::uint32_t> handlerThread{0};
  std::atomic<std::intptr_t> lastLParam{0};
  zos::WindowHandle forwardTo = nullptr;  // Echo: send the message on to this window first
};

std::intptr_t recordMessage(zos::WindowHandle window, unsigned message, std::uintptr_t wParam,
                            std::intptr_t lParam) {
  auto* inbox = static_cast<Inbox*>(zos::getWindowUserData(window));
  inbox->handlerThread = zos::currentThreadId();
  inbox->lastLParam = lParam;
  ++inbox->handled;
  if (message == Echo && inbox->forwardTo) return zos::sendMessage(inbox->forwardTo, Ping, wParam, lParam) + 1;
  return static_cast<std::intptr_t>(wParam) * 10 + lParam;
}

// Serves this thread's messages until the flag is set.
void serveUntil(const std::atomic<bool>& stop) {
  while (!stop) {
    if (zos::waitForMessageOrObject(nullptr, 20) == zos::WaitMessageWaiting) zos::pumpOneMessage();
  }
}

struct Sender {
  zos::WindowHandle window;
  std::atomic<bool> returned{false};
  std::atomic<std::intptr_t> result{-1};
  unsigned message = Ping;
};

unsigned sendFromThread(void* parameter) {
  auto* sender = static_cast<Sender*>(parameter);
  sender->result = zos::sendMessage(sender->window, sender->message, 4, 2);
  sender->returned = true;
  return 0;
}

}  // namespace

TEST(OsMessages, SendOnTheOwnersThreadCallsTheHandlerDirectly) {
  Inbox inbox;
  zos::WindowHandle window = zos::createMessageWindow(recordMessage, &inbox);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(zos::getWindowUserData(window), &inbox);
  EXPECT_EQ(zos::sendMessage(window, Ping, 3, 5), 35);
  EXPECT_EQ(inbox.handled, 1);
  EXPECT_FALSE(zos::pumpOneMessage());  // nothing was queued
  EXPECT_TRUE(zos::destroyMessageWindow(window));
}

TEST(OsMessages, CrossThreadSendBlocksUntilTheOwnerDispatches) {
  Inbox inbox;
  zos::WindowHandle window = zos::createMessageWindow(recordMessage, &inbox);
  ASSERT_NE(window, nullptr);
  Sender sender{window};
  zos::Handle thread = zos::createThread(sendFromThread, &sender);
  ASSERT_NE(thread, nullptr);

  zos::sleepMs(150);  // a plain sleep dispatches nothing
  EXPECT_FALSE(sender.returned);
  EXPECT_EQ(inbox.handled, 0);

  ASSERT_EQ(zos::waitForMessageOrObject(nullptr, 5000), zos::WaitMessageWaiting);
  EXPECT_TRUE(zos::pumpOneMessage());
  EXPECT_EQ(zos::waitForObject(thread, 5000), zos::WaitSignalled);
  EXPECT_TRUE(sender.returned);
  EXPECT_EQ(sender.result, 42);
  EXPECT_EQ(inbox.handlerThread.load(), zos::currentThreadId());
  zos::releaseThread(thread);
  zos::destroyMessageWindow(window);
}

TEST(OsMessages, ThreadsSendingToEachOtherDoNotLockUp) {
  // The main thread sends to a window of a second thread, whose handler sends back to a window
  // of the main thread while the main thread still waits in its send.
  Inbox mainInbox;
  zos::WindowHandle mainWindow = zos::createMessageWindow(recordMessage, &mainInbox);
  ASSERT_NE(mainWindow, nullptr);
  struct Other {
    Inbox inbox;
    std::atomic<zos::WindowHandle> window{nullptr};
    std::atomic<bool> stop{false};
    zos::Handle ready = zos::createEvent(true, false);
  } other;
  other.inbox.forwardTo = mainWindow;
  zos::Handle thread = zos::createThread(
      [](void* parameter) -> unsigned {
        auto* o = static_cast<Other*>(parameter);
        o->window = zos::createMessageWindow(recordMessage, &o->inbox);
        zos::setEvent(o->ready);
        serveUntil(o->stop);
        zos::destroyMessageWindow(o->window);
        return 0;
      },
      &other);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(zos::waitForObject(other.ready, 5000), zos::WaitSignalled);

  EXPECT_EQ(zos::sendMessage(other.window, Echo, 1, 7), 18);
  EXPECT_EQ(mainInbox.handled, 1);
  EXPECT_EQ(mainInbox.handlerThread.load(), zos::currentThreadId());

  other.stop = true;
  zos::waitForObject(thread, 5000);
  zos::releaseThread(thread);
  zos::closeEvent(other.ready);
  zos::destroyMessageWindow(mainWindow);
}

TEST(OsMessages, PostedMessagesWaitInTheQueueAndComeOutInOrder) {
  Inbox inbox;
  zos::WindowHandle window = zos::createMessageWindow(recordMessage, &inbox);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(zos::postMessage(window, Ping, 0, 1));
  EXPECT_TRUE(zos::postMessage(window, Ping, 0, 2));
  EXPECT_EQ(inbox.handled, 0);
  EXPECT_EQ(zos::waitForMessageOrObject(nullptr, 0), zos::WaitMessageWaiting);
  EXPECT_TRUE(zos::pumpOneMessage());
  EXPECT_EQ(inbox.lastLParam, 1);
  EXPECT_TRUE(zos::pumpOneMessage());
  EXPECT_EQ(inbox.lastLParam, 2);
  EXPECT_FALSE(zos::pumpOneMessage());
  EXPECT_EQ(zos::waitForMessageOrObject(nullptr, 0), zos::WaitTimedOut);
  zos::destroyMessageWindow(window);
}

TEST(OsMessages, AMessageOfAnotherThreadEndsAWaitThatWouldLastForever) {
  Inbox inbox;
  zos::WindowHandle window = zos::createMessageWindow(recordMessage, &inbox);
  ASSERT_NE(window, nullptr);
  zos::Handle thread = zos::createThread(
      [](void* parameter) -> unsigned {
        zos::sleepMs(50);
        zos::postMessage(static_cast<zos::WindowHandle>(parameter), Ping, 0, 9);
        return 0;
      },
      window);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(zos::waitForMessageOrObject(nullptr, zos::WaitForever), zos::WaitMessageWaiting);
  EXPECT_TRUE(zos::pumpOneMessage());
  EXPECT_EQ(inbox.lastLParam, 9);
  zos::waitForObject(thread, 5000);
  zos::releaseThread(thread);
  zos::destroyMessageWindow(window);
}

TEST(OsMessages, WaitReportsTheSignalledObject) {
  zos::Handle event = zos::createEvent(false, false);
  EXPECT_EQ(zos::waitForMessageOrObject(event, 0), zos::WaitTimedOut);
  zos::setEvent(event);
  EXPECT_EQ(zos::waitForMessageOrObject(event, 1000), zos::WaitSignalled);
  EXPECT_EQ(zos::waitForMessageOrObject(event, 0), zos::WaitTimedOut);  // auto reset: seen once

  zos::Handle thread = zos::createThread([](void*) -> unsigned {
    zos::sleepMs(30);
    return 0;
  }, nullptr);
  EXPECT_EQ(zos::waitForMessageOrObject(thread, 5000), zos::WaitSignalled);
  zos::releaseThread(thread);
  zos::closeEvent(event);
}

TEST(OsMessages, AWaitOf500MsBlocksInsteadOfSpinning) {
  zos::WaitResult result = zos::WaitFailed;
  CpuUse use = measureCpuUse([&] { result = zos::waitForMessageOrObject(nullptr, 500); });
  EXPECT_EQ(result, zos::WaitTimedOut);
  EXPECT_GE(use.elapsedMs, 480u);
  EXPECT_LT(use.share, 0.05);
}

TEST(OsMessages, UnknownAndDestroyedWindowsAnswerZero) {
  Inbox inbox;
  zos::WindowHandle window = zos::createMessageWindow(recordMessage, &inbox);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(zos::destroyMessageWindow(window));
  EXPECT_EQ(zos::sendMessage(window, Ping, 1, 1), 0);
  EXPECT_FALSE(zos::postMessage(window, Ping, 1, 1));
  EXPECT_EQ(zos::getWindowUserData(window), nullptr);
  EXPECT_EQ(inbox.handled, 0);
}

TEST(OsMessages, ASenderIsReleasedWhenTheOwnersThreadEnds) {
  struct Owner {
    Inbox inbox;
    std::atomic<zos::WindowHandle> window{nullptr};
    zos::Handle ready = zos::createEvent(true, false);
    zos::Handle finish = zos::createEvent(true, false);
  } owner;
  zos::Handle ownerThread = zos::createThread(
      [](void* parameter) -> unsigned {
        auto* o = static_cast<Owner*>(parameter);
        o->window = zos::createMessageWindow(recordMessage, &o->inbox);
        zos::setEvent(o->ready);
        zos::waitForObject(o->finish, 5000);  // never dispatches
        return 0;
      },
      &owner);
  ASSERT_NE(ownerThread, nullptr);
  ASSERT_EQ(zos::waitForObject(owner.ready, 5000), zos::WaitSignalled);
  Sender sender{owner.window};
  zos::Handle senderThread = zos::createThread(sendFromThread, &sender);
  zos::sleepMs(50);
  zos::setEvent(owner.finish);
  EXPECT_EQ(zos::waitForObject(senderThread, 5000), zos::WaitSignalled);
  EXPECT_EQ(sender.result, 0);
  EXPECT_EQ(owner.inbox.handled, 0);
  zos::waitForObject(ownerThread, 5000);
  zos::releaseThread(senderThread);
  zos::releaseThread(ownerThread);
  zos::closeEvent(owner.ready);
  zos::closeEvent(owner.finish);
}
