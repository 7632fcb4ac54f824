#include <gtest/gtest.h>

#include "ZEL_OS/OsClock.h"
#include "tests/support/CpuUse.h"

TEST(OsClock, SleepAdvancesTheTickCountByAboutItsLength) {
  std::uint32_t before = zos::tickCount();
  zos::sleepMs(100);
  std::uint32_t elapsed = zos::tickCount() - before;
  EXPECT_GE(elapsed, 95u);
  EXPECT_LT(elapsed, 1000u);
}

// The CPU measurement behind the "a wait does not spin" tests must see real work, or those
// tests would pass for a clock that never moves.
TEST(OsClock, ProcessCpuTimeSeesBusyWorkAndNotSleep) {
  CpuUse busy = measureCpuUse([] {
    std::uint32_t start = zos::tickCount();
    volatile unsigned spin = 0;
    while (zos::tickCount() - start < 200) ++spin;
  });
  EXPECT_GT(busy.share, 0.1);  // a loaded machine gives the spinning thread only part of a core
  CpuUse sleeping = measureCpuUse([] { zos::sleepMs(200); });
  EXPECT_LT(sleeping.share, 0.05);
}
