// Time zones are set through TZ, which only the POSIX side reads again while running.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/PosixPseudoTerminal.h"
#include "ZEL_UTIL/ZTime.h"
#include "tests/support/ZStringBytes.h"

namespace {


}  // namespace

TEST(ZTime, TheStartOf1970InAZoneOneHourEastOfUtc) {
  zos::test::EnvironmentVariable zone("TZ", "CET-1");
  ZTime time;
  time.setSeconds(0);
  EXPECT_EQ(bytesOf(time.getDate()), "01.01.1970");
  EXPECT_EQ(bytesOf(time.getTime()), "01:00:00");
}
