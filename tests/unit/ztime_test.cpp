#include "ZEL_UTIL/ZTime.h"

#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "ZEL_OS/OsClock.h"
#include "tests/support/ZStringBytes.h"

namespace {


}  // namespace

TEST(ZTime, SecondsAndTheirLocalTimeGoTogether) {
  ZTime time(86400 * 365 + 3723);  // 1971-01-01, 01:02:03 UTC
  EXPECT_STREQ(time.className(), "ZTime");
  EXPECT_EQ(time.getSeconds(), 86400 * 365 + 3723);
  EXPECT_EQ(time.getLocal().tm_min, 2);  // every time zone keeps the minutes of this one
  EXPECT_EQ(time.getLocal().tm_sec, 3);
  ZTime copy(time);
  EXPECT_EQ(bytesOf(copy.getDate()), bytesOf(time.getDate()));
  EXPECT_EQ(bytesOf(time.getTime()).substr(2), ":02:03");
  std::string date = bytesOf(time.getDate());
  EXPECT_TRUE(date == "01.01.1971" || date == "31.12.1970") << date;

  ZTime now;
  EXPECT_LE(std::abs(static_cast<long>(now.getSeconds() - static_cast<std::int32_t>(std::time(nullptr)))), 2L);
}

TEST(ZTime, FormatPassesPlainTextAndRefusesResultsThatDoNotFit) {
  ZTime time(0);
  EXPECT_EQ(bytesOf(time.format("no directives here")), "no directives here");
  EXPECT_EQ(bytesOf(time.format("%Y")).size(), 4u);
  EXPECT_EQ(bytesOf(time.format(ZString(std::string(999, 'x').c_str()))), std::string(999, 'x'));
  EXPECT_EQ(bytesOf(time.format(ZString(std::string(1000, 'x').c_str()))), "");
}

TEST(ZTime, TickCountsMeasureMilliseconds) {
  std::uint32_t before = ZTime::getTickCount();
  zos::sleepMs(100);
  std::uint32_t elapsed = ZTime::getTickCount() - before;
  EXPECT_GE(elapsed, 95u);
  EXPECT_LT(elapsed, 1000u);
  // Counts taken across the wrap still give the right difference in unsigned arithmetic.
  std::uint32_t late = 0xFFFFFFF0u, early = late + 0x20u;
  EXPECT_EQ(early - late, 0x20u);
}
