#include "ZEL_UTIL/ZApplicationBasic.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "ZEL_OS/OsClock.h"
#include "ZEL_OS/OsFileSystem.h"
#include "ZEL_OS/OsMessages.h"
#include "ZEL_OS/OsThread.h"
#include "tests/support/CpuUse.h"
#include "tests/support/ZStringBytes.h"

namespace {


const unsigned Count = zos::UserMessage + 1;
const unsigned Stop = zos::UserMessage + 2;

// A window whose handler counts its messages and, for Stop, clears the flag it points to.
struct Window {
  std::atomic<int> handled{0};
  int* flag = nullptr;
  zos::WindowHandle handle = zos::createMessageWindow(
      [](zos::WindowHandle window, unsigned message, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        auto* self = static_cast<Window*>(zos::getWindowUserData(window));
        ++self->handled;
        if (message == Stop && self->flag) *self->flag = 0;
        return 77;
      },
      this);
  ~Window() {
    while (zos::pumpOneMessage()) {
    }
    zos::destroyMessageWindow(handle);
  }
};

}  // namespace

TEST(ZApplicationBasic, ParametersAndTheProgramsDirectory) {
  const struct {
    const char* commandLine;
    int count;
    const char* path;
    const char* directory;
  } cases[] = {
      {"\"C:\\Program Files\\Kalmo\\kalmo.exe\" -mp", 2, "C:\\Program Files\\Kalmo\\kalmo.exe", "C:\\Program Files\\Kalmo"},
      {"/usr/local/bin/kalmo -b \"my file.hex\" -n", 4, "/usr/local/bin/kalmo", "/usr/local/bin"},
      {"C:kalmo.exe", 1, "C:kalmo.exe", "C:"},
      {"D:\\kalmo.exe", 1, "D:\\kalmo.exe", "D:"},
      {"/kalmo", 1, "/kalmo", "/"},  // the root directory keeps its separator
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.commandLine);
    ZApplicationBasic application(c.commandLine);
    EXPECT_EQ(application.params.getCount(), c.count);
    EXPECT_EQ(bytesOf(application.programPath), c.path);
    EXPECT_EQ(bytesOf(application.params.getAt(0)), c.path);
    EXPECT_EQ(bytesOf(application.programDirectory), c.directory);
  }
  ZApplicationBasic withOptions("\"C:\\Tools\\kalmo.exe\" -b \"my file.hex\"");
  EXPECT_EQ(bytesOf(withOptions.params.getAt(2)), "my file.hex");
}

TEST(ZApplicationBasic, AProgramStartedByItsBareNameLivesInTheCurrentDirectory) {
  std::string current;
  ASSERT_TRUE(zos::currentDirectory(current));
  ZApplicationBasic application("kalmo.exe -r");
  EXPECT_EQ(bytesOf(application.programDirectory), current);
  EXPECT_EQ(bytesOf(application.programPath), "kalmo.exe");
  EXPECT_STREQ(application.getClassName(), "ZApplicationBasic");
}

TEST(ZApplicationBasic, TheGlobalObjectHoldsThisProgram) {
  EXPECT_NE(bytesOf(zelApplication.programPath).find("zapplicationbasic_test"), std::string::npos);
  EXPECT_FALSE(zelApplication.programDirectory.isEmpty());
}

TEST(ZApplicationBasicPump, NoTimeMeansNoMessage) {
  Window window;
  ASSERT_TRUE(zos::postMessage(window.handle, Count, 0, 0));
  EXPECT_EQ(ZApplicationBasic::pumpMessages(0, nullptr), 1);
  EXPECT_EQ(window.handled, 0);
  EXPECT_TRUE(zos::pumpOneMessage());  // still waiting
  EXPECT_EQ(window.handled, 1);
}

TEST(ZApplicationBasicPump, AFlagFoundZeroEndsTheWaitAfterAtMostOneMessage) {
  Window window;
  ASSERT_TRUE(zos::postMessage(window.handle, Count, 0, 0));
  ASSERT_TRUE(zos::postMessage(window.handle, Count, 0, 0));
  int flag = 0;
  std::uint32_t start = zos::tickCount();
  EXPECT_EQ(ZApplicationBasic::pumpMessages(1000, &flag), 0);
  EXPECT_LT(zos::tickCount() - start, 500u);
  EXPECT_EQ(window.handled, 1);
}

TEST(ZApplicationBasicPump, AHandlerThatClearsTheFlagEndsTheWait) {
  Window window;
  int flag = 1;
  window.flag = &flag;
  ASSERT_TRUE(zos::postMessage(window.handle, Count, 0, 0));
  ASSERT_TRUE(zos::postMessage(window.handle, Stop, 0, 0));
  std::uint32_t start = zos::tickCount();
  EXPECT_EQ(ZApplicationBasic::pumpMessages(5000, &flag), 0);
  EXPECT_LT(zos::tickCount() - start, 2000u);
  EXPECT_EQ(window.handled, 2);
}

TEST(ZApplicationBasicPump, MessagesSentFromAnotherThreadAreServedDuringTheWait) {
  Window window;
  struct Sender {
    zos::WindowHandle window;
    std::atomic<std::intptr_t> result{0};
    std::atomic<std::uint32_t> answeredAfter{0};
  } sender{window.handle};
  std::uint32_t start = zos::tickCount();
  zos::Handle thread = zos::createThread(
      [](void* parameter) -> unsigned {
        auto* s = static_cast<Sender*>(parameter);
        std::uint32_t sent = zos::tickCount();
        s->result = zos::sendMessage(s->window, Count, 0, 0);
        s->answeredAfter = zos::tickCount() - sent;
        return 0;
      },
      &sender);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(ZApplicationBasic::pumpMessages(300, nullptr), 1);
  EXPECT_GE(zos::tickCount() - start, 295u);
  EXPECT_EQ(zos::waitForObject(thread, 5000), zos::WaitSignalled);
  EXPECT_EQ(sender.result, 77);
  EXPECT_LT(sender.answeredAfter.load(), 250u);  // served as it came, not at the end of the wait
  zos::releaseThread(thread);
}

TEST(ZApplicationBasicPump, AFlagClearedByAnotherThreadIsSeenSoon) {
  struct Shared {
    int flag = 1;
  } shared;
  zos::Handle thread = zos::createThread(
      [](void* parameter) -> unsigned {
        zos::sleepMs(100);
        __atomic_store_n(&static_cast<Shared*>(parameter)->flag, 0, __ATOMIC_RELEASE);
        return 0;
      },
      &shared);
  ASSERT_NE(thread, nullptr);
  std::uint32_t start = zos::tickCount();
  EXPECT_EQ(ZApplicationBasic::pumpMessages(5000, &shared.flag), 0);
  EXPECT_LT(zos::tickCount() - start, 2000u);
  zos::waitForObject(thread, 5000);
  zos::releaseThread(thread);
}

TEST(ZApplicationBasicPump, AWaitOf500MsUsesWellUnderFivePercentOfACore) {
  int result = -1;
  CpuUse use = measureCpuUse([&] { result = ZApplicationBasic::pumpMessages(500, nullptr); });
  EXPECT_EQ(result, 1);
  EXPECT_GE(use.elapsedMs, 495u);
  EXPECT_LT(use.share, 0.05);
  int flag = 1;
  use = measureCpuUse([&] { result = ZApplicationBasic::pumpMessages(500, &flag); });
  EXPECT_EQ(result, 1);
  EXPECT_LT(use.share, 0.05);
}
