// Time zones are set through TZ, which only the POSIX side reads again while running.
#include <gtest/gtest.h>

#include <string>

#include "ZEL_OS/Unix/TestPseudoTerminal.h"
#include "ZEL_UTIL/ZTime.h"

namespace {

std::string textOf(const ZString& text) { return std::string(text.getBuffer(), static_cast<std::size_t>(text.getLength())); }

}  // namespace

TEST(ZTime, TheStartOf1970InAZoneOneHourEastOfUtc) {
  zos::test::EnvironmentVariable zone("TZ", "CET-1");
  ZTime time;
  time.setSeconds(0);
  EXPECT_EQ(textOf(time.getDate()), "01.01.1970");
  EXPECT_EQ(textOf(time.getTime()), "01:00:00");
}
